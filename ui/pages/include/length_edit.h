// CLengthEdit: a length that a layout dialog edits in millimetres or inches
// with an edit, its up-down and a range text (the booklet gutter, the poster
// overlap). It keeps the value in millimetres, inches and dots at the image's
// length resolution; every typed value is clamped in floating point before it
// is narrowed, and the dots always fit the 16-bit field they are stored in.
#pragma once

#include <string>

#include "number_edits.h"
#include "number_text.h"
#include "win/user.h"

namespace sheetwright {

class CLocalize;

// Range texts of the resource library: "(%d - %d mm)", "(%.1f - %.1f in.)".
inline constexpr DWORD kStringRangeMM = 4551;
inline constexpr DWORD kStringRangeInch = 4552;

// The default maxima of a length without a model value.
inline constexpr double kDefaultLengthMaxMM = 50.0;
inline constexpr double kDefaultLengthMaxInch = 2.0;

struct LengthEditIds {
    int edit;
    int spin;
    int range;
};

class CLengthEdit {
  public:
    // The up-down counts millimetres, or tenths of an inch.
    static constexpr int kScaleMM = 1;
    static constexpr int kScaleInch = 10;

    // The model's maximum as its two words: tenths of a millimetre and
    // hundredths of an inch; FALSE words (no answer) take the defaults.
    static double MaximumOf(BOOL mm, bool answered, WORD tenthsMM, WORD hundredthsInch);
    // A value clamped into [minimum, maximum]; NaN counts as the minimum.
    static double ClampLength(double value, double minimum, double maximum);

    // Binds the controls: unit, maximum (in the unit), the image's length
    // resolution and the stored dots. Sets the edit's limit, its number
    // rule, the up-down's range and the range text.
    void Init(HWND dialog, LengthEditIds ids, BOOL mm, double maximum, WORD dpi, WORD dots,
              CLocalize* strings);
    // The edit's text changed: the up-down follows it (no refresh).
    void OnTextChanged();
    // The up-down moved to a position.
    void OnSpin(int position);
    // The edit lost the focus, or OK: the value clamped and set again; TRUE
    // when what was typed lay outside the limits.
    BOOL Clamp();
    // What the edit holds now, clamped, becomes the value (the edit's text
    // stays as typed).
    void ReadTyped();
    // The value of stored dots at the image's length resolution.
    void SetDots(WORD dots);
    // Shows the value in the edit when its text differs: TRUE when written.
    BOOL Show();

    double Value() const { return mm_ ? value_.MM() : value_.Inch(); }
    double Minimum() const { return 0.0; }
    double Maximum() const { return maximum_; }
    int Scale() const { return mm_ ? kScaleMM : kScaleInch; }
    int EditLimit() const { return limit_; }
    // The value in dots at the image's length resolution, within 0..65535.
    WORD Dots() const;
    const std::u16string& RangeText() const { return range_; }

  private:
    void Set(double value);
    HWND Control(int id) const { return dialog_ ? GetDlgItem(dialog_, id) : nullptr; }

    HWND dialog_ = nullptr;
    LengthEditIds ids_{};
    BOOL mm_ = TRUE;
    double maximum_ = kDefaultLengthMaxMM;
    int limit_ = 2;
    CMMInch value_;
    std::u16string separator_;
    std::u16string range_;
    NumberEditState rule_;
};

} // namespace sheetwright
