// Reading IEEE 1284 device IDs: every offset stays inside the bytes the
// device returned.
#include "devcomm/usb_device_id.h"

#include <cstring>

namespace devcomm {

namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() &&
           (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

} // namespace

bool DeviceId::Parse(const std::uint8_t* answer, std::size_t returned) {
    ParseText({});
    if (!answer || returned < 2) return false;
    const std::size_t length = (std::size_t(answer[0]) << 8) | answer[1];
    std::size_t end;
    if (length + 2 == returned)
        end = returned; // the length counted only the text
    else if (length >= 2 && length <= returned)
        end = length;
    else
        return false;
    ParseText(std::string_view(reinterpret_cast<const char*>(answer) + 2, end - 2));
    return true;
}

void DeviceId::ParseText(std::string_view text) {
    text_.assign(text.substr(0, text.find('\0')));
    fields_.clear();
    std::size_t at = 0;
    while (at < text_.size()) {
        std::size_t end = text_.find(';', at);
        if (end == std::string::npos) end = text_.size();
        std::string_view piece(text_.data() + at, end - at);
        std::size_t colon = piece.find(':');
        if (colon != std::string_view::npos) {
            std::string_view key = TrimBlanks(piece.substr(0, colon));
            if (!key.empty())
                fields_.push_back({std::size_t(key.data() - text_.data()), key.size(),
                                   at + colon + 1, piece.size() - colon - 1});
        }
        at = end + 1;
    }
}

std::optional<std::string_view> DeviceId::Field(std::string_view key) const {
    for (const Span& f : fields_)
        if (std::string_view(text_).substr(f.keyAt, f.keyLength) == key)
            return std::string_view(text_).substr(f.valueAt, f.valueLength);
    return std::nullopt;
}

std::optional<std::string_view> DeviceId::Either(std::string_view longKey,
                                                 std::string_view shortKey) const {
    if (auto value = Field(longKey)) return value;
    return Field(shortKey);
}

std::optional<std::string_view> DeviceId::Manufacturer() const {
    return Either("MANUFACTURER", "MFG");
}
std::optional<std::string_view> DeviceId::Model() const {
    return Either("MODEL", "MDL");
}
std::optional<std::string_view> DeviceId::CommandSet() const {
    return Either("COMMAND SET", "CMD");
}
std::optional<std::string_view> DeviceId::Description() const {
    return Either("DESCRIPTION", "DES");
}

bool DecodeBase64(std::string_view text, std::vector<std::uint8_t>* out) {
    out->clear();
    if (text.size() % 4 != 0) return false;
    out->reserve(text.size() / 4 * 3);
    for (std::size_t at = 0; at < text.size(); at += 4) {
        const bool last = at + 4 == text.size();
        // "xx==" and "xxx=" end the text; '=' nowhere else.
        int fill = 0;
        if (last && text[at + 3] == '=') fill = text[at + 2] == '=' ? 2 : 1;
        std::uint32_t group = 0;
        for (int i = 0; i < 4; ++i) {
            int v = i >= 4 - fill ? 0 : Base64Value(text[at + i]);
            if (v < 0) {
                out->clear();
                return false;
            }
            group = (group << 6) | std::uint32_t(v);
        }
        out->push_back(std::uint8_t(group >> 16));
        if (fill < 2) out->push_back(std::uint8_t(group >> 8));
        if (fill < 1) out->push_back(std::uint8_t(group));
    }
    return true;
}

bool ParseUsbStatus(const std::uint8_t* answer, std::size_t returned, UsbStatus* out) {
    out->id.ParseText({});
    out->block.clear();
    UsbStatus status;
    if (!status.id.Parse(answer, returned)) return false;
    // Only a device that says its status block is valid ("FL:1") is read.
    if (status.id.Field("FL") != std::string_view("1")) return false;
    std::optional<std::string_view> encoded = status.id.Field("VSTATUS");
    if (!encoded || !DecodeBase64(*encoded, &status.block)) return false;
    *out = std::move(status);
    return true;
}

} // namespace devcomm
