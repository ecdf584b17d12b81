// The graphics core's own small formatter, used for the PJL and comment lines.
// After "%": an optional "0" (zero padding), up to 5 width digits and one
// conversion letter: d (signed; with width and "0" padded with zeros; a longer
// number keeps its last width digits), l (d always zero-padded), u (unsigned),
// x and X (upper-case hexadecimal, at least 2 digits), c, s (ANSI string),
// b ("true"/"false"), f (signed 24.8 fixed point, up to 3 decimals); any other
// letter stands for itself and takes no argument.
//
// Arguments are passed as a typed list, so that a format taken from the model
// data can never read an argument that is not there: a conversion without an
// argument left prints 0 or nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace inkforge {

struct FormatArg {
    enum Kind { Number, String } kind;
    std::int64_t number;
    const char* string;

    FormatArg(int v) : kind(Number), number(v), string(nullptr) {}
    FormatArg(unsigned v) : kind(Number), number(v), string(nullptr) {}
    FormatArg(long v) : kind(Number), number(v), string(nullptr) {}
    FormatArg(unsigned long v)
        : kind(Number), number(static_cast<std::int64_t>(v)), string(nullptr) {}
    FormatArg(const char* s) : kind(String), number(0), string(s) {}
};

// Formats into out, which holds capacity bytes: never more than capacity - 1
// characters and a NUL are written (nothing when capacity is 0). Returns the
// characters written without the NUL.
size_t FormatTextArgs(char* out, size_t capacity, const char* format, const FormatArg* args,
                      size_t count);

inline size_t FormatText(char* out, size_t capacity, const char* format,
                         std::initializer_list<FormatArg> args) {
    return FormatTextArgs(out, capacity, format, args.begin(), args.size());
}
inline size_t FormatText(char* out, size_t capacity, const char* format) {
    return FormatTextArgs(out, capacity, format, nullptr, 0);
}

// Sine and cosine of an angle in degrees from a table of whole degrees.
double SinDegrees(double degrees);
double CosDegrees(double degrees);

} // namespace inkforge
