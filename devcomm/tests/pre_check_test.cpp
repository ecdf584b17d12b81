// MPPreCheck over a table of device states and requests, against a scripted
// agent on loopback; and its argument checks, which ask nothing.
#include <gtest/gtest.h>

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

const std::vector<Tray> kFourTrays = {
    {"MPT", kDevA4, 10}, {"Tray1", kDevA4, 100}, {"Tray2", kDevLetter, 100}, {"LCT", kDevA4, 1000}};

class PreCheck : public QueryLibraries {
  protected:
    WORD Run(const Device& d, PreCheckRequest request, PreCheckResult* result) {
        snmp_testing::TableAgent table = Agent(d);
        snmp_testing::UdpResponder agent(std::ref(table));
        platform::test::RedirectUdpPort(161, agent.Port());
        SelPortInfo info = Network("127.0.0.1");
        *result = PreCheckResult{};
        return preCheck(&info, &request, result);
    }
};

TEST_F(PreCheck, DeviceStatesAndRequests) {
    struct Case {
        const char* what;
        Device device;
        PreCheckRequest request;
        WORD rc;
        PreCheckResult result; // status, result code, tray missing, tray paper
    } cases[] = {
        {"ready, A4 from any tray: the first tray holding it",
         {2, kFourTrays},
         {kA4, kAuto},
         0,
         {2, 0, 0, kA4}},
        {"A4 turned is matched against trays of A4",
         {2, kFourTrays},
         {kA4Turned, kAuto},
         0,
         {2, 0, 0, kA4}},
        {"A3 only in the bypass tray: not chosen automatically",
         {2, {{"MPT", kDevA3, 10}, {"Tray1", kDevA4, 100}}},
         {kA3, kAuto},
         0,
         {2, 0, 1, 0}},
        {"first tray empty, the second holds the paper too",
         {3, {{"Tray1", kDevA4, 0}, {"Tray2", kDevA4, 100}}},
         {kA4, kAuto},
         0,
         {3, 0, 0, kA4}},
        {"the only tray with the paper is empty",
         {3, {{"Tray1", kDevA4, 0}, {"Tray2", kDevLetter, 100}}},
         {kA4, kAuto},
         0,
         {3, PRECHECK_RESULT_PAPER_EMPTY, 0, kA4}},
        {"the asked tray is empty",
         {3, kFourTrays, {{8, 2, 808}}},
         {kA4, kTray1},
         0,
         {3, PRECHECK_RESULT_PAPER_EMPTY, 0, kA4}},
        {"a missing tray before the asked one",
         {3, kFourTrays, {{8, 1, 801}}},
         {kA4, kTray1},
         0,
         {3, PRECHECK_RESULT_TRAY_MISSING, 0, kA4}},
        {"the asked tray holds another paper",
         {2, kFourTrays},
         {kA4, kTray2},
         0,
         {2, 0, 0, kLetter}},
        {"the asked tray is not installed", {2, kFourTrays}, {kA4, 5}, 0, {2, 0, 1, 0}},
        {"the large capacity tray", {2, kFourTrays}, {kA4, kLct}, 0, {2, 0, 0, kA4}},
        {"bypass tray: its alert, the asked paper",
         {3, kFourTrays, {{8, 1, 808}}},
         {kLetter, kBypass},
         0,
         {3, PRECHECK_RESULT_PAPER_EMPTY, 0, kLetter}},
        {"bypass tray under its other name",
         {3, {{"Bypass Tray", kDevA4, 0}}},
         {kA4, kBypass},
         0,
         {3, PRECHECK_RESULT_PAPER_EMPTY, 0, kA4}},
        {"tray names in another case",
         {2, {{"TRAY1", kDevA4, 100}}},
         {kA4, kTray1},
         0,
         {2, 0, 0, kA4}},
        {"unknown device paper", {2, {{"Tray1", 999, 100}}}, {kA4, kTray1}, 0, {2, 0, 0, kUnknown}},
        {"the device's own code of turned A4",
         {2, {{"Tray1", kDevA4Turned, 100}}},
         {kA4, kTray1},
         0,
         {2, 0, 0, kA4}},
        {"a jam beats an empty tray",
         {5, kFourTrays, {{8, 2, 808}, {13, 1, 8}}},
         {kA4, kTray1},
         0,
         {5, PRECHECK_RESULT_JAM, 0, kA4}},
        {"the device is down",
         {5, kFourTrays, {{5, 1, 30}}},
         {kA4, kAuto},
         0,
         {5, PRECHECK_RESULT_FAILED, 0, kA4}},
        {"down without an alert is still down", {5, kFourTrays}, {kA4, kAuto}, 0, {5, 0, 0, kA4}},
        {"a door open",
         {3, kFourTrays, {{6, 1, 501}}},
         {kA4, kAuto},
         0,
         {3, PRECHECK_RESULT_ATTENTION, 0, kA4}},
        {"toner almost empty prints",
         {3, kFourTrays, {{11, 1, 1104}}},
         {kA4, kAuto},
         0,
         {3, 0, 0, kA4}},
        {"toner cartridge missing",
         {3, kFourTrays, {{11, 1, 1115}}},
         {kA4, kAuto},
         0,
         {3, PRECHECK_RESULT_TONER, 0, kA4}},
        {"toner empty with a colorant that names it",
         {3, kFourTrays, {{11, 1, 1101}}, {40250, 0}},
         {kA4, kAuto},
         0,
         {3, PRECHECK_RESULT_TONER, 0, kA4}},
        {"toner empty with other colorants",
         {3, kFourTrays, {{11, 1, 1101}}, {40100, 40101}},
         {kA4, kAuto},
         0,
         {3, PRECHECK_RESULT_TONER_EMPTY_NO_COLORANT, 0, kA4}},
        {"on equal priority the earlier alert stays",
         {3, kFourTrays, {{13, 1, 8}, {5, 1, 1}}},
         {kA4, kAuto},
         0,
         {3, PRECHECK_RESULT_JAM, 0, kA4}},
        {"an alert list ends at a code of 0",
         {3, kFourTrays, {{5, 1, 0}, {5, 2, 30}}},
         {kA4, kAuto},
         0,
         {3, 0, 0, kA4}},
        {"a status outside 1 to 5",
         {6, kFourTrays},
         {kA4, kAuto},
         PRECHECK_UNEXPECTED_ANSWER,
         {0, 0, 0, 0}},
        {"a status of 0", {0, kFourTrays}, {kA4, kAuto}, PRECHECK_UNEXPECTED_ANSWER, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        PreCheckResult r;
        ASSERT_EQ(Run(c.device, c.request, &r), c.rc) << c.what;
        if (c.rc != PRECHECK_OK) continue;
        EXPECT_EQ(r.status, c.result.status) << c.what;
        EXPECT_EQ(r.resultCode, c.result.resultCode) << c.what;
        EXPECT_EQ(r.trayMissing, c.result.trayMissing) << c.what;
        EXPECT_EQ(r.trayPaper, c.result.trayPaper) << c.what;
    }
}

TEST_F(PreCheck, BadArgumentsAskNothing) {
    snmp_testing::UdpResponder agent(
        [](const snmp_bytes::Bytes&) { return std::vector<snmp_testing::Answer>{}; });
    platform::test::RedirectUdpPort(161, agent.Port());
    SelPortInfo info = Network("127.0.0.1");
    SelPortInfo shortRecord = info;
    shortRecord.kind = SELPORT_KIND_SHORT;
    SelPortInfo usb = Usb("USB001");
    PreCheckResult result{};
    struct Case {
        SelPortInfo* info;
        PreCheckRequest request;
        WORD rc;
    } cases[] = {
        {&info, {kA4, 7}, PRECHECK_BAD_ARGUMENT},
        {&info, {40, kAuto}, PRECHECK_BAD_ARGUMENT},
        {&info, {-1, kAuto}, PRECHECK_BAD_ARGUMENT},
        {&info, {kA4, -1}, PRECHECK_BAD_ARGUMENT},
        {&shortRecord, {kA4, kAuto}, PRECHECK_BAD_ARGUMENT},
        {&usb, {kA4, kAuto}, PRECHECK_FAILED},
    };
    for (const Case& c : cases) {
        PreCheckRequest request = c.request;
        EXPECT_EQ(preCheck(c.info, &request, &result), c.rc)
            << c.request.paperCode << "/" << c.request.trayCode;
    }
    PreCheckRequest request{kA4, kAuto};
    EXPECT_EQ(preCheck(nullptr, &request, &result), PRECHECK_BAD_ARGUMENT);
    EXPECT_EQ(preCheck(&info, nullptr, &result), PRECHECK_BAD_ARGUMENT);
    EXPECT_EQ(preCheck(&info, &request, nullptr), PRECHECK_BAD_ARGUMENT);
    EXPECT_EQ(agent.Received(), 0);
}

TEST_F(PreCheck, AnAgentWithoutTraysBeforeTheEndOfItsViewCannotBeChecked) {
    // A version-1 agent answers noSuchName past its view: with no tray row
    // seen, the trays cannot be told, as when the walk fails.
    snmp_testing::TableAgent table;
    table.Set("1.3.6.1.2.1.25.3.2.1.5.1", Int(2));
    snmp_testing::UdpResponder agent(std::ref(table));
    platform::test::RedirectUdpPort(161, agent.Port());
    SelPortInfo info = Network("127.0.0.1");
    PreCheckRequest request{kA4, kAuto};
    PreCheckResult result{};
    EXPECT_EQ(preCheck(&info, &request, &result), PRECHECK_FAILED);
}

} // namespace
