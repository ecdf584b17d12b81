#include "job_prompts.h"
#include "resbundle_ids.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "dialog_lookups.h"
#include "driver_env.h"
#include "edit_text.h"
#include "input_edit.h"
#include "localize.h"
#include "model/model_queries.h"
#include "model_info.h"
#include "number_text.h"
#include "ui_entry_points.h"
#include "win/base.h"
#include "win/strings.h"

namespace sheetwright {
namespace {

// Strings of the resource library.
constexpr DWORD kStringJobTypeNames = 6200; // 6200 + type - 1, for types 1 to 5
constexpr DWORD kStringSecureMailbox = 6202;
constexpr DWORD kStringJobTypeCaption = 3340;
constexpr DWORD kStringDeptCaption = 6211;
constexpr DWORD kStringJobInfoCaption = 6231;
constexpr DWORD kStringInputUserId = 6232;
constexpr DWORD kStringInputPassword = 6233;
constexpr DWORD kStringDeptNotInput = 6234;
constexpr DWORD kStringUserIdLabel = 6236;
constexpr DWORD kStringEnterUserId = 6237;
constexpr DWORD kStringEnterPassword = 6238;
constexpr DWORD kStringPinLabel = 6239;
constexpr DWORD kStringJobTypeGroup = 6240;
constexpr DWORD kStringEnterDeptCode = 6241;
constexpr DWORD kStringForbiddenInNames = 6244;

// Controls.
constexpr int kUserIdLabel = IDC_JOB_TYPE_PROMPT_USER_ID_LABEL,
              kUserIdEdit = IDC_JOB_TYPE_PROMPT_USER_ID_EDIT,
              kPasswordLabel = IDC_JOB_TYPE_PROMPT_PASSWORD_LABEL,
              kPasswordEdit = IDC_JOB_TYPE_PROMPT_PASSWORD_EDIT;
constexpr int kDeptEdit = IDC_DEPT_PROMPT_DEPT_EDIT;
constexpr int kTypeGroup = IDC_JOB_PROMPT_TYPE_GROUP, kTypeIdLabel = IDC_JOB_PROMPT_TYPE_ID_LABEL,
              kTypePasswordLabel = IDC_JOB_PROMPT_TYPE_PASSWORD_LABEL,
              kTypeIdEdit = IDC_JOB_PROMPT_TYPE_ID_EDIT,
              kTypePasswordEdit = IDC_JOB_PROMPT_TYPE_PASSWORD_EDIT,
              kInfoGroup = IDC_JOB_PROMPT_INFO_GROUP,
              kInfoUserLabel = IDC_JOB_PROMPT_INFO_USER_LABEL,
              kInfoJobLabel = IDC_JOB_PROMPT_INFO_JOB_LABEL,
              kInfoUserEdit = IDC_JOB_PROMPT_INFO_USER_EDIT,
              kInfoJobEdit = IDC_JOB_PROMPT_INFO_JOB_EDIT, kDeptGroup = IDC_JOB_PROMPT_DEPT_GROUP,
              kDeptLabel = IDC_JOB_PROMPT_DEPT_LABEL, kDeptCodeEdit = IDC_JOB_PROMPT_DEPT_CODE_EDIT;
constexpr int kUserLabel = IDC_JOB_INFO_USER_LABEL, kUserEdit = IDC_JOB_INFO_USER_EDIT,
              kJobLabel = IDC_JOB_INFO_JOB_LABEL, kJobEdit = IDC_JOB_INFO_JOB_EDIT;

// The longest ID, password or code a record holds.
constexpr DWORD kTextLimit = 31;
// Typing limits of the job information fields, in ANSI bytes.
constexpr DWORD kUserNameLimit = 20;
constexpr DWORD kJobNameLimit = 80;

// The department prompt's flags (model query 63 part 1), counted only with
// both kDeptFlagsValid bits.
constexpr DWORD kDeptFlagsValid = 0x11;
constexpr DWORD kDeptPromptOn = 0x10;
constexpr DWORD kDeptEmptyAccepted = 0x02;
constexpr DWORD kDeptStartEmpty = 0x80;
constexpr DWORD kDeptDefaultInputFlags = 0x1001; // rule on, digits
constexpr DWORD kDeptDefaultLength = 8;

// Rule flags of a job type.
constexpr DWORD kRuleClearAnswers = 0x40;
constexpr DWORD kRulePinLabels = 0x10;

// A text of a record from another process: up to its NUL, and never past
// its field's last byte but one (which a writer may have left unterminated).
std::string FieldText(const char* field, size_t capacity) {
    return std::string(field, strnlen(field, capacity - 1));
}

// A text into a record's field: cut to the field less one byte, NUL-padded.
void PutField(char* field, size_t capacity, const std::string& text) {
    std::memset(field, 0, capacity);
    std::memcpy(field, text.data(), std::min(text.size(), capacity - 1));
}

template <size_t N> void PutField(char (&field)[N], const std::string& text) {
    PutField(field, N, text);
}
template <size_t N> std::string FieldText(const char (&field)[N]) {
    return FieldText(field, N);
}

std::u16string LoadText(HMODULE resources, DWORD id) {
    std::u16string text;
    CLocalize(resources).LoadString(id, &text);
    return text;
}

std::u16string Format(HMODULE resources, DWORD id, ...) {
    const std::u16string format = LoadText(resources, id);
    va_list args;
    va_start(args, id);
    WCHAR buffer[1024] = {};
    DWORD needed = 0;
    FormatResStringV(resources, buffer, static_cast<DWORD>(std::size(buffer)), &needed,
                     format.c_str(), args);
    va_end(args);
    return buffer;
}

std::u16string JobTypeName(HMODULE resources, DWORD type) {
    const bool known = type == 1 || type == 2 || type == 4 || type == 5;
    return LoadText(resources, known ? kStringJobTypeNames + type - 1 : kStringSecureMailbox);
}

int Warn(HWND owner, const std::u16string& text, const std::u16string& caption, UINT buttons) {
    return MessageBoxW(owner, text.c_str(), caption.c_str(), buttons | MB_ICONEXCLAMATION);
}

std::u16string WindowTextOf(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    const int length = control ? GetWindowTextLengthW(control) : 0;
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    if (length > 0) GetWindowTextW(control, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(length, 0)));
    return text.c_str();
}

std::string AnsiTextOf(HWND dialog, int id) {
    return WideToAnsiString(WindowTextOf(dialog, id));
}

void SetAnsiText(HWND dialog, int id, const std::string& text) {
    SetDlgItemTextW(dialog, id, AnsiToWide(text.data(), text.size()).c_str());
}

void FocusAndSelect(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    SetFocus(control);
    SendMessageW(control, EM_SETSEL, 0, -1);
}

void ShowControl(HWND dialog, int id, bool shown, bool enabled) {
    HWND control = GetDlgItem(dialog, id);
    ShowWindow(control, shown ? SW_SHOW : SW_HIDE);
    EnableWindow(control, enabled ? TRUE : FALSE);
}

// Shown, centred on the desktop, topmost, in front.
void PresentPrompt(HWND dialog) {
    ShowWindow(dialog, SW_SHOW);
    RECT desktop{}, own{};
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(dialog, &own);
    const int width = own.right - own.left, height = own.bottom - own.top;
    const int left = desktop.left + (desktop.right - desktop.left - width) / 2;
    const int top = desktop.top + (desktop.bottom - desktop.top - height) / 2;
    SetWindowPos(dialog, HWND_TOPMOST, left, top, 0, 0, SWP_NOSIZE);
    SetForegroundWindow(dialog);
}

// Modelsmith and Resbundle for one prompt, freed with the object.
struct PromptModules {
    HMODULE resources = nullptr;
    ModelBlock model{};
    PromptModules(HANDLE printer, LPVOID data) {
        resources = LoadDriverModule(printer, data, kSelectResbundle);
        if (resources) model = {LoadDriverModule(printer, data, kSelectModelsmith), data};
    }
    void FreeModel() {
        if (model.modelsmith) FreeLibrary(model.modelsmith);
        model.modelsmith = nullptr;
    }
    ~PromptModules() {
        FreeModel();
        if (resources) FreeLibrary(resources);
    }
};

// Runs a prompt template of the resource module with no owner; -1 when the
// template is missing or the dialog could not be made.
INT_PTR RunPrompt(HMODULE resources, UINT templateId, DLGPROC proc, LPARAM param) {
    CLocalize localize(resources);
    const BYTE* block = localize.LoadDialogTemplate(templateId);
    if (!block) return -1;
    return DialogBoxIndirectParamW(resources, reinterpret_cast<LPCDLGTEMPLATEW>(block), nullptr,
                                   proc, param);
}

template <class T> T* Param(HWND dialog, UINT message, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    return reinterpret_cast<T*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

// ---- the department code, shared by two prompts

struct DeptPromptBlock {
    DWORD flags = 0;
    DWORD inputFlags = 0;
    DWORD length = 0;
    char extra[32] = {};
    std::string code;
    InputRule rule{};
};

// The model's department prompt; *present tells whether part 1 exists.
DeptPromptBlock ReadDeptPrompt(const ModelBlock* model, bool* present = nullptr) {
    DeptPromptBlock block;
    CModelInfo part1(model, model::kQueryDepartmentPrompt, 0, model::layout::kFixedFirst);
    const bool has = part1.GetData() != nullptr;
    if (present) *present = has;
    if (has && (part1.U32(0) & kDeptFlagsValid) == kDeptFlagsValid) block.flags = part1.U32(0);
    return block;
}

void ReadDeptRule(const ModelBlock* model, DeptPromptBlock* block) {
    if (!(block->flags & kDeptPromptOn)) return;
    CModelInfo part2(model, model::kQueryDepartmentPrompt, 0, model::layout::kFixedSecond);
    if (part2.GetData()) {
        block->inputFlags = part2.U32(8);
        block->length = part2.U32(12);
        for (size_t i = 0; i + 1 < sizeof block->extra; ++i)
            block->extra[i] = static_cast<char>(part2.U8(16 + i));
    }
    if (block->inputFlags == 0) block->inputFlags = kDeptDefaultInputFlags;
    // The device takes no more than 8 bytes of a code: longer ones are refused at typing.
    if (block->length == 0 || block->length > kDeptDefaultLength)
        block->length = kDeptDefaultLength;
}

void AttachDeptRule(HWND dialog, int id, DeptPromptBlock* block) {
    HWND edit = GetDlgItem(dialog, id);
    SetupInputEdit(edit, block->inputFlags, block->length, block->extra, &block->rule);
    AttachInputRule(edit, &block->rule);
}

// The OK step of a department field: false keeps the prompt open.
bool TakeDeptCode(HWND dialog, int id, HMODULE resources, DeptPromptBlock* block) {
    const std::string code = AnsiTextOf(dialog, id);
    const std::u16string caption = LoadText(resources, kStringDeptCaption);
    if (code.empty()) {
        if (!(block->flags & kDeptEmptyAccepted) &&
            Warn(dialog, LoadText(resources, kStringDeptNotInput), caption,
                 MB_YESNO | MB_DEFBUTTON2) != IDYES) {
            FocusAndSelect(dialog, id);
            return false;
        }
    } else if (ValidateInputText(GetDlgItem(dialog, id), code.c_str(), &block->rule) != 0) {
        // A code typed against its rule is told the rule, not asked for.
        Warn(dialog, Format(resources, kStringEnterDeptCode, static_cast<int>(block->length)),
             caption, MB_OK);
        FocusAndSelect(dialog, id);
        return false;
    }
    block->code = code;
    return true;
}

// ---- job information, shared by two prompts

bool CheckJobInfoText(HWND dialog, HMODULE resources, const std::u16string& text) {
    if (!HasForbiddenCharacters(resources, text.c_str())) return true;
    const std::u16string forbidden = LoadText(resources, kStringForbiddenChars);
    Warn(dialog, Format(resources, kStringForbiddenInNames, forbidden.c_str()),
         LoadText(resources, kStringJobInfoCaption), MB_OK);
    return false;
}

// Checks both names; on success writes them into the record and clears its
// ask bits. False (with the offending field selected) keeps the prompt open.
bool TakeJobInfo(HWND dialog, HMODULE resources, int userEdit, int jobEdit, JobInfoRecord* record) {
    const std::u16string user = WindowTextOf(dialog, userEdit);
    const std::u16string job = WindowTextOf(dialog, jobEdit);
    if (!CheckJobInfoText(dialog, resources, user)) {
        FocusAndSelect(dialog, userEdit);
        return false;
    }
    if (!CheckJobInfoText(dialog, resources, job)) {
        FocusAndSelect(dialog, jobEdit);
        return false;
    }
    PutField(record->jobName, WideToAnsiString(job));
    PutField(record->userName, WideToAnsiString(user));
    record->flags &= ~kJobInfoAsked;
    return true;
}

void FillJobInfo(HWND dialog, int userEdit, int jobEdit, const JobInfoRecord* record) {
    AttachByteLimit(GetDlgItem(dialog, jobEdit), kJobNameLimit);
    AttachByteLimit(GetDlgItem(dialog, userEdit), kUserNameLimit);
    SetAnsiText(dialog, jobEdit, FieldText(record->jobName));
    SetAnsiText(dialog, userEdit, FieldText(record->userName));
}

// ---- the job type's ID and password

struct JobPromptBlock {
    WORD jobType = 0;
    JobInputRule rule{};
    bool askId = false;
    bool askPassword = false;
    std::string id;
    std::string password;
    InputRule idRule{};
    InputRule passwordRule{};
    HMODULE resources = nullptr;
};

// The rule of the record's job type; false when it cannot be filled. A rule
// that says so clears the record's answers first, whatever the user does.
bool FillJobBlock(const ModelBlock* model, HMODULE resources, JobAuthRecord* record,
                  JobPromptBlock* block) {
    block->jobType = record->jobType;
    block->resources = resources;
    if (!FillJobInputRule(model, record->jobType, &block->rule)) return false;
    // An ID or password never outgrows its 31-byte field, whatever the model says.
    for (DWORD* limit : {&block->rule.firstLimit, &block->rule.secondLimit})
        if (*limit > kTextLimit) *limit = kTextLimit;
    block->askId = block->rule.firstFlag != 0;
    block->askPassword = block->rule.secondFlag != 0;
    if (block->rule.flagWord & kRuleClearAnswers) {
        std::memset(record->userId, 0, sizeof record->userId);
        std::memset(record->password, 0, sizeof record->password);
    }
    block->id = FieldText(record->userId);
    block->password = FieldText(record->password);
    return true;
}

void AttachIdRules(HWND dialog, int idEdit, int passwordEdit, JobPromptBlock* block) {
    if (block->askId) {
        HWND edit = GetDlgItem(dialog, idEdit);
        SetAnsiText(dialog, idEdit, block->id);
        char extra[32] = {};
        std::memcpy(extra, block->rule.firstCharSet, sizeof extra - 1);
        SetupInputEdit(edit, block->rule.firstCharFlags, block->rule.firstLimit, extra,
                       &block->idRule);
        AttachInputRule(edit, &block->idRule);
    }
    if (block->askPassword) {
        HWND edit = GetDlgItem(dialog, passwordEdit);
        SetAnsiText(dialog, passwordEdit, block->password);
        char extra[32] = {};
        std::memcpy(extra, block->rule.secondCharSet, sizeof extra - 1);
        SetupInputEdit(edit, block->rule.secondCharFlags, block->rule.secondLimit, extra,
                       &block->passwordRule);
        AttachInputRule(edit, &block->passwordRule);
    }
}

// Validates the asked fields; on success takes them into the block.
bool TakeIdAndPassword(HWND dialog, int idEdit, int passwordEdit, JobPromptBlock* block,
                       DWORD idMessage, DWORD passwordMessage, const std::u16string& caption) {
    const std::string id = block->askId ? AnsiTextOf(dialog, idEdit) : block->id;
    const std::string password =
        block->askPassword ? AnsiTextOf(dialog, passwordEdit) : block->password;
    HMODULE res = block->resources;
    if (block->askId &&
        ValidateInputText(GetDlgItem(dialog, idEdit), id.c_str(), &block->idRule) != 0) {
        Warn(dialog, Format(res, idMessage, block->rule.firstLimit), caption, MB_OK);
        SetFocus(GetDlgItem(dialog, idEdit));
        return false;
    }
    if (block->askPassword && ValidateInputText(GetDlgItem(dialog, passwordEdit), password.c_str(),
                                                &block->passwordRule) != 0) {
        Warn(dialog, Format(res, passwordMessage, block->rule.secondLimit), caption, MB_OK);
        SetFocus(GetDlgItem(dialog, passwordEdit));
        return false;
    }
    block->id = id.substr(0, 31);
    block->password = password.substr(0, 31);
    return true;
}

// ---- the user ID prompt

INT_PTR CALLBACK UserIdProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* block = Param<JobPromptBlock>(dialog, message, lParam);
    if (!block) return FALSE;
    HMODULE res = block->resources;
    if (message == WM_INITDIALOG) {
        SetWindowTextW(dialog, JobTypeName(res, block->jobType).c_str());
        SetDlgItemTextW(dialog, kUserIdLabel,
                        Format(res, kStringUserIdLabel, block->rule.firstLimit).c_str());
        ShowControl(dialog, kUserIdLabel, block->askId, block->askId);
        ShowControl(dialog, kUserIdEdit, block->askId, block->askId);
        ShowControl(dialog, kPasswordLabel, block->askPassword, block->askPassword);
        ShowControl(dialog, kPasswordEdit, block->askPassword, block->askPassword);
        AttachIdRules(dialog, kUserIdEdit, kPasswordEdit, block);
        PresentPrompt(dialog);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    if (LOWORD(wParam) == IDOK) {
        if (TakeIdAndPassword(dialog, kUserIdEdit, kPasswordEdit, block, kStringEnterUserId,
                              kStringEnterPassword, JobTypeName(res, block->jobType)))
            EndDialog(dialog, IDOK);
        return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

// ---- the department ID prompt

struct DeptPromptParam {
    DeptPromptBlock* block;
    HMODULE resources;
};

INT_PTR CALLBACK DeptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* p = Param<DeptPromptParam>(dialog, message, lParam);
    if (!p) return FALSE;
    if (message == WM_INITDIALOG) {
        SetAnsiText(dialog, kDeptEdit, p->block->code);
        AttachDeptRule(dialog, kDeptEdit, p->block);
        PresentPrompt(dialog);
        return TRUE;
    }
    // No Cancel: closing the prompt is the same as OK.
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        if (TakeDeptCode(dialog, kDeptEdit, p->resources, p->block)) EndDialog(dialog, IDOK);
        return TRUE;
    }
    return FALSE;
}

// ---- the job type prompt

struct JobTypePromptParam {
    bool typeOn = false;
    bool infoOn = false;
    bool deptOn = false;
    bool pinLabels = false;
    JobPromptBlock* job = nullptr;
    DeptPromptBlock* dept = nullptr;
    HMODULE resources = nullptr;
    const JobInfoRecord* info = nullptr;
    // The names are committed to the caller's record only when every step passed.
    std::string userName;
    std::string jobName;
};

void InitJobTypePrompt(HWND dialog, JobTypePromptParam* p) {
    HMODULE res = p->resources;
    JobPromptBlock* job = p->job;
    if (job->jobType == 0) {
        for (int id :
             {kTypeGroup, kTypeIdLabel, kTypeIdEdit, kTypePasswordLabel, kTypePasswordEdit})
            EnableWindow(GetDlgItem(dialog, id), FALSE);
    } else {
        const std::u16string name = JobTypeName(res, job->jobType);
        SetDlgItemTextW(dialog, kTypeGroup, Format(res, kStringJobTypeGroup, name.c_str()).c_str());
        EnableWindow(GetDlgItem(dialog, kTypeIdLabel), job->askId);
        EnableWindow(GetDlgItem(dialog, kTypeIdEdit), job->askId);
        EnableWindow(GetDlgItem(dialog, kTypePasswordLabel), job->askPassword);
        EnableWindow(GetDlgItem(dialog, kTypePasswordEdit), job->askPassword);
        AttachIdRules(dialog, kTypeIdEdit, kTypePasswordEdit, job);
        p->typeOn = job->askId || job->askPassword;
        EnableWindow(GetDlgItem(dialog, kTypeGroup), p->typeOn);
        if (job->rule.flagWord & kRulePinLabels) {
            p->pinLabels = true;
            HWND label = GetDlgItem(dialog, kTypeIdLabel);
            SetWindowTextW(label, Format(res, kStringPinLabel, job->rule.firstLimit).c_str());
            RECT r{};
            GetWindowRect(label, &r);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
            const int height = r.bottom - r.top;
            SetWindowPos(label, nullptr, r.left, r.top - height / 2, r.right - r.left,
                         height + height / 2, SWP_NOZORDER);
        }
    }
    FillJobInfo(dialog, kInfoUserEdit, kInfoJobEdit, p->info);
    p->infoOn = (p->info->flags & kJobInfoAsked) != 0;
    EnableWindow(GetDlgItem(dialog, kInfoUserEdit),
                 p->infoOn && (p->info->flags & kJobInfoAskUser));
    EnableWindow(GetDlgItem(dialog, kInfoJobEdit), p->infoOn && (p->info->flags & kJobInfoAskJob));
    if (!p->infoOn)
        for (int id = kInfoGroup; id <= kInfoJobEdit; ++id)
            EnableWindow(GetDlgItem(dialog, id), FALSE);
    SetAnsiText(dialog, kDeptCodeEdit, p->dept->code);
    p->deptOn = (p->dept->flags & kDeptPromptOn) != 0;
    if (p->deptOn)
        AttachDeptRule(dialog, kDeptCodeEdit, p->dept);
    else
        for (int id : {kDeptGroup, kDeptLabel, kDeptCodeEdit})
            EnableWindow(GetDlgItem(dialog, id), FALSE);
}

bool TakeJobTypeAnswers(HWND dialog, JobTypePromptParam* p) {
    HMODULE res = p->resources;
    if (p->typeOn) {
        const std::u16string caption =
            p->pinLabels ? JobTypeName(res, p->job->jobType) : LoadText(res, kStringJobTypeCaption);
        if (!TakeIdAndPassword(dialog, kTypeIdEdit, kTypePasswordEdit, p->job,
                               p->pinLabels ? kStringEnterUserId : kStringInputUserId,
                               p->pinLabels ? kStringEnterPassword : kStringInputPassword, caption))
            return false;
    }
    if (p->infoOn) {
        JobInfoRecord taken = *p->info;
        if (!TakeJobInfo(dialog, res, kInfoUserEdit, kInfoJobEdit, &taken)) return false;
        p->userName = FieldText(taken.userName);
        p->jobName = FieldText(taken.jobName);
    }
    if (p->deptOn && !TakeDeptCode(dialog, kDeptCodeEdit, res, p->dept)) return false;
    return true;
}

INT_PTR CALLBACK JobTypeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* p = Param<JobTypePromptParam>(dialog, message, lParam);
    if (!p) return FALSE;
    if (message == WM_INITDIALOG) {
        InitJobTypePrompt(dialog, p);
        PresentPrompt(dialog);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    if (LOWORD(wParam) == IDOK) {
        if (TakeJobTypeAnswers(dialog, p)) EndDialog(dialog, IDOK);
        return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

// ---- the job information prompt

struct JobInfoPromptParam {
    HMODULE resources;
    JobInfoRecord* record;
};

INT_PTR CALLBACK JobInfoProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* p = Param<JobInfoPromptParam>(dialog, message, lParam);
    if (!p) return FALSE;
    if (message == WM_INITDIALOG) {
        FillJobInfo(dialog, kUserEdit, kJobEdit, p->record);
        const bool job = (p->record->flags & kJobInfoAskJob) != 0;
        const bool user = (p->record->flags & kJobInfoAskUser) != 0;
        ShowControl(dialog, kJobLabel, job, true);
        ShowControl(dialog, kJobEdit, job, true);
        ShowControl(dialog, kUserLabel, user, true);
        ShowControl(dialog, kUserEdit, user, true);
        PresentPrompt(dialog);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        if (TakeJobInfo(dialog, p->resources, kUserEdit, kJobEdit, p->record))
            EndDialog(dialog, IDOK);
        return TRUE;
    }
    return FALSE;
}

// ---- the byte-limited edit

constexpr char16_t kByteLimitProc[] = u"ByteLimitedEditProc";
constexpr char16_t kByteLimitValue[] = u"ByteLimitedEditLimit";

LRESULT CALLBACK ByteLimitedEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    auto previous = reinterpret_cast<WNDPROC>(GetPropW(edit, kByteLimitProc));
    const int limit = static_cast<int>(reinterpret_cast<INT_PTR>(GetPropW(edit, kByteLimitValue)));
    if (message == WM_CHAR && wParam >= 32 && wParam != 127 && limit > 0) {
        std::u16string text = EditTextOutsideSelection(edit);
        text += static_cast<char16_t>(wParam);
        if (AnsiByteLength(text) > limit) return 0;
    } else if (message == WM_PASTE) {
        const std::u16string clip = ClipboardUnicodeText(edit);
        std::u16string taken = clip;
        if (limit > 0) {
            const int room = limit - AnsiByteLength(EditTextOutsideSelection(edit));
            size_t fits = 0;
            while (fits < clip.size() && AnsiByteLength(clip.substr(0, fits + 1)) <= room)
                ++fits;
            taken = clip.substr(0, fits);
        }
        if (!taken.empty())
            SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(taken.c_str()));
        return 0;
    } else if (message == WM_NCDESTROY) {
        RemovePropW(edit, kByteLimitProc);
        RemovePropW(edit, kByteLimitValue);
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    }
    return previous ? CallWindowProcW(previous, edit, message, wParam, lParam) : 0;
}

} // namespace

