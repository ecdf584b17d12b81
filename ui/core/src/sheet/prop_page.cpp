#include "model/model_queries.h"
#include "prop_page.h"

#include <cstring>
#include <memory>

#include "control_states.h"
#include "driver_env.h"
#include "model_info.h"
#include "status_monitor.h"
#include "saved_job_info.h"
#include "track_dm.h"
#include "url_jump.h"
#include "sheet_app.h"
#include "sheet_help.h"
#include "win/strings.h"
#include "win/files.h"
#include "win/loader.h"
#include "win/registry.h"
#include "win/spool.h"

namespace sheetwright {
namespace {

// Controls that stay usable on a read-only sheet (they change nothing).
constexpr int kAlwaysEnabledControls[] = {123, 130, 176, 215, 221, 964, 968};

constexpr char16_t kHopwindowFile[] = u"Hopwindow.DLL";

static_assert(sizeof(UrlJumpParam) == kUrlJumpParamSize);

bool AlwaysEnabled(int id) {
    for (int c : kAlwaysEnabledControls)
        if (c == id) return true;
    return false;
}

BOOL CALLBACK SendActivating(HWND child, LPARAM) {
    SendMessageW(child, kMsgPageActivating, 0, 0);
    return TRUE;
}

BOOL CALLBACK DisableUnlessAlwaysEnabled(HWND child, LPARAM) {
    if (!AlwaysEnabled(GetDlgCtrlID(child))) EnableWindow(child, FALSE);
    return TRUE;
}

// Model table 96: the port capability the status monitor needs, and the one
// taken when the model names none (a network port).
constexpr DWORD kDefaultStatusMonitorCapability = 0x4000;
// A device address with a port number needs this version of the device
// management software's monitor.
constexpr WCHAR kDeviceMonitorKey[] = u"SOFTWARE\\TOVA\\Velmora-ORX\\Installer\\Device Monitor";
constexpr WCHAR kDeviceMonitorVersion[] = u"VerMajor1";
constexpr DWORD kDeviceMonitorNeeded = 2;

DWORD DeviceMonitorVersion() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDeviceMonitorKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD version = 0, size = sizeof version;
    if (RegQueryValueExW(key, kDeviceMonitorVersion, nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&version), &size) != ERROR_SUCCESS ||
        size != sizeof version)
        version = 0;
    RegCloseKey(key);
    return version;
}

// GetWindowsVersionClass's answer for Windows 2000.
constexpr DWORD kWindows2000Class = 0x100000;

template <class F> F ModuleExport(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace

IMPLEMENT_DYNAMIC(CPropPage, CPropertyPage)

BEGIN_MESSAGE_MAP(CPropPage, CPropertyPage)
AFX_MSG_ENTRY(WM_HELP, 0, 0, 0, *result = self->OnHelpRequest(reinterpret_cast<HELPINFO*>(lParam));
              return TRUE;)
AFX_MSG_ENTRY(WM_CONTEXTMENU, 0, 0, 0,
              *result = self->OnContextHelpRequest(reinterpret_cast<HWND>(wParam),
                                                   POINT{static_cast<short>(LOWORD(lParam)),
                                                         static_cast<short>(HIWORD(lParam))});
              return TRUE;)
ON_MESSAGE(WM_SETTINGCHANGE, OnSettingChange)
ON_MESSAGE(WM_DESTROY, OnPageDestroy)
END_MESSAGE_MAP()

CPropPage::CPropPage(UINT templateId, SheetContext* context)
    : CLocalPropertyPage(templateId), context_(context), templateId_(templateId) {
    if (context_) {
        ++context_->pageReferences;
        m_psp.hInstance = context_->resourceModule;
    }
    frameworkCallback_ = m_psp.pfnCallback;
    m_psp.pfnCallback = PropPageCallback;
}

CPropPage::~CPropPage() {
    if (tooltip_) ::DestroyWindow(tooltip_);
    if (context_ && !context_->noCallback) FreeSheetContext(context_);
}

UINT CALLBACK PropPageCallback(HWND hwnd, UINT message, PROPSHEETPAGEW* psp) {
    auto* page = psp ? reinterpret_cast<CPropPage*>(psp->lParam) : nullptr;
    // PSPCB_ADDREF goes on too: the framework's sheet learns that the page
    // is the platform's to release, and does not delete it a second time.
    if (!page || (message != PSPCB_CREATE && message != PSPCB_RELEASE && message != PSPCB_ADDREF))
        return 1;
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    // The framework hooks the window at creation and deletes the page at release.
    LPFNPSPCALLBACKW next = page->frameworkCallback_;
    if (next) next(hwnd, message, psp);
    return 1;
}

BOOL CPropPage::OnInitDialog() {
    tooltip_ = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP, 0, 0, 0, 0, m_hWnd, nullptr,
                                 AfxGetInstanceHandle(), nullptr);
    if (tooltip_) ::SendMessageW(tooltip_, TTM_ACTIVATE, TRUE, 0);
    RefreshPortInfo();
    HWND sheet = ::GetParent(m_hWnd);
    if (context_ && (context_->callerFlags & DM_USER_DEFAULT) &&
        GetWindowsVersionClass() == kWindows2000Class && sheet) {
        HWND tab = reinterpret_cast<HWND>(::SendMessageW(sheet, PSM_GETTABCONTROL, 0, 0));
        LRESULT pages = tab ? ::SendMessageW(tab, TCM_GETITEMCOUNT, 0, 0) : 0;
        if (pages > context_->pageReferences) context_->callerFlags &= ~DWORD{DM_USER_DEFAULT};
    }
    if (sheet) {
        LONG exStyle = ::GetWindowLongW(sheet, GWL_EXSTYLE);
        if (!(exStyle & WS_EX_CONTEXTHELP)) {
            ::SetWindowLongW(sheet, GWL_EXSTYLE, exStyle | WS_EX_CONTEXTHELP);
            ::SetWindowPos(sheet, nullptr, 0, 0, 0, 0,
                           SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE |
                               SWP_FRAMECHANGED);
        }
    }
    CDialog::OnInitDialog();
    return TRUE;
}

