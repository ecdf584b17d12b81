// Sine and cosine of degrees from a table of whole degrees, as the vector
// output turns its figures.
#include <array>
#include <cmath>

#include "format_text.h"

namespace inkforge {
namespace {

// sin(0°) .. sin(90°).
const std::array<double, 91>& SineTable() {
    static const std::array<double, 91> table = [] {
        std::array<double, 91> t{};
        for (int i = 0; i <= 90; ++i)
            t[static_cast<size_t>(i)] = std::sin(i * 3.14159265358979323846 / 180.0);
        t[90] = 1.0;
        return t;
    }();
    return table;
}

// Sine of 0 <= a <= 90 by linear interpolation between whole degrees.
double FirstQuadrant(double a) {
    const auto& t = SineTable();
    int whole = static_cast<int>(a);
    if (whole >= 90) return t[90];
    double frac = a - whole;
    return t[static_cast<size_t>(whole)] +
           (t[static_cast<size_t>(whole) + 1] - t[static_cast<size_t>(whole)]) * frac;
}

double Normalise(double degrees) {
    if (!std::isfinite(degrees)) return 0;
    double a = std::fmod(degrees, 360.0);
    if (a < 0) a += 360.0;
    if (a >= 360.0) a = 0;
    return a;
}

} // namespace

double SinDegrees(double degrees) {
    double a = Normalise(degrees);
    if (a <= 90) return FirstQuadrant(a);
    if (a <= 180) return FirstQuadrant(180 - a);
    if (a <= 270) return -FirstQuadrant(a - 180);
    return -FirstQuadrant(360 - a);
}

double CosDegrees(double degrees) {
    double a = Normalise(degrees);
    double magnitude = std::fabs(SinDegrees(90 - a));
    return (a >= 90 && a < 270) ? -magnitude : magnitude;
}

} // namespace inkforge
