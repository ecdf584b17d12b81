// Devprobe's older queries against snmpd and against a scripted agent.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "devcomm/oid_resources.h"
#include "devprobe_fixture.h"
#include "platform/net_ctl.h"
#include "snmp_bytes.h"
#include "snmp_table_agent.h"
#include "snmpd_agent.h"
#include "udp_responder.h"

namespace {

using snmp_testing::SnmpdConfig;

const std::string kPrinter = "1.3.6.1.2.1.43";
const std::string kArc = DEVCOMM_PRIVATE_ARC;

struct Row {
    std::string oid, type, value;
};

SnmpdConfig PrinterAgent(const std::vector<Row>& extra = {}, int trays = 4) {
    SnmpdConfig c;
    // Only the objects the queries ask: none of the host's own resources show.
    c.views = {"1.3.6.1.2.1.1.1", "1.3.6.1.2.1.25.2.2", "1.3.6.1.2.1.25.3.6.1.2", kPrinter, kArc};
    c.overrides = {{"1.3.6.1.2.1.1.1.0", "octet_str \"Test Printer 5000\""},
                   {"1.3.6.1.2.1.25.2.2.0", "integer 262144"}};
    std::vector<Row> disks = {
        {"1.3.6.1.2.1.25.3.6.1.2.1", "integer", "4"}, // RAM disk
        {"1.3.6.1.2.1.25.3.6.1.2.2", "integer", "3"}, // hard disk
    };
    std::vector<Row> printer;
    const char* capacities[] = {"100", "500", "3000", "500", "500", "500", "500", "500", "500"};
    for (int i = 1; i <= trays; ++i)
        printer.push_back({kPrinter + ".8.2.1.2.1." + std::to_string(i), "integer", "4"});
    for (int i = 1; i <= trays; ++i)
        printer.push_back(
            {kPrinter + ".8.2.1.9.1." + std::to_string(i), "integer", capacities[i - 1]});
    for (int i = 1; i <= trays; ++i)
        printer.push_back({kPrinter + ".8.2.1.13.1." + std::to_string(i), "string",
                           i == 1 ? "MPT" : "Tray" + std::to_string(i - 1)});
    std::vector<Row> more = {
        {kPrinter + ".9.2.1.4.1.1", "integer", "250"},
        {kPrinter + ".9.2.1.4.1.2", "integer", "100"},
        {kPrinter + ".9.2.1.7.1.1", "string", "Inner"},
        {kPrinter + ".9.2.1.7.1.2", "string", "Outer"},
        {kPrinter + ".13.4.1.9.1.1", "integer", "2"},
        {kPrinter + ".13.4.1.9.1.2", "integer", "4"},
        {kPrinter + ".15.1.1.2.1.1", "integer", "47"},
        {kPrinter + ".15.1.1.2.1.2", "integer", "54"},
        {kPrinter + ".15.1.1.3.1.1", "string", "6"},
        {kPrinter + ".15.1.1.3.1.2", "string", "3"},
        {kPrinter + ".15.1.1.5.1.1", "string", "PCL XL"},
        {kPrinter + ".15.1.1.5.1.2", "string", "PostScript"},
    };
    printer.insert(printer.end(), more.begin(), more.end());
    std::vector<Row> priv = {
        {kArc + ".402.1.1.2.1.3.2", "integer", "4"},
        {kArc + ".402.2.1.7.0", "integer", "1"},
        {kArc + ".402.2.3.1.2.1", "string", "A"},
        {kArc + ".405.1.6.4.2.1.12.1.1", "integer", "1"},
        {kArc + ".405.1.6.4.2.1.12.1.2", "integer", "8"},
    };
    for (const Row& r : extra)
        priv.push_back(r);
    auto pass = [](const std::string& root, const std::vector<Row>& rows) {
        SnmpdConfig::Pass p;
        p.root = root;
        for (const Row& r : rows)
            p.rows.push_back(r.oid + "|" + r.type + "|" + r.value);
        return p;
    };
    c.passes = {pass("1.3.6.1.2.1.25.3.6.1.2", disks), pass(kPrinter, printer), pass(kArc, priv)};
    return c;
}

class DevprobeQueries : public DevprobeTest {
  protected:
    void Start(const SnmpdConfig& config) {
        ASSERT_TRUE(agent.Start(config)) << agent.Log();
        // The queries ask port 161; the platform sends that to the agent.
        platform::test::RedirectUdpPort(161, agent.Port());
        platform::test::SetHostAddresses("printer1", {"127.0.0.1"});
    }
    template <class Fn> Fn Q(const char* name) { return Export<Fn>(name); }
    int Host(const char* name, const char* host = "printer1") {
        return Q<PFN_GetHostQuery>(name)(host);
    }

