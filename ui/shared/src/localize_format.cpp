// Cache, section and dialog template formats of the localisation files.
#include "localize_format.h"

#include <cstring>

#include "platform/dialog_template.h"

namespace sheetwright {
namespace {

constexpr DWORD kDialogSetFont = 0x40; // DS_SETFONT
constexpr WORD kExtendedSignature = 0xFFFF;
constexpr WORD kOrdinalMark = 0xFFFF;

class Writer {
  public:
    template <class T> void Put(T v) {
        const BYTE* p = reinterpret_cast<const BYTE*>(&v);
        out.insert(out.end(), p, p + sizeof(T));
    }
    void Text(const std::u16string& s) {
        for (char16_t c : s)
            Put<WORD>(c);
        Put<WORD>(0);
    }
    void NameOrOrdinal(bool isOrdinal, WORD ordinal, const std::u16string& name) {
        if (isOrdinal) {
            Put<WORD>(kOrdinalMark);
            Put<WORD>(ordinal);
        } else {
            Text(name);
        }
    }
    void Align4() {
        while (out.size() % 4)
            out.push_back(0);
    }
    std::vector<BYTE> out;
};

} // namespace

BOOL CheckRcbHeader(const RcbHeader& h, ULONGLONG fileSize) {
    if (std::memcmp(h.magic, kRcbMagic, 4) != 0 || h.format != kRcbFormat) return FALSE;
    // The layout is fixed: header, dialog index, string index, dialog data, string data.
    const ULONGLONG dialogIndex = kRcbHeaderSize;
    const ULONGLONG stringIndex = dialogIndex + ULONGLONG{kRcbEntrySize} * h.dialogCount;
    const ULONGLONG dialogData = stringIndex + ULONGLONG{kRcbEntrySize} * h.stringCount;
    return h.dialogIndexOffset == dialogIndex && h.stringIndexOffset == stringIndex &&
           h.dialogDataOffset == dialogData && h.stringDataOffset >= dialogData &&
           h.stringDataOffset <= fileSize && dialogData <= fileSize;
}

BOOL CheckRcbEntry(const RcbEntry& e, bool isString, ULONGLONG areaStart, ULONGLONG areaEnd) {
    if (!e.size) return TRUE;
    if (areaStart + e.offset + e.size > areaEnd) return FALSE;
    // A string is UTF-16 with its terminator.
    return !isString || (e.size % 2 == 0 && e.size >= 2);
}

BOOL ParseRcb(const BYTE* data, size_t size, RcbImage* out) {
    *out = {};
    if (!data || size < kRcbHeaderSize) return FALSE;
    RcbHeader h;
    std::memcpy(&h, data, sizeof h);
    if (!CheckRcbHeader(h, size)) return FALSE;
    out->header = h;
    out->dialogs.resize(h.dialogCount);
    out->strings.resize(h.stringCount);
    if (h.dialogCount)
        std::memcpy(out->dialogs.data(), data + h.dialogIndexOffset, kRcbEntrySize * h.dialogCount);
    if (h.stringCount)
        std::memcpy(out->strings.data(), data + h.stringIndexOffset, kRcbEntrySize * h.stringCount);
    bool ok = true;
    for (const auto& e : out->dialogs)
        ok = ok && CheckRcbEntry(e, false, h.dialogDataOffset, h.stringDataOffset);
    for (const auto& e : out->strings)
        ok = ok && CheckRcbEntry(e, true, h.stringDataOffset, size);
    if (!ok) {
        *out = {};
        return FALSE;
    }
    out->data = data;
    out->size = size;
    return TRUE;
}

BOOL RcbTemplatesReadable(const RcbImage& image) {
    for (const auto& e : image.dialogs) {
        DialogInfo d;
        if (e.size &&
            !ReadDialogTemplate(image.data + image.header.dialogDataOffset + e.offset, e.size, &d))
            return FALSE;
    }
    return TRUE;
}

std::u16string RcbStringText(const BYTE* p, DWORD size) {
    std::u16string text;
    for (DWORD i = 0; i + 1 < size; i += 2) {
        char16_t c = static_cast<char16_t>(p[i] | p[i + 1] << 8);
        if (!c) break;
        text.push_back(c);
    }
    return text;
}

BOOL RcbDialog(const RcbImage& image, DWORD id, const BYTE** data, DWORD* size) {
    for (const auto& e : image.dialogs) {
        if (e.id != id) continue;
        if (!e.size) return FALSE;
        *data = image.data + image.header.dialogDataOffset + e.offset;
        *size = e.size;
        return TRUE;
    }
    return FALSE;
}

BOOL RcbString(const RcbImage& image, DWORD id, std::u16string* text) {
    for (const auto& e : image.strings) {
        if (e.id != id) continue;
        if (!e.size) return FALSE;
        *text = RcbStringText(image.data + image.header.stringDataOffset + e.offset, e.size);
        return TRUE;
    }
    return FALSE;
}

std::vector<BYTE> BuildRcb(RcbHeader h, const std::vector<RcbDialogData>& dialogs,
                           const std::vector<RcbStringData>& strings) {
    std::memcpy(h.magic, kRcbMagic, 4);
    h.format = kRcbFormat;
    h.dialogCount = static_cast<DWORD>(dialogs.size());
    h.stringCount = static_cast<DWORD>(strings.size());
    h.dialogIndexOffset = kRcbHeaderSize;
    h.stringIndexOffset = h.dialogIndexOffset + static_cast<DWORD>(kRcbEntrySize * dialogs.size());
    h.dialogDataOffset = h.stringIndexOffset + static_cast<DWORD>(kRcbEntrySize * strings.size());
    std::vector<RcbEntry> dialogIndex, stringIndex;
    std::vector<BYTE> dialogData, stringData;
    for (const auto& d : dialogs) {
        dialogIndex.push_back({d.id, d.bytes.empty() ? 0 : static_cast<DWORD>(dialogData.size()),
                               static_cast<DWORD>(d.bytes.size())});
        dialogData.insert(dialogData.end(), d.bytes.begin(), d.bytes.end());
    }
    for (const auto& s : strings) {
        if (!s.present) {
            stringIndex.push_back({s.id, 0, 0});
            continue;
        }
        stringIndex.push_back({s.id, static_cast<DWORD>(stringData.size()),
                               static_cast<DWORD>((s.text.size() + 1) * 2)});
        for (char16_t c : s.text) {
            stringData.push_back(static_cast<BYTE>(c));
            stringData.push_back(static_cast<BYTE>(c >> 8));
        }
        stringData.push_back(0);
        stringData.push_back(0);
    }
    h.stringDataOffset = h.dialogDataOffset + static_cast<DWORD>(dialogData.size());
    std::vector<BYTE> out(sizeof h);
    std::memcpy(out.data(), &h, sizeof h);
    auto append = [&out](const void* p, size_t n) {
        out.insert(out.end(), static_cast<const BYTE*>(p), static_cast<const BYTE*>(p) + n);
    };
    append(dialogIndex.data(), dialogIndex.size() * kRcbEntrySize);
    append(stringIndex.data(), stringIndex.size() * kRcbEntrySize);
    append(dialogData.data(), dialogData.size());
    append(stringData.data(), stringData.size());
    return out;
}

DWORD ComposeLanguageId(DWORD language, DWORD subLanguage) {
    return language && subLanguage ? (subLanguage << 10) | language : language;
}

SectionMap ParseSectionLines(const std::u16string& block) {
    SectionMap map;
    size_t start = 0;
    while (start < block.size()) {
        size_t end = block.find(u'\0', start);
        if (end == std::u16string::npos) end = block.size();
        if (end == start) break;
        std::u16string line = block.substr(start, end - start);
        size_t eq = line.find(u'=');
        if (eq != std::u16string::npos) map[line.substr(0, eq)] = line.substr(eq + 1);
        start = end + 1;
    }
    return map;
}

std::u16string UnquoteValue(const std::u16string& value) {
    std::u16string v = value;
    if (v.size() >= 2 && v.front() == u'"' && v.back() == u'"') v = v.substr(1, v.size() - 2);
    std::u16string out;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] != u'\\' || i + 1 == v.size()) {
            out.push_back(v[i]);
            continue;
        }
        char16_t next = v[i + 1];
        switch (next) {
        case u'"':
            out.push_back(u'"');
            break;
        case u'\'':
            out.push_back(u'\'');
            break;
        case u'?':
            out.push_back(u'?');
            break;
        case u'\\':
            out.push_back(u'\\');
            break;
        case u'n':
            out.push_back(u'\n');
            break;
        case u'r':
            out.push_back(u'\r');
            break;
        case u't':
            out.push_back(u'\t');
            break;
        default:
            out.push_back(v[i]);
            out.push_back(next);
        }
        ++i;
    }
    return out;
}

