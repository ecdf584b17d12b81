// Type 1 of mdReviseDevmode: the model's default standard part and private block.
#include <cstddef>
#include <initializer_list>
#include <vector>

#include "devmode_access.h"
#include "model/model_queries.h"
#include "win/errors.h"

namespace model {
namespace {

using namespace feature;

// Bit 3 of the font word: the device's own font list is not used.
// The job-information word: which of the job's texts go out.
constexpr std::uint32_t kJobInfoName = 0x2, kJobInfoUser = 0x1;

std::int16_t Word(const std::uint8_t* a, std::size_t off) {
    std::int16_t v;
    std::memcpy(&v, a + off, 2);
    return v;
}
std::uint32_t Dword(const std::uint8_t* a, std::size_t off) {
    std::uint32_t v;
    std::memcpy(&v, a + off, 4);
    return v;
}

DWORD FillStandardDefaults(const ModelAsk& m, DevmodeBytes& dm) {
    bool a4 = IsA4Region();
    std::uint32_t fields = DM_ORIENTATION;
    dm.SetStd(DM_OFFSET(dmOrientation), 2, DMORIENT_PORTRAIT);

    std::uint8_t papers[4];
    if (DWORD r = m.Get(kQueryPapers, 0, 1, papers, sizeof papers)) return r;
    std::int16_t paper = a4 ? Word(papers, 2) : Word(papers, 0);
    dm.SetStd(DM_OFFSET(dmPaperSize), 2, static_cast<std::uint16_t>(paper));
    fields |= DM_PAPERSIZE;
    auto dimensions = [&] {
        std::int16_t width = dm.StdShort(DM_OFFSET(dmPaperWidth)),
                     length = dm.StdShort(DM_OFFSET(dmPaperLength));
        GetPaperDimensions(m, paper, &width, &length);
        dm.SetStd(DM_OFFSET(dmPaperWidth), 2, static_cast<std::uint16_t>(width));
        dm.SetStd(DM_OFFSET(dmPaperLength), 2, static_cast<std::uint16_t>(length));
    };
    dimensions();

    fields |= DM_COPIES;
    dm.SetStd(DM_OFFSET(dmScale), 2, 100);
    dm.SetStd(DM_OFFSET(dmCopies), 2, 1);

    std::uint8_t source[2];
    if (DWORD r = m.Get(kQueryPaperSources, 0, 2, source, sizeof source)) return r;
    dm.SetStd(DM_OFFSET(dmDefaultSource), 2, static_cast<std::uint16_t>(Word(source, 0)));
    fields |= DM_DEFAULTSOURCE;

    // Resolution: the default quality mode, else the default resolution, else 600 dpi.
    std::uint32_t x = 600, y = 600;
    int mode = 2;
    bool known = false;
    std::uint8_t def[2], quality[32], resolution[16];
    if (m.Get(kQueryQualityModes, 0, 2, def, sizeof def) == 0) {
        int e = Word(def, 0) ? Word(def, 0) : 1;
        if (m.Get(kQueryQualityModes, e, 1, quality, sizeof quality) == 0) {
            x = Dword(quality, 4);
            y = Dword(quality, 8);
            mode = Word(quality, 0);
            known = true;
        }
    }
    if (!known && m.Get(kQueryResolutions, 0, 1, resolution, sizeof resolution) == 0) {
        x = Dword(resolution, 8);
        y = Dword(resolution, 12);
        mode = Word(resolution, 0);
        known = true;
    }
    if (!known) dimensions();
    dm.SetStd(DM_OFFSET(dmPrintQuality), 2, x);
    dm.SetStd(DM_OFFSET(dmYResolution), 2, y);
    fields |= DM_PRINTQUALITY;
    if (known && !(dm.Old908() && x == y)) fields |= DM_YRESOLUTION;
    if (mode != 1 && mode != 3 && mode != 4) mode = 2;
    dm.SetPriv(PRIV_OFFSET(ResolutionCode), 2, static_cast<std::uint32_t>(mode));

    dm.SetStd(DM_OFFSET(dmColor), 2, m.First(kQueryColor) ? DMCOLOR_COLOR : DMCOLOR_MONOCHROME);
    fields |= DM_COLOR;

    fields |= DM_DUPLEX | DM_TTOPTION;
    dm.SetStd(DM_OFFSET(dmDuplex), 2, DMDUP_SIMPLEX);
    dm.SetStd(DM_OFFSET(dmTTOption), 2, 2);
    dm.SetStd(DM_OFFSET(dmCollate), 2, 1);
    std::uint8_t copy[8];
    if (m.Get(kQueryCopyControl, 0, 1, copy, sizeof copy) == 0 && Dword(copy, 0))
        fields |= DM_COLLATE;

    dm.SetStd(DM_OFFSET(dmLogPixels), 2, dm.Std(DM_OFFSET(dmPrintQuality), 2));
    for (std::size_t off :
         {DM_OFFSET(dmBitsPerPel), DM_OFFSET(dmPelsWidth), DM_OFFSET(dmPelsHeight),
          DM_OFFSET(dmDisplayFlags), DM_OFFSET(dmDisplayFrequency)})
        dm.SetStd(off, 4, 0);
    fields |= DM_ICMMETHOD | DM_ICMINTENT;
    dm.SetStd(DM_OFFSET(dmICMMethod), 4, 1);
    dm.SetStd(DM_OFFSET(dmICMIntent), 4, 2);

    std::uint8_t image[80];
    if (m.Get(kQueryImageHalftone, 0, 1, image, sizeof image) == 0) {
        if ((image[offsetof(ImageHalftoneAnswer, matchingBits)] & kImageHalftoneSystemMatching) &&
            Word(image, offsetof(ImageHalftoneAnswer, matching)) == 3)
            dm.SetStd(DM_OFFSET(dmICMMethod), 4, 2);
        int intent = Word(image, 68);
        if (intent >= 1 && intent <= 3)
            dm.SetStd(DM_OFFSET(dmICMIntent), 4, static_cast<std::uint32_t>(intent));
        else if (!IsWindows95())
            dm.SetStd(DM_OFFSET(dmICMIntent), 4, 4);
    }

    std::uint8_t media[2], mediaFlags[4];
    if (m.Get(kQueryMediaTypes, 0, 2, media, sizeof media) == 0) {
        dm.SetStd(DM_OFFSET(dmMediaType), 4,
                  static_cast<std::uint32_t>(static_cast<std::int32_t>(Word(media, 0))));
        fields |= DM_MEDIATYPE;
        if (m.Get(kQueryMediaTypes, 0, 8, mediaFlags, sizeof mediaFlags) == 0 &&
            (mediaFlags[0] & 1))
            fields &= ~DM_MEDIATYPE;
    }
    dm.SetStd(DM_OFFSET(dmDitherType), 4, 1);
    dm.SetFields(fields);
    return 0;
}

// The condition of the job-type tables 61, 62, 73 and 74.
bool JobTypeCondition(const ModelAsk& m, int code, std::uint32_t optionMask) {
    std::uint8_t rules[8];
    if (m.Get(code, 0, 1, rules, sizeof rules) != 0) return false;
    std::uint32_t second = Dword(rules, 4);
    return (Dword(rules, 0) & 1) && (second == 0 || (second & optionMask));
}

// A distance in dots from a percentage or a length of the model (tables 29, 67).
std::uint32_t Distance(const ModelAsk& m, int code, unsigned dpi, bool a4, std::size_t percentAt,
                       std::size_t inchAt, std::size_t mmAt, DWORD thirdSize, int* mode) {
    std::uint32_t d = 0;
    if (m.Bit(code, 0)) d = dpi / 2;
    std::uint8_t second[8];
    if (m.Get(code, 0, 2, second, sizeof second) == 0 && (second[0] & 1)) {
        int percent = Word(second, percentAt);
        if (percent >= 0) d = static_cast<std::uint32_t>(percent * static_cast<int>(dpi) / 100);
    }
    std::uint8_t third[32];
    if (m.Get(code, 0, 3, third, thirdSize) == 0 && (third[0] & 1)) {
        if (a4)
            d = static_cast<std::uint32_t>(static_cast<long long>(Word(third, mmAt)) * dpi * 567 /
                                           1440 / 100);
        else
            d = static_cast<std::uint32_t>(static_cast<long long>(Word(third, inchAt)) * dpi / 100);
        if (mode) {
            int v = Word(third, 20);
            *mode = v == 1 ? 0 : v == 2 ? 1 : 2;
        }
    }
    return d;
}

// The private block's defaults, written theme by theme in the block's
// order; the feature words collect what each theme finds and go out last.
class PrivateDefaults {
  public:
    PrivateDefaults(const ModelAsk& model, DevmodeBytes& devmode)
        : m(model), dm(devmode), a4(IsA4Region()), current(!devmode.Old908()) {}