    snmp_testing::SnmpdAgent agent;
};

TEST_F(DevprobeQueries, SingleValues) {
    Start(PrinterAgent());
    auto sysDescr = Q<PFN_GetTextQuery>("GetSysDescr");
    WORD needed = 0;
    EXPECT_EQ(sysDescr("printer1", 0, nullptr, &needed), 1);
    EXPECT_EQ(needed, 18);
    char text[64];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(sysDescr("printer1", sizeof text, text, &needed), 1);
    EXPECT_STREQ(text, "Test Printer 5000");
    EXPECT_EQ(Host("GetMemSize"), 262144);
    EXPECT_EQ(Host("GetSpoolerType"), 1);
    EXPECT_EQ(Host("GetUserInfoUpdate"), 1);
    EXPECT_EQ(Host("GetUserDescrStatus"), 1);
    EXPECT_EQ(Host("GetUserInfoStatus"), 1);
    for (const char* name : {"GetMemSize", "GetMaxTray", "GetHddUnit", "GetSpoolerType"}) {
        EXPECT_EQ(Host(name, ""), 0) << name;
        EXPECT_EQ(Host(name, nullptr), 0) << name;
    }
}

TEST_F(DevprobeQueries, WalksAndCounts) {
    Start(PrinterAgent());
    EXPECT_EQ(Host("GetMaxTray"), 4);
    EXPECT_EQ(Host("GetMaxOutputTray"), 2);
    EXPECT_EQ(Host("GetPDLMaxIndex"), 2);
    EXPECT_EQ(Host("GetHddUnit"), 1);
    EXPECT_EQ(Host("GetDupUnit"), 1);
    EXPECT_EQ(Host("GetPunchCap"), 8); // 1 is skipped
}

TEST_F(DevprobeQueries, TrayRecordsInTwoCalls) {
    Start(PrinterAgent());
    auto trays = Q<PFN_GetTrayInfo>("GetTrayInfo");
    WORD needed = 0;
    EXPECT_EQ(trays("printer1", 0, nullptr, &needed), 0);
    EXPECT_EQ(needed, 4 * 264);
    std::vector<TrayInfo> records(4);
    EXPECT_EQ(trays("printer1", 3 * 264, records.data(), &needed), 0);
    ASSERT_EQ(trays("printer1", 4 * 264, records.data(), &needed), 1);
    const char* names[] = {"MPT", "Tray1", "Tray2", "Tray3"};
    const DWORD capacities[] = {100, 500, 3000, 500};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(records[i].found, 1u);
        EXPECT_EQ(records[i].maxCapacity, capacities[i]);
        EXPECT_STREQ(records[i].name, names[i]);
    }
    auto bins = Q<PFN_GetTrayInfo>("GetOutputTrayInfo");
    ASSERT_EQ(bins("printer1", 4 * 264, records.data(), &needed), 1);
    EXPECT_EQ(needed, 2 * 264);
    EXPECT_STREQ(records[1].name, "Outer");
    EXPECT_EQ(records[0].maxCapacity, 250u);

    auto pdls = Q<PFN_GetPDLInfo>("GetPDLInfo");
    std::vector<PdlInfo> languages(2);
    ASSERT_EQ(pdls("printer1", 2 * 520, languages.data(), &needed), 1);
    EXPECT_EQ(languages[1].languageFamily, 54u);
    EXPECT_STREQ(languages[1].description, "PostScript");
    EXPECT_STREQ(languages[0].level, "6");
}

TEST_F(DevprobeQueries, NineTraysGiveEightRecords) {
    Start(PrinterAgent({}, 9));
    EXPECT_EQ(Host("GetMaxTray"), 9);
    auto trays = Q<PFN_GetTrayInfo>("GetTrayInfo");
    WORD needed = 0;
    std::vector<TrayInfo> records(9);
    ASSERT_EQ(trays("printer1", 9 * 264, records.data(), &needed), 1);
    EXPECT_EQ(needed, 8 * 264);
    EXPECT_STREQ(records[7].name, "Tray7");
    EXPECT_EQ(records[8].found, 0u);
}

TEST_F(DevprobeQueries, FinisherFromTheOuterBinAndDeviceOptions) {
    Start(PrinterAgent());
    auto finisher = Q<PFN_GetTextQuery>("GetFinisherUnit");
    WORD needed = 0;
    EXPECT_EQ(finisher("printer1", 0, nullptr, &needed), 0);
    EXPECT_EQ(needed, 9);
    char code[16] = {};
    EXPECT_EQ(finisher("printer1", sizeof code, code, &needed), 1);
    EXPECT_STREQ(code, "LT-VR310");

    DevOptInfo opt{};
    ASSERT_EQ(Q<PFN_Get_Dev_Opt>("Get_Dev_Opt")("printer1", &opt), 1);
    EXPECT_EQ(opt.inputTrays, 3);
    EXPECT_EQ(opt.largeCapacity, 1); // tray row 3 holds 3000 sheets
    EXPECT_EQ(opt.finisher, 0);      // the outer tray is no finisher
    EXPECT_EQ(opt.hardDisk, 1u);
    EXPECT_EQ(opt.punch, 3); // device value 8
}

