// Winsock sockets of the stand-in: start-up counting, the socket table, UDP
// send and receive with Winsock's error numbers, select and socket options.
#include "win/winsock.h"

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

#include "host_net.h"
#include "net_internal.h"
#include "platform/core.h"
#include "platform/net_ctl.h"

namespace {

struct SocketState {
    std::uint32_t receiveTimeoutMs = 0; // 0: wait without limit
};

std::mutex gMutex;
int gStartups = 0;
std::map<SOCKET, SocketState> gSockets;
std::map<std::uint16_t, std::uint16_t> gRedirects; // host byte order: from -> to

// A sample device's agent on a loopback port of its own stands in for port
// 161 in every process of a run that names it ("PRINTHOST_AGENT_PORT", which
// programs started from it inherit), as RedirectUdpPort does for a test.
// Called with gMutex held.
void TakeAgentPortFromEnvironment() {
    static bool taken = false;
    if (taken) return;
    taken = true;
    const char* text = std::getenv("PRINTHOST_AGENT_PORT");
    char* end = nullptr;
    const long port = text ? std::strtol(text, &end, 10) : 0;
    if (text && *text && !*end && port > 0 && port < 65536 && !gRedirects.count(161))
        gRedirects[161] = static_cast<std::uint16_t>(port);
}

int Fail(int error) {
    SetLastError(static_cast<DWORD>(error));
    return SOCKET_ERROR;
}

bool IsLoopback(std::uint32_t networkAddress) {
    return (ntohl(networkAddress) >> 24) == 127;
}

// Checks start-up and the socket; fills *state. Returns 0 or a WSA error.
int CheckSocket(SOCKET s, SocketState* state = nullptr) {
    std::lock_guard lock(gMutex);
    if (gStartups == 0) return WSANOTINITIALISED;
    auto it = gSockets.find(s);
    if (it == gSockets.end()) return WSAENOTSOCK;
    if (state) *state = it->second;
    return 0;
}

void ResetNet() {
    std::lock_guard lock(gMutex);
    gRedirects.clear();
}

struct Registrar {
    Registrar() { platform::RegisterResetHook(ResetNet); }
} gRegistrar;

} // namespace

namespace platform::net {

bool Started() {
    std::lock_guard lock(gMutex);
    return gStartups > 0;
}

} // namespace platform::net

extern "C" {

int WINAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
    DWORD fault = 0;
    if (platform::ShouldFail("WSAStartup", &fault)) return static_cast<int>(fault);
    if (!lpWSAData) return WSAEFAULT;
    BYTE major = LOBYTE(wVersionRequested), minor = HIBYTE(wVersionRequested);
    std::memset(lpWSAData, 0, sizeof *lpWSAData);
    lpWSAData->wHighVersion = MAKEWORD(2, 2);
    if (major == 0) {
        lpWSAData->wVersion = MAKEWORD(2, 2);
        return WSAVERNOTSUPPORTED;
    }
    // The highest version up to the one asked for that this layer speaks.
    if (major > 2 || (major == 2 && minor > 2))
        lpWSAData->wVersion = MAKEWORD(2, 2);
    else if (major == 1 && minor > 1)
        lpWSAData->wVersion = MAKEWORD(1, 1);
    else
        lpWSAData->wVersion = wVersionRequested;
    lpWSAData->iMaxSockets = 32767;
    lpWSAData->iMaxUdpDg = 65467;
    std::strcpy(lpWSAData->szDescription, "WinSock 2.0");
    std::strcpy(lpWSAData->szSystemStatus, "Running");
    std::lock_guard lock(gMutex);
    ++gStartups;
    return 0;
}

int WINAPI WSACleanup(void) {
    std::vector<SOCKET> orphans;
    {
        std::lock_guard lock(gMutex);
        if (gStartups == 0) return Fail(WSANOTINITIALISED);
        if (--gStartups == 0) {
            // The last clean-up releases every socket the process still holds.
            for (auto& entry : gSockets)
                orphans.push_back(entry.first);
            gSockets.clear();
        }
    }
    for (SOCKET s : orphans)
        platform::net::host::CloseSocket(static_cast<int>(s));
    return 0;
}

int WINAPI WSAGetLastError(void) {
    return static_cast<int>(GetLastError());
}
void WINAPI WSASetLastError(int iError) {
    SetLastError(static_cast<DWORD>(iError));
}

