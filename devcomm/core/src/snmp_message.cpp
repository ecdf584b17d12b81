// SNMP version 1 messages: request records to bytes, bytes to message
// objects, message objects to reply records.
#include "devcomm/snmp_message.h"

#include <cstring>

#include "devcomm/ber.h"

namespace devcomm {

bool ParseOidText(const char* text, std::size_t maxChars, std::vector<std::uint32_t>* oid) {
    oid->clear();
    if (!text) return false;
    std::size_t n = strnlen(text, maxChars);
    std::size_t i = 0;
    while (i < n) {
        if (text[i] < '0' || text[i] > '9') {
            ++i;
            continue;
        }
        std::uint64_t v = 0;
        while (i < n && text[i] >= '0' && text[i] <= '9') {
            v = v * 10 + static_cast<std::uint64_t>(text[i] - '0');
            if (v > 0xffffffffULL) return false;
            ++i;
        }
        if (oid->size() == kSnmpMaxSubIds) return false;
        oid->push_back(static_cast<std::uint32_t>(v));
    }
    return true;
}

std::string OidToText(const std::vector<std::uint32_t>& oid) {
    std::string text;
    for (std::size_t i = 0; i < oid.size(); ++i) {
        if (i) text += '.';
        text += std::to_string(oid[i]);
    }
    return text;
}

namespace {

void Base128(std::uint32_t v, std::vector<BYTE>* out) {
    BYTE groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<BYTE>(v & 0x7f);
        v >>= 7;
    } while (v);
    while (n > 1)
        out->push_back(static_cast<BYTE>(groups[--n] | 0x80));
    out->push_back(groups[0]);
}

} // namespace

bool EncodeOid(const std::vector<std::uint32_t>& oid, std::vector<BYTE>* content) {
    content->clear();
    if (oid.size() > kSnmpMaxSubIds) return false;
    if (oid.size() < 2) {
        content->push_back(0);
        return true;
    }
    // The first two arcs share one sub-identifier: 0 and 1 have at most 40
    // children, 2 any number.
    if (oid[0] > 2 || (oid[0] < 2 && oid[1] >= 40)) return false;
    std::uint64_t first = std::uint64_t{oid[0]} * 40 + oid[1];
    if (first > 0xffffffffULL) return false;
    Base128(static_cast<std::uint32_t>(first), content);
    for (std::size_t i = 2; i < oid.size(); ++i)
        Base128(oid[i], content);
    return true;
}

bool DecodeOid(const BYTE* content, std::size_t size, std::vector<std::uint32_t>* oid) {
    oid->clear();
    std::size_t i = 0;
    bool firstDone = false;
    while (i < size) {
        std::uint64_t v = 0;
        for (;;) {
            if (i == size) return false; // the last group still asks for more
            BYTE b = content[i++];
            v = v << 7 | (b & 0x7f);
            if (v > 0xffffffffULL) return false;
            if (!(b & 0x80)) break;
        }
        if (!firstDone) {
            std::uint32_t s0 = v < 40 ? 0 : v < 80 ? 1 : 2;
            oid->push_back(s0);
            oid->push_back(static_cast<std::uint32_t>(v - s0 * 40));
            firstDone = true;
        } else {
            if (oid->size() == kSnmpMaxSubIds) return false;
            oid->push_back(static_cast<std::uint32_t>(v));
        }
    }
    return true;
}

namespace {

bool PutFixedSequence(BerWriter& out, const BerWriter& content) {
    // Messages and varbinds always carry the two-byte length form.
    std::size_t n = content.Size();
    if (n > 0xffff) return false;
    return out.Byte(SNMP_TYPE_SEQUENCE) && out.Byte(0x82) && out.Byte(static_cast<BYTE>(n >> 8)) &&
           out.Byte(static_cast<BYTE>(n)) && out.Append(content);
}

bool PutOid(BerWriter& out, const std::vector<std::uint32_t>& oid) {
    std::vector<BYTE> content;
    if (!EncodeOid(oid, &content)) return false;
    return out.Byte(SNMP_TYPE_OID) && out.Length(content.size()) &&
           out.Bytes(content.data(), content.size());
}

bool PutValue(BerWriter& out, const SnmpVarbindEntry& e) {
    switch (e.type) {
    case 0:
    case SNMP_TYPE_NULL:
        return out.Byte(SNMP_TYPE_NULL) && out.Byte(0);
    case SNMP_TYPE_INTEGER: {
        std::int32_t v;
        std::memcpy(&v, e.value, sizeof v);
        return out.Integer(v);
    }
    case SNMP_TYPE_COUNTER:
    case SNMP_TYPE_GAUGE:
    case SNMP_TYPE_TIMETICKS: {
        std::uint32_t v;
        std::memcpy(&v, e.value, sizeof v);
        return out.Unsigned(e.type, v);
    }
    case SNMP_TYPE_OCTETSTRING:
    case SNMP_TYPE_IPADDRESS: {
        if (e.length < 0 || static_cast<std::size_t>(e.length) > kSnmpMaxValue) return false;
        std::size_t n = static_cast<std::size_t>(e.length);
        return out.Byte(e.type) && out.Length(n) && out.Bytes(e.value, n);
    }
    case SNMP_TYPE_OID: {
        if (e.length < 0 || e.length % 4 != 0 ||
            static_cast<std::size_t>(e.length) / 4 > kSnmpMaxSubIds)
            return false;
        std::vector<std::uint32_t> oid(static_cast<std::size_t>(e.length) / 4);
        if (!oid.empty()) std::memcpy(oid.data(), e.value, static_cast<std::size_t>(e.length));
        return PutOid(out, oid);
    }
    default:
        return false;
    }
}

} // namespace

