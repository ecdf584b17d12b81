// The bodies of Sheetwright's ui* exports: model information on the caller's
// behalf, the capability lists, the print query and the document events (the
// printer and upgrade events stand above, in printer_events.h). Each call
// binds Modelsmith (and for texts Resbundle) from the driver folder and frees
// them before it returns.
#pragma once

#include <cstdarg>
#include <vector>

#include "ui/sheetwright.h"
#include "win/printer_interface.h"
#include "win/types.h"

namespace sheetwright {

// Print-query message ids of the resource library.
inline constexpr DWORD kMsgPaperNotLoaded = 3041;
inline constexpr DWORD kMsgSourceNotSupported = 3042;
inline constexpr DWORD kMsgPaperNotInSource = 3043;
inline constexpr DWORD kStringCustomSize = 7999;

// Private escapes of the graphics library the document event asks.
inline constexpr int kEscapeGetJobState = 32764;
inline constexpr int kEscapeGetDriverDevmode = 32762;

// The printer data of the form-to-tray table: 16-byte records.
inline constexpr char16_t kFormTrayValue[] = u"FormTrayEx";
inline constexpr size_t kFormTrayRecordSize = 16;
struct FormTrayRecord {
    BYTE reserved[4];
    WORD trayId;
    WORD paperId; // 0: any
    WORD mediaId; // 0: any
    BYTE spare[6];
};
static_assert(sizeof(FormTrayRecord) == kFormTrayRecordSize &&
              offsetof(FormTrayRecord, trayId) == 4 && offsetof(FormTrayRecord, paperId) == 6 &&
              offsetof(FormTrayRecord, mediaId) == 8);

// The printer's form-to-tray table in stored order; empty when it has none.
std::vector<FormTrayRecord> ReadFormTray(HANDLE printer);

DWORD UiGetMyPrinterInfo(HANDLE printer, LPCVOID modelData, WORD table, WORD entry, DWORD layout,
                         LPVOID buffer, LPDWORD size, LPDWORD count);
DWORD UiEnumMyPrinterInfo(HANDLE printer, LPCVOID modelData, SHORT code, LPVOID buffer,
                          LPDWORD size, LPDWORD count);
BOOL UiDevQueryPrintEx(PDEVQUERYPRINT_INFO info);
INT UiDrvDocumentEvent(HANDLE printer, HDC hdc, int escape, ULONG inSize, PVOID in, ULONG outSize,
                       PVOID out);

// The message formatter of the driver's texts: %s (wide text), %d, %u, %x,
// %X (32-bit numbers), %c (a wide character) and %! (a string id of
// `module`); any other character after % is copied. At most capacity - 1
// characters and a NUL are written; *needed gets the characters the whole
// text needs, NUL included. Returns the characters written.
DWORD FormatResString(HMODULE module, LPWSTR buffer, DWORD capacity, LPDWORD needed, LPCWSTR format,
                      ...);
DWORD FormatResStringV(HMODULE module, LPWSTR buffer, DWORD capacity, LPDWORD needed,
                       LPCWSTR format, va_list args);
// The same over a list of texts, for templates that come from translations:
// a directive past the list takes an empty text (or 0), never another value.
DWORD FormatResStringTexts(HMODULE module, LPWSTR buffer, DWORD capacity, LPDWORD needed,
                           LPCWSTR format, const WCHAR* const* texts, size_t count);

} // namespace sheetwright
