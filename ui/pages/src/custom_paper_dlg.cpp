#include "custom_paper_dlg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "control_states.h"
#include "devmode_helpers.h"
#include "dialog_lookups.h"
#include "driver_env.h"
#include "form_tray_table.h"
#include "list_helpers.h"
#include "localize.h"
#include "model/model_queries.h"
#include "model_info.h"
#include "number_edits.h"
#include "number_text.h"
#include "sheet_help.h"
#include "user_paper.h"
#include "win/spool.h"

namespace sheetwright {
namespace {

// A nudge against values like 8.5 stored as 8.4999...
constexpr double kEpsilon = 0.00001;

constexpr WORD kDefaultMaxPapers = 10;

constexpr DWORD kStringCaption = 6300;
constexpr DWORD kStringAskDelete = 6301;
constexpr DWORD kStringNoName = 6302;
constexpr DWORD kStringNoWidth = 6303;
constexpr DWORD kStringNoLength = 6304;
constexpr DWORD kStringBadChars = 6305;
constexpr DWORD kStringReplace = 6306;
constexpr DWORD kStringRangeMM = 6307;
constexpr DWORD kStringRangeInch = 6308;
constexpr DWORD kStringLongInch = 6309;
constexpr DWORD kStringLongMM = 6310;
constexpr DWORD kStringModelName = 6311;
constexpr DWORD kStringLongNumberInch = 6313;
constexpr DWORD kStringLongNumberMM = 6314;

std::u16string Widen(const char* text) {
    return std::u16string(text, text + std::strlen(text));
}

// printf over a text of the resource library (only number conversions and %s).
std::u16string Format(const std::u16string& format, std::initializer_list<double> numbers) {
    std::string f(format.begin(), format.end());
    char buffer[256] = {};
    auto it = numbers.begin();
    const double a = it != numbers.end() ? *it++ : 0, b = it != numbers.end() ? *it++ : 0;
    std::snprintf(buffer, sizeof buffer, f.c_str(), a, b);
    return Widen(buffer);
}

std::u16string ReplaceArgument(std::u16string text, const std::u16string& argument) {
    const size_t at = text.find(u"%s");
    if (at != std::u16string::npos) text.replace(at, 2, argument);
    return text;
}

WORD Truncated(double value, double scale, double round) {
    return static_cast<WORD>(
        std::clamp(std::floor((value + kEpsilon) * scale + round), 0.0, 65535.0));
}

} // namespace

BOOL ReadPaperLimits(const ModelBlock* binding, BOOL longPaper, PaperLimits* out) {
    *out = PaperLimits{};
    CModelInfo table(binding,
                     longPaper ? model::kQueryLongPaperLimits : model::kQueryCustomPaperLimits, 0,
                     model::layout::kLimitsRecord);
    if (!table.GetData()) return FALSE;
    auto mm = [&](size_t word) { return table.U16(word * 2) / 10.0; };
    // 1/600 inch, in whole hundredths of an inch.
    auto inch = [&](size_t word) { return (table.U16(word * 2) / 6) / 100.0; };
    out->widthMax = mm(2);
    out->lengthMax = mm(3);
    out->widthMin = mm(6);
    out->lengthMin = mm(7);
    out->widthMaxIn = inch(4);
    out->lengthMaxIn = inch(5);
    out->widthMinIn = inch(8);
    out->lengthMinIn = inch(9);
    return TRUE;
}

// ---------------------------------------------------------------- edit dialog

BEGIN_MESSAGE_MAP(CCustomPaperEdit, CLocalDlg)
ON_CONTROL_RANGE(BN_CLICKED, CCustomPaperEdit::kInches, CCustomPaperEdit::kMillimetres, OnUnit)
ON_BN_CLICKED(CCustomPaperEdit::kLongPaper, OnLongPaper)
ON_EN_CHANGE(CCustomPaperEdit::kWidth, OnWidthChange)
ON_EN_CHANGE(CCustomPaperEdit::kLength, OnLengthChange)
ON_EN_KILLFOCUS(CCustomPaperEdit::kWidth, OnWidthKillFocus)
ON_EN_KILLFOCUS(CCustomPaperEdit::kLength, OnLengthKillFocus)
ON_MESSAGE(WM_CTLCOLOREDIT, OnColorMessage)
ON_MESSAGE(WM_CTLCOLORSTATIC, OnColorMessage)
END_MESSAGE_MAP()

CCustomPaperEdit::CCustomPaperEdit(SheetContext* context, const CUserPaper* papers, CWnd* parent)
    : CLocalDlg(kCustomPaperEditDialog, parent), context_(context), papers_(papers) {}

CCustomPaperEdit::~CCustomPaperEdit() {
    if (faceBrush_) ::DeleteObject(faceBrush_);
}

std::u16string CCustomPaperEdit::String(DWORD id) {
    std::u16string text;
    Localize().LoadString(id, &text);
    return text;
}

int CCustomPaperEdit::Ask(DWORD textId, const std::u16string& argument, UINT buttons) {
    const std::u16string text = ReplaceArgument(String(textId), argument);
    const std::u16string caption = String(kStringCaption);
    return ::MessageBoxW(m_hWnd, text.c_str(), caption.c_str(), buttons | MB_ICONEXCLAMATION);
}

BOOL CCustomPaperEdit::OnInitDialog() {
    CLocalDlg::OnInitDialog();
    GetDecimalSeparator(&separator_);
    nameEdit_.SubclassDlgItem(kName, this);
    widthEdit_.SubclassDlgItem(kWidth, this);
    lengthEdit_.SubclassDlgItem(kLength, this);
    ::SendMessageW(Item(kName), EM_LIMITTEXT, 31, 0);
    const WPARAM digits = separator_.size() + 4;
    ::SendMessageW(Item(kWidth), EM_LIMITTEXT, digits, 0);
    ::SendMessageW(Item(kLength), EM_LIMITTEXT, digits, 0);

    if (hasLong) {
        longPaper_ = IsLongPaper(context_ ? &context_->model : nullptr,
                                 (useMillimetres ? widthMM : widthIn) + kEpsilon,
                                 (useMillimetres ? lengthMM : lengthIn) + kEpsilon, useMillimetres);
        ::SendMessageW(Item(kLongPaper), BM_SETCHECK, longPaper_ ? BST_CHECKED : BST_UNCHECKED, 0);
    } else {
        ::ShowWindow(Item(kLongPaper), SW_HIDE);
        ::EnableWindow(Item(kLongPaper), FALSE);
        longPaper_ = FALSE;
    }
    UpdateLongPaperText();
    SelectLimits();
    ::SendMessageW(Item(kInches), BM_SETCHECK, useMillimetres ? BST_UNCHECKED : BST_CHECKED, 0);
    ::SendMessageW(Item(kMillimetres), BM_SETCHECK, useMillimetres ? BST_CHECKED : BST_UNCHECKED,
                   0);
    ::SetWindowTextW(Item(kName), name.c_str());
    newName_ = name.empty();
    if (!newName_) {
        ::SendMessageW(Item(kName), EM_SETREADONLY, TRUE, 0);
        ::SetFocus(Item(kWidth));
    }
    ShowValues(FALSE);
    return newName_;
}

void CCustomPaperEdit::UpdateLongPaperText() {
    const double maximum = useMillimetres ? regular.lengthMax : regular.lengthMaxIn;
    std::u16string number =
        Format(String(useMillimetres ? kStringLongNumberMM : kStringLongNumberInch), {maximum});
    if (number.find(u'.') != std::u16string::npos) {
        while (!number.empty() && number.back() == u'0')
            number.pop_back();
        if (!number.empty() && number.back() == u'.') number.pop_back();
    }
    LocalizeDecimalText(&number, separator_);
    const std::u16string text =
        ReplaceArgument(String(useMillimetres ? kStringLongMM : kStringLongInch), number);
    if (!text.empty()) ::SetWindowTextW(Item(kLongPaper), text.c_str());
}

void CCustomPaperEdit::SelectLimits() {
    current_ = longPaper_ ? longLimits : regular;
    ClampValues();
    ShowValues(FALSE);
}

void CCustomPaperEdit::ClampValues() {
    auto clamp = [](double* v, double lo, double hi) {
        const double x = *v + kEpsilon;
        if (x < lo)
            *v = lo;
        else if (x > hi)
            *v = hi;
    };
    clamp(&widthMM, current_.widthMin, std::max(current_.widthMin, current_.widthMax));
    clamp(&lengthMM, current_.lengthMin, std::max(current_.lengthMin, current_.lengthMax));
    clamp(&widthIn, current_.widthMinIn, std::max(current_.widthMinIn, current_.widthMaxIn));
    clamp(&lengthIn, current_.lengthMinIn, std::max(current_.lengthMinIn, current_.lengthMaxIn));
}

double CCustomPaperEdit::EditNumber(int id) {
    const double v = GetDoubleEditValue(Item(id), separator_);
    return std::isnan(v) ? 0.0 : v;
}

void CCustomPaperEdit::ShowValues(BOOL take) {
    writing_ = TRUE;
    const char* format = useMillimetres ? "%.1f" : "%.2f";
    auto show = [&](int id, double value) {
        char buffer[64] = {};
        std::snprintf(buffer, sizeof buffer, format, value);
        std::u16string text = Widen(buffer);
        LocalizeDecimalText(&text, separator_);
        ::SetWindowTextW(Item(id), text.c_str());
    };
    show(kWidth, useMillimetres ? widthMM : widthIn);
    show(kLength, useMillimetres ? lengthMM : lengthIn);
    writing_ = FALSE;
    shownWidth_ = EditNumber(kWidth);
    shownLength_ = EditNumber(kLength);
    widthChanged_ = lengthChanged_ = FALSE;
    if (take) {
        // The value becomes what the edit shows in this unit.
        (useMillimetres ? widthMM : widthIn) = shownWidth_;
        (useMillimetres ? lengthMM : lengthIn) = shownLength_;
    }
    const std::u16string format2 = String(useMillimetres ? kStringRangeMM : kStringRangeInch);
    std::u16string lengthRange =
        useMillimetres ? Format(format2, {current_.lengthMin, current_.lengthMax})
                       : Format(format2, {current_.lengthMinIn, current_.lengthMaxIn});
    std::u16string widthRange = useMillimetres
                                    ? Format(format2, {current_.widthMin, current_.widthMax})
                                    : Format(format2, {current_.widthMinIn, current_.widthMaxIn});
    LocalizeDecimalText(&lengthRange, separator_);
    LocalizeDecimalText(&widthRange, separator_);
    ::SetWindowTextW(Item(kLengthRange), lengthRange.c_str());
    ::SetWindowTextW(Item(kWidthRange), widthRange.c_str());
}

void CCustomPaperEdit::TakeEdits() {
    const double w = EditNumber(kWidth), l = EditNumber(kLength);
    if (useMillimetres) {
        widthMM = w;
        lengthMM = l;
        widthIn = w / 25.4;
        lengthIn = l / 25.4;
    } else {
        widthIn = w;
        lengthIn = l;
        widthMM = w * 25.4;
        lengthMM = l * 25.4;
    }
    ClampValues();
    ShowValues(FALSE);
}

void CCustomPaperEdit::OnUnit(UINT controlId) {
    useMillimetres = controlId == kMillimetres;
    UpdateLongPaperText();
    ShowValues(TRUE);
}

void CCustomPaperEdit::OnLongPaper() {
    longPaper_ = ::SendMessageW(Item(kLongPaper), BM_GETCHECK, 0, 0) == BST_CHECKED;
    SelectLimits();
}

void CCustomPaperEdit::OnWidthChange() {
    if (!writing_) widthChanged_ = TRUE;
}
void CCustomPaperEdit::OnLengthChange() {
    if (!writing_) lengthChanged_ = TRUE;
}
void CCustomPaperEdit::OnWidthKillFocus() {
    if (widthChanged_ && EditNumber(kWidth) != shownWidth_) TakeEdits();
}
void CCustomPaperEdit::OnLengthKillFocus() {
    if (lengthChanged_ && EditNumber(kLength) != shownLength_) TakeEdits();
}

void CCustomPaperEdit::OnOK() {
    HWND nameEdit = Item(kName);
    WCHAR text[64] = {};
    ::GetWindowTextW(nameEdit, text, 64);
    auto refuse = [&](DWORD message, HWND focus, bool select) {
        Ask(message, u"", MB_OK);
        if (select) ::SendMessageW(focus, EM_SETSEL, 0, -1);
        ::SetFocus(focus);
    };
    // A name of blanks only is no name.
    if (!text[0] || IsBlankText(text)) return refuse(kStringNoName, nameEdit, true);
    if (context_) {
        CModelInfo papers(&context_->model, model::kQueryPapers, 0, model::layout::kPaperList);
        if (papers.GetData()) {
            const DWORD count = papers.Length() / 4;
            for (DWORD i = 0; i < count; ++i) {
                std::u16string paper;
                Localize().LoadString(papers.U16(i * 4 + 2), &paper);
                if (!paper.empty() && lstrcmpiW(paper.c_str(), text) == 0)
                    return refuse(kStringModelName, nameEdit, true);
            }
        }
    }
    // What is typed counts, within the limits, before anything is checked:
    // an OK straight after typing never stores an unclamped size.
    if (widthChanged_ || lengthChanged_) TakeEdits();
    if (EditNumber(kWidth) <= 0) return refuse(kStringNoWidth, Item(kWidth), false);
    if (EditNumber(kLength) <= 0) return refuse(kStringNoLength, Item(kLength), false);
    if (newName_ && papers_ && papers_->FindByName(text) &&
        Ask(kStringReplace, text, MB_YESNO | MB_DEFBUTTON2) != IDYES)
        return;
    if (context_ && HasForbiddenCharacters(context_->resourceModule, text)) {
        std::u16string forbidden;
        Localize().LoadString(kStringForbiddenChars, &forbidden);
        Ask(kStringBadChars, forbidden, MB_OK);
        ::SendMessageW(nameEdit, EM_SETSEL, 0, -1);
        ::SetFocus(nameEdit);
        return;
    }
    name = text;
    CLocalDlg::OnOK();
}

LRESULT CCustomPaperEdit::OnColorMessage(WPARAM wParam, LPARAM lParam) {
    if (HBRUSH face = ReadOnlyEditBrush(reinterpret_cast<HDC>(wParam),
                                        reinterpret_cast<HWND>(lParam), &faceBrush_))
        return reinterpret_cast<LRESULT>(face);
    return Default();
}

// ---------------------------------------------------------------- list dialog

BEGIN_MESSAGE_MAP(CCustomPaperlist, CLocalDlg)
ON_BN_CLICKED(CCustomPaperlist::kNew, OnNew)
ON_BN_CLICKED(CCustomPaperlist::kEdit, OnEdit)
ON_BN_CLICKED(CCustomPaperlist::kDelete, OnDelete)
ON_LBN_SELCHANGE(CCustomPaperlist::kList, OnSelchangeList)
ON_BN_CLICKED(kDialogHelpButtonId, OnHelpButton)
ON_MESSAGE(WM_HELP, OnHelpMessage)
ON_MESSAGE(WM_CONTEXTMENU, OnContextMenuMessage)
END_MESSAGE_MAP()

CCustomPaperlist::CCustomPaperlist(SheetContext* context, WORD selectedPaper, CWnd* parent)
    : CLocalDlg(kCustomPaperListDialog, parent), context_(context), selected_(selectedPaper) {}

std::u16string CCustomPaperlist::String(DWORD id) {
    std::u16string text;
    Localize().LoadString(id, &text);
    return text;
}

BOOL CCustomPaperlist::OnInitDialog() {
    CLocalDlg::OnInitDialog();
    listChanged_ = FALSE;
    GetDecimalSeparator(&separator_);
    FillList();
    const CUserPaper* papers = context_ ? context_->userPapers : nullptr;
    const UserPaperRecord* current = papers ? papers->FindById(selected_) : nullptr;
    if (current) SelectByName(current->name);
    ::SetFocus(Item(kList));
    OnSelchangeList();
    if (context_) {
        CModelInfo limit(&context_->model, model::kQueryCustomPaperLimits, 0,
                         model::layout::kLimitsSlot288);
        maxPapers_ = limit.GetData() ? limit.U16(4) : kDefaultMaxPapers;
    }
    EnableNew();
    return FALSE;
}

void CCustomPaperlist::FillList() {
    HWND list = Item(kList);
    ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
    const CUserPaper* papers = context_ ? context_->userPapers : nullptr;
    if (!papers) return;
    const std::u16string format = String(kStringPaperSize);
    for (WORD i = 0; i < papers->Count(); ++i) {
        const UserPaperRecord* r = papers->At(i);
        const bool mm = r->Unit() != 0;
        char a[32] = {}, b[32] = {};
        std::snprintf(a, sizeof a, mm ? "%.1f" : "%.2f",
                      mm ? r->widthTenthMm / 10.0 : r->widthHundredthIn / 100.0);
        std::snprintf(b, sizeof b, mm ? "%.1f" : "%.2f",
                      mm ? r->lengthTenthMm / 10.0 : r->lengthHundredthIn / 100.0);
        std::u16string size = format.empty() ? u"   %s x %s %s" : format;
        size = ReplaceArgument(size, Widen(a));
        size = ReplaceArgument(size, Widen(b));
        size = ReplaceArgument(size, String(mm ? kStringMillimetres : kStringInches));
        std::u16string line = AnsiToWide(r->name, std::strlen(r->name)) + size;
        LocalizeDecimalText(&line, separator_);
        const LRESULT at =
            ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
        if (at >= 0) ::SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(at), i);
    }
}

