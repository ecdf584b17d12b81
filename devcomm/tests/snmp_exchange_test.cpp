// One exchange and column walks against a scripted agent on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "devcomm/snmp_client.h"
#include "devcomm/snmp_walk.h"
#include "platform/net_ctl.h"
#include "snmp_bytes.h"
#include "snmp_table_agent.h"
#include "udp_responder.h"

using namespace snmp_bytes;
using snmp_testing::Answer;
using snmp_testing::TableAgent;
using snmp_testing::UdpResponder;

namespace {

const Bytes kName = Oid({1, 3, 6, 1, 2, 1, 1, 1, 0});

// A request and a reply record of one entry each.
struct Exchange {
    SnmpRequestRecord* records;
    explicit Exchange(const char* oid = "1.3.6.1.2.1.1.1.0", int entries = 1) {
        SnmpColumnRow row{0, oid};
        std::vector<SnmpColumnRow> rows(static_cast<std::size_t>(entries), row);
        records = MPNewRequests(2, entries, rows.data(), TRUE);
        records[0].pduType = SNMP_PDU_GET;
        records[0].community[0] = '\0';
    }
    ~Exchange() { MPFreeRequests(2, records); }
    SnmpRequestRecord& Request() { return records[0]; }
    SnmpRequestRecord& Reply() { return records[1]; }
    int Run(const char* host, std::uint16_t port, DWORD timeoutMs = 2000) {
        SnmpTransport t;
        t.port = port;
        t.timeoutMs = timeoutMs;
        return SnmpRequestEx(host, t, records, records + 1);
    }
};

Bytes ReplyTo(const Bytes& request, const Bytes& varbinds,
              const std::string& community = "quince") {
    return Message(Response(snmp_testing::ParseRequest(request).requestId, varbinds), community);
}

TEST(SnmpExchange, TheDefaultTimeOutIsThreeSecondsForOneDatagramToPort161) {
    UdpResponder silent([](const Bytes&) { return std::vector<Answer>{}; });
    platform::test::RedirectUdpPort(161, silent.Port());
    Exchange x;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SnmpRequest("127.0.0.1", 3, &x.Request(), &x.Reply()), -1);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(3000));
    EXPECT_LT(waited, std::chrono::milliseconds(6000));
    EXPECT_EQ(silent.Received(), 1);
    EXPECT_EQ(platform::test::OpenSocketCount(), 0);
}

TEST(SnmpExchange, AnswerIsCopiedIntoTheReply) {
    UdpResponder agent([](const Bytes& req) {
        Bytes three = Cat({Varbind(kName, Str("Printer 5000")),
                           Varbind(Oid({1, 3, 6, 1, 2, 1, 1, 3, 0}), Tlv(0x43, {1})),
                           Varbind(Oid({1, 3, 6, 1, 2, 1, 1, 5, 0}), Str("name"))});
        return std::vector<Answer>{{ReplyTo(req, three, "answer")}};
    });
    platform::test::SetHostAddresses("printer1", {"127.0.0.1"});
    Exchange x;
    ASSERT_EQ(x.Run("printer1", agent.Port()), 0);
    EXPECT_STREQ(x.Request().community, "quince"); // the default was written back
    EXPECT_EQ(x.Reply().agentAddress, 0x0100007fu);
    EXPECT_STREQ(x.Reply().community, "answer");
    EXPECT_EQ(x.Reply().entries[0].type, SNMP_TYPE_OCTETSTRING);
    EXPECT_EQ(x.Reply().entries[0].length, 12);
    EXPECT_STREQ(reinterpret_cast<char*>(x.Reply().entries[0].value), "Printer 5000");
    // The request went out as the client encodes it.
    auto sent = snmp_testing::ParseRequest(agent.Requests().at(0));
    EXPECT_EQ(sent.community, "quince");
    EXPECT_EQ(sent.pduType, SNMP_PDU_GET);
    EXPECT_GE(sent.requestId, 0);
    EXPECT_LE(sent.requestId, 32767);
}

TEST(SnmpExchange, UnknownHostSendsNothing) {
    UdpResponder agent([](const Bytes&) { return std::vector<Answer>{}; });
    Exchange x;
    EXPECT_EQ(x.Run("no-such-printer", agent.Port()), -1);
    EXPECT_EQ(x.Run("", agent.Port()), -1);
    EXPECT_EQ(agent.Received(), 0);
}

