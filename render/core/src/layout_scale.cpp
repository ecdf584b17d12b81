#include "layout_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "model/model_queries.h"
#include "model_access.h"
#include "pdev.h"
#include "private_devmode.h"
#include "render_lookups.h"

namespace inkforge {
namespace {

constexpr int kLayoutDpi = 600;
constexpr LONG kTenthMmPerInch = 254;
// The shrinking layouts leave room for the printer's margins.
constexpr double kShrinkMargin = 4;
constexpr double kSameScale = 0.001;

// A computed percentage as the job keeps it: at least 1 (a layout that
// leaves no room still records, at the smallest scale), at most a WORD.
WORD Clamp(double scale) {
    if (!(scale >= 1)) return 1;
    if (scale > std::numeric_limits<WORD>::max()) return std::numeric_limits<WORD>::max();
    return static_cast<WORD>(scale);
}

bool Usable(PaperPixels p) {
    return p.width > 0 && p.length > 0;
}

BOOL LookupPixels(PDEV* pdev, int paperId, PaperPixels* out) {
    PaperRect rect{};
    if (!GetPaperInfo(pdev, paperId, kPaperPortrait, kLayoutDpi, &rect, nullptr, nullptr))
        return FALSE;
    out->width = rect.width;
    out->length = rect.length;
    return Usable(*out);
}

} // namespace

LayoutInputs CopyLayoutInputs(PDEV* pdev) {
    const DevmodeImage& d = pdev->devmode;
    LayoutInputs in;
    in.kind = PrivU16(d, priv::LayoutKind);
    in.pagesPerSheet = PrivU16(d, priv::PagesPerSheet);
    in.bindingMargin = PrivU16(d, priv::BindingMargin);
    in.zoomPercent = PrivI16(d, priv::ZoomPercent);
    in.posterAcross = PrivU16(d, priv::PosterAcross);
    in.posterDown = PrivU16(d, priv::PosterDown);
    in.posterOverlap = PrivU16(d, priv::PosterOverlap);
    in.outputPaperId = PrivU16(d, priv::OutputPaperId);
    in.outputPaperWidth = PrivI16(d, priv::OutputPaperWidth);
    in.outputPaperLength = PrivI16(d, priv::OutputPaperLength);
    in.orientation = d.dm.dmOrientation;
    in.nupRotation = PrivU16(d, priv::NupRotation);
    in.bookletRotation = PrivU16(d, priv::BookletRotation);
    ModelAnswer flags(pdev, model::kQueryBooklet, 0, model::layout::kFixedFirst);
    in.layoutFlags = flags.ok() ? flags.U32(0) : 0;
    return in;
}

BOOL GetPaperRect(PDEV* pdev, const LayoutInputs& in, PaperPixels* job, PaperPixels* output) {
    *job = *output = PaperPixels{};
    if (in.kind != kLayoutPagesPerSheet && in.kind != kLayoutBooklet && in.kind != kLayoutPoster &&
        in.kind != kLayoutFitToPaper)
        return FALSE;
    if (!LookupPixels(pdev, pdev->devmode.dm.dmPaperSize, job)) return FALSE;
    // Pages per sheet and booklet keep the output paper of the first page;
    // poster and fit to paper take the current one.
    WORD id = in.outputPaperId;
    SHORT width = in.outputPaperWidth, length = in.outputPaperLength;
    if (in.kind == kLayoutPoster || in.kind == kLayoutFitToPaper) {
        id = PrivU16(pdev->devmode, priv::OutputPaperId);
        width = PrivI16(pdev->devmode, priv::OutputPaperWidth);
        length = PrivI16(pdev->devmode, priv::OutputPaperLength);
    }
    if (id == 0) {
        *output = *job;
        return TRUE;
    }
    if (id == kCustomPaper || id > kLastModelPaper) {
        output->width = static_cast<LONG>(width) * kLayoutDpi / kTenthMmPerInch;
        output->length = static_cast<LONG>(length) * kLayoutDpi / kTenthMmPerInch;
        return Usable(*output);
    }
    return LookupPixels(pdev, id, output);
}

WORD ComputeNupScale(const LayoutInputs& in, PaperPixels job, PaperPixels output, bool turned) {
    if (!Usable(job) || !Usable(output)) return kFullScale;
    double a, b;
    bool acrossLong; // 2, 6 and 8 per sheet lay the pages across the sheet's length
    switch (in.pagesPerSheet) {
    case 2:
        a = 1, b = 2, acrossLong = true;
        break;
    case 4:
        a = 2, b = 2, acrossLong = false;
        break;
    case 6:
        a = 2, b = 3, acrossLong = true;
        break;
    case 8:
        a = 2, b = 4, acrossLong = true;
        break;
    case 9:
        a = 3, b = 3, acrossLong = false;
        break;
    case 16:
        a = 4, b = 4, acrossLong = false;
        break;
    default:
        return kFullScale;
    }
    double wo = output.width, ho = output.length;
    double e = (acrossLong ? ho : wo) * 100 / b;
    double f = (acrossLong ? wo : ho) * 100 / a;
    if (!turned) std::swap(e, f);
    double scale = std::min(f / job.width, e / job.length);
    if (std::fabs(scale - kFullScale) >= kSameScale) scale -= kShrinkMargin;
    return Clamp(scale);
}

WORD ComputeBookletScale(const LayoutInputs& in, PaperPixels job, PaperPixels output, bool turned) {
    if (!Usable(job) || !Usable(output)) return kFullScale;
    const int64_t wj = job.width, hj = job.length, wo = output.width, ho = output.length;
    const int64_t half = (ho * 100 - static_cast<int64_t>(in.bindingMargin) * 200) / 2;
    int64_t scale =
        turned ? std::min(wo * 100 / wj, half / hj) : std::min(half / wj, wo * 100 / hj);
    if (scale != kFullScale && !(in.layoutFlags & kBookletExactScale))
        scale -= static_cast<int64_t>(kShrinkMargin);
    return Clamp(static_cast<double>(scale));
}

WORD ComputePosterScale(const LayoutInputs& in, PaperPixels job, PaperPixels output) {
    if (!Usable(job) || !Usable(output)) return kFullScale;
    int64_t c = in.posterAcross, r = in.posterDown;
    const int64_t o = in.posterOverlap;
    if (c <= 0 || r <= 0) return kFullScale;
    int64_t x = output.width, y = output.length;
    if (c != r) {
        std::swap(x, y);
        if (c > r) std::swap(c, r);
    }
    int64_t scale =
        std::min((x * c - o * (c - 1)) * 100 / job.width, (y * r - o * (r - 1)) * 100 / job.length);
    return Clamp(static_cast<double>(scale));
}

WORD ComputeFitScale(PaperPixels job, PaperPixels output) {
    if (!Usable(job) || !Usable(output)) return kFullScale;
    return Clamp(std::min(static_cast<double>(output.length) * 100 / job.length,
                          static_cast<double>(output.width) * 100 / job.width));
}

WORD ComputeLayoutScale(PDEV* pdev, const LayoutInputs& in) {
    if (in.kind == kLayoutZoom) return Clamp(in.zoomPercent);
    PaperPixels job, output;
    if (!GetPaperRect(pdev, in, &job, &output)) return kFullScale;
    const bool reoriented = pdev->devmode.dm.dmOrientation != in.orientation;
    constexpr WORD kTurnPage = 2;
    switch (in.kind) {
    case kLayoutPagesPerSheet:
        return ComputeNupScale(in, job, output, reoriented && in.nupRotation == kTurnPage);
    case kLayoutBooklet:
        return ComputeBookletScale(in, job, output, reoriented && in.bookletRotation == kTurnPage);
    case kLayoutPoster:
        return ComputePosterScale(in, job, output);
    case kLayoutFitToPaper:
        return ComputeFitScale(job, output);
    default:
        return kFullScale;
    }
}

} // namespace inkforge