void CCustomPaperlist::SelectByName(const char* name) {
    HWND list = Item(kList);
    const CUserPaper* papers = context_ ? context_->userPapers : nullptr;
    const LRESULT count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
    if (!name) {
        if (count > 0) ::SendMessageW(list, LB_SETCURSEL, 0, 0);
        return;
    }
    for (LRESULT i = 0; papers && i < count; ++i) {
        const auto index = static_cast<WORD>(::SendMessageW(list, LB_GETITEMDATA, i, 0));
        const UserPaperRecord* r = papers->At(index);
        if (r && std::strcmp(r->name, name) == 0) {
            ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
            return;
        }
    }
}

void CCustomPaperlist::OnSelchangeList() {
    selected_ = 0;
    const LRESULT data = GetListSelData(Item(kList));
    const CUserPaper* papers = context_ ? context_->userPapers : nullptr;
    const UserPaperRecord* r =
        data != LB_ERR && papers ? papers->At(static_cast<WORD>(data)) : nullptr;
    ::EnableWindow(Item(kEdit), r != nullptr);
    ::EnableWindow(Item(kDelete), r != nullptr);
    if (r) selected_ = r->paperId;
}

void CCustomPaperlist::EnableNew() {
    const CUserPaper* papers = context_ ? context_->userPapers : nullptr;
    ::EnableWindow(Item(kNew), papers && papers->Count() < maxPapers_);
}

