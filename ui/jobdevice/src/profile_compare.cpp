// The settings comparison: one table of the settings a user sees, in the
// order the difference list shows them, each with when it takes part and
// how its value reads.
#include "profile_compare.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "devmode_helpers.h"
#include "dialog_lookups.h"
#include "localize.h"
#include "sheet_context.h"
#include "win/user.h"

namespace sheetwright {
namespace {

using F = SettingField;
using Image = DEVMODE_IMAGEW;

// Value strings.
constexpr DWORD kOn = 4001, kOff = 4002, kPortrait = 4050, kLandscape = 4051,
                kReversePortrait = 4052, kReverseLandscape = 4053, kAutomatic = 3231,
                kManual = 3232, kBlank = 3256, kPrinted = 3257, kVector = 3285, kRaster = 3286,
                kOverlayMake = 3321, kOverlayPrint = 3322, kJobWithId = 3343,
                kAskWhenPrinting = 3344, kFirstJobTypeName = 6200;
// Layout names by kind, for the layout line.
constexpr struct {
    WORD kind;
    DWORD name;
} kLayoutNames[] = {{1, 4600}, {2, 4550}, {4, 4650}, {8, 4500}, {16, 4450}};
constexpr char16_t kSeparator[] = u"\t:";
constexpr WORD kUserPaperFirst = 456;
constexpr WORD kColorModeColor = 2, kMatchingBySystem = 3;
constexpr WORD kCoverFront = 0x1, kCoverBack = 0x2;
constexpr WORD kCounterAsk = 0x4, kJobAskId = 0x1;
constexpr DWORD kOverlayBits = 0x3, kWatermarkOn = 0x2;
// Watermark record: name, then the text printed.
constexpr size_t kWatermarkNameAt = 4, kWatermarkTextAt = 68, kWatermarkTextSize = 64;

bool Same(const void* a, const void* b, size_t n) {
    return std::memcmp(a, b, n) == 0;
}
#define SAME(field) Same(&a.field, &b.field, sizeof a.field)

std::u16string Ansi(const char* field, size_t width) {
    return AnsiToWide(field, strnlen(field, width));
}

std::u16string WatermarkName(const PRIVATE_DEVMODE& p) {
    const char* record = reinterpret_cast<const char*>(p.WatermarkRecord);
    std::u16string name = Ansi(record + kWatermarkNameAt, kWatermarkTextSize);
    return name.empty() ? Ansi(record + kWatermarkTextAt, kWatermarkTextSize) : name;
}

WORD LayoutOf(const Image& i) {
    return i.priv.LayoutKind;
}

// Whether field `f` differs between a and b, where it takes part at all.
bool Differs(F f, const Image& A, const Image& B) {
    const DEVMODEW& a = A.dm;
    const DEVMODEW& b = B.dm;
    const PRIVATE_DEVMODE& p = A.priv;
    const PRIVATE_DEVMODE& q = B.priv;
    switch (f) {
    case F::kPaperSize:
        return !SAME(dmPaperSize) || !SAME(dmPaperLength) || !SAME(dmPaperWidth) ||
               !SAME(dmFormName);
    case F::kOutputPaper:
        if (LayoutOf(A) == 0) return false;
        return p.OutputPaperId != q.OutputPaperId ||
               (p.OutputPaperId >= kUserPaperFirst && (p.OutputPaperWidth != q.OutputPaperWidth ||
                                                       p.OutputPaperLength != q.OutputPaperLength));
    case F::kOrientation:
        return !SAME(dmOrientation) || p.Rotate180 != q.Rotate180;
    case F::kMediaType:
        return !SAME(dmMediaType);
    case F::kPaperSource:
        return !SAME(dmDefaultSource);
    case F::kFrontCover:
        return (p.CoverFlags & kCoverFront) != (q.CoverFlags & kCoverFront) ||
               ((p.CoverFlags & kCoverFront) && p.FrontCoverPrinted != q.FrontCoverPrinted);
    case F::kFrontMedia:
        return (p.CoverFlags & kCoverFront) && p.FrontCoverMedia != q.FrontCoverMedia;
    case F::kFrontSource:
        return (p.CoverFlags & kCoverFront) && p.FrontCoverSource != q.FrontCoverSource;
    case F::kBackCover:
        return (p.CoverFlags & kCoverBack) != (q.CoverFlags & kCoverBack) ||
               ((p.CoverFlags & kCoverBack) && p.BackCoverPrinted != q.BackCoverPrinted);
    case F::kBackMedia:
        return (p.CoverFlags & kCoverBack) && p.BackCoverMedia != q.BackCoverMedia;
    case F::kBackSource:
        return (p.CoverFlags & kCoverBack) && p.BackCoverSource != q.BackCoverSource;
    case F::kLayout: {
        if (p.LayoutKind != q.LayoutKind || p.LengthUnitDpi != q.LengthUnitDpi) return true;
        switch (p.LayoutKind) {
        case 1:
            return p.PagesPerSheet != q.PagesPerSheet || p.PageOrder != q.PageOrder ||
                   p.PageBorders != q.PageBorders || p.BorderWidth != q.BorderWidth ||
                   p.NupRotation != q.NupRotation;
        case 2:
            return p.BookletKind != q.BookletKind || p.BookletSheets != q.BookletSheets ||
                   p.BindingMargin != q.BindingMargin || p.BookletRotation != q.BookletRotation;
        case 4:
            return !Same(p.PosterGrid, q.PosterGrid, sizeof p.PosterGrid) ||
                   p.PosterOverlap != q.PosterOverlap;
        case 8:
            return p.FitMode != q.FitMode;
        case 16:
            return p.ZoomPercent != q.ZoomPercent || p.ZoomAnchor != q.ZoomAnchor;
        default:
            return false;
        }
    }
    case F::kOverlay:
        return (p.OverlayFlags & kOverlayBits) != (q.OverlayFlags & kOverlayBits) ||
               ((p.OverlayFlags & 0x1) &&
                !Same(p.OverlayMakeName, q.OverlayMakeName, sizeof p.OverlayMakeName)) ||
               ((p.OverlayFlags & 0x2) &&
                (!Same(p.OverlayUseName, q.OverlayUseName, sizeof p.OverlayUseName) ||
                 p.OverlayPages != q.OverlayPages || p.OverlayOnTop != q.OverlayOnTop));
    case F::kWatermark:
        // Compared by the watermark's name until the stored list can be asked.
        return (p.WatermarkFlags & kWatermarkOn) != (q.WatermarkFlags & kWatermarkOn) ||
               ((p.WatermarkFlags & kWatermarkOn) && WatermarkName(p) != WatermarkName(q));
    case F::kColorMode:
        return p.ColorMode != q.ColorMode;
    case F::kColorManagement: {
        const bool icm = p.ColorMode == kColorModeColor && p.ColorMatching == kMatchingBySystem;
        return p.ColorMatching != q.ColorMatching || p.ColorModeAlt != q.ColorModeAlt ||
               !Same(p.ColorAdjustValues, q.ColorAdjustValues, sizeof p.ColorAdjustValues) ||
               (icm && (!SAME(dmICMMethod) || !SAME(dmICMIntent)));
    }
    case F::kQuality:
        return !SAME(dmPrintQuality) || !SAME(dmYResolution) ||
               p.ResolutionCode != q.ResolutionCode;
    case F::kImageReduction:
        return p.ImageReduction != q.ImageReduction;
    case F::kTrueTypeFonts:
        return (p.FontMode & 0xFF) != (q.FontMode & 0xFF);
    case F::kDeviceFonts:
        return (p.FontMode >> 8) != (q.FontMode >> 8);
    case F::kTonerSave:
        return p.TonerSaveLevel != q.TonerSaveLevel;
    case F::kFinePatterns:
        return p.FinePatterns != q.FinePatterns;
    case F::kDensity:
        return p.Density != q.Density;
    case F::kTextAsBlack:
        return p.TextAsBlack != q.TextAsBlack;
    case F::kContrast:
        return p.ThresholdLevel != q.ThresholdLevel;
    case F::kCopies:
        return !SAME(dmCopies);
    case F::kCollate:
        return !SAME(dmCollate);
    case F::kDuplex:
        return !SAME(dmDuplex) || p.DuplexMargin != q.DuplexMargin;
    case F::kDuplexType:
        return p.DuplexType != q.DuplexType;
    case F::kDuplexNotice:
        return p.DuplexNotice != q.DuplexNotice;
    case F::kSort:
        return p.SortMode != q.SortMode;
    case F::kBlankPages:
        return p.SkipBlankPages != q.SkipBlankPages;
    case F::kPriorCheck:
        return p.PriorPrintOn != q.PriorPrintOn;
    case F::kCopyControl:
        return p.CollateByDriver != q.CollateByDriver;
    case F::kMetafileSpooling:
        return p.MetafileSpoolingOff != q.MetafileSpoolingOff;
    case F::kMirror:
        return p.MirrorImage != q.MirrorImage;
    case F::kReverseOrder:
        return p.ReverseOrder != q.ReverseOrder;
    case F::kGraphicsMode:
        return p.GraphicsMode != q.GraphicsMode;
    case F::kHalftone:
        return p.HalftoneKind != q.HalftoneKind;
    case F::kJobType:
        if (p.JobType != q.JobType) return true;
        if (p.JobType == 3) return !Same(p.SecureBoxId, q.SecureBoxId, sizeof p.SecureBoxId);
        if (p.JobType == 1 || p.JobType == 2)
            return !Same(p.MailboxId, q.MailboxId, sizeof p.MailboxId);
        return false;
    case F::kJobTypeAsk:
        return (p.JobTypeOptions & kJobAskId) != (q.JobTypeOptions & kJobAskId);
    case F::kDepartmentId:
        return (p.DeptCounterFlags & 0x1) && !Same(p.DeptCode, q.DeptCode, sizeof p.DeptCode);
    case F::kDepartmentCounter:
        return (p.DeptCounterFlags & kCounterAsk) != (q.DeptCounterFlags & kCounterAsk);
    case F::kOutputTray:
        return p.StapleMode != q.StapleMode || p.OutputBin != q.OutputBin ||
               p.PunchMode != q.PunchMode;
    case F::kPunch:
        return p.PunchMode != q.PunchMode;
    case F::kStaple:
        return p.StapleMode != q.StapleMode;
    case F::kUserName:
        return (p.JobInfoFlags & 0x1) && !Same(p.UserName, q.UserName, sizeof p.UserName);
    case F::kJobName:
        return (p.JobInfoFlags & 0x2) && !Same(p.JobName, q.JobName, sizeof p.JobName);
    case F::kJobInformation:
        return p.JobInfoFlags != q.JobInfoFlags;
    }
    return false;
}

// The order of the list: paper, covers, layout, overlay, watermark, then the rest.
constexpr F kOrder[] = {
    F::kPaperSize,
    F::kOutputPaper,
    F::kOrientation,
    F::kMediaType,
    F::kPaperSource,
    F::kFrontCover,
    F::kFrontMedia,
    F::kFrontSource,
    F::kBackCover,
    F::kBackMedia,
    F::kBackSource,
    F::kLayout,
    F::kOverlay,
    F::kWatermark,
    F::kColorMode,
    F::kColorManagement,
    F::kQuality,
    F::kImageReduction,
    F::kTrueTypeFonts,
    F::kDeviceFonts,
    F::kTonerSave,
    F::kFinePatterns,
    F::kDensity,
    F::kTextAsBlack,
    F::kContrast,
    F::kCopies,
    F::kCollate,
    F::kDuplex,
    F::kDuplexType,
    F::kDuplexNotice,
    F::kSort,
    F::kBlankPages,
    F::kPriorCheck,
    F::kCopyControl,
    F::kMetafileSpooling,
    F::kMirror,
    F::kReverseOrder,
    F::kGraphicsMode,
    F::kHalftone,
    F::kJobType,
    F::kJobTypeAsk,
    F::kDepartmentId,
    F::kDepartmentCounter,
    F::kOutputTray,
    F::kPunch,
    F::kStaple,
    F::kUserName,
    F::kJobName,
    F::kJobInformation,
};

// Strings of the sheet's resources, through its localiser when it has one.
class Texts {
  public:
    explicit Texts(const SheetContext* context) : context_(context) {
        if (context && !context->localize && context->resourceModule)
            own_ = std::make_unique<CLocalize>(context->resourceModule);
    }
    std::u16string operator()(DWORD id) const {
        std::u16string out;
        if (CLocalize* l = context_ ? context_->localize : nullptr)
            l->LoadString(id, &out);
        else if (own_)
            own_->LoadString(id, &out);
        return out;
    }
    // A "%s" text with its arguments put in, in order.
    std::u16string Format(DWORD id, std::initializer_list<std::u16string> args) const {
        std::u16string pattern = (*this)(id), out;
        auto next = args.begin();
        for (size_t i = 0; i < pattern.size(); ++i) {
            if (pattern[i] == u'%' && i + 1 < pattern.size() && pattern[i + 1] == u's') {
                if (next != args.end()) out += *next++;
                ++i;
            } else {
                out += pattern[i];
            }
        }
        return out;
    }

