// Printer data: named values of a printer, kept byte for byte with their type.
#include "platform/text.h"
#include "spooler_internal.h"

namespace platform::spooler {
namespace {

constexpr char16_t kDriverDataKey[] = u"PrinterDriverData";

// Values the local print server answers itself.
bool ServerValue(const std::u16string& name, DWORD* type, std::vector<BYTE>* data) {
    if (!EqualsNoCase(name, u"DefaultSpoolDirectory")) return false;
    std::u16string folder = SpoolFolder();
    data->clear();
    for (char16_t c : folder) {
        data->push_back(static_cast<BYTE>(c & 0xFF));
        data->push_back(static_cast<BYTE>(c >> 8));
    }
    data->push_back(0);
    data->push_back(0);
    *type = 1; // REG_SZ
    return true;
}

DWORD GetValue(HANDLE hPrinter, const char16_t* key, const char16_t* value, LPDWORD pType,
               LPBYTE pData, DWORD nSize, LPDWORD pcbNeeded) {
    auto h = FindHandle(hPrinter);
    if (!h || h->kind == SpoolHandle::Kind::XcvPort) return ERROR_INVALID_HANDLE;
    if (!key || !*key || !value || !pcbNeeded) return ERROR_INVALID_PARAMETER;
    DWORD type = 0;
    std::vector<BYTE> data;
    if (h->kind == SpoolHandle::Kind::Server) {
        if (!ServerValue(value, &type, &data)) return ERROR_FILE_NOT_FOUND;
    } else {
        Stmt s("SELECT type, data FROM spl_printer_data WHERE printer = ? AND keyname = ? AND "
               "valuekey = ?");
        s.Bind(1, h->key).Bind(2, FoldKey(key)).Bind(3, FoldKey(value));
        if (!s.Step()) return ERROR_FILE_NOT_FOUND;
        type = static_cast<DWORD>(s.Int(0));
        data = s.Blob(1);
    }
    *pcbNeeded = static_cast<DWORD>(data.size());
    if (pType) *pType = type;
    if (nSize < data.size()) return ERROR_MORE_DATA;
    if (!data.empty()) {
        if (!pData) return ERROR_INVALID_PARAMETER;
        std::memcpy(pData, data.data(), data.size());
    }
    return ERROR_SUCCESS;
}

DWORD SetValue(HANDLE hPrinter, const char16_t* key, const char16_t* value, DWORD type,
               const BYTE* pData, DWORD cbData) {
    auto h = FindHandle(hPrinter);
    if (!h || h->kind != SpoolHandle::Kind::Printer) return ERROR_INVALID_HANDLE;
    if (!key || !*key || !value || (!pData && cbData)) return ERROR_INVALID_PARAMETER;
    if (!(h->access & PRINTER_ACCESS_ADMINISTER)) return ERROR_ACCESS_DENIED;
    std::vector<BYTE> data(pData, pData + cbData);
    bool ok = MachineDb::Transaction([&] {
        Stmt s("INSERT INTO spl_printer_data(printer, keyname, valuekey, key, name, type, data) "
               "VALUES(?,?,?,?,?,?,?) ON CONFLICT(printer, keyname, valuekey) DO UPDATE SET "
               "name = excluded.name, type = excluded.type, data = excluded.data");
        s.Bind(1, h->key).Bind(2, FoldKey(key)).Bind(3, FoldKey(value));
        s.Bind(4, std::u16string(key)).Bind(5, std::u16string(value));
        s.Bind(6, static_cast<long long>(type));
        // A zero-length value is stored as an empty blob, not as NULL.
        if (data.empty())
            s.Bind(7, std::string_view(""));
        else
            s.BindBlob(7, data);
        s.Run();
        return true;
    });
    return ok ? ERROR_SUCCESS : RPC_S_SERVER_UNAVAILABLE;
}

} // namespace
} // namespace platform::spooler

using namespace platform::spooler;

namespace {
DWORD StatusFault(const char* name) {
    DWORD error = 0;
    return platform::ShouldFail(name, &error) ? error : ERROR_SUCCESS;
}
} // namespace

extern "C" {

DWORD WINAPI GetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, LPDWORD pType, LPBYTE pData,
                             DWORD nSize, LPDWORD pcbNeeded) {
    return GuardedStatus("GetPrinterDataW", hPrinter, [&](test::Call& call) -> DWORD {
        call.name = WideFrom(pValueName);
        call.bytes = nSize;
        if (DWORD e = StatusFault("GetPrinterDataW")) return e;
        return GetValue(hPrinter, kDriverDataKey, pValueName, pType, pData, nSize, pcbNeeded);
    });
}

DWORD WINAPI SetPrinterDataW(HANDLE hPrinter, LPWSTR pValueName, DWORD Type, LPBYTE pData,
                             DWORD cbData) {
    return GuardedStatus("SetPrinterDataW", hPrinter, [&](test::Call& call) -> DWORD {
        call.name = WideFrom(pValueName);
        call.level = Type;
        call.bytes = cbData;
        if (DWORD e = StatusFault("SetPrinterDataW")) return e;
        return SetValue(hPrinter, kDriverDataKey, pValueName, Type, pData, cbData);
    });
}

DWORD WINAPI GetPrinterDataExW(HANDLE hPrinter, LPCWSTR pKeyName, LPCWSTR pValueName, LPDWORD pType,
                               LPBYTE pData, DWORD nSize, LPDWORD pcbNeeded) {
    return GuardedStatus("GetPrinterDataExW", hPrinter, [&](test::Call& call) -> DWORD {
        call.name = WideFrom(pKeyName) + u"\\" + WideFrom(pValueName);
        call.bytes = nSize;
        if (DWORD e = StatusFault("GetPrinterDataExW")) return e;
        return GetValue(hPrinter, pKeyName, pValueName, pType, pData, nSize, pcbNeeded);
    });
}

DWORD WINAPI SetPrinterDataExW(HANDLE hPrinter, LPCWSTR pKeyName, LPCWSTR pValueName, DWORD Type,
                               LPBYTE pData, DWORD cbData) {
    return GuardedStatus("SetPrinterDataExW", hPrinter, [&](test::Call& call) -> DWORD {
        call.name = WideFrom(pKeyName) + u"\\" + WideFrom(pValueName);
        call.level = Type;
        call.bytes = cbData;
        if (DWORD e = StatusFault("SetPrinterDataExW")) return e;
        return SetValue(hPrinter, pKeyName, pValueName, Type, pData, cbData);
    });
}

} // extern "C"
