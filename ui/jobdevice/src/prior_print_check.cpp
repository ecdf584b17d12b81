#include "prior_print_check.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "afxwin.h"
#include "devcomm/gatekeep.h"
#include "devcomm/tallyport.h"
#include "devmode_helpers.h"
#include "dialog_lookups.h"
#include "driver_env.h"
#include "localize.h"
#include "model/model_queries.h"
#include "model/modelsmith.h"
#include "model_info.h"
#include "ui_entry_points.h"
#include "user_paper.h"
#include "win/base.h"
#include "win/environment.h"

namespace sheetwright {
namespace {

constexpr DWORD kCheckPriorPrint = 0x08;            // JobCheckFlags
constexpr DWORD kDeptCheckedBeforePrint = 1u << 27; // PrivateFlags
constexpr WORD kDeptCounterOn = 0x1;                // DeptCounterFlags
constexpr size_t kDeviceDeptCodeBytes = 8;          // what the device takes of DeptCode

// Component table entries of the device libraries.
constexpr WORD kComponentPreCheck = 2, kComponentDepartmentCodes = 3;

constexpr WORD kEntryDefaultPaperCode = 12, kEntryBypassTrayCode = 13;
constexpr size_t kDevicePaperRecord = 136;
// Check flags (the byte after the port mask).
constexpr BYTE kCheckStatus = 0x1, kCheckToner = 0x2, kCheckAttention = 0x4, kCheckFailed = 0x8;
// Tray flags.
constexpr DWORD kTrayJam = 0x4, kTrayMissing = 0x8;
constexpr DWORD kPaperMatched = 0x1;
constexpr WORD kMultiPurposeKind = 4;

// Messages.
constexpr DWORD kDeptCaption = 20000, kDeptNotInput = 20001, kDeptNotInDevice = 20002,
                kDeptModeOff = 20019;
constexpr DWORD kDeviceCaption = 20021, kCheckPrinter = 20007, kCloseTray = 20008, kNoPaper = 20009,
                kNoToner = 20010, kJam = 20011, kCheckPrinterAgain = 20012,
                kCheckPrinterFailed = 20013, kNoTrayUseBypass = 20014, kPaperMismatch = 20015,
                kUnknownPaper = 20017, kNoColorToner = 20018, kCustomLongPaper = 20024,
                kCustomPaper = 20025, kNoTray = 20029, kDefaultPaperName = 8100;

template <class F> F Export(HMODULE module, const char* name) {
    return module ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)))
                  : nullptr;
}

std::u16string ComponentName(const ModelBlock* binding, WORD component) {
    CModelInfo entry(binding, model::kQueryComponents, component, model::layout::kComponentList);
    auto* answer = static_cast<const model::ComponentAnswer*>(entry.GetData());
    if (!answer || entry.Length() < sizeof *answer) return {};
    return ComponentFileName(answer->kind, answer->nameTemplate, sizeof answer->nameTemplate);
}

// One run of the check: its bindings, its owner and the texts' module.
struct CheckRun {
    ModelBlock model{};
    SelPortHolder port{};
    HWND owner = nullptr;
    HMODULE texts = nullptr;
    bool canAsk = true;
};

std::u16string Text(HMODULE module, DWORD id) {
    std::u16string text;
    CLocalize(module).LoadString(id, &text);
    return text;
}

// Where nobody can see a box: the question's fixed answer. A refusal stands;
// a question goes on printing with the job's settings as they are.
constexpr int kNobodyAsked = 0;

// A message box, or where nobody can see one, kNobodyAsked (logged).
int Show(const CheckRun& run, DWORD captionId, const std::u16string& text, UINT type) {
    const std::u16string caption = Text(run.texts, captionId);
    if (!run.canAsk) {
        std::fprintf(stderr, "prior-print check, nobody to ask: \"%s\": %s\n",
                     WideToAnsiString(text).c_str(),
                     (type & MB_TYPEMASK) == MB_OK ? "job stopped" : "printing on");
        return kNobodyAsked;
    }
    if (!run.owner) type |= MB_SERVICE_NOTIFICATION;
    return MessageBoxW(run.owner, text.c_str(), caption.c_str(), type);
}

// ---- the department code

BOOL DeptRefused(const CheckRun& run, DWORD message) {
    Show(run, kDeptCaption, Text(run.texts, message), MB_OK | MB_ICONERROR);
    return FALSE;
}

