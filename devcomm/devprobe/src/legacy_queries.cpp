// Devprobe's older queries by host name: each question is one request of the
// single-request engine for an identifier of the "OID" table.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "devcomm/devprobe.h"
#include "devcomm/legacy_engine.h"
#include "devcomm/oid_resources.h"
#include "devcomm/snmp_client.h"
#include "devprobe_internal.h"

namespace devprobe {

namespace {

using devcomm::LegacyReply;

constexpr int kMaxRows = 8; // one resource per row
constexpr std::size_t kMaxTrayName = 32;

bool HostGiven(LPCSTR host) {
    return host && *host;
}

std::vector<BYTE> Resource(int id) {
    std::vector<BYTE> oid;
    devcomm::LoadOidResource(id, &oid);
    return oid;
}

bool Get(LPCSTR host, int resourceId, LegacyReply* reply) {
    std::vector<BYTE> oid = Resource(resourceId);
    return !oid.empty() &&
           devcomm::LegacyRequest(host, oid.data(), oid.size(), SNMP_PDU_GET, reply);
}

bool GetInteger(LPCSTR host, int resourceId, long* value) {
    LegacyReply reply;
    if (!Get(host, resourceId, &reply) || reply.valueType != SNMP_TYPE_INTEGER) return false;
    *value = reply.IntegerValue();
    return true;
}

bool GetText(LPCSTR host, int resourceId, std::string* text) {
    LegacyReply reply;
    if (!Get(host, resourceId, &reply) || reply.valueType != SNMP_TYPE_OCTETSTRING) return false;
    *text = reply.TextValue();
    return true;
}

// A number from either an INTEGER or the first bytes of an OCTET STRING
// (little-endian), as the department-code objects are kept.
bool GetNumber(LPCSTR host, int resourceId, long* value) {
    LegacyReply reply;
    if (!Get(host, resourceId, &reply)) return false;
    if (reply.valueType == SNMP_TYPE_INTEGER) {
        *value = reply.IntegerValue();
        return true;
    }
    if (reply.valueType == SNMP_TYPE_OCTETSTRING) {
        DWORD v = 0;
        for (int i = 0; i < 4 && i < reply.valueLength; ++i)
            v |= DWORD{reply.value[i]} << (8 * i);
        *value = static_cast<long>(v);
        return true;
    }
    return false;
}

// Walks the column of `resourceId` until `match` accepts a row's INTEGER value.
bool WalkFor(LPCSTR host, int resourceId, const std::function<bool(long)>& match, long* value) {
    std::vector<BYTE> column = Resource(resourceId);
    if (column.empty()) return false;
    bool found = false;
    devcomm::LegacyWalk(host, column, column.size(), [&](const LegacyReply& reply) {
        if (reply.valueType != SNMP_TYPE_INTEGER || !match(reply.IntegerValue())) return true;
        *value = reply.IntegerValue();
        found = true;
        return false;
    });
    return found;
}

int ColumnCount(LPCSTR host, int resourceId) {
    std::vector<BYTE> first = Resource(resourceId);
    return first.empty() ? 0 : devcomm::LegacyColumnCount(host, first);
}

// The two-call habit of the record queries: the needed size always, the
// records only into a buffer that holds them all.
template <class Record, class Fill>
int RecordQuery(LPCSTR host, int count, int size, Record* buffer, WORD* needed, Fill fill) {
    if (count > kMaxRows) count = kMaxRows;
    if (count < 0) count = 0;
    const std::size_t bytes = sizeof(Record) * static_cast<std::size_t>(count);
    if (needed) *needed = static_cast<WORD>(bytes);
    if (count == 0 || !buffer || size < 0 || static_cast<std::size_t>(size) < bytes) return 0;
    std::vector<Record> records(static_cast<std::size_t>(count));
    std::memset(records.data(), 0, bytes);
    for (int row = 1; row <= count; ++row)
        fill(host, row, &records[static_cast<std::size_t>(row - 1)]);
    std::memcpy(buffer, records.data(), bytes);
    return 1;
}

void FillTray(LPCSTR host, int capacityId, int nameId, TrayInfo* tray) {
    long capacity = 0;
    if (GetInteger(host, capacityId, &capacity)) tray->maxCapacity = static_cast<DWORD>(capacity);
    std::string name;
    if (GetText(host, nameId, &name) && name.size() <= kMaxTrayName &&
        name.find('\0') == std::string::npos) {
        std::memcpy(tray->name, name.c_str(), name.size() + 1);
        tray->found = 1;
    }
}

// Copies text with its terminator when the buffer holds it.
int CopyText(const std::string& text, int size, LPSTR buffer, WORD* needed) {
    const std::size_t bytes = text.size() + 1;
    if (needed) *needed = static_cast<WORD>(bytes);
    if (!buffer || size < 0 || static_cast<std::size_t>(size) < bytes) return 0;
    std::memcpy(buffer, text.c_str(), bytes);
    return 1;
}

} // namespace

bool FinisherText(LPCSTR host, std::string* text) {
    if (GetText(host, devcomm::kOidFinisherText, text) && !text->empty()) return true;
    const int bins = ColumnCount(host, devcomm::kOidOutputMaxCapacity);
    for (int row = 1; row <= bins && row <= kMaxRows; ++row) {
        std::string name;
        if (GetText(host, devcomm::kOidOutputNameFirst + row - 1, &name) &&
            name == String(IDS_DEVPROBE_OUTER_BIN)) {
            *text = String(IDS_DEVPROBE_OUTER_TRAY_CODE);
            return true;
        }
    }
    return false;
}

} // namespace devprobe

