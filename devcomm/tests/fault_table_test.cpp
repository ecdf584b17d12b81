// An SNMP request to a scripted agent with each platform call it reaches made
// to fail in turn: the request fails with an error or answers exactly as
// without the fault, and no socket or block is left behind.
#include <gtest/gtest.h>

#include <string>

#include "devcomm/snmp_client.h"
#include "platform/net_ctl.h"
#include "platform_testing/fault_table.h"
#include "snmp_bytes.h"
#include "snmp_table_agent.h"
#include "udp_responder.h"

using namespace snmp_bytes;
using snmp_testing::Answer;
using snmp_testing::UdpResponder;

namespace {

TEST(DevcommFaultTable, EveryPlatformCallOfAnSnmpRequestFailingInTurn) {
    const Bytes name = Oid({1, 3, 6, 1, 2, 1, 1, 1, 0});
    UdpResponder agent([&](const Bytes& req) {
        Bytes reply = Message(
            Response(snmp_testing::ParseRequest(req).requestId, Varbind(name, Str("Printer 5000"))),
            "public");
        return std::vector<Answer>{{reply}};
    });
    platform::test::SetHostAddresses("printer1", {"127.0.0.1"});
    auto job = [&] {
        platform_testing::JobOutcome r;
        SnmpColumnRow row{0, "1.3.6.1.2.1.1.1.0"};
        SnmpRequestRecord* records = MPNewRequests(2, 1, &row, TRUE);
        if (!records) {
            r.error = "MPNewRequests failed";
            return r;
        }
        records[0].pduType = SNMP_PDU_GET;
        SnmpTransport t;
        t.port = agent.Port();
        t.timeoutMs = 300;
        int rc = SnmpRequestEx("printer1", t, records, records + 1);
        if (rc != 0) {
            r.error = "SnmpRequestEx: " + std::to_string(rc);
        } else {
            const auto& e = records[1].entries[0];
            r.output =
                std::to_string(e.type) + ":" +
                std::string(reinterpret_cast<const char*>(e.value), static_cast<size_t>(e.length));
            r.ok = true;
        }
        MPFreeRequests(2, records);
        return r;
    };
    EXPECT_GT(platform_testing::RunFaultTable(job), 0);
}

} // namespace
