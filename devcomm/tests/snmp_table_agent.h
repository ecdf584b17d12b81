// A scripted agent's table: answers GetRequest and GetNextRequest as a
// version-1 agent does (noSuchName past the end), for the UDP responder.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "devcomm/snmp_message.h"
#include "snmp_bytes.h"
#include "udp_responder.h"

namespace snmp_testing {

class TableAgent {
  public:
    // value: the complete value element, e.g. snmp_bytes::Int(4).
    void Set(const std::string& oid, const Bytes& value) {
        std::vector<std::uint32_t> ids;
        devcomm::ParseOidText(oid.c_str(), 256, &ids);
        table_[ids] = value;
    }

    std::vector<Answer> operator()(const Bytes& request) const {
        using namespace snmp_bytes;
        devcomm::SnmpPdu pdu;
        if (!devcomm::ParseSnmpMessage(request.data(), request.size(), &pdu)) return {};
        Bytes varbinds, echo;
        int status = 0, index = 0;
        for (std::size_t i = 0; i < pdu.varbinds.size(); ++i) {
            const auto& vb = pdu.varbinds[i];
            Bytes name = NameOf(vb.oid);
            echo = Cat({echo, Varbind(name, {0x05, 0x00})});
            auto it =
                pdu.pduType == SNMP_PDU_GET ? table_.find(vb.oid) : table_.upper_bound(vb.oid);
            if (it == table_.end()) {
                if (!status) status = SNMP_ERROR_NOSUCHNAME, index = static_cast<int>(i) + 1;
                continue;
            }
            varbinds = Cat({varbinds, Varbind(NameOf(it->first), it->second)});
        }
        return {{Message(Response(pdu.requestId, status ? echo : varbinds, status, index),
                         pdu.community)}};
    }

    static Bytes NameOf(const std::vector<std::uint32_t>& oid) {
        std::vector<BYTE> content;
        devcomm::EncodeOid(oid, &content);
        return snmp_bytes::Tlv(0x06, Bytes(content.begin(), content.end()));
    }

  private:
    std::map<std::vector<std::uint32_t>, Bytes> table_;
};

// The request id and first identifier of a request.
inline devcomm::SnmpPdu ParseRequest(const Bytes& request) {
    devcomm::SnmpPdu pdu;
    devcomm::ParseSnmpMessage(request.data(), request.size(), &pdu);
    return pdu;
}

} // namespace snmp_testing
