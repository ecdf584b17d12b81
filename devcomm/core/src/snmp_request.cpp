// One SNMP exchange: build the message, send one datagram, wait for the
// agent's answer, parse it and copy it into the reply record.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "devcomm/snmp_client.h"
#include "devcomm/snmp_message.h"
#include "win/winsock.h"

namespace {

// Closes the socket and cleans the socket layer up on every path.
class SocketSession {
  public:
    bool Open() {
        WSADATA data;
        if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return false;
        started_ = true;
        socket_ = socket(AF_INET, SOCK_DGRAM, 0);
        return socket_ != INVALID_SOCKET;
    }
    ~SocketSession() {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
        if (started_) WSACleanup();
    }
    SOCKET Socket() const { return socket_; }

  private:
    bool started_ = false;
    SOCKET socket_ = INVALID_SOCKET;
};

// A dotted address as it is, else the first address of the name.
bool ResolveHost(const char* host, ULONG* address) {
    ULONG a = inet_addr(host);
    if (a != INADDR_NONE) {
        *address = a;
        return true;
    }
    hostent* h = gethostbyname(host);
    if (!h || h->h_addrtype != AF_INET || h->h_length != 4 || !h->h_addr_list || !h->h_addr_list[0])
        return false;
    std::memcpy(address, h->h_addr_list[0], 4);
    return true;
}

} // namespace

int SnmpRequestEx(const char* host, const SnmpTransport& transport, SnmpRequestRecord* request,
                  SnmpRequestRecord* reply) {
    if (!host || !*host || !request || !reply) return -1;
    // Request ids stay within 0 to 32767.
    const std::int32_t requestId = std::rand() & 0x7fff;
    std::vector<BYTE> message;
    if (!devcomm::BuildSnmpMessage(request, requestId, &message)) return -1;

    SocketSession session;
    if (!session.Open()) return -1;
    ULONG address;
    if (!ResolveHost(host, &address)) return -1;
    sockaddr_in agent{};
    agent.sin_family = AF_INET;
    agent.sin_addr.s_addr = address;
    agent.sin_port = htons(transport.port);
    if (sendto(session.Socket(), reinterpret_cast<const char*>(message.data()),
               static_cast<int>(message.size()), 0, reinterpret_cast<sockaddr*>(&agent),
               sizeof agent) != static_cast<int>(message.size()))
        return -1;

    // Wait for the answer to this request from this agent. Datagrams from
    // anyone else, and answers to other requests, are dropped whatever their
    // size; the wait goes on until the time-out.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(transport.timeoutMs);
    std::vector<BYTE> buffer(devcomm::kSnmpDatagramSize);
    for (;;) {
        auto now = Clock::now();
        if (now >= deadline) return -1;
        auto left = static_cast<DWORD>(
            std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(session.Socket(), &readable);
        timeval tv;
        tv.tv_sec = static_cast<long>(left / 1000);
        tv.tv_usec = static_cast<long>((left % 1000) * 1000);
        int ready = select(0, &readable, nullptr, nullptr, &tv);
        if (ready <= 0) return -1;
        sockaddr_in from{};
        int fromLength = sizeof from;
        // Read into room for any datagram, so that a large one from someone
        // else is dropped like any other stray instead of ending the wait.
        int n = recvfrom(session.Socket(), reinterpret_cast<char*>(buffer.data()),
                         static_cast<int>(buffer.size()), 0, reinterpret_cast<sockaddr*>(&from),
                         &fromLength);
        if (n < 0) {
            if (WSAGetLastError() == WSAEMSGSIZE)
                continue; // larger than any UDP datagram: not an answer
            return -1;
        }
        if (from.sin_addr.s_addr != agent.sin_addr.s_addr || from.sin_port != agent.sin_port)
            continue;
        BYTE pduType = 0;
        std::int32_t id = 0;
        const auto size = static_cast<std::size_t>(n);
        if (!devcomm::PeekSnmpResponseId(buffer.data(), size, &pduType, &id)) return -1;
        if (pduType != SNMP_PDU_RESPONSE || id != requestId) continue;
        // Our agent's answer: only now does its size count.
        if (size > devcomm::kSnmpMessageSize) return -1;
        auto pdu = std::make_unique<devcomm::SnmpPdu>();
        pdu->agentAddress = from.sin_addr.s_addr;
        if (!devcomm::ParseSnmpMessage(buffer.data(), size, pdu.get())) return -1;
        return devcomm::CopyPduToRecord(*pdu, reply) ? 0 : -1;
    }
}

int SnmpRequest(const char* host, int timeoutSeconds, SnmpRequestRecord* request,
                SnmpRequestRecord* reply) {
    SnmpTransport transport;
    transport.timeoutMs = timeoutSeconds > 0 ? static_cast<DWORD>(timeoutSeconds) * 1000 : 0;
    return SnmpRequestEx(host, transport, request, reply);
}

SnmpRequestRecord* MPNewRequests(int count, int entriesPerRecord, const SnmpColumnRow* table,
                                 BOOL fill) {
    if (count <= 0 || entriesPerRecord < 0) return nullptr;
    if (fill && entriesPerRecord > 0 && !table) return nullptr;
    auto* records = static_cast<SnmpRequestRecord*>(
        std::calloc(static_cast<std::size_t>(count), sizeof(SnmpRequestRecord)));
    if (!records) return nullptr;
    for (int i = 0; i < count; ++i) {
        SnmpRequestRecord& r = records[i];
        r.entryCount = entriesPerRecord;
        if (entriesPerRecord > 0) {
            r.entries = static_cast<SnmpVarbindEntry*>(
                std::calloc(static_cast<std::size_t>(entriesPerRecord), sizeof(SnmpVarbindEntry)));
            if (!r.entries) {
                MPFreeRequests(count, records);
                return nullptr;
            }
        }
        if (fill) {
            std::memcpy(r.community, devcomm::kSnmpDefaultCommunity,
                        sizeof devcomm::kSnmpDefaultCommunity);
            for (int j = 0; j < entriesPerRecord; ++j) {
                const char* oid = table[j].oid ? table[j].oid : "";
                std::strncpy(r.entries[j].oid, oid, sizeof r.entries[j].oid - 1);
            }
        }
    }
    return records;
}

void MPFreeRequests(int count, SnmpRequestRecord* records) {
    if (!records) return;
    for (int i = 0; i < count; ++i)
        std::free(records[i].entries);
    std::free(records);
}

int MPIsSameColumn(int count, const SnmpVarbindEntry* entries, const SnmpColumnRow* rows) {
    if (count <= 0 || !entries || !rows) return 0;
    for (int i = 0; i < count; ++i) {
        std::vector<std::uint32_t> column, entry;
        if (!devcomm::ParseOidText(rows[i].oid, devcomm::kSnmpMaxOidText + 1, &column) ||
            column.empty())
            return 0;
        if (!devcomm::ParseOidText(entries[i].oid, sizeof entries[i].oid, &entry)) return 0;
        // Inside the column: the column's sub-identifiers followed by at least one more.
        if (entry.size() <= column.size()) return 0;
        if (!std::equal(column.begin(), column.end(), entry.begin())) return 0;
        if (entries[i].type != rows[i].type) return 0;
    }
    return 1;
}
