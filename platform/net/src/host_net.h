// The host's BSD sockets and resolver, behind plain types, so that the Winsock
// stand-in never sees the host's socket headers (their names clash).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::net::host {

// Outcomes carry the host's errno; WinsockError turns it into a WSA number.
int OpenUdpSocket(int* error);
int CloseSocket(int fd);
// Addresses and ports in network byte order.
int Bind(int fd, std::uint32_t address, std::uint16_t port, int* error);
int LocalAddress(int fd, std::uint32_t* address, std::uint16_t* port, int* error);
long SendTo(int fd, const void* data, std::size_t size, std::uint32_t address, std::uint16_t port,
            int* error);
// Receives one datagram; *fullSize is its real size (larger than `size` when it was cut).
long ReceiveFrom(int fd, void* data, std::size_t size, bool peek, std::uint32_t* address,
                 std::uint16_t* port, std::size_t* fullSize, int* error);
int SetReceiveTimeout(int fd, std::uint32_t milliseconds, int* error);
int SetSendTimeout(int fd, std::uint32_t milliseconds, int* error);
int SetFlag(int fd, int which, bool on, int* error); // which: 0 reuse address, 1 broadcast
int GetFlag(int fd, int which, bool* on, int* error);

// Waits until any of the descriptors is ready (readable, writable or in error
// per the flags); timeoutMs < 0 waits without limit. Returns the number of
// ready descriptors, 0 on time-out, -1 with *error.
struct Wait {
    int fd;
    bool read, write, except;
    bool readReady, writeReady, exceptReady;
};
int WaitReady(std::vector<Wait>& fds, long timeoutMs, int* error);

// The IPv4 addresses of a host name, in network byte order, through the host's
// resolver. Returns 0 or a WSA error number.
int ResolveIPv4(const std::string& name, std::vector<std::uint32_t>* addresses);
std::string HostName();

// errno -> WSA error number.
int WinsockError(int hostErrno);
bool IsWouldBlock(int hostErrno);

} // namespace platform::net::host
