// The single-request engine: template request, one datagram, answer check.
#include "devcomm/legacy_engine.h"

#include <algorithm>
#include <cstring>

#include "devcomm/snmp_client.h"
#include "devcomm/snmp_message.h"
#include "devcomm/socket_x.h"

namespace devcomm {

long LegacyReply::IntegerValue() const {
    if (valueType != SNMP_TYPE_INTEGER || valueLength == 0 || valueLength > 4) return 0;
    std::uint32_t v = (value[0] & 0x80) ? 0xffffffffu : 0u;
    for (WORD i = 0; i < valueLength; ++i)
        v = v << 8 | value[i];
    return static_cast<std::int32_t>(v);
}

std::string LegacyReply::TextValue() const {
    if (valueType != SNMP_TYPE_OCTETSTRING) return {};
    return std::string(reinterpret_cast<const char*>(value),
                       std::min<std::size_t>(valueLength, sizeof value));
}

bool BuildLegacyRequest(const BYTE* oid, std::size_t oidLength, BYTE pduType,
                        std::vector<BYTE>* request) {
    request->clear();
    if (!oid || oidLength == 0 || oidLength > kLegacyMaxOid) return false;
    if (pduType != SNMP_PDU_GET && pduType != SNMP_PDU_GETNEXT) return false;
    const std::size_t total = 30 + oidLength + 2;
    const BYTE head[] = {0x30,
                         static_cast<BYTE>(total - 2),
                         0x02,
                         0x01,
                         0x00,
                         0x04,
                         0x06,
                         'q',
                         'u',
                         'i',
                         'n',
                         'c',
                         'e',
                         pduType,
                         static_cast<BYTE>(total - 15),
                         0x02,
                         0x01,
                         kLegacyRequestId,
                         0x02,
                         0x01,
                         0x00,
                         0x02,
                         0x01,
                         0x00,
                         0x30,
                         static_cast<BYTE>(total - 26),
                         0x30,
                         static_cast<BYTE>(total - 28),
                         0x06,
                         static_cast<BYTE>(oidLength)};
    static_assert(sizeof head == 30);
    request->assign(head, head + sizeof head);
    request->insert(request->end(), oid, oid + oidLength);
    request->push_back(0x05);
    request->push_back(0x00);
    return true;
}

namespace {

// A cursor over the answer that never reads past `end`.
struct Cursor {
    const BYTE* data;
    std::size_t pos, end;
    bool Has(std::size_t n) const { return pos <= end && end - pos >= n; }
    bool Match(std::initializer_list<BYTE> bytes) {
        if (!Has(bytes.size())) return false;
        if (!std::equal(bytes.begin(), bytes.end(), data + pos)) return false;
        pos += bytes.size();
        return true;
    }
    // A length in the short, 0x81 or 0x82 form.
    bool Length(std::size_t* n) {
        if (!Has(1)) return false;
        BYTE b = data[pos++];
        if (b < 0x80) {
            *n = b;
            return true;
        }
        if (b == 0x81 && Has(1)) {
            *n = data[pos++];
            return true;
        }
        if (b == 0x82 && Has(2)) {
            *n = std::size_t{data[pos]} << 8 | data[pos + 1];
            pos += 2;
            return true;
        }
        return false;
    }
};

SHORT Finish(LegacyReply* reply, SHORT code) {
    reply->result = code;
    return code;
}

} // namespace

SHORT CheckLegacyReply(const BYTE* data, std::size_t size, LegacyReply* reply) {
    reply->errorStatus = 0;
    if (!data) return Finish(reply, kLegacyNotSequence);
    Cursor c{data, 0, size};
    if (!c.Match({0x30})) return Finish(reply, kLegacyNotSequence);
    std::size_t length;
    if (!c.Length(&length) || !c.Has(length)) return Finish(reply, kLegacyLengthForm);
    c.end = c.pos + length;
    if (!c.Match({0x02, 0x01, 0x00})) return Finish(reply, kLegacyBadVersion);
    if (!c.Match({0x04, 0x06, 'q', 'u', 'i', 'n', 'c', 'e'}))
        return Finish(reply, kLegacyBadCommunity);
    if (!c.Match({SNMP_PDU_RESPONSE}) || !c.Length(&length) || length != c.end - c.pos)
        return Finish(reply, kLegacyNotResponse);
    bool idOk = c.Match({0x02, 0x01, kLegacyRequestId});
    if (idOk && c.Has(3) && c.data[c.pos] == 0x02 && c.data[c.pos + 1] == 0x01)
        reply->errorStatus = c.data[c.pos + 2];
    if (!idOk || !c.Match({0x02, 0x01, 0x00}) || !c.Match({0x02, 0x01, 0x00}))
        return Finish(reply, kLegacyBadHeader);
    if (!c.Match({0x30}) || !c.Length(&length) || !c.Has(length))
        return Finish(reply, kLegacyBadVarbindList);
    c.end = c.pos + length;
    if (!c.Match({0x30}) || !c.Length(&length) || !c.Has(length))
        return Finish(reply, kLegacyBadVarbind);
    c.end = c.pos + length;
    if (!c.Match({0x06}) || !c.Has(1)) return Finish(reply, kLegacyBadVarbind);
    std::size_t oidLength = c.data[c.pos++];
    if (oidLength >= 0x80 || !c.Has(oidLength)) return Finish(reply, kLegacyBadVarbind);
    const BYTE* oid = c.data + c.pos;
    c.pos += oidLength;
    if (!c.Has(1)) return Finish(reply, kLegacyBadVarbind);
    BYTE type = c.data[c.pos++];
    switch (type) {
    case SNMP_TYPE_NULL:
        if (!c.Has(1) || c.data[c.pos] != 0) return Finish(reply, kLegacyBadNull);
        break;
    case SNMP_TYPE_OCTETSTRING:
        if (!c.Length(&length) || !c.Has(length)) return Finish(reply, kLegacyBadStringLength);
        break;
    case SNMP_TYPE_INTEGER:
        if (!c.Has(1)) return Finish(reply, kLegacyBadVarbind);
        length = c.data[c.pos++];
        if (length == 0 || length > 4 || !c.Has(length)) return Finish(reply, kLegacyBadVarbind);
        break;
    default:
        length = 0;
        break;
    }
    reply->oidLength = static_cast<BYTE>(oidLength);
    std::memset(reply->oid, 0, sizeof reply->oid);
    std::memcpy(reply->oid, oid, oidLength);
    if (type == SNMP_TYPE_INTEGER || type == SNMP_TYPE_OCTETSTRING) {
        // The answer itself is at most 256 bytes, so is its value.
        std::size_t n = std::min(length, sizeof reply->value);
        std::memset(reply->value, 0, sizeof reply->value);
        std::memcpy(reply->value, c.data + c.pos, n);
        reply->valueLength = static_cast<WORD>(n);
        reply->valueType = type;
    }
    return Finish(reply, kLegacyAccepted);
}

namespace {

bool ResolveHost(const char* host, ULONG* address) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return false;
    bool ok = false;
    ULONG a = inet_addr(host);
    if (a != INADDR_NONE) {
        *address = a;
        ok = true;
    } else if (hostent* h = gethostbyname(host);
               h && h->h_length == 4 && h->h_addr_list && h->h_addr_list[0]) {
        std::memcpy(address, h->h_addr_list[0], 4);
        ok = true;
    }
    WSACleanup();
    return ok;
}

} // namespace