TEST_F(DevprobeQueries, FinisherModelCodesMatchWhole) {
    Start(PrinterAgent({{kArc + ".405.1.6.10.1.1.9.1.1", "string", "LT-QN540"}}));
    DevOptInfo opt{};
    ASSERT_EQ(Q<PFN_Get_Dev_Opt>("Get_Dev_Opt")("printer1", &opt), 1);
    EXPECT_EQ(opt.finisher, 2);
    agent.Stop();
    Start(PrinterAgent({{kArc + ".405.1.6.10.1.1.9.1.1", "string", "LT-QN"}}));
    ASSERT_EQ(Q<PFN_Get_Dev_Opt>("Get_Dev_Opt")("printer1", &opt), 1);
    EXPECT_EQ(opt.finisher, 0);
}

TEST_F(DevprobeQueries, TwoTraysGiveNoDeviceOptions) {
    Start(PrinterAgent({}, 2));
    DevOptInfo opt;
    std::memset(&opt, 0x55, sizeof opt);
    EXPECT_EQ(Q<PFN_Get_Dev_Opt>("Get_Dev_Opt")("printer1", &opt), 0);
    EXPECT_EQ(opt.inputTrays, 0x5555);
}

TEST_F(DevprobeQueries, CountEndsAtTheEndOfTheView) {
    // prtInputType is the last object the agent shows.
    SnmpdConfig c = PrinterAgent();
    c.views = {"1.3.6.1.2.1.43.8.2.1.2"};
    Start(c);
    EXPECT_EQ(Host("GetMaxTray"), 4);
    EXPECT_EQ(Host("GetHddUnit"), 0);
}

// A scripted agent for answers snmpd would not give.
class DevprobeScripted : public DevprobeTest {
  protected:
    void Serve(snmp_testing::UdpResponder& agent) {
        platform::test::RedirectUdpPort(161, agent.Port());
    }
    int Host(const char* name) { return Export<PFN_GetHostQuery>(name)("127.0.0.1"); }
};

TEST_F(DevprobeScripted, AnswersMustCarryTheDefaultCommunityAndRequestId17) {
    using namespace snmp_bytes;
    struct Case {
        const char* what;
        std::string community;
        int idDelta;
        int result;
    } cases[] = {{"as asked", "quince", 0, 262144},
                 {"other community", "public", 0, 0},
                 {"other request id", "quince", 1, 0}};
    for (const Case& c : cases) {
        snmp_testing::UdpResponder agent([&](const Bytes& req) {
            auto pdu = snmp_testing::ParseRequest(req);
            return std::vector<snmp_testing::Answer>{
                {Message(Response(pdu.requestId + c.idDelta,
                                  Varbind(Oid({1, 3, 6, 1, 2, 1, 25, 2, 2, 0}), Int(262144))),
                         c.community)}};
        });
        Serve(agent);
        EXPECT_EQ(Host("GetMemSize"), c.result) << c.what;
        EXPECT_EQ(agent.Received(), 1) << c.what;
        auto sent = snmp_testing::ParseRequest(agent.Requests().at(0));
        EXPECT_EQ(sent.requestId, 17);
        EXPECT_EQ(sent.community, "quince");
    }
}

TEST_F(DevprobeScripted, MissingFirstRowCountsNothing) {
    snmp_testing::TableAgent table;
    table.Set("1.3.6.1.2.1.43.8.2.1.2.1.2", snmp_bytes::Int(4));
    table.Set("1.3.6.1.2.1.43.8.2.1.2.1.3", snmp_bytes::Int(4));
    snmp_testing::UdpResponder agent(std::ref(table));
    Serve(agent);
    EXPECT_EQ(Host("GetMaxTray"), 0);
    EXPECT_EQ(agent.Received(), 1);
}

TEST_F(DevprobeScripted, SilentDeviceCostsTheTimer) {
    snmp_testing::UdpResponder agent(
        [](const snmp_bytes::Bytes&) { return std::vector<snmp_testing::Answer>{}; });
    Serve(agent);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Host("GetMemSize"), 0);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(3000));
    EXPECT_LT(waited, std::chrono::milliseconds(6000));
    EXPECT_EQ(agent.Received(), 1);
}

} // namespace
