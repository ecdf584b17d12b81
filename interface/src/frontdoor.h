// Frontdoor, the printer interface library: what its entry points share.
// Every entry point binds the model data, Sheetwright and Modelsmith for the
// call and frees them before it returns; only a property-sheet context lives
// from the sheet's creation to its destruction.
#pragma once

#include <cstddef>

#include "ui/sheetwright.h"
#include "win/base.h"
#include "win/devmode.h"
#include "devmode_private.h"
#include "win/printer_interface.h"
#include "win/spool.h"

namespace frontdoor {

// Set by DllMain at process attach: the library's own strings and the sheets'
// resource instance.
extern HINSTANCE gModule;

// ---- driver files and components (binding.cpp)

// Component indexes of LoadComponentLibrary: 0 Modelsmith, 1 Sheetwright,
// 2 and 3 Resbundle.
enum ComponentIndex : int {
    kIndexModelsmith = 0,
    kIndexSheetwright = 1,
    kIndexResbundle = 2,
};

// GetPrinterDriverW / GetPrinterW level 2 in a GlobalAlloc block; NULL on failure.
DRIVER_INFO_2W* QueryDriverInfo2(HANDLE printer);
PRINTER_INFO_2W* QueryPrinterInfo2(HANDLE printer);
// The printer's default device mode of a QueryPrinterInfo2 block, when it lies
// within the block and its size fields fit there; else NULL.
const DEVMODEW* PrinterDevmode(const PRINTER_INFO_2W* info);
// The driver's folder with its closing backslash, at most `capacity` characters.
BOOL FindDriverDirectory(HANDLE printer, LPWSTR buffer, DWORD capacity);
// A read-only view of a whole file (UnmapViewOfFile frees it); its size in *size.
LPVOID MapFileReadOnly(LPCWSTR path, DWORD* size);
// Whether a model data file's header fits its size: "NKSP", the size again,
// and the offset table inside the file.
bool IsModelDataHeader(const void* data, DWORD size);
// The printer's model data file copied into a zeroed GlobalAlloc block; NULL
// when it is missing or its header is refused.
LPVOID MapDriverDataFile(HANDLE printer);
// The file name of a component (identifier 20, 22, 23, 27...) from the model
// data's own component table, allocated on `heap`; NULL when not named.
LPWSTR GetComponentName(LPCVOID modelData, HANDLE heap, DWORD componentId);
// A component index's identifier; 0 for an index that names nothing.
DWORD ComponentIdOfIndex(int index);
HMODULE LoadComponentLibrary(HANDLE printer, LPCVOID modelData, int index);

struct Components {
    HMODULE ui = nullptr;
    HMODULE model = nullptr;
    LPVOID modelData = nullptr;
};
void LoadComponents(HANDLE printer, HMODULE* ui, HMODULE* model, LPVOID* modelData);
void FreeComponents(HMODULE ui, HMODULE model, LPVOID modelData);
HMODULE LoadUiLibrary(HANDLE printer);

template <class F> F Export(HMODULE module, const char* name) {
    if (!module) return nullptr;
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// ---- the presence check of the driver's files (driver_files.cpp)

// Kinds of the check: 1 and 6 are the short check, the others the full one.
enum CheckKind : DWORD {
    kCheckSheets = 4,
    kCheckDriverDefault = 6,
    kCheckDocument = 8,
};
BOOL CheckDriverFiles(HANDLE printer, DWORD kind);

// ---- events (events.cpp)

INT DocumentEvent(HANDLE printer, HDC hdc, int escape, ULONG inSize, PVOID in, ULONG outSize,
                  PVOID out);
BOOL PrinterEvent(LPWSTR printerName, INT event, DWORD flags, LPARAM lParam);
BOOL UpgradePrinter(DWORD level, LPBYTE info);

// ---- the device-mode image (devmode_image.cpp, form_match.cpp)

constexpr DWORD kImageSize = sizeof(DEVMODE_IMAGEW); // 1320
constexpr WORD kImageSpecVersion = kDevmodeImageSpecVersion;
constexpr WORD kImageDriverVersion = kDevmodeImageDriverVersion;
constexpr WORD kSpecVersion320 = DM_SPECVERSION_320;
constexpr WORD kSpecVersion400 = DM_SPECVERSION_400;
constexpr WORD kDevmodeSize400 = DEVMODEW_SIZE_400;
constexpr WORD kDriverVersion350 = 0x0350;

// The private block of an image.
inline PRIVATE_DEVMODE* PrivateOf(DEVMODEW* dm) {
    return reinterpret_cast<PRIVATE_DEVMODE*>(reinterpret_cast<BYTE*>(dm) + dm->dmSize);
}
// A device mode's whole length by its own size fields.
inline DWORD DevmodeLength(const DEVMODEW* dm) {
    return static_cast<DWORD>(dm->dmSize) + dm->dmDriverExtra;
}
// Whether a caller's device mode marks a field present: its size must reach
// the field that it holds the mark of and the field itself.
inline bool HasField(const DEVMODEW* dm, DWORD field) {
    constexpr size_t kFieldsEnd = offsetof(DEVMODEW, dmFields) + sizeof(DWORD);
    return dm && dm->dmSize >= kFieldsEnd && (dm->dmFields & field) != 0;
}
// Whether a device mode's size fields describe at least its version words
// and fit within `available` bytes.
bool DevmodeFits(const DEVMODEW* dm, size_t available);

BOOL MakeDefaultDevmode(LPCVOID modelData, HANDLE printer, DEVMODEW* image, LPCWSTR deviceName);
BOOL MergeDevmode(LPCVOID modelData, DEVMODEW* image, const DEVMODEW* source, HANDLE printer);
int ConvertDevModeParts(const DEVMODEW* source, DEVMODEW* target);
BOOL CopyDevmodeOut(const DEVMODEW* image, const DEVMODEW* model, DEVMODEW* output);
// form receives the matched or custom form; its pName points at formName (32 characters).
int CheckFormName(HANDLE printer, DEVMODEW* image, FORM_INFO_1W* form, LPWSTR formName);
DWORD UpdateEmfPlaybackFlag(DEVMODEW* dm, PRIVATE_DEVMODE* priv);
BOOL ConvertDevMode(LPWSTR printerName, PDEVMODEW in, PDEVMODEW out, LONG* needed, DWORD mode);

// ---- capabilities and the print query (capabilities.cpp, print_query.cpp)

DWORD DeviceCapabilities(HANDLE printer, LPWSTR deviceName, WORD index, LPVOID output,
                         PDEVMODEW devmode);
// One list of uiEnumMyPrinterInfo: with a buffer, a zeroed GlobalAlloc block
// of the size asked (NULL on any failure).
DWORD CallEnumMyPrinterInfo(HMODULE ui, HMODULE model, LPCVOID modelData, HANDLE printer,
                            SHORT code, LPVOID buffer, DWORD* size, DWORD* count);
LPVOID AllocEnumMyPrinterInfo(HMODULE ui, HMODULE model, LPCVOID modelData, HANDLE printer,
                              SHORT code, DWORD* size, DWORD* count);
BOOL QueryPrint(PDEVQUERYPRINT_INFO info);
BOOL IsResolutionSupported(HANDLE printer, LONG dpi);
DWORD FormatDriverMessage(HMODULE module, LPWSTR buffer, DWORD capacity, DWORD* needed,
                          LPCWSTR format, ...);

// ---- property sheets (property_sheets.cpp)

LONG DocumentPropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam);
LONG DevicePropertySheets(PPROPSHEETUI_INFO info, LPARAM lParam);

} // namespace frontdoor
