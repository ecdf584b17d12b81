// Bytes from an agent to message objects and reply records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "devcomm/snmp_message.h"
#include "snmp_bytes.h"

using namespace snmp_bytes;

namespace {

const Bytes kSysDescrName = Oid({1, 3, 6, 1, 2, 1, 1, 1, 0});

Bytes GoodReply() {
    return Message(Response(5, Varbind(kSysDescrName, Str("Printer 5000"))));
}

bool Parse(const Bytes& b, devcomm::SnmpPdu* pdu = nullptr) {
    devcomm::SnmpPdu local;
    return devcomm::ParseSnmpMessage(b.data(), b.size(), pdu ? pdu : &local);
}

TEST(SnmpDecode, GoodReply) {
    devcomm::SnmpPdu pdu;
    ASSERT_TRUE(Parse(GoodReply(), &pdu));
    EXPECT_EQ(pdu.version, 0);
    EXPECT_EQ(pdu.community, "quince");
    EXPECT_EQ(pdu.pduType, SNMP_PDU_RESPONSE);
    EXPECT_EQ(pdu.requestId, 5);
    ASSERT_EQ(pdu.varbinds.size(), 1u);
    EXPECT_EQ(devcomm::OidToText(pdu.varbinds[0].oid), "1.3.6.1.2.1.1.1.0");
    EXPECT_EQ(std::string(pdu.varbinds[0].value.begin(), pdu.varbinds[0].value.end()),
              "Printer 5000");
}

TEST(SnmpDecode, EveryTruncationIsRefused) {
    Bytes good = GoodReply();
    for (std::size_t n = 0; n < good.size(); ++n) {
        Bytes cut(good.begin(), good.begin() + static_cast<long>(n));
        EXPECT_FALSE(Parse(cut)) << "first " << n << " bytes";
    }
}

TEST(SnmpDecode, CaseTable) {
    const Bytes vb = Varbind(kSysDescrName, Str("x"));
    const Bytes rest = Cat({Int(0), Str("quince"), Response(5, vb)});
    const Bytes pduContent = Cat({Int(5), Int(0), Int(0), Tlv(0x30, vb)});
    struct Case {
        const char* what;
        Bytes bytes;
        bool ok;
    } cases[] = {
        // Length forms of the outer SEQUENCE.
        {"short length", Tlv(0x30, rest, 0), true},
        {"0x81 length", Tlv(0x30, rest, 1), true},
        {"0x82 length", Tlv(0x30, rest, 2), true},
        {"0x83 length", Tlv(0x30, rest, 3), true},
        {"0x84 length", Tlv(0x30, rest, 4), true},
        {"indefinite length", Cat({{0x30, 0x80}, rest, {0x00, 0x00}}), false},
        {"five length bytes",
         Cat({{0x30, 0x85, 0, 0, 0, 0, static_cast<std::uint8_t>(rest.size())}, rest}), false},
        {"huge length", Cat({{0x30, 0x84, 0xff, 0xff, 0xff, 0xff}, rest}), false},
        {"length one past the end", Cat({{0x30, static_cast<std::uint8_t>(rest.size() + 1)}, rest}),
         false},
        {"length forms inside",
         Message(Tlv(0xA2,
                     Cat({Int(5), Int(0), Int(0),
                          Tlv(0x30,
                              Tlv(0x30,
                                  Cat({Tlv(0x06, OidContent({1, 3, 6, 1, 2, 1, 1, 1, 0}), 2),
                                       Tlv(0x04, Bytes{'x'}, 4)}),
                                  1),
                              3)}),
                     2)),
         true},
        {"trailing bytes after the message", Cat({GoodReply(), {0xff, 0xff}}), true},
        // Nested overruns: an inner length that leaves its parent.
        {"PDU runs past the message",
         Cat({{0x30, static_cast<std::uint8_t>(rest.size())},
              Int(0),
              Str("quince"),
              {0xA2, static_cast<std::uint8_t>(pduContent.size() + 1)},
              pduContent}),
         false},
        {"varbind list runs past the PDU",
         Message(Cat({{0xA2, static_cast<std::uint8_t>(pduContent.size())},
                      Int(5),
                      Int(0),
                      Int(0),
                      {0x30, static_cast<std::uint8_t>(vb.size() + 1)},
                      vb})),
         false},
        {"varbind runs past the list",
         Message(Response(5, Cat({{0x30, 0x7f}, kSysDescrName, Str("x")}))), false},
        {"name runs past the varbind",
         Message(Response(5, Tlv(0x30, Cat({{0x06, 0x20}, OidContent({1, 3, 6, 1}), Str("x")})))),
         false},
        {"value runs past the varbind",
         Message(Response(5, Tlv(0x30, Cat({kSysDescrName, {0x04, 0x05, 'x'}})))), false},
        {"element runs past the message", Message(Cat({{0x04, 0x7f}, Bytes(3, 'q')})), false},
        // Wrong versions and fields.
        {"version 1 (v2c)", Message(Response(5, vb), "quince", 1), false},
        {"version 3", Message(Response(5, vb), "quince", 3), false},
        {"empty version", Tlv(0x30, Cat({{0x02, 0x00}, Str("quince"), Response(5, vb)})), false},
        {"version not an INTEGER", Tlv(0x30, Cat({Str("\0"), Str("quince"), Response(5, vb)})),
         false},
        {"five-byte version",
         Tlv(0x30, Cat({{0x02, 0x05, 0, 0, 0, 0, 0}, Str("quince"), Response(5, vb)})), false},
        {"community not an OCTET STRING", Tlv(0x30, Cat({Int(0), Int(7), Response(5, vb)})), false},
        {"community of 128 bytes", Message(Response(5, vb), std::string(128, 'c')), true},
        {"community of 129 bytes", Message(Response(5, vb), std::string(129, 'c')), false},
        {"five-byte request id",
         Message(Tlv(0xA2, Cat({{0x02, 0x05, 0, 0, 0, 0, 5}, Int(0), Int(0), Tlv(0x30, vb)}))),
         false},
        {"missing error index", Message(Tlv(0xA2, Cat({Int(5), Int(0), Tlv(0x30, vb)}))), false},
        {"varbind list not a SEQUENCE",
         Message(Tlv(0xA2, Cat({Int(5), Int(0), Int(0), Tlv(0x31, vb)}))), false},
        {"varbind not a SEQUENCE", Message(Response(5, Tlv(0x31, Cat({kSysDescrName, Str("x")})))),
         false},
        {"varbind name not an OID", Message(Response(5, Varbind(Str("1.3.6"), Str("x")))), false},
        {"empty varbind name", Message(Response(5, Varbind(Tlv(0x06, {}), Str("x")))), false},
        {"varbind without a value", Message(Response(5, Tlv(0x30, kSysDescrName))), false},
        {"varbind with a third element",
         Message(Response(5, Tlv(0x30, Cat({kSysDescrName, Str("x"), Str("y")})))), false},
        {"multi-byte tag as PDU", Message(Cat({{0xBF, 0x22, 0x02}, Tlv(0x30, {})})), false},
        {"multi-byte tag as value",
         Message(Response(5, Tlv(0x30, Cat({kSysDescrName, {0x5F, 0x01, 0x00}})))), false},
        {"empty varbind list", Message(Response(5, {})), true},
        // Odd value types.
        {"NULL value", Message(Response(5, Varbind(kSysDescrName, {0x05, 0x00}))), true},
        {"Opaque value", Message(Response(5, Varbind(kSysDescrName, {0x44, 0x02, 0xAB, 0xCD}))),
         true},
        {"noSuchObject exception", Message(Response(5, Varbind(kSysDescrName, {0x80, 0x00}))),
         true},
        {"constructed value", Message(Response(5, Varbind(kSysDescrName, Tlv(0x30, Int(1))))),
         true},
        {"empty INTEGER", Message(Response(5, Varbind(kSysDescrName, {0x02, 0x00}))), false},
        {"five-byte INTEGER",
         Message(Response(5, Varbind(kSysDescrName, {0x02, 0x05, 0, 1, 2, 3, 4}))), false},
        {"five-byte Counter with a leading zero",
         Message(Response(5, Varbind(kSysDescrName, {0x41, 0x05, 0, 0xff, 0xff, 0xff, 0xff}))),
         true},
        {"five-byte Counter without a leading zero",
         Message(Response(5, Varbind(kSysDescrName, {0x41, 0x05, 1, 0, 0, 0, 0}))), false},
        {"six-byte Gauge",
         Message(Response(5, Varbind(kSysDescrName, {0x42, 0x06, 0, 0, 0, 0, 0, 1}))), false},
        {"empty TimeTicks", Message(Response(5, Varbind(kSysDescrName, {0x43, 0x00}))), false},
        {"OID value with an open last group",
         Message(Response(5, Varbind(kSysDescrName, {0x06, 0x02, 0x2B, 0x86}))), false},
        {"OID sub-identifier beyond 32 bits",
         Message(
             Response(5, Varbind(kSysDescrName, {0x06, 0x06, 0x2B, 0x90, 0x80, 0x80, 0x80, 0x00}))),
         false},
        {"trap PDU",
         Message(Tlv(0xA4, Cat({Oid({1, 3, 6, 1, 4, 1, 9}), Tlv(0x40, {127, 0, 0, 1}), Int(6),
                                Int(1), Tlv(0x43, {0x10}), Tlv(0x30, vb)}))),
         true},
        {"trap with a short agent address",
         Message(Tlv(0xA4, Cat({Oid({1, 3, 6, 1, 4, 1, 9}), Tlv(0x40, {127, 0, 1}), Int(6), Int(1),
                                Tlv(0x43, {0x10}), Tlv(0x30, vb)}))),
         false},
        {"not a SEQUENCE", Tlv(0x31, rest), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Parse(c.bytes), c.ok) << c.what << ": " << Hex(c.bytes);
}

TEST(SnmpDecode, IdentifiersDecodeByTheirGroups) {
    struct Case {
        Bytes content;
        const char* text; // nullptr: refused
    } cases[] = {
        {{0x2B, 0x06, 0x01}, "1.3.6.1"},
        {{0x00}, "0.0"},
        {{0x50}, "2.0"},
        {{0x81, 0x34, 0x03}, "2.100.3"},
        {{0x2B, 0x83, 0xCE, 0x24}, "1.3.59172"},
        {{0x2B, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F}, "1.3.4294967295"},
        {{0x2B, 0x90, 0x80, 0x80, 0x80, 0x00}, nullptr},
        {{0x2B, 0x80}, nullptr},
    };
    for (const Case& c : cases) {
        std::vector<std::uint32_t> oid;
        bool ok = devcomm::DecodeOid(c.content.data(), c.content.size(), &oid);
        if (!c.text) {
            EXPECT_FALSE(ok) << Hex(c.content);
            continue;
        }
        ASSERT_TRUE(ok) << Hex(c.content);
        EXPECT_EQ(devcomm::OidToText(oid), c.text);
    }
    Bytes many{0x2B};
    for (int i = 0; i < 126; ++i)
        many.push_back(1);
    std::vector<std::uint32_t> oid;
    EXPECT_TRUE(devcomm::DecodeOid(many.data(), many.size(), &oid));
    EXPECT_EQ(oid.size(), 128u);
    many.push_back(1);
    EXPECT_FALSE(devcomm::DecodeOid(many.data(), many.size(), &oid));
}

class ReplyRecord : public ::testing::Test {
  protected:
    void SetUp() override {
        records = MPNewRequests(1, 1, nullptr, FALSE);
        ASSERT_NE(records, nullptr);
    }
    void TearDown() override { MPFreeRequests(1, records); }
    bool Copy(const Bytes& b) {
        devcomm::SnmpPdu pdu;
        pdu.agentAddress = 0x0100007f;
        return devcomm::ParseSnmpMessage(b.data(), b.size(), &pdu) &&
               devcomm::CopyPduToRecord(pdu, records);
    }
    SnmpVarbindEntry& Entry() { return records->entries[0]; }
    SnmpRequestRecord* records = nullptr;
};

TEST_F(ReplyRecord, ValuesByType) {
    struct Case {
        Bytes value;
        BYTE type;
        INT length;
        Bytes bytes; // the entry's first value bytes (machine order for numbers)
    } cases[] = {
        {Int(-2), SNMP_TYPE_INTEGER, 4, {0xFE, 0xFF, 0xFF, 0xFF}},
        {{0x02, 0x01, 0x80}, SNMP_TYPE_INTEGER, 4, {0x80, 0xFF, 0xFF, 0xFF}},
        {{0x41, 0x05, 0x00, 0xFF, 0x00, 0x00, 0x01},
         SNMP_TYPE_COUNTER,
         4,
         {0x01, 0x00, 0x00, 0xFF}},
        {{0x43, 0x01, 0x80}, SNMP_TYPE_TIMETICKS, 4, {0x80, 0x00, 0x00, 0x00}},
        {Str("abc"), SNMP_TYPE_OCTETSTRING, 3, {'a', 'b', 'c', 0}},
        {Tlv(0x40, {10, 0, 0, 1}), SNMP_TYPE_IPADDRESS, 4, {10, 0, 0, 1}},
        {Oid({1, 3, 300}), SNMP_TYPE_OID, 12, {1, 0, 0, 0, 3, 0, 0, 0, 0x2C, 1, 0, 0}},
        {{0x05, 0x00}, SNMP_TYPE_NULL, 0, {0, 0}},
        {{0x44, 0x03, 1, 2, 3}, 0x44, 3, {0, 0, 0}}, // not decoded: type and length only
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Copy(Message(Response(9, Varbind(kSysDescrName, c.value))))) << Hex(c.value);
        EXPECT_EQ(Entry().type, c.type) << Hex(c.value);
        EXPECT_EQ(Entry().length, c.length) << Hex(c.value);
        EXPECT_EQ(Bytes(Entry().value, Entry().value + c.bytes.size()), c.bytes) << Hex(c.value);
        EXPECT_STREQ(Entry().oid, "1.3.6.1.2.1.1.1.0");
    }
    EXPECT_EQ(records->agentAddress, 0x0100007fu);
    EXPECT_STREQ(records->community, "quince");
}

TEST_F(ReplyRecord, ErrorFieldsAndExtraVarbinds) {
    Bytes three = Cat({Varbind(kSysDescrName, Str("one")),
                       Varbind(Oid({1, 3, 6, 1, 2, 1, 1, 2, 0}), Str("two")),
                       Varbind(Oid({1, 3, 6, 1, 2, 1, 1, 3, 0}), Str("three"))});
    ASSERT_TRUE(Copy(Message(Response(9, three, 2, 3), "other")));
    EXPECT_EQ(records->errorStatus, 2u);
    EXPECT_EQ(records->errorIndex, 3u);
    EXPECT_STREQ(records->community, "other");
    EXPECT_STREQ(reinterpret_cast<char*>(Entry().value), "one");
}

TEST_F(ReplyRecord, LimitsOfTheFields) {
    // 1535 value bytes fit with their NUL; 1536 do not.
    devcomm::SnmpPdu pdu;
    pdu.varbinds.resize(1);
    pdu.varbinds[0].oid = {1, 3, 6};
    pdu.varbinds[0].type = SNMP_TYPE_OCTETSTRING;
    pdu.varbinds[0].value.assign(1535, 'v');
    ASSERT_TRUE(devcomm::CopyPduToRecord(pdu, records));
    EXPECT_EQ(Entry().length, 1535);
    EXPECT_EQ(Entry().value[1534], 'v');
    EXPECT_EQ(Entry().value[1535], 0);
    pdu.varbinds[0].value.assign(1536, 'v');
    EXPECT_FALSE(devcomm::CopyPduToRecord(pdu, records));

    // Identifier text of 255 characters fits, 256 does not.
    pdu.varbinds[0].value.clear();
    pdu.varbinds[0].oid.assign(1, 1);
    while (devcomm::OidToText(pdu.varbinds[0].oid).size() < 253)
        pdu.varbinds[0].oid.push_back(1);
    pdu.varbinds[0].oid.push_back(11); // 256 characters
    ASSERT_EQ(devcomm::OidToText(pdu.varbinds[0].oid).size(), 256u);
    EXPECT_FALSE(devcomm::CopyPduToRecord(pdu, records));
    pdu.varbinds[0].oid.back() = 1;
    EXPECT_TRUE(devcomm::CopyPduToRecord(pdu, records));
    EXPECT_EQ(std::strlen(Entry().oid), 255u);

    // A community of 128 bytes leaves no room for the terminator.
    pdu.community.assign(128, 'c');
    EXPECT_FALSE(devcomm::CopyPduToRecord(pdu, records));
}

TEST(SnmpColumns, SameColumnAtSubIdentifierBoundaries) {
    SnmpColumnRow row{SNMP_TYPE_INTEGER, "1.3.6.1.2.1.43.8.2.1.2"};
    struct Case {
        const char* oid;
        BYTE type;
        int same;
    } cases[] = {
        {"1.3.6.1.2.1.43.8.2.1.2.1.1", SNMP_TYPE_INTEGER, 1},
        {"1.3.6.1.2.1.43.8.2.1.2.1.4", SNMP_TYPE_INTEGER, 1},
        {"1.3.6.1.2.1.43.8.2.1.20.1.1", SNMP_TYPE_INTEGER, 0}, // a text prefix, not a column prefix
        {"1.3.6.1.2.1.43.8.2.1.3.1.1", SNMP_TYPE_INTEGER, 0},
        {"1.3.6.1.2.1.43.8.2.1.2", SNMP_TYPE_INTEGER, 0},       // the column itself is no row
        {"9.1.3.6.1.2.1.43.8.2.1.2.1.1", SNMP_TYPE_INTEGER, 0}, // contains the column text
        {"1.3.6.1.2.1.43.8.2.1.2.1.1", SNMP_TYPE_OCTETSTRING, 0},
    };
    for (const Case& c : cases) {
        SnmpVarbindEntry e{};
        std::strcpy(e.oid, c.oid);
        e.type = c.type;
        EXPECT_EQ(MPIsSameColumn(1, &e, &row), c.same) << c.oid;
    }
}

TEST(SnmpColumns, NewRequestsAreFilledFromTheTable) {
    SnmpColumnRow rows[] = {{SNMP_TYPE_OCTETSTRING, "1.3.6.1.2.1.43.8.2.1.13"},
                            {SNMP_TYPE_INTEGER, "1.3.6.1.2.1.43.8.2.1.10"}};
    SnmpRequestRecord* r = MPNewRequests(2, 2, rows, TRUE);
    ASSERT_NE(r, nullptr);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(r[i].entryCount, 2);
        EXPECT_STREQ(r[i].community, "quince");
        EXPECT_STREQ(r[i].entries[0].oid, rows[0].oid);
        EXPECT_STREQ(r[i].entries[1].oid, rows[1].oid);
        EXPECT_EQ(r[i].entries[1].type, 0);
    }
    MPFreeRequests(2, r);
    MPFreeRequests(0, nullptr);
    EXPECT_EQ(MPNewRequests(0, 1, rows, TRUE), nullptr);
}

} // namespace
