// A scripted SNMP agent for tests: a thread on 127.0.0.1 that answers each
// datagram with whatever the test's handler returns, including malformed,
// stray and late answers.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace snmp_testing {

using Bytes = std::vector<std::uint8_t>;

struct Answer {
    Bytes bytes;
    bool fromOtherSocket = false; // sent from a second socket (another port)
    int delayMs = 0;              // sleep before sending
};

class UdpResponder {
  public:
    using Handler = std::function<std::vector<Answer>(const Bytes& request)>;
    explicit UdpResponder(Handler handler);
    ~UdpResponder();
    UdpResponder(const UdpResponder&) = delete;
    UdpResponder& operator=(const UdpResponder&) = delete;

    std::uint16_t Port() const { return port_; }
    int Received() const { return received_; }
    std::vector<Bytes> Requests() const;

  private:
    void Run();
    Handler handler_;
    int fd_ = -1, other_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> received_{0};
    mutable std::mutex mutex_;
    std::vector<Bytes> requests_;
    std::thread thread_;
};

} // namespace snmp_testing
