#include "form_tray_page.h"

#include <cstdio>

#include "dialog_lookups.h"
#include "form_tray_table.h"
#include "install_option.h"
#include "kinsoku_list.h"
#include "kinsoku_rules.h"
#include "list_helpers.h"
#include "localize.h"
#include "revise_devmode.h"
#include "user_paper.h"
#include "win/spool.h"

namespace sheetwright {
namespace {

constexpr DWORD kStringUnspecified = 6400;
constexpr DWORD kStringCannotSave = 3126;
// The automatic choice of item 3 is no tray one can load.
constexpr WORD kAutoSource = 7;
constexpr WORD kLongUserPaper = 457;
constexpr char16_t kMetricCountryValue[] = u"MetricCountry";

CKinsokuItem* Item(const SheetContext* c, WORD item) {
    return c && c->constraints ? c->constraints->FindItem(item) : nullptr;
}

void AddRow(HWND list, const std::u16string& text, LPARAM data) {
    const LRESULT at =
        ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (at >= 0) ::SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(at), data);
}

void AddItem(HWND combo, const std::u16string& text, LPARAM data) {
    const LRESULT at =
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (at >= 0) ::SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(at), data);
}

int HeaderLeft(HWND page, int id) {
    RECT r{};
    HWND header = ::GetDlgItem(page, id);
    if (!header || !::GetWindowRect(header, &r)) return 0;
    POINT p{r.left, r.top};
    ::ScreenToClient(page, &p);
    return p.x;
}

} // namespace

BEGIN_MESSAGE_MAP(CFormTray, CPropPage)
ON_LBN_SELCHANGE(CFormTray::kTrayList, OnTraySelected)
ON_CBN_SELCHANGE(CFormTray::kPaperCombo, OnPaperChosen)
ON_CBN_SELCHANGE(CFormTray::kMediaCombo, OnMediaChosen)
END_MESSAGE_MAP()

CFormTray::CFormTray(SheetContext* context) : CPropPage(kPageFormTray, context) {
    // Records naming user papers deleted since the table was written show
    // "Unspecified"; nothing is written until Apply.
    if (context && context->formTray) FixFormTrayUserPapers(context->formTray, context->userPapers);
}

std::u16string CFormTray::Text(DWORD id) const {
    std::u16string text;
    if (Context()) CLocalize(Context()->resourceModule).LoadString(id, &text);
    return text;
}

bool CFormTray::Listed(const KinsokuChainNode* node) const {
    CKinsokuItem* sources = Item(Context(), kItemSource);
    return node && node->value != kAutoSource &&
           !(sources && sources->RuleContainsItem(node->value));
}

BOOL CFormTray::OnInitDialog() {
    CPropPage::OnInitDialog();
    SheetContext* c = Context();
    // Tab stops at the column headers, in dialog units of the list.
    RECT four{0, 0, 4, 0};
    ::MapDialogRect(m_hWnd, &four);
    const int w = four.right > 0 ? four.right : 4;
    const int tray = HeaderLeft(m_hWnd, kTrayHeader);
    INT stops[2] = {::MulDiv(HeaderLeft(m_hWnd, kPaperHeader) - tray, 4, w),
                    ::MulDiv(HeaderLeft(m_hWnd, kMediaHeader) - tray, 4, w)};
    HWND list = ::GetDlgItem(m_hWnd, kTrayList);
    ::SetWindowLongW(list, GWL_STYLE, ::GetWindowLongW(list, GWL_STYLE) | LBS_USETABSTOPS);
    ::SendMessageW(list, LB_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(stops));

    if (CKinsokuItem* sources = Item(c, kItemSource))
        for (const KinsokuChainNode* n = sources->BuildValueChain(); n; n = n->next)
            if (Listed(n)) {
                currentTray_ = n->value;
                break;
            }
    mediaShown_ = c && c->optionPair && LacksTable22Flag(c->optionPair);
    for (int id : {kMediaCombo, kMediaLabel, kMediaHeader})
        ::ShowWindow(::GetDlgItem(m_hWnd, id), mediaShown_ ? SW_SHOW : SW_HIDE);
    return TRUE;
}

void CFormTray::RebuildTrayList() {
    HWND list = ::GetDlgItem(m_hWnd, kTrayList);
    ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
    SheetContext* c = Context();
    CKinsokuItem* sources = Item(c, kItemSource);
    if (!sources || !c->formTray) return;
    const std::u16string unspecified = Text(kStringUnspecified);
    for (const KinsokuChainNode* n = sources->BuildValueChain(); n; n = n->next) {
        if (!Listed(n)) continue;
        FormTrayRecord* record = FindFormTrayRecord(c->formTray, n->value);
        if (!record) {
            FormTrayRecord fresh{};
            fresh.trayId = n->value;
            if (SetFormTrayRecord(c->formTray, fresh))
                record = FindFormTrayRecord(c->formTray, n->value);
        }
        std::u16string paper = unspecified, media = unspecified;
        if (record && record->paperId)
            GetPaperName(&paper, &c->model, c->resourceModule, record->paperId, c->userPapers);
        if (record && record->mediaId) {
            media.clear();
            if (WORD name = GetMediaTypeNameId(&c->model, record->mediaId))
                CLocalize(c->resourceModule).LoadString(name, &media);
        }
        std::u16string row = Text(n->param1) + u"\t" + paper;
        if (mediaShown_) row += u"\t" + media;
        AddRow(list, row, n->value);
    }
}

