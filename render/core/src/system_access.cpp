// Printer and driver information, the console user's token.
#include "system_access.h"

#include "win/spool.h"

namespace inkforge {
namespace {

typedef DWORD(WINAPI* PFN_WTSGetActiveConsoleSessionId)(void);
typedef BOOL(WINAPI* PFN_WTSQueryUserToken)(ULONG session, PHANDLE token);

constexpr DWORD kNoConsoleSession = 0xFFFFFFFF;

} // namespace

std::vector<BYTE> PrinterInfo2(HANDLE printer) {
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> buf(needed);
    if (!needed || !GetPrinterW(printer, 2, buf.data(), needed, &needed)) buf.clear();
    return buf;
}

std::vector<BYTE> DriverInfo2(HANDLE printer) {
    DWORD needed = 0;
    GetPrinterDriverW(printer, nullptr, 2, nullptr, 0, &needed);
    std::vector<BYTE> buf(needed);
    if (!needed || !GetPrinterDriverW(printer, nullptr, 2, buf.data(), needed, &needed))
        buf.clear();
    return buf;
}

std::u16string DataFilePath(HANDLE printer) {
    std::vector<BYTE> info = DriverInfo2(printer);
    if (info.empty()) return {};
    LPCWSTR p = reinterpret_cast<const DRIVER_INFO_2W*>(info.data())->pDataFile;
    return p ? std::u16string(p) : std::u16string();
}

HANDLE ConsoleUserToken() {
    HMODULE kernel = LoadLibraryW(u"kernel32.dll");
    HMODULE wts = LoadLibraryW(u"wtsapi32.dll");
    auto session = Export<PFN_WTSGetActiveConsoleSessionId>(kernel, "WTSGetActiveConsoleSessionId");
    auto query = Export<PFN_WTSQueryUserToken>(wts, "WTSQueryUserToken");
    HANDLE token = nullptr;
    if (session && query) {
        DWORD id = session();
        if (id != 0 && id != kNoConsoleSession && !query(id, &token)) token = nullptr;
    }
    if (wts) FreeLibrary(wts);
    if (kernel) FreeLibrary(kernel);
    return token;
}

std::u16string WidenAscii(const char* text) {
    std::u16string s;
    for (const char* p = text; *p; ++p)
        s += static_cast<char16_t>(static_cast<unsigned char>(*p));
    return s;
}

} // namespace inkforge