    void Fill() {
        Header();
        OptionMask();
        SourcesAndOutputPaper();
        DuplexAndOrder();
        Finishing();
        JobTypes();
        PageLayout();
        ColorAndImage();
        FontsAndQuality();
        OptionValues();
        JobSetupAndPjl();
        FeatureWords();
    }

  private:
    void set16(std::size_t off, std::uint32_t v) { dm.SetPriv(off, 2, v); }
    void set32(std::size_t off, std::uint32_t v) { dm.SetPriv(off, 4, v); }

    // Writes the signature, the version and the words that start at zero.
    void Header() {
        dm.SetPriv(PRIV_OFFSET(Signature), 4, PRIVATE_DEVMODE_SIGNATURE);
        set32(PRIV_OFFSET(Version), PRIVATE_DEVMODE_VERSION);
        set32(PRIV_OFFSET(JobStateBits), 0);
        set32(PRIV_OFFSET(ReservedFeatures), 0);
    }

    // The option mask: which of the hard disk, memory, duplex unit and finisher the model has.
    void OptionMask() {
        // Option mask: bit 0 hard disk (35), 1 memory (36), 2 duplex unit (25), 3 finisher (27).
        auto maskBit = [](int code) {
            return code == 35 ? 1u : code == 36 ? 2u : code == 25 ? 4u : code == 27 ? 8u : 0u;
        };
        DWORD size = 0, n = 0;
        if (m.Size(kQueryOptionDirectory, 0, 1, &size) == 0 && size) {
            std::vector<std::uint8_t> codes(size);
            if (m.Get(kQueryOptionDirectory, 0, 1, codes.data(), size, &n) == 0)
                for (DWORD i = 0; i < n && (i + 1) * 4 <= size; ++i)
                    optionMask |= maskBit(Word(codes.data(), 4 * i));
        }
        for (int code : {35, 25, 27, 36})
            if (!(optionMask & maskBit(code)) && m.Size(code, 0, 1, &size) == 0 && size)
                optionMask |= maskBit(code);
    }