void CFormTray::Refresh() {
    if (!m_hWnd) return;
    SheetContext* c = Context();
    RebuildTrayList();
    SelectListByData(::GetDlgItem(m_hWnd, kTrayList), currentTray_);
    HWND paperCombo = ::GetDlgItem(m_hWnd, kPaperCombo);
    HWND mediaCombo = ::GetDlgItem(m_hWnd, kMediaCombo);
    FormTrayRecord* record =
        c && c->formTray ? FindFormTrayRecord(c->formTray, currentTray_) : nullptr;
    const bool editable = record && !IsSheetReadOnly(c);
    ::EnableWindow(paperCombo, editable);
    ::EnableWindow(mediaCombo, editable);
    if (!record) return;
    const std::u16string unspecified = Text(kStringUnspecified);

    ::SendMessageW(paperCombo, CB_RESETCONTENT, 0, 0);
    AddItem(paperCombo, unspecified, 0);
    if (CKinsokuItem* papers = Item(c, kItemPaper)) {
        for (const KinsokuChainNode* n = papers->BuildValueChain(); n; n = n->next) {
            // User papers meet the tray's rules as the one long or ordinary
            // user paper the model knows.
            DWORD tested = n->value;
            if (const UserPaperRecord* user =
                    c->userPapers ? c->userPapers->FindById(n->value) : nullptr)
                tested = IsLongPaper(&c->model, user->widthTenthMm / 10.0,
                                     user->lengthTenthMm / 10.0, TRUE)
                             ? kLongUserPaper
                             : kFirstUserPaper;
            if (c->constraints->FindRuleValue(kItemSource, currentTray_, kTriggerPaper, tested) ||
                IsPaperOverMaxSize(&c->model, n->value))
                continue;
            std::u16string name;
            GetPaperName(&name, &c->model, c->resourceModule, n->value, c->userPapers);
            AddItem(paperCombo, name, n->value);
        }
    }
    SelectComboByData(paperCombo, record->paperId);

    ::SendMessageW(mediaCombo, CB_RESETCONTENT, 0, 0);
    AddItem(mediaCombo, unspecified, 0);
    if (CKinsokuItem* media = Item(c, kItemMedia)) {
        for (const KinsokuChainNode* n = media->BuildValueChain(); n; n = n->next) {
            if (c->constraints->FindRuleValue(kItemSource, currentTray_, kTriggerMedia, n->value))
                continue;
            if (record->paperId &&
                c->constraints->FindRuleValue(kItemMedia, n->value, kTriggerPaper, record->paperId))
                continue;
            AddItem(mediaCombo, Text(n->param1), n->value);
        }
    }
    SelectComboByData(mediaCombo, record->mediaId);
}

void CFormTray::OnTraySelected() {
    const LRESULT tray = GetListSelData(::GetDlgItem(m_hWnd, kTrayList));
    if (tray == LB_ERR) return;
    currentTray_ = static_cast<WORD>(tray);
    Refresh();
}

void CFormTray::OnPaperChosen() {
    SheetContext* c = Context();
    FormTrayRecord* record =
        c && c->formTray ? FindFormTrayRecord(c->formTray, currentTray_) : nullptr;
    const LRESULT paper = GetComboSelData(::GetDlgItem(m_hWnd, kPaperCombo));
    if (!record || paper == CB_ERR) return;
    record->paperId = static_cast<WORD>(paper);
    if (record->mediaId && record->paperId &&
        c->constraints->FindRuleValue(kItemMedia, record->mediaId, kTriggerPaper, record->paperId))
        record->mediaId = 0;
    NotifySettingsChanged(TRUE, FALSE);
    Refresh();
}

void CFormTray::OnMediaChosen() {
    SheetContext* c = Context();
    FormTrayRecord* record =
        c && c->formTray ? FindFormTrayRecord(c->formTray, currentTray_) : nullptr;
    const LRESULT media = GetComboSelData(::GetDlgItem(m_hWnd, kMediaCombo));
    if (!record || media == CB_ERR) return;
    record->mediaId = static_cast<WORD>(media);
    NotifySettingsChanged(TRUE, FALSE);
    Refresh();
}

BOOL CFormTray::OnSetActive() {
    SheetContext* c = Context();
    // Trays removed on the Device page lose their rows.
    if (c && c->formTray) ReconcileFormTrayTable(c->formTray, c->installOptions);
    Refresh();
    return CPropPage::OnSetActive();
}

BOOL CFormTray::OnApply() {
    SheetContext* c = Context();
    if (!c || IsSheetReadOnly(c) || !c->formTray) return TRUE;
    ReconcileFormTrayTable(c->formTray, c->installOptions);
    DWORD failed = SaveFormTrayTable(c->formTray);
    // The country decides the metric defaults of the printer's forms.
    const DWORD metric = IsMetricCountry() ? 1 : 0;
    DWORD stored = 0, type = 0, size = 0;
    if (GetPrinterDataW(c->printer, const_cast<LPWSTR>(kMetricCountryValue), &type,
                        reinterpret_cast<LPBYTE>(&stored), sizeof stored, &size) != ERROR_SUCCESS ||
        size != sizeof stored || stored != metric) {
        DWORD value = metric;
        if (!failed)
            failed = SetPrinterDataW(c->printer, const_cast<LPWSTR>(kMetricCountryValue), REG_DWORD,
                                     reinterpret_cast<LPBYTE>(&value), sizeof value);
    }
    PRINTER_INFO_7W publish{nullptr, DSPRINT_UPDATE};
    if (!failed && !::SetPrinterW(c->printer, 7, reinterpret_cast<LPBYTE>(&publish), 0))
        failed = ::GetLastError() ? ::GetLastError() : ERROR_ACCESS_DENIED;
    if (failed) {
        // The sheet stays changed, so the user can try again.
        ::MessageBoxW(m_hWnd, Text(kStringCannotSave).c_str(), c->printerName,
                      MB_OK | MB_ICONEXCLAMATION);
        return FALSE;
    }
    CPropPage::OnOK();
    return TRUE;
}

} // namespace sheetwright