BOOL DeptCheck(const CheckRun& run, const PRIVATE_DEVMODE& priv) {
    HMODULE library = nullptr;
    const std::u16string name = ComponentName(&run.model, kComponentDepartmentCodes);
    if (!name.empty()) library = LoadModuleBeside(AfxGetResourceHandle(), name.c_str());
    if (!library) library = LoadModuleBeside(run.model.modelsmith, name.c_str());
    auto ask = Export<PFN_MPDeptcode>(library, "MPDeptcode");
    BOOL result = TRUE;
    while (ask) {
        SHORT request[5] = {DEPTCODE_MODE_MANAGED};
        SHORT answer = DEPTCODE_ANSWER_NO;
        WORD rc = ask(run.port.record, request, &answer);
        if (rc == DEPTCODE_OK && answer == DEPTCODE_ANSWER_NO) break; // no department codes
        if (rc == DEPTCODE_OK) {
            request[0] = DEPTCODE_MODE_COUNTED;
            std::memcpy(&request[1], priv.DeptCode, strnlen(priv.DeptCode, kDeviceDeptCodeBytes));
            answer = DEPTCODE_ANSWER_NO;
            rc = ask(run.port.record, request, &answer);
        }
        if (rc == DEPTCODE_OK) {
            const bool counterOn = (priv.DeptCounterFlags & kDeptCounterOn) != 0;
            if (answer == DEPTCODE_ANSWER_NO && counterOn && priv.DeptCode[0]) break;
            if (answer == DEPTCODE_ANSWER_NO) {
                result = DeptRefused(run, counterOn ? kDeptNotInput : kDeptModeOff);
                break;
            }
            if (answer == DEPTCODE_ANSWER_REFUSED) {
                result = DeptRefused(run, kDeptNotInDevice);
                break;
            }
        }
        // The device could not be asked: the user may try again, or stop.
        const int again = Show(run, kDeptCaption, Text(run.texts, kCheckPrinterAgain),
                               MB_YESNO | MB_ICONEXCLAMATION);
        if (again == kNobodyAsked) break; // no refusal: printed as without the library
        if (again == IDYES) continue;
        result = FALSE;
        break;
    }
    if (library) FreeLibrary(library);
    return result;
}

// ---- the device's state, paper and tray

// The model's name of the paper; else the user paper's own name; else a
// custom size told long or not by the model's limit.
std::u16string JobPaperName(const CheckRun& run, const DEVMODEW& dm, const PRIVATE_DEVMODE& priv,
                            WORD paper) {
    CModelInfo entry(&run.model, model::kQueryPapers, paper, model::layout::kPaperList);
    if (entry.GetData()) {
        std::u16string name = Text(run.texts, entry.U16(offsetof(model::IdNameAnswer, nameId)));
        if (!name.empty()) return name;
    }
    entry.Release();
    CUserPaper papers;
    papers.SetDefaultPath(&run.model);
    if (papers.Read())
        if (const UserPaperRecord* user = papers.FindById(paper))
            if (user->name[0])
                return AnsiToWide(user->name, strnlen(user->name, sizeof user->name));
    // The size the job is printed on: the output paper's own, else the page's.
    const bool ownSize = priv.OutputPaperId && (priv.PrivateFlags & kOutputPaperOwnSize);
    const double width = (ownSize ? priv.OutputPaperWidth : dm.dmPaperWidth) / 10.0;
    const double length = (ownSize ? priv.OutputPaperLength : dm.dmPaperLength) / 10.0;
    return Text(run.texts,
                IsLongPaper(&run.model, width, length, TRUE) ? kCustomLongPaper : kCustomPaper);
}

std::u16string TrayPaperName(const CheckRun& run, SHORT code, SHORT defaultCode) {
    CModelInfo papers(&run.model, model::kQueryPriorPrint, 0, model::layout::kPortEntriesLong);
    if (papers.GetData())
        for (size_t at = 0; at + kDevicePaperRecord <= papers.Length(); at += kDevicePaperRecord)
            if (static_cast<SHORT>(papers.U16(at + 2)) == code && papers.U16(at + 4) != 0) {
                // A string the resource library lacks names no paper.
                std::u16string name = Text(run.texts, papers.U16(at + 4));
                if (!name.empty()) return name;
                break;
            }
    return Text(run.texts, code == defaultCode ? kDefaultPaperName : kUnknownPaper);
}

