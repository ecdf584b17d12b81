#include "length_edit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "localize.h"
#include "win/commctrl.h"

namespace sheetwright {
namespace {

// A nudge against values like 0.7 stored as 0.69999...
constexpr double kEpsilon = 0.00001;
// The millimetre edit shows whole numbers, the inch edit one decimal.
constexpr char16_t kFormatMM[] = u"%d";
constexpr char16_t kFormatInch[] = u"%.1f";

int DigitsOf(double value) {
    int digits = 1;
    for (double v = std::floor(value + kEpsilon); v >= 10.0; v /= 10.0)
        ++digits;
    return digits;
}

std::u16string Printf(const std::u16string& format, double a, double b, bool whole) {
    std::string f(format.begin(), format.end());
    char buffer[128] = {};
    if (whole)
        std::snprintf(buffer, sizeof buffer, f.c_str(), static_cast<int>(a), static_cast<int>(b));
    else
        std::snprintf(buffer, sizeof buffer, f.c_str(), a, b);
    return std::u16string(buffer, buffer + std::strlen(buffer));
}

} // namespace

double CLengthEdit::MaximumOf(BOOL mm, bool answered, WORD tenthsMM, WORD hundredthsInch) {
    if (!answered) return mm ? kDefaultLengthMaxMM : kDefaultLengthMaxInch;
    // The model's fractions are kept as far as the edit can show them: whole
    // millimetres, tenths of an inch (an inch maximum of 0.75 is 0.7, not 0).
    const double exact = mm ? tenthsMM / 10.0 : hundredthsInch / 100.0;
    const int scale = mm ? kScaleMM : kScaleInch;
    const double shown = std::floor(exact * scale + kEpsilon) / scale;
    return shown > 0 ? shown : exact;
}

double CLengthEdit::ClampLength(double value, double minimum, double maximum) {
    if (std::isnan(value)) return minimum;
    return std::clamp(value, minimum, std::max(minimum, maximum));
}

void CLengthEdit::Init(HWND dialog, LengthEditIds ids, BOOL mm, double maximum, WORD dpi, WORD dots,
                       CLocalize* strings) {
    dialog_ = dialog;
    ids_ = ids;
    mm_ = mm;
    maximum_ = std::max(maximum, 0.0);
    GetDecimalSeparator(&separator_);
    value_.SetSeparator(separator_);
    value_.SetResolution(static_cast<SHORT>(dpi));
    value_.SetMMFormat(kFormatMM);
    value_.SetInchFormat(kFormatInch);
    value_.SetDotsValue(dots);
    value_.SetDots();

    // As many characters as the maximum needs: its whole digits, and in
    // inches the separator and one decimal.
    limit_ = DigitsOf(maximum_) + (mm ? 0 : static_cast<int>(separator_.size()) + 1);
    rule_.kind = NumberEditKind::Double;
    rule_.integersOnly = mm ? 1 : 0;
    rule_.separator = separator_;
    if (HWND edit = Control(ids.edit)) {
        SendMessageW(edit, EM_LIMITTEXT, static_cast<WPARAM>(limit_), 0);
        AttachNumberEdit(edit, &rule_);
    }
    if (HWND spin = Control(ids.spin))
        SendMessageW(spin, UDM_SETRANGE32, static_cast<WPARAM>(Minimum() * Scale()),
                     static_cast<LPARAM>(std::floor(maximum_ * Scale() + kEpsilon)));

    std::u16string format;
    if (strings) strings->LoadString(mm ? kStringRangeMM : kStringRangeInch, &format);
    if (format.empty()) format = mm ? u"(%d - %d mm)" : u"(%.1f - %.1f in.)";
    // A millimetre maximum with a fraction (12.7 mm) is shown as it is, not
    // cut to whole millimetres.
    bool whole = mm != FALSE;
    if (whole && std::floor(maximum_ + kEpsilon) + kEpsilon < maximum_) {
        for (size_t at = format.find(u"%d"); at != std::u16string::npos; at = format.find(u"%d"))
            format.replace(at, 2, u"%g");
        whole = false;
    }
    range_ = Printf(format, Minimum(), maximum_, whole);
    if (!whole) LocalizeDecimalText(&range_, separator_);
    if (HWND range = Control(ids.range)) SetWindowTextW(range, range_.c_str());
}

void CLengthEdit::Set(double value) {
    const double v = ClampLength(value, Minimum(), maximum_);
    if (mm_)
        value_.SetMM(v, TRUE);
    else
        value_.SetInch(v, TRUE);
}

void CLengthEdit::OnTextChanged() {
    HWND edit = Control(ids_.edit);
    if (!edit) return;
    // Clamped before any narrowing: "inf", "1e30" and negatives included.
    const double typed = ClampLength(GetDoubleEditValue(edit, separator_), Minimum(), maximum_);
    const int position = static_cast<int>((typed + kEpsilon) * Scale() + 0.000001);
    if (HWND spin = Control(ids_.spin))
        SendMessageW(spin, UDM_SETPOS32, 0, static_cast<LPARAM>(position));
}

void CLengthEdit::OnSpin(int position) {
    Set(static_cast<double>(position) / Scale());
}

BOOL CLengthEdit::Clamp() {
    if (HWND edit = Control(ids_.edit)) {
        const double typed = GetDoubleEditValue(edit, separator_);
        const double wanted = std::isnan(typed) ? Minimum() : typed + kEpsilon;
        Set(wanted);
        return wanted > maximum_ || wanted < Minimum() || std::isnan(typed);
    }
    Set(Value());
    return FALSE;
}

void CLengthEdit::ReadTyped() {
    if (HWND edit = Control(ids_.edit)) {
        const double typed = GetDoubleEditValue(edit, separator_);
        Set(std::isnan(typed) ? Minimum() : typed + kEpsilon);
    }
}

void CLengthEdit::SetDots(WORD dots) {
    value_.SetDotsValue(dots);
    value_.SetDots();
}

BOOL CLengthEdit::Show() {
    const BOOL written = ShowInEdit(value_, Control(ids_.edit), mm_);
    // The up-down follows the value shown, also when the program wrote it.
    const int position = static_cast<int>((Value() + kEpsilon) * Scale() + 0.000001);
    if (HWND spin = Control(ids_.spin))
        SendMessageW(spin, UDM_SETPOS32, 0, static_cast<LPARAM>(position));
    return written;
}

WORD CLengthEdit::Dots() const {
    const LONG dots = value_.Dots();
    return static_cast<WORD>(std::clamp<LONG>(dots, 0, 0xFFFF));
}

} // namespace sheetwright
