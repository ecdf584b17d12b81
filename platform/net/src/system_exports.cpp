// Winsock's functions are linked under their own symbol names (so they never
// replace the C library's), so the loader cannot find them by their Winsock
// names on its own: register them with the system modules that export them,
// for code that binds "wsock32.dll" or "ws2_32.dll" at run time.
#include "platform/loader_ctl.h"
#include "win/winsock.h"

namespace {

template <class F> FARPROC AsFarproc(F* f) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(f));
}

struct Registrar {
    Registrar() {
        const struct {
            const char* name;
            FARPROC function;
        } exports[] = {
            {"WSAStartup", AsFarproc(&WSAStartup)},
            {"WSACleanup", AsFarproc(&WSACleanup)},
            {"WSAGetLastError", AsFarproc(&WSAGetLastError)},
            {"WSASetLastError", AsFarproc(&WSASetLastError)},
            {"closesocket", AsFarproc(&closesocket)},
            {"socket", AsFarproc(&socket)},
            {"bind", AsFarproc(&bind)},
            {"getsockname", AsFarproc(&getsockname)},
            {"sendto", AsFarproc(&sendto)},
            {"recvfrom", AsFarproc(&recvfrom)},
            {"setsockopt", AsFarproc(&setsockopt)},
            {"getsockopt", AsFarproc(&getsockopt)},
            {"select", AsFarproc(&PlatformWinsockSelect)},
            {"gethostname", AsFarproc(&PlatformWinsockGethostname)},
            {"inet_addr", AsFarproc(&inet_addr)},
            {"inet_ntoa", AsFarproc(&inet_ntoa)},
            {"htons", AsFarproc(&htons)},
            {"ntohs", AsFarproc(&ntohs)},
            {"htonl", AsFarproc(&htonl)},
            {"ntohl", AsFarproc(&ntohl)},
            {"gethostbyname", AsFarproc(&gethostbyname)},
            {"getaddrinfo", AsFarproc(&getaddrinfo)},
            {"freeaddrinfo", AsFarproc(&freeaddrinfo)},
        };
        for (const char16_t* module : {u"wsock32.dll", u"ws2_32.dll"})
            for (const auto& e : exports)
                platform::loader::RegisterSystemExport(module, e.name, e.function);
    }
} gRegistrar;

} // namespace