BOOL CPropPage::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (!header || (header->hwndFrom != m_hWnd && header->hwndFrom != ::GetParent(m_hWnd)))
        return CWnd::OnNotify(wParam, lParam, result);
    LRESULT answer = 0;
    switch (header->code) {
    case PSN_SETACTIVE:
        answer = OnSetActive() ? 0 : -1;
        break;
    case PSN_KILLACTIVE:
        answer = OnKillActive() ? FALSE : TRUE;
        break;
    case PSN_APPLY:
        answer = OnApply() ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE;
        break;
    case PSN_RESET:
        OnReset();
        break;
    case PSN_HELP:
        if (DWORD id = GetHelpContextId(templateId_); id && context_)
            OpenHelpTopic(m_hWnd, context_->helpFile, HELP_CONTEXT, id);
        break;
    case PSN_QUERYCANCEL:
        answer = OnQueryCancel() ? FALSE : TRUE;
        break;
    default:
        return CWnd::OnNotify(wParam, lParam, result);
    }
    *result = answer;
    ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, answer);
    return TRUE;
}

BOOL CPropPage::OnHelpRequest(HELPINFO* info) {
    if (info && info->iContextType == HELPINFO_WINDOW)
        OnContextHelp(static_cast<HWND>(info->hItemHandle), context_ ? context_->helpFile : nullptr,
                      HELP_WM_HELP, &Localize());
    return TRUE;
}

BOOL CPropPage::OnContextHelpRequest(HWND window, POINT) {
    OnContextHelp(window, context_ ? context_->helpFile : nullptr, HELP_CONTEXTMENU, &Localize());
    return TRUE;
}

BOOL CPropPage::OnApply() {
    OnOK();
    return TRUE;
}

BOOL CPropPage::OnSetActive() {
    ::EnumChildWindows(m_hWnd, SendActivating, 0);
    LockControlsIfReadOnly();
    if (firstActivation_)
        firstActivation_ = FALSE;
    else
        UpdateData(FALSE);
    return TRUE;
}

void CPropPage::LockControlsIfReadOnly() {
    if (IsSheetReadOnly(context_)) ::EnumChildWindows(m_hWnd, DisableUnlessAlwaysEnabled, 0);
}

BOOL CPropPage::OnKillActive() {
    // Moving the focus on and back commits a control being edited.
    ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, 0, FALSE);
    ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, 1, FALSE);
    return UpdateData(TRUE);
}

BOOL CPropPage::PreTranslateMessage(MSG* msg) {
    if (tooltip_) ::SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg));
    return CPropertyPage::PreTranslateMessage(msg);
}