  private:
    const SheetContext* context_;
    std::unique_ptr<CLocalize> own_;
};

std::u16string Number(long value) {
    char text[24];
    std::snprintf(text, sizeof text, "%ld", value);
    return std::u16string(text, text + std::strlen(text));
}

std::u16string OnOff(const Texts& t, bool on) {
    return t(on ? kOn : kOff);
}

std::u16string LayoutName(const Texts& t, WORD kind) {
    for (const auto& l : kLayoutNames)
        if (l.kind == kind) return t(l.name);
    return {};
}

std::u16string Value(F f, const Texts& t, const SheetContext* context, const Image& A,
                     const Image& B) {
    const PRIVATE_DEVMODE& p = A.priv;
    const ModelBlock* binding = context ? &context->model : nullptr;
    switch (f) {
    case F::kPaperSize: {
        std::u16string name;
        if (context && GetPaperName(&name, binding, context->resourceModule,
                                    static_cast<WORD>(A.dm.dmPaperSize), context->userPapers))
            return name;
        return Number(A.dm.dmPaperSize);
    }
    case F::kOutputPaper: {
        std::u16string name;
        if (context && GetPaperName(&name, binding, context->resourceModule, p.OutputPaperId,
                                    context->userPapers))
            return name;
        return Number(p.OutputPaperId);
    }
    case F::kOrientation:
        if (A.dm.dmOrientation == 1) return t(p.Rotate180 ? kReversePortrait : kPortrait);
        return t(p.Rotate180 ? kReverseLandscape : kLandscape);
    case F::kPaperSource:
        if (WORD id = binding ? GetPaperSourceNameId(binding, A.dm.dmDefaultSource) : 0)
            return t(id);
        return Number(A.dm.dmDefaultSource);
    case F::kMediaType:
        if (WORD id =
                binding ? GetMediaTypeNameId(binding, static_cast<WORD>(A.dm.dmMediaType)) : 0)
            return t(id);
        return Number(static_cast<long>(A.dm.dmMediaType));
    case F::kFrontCover:
        return (p.CoverFlags & kCoverFront) ? t(p.FrontCoverPrinted ? kPrinted : kBlank) : t(kOff);
    case F::kBackCover:
        return (p.CoverFlags & kCoverBack) ? t(p.BackCoverPrinted ? kPrinted : kBlank) : t(kOff);
    case F::kFrontSource:
    case F::kBackSource: {
        const WORD source = f == F::kFrontSource ? p.FrontCoverSource : p.BackCoverSource;
        if (WORD id = binding ? GetPaperSourceNameId(binding, source) : 0) return t(id);
        return Number(source);
    }
    case F::kFrontMedia:
    case F::kBackMedia: {
        const DWORD media = f == F::kFrontMedia ? p.FrontCoverMedia : p.BackCoverMedia;
        if (WORD id = binding ? GetMediaTypeNameId(binding, static_cast<WORD>(media)) : 0)
            return t(id);
        return Number(static_cast<long>(media));
    }
    case F::kLayout:
        return p.LayoutKind ? t(kOn) : t(kOff);
    case F::kOverlay:
        if (p.OverlayFlags & 0x1)
            return t.Format(kOverlayMake, {Ansi(p.OverlayMakeName, sizeof p.OverlayMakeName)});
        if (p.OverlayFlags & 0x2)
            return t.Format(kOverlayPrint, {Ansi(p.OverlayUseName, sizeof p.OverlayUseName)});
        return t(kOff);
    case F::kWatermark:
        return (p.WatermarkFlags & kWatermarkOn) ? WatermarkName(p) : t(kOff);
    case F::kCopies:
        return Number(A.dm.dmCopies);
    case F::kCollate:
        return OnOff(t, A.dm.dmCollate == 1);
    case F::kDuplexType:
        return t(p.DuplexType ? kManual : kAutomatic);
    case F::kDuplexNotice:
        return OnOff(t, p.DuplexNotice > 0);
    case F::kGraphicsMode:
        return t(p.GraphicsMode ? kRaster : kVector);
    case F::kJobType: {
        if (p.JobType == 0 || p.JobType > 5) return {};
        const std::u16string type = t(kFirstJobTypeName + p.JobType - 1);
        const char* id = p.JobType == 3 ? p.SecureBoxId : p.MailboxId;
        const bool carriesId = p.JobType == 1 || p.JobType == 2 || p.JobType == 3;
        if (carriesId && id[0]) return t.Format(kJobWithId, {type, Ansi(id, 32)});
        return type;
    }
    case F::kJobTypeAsk:
        return (p.JobTypeOptions & kJobAskId) ? t(kAskWhenPrinting) : t(kOff);
    case F::kDepartmentId:
        return Ansi(p.DeptCode, sizeof p.DeptCode);
    case F::kDepartmentCounter:
        return (p.DeptCounterFlags & kCounterAsk) ? t(kAskWhenPrinting) : t(kOff);
    case F::kUserName:
        return Ansi(p.UserName, sizeof p.UserName);
    case F::kJobName:
        return Ansi(p.JobName, sizeof p.JobName);
    case F::kQuality:
        return Number(A.dm.dmPrintQuality);
    case F::kDuplex:
        return OnOff(t, A.dm.dmDuplex > 1);
    case F::kOutputTray:
        return Number(p.OutputBin);
    case F::kPunch:
        return Number(p.PunchMode);
    case F::kStaple:
        return Number(p.StapleMode);
    case F::kColorMode:
        return Number(p.ColorMode);
    case F::kHalftone:
        return Number(p.HalftoneKind);
    case F::kDensity:
        return Number(p.Density);
    case F::kContrast:
        return Number(p.ThresholdLevel);
    case F::kImageReduction:
        return Number(p.ImageReduction);
    case F::kTonerSave:
        return Number(p.TonerSaveLevel);
    case F::kSort:
        return Number(p.SortMode);
    case F::kJobInformation:
        return Number(static_cast<long>(p.JobInfoFlags));
    default:
        break;
    }
    (void)B;
    // The remaining settings are switches.
    switch (f) {
    case F::kTrueTypeFonts:
        return OnOff(t, (p.FontMode & 0xFF) != 0);
    case F::kDeviceFonts:
        return OnOff(t, (p.FontMode >> 8) != 0);
    case F::kFinePatterns:
        return OnOff(t, p.FinePatterns != 0);
    case F::kTextAsBlack:
        return OnOff(t, p.TextAsBlack != 0);
    case F::kColorManagement:
        return OnOff(t, p.ColorMatching != 0);
    case F::kBlankPages:
        return OnOff(t, p.SkipBlankPages == 0);
    case F::kPriorCheck:
        return OnOff(t, p.PriorPrintOn != 0);
    case F::kCopyControl:
        return OnOff(t, p.CollateByDriver != 0);
    case F::kMetafileSpooling:
        return OnOff(t, p.MetafileSpoolingOff == 0);
    case F::kMirror:
        return OnOff(t, p.MirrorImage != 0);
    case F::kReverseOrder:
        return OnOff(t, p.ReverseOrder != 0);
    default:
        return {};
    }
}

std::u16string Label(F f, const Texts& t, const Image& A, const Image& B) {
    if (f == F::kLayout) {
        // The line names the layout shown, or the one left when none is.
        const std::u16string shown = LayoutName(t, A.priv.LayoutKind);
        return shown.empty() ? LayoutName(t, B.priv.LayoutKind) : shown;
    }
    if (f == F::kJobTypeAsk) return t(static_cast<DWORD>(F::kJobType));
    return t(static_cast<DWORD>(f));
}

bool Listed(HWND list, DWORD identity) {
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i)
        if (static_cast<DWORD>(SendMessageW(list, LB_GETITEMDATA, i, 0)) == identity) return true;
    return false;
}

} // namespace

