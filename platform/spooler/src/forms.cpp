// Forms of the print server: EnumForms level 1.
#include "spooler_internal.h"

using namespace platform::spooler;

extern "C" BOOL WINAPI EnumFormsW(HANDLE hPrinter, DWORD Level, LPBYTE pForm, DWORD cbBuf,
                                  LPDWORD pcbNeeded, LPDWORD pcReturned) {
    return GuardedBool("EnumFormsW", hPrinter, [&](test::Call& call) -> BOOL {
        call.level = Level;
        call.bytes = cbBuf;
        SPOOLER_FAULT_POINT("EnumFormsW", FALSE);
        auto h = FindHandle(hPrinter);
        if (!h) return FALSE;
        if (h->kind == SpoolHandle::Kind::XcvPort) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (Level != 1) {
            SetLastError(ERROR_INVALID_LEVEL);
            return FALSE;
        }
        if (!pcReturned || !pcbNeeded) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *pcReturned = 0;
        struct Form {
            std::u16string name;
            FORM_INFO_1W info;
        };
        std::vector<Form> forms;
        Stmt s("SELECT name, flags, cx, cy, area_left, area_top, area_right, area_bottom FROM "
               "spl_forms "
               "ORDER BY position");
        while (s.Step()) {
            Form f{s.Wide(0), {}};
            f.info.Flags = static_cast<DWORD>(s.Int(1));
            f.info.Size = {static_cast<LONG>(s.Int(2)), static_cast<LONG>(s.Int(3))};
            f.info.ImageableArea = {static_cast<LONG>(s.Int(4)), static_cast<LONG>(s.Int(5)),
                                    static_cast<LONG>(s.Int(6)), static_cast<LONG>(s.Int(7))};
            forms.push_back(std::move(f));
        }
        Answer a;
        std::vector<size_t> records;
        for (const auto& f : forms) {
            size_t r = a.Record(sizeof(FORM_INFO_1W));
            a.Put(r + offsetof(FORM_INFO_1W, Flags), f.info.Flags);
            a.Put(r + offsetof(FORM_INFO_1W, Size), f.info.Size);
            a.Put(r + offsetof(FORM_INFO_1W, ImageableArea), f.info.ImageableArea);
            records.push_back(r);
        }
        for (size_t i = 0; i < forms.size(); ++i)
            a.String(records[i] + offsetof(FORM_INFO_1W, pName), forms[i].name);
        if (!a.Deliver(pForm, cbBuf, pcbNeeded)) return FALSE;
        *pcReturned = static_cast<DWORD>(forms.size());
        return TRUE;
    });
}
