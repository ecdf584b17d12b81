// printhost printer-data: a printer's data values, decoded where their
// format is known (installed options, form-to-tray table, texts, numbers).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "command.h"
#include "platform/spooler_ctl.h"
#include "platform/text.h"
#include "win/errors.h"

namespace printhost {
namespace {

namespace spl = platform::spooler;

constexpr DWORD kSz = 1, kExpandSz = 2, kBinary = 3, kDword = 4, kMultiSz = 7;

const char* TypeName(DWORD type) {
    switch (type) {
    case 0:
        return "REG_NONE";
    case kSz:
        return "REG_SZ";
    case kExpandSz:
        return "REG_EXPAND_SZ";
    case kBinary:
        return "REG_BINARY";
    case kDword:
        return "REG_DWORD";
    case kMultiSz:
        return "REG_MULTI_SZ";
    case 11:
        return "REG_QWORD";
    default:
        return "type";
    }
}

template <class T> T Read(const std::vector<BYTE>& data, size_t offset) {
    T value{};
    if (offset + sizeof value <= data.size())
        std::memcpy(&value, data.data() + offset, sizeof value);
    return value;
}

std::u16string Utf16(const std::vector<BYTE>& data, size_t from, size_t to) {
    std::u16string out;
    for (size_t i = from; i + 2 <= to && i + 2 <= data.size(); i += 2)
        out += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    return out;
}

void HexDump(const std::vector<BYTE>& data) {
    for (size_t row = 0; row < data.size(); row += 16) {
        std::printf("    %04zx ", row);
        for (size_t i = row; i < row + 16 && i < data.size(); ++i)
            std::printf(" %02x", data[i]);
        std::printf("\n");
    }
}

void DecodeText(const std::vector<BYTE>& data) {
    std::u16string text = Utf16(data, 0, data.size());
    bool terminated = !text.empty() && text.back() == u'\0';
    while (!text.empty() && text.back() == u'\0')
        text.pop_back();
    std::printf(" \"%s\"%s%s\n", platform::ToUtf8(text).c_str(),
                terminated ? "" : " (no terminating NUL)", data.size() % 2 ? " (odd length)" : "");
}

void DecodeMulti(const std::vector<BYTE>& data) {
    std::printf("\n");
    std::u16string all = Utf16(data, 0, data.size());
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find(u'\0', start);
        if (end == std::u16string::npos) end = all.size();
        if (end == start) break;
        std::printf("    \"%s\"\n", platform::ToUtf8(all.substr(start, end - start)).c_str());
        start = end + 1;
    }
}

// "InstallOption": 16-byte entries {u16 option, u16 value, u16 kind, u16 word, u32 state, u32
// flags}.
void DecodeInstallOption(const std::vector<BYTE>& data) {
    std::printf(" %zu entries\n", data.size() / 16);
    std::printf("    option value  kind  word       state  flags\n");
    for (size_t at = 0; at + 16 <= data.size(); at += 16)
        std::printf("    %6u %5u %5u %5u 0x%08x 0x%08x\n", Read<WORD>(data, at),
                    Read<WORD>(data, at + 2), Read<WORD>(data, at + 4), Read<WORD>(data, at + 6),
                    Read<DWORD>(data, at + 8), Read<DWORD>(data, at + 12));
    if (data.size() % 16) std::printf("    (%zu trailing bytes)\n", data.size() % 16);
}

// "FormTrayEx": 16-byte records {u32 marker, u16 tray, u16 paper, u16 media, 6 bytes}.
void DecodeFormTray(const std::vector<BYTE>& data) {
    std::printf(" %zu records\n", data.size() / 16);
    std::printf("    marker  tray paper media\n");
    for (size_t at = 0; at + 16 <= data.size(); at += 16)
        std::printf("    %6u %5u %5u %5u\n", Read<DWORD>(data, at), Read<WORD>(data, at + 4),
                    Read<WORD>(data, at + 6), Read<WORD>(data, at + 8));
    if (data.size() % 16) std::printf("    (%zu trailing bytes)\n", data.size() % 16);
}

void Show(const spl::PrinterDataValue& v) {
    std::string name = platform::ToUtf8(v.name);
    if (!platform::EqualsNoCase(v.key, u"PrinterDriverData"))
        name = platform::ToUtf8(v.key) + "\\" + name;
    std::printf("%s (%s, %zu bytes):", name.c_str(), TypeName(v.type), v.data.size());
    if (v.type == kSz || v.type == kExpandSz) return DecodeText(v.data);
    if (v.type == kMultiSz) return DecodeMulti(v.data);
    if (v.type == kDword && v.data.size() == 4) {
        DWORD n = Read<DWORD>(v.data, 0);
        std::printf(" %u (0x%x)\n", n, n);
        return;
    }
    if (v.type == kBinary && platform::EqualsNoCase(v.name, u"InstallOption"))
        return DecodeInstallOption(v.data);
    if (v.type == kBinary && platform::EqualsNoCase(v.name, u"FormTrayEx"))
        return DecodeFormTray(v.data);
    if (v.data.size() == 1) {
        std::printf(" %u\n", v.data[0]);
        return;
    }
    std::printf("\n");
    HexDump(v.data);
}

int Run(const Args& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "printhost printer-data: give one printer name\n");
        return 2;
    }
    std::u16string printer = platform::FromUtf8(args[0]);
    spl::PrinterRecord p;
    if (!spl::FindPrinter(printer, &p)) {
        std::fprintf(stderr, "printhost printer-data: no printer '%s'\n", args[0].c_str());
        return 1;
    }
    auto values = spl::PrinterData(printer);
    if (values.empty()) std::printf("(no printer data)\n");
    for (const auto& v : values)
        Show(v);
    return 0;
}

Command cmd{"printer-data", "NAME", "show a printer's data values", Run};

} // namespace
} // namespace printhost
