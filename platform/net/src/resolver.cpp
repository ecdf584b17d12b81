// Host-name resolution of the Winsock stand-in: address text parsing,
// gethostbyname, getaddrinfo and gethostname, answered from a table that tests
// fill (never DNS under test) or from the host's resolver.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host_net.h"
#include "net_internal.h"
#include "platform/core.h"
#include "platform/net_ctl.h"
#include "win/winsock.h"

namespace platform::net {

namespace {

// One part of a BSD address: decimal, 0-prefixed octal or 0x-prefixed hex.
const char* ParsePart(const char* p, std::uint64_t* value) {
    int base = 10;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        base = 16;
        p += 2;
        if (!std::isxdigit(static_cast<unsigned char>(*p))) return nullptr;
    } else if (p[0] == '0') {
        base = 8;
    }
    if (!std::isxdigit(static_cast<unsigned char>(*p))) return nullptr;
    std::uint64_t v = 0;
    for (;; ++p) {
        int digit;
        unsigned char c = static_cast<unsigned char>(*p);
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && std::isxdigit(c))
            digit = std::tolower(c) - 'a' + 10;
        else
            break;
        if (digit >= base) return nullptr;
        v = v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (v > 0xffffffffULL) return nullptr;
    }
    *value = v;
    return p;
}

} // namespace

bool ParseInetAddress(const char* text, std::uint32_t* address) {
    std::uint64_t parts[4];
    int count = 0;
    const char* p = text;
    for (;;) {
        if (count == 4) return false;
        p = ParsePart(p, &parts[count]);
        if (!p) return false;
        ++count;
        if (*p == '\0') break;
        if (*p != '.') return false;
        ++p;
    }
    std::uint64_t value = 0;
    switch (count) {
    case 1:
        value = parts[0];
        break;
    case 2:
        if (parts[0] > 0xff || parts[1] > 0xffffff) return false;
        value = parts[0] << 24 | parts[1];
        break;
    case 3:
        if (parts[0] > 0xff || parts[1] > 0xff || parts[2] > 0xffff) return false;
        value = parts[0] << 24 | parts[1] << 16 | parts[2];
        break;
    default:
        for (int i = 0; i < 4; ++i)
            if (parts[i] > 0xff) return false;
        value = parts[0] << 24 | parts[1] << 16 | parts[2] << 8 | parts[3];
        break;
    }
    *address = htonl(static_cast<ULONG>(value));
    return true;
}

bool ParseDottedQuad(const char* text, std::uint32_t* address) {
    std::uint32_t value = 0;
    const char* p = text;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (*p != '.') return false;
            ++p;
        }
        int digits = 0;
        unsigned n = 0;
        while (*p >= '0' && *p <= '9') {
            n = n * 10 + static_cast<unsigned>(*p - '0');
            if (++digits > 3) return false;
            ++p;
        }
        if (digits == 0 || n > 255) return false;
        value = value << 8 | n;
    }
    if (*p != '\0') return false;
    *address = htonl(value);
    return true;
}

namespace {

struct ResolverState {
    std::mutex mutex;
    bool tableOnly = false;
    std::map<std::string, std::vector<std::uint32_t>> table; // lower-case name
    std::string localName;
    int lookups = 0;
};

ResolverState& State() {
    static ResolverState* state = new ResolverState; // lives for the whole process
    return *state;
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string LocalName() {
    {
        std::lock_guard lock(State().mutex);
        if (!State().localName.empty()) return State().localName;
    }
    return host::HostName();
}

// Returns 0 or a WSA error; the addresses in network byte order.
int Resolve(const std::string& name, std::vector<std::uint32_t>* addresses) {
    std::uint32_t numeric;
    if (ParseDottedQuad(name.c_str(), &numeric)) {
        addresses->push_back(numeric);
        return 0;
    }
    bool tableOnly;
    {
        std::lock_guard lock(State().mutex);
        ++State().lookups;
        auto it = State().table.find(Lower(name));
        if (it != State().table.end()) {
            *addresses = it->second;
            return addresses->empty() ? WSAHOST_NOT_FOUND : 0;
        }
        tableOnly = State().tableOnly;
    }
    if (tableOnly) {
        if (Lower(name) == "localhost") {
            addresses->push_back(htonl(INADDR_LOOPBACK));
            return 0;
        }
        return WSAHOST_NOT_FOUND;
    }
    return host::ResolveIPv4(name, addresses);
}

void ResetResolver() {
    std::lock_guard lock(State().mutex);
    State().tableOnly = true;
    State().table.clear();
    State().localName.clear();
    State().lookups = 0;
}

struct Registrar {
    Registrar() { platform::RegisterResetHook(ResetResolver); }
} gRegistrar;

// gethostbyname's answer lives per thread until that thread's next call.
struct HostRecord {
    hostent entry{};
    std::string name;
    std::vector<std::uint32_t> addresses;
    std::vector<char*> addressList;
    char* aliases[1] = {nullptr};
};

} // namespace
} // namespace platform::net

using platform::net::State;

