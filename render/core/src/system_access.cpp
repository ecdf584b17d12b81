// Printer and driver information, the console user's token.
#include "system_access.h"

#include "win/errors.h"
#include "win/spool.h"

namespace inkforge {
namespace {

typedef decltype(&WTSGetActiveConsoleSessionId) PFN_WTSGetActiveConsoleSessionId;
typedef decltype(&WTSQueryUserToken) PFN_WTSQueryUserToken;

constexpr DWORD kNoConsoleSession = 0xFFFFFFFF;

thread_local DWORD noted = 0;

} // namespace

bool IsPassingFailure(DWORD error) {
    switch (error) {
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_TOO_MANY_OPEN_FILES:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
    case ERROR_CANTREAD:
        return true;
    default:
        return false;
    }
}

void NoteCallFailure() {
    DWORD error = GetLastError();
    if (!noted && IsPassingFailure(error)) noted = error;
}

DWORD TakeCallFailure() {
    DWORD error = noted;
    noted = 0;
    return error;
}

std::vector<BYTE> PrinterInfo2(HANDLE printer) {
    DWORD needed = 0;
    if (!GetPrinterW(printer, 2, nullptr, 0, &needed)) NoteCallFailure();
    std::vector<BYTE> buf(needed);
    if (!needed || !GetPrinterW(printer, 2, buf.data(), needed, &needed)) {
        if (needed) NoteCallFailure();
        buf.clear();
    }
    return buf;
}

std::vector<BYTE> DriverInfo2(HANDLE printer) {
    DWORD needed = 0;
    if (!GetPrinterDriverW(printer, nullptr, 2, nullptr, 0, &needed)) NoteCallFailure();
    std::vector<BYTE> buf(needed);
    if (!needed || !GetPrinterDriverW(printer, nullptr, 2, buf.data(), needed, &needed)) {
        if (needed) NoteCallFailure();
        buf.clear();
    }
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
