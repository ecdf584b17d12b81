// Every query of the three device libraries against Debian's snmpd serving
// the sample printer (samples/devices) in each of its states.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "platform/net_ctl.h"
#include "query_libraries.h"
#include "sample_device.h"
#include "udp_responder.h"

namespace {

struct Expected {
    SHORT status;
    SHORT autoA4;  // result code for A4 from any tray
    SHORT tray1A4; // result code for A4 from Tray1
};

// What the pre-print check answers in each state.
const std::map<std::string, Expected> kStates = {
    {"ready", {2, PRECHECK_RESULT_NONE, PRECHECK_RESULT_NONE}},
    {"tray-empty", {3, PRECHECK_RESULT_NONE, PRECHECK_RESULT_PAPER_EMPTY}},
    {"toner-low", {3, PRECHECK_RESULT_NONE, PRECHECK_RESULT_NONE}},
    {"jammed", {5, PRECHECK_RESULT_JAM, PRECHECK_RESULT_JAM}},
    {"down", {5, PRECHECK_RESULT_FAILED, PRECHECK_RESULT_FAILED}},
};

// Driver paper and tray codes.
constexpr SHORT kLetter = 3, kA4 = 6, kA4Turned = 15, kA5Turned = 37;
constexpr SHORT kAuto = 0, kBypass = 1, kTray1 = 2, kTray2 = 3;

class SampleDevice : public QueryLibraries, public ::testing::WithParamInterface<std::string> {
  protected:
    void SetUp() override {
        QueryLibraries::SetUp();
        ASSERT_TRUE(agent.Start(snmp_testing::SampleDevice(GetParam()))) << agent.Log();
        platform::test::RedirectUdpPort(161, agent.Port());
        platform::test::SetHostAddresses("printer1", {"127.0.0.1"});
    }
    snmp_testing::SnmpdAgent agent;
    SelPortInfo info = Network("printer1");
};

TEST_P(SampleDevice, InstalledOptionsAndDescription) {
    EXPECT_EQ(Unit("MPGetHddUnit", &info), 1);
    EXPECT_EQ(Count("MPGetMaxTray", &info), 5);
    EXPECT_EQ(Unit("MPGetDupUnit", &info), 1);
    EXPECT_EQ(Unit("MPGetMemSize", &info), 524288);
    EXPECT_EQ(Unit("MPGetPunchCap", &info), 0); // the finisher does not punch
    EXPECT_EQ(Unit("MPGetSpoolerType", &info), 1);
    EXPECT_EQ(Count("MPGetMaxOutputTray", &info), 3);

    WORD needed = 0;
    char text[64];
    EXPECT_EQ(Text("MPGetSysDescr")(&info, 0, nullptr, &needed), 1);
    EXPECT_EQ(needed, 18);
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(Text("MPGetSysDescr")(&info, sizeof text, text, &needed), 1);
    EXPECT_STREQ(text, "Velmora CX5540 MFP");
    EXPECT_EQ(Text("MPGetSysDescr")(&info, 17, text, &needed), 0);
    EXPECT_EQ(Text("MPGetFinisherUnit")(&info, sizeof text, text, &needed), 1);
    EXPECT_STREQ(text, "FS-5500");
    EXPECT_EQ(needed, 7);

    std::vector<TrayInfo> trays(5);
    EXPECT_EQ(Trays("MPGetTrayInfo")(&info, 4 * sizeof(TrayInfo), trays.data(), &needed), 0);
    EXPECT_EQ(needed, 5 * sizeof(TrayInfo));
    ASSERT_EQ(Trays("MPGetTrayInfo")(&info, 5 * sizeof(TrayInfo), trays.data(), &needed), 1);
    const char* names[] = {"MPT", "Tray1", "Tray2", "Tray3", "LCT"};
    const DWORD capacities[] = {100, 550, 550, 550, 3000};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(trays[i].found, 1u) << i;
        EXPECT_STREQ(trays[i].name, names[i]);
        EXPECT_EQ(trays[i].maxCapacity, capacities[i]);
    }
    ASSERT_EQ(Trays("MPGetOutputTrayInfo")(&info, 5 * sizeof(TrayInfo), trays.data(), &needed), 1);
    EXPECT_EQ(needed, 3 * sizeof(TrayInfo));
    EXPECT_STREQ(trays[1].name, "Inner Tray 2");
    EXPECT_EQ(trays[2].maxCapacity, 1000u);
}

