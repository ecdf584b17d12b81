#include "win/winsock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>

#include "platform/net_ctl.h"
#include "platform/testctl.h"
#include "win/loader.h"

namespace {

class Winsock : public ::testing::Test {
  protected:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
    }
    void TearDown() override {
        while (WSACleanup() == 0) {
        }
        EXPECT_EQ(platform::test::OpenSocketCount(), 0);
    }

    // A UDP socket bound to 127.0.0.1 at a free port; *port in host order.
    static SOCKET BoundSocket(USHORT* port) {
        SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        EXPECT_NE(s, INVALID_SOCKET);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
        int len = sizeof sa;
        EXPECT_EQ(getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len), 0);
        *port = ntohs(sa.sin_port);
        return s;
    }

    static sockaddr_in Loopback(USHORT port) {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = inet_addr("127.0.0.1");
        sa.sin_port = htons(port);
        return sa;
    }

    static int WaitReadable(SOCKET s, long ms) {
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(s, &fds);
        timeval tv{ms / 1000, (ms % 1000) * 1000};
        return select(0, &fds, nullptr, nullptr, &tv);
    }
};

TEST(WinsockStartup, NegotiatesTheVersionAndCountsCleanups) {
    struct Case {
        WORD asked;
        int result;
        WORD version;
    } cases[] = {
        {MAKEWORD(1, 1), 0, MAKEWORD(1, 1)},
        {MAKEWORD(1, 0), 0, MAKEWORD(1, 0)},
        {MAKEWORD(2, 2), 0, MAKEWORD(2, 2)},
        {MAKEWORD(3, 0), 0, MAKEWORD(2, 2)},
        {MAKEWORD(0, 9), WSAVERNOTSUPPORTED, MAKEWORD(2, 2)},
    };
    for (const Case& c : cases) {
        WSADATA data;
        EXPECT_EQ(WSAStartup(c.asked, &data), c.result) << std::hex << c.asked;
        EXPECT_EQ(data.wVersion, c.version) << std::hex << c.asked;
        EXPECT_EQ(data.wHighVersion, MAKEWORD(2, 2));
    }
    EXPECT_EQ(WSAStartup(MAKEWORD(1, 1), nullptr), WSAEFAULT);
    // Four successful start-ups need four clean-ups.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST(WinsockStartup, SocketsNeedStartup) {
    EXPECT_EQ(socket(AF_INET, SOCK_DGRAM, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    EXPECT_EQ(gethostbyname("localhost"), nullptr);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST(WinsockStartup, InjectedFailureIsReturned) {
    platform::test::FailNext("WSAStartup", 1, WSASYSNOTREADY);
    WSADATA data;
    EXPECT_EQ(WSAStartup(MAKEWORD(1, 1), &data), WSASYSNOTREADY);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
}

TEST_F(Winsock, RefusesWhatItDoesNotSpeak) {
    struct Case {
        int af, type, protocol;
        int error;
    } cases[] = {
        {23, SOCK_DGRAM, 0, WSAEAFNOSUPPORT},
        {AF_INET, SOCK_STREAM, 0, WSAESOCKTNOSUPPORT},
        {AF_INET, SOCK_DGRAM, 6, WSAEPROTONOSUPPORT},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(socket(c.af, c.type, c.protocol), INVALID_SOCKET);
        EXPECT_EQ(WSAGetLastError(), c.error);
    }
    EXPECT_EQ(closesocket(12345), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    fd_set none;
    FD_ZERO(&none);
    timeval tv{0, 0};
    EXPECT_EQ(select(0, &none, nullptr, nullptr, &tv), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

TEST_F(Winsock, LoopbackDatagramRoundTrip) {
    USHORT portA, portB;
    SOCKET a = BoundSocket(&portA), b = BoundSocket(&portB);
    sockaddr_in to = Loopback(portB);
    ASSERT_EQ(sendto(a, "hello", 5, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 5);
    ASSERT_EQ(WaitReadable(b, 2000), 1);
    char buf[16] = {};
    sockaddr_in from{};
    int fromLen = sizeof from;
    ASSERT_EQ(recvfrom(b, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fromLen), 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_EQ(fromLen, static_cast<int>(sizeof from));
    EXPECT_EQ(ntohs(from.sin_port), portA);
    EXPECT_STREQ(inet_ntoa(from.sin_addr), "127.0.0.1");
    EXPECT_EQ(closesocket(a), 0);
    EXPECT_EQ(closesocket(b), 0);
}

TEST_F(Winsock, SelectTimesOutWhenNothingArrives) {
    USHORT port;
    SOCKET s = BoundSocket(&port);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitReadable(s, 200), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    closesocket(s);
}

TEST_F(Winsock, ReceiveTimeoutGivesTimedOut) {
    USHORT port;
    SOCKET s = BoundSocket(&port);
    DWORD ms = 150;
    ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms),
              0);
    DWORD back = 0;
    int len = sizeof back;
    ASSERT_EQ(getsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&back), &len), 0);
    EXPECT_EQ(back, 150u);
    char buf[8];
    EXPECT_EQ(recvfrom(s, buf, sizeof buf, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
    EXPECT_EQ(setsockopt(s, SOL_SOCKET, 0x7777, reinterpret_cast<const char*>(&ms), sizeof ms),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
    closesocket(s);
}

TEST_F(Winsock, DatagramLargerThanTheBufferIsCut) {
    USHORT portA, portB;
    SOCKET a = BoundSocket(&portA), b = BoundSocket(&portB);
    sockaddr_in to = Loopback(portB);
    ASSERT_EQ(sendto(a, "0123456789", 10, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 10);
    ASSERT_EQ(WaitReadable(b, 2000), 1);
    char buf[4] = {};
    EXPECT_EQ(recvfrom(b, buf, sizeof buf, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
    EXPECT_EQ(std::string(buf, 4), "0123");
    // The rest of the datagram is gone.
    EXPECT_EQ(WaitReadable(b, 50), 0);
    closesocket(a);
    closesocket(b);
}

TEST_F(Winsock, LastCleanupClosesEverySocket) {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    USHORT port;
    BoundSocket(&port);
    BoundSocket(&port);
    EXPECT_EQ(platform::test::OpenSocketCount(), 2);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(platform::test::OpenSocketCount(), 2);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(platform::test::OpenSocketCount(), 0);
}

TEST_F(Winsock, InjectedSendFailure) {
    USHORT port;
    SOCKET s = BoundSocket(&port);
    sockaddr_in to = Loopback(port);
    platform::test::FailNext("sendto", 1, WSAENETUNREACH);
    EXPECT_EQ(sendto(s, "x", 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENETUNREACH);
    EXPECT_EQ(sendto(s, "x", 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 1);
    closesocket(s);
}

TEST_F(Winsock, RedirectedPortLooksLikeTheWellKnownOne) {
    USHORT agentPort, clientPort;
    SOCKET agent = BoundSocket(&agentPort), client = BoundSocket(&clientPort);
    platform::test::RedirectUdpPort(161, agentPort);
    sockaddr_in to = Loopback(161);
    ASSERT_EQ(sendto(client, "q", 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 1);
    ASSERT_EQ(WaitReadable(agent, 2000), 1);
    char buf[4];
    sockaddr_in from{};
    int fromLen = sizeof from;
    ASSERT_EQ(recvfrom(agent, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fromLen), 1);
    ASSERT_EQ(sendto(agent, "a", 1, 0, reinterpret_cast<sockaddr*>(&from), fromLen), 1);
    ASSERT_EQ(WaitReadable(client, 2000), 1);
    fromLen = sizeof from;
    ASSERT_EQ(recvfrom(client, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fromLen),
              1);
    EXPECT_EQ(ntohs(from.sin_port), 161);
    closesocket(agent);
    closesocket(client);
}

TEST(WinsockAddresses, InetAddrReadsTheBsdForms) {
    struct Case {
        const char* text;
        ULONG hostOrder;
    } cases[] = {
        {"127.0.0.1", 0x7f000001},  {"192.168.1.20", 0xc0a80114}, {"0x7f.1", 0x7f000001},
        {"10.1.258", 0x0a010102},   {"012.0.0.1", 0x0a000001},    {"3232235777", 0xc0a80101},
        {"1.2.3.256", INADDR_NONE}, {"1.2.3.4.5", INADDR_NONE},   {"", INADDR_NONE},
        {"1..2", INADDR_NONE},      {"printer", INADDR_NONE},     {"1.2.3.4 ", INADDR_NONE},
        {"08.1.1.1", INADDR_NONE},  {"4294967296", INADDR_NONE},
    };
    for (const Case& c : cases) {
        ULONG got = inet_addr(c.text);
        EXPECT_EQ(got == INADDR_NONE ? INADDR_NONE : ntohl(got), c.hostOrder)
            << '"' << c.text << '"';
    }
    EXPECT_EQ(inet_addr(nullptr), INADDR_NONE);
    in_addr a;
    a.s_addr = htonl(0xc0a80114);
    EXPECT_STREQ(inet_ntoa(a), "192.168.1.20");
    EXPECT_EQ(htons(0x1234), 0x3412);
    EXPECT_EQ(htonl(0x12345678u), 0x78563412u);
}

} // namespace

// Code that binds Winsock at run time finds the stand-in's functions by their
// Winsock names, in both system modules.
TEST(WinsockModules, ExportsResolveByName) {
    platform::test::SetHostAddresses("printer1", {"10.0.0.7"});
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
    for (const char16_t* name : {u"wsock32.dll", u"WS2_32"}) {
        HMODULE module = LoadLibraryW(name);
        ASSERT_NE(module, nullptr);
        using Resolve = struct hostent*(WINAPI*)(const char*);
        using Ntoa = char*(WINAPI*)(struct in_addr);
        auto resolve = reinterpret_cast<Resolve>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, "gethostbyname")));
        auto ntoa = reinterpret_cast<Ntoa>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, "inet_ntoa")));
        ASSERT_TRUE(resolve && ntoa);
        EXPECT_NE(GetProcAddress(module, "select"), nullptr);
        EXPECT_NE(GetProcAddress(module, "WSAStartup"), nullptr);
        struct hostent* host = resolve("printer1");
        ASSERT_NE(host, nullptr);
        struct in_addr address;
        std::memcpy(&address, host->h_addr_list[0], sizeof address);
        EXPECT_STREQ(ntoa(address), "10.0.0.7");
        FreeLibrary(module);
    }
    WSACleanup();
}
