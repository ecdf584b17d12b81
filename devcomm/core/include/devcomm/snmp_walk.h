// Column walks: GetNextRequests from a column's identifier for as long as the
// answers stay in the column.
#pragma once

#include <functional>

#include "devcomm/snmp_client.h"

namespace devcomm {

enum class WalkEnd {
    EndOfColumn, // the agent answered past the column, or noSuchName after a row
    Stopped,     // the visitor asked to stop
    Failed,      // no answer, an error answer (noSuchName before any row), an
                 // agent that does not advance, or the walk's time or steps ran out
};

// Walks `count` columns at once (one varbind per row, in one GetNextRequest);
// the first row decides whether an answer still lies in the walk. `visit`
// sees every reply inside the walk and returns false to stop. The first
// varbind's identifier must grow with every step; after `maxSteps` steps, or
// once transport.timeoutMs + transport.walkGraceMs have passed, the walk fails.
WalkEnd WalkColumns(const char* host, const SnmpColumnRow* rows, int count,
                    const std::function<bool(const SnmpRequestRecord& reply)>& visit,
                    const SnmpTransport& transport = SnmpTransport{}, int maxSteps = kSnmpMaxWalkSteps);

// One GetRequest (or GetNextRequest) for one identifier; true with the reply's
// entry when the agent answered without an error.
bool GetOne(const char* host, BYTE pduType, const char* oid, SnmpVarbindEntry* entry,
            const SnmpTransport& transport = SnmpTransport{});

} // namespace devcomm
