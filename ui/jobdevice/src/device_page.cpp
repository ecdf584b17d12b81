#include "device_page.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "control_states.h"
#include "detected_options.h"
#include "devmode_corrections.h"
#include "devmode_helpers.h"
#include "dialog_lookups.h"
#include "form_tray_table.h"
#include "install_option.h"
#include "kinsoku_list.h"
#include "kinsoku_rules.h"
#include "list_helpers.h"
#include "localize.h"
#include "model/model_queries.h"
#include "model_codes.h"
#include "model_info.h"
#include "option_detection.h"
#include "sheet_help.h"
#include "win/registry.h"
#include "win/spool.h"

namespace sheetwright {
namespace {

constexpr DWORD kStringRange = 6501, kStringInstalled = 6502, kStringNotInstalled = 6503;
constexpr DWORD kStringNone = 4601, kStringOn = 4001, kStringOff = 4002;
constexpr DWORD kStringAutoSelect = 20027, kStringSpecifiedTray = 20028, kStringMegabytes = 6518;
constexpr DWORD kStringAutoTitle = 6500, kStringUnchanged = 6504, kStringChanged = 6505;
constexpr DWORD kStringNoDevice = 6506, kStringCannotSave = 3126;
constexpr DWORD kHelpContextDevice = 300;
// The resource library's drawing whose size the picture takes.
constexpr WORD kDeviceDrawing = 2512;
constexpr WORD kOptionInnerBin = model::kQueryOutputBins;
constexpr WORD kLargeTrayKind = 5;
constexpr WORD kAnyKind = 0xFFFF;
// Model tables of the page (query, entry, layout).
constexpr WORD kTableResourceIds = model::kQueryResourceIds;
constexpr WORD kResourceDiskLabel = 6, kResourceFinisherLabel = 7;
constexpr size_t kFinisherName = 8, kFinisherPunch = 48, kFinisherStaple = 50;
constexpr WORD kAvailabilityChosen = 0, kAvailabilityShown = 2;
constexpr size_t kOptionRecord = 16, kOptionFlagsAt = 8;
constexpr size_t kModuleRecord = 16, kModuleSizeAt = 4, kModuleFlagsAt = 8;
constexpr DWORD kMostModules = 2;
// Table 51's port bits and the model's "network" default (table 96).
constexpr DWORD kPortKindBits = 0xF000;
constexpr char16_t kChangePaperTraySizeValue[] = u"ChangePaperTraySize";
// PrivateFlags bit 9: the duplex type follows the duplex unit.
constexpr DWORD kDuplexTypeFollowsUnit = 0x200;

std::u16string Load(const SheetContext* c, DWORD id) {
    std::u16string text;
    if (c) CLocalize(c->resourceModule).LoadString(id, &text);
    return text;
}

void AddItem(HWND combo, const std::u16string& text, LPARAM data) {
    const LRESULT at =
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (at >= 0) ::SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(at), data);
}

void SetState(InstallOptionEntry* e, bool installed) {
    if (e) e->state = installed ? 1 : 0;
}

// Whether model table 37 defines the option with any of the flag bits.
bool OptionDefined(const ModelBlock* binding, WORD option, BYTE bits) {
    CModelInfo info(binding, model::kQueryOptionDirectory, option, 2);
    for (size_t at = 0; info.GetData() && at + kOptionRecord <= info.Length(); at += kOptionRecord)
        if (info.U8(at + kOptionFlagsAt) & bits) return true;
    return false;
}

WORD FinisherWord(const ModelBlock* binding, WORD finisher, size_t at) {
    CModelInfo info(binding, model::kQueryFinishers, finisher, 3);
    return info.GetData() && info.Length() >= at + 2 ? info.U16(at) : 0xFFFF;
}

bool HasFinisherRecord(const ModelBlock* binding, WORD finisher) {
    CModelInfo info(binding, model::kQueryFinishers, finisher, 3);
    return info.GetData() != nullptr;
}

} // namespace