BOOL DeviceCheck(const CheckRun& run, DEVMODEW* dm, PRIVATE_DEVMODE* priv) {
    const WORD paper =
        priv->OutputPaperId ? priv->OutputPaperId : static_cast<WORD>(dm->dmPaperSize);
    CModelInfo ports(&run.model, model::kQueryPriorPrint, 0, model::layout::kPortCapabilities);
    if (!ports.GetData()) return TRUE;
    const BYTE checks = ports.U8(4);
    CModelInfo paperInfo(&run.model, model::kQueryPriorPrint, paper,
                         model::layout::kPortFirstItems);
    CModelInfo trayInfo(&run.model, model::kQueryPriorPrint, static_cast<WORD>(dm->dmDefaultSource),
                        model::layout::kPortSecondItems);
    const SHORT defaultCode =
        static_cast<SHORT>(CModelInfo(&run.model, model::kQueryPriorPrint, kEntryDefaultPaperCode,
                                      model::layout::kPortEntriesLong)
                               .U16(2));
    PreCheckRequest request{};
    DWORD paperFlags = 1;
    if (paperInfo.GetData() && paperInfo.U16(8)) {
        request.paperCode = static_cast<SHORT>(paperInfo.U16(10));
        paperFlags = paperInfo.U32(4);
    } else {
        request.paperCode = defaultCode;
    }
    if (!trayInfo.GetData() || !trayInfo.U16(8)) return TRUE;
    request.trayCode = static_cast<SHORT>(trayInfo.U16(10));
    const DWORD trayFlags = trayInfo.U32(4);

    HMODULE library = nullptr;
    const std::u16string name = ComponentName(&run.model, kComponentPreCheck);
    if (!name.empty()) library = LoadModuleBeside(AfxGetResourceHandle(), name.c_str());
    if (!library && !name.empty()) library = LoadModuleBeside(run.model.modelsmith, name.c_str());
    auto check = Export<PFN_MPPreCheck>(library, "MPPreCheck");
    if (!check) {
        if (library) FreeLibrary(library);
        return TRUE;
    }
    PreCheckResult result{};
    const WORD rc = check(run.port.record, &request, &result);
    FreeLibrary(library);

    DWORD message = 0;
    std::u16string text;
    bool grayscale = false;
    const SHORT autoTray = static_cast<SHORT>(
        CModelInfo(&run.model, model::kQueryPriorPrint, 1, model::layout::kPortEntriesShort)
            .U16(2));
    const SHORT bypass =
        static_cast<SHORT>(CModelInfo(&run.model, model::kQueryPriorPrint, kEntryBypassTrayCode,
                                      model::layout::kPortEntriesLong)
                               .U16(2));
    auto paperRule = [&] {
        if (result.resultCode == PRECHECK_RESULT_PAPER_EMPTY)
            message = kNoPaper;
        else if (result.resultCode == PRECHECK_RESULT_TRAY_MISSING)
            message = kCloseTray;
    };
    if (rc != PRECHECK_OK)
        message = kCheckPrinterAgain;
    else if (result.status == PRECHECK_STATUS_DOWN && (checks & kCheckStatus))
        message = kCheckPrinter;
    else if (result.resultCode == PRECHECK_RESULT_TONER && (checks & kCheckToner))
        message = kNoToner;
    else if (result.resultCode == PRECHECK_RESULT_FAILED && (checks & kCheckFailed))
        message = kCheckPrinterFailed;
    else if (result.resultCode == PRECHECK_RESULT_JAM && (trayFlags & kTrayJam))
        message = kJam;
    else if (result.resultCode == PRECHECK_RESULT_TONER_EMPTY_NO_COLORANT &&
             (checks & kCheckToner) && priv->ColorMode != 1) {
        message = kNoColorToner;
        grayscale = true;
    } else if (result.resultCode == PRECHECK_RESULT_ATTENTION && (checks & kCheckAttention))
        message = kCheckPrinterAgain;
    else if (request.trayCode == autoTray) {
        if (result.trayMissing == 1 && (trayFlags & kTrayMissing)) {
            CModelInfo sources(&run.model, model::kQueryPaperSources, 0,
                               model::layout::kFixedFirst);
            bool multiPurpose = false;
            if (sources.GetData())
                for (DWORD i = 0; i < sources.GetCount(); ++i) {
                    CModelInfo source(&run.model, model::kQueryPaperSources,
                                      static_cast<WORD>(i + 1), model::layout::kFixedFirst);
                    if (source.GetData() && source.U16(0) == kMultiPurposeKind) multiPurpose = true;
                }
            message = multiPurpose ? kNoTrayUseBypass : kNoTray;
        } else {
            paperRule();
        }
    } else if (!(paperFlags & kPaperMatched)) {
        paperRule();
    } else if (result.trayPaper == bypass) {
        message =
            result.resultCode == PRECHECK_RESULT_TRAY_MISSING ? kCloseTray : kCheckPrinterAgain;
    } else if (result.trayPaper == request.paperCode) {
        paperRule();
    } else {
        message = kPaperMismatch;
        const std::u16string job = JobPaperName(run, *dm, *priv, paper);
        const std::u16string tray = TrayPaperName(run, result.trayPaper, defaultCode);
        WCHAR buffer[1024] = {};
        DWORD needed = 0;
        const std::u16string format = Text(run.texts, kPaperMismatch);
        FormatResString(run.texts, buffer, 1024, &needed, format.c_str(), job.c_str(),
                        tray.c_str());
        text = buffer;
    }
    if (!message) return TRUE;
    if (text.empty()) text = Text(run.texts, message);
    const int answer = Show(run, kDeviceCaption, text, MB_YESNO | MB_ICONEXCLAMATION);
    if (answer == kNobodyAsked) return TRUE;
    if (answer != IDYES) return FALSE;
    if (grayscale) {
        priv->ColorMode = 1;
        priv->ColorModeAlt = 1;
        dm->dmICMMethod = 1;
    }
    return TRUE;
}

} // namespace

