// printhost devmode: a printer's device mode as the UI library revises it,
// field by field (the standard part and the driver's private block), and the
// revision of a device mode with some fields changed.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "command.h"
#include "devmode_image.h"
#include "driver_env.h"
#include "platform/text.h"
#include "ui/sheetwright.h"
#include "win/base.h"
#include "win/spool.h"

namespace printhost {
namespace {

using namespace sheetwright;

// Size words say how big the record is: shown, never set, since the image
// is a fixed buffer that every store reads by them.
enum class Kind { Number, Signed, Text, WideText, Bytes, Size };

struct Field {
    const char* name;
    size_t offset; // in the 1320-byte image
    size_t size;
    Kind kind;
};

#define STD(f, k)                                                                                  \
    { #f, offsetof(DEVMODE_IMAGEW, dm) + offsetof(DEVMODEW, f), sizeof(DEVMODEW::f), k }
#define PRV(f, k)                                                                                  \
    {                                                                                              \
#f, offsetof(DEVMODE_IMAGEW, priv) + offsetof(PRIVATE_DEVMODE, f),                         \
            sizeof(PRIVATE_DEVMODE::f), k                                                          \
    }

const Field kFields[] = {
    STD(dmDeviceName, Kind::WideText),
    STD(dmSpecVersion, Kind::Number),
    STD(dmDriverVersion, Kind::Number),
    STD(dmSize, Kind::Size),
    STD(dmDriverExtra, Kind::Size),
    STD(dmFields, Kind::Number),
    STD(dmOrientation, Kind::Signed),
    STD(dmPaperSize, Kind::Signed),
    STD(dmPaperLength, Kind::Signed),
    STD(dmPaperWidth, Kind::Signed),
    STD(dmScale, Kind::Signed),
    STD(dmCopies, Kind::Signed),
    STD(dmDefaultSource, Kind::Signed),
    STD(dmPrintQuality, Kind::Signed),
    STD(dmColor, Kind::Signed),
    STD(dmDuplex, Kind::Signed),
    STD(dmYResolution, Kind::Signed),
    STD(dmTTOption, Kind::Signed),
    STD(dmCollate, Kind::Signed),
    STD(dmFormName, Kind::WideText),
    STD(dmLogPixels, Kind::Number),
    STD(dmBitsPerPel, Kind::Number),
    STD(dmPelsWidth, Kind::Number),
    STD(dmPelsHeight, Kind::Number),
    STD(dmNup, Kind::Number),
    STD(dmDisplayFrequency, Kind::Number),
    STD(dmICMMethod, Kind::Number),
    STD(dmICMIntent, Kind::Number),
    STD(dmMediaType, Kind::Number),
    STD(dmDitherType, Kind::Number),
    PRV(Signature, Kind::Number),
    PRV(Version, Kind::Number),
    PRV(JobStateBits, Kind::Number),
    PRV(PrivateFlags, Kind::Number),
    PRV(FeatureFlags, Kind::Number),
    PRV(JobCheckFlags, Kind::Number),
    PRV(ReservedFeatures, Kind::Number),
    PRV(OptionFlags, Kind::Number),
    PRV(TotalSheets, Kind::Number),
    PRV(DuplexMarginFlags, Kind::Number),
    PRV(EmfMode, Kind::Number),
    PRV(AlternateSourceOn, Kind::Number),
    PRV(AlternateSource, Kind::Signed),
    PRV(AlternateMediaType, Kind::Number),
    PRV(OutputPaperId, Kind::Number),
    PRV(OutputPaperWidth, Kind::Signed),
    PRV(OutputPaperLength, Kind::Signed),
    PRV(Rotate180, Kind::Number),
    PRV(MeasureFlags, Kind::Number),
    PRV(ResolutionCopy, Kind::Signed),
    PRV(DuplexType, Kind::Number),
    PRV(DuplexMargin, Kind::Number),
    PRV(ReverseOrder, Kind::Number),
    PRV(MirrorImage, Kind::Number),
    PRV(MetafileSpoolingOff, Kind::Number),
    PRV(SkipBlankPages, Kind::Number),
    PRV(CollateByDriver, Kind::Number),
    PRV(StapleMode, Kind::Number),
    PRV(OutputBin, Kind::Number),
    PRV(PunchMode, Kind::Number),
    PRV(SortMode, Kind::Number),
    PRV(CoverFlags, Kind::Number),
    PRV(FrontCoverPrinted, Kind::Number),
    PRV(FrontCoverSource, Kind::Number),
    PRV(BackCoverPrinted, Kind::Number),
    PRV(BackCoverSource, Kind::Number),
    PRV(FrontCoverMedia, Kind::Number),
    PRV(BackCoverMedia, Kind::Number),
    PRV(JobType, Kind::Number),
    PRV(DeptCounterFlags, Kind::Number),
    PRV(JobTypeOptions, Kind::Number),
    PRV(DeptCode, Kind::Text),
    PRV(MailboxId, Kind::Text),
    PRV(SecureBoxId, Kind::Text),
    PRV(SecurePassword, Kind::Text),
    PRV(LayoutKind, Kind::Number),
    PRV(LengthUnitDpi, Kind::Number),
    PRV(PagesPerSheet, Kind::Number),
    PRV(PageOrder, Kind::Number),
    PRV(PageBorders, Kind::Number),
    PRV(BorderWidth, Kind::Number),
    PRV(BookletKind, Kind::Number),
    PRV(BookletSheets, Kind::Number),
    PRV(BindingMargin, Kind::Number),
    PRV(ZoomPercent, Kind::Signed),
    PRV(ZoomAnchor, Kind::Number),
    PRV(FitMode, Kind::Number),
    PRV(PosterGrid, Kind::Bytes),
    PRV(PosterOverlap, Kind::Number),
    PRV(NupRotation, Kind::Number),
    PRV(BookletRotation, Kind::Number),
    PRV(ColorMode, Kind::Number),
    PRV(ColorAdjustOption, Kind::Number),
    PRV(ColorMatching, Kind::Number),
    PRV(ColorModeAlt, Kind::Number),
    PRV(ColorAdjustValues, Kind::Bytes),
    PRV(Density, Kind::Number),
    PRV(TextAsBlack, Kind::Number),
    PRV(ThresholdLevel, Kind::Number),
    PRV(ResolutionCode, Kind::Number),
    PRV(FontMode, Kind::Number),
    PRV(TonerSaveLevel, Kind::Number),
    PRV(QualityMode, Kind::Number),
    PRV(ImageReduction, Kind::Number),
    PRV(GraphicsMode, Kind::Number),
    PRV(HalftoneKind, Kind::Number),
    PRV(FinePatterns, Kind::Number),
    PRV(OverlayFlags, Kind::Number),
    PRV(OverlayPages, Kind::Number),
    PRV(OverlayOnTop, Kind::Number),
    PRV(OverlayMakeName, Kind::Text),
    PRV(OverlayUseName, Kind::Text),
    PRV(WatermarkFlags, Kind::Number),
    PRV(WatermarkRecord, Kind::Bytes),
    PRV(HardDiskValue, Kind::Number),
    PRV(MemoryValue, Kind::Number),
    PRV(ManualDuplexOffered, Kind::Number),
    PRV(FinisherId, Kind::Number),
    PRV(InstalledTrayOffset, Kind::Number),
    PRV(AutoTrayResolve, Kind::Number),
    PRV(ProfileName, Kind::Text),
    PRV(JobSetupOption, Kind::Number),
    PRV(JobSetupKind, Kind::Number),
    PRV(PriorPrintOn, Kind::Number),
    PRV(DuplexNotice, Kind::Number),
    PRV(OwnerUserName, Kind::Text),
    PRV(OwnerComputerName, Kind::Text),
    PRV(OwnerInstalledTime, Kind::Bytes),
    PRV(SavePersonalInfo, Kind::Number),
    PRV(JobInfoFlags, Kind::Number),
    PRV(JobName, Kind::Text),
    PRV(UserName, Kind::Text),
    PRV(PjlItem32Off, Kind::Number),
};
#undef STD
#undef PRV

const Field* FindField(const std::string& name) {
    for (const Field& f : kFields)
        if (name == f.name) return &f;
    return nullptr;
}

unsigned long long ReadNumber(const BYTE* at, size_t size) {
    unsigned long long v = 0;
    std::memcpy(&v, at, std::min<size_t>(size, sizeof v));
    return v;
}

std::string Show(const DEVMODE_IMAGEW& image, const Field& f) {
    const BYTE* at = reinterpret_cast<const BYTE*>(&image) + f.offset;
    char text[64];
    switch (f.kind) {
    case Kind::Size:
    case Kind::Number: {
        unsigned long long v = ReadNumber(at, f.size);
        std::snprintf(text, sizeof text, "%llu (0x%llx)", v, v);
        return text;
    }
    case Kind::Signed: {
        long long v = static_cast<long long>(ReadNumber(at, f.size));
        if (f.size == 2) v = static_cast<SHORT>(v);
        std::snprintf(text, sizeof text, "%lld", v);
        return text;
    }
    case Kind::Text:
        return "\"" +
               std::string(reinterpret_cast<const char*>(at),
                           strnlen(reinterpret_cast<const char*>(at), f.size)) +
               "\"";
    case Kind::WideText: {
        std::u16string s(f.size / 2, u'\0');
        std::memcpy(s.data(), at, f.size);
        return "\"" + platform::ToUtf8(s.substr(0, s.find(u'\0'))) + "\"";
    }
    case Kind::Bytes: {
        std::string out;
        size_t last = f.size;
        while (last > 0 && at[last - 1] == 0)
            --last;
        for (size_t i = 0; i < last; ++i) {
            std::snprintf(text, sizeof text, "%s%02x", i ? " " : "", at[i]);
            out += text;
        }
        return last ? out : "(zero)";
    }
    }
    return "";
}

// The values a number field holds: its width, signed or not.
void FieldRange(const Field& f, long long* low, long long* high) {
    const int bits = static_cast<int>(std::min<size_t>(f.size, 4) * 8);
    if (f.kind == Kind::Signed) {
        *low = -(1LL << (bits - 1));
        *high = (1LL << (bits - 1)) - 1;
    } else {
        *low = 0;
        *high = (1LL << bits) - 1;
    }
}

bool Set(DEVMODE_IMAGEW* image, const std::string& assignment) {
    size_t eq = assignment.find('=');
    const Field* f = eq == std::string::npos ? nullptr : FindField(assignment.substr(0, eq));
    if (!f) {
        std::fprintf(stderr, "printhost devmode: unknown field in '%s'\n", assignment.c_str());
        return false;
    }
    const std::string value = assignment.substr(eq + 1);
    BYTE* at = reinterpret_cast<BYTE*>(image) + f->offset;
    if (f->kind == Kind::Text) {
        if (value.size() >= f->size) {
            std::fprintf(stderr, "printhost devmode: %s holds at most %zu characters, not %zu\n",
                         f->name, f->size - 1, value.size());
            return false;
        }
        std::memset(at, 0, f->size);
        std::memcpy(at, value.data(), value.size());
        return true;
    }
    if (f->kind == Kind::Size) {
        std::fprintf(stderr, "printhost devmode: %s is the record's size and is not set by hand\n",
                     f->name);
        return false;
    }
    if (f->kind != Kind::Number && f->kind != Kind::Signed) {
        std::fprintf(stderr, "printhost devmode: %s is not set from the command line\n", f->name);
        return false;
    }
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(value.c_str(), &end, 0);
    if (value.empty() || *end) {
        std::fprintf(stderr, "printhost devmode: '%s' is not a number\n", value.c_str());
        return false;
    }
    long long low = 0, high = 0;
    FieldRange(*f, &low, &high);
    if (errno == ERANGE || v < low || v > high) {
        std::fprintf(stderr, "printhost devmode: %s takes %lld to %lld, not %s\n", f->name, low,
                     high, value.c_str());
        return false;
    }
    std::memcpy(at, &v, std::min(f->size, sizeof v));
    return true;
}

// Whether the image's size words describe exactly the buffer that holds it:
// the UI library and the spooler read and write as far as they say.
bool FitsImage(const DEVMODE_IMAGEW& image) {
    return image.dm.dmSize == DEVMODEW_SIZE && image.dm.dmDriverExtra == PRIVATE_DEVMODE_SIZE &&
           static_cast<size_t>(image.dm.dmSize) + image.dm.dmDriverExtra <= sizeof image;
}

int Run(const Args& args) {
    if (args.empty()) {
        std::fprintf(stderr, "printhost devmode: give a printer name\n");
        return 2;
    }
    std::vector<std::string> sets;
    bool store = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--set" && i + 1 < args.size()) {
            sets.push_back(args[++i]);
        } else if (args[i] == "--store") {
            store = true;
        } else {
            std::fprintf(stderr, "printhost devmode: unexpected '%s'\n", args[i].c_str());
            return 2;
        }
    }
    std::u16string name = platform::FromUtf8(args[0]);
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(name.data(), &printer, store ? &access : nullptr)) {
        std::fprintf(stderr, "printhost devmode: no printer '%s'\n", args[0].c_str());
        return 1;
    }
    int status = 1;
    LPVOID data = LoadDriverDataFile(printer);
    HMODULE library = data ? LoadDriverModule(printer, data, kSelectSheetwright) : nullptr;
    auto revise = library ? reinterpret_cast<PFN_uiReviseDevmodeEx>(reinterpret_cast<void (*)()>(
                                GetProcAddress(library, "uiReviseDevmodeEx")))
                          : nullptr;
    auto image = std::make_unique<DEVMODE_IMAGEW>();
    if (!data) {
        std::fprintf(stderr, "printhost devmode: the printer's model data cannot be read\n");
    } else if (!revise) {
        std::fprintf(stderr, "printhost devmode: the printer's UI library is missing\n");
    } else {
        // The printer's own device mode, or the model's defaults.
        const bool stored = ReadPrinterInfo2(printer, image.get()) &&
                            image->priv.Signature == PRIVATE_DEVMODE_SIGNATURE;
        DWORD result = 0;
        if (!stored) {
            std::memset(image.get(), 0, sizeof *image);
            StampDevmodeHeader(image.get());
            result = revise(printer, data, nullptr, &image->dm, 1);
        }
        bool ok = result == 0;
        for (const std::string& s : sets)
            ok = ok && Set(image.get(), s);
        if (ok && !FitsImage(*image)) {
            std::fprintf(stderr, "printhost devmode: the device mode's sizes do not fit its "
                                 "buffer\n");
            ok = false;
        }
        const DEVMODE_IMAGEW asked = *image;
        if (ok) {
            auto old = std::make_unique<DEVMODE_IMAGEW>(*image);
            result = revise(printer, data, &old->dm, &image->dm, 2);
        }
        if (!ok || result != 0) {
            if (result)
                std::fprintf(stderr, "printhost devmode: revision failed (%lu)\n",
                             static_cast<unsigned long>(result));
        } else {
            std::printf("%s device mode of %s, revised\n", stored ? "stored" : "default",
                        args[0].c_str());
            for (const Field& f : kFields) {
                const bool moved =
                    !sets.empty() &&
                    std::memcmp(reinterpret_cast<const BYTE*>(&asked) + f.offset,
                                reinterpret_cast<const BYTE*>(image.get()) + f.offset, f.size) != 0;
                std::printf("%-8s %-22s %s%s\n", f.offset < DEVMODEW_SIZE ? "public" : "private",
                            f.name, Show(*image, f).c_str(),
                            moved ? ("   (was " + Show(asked, f) + ")").c_str() : "");
            }
            status = 0;
            // Stored as the printer's default device mode, as the device page's OK does.
            if (store && !RewritePrinterInfo2(printer, &image->dm)) {
                std::fprintf(stderr, "printhost devmode: the device mode could not be stored\n");
                status = 1;
            } else if (store) {
                std::printf("stored as the default device mode of %s\n", args[0].c_str());
            }
        }
    }
    if (library) FreeLibrary(library);
    if (data) GlobalFree(data);
    ClosePrinter(printer);
    return status;
}

Command cmd{"devmode", "PRINTER [--set FIELD=VALUE ...] [--store]",
            "show the printer's device mode as revised, field by field; --store keeps it", Run};

} // namespace
} // namespace printhost
