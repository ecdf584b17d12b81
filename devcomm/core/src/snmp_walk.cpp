// Column walks over the SNMP client.
#include "devcomm/snmp_walk.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "devcomm/snmp_message.h"

namespace devcomm {

namespace {

struct RequestPair {
    SnmpRequestRecord* records = nullptr;
    int count = 0;
    ~RequestPair() { MPFreeRequests(count, records); }
};

} // namespace

WalkEnd WalkColumns(const char* host, const SnmpColumnRow* rows, int count,
                    const std::function<bool(const SnmpRequestRecord& reply)>& visit,
                    const SnmpTransport& transport, int maxRows) {
    if (!host || !rows || count <= 0) return WalkEnd::Failed;
    RequestPair pair;
    pair.records = MPNewRequests(2, count, rows, TRUE);
    if (!pair.records) return WalkEnd::Failed;
    pair.count = 2;
    SnmpRequestRecord& request = pair.records[0];
    SnmpRequestRecord& reply = pair.records[1];
    request.pduType = SNMP_PDU_GETNEXT;

    std::vector<std::uint32_t> previous;
    if (!ParseOidText(rows[0].oid, kSnmpMaxOidText + 1, &previous)) return WalkEnd::Failed;
    // One request per row and one more that finds the end of the column.
    for (int step = 0; step <= maxRows; ++step) {
        std::memset(reply.entries, 0, sizeof(SnmpVarbindEntry) * static_cast<std::size_t>(count));
        if (SnmpRequestEx(host, transport, &request, &reply) != 0) return WalkEnd::Failed;
        // noSuchName is how a version-1 agent says that nothing follows in its
        // view: the column ends with the rows found. Before any row it tells
        // nothing about the column, and the walk fails.
        if (reply.errorStatus == SNMP_ERROR_NOSUCHNAME)
            return step > 0 ? WalkEnd::EndOfColumn : WalkEnd::Failed;
        if (reply.errorStatus != 0 || reply.errorIndex != 0) return WalkEnd::Failed;
        for (int i = 0; i < count; ++i)
            if (reply.entries[i].oid[0] == '\0')
                return WalkEnd::Failed; // fewer varbinds than asked
        if (!MPIsSameColumn(1, reply.entries, rows)) return WalkEnd::EndOfColumn;
        std::vector<std::uint32_t> current;
        if (!ParseOidText(reply.entries[0].oid, sizeof reply.entries[0].oid, &current))
            return WalkEnd::Failed;
        if (!std::lexicographical_compare(previous.begin(), previous.end(), current.begin(),
                                          current.end()))
            return WalkEnd::Failed; // an agent that does not advance would loop for ever
        if (step == maxRows) return WalkEnd::Failed; // a column longer than any device table
        previous = std::move(current);
        if (!visit(reply)) return WalkEnd::Stopped;
        for (int i = 0; i < count; ++i) {
            std::memset(request.entries[i].oid, 0, sizeof request.entries[i].oid);
            std::memcpy(request.entries[i].oid, reply.entries[i].oid,
                        sizeof request.entries[i].oid - 1);
        }
    }
    return WalkEnd::Failed;
}

std::int32_t EntryInteger(const SnmpVarbindEntry& entry) {
    std::int32_t v = 0;
    if (entry.length == 4) std::memcpy(&v, entry.value, 4);
    return v;
}

std::string EntryText(const SnmpVarbindEntry& entry) {
    const auto n =
        static_cast<std::size_t>(std::clamp<INT>(entry.length, 0, static_cast<INT>(kSnmpMaxValue)));
    return std::string(reinterpret_cast<const char*>(entry.value), n);
}

Probe ProbeColumn(const char* host, BYTE pduType, const SnmpColumnRow& row, SnmpVarbindEntry* entry,
                  const SnmpTransport& transport) {
    if (!host || !row.oid || !entry) return Probe::Failed;
    RequestPair pair;
    pair.records = MPNewRequests(2, 1, &row, TRUE);
    if (!pair.records) return Probe::Failed;
    pair.count = 2;
    pair.records[0].pduType = pduType;
    SnmpRequestRecord& reply = pair.records[1];
    if (SnmpRequestEx(host, transport, &pair.records[0], &reply) != 0) return Probe::Failed;
    if (reply.errorStatus == SNMP_ERROR_NOSUCHNAME) return Probe::Absent;
    if (reply.errorStatus != 0 || reply.errorIndex != 0 || reply.entries[0].oid[0] == '\0')
        return Probe::Failed;
    *entry = reply.entries[0];
    SnmpColumnRow anyType{entry->type, row.oid};
    const bool inside = pduType == SNMP_PDU_GET ? std::strcmp(entry->oid, row.oid) == 0
                                                : MPIsSameColumn(1, entry, &anyType) != 0;
    if (!inside) return Probe::Absent;
    return entry->type == row.type ? Probe::Found : Probe::WrongType;
}

bool GetOne(const char* host, BYTE pduType, const char* oid, SnmpVarbindEntry* entry,
            const SnmpTransport& transport) {
    SnmpColumnRow row{0, oid};
    RequestPair pair;
    pair.records = MPNewRequests(2, 1, &row, TRUE);
    if (!pair.records) return false;
    pair.count = 2;
    pair.records[0].pduType = pduType;
    std::memset(pair.records[1].entries, 0, sizeof(SnmpVarbindEntry));
    if (SnmpRequestEx(host, transport, &pair.records[0], &pair.records[1]) != 0) return false;
    if (pair.records[1].errorStatus != 0 || pair.records[1].errorIndex != 0) return false;
    if (pair.records[1].entries[0].oid[0] == '\0') return false;
    if (entry) *entry = pair.records[1].entries[0];
    return true;
}

} // namespace devcomm
