// The localisation files' readers over arbitrary bytes: the cache reader and
// its look-ups, the dialog template reader and converter with a section of
// translations, and the section and value parsers. Nothing is read past the
// end; what a reader accepts stays within its bytes.
#include <cstring>
#include <string>
#include <vector>

#include "localize_format.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    using namespace sheetwright;
    if (size < 1) return 0;
    const unsigned char* body = data + 1;
    const size_t n = size - 1;
    switch (data[0] % 3) {
    case 0: {
        RcbImage image;
        if (!ParseRcb(body, n, &image)) return 0;
        for (const auto& e : image.dialogs) {
            const BYTE* p = nullptr;
            DWORD len = 0;
            if (RcbDialog(image, e.id, &p, &len) && (p < body || p + len > body + n))
                __builtin_trap();
        }
        std::u16string s;
        for (const auto& e : image.strings)
            RcbString(image, e.id, &s);
        break;
    }
    case 1: {
        SectionMap values{{u"DialogInfo", u"1,2,300,200,Caption, with comma"},
                          {u"DialogFont", u"9,Face"},
                          {u"1", u"10,20,100,14,Text"},
                          {u"100", u";commented"}};
        std::vector<BYTE> out;
        bool fits = true;
        if (ConvertDialogTemplate(body, n, values, kRcbStagingSize, &out, &fits) && fits &&
            !out.empty()) {
            DialogInfo d;
            if (!ReadDialogTemplate(out.data(), out.size(), &d)) __builtin_trap();
        }
        break;
    }
    default: {
        std::u16string text(n / 2, u'\0');
        if (!text.empty()) std::memcpy(text.data(), body, text.size() * 2);
        SectionMap m = ParseSectionLines(text);
        for (auto& [k, v] : m) {
            std::u16string u = UnquoteValue(v);
            if (u.size() > v.size()) __builtin_trap();
            JoinFrom(SplitFields(u), 4);
        }
        break;
    }
    }
    return 0;
}
