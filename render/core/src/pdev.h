// The physical device record: one per device context, handed to every hook.
// It lives on a private heap made for it, which also holds its strings, and
// carries the signature at both ends so that each entry point can check it.
#pragma once

#include "private_devmode.h"
#include "vector_state.h"
#include "win/winddi.h"

namespace inkforge {

constexpr DWORD kPdevSignature = kPrivateSignature;
constexpr DWORD kOutputCapacity = 4096;

// Job flags.
namespace job {
constexpr DWORD Started = 0x1;
constexpr DWORD Cancelled = 0x2;
constexpr DWORD HeaderWritten = 0x4;
constexpr DWORD PageOpen = 0x8;
constexpr DWORD CarriedOver = 0x10;
constexpr DWORD PreCheckTaken = 0x20;
constexpr DWORD PromptRefused = 0x40;
constexpr DWORD AskJobData = 0x80;
constexpr DWORD Suppressed = 0x100;
constexpr DWORD FlushAfterEnd = 0x200;
constexpr DWORD CopiesLineWritten = 0x1000;
} // namespace job

// Mode flags (they start as the private EmfMode word).
namespace mode {
constexpr DWORD SpoolSide = 0x1;
constexpr DWORD ByInterface = 0x4;
} // namespace mode

// Model capability flags, taken from the model data at the device's enabling.
namespace caps {
constexpr DWORD AnyPatternSize = 0x1;     // resolution mode flag bit 7
constexpr DWORD ImageHalftone = 0x2;      // images may be halftoned (image halftone query bit 3)
constexpr DWORD StretchByEngine = 0x4;    // resolution mode flag bit 8: every stretch
constexpr DWORD ShrinkByEngine = 0x8;     // resolution mode flag bit 9: shrinking stretches first
constexpr DWORD StrokeAndFillOnce = 0x10; // resolution mode flag bit 10
constexpr DWORD SpoolSideProgram = 0x20;
constexpr DWORD KeyFlagBit4 = 0x40; // the model key's flag bit 4, kept as it is
constexpr DWORD CombinedPrompt = 0x80;
constexpr DWORD UniqueFontNames = 0x8000;
} // namespace caps

// The page values last sent, compared on the next page.
struct PageCommandState {
    bool sent = false;
    SHORT paper = 0;
    SHORT source = 0;
    DWORD media = 0;
    SHORT orientation = 0;
};

// Blank sides of duplex printing: the side number of the page, the sides
// written, and the device mode of the previous page.
struct BlankSideState {
    DWORD side = 0;
    DWORD emitted = 0;
    bool havePrevious = false;
    DevmodeImage previous;
};

// The halftone and tone settings of the imaging side.
struct HalftoneRecord {
    SHORT grayRed, grayGreen, grayBlue;
    SHORT matrixWidth, matrixHeight;
    BYTE* matrix; // on the device's heap; null: the built-in matrix
    DWORD matrixBits;
    DWORD usage;
    DWORD level;
    BYTE* toneCurve; // 256 bytes on the device's heap; null: the built-in curve
};

// One TrueType font the model handles itself.
struct TrueTypeFont {
    CHAR faceName[64];
    CHAR fileName[32];
    WORD id;
};
static_assert(sizeof(TrueTypeFont) == 98);

constexpr size_t kFontSubRecordSize = 192; // fontsub::kRecordSize

struct PDEV {
    DWORD signature;
    DevmodeImage devmode;
    HANDLE heap;
    HANDLE printer;
    LPWSTR docName;
    LPWSTR userName;
    LPWSTR machineName;
    HDEV hdev;
    HDEV hdevGiven; // the one DrvEnablePDEV got, until DrvCompletePDEV names another
    HSURF surface;
    HPALETTE palette;
    DevmodeImage lastRecorded;

    // Page geometry in micrometres, scaled by dmScale.
    LONG pageLeft, pageTop, pageRight, pageBottom;
    // The job's resolution in dots per inch, the surface's: the device
    // mode's print quality as the device was enabled (a device mode copied
    // back later by a prompt does not change the surface).
    LONG resolution;
    LONG paperWidth, paperHeight;
    BOOL landscapeFeed;

    DWORD jobFlags;
    DWORD modelCaps;
    DWORD pjlFlags;

    HMODULE precheckLibrary;
    ULONGLONG precheckCookie;

    // Fields a prompt or the prior-print check changed, put back on every reset.
    BOOL reapply;
    DWORD reapplyIcmMethod;
    WORD reapplyColorMode;
    WORD reapplyColorModeAlt;

    DWORD pageCount;
    DWORD devicePageCount;
    PageCommandState lastPage;
    DWORD lastDuplexChangePage;
    BlankSideState blank;

    DWORD modeFlags;

    ULONG whiteColor, blackColor;
    ULONG basicColors[7];
    HalftoneRecord* halftone;

    // Output writer.
    DWORD outCapacity;
    DWORD outUsed;
    BYTE out[kOutputCapacity];
    DWORD capture;
    HGLOBAL captureBlock;
    DWORD captureCapacity;
    DWORD captureLength;
    HANDLE tempFile;
    LPWSTR tempFileName;
    DWORD lastPoll;
    SURFOBJ* pollSurface;

    // Rendering mode.
    DWORD banding;
    DWORD rasterDirection;
    DWORD bandWidth, bandHeight;
    DWORD bandBudget;
    DWORD bandBitDepth;
    DWORD rasterCaps;

    DWORD spoolId;
    DWORD jobId;
    DWORD docStarted;
    DWORD osVersion;
    DWORD printToDisk;
    DWORD pagePackageOpen;
    DWORD firstPageOnly;

    HMODULE sheetwright;
    HMODULE modelsmith;
    LPVOID modelData;
    // The model answers kept while the driver record stays the same (model_access.cpp).
    struct AnswerMemo* answers;

    LPWSTR outputFile;

    DWORD glyphSlots;
    TrueTypeFont* trueTypeFonts;
    DWORD trueTypeCount;
    BYTE* fontSubs;
    DWORD fontSubCount;

    DWORD combinedOutput;
    DWORD graphicsVersion;
    DWORD graphicsLevel;
    DWORD vectorOption;
    BOOL pjlCommentsWritten;

    // Drawing tokens: the graphics state last sent.
    VectorState vector;

    // Downloaded fonts and the text state (made with the first text).
    struct FontTable* fontTable;

    // Banding, conversion and image state of the imaging side (made on first use).
    struct ImagingState* imaging;

    // The spool-side road: package, page file and recorder (made at the first page).
    struct EmfJob* emfJob;

    DWORD signatureEnd;
};

// The record behind a handle, or null when it is not one with both signatures.
inline PDEV* CheckedPdev(const void* p) {
    auto* pdev = const_cast<PDEV*>(static_cast<const PDEV*>(p));
    if (!pdev || pdev->signature != kPdevSignature || pdev->signatureEnd != kPdevSignature)
        return nullptr;
    return pdev;
}
inline PDEV* CheckedPdev(SURFOBJ* pso) {
    return pso ? CheckedPdev(static_cast<const void*>(pso->dhpdev)) : nullptr;
}

// A new zeroed record on a new private heap, with its signatures and an empty
// output buffer; null when out of memory. FreePdev releases what the record
// still holds and the heap.
PDEV* AllocatePdev();
void FreePdev(PDEV* pdev);

// A copy of a wide string on the device's heap (null for null).
LPWSTR HeapString(PDEV* pdev, LPCWSTR text);
void HeapFreeString(PDEV* pdev, LPWSTR* text);

} // namespace inkforge
