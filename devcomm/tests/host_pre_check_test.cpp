// PreCheck, the check by host name, over a table of device states against a
// scripted agent on loopback; its argument checks; and a host the resolver
// does not know.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "devcomm/oid_resources.h"
#include "platform/net_ctl.h"
#include "query_libraries.h"
#include "pre_check_device.h"
#include "snmp_bytes.h"
#include "snmp_table_agent.h"
#include "udp_responder.h"

namespace {

using namespace pre_check_device;

const std::vector<Tray> kTrays = {
    {"MPT", kDevA4, 10}, {"Tray1", kDevA4, 100}, {"Tray2", kDevLetter, 100}, {"LCT", kDevA4, 1000}};

class HostPreCheck : public QueryLibraries {
  protected:
    void SetUp() override {
        QueryLibraries::SetUp();
        hostCheck = Export<PFN_PreCheck>(gatekeep, "PreCheck");
    }
    PFN_PreCheck hostCheck = nullptr;
};

TEST_F(HostPreCheck, DeviceStatesAndRequests) {
    struct Case {
        const char* what;
        Device device;
        PreCheckRequest request;
        WORD rc;
        PreCheckResult result; // status, result code, tray missing, tray paper
    } cases[] = {
        {"ready, A4 from any tray", {2, kTrays}, {kA4, kAuto}, 0, {2, 0, 0, kA4}},
        {"A4 turned matches A4", {2, kTrays}, {kA4Turned, kAuto}, 0, {2, 0, 0, kA4}},
        {"A3 only in the bypass tray is not chosen automatically",
         {2, {{"MPT", kDevA3, 10}, {"Tray1", kDevA4, 100}}},
         {kA3, kAuto},
         0,
         {2, 0, 1, 0}},
        {"an empty tray gives way to a full one",
         {3, {{"Tray1", kDevA4, 0}, {"Tray2", kDevA4, 100}}, {{8, 1, 808}}},
         {kA4, kAuto},
         0,
         {3, 0, 0, kA4}},
        {"the asked tray is empty",
         {3, kTrays, {{8, 2, 808}}},
         {kA4, kTray1},
         0,
         {3, PRECHECK_RESULT_PAPER_EMPTY, 0, kA4}},
        {"the asked tray is missing",
         {3, kTrays, {{8, 2, 801}}},
         {kA4, kTray1},
         0,
         {3, PRECHECK_RESULT_TRAY_MISSING, 0, kA4}},
        {"a tray elevation failure", {3, kTrays, {{8, 2, 812}}}, {kA4, kTray1}, 0, {3, 99, 0, kA4}},
        {"the asked tray holds another paper", {2, kTrays}, {kA4, kTray2}, 0, {2, 0, 0, kLetter}},
        {"the asked tray is not installed", {2, kTrays}, {kA4, kTray4}, 0, {2, 0, 1, 0}},
        {"unknown device paper", {2, {{"tray1", 999, 100}}}, {kA4, kTray1}, 0, {2, 0, 0, kUnknown}},
        {"bypass tray empty by its level",
         {2, {{"MPT", kDevA4, 0}}},
         {kA4, kBypass},
         0,
         {2, PRECHECK_RESULT_PAPER_EMPTY, 0, kA4}},
        {"bypass tray asked for an envelope",
         {2, {{"BYPASS TRAY", kDevA4, 10}}},
         {kEnvDl, kBypass},
         0,
         {2, 0, 0, kEnvDl}},
        {"a jam beats an empty tray",
         {3, kTrays, {{8, 2, 808}, {13, 1, 8}}},
         {kA4, kTray1},
         0,
         {3, PRECHECK_RESULT_JAM, 0, kA4}},
        {"the device has failed", {5, kTrays, {{5, 1, 30}}}, {kA4, kAuto}, 0, {5, -1, 0, kA4}},
        {"toner empty", {3, kTrays, {{11, 1, 1101}}}, {kA4, kAuto}, 0, {3, -2, 0, kA4}},
        {"toner almost empty prints",
         {3, kTrays, {{11, 1, 1104}}},
         {kA4, kAuto},
         0,
         {3, 0, 0, kA4}},
        {"a status outside 1 to 5", {6, kTrays}, {kA4, kAuto}, PRECHECK_UNEXPECTED_ANSWER, {}},
        {"a status of 0", {0, kTrays}, {kA4, kAuto}, PRECHECK_UNEXPECTED_ANSWER, {}},
    };
    for (const Case& c : cases) {
        snmp_testing::TableAgent table = Agent(c.device);
        snmp_testing::UdpResponder agent(std::ref(table));
        platform::test::RedirectUdpPort(161, agent.Port());
        PreCheckRequest request = c.request;
        PreCheckResult r{9, 9, 9, 9};
        ASSERT_EQ(hostCheck("127.0.0.1", &request, &r) & 0xFFFF, c.rc) << c.what;
        if (c.rc != PRECHECK_OK) continue;
        EXPECT_EQ(r.status, c.result.status) << c.what;
        EXPECT_EQ(r.resultCode, c.result.resultCode) << c.what;
        EXPECT_EQ(r.trayMissing, c.result.trayMissing) << c.what;
        EXPECT_EQ(r.trayPaper, c.result.trayPaper) << c.what;
    }
}

TEST_F(HostPreCheck, BadArgumentsAskNothing) {
    snmp_testing::UdpResponder agent(
        [](const snmp_bytes::Bytes&) { return std::vector<snmp_testing::Answer>{}; });
    platform::test::RedirectUdpPort(161, agent.Port());
    struct Case {
        const char* host;
        PreCheckRequest request;
        int rc;
    } cases[] = {
        {"127.0.0.1", {kA4, 7}, PRECHECK_BAD_ARGUMENT},
        {"127.0.0.1", {40, kAuto}, PRECHECK_BAD_ARGUMENT},
        {"127.0.0.1", {-1, kTray1}, PRECHECK_BAD_ARGUMENT},
        {"127.0.0.1", {kA4, -1}, PRECHECK_BAD_ARGUMENT},
        {nullptr, {kA4, kAuto}, PRECHECK_FAILED},
        {"", {kA4, kAuto}, PRECHECK_FAILED},
    };
    for (const Case& c : cases) {
        PreCheckRequest request = c.request;
        PreCheckResult result{9, 9, 9, 9};
        EXPECT_EQ(hostCheck(c.host, &request, &result) & 0xFFFF, c.rc)
            << c.request.paperCode << "/" << c.request.trayCode;
    }
    PreCheckRequest request{kA4, kAuto};
    PreCheckResult result{};
    EXPECT_EQ(hostCheck("127.0.0.1", nullptr, &result) & 0xFFFF, PRECHECK_BAD_ARGUMENT);
    EXPECT_EQ(hostCheck("127.0.0.1", &request, nullptr) & 0xFFFF, PRECHECK_BAD_ARGUMENT);
    EXPECT_EQ(agent.Received(), 0);
}

TEST_F(HostPreCheck, AnUnknownHostOrASilentDeviceIsAFailureNotAnEmptySuccess) {
    platform::test::SetHostAddresses("no-such-printer", {});
    PreCheckRequest request{kA4, kAuto};
    PreCheckResult result{9, 9, 9, 9};
    EXPECT_EQ(hostCheck("no-such-printer", &request, &result) & 0xFFFF, PRECHECK_FAILED);
    EXPECT_EQ(result.status, 0);

    snmp_testing::UdpResponder silent(
        [](const snmp_bytes::Bytes&) { return std::vector<snmp_testing::Answer>{}; });
    platform::test::RedirectUdpPort(161, silent.Port());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(hostCheck("127.0.0.1", &request, &result) & 0xFFFF, PRECHECK_FAILED);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

} // namespace