std::vector<std::u16string> SplitFields(const std::u16string& value) {
    std::vector<std::u16string> fields;
    size_t start = 0;
    for (;;) {
        size_t comma = value.find(u',', start);
        fields.push_back(value.substr(start, comma == std::u16string::npos ? std::u16string::npos
                                                                           : comma - start));
        if (comma == std::u16string::npos) break;
        start = comma + 1;
    }
    return fields;
}

std::u16string JoinFrom(const std::vector<std::u16string>& fields, size_t first) {
    std::u16string out;
    for (size_t i = first; i < fields.size(); ++i) {
        if (i > first) out += u',';
        out += fields[i];
    }
    return out;
}

BOOL ReadDialogTemplate(const BYTE* tmpl, size_t size, DialogInfo* out) {
    *out = {};
    // The platform's one reader of templates checks every field against the size.
    platform::user::DialogTemplateData t;
    std::string error;
    if (!tmpl || !platform::user::ReadDialogTemplate(tmpl, size, &t, &error)) return FALSE;
    DialogInfo& d = *out;
    d.extended = t.extended;
    d.version = t.extended ? 1 : 0;
    d.helpId = t.helpId;
    d.style = t.style;
    d.exStyle = t.exStyle;
    d.x = t.x;
    d.y = t.y;
    d.cx = t.cx;
    d.cy = t.cy;
    auto id = [](const platform::res::ResId& from, bool* isOrdinal, WORD* ordinal,
                 std::u16string* text) {
        *isOrdinal = from.isOrdinal && from.ordinal != 0;
        *ordinal = from.ordinal;
        *text = from.isOrdinal ? std::u16string() : from.text;
    };
    id(t.menu, &d.menuIsOrdinal, &d.menuOrdinal, &d.menu);
    id(t.windowClass, &d.classIsOrdinal, &d.classOrdinal, &d.className);
    d.caption = t.title;
    d.hasFont = t.hasFont;
    d.pointSize = t.pointSize;
    d.weight = t.weight;
    d.italic = t.italic;
    d.charset = t.charset;
    d.face = t.face;
    for (const auto& from : t.items) {
        DialogItemInfo item;
        item.helpId = from.helpId;
        item.style = from.style;
        item.exStyle = from.exStyle;
        item.x = from.x;
        item.y = from.y;
        item.cx = from.cx;
        item.cy = from.cy;
        item.id = d.extended ? from.id : (from.id & 0xFFFF);
        id(from.windowClass, &item.classIsOrdinal, &item.classOrdinal, &item.className);
        // A title that is an ordinal names an icon or bitmap and is never translated.
        item.titleIsOrdinal = from.title.isOrdinal && from.title.ordinal != 0;
        item.titleOrdinal = from.title.ordinal;
        item.title = from.title.isOrdinal ? std::u16string() : from.title.text;
        item.extra = from.creationData;
        d.items.push_back(std::move(item));
    }
    return TRUE;
}

