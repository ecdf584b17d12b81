#include "win/winsock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/net_ctl.h"
#include "platform/testctl.h"

namespace {

class Resolver : public ::testing::Test {
  protected:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
    }
    void TearDown() override { WSACleanup(); }

    static std::vector<std::string> Addresses(const hostent* h) {
        std::vector<std::string> out;
        for (char** p = h->h_addr_list; *p; ++p) {
            in_addr a;
            std::memcpy(&a, *p, 4);
            out.push_back(inet_ntoa(a));
        }
        return out;
    }
};

TEST_F(Resolver, AnswersFromTheTableOnlyUnderTest) {
    platform::test::SetHostAddresses("Printer1", {"127.0.0.2", "10.0.0.9"});
    platform::test::SetHostAddresses("gone", {});
    struct Case {
        const char* name;
        std::vector<std::string> addresses; // empty: not found
    } cases[] = {
        {"printer1", {"127.0.0.2", "10.0.0.9"}},
        {"PRINTER1", {"127.0.0.2", "10.0.0.9"}},
        {"localhost", {"127.0.0.1"}},
        {"192.168.1.20", {"192.168.1.20"}},
        {"gone", {}},
        {"www.example.com", {}},
    };
    for (const Case& c : cases) {
        hostent* h = gethostbyname(c.name);
        if (c.addresses.empty()) {
            EXPECT_EQ(h, nullptr) << c.name;
            EXPECT_EQ(WSAGetLastError(), WSAHOST_NOT_FOUND) << c.name;
            continue;
        }
        ASSERT_NE(h, nullptr) << c.name;
        EXPECT_EQ(h->h_addrtype, AF_INET);
        EXPECT_EQ(h->h_length, 4);
        EXPECT_EQ(Addresses(h), c.addresses) << c.name;
    }
    // Dotted addresses need no lookup.
    EXPECT_EQ(platform::test::HostLookupCount(), 5);
}

TEST_F(Resolver, GetaddrinfoListsEveryAddressWithThePort) {
    platform::test::SetHostAddresses("agent", {"127.0.0.3", "127.0.0.4"});
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    ASSERT_EQ(getaddrinfo("agent", "161", &hints, &list), 0);
    std::vector<std::string> got;
    for (addrinfo* ai = list; ai; ai = ai->ai_next) {
        auto* sa = reinterpret_cast<sockaddr_in*>(ai->ai_addr);
        EXPECT_EQ(ntohs(sa->sin_port), 161);
        EXPECT_EQ(ai->ai_socktype, SOCK_DGRAM);
        got.push_back(inet_ntoa(sa->sin_addr));
    }
    freeaddrinfo(list);
    EXPECT_EQ(got, (std::vector<std::string>{"127.0.0.3", "127.0.0.4"}));

    struct Case {
        const char* node;
        const char* service;
        int flags, family;
        int result;
    } errors[] = {
        {"nowhere", nullptr, 0, AF_INET, EAI_NONAME},
        {"agent", nullptr, AI_NUMERICHOST, AF_INET, EAI_NONAME},
        {"agent", nullptr, 0, 23, EAI_FAMILY},
        {nullptr, nullptr, 0, AF_INET, EAI_NONAME},
        {"agent", "snmp", 0, AF_INET, 10109},
    };
    for (const Case& c : errors) {
        addrinfo h{};
        h.ai_flags = c.flags;
        h.ai_family = c.family;
        addrinfo* none = reinterpret_cast<addrinfo*>(1);
        EXPECT_EQ(getaddrinfo(c.node, c.service, &h, &none), c.result)
            << (c.node ? c.node : "(null)");
        EXPECT_EQ(none, nullptr);
    }
}

TEST_F(Resolver, HostNameComesFromTheSeam) {
    platform::test::SetLocalHostName("WORKSTATION7");
    char name[64];
    ASSERT_EQ(gethostname(name, sizeof name), 0);
    EXPECT_STREQ(name, "WORKSTATION7");
    EXPECT_EQ(gethostname(name, 5), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    platform::test::SetHostAddresses("workstation7", {"127.0.0.7"});
    hostent* h = gethostbyname("");
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(Addresses(h), std::vector<std::string>{"127.0.0.7"});
}

TEST_F(Resolver, InjectedLookupFailure) {
    platform::test::FailNext("gethostbyname", 1, WSATRY_AGAIN);
    EXPECT_EQ(gethostbyname("localhost"), nullptr);
    EXPECT_EQ(WSAGetLastError(), WSATRY_AGAIN);
    EXPECT_NE(gethostbyname("localhost"), nullptr);
}

} // namespace
