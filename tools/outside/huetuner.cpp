// Stand-in for the outside colour-adjustment library: caColorAdjust shows a
// small dialog with the block's 48 values and its ICM method and intent as
// text, so that a test's script (or a person) can change them and accept;
// OK writes them back into the block and answers 1, Cancel answers 0. On a
// sheet that may not change settings the fields are read-only. It is not a
// part of the package: tests place it in a printer's driver folder.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "color_adjust_block.h"
#include "win/strings.h"
#include "win/types.h"
#include "win/user.h"
#include "win/user_constants.h"

namespace {

using outside::ColorAdjustBlock;

// A dialog template in memory: header, then each item aligned to 4 bytes.
class TemplateWriter {
  public:
    void Header(DWORD style, WORD items, short cx, short cy, const char16_t* title) {
        DLGTEMPLATE t{};
        t.style = style;
        t.cdit = items;
        t.cx = cx;
        t.cy = cy;
        Raw(&t, sizeof t);
        Word(0); // no menu
        Word(0); // the dialog class
        Text(title);
    }
    void Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD atom,
              const char16_t* text) {
        Align();
        DLGITEMTEMPLATE i{};
        i.style = style | WS_CHILD | WS_VISIBLE;
        i.x = x;
        i.y = y;
        i.cx = cx;
        i.cy = cy;
        i.id = id;
        Raw(&i, sizeof i);
        Word(0xFFFF);
        Word(atom);
        Text(text);
        Word(0); // no creation data
    }
    const DLGTEMPLATE* Get() {
        Align();
        return reinterpret_cast<const DLGTEMPLATE*>(bytes_.data());
    }

  private:
    void Raw(const void* p, size_t n) {
        const auto* b = static_cast<const BYTE*>(p);
        bytes_.insert(bytes_.end(), b, b + n);
    }
    void Word(WORD w) { Raw(&w, sizeof w); }
    void Text(const char16_t* s) {
        for (; *s; ++s)
            Word(static_cast<WORD>(*s));
        Word(0);
    }
    void Align() {
        while (bytes_.size() % 4)
            bytes_.push_back(0);
    }
    std::vector<BYTE> bytes_;
};

constexpr WORD kButtonAtom = 0x0080, kEditAtom = 0x0081, kStaticAtom = 0x0082;

struct Session {
    ColorAdjustBlock* block;
    DWORD mode;
};

std::u16string Wide(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

std::string Narrow(HWND edit) {
    WCHAR text[1024] = {};
    GetWindowTextW(edit, text, 1024);
    std::string out;
    for (const WCHAR* p = text; *p; ++p)
        out.push_back(*p < 128 ? static_cast<char>(*p) : '?');
    return out;
}

// Reads n numbers 0..255 (or any 32-bit number when wide) from the text;
// false when the text does not hold exactly that many.
bool ParseNumbers(const std::string& text, std::vector<unsigned long>* out, size_t n,
                  unsigned long limit) {
    out->clear();
    const char* p = text.c_str();
    while (*p) {
        while (*p == ' ')
            ++p;
        if (!*p) break;
        char* end = nullptr;
        const unsigned long v = std::strtoul(p, &end, 10);
        if (end == p || v > limit) return false;
        out->push_back(v);
        p = end;
    }
    return out->size() == n;
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* s = reinterpret_cast<Session*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        s = reinterpret_cast<Session*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        std::string values;
        for (size_t i = 0; i < outside::kColorAdjustValueBytes; ++i)
            values += (i ? " " : "") + std::to_string(s->block->values[i]);
        SetDlgItemTextW(dialog, outside::kHuetunerValuesEdit, Wide(values).c_str());
        SetDlgItemTextW(dialog, outside::kHuetunerIcmMethodEdit,
                        Wide(std::to_string(s->block->icmMethod)).c_str());
        SetDlgItemTextW(dialog, outside::kHuetunerIcmIntentEdit,
                        Wide(std::to_string(s->block->icmIntent)).c_str());
        char info[64];
        std::snprintf(info, sizeof info, "mode %u flags %u", static_cast<unsigned>(s->mode),
                      static_cast<unsigned>(s->block->flags));
        SetDlgItemTextW(dialog, outside::kHuetunerInfoText, Wide(info).c_str());
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK && s) {
            std::vector<unsigned long> values, method, intent;
            if (!ParseNumbers(Narrow(GetDlgItem(dialog, outside::kHuetunerValuesEdit)), &values,
                              outside::kColorAdjustValueBytes, 255) ||
                !ParseNumbers(Narrow(GetDlgItem(dialog, outside::kHuetunerIcmMethodEdit)), &method,
                              1, 0xFFFFFFFFul) ||
                !ParseNumbers(Narrow(GetDlgItem(dialog, outside::kHuetunerIcmIntentEdit)), &intent,
                              1, 0xFFFFFFFFul))
                return TRUE; // the dialog stays until its fields read
            for (size_t i = 0; i < values.size(); ++i)
                s->block->values[i] = static_cast<std::uint8_t>(values[i]);
            s->block->icmMethod = static_cast<std::uint32_t>(method[0]);
            s->block->icmIntent = static_cast<std::uint32_t>(intent[0]);
            EndDialog(dialog, outside::kColorAdjustAccepted);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

DLLEXPORT int WINAPI caColorAdjust(HWND owner, void* block, DWORD mode) {
    auto* b = static_cast<ColorAdjustBlock*>(block);
    if (!b || std::memcmp(b->magic, outside::kColorAdjustMagic, 4) != 0 ||
        b->size != outside::kColorAdjustBlockSize)
        return 0;
    const DWORD readOnly = (b->flags & outside::kColorAdjustReadOnlyFlag) ? ES_READONLY : 0;
    TemplateWriter t;
    t.Header(DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, 7, 260, 96, u"Color Adjustment");
    t.Item(SS_LEFT, 7, 7, 246, 10, outside::kHuetunerInfoText, kStaticAtom, u"");
    t.Item(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP | readOnly, 7, 20, 246, 14,
           outside::kHuetunerValuesEdit, kEditAtom, u"");
    t.Item(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP | readOnly, 7, 40, 60, 14,
           outside::kHuetunerIcmMethodEdit, kEditAtom, u"");
    t.Item(ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP | readOnly, 71, 40, 60, 14,
           outside::kHuetunerIcmIntentEdit, kEditAtom, u"");
    t.Item(SS_LEFT, 135, 42, 118, 10, 104, kStaticAtom, u"ICM method, intent");
    t.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, 149, 75, 50, 14, IDOK, kButtonAtom, u"OK");
    t.Item(BS_PUSHBUTTON | WS_TABSTOP, 203, 75, 50, 14, IDCANCEL, kButtonAtom, u"Cancel");
    Session session{b, mode};
    const INT_PTR answer = DialogBoxIndirectParamW(nullptr, t.Get(), owner, DialogProc,
                                                   reinterpret_cast<LPARAM>(&session));
    return answer == outside::kColorAdjustAccepted ? outside::kColorAdjustAccepted : 0;
}
