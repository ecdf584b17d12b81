#include "security_page.h"
#include "resbundle_ids.h"

#include <cstring>

#include "control_states.h"
#include "driver_env.h"
#include "input_edit.h"
#include "job_prompts.h"
#include "install_option.h"
#include "list_helpers.h"
#include "localize.h"
#include "model/model_queries.h"
#include "model_info.h"
#include "revise_devmode.h"
#include "saved_job_info.h"
#include "sheet_help.h"
#include "ui_entry_points.h"
#include "win/resources.h"

namespace sheetwright {
namespace {

// Controls of the page.
constexpr int kTypeGroup = IDC_JOB_TYPE_TYPE_GROUP, kTypeCheck = IDC_JOB_TYPE_TYPE_CHECK,
              kTypeLabel = IDC_JOB_TYPE_TYPE_LABEL, kFirstTypeButton = 264, kLastTypeButton = 268,
              kIdLabel = IDC_JOB_TYPE_ID_LABEL, kIdEdit = IDC_JOB_TYPE_ID_EDIT,
              kShortPasswordLabel = IDC_JOB_TYPE_SHORT_PASSWORD_LABEL,
              kShortPassword = IDC_JOB_TYPE_SHORT_PASSWORD,
              kWidePasswordLabel = IDC_JOB_TYPE_WIDE_PASSWORD_LABEL,
              kWidePassword = IDC_JOB_TYPE_WIDE_PASSWORD, kTypeAtPrint = IDC_JOB_TYPE_TYPE_AT_PRINT,
              kInfoGroup = IDC_JOB_TYPE_INFO_GROUP, kUserEdit = IDC_JOB_INFO_USER_EDIT,
              kJobEdit = IDC_JOB_INFO_JOB_EDIT, kInfoAtPrint = IDC_JOB_TYPE_INFO_AT_PRINT,
              kDeptGroup = IDC_JOB_TYPE_DEPT_GROUP, kDeptLabel = IDC_JOB_TYPE_DEPT_LABEL,
              kDeptEdit = IDC_JOB_TYPE_DEPT_EDIT, kSaveDeptId = IDC_JOB_TYPE_SAVE_DEPT_ID,
              kDeptAtPrint = IDC_JOB_TYPE_DEPT_AT_PRINT, kSavePersonal = IDC_JOB_TYPE_SAVE_PERSONAL;

// Strings and icons of the resource library.
constexpr DWORD kStringTypeNames = 6200; // + type - 1
constexpr DWORD kStringNoType = 6205;
constexpr DWORD kStringCurrentSetting = 6206;
constexpr DWORD kStringDeptCaption = 6211;
constexpr DWORD kStringJobInfoCaption = 6231;
constexpr DWORD kStringInputUserId = 6232;
constexpr DWORD kStringInputPassword = 6233;
constexpr DWORD kStringEnterUserId = 6237;
constexpr DWORD kStringDeptNotInput = 6234;
constexpr DWORD kStringEnterDeptCode = 6241;
constexpr DWORD kStringBadUserName = 6244;
constexpr DWORD kStringBadJobName = 6245;
constexpr DWORD kStringJobTypeCaption = 3340;
constexpr WORD kTypeIcons[CSecurity::kTypes] = {2132, 2130, 2131, 2133, 2134};

// PrivateFlags bits of the offered types and the department counter.
constexpr DWORD kTypeOffered[CSecurity::kTypes] = {1u << 24, 1u << 25, 1u << 26, 1u << 28,
                                                   1u << 29};
constexpr DWORD kDeptCounterOffered = 1u << 27;
// The search order of the first offered type: Mailbox, Secure Mailbox,
// Check then Print, Memory Print, Confidential Print.
constexpr WORD kSearchOrder[CSecurity::kTypes] = {2, 3, 1, 4, 5};
// ValidateJobInputFields' permission slot of each type.
constexpr int kPermissionSlot[CSecurity::kTypes] = {0, 3, 4, 1, 2};

constexpr WORD kDeptCounterOn = 0x1, kDeptSaveId = 0x2, kDeptAtPrintBit = 0x4;
constexpr WORD kTypeAtPrintBit = 0x1;
constexpr DWORD kInfoAtPrintBits = 0x30000;
constexpr DWORD kSavePersonalAll = 255;
constexpr DWORD kSkipLeaveChecks = 0x20;
constexpr WORD kOptionDeptCounter = 63;
constexpr DWORD kDeptPromptOn = 0x10, kDeptPromptOff = 0x20;
constexpr DWORD kDefaultDeptInputFlags = 0x1001, kDeviceDeptCodeBytes = 8;
constexpr DWORD kUserNameLimit = 20, kJobNameLimit = 80;
constexpr DWORD kHelpContextJobType = 250;

std::u16string Text(HMODULE module, DWORD id) {
    std::u16string text;
    CLocalize(module).LoadString(id, &text);
    return text;
}

std::u16string EditTextOf(HWND edit) {
    const int length = ::GetWindowTextLengthW(edit);
    std::u16string text(static_cast<size_t>(length > 0 ? length : 0) + 1, u'\0');
    if (length > 0) ::GetWindowTextW(edit, text.data(), length + 1);
    return text.c_str();
}

BOOL(*const kTypeInstalled[CSecurity::kTypes])
(const ModelOptionPair*) = {IsJobType60Available, IsJobType73Available, IsJobType74Available,
                            IsJobType61Available, IsJobType62Available};

} // namespace

BEGIN_MESSAGE_MAP(CSecurity, CProfilePropPage)
ON_BN_CLICKED(kTypeCheck, OnJobTypeCheck)
ON_COMMAND_RANGE(kFirstTypeButton, kLastTypeButton, OnTypeButton)
ON_BN_CLICKED(kInfoAtPrint, OnInfoAtPrint)
ON_BN_CLICKED(kDeptAtPrint, OnDeptAtPrint)
ON_BN_CLICKED(kTypeAtPrint, OnTypeAtPrint)
ON_BN_CLICKED(kSaveDeptId, OnSaveDeptId)
ON_BN_CLICKED(kSavePersonal, OnSavePersonal)
ON_BN_CLICKED(IDHELP, OnHelpButton)
ON_EN_CHANGE(kIdEdit, OnIdChange)
ON_CONTROL_RANGE(EN_CHANGE, kShortPassword, kShortPassword, OnPasswordChange)
ON_CONTROL_RANGE(EN_CHANGE, kWidePassword, kWidePassword, OnPasswordChange)
ON_EN_CHANGE(kUserEdit, OnUserNameChange)
ON_EN_CHANGE(kJobEdit, OnJobNameChange)
ON_EN_CHANGE(kDeptEdit, OnDeptCodeChange)
END_MESSAGE_MAP()

CSecurity::CSecurity(SheetContext* context) : CProfilePropPage(kPageJobType, context) {}

CSecurity::~CSecurity() {
    for (HICON& icon : icons_)
        if (icon) ::DestroyIcon(icon);
}

PRIVATE_DEVMODE& CSecurity::Priv() {
    return Context()->workingImage.priv;
}

const JobInputRule* CSecurity::RuleOfType(WORD type) const {
    if (type >= 1 && type <= kTypes && hasRule_[type - 1]) return &rules_[type - 1];
    for (WORD t : kSearchOrder)
        if (Offered(t) && hasRule_[t - 1]) return &rules_[t - 1];
    return nullptr;
}

int CSecurity::PasswordEdit() const {
    return idRow_ ? kShortPassword : kWidePassword;
}

BOOL CSecurity::OnInitDialog() {
    CProfilePropPage::OnInitDialog();
    SheetContext* c = Context();
    if (!c) return TRUE;
    updating_ = true;
    PRIVATE_DEVMODE& priv = Priv();
    HMODULE res = c->resourceModule;
    for (int t = 1; t <= kTypes; ++t)
        offered_[t - 1] = (priv.PrivateFlags & kTypeOffered[t - 1]) != 0;
    rememberedType_ = priv.JobType ? priv.JobType : 1;
    ReviseContext revise = SheetReviseContext(c);
    JobFieldCheck check{};
    const BOOL typeAtPrint = ValidateJobInputFields(&revise, &c->workingImage, &check);
    for (int t = 1; t <= kTypes; ++t)
        permitted_[t - 1] = check.tableFlags[kPermissionSlot[t - 1]] != 0;
    labelFlag_ = check.flags;
    typeAtPrintOffered_ = (typeAtPrint & 1) != 0;
    infoOffered_ =
        (CModelInfo(&c->model, model::kQueryFeatureFlags, 0, model::layout::kFixedFirst).U8(0) &
         7) != 0;
    DWORD key = 0;
    savePersonalOffered_ = !(FindModelKeyValue(&c->model, &key) && (key & 0x4));
    deptOffered_ = (priv.PrivateFlags & kDeptCounterOffered) != 0;
    deptInstalled_ = c->installOptions && c->installOptions->FindNth(kOptionDeptCounter, 0);
    CModelInfo deptPrompt(&c->model, model::kQueryDepartmentPrompt, 0, model::layout::kFixedFirst);
    const DWORD promptFlags = deptPrompt.U32(0);
    deptPromptExists_ = (promptFlags & kDeptPromptOn) && !(promptFlags & kDeptPromptOff);

    // The offered types' icons, captions and rules; the others are hidden.
    for (WORD t : kSearchOrder) {
        HWND button = ::GetDlgItem(m_hWnd, kFirstTypeButton + t - 1);
        if (!Offered(t)) {
            ::ShowWindow(button, SW_HIDE);
            continue;
        }
        icons_[t - 1] = ::LoadIconW(res, MAKEINTRESOURCEW(kTypeIcons[t - 1]));
        if (icons_[t - 1])
            ::SendMessageW(button, BM_SETIMAGE, IMAGE_ICON,
                           reinterpret_cast<LPARAM>(icons_[t - 1]));
        const std::u16string caption = Text(res, kStringTypeNames + t - 1);
        ::SetWindowTextW(button, caption.c_str());
        AddToolTip(res, Tooltip(), button, kStringTypeNames + t - 1, &tips_[t - 1]);
        hasRule_[t - 1] = FillJobInputRule(&c->model, t, &rules_[t - 1]) != FALSE;
        if (hasRule_[t - 1] && rules_[t - 1].firstFlag) idRow_ = true;
    }
    LayOutTypeButtons();
    // The password rows follow whether any offered type asks a password.
    passwordNeeded_ = false;
    for (int t = 1; t <= kTypes; ++t)
        passwordNeeded_ |= Offered(t) && hasRule_[t - 1] && rules_[t - 1].secondFlag;
    for (int id : {kIdLabel, kIdEdit})
        ::ShowWindow(::GetDlgItem(m_hWnd, id), idRow_ ? SW_SHOW : SW_HIDE);
    for (int id : {kShortPasswordLabel, kShortPassword})
        ::ShowWindow(::GetDlgItem(m_hWnd, id), passwordNeeded_ && idRow_ ? SW_SHOW : SW_HIDE);
    for (int id : {kWidePasswordLabel, kWidePassword})
        ::ShowWindow(::GetDlgItem(m_hWnd, id), passwordNeeded_ && !idRow_ ? SW_SHOW : SW_HIDE);

    // Asking the job type at print time takes a row of its own under the buttons.
    HWND atPrint = ::GetDlgItem(m_hWnd, kTypeAtPrint);
    if (typeAtPrintOffered_ && atPrint) {
        RECT r{};
        ::GetWindowRect(atPrint, &r);
        const int shift = (r.bottom - r.top) + 4;
        MoveBelow(kInfoGroup, shift);
        RECT group{};
        ::GetWindowRect(::GetDlgItem(m_hWnd, kTypeGroup), &group);
        ::SetWindowPos(::GetDlgItem(m_hWnd, kTypeGroup), nullptr, 0, 0, group.right - group.left,
                       group.bottom - group.top + shift, SWP_NOMOVE | SWP_NOZORDER);
        ::ShowWindow(atPrint, SW_SHOW);
    }

    if (deptOffered_) {
        CModelInfo rule(&c->model, model::kQueryDepartmentPrompt, 0, model::layout::kFixedSecond);
        DWORD flags = rule.U32(8), length = rule.U32(12);
        char extra[32] = {};
        for (size_t i = 0; i + 1 < sizeof extra; ++i)
            extra[i] = static_cast<char>(rule.U8(16 + i));
        if (!flags) flags = kDefaultDeptInputFlags;
        // The device takes 8 bytes of a code: a longer one is refused while typing.
        if (!length || length > kDeviceDeptCodeBytes) length = kDeviceDeptCodeBytes;
        HWND edit = ::GetDlgItem(m_hWnd, kDeptEdit);
        SetupInputEdit(edit, flags, length, extra, &deptRule_);
        AttachInputRule(edit, &deptRule_);
    }
    if (infoOffered_) {
        // The names cross into the device mode as ANSI text: their limits count its bytes.
        AttachByteLimit(::GetDlgItem(m_hWnd, kUserEdit), kUserNameLimit);
        AttachByteLimit(::GetDlgItem(m_hWnd, kJobEdit), kJobNameLimit);
    } else {
        for (int id = kInfoGroup; id <= kInfoAtPrint; ++id)
            ::ShowWindow(::GetDlgItem(m_hWnd, id), SW_HIDE);
    }
    priv.SavePersonalInfo = 0;
    ApplyIdRules();
    Refresh(true);
    updating_ = false;
    return TRUE;
}

void CSecurity::LayOutTypeButtons() {
    RECT first{}, last{};
    ::GetWindowRect(::GetDlgItem(m_hWnd, kFirstTypeButton), &first);
    ::GetWindowRect(::GetDlgItem(m_hWnd, kLastTypeButton), &last);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&first), 2);
    ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&last), 2);
    int shown = 0;
    for (int t = 1; t <= kTypes; ++t)
        shown += Offered(t) ? 1 : 0;
    int index = 0;
    for (int t = 1; t <= kTypes; ++t) {
        if (!Offered(t)) continue;
        HWND button = ::GetDlgItem(m_hWnd, kFirstTypeButton + t - 1);
        const DWORD needed[2] = {48, 48};
        DWORD growth[4] = {};
        ResizeControlWidth(m_hWnd, button, needed, growth, 0);
        const int x =
            shown > 1 ? first.left + (last.left - first.left) * index / (shown - 1) : first.left;
        ::SetWindowPos(button, nullptr, x, first.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ++index;
    }
}