BEGIN_MESSAGE_MAP(CDevice, CPropPage)
ON_EN_CHANGE(CDevice::kTrayEdit, OnTrayCount)
ON_EN_KILLFOCUS(CDevice::kTrayEdit, OnTrayCountLeft)
ON_CBN_SELCHANGE(CDevice::kLargeTray, OnLargeTray)
ON_CBN_SELCHANGE(CDevice::kDuplex, OnDuplex)
ON_CBN_SELCHANGE(CDevice::kDisk, OnDisk)
ON_CBN_SELCHANGE(CDevice::kMemory, OnMemory)
ON_CBN_SELCHANGE(CDevice::kFinisher, OnFinisher)
ON_CBN_SELCHANGE(CDevice::kPunch, OnPunch)
ON_CBN_SELCHANGE(CDevice::kStaple, OnStaple)
ON_CBN_SELCHANGE(CDevice::kInnerTray, OnInnerTray)
ON_CBN_SELCHANGE(CDevice::kCounter, OnCounter)
ON_CBN_SELCHANGE(CDevice::kChangeTray, OnChangeTray)
ON_BN_CLICKED(CDevice::kAutoConfig, OnAutoConfiguration)
ON_BN_CLICKED(CDevice::kRestore, OnRestoreDefaults)
ON_BN_CLICKED(CDevice::kSupport, OnSupportContacts)
END_MESSAGE_MAP()

CDevice::CDevice(SheetContext* context) : CPropPage(kPageDevice, context) {}

DWORD CDevice::InstalledCount(WORD option) const {
    CInstallOption* list = Context() ? Context()->installOptions : nullptr;
    DWORD n = 0;
    for (DWORD i = 1; list && list->FindNth(option, i); ++i)
        if (list->FindNth(option, i)->state) ++n;
    return n;
}

int CDevice::Selected(int id) const {
    const LRESULT data = GetComboSelData(::GetDlgItem(m_hWnd, id));
    return data == CB_ERR ? -1 : static_cast<int>(data);
}

