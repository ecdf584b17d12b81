// mdReviseDevmode: type 1 fills a device mode with the model's defaults,
// type 2 carries an old or foreign device mode over into the current layout.
// Both work on a copy and write the caller's device mode only on success.
#include <initializer_list>
#include <new>

#include "devmode_access.h"
#include "model/model_queries.h"
#include "model/modelsmith.h"
#include "win/errors.h"
#include "win/memory.h"

namespace model {
namespace {

constexpr std::size_t kMinStandard = DM_OFFSET(dmFields) + 4;

bool ValidExtra(std::size_t extra) {
    return extra == PRIVATE_DEVMODE_SIZE || extra == PRIVATE_DEVMODE_SIZE_908;
}

// The sizes a device mode states, checked against the buffer that holds it.
bool StatedSizes(const void* dm, std::size_t bufferSize, std::size_t* dmSize, std::size_t* extra) {
    if (bufferSize < kMinStandard) return false;
    WORD size, driverExtra;
    std::memcpy(&size, static_cast<const std::uint8_t*>(dm) + DM_OFFSET(dmSize), 2);
    std::memcpy(&driverExtra, static_cast<const std::uint8_t*>(dm) + DM_OFFSET(dmDriverExtra), 2);
    *dmSize = size;
    *extra = driverExtra;
    return size >= kMinStandard && size <= DEVMODEA_SIZE &&
           std::size_t{size} + driverExtra <= bufferSize;
}

// The new device mode must hold at least the standard part of spec version
// 0x320, so that every field the defaults write lies inside it.
bool NewSizesValid(std::size_t dmSize, std::size_t extra) {
    return dmSize >= DEVMODEA_SIZE_320 && dmSize <= DEVMODEA_SIZE && ValidExtra(extra);
}

bool InRange(int v, int lo, int hi) {
    return v >= lo && v <= hi;
}

// A zero-initialised global block that is freed on every path.
class GlobalBlock {
  public:
    explicit GlobalBlock(std::size_t size) : h_(GlobalAlloc(GPTR, size)) {}
    ~GlobalBlock() {
        if (h_) GlobalFree(h_);
    }
    std::uint8_t* get() const { return static_cast<std::uint8_t*>(h_); }