    // The private source and media, the alternate source and the output paper.
    void SourcesAndOutputPaper() {
        set32(PRIV_OFFSET(EmfMode), 0);
        set32(PRIV_OFFSET(Reserved44), 0);
        set16(PRIV_OFFSET(AlternateSourceOn), 0);
        set16(PRIV_OFFSET(AlternateSource), dm.Std(DM_OFFSET(dmDefaultSource), 2));
        set32(PRIV_OFFSET(AlternateMediaType), dm.Std(DM_OFFSET(dmMediaType), 4));

        if (m.Bit(kQueryAlternateSource, 0)) {
            if (m.Bit(kQueryAlternateSource, 2)) A |= kAAlternateMedia;
            if (m.Bit(kQueryAlternateSource, 3)) A |= kAAlternateSource;
            D |= kDAlternateSource;
        }
        for (std::size_t off = PRIV_OFFSET(OutputPaperId); off < PRIV_OFFSET(MeasureFlags);
             off += 2)
            set16(off, 0);

        bool reverse = false;
        if (current) {
            reverse = m.Bit(kQueryOutputPaper, 1);
        } else {
            std::uint8_t flags[4];
            reverse = m.Get(kQueryPapers, 0, 5, flags, sizeof flags) == 0 && (flags[0] & 1);
        }
        if (reverse) {
            A |= kAOutputPaper;
            D |= kDOutputPaper;
        }
    }

