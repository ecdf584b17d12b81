#include "platform/ini_document.h"

#include "file_system.h"
#include "platform/text.h"

namespace platform::ini {

namespace {

bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f';
}

bool ValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        size_t len;
        char32_t min;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            len = 2;
            min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3;
            min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4;
            min = 0x10000;
        } else {
            return false;
        }
        if (i + len > s.size()) return false;
        char32_t c = b & (0x7F >> len);
        for (size_t k = 1; k < len; ++k) {
            auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            c = (c << 6) | (t & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}

} // namespace

std::u16string TrimBlanks(std::u16string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b]))
        ++b;
    while (e > b && IsBlank(text[e - 1]))
        --e;
    return std::u16string(text.substr(b, e - b));
}

std::u16string StripQuotes(std::u16string value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

IniDocument IniDocument::Parse(std::string_view bytes) {
    IniDocument doc;
    std::u16string text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        doc.encoding_ = Encoding::Utf16Le;
        // An odd last byte is not a character and is dropped.
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8));
    } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        doc.encoding_ = Encoding::Utf8Bom;
        text = FromUtf8(bytes.substr(3));
    } else if (ValidUtf8(bytes)) {
        doc.encoding_ = Encoding::Utf8;
        text = FromUtf8(bytes);
    } else {
        doc.encoding_ = Encoding::Ansi;
        text = files::WidenBytes(bytes);
    }
    size_t firstBreak = text.find(u'\n');
    if (firstBreak != std::u16string::npos && (firstBreak == 0 || text[firstBreak - 1] != u'\r'))
        doc.newline_ = "\n";
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) end = text.size();
        size_t stop = end;
        if (stop > start && text[stop - 1] == u'\r') --stop;
        doc.lines_.emplace_back(text.substr(start, stop - start));
        start = end + 1;
    }
    return doc;
}

std::string IniDocument::Serialize() const {
    std::u16string text;
    std::u16string newline = newline_ == "\n" ? u"\n" : u"\r\n";
    for (const auto& line : lines_)
        text += line + newline;
    switch (encoding_) {
    case Encoding::Utf16Le: {
        std::string out = "\xFF\xFE";
        for (char16_t c : text) {
            out += static_cast<char>(c & 0xFF);
            out += static_cast<char>(c >> 8);
        }
        return out;
    }
    case Encoding::Utf8Bom:
        return "\xEF\xBB\xBF" + ToUtf8(text);
    case Encoding::Ansi:
        return files::Narrow(text);
    case Encoding::Utf8:
        break;
    }
    return ToUtf8(text);
}

IniDocument::Line IniDocument::Classify(std::u16string_view text) {
    Line line{Line::Blank, {}, {}};
    std::u16string trimmed = TrimBlanks(text);
    if (trimmed.empty()) return line;
    if (trimmed[0] == u';') {
        line.kind = Line::Comment;
        return line;
    }
    if (trimmed[0] == u'[') {
        line.kind = Line::Section;
        size_t close = trimmed.find(u']');
        line.name = TrimBlanks(std::u16string_view(trimmed).substr(
            1, close == std::u16string::npos ? std::u16string::npos : close - 1));
        return line;
    }
    line.kind = Line::Entry;
    size_t eq = trimmed.find(u'=');
    if (eq == std::u16string::npos) {
        line.name = trimmed; // a key without a value
    } else {
        line.name = TrimBlanks(std::u16string_view(trimmed).substr(0, eq));
        line.value = TrimBlanks(std::u16string_view(trimmed).substr(eq + 1));
    }
    return line;
}

std::optional<std::pair<size_t, size_t>>
IniDocument::FindSection(std::u16string_view section) const {
    std::u16string wanted = TrimBlanks(section);
    for (size_t i = 0; i < lines_.size(); ++i) {
        Line line = Classify(lines_[i]);
        if (line.kind != Line::Section || !EqualsNoCase(line.name, wanted)) continue;
        size_t end = i + 1;
        while (end < lines_.size() && Classify(lines_[end]).kind != Line::Section)
            ++end;
        return std::make_pair(i, end);
    }
    return std::nullopt;
}

std::vector<std::u16string> IniDocument::SectionNames() const {
    std::vector<std::u16string> names;
    for (const auto& text : lines_) {
        Line line = Classify(text);
        if (line.kind == Line::Section) names.push_back(line.name);
    }
    return names;
}

std::optional<std::vector<std::u16string>>
IniDocument::KeyNames(std::u16string_view section) const {
    auto range = FindSection(section);
    if (!range) return std::nullopt;
    std::vector<std::u16string> names;
    for (size_t i = range->first + 1; i < range->second; ++i) {
        Line line = Classify(lines_[i]);
        if (line.kind == Line::Entry) names.push_back(line.name);
    }
    return names;
}

std::vector<std::u16string> IniDocument::SectionLines(std::u16string_view section) const {
    std::vector<std::u16string> out;
    auto range = FindSection(section);
    if (!range) return out;
    for (size_t i = range->first + 1; i < range->second; ++i) {
        Line line = Classify(lines_[i]);
        if (line.kind != Line::Entry) continue;
        bool hasValue = lines_[i].find(u'=') != std::u16string::npos;
        out.push_back(hasValue ? line.name + u"=" + line.value : line.name);
    }
    return out;
}

std::optional<std::u16string> IniDocument::Value(std::u16string_view section,
                                                 std::u16string_view key) const {
    auto range = FindSection(section);
    if (!range) return std::nullopt;
    std::u16string wantedKey = TrimBlanks(key);
    for (size_t i = range->first + 1; i < range->second; ++i) {
        Line line = Classify(lines_[i]);
        if (line.kind == Line::Entry && EqualsNoCase(line.name, wantedKey)) return line.value;
    }
    return std::nullopt;
}

bool IniDocument::Set(std::u16string_view section, std::u16string_view key,
                      std::u16string_view value) {
    std::u16string wantedKey = TrimBlanks(key);
    auto range = FindSection(section);
    if (!range) {
        lines_.push_back(u"[" + TrimBlanks(section) + u"]");
        lines_.push_back(wantedKey + u"=" + std::u16string(value));
        return true;
    }
    size_t insertAt = range->first + 1;
    for (size_t i = range->first + 1; i < range->second; ++i) {
        Line line = Classify(lines_[i]);
        if (line.kind != Line::Blank) insertAt = i + 1;
        if (line.kind == Line::Entry && EqualsNoCase(line.name, wantedKey)) {
            // The key keeps the spelling it has in the file.
            std::u16string replacement = line.name + u"=" + std::u16string(value);
            if (lines_[i] == replacement) return false;
            lines_[i] = replacement;
            return true;
        }
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                  wantedKey + u"=" + std::u16string(value));
    return true;
}

bool IniDocument::DeleteKey(std::u16string_view section, std::u16string_view key) {
    auto range = FindSection(section);
    if (!range) return false;
    std::u16string wantedKey = TrimBlanks(key);
    for (size_t i = range->first + 1; i < range->second; ++i) {
        Line line = Classify(lines_[i]);
        if (line.kind == Line::Entry && EqualsNoCase(line.name, wantedKey)) {
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

bool IniDocument::DeleteSection(std::u16string_view section) {
    auto range = FindSection(section);
    if (!range) return false;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(range->first),
                 lines_.begin() + static_cast<std::ptrdiff_t>(range->second));
    return true;
}

} // namespace platform::ini