BOOL CDevice::OnInitDialog() {
    CPropPage::OnInitDialog();
    SheetContext* c = Context();
    ::ShowWindow(::GetDlgItem(m_hWnd, kSpoolFolder), SW_HIDE);
    CInstallOption* list = c ? c->installOptions : nullptr;
    if (!c || !list) return TRUE;
    const ModelBlock* binding = &c->model;
    const ModelOptionPair* pair = c->optionPair;

    standard_ = CountPaperSources(binding);
    mainTrays_ = CountMainTrays(binding);
    allTrays_ = GetTotalTrayCount(binding);
    largeTrays_ = list->CountEntries(kOptionTray, kLargeTrayKind);
    largeTrayId_ = GetKind5TrayId(binding, 0);
    traysOffered_ = HasTable37Entry(pair, kOptionTray) && mainTrays_ > 0;
    largeOffered_ = largeTrayId_ != 0;
    duplexOffered_ = HasTable37Entry(pair, kOption25) != FALSE;
    diskShown_ = OptionDefined(binding, kOptionMemory35, 0x3);
    diskSettable_ = HasTable37Entry(pair, kOptionMemory35) != FALSE;
    memoryOffered_ = HasTable37Entry(pair, kOptionMemory36) != FALSE;
    finisherOffered_ = HasTable37Entry(pair, kOptionFinisher) != FALSE;
    for (DWORD n = 1; const InstallOptionEntry* f = list->FindNth(kOptionFinisher, n); ++n) {
        const WORD punch = FinisherWord(binding, f->value, kFinisherPunch);
        punchOffered_ |= punch == kAvailabilityChosen || punch == kAvailabilityShown;
        stapleOffered_ |= FinisherWord(binding, f->value, kFinisherStaple) == kAvailabilityChosen;
    }
    innerBin_ = FindFlaggedOutputBinId(binding);
    innerOffered_ = innerBin_ != 0;
    counterOffered_ = list->CountEntries(kOption63, kAnyKind) > 0;
    changeOffered_ = list->ChangePaperTraySupported() != 0;
    startDisks_ = InstalledCount(kOptionMemory35);
    startTrays_ = InstalledCount(kOptionTray);
    startDuplex_ = InstalledCount(kOption25);

    {
        std::u16string format = Load(c, kStringRange);
        // "( %d - %d )": the two numbers in their places.
        std::u16string text;
        int which = 0;
        for (size_t i = 0; i < format.size(); ++i) {
            if (format[i] == u'%' && i + 1 < format.size() && format[i + 1] == u'd' && which < 2) {
                const DWORD v = which++ == 0 ? standard_ : standard_ + mainTrays_;
                for (char ch : std::to_string(v))
                    text += static_cast<char16_t>(ch);
                ++i;
            } else {
                text += format[i];
            }
        }
        ::SetDlgItemTextW(m_hWnd, kTrayRange, text.c_str());
    }

    const ControlRow rows[] = {
        {{311, kTrayEdit, kTrayUpDown, kTrayRange}, traysOffered_},
        {{315, kLargeTray, 0, 0}, largeOffered_},
        {{317, kDuplex, 0, 0}, duplexOffered_},
        {{319, kDisk, 0, 0}, diskShown_},
        {{321, kMemory, 0, 0}, memoryOffered_},
        {{323, kFinisher, 0, 0}, finisherOffered_},
        {{325, kPunch, 0, 0}, punchOffered_},
        {{327, kStaple, 0, 0}, stapleOffered_},
        {{340, kInnerTray, 0, 0}, innerOffered_},
        {{329, kCounter, 0, 0}, counterOffered_},
        {{346, kChangeTray, 0, 0}, changeOffered_},
    };
    ShowControlRows(m_hWnd, rows, static_cast<DWORD>(std::size(rows)), TRUE);
    PlacePicture();
    ::ShowWindow(::GetDlgItem(m_hWnd, kFrame), SW_HIDE);
    ::ShowWindow(::GetDlgItem(m_hWnd, kHidden), SW_HIDE);

    // The up-down reaches exactly the counts the edit accepts.
    ::SendDlgItemMessageW(m_hWnd, kTrayUpDown, UDM_SETRANGE32, standard_, standard_ + mainTrays_);
    ::SendDlgItemMessageW(m_hWnd, kTrayEdit, EM_LIMITTEXT, 1, 0);

    const std::u16string installed = Load(c, kStringInstalled);
    const std::u16string notInstalled = Load(c, kStringNotInstalled);
    for (int id : {kLargeTray, kDuplex, kDisk, kPunch, kStaple, kInnerTray}) {
        HWND combo = ::GetDlgItem(m_hWnd, id);
        AddItem(combo, notInstalled, 0);
        AddItem(combo, installed, 1);
    }
    AddItem(::GetDlgItem(m_hWnd, kCounter), Load(c, kStringOn), 1);
    AddItem(::GetDlgItem(m_hWnd, kCounter), Load(c, kStringOff), 0);
    AddItem(::GetDlgItem(m_hWnd, kChangeTray), Load(c, kStringAutoSelect), 1);
    AddItem(::GetDlgItem(m_hWnd, kChangeTray), Load(c, kStringSpecifiedTray), 0);
    HWND finisher = ::GetDlgItem(m_hWnd, kFinisher);
    if (!list->Find(kOptionFinisher, kNoFinisher))
        AddItem(finisher, Load(c, kStringNone), kNoFinisher);
    for (DWORD n = 1; const InstallOptionEntry* f = list->FindNth(kOptionFinisher, n); ++n) {
        // The entry's own string, else the model's name of the finisher;
        // the combination entry without either reads "None".
        std::u16string name = Load(c, f->modelWord);
        if (name.empty()) {
            CModelInfo record(binding, model::kQueryFinishers, f->value, 3);
            std::string ansi;
            for (size_t i = kFinisherName; i < kFinisherPunch && record.U8(i); ++i)
                ansi += static_cast<char>(record.U8(i));
            name = AnsiToWide(ansi.data(), ansi.size());
        }
        if (name.empty() && f->value == kNoFinisher) name = Load(c, kStringNone);
        AddItem(finisher, name, f->value);
    }
    FillMemoryChoices();

    for (auto [entry, label] : {std::pair<WORD, int>{kResourceDiskLabel, 319},
                                std::pair<WORD, int>{kResourceFinisherLabel, 323}}) {
        CModelInfo text(binding, kTableResourceIds, entry, 1);
        if (!text.GetData() || text.Length() < 4) continue;
        const std::u16string replaced = Load(c, text.U16(2));
        if (replaced.empty()) continue;
        ::SetDlgItemTextW(m_hWnd, label, replaced.c_str());
        if (label == 319 && replaced.find(u'\n') != std::u16string::npos) {
            HWND control = ::GetDlgItem(m_hWnd, label);
            RECT r{};
            ::GetWindowRect(control, &r);
            POINT at{r.left, r.top};
            ::ScreenToClient(m_hWnd, &at);
            const int height = r.bottom - r.top;
            ::SetWindowPos(control, nullptr, at.x, at.y - height / 2, r.right - r.left, height * 2,
                           SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }

    RefreshControls();
    ::ShowWindow(::GetDlgItem(m_hWnd, kAutoConfig), SW_SHOW);
    ::ShowWindow(::GetDlgItem(m_hWnd, kSupport), c->constantOne ? SW_SHOW : SW_HIDE);
    ::EnableWindow(::GetDlgItem(m_hWnd, kSupport), c->constantOne != 0);
    return TRUE;
}

void CDevice::PlacePicture() {
    SheetContext* c = Context();
    HWND frame = ::GetDlgItem(m_hWnd, kFrame);
    HWND picture = ::GetDlgItem(m_hWnd, kPicture);
    if (!frame || !picture) return;
    // The picture takes the frame's corner at the size of the device drawing.
    RECT r{};
    ::GetWindowRect(frame, &r);
    POINT at{r.left, r.top};
    ::ScreenToClient(m_hWnd, &at);
    int width = r.right - r.left, height = r.bottom - r.top;
    if (HBITMAP drawing = ::LoadBitmapW(c->resourceModule, MAKEINTRESOURCEW(kDeviceDrawing))) {
        BITMAP size{};
        if (::GetObjectW(drawing, sizeof size, &size)) {
            width = size.bmWidth;
            height = size.bmHeight;
        }
        ::DeleteObject(drawing);
    }
    ::SetWindowPos(picture, nullptr, at.x, at.y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (!picture_.m_hWnd) picture_.SubclassDlgItem(kPicture, this);
    picture_.SetPage(this);
}

void CDevice::FillMemoryChoices() {
    SheetContext* c = Context();
    HWND combo = ::GetDlgItem(m_hWnd, kMemory);
    ::SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    CModelInfo limits(&c->model, model::kQueryMemory, 0, 1);
    const DWORD onBoard = limits.U32(0), maximum = limits.U32(12);
    limits.Release();
    CModelInfo modules(&c->model, model::kQueryMemory, 0, 2);
    std::vector<DWORD> optional;
    DWORD start = onBoard, standardModules = 0;
    for (size_t at = 0; modules.GetData() && at + kModuleRecord <= modules.Length();
         at += kModuleRecord) {
        const DWORD flags = modules.U32(at + kModuleFlagsAt);
        const DWORD size = modules.U32(at + kModuleSizeAt);
        if ((flags & 3) == 2) {
            start += size;
            ++standardModules;
        } else if (flags & 1) {
            optional.push_back(size);
        }
    }
    const DWORD freeSlots = standardModules < kMostModules ? kMostModules - standardModules : 0;
    std::vector<ULONGLONG> totals;
    auto offer = [&](ULONGLONG total) {
        if (maximum && total > maximum) return;
        if (std::find(totals.begin(), totals.end(), total) == totals.end()) totals.push_back(total);
    };
    if (start) offer(start);
    if (freeSlots >= 1)
        for (size_t i = 0; i < optional.size(); ++i) {
            offer(static_cast<ULONGLONG>(start) + optional[i]);
            if (freeSlots >= 2)
                for (size_t j = i + 1; j < optional.size(); ++j)
                    offer(static_cast<ULONGLONG>(start) + optional[i] + optional[j]);
        }
    std::sort(totals.begin(), totals.end());
    const std::u16string format = Load(c, kStringMegabytes);
    for (ULONGLONG total : totals) {
        std::u16string text;
        const size_t mark = format.find(u"%ld");
        const std::string number = std::to_string(total);
        const std::u16string digits(number.begin(), number.end());
        text = mark == std::u16string::npos
                   ? digits + format
                   : format.substr(0, mark) + digits + format.substr(mark + 3);
        AddItem(combo, text, static_cast<LPARAM>(total));
    }
}

void CDevice::RefreshControls() {
    SheetContext* c = Context();
    CInstallOption* list = c ? c->installOptions : nullptr;
    if (!list || !m_hWnd) return;
    updating_ = true;
    const ModelBlock* binding = &c->model;
    auto select = [&](int id, LPARAM data, bool enabled) {
        SelectComboByData(::GetDlgItem(m_hWnd, id), data);
        ::EnableWindow(::GetDlgItem(m_hWnd, id), enabled);
    };
    select(kDuplex, InstalledCount(kOption25) > 0, duplexOffered_);
    select(kDisk, InstalledCount(kOptionMemory35) > 0, diskSettable_);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_DEVICE_DISK_LABEL), diskSettable_);

    const InstallOptionEntry* fitted = list->FindInstalledFinisher(1);
    const WORD finisher = fitted ? fitted->value : kNoFinisher;
    select(kFinisher, finisher, finisherOffered_);
    const bool record = fitted && HasFinisherRecord(binding, finisher);
    const bool punchChoice = record && punchOffered_ &&
                             FinisherWord(binding, finisher, kFinisherPunch) == kAvailabilityChosen;
    const bool stapleChoice =
        record && stapleOffered_ &&
        FinisherWord(binding, finisher, kFinisherStaple) == kAvailabilityChosen;
    select(kPunch, fitted && (fitted->state & kFinisherPunchUnit) ? 1 : 0, punchChoice);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_DEVICE_PUNCH_LABEL), punchChoice);
    select(kStaple, fitted && (fitted->state & kFinisherFoldUnit) ? 1 : 0, stapleChoice);
    ::EnableWindow(::GetDlgItem(m_hWnd, IDC_DEVICE_STAPLE_LABEL), stapleChoice);

    select(kMemory, static_cast<LPARAM>(GetInstalledMemorySize(c->optionPair)), memoryOffered_);

    DWORD trays = standard_;
    for (DWORD i = 0; i < mainTrays_; ++i)
        if (const InstallOptionEntry* e = list->Find(kOptionTray, GetMainTrayId(binding, i));
            e && e->state)
            ++trays;
    BOOL ok = FALSE;
    if (::GetDlgItemInt(m_hWnd, kTrayEdit, &ok, FALSE) != trays || !ok)
        ::SetDlgItemInt(m_hWnd, kTrayEdit, trays, FALSE);
    ::SendDlgItemMessageW(m_hWnd, kTrayUpDown, UDM_SETPOS32, 0, static_cast<LPARAM>(trays));
    ::EnableWindow(::GetDlgItem(m_hWnd, kTrayEdit), HasTable37Entry(c->optionPair, kOptionTray));

    if (const InstallOptionEntry* large = list->Find(kOptionTray, largeTrayId_);
        large && largeTrayId_)
        SelectComboByData(::GetDlgItem(m_hWnd, kLargeTray), large->state ? 1 : 0);
    ::EnableWindow(::GetDlgItem(m_hWnd, kLargeTray), largeOffered_);
    if (const InstallOptionEntry* inner = list->Find(kOptionInnerBin, innerBin_);
        inner && innerBin_)
        SelectComboByData(::GetDlgItem(m_hWnd, kInnerTray), inner->state ? 1 : 0);
    ::EnableWindow(::GetDlgItem(m_hWnd, kInnerTray), innerOffered_);
    SelectComboByData(::GetDlgItem(m_hWnd, kChangeTray), list->ChangePaperTray());
    SelectComboByData(::GetDlgItem(m_hWnd, kCounter), InstalledCount(kOption63) > 0 ? 1 : 0);
    LockControlsIfReadOnly();
    updating_ = false;
}