bool CanAskUser() {
    DWORD session = 0;
    return ProcessIdToSessionId(GetCurrentProcessId(), &session) && session != 0;
}

BOOL CheckPriorPrint(HANDLE printer, HWND owner, LPCWSTR portName, DEVMODEW* devmode,
                     LPVOID privateBlock, LPVOID modelData, DWORD mode) {
    if (!devmode || !privateBlock || !modelData) return TRUE;
    auto* priv = static_cast<PRIVATE_DEVMODE*>(privateBlock);
    if (!(priv->JobCheckFlags & kCheckPriorPrint) || priv->PriorPrintOn == 0) return TRUE;
    CheckRun run;
    run.owner = owner;
    run.canAsk = CanAskUser();
    run.model = {LoadDriverModule(printer, modelData, kSelectModelsmith), modelData};
    if (!run.model.modelsmith) return TRUE;
    LoadSelPortInfo(&run.model, portName, &run.port);
    CModelInfo ports(&run.model, model::kQueryPriorPrint, 0, model::layout::kPortCapabilities);
    DWORD mask = ports.U32(0);
    ApplyModelDefaultFlags(&run.model, &mask);
    BOOL result = TRUE;
    if (run.port.record && run.port.addressKind != kPortAddressEmpty &&
        HasPortCapability(&run.port, mask)) {
        HMODULE resbundle = nullptr;
        HINSTANCE previous = AfxGetResourceHandle();
        if (mode == 1) {
            resbundle = LoadDriverModule(printer, modelData, kSelectResbundle);
            if (resbundle) {
                AfxSetResourceHandle(resbundle);
                // Best-effort: without a fresh cache the module's own texts are used.
                (void)UpdateRCBFileOfModule(resbundle);
            }
        }
        run.texts = AfxGetResourceHandle();
        if (priv->PrivateFlags & kDeptCheckedBeforePrint) {
            result = DeptCheck(run, *priv);
            if (result && mode == 1) result = DeviceCheck(run, devmode, priv);
        } else if (mode == 1) {
            result = DeviceCheck(run, devmode, priv);
        }
        // The framework's module goes back before the library it named is freed.
        AfxSetResourceHandle(previous);
        if (resbundle) FreeLibrary(resbundle);
    }
    FreeSelPortInfo(&run.port);
    FreeLibrary(run.model.modelsmith);
    return result;
}

} // namespace sheetwright
