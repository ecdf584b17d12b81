#include "option_detection.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "detected_options.h"
#include "devcomm/devprobe.h"
#include "devcomm/tallyport.h"
#include "devmode_helpers.h"
#include "dialog_lookups.h"
#include "driver_env.h"
#include "model/model_queries.h"
#include "model_codes.h"
#include "model_info.h"
#include "revise_devmode.h"
#include "saved_job_info.h"
#include "win/base.h"
#include "win/registry.h"

namespace sheetwright {
namespace {

constexpr WORD kOptionBins = model::kQueryOutputBins;
constexpr WORD kAllKinds = 0xFFFF;
constexpr WORD kLargeCapacityKind = 5;
constexpr DWORD kInstalled = 1;
constexpr WORD kUnknownFinisher = 99;
constexpr DWORD kFinisherFlagB = 0x20000; // the combination entry's flag passed on as its unit
constexpr DWORD kKilobytesPerMegabyte = 1024;
constexpr DWORD kSpoolerForDisk = 0x200; // table 79: the device's spooler stands for its disk
// The record queries take a 16-bit size: at most this many records at once.
constexpr int kMostRecords = 0xFFFF / sizeof(TrayInfo);
// Punch capabilities that are no punch unit.
constexpr int kNoPunch = 0, kPunchUnknown = 2;
// Component ids as the pages ask them (the accessor maps them to the table's).
constexpr WORD kComponentDeviceQueries = 1, kComponentDepartmentCodes = 3;
// The trays' option-file entry that names the large-capacity tray (query 26
// layout 9: name at byte 8) and the output bins' names (query 34 layout 8).
constexpr size_t kNamedRecordText = 8;
constexpr size_t kBinNameSize = 40;
constexpr WORD kLargeCapacityFeeder = 5;

// Cache values. The installer is a 32-bit program: what it writes under its
// HKLM\SOFTWARE lies below Wow6432Node, which this 64-bit code opens by name.
constexpr char16_t kCacheRoot[] = u"SOFTWARE\\Wow6432Node\\";
constexpr char16_t kCacheOptions[] = u"Installed Option";
constexpr char16_t kCacheTrays[] = u"Number of Tray";
constexpr char16_t kCacheMemory[] = u"Installed RAM";
constexpr char16_t kCacheFinisher[] = u"Finisher Option";
constexpr char16_t kCacheCapabilities[] = u"Capabilities";
constexpr DWORD kCacheDuplex = 0x1, kCacheDisk = 0x2, kCachePunch = 0x4, kCacheLargeTray = 0x8,
                kCacheBins = 0x10;
constexpr DWORD kCacheDepartmentCounter = 0x1;

// A file name of the component table, empty when the model lacks it.
std::u16string ComponentName(const ModelBlock* binding, WORD component) {
    CModelInfo entry(binding, model::kQueryComponents, component, model::layout::kComponentList);
    auto* answer = static_cast<const model::ComponentAnswer*>(entry.GetData());
    if (!answer || entry.Length() < sizeof *answer) return {};
    return ComponentFileName(answer->kind, answer->nameTemplate, sizeof answer->nameTemplate);
}

std::string ModelText(const ModelBlock* binding, WORD code) {
    return CModelInfo(binding, code, 0, kTextLayout).Text();
}

// A fixed-size text field of a model answer.
std::string AnswerText(CModelInfo& info, size_t at, size_t size) {
    std::string out;
    for (size_t i = 0; i < size && info.U8(at + i); ++i)
        out += static_cast<char>(info.U8(at + i));
    return out;
}

bool SameNameNoCase(const std::string& a, const char* b, size_t bSize) {
    const size_t n = strnlen(b, bSize);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

void SetState(InstallOptionEntry* entry, bool installed) {
    if (entry) entry->state = installed ? kInstalled : 0;
}

// The options the model lets be learnt from the device or the cache.
struct Detectable {
    bool trays, disk, duplex, memory, finisher, bins, department;
    InstallOptionEntry* largeTray;
};
Detectable WhatMayBeDetected(const ModelOptionPair* pair) {
    CInstallOption* list = pair->options;
    return {HasTable37Entry(pair, kOptionTray) != FALSE,
            HasTable37Entry(pair, kOptionMemory35) != FALSE,
            HasTable37Entry(pair, kOption25) != FALSE,
            HasTable37Entry(pair, kOptionMemory36) != FALSE,
            HasTable37Entry(pair, kOptionFinisher) != FALSE,
            list->CountEntries(kOptionBins, kAllKinds) > 0,
            list->CountEntries(kOption63, kAllKinds) > 0,
            list->FindKind5Tray()};
}

// The optional trays: the first `optional` of them installed, the others not;
// the large-capacity tray keeps its own state.
void SetOptionalTrays(CInstallOption* list, DWORD trayTotal, DWORD optional) {
    for (DWORD i = 1; i <= trayTotal; ++i) {
        InstallOptionEntry* e = list->FindNth(kOptionTray, i);
        if (e && e->trayKind != kLargeCapacityKind) SetState(e, i <= optional);
    }
}

// The device-query library of one detection.
class DeviceQueries {
  public:
    DeviceQueries(HMODULE module, SelPortInfo* record) : module_(module), record_(record) {}
    template <class Fn> Fn Get(const char* name) const {
        return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
    }
    // A unit query; `missing` when the library lacks it.
    int Unit(const char* name, int missing = -1) const {
        auto fn = Get<PFN_MPGetUnit>(name);
        return fn ? fn(record_) : missing;
    }
    int Count(const char* name) const {
        auto fn = Get<PFN_MPGetCount>(name);
        return fn ? fn(record_) : 0;
    }
    // A text query asked for its size, then into a buffer one byte larger.
    bool Text(const char* name, std::string* out) const {
        auto fn = Get<PFN_MPGetText>(name);
        WORD size = 0;
        if (!fn) return false;
        fn(record_, 0, nullptr, &size);
        if (size == 0) return false;
        std::vector<char> text(size + 1u, '\0');
        if (!fn(record_, static_cast<int>(text.size()), text.data(), &size)) return false;
        out->assign(text.data(), strnlen(text.data(), text.size()));
        return true;
    }
    std::vector<TrayInfo> Trays(const char* name, int count) const {
        auto fn = Get<PFN_MPGetTrays>(name);
        count = std::min(count, kMostRecords);
        if (!fn || count <= 0) return {};
        std::vector<TrayInfo> trays(static_cast<size_t>(count));
        WORD needed = 0;
        if (!fn(record_, static_cast<int>(trays.size() * sizeof(TrayInfo)), trays.data(), &needed))
            return {};
        trays.resize(std::min<size_t>(trays.size(), needed / sizeof(TrayInfo)));
        return trays;
    }

  private:
    HMODULE module_;
    SelPortInfo* record_;
};

bool AnyTrayNamed(const std::vector<TrayInfo>& trays, const std::string& name) {
    return std::any_of(trays.begin(), trays.end(), [&](const TrayInfo& t) {
        return SameNameNoCase(name, t.name, sizeof t.name);
    });
}

DWORD AskDevice(const ModelOptionPair* pair, const DeviceQueries& device) {
    const ModelBlock* binding = pair->binding;
    CInstallOption* list = pair->options;
    std::string description;
    if (!device.Text("MPGetSysDescr", &description)) return kDetectNoDescription;
    if (!ContainsModelName(binding, AnsiToWide(description.data(), description.size()).c_str()))
        return kDetectOtherModel;
    const Detectable may = WhatMayBeDetected(pair);

    bool largeTrayFound = false;
    if (may.largeTray) {
        CModelInfo feeder(binding, model::kQueryTrayGroups, kLargeCapacityFeeder,
                          model::layout::kFeederName);
        const std::string name = AnswerText(feeder, kNamedRecordText, 32);
        largeTrayFound =
            !name.empty() &&
            AnyTrayNamed(device.Trays("MPGetTrayInfo", device.Count("MPGetMaxTray")), name);
        SetState(may.largeTray, largeTrayFound);
    }
    if (may.trays) {
        int count = device.Count("MPGetMaxTray");
        if (count > 0) {
            if (HasKind4PaperSource(pair)) --count; // the multi-purpose tray
            if (largeTrayFound) --count;
            const DWORD standard = CountPaperSources(binding);
            const DWORD optional = GetTotalTrayCount(binding);
            const DWORD fitted = std::clamp<DWORD>(static_cast<DWORD>(std::max(count, 0)), standard,
                                                   standard + optional);
            SetOptionalTrays(list, optional, fitted - standard);
        }
    }
    if (may.disk) {
        CModelInfo flags(binding, model::kQueryFeatureFlags, 0, model::layout::kFixedFirst);
        const bool bySpooler = flags.GetData() && (flags.U32(0) & kSpoolerForDisk);
        const int disk = device.Unit(bySpooler ? "MPGetSpoolerType" : "MPGetHddUnit");
        if (disk >= 0) SetState(list->Find(kOptionMemory35, 1), disk != 0);
    }
    if (may.duplex) {
        const int duplex = device.Unit("MPGetDupUnit");
        if (duplex >= 0) SetState(list->Find(kOption25, 1), duplex != 0);
    }
    if (may.memory) {
        const int kilobytes = device.Unit("MPGetMemSize", 0);
        if (kilobytes > 0)
            SetInstalledMemory(binding, list,
                               static_cast<DWORD>(kilobytes) / kKilobytesPerMegabyte);
    }
    if (may.bins) {
        const std::vector<TrayInfo> bins =
            device.Trays("MPGetOutputTrayInfo", device.Count("MPGetMaxOutputTray"));
        CModelInfo names(binding, kOptionBins, 0, model::layout::kBinName);
        for (size_t at = 0; names.GetData() && at + kBinNameSize <= names.Length();
             at += kBinNameSize)
            SetState(list->Find(kOptionBins, names.U16(at)),
                     AnyTrayNamed(bins, AnswerText(names, at + kNamedRecordText,
                                                   kBinNameSize - kNamedRecordText)));
    }
    if (may.finisher) {
        const int cap = device.Unit("MPGetPunchCap", kNoPunch);
        const DWORD punch = cap != kNoPunch && cap != kPunchUnknown ? 1 : 0;
        list->ClearOption(kOptionFinisher);
        if (const InstallOptionEntry* unknown = list->Find(kOptionFinisher, kUnknownFinisher))
            MarkFinisherInstalled(pair, kUnknownFinisher, punch,
                                  (unknown->flags & kFinisherFlagB) ? 1 : 0);
        std::string finisher;
        if (device.Text("MPGetFinisherUnit", &finisher))
            FindFinisherByName(binding, list, finisher.c_str(), punch);
    }
    return kDetectOk;
}

// Whether the device counts jobs by department code.
DWORD AskDepartmentCounter(const ModelOptionPair* pair, SelPortInfo* record) {
    const std::u16string name = ComponentName(pair->binding, kComponentDepartmentCodes);
    HMODULE library =
        name.empty() ? nullptr : LoadModuleBeside(pair->binding->modelsmith, name.c_str());
    if (!library) return kDetectNoLibrary;
    auto ask = reinterpret_cast<PFN_MPDeptcode>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "MPDeptcode")));
    SHORT mode = DEPTCODE_MODE_MANAGED, answer = DEPTCODE_ANSWER_NO;
    if (ask && ask(record, &mode, &answer) == DEPTCODE_OK)
        SetState(pair->options->Find(kOption63, 1), answer != DEPTCODE_ANSWER_NO);
    FreeLibrary(library);
    return kDetectOk;
}

