// The datagram socket of the single-request engine: a blocking receive that
// its time-out timer cancels.
#pragma once

#include <chrono>
#include <string>

#include "win/types.h"
#include "win/winsock.h"

class CSocketX {
  public:
    CSocketX() = default;
    ~CSocketX() { Close(); }
    CSocketX(const CSocketX&) = delete;
    CSocketX& operator=(const CSocketX&) = delete;

    // A UDP socket on any local port.
    BOOL Create();
    void Close();

    // Timer id 2: a blocking receive that is still waiting when it fires is cancelled.
    void StartTimeout(DWORD milliseconds = 3000);
    void StopTimeout();

    // address in network byte order, port in host byte order.
    int SendTo(const void* data, int length, ULONG address, USHORT port);
    // One datagram of at most `length` bytes; SOCKET_ERROR with WSAEINTR when the
    // timer cancelled the wait, WSAEMSGSIZE when the datagram was longer (the
    // buffer holds its start).
    int ReceiveFrom(void* data, int length, ULONG* address, USHORT* port);

  private:
    bool started_ = false;
    SOCKET socket_ = INVALID_SOCKET;
    bool timerRunning_ = false;
    std::chrono::steady_clock::time_point deadline_;
};