void CSecurity::MoveBelow(int topId, int shift) {
    RECT top{};
    ::GetWindowRect(::GetDlgItem(m_hWnd, topId), &top);
    for (HWND child = ::GetWindow(m_hWnd, GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        RECT r{};
        ::GetWindowRect(child, &r);
        if (r.top < top.top || ::GetDlgCtrlID(child) == kTypeAtPrint) continue;
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
        ::SetWindowPos(child, nullptr, r.left, r.top + shift, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
}

BOOL CSecurity::OnSetActive() {
    SheetContext* c = Context();
    if (c && m_hWnd) {
        for (int t = 1; t <= kTypes; ++t)
            available_[t - 1] = Offered(t) && permitted_[t - 1] &&
                                (!c->optionPair || kTypeInstalled[t - 1](c->optionPair));
        updating_ = true;
        ApplyIdRules();
        Refresh(true);
        updating_ = false;
    }
    return CProfilePropPage::OnSetActive();
}

void CSecurity::ApplyIdRules() {
    const WORD type = Priv().JobType;
    const JobInputRule* rule = RuleOfType(type);
    const bool permitted = type == 0 || (type <= kTypes && permitted_[type - 1]);
    const bool askId = rule && rule->firstFlag && permitted;
    const bool askPassword = rule && rule->secondFlag && permitted;
    for (int id : {kIdLabel, kIdEdit})
        ::EnableWindow(::GetDlgItem(m_hWnd, id), askId);
    ::EnableWindow(::GetDlgItem(m_hWnd, kTypeAtPrint),
                   typeAtPrintOffered_ && (askId || askPassword));
    if (rule) {
        char extra[32] = {};
        std::memcpy(extra, rule->firstCharSet, sizeof extra - 1);
        HWND id = ::GetDlgItem(m_hWnd, kIdEdit);
        SetupInputEdit(id, rule->firstCharFlags, rule->firstLimit, extra, &idRule_);
        AttachInputRule(id, &idRule_);
        std::memcpy(extra, rule->secondCharSet, sizeof extra - 1);
        HWND password = ::GetDlgItem(m_hWnd, PasswordEdit());
        SetupInputEdit(password, rule->secondCharFlags, rule->secondLimit, extra, &passwordRule_);
        AttachInputRule(password, &passwordRule_);
    }
    const int edit = PasswordEdit();
    for (int id : {edit - 1, edit})
        ::EnableWindow(::GetDlgItem(m_hWnd, id), askPassword);
}

void CSecurity::Refresh(bool rewriteTexts) {
    SheetContext* c = Context();
    if (!c || !m_hWnd) return;
    PRIVATE_DEVMODE& priv = Priv();
    HMODULE res = c->resourceModule;
    const bool updating = updating_;
    updating_ = true;
    bool anyAvailable = false;
    for (int t = 1; t <= kTypes; ++t)
        anyAvailable |= Available(t);
    const bool typeOn = priv.JobType != 0;
    ::CheckDlgButton(m_hWnd, kTypeCheck, typeOn ? BST_CHECKED : BST_UNCHECKED);
    ::EnableWindow(::GetDlgItem(m_hWnd, kTypeCheck), anyAvailable);
    for (int t = 1; t <= kTypes; ++t) {
        HWND button = ::GetDlgItem(m_hWnd, kFirstTypeButton + t - 1);
        ::EnableWindow(button, Available(t) && typeOn);
        ::SendMessageW(button, BM_SETCHECK, priv.JobType == t ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    const DWORD nameId = priv.JobType >= 1 && priv.JobType <= kTypes
                             ? kStringTypeNames + priv.JobType - 1
                             : kStringNoType;
    ::SetDlgItemTextW(m_hWnd, kTypeLabel,
                      (Text(res, kStringCurrentSetting) + Text(res, nameId)).c_str());
    ::EnableWindow(::GetDlgItem(m_hWnd, kTypeLabel), (labelFlag_ & 1) && typeOn);
    if (rewriteTexts) {
        const char* id = priv.JobType == 3 ? priv.SecureBoxId : priv.MailboxId;
        auto put = [this](int control, const char* field, size_t size) {
            ::SetDlgItemTextW(m_hWnd, control, AnsiToWide(field, strnlen(field, size - 1)).c_str());
        };
        put(kIdEdit, id, sizeof priv.MailboxId);
        put(kShortPassword, priv.SecurePassword, sizeof priv.SecurePassword);
        put(kWidePassword, priv.SecurePassword, sizeof priv.SecurePassword);
        put(kUserEdit, priv.UserName, sizeof priv.UserName);
        put(kJobEdit, priv.JobName, sizeof priv.JobName);
        put(kDeptEdit, priv.DeptCode, sizeof priv.DeptCode);
    }
    ::CheckDlgButton(m_hWnd, kTypeAtPrint,
                     (priv.JobTypeOptions & kTypeAtPrintBit) ? BST_CHECKED : BST_UNCHECKED);
    ::CheckDlgButton(m_hWnd, kInfoAtPrint,
                     (priv.JobInfoFlags & kInfoAtPrintBits) ? BST_CHECKED : BST_UNCHECKED);
    const bool deptShown = deptOffered_;
    const bool deptOn = deptShown && (priv.DeptCounterFlags & kDeptCounterOn);
    for (int id : {kDeptGroup, kDeptLabel, kDeptEdit}) {
        ::ShowWindow(::GetDlgItem(m_hWnd, id), deptShown ? SW_SHOW : SW_HIDE);
        ::EnableWindow(::GetDlgItem(m_hWnd, id), deptOn);
    }
    HWND atPrint = ::GetDlgItem(m_hWnd, kDeptAtPrint);
    ::ShowWindow(atPrint, deptShown && deptPromptExists_ ? SW_SHOW : SW_HIDE);
    ::EnableWindow(atPrint, deptOn && deptPromptExists_);
    ::CheckDlgButton(m_hWnd, kDeptAtPrint,
                     (priv.DeptCounterFlags & kDeptAtPrintBit) ? BST_CHECKED : BST_UNCHECKED);
    ::ShowWindow(::GetDlgItem(m_hWnd, kSaveDeptId), SW_HIDE);
    ::CheckDlgButton(m_hWnd, kSaveDeptId,
                     (priv.DeptCounterFlags & kDeptSaveId) ? BST_CHECKED : BST_UNCHECKED);
    ::ShowWindow(::GetDlgItem(m_hWnd, kSavePersonal), savePersonalOffered_ ? SW_SHOW : SW_HIDE);
    ::CheckDlgButton(m_hWnd, kSavePersonal, priv.SavePersonalInfo ? BST_CHECKED : BST_UNCHECKED);
    updating_ = updating;
}

void CSecurity::Changed() {
    OnSettingsChanged(TRUE);
    if (SheetContext* c = Context()) Preview().Refresh(), (void)c;
}

void CSecurity::OnJobTypeCheck() {
    if (updating_) return;
    PRIVATE_DEVMODE& priv = Priv();
    if (::IsDlgButtonChecked(m_hWnd, kTypeCheck) == BST_CHECKED) {
        WORD type = 0;
        if (rememberedType_ >= 1 && rememberedType_ <= kTypes && Available(rememberedType_))
            type = rememberedType_;
        for (WORD t : kSearchOrder)
            if (!type && Available(t)) type = t;
        priv.JobType = type;
    } else {
        priv.JobType = 0;
    }
    ApplyIdRules();
    ApplyRulesAndRefresh(Context(), &Context()->workingImage, FALSE);
    Changed();
    Refresh(true);
}

void CSecurity::OnTypeButton(UINT id) {
    if (updating_) return;
    const WORD type = static_cast<WORD>(id - kFirstTypeButton + 1);
    Priv().JobType = type;
    rememberedType_ = type;
    ApplyIdRules();
    Changed();
    Refresh(true);
}

void CSecurity::PutEditText(int id, char* field, size_t capacity) {
    const std::string text = WideToAnsiString(EditTextOf(::GetDlgItem(m_hWnd, id)));
    std::memset(field, 0, capacity);
    std::memcpy(field, text.data(), std::min(text.size(), capacity - 1));
}

void CSecurity::OnIdChange() {
    if (updating_) return;
    // One ID serves the mailbox and the secure mailbox alike.
    PutEditText(kIdEdit, Priv().MailboxId, sizeof Priv().MailboxId);
    PutEditText(kIdEdit, Priv().SecureBoxId, sizeof Priv().SecureBoxId);
    Changed();
}

void CSecurity::OnPasswordChange(UINT id) {
    if (updating_) return;
    PutEditText(static_cast<int>(id), Priv().SecurePassword, sizeof Priv().SecurePassword);
    Changed();
}

void CSecurity::OnUserNameChange() {
    if (updating_) return;
    PutEditText(kUserEdit, Priv().UserName, kUserNameLimit + 1);
    Changed();
}

void CSecurity::OnJobNameChange() {
    if (updating_) return;
    PutEditText(kJobEdit, Priv().JobName, kJobNameLimit + 1);
    Changed();
}

void CSecurity::OnDeptCodeChange() {
    if (updating_) return;
    PutEditText(kDeptEdit, Priv().DeptCode, sizeof Priv().DeptCode);
    Context()->applied = 0;
    Changed();
}

void CSecurity::OnInfoAtPrint() {
    if (updating_) return;
    DWORD& flags = Priv().JobInfoFlags;
    flags = ::IsDlgButtonChecked(m_hWnd, kInfoAtPrint) == BST_CHECKED ? (flags | kInfoAtPrintBits)
                                                                      : (flags & ~kInfoAtPrintBits);
    Changed();
    Refresh(false);
}

void CSecurity::OnDeptAtPrint() {
    if (updating_) return;
    WORD& flags = Priv().DeptCounterFlags;
    flags = static_cast<WORD>(::IsDlgButtonChecked(m_hWnd, kDeptAtPrint) == BST_CHECKED
                                  ? (flags | kDeptAtPrintBit)
                                  : (flags & ~kDeptAtPrintBit));
    Changed();
    Refresh(false);
}

void CSecurity::OnTypeAtPrint() {
    if (updating_) return;
    WORD& options = Priv().JobTypeOptions;
    options = static_cast<WORD>(::IsDlgButtonChecked(m_hWnd, kTypeAtPrint) == BST_CHECKED
                                    ? (options | kTypeAtPrintBit)
                                    : (options & ~kTypeAtPrintBit));
    Changed();
    Refresh(false);
}

void CSecurity::OnSaveDeptId() {
    if (updating_) return;
    WORD& flags = Priv().DeptCounterFlags;
    flags = static_cast<WORD>(::IsDlgButtonChecked(m_hWnd, kSaveDeptId) == BST_CHECKED
                                  ? (flags | kDeptSaveId)
                                  : (flags & ~kDeptSaveId));
    Context()->applied = 0;
    Changed();
    Refresh(true);
}

void CSecurity::OnSavePersonal() {
    if (updating_) return;
    Priv().SavePersonalInfo =
        ::IsDlgButtonChecked(m_hWnd, kSavePersonal) == BST_CHECKED ? kSavePersonalAll : 0;
    OnSettingsChanged(TRUE);
}

void CSecurity::OnHelpButton() {
    if (SheetContext* c = Context())
        OpenHelpTopic(m_hWnd, c->helpFile, HELP_CONTEXT, kHelpContextJobType);
}

bool CSecurity::CheckBeforeLeaving() {
    SheetContext* c = Context();
    if (!c || (c->callerFlags & kSkipLeaveChecks)) return true;
    PRIVATE_DEVMODE& priv = Priv();
    HMODULE res = c->resourceModule;
    const WORD type = priv.JobType;
    const JobInputRule* rule =
        type >= 1 && type <= kTypes && hasRule_[type - 1] ? &rules_[type - 1] : nullptr;
    auto refuse = [&](int control, const std::u16string& text, DWORD caption, UINT buttons) {
        const int answer = ::MessageBoxW(m_hWnd, text.c_str(), Text(res, caption).c_str(), buttons);
        HWND edit = ::GetDlgItem(m_hWnd, control);
        ::SetFocus(edit);
        ::SendMessageW(edit, EM_SETSEL, 0, -1);
        return answer;
    };
    if (rule && permitted_[type - 1]) {
        const bool emptyAllowed = typeAtPrintOffered_ && (priv.JobTypeOptions & kTypeAtPrintBit);
        if (rule->firstFlag) {
            const char* id = type == 3 ? priv.SecureBoxId : priv.MailboxId;
            const std::string text(id, strnlen(id, sizeof priv.MailboxId - 1));
            const DWORD result =
                ValidateInputText(::GetDlgItem(m_hWnd, kIdEdit), text.c_str(), &idRule_);
            if (result != 0 && !(result == kInputEmpty && emptyAllowed)) {
                // An ID typed but against its rule is told the rule, not asked for.
                std::u16string message = Text(res, kStringInputUserId);
                if (result != kInputEmpty) {
                    WCHAR formatted[512] = {};
                    DWORD needed = 0;
                    const std::u16string format = Text(res, kStringEnterUserId);
                    FormatResString(res, formatted, 512, &needed, format.c_str(), rule->firstLimit);
                    message = formatted;
                }
                refuse(kIdEdit, message, kStringJobTypeCaption, MB_OK | MB_ICONEXCLAMATION);
                return false;
            }
        }
        if (rule->secondFlag) {
            const std::string text(priv.SecurePassword,
                                   strnlen(priv.SecurePassword, sizeof priv.SecurePassword - 1));
            const DWORD result = ValidateInputText(::GetDlgItem(m_hWnd, PasswordEdit()),
                                                   text.c_str(), &passwordRule_);
            if (result != 0 && !(result == kInputEmpty && emptyAllowed)) {
                WCHAR message[512] = {};
                DWORD needed = 0;
                const std::u16string format = Text(res, kStringInputPassword);
                FormatResString(res, message, 512, &needed, format.c_str(), rule->secondLimit);
                refuse(PasswordEdit(), message, kStringJobTypeCaption, MB_OK | MB_ICONEXCLAMATION);
                return false;
            }
        }
    }
    if (priv.DeptCounterFlags & kDeptCounterOn) {
        const std::string code(priv.DeptCode, strnlen(priv.DeptCode, sizeof priv.DeptCode - 1));
        if (code.empty() && deptInstalled_) {
            if (refuse(kDeptEdit, Text(res, kStringDeptNotInput), kStringDeptCaption,
                       MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES)
                return false;
        } else if (!code.empty() && ValidateInputText(::GetDlgItem(m_hWnd, kDeptEdit), code.c_str(),
                                                      &deptRule_) != 0) {
            // A code typed against its rule is told the rule, not asked for.
            WCHAR message[512] = {};
            DWORD needed = 0;
            const std::u16string format = Text(res, kStringEnterDeptCode);
            FormatResString(res, message, 512, &needed, format.c_str(),
                            static_cast<int>(deptRule_.limit));
            refuse(kDeptEdit, message, kStringDeptCaption, MB_OK | MB_ICONEXCLAMATION);
            return false;
        }
    }
    const std::u16string forbidden = Text(res, kStringForbiddenChars);
    struct Name {
        const char* field;
        size_t size;
        int control;
        DWORD message;
    } names[] = {{priv.UserName, sizeof priv.UserName, kUserEdit, kStringBadUserName},
                 {priv.JobName, sizeof priv.JobName, kJobEdit, kStringBadJobName}};
    for (const Name& n : names) {
        const std::u16string text = AnsiToWide(n.field, strnlen(n.field, n.size - 1));
        if (!HasForbiddenCharacters(res, text.c_str())) continue;
        WCHAR message[512] = {};
        DWORD needed = 0;
        const std::u16string format = Text(res, n.message);
        FormatResString(res, message, 512, &needed, format.c_str(), forbidden.c_str());
        refuse(n.control, message, kStringJobInfoCaption, MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    return true;
}

BOOL CSecurity::OnKillActive() {
    if (!CProfilePropPage::OnKillActive()) return FALSE;
    return CheckBeforeLeaving() ? TRUE : FALSE;
}

BOOL CSecurity::OnApply() {
    if (!CheckBeforeLeaving()) return FALSE;
    const BOOL applied = CProfilePropPage::OnApply();
    updating_ = true;
    Refresh(true);
    updating_ = false;
    return applied;
}

} // namespace sheetwright
