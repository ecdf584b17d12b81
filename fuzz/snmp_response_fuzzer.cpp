// Fuzzes the SNMP answer decoder and the copy into a reply record: whatever
// an agent sends, decoding must stay inside the datagram and the record.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "devcomm/legacy_engine.h"
#include "devcomm/snmp_message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    BYTE pduType = 0;
    std::int32_t requestId = 0;
    devcomm::PeekSnmpResponseId(data, size, &pduType, &requestId);
    devcomm::SnmpPdu pdu;
    if (devcomm::ParseSnmpMessage(data, size, &pdu)) {
        SnmpVarbindEntry entries[2];
        std::memset(entries, 0, sizeof entries);
        SnmpRequestRecord reply{};
        reply.entryCount = 2;
        reply.entries = entries;
        if (devcomm::CopyPduToRecord(pdu, &reply)) {
            for (const SnmpVarbindEntry& e : entries) {
                if (e.length < 0 || (e.length > 1535 && e.type == SNMP_TYPE_OCTETSTRING))
                    __builtin_trap();
                if (std::memchr(e.oid, 0, sizeof e.oid) == nullptr) __builtin_trap();
            }
        }
    }
    // The single-request engine reads at most 256 bytes of a datagram.
    devcomm::LegacyReply legacy;
    devcomm::CheckLegacyReply(data, size < 256 ? size : 256, &legacy);
    return 0;
}