std::u16string DifferenceLine(const SheetContext* context, const DEVMODE_IMAGEW* shown,
                              const DEVMODE_IMAGEW* reference, SettingField field) {
    if (!shown || !reference) return {};
    const Texts texts(context);
    const std::u16string label = Label(field, texts, *shown, *reference);
    const std::u16string value = Value(field, texts, context, *shown, *reference);
    if (label.empty() || value.empty()) return {};
    return label + kSeparator + value;
}

void DescribeDifference(ProfileFile*, HWND list, const SheetContext* context,
                        const DEVMODE_IMAGEW* shown, const DEVMODE_IMAGEW* reference,
                        SettingField field) {
    if (!list) return;
    const DWORD identity = static_cast<DWORD>(field);
    if (Listed(list, identity)) return;
    const std::u16string line = DifferenceLine(context, shown, reference, field);
    if (line.empty()) return;
    const LRESULT at = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    if (at >= 0) SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(at), identity);
}

BOOL CompareSettings(ProfileFile* store, const DEVMODE_IMAGEW* shown,
                     const DEVMODE_IMAGEW* reference, HWND list, const SheetContext* context) {
    if (!shown || !reference) return FALSE;
    BOOL equal = TRUE;
    for (F field : kOrder) {
        if (!Differs(field, *shown, *reference)) continue;
        equal = FALSE;
        if (!list) break;
        DescribeDifference(store, list, context, shown, reference, field);
    }
    return equal;
}

} // namespace sheetwright
