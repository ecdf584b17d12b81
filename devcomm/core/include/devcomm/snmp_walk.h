// Column walks: GetNextRequests from a column's identifier for as long as the
// answers stay in the column.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "devcomm/snmp_client.h"

namespace devcomm {

enum class WalkEnd {
    EndOfColumn, // the agent answered past the column, or noSuchName after a row
    Stopped,     // the visitor asked to stop
    Failed,      // no answer, an error answer (noSuchName before any row), an
                 // agent that does not advance, or more rows than the walk takes
};

// Walks `count` columns at once (one varbind per row, in one GetNextRequest);
// the first row decides whether an answer still lies in the walk. `visit`
// sees every reply inside the walk and returns false to stop. The first
// varbind's identifier must grow with every step. Each request waits for its
// own time-out; the walk ends at an error, a time-out, the end of the column,
// or fails when the column goes on past `maxRows` rows.
WalkEnd WalkColumns(const char* host, const SnmpColumnRow* rows, int count,
                    const std::function<bool(const SnmpRequestRecord& reply)>& visit,
                    const SnmpTransport& transport = SnmpTransport{},
                    int maxRows = kSnmpMaxColumnRows);

// An entry's value as a 32-bit number (INTEGER and the unsigned types: its
// four value bytes), 0 when it has none; and as bytes.
std::int32_t EntryInteger(const SnmpVarbindEntry& entry);
std::string EntryText(const SnmpVarbindEntry& entry);

// What one question about one object of a column found.
enum class Probe {
    Found,     // the object (GetRequest) or a row of the column (GetNextRequest), of the row's type
    Absent,    // noSuchName, or an answer past the column
    WrongType, // the object or a row of the column, of another type
    Failed,    // no answer, a malformed one, or another error status
};
// A GetRequest for exactly row.oid, or a GetNextRequest into the column
// row.oid; *entry gets the answer's entry when one came.
Probe ProbeColumn(const char* host, BYTE pduType, const SnmpColumnRow& row, SnmpVarbindEntry* entry,
                  const SnmpTransport& transport = SnmpTransport{});

// One GetRequest (or GetNextRequest) for one identifier; true with the reply's
// entry when the agent answered without an error.
bool GetOne(const char* host, BYTE pduType, const char* oid, SnmpVarbindEntry* entry,
            const SnmpTransport& transport = SnmpTransport{});

} // namespace devcomm