extern "C" {

struct hostent* WINAPI gethostbyname(const char* name) {
    PLATFORM_FAULT_POINT("gethostbyname", nullptr);
    if (!platform::net::Started()) {
        SetLastError(WSANOTINITIALISED);
        return nullptr;
    }
    std::string wanted = name ? name : "";
    if (wanted.empty()) wanted = platform::net::LocalName();
    std::vector<std::uint32_t> addresses;
    if (int e = platform::net::Resolve(wanted, &addresses)) {
        SetLastError(static_cast<DWORD>(e));
        return nullptr;
    }
    thread_local platform::net::HostRecord record;
    record.name = wanted;
    record.addresses = std::move(addresses);
    record.addressList.clear();
    for (std::uint32_t& a : record.addresses)
        record.addressList.push_back(reinterpret_cast<char*>(&a));
    record.addressList.push_back(nullptr);
    record.entry.h_name = record.name.data();
    record.entry.h_aliases = record.aliases;
    record.entry.h_addrtype = AF_INET;
    record.entry.h_length = 4;
    record.entry.h_addr_list = record.addressList.data();
    return &record.entry;
}

int WINAPI getaddrinfo(const char* nodename, const char* servname, const struct addrinfo* hints,
                       struct addrinfo** res) {
    DWORD fault = 0;
    if (platform::ShouldFail("getaddrinfo", &fault)) return static_cast<int>(fault);
    if (!res) return WSAEINVAL;
    *res = nullptr;
    if (!platform::net::Started()) return WSANOTINITIALISED;
    if (!nodename && !servname) return EAI_NONAME;
    int family = hints ? hints->ai_family : AF_UNSPEC;
    if (family != AF_UNSPEC && family != AF_INET) return EAI_FAMILY;
    int flags = hints ? hints->ai_flags : 0;

    std::uint16_t port = 0;
    if (servname && *servname) {
        char* end = nullptr;
        unsigned long n = std::strtoul(servname, &end, 10);
        if (*end != '\0' || n > 65535) return 10109; // WSATYPE_NOT_FOUND: no service names here
        port = htons(static_cast<USHORT>(n));
    }

    std::vector<std::uint32_t> addresses;
    if (!nodename || !*nodename) {
        addresses.push_back((flags & AI_PASSIVE) ? htonl(INADDR_ANY) : htonl(INADDR_LOOPBACK));
    } else if (flags & AI_NUMERICHOST) {
        std::uint32_t a;
        if (!platform::net::ParseDottedQuad(nodename, &a)) return EAI_NONAME;
        addresses.push_back(a);
    } else if (int e = platform::net::Resolve(nodename, &addresses)) {
        return e;
    }

    addrinfo* head = nullptr;
    addrinfo** tail = &head;
    for (std::uint32_t a : addresses) {
        auto* ai = new addrinfo{};
        auto* sa = new sockaddr_in{};
        sa->sin_family = AF_INET;
        sa->sin_port = port;
        sa->sin_addr.s_addr = a;
        ai->ai_family = AF_INET;
        ai->ai_socktype = hints ? hints->ai_socktype : 0;
        ai->ai_protocol = hints ? hints->ai_protocol : 0;
        ai->ai_addrlen = sizeof *sa;
        ai->ai_addr = reinterpret_cast<sockaddr*>(sa);
        if (head == nullptr && (flags & AI_CANONNAME) && nodename)
            ai->ai_canonname = strdup(nodename);
        *tail = ai;
        tail = &ai->ai_next;
    }
    *res = head;
    return 0;
}

void WINAPI freeaddrinfo(struct addrinfo* ai) {
    while (ai) {
        addrinfo* next = ai->ai_next;
        std::free(ai->ai_canonname);
        delete reinterpret_cast<sockaddr_in*>(ai->ai_addr);
        delete ai;
        ai = next;
    }
}

int WINAPI PlatformWinsockGethostname(char* name, int namelen) {
    if (!platform::net::Started()) {
        SetLastError(WSANOTINITIALISED);
        return SOCKET_ERROR;
    }
    std::string local = platform::net::LocalName();
    if (!name || namelen <= 0 || local.size() + 1 > static_cast<std::size_t>(namelen)) {
        SetLastError(WSAEFAULT);
        return SOCKET_ERROR;
    }
    std::memcpy(name, local.c_str(), local.size() + 1);
    return 0;
}

} // extern "C"

namespace platform::test {

void SetHostAddresses(const std::string& name, const std::vector<std::string>& addresses) {
    std::vector<std::uint32_t> parsed;
    for (const std::string& text : addresses) {
        std::uint32_t a;
        if (platform::net::ParseDottedQuad(text.c_str(), &a)) parsed.push_back(a);
    }
    std::lock_guard lock(State().mutex);
    State().table[platform::net::Lower(name)] = std::move(parsed);
}

void ClearHostTable() {
    std::lock_guard lock(State().mutex);
    State().table.clear();
}

void UseHostTableOnly(bool tableOnly) {
    std::lock_guard lock(State().mutex);
    State().tableOnly = tableOnly;
}

void SetLocalHostName(const std::string& name) {
    std::lock_guard lock(State().mutex);
    State().localName = name;
}

int HostLookupCount() {
    std::lock_guard lock(State().mutex);
    return State().lookups;
}

} // namespace platform::test
