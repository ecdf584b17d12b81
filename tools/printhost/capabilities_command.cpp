// printhost capabilities: every device capability of a printer, as an
// application asks them through DeviceCapabilitiesW.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "command.h"
#include "platform/text.h"
#include "win/gdi_text.h"
#include "win/printer_interface.h"
#include "win/spool.h"

namespace printhost {
namespace {

enum class Shape { Number, Hex, Words, Dwords, Points, Pairs, Names64, Names24, Names32 };

struct Capability {
    WORD index;
    const char* name;
    Shape shape;
};

constexpr Capability kCapabilities[] = {
    {DC_FIELDS, "DC_FIELDS", Shape::Hex},
    {DC_PAPERS, "DC_PAPERS", Shape::Words},
    {DC_PAPERSIZE, "DC_PAPERSIZE", Shape::Points},
    {DC_MINEXTENT, "DC_MINEXTENT", Shape::Hex},
    {DC_MAXEXTENT, "DC_MAXEXTENT", Shape::Hex},
    {DC_BINS, "DC_BINS", Shape::Words},
    {DC_DUPLEX, "DC_DUPLEX", Shape::Number},
    {DC_SIZE, "DC_SIZE", Shape::Number},
    {DC_EXTRA, "DC_EXTRA", Shape::Number},
    {DC_VERSION, "DC_VERSION", Shape::Hex},
    {DC_DRIVER, "DC_DRIVER", Shape::Hex},
    {DC_BINNAMES, "DC_BINNAMES", Shape::Names24},
    {DC_ENUMRESOLUTIONS, "DC_ENUMRESOLUTIONS", Shape::Pairs},
    {DC_FILEDEPENDENCIES, "DC_FILEDEPENDENCIES", Shape::Number},
    {DC_TRUETYPE, "DC_TRUETYPE", Shape::Hex},
    {DC_PAPERNAMES, "DC_PAPERNAMES", Shape::Names64},
    {DC_ORIENTATION, "DC_ORIENTATION", Shape::Number},
    {DC_COPIES, "DC_COPIES", Shape::Number},
    {DC_BINADJUST, "DC_BINADJUST", Shape::Number},
    {DC_EMF_COMPLIANT, "DC_EMF_COMPLIANT", Shape::Number},
    {DC_DATATYPE_PRODUCED, "DC_DATATYPE_PRODUCED", Shape::Number},
    {DC_COLLATE, "DC_COLLATE", Shape::Number},
    {DC_MANUFACTURER, "DC_MANUFACTURER", Shape::Number},
    {DC_MODEL, "DC_MODEL", Shape::Number},
    {DC_PERSONALITY, "DC_PERSONALITY", Shape::Names32},
    {DC_PRINTRATE, "DC_PRINTRATE", Shape::Number},
    {DC_PRINTRATEUNIT, "DC_PRINTRATEUNIT", Shape::Number},
    {DC_PRINTERMEM, "DC_PRINTERMEM", Shape::Number},
    {DC_MEDIAREADY, "DC_MEDIAREADY", Shape::Names64},
    {DC_STAPLE, "DC_STAPLE", Shape::Number},
    {DC_PRINTRATEPPM, "DC_PRINTRATEPPM", Shape::Number},
    {DC_COLORDEVICE, "DC_COLORDEVICE", Shape::Number},
    {DC_NUP, "DC_NUP", Shape::Dwords},
    {DC_MEDIATYPENAMES, "DC_MEDIATYPENAMES", Shape::Names64},
    {DC_MEDIATYPES, "DC_MEDIATYPES", Shape::Dwords},
};

// Bytes one entry of a list answer takes.
size_t EntrySize(Shape shape) {
    switch (shape) {
    case Shape::Words:
        return sizeof(WORD);
    case Shape::Dwords:
        return sizeof(DWORD);
    case Shape::Points:
    case Shape::Pairs:
        return 2 * sizeof(LONG);
    case Shape::Names64:
        return 64 * sizeof(WCHAR);
    case Shape::Names24:
        return 24 * sizeof(WCHAR);
    case Shape::Names32:
        return 32 * sizeof(WCHAR);
    default:
        return 0;
    }
}

std::string Name(const WCHAR* slot, size_t chars) {
    std::u16string text;
    for (size_t i = 0; i < chars && slot[i]; ++i)
        text += slot[i];
    return "\"" + platform::ToUtf8(text) + "\"";
}

std::string Entry(Shape shape, const BYTE* at) {
    LONG pair[2];
    switch (shape) {
    case Shape::Words:
        return std::to_string(*reinterpret_cast<const WORD*>(at));
    case Shape::Dwords:
        return std::to_string(*reinterpret_cast<const DWORD*>(at));
    case Shape::Points:
    case Shape::Pairs:
        std::memcpy(pair, at, sizeof pair);
        return std::to_string(pair[0]) + (shape == Shape::Points ? "x" : "/") +
               std::to_string(pair[1]);
    case Shape::Names64:
        return Name(reinterpret_cast<const WCHAR*>(at), 64);
    case Shape::Names24:
        return Name(reinterpret_cast<const WCHAR*>(at), 24);
    default:
        return Name(reinterpret_cast<const WCHAR*>(at), 32);
    }
}

int Run(const Args& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "printhost capabilities: give the printer's name\n");
        return 2;
    }
    std::u16string printer = platform::FromUtf8(args[0]);
    HANDLE h = nullptr;
    if (!OpenPrinterW(printer.data(), &h, nullptr)) {
        std::fprintf(stderr, "printhost capabilities: no printer '%s'\n", args[0].c_str());
        return 1;
    }
    ClosePrinter(h);
    for (const auto& c : kCapabilities) {
        DWORD answer = DeviceCapabilitiesW(printer.c_str(), nullptr, c.index, nullptr, nullptr);
        std::printf("%-22s %2u: ", c.name, c.index);
        if (answer == GDI_ERROR) {
            std::printf("not supported\n");
            continue;
        }
        size_t entry = EntrySize(c.shape);
        if (c.shape == Shape::Hex) {
            std::printf("0x%08x\n", static_cast<unsigned>(answer));
        } else if (entry == 0) {
            std::printf("%u\n", static_cast<unsigned>(answer));
        } else {
            // A list: asked again with room for the entries it announced
            // (the personality is one name whatever the answer says).
            size_t count = c.shape == Shape::Names32 ? 1 : answer;
            std::vector<BYTE> list(count * entry + entry, 0);
            DWORD got = DeviceCapabilitiesW(printer.c_str(), nullptr, c.index,
                                            reinterpret_cast<LPWSTR>(list.data()), nullptr);
            if (c.shape != Shape::Names32) {
                count = got == GDI_ERROR ? 0 : std::min<size_t>(got, count);
                std::printf("%zu", count);
            }
            for (size_t i = 0; i < count; ++i)
                std::printf("%s%s", i == 0 && c.shape == Shape::Names32 ? "" : " ",
                            Entry(c.shape, list.data() + i * entry).c_str());
            std::printf("\n");
        }
    }
    return 0;
}

Command cmd{"capabilities", "PRINTER",
            "list the device capabilities a printer's interface library answers", Run};

} // namespace
} // namespace printhost
