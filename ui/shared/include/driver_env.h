// The driver's environment as the UI core reaches it: the installed driver's
// files through the spooler, the model data file in memory, the package's
// sibling libraries by the names the model data gives, the per-user working
// folder, and the string and folder helpers used all over the library.
#pragma once

#include <string>

#include "model/model_queries.h"
#include "model/modelsmith.h"
#include "win/types.h"

namespace sheetwright {

// {Modelsmith, model data}: what every entry point, sheet context and the
// graphics library build and pass on.
using ModelBlock = ::ModelBlock;

// A ModelBlock with mdGetMyPrinterInfo resolved from its module.
struct BoundModel {
    HMODULE modelsmith;
    LPVOID modelData;
    PFN_mdGetMyPrinterInfo query;
};

// Selectors of LoadDriverModule and FindDataFileModuleName.
enum DriverModuleSelector : DWORD {
    kSelectModelsmith = 0,
    kSelectSheetwright = 1,
    kSelectResbundle = 2,
    kSelectResbundleForSheet = 3,
};

// The two-character platform codes put into kind-6 and kind-7 name templates.
inline constexpr char16_t kPlatformCode64[] = u"64";
inline constexpr char16_t kPlatformCode32[] = u"32";

// DRIVER_INFO_2W of the printer in a zeroed GlobalAlloc block (the caller
// frees it), or null.
[[nodiscard]] LPVOID GetDriverInfoAlloc(HANDLE printer);

// The whole model data file of the printer in a zeroed GlobalAlloc block (the
// caller frees it), or null when it cannot be read or its header does not hold.
[[nodiscard]] LPVOID LoadDriverDataFile(HANDLE printer);

// True when `size` bytes at `data` pass the loader's header checks.
bool IsModelDataHeaderValid(const BYTE* data, DWORD size);

// The library file name of the selector from the component table, allocated
// from `heap`; null for an unknown selector or a missing entry.
[[nodiscard]] LPWSTR FindDataFileModuleName(LPCVOID data, HANDLE heap, DWORD which);

// The file name of a component-table entry: its template, with "%s" of the
// kind-6 and kind-7 entries replaced by the platform code.
std::u16string ComponentFileName(DWORD kind, const char* nameTemplate, size_t length);
// The same into *string from a whole entry; an entry of kind 0 names no
// component and leaves the string as it was. TRUE.
[[nodiscard]] BOOL GetModelModuleName(std::u16string* string, const model::ComponentAnswer& entry);

// A sibling library loaded from the driver folder (the caller frees it), or null.
[[nodiscard]] HMODULE LoadDriverModule(HANDLE printer, LPCVOID data, DWORD which);

// Copies the binding into target and resolves mdGetMyPrinterInfo; returns target.
BoundModel* BindModelInfo(BoundModel* target, const ModelBlock* binding);

// The folder of the printer's driver files, ending with a backslash; empty
// when the spooler does not answer.
std::u16string GetDriverFolder(HANDLE printer);

// Per-user base folder, always ending with a backslash.
[[nodiscard]] BOOL GetLocalLowFolder(std::u16string* out);
[[nodiscard]] BOOL GetLegacyProfileFolder(std::u16string* out);
// The per-user working folder: base folder plus the model's names of queries
// 15, 11 and 14, each followed by a backslash. Not created here.
[[nodiscard]] BOOL GetUserSettingsFolder(PFN_mdGetMyPrinterInfo query, LPCVOID data,
                                         std::u16string* out);

// ANSI (code page of the system) to wide into `length` characters; a length
// below 1 takes the source's length with its terminator. The last character
// is always 0.
void MbToWideCopy(LPWSTR out, LPCSTR in, int length);
void WideToAnsi(LPSTR out, LPCWSTR in, int length);
std::u16string AnsiToWide(const char* in, size_t bytes);
// *string becomes the terminated ANSI text converted to wide characters
// (empty for a null text). TRUE.
[[nodiscard]] BOOL AssignAnsiString(std::u16string* string, const char* text);
std::string WideToAnsiString(const std::u16string& in);

// Maps a file read-only; the caller unmaps the view. *size, when asked, gets
// the file size.
[[nodiscard]] BOOL MapFileReadOnly(LPCWSTR path, LPVOID* view, LPVOID* viewAgain, DWORD* size);

// Creates a folder and its missing parents.
[[nodiscard]] BOOL CreateDirectoryTree(LPCWSTR path);

} // namespace sheetwright