void CPropPage::SaveChangedJobInfo() {
    DWORD key = 0;
    const bool forced = FindModelKeyValue(&context_->model, &key) && (key & kKeyJobInfo) != 0;
    DEVMODE_IMAGEW& image = context_->workingImage;
    DWORD mask = image.priv.SavePersonalInfo;
    if (!mask && !forced) return;
    ReviseContext request = SheetReviseContext(context_);
    // Only the fields the job type takes are kept.
    JobFieldCheck check{};
    if (ValidateJobInputFields(&request, &image, &check) && check.jobType) mask &= check.mask;
    SaveJobInfo(&request, &image.priv, forced ? mask | kJobMaskFromSaved : mask);
    image.priv.SavePersonalInfo = 0;
}

void CPropPage::OnOK() {
    if (!context_) return;
    context_->applied = 1;
    SaveChangedJobInfo();
    context_->resultWritten = 1;
    if (context_->callerImage)
        std::memcpy(context_->callerImage, &context_->workingImage, sizeof(DEVMODE_IMAGEW));
    if (context_->sheetCallback)
        context_->sheetCallback(context_->sheetHandle, CPSFUNC_SET_RESULT,
                                reinterpret_cast<LPARAM>(m_hPageHandle), CPSUI_OK);
}

void CPropPage::NotifySettingsChanged(BOOL changed, BOOL resetMarker) {
    if (!m_hWnd || m_bSuppressChanges) return;
    if (context_) {
        if (resetMarker) std::memset(context_->workingImage.priv.ProfileName, 0, sizeof(WORD));
        // A change the tracker had to follow up is taken as the new state;
        // its fix-ups reach the lists through the cached constraint items.
        if (context_->tracker) {
            if (context_->tracker->Track(&context_->workingImage)) RefreshControlStates(context_);
            context_->tracker->Snapshot(&context_->workingImage);
        }
    }
    if (HWND sheet = ::GetParent(m_hWnd))
        ::SendMessageW(sheet, changed ? PSM_CHANGED : PSM_UNCHANGED,
                       reinterpret_cast<WPARAM>(m_hWnd), 0);
}

BOOL HasPriorPrintCapability(const SheetContext* context) {
    if (!context) return FALSE;
    CModelInfo table(&context->model, model::kQueryPriorPrint, 0, model::layout::kPortCapabilities);
    if (!table.GetData()) return FALSE;
    DWORD capability = table.U32(0);
    ApplyModelDefaultFlags(&context->model, &capability);
    return HasPortCapability(&context->portInfo, capability);
}

BOOL RefreshSheetPort(SheetContext* context) {
    if (!context || !context->printer) return FALSE;
    WCHAR port[kPortNameCapacity] = {};
    if (!GetPrinterPortName(context->printer, port)) return FALSE;
    port[kPortNameCapacity - 1] = 0;
    if (lstrcmpW(port, context->portName) == 0) return FALSE;
    lstrcpynW(context->portName, port, kSheetPortNameChars);
    FreeSelPortInfo(&context->portInfo);
    LoadSelPortInfo(&context->model, context->portName, &context->portInfo);
    // Prior printing needs a capability of the new port.
    if (!HasPriorPrintCapability(context)) {
        context->workingImage.priv.PriorPrintOn = 0;
        context->defaultImage.priv.PriorPrintOn = 0;
    }
    return TRUE;
}

void CPropPage::RefreshPortInfo() {
    RefreshSheetPort(context_);
}

LRESULT CPropPage::OnSettingChange(WPARAM, LPARAM) {
    LRESULT r = Default();
    RefreshPortInfo();
    OnSetActive();
    return r;
}

LRESULT CPropPage::OnPageDestroy(WPARAM, LPARAM) {
    if (tooltip_) {
        ::DestroyWindow(tooltip_);
        tooltip_ = nullptr;
    }
    return Default();
}