void CDevice::Changed() {
    NotifySettingsChanged(TRUE, FALSE);
}

void CDevice::RepaintPicture() {
    if (HWND picture = ::GetDlgItem(m_hWnd, kPicture)) ::InvalidateRect(picture, nullptr, TRUE);
}

void CDevice::OnTrayCount() {
    if (updating_) return;
    SheetContext* c = Context();
    if (!c || !c->installOptions) return;
    BOOL ok = FALSE;
    const UINT typed = ::GetDlgItemInt(m_hWnd, kTrayEdit, &ok, FALSE);
    if (!ok) return;
    // A number beyond the model's trays counts as its limit until the edit
    // is left, when the edit shows the limit too.
    const DWORD n = std::clamp<DWORD>(typed, standard_, standard_ + mainTrays_);
    for (DWORD i = 0; i < mainTrays_; ++i)
        SetState(c->installOptions->Find(kOptionTray, GetMainTrayId(&c->model, i)),
                 i < n - standard_);
    Changed();
    RepaintPicture();
}

void CDevice::OnTrayCountLeft() {
    BOOL ok = FALSE;
    const UINT typed = ::GetDlgItemInt(m_hWnd, kTrayEdit, &ok, FALSE);
    const DWORD n = std::clamp<DWORD>(ok ? typed : standard_, standard_, standard_ + mainTrays_);
    if (!ok || n != typed) ::SetDlgItemInt(m_hWnd, kTrayEdit, n, FALSE);
    updating_ = true;
    ::SendDlgItemMessageW(m_hWnd, kTrayUpDown, UDM_SETPOS32, 0, static_cast<LPARAM>(n));
    updating_ = false;
}

