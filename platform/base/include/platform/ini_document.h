// The text of an INI file as lines, with the lookups and edits of the profile
// functions. Lines that are not touched are written back as they were read.
// Callers that change several keys in one step read and replace the file
// through platform::SettingsFile and edit it here.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::ini {

// The largest INI file read. The format sets no size; the largest INI text
// the package reads is a language's dialog text, which its reader bounds at
// 32 MB, and no list or settings file written as INI comes near that.
inline constexpr unsigned long long kMaxIniFileSize = 32ull << 20;

// How the file's bytes are text: UTF-16LE after an FF FE mark; otherwise
// UTF-8 (with or without its mark) when the bytes are valid UTF-8, else the
// ANSI code page. The system reads a file without a mark in the ANSI code page
// only; taking UTF-8 first keeps files this platform writes readable
// whatever the code page. A file is written back in the form it was read in.
enum class Encoding { Utf8, Utf8Bom, Utf16Le, Ansi };

class IniDocument {
  public:
    static IniDocument Parse(std::string_view bytes);
    std::string Serialize() const;

    std::vector<std::u16string> SectionNames() const;
    // Key names of the first section of that name; nullopt when there is none.
    std::optional<std::vector<std::u16string>> KeyNames(std::u16string_view section) const;
    // "key=value" lines of the section (trimmed), comments and blank lines left out.
    std::vector<std::u16string> SectionLines(std::u16string_view section) const;
    // The trimmed value as written (quotes kept); nullopt when the key is missing.
    std::optional<std::u16string> Value(std::u16string_view section, std::u16string_view key) const;

    // Edits; each returns true when the text changed.
    bool Set(std::u16string_view section, std::u16string_view key, std::u16string_view value);
    bool DeleteKey(std::u16string_view section, std::u16string_view key);
    bool DeleteSection(std::u16string_view section);

    Encoding encoding() const { return encoding_; }

  private:
    struct Line {
        enum Kind { Blank, Comment, Section, Entry } kind;
        std::u16string name;  // section or key name, trimmed
        std::u16string value; // value, trimmed
    };
    static Line Classify(std::u16string_view text);
    // [header, end) of the first section of that name.
    std::optional<std::pair<size_t, size_t>> FindSection(std::u16string_view section) const;

    std::vector<std::u16string> lines_;
    Encoding encoding_ = Encoding::Utf8;
    std::string newline_ = "\r\n";
};

// Removes one pair of matching surrounding quotes (double or single).
std::u16string StripQuotes(std::u16string value);
std::u16string TrimBlanks(std::u16string_view text);

} // namespace platform::ini
