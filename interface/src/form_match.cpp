// Matching a device mode's paper against the spooler's forms.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "frontdoor.h"

namespace frontdoor {
namespace {

constexpr LONG kFormTolerance = 1000;      // thousandths of a millimetre
constexpr LONG kTenthsToThousandths = 100; // device-mode sizes are tenths of a millimetre
constexpr short kLastStandardPaper = 118;

struct PaperRecord {
    WORD id;
    short width;
    short length;
};
constexpr size_t kPaperWidthAt = 130, kPaperLengthAt = 132;

// The forms of the printer in a zeroed GlobalAlloc block; NULL when there are none.
FORM_INFO_1W* EnumForms(HANDLE printer, DWORD* count) {
    *count = 0;
    DWORD needed = 0, returned = 0;
    EnumFormsW(printer, 1, nullptr, 0, &needed, &returned);
    if (needed == 0) return nullptr;
    auto* forms = static_cast<FORM_INFO_1W*>(GlobalAlloc(GPTR, needed));
    if (!forms) return nullptr;
    if (!EnumFormsW(printer, 1, reinterpret_cast<LPBYTE>(forms), needed, &needed, &returned) ||
        returned == 0) {
        GlobalFree(forms);
        return nullptr;
    }
    *count = returned;
    return forms;
}

void ApplyForm(DEVMODEW* dm, const FORM_INFO_1W& found, DWORD position, FORM_INFO_1W* form,
               LPWSTR formName) {
    *form = found;
    form->pName = formName;
    lstrcpynW(formName, found.pName ? found.pName : u"", CCHFORMNAME);
    std::memset(dm->dmFormName, 0, sizeof dm->dmFormName);
    lstrcpynW(dm->dmFormName, formName, CCHFORMNAME);
    dm->dmPaperWidth = static_cast<short>(found.Size.cx / kTenthsToThousandths);
    dm->dmPaperLength = static_cast<short>(found.Size.cy / kTenthsToThousandths);
    dm->dmFields |= DM_FORMNAME;
    dm->dmPaperSize = static_cast<short>(position + 1);
}

// The paper of that id in Sheetwright's paper list.
bool FindPaper(HANDLE printer, short id, PaperRecord* out) {
    HMODULE ui, model;
    LPVOID data;
    LoadComponents(printer, &ui, &model, &data);
    DWORD size = 0, count = 0;
    auto* list = static_cast<const BYTE*>(
        AllocEnumMyPrinterInfo(ui, model, data, printer, kEnumPapers, &size, &count));
    bool found = false;
    for (DWORD at = 0; list && !found && at + kEnumPaperRecordSize <= size;
         at += kEnumPaperRecordSize) {
        WORD paper;
        std::memcpy(&paper, list + at, sizeof paper);
        if (paper != static_cast<WORD>(id)) continue;
        out->id = paper;
        std::memcpy(&out->width, list + at + kPaperWidthAt, sizeof out->width);
        std::memcpy(&out->length, list + at + kPaperLengthAt, sizeof out->length);
        found = true;
    }
    if (list) GlobalFree(const_cast<BYTE*>(list));
    FreeComponents(ui, model, data);
    return found;
}

} // namespace

int CheckFormName(HANDLE printer, DEVMODEW* dm, FORM_INFO_1W* form, LPWSTR formName) {
    DWORD count = 0;
    FORM_INFO_1W* forms = EnumForms(printer, &count);
    if (!forms) return 2;
    int result = 2;
    if ((dm->dmFields & DM_PAPERLENGTH) && (dm->dmFields & DM_PAPERWIDTH) && dm->dmPaperWidth > 0 &&
        dm->dmPaperLength > 0) {
        LONG width = dm->dmPaperWidth * kTenthsToThousandths;
        LONG length = dm->dmPaperLength * kTenthsToThousandths;
        DWORD match = count;
        for (DWORD i = 0; i < count && match == count; ++i)
            if (std::labs(forms[i].Size.cx - width) <= kFormTolerance &&
                std::labs(forms[i].Size.cy - length) <= kFormTolerance)
                match = i;
        if (match < count) {
            if (!(dm->dmFields & DM_PAPERSIZE)) ApplyForm(dm, forms[match], match, form, formName);
            result = 0;
        } else {
            *form = {};
            formName[0] = 0;
            form->pName = formName;
            form->Size = {width, length};
            form->ImageableArea.right = width;
            form->ImageableArea.bottom = length;
            result = 1;
        }
    } else if (dm->dmFields & DM_PAPERSIZE) {
        PaperRecord paper{};
        if (dm->dmPaperSize >= 1 && dm->dmPaperSize <= kLastStandardPaper &&
            FindPaper(printer, dm->dmPaperSize, &paper) && paper.width > 0 && paper.length > 0) {
            dm->dmPaperWidth = paper.width;
            dm->dmPaperLength = paper.length;
            result = 0;
        }
    } else if (dm->dmFields & DM_FORMNAME) {
        WCHAR name[CCHFORMNAME];
        lstrcpynW(name, dm->dmFormName, CCHFORMNAME); // the field need not end in a NUL
        for (DWORD i = 0; i < count; ++i) {
            if (forms[i].pName && lstrcmpiW(forms[i].pName, name) == 0) {
                ApplyForm(dm, forms[i], i, form, formName);
                result = 0;
                break;
            }
        }
    }
    GlobalFree(forms);
    return result;
}

} // namespace frontdoor
