#include "udp_responder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace snmp_testing {

namespace {

int LoopbackSocket(std::uint16_t* port) {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    if (port) *port = ntohs(sa.sin_port);
    return fd;
}

} // namespace

UdpResponder::UdpResponder(Handler handler) : handler_(std::move(handler)) {
    fd_ = LoopbackSocket(&port_);
    other_ = LoopbackSocket(nullptr);
    thread_ = std::thread([this] { Run(); });
}

UdpResponder::~UdpResponder() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
    ::close(other_);
}

std::vector<Bytes> UdpResponder::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void UdpResponder::Run() {
    while (!stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 20) != 1) continue;
        Bytes buf(65536);
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n =
            ::recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n < 0) continue;
        buf.resize(static_cast<std::size_t>(n));
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(buf);
        }
        ++received_;
        for (const Answer& a : handler_(buf)) {
            if (a.delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(a.delayMs));
            ::sendto(a.fromOtherSocket ? other_ : fd_, a.bytes.data(), a.bytes.size(), 0,
                     reinterpret_cast<sockaddr*>(&from), len);
        }
    }
}

} // namespace snmp_testing