void CDevice::OnLargeTray() {
    SheetContext* c = Context();
    if (updating_ || !c->installOptions) return;
    SetState(c->installOptions->Find(kOptionTray, largeTrayId_), Selected(kLargeTray) == 1);
    Changed();
    RepaintPicture();
}

void CDevice::OnDuplex() {
    SheetContext* c = Context();
    if (updating_ || !c->installOptions) return;
    SetState(c->installOptions->FindNth(kOption25, 1), Selected(kDuplex) == 1);
    if (c->defaultImage.priv.PrivateFlags & kDuplexTypeFollowsUnit)
        c->defaultImage.priv.DuplexType = InstalledCount(kOption25) ? 0 : 1;
    Changed();
}

void CDevice::OnDisk() {
    SheetContext* c = Context();
    if (updating_ || !c->installOptions) return;
    SetState(c->installOptions->FindNth(kOptionMemory35, 1), Selected(kDisk) == 1);
    Changed();
}

void CDevice::OnMemory() {
    SheetContext* c = Context();
    if (updating_ || !c->installOptions || Selected(kMemory) < 0) return;
    SetInstalledMemory(&c->model, c->installOptions, static_cast<DWORD>(Selected(kMemory)));
    Changed();
}

void CDevice::OnFinisher() {
    SheetContext* c = Context();
    if (updating_ || !c->installOptions) return;
    const int chosen = Selected(kFinisher);
    const DWORD punch = Selected(kPunch) == 1, staple = Selected(kStaple) == 1;
    c->installOptions->ClearOption(kOptionFinisher);
    if (chosen >= 0 && chosen != kNoFinisher)
        MarkFinisherInstalled(c->optionPair, static_cast<WORD>(chosen), punch, staple);
    Changed();
    RefreshControls();
    RepaintPicture();
}