    // Region, resolution copy, duplex, page order, mirror and blank pages.
    void DuplexAndOrder() {
        set16(PRIV_OFFSET(MeasureFlags), a4 ? 3 : 0);
        set16(PRIV_OFFSET(ResolutionCopy), dm.Std(DM_OFFSET(dmPrintQuality), 2));
        set16(PRIV_OFFSET(Reserved74), 0);
        if (m.Bit(kQueryFeatureFlags, 4)) A |= kAFeature79Option;

        std::uint32_t duplex = m.First(kQueryInstallable);
        bool manual = (duplex & kInstallableManualDuplex) || (duplex & kInstallableManualFeed);
        set16(PRIV_OFFSET(DuplexType), manual ? 0 : 1);
        set16(PRIV_OFFSET(ManualDuplexOffered), manual ? 1 : 0);
        if ((duplex & (kInstallableBit0 | kInstallableManualDuplex)) &&
            (duplex & (kInstallableBit2 | kInstallableBit3)))
            A |= kADuplexType;
        if (duplex & kInstallableBit4) C |= kCDuplexNotice;

        set16(PRIV_OFFSET(DuplexMargin), 0);
        set16(PRIV_OFFSET(Reserved80), 1);
        std::uint8_t reverseOrder[8];
        bool order = m.Bit(kQueryReverseOrder, 0) &&
                     m.Get(kQueryReverseOrder, 0, 2, reverseOrder, sizeof reverseOrder) == 0 &&
                     Dword(reverseOrder, 4) == 1;
        set16(PRIV_OFFSET(ReverseOrder), order ? 1 : 0);
        if (m.Bit(kQueryReverseOrder, 0)) A |= kAReverseOrder;

        set16(PRIV_OFFSET(MirrorImage), 0);
        if (m.Bit(kQueryMirror, 0)) {
            A |= kAMirror;
            D |= kDMirror;
        }

        set16(PRIV_OFFSET(MetafileSpoolingOff), 0);
        std::uint8_t blank[8];
        bool skip = m.Get(kQuerySkipBlank, 0, 1, blank, sizeof blank) == 0 && (blank[0] & 1) &&
                    Dword(blank, 4) == 2;
        set16(PRIV_OFFSET(SkipBlankPages), skip ? 1 : 0);
        if (m.Bit(kQuerySkipBlank, 0)) A |= kASkipBlank;
        set16(PRIV_OFFSET(CollateByDriver), 0);
        set16(PRIV_OFFSET(StapleMode), 0);
    }

    // Staple, bins, finishers, punch, sort kinds and cover pages.
    void Finishing() {
        // Tables that count when their data answers entries.
        auto hasEntries = [&](int code) {
            DWORD bytes = 0;
            if (m.Size(code, 0, 1, &bytes) != 0 || bytes == 0) return false;
            std::vector<std::uint8_t> buf(bytes);
            DWORD count = 0;
            return m.Get(code, 0, 1, buf.data(), bytes, &count) == 0 && count != 0;
        };
        if (hasEntries(kQueryOption33)) A |= kAStaple;
        if (hasEntries(kQueryOutputBins)) A |= kAOutputBins;
        if (hasEntries(kQueryFinishers)) B |= kBFinishers;
        if (hasEntries(kQueryOption32)) {
            A |= kAPunch | kAPunchSecond;
            B |= kBPunchUnit;
        }

        std::uint8_t sort[8];
        bool sortKinds =
            m.Get(kQuerySortKinds, 0, 2, sort, sizeof sort) == 0 && Dword(sort, 0) != 0;
        set16(PRIV_OFFSET(SortMode), sortKinds ? Dword(sort, 4) : 0);
        if (sortKinds) A |= kASortKinds;
        for (std::size_t off = PRIV_OFFSET(CoverFlags); off < PRIV_OFFSET(FrontCoverMedia);
             off += 2)
            set16(off, 0);

        std::uint8_t cover[4];
        if (m.Get(kQueryCoverPages, 0, 1, cover, sizeof cover) == 0) {
            A |= kACoverPages;
            if (cover[0] & kCoverFront) A |= kAFrontCover;
            if (cover[0] & kCoverBack) A |= kABackCover;
        }
    }

    // The job types the model offers and the department code.
    void JobTypes() {
        set16(PRIV_OFFSET(JobType), 0);
        set16(PRIV_OFFSET(PriorPrintOn), 0);
        if (m.Bit(kQueryJobType1Rules, 0)) A |= kAJobType1;
        bool job61 = JobTypeCondition(m, kQueryJobType4Rules, optionMask),
             job62 = JobTypeCondition(m, kQueryJobType5Rules, optionMask);
        if (!current && job61) A |= kAJobType2;
        if (m.Bit(kQueryDepartmentPrompt, 0)) A |= kADepartmentCode;
        set16(PRIV_OFFSET(DeptCounterFlags), m.Bit(kQueryDepartmentPrompt, 2) ? 1 : 0);
        if (!current && job62) A |= kAJobType3;
        if (JobTypeCondition(m, kQueryJobType2Rules, optionMask)) A |= kAJobType2;
        if (JobTypeCondition(m, kQueryJobType3Rules, optionMask)) A |= kAJobType3;
        if (current && job61) A |= kAJobType4;
        if (current && job62) A |= kAJobType5;
    }