int AnsiByteLength(const std::u16string& text) {
    if (text.empty()) return 0;
    return WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                               nullptr, nullptr);
}

BOOL AttachByteLimit(HWND edit, DWORD limit) {
    if (!edit || GetPropW(edit, kByteLimitProc)) return FALSE;
    SendMessageW(edit, EM_LIMITTEXT, limit, 0);
    SetPropW(edit, kByteLimitValue, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(limit)));
    const LONG_PTR previous =
        SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ByteLimitedEditProc));
    SetPropW(edit, kByteLimitProc, reinterpret_cast<HANDLE>(previous));
    return previous != 0;
}

INT InputJobSpoolUserPwdInfo(HANDLE printer, LPVOID modelData, JobAuthRecord* record) {
    if (!record || !modelData || !(record->flags & kJobAuthAsk)) return 1;
    PromptModules modules(printer, modelData);
    if (!modules.resources || !modules.model.modelsmith) return 1;
    JobPromptBlock block;
    if (!FillJobBlock(&modules.model, modules.resources, record, &block)) return 1;
    if (!block.askId && !block.askPassword) return 1;
    const INT_PTR result =
        RunPrompt(modules.resources, kUserIdPrompt, UserIdProc, reinterpret_cast<LPARAM>(&block));
    if (result != IDOK) return 0;
    PutField(record->userId, block.id);
    PutField(record->password, block.password);
    return 1;
}