// The cache key: the first model name and the model name below the root.
bool CacheKey(const ModelBlock* binding, std::u16string* key) {
    const std::string first = ModelText(binding, model::kQueryFirstModelName);
    const std::string name = ModelText(binding, model::kQueryModelName);
    if (first.empty() || name.empty()) return false;
    *key = std::u16string(kCacheRoot) + AnsiToWide(first.data(), first.size()) + u"\\" +
           AnsiToWide(name.data(), name.size());
    return true;
}

bool ReadDword(HKEY key, const char16_t* name, DWORD* value) {
    DWORD type = 0, size = sizeof *value;
    return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof *value;
}

bool ReadText(HKEY key, const char16_t* name, std::u16string* text) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    std::u16string value(size / sizeof(char16_t) + 1, u'\0');
    size = static_cast<DWORD>(value.size() * sizeof(char16_t));
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
        ERROR_SUCCESS)
        return false;
    value.resize(std::min<size_t>(value.size(), size / sizeof(char16_t)));
    value.resize(std::char_traits<char16_t>::length(value.c_str()));
    *text = value;
    return true;
}

} // namespace

BOOL IsNT6OrLater() {
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof v;
    return GetVersionExW(&v) && v.dwPlatformId == VER_PLATFORM_WIN32_NT && v.dwMajorVersion >= 6;
}

