// Allocation and release of the physical device record.
#include "pdev.h"

#include "imaging_state.h"

#include <cstring>

#include "emf_job.h"
#include "font_download.h"
#include "model_access.h"
#include "output_writer.h"
#include "win/base.h"

namespace inkforge {

PDEV* AllocatePdev() {
    HANDLE heap = HeapCreate(0, 8192, 0);
    if (!heap) return nullptr;
    auto* pdev = static_cast<PDEV*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(PDEV)));
    if (!pdev) {
        HeapDestroy(heap);
        return nullptr;
    }
    pdev->signature = kPdevSignature;
    pdev->signatureEnd = kPdevSignature;
    pdev->heap = heap;
    pdev->outCapacity = kOutputCapacity;
    pdev->outUsed = 0;
    return pdev;
}

void FreePdev(PDEV* pdev) {
    if (!pdev) return;
    HANDLE heap = pdev->heap;
    FreeFontTable(pdev);
    FreeCapture(pdev);
    FreeImagingState(pdev);
    FreeEmfJob(pdev);
    if (pdev->tempFile) {
        CloseHandle(pdev->tempFile);
        if (pdev->tempFileName) DeleteFileW(pdev->tempFileName);
    }
    FreeAnswerMemo(pdev);
    if (pdev->sheetwright) FreeLibrary(pdev->sheetwright);
    if (pdev->modelsmith) FreeLibrary(pdev->modelsmith);
    if (pdev->precheckLibrary) FreeLibrary(pdev->precheckLibrary);
    if (pdev->modelData) GlobalFree(pdev->modelData);
    // The strings, lists and the record itself belong to the heap.
    pdev->signature = 0;
    pdev->signatureEnd = 0;
    HeapDestroy(heap);
}

LPWSTR HeapString(PDEV* pdev, LPCWSTR text) {
    if (!text) return nullptr;
    size_t n = 0;
    while (text[n])
        ++n;
    auto* copy = static_cast<LPWSTR>(HeapAlloc(pdev->heap, 0, (n + 1) * sizeof(WCHAR)));
    if (copy) std::memcpy(copy, text, (n + 1) * sizeof(WCHAR));
    return copy;
}

void HeapFreeString(PDEV* pdev, LPWSTR* text) {
    if (*text) HeapFree(pdev->heap, 0, *text);
    *text = nullptr;
}

} // namespace inkforge
