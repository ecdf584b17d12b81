// The older single-request engine: a fixed SNMP version 1 request template
// (request id 17, the default community), one datagram over a socket whose
// receive a 3000 ms timer cancels, and a byte-exact check of the answer.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "win/types.h"

namespace devcomm {

constexpr BYTE kLegacyRequestId = 17;
constexpr std::size_t kLegacyReceiveSize = 256; // bytes of an answer that are read
constexpr std::size_t kLegacyMaxOid = 97;       // identifier bytes that fit the template
constexpr DWORD kLegacyTimerMs = 3000;
constexpr std::size_t kLegacyColumnPrefix = 10; // identifier bytes that name a column

// Results of the answer check.
enum LegacyCheck : SHORT {
    kLegacyAccepted = 0,
    kLegacyNotSequence = 1,
    kLegacyLengthForm = 2,
    kLegacyBadVersion = 3,
    kLegacyBadCommunity = 4,
    kLegacyNotResponse = 5,
    kLegacyBadHeader = 6, // request id not 17, or error status or index not 0
    kLegacyBadVarbindList = 7,
    kLegacyBadVarbind = 8,
    kLegacyBadNull = 11,
    kLegacyBadStringLength = 12,
};

struct LegacyReply {
    SHORT result = -1;
    BYTE oidLength = 0;
    BYTE oid[256] = {};
    WORD valueLength = 0;
    BYTE valueType = 0; // SNMP_TYPE_INTEGER or SNMP_TYPE_OCTETSTRING when a value was copied
    BYTE value[256] = {};
    int errorStatus = 0; // the answer's error-status when it was readable

    // The INTEGER value (big-endian, sign-extended); 0 without one.
    long IntegerValue() const;
    std::string TextValue() const;
};

// The request for `oid` (BER content bytes) with GetRequest (0xA0) or
// GetNextRequest (0xA1); false when the identifier does not fit.
bool BuildLegacyRequest(const BYTE* oid, std::size_t oidLength, BYTE pduType,
                        std::vector<BYTE>* request);
// Checks an answer and fills *reply; returns the check code (also in reply->result).
SHORT CheckLegacyReply(const BYTE* data, std::size_t size, LegacyReply* reply);

struct LegacyTransport {
    USHORT port = 161;
    DWORD timerMs = kLegacyTimerMs;
};

// One request to `host` (dotted address or host name): true when an answer was
// accepted.
bool LegacyRequest(const char* host, const BYTE* oid, std::size_t oidLength, BYTE pduType,
                   LegacyReply* reply, const LegacyTransport& transport = LegacyTransport{});
// Rows of the column whose first row is `firstRow`: 0 when a request fails.
int LegacyColumnCount(const char* host, const std::vector<BYTE>& firstRow,
                      const LegacyTransport& transport = LegacyTransport{});
// A walk by GetNextRequests from `start` while the identifier stays within
// the column (`start`'s first `prefix` bytes); `visit` returns false to stop.
// false when a request fails.
bool LegacyWalk(const char* host, const std::vector<BYTE>& start, std::size_t prefix,
                const std::function<bool(const LegacyReply&)>& visit,
                const LegacyTransport& transport = LegacyTransport{});

} // namespace devcomm
