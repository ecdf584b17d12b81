// The printer events: installation, configuration change and upgrade.
#include "printer_events.h"

#include <memory>
#include <string>
#include <vector>

#include "devmode_helpers.h"
#include "install_option.h"
#include "model/model_queries.h"
#include "model_info.h"
#include "option_detection.h"
#include "option_module.h"
#include "profile_install.h"
#include "revise_devmode.h"
#include "saved_job_info.h"
#include "sibling_caches.h"
#include "win/base.h"
#include "win/spool.h"

namespace sheetwright {
namespace {

constexpr char16_t kPrinterApiValue[] = u"{1BE9A268-B64B-439C-A97D-34414F19A758}#PrinterAPI";
constexpr char16_t kMetricCountryValue[] = u"MetricCountry";
constexpr DWORD kPrinterApiFlag = 0x400; // table 79
struct ApiComponent {
    WORD component;
    const char16_t* value;
};
constexpr ApiComponent kApiComponents[] = {
    {17, u"{1BE9A268-B64B-439C-A97D-34414F19A758}#API_DevmodeInterface32"},
    {18, u"{1BE9A268-B64B-439C-A97D-34414F19A758}#API_DriverInterface32"},
    {37, u"{1BE9A268-B64B-439C-A97D-34414F19A758}#API_DevmodeInterface64"},
    {38, u"{1BE9A268-B64B-439C-A97D-34414F19A758}#API_DriverInterface64"},
};

HANDLE OpenForAll(LPWSTR name) {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    return name && OpenPrinterW(name, &printer, &defaults) ? printer : nullptr;
}

DWORD SetDword(HANDLE printer, const char16_t* name, DWORD value) {
    return SetPrinterDataW(printer, const_cast<LPWSTR>(name), REG_DWORD,
                           reinterpret_cast<BYTE*>(&value), sizeof value);
}

// What a printer event could not store: the first failure's error, which
// becomes the event's last error; the steps after it still run.
struct StoreResult {
    DWORD error = ERROR_SUCCESS;
    void Status(DWORD status) {
        if (error == ERROR_SUCCESS && status != ERROR_SUCCESS) error = status;
    }
    void Bool(BOOL ok) {
        if (!ok) Status(GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_INVALID_DATA);
    }
    BOOL Report() const {
        if (error == ERROR_SUCCESS) return TRUE;
        SetLastError(error);
        return FALSE;
    }
};

// The installed options of a new printer: the model's, then what the
// device-option module and the device itself report, else what the
// installer's cache holds (used once, then deleted). TRUE when the device
// answered; what storing the list gave into *stored.
bool LearnInstalledOptions(HANDLE printer, LPWSTR printerName, const ModelBlock* binding,
                           CInstallOption* options, StoreResult* stored) {
    if (IsNT6OrLater()) QuerySchemaOptions(binding, printerName, options, 0);
    WCHAR port[kPortNameCapacity] = {};
    const bool asked = GetPrinterPortName(printer, port) &&
                       DetectInstalledOptions(binding, options, port) == kDetectOk;
    // The installer wrote the cache before the device could be asked: read
    // after an answer it would put its older states over the device's own.
    if (!asked) ReadOptionCache(binding, options);
    DeleteOptionCache(binding);
    stored->Status(options->Write());
    return asked;
}

// The printer's defaults lose the names of whoever made them. False when
// they could not be stored again.
bool ClearDefaultOwner(HANDLE printer) {
    auto image = std::make_unique<DEVMODE_IMAGEW>();
    if (!ReadPrinterInfo2(printer, image.get()) ||
        image->priv.Signature != PRIVATE_DEVMODE_SIGNATURE)
        return true;
    ClearJobInfoFields(&image->priv, kClearOwnerUser | kClearOwnerComputer, 0);
    return RewritePrinterInfo2(printer, &image->dm) != FALSE;
}

// Every step runs whatever an earlier one did; FALSE when any of what it
// stores for the printer could not be stored.
BOOL InitializePrinter(HANDLE printer, LPWSTR printerName) {
    LPVOID data = LoadDriverDataFile(printer);
    if (!data) return TRUE;
    HMODULE modelsmith = LoadDriverModule(printer, data, kSelectModelsmith);
    ModelBlock binding{modelsmith, data};
    StoreResult stored;
    if (modelsmith) {
        CInstallOption options(printer, &binding);
        (void)LearnInstalledOptions(printer, printerName, &binding, &options, &stored);
        CModelInfo flags(&binding, model::kQueryFeatureFlags, 0, model::layout::kFixedFirst);
        const bool api = (flags.U32(0) & kPrinterApiFlag) != 0;
        flags.Release();
        stored.Status(SetDword(printer, kPrinterApiValue, api ? 1 : 0));
        for (const ApiComponent& c : kApiComponents) {
            if (!api) break;
            CModelInfo entry(&binding, model::kQueryComponents, c.component,
                             model::layout::kComponentList);
            auto* answer = static_cast<const model::ComponentAnswer*>(entry.GetData());
            if (!answer || entry.Length() < sizeof *answer) continue;
            std::u16string name =
                ComponentFileName(answer->kind, answer->nameTemplate, sizeof answer->nameTemplate);
            stored.Status(SetPrinterDataW(printer, const_cast<LPWSTR>(c.value), REG_SZ,
                                          reinterpret_cast<BYTE*>(name.data()),
                                          static_cast<DWORD>(name.size() * sizeof(WCHAR))));
        }
        // The driver folder's default profiles apply however the options
        // were learnt (device, module, cache or the model's defaults).
        stored.Bool(ApplyDefaultProfileToPrinter(printer, &binding));
        stored.Bool(ClearDefaultOwner(printer));
        FreeLibrary(modelsmith);
    }
    GlobalFree(data);
    stored.Status(SetDword(printer, kMetricCountryValue, IsMetricCountry() ? 1 : 0));
    // Best effort: a stale localisation cache is rebuilt when next used.
    (void)UpdateSiblingRCBFiles(printer);
    return stored.Report();
}

} // namespace

BOOL UiDrvPrinterEvent(LPWSTR printerName, INT event, DWORD, LPARAM lParam) {
    if (event != PRINTER_EVENT_INITIALIZE &&
        !(event == PRINTER_EVENT_CONFIGURATION_UPDATE && IsNT6OrLater()))
        return TRUE;
    HANDLE printer = OpenForAll(printerName);
    if (!printer) return TRUE;
    BOOL result = TRUE;
    if (event == PRINTER_EVENT_INITIALIZE) {
        result = InitializePrinter(printer, printerName);
    } else if (LPVOID data = LoadDriverDataFile(printer)) {
        HMODULE modelsmith = LoadDriverModule(printer, data, kSelectModelsmith);
        ModelBlock binding{modelsmith, data};
        if (modelsmith) {
            CInstallOption options(printer, &binding);
            // lParam names what changed; the list is stored back either way.
            RequerySchemaOptions(&binding, printerName, &options,
                                 reinterpret_cast<LPCWSTR>(lParam));
            StoreResult stored;
            stored.Status(options.Write());
            result = stored.Report();
            FreeLibrary(modelsmith);
        }
        GlobalFree(data);
    }
    const DWORD error = GetLastError();
    ClosePrinter(printer);
    if (!result) SetLastError(error);
    return result;
}

BOOL UiDrvUpgradePrinter(DWORD level, LPBYTE upgradeInfo) {
    if (level != 1 || !upgradeInfo) return TRUE;
    LPWSTR name = reinterpret_cast<DRIVER_UPGRADE_INFO_1W*>(upgradeInfo)->pPrinterName;
    HANDLE printer = OpenForAll(name);
    if (!printer) return TRUE;
    LPVOID data = LoadDriverDataFile(printer);
    BOOL result = TRUE;
    DWORD error = ERROR_SUCCESS;
    DWORD needed = 0;
    GetPrinterW(printer, 8, nullptr, 0, &needed);
    if (data && needed >= sizeof(PRINTER_INFO_8W)) {
        std::vector<BYTE> block(needed);
        auto image = std::make_unique<DEVMODE_IMAGEW>();
        StampDevmodeHeader(image.get());
        if (GetPrinterW(printer, 8, block.data(), needed, &needed)) {
            const DEVMODEW* stored = reinterpret_cast<PRINTER_INFO_8W*>(block.data())->pDevMode;
            const auto* at = reinterpret_cast<const BYTE*>(stored);
            const bool inside = stored && at >= block.data() && at < block.data() + block.size();
            if (inside && static_cast<size_t>(block.data() + block.size() - at) >=
                              offsetof(DEVMODEW, dmFields))
                // One too short to read leaves the defaults in `image`.
                (void)LoadDevmodeImage(
                    stored, static_cast<size_t>(block.data() + block.size() - at), image.get());
            auto copy = std::make_unique<DEVMODE_IMAGEW>(*image);
            if (ReviseDevmodeEx(printer, data, &image->dm, &copy->dm, kReviseCarryOver) == 0) {
                PRINTER_INFO_8W info{&copy->dm};
                // The revised defaults not stored: the printer keeps the old ones.
                result = SetPrinterW(printer, 8, reinterpret_cast<LPBYTE>(&info), 0);
                if (!result) error = GetLastError();
            }
        }
    }
    if (data) GlobalFree(data);
    ClosePrinter(printer);
    if (HANDLE again = OpenForAll(name)) {
        UpdateSiblingRCBFiles(again);
        ClosePrinter(again);
    }
    if (!result) SetLastError(error);
    return result;
}

} // namespace sheetwright
