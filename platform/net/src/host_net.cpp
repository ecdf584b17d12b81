// The host side of the Winsock stand-in: BSD sockets and getaddrinfo.
#include "host_net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

namespace platform::net::host {

int OpenUdpSocket(int* error) {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) *error = errno;
    return fd;
}

int CloseSocket(int fd) {
    return ::close(fd);
}

int Bind(int fd, std::uint32_t address, std::uint16_t port, int* error) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    sa.sin_port = port;
    int rc = ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    if (rc < 0) *error = errno;
    return rc;
}

int LocalAddress(int fd, std::uint32_t* address, std::uint16_t* port, int* error) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    int rc = ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    if (rc < 0) {
        *error = errno;
        return rc;
    }
    *address = sa.sin_addr.s_addr;
    *port = sa.sin_port;
    return 0;
}

long SendTo(int fd, const void* data, std::size_t size, std::uint32_t address, std::uint16_t port,
            int* error) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = address;
    sa.sin_port = port;
    ssize_t n;
    do {
        n = ::sendto(fd, data, size, MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    } while (n < 0 && errno == EINTR);
    if (n < 0) *error = errno;
    return static_cast<long>(n);
}

long ReceiveFrom(int fd, void* data, std::size_t size, bool peek, std::uint32_t* address,
                 std::uint16_t* port, std::size_t* fullSize, int* error) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    // MSG_TRUNC makes the host report the datagram's real size.
    int flags = MSG_TRUNC | (peek ? MSG_PEEK : 0);
    ssize_t n;
    do {
        len = sizeof sa;
        n = ::recvfrom(fd, data, size, flags, reinterpret_cast<sockaddr*>(&sa), &len);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        *error = errno;
        return -1;
    }
    *address = sa.sin_addr.s_addr;
    *port = sa.sin_port;
    *fullSize = static_cast<std::size_t>(n);
    return static_cast<long>(static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n)
                                                                : size);
}

namespace {

int SetTimeout(int fd, int option, std::uint32_t milliseconds, int* error) {
    timeval tv{};
    tv.tv_sec = milliseconds / 1000;
    tv.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
    int rc = ::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
    if (rc < 0) *error = errno;
    return rc;
}

int FlagOption(int which) {
    return which == 0 ? SO_REUSEADDR : SO_BROADCAST;
}

} // namespace

int SetReceiveTimeout(int fd, std::uint32_t milliseconds, int* error) {
    return SetTimeout(fd, SO_RCVTIMEO, milliseconds, error);
}

int SetSendTimeout(int fd, std::uint32_t milliseconds, int* error) {
    return SetTimeout(fd, SO_SNDTIMEO, milliseconds, error);
}

int SetFlag(int fd, int which, bool on, int* error) {
    int value = on ? 1 : 0;
    int rc = ::setsockopt(fd, SOL_SOCKET, FlagOption(which), &value, sizeof value);
    if (rc < 0) *error = errno;
    return rc;
}

int GetFlag(int fd, int which, bool* on, int* error) {
    int value = 0;
    socklen_t len = sizeof value;
    int rc = ::getsockopt(fd, SOL_SOCKET, FlagOption(which), &value, &len);
    if (rc < 0) {
        *error = errno;
        return rc;
    }
    *on = value != 0;
    return 0;
}

int WaitReady(std::vector<Wait>& fds, long timeoutMs, int* error) {
    std::vector<pollfd> polls(fds.size());
    for (std::size_t i = 0; i < fds.size(); ++i) {
        polls[i].fd = fds[i].fd;
        polls[i].events =
            static_cast<short>((fds[i].read ? POLLIN : 0) | (fds[i].write ? POLLOUT : 0) |
                               (fds[i].except ? POLLPRI : 0));
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    int rc;
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left <= 0 ? 0 : (left > INT_MAX ? INT_MAX : static_cast<int>(left));
        }
        rc = ::poll(polls.data(), polls.size(), wait);
        if (rc < 0 && errno == EINTR) continue;
        // The host may wake a little early: a time-out is never shorter than asked.
        if (rc == 0 && wait > 0 && Clock::now() < deadline) continue;
        break;
    }
    if (rc < 0) {
        *error = errno;
        return -1;
    }
    int ready = 0;
    for (std::size_t i = 0; i < fds.size(); ++i) {
        short r = polls[i].revents;
        // An error or hang-up makes a socket readable: the next receive reports it.
        fds[i].readReady = fds[i].read && (r & (POLLIN | POLLERR | POLLHUP));
        fds[i].writeReady = fds[i].write && (r & POLLOUT);
        fds[i].exceptReady = fds[i].except && (r & POLLPRI);
        if (fds[i].readReady || fds[i].writeReady || fds[i].exceptReady) ++ready;
    }
    return ready;
}

int ResolveIPv4(const std::string& name, std::vector<std::uint32_t>* addresses) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &list);
    if (rc != 0) {
        switch (rc) {
        case EAI_AGAIN:
            return 11002; // WSATRY_AGAIN
        case EAI_FAIL:
            return 11003; // WSANO_RECOVERY
        case EAI_MEMORY:
            return 8; // ERROR_NOT_ENOUGH_MEMORY
        default:
            return 11001; // WSAHOST_NOT_FOUND
        }
    }
    for (addrinfo* ai = list; ai; ai = ai->ai_next) {
        if (ai->ai_family != AF_INET || !ai->ai_addr) continue;
        std::uint32_t a = reinterpret_cast<sockaddr_in*>(ai->ai_addr)->sin_addr.s_addr;
        bool seen = false;
        for (std::uint32_t b : *addresses)
            seen = seen || a == b;
        if (!seen) addresses->push_back(a);
    }
    ::freeaddrinfo(list);
    return addresses->empty() ? 11004 /* WSANO_DATA */ : 0;
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

int WinsockError(int e) {
    switch (e) {
    case EINTR:
        return 10004;
    case EBADF:
        return 10038; // WSAENOTSOCK
    case EACCES:
    case EPERM:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
    case ENFILE:
        return 10024;
    case EAGAIN:
        return 10035;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return 10040;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return 10049;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ECONNRESET:
        return 10054;
    case ENOBUFS:
    case ENOMEM:
        return 10055;
    case ETIMEDOUT:
        return 10060;
    case ECONNREFUSED:
        return 10061;
    case EHOSTUNREACH:
        return 10065;
    default:
        return 10022;
    }
}

bool IsWouldBlock(int e) {
    return e == EAGAIN || e == EWOULDBLOCK;
}

} // namespace platform::net::host
