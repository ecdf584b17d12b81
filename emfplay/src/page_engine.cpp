// The page engine: page collections, the device mode of each sheet side, and
// each page played into its cell with the overlay and the watermark.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "emf_job.h"
#include "emf_page.h"
#include "model/model_queries.h"
#include "overlay_file.h"
#include "win/base.h"
#include "win/gdi_dc.h"

namespace metaweave {
namespace {

// PrivateFlags bits.
constexpr DWORD kCopiesByDriver = 0x8000;
constexpr DWORD kOlderCopyMode = 0x100000;
constexpr DWORD kCoversOn = 0x200000, kFrontCover = 0x400000, kBackCover = 0x800000;
constexpr DWORD kEmfModeReplayed = 4;
constexpr int kSimplex = DMDUP_SIMPLEX;
constexpr int kDefaultResolution = 600;
constexpr DWORD kPaperUser = 256, kPaperLastKnown = 455;
constexpr DWORD kPaperDimensionFields = DM_PAPERLENGTH | DM_PAPERWIDTH;
// Passes of the overlay and the watermark around the page.
constexpr DWORD kOverlayBehind = 2, kOverlayOver = 10;
constexpr DWORD kWatermarkBehind = 0, kWatermarkOver = 8;
// Halvings of a cell at most: a 32-bit coordinate fits 16 bits after them.
constexpr int kMaxHalvings = 16;
// N-up cells lose this many percentage points so that pages keep a gap.
constexpr LONG kNupGapPercent = 4;
// Model flag word 2: the watermark of a zoomed page lies over the whole page.
constexpr DWORD kWholePageWatermark = 0x800;

DEVMODEA* Mode(std::vector<BYTE>& bytes) {
    return reinterpret_cast<DEVMODEA*>(bytes.data());
}
PRIVATE_DEVMODE* PrivateIn(std::vector<BYTE>& bytes) {
    auto* dm = Mode(bytes);
    if (dm->dmDriverExtra < PRIVATE_DEVMODE_SIZE_908) return nullptr;
    return reinterpret_cast<PRIVATE_DEVMODE*>(bytes.data() + dm->dmSize);
}

std::vector<BYTE> CopyOf(const DEVMODEA* dm) {
    if (!dm) return {};
    const BYTE* p = reinterpret_cast<const BYTE*>(dm);
    return std::vector<BYTE>(p, p + dm->dmSize + dm->dmDriverExtra);
}

// Do two pages' device modes need collections of their own?
bool DevmodesDiffer(const DEVMODEA* a, const DEVMODEA* b) {
    if (!a || !b) return true;
    if (a == b || (IsCurrentLayout(a) && IsCurrentLayout(b))) return false;
    PRIVATE_DEVMODE pa = PrivateOf(a), pb = PrivateOf(b);
    if (pa.OverlayFlags != pb.OverlayFlags) return true;
    if ((pa.OverlayFlags & 1) && std::strncmp(pa.OverlayMakeName, pb.OverlayMakeName, 64))
        return true;
    if ((pa.OverlayFlags & 0xE) && std::strncmp(pa.OverlayUseName, pb.OverlayUseName, 64))
        return true;
    if (pa.WatermarkFlags != pb.WatermarkFlags ||
        std::memcmp(pa.WatermarkRecord, pb.WatermarkRecord, sizeof pa.WatermarkRecord))
        return true;
    if (pa.ReverseOrder != pb.ReverseOrder || pa.LayoutKind != pb.LayoutKind) return true;
    LayoutSettings la = LayoutOf(*a, pa, 600), lb = LayoutOf(*b, pb, 600);
    if (la.pagesPerSheet != lb.pagesPerSheet || la.pageOrder != lb.pageOrder ||
        la.borders != lb.borders || la.bookletKind != lb.bookletKind ||
        la.bookletSheets != lb.bookletSheets || la.bindingMargin != lb.bindingMargin ||
        la.posterColumns != lb.posterColumns || la.posterRows != lb.posterRows ||
        la.posterOverlap != lb.posterOverlap || la.fitMode != lb.fitMode ||
        la.zoomPercent != lb.zoomPercent || la.zoomAnchor != lb.zoomAnchor)
        return true;
    if (la.layout == Layout::None) return false;
    const DWORD paperA = pa.OutputPaperId ? pa.OutputPaperId : a->dmPaperSize;
    const DWORD paperB = pb.OutputPaperId ? pb.OutputPaperId : b->dmPaperSize;
    if (la.layout == Layout::Nup && !pa.OutputPaperId && !pb.OutputPaperId) return false;
    return paperA != paperB;
}

// Do two pages go on the same paper from the same source, with the same duplex?
bool SamePaper(const DEVMODEA* a, const DEVMODEA* b) {
    if (!a || !b) return false;
    if (a->dmPaperSize != b->dmPaperSize || a->dmDefaultSource != b->dmDefaultSource ||
        a->dmDuplex != b->dmDuplex)
        return false;
    const DWORD paper = static_cast<WORD>(a->dmPaperSize);
    if (paper == kPaperUser || paper > kPaperLastKnown)
        return a->dmPaperWidth == b->dmPaperWidth && a->dmPaperLength == b->dmPaperLength;
    return true;
}

LONG Scale(LONG v, LONG percent) {
    return static_cast<LONG>(int64_t{v} * percent / 100);
}

// A page header's frame is in hundredths of a millimetre.
constexpr LONG kFrameUnitsPerInch = spoolpkg::kMicrometresPerInch / 10;
// Printing surfaces are whole multiples of this many pixels wide and high.
constexpr LONG kSurfaceStep = 32;

} // namespace

CPageCollection::~CPageCollection() = default;

bool CPageCollection::booklet29Sign() const {
    return (reader_->booklet29()[0] & 0x80) != 0;
}

bool CPageCollection::PageChosen(DWORD selection, DWORD page) const {
    return PageSelected(selection, page);
}

// The resolution of the page: for the current layout one of the model's
// print quality modes, else the model's default mode, else its first.
int CPageCollection::ModelResolution(const DEVMODEA* dm) const {
    const int asked = dm->dmPrintQuality > 0 ? dm->dmPrintQuality : kDefaultResolution;
    if (!IsCurrentLayout(dm)) return asked;
    std::vector<BYTE> list;
    if (!reader_->QueryAll(model::QualityAnswerCode, 0, model::QualityAnswerLayout, &list))
        return asked;
    const size_t entries = list.size() / sizeof(model::QualityAnswer);
    if (!entries) return asked;
    auto entry = [&](size_t i) {
        model::QualityAnswer q;
        std::memcpy(&q, list.data() + i * sizeof q, sizeof q);
        return q;
    };
    for (size_t i = 0; i < entries; ++i)
        if (static_cast<int>(entry(i).x) == asked) return asked;
    int16_t def = 0;
    if (reader_->Query(model::kQueryQualityModes, 0, model::layout::kQualityDefault, &def,
                       sizeof def))
        for (size_t i = 0; i < entries; ++i)
            if (entry(i).id == def) return static_cast<int>(entry(i).x);
    return static_cast<int>(entry(0).x);
}

BOOL CPageCollection::Init(const DEVMODEA* dm) {
    if (!dm) return FALSE;
    firstPageMode_ = CopyOf(dm);
    currentLayout_ = IsCurrentLayout(dm);
    const PRIVATE_DEVMODE p = PrivateOf(dm);
    // Copies: the engine collates when the device mode asks for collated
    // copies the printer does not make itself.
    engineCopies_ = false;
    if (dm->dmCopies >= 2) {
        const bool byDriver = (p.PrivateFlags & kCopiesByDriver) && p.CollateByDriver == 1;
        if (!(p.PrivateFlags & kCopiesByDriver)) {
            engineCopies_ = dm->dmCollate == DMCOLLATE_TRUE;
        } else if (byDriver && (currentLayout_ || !(p.PrivateFlags & kOlderCopyMode))) {
            engineCopies_ = dm->dmCollate == DMCOLLATE_TRUE;
        } else if (byDriver) {
            engineCopies_ = !(p.SortMode == 0 || p.SortMode == 2 || p.SortMode == 4);
        }
    }
    passes_ = engineCopies_ ? static_cast<DWORD>(dm->dmCopies) : 1;
    resolution_ = ModelResolution(dm);
    layout_ = LayoutOf(*dm, p, resolution_);
    overlayFlags_ = p.OverlayFlags;
    overlayPages_ = p.OverlayPages;
    overlayOnTop_ = p.OverlayOnTop;
    std::memcpy(makeName_, p.OverlayMakeName, sizeof makeName_);
    std::memcpy(useName_, p.OverlayUseName, sizeof useName_);
    makeName_[63] = useName_[63] = 0;
    watermarkFlags_ = p.WatermarkFlags;
    std::memcpy(watermark_, p.WatermarkRecord, sizeof watermark_);
    zoom_ = layout_.layout == Layout::Zoom ? layout_.zoomPercent : 100;
    watermarkScale_ = zoom_;
    return TRUE;
}

BOOL CPageCollection::BuildOrder() {
    if (!SelectPage(start_ + 1)) return FALSE;
    const DEVMODEA* first = reader_->PageDevmode(start_ + 1);
    if (!Init(first)) return FALSE;
    const PRIVATE_DEVMODE p = PrivateOf(first);
    bool blank =
        currentLayout_ ? ((p.PrivateFlags & kCopiesByDriver) && p.CollateByDriver == 1) : true;
    if (reader_->deviceFinishesOddDuplex() || first->dmDuplex == kSimplex) blank = false;
    if (layout_.layout != Layout::Nup && layout_.layout != Layout::Booklet) {
        const DEVMODEA* last = reader_->PageDevmode(start_ + pages_);
        if (last && last->dmDuplex == kSimplex) blank = false;
    }
    layout_.blankBacks = blank;
    uint32_t sides = 0;
    if (!metaweave::BuildOrder(layout_, start_, pages_, &order_, &sides)) return FALSE;
    sides_ = sides;
    return TRUE;
}

BOOL CPageCollection::SelectPage(DWORD page) {
    if (!reader_->SelectPage(page)) return FALSE;
    currentPage_ = page;
    return TRUE;
}

std::vector<BYTE> CPageCollection::MakeSideDevmode() {
    const DEVMODEA* page = reader_->PageDevmode(currentPage_);
    // N-up and booklet sides share one mode, made once for the first side;
    // only the cover paper differs between their sides.
    const bool shared =
        currentLayout_ && (layout_.layout == Layout::Nup || layout_.layout == Layout::Booklet);
    std::vector<BYTE> mode = shared && !sharedMode_.empty() ? sharedMode_ : CopyOf(page);
    if (mode.empty()) return mode;
    DEVMODEA* dm = Mode(mode);
    PRIVATE_DEVMODE* p = PrivateIn(mode);
    if (!p) return mode;
    if (!shared || sharedMode_.empty()) {
        p->EmfMode = kEmfModeReplayed;
        p->MetafileSpoolingOff = 1;
        if (layout_.layout != Layout::None && p->OutputPaperId) {
            dm->dmPaperSize = static_cast<short>(p->OutputPaperId);
            dm->dmPaperWidth = p->OutputPaperWidth;
            dm->dmPaperLength = p->OutputPaperLength;
            if (p->OutputPaperId == kPaperUser || p->OutputPaperId > kPaperLastKnown)
                dm->dmFields |= kPaperDimensionFields;
            else
                dm->dmFields &= ~kPaperDimensionFields;
        }
        const bool swap =
            (layout_.layout == Layout::Nup &&
             (layout_.pagesPerSheet == 2 || layout_.pagesPerSheet == 6 ||
              layout_.pagesPerSheet == 8)) ||
            (layout_.layout == Layout::Booklet && layout_.pagesPerSheet == 2) ||
            (layout_.layout == Layout::Poster && layout_.posterColumns != layout_.posterRows);
        if (swap)
            dm->dmOrientation =
                dm->dmOrientation == DMORIENT_LANDSCAPE ? DMORIENT_PORTRAIT : DMORIENT_LANDSCAPE;
        p->WatermarkFlags = 0;
        p->OverlayFlags = 0;
        p->ReverseOrder = 0;
        // The engine makes collated copies itself: the printer must not copy again.
        if (engineCopies_) dm->dmCopies = 1;
        DWORD total = reader_->jobSides();
        if (layout_.blankBacks && total % 2) ++total;
        p->TotalSheets = total;
        if (shared) sharedMode_ = mode;
    }
    if (currentLayout_) {
        const bool duplex = dm->dmDuplex != kSimplex;
        // The second side of the front cover sheet is on cover paper too when
        // every page of the sheet is: N-up and booklet sides share one mode.
        const bool secondOnCover =
            currentSide_ == 2 && duplex &&
            (shared || SamePaper(reader_->PageDevmode(start_ + 1),
                                 pages_ >= 2 ? reader_->PageDevmode(start_ + 2) : nullptr));
        if (currentSide_ == 0 && frontCoverSides) {
            dm->dmDefaultSource = static_cast<short>(p->FrontCoverSource);
            dm->dmMediaType = 1;
        } else if (currentSide_ == sides_ + 1 && backCoverSides) {
            dm->dmDefaultSource = static_cast<short>(p->BackCoverSource);
            dm->dmMediaType = 1;
        } else if (p->FrontCoverPrinted && (currentSide_ == 1 || secondOnCover)) {
            dm->dmDefaultSource = static_cast<short>(p->FrontCoverSource);
            dm->dmMediaType = p->FrontCoverMedia;
        } else if (p->BackCoverPrinted && (currentSide_ == sides_ || (currentSide_ + 1 == sides_ &&
                                                                      duplex && sides_ % 2 == 0))) {
            dm->dmDefaultSource = static_cast<short>(p->BackCoverSource);
            dm->dmMediaType = p->BackCoverMedia;
        }
    }
    return mode;
}

DWORD CPageCollection::CountSides() const {
    if (layout_.layout == Layout::Poster)
        return layout_.posterColumns * layout_.posterRows * pages_;
    const DWORD last = start_ + pages_;
    DWORD count = 0;
    const DEVMODEA* previous = nullptr;
    for (uint32_t cell : order_) {
        if (cell == 0 || cell > last) continue;
        const DEVMODEA* dm = reader_->PageDevmode(cell);
        if (previous && !SamePaper(previous, dm) &&
            !(previous->dmDuplex == kSimplex && dm && dm->dmDuplex == kSimplex))
            count += count % 2;
        ++count;
        previous = dm;
    }
    return count;
}

HDC CPageCollection::CreateDC() {
    currentSide_ = 1;
    if (!SelectPage(start_ + 1)) return nullptr;
    std::vector<BYTE> mode = MakeSideDevmode();
    if (mode.empty()) return nullptr;
    HDC hdc = CreateDCA(nullptr, reader_->PrinterName().c_str(), nullptr, Mode(mode));
    if (hdc) {
        firstDcMode_ = mode;
        lastMode_ = mode;
    }
    return hdc;
}

BOOL CPageCollection::ResetSideDC(HDC hdc) {
    std::vector<BYTE> mode = MakeSideDevmode();
    if (mode.empty()) {
        ShowPrintMessage(kMsgNoMemory);
        return FALSE;
    }
    if (mode != lastMode_) {
        if (!ResetDCA(hdc, Mode(mode))) {
            ShowPrintMessage(kMsgPrintFailed);
            return FALSE;
        }
        lastMode_ = mode;
    }
    if (firstDcMode_.empty()) firstDcMode_ = mode;
    SetGraphicsMode(hdc, GM_ADVANCED);
    return TRUE;
}

BOOL CPageCollection::EmptySide(HDC hdc, const std::vector<BYTE>&) {
    if (StartPage(hdc) <= 0 || EndPage(hdc) <= 0) {
        ShowPrintMessage(kMsgPrintFailed);
        return FALSE;
    }
    return TRUE;
}

BOOL CPageCollection::PrintCopy(HDC hdc) {
    SelectPage(layout_.reverse ? start_ + pages_ : start_ + 1);
    currentSide_ = 0;
    for (DWORD i = 0; i < frontCoverSides; ++i)
        if (!ResetSideDC(hdc) || !EmptySide(hdc, lastMode_)) return FALSE;
    const DWORD a = std::max<DWORD>(CellsPerSide(layout_), 1);
    const DWORD last = start_ + pages_;
    DWORD printed = 0;
    bool open = false;
    for (size_t i = 0; i < order_.size(); ++i) {
        const DWORD cell = static_cast<DWORD>(i % a);
        if (cell == 0) {
            ++currentSide_;
            // A side of blank cells only keeps the previous side's mode.
            bool anyPage = false;
            for (DWORD k = 0; k < a && i + k < order_.size(); ++k)
                anyPage |= order_[i + k] <= last;
            if (anyPage) {
                for (DWORD k = 0; k < a; ++k)
                    if (order_[i + k] <= last) {
                        SelectPage(order_[i + k]);
                        break;
                    }
            }
            if (!ResetSideDC(hdc)) return FALSE;
            if (StartPage(hdc) <= 0) {
                ShowPrintMessage(kMsgPrintFailed);
                return FALSE;
            }
            open = true;
        }
        if (order_[i] <= last) {
            SelectPage(order_[i]);
            if (!PlayCell(hdc, cell)) return FALSE;
            if (reader_->cancelled()) return FALSE;
        }
        if (cell == a - 1) {
            if (EndPage(hdc) <= 0) {
                ShowPrintMessage(kMsgPrintFailed);
                return FALSE;
            }
            open = false;
            ++printed;
        }
    }
    if (open) {
        if (EndPage(hdc) <= 0) {
            ShowPrintMessage(kMsgPrintFailed);
            return FALSE;
        }
        ++printed;
    }
    // An odd count of sides leaves the last sheet's back empty; without N-up
    // or booklet, each change of paper in duplex starts a sheet of its own.
    const DWORD counted =
        layout_.layout == Layout::Nup || layout_.layout == Layout::Booklet ? printed : CountSides();
    if (layout_.blankBacks && counted % 2 && !EmptySide(hdc, lastMode_)) return FALSE;
    currentSide_ = sides_ + 1;
    for (DWORD i = 0; i < backCoverSides; ++i)
        if (!ResetSideDC(hdc) || !EmptySide(hdc, lastMode_)) return FALSE;
    return TRUE;
}

LONG CPageCollection::FitScale(const CellSizes& s, LONG width, LONG height, bool gap) {
    LONG scale = static_cast<LONG>(
        std::min(int64_t{width} * 100 / s.pageW, int64_t{height} * 100 / s.pageH));
    if (gap && scale != 100) scale = std::max<LONG>(scale - kNupGapPercent, 1);
    return scale;
}

bool CPageCollection::PageSizes(HDC hdc, HENHMETAFILE page, CellSizes* s) const {
    ENHMETAHEADER h{};
    if (!GetEnhMetaFileHeader(page, sizeof h, &h)) return false;
    const LONG dpiX = std::max(GetDeviceCaps(hdc, LOGPIXELSX), 1);
    const LONG dpiY = std::max(GetDeviceCaps(hdc, LOGPIXELSY), 1);
    s->sheetW = GetDeviceCaps(hdc, HORZRES);
    s->sheetH = GetDeviceCaps(hdc, VERTRES);
    // The page's printable size at the side's resolution: from the header's
    // micrometres where it has them (its frame is rounded to whole
    // millimetres, up to 6 pixels off at 600 dots an inch), else the frame.
    s->pageW =
        static_cast<LONG>(int64_t{h.rclFrame.right - h.rclFrame.left} * dpiX / kFrameUnitsPerInch);
    s->pageH =
        static_cast<LONG>(int64_t{h.rclFrame.bottom - h.rclFrame.top} * dpiY / kFrameUnitsPerInch);
    if (h.szlMicrometers.cx > 0 && h.szlMicrometers.cy > 0) {
        s->pageW = static_cast<LONG>(
            std::lround(h.szlMicrometers.cx * double(dpiX) / spoolpkg::kMicrometresPerInch));
        s->pageH = static_cast<LONG>(
            std::lround(h.szlMicrometers.cy * double(dpiY) / spoolpkg::kMicrometresPerInch));
    }
    return s->pageW > 0 && s->pageH > 0 && s->sheetW > 0 && s->sheetH > 0;
}

bool CPageCollection::TurnsPage(const DEVMODEA* pageMode) {
    const PRIVATE_DEVMODE pagePriv = PrivateOf(pageMode);
    const WORD direction =
        layout_.layout == Layout::Booklet ? pagePriv.BookletRotation : pagePriv.NupRotation;
    turn_ = kNoTurn;
    if (reader_->SupportsWorldTransform() && CellsPerSide(layout_) > 1 && pageMode &&
        (pageMode->dmOrientation == DMORIENT_LANDSCAPE) != layout_.landscape &&
        direction != kNoTurn)
        turn_ = currentLayout_ ? direction : 1;
    return turn_ != kNoTurn;
}

void CPageCollection::PlaceScaled(const CellSizes& s, const RECT& cell, LONG scaleX, LONG scaleY,
                                  RECT* target, RECT* clip) {
    const LONG w = Scale(s.pageW, scaleX), hh = Scale(s.pageH, scaleY);
    const LONG x = cell.left + (cell.right - cell.left - w) / 2;
    const LONG y = cell.top + (cell.bottom - cell.top - hh) / 2;
    *target = {x, y, x + w, y + hh};
    *clip = cell;
    if (layout_.layout != Layout::Nup) {
        wholePage_ = {0, 0, s.sheetW, s.sheetH};
        wholePageValid_ = true;
    }
    zoom_ = static_cast<DWORD>(scaleX);
    watermarkScale_ = zoom_;
}

void CPageCollection::NupCell(const CellSizes& s, DWORD position, RECT* target, RECT* clip) {
    const Grid g = NupGrid(layout_.pagesPerSheet, layout_.landscape);
    const LONG cw = s.sheetW / static_cast<LONG>(g.columns),
               ch = s.sheetH / static_cast<LONG>(g.rows);
    const LONG col = static_cast<LONG>(position % g.columns),
               row = static_cast<LONG>(position / g.columns);
    const RECT cell{col * cw, row * ch, (col + 1) * cw, (row + 1) * ch};
    const LONG scale = FitScale(s, cw, ch, true);
    PlaceScaled(s, cell, scale, scale, target, clip);
}

void CPageCollection::BookletCell(const CellSizes& s, DWORD position, RECT* target, RECT* clip) {
    const LayoutSettings& l = layout_;
    if (l.pagesPerSheet == 2) {
        const LONG half = s.sheetW / 2, shift = static_cast<LONG>(l.bindingMargin / 2);
        RECT cell = position == 0 ? RECT{0, 0, half, s.sheetH} : RECT{half, 0, s.sheetW, s.sheetH};
        const LONG scale = FitScale(s, half - shift, s.sheetH, !(booklet29Sign()));
        const LONG dx = position == 0 ? -shift : shift;
        cell.left += dx;
        cell.right += dx;
        PlaceScaled(s, cell, scale, scale, target, clip);
        return;
    }
    // One page per side without short-edge duplex: it leaves the binding
    // margin free and moves away from the binding edge, which lies on the
    // other side of the sheet on the back.
    const RECT sheet{0, 0, s.sheetW, s.sheetH};
    const LONG margin = std::min<LONG>(static_cast<LONG>(l.bindingMargin), s.sheetW - 1);
    const LONG scale = std::min<LONG>(100, FitScale(s, s.sheetW - margin, s.sheetH, false));
    const LONG w = Scale(s.pageW, scale), hh = Scale(s.pageH, scale);
    const bool front = currentSide_ % 2 == 1;
    const LONG shift = (front == (l.bookletKind != kBindRight)) ? margin / 2 : -(margin / 2);
    const LONG x = (s.sheetW - w) / 2 + shift, y = (s.sheetH - hh) / 2;
    *target = {x, y, x + w, y + hh};
    *clip = sheet;
    wholePage_ = sheet;
    wholePageValid_ = true;
    zoom_ = static_cast<DWORD>(scale);
    watermarkScale_ = zoom_;
}

void CPageCollection::PosterCell(const CellSizes& s, const DEVMODEA* pageMode, RECT* target,
                                 RECT* clip) {
    const LayoutSettings& l = layout_;
    LONG cols = static_cast<LONG>(l.posterColumns), rows = static_cast<LONG>(l.posterRows);
    // The tiles lie the other way round than the page: the grid turns
    // with them unless it already runs along the page's longer side.
    const bool landscapePage = pageMode && pageMode->dmOrientation == DMORIENT_LANDSCAPE;
    if (cols != rows && !(landscapePage ? cols > rows : rows > cols)) std::swap(cols, rows);
    const LONG f = static_cast<LONG>(l.posterOverlap);
    const LONG posterW = cols * s.sheetW - (cols - 1) * f,
               posterH = rows * s.sheetH - (rows - 1) * f;
    const LONG scale = FitScale(s, posterW, posterH, false);
    const LONG w = Scale(s.pageW, scale), hh = Scale(s.pageH, scale);
    const DWORD tile = (currentSide_ - 1) % static_cast<DWORD>(cols * rows);
    const LONG i = static_cast<LONG>(tile) / cols, j = static_cast<LONG>(tile) % cols;
    const LONG ox = (posterW - w) / 2 - j * (s.sheetW - f),
               oy = (posterH - hh) / 2 - i * (s.sheetH - f);
    *target = {ox, oy, ox + w, oy + hh};
    *clip = {0, 0, s.sheetW, s.sheetH};
    zoom_ = static_cast<DWORD>(scale);
    watermarkScale_ = zoom_;
}

void CPageCollection::ZoomCell(const CellSizes& s, RECT* target, RECT* clip) {
    const LayoutSettings& l = layout_;
    const RECT sheet{0, 0, s.sheetW, s.sheetH};
    const LONG scale = static_cast<LONG>(l.zoomPercent);
    wholePage_ = sheet;
    wholePageValid_ = true;
    const LONG w = Scale(s.pageW, scale), hh = Scale(s.pageH, scale);
    LONG x = 0, y = 0;
    const DWORD a = l.zoomAnchor;
    if (a == 1 || a == 4 || a == 7) x = (s.sheetW - w) / 2;
    if (a == 2 || a == 5 || a == 8) x = s.sheetW - w;
    if (a >= 3 && a <= 5) y = (s.sheetH - hh) / 2;
    if (a >= 6 && a <= 8) y = s.sheetH - hh;
    *target = {x, y, x + w, y + hh};
    *clip = sheet;
    zoom_ = static_cast<DWORD>(scale);
    // A watermark over the whole page keeps its own size.
    watermarkScale_ = (reader_->modelFlags2() & kWholePageWatermark) ? 100 : zoom_;
}

void CPageCollection::PaperCell(const CellSizes& s, RECT* target, RECT* clip) {
    const RECT sheet{0, 0, s.sheetW, s.sheetH};
    if (layout_.layout == Layout::Fit) {
        // Bit 0: each axis to its own scale.
        const LONG scale = FitScale(s, s.sheetW, s.sheetH, false);
        if (layout_.fitMode & 1)
            PlaceScaled(s, sheet, static_cast<LONG>(int64_t{s.sheetW} * 100 / s.pageW),
                        static_cast<LONG>(int64_t{s.sheetH} * 100 / s.pageH), target, clip);
        else
            PlaceScaled(s, sheet, scale, scale, target, clip);
        return;
    }
    if (s.pageW - s.sheetW < kSurfaceStep && s.pageH - s.sheetH < kSurfaceStep) {
        // The page on its own paper, as recorded. A printing surface is a
        // whole number of 32-pixel steps, so the page may claim a few pixels
        // more than the sheet: it was drawn on a surface of the sheet's size
        // and keeps its corner where the sheet's is.
        *target = {0, 0, s.pageW, s.pageH};
        if (s.pageW < s.sheetW)
            target->left = (s.sheetW - s.pageW) / 2, target->right += target->left;
        if (s.pageH < s.sheetH)
            target->top = (s.sheetH - s.pageH) / 2, target->bottom += target->top;
        *clip = sheet;
        wholePage_ = sheet;
        wholePageValid_ = true;
        zoom_ = watermarkScale_ = 100;
        return;
    }
    // The page on its own paper, larger than the sheet: made smaller.
    const LONG scale = std::min<LONG>(100, FitScale(s, s.sheetW, s.sheetH, false));
    PlaceScaled(s, sheet, scale, scale, target, clip);
}

bool CPageCollection::CellRects(HDC hdc, DWORD position, HENHMETAFILE page, RECT* target,
                                RECT* clip) {
    CellSizes s;
    if (!PageSizes(hdc, page, &s)) return false;
    // A page of the other orientation among several per side is turned.
    const DEVMODEA* pageMode = reader_->PageDevmode(currentPage_);
    if (TurnsPage(pageMode)) std::swap(s.pageW, s.pageH);
    wholePageValid_ = false;
    switch (layout_.layout) {
    case Layout::Nup:
        NupCell(s, position, target, clip);
        break;
    case Layout::Booklet:
        BookletCell(s, position, target, clip);
        break;
    case Layout::Poster:
        PosterCell(s, pageMode, target, clip);
        break;
    case Layout::Zoom:
        ZoomCell(s, target, clip);
        break;
    case Layout::Fit:
    case Layout::None:
        PaperCell(s, target, clip);
        break;
    }
    return true;
}

RECT CPageCollection::RotateCell(HDC hdc, const RECT& target) const {
    XFORM x{};
    if (turn_ == 0) { // (x, y) -> (left + y, bottom - x)
        x.eM12 = -1, x.eM21 = 1;
        x.eDx = static_cast<FLOAT>(target.left), x.eDy = static_cast<FLOAT>(target.bottom);
    } else { // (x, y) -> (right - y, top + x)
        x.eM12 = 1, x.eM21 = -1;
        x.eDx = static_cast<FLOAT>(target.right), x.eDy = static_cast<FLOAT>(target.top);
    }
    SetWorldTransform(hdc, &x);
    return RECT{0, 0, target.bottom - target.top, target.right - target.left};
}

void CPageCollection::DrawBorders(HDC hdc, const RECT& clip) const {
    if (layout_.layout != Layout::Nup || !layout_.borders) return;
    // A 3-pixel frame inset by 4 pixels (2 from a zero edge).
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(0, 0, 0));
    HGDIOBJ oldPen = SelectObject(hdc, pen);
    HGDIOBJ oldBrush = SelectObject(hdc, GetStockObject(NULL_BRUSH));
    Rectangle(hdc, clip.left ? clip.left + 4 : 2, clip.top ? clip.top + 4 : 2, clip.right - 4,
              clip.bottom - 4);
    SelectObject(hdc, oldBrush);
    SelectObject(hdc, oldPen);
    DeleteObject(pen);
}

