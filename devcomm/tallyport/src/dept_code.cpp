// Tallyport: the department-code mode and status of a device, asked over
// SNMP for a port-information record or, for a host name, through
// Devprobe's older queries.
#include <cstring>
#include <string>

#include "devcomm/device_columns.h"
#include "devcomm/devprobe.h"
#include "devcomm/export_guard.h"
#include "devcomm/snmp_walk.h"
#include "devcomm/tallyport.h"
#include "win/base.h"

namespace tallyport {

namespace {

HMODULE gModule = nullptr;

using devcomm::Probe;
namespace col = devcomm::columns;

std::string String(int id) {
    switch (id) {
    case IDS_TALLYPORT_DEVPROBE_32:
        return "Devprobe32.DLL";
    case IDS_TALLYPORT_DEVPROBE_X64:
        return "Devprobe.DLL";
    case IDS_TALLYPORT_DEVPROBE_IA64:
        return "Devprobeia.DLL";
    default:
        return {};
    }
}

// The mode value only counts when the device manages codes; then a status
// of 1 lets a counted job through.
SHORT Answer(SHORT mode, long modeValue, long statusValue) {
    if (mode != DEPTCODE_MODE_COUNTED)
        return modeValue != 0 ? DEPTCODE_ANSWER_MANAGED : DEPTCODE_ANSWER_NO;
    if (modeValue == 0) return DEPTCODE_ANSWER_NO;
    return statusValue == 1 ? DEPTCODE_ANSWER_NO : DEPTCODE_ANSWER_REFUSED;
}

// The first row of a column: an object the device does not have reads as 0;
// a device that cannot be asked, or answers with another type, is a failure.
WORD AskFirstRow(const char* host, const SnmpColumnRow& column, long* value) {
    SnmpVarbindEntry e{};
    switch (devcomm::ProbeColumn(host, SNMP_PDU_GETNEXT, column, &e)) {
    case Probe::Absent:
        *value = 0;
        return DEPTCODE_OK;
    case Probe::WrongType:
        return DEPTCODE_UNEXPECTED_ANSWER;
    case Probe::Failed:
        return DEPTCODE_FAILED;
    case Probe::Found:
        break;
    }
    if (column.type == SNMP_TYPE_INTEGER) {
        if (e.length != 4) return DEPTCODE_UNEXPECTED_ANSWER;
        *value = devcomm::EntryInteger(e);
    } else {
        // The status is kept as bytes: the first four, little-endian.
        DWORD v = 0;
        for (INT i = 0; i < 4 && i < e.length; ++i)
            v |= DWORD{e.value[i]} << (8 * i);
        *value = static_cast<long>(v);
    }
    return DEPTCODE_OK;
}

WORD DeptcodeByRecord(const SelPortInfo* info, SHORT mode, SHORT* answer) {
    if (info->connection != SELPORT_CONNECTION_NETWORK) return DEPTCODE_OK; // nothing to ask
    if (info->kind != SELPORT_KIND_FULL) return DEPTCODE_BAD_ARGUMENT;
    char host[sizeof info->address + 1] = {};
    std::memcpy(host, info->address, sizeof info->address);
    if (!host[0]) return DEPTCODE_FAILED;
    long modeValue = 0, statusValue = 0;
    if (WORD rc = AskFirstRow(host, col::kDeptCodeMode, &modeValue)) return rc;
    // Both objects are asked, in this order, as the device expects; the status
    // decides only a counted job of a device that manages codes.
    WORD status = AskFirstRow(host, col::kDeptCodeStatus, &statusValue);
    if (status && mode == DEPTCODE_MODE_COUNTED && modeValue != 0) return status;
    *answer = Answer(mode, modeValue, statusValue);
    return DEPTCODE_OK;
}

template <class Fn> Fn Bind(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

WORD DeptcodeByHost(LPCSTR host, SHORT mode, SHORT* answer) {
    const std::string name = String(IDS_TALLYPORT_DEVPROBE_X64);
    if (name.empty()) return DEPTCODE_NO_LIBRARY;
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(gModule, path, sizeof path);
    if (n == 0 || n >= sizeof path) return DEPTCODE_NO_LIBRARY;
    std::string folder(path, n);
    std::size_t slash = folder.find_last_of("\\/");
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
    HMODULE devprobe = LoadLibraryA((folder + name).c_str());
    if (!devprobe) return DEPTCODE_NO_LIBRARY;
    auto update = Bind<PFN_GetHostQuery>(devprobe, "GetUserInfoUpdate");
    auto status = Bind<PFN_GetHostQuery>(devprobe, "GetUserDescrStatus");
    const long modeValue = update ? update(host) : 0;
    const long statusValue = status ? status(host) : 0;
    FreeLibrary(devprobe);
    *answer = Answer(mode, modeValue, statusValue);
    return DEPTCODE_OK;
}

} // namespace

} // namespace tallyport

DLLEXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) tallyport::gModule = reinterpret_cast<HMODULE>(instance);
    return TRUE;
}

DLLEXPORT WORD WINAPI MPDeptcode(SelPortInfo* info, SHORT* mode, SHORT* answer) {
    return devcomm::Guard<WORD>(DEPTCODE_FAILED, [&]() -> WORD {
        if (!info || !mode || !answer) return DEPTCODE_BAD_ARGUMENT;
        return tallyport::DeptcodeByRecord(info, *mode, answer);
    });
}

DLLEXPORT WORD WINAPI Deptcode(LPCSTR host, SHORT* mode, SHORT* answer) {
    return devcomm::Guard<WORD>(DEPTCODE_NO_LIBRARY, [&]() -> WORD {
        if (!mode || !answer) return DEPTCODE_NO_LIBRARY;
        return tallyport::DeptcodeByHost(host, *mode, answer);
    });
}

DLLEXPORT SelPortInfo* WINAPI MPMakeSelPortInfo(LPCSTR portName, int kind) {
    return devcomm::Guard<SelPortInfo*>(
        nullptr, [&] { return devcomm::MakeSelPortInfo(portName, kind, false); });
}