SOCKET WINAPI socket(int af, int type, int protocol) {
    PLATFORM_FAULT_POINT("socket", INVALID_SOCKET);
    {
        std::lock_guard lock(gMutex);
        if (gStartups == 0) return Fail(WSANOTINITIALISED), INVALID_SOCKET;
    }
    if (af != AF_INET) return Fail(WSAEAFNOSUPPORT), INVALID_SOCKET;
    if (type != SOCK_DGRAM) return Fail(WSAESOCKTNOSUPPORT), INVALID_SOCKET;
    if (protocol != 0 && protocol != IPPROTO_UDP) return Fail(WSAEPROTONOSUPPORT), INVALID_SOCKET;
    int error = 0;
    int fd = platform::net::host::OpenUdpSocket(&error);
    if (fd < 0) return Fail(platform::net::host::WinsockError(error)), INVALID_SOCKET;
    // Winsock's sets hold sockets as bits of the C library's fd_set.
    if (fd >= FD_SETSIZE) {
        platform::net::host::CloseSocket(fd);
        return Fail(WSAEMFILE), INVALID_SOCKET;
    }
    std::lock_guard lock(gMutex);
    gSockets[static_cast<SOCKET>(fd)] = SocketState{};
    return static_cast<SOCKET>(fd);
}

int WINAPI closesocket(SOCKET s) {
    {
        std::lock_guard lock(gMutex);
        if (gStartups == 0) return Fail(WSANOTINITIALISED);
        if (gSockets.erase(s) == 0) return Fail(WSAENOTSOCK);
    }
    platform::net::host::CloseSocket(static_cast<int>(s));
    return 0;
}

int WINAPI bind(SOCKET s, const struct sockaddr* name, int namelen) {
    PLATFORM_FAULT_POINT("bind", SOCKET_ERROR);
    if (int e = CheckSocket(s)) return Fail(e);
    if (!name || namelen < static_cast<int>(sizeof(sockaddr_in))) return Fail(WSAEFAULT);
    const auto* in = reinterpret_cast<const sockaddr_in*>(name);
    if (in->sin_family != AF_INET) return Fail(WSAEAFNOSUPPORT);
    int error = 0;
    if (platform::net::host::Bind(static_cast<int>(s), in->sin_addr.s_addr, in->sin_port, &error) <
        0)
        return Fail(platform::net::host::WinsockError(error));
    return 0;
}

int WINAPI getsockname(SOCKET s, struct sockaddr* name, int* namelen) {
    if (int e = CheckSocket(s)) return Fail(e);
    if (!name || !namelen || *namelen < static_cast<int>(sizeof(sockaddr_in)))
        return Fail(WSAEFAULT);
    std::uint32_t address = 0;
    std::uint16_t port = 0;
    int error = 0;
    if (platform::net::host::LocalAddress(static_cast<int>(s), &address, &port, &error) < 0)
        return Fail(platform::net::host::WinsockError(error));
    auto* in = reinterpret_cast<sockaddr_in*>(name);
    std::memset(in, 0, sizeof *in);
    in->sin_family = AF_INET;
    in->sin_addr.s_addr = address;
    in->sin_port = port;
    *namelen = sizeof(sockaddr_in);
    return 0;
}

int WINAPI sendto(SOCKET s, const char* buf, int len, int flags, const struct sockaddr* to,
                  int tolen) {
    PLATFORM_FAULT_POINT("sendto", SOCKET_ERROR);
    if (int e = CheckSocket(s)) return Fail(e);
    if (flags != 0) return Fail(WSAEOPNOTSUPP);
    if (len < 0 || (len > 0 && !buf)) return Fail(WSAEFAULT);
    if (!to) return Fail(WSAEDESTADDRREQ);
    if (tolen < static_cast<int>(sizeof(sockaddr_in))) return Fail(WSAEFAULT);
    const auto* in = reinterpret_cast<const sockaddr_in*>(to);
    if (in->sin_family != AF_INET) return Fail(WSAEAFNOSUPPORT);
    std::uint16_t port = in->sin_port;
    if (IsLoopback(in->sin_addr.s_addr)) {
        std::lock_guard lock(gMutex);
        TakeAgentPortFromEnvironment();
        auto it = gRedirects.find(ntohs(port));
        if (it != gRedirects.end()) port = htons(it->second);
    }
    int error = 0;
    long n = platform::net::host::SendTo(static_cast<int>(s), buf, static_cast<std::size_t>(len),
                                         in->sin_addr.s_addr, port, &error);
    if (n < 0) return Fail(platform::net::host::WinsockError(error));
    return static_cast<int>(n);
}