    // N-up, booklet, zoom, fit and poster.
    void PageLayout() {
        // Page layout; R is the resolution of the length fields.
        unsigned R = dm.Std(DM_OFFSET(dmPrintQuality), 2);
        set16(PRIV_OFFSET(LayoutKind), 0);
        set16(PRIV_OFFSET(LengthUnitDpi), R);
        set16(PRIV_OFFSET(PagesPerSheet), 2);
        set16(PRIV_OFFSET(PageOrder), 0);
        std::uint8_t nup[8];
        bool nupAnswers = m.Get(kQueryPageLayout, 0, 2, nup, sizeof nup) == 0;
        int borders = nupAnswers ? Word(nup, 4) : -1, width = nupAnswers ? Word(nup, 6) : 0;
        set16(PRIV_OFFSET(PageBorders),
              borders >= 0 && borders <= 5 ? static_cast<std::uint32_t>(borders) : 1);
        set16(PRIV_OFFSET(BorderWidth), width > 0 ? static_cast<std::uint32_t>(width) : 1);
        if (m.Bit(kQueryPageLayout, 0)) B |= kBPageLayout;
        if (current) {
            std::uint8_t rot[32];
            int v = 0;
            if (m.Get(kQueryPageLayout, 0, 3, rot, sizeof rot) == 0 && (rot[0] & 1)) {
                int w = Word(rot, 20);
                v = w == 1 ? 0 : w == 2 ? 1 : 2;
            }
            set16(PRIV_OFFSET(NupRotation), static_cast<std::uint32_t>(v));
        }

        set16(PRIV_OFFSET(BookletKind), 1);
        set16(PRIV_OFFSET(BookletSheets), 0);
        int bookletMode = -1;
        set16(PRIV_OFFSET(BindingMargin), Distance(m, 29, R, a4, 4, 8, 12, 32, &bookletMode));
        if (current && bookletMode >= 0)
            set16(PRIV_OFFSET(BookletRotation), static_cast<std::uint32_t>(bookletMode));
        if (m.Bit(kQueryBooklet, 0)) B |= kBBooklet;

        set16(PRIV_OFFSET(ZoomPercent), 100);
        std::uint8_t zoom[8];
        int anchor = m.Get(kQueryZoom, 0, 2, zoom, sizeof zoom) == 0 ? Word(zoom, 4) : -1;
        set16(PRIV_OFFSET(ZoomAnchor),
              anchor >= 0 && anchor <= 8 ? static_cast<std::uint32_t>(anchor) : 4);
        if (m.Bit(kQueryZoom, 0)) B |= kBZoom;
        set16(PRIV_OFFSET(FitMode), 0);
        if (m.Bit(kQueryFitToPaper, 0)) B |= kBFitToPaper;
        set16(PRIV_OFFSET(PosterGrid), 2);
        set16(PRIV_OFFSET(PosterGrid) + 2, 2);
        set16(PRIV_OFFSET(PosterOverlap), Distance(m, 67, R, a4, 4, 4, 8, 12, nullptr));
        if (m.Bit(kQueryPosterOverlap, 0)) B |= kBPoster;
    }