bool BuildSnmpMessage(SnmpRequestRecord* request, std::int32_t requestId,
                      std::vector<BYTE>* message) {
    message->clear();
    if (!request) return false;
    if (request->pduType != SNMP_PDU_GET && request->pduType != SNMP_PDU_GETNEXT) return false;
    if (request->entryCount < 0 || (request->entryCount > 0 && !request->entries)) return false;
    std::size_t communityLength = strnlen(request->community, kSnmpCommunitySize);
    if (communityLength == 0) {
        std::memcpy(request->community, kSnmpDefaultCommunity, sizeof kSnmpDefaultCommunity);
        communityLength = sizeof kSnmpDefaultCommunity - 1;
    }
    // One length byte: a community of 128 bytes (no terminator in its field) cannot be sent.
    if (communityLength >= 0x80) return false;

    BerWriter list(kSnmpMessageSize);
    for (int i = 0; i < request->entryCount; ++i) {
        const SnmpVarbindEntry& e = request->entries[i];
        std::vector<std::uint32_t> oid;
        if (!ParseOidText(e.oid, sizeof e.oid, &oid)) return false;
        BerWriter varbind(kSnmpMessageSize);
        if (!PutOid(varbind, oid) || !PutValue(varbind, e)) return false;
        if (!PutFixedSequence(list, varbind)) return false;
    }

    BerWriter pduContent(kSnmpMessageSize);
    if (!pduContent.Integer(requestId) || !pduContent.Integer(0) || !pduContent.Integer(0) ||
        !pduContent.Byte(SNMP_TYPE_SEQUENCE) || !pduContent.Length(list.Size()) ||
        !pduContent.Append(list))
        return false;
    BerWriter pdu(kSnmpMessageSize);
    if (!pdu.Byte(request->pduType) || !pdu.Length(pduContent.Size()) || !pdu.Append(pduContent))
        return false;

    BerWriter rest(kSnmpMessageSize - 4);
    if (!rest.Integer(0) || !rest.Byte(SNMP_TYPE_OCTETSTRING) ||
        !rest.Byte(static_cast<BYTE>(communityLength)) ||
        !rest.Bytes(reinterpret_cast<const BYTE*>(request->community), communityLength) ||
        !rest.Append(pdu))
        return false;
    BerWriter whole(kSnmpMessageSize);
    if (!PutFixedSequence(whole, rest)) return false;
    message->assign(whole.Data(), whole.Data() + whole.Size());
    return true;
}

namespace {

bool ReadInteger(BerReader& in, std::int32_t* v) {
    BerReader c;
    return in.Expect(SNMP_TYPE_INTEGER, &c) && DecodeInteger(c, v);
}

bool ReadVarbind(BerReader& list, SnmpVarbind* vb) {
    BerReader seq, name, value;
    BYTE tag;
    if (!list.Expect(SNMP_TYPE_SEQUENCE, &seq)) return false;
    if (!seq.Expect(SNMP_TYPE_OID, &name) || name.Empty()) return false;
    if (!DecodeOid(name.Data(), name.Size(), &vb->oid)) return false;
    if (!seq.Next(&tag, &value)) return false;
    if (!seq.Empty()) return false; // a varbind is exactly a name and a value
    vb->type = tag;
    vb->encodedLength = value.Size();
    vb->value.clear();
    switch (tag) {
    case SNMP_TYPE_INTEGER: {
        std::int32_t v;
        if (!DecodeInteger(value, &v)) return false;
        vb->value.resize(sizeof v);
        std::memcpy(vb->value.data(), &v, sizeof v);
        break;
    }
    case SNMP_TYPE_COUNTER:
    case SNMP_TYPE_GAUGE:
    case SNMP_TYPE_TIMETICKS: {
        std::uint32_t v;
        if (!DecodeUnsigned(value, &v)) return false;
        vb->value.resize(sizeof v);
        std::memcpy(vb->value.data(), &v, sizeof v);
        break;
    }
    case SNMP_TYPE_OCTETSTRING:
    case SNMP_TYPE_IPADDRESS:
        vb->value.assign(value.Data(), value.Data() + value.Size());
        break;
    case SNMP_TYPE_OID: {
        std::vector<std::uint32_t> oid;
        if (!DecodeOid(value.Data(), value.Size(), &oid)) return false;
        vb->value.resize(oid.size() * 4);
        if (!oid.empty()) std::memcpy(vb->value.data(), oid.data(), oid.size() * 4);
        break;
    }
    default:
        break; // NULL and anything else: type and length only
    }
    return true;
}

} // namespace