INT InputDeptCodeInfo(HANDLE printer, LPVOID modelData, DeptCodeRecord* record) {
    if (!record || !modelData || (record->flags & kDeptAsk) != kDeptAsk) return 1;
    PromptModules modules(printer, modelData);
    if (!modules.resources || !modules.model.modelsmith) return 1;
    DeptPromptBlock block = ReadDeptPrompt(&modules.model);
    if (!(block.flags & kDeptPromptOn)) return 1;
    ReadDeptRule(&modules.model, &block);
    if (block.flags & kDeptStartEmpty) std::memset(record->code, 0, sizeof record->code);
    block.code = FieldText(record->code);
    modules.FreeModel();
    DeptPromptParam param{&block, modules.resources};
    if (RunPrompt(modules.resources, kDeptPrompt, DeptProc, reinterpret_cast<LPARAM>(&param)) ==
        IDOK)
        PutField(record->code, block.code);
    return 1;
}

INT InputJobSpoolExt(HANDLE printer, LPVOID modelData, JobAuthRecord* auth, JobInfoRecord* info,
                     DeptCodeRecord* dept) {
    if (!modelData || !auth || !info || !dept) return 1;
    const bool askAuth = (auth->flags & kJobAuthAsk) != 0;
    const bool askDept = (dept->flags & kDeptAsk) == kDeptAsk;
    if (!askAuth && !(info->flags & kJobInfoAsked) && !askDept) return 1;
    PromptModules modules(printer, modelData);
    if (!modules.resources || !modules.model.modelsmith) return 1;

    JobPromptBlock job;
    if (!askAuth || !FillJobBlock(&modules.model, modules.resources, auth, &job)) {
        job.askId = job.askPassword = false;
        job.jobType = auth->jobType;
        job.resources = modules.resources;
        job.id = FieldText(auth->userId);
        job.password = FieldText(auth->password);
    }
    bool part1 = false;
    DeptPromptBlock deptBlock = ReadDeptPrompt(&modules.model, &part1);
    if (part1)
        deptBlock.flags =
            askDept ? (deptBlock.flags | kDeptPromptOn) : (deptBlock.flags & ~kDeptPromptOn);
    ReadDeptRule(&modules.model, &deptBlock);
    if ((deptBlock.flags & (kDeptPromptOn | kDeptStartEmpty)) == (kDeptPromptOn | kDeptStartEmpty))
        std::memset(dept->code, 0, sizeof dept->code);
    deptBlock.code = FieldText(dept->code);

    JobTypePromptParam param;
    param.job = &job;
    param.dept = &deptBlock;
    param.resources = modules.resources;
    param.info = info;
    if (RunPrompt(modules.resources, kJobTypePrompt, JobTypeProc,
                  reinterpret_cast<LPARAM>(&param)) != IDOK)
        return 0;
    PutField(auth->userId, job.id);
    PutField(auth->password, job.password);
    PutField(dept->code, deptBlock.code);
    if (param.infoOn) {
        PutField(info->jobName, param.jobName);
        PutField(info->userName, param.userName);
        info->flags &= ~kJobInfoAsked;
    }
    return 1;
}

INT InputUserJobInformation(HANDLE printer, LPVOID modelData, JobInfoRecord* record) {
    if (!record || !modelData || !(record->flags & kJobInfoAsked)) return 1;
    PromptModules modules(printer, modelData);
    if (!modules.resources) return 1;
    // The prompt works on a copy: the caller's record changes only by an OK.
    JobInfoRecord copy = *record;
    copy.jobName[sizeof copy.jobName - 1] = 0;
    copy.userName[sizeof copy.userName - 1] = 0;
    JobInfoPromptParam param{modules.resources, &copy};
    if (RunPrompt(modules.resources, kJobInfoPrompt, JobInfoProc,
                  reinterpret_cast<LPARAM>(&param)) == IDOK)
        *record = copy;
    return 1;
}

} // namespace sheetwright