    // Colour, density, text as black and contrast.
    void ColorAndImage() {
        std::uint8_t image[80];
        if (m.Get(kQueryImageHalftone, 0, 1, image, sizeof image) == 0) {
            auto in = [](int v, int lo, int hi, int otherwise) {
                return static_cast<std::uint32_t>(v >= lo && v <= hi ? v : otherwise);
            };
            set16(PRIV_OFFSET(ColorMode), in(Word(image, 4), 1, 3, 2));
            set16(PRIV_OFFSET(ColorAdjustOption), 0);
            set16(PRIV_OFFSET(ColorMatching), in(Word(image, 12), 0, 3, 0));
            set16(PRIV_OFFSET(ColorModeAlt),
                  std::min<std::uint32_t>(static_cast<std::uint16_t>(Word(image, 76)), 1));
            set16(304, in(Word(image, 20), 1, 3, 1));
            set16(306, static_cast<std::uint16_t>(Word(image, 22)));
            for (int i = 0; i < 8; ++i)
                set16(310 + 2 * i, static_cast<std::uint16_t>(Word(image, 24 + 2 * i)));
            if (!current) {
                set16(328, in(Word(image, 44), 1, 3, 1));
                set16(330, static_cast<std::uint16_t>(Word(image, 46)));
                for (int i = 0; i < 8; ++i)
                    set16(334 + 2 * i, static_cast<std::uint16_t>(Word(image, 48 + 2 * i)));
                set16(350, static_cast<std::uint16_t>(Word(image, 78)));
            }
            std::uint32_t first = Dword(image, 0);
            if (first & (kImageHalftoneBit1 | kImageHalftoneBit2)) B |= kBColorModes;
            B |= kBColorAdjust;
            if (Dword(image, 8)) B |= kBColorMatching;
        } else {
            for (std::size_t off = PRIV_OFFSET(ColorMode); off < PRIV_OFFSET(ColorAdjustValues);
                 off += 2)
                set16(off, 0);
        }

        std::uint8_t density[8];
        set16(PRIV_OFFSET(Density), m.Get(kQueryDensity, 0, 2, density, sizeof density) == 0
                                        ? static_cast<std::uint16_t>(Word(density, 6))
                                        : 0);
        if (m.Bit(kQueryDensity, 0)) B |= kBDensity;
        set16(PRIV_OFFSET(TextAsBlack), 0);
        if (m.Bit(kQueryTextAsBlack, 0)) B |= kBTextAsBlack;
        std::uint8_t contrast[16];
        bool contrastOn =
            m.Get(kQueryContrast, 0, 1, contrast, sizeof contrast) == 0 && (contrast[0] & 1);
        if (current)
            set16(PRIV_OFFSET(ThresholdLevel),
                  contrastOn ? static_cast<std::uint16_t>(Word(contrast, 12)) : 0);
        if (contrastOn) B |= kBContrast;
    }

    // Device fonts, toner, quality, reduction, graphics mode and halftone.
    void FontsAndQuality() {
        std::uint32_t font = 10;
        std::uint8_t fonts[8];
        if (m.Get(kQueryDeviceFonts, 0, 1, fonts, sizeof fonts) == 0) {
            std::uint32_t w = Dword(fonts, 0);
            if (w & kFontBit1)
                font = 2;
            else if (w & kFontBit0)
                font = 1;
            else if (w & kFontBit2)
                font = 4;
            if ((w & kFontBit0) && (w & kFontBit7)) font = 1;
            if (Word(fonts, 6) < 1 || (w & kFontBit8))
                font |= FONTMODE_OWN_FONT_LIST;
            else
                font &= ~FONTMODE_OWN_FONT_LIST;
            B |= kBDeviceFonts;
        }
        set16(PRIV_OFFSET(FontMode), font);
        set16(PRIV_OFFSET(Reserved364), 0xFFFF);
        set16(PRIV_OFFSET(TonerSaveLevel), 0);
        if (m.First(kQueryToner)) B |= kBToner;
        set16(PRIV_OFFSET(FinePatterns), 0);
        if (m.Bit(kQueryFeatureFlags, 8)) B |= kBFinePatterns;
        set16(PRIV_OFFSET(QualityMode), 0);
        if (m.Bit(kQueryEconomyMode, 0)) B |= kBQualityMode;
        std::uint8_t reduction[8];
        set16(PRIV_OFFSET(ImageReduction),
              m.Get(kQueryImageReduction, 0, 1, reduction, sizeof reduction) == 0
                  ? static_cast<std::uint16_t>(Word(reduction, 4))
                  : 0);
        if (m.Bit(kQueryImageReduction, 0)) {
            A |= kAImageReduction;
            D |= kDImageReduction;
        }
        std::uint8_t graphics[12];
        bool graphicsAnswers = m.Get(kQueryGraphicsMode, 0, 1, graphics, sizeof graphics) == 0;
        set16(PRIV_OFFSET(GraphicsMode),
              graphicsAnswers && (graphics[0] & kGraphicsModeBit2) ? 1 : 0);
        if (graphicsAnswers) B |= kBGraphicsMode;
        std::uint8_t halftone[2];
        bool halftoneAnswers = m.Get(kQueryHalftones, 0, 1, halftone, sizeof halftone) == 0;
        set16(PRIV_OFFSET(HalftoneKind),
              halftoneAnswers ? static_cast<std::uint16_t>(Word(halftone, 0)) : 0);
        if (halftoneAnswers) B |= kBHalftones;
        set32(PRIV_OFFSET(OverlayFlags), 0);
        if (m.First(kQueryModelFlags)) B |= kBModelFlags;
        set32(PRIV_OFFSET(WatermarkFlags), 0);
        if (m.First(kQuerySecondModelFlags)) B |= kBSecondModelFlags;
    }