using namespace devprobe;

DLLEXPORT int WINAPI GetSysDescr(LPCSTR host, int size, LPSTR buffer, WORD* needed) {
    return Guard(0, [&] {
        if (!HostGiven(host)) return 0;
        std::string text;
        if (!GetText(host, devcomm::kOidSysDescr, &text)) return 0;
        CopyText(text, size, buffer, needed);
        return 1;
    });
}

DLLEXPORT int WINAPI GetHddUnit(LPCSTR host) {
    return Guard(0, [&] {
        long value;
        return HostGiven(host) && WalkFor(
                                      host, devcomm::kOidDiskStorageMedia,
                                      [](long v) { return v == 3; }, &value)
                   ? 1
                   : 0;
    });
}

DLLEXPORT int WINAPI GetMaxTray(LPCSTR host) {
    return Guard(0,
                 [&] { return HostGiven(host) ? ColumnCount(host, devcomm::kOidInputType) : 0; });
}

DLLEXPORT int WINAPI GetPunchCap(LPCSTR host) {
    return Guard(0, [&] {
        long value = 0;
        if (!HostGiven(host)) return 0;
        if (!WalkFor(
                host, devcomm::kOidPunchCapability, [](long v) { return v != 1 && v != 2; },
                &value))
            return 0;
        return static_cast<int>(value);
    });
}

DLLEXPORT int WINAPI GetDupUnit(LPCSTR host) {
    return Guard(0, [&] {
        long value;
        return HostGiven(host) && WalkFor(
                                      host, devcomm::kOidMediaPathType,
                                      [](long v) { return v == 3 || v == 4; }, &value)
                   ? 1
                   : 0;
    });
}

DLLEXPORT int WINAPI GetMemSize(LPCSTR host) {
    return Guard(0, [&] {
        long value = 0;
        return HostGiven(host) && GetInteger(host, devcomm::kOidMemorySize, &value)
                   ? static_cast<int>(value)
                   : 0;
    });
}

DLLEXPORT int WINAPI GetPDLMaxIndex(LPCSTR host) {
    return Guard(0,
                 [&] { return HostGiven(host) ? ColumnCount(host, devcomm::kOidLangFamily) : 0; });
}

DLLEXPORT int WINAPI GetMaxOutputTray(LPCSTR host) {
    return Guard(
        0, [&] { return HostGiven(host) ? ColumnCount(host, devcomm::kOidOutputMaxCapacity) : 0; });
}

DLLEXPORT int WINAPI GetUserInfoUpdate(LPCSTR host) {
    return Guard(0, [&] {
        if (!HostGiven(host)) return 0;
        long value = 0;
        // The update flag is bit 7 of its own object where the table has one.
        if (devcomm::OidResourceText(devcomm::kOidUserInfoUpdate))
            return GetNumber(host, devcomm::kOidUserInfoUpdate, &value)
                       ? static_cast<int>((value >> 7) & 1)
                       : 0;
        return GetNumber(host, devcomm::kOidDeptCodeMode, &value) ? static_cast<int>(value) : 0;
    });
}

DLLEXPORT int WINAPI GetUserDescrStatus(LPCSTR host) {
    return Guard(0, [&] {
        if (!HostGiven(host)) return 0;
        int id = devcomm::OidResourceText(devcomm::kOidUserInfoUpdate)
                     ? devcomm::kOidDeptCodeMode
                     : devcomm::kOidDeptCodeStatus;
        long value = 0;
        return GetNumber(host, id, &value) && value != 0 ? 1 : 0;
    });
}

