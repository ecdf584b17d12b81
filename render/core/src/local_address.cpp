// The host's IPv4 address for the PJL header, through Winsock 1.1 bound at run time.
#include <cstring>

#include "pjl.h"
#include "system_access.h"
#include "text_convert.h"
#include "win/base.h"
#include "win/winsock.h"

namespace inkforge {
namespace {

typedef decltype(&WSAGetLastError) PFN_WSAGetLastError;
typedef decltype(&WSAStartup) PFN_WSAStartup;
typedef decltype(&WSACleanup) PFN_WSACleanup;
typedef decltype(&gethostbyname) PFN_gethostbyname;
typedef decltype(&inet_ntoa) PFN_inet_ntoa;

} // namespace

DWORD GetLocalIPv4Address() {
    HMODULE ws = LoadLibraryW(u"wsock32.dll");
    if (!ws) return 0;
    auto lastError = Export<PFN_WSAGetLastError>(ws, "WSAGetLastError");
    auto startup = Export<PFN_WSAStartup>(ws, "WSAStartup");
    auto cleanup = Export<PFN_WSACleanup>(ws, "WSACleanup");
    auto resolve = Export<PFN_gethostbyname>(ws, "gethostbyname");
    auto ntoa = Export<PFN_inet_ntoa>(ws, "inet_ntoa");
    DWORD address = 0;
    if (lastError && startup && cleanup && resolve && ntoa) {
        WCHAR wide[MAX_COMPUTERNAME_LENGTH + 2] = {};
        DWORD n = MAX_COMPUTERNAME_LENGTH + 2;
        CHAR name[MAX_COMPUTERNAME_LENGTH + 2] = {};
        if (GetComputerNameW(wide, &n)) {
            wide[16] = 0;
            WideToAnsiField(wide, name, sizeof name);
            WSADATA data{};
            bool started = startup(MAKEWORD(1, 1), &data) == 0;
            if (started) {
                const struct hostent* host = resolve(name);
                if (host && host->h_length == 4 && host->h_addr_list && host->h_addr_list[0])
                    std::memcpy(&address, host->h_addr_list[0], sizeof address);
                cleanup();
            }
        }
    }
    FreeLibrary(ws);
    return address;
}

} // namespace inkforge
