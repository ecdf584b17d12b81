// printhost device: a printer installed on the sample model, its device the
// sample device under snmpd, asked from a separate printhost process.
#include <gtest/gtest.h>

#include <string>

#include "platform_testing/fresh_root.h"
#include "sample_device.h"

namespace {

int Printhost(const std::string& arguments, std::string* out) {
    out->clear();
    return platform_testing::RunCommand(
        std::string("'") + PKG_TOOLS_DIR + "/printhost' " + arguments + " 2>&1", out);
}

TEST(PrinthostDevice, AsksTheSampleDeviceInItsStates) {
    std::string out;
    const std::string model = std::string(PKG_BINARY_DIR) + "/models/CX5540.DAT";
    ASSERT_EQ(Printhost("install --name Office --model '" + model + "' --port IP_127.0.0.1", &out),
              0)
        << out;
    struct Case {
        const char* state;
        const char* line;
    } cases[] = {
        {"ready", "pre-print check: status 2 (running), result 0 (nothing to report), tray missing "
                  "0, tray paper 6"},
        {"jammed",
         "pre-print check: status 5 (down), result 3 (paper jam), tray missing 0, tray paper 6"},
    };
    for (const Case& c : cases) {
        snmp_testing::SnmpdAgent agent;
        ASSERT_TRUE(agent.Start(snmp_testing::SampleDevice(c.state))) << agent.Log();
        const std::string port = " --agent-port " + std::to_string(agent.Port());
        ASSERT_EQ(Printhost("device Office" + port, &out), 0) << out;
        EXPECT_NE(out.find("description: Velmora CX5540 MFP\n"), std::string::npos) << out;
        EXPECT_NE(out.find("input trays: 5\n"), std::string::npos) << out;
        EXPECT_NE(out.find("    LCT, 3000 sheets\n"), std::string::npos) << out;
        EXPECT_NE(out.find("department codes: managed; counted jobs may print\n"),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find(c.line), std::string::npos) << c.state << "\n" << out;
    }
    // One query; then the same printer with nobody answering.
    snmp_testing::SnmpdAgent agent;
    ASSERT_TRUE(agent.Start(snmp_testing::SampleDevice("tray-empty"))) << agent.Log();
    ASSERT_EQ(
        Printhost("device Office precheck --tray 2 --agent-port " + std::to_string(agent.Port()),
                  &out),
        0);
    EXPECT_NE(out.find("result 1 (the tray's paper is empty)"), std::string::npos) << out;
    EXPECT_EQ(out.find("input trays"), std::string::npos) << out;
    agent.Stop();
    EXPECT_EQ(
        Printhost("device Office deptcode --agent-port " + std::to_string(agent.Port()), &out), 0);
    EXPECT_NE(out.find("department codes: failed (0xFFFF): the device could not be asked"),
              std::string::npos)
        << out;

    // A department-code mode of another type than the object has.
    snmp_testing::SnmpdConfig wrongType = snmp_testing::SampleDevice("ready");
    for (auto& pass : wrongType.passes)
        for (std::string& row : pass.rows)
            if (row.find(".402.2.1.7.0|") != std::string::npos)
                row = row.substr(0, row.find('|')) + "|string|2";
    ASSERT_TRUE(agent.Start(wrongType)) << agent.Log();
    EXPECT_EQ(
        Printhost("device Office deptcode --agent-port " + std::to_string(agent.Port()), &out), 0);
    EXPECT_NE(out.find("department codes: failed (0xFFFD): the device answered with a value of "
                       "the wrong type"),
              std::string::npos)
        << out;
    agent.Stop();

    EXPECT_EQ(Printhost("device Nobody", &out), 1);
    EXPECT_EQ(Printhost("device Office nonsense", &out), 2);
}

} // namespace
