// The SNMP client against a real agent: Debian's snmpd on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "devcomm/oid_resources.h"
#include "devcomm/snmp_client.h"
#include "devcomm/snmp_walk.h"
#include "platform/net_ctl.h"
#include "snmpd_agent.h"

namespace {

constexpr const char* kInputTable = "1.3.6.1.2.1.43.8.2.1";

snmp_testing::SnmpdConfig PrinterConfig() {
    snmp_testing::SnmpdConfig c;
    c.views = {"1.3.6.1.2.1.1.1", kInputTable, DEVCOMM_PRIVATE_ARC ".402"};
    c.overrides = {{"1.3.6.1.2.1.1.1.0", "octet_str \"Test Printer 5000\""}};
    snmp_testing::SnmpdConfig::Pass trays;
    trays.root = kInputTable;
    const char* names[] = {"MPT", "Tray1", "Tray2", "LCT"};
    const char* capacities[] = {"100", "500", "500", "3000"};
    for (int i = 1; i <= 4; ++i)
        trays.rows.push_back(std::string(kInputTable) + ".2.1." + std::to_string(i) + "|integer|" +
                             (i == 1 ? "6" : "4"));
    for (int i = 1; i <= 4; ++i)
        trays.rows.push_back(std::string(kInputTable) + ".9.1." + std::to_string(i) + "|integer|" +
                             capacities[i - 1]);
    for (int i = 1; i <= 4; ++i)
        trays.rows.push_back(std::string(kInputTable) + ".13.1." + std::to_string(i) + "|string|" +
                             names[i - 1]);
    c.passes.push_back(trays);
    // A private table whose script is too slow for the client.
    snmp_testing::SnmpdConfig::Pass slow;
    slow.root = DEVCOMM_PRIVATE_ARC ".402";
    slow.rows = {DEVCOMM_PRIVATE_ARC ".402.2.1.7.0|integer|1"};
    slow.delayMs = 2000;
    c.passes.push_back(slow);
    return c;
}

class SnmpdPeer : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(agent.Start(PrinterConfig())) << agent.Log(); }

    SnmpTransport Transport(DWORD timeoutMs = 3000) const {
        SnmpTransport t;
        t.port = agent.Port();
        t.timeoutMs = timeoutMs;
        return t;
    }

    std::vector<std::string> WalkTexts(const char* column, BYTE type, devcomm::WalkEnd* end) {
        std::vector<std::string> out;
        SnmpColumnRow row{type, column};
        *end = devcomm::WalkColumns(
            "127.0.0.1", &row, 1,
            [&](const SnmpRequestRecord& reply) {
                const SnmpVarbindEntry& e = reply.entries[0];
                if (e.type == SNMP_TYPE_INTEGER) {
                    int v;
                    std::memcpy(&v, e.value, 4);
                    out.push_back(std::to_string(v));
                } else {
                    out.emplace_back(reinterpret_cast<const char*>(e.value),
                                     static_cast<std::size_t>(e.length));
                }
                return true;
            },
            Transport());
        return out;
    }

    snmp_testing::SnmpdAgent agent;
};

TEST_F(SnmpdPeer, GetOfSysDescr) {
    SnmpVarbindEntry e{};
    ASSERT_TRUE(devcomm::GetOne("127.0.0.1", SNMP_PDU_GET, "1.3.6.1.2.1.1.1.0", &e, Transport()));
    EXPECT_EQ(e.type, SNMP_TYPE_OCTETSTRING);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(e.value), static_cast<std::size_t>(e.length)),
              "Test Printer 5000");
    EXPECT_STREQ(e.oid, "1.3.6.1.2.1.1.1.0");
}

TEST_F(SnmpdPeer, SnmpRequestGoesToPort161) {
    // The agent listens elsewhere; the platform sends what goes to 161 there.
    platform::test::RedirectUdpPort(161, agent.Port());
    platform::test::SetHostAddresses("printer.example", {"127.0.0.1"});
    SnmpColumnRow row{0, "1.3.6.1.2.1.1.1.0"};
    SnmpRequestRecord* r = MPNewRequests(2, 1, &row, TRUE);
    ASSERT_NE(r, nullptr);
    r[0].pduType = SNMP_PDU_GET;
    ASSERT_EQ(SnmpRequest("printer.example", 3, &r[0], &r[1]), 0);
    EXPECT_EQ(r[1].errorStatus, 0u);
    EXPECT_STREQ(reinterpret_cast<char*>(r[1].entries[0].value), "Test Printer 5000");
    EXPECT_EQ(r[1].agentAddress, 0x0100007fu);
    MPFreeRequests(2, r);
}

TEST_F(SnmpdPeer, WalkOfTheInputTrayTable) {
    devcomm::WalkEnd end;
    EXPECT_EQ(WalkTexts("1.3.6.1.2.1.43.8.2.1.2", SNMP_TYPE_INTEGER, &end),
              (std::vector<std::string>{"6", "4", "4", "4"}));
    EXPECT_EQ(end, devcomm::WalkEnd::EndOfColumn); // ended by the next column's first row
    EXPECT_EQ(WalkTexts("1.3.6.1.2.1.43.8.2.1.9.1", SNMP_TYPE_INTEGER, &end),
              (std::vector<std::string>{"100", "500", "500", "3000"}));
    EXPECT_EQ(end, devcomm::WalkEnd::EndOfColumn);
}

TEST_F(SnmpdPeer, TheEndOfTheViewEndsTheWalkWithItsRows) {
    // The name column is the last thing in the view before the slow table:
    // restrict the walk to a view without it.
    agent.Stop();
    auto config = PrinterConfig();
    config.views = {"1.3.6.1.2.1.1.1", kInputTable};
    config.passes.pop_back();
    ASSERT_TRUE(agent.Start(config)) << agent.Log();
    devcomm::WalkEnd end;
    EXPECT_EQ(WalkTexts("1.3.6.1.2.1.43.8.2.1.13", SNMP_TYPE_OCTETSTRING, &end),
              (std::vector<std::string>{"MPT", "Tray1", "Tray2", "LCT"}));
    EXPECT_EQ(end, devcomm::WalkEnd::EndOfColumn);
    // Nothing of the host's own data is served.
    SnmpVarbindEntry e{};
    EXPECT_FALSE(devcomm::GetOne("127.0.0.1", SNMP_PDU_GET, "1.3.6.1.2.1.1.5.0", &e, Transport()));
    EXPECT_FALSE(devcomm::GetOne("127.0.0.1", SNMP_PDU_GETNEXT, "1.3.6.1.2.1.43.8.2.1.13.1.4", &e,
                                 Transport()));
}

TEST_F(SnmpdPeer, WrongCommunityEndsInTheTimeOut) {
    SnmpColumnRow row{0, "1.3.6.1.2.1.1.1.0"};
    SnmpRequestRecord* r = MPNewRequests(2, 1, &row, TRUE);
    ASSERT_NE(r, nullptr);
    r[0].pduType = SNMP_PDU_GET;
    std::strcpy(r[0].community, "public");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SnmpRequestEx("127.0.0.1", Transport(400), &r[0], &r[1]), -1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
    MPFreeRequests(2, r);
}

TEST_F(SnmpdPeer, SlowPassScriptEndsInTheTimeOut) {
    SnmpVarbindEntry e{};
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(devcomm::GetOne("127.0.0.1", SNMP_PDU_GET, DEVCOMM_PRIVATE_ARC ".402.2.1.7.0", &e,
                                 Transport(500)));
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(500));
    EXPECT_LT(waited, std::chrono::milliseconds(1900));
}

} // namespace
