// DrvEscape. Every escape reads its input only within cjIn and writes its
// answer only within cjOut: the buffers come from another library through
// the device context, and their sizes are all there is to trust.
#include "escapes.h"

#include <cstring>

#include "hooks.h"
#include "output_files.h"
#include "pdev.h"
#include "win/base.h"

namespace inkforge {
namespace {

constexpr ULONG kFailed = 0xFFFFFFFF;

bool IsPrivate(ULONG esc) {
    return esc == kEscGetDriverDevmode || (esc >= kEscGetJobState && esc <= kEscSetOutputFileName);
}

ULONG QuerySupport(ULONG cjIn, const void* pvIn) {
    if (!pvIn || cjIn < sizeof(WORD)) return 0;
    WORD esc;
    std::memcpy(&esc, pvIn, sizeof esc);
    if (esc == kEscQuerySupport || IsPrivate(esc)) return 1;
    if (esc == kEscSetCopyCount) return kMaxCopies;
    return 0;
}

ULONG SetCopyCount(PDEV* pdev, ULONG cjIn, const void* pvIn, ULONG cjOut, void* pvOut) {
    if (!pvIn || cjIn < sizeof(DWORD)) return kFailed;
    DWORD count;
    std::memcpy(&count, pvIn, sizeof count);
    if (count > kMaxCopies) count = kMaxCopies;
    if (count < 1) count = 1;
    pdev->devmode.dm.dmCopies = static_cast<short>(count);
    if (pvOut && cjOut >= sizeof(INT)) {
        INT out = static_cast<INT>(count);
        std::memcpy(pvOut, &out, sizeof out);
    }
    return 1;
}

// The name is taken up to its NUL or the end of the input, whichever comes first.
void SetOutputFileName(PDEV* pdev, ULONG cjIn, const void* pvIn) {
    HeapFreeString(pdev, &pdev->outputFile);
    size_t room = pvIn ? cjIn / sizeof(WCHAR) : 0;
    if (room == 0) return;
    const auto* bytes = static_cast<const BYTE*>(pvIn);
    size_t n = 0;
    for (; n < room; ++n) {
        WCHAR c;
        std::memcpy(&c, bytes + n * sizeof(WCHAR), sizeof c);
        if (c == 0) break;
    }
    auto* copy = static_cast<LPWSTR>(HeapAlloc(pdev->heap, 0, (n + 1) * sizeof(WCHAR)));
    if (!copy) return;
    std::memcpy(copy, bytes, n * sizeof(WCHAR));
    copy[n] = 0;
    pdev->outputFile = copy;
}

DWORD JobState(const PDEV* pdev) {
    DWORD state = 0;
    if (pdev->jobFlags & job::Started) {
        state = kStateStarted;
        if (pdev->pageCount > 0) state |= kStatePageBegun;
    }
    if (pdev->modeFlags & mode::SpoolSide) state |= kStateSpoolSide;
    return state;
}

} // namespace

ULONG APIENTRY DrvEscape(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut,
                         PVOID pvOut) {
    if (iEsc == kEscQuerySupport) return QuerySupport(cjIn, pvIn);
    if (iEsc != kEscSetCopyCount && !IsPrivate(iEsc)) return 0;
    PDEV* pdev = CheckedPdev(pso);
    if (!pdev) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    switch (iEsc) {
    case kEscSetCopyCount:
        return SetCopyCount(pdev, cjIn, pvIn, cjOut, pvOut);
    case kEscSetOutputFileName:
        SetOutputFileName(pdev, cjIn, pvIn);
        return 1;
    case kEscCompleteOutputFile:
        // The print-to-file completion runs only when asked with empty buffers.
        if (cjIn == 0 && cjOut == 0) CompleteOutputFiles(pdev);
        return 1;
    case kEscMarkJobCancelled:
        pdev->jobFlags |= job::Cancelled;
        return 1;
    case kEscGetJobState:
        if (pvOut && cjOut >= sizeof(DWORD)) {
            DWORD state = JobState(pdev);
            std::memcpy(pvOut, &state, sizeof state);
        }
        return 1;
    case kEscGetDriverDevmode:
        if (!pvOut || cjOut < sizeof(DevmodeImage)) return 0;
        std::memcpy(pvOut, &pdev->devmode, sizeof(DevmodeImage));
        return 1;
    default:
        return 0;
    }
}

} // namespace inkforge
