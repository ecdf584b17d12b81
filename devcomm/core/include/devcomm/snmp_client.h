// The SNMP version 1 client shared by the device query libraries: request and
// reply records with identifiers as dotted text and values as bytes, one
// GetRequest or GetNextRequest per datagram, and column walks.
#pragma once

#include <cstddef>

#include "win/types.h"

#define SNMP_PDU_GET 0xA0
#define SNMP_PDU_GETNEXT 0xA1
#define SNMP_PDU_RESPONSE 0xA2
#define SNMP_PDU_SET 0xA3
#define SNMP_PDU_TRAP 0xA4

#define SNMP_TYPE_INTEGER 0x02
#define SNMP_TYPE_OCTETSTRING 0x04
#define SNMP_TYPE_NULL 0x05
#define SNMP_TYPE_OID 0x06
#define SNMP_TYPE_SEQUENCE 0x30
#define SNMP_TYPE_IPADDRESS 0x40
#define SNMP_TYPE_COUNTER 0x41
#define SNMP_TYPE_GAUGE 0x42
#define SNMP_TYPE_TIMETICKS 0x43

#define SNMP_ERROR_NOSUCHNAME 2

namespace devcomm {

constexpr std::size_t kSnmpMessageSize = 1536;   // the largest message built or accepted
constexpr std::size_t kSnmpDatagramSize = 65536; // received into, so that any stray is read whole
constexpr std::size_t kSnmpMaxSubIds = 128;
constexpr std::size_t kSnmpMaxOidText = 255;
constexpr std::size_t kSnmpMaxValue = 1535;
constexpr std::size_t kSnmpCommunitySize = 128;
constexpr USHORT kSnmpPort = 161;
constexpr DWORD kSnmpTimeoutMs = 3000;
// The most rows a column walk takes: the device tables it reads (trays, bins,
// alerts, colorants, disks) hold a few dozen rows. An agent that keeps
// answering inside the column is let go after this many rows, however slowly
// it answers; a walk has no total deadline, so a slow but correct device that
// answers each request within its time-out is read whole.
constexpr int kSnmpMaxColumnRows = 64;

// The community sent when a request leaves its community empty.
inline constexpr char kSnmpDefaultCommunity[] = "quince";

} // namespace devcomm

// One variable binding as text and bytes.
struct SnmpVarbindEntry {
    char oid[256];    // dotted decimal, NUL-terminated
    BYTE type;        // BER tag of the value; 0 in a request means NULL
    BYTE value[1539]; // at most 1535 value bytes, then a NUL
    INT length;       // number of value bytes
};
static_assert(sizeof(SnmpVarbindEntry) == 1800);
static_assert(offsetof(SnmpVarbindEntry, type) == 256 && offsetof(SnmpVarbindEntry, value) == 257);
static_assert(offsetof(SnmpVarbindEntry, length) == 1796);

// A request a caller fills, or the reply it receives.
struct SnmpRequestRecord {
    DWORD agentAddress;  // reply: the sender's IPv4 address, network byte order
    BYTE pduType;        // SNMP_PDU_GET or SNMP_PDU_GETNEXT; kept when a reply is copied in
    char community[128]; // NUL-terminated; empty in a request means the default
    DWORD errorStatus;   // reply: the PDU's error-status
    DWORD errorIndex;    // reply: the PDU's error-index
    INT entryCount;      // entries behind `entries`
    SnmpVarbindEntry* entries;
};

// A row of a column table: the value type expected in the column and the
// column's identifier.
struct SnmpColumnRow {
    BYTE type;
    const char* oid;
};

// Where and how long one exchange goes; every caller of the system uses the
// defaults (tests shorten the wait).
struct SnmpTransport {
    USHORT port = devcomm::kSnmpPort;
    DWORD timeoutMs = devcomm::kSnmpTimeoutMs;
};

// One request: 0 when a reply was received, parsed and copied into `reply`;
// -1 on any failure (the reply's contents are then undefined). `host` is a
// dotted IPv4 address or a host name.
int SnmpRequest(const char* host, int timeoutSeconds, SnmpRequestRecord* request,
                SnmpRequestRecord* reply);
int SnmpRequestEx(const char* host, const SnmpTransport& transport, SnmpRequestRecord* request,
                  SnmpRequestRecord* reply);

// `count` zeroed records with `entriesPerRecord` zeroed entries each; with
// `fill`, entry j of each record gets row j's identifier and the community
// the default. NULL when an allocation fails.
SnmpRequestRecord* MPNewRequests(int count, int entriesPerRecord, const SnmpColumnRow* table,
                                 BOOL fill);
void MPFreeRequests(int count, SnmpRequestRecord* records);

// 1 when entry i lies in the column of rows[i] (its identifier extends the
// column's by whole sub-identifiers) with the row's value type, for every i
// below count; else 0.
int MPIsSameColumn(int count, const SnmpVarbindEntry* entries, const SnmpColumnRow* rows);