DWORD DetectInstalledOptions(const ModelBlock* binding, CInstallOption* list, LPCWSTR portName) {
    if (!binding || !list || !portName) return kDetectBadArgument;
    const std::u16string libraryName = ComponentName(binding, kComponentDeviceQueries);
    if (libraryName.empty()) return kDetectNoLibrary;
    SelPortHolder port{};
    LoadSelPortInfo(binding, portName, &port);
    CModelInfo mask(binding, model::kQueryPortModelNames, 0, model::layout::kPortMask);
    DWORD ports = mask.GetData() ? mask.U32(0) : 0;
    mask.Release();
    ApplyModelDefaultFlags(binding, &ports);
    // A port the model does not let be asked (or one that reaches no device)
    // leaves the options to the installer's cache.
    if (!port.record || !HasPortCapability(&port, ports)) {
        FreeSelPortInfo(&port);
        return kDetectNotAsked;
    }
    const ModelOptionPair pair{binding, list};
    DWORD result = kDetectNoLibrary;
    if (HMODULE library = LoadModuleBeside(binding->modelsmith, libraryName.c_str())) {
        result = AskDevice(&pair, DeviceQueries(library, port.record));
        FreeLibrary(library);
    }
    if (result == kDetectOk && list->CountEntries(kOption63, kAllKinds) > 0)
        result = AskDepartmentCounter(&pair, port.record);
    FreeSelPortInfo(&port);
    return result;
}

