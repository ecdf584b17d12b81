// The prior-print check as a person meets it: the check turned on for the
// sample printer on the sample device's network port, the department ID
// typed on the Job Type page, and a job printed through printhost while
// snmpd plays the device in each of its states. The check runs in the real
// Jobprompt and asks the real device libraries; the answer given to its
// question decides whether the job prints.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform_testing/fresh_root.h"
#include "sample_device.h"

namespace {

int Printhost(const std::string& arguments, std::string* out) {
    out->clear();
    return platform_testing::RunCommand(
        std::string("'") + PKG_TOOLS_DIR + "/printhost' " + arguments + " 2>&1", out);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

constexpr int kAutoTray = 7, kTray1 = 1;
constexpr int kLetter = 1, kPaperInTray1 = 5; // the paper tray 1 holds

TEST(PriorPrint, EachDeviceStateAsksAndTheAnswerDecides) {
    std::string out;
    ASSERT_EQ(Printhost("install --name P --model '" + std::string(PKG_MODELS_DIR) +
                            "/CX5540.DAT' --port IP_127.0.0.1",
                        &out),
              0)
        << out;
    ASSERT_EQ(Printhost("devmode P --set ReverseOrder=0 --set GraphicsMode=0 --set PriorPrintOn=1 "
                        "--store",
                        &out),
              0)
        << out;
    ASSERT_EQ(Printhost("properties P --page 'Job Type' --set 'Dept. ID=1234'", &out), 0) << out;
    const struct {
        const char* state;
        int source, paper;
        const char* answer; // to the question, when one is asked
        bool prints;
    } cases[] = {
        {"ready", kAutoTray, kLetter, "no", true}, // nothing to ask
        {"ready", kTray1, kLetter, "yes", true},   // another paper in the tray
        {"ready", kTray1, kLetter, "no", false},
        {"tray-empty", kTray1, kPaperInTray1, "yes", true},
        {"tray-empty", kTray1, kPaperInTray1, "no", false},
        {"toner-low", kAutoTray, kLetter, "no", true},
        {"jammed", kTray1, kPaperInTray1, "no", false},
        {"down", kAutoTray, kLetter, "yes", true},
        {"down", kAutoTray, kLetter, "no", false},
    };
    snmp_testing::SnmpdAgent agent;
    std::string running;
    const std::string prn = platform_testing::Root() + "/job.prn";
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.state) + " tray " + std::to_string(c.source) + " " + c.answer);
        if (running != c.state) {
            agent.Stop();
            ASSERT_TRUE(agent.Start(snmp_testing::SampleDevice(c.state))) << agent.Log();
            running = c.state;
        }
        ASSERT_EQ(Printhost("devmode P --set dmDefaultSource=" + std::to_string(c.source) +
                                " --set dmPaperSize=" + std::to_string(c.paper) + " --store",
                            &out),
                  0)
            << out;
        std::remove(prn.c_str());
        EXPECT_EQ(Printhost("print --printer P --agent-port " + std::to_string(agent.Port()) +
                                " --answer " + c.answer + " --output '" + prn + "'",
                            &out),
                  0)
            << out;
        const std::string stream = ReadFile(prn);
        EXPECT_EQ(stream.find("@PJL") != std::string::npos, c.prints) << out;
    }
}

} // namespace