void CDevice::SetFinisherUnit(DWORD bit, bool on) {
    SheetContext* c = Context();
    if (updating_ || !c->installOptions) return;
    if (InstallOptionEntry* fitted = c->installOptions->FindInstalledFinisher(1))
        fitted->state = on ? fitted->state | bit : fitted->state & ~bit;
    Changed();
    RepaintPicture();
}

void CDevice::OnPunch() {
    SetFinisherUnit(kFinisherPunchUnit, Selected(kPunch) == 1);
}

void CDevice::OnStaple() {
    SetFinisherUnit(kFinisherFoldUnit, Selected(kStaple) == 1);
}

void CDevice::OnInnerTray() {
    SheetContext* c = Context();
    if (updating_ || !c->installOptions) return;
    SetState(c->installOptions->Find(kOptionInnerBin, innerBin_), Selected(kInnerTray) == 1);
    Changed();
    RepaintPicture();
}

void CDevice::OnCounter() {
    SheetContext* c = Context();
    if (updating_ || !c->installOptions) return;
    SetState(c->installOptions->FindNth(kOption63, 1), Selected(kCounter) == 1);
    Changed();
}

void CDevice::OnChangeTray() {
    SheetContext* c = Context();
    if (updating_ || !c->installOptions || Selected(kChangeTray) < 0) return;
    if (c->installOptions->ChangePaperTraySupported())
        c->installOptions->SetChangePaperTray(static_cast<DWORD>(Selected(kChangeTray)));
    Changed();
    RefreshControls();
}

