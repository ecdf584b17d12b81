// The IEEE 1284 device ID that a USB printer answers to the device-ID
// request, and the status block some printers carry in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace devcomm {

// "KEY:value;" fields. Keys are compared exactly (blanks around them aside);
// a value runs to the next ';' or to the end of the text, so a last field
// without its ';' still counts. Pieces without a ':' are skipped.
class DeviceId {
  public:
    // From the answer of the device-ID request: a 2-byte big-endian length
    // that counts itself, then the text. Devices that count only the text
    // are accepted when exactly that many bytes came back. false, and an
    // empty ID, when the answer is shorter than its length says (the ID was
    // cut off) or its length cannot count itself.
    bool Parse(const std::uint8_t* answer, std::size_t returned);
    // From the text alone (up to its first NUL).
    void ParseText(std::string_view text);

    const std::string& text() const { return text_; }

    // The value of the first field with this key.
    std::optional<std::string_view> Field(std::string_view key) const;
    // The standard keys: the long name first, then the short one.
    std::optional<std::string_view> Manufacturer() const; // MANUFACTURER, MFG
    std::optional<std::string_view> Model() const;        // MODEL, MDL
    std::optional<std::string_view> CommandSet() const;   // COMMAND SET, CMD
    std::optional<std::string_view> Description() const;  // DESCRIPTION, DES

  private:
    struct Span {
        std::size_t keyAt, keyLength, valueAt, valueLength;
    };
    std::optional<std::string_view> Either(std::string_view longKey,
                                           std::string_view shortKey) const;

    std::string text_;
    std::vector<Span> fields_;
};

// Base64 of RFC 4648, with '=' filling only the last group. false for a
// length that is not a multiple of 4 or any character outside the alphabet.
bool DecodeBase64(std::string_view text, std::vector<std::uint8_t>* out);

// The device ID of a printer that reports its installed units in its
// "VSTATUS:" field, with that field's base64 text decoded.
struct UsbStatus {
    DeviceId id;
    std::vector<std::uint8_t> block;

    // Byte i of the status block; 0 past its end, so that a short block
    // reads as units not installed.
    std::uint8_t Byte(std::size_t i) const { return i < block.size() ? block[i] : 0; }
};

// Checks the answer of the device-ID request: the ID must say "FL:1" and
// hold a "VSTATUS" field that decodes. false leaves *out empty.
bool ParseUsbStatus(const std::uint8_t* answer, std::size_t returned, UsbStatus* out);

} // namespace devcomm
