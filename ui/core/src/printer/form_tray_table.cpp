// The form-to-tray table in memory and as the printer data "FormTrayEx".
#include "form_tray_table.h"

#include <cstring>

#include "devmode_helpers.h"
#include "install_option.h"
#include "user_paper.h"
#include "win/memory.h"
#include "win/registry.h"
#include "win/spool.h"

namespace sheetwright {

namespace {

FormTrayRecord* Records(const FormTrayTable* table) {
    return table && table->buffer ? static_cast<FormTrayRecord*>(table->buffer) : nullptr;
}

void SetMarker(FormTrayRecord* record) {
    const DWORD marker = kFormTrayMarker;
    std::memcpy(record->reserved, &marker, sizeof marker);
}

} // namespace

FormTrayRecord* FindFormTrayRecord(FormTrayTable* table, WORD trayId) {
    FormTrayRecord* records = Records(table);
    for (DWORD i = 0; records && i < table->count; ++i)
        if (records[i].trayId == trayId) return &records[i];
    return nullptr;
}

BOOL SetFormTrayRecord(FormTrayTable* table, const FormTrayRecord& record) {
    if (!table) return FALSE;
    if (FormTrayRecord* same = FindFormTrayRecord(table, record.trayId)) {
        *same = record;
        SetMarker(same);
        return TRUE;
    }
    const SIZE_T bytes = (static_cast<SIZE_T>(table->count) + 1) * sizeof(FormTrayRecord);
    HGLOBAL grown = GlobalAlloc(GMEM_FIXED, bytes);
    if (!grown) return FALSE;
    if (table->buffer) {
        std::memcpy(grown, table->buffer, table->count * sizeof(FormTrayRecord));
        GlobalFree(table->buffer);
    }
    table->buffer = grown;
    FormTrayRecord* added = Records(table) + table->count;
    *added = record;
    SetMarker(added);
    ++table->count;
    return TRUE;
}

void ReconcileFormTrayTable(FormTrayTable* table, const CInstallOption* options) {
    FormTrayRecord* records = Records(table);
    if (!records || !options) return;
    for (DWORD i = table->count; i-- > 0;) {
        const InstallOptionEntry* tray = options->Find(kOptionInputTray, records[i].trayId);
        if (!tray || tray->state) continue;
        std::memmove(&records[i], &records[i + 1], (table->count - i - 1) * sizeof *records);
        --table->count;
    }
}

BOOL FixFormTrayUserPapers(FormTrayTable* table, const CUserPaper* papers) {
    FormTrayRecord* records = Records(table);
    if (!records) return FALSE;
    BOOL changed = FALSE;
    for (DWORD i = 0; i < table->count; ++i) {
        // Ids are stored unsigned; one read as negative names no paper at all
        // and is left as it stands.
        const SHORT paper = static_cast<SHORT>(records[i].paperId);
        if (paper < static_cast<SHORT>(kFirstUserPaper)) continue;
        if (papers && papers->FindById(records[i].paperId)) continue;
        records[i].paperId = 0;
        changed = TRUE;
    }
    return changed;
}

BOOL FixFormTrayUserPapers(FormTrayTable* table, const ModelBlock* binding) {
    if (!binding || !binding->modelData) return FALSE;
    CUserPaper papers;
    papers.SetDefaultPath(binding);
    papers.Read();
    return FixFormTrayUserPapers(table, &papers);
}

DWORD SaveFormTrayTable(const FormTrayTable* table) {
    if (!table || !table->printer) return ERROR_INVALID_PARAMETER;
    const FormTrayRecord* records = Records(table);
    const DWORD bytes = records ? table->count * static_cast<DWORD>(sizeof *records) : 0;
    BYTE none = 0;
    return SetPrinterDataW(
        table->printer, const_cast<LPWSTR>(kFormTrayValue), REG_BINARY,
        records ? reinterpret_cast<LPBYTE>(const_cast<FormTrayRecord*>(records)) : &none, bytes);
}

void FreeFormTrayTable(FormTrayTable* table) {
    if (!table) return;
    if (table->buffer) GlobalFree(table->buffer);
    table->buffer = nullptr;
    table->count = 0;
}

} // namespace sheetwright