int WINAPI recvfrom(SOCKET s, char* buf, int len, int flags, struct sockaddr* from, int* fromlen) {
    PLATFORM_FAULT_POINT("recvfrom", SOCKET_ERROR);
    SocketState state;
    if (int e = CheckSocket(s, &state)) return Fail(e);
    if ((flags & ~MSG_PEEK) != 0) return Fail(WSAEOPNOTSUPP);
    if (len < 0 || (len > 0 && !buf)) return Fail(WSAEFAULT);
    if (from && (!fromlen || *fromlen < static_cast<int>(sizeof(sockaddr_in))))
        return Fail(WSAEFAULT);
    std::uint32_t address = 0;
    std::uint16_t port = 0;
    std::size_t full = 0;
    int error = 0;
    long n =
        platform::net::host::ReceiveFrom(static_cast<int>(s), buf, static_cast<std::size_t>(len),
                                         (flags & MSG_PEEK) != 0, &address, &port, &full, &error);
    if (n < 0) {
        // A blocking socket whose receive time-out ran out.
        if (platform::net::host::IsWouldBlock(error) && state.receiveTimeoutMs)
            return Fail(WSAETIMEDOUT);
        return Fail(platform::net::host::WinsockError(error));
    }
    if (IsLoopback(address)) {
        std::lock_guard lock(gMutex);
        TakeAgentPortFromEnvironment();
        for (auto& [original, target] : gRedirects)
            if (ntohs(port) == target) {
                port = htons(original);
                break;
            }
    }
    if (from) {
        auto* in = reinterpret_cast<sockaddr_in*>(from);
        std::memset(in, 0, sizeof *in);
        in->sin_family = AF_INET;
        in->sin_addr.s_addr = address;
        in->sin_port = port;
        *fromlen = sizeof(sockaddr_in);
    }
    // A datagram larger than the buffer: the buffer holds its start, the rest is lost.
    if (full > static_cast<std::size_t>(len)) return Fail(WSAEMSGSIZE);
    return static_cast<int>(n);
}

int WINAPI setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
    if (int e = CheckSocket(s)) return Fail(e);
    if (level != SOL_SOCKET) return Fail(WSAEINVAL);
    if (!optval) return Fail(WSAEFAULT);
    int error = 0, rc = 0;
    switch (optname) {
    case SO_RCVTIMEO:
    case SO_SNDTIMEO: {
        if (optlen < static_cast<int>(sizeof(DWORD))) return Fail(WSAEFAULT);
        DWORD ms;
        std::memcpy(&ms, optval, sizeof ms);
        if (optname == SO_RCVTIMEO) {
            rc = platform::net::host::SetReceiveTimeout(static_cast<int>(s), ms, &error);
            if (rc == 0) {
                std::lock_guard lock(gMutex);
                auto it = gSockets.find(s);
                if (it != gSockets.end()) it->second.receiveTimeoutMs = ms;
            }
        } else {
            rc = platform::net::host::SetSendTimeout(static_cast<int>(s), ms, &error);
        }
        break;
    }
    case SO_REUSEADDR:
    case SO_BROADCAST: {
        if (optlen < 1) return Fail(WSAEFAULT);
        bool on = false;
        if (optlen >= static_cast<int>(sizeof(int))) {
            int v;
            std::memcpy(&v, optval, sizeof v);
            on = v != 0;
        } else {
            on = optval[0] != 0;
        }
        rc = platform::net::host::SetFlag(static_cast<int>(s), optname == SO_REUSEADDR ? 0 : 1, on,
                                          &error);
        break;
    }
    default:
        return Fail(WSAENOPROTOOPT);
    }
    if (rc < 0) return Fail(platform::net::host::WinsockError(error));
    return 0;
}