bool LegacyRequest(const char* host, const BYTE* oid, std::size_t oidLength, BYTE pduType,
                   LegacyReply* reply, const LegacyTransport& transport) {
    if (!host || !*host || !reply) return false;
    reply->result = -1;
    ULONG address;
    if (!ResolveHost(host, &address)) return false;
    std::vector<BYTE> request;
    if (!BuildLegacyRequest(oid, oidLength, pduType, &request)) return false;

    CSocketX socket;
    if (!socket.Create()) return false;
    socket.StartTimeout(transport.timerMs);
    if (socket.SendTo(request.data(), static_cast<int>(request.size()), address, transport.port) !=
        static_cast<int>(request.size()))
        return false;
    BYTE answer[kLegacyReceiveSize];
    for (;;) {
        ULONG from = 0;
        USHORT fromPort = 0;
        int n = socket.ReceiveFrom(answer, sizeof answer, &from, &fromPort);
        if (n < 0) return false; // cancelled by the timer, or a receive error
        // Answers from anyone but the agent are not for us: go on waiting.
        if (from != address || fromPort != transport.port) continue;
        socket.StopTimeout();
        return CheckLegacyReply(answer, static_cast<std::size_t>(n), reply) == kLegacyAccepted;
    }
}

namespace {

bool Decode(const BYTE* oid, std::size_t n, std::vector<std::uint32_t>* ids) {
    return n > 0 && DecodeOid(oid, n, ids);
}

// noSuchName answered for a GetNextRequest: the agent has nothing further in its view.
bool EndOfView(const LegacyReply& reply) {
    return reply.result == kLegacyBadHeader && reply.errorStatus == SNMP_ERROR_NOSUCHNAME;
}

} // namespace

bool LegacyWalk(const char* host, const std::vector<BYTE>& start, std::size_t prefix,
                const std::function<bool(const LegacyReply&)>& visit,
                const LegacyTransport& transport) {
    prefix = std::min(prefix, start.size());
    std::vector<std::uint32_t> previous;
    if (!Decode(start.data(), start.size(), &previous)) return false;
    std::vector<BYTE> current = start;
    // Bounded by the rows a device table holds, never by a total time: a slow
    // agent that answers each request in time is read whole.
    for (int step = 0; step <= kSnmpMaxColumnRows; ++step) {
        LegacyReply reply;
        if (!LegacyRequest(host, current.data(), current.size(), SNMP_PDU_GETNEXT, &reply,
                           transport))
            return EndOfView(reply);
        if (reply.oidLength < prefix ||
            !std::equal(start.begin(), start.begin() + static_cast<long>(prefix), reply.oid))
            return true;
        std::vector<std::uint32_t> ids;
        if (!Decode(reply.oid, reply.oidLength, &ids)) return false;
        if (!std::lexicographical_compare(previous.begin(), previous.end(), ids.begin(), ids.end()))
            return false;
        if (step == kSnmpMaxColumnRows) return false; // longer than any device table
        previous = std::move(ids);
        if (!visit(reply)) return true;
        current.assign(reply.oid, reply.oid + reply.oidLength);
    }
    return false;
}

int LegacyColumnCount(const char* host, const std::vector<BYTE>& firstRow,
                      const LegacyTransport& transport) {
    if (firstRow.size() < kLegacyColumnPrefix) return 0;
    LegacyReply reply;
    if (!LegacyRequest(host, firstRow.data(), firstRow.size(), SNMP_PDU_GET, &reply, transport))
        return 0;
    if (reply.oidLength < kLegacyColumnPrefix ||
        !std::equal(firstRow.begin(), firstRow.begin() + kLegacyColumnPrefix, reply.oid))
        return 0;
    int count = 1;
    std::vector<BYTE> next(reply.oid, reply.oid + reply.oidLength);
    bool ok = LegacyWalk(
        host, next, kLegacyColumnPrefix,
        [&](const LegacyReply&) {
            ++count;
            return true;
        },
        transport);
    return ok ? count : 0;
}

} // namespace devcomm
