// SNMP version 1 messages between the request records and the wire: the BER
// encoder and the bounds-checked decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "devcomm/snmp_client.h"

namespace devcomm {

struct SnmpVarbind {
    std::vector<std::uint32_t> oid;
    BYTE type = SNMP_TYPE_NULL;
    std::vector<BYTE> value;       // decoded bytes (see the entry's value representation)
    std::size_t encodedLength = 0; // the length the sender encoded
};

struct SnmpPdu {
    std::int32_t version = 0;
    std::uint32_t agentAddress = 0; // the datagram's sender, network byte order
    std::string community;
    BYTE pduType = 0;
    std::int32_t requestId = 0;
    std::int32_t errorStatus = 0;
    std::int32_t errorIndex = 0;
    // Trap-PDU fields.
    std::vector<std::uint32_t> enterprise;
    BYTE trapAgent[4] = {};
    std::int32_t genericTrap = 0;
    std::int32_t specificTrap = 0;
    std::uint32_t timeStamp = 0;
    std::vector<SnmpVarbind> varbinds;
};

// Dotted text -> sub-identifiers: any non-digit separates. false for more
// than 128 sub-identifiers or a sub-identifier beyond 32 bits. At most
// `maxChars` characters are read.
bool ParseOidText(const char* text, std::size_t maxChars, std::vector<std::uint32_t>* oid);
// Sub-identifiers -> dotted text.
std::string OidToText(const std::vector<std::uint32_t>& oid);
// BER content bytes of an identifier; false when it cannot be encoded.
bool EncodeOid(const std::vector<std::uint32_t>& oid, std::vector<BYTE>* content);
// Content bytes -> sub-identifiers; false when malformed.
bool DecodeOid(const BYTE* content, std::size_t size, std::vector<std::uint32_t>* oid);

// A request record -> the message bytes (at most 1536), with the given request
// id. Fills the default community into the record when it is empty.
bool BuildSnmpMessage(SnmpRequestRecord* request, std::int32_t requestId,
                      std::vector<BYTE>* message);
// Message bytes -> message object; false when anything is malformed, the
// version is not 0 or a limit is exceeded.
bool ParseSnmpMessage(const BYTE* data, std::size_t size, SnmpPdu* pdu);
// The PDU type and request id of a message, read without judging its size
// or its varbinds, so that a stray datagram can be told from the answer
// before anything else is checked. false when even these are unreadable.
bool PeekSnmpResponseId(const BYTE* data, std::size_t size, BYTE* pduType, std::int32_t* requestId);
// Message object -> reply record; false when a value or identifier text is
// too long for its field.
bool CopyPduToRecord(const SnmpPdu& pdu, SnmpRequestRecord* reply);

} // namespace devcomm