TEST(SnmpExchange, StrayDatagramsAreDroppedWhileWaiting) {
    UdpResponder agent([](const Bytes& req) {
        auto id = snmp_testing::ParseRequest(req).requestId;
        Bytes good = Varbind(kName, Str("right"));
        return std::vector<Answer>{
            {ReplyTo(req, Varbind(kName, Str("other port"))), true},
            {Message(Response(id + 1, Varbind(kName, Str("other request"))))},
            {Message(Tlv(0xA4, Cat({Oid({1, 3, 6, 1, 4, 1, 9}), Tlv(0x40, {127, 0, 0, 1}), Int(6),
                                    Int(1), Tlv(0x43, {1}), Tlv(0x30, {})})))},
            {Message(Response(id, Varbind(kName, Str("a request, not an answer")), 0, 0, 0xA0))},
            {ReplyTo(req, good)},
        };
    });
    Exchange x;
    ASSERT_EQ(x.Run("127.0.0.1", agent.Port()), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(x.Reply().entries[0].value), "right");
}

TEST(SnmpExchange, LargeStraysDoNotEndTheRequest) {
    // Strays larger than any answer the client accepts: from another port, and
    // from the agent's port but for another request.
    UdpResponder agent([](const Bytes& req) {
        auto id = snmp_testing::ParseRequest(req).requestId;
        Bytes big = Varbind(kName, Str(std::string(4000, 'x')));
        return std::vector<Answer>{
            {ReplyTo(req, big), true},
            {Message(Response(id + 1, big))},
            {Bytes(9000, 0x30), true},
            {ReplyTo(req, Varbind(kName, Str("right")))},
        };
    });
    Exchange x;
    ASSERT_EQ(x.Run("127.0.0.1", agent.Port()), 0);
    EXPECT_STREQ(reinterpret_cast<char*>(x.Reply().entries[0].value), "right");
}

TEST(SnmpExchange, OnlyStrayDatagramsEndInTheTimeOut) {
    UdpResponder agent([](const Bytes& req) {
        return std::vector<Answer>{{ReplyTo(req, Varbind(kName, Str("x"))), true}};
    });
    Exchange x;
    EXPECT_EQ(x.Run("127.0.0.1", agent.Port(), 300), -1);
    EXPECT_EQ(agent.Received(), 1);
}

TEST(SnmpExchange, MalformedAnswersFail) {
    struct Case {
        const char* what;
        std::function<Bytes(const Bytes&)> make;
    } cases[] = {
        {"version 1",
         [](const Bytes& r) {
             return Message(
                 Response(snmp_testing::ParseRequest(r).requestId, Varbind(kName, Str("x"))),
                 "quince", 1);
         }},
        {"cut short",
         [](const Bytes& r) {
             Bytes b = ReplyTo(r, Varbind(kName, Str("x")));
             b.resize(b.size() - 3);
             return b;
         }},
        {"larger than 1536 bytes",
         [](const Bytes& r) { return ReplyTo(r, Varbind(kName, Str(std::string(1600, 'x')))); }},
        {"community of 128 bytes",
         [](const Bytes& r) {
             return ReplyTo(r, Varbind(kName, Str("x")), std::string(128, 'c'));
         }},
        {"varbind overrun",
         [](const Bytes& r) {
             return ReplyTo(r, Cat({{0x30, 0x40}, kName}));
         }},
        {"empty datagram", [](const Bytes&) { return Bytes{}; }},
    };
    for (const Case& c : cases) {
        UdpResponder agent([&](const Bytes& req) { return std::vector<Answer>{{c.make(req)}}; });
        Exchange x;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(x.Run("127.0.0.1", agent.Port(), 5000), -1) << c.what;
        // A bad answer ends the request at once, not at the time-out.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(4000))
            << c.what;
    }
}

// Walks over a scripted table.
class SnmpWalk : public ::testing::Test {
  protected:
    static constexpr const char* kColumn = "1.3.6.1.2.1.43.8.2.1.2";
    void Rows(int n) {
        for (int i = 1; i <= n; ++i)
            table.Set(std::string(kColumn) + ".1." + std::to_string(i), Int(i));
    }
    devcomm::WalkEnd Walk(UdpResponder& agent, std::vector<std::string>* seen,
                          int maxRows = devcomm::kSnmpMaxColumnRows, BYTE type = SNMP_TYPE_INTEGER,
                          int stopAfter = 0) {
        SnmpColumnRow row{type, kColumn};
        SnmpTransport t;
        t.port = agent.Port();
        t.timeoutMs = 500;
        return devcomm::WalkColumns(
            "127.0.0.1", &row, 1,
            [&](const SnmpRequestRecord& reply) {
                seen->push_back(reply.entries[0].oid);
                return stopAfter == 0 || static_cast<int>(seen->size()) < stopAfter;
            },
            t, maxRows);
    }
    TableAgent table;
};