void CDevice::OnAutoConfiguration() {
    SheetContext* c = Context();
    CInstallOption* list = c ? c->installOptions : nullptr;
    if (!list || !list->Entries()) return;
    const std::u16string title = Load(c, kStringAutoTitle);
    HWND sheet = ::GetParent(m_hWnd);
    ::EnableWindow(sheet, FALSE);
    HCURSOR previous = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    // The device answers into the list; what it leaves is kept only when it
    // answered, so a failed detection changes nothing.
    const size_t bytes = static_cast<size_t>(list->Count()) * sizeof(InstallOptionEntry);
    std::vector<BYTE> before(bytes);
    std::memcpy(before.data(), list->Entries(), bytes);
    const DWORD changePaperTray = list->ChangePaperTray();
    const DWORD result = DetectInstalledOptions(&c->model, list, c->portName);
    ::EnableWindow(sheet, TRUE);
    ::SetCursor(previous);
    if (result != kDetectOk) {
        std::memcpy(list->Entries(), before.data(), bytes);
        list->SetChangePaperTray(changePaperTray);
        ::MessageBoxW(m_hWnd, Load(c, kStringNoDevice).c_str(), title.c_str(),
                      MB_OK | MB_ICONEXCLAMATION);
    } else if (std::memcmp(list->Entries(), before.data(), bytes) != 0) {
        ::MessageBoxW(m_hWnd, Load(c, kStringChanged).c_str(), title.c_str(),
                      MB_OK | MB_ICONINFORMATION);
        Changed();
    } else {
        ::MessageBoxW(m_hWnd, Load(c, kStringUnchanged).c_str(), title.c_str(),
                      MB_OK | MB_ICONINFORMATION);
    }
    ::SetFocus(m_hWnd);
    RefreshControls();
    RepaintPicture();
}

void CDevice::OnRestoreDefaults() {
    SheetContext* c = Context();
    if (!c || !c->installOptions) return;
    // Best-effort: the controls show whatever the list then holds.
    (void)c->installOptions->Reload();
    Changed();
    RefreshControls();
    RepaintPicture();
}

void CDevice::OnSupportContacts() {
    ShowUrlJumpDialog(1);
}

BOOL CDevice::OnSetActive() {
    SheetContext* c = Context();
    BOOL usable = FALSE;
    if (c) {
        CModelInfo mask(&c->model, model::kQueryPortModelNames, 0, 1);
        if (mask.GetData() && mask.Length() >= 4) {
            DWORD ports = mask.U32(0);
            mask.Release();
            ApplyModelDefaultFlags(&c->model, &ports);
            usable = HasPortCapability(&c->portInfo, ports);
        }
    }
    ::EnableWindow(::GetDlgItem(m_hWnd, kAutoConfig), usable && !IsSheetReadOnly(c));
    return CPropPage::OnSetActive();
}

