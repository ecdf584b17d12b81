// The single-request engine's request template and answer check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devcomm/legacy_engine.h"
#include "devcomm/oid_resources.h"
#include "snmp_bytes.h"

using namespace snmp_bytes;

namespace {

TEST(LegacyEngine, RequestTemplate) {
    std::vector<BYTE> oid, request;
    ASSERT_TRUE(devcomm::LoadOidResource(devcomm::kOidSysDescr, &oid));
    ASSERT_TRUE(devcomm::BuildLegacyRequest(oid.data(), oid.size(), 0xA0, &request));
    EXPECT_EQ(Hex(request),
              "30 26 02 01 00 04 06 71 75 69 6E 63 65 A0 19 02 01 11 02 01 00 02 01 00 30 0E 30 0C "
              "06 08 2B 06 01 02 01 01 01 00 05 00");
    ASSERT_TRUE(devcomm::BuildLegacyRequest(oid.data(), oid.size(), 0xA1, &request));
    EXPECT_EQ(request[13], 0xA1);

    std::vector<BYTE> longest(97, 0x01), tooLong(98, 0x01);
    ASSERT_TRUE(devcomm::BuildLegacyRequest(longest.data(), longest.size(), 0xA0, &request));
    EXPECT_EQ(request.size(), 129u);
    EXPECT_EQ(request[1], 127);
    EXPECT_FALSE(devcomm::BuildLegacyRequest(tooLong.data(), tooLong.size(), 0xA0, &request));
    EXPECT_FALSE(devcomm::BuildLegacyRequest(oid.data(), 0, 0xA0, &request));
    EXPECT_FALSE(devcomm::BuildLegacyRequest(oid.data(), oid.size(), 0xA3, &request));
}

TEST(LegacyEngine, EveryResourceFitsTheTemplate) {
    for (int id = 12001; id <= 12069; ++id) {
        std::vector<BYTE> oid, request;
        if (id == devcomm::kOidUserInfoUpdate) {
            EXPECT_FALSE(devcomm::LoadOidResource(id, &oid));
            continue;
        }
        ASSERT_TRUE(devcomm::LoadOidResource(id, &oid)) << id;
        EXPECT_TRUE(devcomm::BuildLegacyRequest(oid.data(), oid.size(), 0xA0, &request)) << id;
    }
    EXPECT_STREQ(devcomm::OidResourceText(12032), devcomm::OidResourceText(12024));
    EXPECT_STREQ(devcomm::OidResourceText(12049), devcomm::OidResourceText(12050));
    EXPECT_STREQ(devcomm::OidResourceText(12020), "1.3.6.1.2.1.43.8.2.1.13.1.8");
}

Bytes Answer(const Bytes& value, std::int32_t id = 17, std::int32_t status = 0,
             const std::string& community = "quince", std::uint8_t pdu = 0xA2,
             std::int32_t version = 0) {
    return Message(Response(id, Varbind(Oid({1, 3, 6, 1, 2, 1, 1, 1, 0}), value), status, 0, pdu),
                   community, version);
}

TEST(LegacyEngine, AnswerCheckCodes) {
    const Bytes name = Oid({1, 3, 6, 1, 2, 1, 1, 1, 0});
    const Bytes good = Answer(Str("Printer"));
    Bytes notPdu = good;
    notPdu[14] =
        static_cast<std::uint8_t>(notPdu[14] + 1); // the PDU length no longer matches the rest
    struct Case {
        const char* what;
        Bytes bytes;
        SHORT code;
    } cases[] = {
        {"accepted string", good, 0},
        {"accepted integer", Answer(Int(-2)), 0},
        {"accepted NULL", Answer({0x05, 0x00}), 0},
        {"other type left out", Answer({0x43, 0x01, 0x05}), 0},
        {"string with 0x81 length", Answer(Tlv(0x04, Bytes{'a'}, 1)), 0},
        {"outer 0x81 length",
         Tlv(0x30, Cat({Int(0), Str("quince"), Response(17, Varbind(name, Str("x")))}), 1), 0},
        {"empty", {}, 1},
        {"not a SEQUENCE", Cat({{0x31}, Bytes(good.begin() + 1, good.end())}), 1},
        {"0x83 length",
         Tlv(0x30, Cat({Int(0), Str("quince"), Response(17, Varbind(name, Str("x")))}), 3), 2},
        {"length past the end", Cat({{0x30, 0x7f}, Bytes(good.begin() + 2, good.end())}), 2},
        {"version 1", Answer(Str("x"), 17, 0, "quince", 0xA2, 1), 3},
        {"other community", Answer(Str("x"), 17, 0, "public"), 4},
        {"longer community", Answer(Str("x"), 17, 0, "quinces"), 4},
        {"GetRequest, not a response", Answer(Str("x"), 17, 0, "quince", 0xA0), 5},
        {"PDU length mismatch", notPdu, 5},
        {"request id 18", Answer(Str("x"), 18), 6},
        {"noSuchName", Answer({0x05, 0x00}, 17, 2), 6},
        {"varbind list not a SEQUENCE",
         Message(Tlv(0xA2, Cat({Int(17), Int(0), Int(0), Tlv(0x31, Varbind(name, Str("x")))}))), 7},
        {"varbind list past the PDU",
         Message(Tlv(0xA2, Cat({Int(17), Int(0), Int(0), {0x30, 0x40}}))), 7},
        {"varbind not a SEQUENCE", Message(Response(17, Tlv(0x31, Cat({name, Str("x")})))), 8},
        {"name not an OID", Message(Response(17, Varbind(Str("n"), Str("x")))), 8},
        {"name past the varbind",
         Message(Response(17, Tlv(0x30, Cat({{0x06, 0x30}, OidContent({1, 3})})))), 8},
        {"no value", Message(Response(17, Tlv(0x30, name))), 8},
        {"five-byte INTEGER", Answer({0x02, 0x05, 0, 0, 0, 0, 1}), 8},
        {"NULL with a length", Answer({0x05, 0x01, 0x00}), 11},
        {"string with 0x83 length", Answer(Tlv(0x04, Bytes{'a'}, 3)), 12},
        {"string past the varbind",
         Message(Response(17, Tlv(0x30, Cat({name, {0x04, 0x20, 'a'}})))), 12},
    };
    for (const Case& c : cases) {
        devcomm::LegacyReply reply;
        EXPECT_EQ(devcomm::CheckLegacyReply(c.bytes.data(), c.bytes.size(), &reply), c.code)
            << c.what;
        EXPECT_EQ(reply.result, c.code) << c.what;
    }
}

TEST(LegacyEngine, AcceptedValues) {
    devcomm::LegacyReply reply;
    Bytes b = Answer(Int(-2));
    ASSERT_EQ(devcomm::CheckLegacyReply(b.data(), b.size(), &reply), 0);
    EXPECT_EQ(reply.IntegerValue(), -2);
    EXPECT_EQ(reply.oidLength, 8);
    EXPECT_EQ(Hex(Bytes(reply.oid, reply.oid + reply.oidLength)), "2B 06 01 02 01 01 01 00");
    b = Answer(Str("Printer 5000"));
    ASSERT_EQ(devcomm::CheckLegacyReply(b.data(), b.size(), &reply), 0);
    EXPECT_EQ(reply.TextValue(), "Printer 5000");
    // The end of a view shows as noSuchName.
    b = Answer({0x05, 0x00}, 17, 2);
    EXPECT_EQ(devcomm::CheckLegacyReply(b.data(), b.size(), &reply), 6);
    EXPECT_EQ(reply.errorStatus, 2);
    // Every prefix of a good answer is refused.
    Bytes good = Answer(Str("Printer 5000"));
    for (std::size_t n = 0; n < good.size(); ++n)
        EXPECT_NE(devcomm::CheckLegacyReply(good.data(), n, &reply), 0) << n;
}

} // namespace