namespace {

// A system without world transforms takes 16-bit coordinates only: the cell
// is halved until it fits, and drawn through a mapping that doubles it back
// as often.
void PlayWithin16Bits(HDC hdc, HENHMETAFILE page, const RECT& target, DWORD zoom) {
    int shift = 0;
    auto fits = [&](LONG v) {
        v >>= shift;
        return v >= INT16_MIN && v <= INT16_MAX;
    };
    while (shift < kMaxHalvings &&
           !(fits(target.left) && fits(target.top) && fits(target.right) && fits(target.bottom)))
        ++shift;
    if (!shift) {
        PlayPageMetafile(hdc, page, target, zoom);
        return;
    }
    const int saved = SaveDC(hdc);
    SetMapMode(hdc, MM_ANISOTROPIC);
    const LONG w = std::max<LONG>(GetDeviceCaps(hdc, HORZRES) >> shift, 1);
    const LONG h = std::max<LONG>(GetDeviceCaps(hdc, VERTRES) >> shift, 1);
    SetWindowExtEx(hdc, w, h, nullptr);
    SetViewportExtEx(hdc, w << shift, h << shift, nullptr);
    const RECT halved{target.left >> shift, target.top >> shift, target.right >> shift,
                      target.bottom >> shift};
    PlayPageMetafile(hdc, page, halved, zoom);
    RestoreDC(hdc, saved);
}

} // namespace