bool ParseSnmpMessage(const BYTE* data, std::size_t size, SnmpPdu* pdu) {
    std::uint32_t sender = pdu->agentAddress;
    *pdu = SnmpPdu{};
    pdu->agentAddress = sender;
    if (!data) return false;
    BerReader datagram(data, size), message, c;
    if (!datagram.Expect(SNMP_TYPE_SEQUENCE, &message)) return false;
    if (!ReadInteger(message, &pdu->version) || pdu->version != 0) return false;
    if (!message.Expect(SNMP_TYPE_OCTETSTRING, &c) || c.Size() > kSnmpCommunitySize) return false;
    pdu->community.assign(reinterpret_cast<const char*>(c.Data()), c.Size());

    BerReader body;
    if (!message.Next(&pdu->pduType, &body)) return false;
    if (pdu->pduType == SNMP_PDU_TRAP) {
        if (!body.Expect(SNMP_TYPE_OID, &c) || !DecodeOid(c.Data(), c.Size(), &pdu->enterprise))
            return false;
        if (!body.Expect(SNMP_TYPE_IPADDRESS, &c) || c.Size() != 4) return false;
        std::memcpy(pdu->trapAgent, c.Data(), 4);
        if (!ReadInteger(body, &pdu->genericTrap) || !ReadInteger(body, &pdu->specificTrap))
            return false;
        if (!body.Expect(SNMP_TYPE_TIMETICKS, &c) || !DecodeUnsigned(c, &pdu->timeStamp))
            return false;
    } else {
        if (!ReadInteger(body, &pdu->requestId) || !ReadInteger(body, &pdu->errorStatus) ||
            !ReadInteger(body, &pdu->errorIndex))
            return false;
    }
    BerReader list;
    if (!body.Expect(SNMP_TYPE_SEQUENCE, &list)) return false;
    while (!list.Empty()) {
        SnmpVarbind vb;
        if (!ReadVarbind(list, &vb)) return false;
        pdu->varbinds.push_back(std::move(vb));
    }
    return true;
}

bool PeekSnmpResponseId(const BYTE* data, std::size_t size, BYTE* pduType,
                        std::int32_t* requestId) {
    if (!data) return false;
    BerReader datagram(data, size), message, c, body;
    std::int32_t version = 0;
    if (!datagram.Expect(SNMP_TYPE_SEQUENCE, &message)) return false;
    if (!ReadInteger(message, &version) || !message.Expect(SNMP_TYPE_OCTETSTRING, &c)) return false;
    if (!message.Next(pduType, &body)) return false;
    // A Trap carries no request id: it answers nobody.
    if (*pduType == SNMP_PDU_TRAP) {
        *requestId = -1;
        return true;
    }
    return ReadInteger(body, requestId);
}

bool CopyPduToRecord(const SnmpPdu& pdu, SnmpRequestRecord* reply) {
    if (!reply) return false;
    if (pdu.community.size() >= sizeof reply->community) return false;
    reply->agentAddress = pdu.agentAddress;
    std::memset(reply->community, 0, sizeof reply->community);
    std::memcpy(reply->community, pdu.community.data(), pdu.community.size());
    reply->errorStatus = static_cast<DWORD>(pdu.errorStatus);
    reply->errorIndex = static_cast<DWORD>(pdu.errorIndex);
    if (!reply->entries) return true;
    for (std::size_t i = 0; i < pdu.varbinds.size() && static_cast<int>(i) < reply->entryCount;
         ++i) {
        const SnmpVarbind& vb = pdu.varbinds[i];
        SnmpVarbindEntry& e = reply->entries[i];
        std::memset(&e, 0, sizeof e);
        e.type = vb.type;
        if (vb.value.size() > kSnmpMaxValue) return false;
        if (!vb.value.empty()) std::memcpy(e.value, vb.value.data(), vb.value.size());
        bool decoded = vb.type == SNMP_TYPE_INTEGER || vb.type == SNMP_TYPE_OCTETSTRING ||
                       vb.type == SNMP_TYPE_IPADDRESS || vb.type == SNMP_TYPE_OID ||
                       vb.type == SNMP_TYPE_COUNTER || vb.type == SNMP_TYPE_GAUGE ||
                       vb.type == SNMP_TYPE_TIMETICKS;
        e.length = static_cast<INT>(decoded ? vb.value.size() : vb.encodedLength);
        std::string text = OidToText(vb.oid);
        if (text.size() > kSnmpMaxOidText) return false;
        std::memcpy(e.oid, text.c_str(), text.size() + 1);
    }
    return true;
}

} // namespace devcomm