DWORD CPropPage::ShowUrlJumpDialog(DWORD mode) {
    if (!context_) return 0;
    UrlJumpParam param{};
    WideToAnsi(param.path, context_->supportFilePath, MAX_PATH);
    // Only the editor writes the file; viewing leaves its attributes alone.
    DWORD attributes =
        mode == kUrlJumpEdit ? GetFileAttributesA(param.path) : INVALID_FILE_ATTRIBUTES;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(param.path, attributes & ~DWORD{FILE_ATTRIBUTE_READONLY});
    HMODULE hopwindow = LoadModuleBeside(context_->model.modelsmith, kHopwindowFile);
    if (!hopwindow) {
        WarnMissingFile(m_hWnd, kHopwindowFile);
        return 0;
    }
    DWORD result = 0;
    if (auto dialog = ModuleExport<PFN_UrlJumpDialog>(hopwindow, "UrlJumpDialog")) {
        param.size = sizeof param;
        param.mode = mode;
        param.module = hopwindow;
        result = static_cast<DWORD>(dialog(m_hWnd, &param));
    }
    FreeLibrary(hopwindow);
    return result;
}

BEGIN_MESSAGE_MAP(CProfilePropPage, CPropPage)
ON_BN_CLICKED(CProfilePropPage::kStatusMonitorId, OnStatusMonitor)
END_MESSAGE_MAP()

BOOL CProfilePropPage::OnInitDialog() {
    CPropPage::OnInitDialog();
    if (!preview_.m_hWnd) preview_.SubclassDlgItem(kPreviewId, this);
    preview_.Init(Context(), 1, nullptr);
    // The button goes below the pane, centred under it, at its own size.
    HWND button = ::GetDlgItem(m_hWnd, kStatusMonitorId);
    RECT pane{}, own{};
    if (preview_.m_hWnd && button && ::GetWindowRect(preview_.m_hWnd, &pane) &&
        ::GetWindowRect(button, &own)) {
        POINT at{pane.left, pane.top};
        ::ScreenToClient(m_hWnd, &at);
        const LONG paneWidth = pane.right - pane.left, width = own.right - own.left;
        ::SetWindowPos(button, nullptr, at.x + (paneWidth - width) / 2,
                       at.y + preview_.VerticalOffset(), 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return TRUE;
}

BOOL CProfilePropPage::UpdateStatusMonitorButton() {
    if (SheetContext* c = Context(); c && m_hWnd) {
        CModelInfo table(&c->model, model::kQueryPortDefault, 0, model::layout::kFixedFirst);
        const DWORD capability = table.GetData() ? table.U32(0) : kDefaultStatusMonitorCapability;
        BOOL usable = HasPortCapability(&c->portInfo, capability);
        if (usable && c->portInfo.addressKind == kPortAddressWithPort)
            usable = DeviceMonitorVersion() >= kDeviceMonitorNeeded;
        ::EnableWindow(::GetDlgItem(m_hWnd, kStatusMonitorId), usable);
        const BOOL suppressed = m_bSuppressChanges;
        m_bSuppressChanges = TRUE;
        preview_.Refresh();
        m_bSuppressChanges = suppressed;
    }
    return CPropPage::OnSetActive();
}

void CProfilePropPage::OnStatusMonitor() {
    if (SheetContext* c = Context()) LaunchStatusMonitor(m_hWnd, c, c->portName);
}

BOOL CProfilePropPage::OnContextHelpRequest(HWND window, POINT point) {
    // A disabled status-monitor button passes its clicks to the page: it
    // still gets its own help.
    HWND button = ::GetDlgItem(m_hWnd, kStatusMonitorId);
    RECT r{};
    if (window && ::GetDlgCtrlID(window) == 0 && button && ::GetWindowRect(button, &r) &&
        point.x >= r.left && point.x < r.right && point.y >= r.top && point.y < r.bottom)
        window = button;
    return CPropPage::OnContextHelpRequest(window, point);
}

HANDLE AddPropPage(CPropPage* page, PFNCOMPROPSHEET callback, HANDLE sheet) {
    if (!page) return nullptr;
    HPROPSHEETPAGE handle = callback ? CreatePropertySheetPageW(&page->m_psp) : nullptr;
    if (!handle) {
        // The sheet never saw the page: nothing will release it.
        delete page;
        return nullptr;
    }
    HANDLE added = nullptr;
    try {
        added = reinterpret_cast<HANDLE>(
            callback(sheet, CPSFUNC_ADD_HPROPSHEETPAGE, reinterpret_cast<LPARAM>(handle), 0));
    } catch (...) {
        // The sheet never took the page: release it before the failure goes on.
        DestroyPropertySheetPage(handle);
        throw;
    }
    if (!added) {
        DestroyPropertySheetPage(handle); // releases the page object
        return nullptr;
    }
    page->m_hPageHandle = added;
    return added;
}

} // namespace sheetwright