    // The hard disk, memory, feeder and tray values.
    void OptionValues() {
        set32(PRIV_OFFSET(Reserved744), 0);
        set32(PRIV_OFFSET(Reserved748), 0);
        std::uint32_t disk = m.First(kQueryHardDisk), memory = m.First(kQueryMemory);
        set32(PRIV_OFFSET(HardDiskValue), disk);
        set32(PRIV_OFFSET(MemoryValue), memory);
        if (disk) B |= kBHardDisk;
        if (memory) B |= kBMemory;

        set16(PRIV_OFFSET(Reserved766), 0);
        std::uint8_t unit[4];
        DWORD found = 0;
        if (m.Get(kQueryTrayGroups, 5, 1, unit, sizeof unit, &found) == 0 && found)
            B |= kBFeederFive;
        set16(PRIV_OFFSET(InstalledTrayOffset), 0);
        set16(PRIV_OFFSET(AutoTrayResolve), m.Bit(kQueryFeatureFlags, 5) ? 1 : 0);
        if (m.Bit(kQueryFeatureFlags, 5)) B |= kBAutoTray;
    }

    // Job setup, prior print, job information and the PJL item 32 mark.
    void JobSetupAndPjl() {
        set16(PRIV_OFFSET(JobSetupOption), 0);
        std::uint8_t setup[8];
        bool setupOn = m.Get(kQueryJobSetup, 0, 1, setup, sizeof setup) == 0 && (setup[0] & 1);
        set16(PRIV_OFFSET(JobSetupKind), setupOn ? static_cast<std::uint16_t>(Word(setup, 4)) : 1);
        if (setupOn) C |= kCJobSetup;
        if (m.Bit(kQueryPriorPrint, 0)) C |= kCPriorPrint;
        for (std::size_t off : {PRIV_OFFSET(Reserved848), PRIV_OFFSET(Reserved850),
                                PRIV_OFFSET(Reserved852), PRIV_OFFSET(Reserved854)})
            set16(off, 0);

        if (current) {
            std::uint32_t features = m.First(kQueryFeatureFlags);
            set32(PRIV_OFFSET(JobInfoFlags),
                  ((features & kFeatureJobInfo) ? kJobInfoName : 0u) |
                      ((features & kFeatureStatusPage) ? kJobInfoUser : 0u));
            DWORD lines = 0;
            bool pjl32 = m.Size(kQueryPjlLines, 32, 4, &lines) == 0 && lines != 0;
            if (pjl32) C |= kCPjlItem32;
            dm.SetPriv(PRIV_OFFSET(PjlItem32Off), 1, pjl32 ? 0 : 1);
        }
    }

    // The feature words, once every table has had its say.
    void FeatureWords() {
        set32(PRIV_OFFSET(PrivateFlags), A);
        set32(PRIV_OFFSET(FeatureFlags), B);
        set32(PRIV_OFFSET(JobCheckFlags), C);
        set32(PRIV_OFFSET(OptionFlags), D);
    }

    const ModelAsk& m;
    DevmodeBytes& dm;
    const bool a4;
    const bool current;
    std::uint32_t A = kAAlways, B = kBAlways, C = kCAlways, D = 0;
    std::uint32_t optionMask = 0;
};

void FillPrivateDefaults(const ModelAsk& m, DevmodeBytes& dm) {
    PrivateDefaults(m, dm).Fill();
}

} // namespace

DWORD FillDefaultDevmode(const ModelAsk& m, DevmodeBytes& dm) {
    // Everything from dmFields to the end of the private block starts at zero.
    std::memset(dm.base() + DM_OFFSET(dmFields), 0, dm.total() - DM_OFFSET(dmFields));
    if (DWORD r = FillStandardDefaults(m, dm)) return r;
    FillPrivateDefaults(m, dm);
    return 0;
}

} // namespace model
