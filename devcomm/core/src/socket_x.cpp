// The single-request engine's datagram socket.
#include "devcomm/socket_x.h"

BOOL CSocketX::Create() {
    Close();
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return FALSE;
    started_ = true;
    socket_ = socket(AF_INET, SOCK_DGRAM, 0);
    if (socket_ == INVALID_SOCKET) return FALSE;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    return bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
}

void CSocketX::Close() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    socket_ = INVALID_SOCKET;
    if (started_) WSACleanup();
    started_ = false;
    timerRunning_ = false;
}

void CSocketX::StartTimeout(DWORD milliseconds) {
    timerRunning_ = true;
    deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

void CSocketX::StopTimeout() {
    timerRunning_ = false;
}

int CSocketX::SendTo(const void* data, int length, ULONG address, USHORT port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = address;
    to.sin_port = htons(port);
    return sendto(socket_, static_cast<const char*>(data), length, 0,
                  reinterpret_cast<sockaddr*>(&to), sizeof to);
}

int CSocketX::ReceiveFrom(void* data, int length, ULONG* address, USHORT* port) {
    fd_set readable;
    FD_ZERO(&readable);
    if (socket_ == INVALID_SOCKET) {
        WSASetLastError(WSAENOTSOCK);
        return SOCKET_ERROR;
    }
    FD_SET(socket_, &readable);
    timeval wait{};
    timeval* waitFor = nullptr;
    if (timerRunning_) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ -
                                                                 std::chrono::steady_clock::now())
                        .count();
        if (left < 0) left = 0;
        wait.tv_sec = static_cast<long>(left / 1000);
        wait.tv_usec = static_cast<long>((left % 1000) * 1000);
        waitFor = &wait;
    }
    int ready = select(0, &readable, nullptr, nullptr, waitFor);
    if (ready == 0) {
        // The timer fired first: the blocking call is cancelled.
        WSASetLastError(WSAEINTR);
        return SOCKET_ERROR;
    }
    if (ready < 0) return SOCKET_ERROR;
    sockaddr_in from{};
    int fromLength = sizeof from;
    int n = recvfrom(socket_, static_cast<char*>(data), length, 0,
                     reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (address) *address = from.sin_addr.s_addr;
    if (port) *port = ntohs(from.sin_port);
    return n;
}