void CCustomPaperlist::FocusOkIfDisabled(int controlId) {
    if (!::IsWindowEnabled(Item(controlId))) ::SetFocus(Item(IDOK));
}

void CCustomPaperlist::WritePapers() {
    CUserPaper* papers = context_->userPapers;
    if (papers->Write()) return;
    // The old file stays as it was; the list goes on in memory and the user
    // learns that it was not kept.
    const DWORD error = ::GetLastError();
    WCHAR reason[512] = {};
    ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                     reason, 512, nullptr);
    std::u16string text = papers->Path();
    text += u"\r\n";
    text += reason[0] ? reason : u"The file could not be written.";
    const std::u16string caption = String(kStringCaption);
    ::MessageBoxW(m_hWnd, text.c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

void CCustomPaperlist::EditPaper(BOOL isNew) {
    if (!context_ || !context_->userPapers) return;
    CUserPaper* papers = context_->userPapers;
    const DEVMODE_IMAGEW& im = context_->workingImage;
    UserPaperRecord record{};
    if (isNew) {
        const BOOL mm = (im.priv.MeasureFlags & kA4Region) != 0;
        record.SetUnit(mm ? 1 : 0);
        const WORD paper = GetDefaultPaperId(&context_->model, mm);
        CModelInfo size(&context_->model, model::kQueryPapers, paper, model::layout::kPaperRecord);
        if (size.GetData()) {
            record.widthTenthMm = size.U16(8);
            record.lengthTenthMm = size.U16(10);
            record.widthHundredthIn = static_cast<WORD>(size.U16(12) / 6);
            record.lengthHundredthIn = static_cast<WORD>(size.U16(14) / 6);
        }
    } else {
        const LRESULT data = GetListSelData(Item(kList));
        const UserPaperRecord* r = data != LB_ERR ? papers->At(static_cast<WORD>(data)) : nullptr;
        if (!r) {
            FocusOkIfDisabled(kEdit);
            return;
        }
        record = *r;
    }

    CCustomPaperEdit edit(context_, papers, this);
    edit.name = AnsiToWide(record.name, std::strlen(record.name));
    edit.useMillimetres = record.Unit() != 0;
    edit.widthMM = record.widthTenthMm / 10.0;
    edit.lengthMM = record.lengthTenthMm / 10.0;
    edit.widthIn = record.widthHundredthIn / 100.0;
    edit.lengthIn = record.lengthHundredthIn / 100.0;
    ReadPaperLimits(&context_->model, FALSE, &edit.regular);
    edit.hasLong = context_->longPaper != 0;
    if (edit.hasLong) ReadPaperLimits(&context_->model, TRUE, &edit.longLimits);

    if (edit.DoModal() == IDOK) {
        bool replace = !isNew;
        if (isNew)
            if (const UserPaperRecord* same = papers->FindByName(edit.name.c_str())) {
                record = *same; // the user agreed to overwrite it
                replace = true;
            }
        std::memset(record.name, 0, sizeof record.name);
        WideToAnsi(record.name, edit.name.c_str(), sizeof record.name);
        record.SetUnit(edit.useMillimetres ? 1 : 0);
        const double mmRound = edit.useMillimetres ? 0.0 : 0.5;
        const double inRound = edit.useMillimetres ? 0.5 : 0.0;
        record.widthTenthMm = Truncated(edit.widthMM, 10, mmRound);
        record.lengthTenthMm = Truncated(edit.lengthMM, 10, mmRound);
        record.widthHundredthIn = Truncated(edit.widthIn, 100, inRound);
        record.lengthHundredthIn = Truncated(edit.lengthIn, 100, inRound);
        if (replace ? papers->Replace(&record) : papers->Add(&record)) {
            WritePapers();
            FillList();
            SelectByName(record.name);
            OnSelchangeList();
            listChanged_ = TRUE;
        }
    }
    if (isNew) EnableNew();
    FocusOkIfDisabled(isNew ? kNew : kEdit);
}

void CCustomPaperlist::OnDelete() {
    HWND list = Item(kList);
    const LRESULT line = ::SendMessageW(list, LB_GETCURSEL, 0, 0);
    const LRESULT data = GetListSelData(list);
    CUserPaper* papers = context_ ? context_->userPapers : nullptr;
    const UserPaperRecord* r =
        data != LB_ERR && papers ? papers->At(static_cast<WORD>(data)) : nullptr;
    if (r) {
        WCHAR text[128] = {};
        ::SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(text));
        const std::u16string message = ReplaceArgument(String(kStringAskDelete), text);
        const std::u16string caption = String(kStringCaption);
        if (::MessageBoxW(m_hWnd, message.c_str(), caption.c_str(),
                          MB_YESNO | MB_DEFBUTTON2 | MB_ICONEXCLAMATION) == IDYES) {
            // The line that will be selected: the next one when the first goes.
            char next[sizeof(UserPaperRecord::name)] = {};
            const LRESULT nextLine = line == 0 ? 1 : 0;
            if (::SendMessageW(list, LB_GETCOUNT, 0, 0) > nextLine) {
                const auto index =
                    static_cast<WORD>(::SendMessageW(list, LB_GETITEMDATA, nextLine, 0));
                if (const UserPaperRecord* n = papers->At(index))
                    std::memcpy(next, n->name, sizeof next);
            }
            papers->Remove(r->paperId);
            WritePapers();
            // Trays that held the paper hold none now.
            if (context_->formTray && FixFormTrayUserPapers(context_->formTray, papers) &&
                SaveFormTrayTable(context_->formTray) == ERROR_SUCCESS) {
                PRINTER_INFO_7W info{};
                info.dwAction = DSPRINT_UPDATE;
                ::SetPrinterW(context_->printer, 7, reinterpret_cast<LPBYTE>(&info), 0);
            }
            FillList();
            SelectByName(next[0] ? next : nullptr);
            OnSelchangeList();
            listChanged_ = TRUE;
        }
    }
    EnableNew();
    FocusOkIfDisabled(kDelete);
}

void CCustomPaperlist::OnHelpButton() {
    if (context_)
        OpenHelpTopic(m_hWnd, context_->helpFile, HELP_CONTEXT,
                      GetHelpContextId(kCustomPaperListDialog));
}

LRESULT CCustomPaperlist::OnHelpMessage(WPARAM, LPARAM lParam) {
    auto* info = reinterpret_cast<HELPINFO*>(lParam);
    if (info && info->iContextType == HELPINFO_WINDOW)
        OnContextHelp(static_cast<HWND>(info->hItemHandle), context_ ? context_->helpFile : nullptr,
                      HELP_WM_HELP, &Localize());
    return TRUE;
}

LRESULT CCustomPaperlist::OnContextMenuMessage(WPARAM wParam, LPARAM) {
    OnContextHelp(reinterpret_cast<HWND>(wParam), context_ ? context_->helpFile : nullptr,
                  HELP_CONTEXTMENU, &Localize());
    return TRUE;
}

} // namespace sheetwright