std::vector<BYTE> WriteDialogTemplate(const DialogInfo& d) {
    Writer w;
    if (d.extended) {
        w.Put<WORD>(d.version);
        w.Put<WORD>(kExtendedSignature);
        w.Put<DWORD>(d.helpId);
        w.Put<DWORD>(d.exStyle);
        w.Put<DWORD>(d.style);
    } else {
        w.Put<DWORD>(d.style);
        w.Put<DWORD>(d.exStyle);
    }
    w.Put<WORD>(static_cast<WORD>(d.items.size()));
    w.Put<SHORT>(d.x);
    w.Put<SHORT>(d.y);
    w.Put<SHORT>(d.cx);
    w.Put<SHORT>(d.cy);
    w.NameOrOrdinal(d.menuIsOrdinal, d.menuOrdinal, d.menu);
    w.NameOrOrdinal(d.classIsOrdinal, d.classOrdinal, d.className);
    w.Text(d.caption);
    if (d.hasFont) {
        w.Put<WORD>(d.pointSize);
        if (d.extended) {
            w.Put<WORD>(d.weight);
            w.Put<BYTE>(d.italic);
            w.Put<BYTE>(d.charset);
        }
        w.Text(d.face);
    }
    for (const auto& item : d.items) {
        w.Align4();
        if (d.extended) {
            w.Put<DWORD>(item.helpId);
            w.Put<DWORD>(item.exStyle);
            w.Put<DWORD>(item.style);
        } else {
            w.Put<DWORD>(item.style);
            w.Put<DWORD>(item.exStyle);
        }
        w.Put<SHORT>(item.x);
        w.Put<SHORT>(item.y);
        w.Put<SHORT>(item.cx);
        w.Put<SHORT>(item.cy);
        if (d.extended)
            w.Put<DWORD>(item.id);
        else
            w.Put<WORD>(static_cast<WORD>(item.id));
        w.NameOrOrdinal(item.classIsOrdinal, item.classOrdinal, item.className);
        w.NameOrOrdinal(item.titleIsOrdinal, item.titleOrdinal, item.title);
        // An old template's count includes the count word itself when there is data.
        const size_t count = item.extra.size() + (!d.extended && !item.extra.empty() ? 2 : 0);
        w.Put<WORD>(static_cast<WORD>(count));
        w.out.insert(w.out.end(), item.extra.begin(), item.extra.end());
    }
    return w.out;
}