DWORD ReadOptionCache(const ModelBlock* binding, CInstallOption* list) {
    if (!binding || !list) return kDetectBadArgument;
    std::u16string path;
    if (!CacheKey(binding, &path)) return kDetectNoModelNames;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return kDetectNoCacheKey;
    const ModelOptionPair pair{binding, list};
    const Detectable may = WhatMayBeDetected(&pair);
    DWORD options = 0, value = 0;
    const bool haveOptions = ReadDword(key, kCacheOptions, &options);
    const DWORD punch = haveOptions && (options & kCachePunch) ? 1 : 0;
    if (haveOptions) {
        if (may.duplex) SetState(list->Find(kOption25, 1), options & kCacheDuplex);
        if (may.disk) SetState(list->Find(kOptionMemory35, 1), options & kCacheDisk);
    }
    if (may.trays && ReadDword(key, kCacheTrays, &value)) {
        list->ClearOption(kOptionTray);
        const DWORD standard = CountPaperSources(binding);
        const DWORD optional = value > standard ? value - standard : 0;
        SetOptionalTrays(list, std::min(optional, list->CountEntries(kOptionTray, kAllKinds)),
                         optional);
    }
    if (may.memory && ReadDword(key, kCacheMemory, &value))
        SetInstalledMemory(binding, list, value / kKilobytesPerMegabyte);
    if (haveOptions) {
        SetState(may.largeTray, options & kCacheLargeTray);
        for (DWORD n = 1; InstallOptionEntry* bin = list->FindNth(kOptionBins, n); ++n)
            SetState(bin, options & kCacheBins);
    }
    std::u16string finisher;
    if (may.finisher && ReadText(key, kCacheFinisher, &finisher)) {
        list->ClearOption(kOptionFinisher);
        FindFinisherByName(binding, list, WideToAnsiString(finisher).c_str(), punch);
    }
    if (may.department && ReadDword(key, kCacheCapabilities, &value))
        SetState(list->Find(kOption63, 1), value & kCacheDepartmentCounter);
    RegCloseKey(key);
    return kDetectOk;
}

DWORD DeleteOptionCache(const ModelBlock* binding) {
    std::u16string path;
    if (!binding || !CacheKey(binding, &path)) return kDetectNoModelNames;
    HKEY key = nullptr;
    const LSTATUS opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_SET_VALUE, &key);
    if (opened != ERROR_SUCCESS) return static_cast<DWORD>(opened);
    for (const char16_t* name :
         {kCacheOptions, kCacheTrays, kCacheMemory, kCacheFinisher, kCacheCapabilities})
        RegDeleteValueW(key, name);
    RegCloseKey(key);
    return kDetectOk;
}

} // namespace sheetwright
