#include "status_monitor.h"

#include <cstring>
#include <string>
#include <vector>

#include "devcomm/statuslens.h"
#include "devmode_helpers.h"
#include "localize.h"
#include "model/modelsmith.h"
#include "model_codes.h"
#include "model_info.h"
#include "win/spool.h"
#include "win/user.h"

namespace sheetwright {
namespace {

// The status-monitor library by its component id, and the id the component
// table gives the device-communication library that carries it.
constexpr WORD kComponentStatusMonitor = 6;
constexpr WORD kComponentStatuslens = 30;

constexpr DWORD kStringTitle = 3000;
// Messages with the entry of the model's resource table that may replace them.
struct MonitorMessage {
    int answer;
    DWORD text;
    WORD modelEntry;
    UINT icon;
};
constexpr MonitorMessage kFailed = {kMonitorFailed, 3010, 10, MB_ICONHAND};
constexpr MonitorMessage kMessages[] = {
    {kMonitorNotRaised, 3010, 10, MB_ICONHAND},       kFailed,
    {kMonitorNotStarted, 3011, 11, MB_ICONHAND},      {kMonitorNotInstalled, 3012, 12, MB_ICONHAND},
    {kMonitorStarting, 3013, 13, MB_ICONINFORMATION},
};

void Tell(HWND owner, SheetContext* context, const MonitorMessage& m) {
    std::u16string text, title;
    if (context->localize) {
        // The model may name its own text; one the resources lack is not
        // shown empty, the driver's own stands instead.
        CModelInfo replacement(&context->model, model::kQueryResourceIds, m.modelEntry,
                               model::layout::kEntryList);
        if (replacement.GetData() && replacement.U16(2))
            context->localize->LoadString(replacement.U16(2), &text);
        if (text.empty()) context->localize->LoadString(m.text, &text);
        context->localize->LoadString(kStringTitle, &title);
    }
    MessageBoxW(owner, text.c_str(), title.c_str(), MB_OK | m.icon);
}

// The model's status-monitor library from beside the model library.
HMODULE LoadStatusMonitorLibrary(const ModelBlock* binding) {
    for (WORD id : {kComponentStatusMonitor, kComponentStatuslens}) {
        CModelInfo component(binding, model::kQueryComponents, id, model::layout::kComponentList);
        auto* entry = static_cast<const model::ComponentAnswer*>(component.GetData());
        if (!entry || component.Length() < sizeof *entry || entry->id != id) continue;
        std::u16string file =
            ComponentFileName(entry->kind, entry->nameTemplate, sizeof entry->nameTemplate);
        return file.empty() ? nullptr : LoadModuleBeside(binding->modelsmith, file.c_str());
    }
    return nullptr;
}

std::string ModelText(const ModelBlock* binding, WORD query) {
    return CModelInfo(binding, query, 0, kTextLayout).Text();
}

std::string DriverNameAnsi(HANDLE printer) {
    std::vector<BYTE> block = printer ? PrinterInfo2(printer) : std::vector<BYTE>();
    if (block.empty()) return {};
    LPCWSTR name = reinterpret_cast<PRINTER_INFO_2W*>(block.data())->pDriverName;
    return name ? WideToAnsiString(name) : std::string();
}

// The status monitor takes a host name or IPv4 address of at most 15
// characters: a longer one, or an IPv6 address, cannot be handed over whole
// and is refused rather than cut to another device's address.
bool FitsMonitorAddress(const char* address, size_t capacity) {
    const size_t length = strnlen(address, capacity);
    return length > 0 && length <= kStatusMonitorAddressLimit &&
           std::memchr(address, ':', length) == nullptr;
}

std::string FirstTwoWords(const std::string& name) {
    const size_t space = name.find(' ');
    return name.substr(0,
                       space == std::string::npos ? std::string::npos : name.find(' ', space + 1));
}

void CopyText(char* field, size_t capacity, const std::string& text) {
    std::memset(field, 0, capacity);
    std::memcpy(field, text.data(), std::min(text.size(), capacity - 1));
}

DWORD ConnectionCode(DWORD portKind) {
    switch (portKind) {
    case 1:
        return 2;
    case 2:
        return 3;
    case 3:
        return 1;
    default:
        return 0;
    }
}

void FillRequest(SheetContext* context, LPCWSTR portPath, StatusMonitorRequest* r) {
    std::memset(r, 0, sizeof *r);
    CopyText(r->address, sizeof r->address, context->portInfo.address);
    const std::string first = ModelText(&context->model, model::kQueryFirstModelName);
    CopyText(r->modelName, sizeof r->modelName, first);
    const std::string driver = DriverNameAnsi(context->printer);
    std::string words;
    if (!driver.empty()) {
        words = FirstTwoWords(driver);
    } else {
        const std::string model = ModelText(&context->model, model::kQueryModelName);
        words = !first.empty() && !model.empty() ? first + " " + model : first;
    }
    CopyText(r->driverFirstWords, sizeof r->driverFirstWords, words);
    CopyText(r->driverName, sizeof r->driverName, driver);
    CopyText(r->portPath, sizeof r->portPath, portPath ? WideToAnsiString(portPath) : "");
    r->connection = ConnectionCode(context->portInfo.connection);
}

} // namespace

void LaunchStatusMonitor(HWND owner, SheetContext* context, LPCWSTR portPath) {
    if (!context) return;
    if (!context->portInfo.record ||
        !FitsMonitorAddress(context->portInfo.address, sizeof context->portInfo.address))
        return Tell(owner, context, kFailed);
    HMODULE library = LoadStatusMonitorLibrary(&context->model);
    if (!library) return Tell(owner, context, kFailed);
    auto call = reinterpret_cast<PFN_CallStatusmonitor>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "CallStatusmonitor")));
    if (!call) {
        FreeLibrary(library);
        return Tell(owner, context, kFailed);
    }
    StatusMonitorRequest request;
    FillRequest(context, portPath, &request);
    const int answer = call(&request);
    FreeLibrary(library);
    for (const MonitorMessage& m : kMessages)
        if (m.answer == answer) return Tell(owner, context, m);
}

BOOL GetPrinterDriverNameA(HANDLE printer, char out[128]) {
    const std::string name = DriverNameAnsi(printer);
    if (name.empty()) return FALSE;
    CopyText(out, 128, name);
    return TRUE;
}

BOOL GetDriverNameFirstWords(HANDLE printer, char out[256]) {
    const std::string name = DriverNameAnsi(printer);
    if (name.empty()) return FALSE;
    CopyText(out, 256, FirstTwoWords(name));
    return TRUE;
}

} // namespace sheetwright
