// Number text in the user's decimal separator, lengths in millimetres, inches
// and printer dots, and the input rule of the edit controls that refuse what
// may not be typed.
#pragma once

#include <string>

#include "win/types.h"

namespace sheetwright {

// The user's decimal separator; FALSE (and ".") when the locale gives none.
BOOL GetDecimalSeparator(std::u16string* out);
// Every separator becomes "." (for wcstod); a "." separator changes nothing.
void NormaliseDecimalText(std::u16string* text, const std::u16string& separator);
// Each "." followed by a digit becomes the separator; FALSE for an empty text.
BOOL LocalizeDecimalText(std::u16string* text, const std::u16string& separator);

// A floating value as a whole number, the fraction cut off: NaN gives 0, a
// value past the range of LONG the nearest end of it. Every conversion of a
// floating value to an integer goes through here.
LONG TruncateToLong(double value);

// The plain number that a pasted text starts with: blanks, then (with
// `sign`) an optional "-", digits, then (with `fraction`) "." and digits. It
// must end the text or be followed by a blank; an exponent ("1e5"), a
// hexadecimal form, words such as "inf" or "nan", or a value that does not
// fit (past LONG without `fraction`, not finite with it) give an empty text.
std::u16string LeadingPlainNumber(const std::u16string& text, bool sign, bool fraction);

// Bytes a text takes in the ANSI code page: 1 below code 256, else 2; over
// the first n characters when 0 < n < length.
int GetMultiByteLength(const std::u16string& text, int n = 0);

class CMMInch {
  public:
    static constexpr double kMaxMM = 90910130.6;
    static constexpr double kMaxInch = 3579139.0;
    static constexpr SHORT kDefaultResolution = 600;

    CMMInch();

    void SetMM(double mm, BOOL update);
    void SetInch(double inch, BOOL update);
    void SetDots();
    void SetDotsValue(LONG dots) { dots_ = dots; }
    void SetResolution(SHORT dpi) { resolution_ = dpi; }
    void SetMMFormat(const std::u16string& f) { mmFormat_ = f; }
    void SetInchFormat(const std::u16string& f) { inchFormat_ = f; }
    void SetSeparator(const std::u16string& s) { separator_ = s; }

    double MM() const { return mm_; }
    double Inch() const { return inch_; }
    LONG Dots() const { return dots_; }

    void FormatMM(std::u16string* out) const { Format(mmFormat_, mm_, out); }
    void FormatInch(std::u16string* out) const { Format(inchFormat_, inch_, out); }

    // From text typed in the user's separator.
    void ReadText(const std::u16string& text, BOOL mm);

  private:
    int Resolution() const { return resolution_ < 1 ? kDefaultResolution : resolution_; }
    void Format(const std::u16string& format, double value, std::u16string* out) const;

    double mm_ = 0;
    double inch_ = 0;
    LONG dots_ = 0;
    SHORT resolution_ = kDefaultResolution;
    std::u16string mmFormat_ = u"%.1f";
    std::u16string inchFormat_ = u"%.2f";
    std::u16string separator_;
};

// Rule flags of an input edit.
inline constexpr DWORD kRuleRestricted = 0x1000;
inline constexpr DWORD kRuleDigits = 0x1;
inline constexpr DWORD kRuleLetters = 0x2;
inline constexpr DWORD kRuleAnythingButRefused = 0x10;
inline constexpr DWORD kRuleExtra = 0x20;
// Characters no input edit takes.
inline constexpr char kRefusedCharacters[] = "\"\\<>|/:*?.;";

struct InputRule {
    DWORD restricted;
    DWORD digits;
    DWORD letters;
    DWORD anythingButRefused;
    DWORD extra;
    DWORD flags;
    DWORD limit;
    char extraChars[32];
    char refusedChars[32];
};
static_assert(sizeof(InputRule) == 92);

// Fills the rule from the flags (the other flags count only when restricted).
void FillInputRule(InputRule* rule, DWORD flags, DWORD limit, const char* extra);
// True when the rule allows digits and nothing else (the edit then takes ES_NUMBER).
bool IsDigitsOnlyRule(const InputRule& rule);
BOOL IsCharAllowed(WCHAR ch, BOOL singleByteOnly, const InputRule* rule);
// The typing check of an input edit without the window: the text that stays
// (outside the selection), the limit (0: none) and the password style.
BOOL AcceptInputChar(WCHAR ch, const std::u16string& keptText, DWORD limit, BOOL singleByteOnly,
                     const InputRule* rule);

} // namespace sheetwright
