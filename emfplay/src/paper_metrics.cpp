// The model's measures of a paper at a resolution: its size in two units and
// its printable area and margins in device pixels, from the model's paper
// table (or, for a paper of the user's own size, the given size with the
// model's margins for such papers).
#include <algorithm>
#include <cstdint>

#include "emf_job.h"
#include "model/model_queries.h"
#include "win/devmode.h"

namespace metaweave {
namespace {

constexpr int kDefaultResolution = 600;
constexpr WORD kUserPaper = 256, kLastModelPaper = 455;
constexpr LONG kTenthMmPerInch = 254;

// Dots at the model's resolution to pixels at the asked one.
LONG ToPixels(LONG dots, int base, int resolution) {
    return static_cast<LONG>(int64_t{dots} * resolution / base);
}

} // namespace

bool CZorEmfFile::GetPaperMetrics(WORD paperSize, LONG width, LONG length, WORD orientation,
                                  int resolution, PaperMetrics* out) const {
    *out = PaperMetrics{};
    if (resolution <= 0) resolution = kDefaultResolution;
    uint16_t unit = 0;
    int base = kDefaultResolution;
    if (Query(model::kQueryPapers, 0, model::layout::kPaperUnit, &unit, sizeof unit) && unit > 0)
        base = unit;
    const bool turned = orientation == DMORIENT_LANDSCAPE;
    LONG across = 0, down = 0, acrossDots = 0, downDots = 0, left = 0, top = 0, printW = 0,
         printH = 0;
    if (paperSize == kUserPaper || paperSize > kLastModelPaper) {
        model::PaperLimitsAnswer limits{};
        if (width <= 0 || length <= 0 ||
            !Query(model::kQueryCustomPaperLimits, 0, model::layout::kLimitsRecord, &limits,
                   sizeof limits))
            return false;
        across = turned ? length : width;
        down = turned ? width : length;
        acrossDots = static_cast<LONG>(int64_t{across} * base / kTenthMmPerInch);
        downDots = static_cast<LONG>(int64_t{down} * base / kTenthMmPerInch);
        const int16_t* m = turned ? limits.turnedMargins : limits.margins;
        left = m[0];
        top = m[1];
        printW = acrossDots - m[0] - m[2];
        printH = downDots - m[1] - m[3];
    } else {
        model::PaperRecordAnswer r{};
        if (!Query(model::kQueryPapers, paperSize, model::layout::kPaperRecord, &r, sizeof r) ||
            r.id != static_cast<int16_t>(paperSize))
            return false;
        // The record holds the paper both ways round.
        across = turned ? r.turnedLength : r.width;
        down = turned ? r.turnedWidth : r.length;
        acrossDots = turned ? r.turnedLengthDots : r.widthDots;
        downDots = turned ? r.turnedWidthDots : r.lengthDots;
        const int16_t* m = turned ? r.turnedMargins : r.margins;
        left = m[0];
        top = m[1];
        printW = turned ? r.turnedPrintableWidthDots : r.printableWidthDots;
        printH = turned ? r.turnedPrintableLengthDots : r.printableLengthDots;
    }
    if (across <= 0 || down <= 0 || printW <= 0 || printH <= 0) return false;
    out->paperSize = paperSize;
    out->width = across;
    out->length = down;
    out->widthInch = static_cast<LONG>(int64_t{across} * 100 / kTenthMmPerInch);
    out->lengthInch = static_cast<LONG>(int64_t{down} * 100 / kTenthMmPerInch);
    out->printableWidth = ToPixels(printW, base, resolution);
    out->printableLength = ToPixels(printH, base, resolution);
    out->leftMargin = ToPixels(std::max<LONG>(left, 0), base, resolution);
    out->topMargin = ToPixels(std::max<LONG>(top, 0), base, resolution);
    return true;
}

} // namespace metaweave
