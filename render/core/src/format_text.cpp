// The compact formatter of the PJL and comment writers.
#include "format_text.h"

#include <cstdint>
#include <string>

namespace inkforge {
namespace {

class Sink {
  public:
    Sink(char* out, size_t capacity) : out_(out), capacity_(capacity) {}
    void Put(char c) {
        if (out_ && written_ + 1 < capacity_) out_[written_++] = c;
    }
    void Put(const std::string& s) {
        for (char c : s)
            Put(c);
    }
    size_t Finish() {
        if (out_ && capacity_ > 0) out_[written_] = '\0';
        return written_;
    }

  private:
    char* out_;
    size_t capacity_;
    size_t written_ = 0;
};

std::string Digits(std::uint64_t v) {
    std::string s;
    do {
        s.insert(s.begin(), static_cast<char>('0' + v % 10));
        v /= 10;
    } while (v);
    return s;
}

// Signed decimal: a width keeps the last width digits; zero padding fills up to it.
std::string Decimal(std::int64_t v, int width, bool zero) {
    bool negative = v < 0;
    std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    std::string s = Digits(magnitude);
    if (width > 0 && s.size() > static_cast<size_t>(width))
        s.erase(0, s.size() - static_cast<size_t>(width));
    if (zero && width > 0 && s.size() < static_cast<size_t>(width))
        s.insert(0, static_cast<size_t>(width) - s.size(), '0');
    if (negative) s.insert(s.begin(), '-');
    return s;
}

std::string Hex(std::uint32_t v) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string s;
    do {
        s.insert(s.begin(), kDigits[v & 0xF]);
        v >>= 4;
    } while (v);
    if (s.size() < 2) s.insert(s.begin(), '0');
    return s;
}

// A 24.8 fixed-point value: integer part, then up to three decimals without
// trailing zeros.
std::string Fixed(std::int64_t v) {
    bool negative = v < 0;
    std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    std::uint64_t whole = magnitude >> 8;
    std::uint64_t thousandths = ((magnitude & 0xFF) * 100000 / 256 + 50) / 100;
    std::string s = negative ? "-" : "";
    s += Digits(whole);
    if (thousandths) {
        std::string frac = Digits(thousandths);
        frac.insert(0, 3 - frac.size(), '0');
        while (!frac.empty() && frac.back() == '0')
            frac.pop_back();
        s += '.';
        s += frac;
    }
    return s;
}

} // namespace

size_t FormatTextArgs(char* out, size_t capacity, const char* format, const FormatArg* args,
                      size_t count) {
    Sink sink(out, capacity);
    if (!format) return sink.Finish();
    size_t next = 0;
    auto take = [&]() -> const FormatArg* { return next < count ? &args[next++] : nullptr; };
    auto number = [&](const FormatArg* a) -> std::int64_t {
        return a && a->kind == FormatArg::Number ? a->number : 0;
    };
    for (const char* p = format; *p; ++p) {
        if (*p != '%') {
            sink.Put(*p);
            continue;
        }
        ++p;
        bool zero = false;
        if (*p == '0') {
            zero = true;
            ++p;
        }
        int width = 0;
        for (int i = 0; i < 5 && *p >= '0' && *p <= '9'; ++i, ++p)
            width = width * 10 + (*p - '0');
        if (!*p) break;
        switch (*p) {
        case 'd':
            sink.Put(Decimal(number(take()), width, zero));
            break;
        case 'l':
            sink.Put(Decimal(number(take()), width, true));
            break;
        case 'u':
            sink.Put(Digits(static_cast<std::uint32_t>(number(take()))));
            break;
        case 'x':
        case 'X':
            sink.Put(Hex(static_cast<std::uint32_t>(number(take()))));
            break;
        case 'c': {
            const FormatArg* a = take();
            char c = !a                             ? '\0'
                     : a->kind == FormatArg::String ? (a->string ? a->string[0] : '\0')
                                                    : static_cast<char>(a->number);
            if (c) sink.Put(c);
            break;
        }
        case 's': {
            const FormatArg* a = take();
            if (a && a->kind == FormatArg::String && a->string)
                for (const char* s = a->string; *s; ++s)
                    sink.Put(*s);
            break;
        }
        case 'b':
            sink.Put(number(take()) ? "true" : "false");
            break;
        case 'f':
            sink.Put(Fixed(number(take())));
            break;
        default:
            sink.Put(*p);
            break;
        }
    }
    return sink.Finish();
}

} // namespace inkforge
