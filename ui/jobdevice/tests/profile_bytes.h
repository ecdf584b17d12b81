// Profile files laid out by hand, byte by byte at the format's offsets, so
// that the reader is checked against the layout and not against our writer.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace profile_bytes {

inline void Put32(std::string* s, size_t at, uint32_t v) {
    if (s->size() < at + 4) s->resize(at + 4, '\0');
    for (int i = 0; i < 4; ++i)
        (*s)[at + i] = static_cast<char>(v >> (8 * i));
}
inline void Put16(std::string* s, size_t at, uint16_t v) {
    if (s->size() < at + 2) s->resize(at + 2, '\0');
    (*s)[at] = static_cast<char>(v);
    (*s)[at + 1] = static_cast<char>(v >> 8);
}
inline void PutText(std::string* s, size_t at, const std::string& text) {
    if (s->size() < at + text.size()) s->resize(at + text.size(), '\0');
    std::memcpy(s->data() + at, text.data(), text.size());
}
inline uint32_t Get32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<uint8_t>(s[at + i]);
    return v;
}
inline uint16_t Get16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1])
                                                                   << 8);
}

// The sample model's names in the form the 16-byte fields hold them.
inline constexpr char kModel[] = "Velmora CX5540 ";
inline constexpr char kFamily[] = "CX5500";

// DEVMODEA offsets used here.
inline constexpr size_t kDmSize = 36, kDmDriverExtra = 38, kDmFields = 40, kDmCopies = 54;
inline constexpr size_t kPrivate = 156; // the private block after a 156-byte standard part
inline constexpr size_t kProfileName = 776, kPassword = 224;

// A stored device mode: 156 + `extra` bytes, the private signature, `copies`
// as a marker, the ProfileName field.
inline std::string Devmode(uint16_t copies, uint16_t extra = 1100, const std::string& name = "") {
    std::string d(156 + extra, '\0');
    Put16(&d, kDmSize, 156);
    Put16(&d, kDmDriverExtra, extra);
    Put32(&d, kDmFields, 0x100); // DM_COPIES
    Put16(&d, kDmCopies, copies);
    PutText(&d, kPrivate, "DROZ"); // the signature as it lies in memory
    if (extra >= 840) PutText(&d, kPrivate + kProfileName, name);
    return d;
}

// Current layout.
inline std::string CurrentHead(uint32_t count, uint32_t settingsVersion = 0x100000,
                               const std::string& model = kModel,
                               const std::string& family = kFamily) {
    std::string s;
    PutText(&s, 0, "ZORP");
    Put32(&s, 8, 9);
    Put32(&s, 12, 0);
    PutText(&s, 16, "hea-");
    Put32(&s, 20, 72);
    Put32(&s, 24, 16);
    Put32(&s, 28, 9);
    Put32(&s, 32, count);
    PutText(&s, 40, model);
    PutText(&s, 56, family);
    Put32(&s, 72, settingsVersion);
    s.resize(88, '\0');
    return s;
}
inline std::string RecordChunk(const std::string& name, const std::string& comment, uint32_t flags,
                               const std::string& devmode) {
    std::string c;
    PutText(&c, 0, "inf-");
    Put32(&c, 4, static_cast<uint32_t>(8 + 208 + devmode.size()));
    Put32(&c, 8, 208);
    Put32(&c, 12, flags);
    PutText(&c, 24, name);
    PutText(&c, 88, comment);
    c.resize(216, '\0');
    return c + devmode;
}
inline std::string EndChunk() {
    std::string c;
    PutText(&c, 0, "eof-");
    Put32(&c, 4, 8);
    return c;
}

// Older layout: head, then records with 200- or 208-byte heads.
inline std::string LegacyHead(uint32_t count, uint32_t settingsVersion) {
    std::string s;
    PutText(&s, 0, "ZORP");
    Put32(&s, 4, 52);
    Put32(&s, 8, 3);
    Put32(&s, 12, count);
    PutText(&s, 16, kModel);
    PutText(&s, 32, kFamily);
    Put32(&s, 48, settingsVersion);
    return s;
}
inline std::string LegacyRecord(bool shortHead, const std::string& name, const std::string& comment,
                                uint32_t flags, const std::string& devmode) {
    std::string r;
    PutText(&r, 0, name);
    PutText(&r, 64, comment);
    Put32(&r, 192, flags);
    if (shortHead) {
        Put32(&r, 196, static_cast<uint32_t>(devmode.size()));
    } else {
        Put32(&r, 196, 0);
        Put32(&r, 200, static_cast<uint32_t>(devmode.size()));
        Put32(&r, 204, 0);
    }
    r.resize(shortHead ? 200 : 208, '\0');
    return r + devmode;
}

} // namespace profile_bytes
