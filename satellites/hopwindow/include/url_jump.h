// Hopwindow: the support-information dialog over the support file, its
// entries (a two-line description, a web address and a mail address each)
// and the record its caller hands it.
#pragma once

#include <cstddef>
#include <string>

#include "win/environment.h"
#include "win/types.h"

// The record UrlJumpDialog takes, filled by the caller.
struct UrlJumpParam {
    DWORD size;          // 280; not tested
    DWORD mode;          // kUrlJumpEdit edits, anything else views
    CHAR path[MAX_PATH]; // the support file (ANSI)
    HMODULE module;      // whose templates and localisation cache; null: Hopwindow's own
};
static_assert(sizeof(UrlJumpParam) == 280);
static_assert(offsetof(UrlJumpParam, mode) == 4 && offsetof(UrlJumpParam, path) == 8 &&
              offsetof(UrlJumpParam, module) == 272);

inline constexpr DWORD kUrlJumpEdit = 1;

// Hopwindow's dialog export, declared once: the library defines it against
// this declaration and the Support page calls it through its type.
DLLEXPORT [[nodiscard]] INT_PTR WINAPI UrlJumpDialog(HWND parent, UrlJumpParam* param);
typedef decltype(&UrlJumpDialog) PFN_UrlJumpDialog;

namespace hopwindow {

inline constexpr int kEntries = 4;
enum SupportKind { kKindTitle = 1, kKindUrl = 2, kKindContact = 3 };
// The longest texts the dialog's edits take (characters).
inline constexpr size_t kTitleLimit = 255;
inline constexpr size_t kAddressLimit = 127;

struct SupportEntry {
    std::string title; // one or two lines, "\r\n" between them
    std::string url;
    std::string contact;
};

// One text of entry k (1 to 4) of the file; empty when missing. FALSE for an
// unknown kind or entry.
[[nodiscard]] BOOL ReadSupportEntry(const std::string& file, int kind, int k, std::string* out);
// All four entries read.
void ReadSupportFile(const std::string& file, SupportEntry (&entries)[kEntries]);
// One text of entry k, as the file keeps it, appended to *text as that
// entry's section. FALSE, nothing appended, for an unknown kind or entry.
[[nodiscard]] BOOL WriteSupportEntry(std::string* text, int kind, int k, const std::string& value);
// The file's text for the four entries: a description keeps its first two
// lines; a value that starts or ends with a blank or tab, or starts with a
// quote, is written quoted so that reading gives it back as it was.
std::string SupportFileText(const SupportEntry (&entries)[kEntries]);
// Writes the four entries as the whole new file; FALSE (the old file left
// as it was) when it could not be written.
[[nodiscard]] BOOL WriteSupportFile(const std::string& file,
                                    const SupportEntry (&entries)[kEntries]);

// The edit (kUrlJumpEdit) or view dialog over `file`, with templates from
// `module`: IDOK or IDCANCEL.
INT_PTR RunSupportDialog(HWND parent, HMODULE module, DWORD mode, const std::string& file);

} // namespace hopwindow