BOOL CPageCollection::PlayCell(HDC hdc, DWORD position) {
    HENHMETAFILE page = reader_->GetPageMetafile(currentPage_);
    RECT target{}, clip{};
    if (!page || !CellRects(hdc, position, page, &target, &clip)) {
        ShowPrintMessage(kMsgPrintFailed);
        return FALSE;
    }
    const PRIVATE_DEVMODE p = PrivateOf(reader_->PageDevmode(currentPage_));
    HRGN region = nullptr;
    if (!(p.LayoutKind & kLayoutNoClip)) {
        region = CreateRectRgn(clip.left, clip.top, clip.right, clip.bottom);
        SelectClipRgn(hdc, region);
    }
    DrawOverlay(hdc, kOverlayBehind, target, region);
    DrawWatermark(hdc, clip, kWatermarkBehind, region);
    if (turn_ != kNoTurn) {
        PlayPageMetafile(hdc, page, RotateCell(hdc, target), zoom_);
        ModifyWorldTransform(hdc, nullptr, MWT_IDENTITY);
    } else if (!reader_->SupportsWorldTransform()) {
        PlayWithin16Bits(hdc, page, target, zoom_);
    } else {
        PlayPageMetafile(hdc, page, target, zoom_);
    }
    DrawOverlay(hdc, kOverlayOver, target, region);
    DrawWatermark(hdc, clip, kWatermarkOver, region);
    SelectClipRgn(hdc, nullptr);
    if (region) DeleteObject(region);
    DrawBorders(hdc, clip);
    return !reader_->cancelled();
}

