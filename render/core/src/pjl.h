// The PJL job header and footer. Which lines appear and their wording come
// from the model data (query 65: the item list in output order and a format
// per item and variant); this engine computes each item's value from the
// job's device mode, the job and the host, and writes the lines.
#pragma once

#include <string>

#include "win/types.h"

namespace inkforge {

struct PDEV;

// Query 65 layout 3: one item of the list.
struct PjlItemEntry {
    INT itemId;
    DWORD stringFlags;
    DWORD maxLength;
    DWORD unused;
};
static_assert(sizeof(PjlItemEntry) == 16);

// Query 65 layout 4: one format line.
constexpr size_t kPjlFormatEntrySize = 64;
constexpr size_t kPjlFormatTextSize = 56;
constexpr int kPjlFooterItem = 501;

// String flags of an item.
namespace pjlflag {
constexpr DWORD Truncate = 0x01;
constexpr DWORD KeepDel = 0x02;
constexpr DWORD KeepQuote = 0x04;
constexpr DWORD KeepEsc = 0x08;
constexpr DWORD KeepControl = 0x10;
constexpr DWORD KeepTail = 0x20;
} // namespace pjlflag

constexpr size_t kPjlString = 256;

struct PjlValue {
    INT present;
    WORD type; // 0 none, 1-3 strings, 4-9 numbers
    INT itemId;
    DWORD stringFlags;
    DWORD maxLength;
    INT variant;
    WORD numbers[6];
    CHAR strings[6][kPjlString];
};

struct PjlLineFrame {
    CHAR prefix[6];  // "@PJL "
    CHAR lineEnd[3]; // "\r\n" or "\n"
};

// Text conversion for PJL lines. A job text (wide) becomes ANSI of at most
// 255 bytes: characters the flags do not keep become blanks (CR and LF always
// do, so that no text can start a line of its own), and a text longer than
// the item's maximum is cut by whole characters, keeping its head or its tail.
void PjlConvertString(DWORD flags, DWORD maxLength, LPCWSTR text, CHAR out[kPjlString]);
void PjlBlankControlChars(DWORD flags, std::string* text);
std::string PjlTruncateKeepHead(const std::string& text, size_t maxBytes);
std::string PjlTruncateKeepTail(const std::string& text, size_t maxBytes);

// A text field of the device mode (user ID, password, job name, department
// code, names) for a PJL line: read only within the field, with double quotes
// and control characters replaced by blanks.
std::string PjlDevmodeText(const BYTE* field, size_t fieldSize);

WORD CodeToQuery34Index(WORD code);
WORD Query34IndexToCode(WORD index);
WORD ClampCodeOneToSix(WORD code);

// 1 when the item yields a line (the present mark still decides), else 0.
int ComputePjlItem(PDEV* pdev, const PjlItemEntry& entry, PjlValue* value);

void BuildPjlLineFrame(PDEV* pdev, PjlLineFrame* frame);
// The format with each backslash-"n" pair replaced by the line end, at most 63 characters.
std::string ExpandPjlLineBreaks(const char* format, const char* lineEnd);
BOOL WritePjlLine(PDEV* pdev, const PjlLineFrame& frame, const char* format, const PjlValue& value);
void WritePjlComments(PDEV* pdev);
int WriteJobHeader(PDEV* pdev);
int WritePjlFooter(PDEV* pdev);

// The host's IPv4 address in memory order (first octet first), 0 when none.
DWORD GetLocalIPv4Address();

} // namespace inkforge