TEST_P(SampleDevice, PrePrintCheck) {
    const Expected& e = kStates.at(GetParam());
    struct Case {
        SHORT paper, tray;
        SHORT resultCode, trayMissing, trayPaper;
    } cases[] = {
        {kA4, kAuto, e.autoA4, 0, kA4},
        {kA4Turned, kAuto, e.autoA4, 0, kA4}, // turned A4 is looked for as A4
        {kA4, kTray1, e.tray1A4, 0, kA4},
        {kLetter, kTray2, e.autoA4, 0, kLetter},
        {kA5Turned, kAuto, e.autoA4, 1, 0}, // no tray holds A5
        {kLetter, kBypass, e.autoA4, 0, kLetter},
    };
    for (const Case& c : cases) {
        PreCheckRequest request{c.paper, c.tray};
        PreCheckResult result{};
        ASSERT_EQ(preCheck(&info, &request, &result), PRECHECK_OK) << c.paper << "/" << c.tray;
        EXPECT_EQ(result.status, e.status);
        EXPECT_EQ(result.resultCode, c.resultCode) << c.paper << "/" << c.tray;
        EXPECT_EQ(result.trayMissing, c.trayMissing) << c.paper << "/" << c.tray;
        EXPECT_EQ(result.trayPaper, c.trayPaper) << c.paper << "/" << c.tray;
    }
}

TEST_P(SampleDevice, DepartmentCodes) {
    SHORT mode = DEPTCODE_MODE_MANAGED, answer = -1;
    EXPECT_EQ(deptcode(&info, &mode, &answer), DEPTCODE_OK);
    EXPECT_EQ(answer, DEPTCODE_ANSWER_MANAGED);
    mode = DEPTCODE_MODE_COUNTED;
    EXPECT_EQ(deptcode(&info, &mode, &answer), DEPTCODE_OK);
    EXPECT_EQ(answer, DEPTCODE_ANSWER_NO);
    // The host-name variant asks through Devprobe's older queries.
    answer = -1;
    EXPECT_EQ(Export<PFN_Deptcode>(tallyport, "Deptcode")("printer1", &mode, &answer), DEPTCODE_OK);
    EXPECT_EQ(answer, DEPTCODE_ANSWER_NO);
}

INSTANTIATE_TEST_SUITE_P(States, SampleDevice,
                         ::testing::ValuesIn(snmp_testing::SampleDeviceStates()),
                         [](const auto& p) {
                             std::string name = p.param;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

// A device that answers every request in 1.5 s, well inside the 3 s time-out:
// slow, but correct, and read whole however long its tables take in all.
// The sample device's snmpd answers behind a link that holds each answer
// until 1.5 s after its request.
class SlowSampleDevice : public QueryLibraries {
  protected:
    static constexpr auto kAnswerTime = std::chrono::milliseconds(1500);
    void SetUp() override {
        QueryLibraries::SetUp();
        ASSERT_TRUE(agent.Start(snmp_testing::SampleDevice("ready"))) << agent.Log();
        platform::test::RedirectUdpPort(161, link.Port());
    }
    // The agent's answer to one request, sent on as it came.
    static snmp_testing::Bytes AskAgent(std::uint16_t port, const snmp_testing::Bytes& request) {
        snmp_testing::Bytes answer(65536);
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        pollfd p{fd, POLLIN, 0};
        ssize_t n = -1;
        if (fd >= 0 &&
            ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to),
                     sizeof to) > 0 &&
            ::poll(&p, 1, 1000) == 1)
            n = ::recv(fd, answer.data(), answer.size(), 0);
        if (fd >= 0) ::close(fd);
        answer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return answer;
    }
    snmp_testing::SnmpdAgent agent;
    snmp_testing::UdpResponder link{[this](const snmp_testing::Bytes& request) {
        const auto start = std::chrono::steady_clock::now();
        snmp_testing::Bytes answer = AskAgent(agent.Port(), request);
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        if (answer.empty()) return std::vector<snmp_testing::Answer>{};
        return std::vector<snmp_testing::Answer>{
            {answer, false, static_cast<int>(std::max(kAnswerTime - took, {}).count())}};
    }};
    SelPortInfo info = Network("127.0.0.1");
};

TEST_F(SlowSampleDevice, IsReadWhole) {
    EXPECT_EQ(Count("MPGetMaxTray", &info), 5);
    PreCheckRequest request{kA4, kTray1};
    PreCheckResult result{};
    EXPECT_EQ(preCheck(&info, &request, &result), PRECHECK_OK);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.resultCode, PRECHECK_RESULT_NONE);
    EXPECT_EQ(result.trayMissing, 0);
}

TEST(SampleDeviceStates, EveryStateHasItsExpectations) {
    for (const std::string& state : snmp_testing::SampleDeviceStates())
        EXPECT_EQ(kStates.count(state), 1u) << state;
    EXPECT_EQ(snmp_testing::SampleDeviceStates().size(), kStates.size());
}

} // namespace
