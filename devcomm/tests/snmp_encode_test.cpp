// Request records to bytes.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "devcomm/ber.h"
#include "devcomm/snmp_message.h"
#include "snmp_bytes.h"

using namespace snmp_bytes;

namespace {

struct Request {
    SnmpRequestRecord record{};
    std::vector<SnmpVarbindEntry> entries;
    explicit Request(std::vector<const char*> oids, BYTE pduType = SNMP_PDU_GET)
        : entries(oids.size()) {
        std::memset(entries.data(), 0, entries.size() * sizeof(SnmpVarbindEntry));
        for (std::size_t i = 0; i < oids.size(); ++i)
            std::strcpy(entries[i].oid, oids[i]);
        record.pduType = pduType;
        record.entryCount = static_cast<INT>(entries.size());
        record.entries = entries.data();
    }
    bool Build(Bytes* out, std::int32_t id = 5) {
        return devcomm::BuildSnmpMessage(&record, id, out);
    }
};

TEST(SnmpEncode, GetRequestForSysDescrIsTheKnown44Bytes) {
    Request r({"1.3.6.1.2.1.1.1.0"});
    Bytes msg;
    ASSERT_TRUE(r.Build(&msg, 5));
    EXPECT_EQ(Hex(msg), "30 82 00 28 02 01 00 04 06 71 75 69 6E 63 65 A0 1B 02 01 05 02 01 00 02 "
                        "01 00 30 10 30 82 00 0C "
                        "06 08 2B 06 01 02 01 01 01 00 05 00");
    EXPECT_EQ(msg.size(), 44u);
    // The empty community was filled in with the default.
    EXPECT_STREQ(r.record.community, "quince");
}

TEST(SnmpEncode, GivenCommunityAndGetNext) {
    Request r({"1.3.6.1.2.1.43.8.2.1.2"}, SNMP_PDU_GETNEXT);
    std::strcpy(r.record.community, "public");
    Bytes msg;
    ASSERT_TRUE(r.Build(&msg, 0x1234));
    Bytes expected = Cat({{0x30, 0x82, 0x00, 0x2B},
                          Int(0),
                          Str("public"),
                          Tlv(0xA1, Cat({Int(0x1234), Int(0), Int(0),
                                         Tlv(0x30, Cat({{0x30, 0x82, 0x00, 0x0E},
                                                        Oid({1, 3, 6, 1, 2, 1, 43, 8, 2, 1, 2}),
                                                        {0x05, 0x00}}))}))});
    EXPECT_EQ(Hex(msg), Hex(expected));
}

TEST(SnmpEncode, IntegersTakeTheFewestBytes) {
    struct Case {
        std::int32_t value;
        const char* bytes;
    } cases[] = {
        {0, "02 01 00"},
        {127, "02 01 7F"},
        {128, "02 02 00 80"},
        {256, "02 02 01 00"},
        {-1, "02 01 FF"},
        {-128, "02 01 80"},
        {-129, "02 02 FF 7F"},
        {0x7fffff, "02 03 7F FF FF"},
        {0x800000, "02 04 00 80 00 00"},
        {INT_MAX, "02 04 7F FF FF FF"},
        {INT_MIN, "02 04 80 00 00 00"},
    };
    for (const Case& c : cases) {
        devcomm::BerWriter w(16);
        ASSERT_TRUE(w.Integer(c.value));
        EXPECT_EQ(Hex(Bytes(w.Data(), w.Data() + w.Size())), c.bytes) << c.value;
    }
}

TEST(SnmpEncode, UnsignedValuesGetALeadingZeroWhenTheTopBitIsSet) {
    struct Case {
        std::uint32_t value;
        const char* bytes;
    } cases[] = {
        {0, "41 01 00"},
        {0x7f, "41 01 7F"},
        {0x80, "41 02 00 80"},
        {0x1234, "41 02 12 34"},
        {0xffffffffu, "41 05 00 FF FF FF FF"},
    };
    for (const Case& c : cases) {
        devcomm::BerWriter w(16);
        ASSERT_TRUE(w.Unsigned(0x41, c.value));
        EXPECT_EQ(Hex(Bytes(w.Data(), w.Data() + w.Size())), c.bytes) << c.value;
    }
}

TEST(SnmpEncode, ObjectIdentifiers) {
    struct Case {
        const char* text;
        const char* content; // nullptr: refused
    } cases[] = {
        {"1.3.6.1.2.1.1.1.0", "2B 06 01 02 01 01 01 00"},
        {"1.3.6.1.4.1.59172.405", "2B 06 01 04 01 83 CE 24 83 15"},
        {".1.3 6-1", "2B 06 01"}, // any non-digit separates
        {"2.100.3", "81 34 03"},  // first two arcs above 127 take two bytes
        {"1.3.4294967295", "2B 8F FF FF FF 7F"},
        {"1", "00"}, // fewer than two sub-identifiers
        {"", "00"},
        {"1.40", nullptr},
        {"3.1", nullptr},
        {"1.3.4294967296", nullptr},
    };
    for (const Case& c : cases) {
        std::vector<std::uint32_t> oid;
        std::vector<BYTE> content;
        bool ok = devcomm::ParseOidText(c.text, 256, &oid) && devcomm::EncodeOid(oid, &content);
        if (!c.content) {
            EXPECT_FALSE(ok) << c.text;
            continue;
        }
        ASSERT_TRUE(ok) << c.text;
        EXPECT_EQ(Hex(content), c.content) << c.text;
    }
    std::string many;
    for (int i = 0; i < 129; ++i)
        many += "1.";
    std::vector<std::uint32_t> oid;
    EXPECT_FALSE(devcomm::ParseOidText(many.c_str(), 1000, &oid));
    many.resize(many.size() - 2);
    EXPECT_TRUE(devcomm::ParseOidText(many.c_str(), 1000, &oid));
    EXPECT_EQ(oid.size(), 128u);
}

TEST(SnmpEncode, ValuesByType) {
    Request r({"1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.5.0",
               "1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.5.0"});
    std::int32_t i = -2;
    std::uint32_t ticks = 200;
    std::uint32_t oid[3] = {1, 3, 6};
    r.entries[0].type = SNMP_TYPE_INTEGER;
    std::memcpy(r.entries[0].value, &i, 4);
    r.entries[1].type = SNMP_TYPE_TIMETICKS;
    std::memcpy(r.entries[1].value, &ticks, 4);
    r.entries[2].type = SNMP_TYPE_OCTETSTRING;
    std::memcpy(r.entries[2].value, "ab", 2);
    r.entries[2].length = 2;
    r.entries[3].type = SNMP_TYPE_IPADDRESS;
    std::memcpy(r.entries[3].value, "\x7f\x00\x00\x01", 4);
    r.entries[3].length = 4;
    r.entries[4].type = SNMP_TYPE_OID;
    std::memcpy(r.entries[4].value, oid, sizeof oid);
    r.entries[4].length = sizeof oid;
    r.entries[5].type = SNMP_TYPE_NULL;
    Bytes msg;
    ASSERT_TRUE(r.Build(&msg));
    devcomm::SnmpPdu pdu;
    ASSERT_TRUE(devcomm::ParseSnmpMessage(msg.data(), msg.size(), &pdu));
    ASSERT_EQ(pdu.varbinds.size(), 6u);
    const char* expected[] = {"02 01 FE",          "43 02 00 C8", "04 02 61 62",
                              "40 04 7F 00 00 01", "06 02 2B 06", "05 00"};
    std::string text = Hex(msg);
    for (const char* e : expected)
        EXPECT_NE(text.find(e), std::string::npos) << e;

    // Types the client does not speak, and impossible lengths, are refused.
    r.entries[5].type = 0x44;
    EXPECT_FALSE(r.Build(&msg));
    r.entries[5].type = SNMP_TYPE_OCTETSTRING;
    r.entries[5].length = -1;
    EXPECT_FALSE(r.Build(&msg));
    r.entries[5].length = 1536;
    EXPECT_FALSE(r.Build(&msg));
    r.entries[5].type = SNMP_TYPE_OID;
    r.entries[5].length = 6;
    EXPECT_FALSE(r.Build(&msg));
}

TEST(SnmpEncode, LongValuesUseLongerLengthFormsAndTheMessageStaysWithin1536Bytes) {
    Request r({"1.3.6.1.2.1.1.5.0"});
    r.entries[0].type = SNMP_TYPE_OCTETSTRING;
    std::memset(r.entries[0].value, 'x', 1535);
    r.entries[0].length = 200;
    Bytes msg;
    ASSERT_TRUE(r.Build(&msg));
    EXPECT_NE(Hex(msg).find("04 81 C8 78"), std::string::npos);
    r.entries[0].length = 300;
    ASSERT_TRUE(r.Build(&msg));
    EXPECT_NE(Hex(msg).find("04 82 01 2C 78"), std::string::npos);
    // Find the longest value that fits: the message is then exactly 1536 bytes.
    int fits = 0;
    for (int n = 1400; n <= 1535; ++n) {
        r.entries[0].length = n;
        if (r.Build(&msg)) {
            fits = n;
            EXPECT_LE(msg.size(), 1536u);
        }
    }
    r.entries[0].length = fits;
    ASSERT_TRUE(r.Build(&msg));
    EXPECT_EQ(msg.size(), 1536u);
    r.entries[0].length = fits + 1;
    EXPECT_FALSE(r.Build(&msg));
}

TEST(SnmpEncode, CommunityAndPduTypeLimits) {
    Request r({"1.3.6.1.2.1.1.1.0"});
    Bytes msg;
    std::memset(r.record.community, 'c', 127);
    ASSERT_TRUE(r.Build(&msg));
    EXPECT_EQ(msg[7], 0x04);
    EXPECT_EQ(msg[8], 127);
    std::memset(r.record.community, 'c', 128); // no terminator in the field
    EXPECT_FALSE(r.Build(&msg));
    r.record.community[0] = '\0';
    for (BYTE type : {BYTE{0}, BYTE{SNMP_PDU_RESPONSE}, BYTE{SNMP_PDU_SET}, BYTE{SNMP_PDU_TRAP}}) {
        r.record.pduType = type;
        EXPECT_FALSE(r.Build(&msg)) << int{type};
    }
    r.record.pduType = SNMP_PDU_GET;
    r.record.entryCount = 1;
    r.record.entries = nullptr;
    EXPECT_FALSE(r.Build(&msg));
}

} // namespace