int WINAPI getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
    SocketState state;
    if (int e = CheckSocket(s, &state)) return Fail(e);
    if (level != SOL_SOCKET) return Fail(WSAEINVAL);
    if (!optval || !optlen || *optlen < static_cast<int>(sizeof(DWORD))) return Fail(WSAEFAULT);
    switch (optname) {
    case SO_RCVTIMEO: {
        DWORD ms = state.receiveTimeoutMs;
        std::memcpy(optval, &ms, sizeof ms);
        *optlen = sizeof ms;
        return 0;
    }
    case SO_REUSEADDR:
    case SO_BROADCAST: {
        bool on = false;
        int error = 0;
        if (platform::net::host::GetFlag(static_cast<int>(s), optname == SO_REUSEADDR ? 0 : 1, &on,
                                         &error) < 0)
            return Fail(platform::net::host::WinsockError(error));
        BOOL v = on ? TRUE : FALSE;
        std::memcpy(optval, &v, sizeof v);
        *optlen = sizeof v;
        return 0;
    }
    default:
        return Fail(WSAENOPROTOOPT);
    }
}

int WINAPI PlatformWinsockSelect(int, fd_set* readfds, fd_set* writefds, fd_set* exceptfds,
                                 const struct timeval* timeout) {
    PLATFORM_FAULT_POINT("select", SOCKET_ERROR);
    std::vector<platform::net::host::Wait> waits;
    {
        std::lock_guard lock(gMutex);
        if (gStartups == 0) return Fail(WSANOTINITIALISED);
        for (int fd = 0; fd < FD_SETSIZE; ++fd) {
            bool r = readfds && FD_ISSET(fd, readfds);
            bool w = writefds && FD_ISSET(fd, writefds);
            bool x = exceptfds && FD_ISSET(fd, exceptfds);
            if (!r && !w && !x) continue;
            if (!gSockets.count(static_cast<SOCKET>(fd))) return Fail(WSAENOTSOCK);
            waits.push_back({fd, r, w, x, false, false, false});
        }
    }
    if (waits.empty()) return Fail(WSAEINVAL);
    long timeoutMs = -1;
    if (timeout) {
        if (timeout->tv_sec < 0 || timeout->tv_usec < 0) return Fail(WSAEINVAL);
        // Round up so that a short wait never becomes a poll.
        long long ms =
            static_cast<long long>(timeout->tv_sec) * 1000 + (timeout->tv_usec + 999) / 1000;
        timeoutMs = ms > 0x7fffffffLL ? 0x7fffffffL : static_cast<long>(ms);
    }
    int error = 0;
    int ready = platform::net::host::WaitReady(waits, timeoutMs, &error);
    if (ready < 0) return Fail(platform::net::host::WinsockError(error));
    if (readfds) FD_ZERO(readfds);
    if (writefds) FD_ZERO(writefds);
    if (exceptfds) FD_ZERO(exceptfds);
    int count = 0;
    for (auto& w : waits) {
        if (w.readReady) FD_SET(w.fd, readfds), ++count;
        if (w.writeReady) FD_SET(w.fd, writefds), ++count;
        if (w.exceptReady) FD_SET(w.fd, exceptfds), ++count;
    }
    return count;
}

USHORT WINAPI htons(USHORT x) {
    return static_cast<USHORT>((x >> 8) | (x << 8));
}
USHORT WINAPI ntohs(USHORT x) {
    return htons(x);
}
ULONG WINAPI htonl(ULONG x) {
    return ((x & 0xffu) << 24) | ((x & 0xff00u) << 8) | ((x >> 8) & 0xff00u) | (x >> 24);
}
ULONG WINAPI ntohl(ULONG x) {
    return htonl(x);
}

ULONG WINAPI inet_addr(const char* cp) {
    std::uint32_t address = 0;
    if (!cp || !platform::net::ParseInetAddress(cp, &address)) return INADDR_NONE;
    return address;
}

char* WINAPI inet_ntoa(struct in_addr in) {
    thread_local char text[16];
    const BYTE* b = reinterpret_cast<const BYTE*>(&in.S_un.S_addr);
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return text;
}

} // extern "C"

namespace platform::test {

void RedirectUdpPort(std::uint16_t from, std::uint16_t to) {
    std::lock_guard lock(gMutex);
    gRedirects[from] = to;
}

void ClearUdpRedirects() {
    std::lock_guard lock(gMutex);
    gRedirects.clear();
}

int OpenSocketCount() {
    std::lock_guard lock(gMutex);
    return static_cast<int>(gSockets.size());
}

} // namespace platform::test
