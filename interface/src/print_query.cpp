// The print query: a job's device mode is refused when it is broken or asks
// for a resolution the model lacks; the rest is Sheetwright's to decide.
#include <cstdarg>

#include "frontdoor.h"

namespace frontdoor {
namespace {

constexpr DWORD kMessageChars = 256;
constexpr WCHAR kNoMemory[] = u"Memory allocation failed";
constexpr WCHAR kInvalidDevmode[] = u"Invalid DEVMODE structure";
constexpr WCHAR kInvalidResolution[] = u"Invalid resolution";

// The resolution a job asks for: its own dmPrintQuality when it names one in
// dots per inch, else the merged image's. The merge revises the quality to
// one the model has, which would let any job through.
LONG JobResolution(const DEVMODEW* job, const DEVMODEW* merged) {
    constexpr size_t kQualityEnd = offsetof(DEVMODEW, dmPrintQuality) + sizeof(short);
    if (HasField(job, DM_PRINTQUALITY) && job->dmSize >= kQualityEnd && job->dmPrintQuality > 0)
        return job->dmPrintQuality;
    return merged->dmPrintQuality;
}

} // namespace

BOOL IsResolutionSupported(HANDLE printer, LONG dpi) {
    HMODULE ui, model;
    LPVOID data;
    LoadComponents(printer, &ui, &model, &data);
    BOOL found = FALSE;
    DWORD size = 0, n = 0;
    if (CallEnumMyPrinterInfo(ui, model, data, printer, kEnumResolutions, nullptr, &size, &n) ==
            0 &&
        size / kEnumResolutionRecordSize > 0) {
        auto* list = static_cast<const DWORD*>(
            AllocEnumMyPrinterInfo(ui, model, data, printer, kEnumResolutions, &size, &n));
        for (DWORD i = 0; list && i < size / kEnumResolutionRecordSize && !found; ++i)
            found = static_cast<LONG>(list[2 * i]) == dpi;
        if (list) GlobalFree(const_cast<DWORD*>(list));
    }
    FreeComponents(ui, model, data);
    return found;
}

BOOL QueryPrint(PDEVQUERYPRINT_INFO info) {
    if (!info || !info->pDevMode) return TRUE;
    WCHAR error[kMessageChars] = {};
    auto* image = static_cast<DEVMODEW*>(GlobalAlloc(GPTR, kImageSize));
    if (!image) {
        lstrcpynW(error, kNoMemory, kMessageChars);
    } else if (!MakeDefaultDevmode(nullptr, info->hPrinter, image, nullptr) ||
               !MergeDevmode(nullptr, image, info->pDevMode, info->hPrinter)) {
        lstrcpynW(error, kInvalidDevmode, kMessageChars);
    } else if (!IsResolutionSupported(info->hPrinter, JobResolution(info->pDevMode, image))) {
        lstrcpynW(error, kInvalidResolution, kMessageChars);
    }
    BOOL result = TRUE;
    if (error[0]) {
        DWORD needed = 0;
        FormatDriverMessage(nullptr, info->pszErrorStr, info->cchErrorStr, &needed, u"%s", error);
        info->cchNeeded = needed;
        result = FALSE;
    } else if (HMODULE ui = LoadUiLibrary(info->hPrinter)) {
        if (auto query = Export<PFN_uiDevQueryPrintEx>(ui, "uiDevQueryPrintEx")) {
            PDEVMODEW own = info->pDevMode;
            info->pDevMode = image;
            result = query(info);
            info->pDevMode = own;
        }
        FreeLibrary(ui);
    }
    if (image) GlobalFree(image);
    return result;
}

DWORD FormatDriverMessage(HMODULE module, LPWSTR buffer, DWORD capacity, DWORD* needed,
                          LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    // Without room for a NUL nothing can be written; only the count is made.
    if (capacity == 0) buffer = nullptr;
    LPWSTR position = buffer;
    LPWSTR end = buffer ? buffer + capacity - 1 : nullptr;
    DWORD count = 1;
    WCHAR scratch[kMessageChars];
    bool full = !buffer;
    // Copies a piece while there is room; the count grows either way.
    auto put = [&](LPCWSTR text, DWORD length) {
        count += length;
        if (full || length == 0) return;
        int room = static_cast<int>(end - position + 1);
        lstrcpynW(position, text, room);
        DWORD copied = static_cast<DWORD>(lstrlenW(position));
        position += copied;
        if (copied < length || position >= end) full = true;
    };
    for (LPCWSTR f = format; f && *f; ++f) {
        if (full && !needed) break;
        if (*f != u'%' || f[1] == 0) {
            WCHAR one[2] = {*f, 0};
            put(one, 1);
            continue;
        }
        WCHAR directive = *++f;
        const WCHAR* number = directive == u'd'   ? u"%ld"
                              : directive == u'u' ? u"%lu"
                              : directive == u'x' ? u"%lx"
                              : directive == u'X' ? u"%lX"
                                                  : nullptr;
        if (directive == u's') {
            LPCWSTR text = va_arg(args, LPCWSTR);
            if (text) {
                put(text, static_cast<DWORD>(lstrlenW(text)));
            } else if (!full) {
                // A missing string shows as one blank and is not counted.
                *position++ = u' ';
                if (position >= end) full = true;
            }
        } else if (number) {
            wsprintfW(scratch, number, va_arg(args, DWORD));
            put(scratch, static_cast<DWORD>(lstrlenW(scratch)));
        } else if (directive == u'c') {
            WCHAR one[2] = {static_cast<WCHAR>(va_arg(args, int) & 0xFFFF), 0};
            put(one, 1);
        } else if (directive == u'!') {
            UINT id = va_arg(args, UINT);
            int n = LoadStringW(module, id, scratch, kMessageChars);
            if (n <= 0) scratch[0] = 0;
            put(scratch, static_cast<DWORD>(lstrlenW(scratch)));
        } else {
            WCHAR one[2] = {directive, 0};
            put(one, 1);
        }
    }
    va_end(args);
    if (buffer) {
        if (position <= end) *position = 0;
        *end = 0;
    }
    if (needed) *needed = count;
    return buffer ? static_cast<DWORD>(position - buffer) : 0;
}

} // namespace frontdoor