// ---------------------------------------------------------------------------

BOOL CZorEmfFile::BuildPageCollections() {
    const DWORD n = PageCount();
    if (!n) return FALSE;
    collections_.clear();
    jobSides_ = 0;
    for (DWORD page = 1; page <= n; ++page) {
        if (page == 1 || DevmodesDiffer(PageDevmode(page - 1), PageDevmode(page)))
            collections_.push_back(std::make_unique<CPageCollection>(this, page - 1));
        collections_.back()->AddPage();
    }
    for (auto& c : collections_) {
        if (!c->BuildOrder()) return FALSE;
        jobSides_ += c->sides();
    }
    // Blank cover sheets around the whole job.
    auto coverSides = [&](const CPageCollection& c, DWORD which) -> DWORD {
        const DEVMODEA* dm = PageDevmode(c.start() + 1);
        if (!IsCurrentLayout(dm)) return 0;
        const PRIVATE_DEVMODE p = PrivateOf(dm);
        const bool copies = (p.PrivateFlags & kCopiesByDriver) && p.CollateByDriver == 1 &&
                            (dm->dmFields & DM_COPIES) && dm->dmCopies >= 2;
        if (!(p.PrivateFlags & kCoversOn) || !copies) return 0;
        if (which == kFrontCover)
            return (p.PrivateFlags & kFrontCover) && (p.CoverFlags & 1) && !p.FrontCoverPrinted
                       ? (dm->dmDuplex == kSimplex ? 1 : 2)
                       : 0;
        const DEVMODEA* last = PageDevmode(c.start() + c.pageCount());
        return (p.PrivateFlags & kBackCover) && (p.CoverFlags & 2) && !p.BackCoverPrinted
                   ? (last && last->dmDuplex != kSimplex ? 2 : 1)
                   : 0;
    };
    collections_.front()->frontCoverSides = coverSides(*collections_.front(), kFrontCover);
    collections_.back()->backCoverSides = coverSides(*collections_.back(), kBackCover);
    jobSides_ += collections_.front()->frontCoverSides + collections_.back()->backCoverSides;
    return TRUE;
}

BOOL CZorEmfFile::PrintJob(HDC hdc) {
    LoadJobFonts();
    BOOL ok = TRUE;
    bool first = true;
    for (auto& c : collections_) {
        if (c->makesOverlay()) {
            ok = c->MakeOverlayFile();
        } else {
            if (!hdc) ok = FALSE;
            if (ok && !first && !c->ResetSideDC(hdc)) ok = FALSE;
            for (DWORD pass = 0; ok && pass < c->copyPasses(); ++pass)
                ok = c->PrintCopy(hdc);
            first = false;
        }
        if (!ok) break;
    }
    UnloadJobFonts();
    return ok;
}

} // namespace metaweave