BOOL CDevice::FixDevmodeForOptions(DEVMODE_IMAGEW* image) const {
    if (!image ||
        static_cast<DWORD>(image->dm.dmSize) + image->dm.dmDriverExtra != sizeof(DEVMODE_IMAGEW))
        return FALSE;
    BOOL changed = FALSE;
    const DWORD disks = InstalledCount(kOptionMemory35);
    if (disks != startDisks_ && disks > 0 && image->priv.CollateByDriver != 0) {
        image->priv.CollateByDriver = 0;
        changed = TRUE;
    }
    const DWORD duplex = InstalledCount(kOption25);
    if (duplex != startDuplex_ && duplex > 0 && image->priv.DuplexType != 0) {
        image->priv.DuplexType = 0;
        changed = TRUE;
    }
    return changed;
}

BOOL CDevice::OnKillActive() {
    SheetContext* c = Context();
    if (c && c->installOptions) {
        FixDevmodeForOptions(&c->workingImage);
        if (c->constraints) BuildModelKinsoku(c->optionPair, c->constraints);
        ReviseDevmodeByCapabilities(c->optionPair, nullptr, &c->workingImage);
        ReviseDevmodeByOptions(c->optionPair, &c->defaultImage);
        ApplyRulesAndRefresh(c, &c->workingImage, TRUE);
    }
    return CPropPage::OnKillActive();
}

BOOL CDevice::OnApply() {
    SheetContext* c = Context();
    CInstallOption* list = c ? c->installOptions : nullptr;
    if (!list || IsSheetReadOnly(c)) return TRUE;
    DWORD failed = list->Write();
    if (!failed && list->ChangePaperTraySupported()) {
        // The value first, then the size that tells readers how much of it to take.
        BYTE value = static_cast<BYTE>(list->ChangePaperTray());
        DWORD size = 1;
        failed = SetPrinterDataW(c->printer, const_cast<LPWSTR>(kChangePaperTrayValue), REG_BINARY,
                                 &value, 1);
        if (!failed)
            failed = SetPrinterDataW(c->printer, const_cast<LPWSTR>(kChangePaperTraySizeValue),
                                     REG_DWORD, reinterpret_cast<LPBYTE>(&size), sizeof size);
    }
    // The user's own defaults follow units fitted since the sheet opened.
    DWORD needed = 0;
    ::GetPrinterW(c->printer, 9, nullptr, 0, &needed);
    if (!failed && needed >= sizeof(PRINTER_INFO_9W)) {
        std::vector<BYTE> block(needed);
        auto* info = reinterpret_cast<PRINTER_INFO_9W*>(block.data());
        if (::GetPrinterW(c->printer, 9, block.data(), needed, &needed) && info->pDevMode) {
            const auto* at = reinterpret_cast<const BYTE*>(info->pDevMode);
            DEVMODE_IMAGEW image{};
            if (at >= block.data() && at < block.data() + block.size() &&
                LoadDevmodeImage(info->pDevMode,
                                 static_cast<size_t>(block.data() + block.size() - at), &image) &&
                FixDevmodeForOptions(&image)) {
                PRINTER_INFO_9W write{&image.dm};
                if (!::SetPrinterW(c->printer, 9, reinterpret_cast<LPBYTE>(&write), 0))
                    failed = ::GetLastError() ? ::GetLastError() : ERROR_ACCESS_DENIED;
            }
        }
    }
    if (!failed && c->formTray) {
        ReconcileFormTrayTable(c->formTray, list);
        failed = SaveFormTrayTable(c->formTray);
    }
    PRINTER_INFO_7W publish{nullptr, DSPRINT_UPDATE};
    if (!failed && !::SetPrinterW(c->printer, 7, reinterpret_cast<LPBYTE>(&publish), 0))
        failed = ::GetLastError() ? ::GetLastError() : ERROR_ACCESS_DENIED;
    if (failed) {
        ::MessageBoxW(m_hWnd, Load(c, kStringCannotSave).c_str(), c->printerName,
                      MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }
    CPropPage::OnOK();
    return TRUE;
}

} // namespace sheetwright