TEST_F(SnmpWalk, EndsAtTheNextColumn) {
    Rows(3);
    table.Set("1.3.6.1.2.1.43.8.2.1.3.1.1", Int(7));
    UdpResponder agent(std::ref(table));
    std::vector<std::string> seen;
    EXPECT_EQ(Walk(agent, &seen), devcomm::WalkEnd::EndOfColumn);
    EXPECT_EQ(seen,
              (std::vector<std::string>{"1.3.6.1.2.1.43.8.2.1.2.1.1", "1.3.6.1.2.1.43.8.2.1.2.1.2",
                                        "1.3.6.1.2.1.43.8.2.1.2.1.3"}));
    EXPECT_EQ(agent.Received(), 4);
}

TEST_F(SnmpWalk, NoSuchNameAtTheEndOfTheViewKeepsTheRows) {
    Rows(2);
    UdpResponder agent(std::ref(table));
    std::vector<std::string> seen;
    EXPECT_EQ(Walk(agent, &seen), devcomm::WalkEnd::EndOfColumn);
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(SnmpWalk, NoSuchNameBeforeAnyRowFails) {
    table.Set("1.3.6.1.2.1.1.1.0", Str("only an earlier object"));
    UdpResponder agent(std::ref(table));
    std::vector<std::string> seen;
    EXPECT_EQ(Walk(agent, &seen), devcomm::WalkEnd::Failed);
    EXPECT_TRUE(seen.empty());
}

TEST_F(SnmpWalk, ASlowAgentIsReadWholeAndAnEndlessColumnEndsAtTheRowLimit) {
    // Every answer comes in time for its own request, well past what one
    // time-out and a few seconds more would allow in all.
    auto slow = [](int rows) {
        return [rows](const Bytes& r) {
            auto req = snmp_testing::ParseRequest(r);
            std::uint32_t next =
                req.varbinds[0].oid.size() > 12 ? req.varbinds[0].oid.back() + 1 : 1;
            // Past the last row the next column's first row answers.
            const Bytes oid = rows && static_cast<int>(next) > rows
                                  ? Oid({1, 3, 6, 1, 2, 1, 43, 8, 2, 1, 3, 1, 1})
                                  : Oid({1, 3, 6, 1, 2, 1, 43, 8, 2, 1, 2, 1, next});
            return std::vector<Answer>{{ReplyTo(r, Varbind(oid, Int(1))), false, 150}};
        };
    };
    SnmpColumnRow row{SNMP_TYPE_INTEGER, kColumn};
    SnmpTransport t;
    t.timeoutMs = 300;
    for (int rows : {12, 0}) {
        SCOPED_TRACE(rows ? "a column of 12 rows" : "a column that never ends");
        UdpResponder agent(slow(rows));
        t.port = agent.Port();
        int seen = 0;
        EXPECT_EQ(devcomm::WalkColumns(
                      "127.0.0.1", &row, 1, [&](const SnmpRequestRecord&) { return ++seen, true; },
                      t, 15),
                  rows ? devcomm::WalkEnd::EndOfColumn : devcomm::WalkEnd::Failed);
        EXPECT_EQ(seen, rows ? rows : 15);
        EXPECT_EQ(agent.Received(), rows ? rows + 1 : 16);
    }
}

TEST_F(SnmpWalk, TextPrefixOfAnotherColumnIsTheEnd) {
    Rows(1);
    table.Set("1.3.6.1.2.1.43.8.2.1.20.1.1", Int(9)); // ".2" is a text prefix of ".20"
    UdpResponder agent(std::ref(table));
    std::vector<std::string> seen;
    EXPECT_EQ(Walk(agent, &seen), devcomm::WalkEnd::EndOfColumn);
    EXPECT_EQ(seen.size(), 1u);
}

TEST_F(SnmpWalk, AnotherValueTypeIsTheEnd) {
    Rows(2);
    std::vector<std::string> seen;
    UdpResponder agent(std::ref(table));
    EXPECT_EQ(Walk(agent, &seen, 1000, SNMP_TYPE_OCTETSTRING), devcomm::WalkEnd::EndOfColumn);
    EXPECT_TRUE(seen.empty());
}

TEST_F(SnmpWalk, TheVisitorCanStop) {
    Rows(5);
    UdpResponder agent(std::ref(table));
    std::vector<std::string> seen;
    EXPECT_EQ(Walk(agent, &seen, 1000, SNMP_TYPE_INTEGER, 2), devcomm::WalkEnd::Stopped);
    EXPECT_EQ(agent.Received(), 2);
}

TEST_F(SnmpWalk, AgentsThatMisbehaveEndTheWalkAsFailed) {
    struct Case {
        const char* what;
        std::function<std::vector<Answer>(const Bytes&)> agent;
    } cases[] = {
        {"genErr",
         [](const Bytes& r) {
             return std::vector<Answer>{{Message(
                 Response(snmp_testing::ParseRequest(r).requestId, Varbind(kName, {5, 0}), 5, 1))}};
         }},
        {"same identifier again",
         [](const Bytes& r) {
             return std::vector<Answer>{
                 {ReplyTo(r, Varbind(Oid({1, 3, 6, 1, 2, 1, 43, 8, 2, 1, 2, 1, 1}), Int(1)))}};
         }},
        {"going backwards",
         [](const Bytes& r) {
             auto req = snmp_testing::ParseRequest(r);
             std::uint32_t last = req.varbinds[0].oid.size() > 12 ? 1 : 5;
             return std::vector<Answer>{
                 {ReplyTo(r, Varbind(Oid({1, 3, 6, 1, 2, 1, 43, 8, 2, 1, 2, 1, last}), Int(1)))}};
         }},
        {"silence", [](const Bytes&) { return std::vector<Answer>{}; }},
    };
    for (const Case& c : cases) {
        UdpResponder agent(c.agent);
        std::vector<std::string> seen;
        EXPECT_EQ(Walk(agent, &seen), devcomm::WalkEnd::Failed) << c.what;
        EXPECT_LE(seen.size(), 1u) << c.what;
    }
}

TEST_F(SnmpWalk, SeveralColumnsAtOnce) {
    for (int i = 1; i <= 2; ++i) {
        table.Set("1.3.6.1.2.1.43.8.2.1.13.1." + std::to_string(i),
                  Str("Tray" + std::to_string(i)));
        table.Set("1.3.6.1.2.1.43.8.2.1.10.1." + std::to_string(i), Int(i * 10));
    }
    UdpResponder agent(std::ref(table));
    SnmpColumnRow rows[] = {{SNMP_TYPE_OCTETSTRING, "1.3.6.1.2.1.43.8.2.1.13"},
                            {SNMP_TYPE_INTEGER, "1.3.6.1.2.1.43.8.2.1.10"}};
    SnmpTransport t;
    t.port = agent.Port();
    t.timeoutMs = 500;
    std::vector<std::string> names;
    std::vector<int> levels;
    EXPECT_EQ(devcomm::WalkColumns(
                  "127.0.0.1", rows, 2,
                  [&](const SnmpRequestRecord& reply) {
                      names.emplace_back(reinterpret_cast<const char*>(reply.entries[0].value));
                      int level;
                      std::memcpy(&level, reply.entries[1].value, 4);
                      levels.push_back(level);
                      return true;
                  },
                  t),
              devcomm::WalkEnd::EndOfColumn);
    EXPECT_EQ(names, (std::vector<std::string>{"Tray1", "Tray2"}));
    EXPECT_EQ(levels, (std::vector<int>{10, 20}));
}

TEST_F(SnmpWalk, AnswerWithFewerVarbindsThanAskedFails) {
    UdpResponder agent([](const Bytes& r) {
        return std::vector<Answer>{
            {ReplyTo(r, Varbind(Oid({1, 3, 6, 1, 2, 1, 43, 8, 2, 1, 13, 1, 1}), Str("T")))}};
    });
    SnmpColumnRow rows[] = {{SNMP_TYPE_OCTETSTRING, "1.3.6.1.2.1.43.8.2.1.13"},
                            {SNMP_TYPE_INTEGER, "1.3.6.1.2.1.43.8.2.1.10"}};
    SnmpTransport t;
    t.port = agent.Port();
    t.timeoutMs = 500;
    EXPECT_EQ(devcomm::WalkColumns(
                  "127.0.0.1", rows, 2, [](const SnmpRequestRecord&) { return true; }, t),
              devcomm::WalkEnd::Failed);
}

} // namespace