DLLEXPORT int WINAPI GetSpoolerType(LPCSTR host) {
    return Guard(0, [&] {
        long value = 0;
        return HostGiven(host) && GetInteger(host, devcomm::kOidSpoolerType, &value) && value == 4
                   ? 1
                   : 0;
    });
}

DLLEXPORT int WINAPI GetTrayInfo(LPCSTR host, int size, TrayInfo* buffer, WORD* needed) {
    return Guard(0, [&] {
        if (!HostGiven(host)) return 0;
        return RecordQuery(host, ColumnCount(host, devcomm::kOidInputType), size, buffer, needed,
                           [](LPCSTR h, int row, TrayInfo* tray) {
                               FillTray(h, devcomm::kOidInputMaxCapacityFirst + row - 1,
                                        devcomm::kOidInputNameFirst + row - 1, tray);
                           });
    });
}

DLLEXPORT int WINAPI GetOutputTrayInfo(LPCSTR host, int size, TrayInfo* buffer, WORD* needed) {
    return Guard(0, [&] {
        if (!HostGiven(host)) return 0;
        return RecordQuery(host, ColumnCount(host, devcomm::kOidOutputMaxCapacity), size, buffer,
                           needed, [](LPCSTR h, int row, TrayInfo* tray) {
                               FillTray(h, devcomm::kOidOutputMaxCapacityFirst + row - 1,
                                        devcomm::kOidOutputNameFirst + row - 1, tray);
                           });
    });
}

DLLEXPORT int WINAPI GetPDLInfo(LPCSTR host, int size, PdlInfo* buffer, WORD* needed) {
    return Guard(0, [&] {
        if (!HostGiven(host)) return 0;
        return RecordQuery(host, ColumnCount(host, devcomm::kOidLangFamily), size, buffer, needed,
                           [](LPCSTR h, int row, PdlInfo* pdl) {
                               long family = 0;
                               if (GetInteger(h, devcomm::kOidLangFamilyFirst + row - 1, &family)) {
                                   pdl->found = 1;
                                   pdl->languageFamily = static_cast<DWORD>(family);
                               }
                               std::string text;
                               if (GetText(h, devcomm::kOidLangDescriptionFirst + row - 1, &text) &&
                                   text.size() < sizeof pdl->description)
                                   std::memcpy(pdl->description, text.data(), text.size());
                               if (GetText(h, devcomm::kOidLangLevelFirst + row - 1, &text) &&
                                   text.size() < sizeof pdl->level)
                                   std::memcpy(pdl->level, text.data(), text.size());
                           });
    });
}

DLLEXPORT int WINAPI GetUserInfoStatus(LPCSTR host) {
    return Guard(
        0, [&] { return GetUserInfoUpdate(host) == 1 && GetUserDescrStatus(host) == 1 ? 1 : 0; });
}

DLLEXPORT int WINAPI GetFinisherUnit(LPCSTR host, int size, LPSTR buffer, WORD* needed) {
    return Guard(0, [&] {
        if (!HostGiven(host)) return 0;
        std::string text;
        if (!FinisherText(host, &text)) return 0;
        return CopyText(text, size, buffer, needed);
    });
}

DLLEXPORT int WINAPI Get_Dev_Opt(LPCSTR host, DevOptInfo* info) {
    return Guard(0, [&] {
        if (!HostGiven(host) || !info) return 0;
        const int trays = GetMaxTray(host) - 1;
        if (trays <= 1) return 0;
        DevOptInfo result{};
        result.inputTrays = static_cast<WORD>(trays);
        long capacity = 0;
        if (trays <= kMaxRows &&
            GetInteger(host, devcomm::kOidInputMaxCapacityFirst + trays - 1, &capacity))
            result.largeCapacity = capacity >= 3000 ? 1 : 0;
        std::string finisher;
        if (FinisherText(host, &finisher)) {
            // Whole codes only: a shorter or empty text names no finisher.
            const char* codes[] = {"LT-QN565", "LT-QN540", "LT-QN760", "LT-QN765"};
            for (int i = 0; i < 4; ++i)
                if (finisher == codes[i]) result.finisher = static_cast<SHORT>(i + 1);
        }
        result.hardDisk = static_cast<DWORD>(GetHddUnit(host));
        switch (GetPunchCap(host)) {
        case 4:
            result.punch = 2;
            break;
        case 8:
        case 32:
            result.punch = 3;
            break;
        case 16:
            result.punch = 4;
            break;
        default:
            result.punch = 0;
            break;
        }
        *info = result;
        return 1;
    });
}