  private:
    HGLOBAL h_;
};

void MergeStandard(const ModelAsk& m, const DevmodeBytes& old, DevmodeBytes& dm,
                   const DevmodeBytes& def) {
    std::uint32_t oldFields = old.Fields();
    std::uint32_t fields = dm.Fields();
    auto pick16 = [&](std::size_t off, std::uint32_t flag, auto valid) {
        if (!(oldFields & flag)) return;
        int v = old.StdShort(off);
        dm.SetStd(off, 2, static_cast<std::uint16_t>(valid(v) ? v : def.StdShort(off)));
        fields |= flag;
    };

    pick16(DM_OFFSET(dmOrientation), DM_ORIENTATION, [](int v) { return v == 1 || v == 2; });

    if (oldFields & (DM_PAPERSIZE | DM_FORMNAME)) {
        int paper = old.StdShort(DM_OFFSET(dmPaperSize));
        int width = old.StdShort(DM_OFFSET(dmPaperWidth)),
            length = old.StdShort(DM_OFFSET(dmPaperLength));
        int c = 0;
        if ((oldFields & DM_PAPERLENGTH) && (oldFields & DM_PAPERWIDTH) && width > 0 &&
            length > 0) {
            c = CheckPaperEntry(m, paper, width, length);
        } else if (oldFields & DM_PAPERSIZE) {
            c = CheckPaperEntry(m, paper, 0, 0);
            if (c == 0) c = CheckPaperEntry(m, paper, width, length);
        }
        if (c == 2) {
            dm.SetStd(DM_OFFSET(dmPaperSize), 2, static_cast<std::uint16_t>(paper));
            dm.SetStd(DM_OFFSET(dmPaperWidth), 2, static_cast<std::uint16_t>(width));
            dm.SetStd(DM_OFFSET(dmPaperLength), 2, static_cast<std::uint16_t>(length));
            fields |= DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH;
            fields &= ~DM_FORMNAME;
        } else {
            int chosen = c == 1 ? paper : def.StdShort(DM_OFFSET(dmPaperSize));
            dm.SetStd(DM_OFFSET(dmPaperSize), 2, static_cast<std::uint16_t>(chosen));
            std::int16_t w = 0, l = 0;
            GetPaperDimensions(m, chosen, &w, &l);
            dm.SetStd(DM_OFFSET(dmPaperWidth), 2, static_cast<std::uint16_t>(w));
            dm.SetStd(DM_OFFSET(dmPaperLength), 2, static_cast<std::uint16_t>(l));
            fields |= DM_PAPERSIZE;
            fields &= ~(DM_PAPERLENGTH | DM_PAPERWIDTH | DM_FORMNAME);
        }
    }

    pick16(DM_OFFSET(dmScale), DM_SCALE, [](int v) { return InRange(v, 1, 1000); });

    if (oldFields & DM_COPIES) {
        std::uint8_t copies[4];
        int v = old.StdShort(DM_OFFSET(dmCopies));
        if (m.Get(kQueryCopies, 0, 1, copies, sizeof copies) != 0) {
            dm.SetStd(DM_OFFSET(dmCopies), 2, 1);
        } else {
            std::int16_t most;
            std::memcpy(&most, copies, 2);
            dm.SetStd(DM_OFFSET(dmCopies), 2,
                      static_cast<std::uint16_t>(
                          InRange(v, 1, most) ? v : def.StdShort(DM_OFFSET(dmCopies))));
        }
        fields |= DM_COPIES;
    }

    pick16(DM_OFFSET(dmDefaultSource), DM_DEFAULTSOURCE,
           [&](int v) { return CheckSourceEntry(m, v); });

    if (oldFields & DM_PRINTQUALITY) {
        int mode = old.PrivShort(PRIV_OFFSET(ResolutionCode));
        bool taken = false;
        if (InRange(mode, 1, 4)) {
            std::uint8_t quality[32], resolution[16];
            std::uint32_t x = 0, y = 0;
            if (m.Get(kQueryQualityModes, mode, 1, quality, sizeof quality) == 0) {
                std::memcpy(&x, quality + 4, 4);
                std::memcpy(&y, quality + 8, 4);
                taken = true;
            } else if (m.Get(kQueryResolutions, mode, 2, resolution, sizeof resolution) == 0) {
                std::memcpy(&x, resolution + 4, 4);
                std::memcpy(&y, resolution + 8, 4);
                taken = true;
            }
            if (taken) {
                dm.SetPriv(PRIV_OFFSET(ResolutionCode), 2, static_cast<std::uint32_t>(mode));
                dm.SetStd(DM_OFFSET(dmPrintQuality), 2, x);
                dm.SetStd(DM_OFFSET(dmYResolution), 2, y);
                if (dm.Old908() && x == y)
                    fields &= ~DM_YRESOLUTION;
                else
                    fields |= DM_YRESOLUTION;
            }
        }
        if (!taken) {
            dm.SetStd(DM_OFFSET(dmPrintQuality), 2, def.Std(DM_OFFSET(dmPrintQuality), 2));
            dm.SetStd(DM_OFFSET(dmYResolution), 2, def.Std(DM_OFFSET(dmYResolution), 2));
            dm.SetPriv(PRIV_OFFSET(ResolutionCode), 2, def.Priv(PRIV_OFFSET(ResolutionCode), 2));
            fields = (fields & ~DM_YRESOLUTION) | (def.Fields() & DM_YRESOLUTION);
        }
        fields |= DM_PRINTQUALITY;
    }

    pick16(DM_OFFSET(dmColor), DM_COLOR, [](int v) { return v == 1 || v == 2; });
    pick16(DM_OFFSET(dmDuplex), DM_DUPLEX, [](int v) { return InRange(v, 1, 3); });
    pick16(DM_OFFSET(dmTTOption), DM_TTOPTION, [](int) { return true; });
    pick16(DM_OFFSET(dmCollate), DM_COLLATE, [](int v) { return v == 0 || v == 1; });

    if (oldFields & DM_LOGPIXELS) {
        dm.SetStd(DM_OFFSET(dmLogPixels), 2, dm.Std(DM_OFFSET(dmPrintQuality), 2));
        fields |= DM_LOGPIXELS;
    }
    struct Copied {
        std::uint32_t flag;
        std::size_t off;
    };
    for (const Copied& c : {Copied{DM_BITSPERPEL, DM_OFFSET(dmBitsPerPel)},
                            Copied{DM_PELSWIDTH, DM_OFFSET(dmPelsWidth)},
                            Copied{DM_PELSHEIGHT, DM_OFFSET(dmPelsHeight)},
                            Copied{DM_DISPLAYFLAGS, DM_OFFSET(dmDisplayFlags)},
                            Copied{DM_DISPLAYFREQUENCY, DM_OFFSET(dmDisplayFrequency)}}) {
        if (!(oldFields & c.flag) || !old.Reaches(c.off, 4)) continue;
        dm.SetStd(c.off, 4, old.Std(c.off, 4));
        fields |= c.flag;
    }

    // Fields of spec version 0x400: only when both device modes hold them.
    auto pick32 = [&](std::size_t off, std::uint32_t flag, auto valid) {
        if (!(oldFields & flag) || !old.Reaches(off, 4) || !dm.Reaches(off, 4)) return;
        std::uint32_t v = old.Std(off, 4);
        dm.SetStd(off, 4, valid(v) ? v : def.Std(off, 4));
        fields |= flag;
    };
    pick32(DM_OFFSET(dmICMMethod), DM_ICMMETHOD, [](std::uint32_t v) { return v == 1 || v == 2; });
    pick32(DM_OFFSET(dmICMIntent), DM_ICMINTENT,
           [](std::uint32_t v) { return (v >= 1 && v <= 3) || (v == 4 && !IsWindows95()); });
    pick32(DM_OFFSET(dmMediaType), DM_MEDIATYPE,
           [&](std::uint32_t v) { return CheckTable22Entry(m, v); });
    pick32(DM_OFFSET(dmDitherType), DM_DITHERTYPE,
           [](std::uint32_t v) { return (v >= 1 && v <= 5) || v == 10 || v >= 256; });
    dm.SetFields(fields);
}

void MergePrivate(const ModelAsk& m, DevmodeBytes& dm, const DevmodeBytes& def) {
    // The feature words are the model's; every check below reads them, so a
    // feature the model has is always checked.
    for (std::size_t off = PRIV_OFFSET(PrivateFlags); off < PRIV_OFFSET(TotalSheets); off += 4)
        dm.SetPriv(off, 4, def.Priv(off, 4));
    std::uint32_t A = dm.Priv(PRIV_OFFSET(PrivateFlags), 4);
    std::uint32_t B = dm.Priv(PRIV_OFFSET(FeatureFlags), 4);
    std::uint32_t C = dm.Priv(PRIV_OFFSET(JobCheckFlags), 4);
    auto keep16 = [&](std::size_t off, bool valid) {
        if (!valid) dm.SetPriv(off, 2, def.Priv(off, 2));
    };
    auto w = [&](std::size_t off) { return static_cast<int>(dm.PrivShort(off)); };
    auto u = [&](std::size_t off) { return static_cast<int>(dm.Priv(off, 2)); };

    if ((A & feature::kAAlternateSource) && !CheckSourceEntry(m, w(PRIV_OFFSET(AlternateSource))))
        dm.SetPriv(PRIV_OFFSET(AlternateSource), 2, def.Priv(PRIV_OFFSET(AlternateSource), 2));
    if ((A & feature::kAAlternateMedia) &&
        !CheckTable22Entry(m, dm.Priv(PRIV_OFFSET(AlternateMediaType), 4)))
        dm.SetPriv(PRIV_OFFSET(AlternateMediaType), 4,
                   def.Priv(PRIV_OFFSET(AlternateMediaType), 4));

    // Output paper.
    std::size_t paperAt = PRIV_OFFSET(OutputPaperId), widthAt = PRIV_OFFSET(OutputPaperWidth),
                lengthAt = PRIV_OFFSET(OutputPaperLength);
    std::uint32_t fields = dm.Fields();
    if (u(paperAt) == 0) {
        A &= ~feature::kAOutputPaperSize;
        dm.SetPriv(widthAt, 2, 0);
        dm.SetPriv(lengthAt, 2, 0);
    } else if (u(PRIV_OFFSET(LayoutKind)) != 0) {
        int c = CheckPaperEntry(m, u(paperAt), w(widthAt), w(lengthAt));
        if (c == 2) {
            A |= feature::kAOutputPaperSize;
        } else {
            A &= ~feature::kAOutputPaperSize;
            dm.SetPriv(widthAt, 2, 0);
            dm.SetPriv(lengthAt, 2, 0);
            if (c == 0) dm.SetPriv(paperAt, 2, 0);
        }
    } else if (fields & DM_PAPERLENGTH) {
        A |= feature::kAOutputPaperSize;
        dm.SetPriv(paperAt, 2, dm.Std(DM_OFFSET(dmPaperSize), 2));
        dm.SetPriv(widthAt, 2, dm.Std(DM_OFFSET(dmPaperWidth), 2));
        dm.SetPriv(lengthAt, 2, dm.Std(DM_OFFSET(dmPaperLength), 2));
    } else {
        A &= ~feature::kAOutputPaperSize;
        dm.SetPriv(paperAt, 2, dm.Std(DM_OFFSET(dmPaperSize), 2));
        dm.SetPriv(widthAt, 2, 0);
        dm.SetPriv(lengthAt, 2, 0);
    }
    dm.SetPriv(PRIV_OFFSET(PrivateFlags), 4, A);

    dm.SetPriv(PRIV_OFFSET(MeasureFlags), 2, def.Priv(PRIV_OFFSET(MeasureFlags), 2));
    if (u(PRIV_OFFSET(ResolutionCopy)) == 0)
        dm.SetPriv(PRIV_OFFSET(ResolutionCopy), 2, dm.Std(DM_OFFSET(dmPrintQuality), 2));

    if (A & feature::kAFeature79Option)
        keep16(PRIV_OFFSET(Reserved74), InRange(u(PRIV_OFFSET(Reserved74)), 0, 1));
    if (A & feature::kADuplexType)
        keep16(PRIV_OFFSET(DuplexType), InRange(u(PRIV_OFFSET(DuplexType)), 0, 1));
    if (A & feature::kAReverseOrder)
        keep16(PRIV_OFFSET(ReverseOrder), InRange(u(PRIV_OFFSET(ReverseOrder)), 0, 1));
    if (A & feature::kAMirror)
        keep16(PRIV_OFFSET(MirrorImage), InRange(u(PRIV_OFFSET(MirrorImage)), 0, 2));
    if (A & feature::kAStaple)
        keep16(PRIV_OFFSET(StapleMode), InRange(u(PRIV_OFFSET(StapleMode)), 0, 6));
    if (A & feature::kAOutputBins) {
        int v = u(PRIV_OFFSET(OutputBin));
        bool ok = false;
        for (int allowed : {0, 1, 2, 257, 258, 513, 514, 769, 770, 771})
            ok = ok || v == allowed;
        keep16(PRIV_OFFSET(OutputBin), ok);
    }
    if (A & feature::kAPunch)
        keep16(PRIV_OFFSET(PunchMode), InRange(u(PRIV_OFFSET(PunchMode)), 0, 3));
    if (A & feature::kASortKinds)
        keep16(PRIV_OFFSET(SortMode), InRange(u(PRIV_OFFSET(SortMode)), 0, 5));

    {
        int v = u(PRIV_OFFSET(LayoutKind));
        keep16(PRIV_OFFSET(LayoutKind), v == 0 || v == 1 || v == 2 || v == 4 || v == 8 || v == 16);
    }
    if (u(PRIV_OFFSET(LengthUnitDpi)) == 0)
        dm.SetPriv(PRIV_OFFSET(LengthUnitDpi), 2, dm.Std(DM_OFFSET(dmPrintQuality), 2));

    if (B & feature::kBPageLayout) {
        keep16(PRIV_OFFSET(PageOrder), InRange(u(PRIV_OFFSET(PageOrder)), 0, 3));
        keep16(PRIV_OFFSET(PageBorders), InRange(u(PRIV_OFFSET(PageBorders)), 0, 2));
    }
    if (B & feature::kBBooklet)
        keep16(PRIV_OFFSET(BookletKind), InRange(u(PRIV_OFFSET(BookletKind)), 0, 2));
    if (B & feature::kBZoom) {
        int smallest = 25, largest = 400;
        std::uint8_t zoom[8];
        if (m.Get(kQueryZoom, 0, 1, zoom, sizeof zoom) == 0 && (zoom[0] & 1)) {
            std::int16_t lo, hi;
            std::memcpy(&lo, zoom + 4, 2);
            std::memcpy(&hi, zoom + 6, 2);
            if (lo >= 1 && lo < hi) {
                smallest = lo;
                largest = hi;
            }
        }
        keep16(PRIV_OFFSET(ZoomPercent), InRange(w(PRIV_OFFSET(ZoomPercent)), smallest, largest));
        keep16(PRIV_OFFSET(ZoomAnchor), (u(PRIV_OFFSET(ZoomAnchor)) & 0xF) <= 8);
    }
    if (B & feature::kBColorMatching) {
        keep16(PRIV_OFFSET(ColorMatching), InRange(u(PRIV_OFFSET(ColorMatching)), 0, 3));
        if (u(PRIV_OFFSET(ColorMatching)) != 3 && (dm.Fields() & DM_ICMMETHOD) &&
            dm.Reaches(DM_OFFSET(dmICMMethod), 4))
            dm.SetStd(DM_OFFSET(dmICMMethod), 4, 1);
    }
    if (B & feature::kBDensity) {
        int smallest = 1, largest = 5;
        std::uint8_t density[8];
        if (m.Bit(kQueryDensity, 0) && m.Get(kQueryDensity, 0, 2, density, sizeof density) == 0) {
            std::int16_t lo, hi;
            std::memcpy(&lo, density, 2);
            std::memcpy(&hi, density + 2, 2);
            if (lo >= 1 && lo < hi) {
                smallest = lo;
                largest = hi;
            }
        }
        keep16(PRIV_OFFSET(Density), InRange(u(PRIV_OFFSET(Density)), smallest, largest));
    }
    if (B & feature::kBTextAsBlack)
        keep16(PRIV_OFFSET(TextAsBlack), InRange(u(PRIV_OFFSET(TextAsBlack)), 0, 1));
    if ((B & feature::kBContrast) && !dm.Old908()) {
        std::uint8_t contrast[16];
        if (m.Get(kQueryContrast, 0, 1, contrast, sizeof contrast) == 0 && (contrast[0] & 1)) {
            std::int16_t lo, hi;
            std::memcpy(&lo, contrast + 4, 2);
            std::memcpy(&hi, contrast + 6, 2);
            keep16(PRIV_OFFSET(ThresholdLevel), InRange(u(PRIV_OFFSET(ThresholdLevel)), lo, hi));
        }
    }
    if (B & feature::kBQualityMode)
        keep16(PRIV_OFFSET(QualityMode), InRange(u(PRIV_OFFSET(QualityMode)), 0, 2));
    if (B & feature::kBGraphicsMode)
        keep16(PRIV_OFFSET(GraphicsMode), InRange(u(PRIV_OFFSET(GraphicsMode)), 0, 1));
    keep16(PRIV_OFFSET(FinePatterns),
           (B & feature::kBFinePatterns) && InRange(u(PRIV_OFFSET(FinePatterns)), 0, 1));

    if (C & feature::kCJobSetupOption)
        keep16(PRIV_OFFSET(JobSetupOption), InRange(w(PRIV_OFFSET(JobSetupOption)), 0, 3));
    if (C & feature::kCJobSetup)
        keep16(PRIV_OFFSET(JobSetupKind), InRange(w(PRIV_OFFSET(JobSetupKind)), 1, 3));
}

DWORD Merge(const ModelAsk& m, const std::uint8_t* oldBytes, std::size_t oldDmSize,
            std::size_t oldExtra, DevmodeBytes& dm) {
    // The model's default device mode D, built in a block of its own.
    GlobalBlock block(dm.total());
    if (!block.get()) return ERROR_OUTOFMEMORY;
    std::memcpy(block.get(), dm.base(), DM_OFFSET(dmFields));
    if (!m.data()) return ERROR_INVALID_DATA;
    DevmodeBytes def(block.get(), dm.dmSize(), dm.extra());
    if (DWORD r = FillDefaultDevmode(m, def)) return r;

    // The old device mode, read only within what it states and the caller gave.
    DevmodeBytes old(const_cast<std::uint8_t*>(oldBytes), oldDmSize, oldExtra);
    std::uint32_t signature;
    std::memcpy(&signature, old.PrivBlock(), 4);
    bool signed_ = signature == PRIVATE_DEVMODE_SIGNATURE;
    if (signed_) std::memcpy(dm.PrivBlock(), old.PrivBlock(), dm.extra());

    MergeStandard(m, old, dm, def);
    if (signed_) MergePrivate(m, dm, def);
    return 0;
}

} // namespace

DWORD ReviseDevmode(const void* modelData, const void* oldDm, std::size_t oldBufferSize,
                    void* newDm, std::size_t newBufferSize, DWORD type) {
    try {
        if (type != 1 && type != 2) return ERROR_NOT_SUPPORTED;
        if (type == 1 && !modelData) return ERROR_INVALID_DATA;
        if (!newDm || (type == 2 && !oldDm)) return ERROR_INVALID_PARAMETER;
        std::size_t dmSize, extra;
        if (!StatedSizes(newDm, newBufferSize, &dmSize, &extra) || !NewSizesValid(dmSize, extra))
            return ERROR_INVALID_PARAMETER;
        std::size_t oldSize = 0, oldExtra = 0;
        if (type == 2 &&
            (!StatedSizes(oldDm, oldBufferSize, &oldSize, &oldExtra) || oldExtra != extra))
            return ERROR_INVALID_PARAMETER;

        // Work on a copy: the caller's device mode changes only on success.
        std::uint8_t work[DEVMODEA_SIZE + PRIVATE_DEVMODE_SIZE];
        std::memcpy(work, newDm, dmSize + extra);
        DevmodeBytes dm(work, dmSize, extra);
        ModelAsk m(modelData);
        DWORD r = type == 1
                      ? FillDefaultDevmode(m, dm)
                      : Merge(m, static_cast<const std::uint8_t*>(oldDm), oldSize, oldExtra, dm);
        if (r == 0) std::memcpy(newDm, work, dmSize + extra);
        return r;
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    } catch (...) {
        return ERROR_INVALID_DATA;
    }
}

} // namespace model