namespace {

SHORT ToShort(const std::u16string& s) {
    long v = 0;
    bool neg = false;
    size_t i = 0;
    while (i < s.size() && s[i] == u' ')
        ++i;
    if (i < s.size() && (s[i] == u'-' || s[i] == u'+')) neg = s[i++] == u'-';
    for (; i < s.size() && s[i] >= u'0' && s[i] <= u'9'; ++i) {
        v = v * 10 + (s[i] - u'0');
        if (v > 32767) v = 32767;
    }
    return static_cast<SHORT>(neg ? -v : v);
}

} // namespace

BOOL ConvertDialogTemplate(const BYTE* tmpl, size_t size, const SectionMap& values, size_t room,
                           std::vector<BYTE>* out, bool* fits) {
    out->clear();
    *fits = true;
    // The space check: the template and every value that may go into it.
    size_t need = size;
    for (const auto& [key, value] : values)
        if (!value.empty() && value[0] != u';') need += (value.size() + 1) * 2;
    if (need > room) {
        *fits = false;
        return TRUE;
    }
    if (values.empty()) {
        out->assign(tmpl, tmpl + size);
        return tmpl != nullptr;
    }
    DialogInfo d;
    if (!ReadDialogTemplate(tmpl, size, &d)) return FALSE;
    auto value = [&values](const std::u16string& key, std::vector<std::u16string>* fields) {
        auto it = values.find(key);
        if (it == values.end() || it->second.empty() || it->second[0] == u';') return false;
        *fields = SplitFields(it->second);
        return true;
    };
    std::vector<std::u16string> f;
    if (value(u"DialogInfo", &f)) {
        if (f.size() >= 4) {
            d.cx = ToShort(f[2]);
            d.cy = ToShort(f[3]);
        }
        // A missing translation keeps the module's own text.
        if (f.size() >= 5 && !JoinFrom(f, 4).empty()) d.caption = JoinFrom(f, 4);
    }
    if (d.hasFont && value(u"DialogFont", &f)) {
        if (!f[0].empty()) d.pointSize = static_cast<WORD>(ToShort(f[0]));
        if (f.size() >= 2 && !JoinFrom(f, 1).empty()) d.face = JoinFrom(f, 1);
    }
    for (auto& item : d.items) {
        std::string digits = std::to_string(item.id);
        if (!value(std::u16string(digits.begin(), digits.end()), &f)) continue;
        if (f.size() >= 4) {
            item.x = ToShort(f[0]);
            item.y = ToShort(f[1]);
            item.cx = ToShort(f[2]);
            item.cy = ToShort(f[3]);
        }
        if (f.size() >= 5 && !item.titleIsOrdinal && !JoinFrom(f, 4).empty())
            item.title = JoinFrom(f, 4);
    }
    *out = WriteDialogTemplate(d);
    if (out->size() > room) {
        out->clear();
        *fits = false;
    }
    return TRUE;
}

} // namespace sheetwright
