// The page renderer: the decoder's typed tokens drive a small graphics state
// and a path (curves flattened to points). cairo turns each fill and stroke
// into a coverage mask, with the fill mode, the pen's width, line caps, joins
// and dashes; the mask's pixels are then combined with the page by the
// raster operation in force, which no drawing library does for us.
#include "streamdump/page_render.h"

#include "streamdump/images.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <optional>

#include "opcodes.h"
#include "text_render.h"

namespace streamdump {
namespace {

using namespace stream;
using namespace token;

constexpr double kCoordLimit = 1e6; // dots; keeps relative runs bounded
// Path points, pixels swept by the path's edges and mask pixels visited per page.
constexpr double kWorkBudget = 100e6;
constexpr int kBezierSteps = 24;
constexpr int kFallbackPaper = 9; // A4
constexpr double kMmPerInch = 25.4;
// The printer cannot print within this of any paper edge; its coordinates
// start at the corner of the area it can print.
constexpr double kUnprintableMarginInch = 1.0 / 6;
constexpr std::size_t kMaxPathPoints = 4'000'000; // flattened points held in one path
constexpr double kMaxDashSegments = 1e6;     // dashes drawn along one path; more are drawn solid
constexpr double kMinPenPixels = 1;          // a thinner pen would vanish at this scale
constexpr long kMaxPatternPixels = 1L << 24; // larger raster patterns are skipped
constexpr long kMaxPatternSide = 0xFFFF;
// Colour mappings and depths of a raster pattern.
constexpr long kMappingDirect = 0, kMappingIndexed = 1;
constexpr int kDepthBits[] = {1, 4, 8};
constexpr long kTransferTransparent = 1;
constexpr int kMaxPatternSamples = 4; // per side of a page pixel

// The raster operation a page starts with: source or pattern over the page.
constexpr std::uint8_t kRopDefault = 0xFC;

// Line cap and join codes of the stream.
constexpr long kCapButt = 0, kCapRound = 1, kCapSquare = 2;
constexpr long kJoinMiter = 0, kJoinRound = 1, kJoinNone = 3; // 2: bevel

struct Pt {
    double x = 0, y = 0;
};

double ClampCoord(double v) {
    return std::clamp(v, -kCoordLimit, kCoordLimit);
}

struct Color {
    std::uint8_t r = 0, g = 0, b = 0;
};

// A raster pattern of the stream, as colours: repeated from the page origin,
// each pattern pixel covering `dotsX` x `dotsY` dots.
struct RasterPattern {
    long width = 0, height = 0;
    double dotsX = 1, dotsY = 1;
    std::vector<Color> pixels;
    const Color& At(double x, double y) const {
        auto wrap = [](double v, long n) {
            long i = static_cast<long>(std::floor(v)) % n;
            return i < 0 ? i + n : i;
        };
        return pixels[static_cast<std::size_t>(wrap(y / dotsY, height) * width +
                                               wrap(x / dotsX, width))];
    }
};

// The bytes of one pattern row: indexed rows and colour rows padded to 16
// bits; gray rows (a colour pattern on a gray page) one byte a pixel.
std::size_t PatternRowBytes(long width, int bits) {
    return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 15) / 16 * 2;
}

struct Subpath {
    std::vector<Pt> pts;
    bool closed = false;
};

// A ternary raster operation on one byte of source, pattern and destination:
// bit (p << 2 | s << 1 | d) of the code is the result for those input bits.
std::uint8_t Rop3(std::uint8_t rop, std::uint8_t s, std::uint8_t p, std::uint8_t d) {
    std::uint8_t out = 0;
    for (int i = 0; i < 8; ++i) {
        if (!((rop >> i) & 1)) continue;
        std::uint8_t term =
            static_cast<std::uint8_t>((i & 4 ? p : ~p) & (i & 2 ? s : ~s) & (i & 1 ? d : ~d));
        out = static_cast<std::uint8_t>(out | term);
    }
    return out;
}

class PageRenderer {
  public:
    PageRenderer(PageImage* img, TextRenderer* text, const std::uint8_t* data, std::size_t size)
        : img_(img), text_(text), data_(data), size_(size) {
        clip_ = {0, 0, static_cast<double>(img->width), static_cast<double>(img->height)};
        mask_ = cairo_image_surface_create(CAIRO_FORMAT_A8, img->width, img->height);
        cr_ = cairo_create(mask_);
        cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
    }
    ~PageRenderer() {
        cairo_destroy(cr_);
        cairo_surface_destroy(mask_);
    }
    PageRenderer(const PageRenderer&) = delete;
    PageRenderer& operator=(const PageRenderer&) = delete;
    // The raster operation in force, which images obey too.
    std::uint8_t rop() const { return rop_; }

    void Run(int op, const Token& o) {
        switch (op) {
        case kSetBrushSource:
            SetSource(o, &brush_, &noBrush_, &brushPattern_, kNullBrush);
            break;
        case kSetPenSource:
            SetSource(o, &pen_, &noPen_, &penPattern_, kNullPen);
            break;
        case kBeginRasterPattern:
            BeginPattern(o);
            break;
        case kReadRasterPattern:
            PatternRows(o);
            break;
        case kEndRasterPattern:
            if (!defining_) return Skip();
            patterns_[definingId_] = std::move(*defining_);
            defining_.reset();
            break;
        case kSetPenWidth:
            if (auto* v = Num(o, kPenWidth))
                penWidth_ = std::clamp((*v)[0], 0.0, 65535.0);
            else
                Skip();
            break;
        case kSetFillMode:
            if (auto* v = Num(o, kFillMode))
                evenOdd_ = (*v)[0] == 1;
            else
                Skip();
            break;
        case kSetLineCap:
            if (auto* v = Num(o, kLineCap);
                v && (*v)[0] >= double(kCapButt) && (*v)[0] <= double(kCapSquare))
                cap_ = static_cast<long>((*v)[0]);
            else
                Skip();
            break;
        case kSetLineJoin:
            if (auto* v = Num(o, kLineJoin);
                v && (*v)[0] >= double(kJoinMiter) && (*v)[0] <= double(kJoinNone))
                join_ = static_cast<long>((*v)[0]);
            else
                Skip();
            break;
        case kSetMiterLimit:
            if (auto* v = Num(o, kMiterLength))
                miterLimit_ = std::clamp((*v)[0], 1.0, 1000.0);
            else
                Skip();
            break;
        case kSetLineDash:
            if (o.Find(kSolidLine)) {
                dashes_.clear();
            } else if (auto* v = Num(o, kDashStyle)) {
                dashes_.clear();
                for (double d : *v)
                    dashes_.push_back(std::max(d, 1.0));
            } else {
                Skip();
            }
            break;
        case kSetRasterOperation:
            if (auto* v = Num(o, kRasterOperation); v && (*v)[0] >= 0 && (*v)[0] <= 255)
                rop_ = static_cast<std::uint8_t>((*v)[0]);
            else
                Skip();
            break;
        case kSetClipRectangle: {
            auto* v = Num(o, kBoundingBox);
            if (!v || v->size() != 4) return Skip();
            double s = img_->scale;
            clip_ = {std::clamp((*v)[0] * s, 0.0, double(img_->width)),
                     std::clamp((*v)[1] * s, 0.0, double(img_->height)),
                     std::clamp((*v)[2] * s, 0.0, double(img_->width)),
                     std::clamp((*v)[3] * s, 0.0, double(img_->height))};
            break;
        }
        case kNewPath:
            path_.clear();
            pathPoints_ = 0;
            break;
        case kSetCursor: {
            auto* v = Num(o, kPoint);
            if (!v || v->size() != 2) return Skip();
            cursor_ = {ClampCoord((*v)[0]), ClampCoord((*v)[1])};
            if (pathPoints_ >= kMaxPathPoints) return Skip();
            ++pathPoints_;
            path_.push_back({{cursor_}, false});
            break;
        }
        case kCloseSubpath:
            if (!path_.empty() && !path_.back().pts.empty()) {
                path_.back().closed = true;
                cursor_ = path_.back().pts.front();
            }
            break;
        case kLinePath:
        case kLinePathRelative:
            Lines(o, op == kLinePathRelative);
            break;
        case kBezierPath:
        case kBezierPathRelative:
            Beziers(o, op == kBezierPathRelative);
            break;
        case kRectanglePath:
        case kRectangle: {
            auto* v = Num(o, kBoundingBox);
            if (!v || v->size() != 4) return Skip();
            Subpath r;
            double l = (*v)[0], t = (*v)[1], rt = (*v)[2], bt = (*v)[3];
            r.pts = {{l, t}, {rt, t}, {rt, bt}, {l, bt}};
            r.closed = true;
            if (op == kRectanglePath) {
                if (pathPoints_ >= kMaxPathPoints) return Skip();
                pathPoints_ += 4;
                path_.push_back(std::move(r));
            } else {
                std::vector<Subpath> one{std::move(r)};
                Paint(one);
            }
            break;
        }
        case kPaintPath:
            Paint(path_);
            break;
        // A transparent paint leaves the page under a pattern's white pixels.
        case kSetPaintTransferMode:
            if (auto* v = Num(o, kTransferMode))
                paintTransparent_ = (*v)[0] == double(kTransferTransparent);
            else
                Skip();
            break;
        case kSetSourceTransferMode:
            break;
        default:
            if (!Text(op, o)) Skip();
            break;
        }
    }

    void Skip() { ++img_->skipped; }

  private:
    struct Rect {
        double l, t, r, b;
    };

    static const std::vector<double>* Num(const Token& o, int id) {
        const TokenValue* v = o.Find(id);
        if (!v || v->numbers.empty()) return nullptr;
        for (double d : v->numbers)
            if (!std::isfinite(d)) return nullptr;
        return &v->numbers;
    }

    void SetSource(const Token& o, Color* c, bool* none, const RasterPattern** pattern,
                   int noneId) {
        *pattern = nullptr;
        if (o.Find(noneId)) {
            *none = true;
        } else if (auto* g = Num(o, kGrayLevel)) {
            auto l = static_cast<std::uint8_t>(std::clamp((*g)[0], 0.0, 255.0));
            *c = {l, l, l};
            *none = false;
        } else if (auto* rgb = Num(o, kRgbColour)) {
            auto at = [&](std::size_t i) {
                return static_cast<std::uint8_t>(std::clamp((*rgb)[i], 0.0, 255.0));
            };
            *c = rgb->size() >= 3 ? Color{at(0), at(1), at(2)} : Color{at(0), at(0), at(0)};
            *none = false;
        } else if (long id = 0; o.Find(kPatternSelectId) && o.Find(kPatternSelectId)->Whole(&id) &&
                                patterns_.count(id)) {
            *pattern = &patterns_[id];
            *none = false;
        } else {
            // An unknown pattern or something else: shown as mid gray so the shape stays visible.
            *c = {128, 128, 128};
            *none = false;
            Skip();
        }
    }

    // "Begin raster pattern": the pattern's size, colours and id.
    void BeginPattern(const Token& o) {
        defining_.reset();
        long mapping = -1, depth = -1, w = 0, h = 0, id = 0;
        const TokenValue* m = o.Find(kColourMapping);
        const TokenValue* d = o.Find(kColourDepth);
        const TokenValue* wv = o.Find(kSourceWidth);
        const TokenValue* hv = o.Find(kSourceHeight);
        const TokenValue* iv = o.Find(kPatternDefineId);
        auto* dest = Num(o, kDestinationSize);
        if (!m || !m->Whole(&mapping) || !d || !d->Whole(&depth) || !wv || !wv->Whole(&w) || !hv ||
            !hv->Whole(&h) || !iv || !iv->Whole(&id) || !dest || dest->size() != 2 ||
            (mapping != kMappingDirect && mapping != kMappingIndexed) || depth < 0 || depth > 2 ||
            w < 1 || h < 1 || w > kMaxPatternSide || h > kMaxPatternSide ||
            w * h > kMaxPatternPixels || (*dest)[0] < 1 || (*dest)[1] < 1)
            return Skip();
        RasterPattern p;
        p.width = w;
        p.height = h;
        p.dotsX = (*dest)[0] / double(w);
        p.dotsY = (*dest)[1] / double(h);
        p.pixels.assign(static_cast<std::size_t>(w * h), Color{255, 255, 255});
        defining_ = std::move(p);
        definingId_ = id;
        definingBits_ = mapping == kMappingDirect ? 24 : kDepthBits[depth];
        patternSeed_.clear();
    }

    // "Read raster pattern": a block of rows. Indexed pixels carry no palette
    // in the stream: the printer's default gray ramp gives their colours (0
    // black up to white). Direct rows are three bytes a pixel (red, green,
    // blue), or on a gray page one gray byte, which the block's length shows.
    void PatternRows(const Token& o) {
        long start = -1, count = -1, compression = -1;
        const TokenValue* s = o.Find(kStartLine);
        const TokenValue* c = o.Find(kBlockHeight);
        const TokenValue* m = o.Find(kCompression);
        if (!defining_ || !s || !s->Whole(&start) || !c || !c->Whole(&count) || !m ||
            !m->Whole(&compression) || start < 0 || count < 1 ||
            start + count > defining_->height || !o.hasData || o.dataOffset > size_ ||
            o.dataSize > size_ - o.dataOffset)
            return Skip();
        const long w = defining_->width;
        int bits = definingBits_;
        std::size_t rowBytes = PatternRowBytes(w, bits);
        if (bits == 24 && compression == kImageRaw &&
            o.dataSize == static_cast<std::size_t>(count) * static_cast<std::size_t>(w))
            bits = 8, rowBytes = static_cast<std::size_t>(w);
        const bool gray = bits == 8 && definingBits_ == 24;
        std::string problem;
        if (!DecodeImageRows(data_ + o.dataOffset, o.dataSize, static_cast<int>(compression),
                             rowBytes, static_cast<std::size_t>(count), &patternSeed_, &rows_,
                             &problem))
            return Skip();
        for (long y = 0; y < count; ++y) {
            const std::uint8_t* row = rows_.data() + static_cast<std::size_t>(y) * rowBytes;
            Color* out = defining_->pixels.data() + static_cast<std::size_t>((start + y) * w);
            for (long x = 0; x < w; ++x) {
                if (bits == 24) {
                    out[x] = {row[x * 3], row[x * 3 + 1], row[x * 3 + 2]};
                    continue;
                }
                unsigned v = bits == 8   ? row[x]
                             : bits == 4 ? (x & 1 ? row[x / 2] & 0xF : row[x / 2] >> 4)
                                         : (row[x / 8] >> (7 - x % 8)) & 1;
                auto level =
                    static_cast<std::uint8_t>(gray ? v : v * 255 / ((1u << unsigned(bits)) - 1));
                out[x] = {level, level, level};
            }
        }
    }

    Subpath& Current() {
        if (path_.empty()) path_.push_back({{cursor_}, false});
        if (path_.back().closed) path_.push_back({{cursor_}, false});
        return path_.back();
    }

    // False once the path holds as many points as it may.
    bool To(Pt p) {
        cursor_ = {ClampCoord(p.x), ClampCoord(p.y)};
        if (pathPoints_ >= kMaxPathPoints) return false;
        ++pathPoints_;
        Current().pts.push_back(cursor_);
        return true;
    }

    // The points of a path operator's data; false when the decoder found none.
    static bool DataPoints(const Token& o, std::vector<Pt>* out) {
        if (o.points.empty() && o.dataSize) return false;
        for (TokenPoint p : o.points)
            out->push_back({double(p.x), double(p.y)});
        return true;
    }

    static bool PairAttr(const Token& o, int id, Pt* p) {
        auto* v = Num(o, id);
        if (!v || v->size() != 2) return false;
        *p = {(*v)[0], (*v)[1]};
        return true;
    }

    void Lines(const Token& o, bool relative) {
        std::vector<Pt> pts;
        Pt end;
        if (o.hasData) {
            if (!DataPoints(o, &pts)) return Skip();
        } else if (PairAttr(o, kEndPoint, &end)) {
            pts.push_back(end);
        } else {
            return Skip();
        }
        for (Pt p : pts)
            if (!To(relative ? Pt{cursor_.x + p.x, cursor_.y + p.y} : p)) return Skip();
    }

    void Beziers(const Token& o, bool relative) {
        std::vector<Pt> pts;
        if (o.hasData) {
            if (!DataPoints(o, &pts) || pts.size() % 3) return Skip();
        } else {
            Pt c1, c2, e;
            if (!PairAttr(o, kControlPoint1, &c1) || !PairAttr(o, kControlPoint2, &c2) ||
                !PairAttr(o, kEndPoint, &e))
                return Skip();
            pts = {c1, c2, e};
        }
        Current();
        for (std::size_t i = 0; i + 2 < pts.size(); i += 3) {
            Pt s = cursor_;
            Pt c[3];
            for (int k = 0; k < 3; ++k)
                c[k] = relative ? Pt{s.x + pts[i + k].x, s.y + pts[i + k].y} : pts[i + k];
            for (int step = 1; step <= kBezierSteps; ++step) {
                double t = double(step) / kBezierSteps, u = 1 - t;
                double a = u * u * u, b = 3 * u * u * t, cc = 3 * u * t * t, d = t * t * t;
                if (!To({a * s.x + b * c[0].x + cc * c[1].x + d * c[2].x,
                         a * s.y + b * c[0].y + cc * c[1].y + d * c[2].y}))
                    return Skip();
            }
        }
    }

    // Fills with the brush by the fill mode, then strokes with the pen.
    void Paint(const std::vector<Subpath>& path) {
        budget_ += double(pathPoints_);
        if (budget_ > kWorkBudget || cairo_status(cr_) != CAIRO_STATUS_SUCCESS) return Skip();
        bool ok = (noBrush_ || Cover(path, false, brush_, brushPattern_)) &&
                  (noPen_ || Cover(path, true, pen_, penPattern_));
        if (!ok) return Skip();
        ++img_->drawn;
    }

    // The path in pixels as cairo's current path; its length in pixels.
    double AppendPath(const std::vector<Subpath>& path) {
        double s = img_->scale, length = 0;
        cairo_new_path(cr_);
        for (const Subpath& sp : path) {
            if (sp.pts.empty()) continue;
            cairo_move_to(cr_, sp.pts[0].x * s, sp.pts[0].y * s);
            for (std::size_t i = 1; i < sp.pts.size(); ++i) {
                cairo_line_to(cr_, sp.pts[i].x * s, sp.pts[i].y * s);
                length +=
                    std::hypot(sp.pts[i].x - sp.pts[i - 1].x, sp.pts[i].y - sp.pts[i - 1].y) * s;
            }
            if (sp.closed) cairo_close_path(cr_);
        }
        return length;
    }

    void SetStroke(double pathLength) {
        double s = img_->scale;
        cairo_set_line_width(cr_, std::max(kMinPenPixels, penWidth_ * s));
        cairo_set_line_cap(cr_, cap_ == kCapRound    ? CAIRO_LINE_CAP_ROUND
                                : cap_ == kCapSquare ? CAIRO_LINE_CAP_SQUARE
                                                     : CAIRO_LINE_CAP_BUTT);
        // Segments without a join meet as bevelled corners, the nearest cairo draws.
        cairo_set_line_join(cr_, join_ == kJoinRound   ? CAIRO_LINE_JOIN_ROUND
                                 : join_ == kJoinMiter ? CAIRO_LINE_JOIN_MITER
                                                       : CAIRO_LINE_JOIN_BEVEL);
        cairo_set_miter_limit(cr_, miterLimit_);
        std::vector<double> dashes;
        double period = 0;
        for (double d : dashes_) {
            dashes.push_back(d * s);
            period += d * s;
        }
        // A pattern finer than the pixels, or one that would cut the path into
        // more dashes than a page may hold, is drawn as a solid line.
        bool dashed = !dashes.empty() && period >= 1 &&
                      pathLength / period * double(dashes.size()) < kMaxDashSegments;
        cairo_set_dash(cr_, dashed ? dashes.data() : nullptr,
                       dashed ? static_cast<int>(dashes.size()) : 0, 0);
    }

    // Draws the path's fill or stroke into the mask and combines the covered
    // pixels with the page by the raster operation, the paint colour (or the
    // raster pattern's pixel under each page pixel) being both the source and
    // the pattern. False when the page's work budget is spent.
    bool Cover(const std::vector<Subpath>& path, bool stroke, Color paint,
               const RasterPattern* pattern) {
        double x0, y0, x1, y1;
        double length = AppendPath(path);
        // Cairo's work on a path grows with the pixels its edges cross, which
        // millions of long segments make billions of: counted before any of it.
        budget_ += length * (stroke ? std::max(1.0, penWidth_ * img_->scale) : 1.0);
        if (budget_ > kWorkBudget) {
            cairo_new_path(cr_);
            return false;
        }
        if (stroke) {
            SetStroke(length);
            cairo_stroke_extents(cr_, &x0, &y0, &x1, &y1);
        } else {
            cairo_set_fill_rule(cr_, evenOdd_ ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
            cairo_fill_extents(cr_, &x0, &y0, &x1, &y1);
        }
        int l = static_cast<int>(std::floor(std::max(x0, clip_.l)));
        int t = static_cast<int>(std::floor(std::max(y0, clip_.t)));
        int r = static_cast<int>(std::ceil(std::min(x1, clip_.r)));
        int b = static_cast<int>(std::ceil(std::min(y1, clip_.b)));
        if (l >= r || t >= b) return true;
        budget_ += double(r - l) * double(b - t);
        if (budget_ > kWorkBudget) return false;
        cairo_save(cr_);
        cairo_new_path(cr_);
        cairo_rectangle(cr_, l, t, r - l, b - t);
        cairo_clip(cr_);
        cairo_set_operator(cr_, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr_);
        cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_rgba(cr_, 0, 0, 0, 1);
        AppendPath(path);
        if (stroke)
            cairo_stroke(cr_);
        else
            cairo_fill(cr_);
        cairo_restore(cr_);
        cairo_surface_flush(mask_);
        const unsigned char* mask = cairo_image_surface_get_data(mask_);
        int stride = cairo_image_surface_get_stride(mask_);
        // A page pixel wider than a pattern pixel shows the average of the
        // pattern pixels in it, so that fine patterns do not vanish between samples.
        const int samples =
            pattern ? std::clamp(static_cast<int>(std::ceil(
                                     1 / img_->scale / std::min(pattern->dotsX, pattern->dotsY))),
                                 1, kMaxPatternSamples)
                    : 1;
        // The operation's result for each page value, per channel.
        std::uint8_t table[3][256];
        for (int d = 0; d < 256; ++d) {
            auto page = static_cast<std::uint8_t>(d);
            table[0][d] = Rop3(rop_, paint.r, paint.r, page);
            table[1][d] = Rop3(rop_, paint.g, paint.g, page);
            table[2][d] = Rop3(rop_, paint.b, paint.b, page);
        }
        for (int y = t; y < b; ++y) {
            const unsigned char* m =
                mask + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride);
            std::uint8_t* px = img_->rgb.data() + (static_cast<std::size_t>(y) * img_->width) * 3;
            for (int x = l; x < r; ++x) {
                if (!m[x]) continue;
                std::uint8_t* p = px + static_cast<std::size_t>(x) * 3;
                if (pattern) {
                    PatternPixel(*pattern, x, y, samples, p);
                    continue;
                }
                p[0] = table[0][p[0]];
                p[1] = table[1][p[1]];
                p[2] = table[2][p[2]];
            }
        }
        cairo_surface_mark_dirty(mask_);
        return true;
    }

    // One page pixel (x, y) under a raster pattern: `samples` x `samples`
    // points of the pattern, each combined with the page by the raster
    // operation (a transparent paint leaves the page under white), averaged.
    void PatternPixel(const RasterPattern& pattern, int x, int y, int samples, std::uint8_t* p) {
        int sum[3] = {0, 0, 0};
        for (int j = 0; j < samples; ++j)
            for (int i = 0; i < samples; ++i) {
                const Color& c = pattern.At((x + (i + 0.5) / samples) / img_->scale,
                                            (y + (j + 0.5) / samples) / img_->scale);
                const bool keep = paintTransparent_ && c.r == 255 && c.g == 255 && c.b == 255;
                const std::uint8_t paint[3] = {c.r, c.g, c.b};
                for (int k = 0; k < 3; ++k)
                    sum[k] += keep ? p[k] : Rop3(rop_, paint[k], paint[k], p[k]);
            }
        const int n = samples * samples;
        for (int k = 0; k < 3; ++k)
            p[k] = static_cast<std::uint8_t>((sum[k] + n / 2) / n);
    }

    // Text and font operators: glyphs painted in the brush colour within the clip.
    bool Text(int op, const Token& o) {
        if (!text_) return false;
        TextPaint p;
        p.scale = img_->scale;
        p.cursorX = cursor_.x;
        p.cursorY = cursor_.y;
        p.plot = [this](int x, int y, double coverage) {
            if (x < clip_.l || y < clip_.t || x >= clip_.r || y >= clip_.b || x < 0 || y < 0 ||
                x >= img_->width || y >= img_->height)
                return;
            std::uint8_t* px =
                img_->rgb.data() + (static_cast<std::size_t>(y) * img_->width + x) * 3;
            const std::uint8_t c[3] = {brush_.r, brush_.g, brush_.b};
            for (int k = 0; k < 3; ++k)
                px[k] = static_cast<std::uint8_t>(std::lround(px[k] + (c[k] - px[k]) * coverage));
        };
        return text_->Run(op, o, p, &img_->drawn, &img_->skipped);
    }

    PageImage* img_;
    TextRenderer* text_;
    const std::uint8_t* data_;
    std::size_t size_;
    cairo_surface_t* mask_;
    cairo_t* cr_;
    Rect clip_;
    Color pen_, brush_;
    bool noPen_ = false, noBrush_ = false, evenOdd_ = false;
    double penWidth_ = 1;
    long cap_ = kCapButt, join_ = kJoinMiter;
    double miterLimit_ = 10;
    std::vector<double> dashes_; // dots; empty: solid
    std::uint8_t rop_ = kRopDefault;
    bool paintTransparent_ = false;
    std::map<long, RasterPattern> patterns_;
    std::optional<RasterPattern> defining_;
    long definingId_ = 0;
    int definingBits_ = 0;
    std::vector<std::uint8_t> patternSeed_, rows_;
    const RasterPattern *brushPattern_ = nullptr, *penPattern_ = nullptr;
    Pt cursor_;
    std::vector<Subpath> path_;
    std::size_t pathPoints_ = 0;
    double budget_ = 0;
};

// The first payload field of a frame as a number, -1 when it has none.
long FirstField(const Item& f) {
    return f.fields.empty() ? -1 : f.fields[0].number;
}

} // namespace

long PageImage::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return -1;
    const std::uint8_t* p = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
    return (long(p[0]) << 16) | (long(p[1]) << 8) | p[2];
}

long PageImage::PixelAtDot(double x, double y) const {
    return Pixel(originX + static_cast<int>(std::floor(x * scale)),
                 originY + static_cast<int>(std::floor(y * scale)));
}

namespace {

// Moves what was drawn with the stream's origin at the picture's corner to
// where that origin lies on the paper; what leaves the paper is cut.
void MoveToPrintableArea(PageImage* img) {
    const int dx = img->originX, dy = img->originY;
    if (dx <= 0 && dy <= 0) return;
    std::vector<std::uint8_t> moved(img->rgb.size(), 0xFF);
    const std::size_t row = static_cast<std::size_t>(img->width) * 3;
    for (int y = 0; y + dy < img->height; ++y) {
        if (dx >= img->width) break;
        std::memcpy(moved.data() + static_cast<std::size_t>(y + dy) * row + std::size_t(dx) * 3,
                    img->rgb.data() + static_cast<std::size_t>(y) * row,
                    static_cast<std::size_t>(img->width - dx) * 3);
    }
    img->rgb.swap(moved);
}

} // namespace

// Images and JBIG pages, drawn straight into the page's pixels: each pixel
// of the picture takes the image pixel under its centre.
class ImagePainter {
  public:
    // rop: the raster operation in force when an image begins.
    ImagePainter(PageImage* img, const std::uint8_t* data, std::size_t size,
                 std::function<std::uint8_t()> rop)
        : img_(img), data_(data), size_(size), rop(std::move(rop)) {}

    // Whether the token was an image token (drawn or counted as skipped).
    bool Take(const Item& it) {
        switch (it.opcode) {
        case kSetCursor:
            if (const TokenValue* p = it.token.Find(kPoint); p && p->numbers.size() == 2) {
                cx_ = static_cast<long>(p->numbers[0]);
                cy_ = static_cast<long>(p->numbers[1]);
            }
            return false;
        case kBeginImage: {
            std::string problem;
            in_ = ReadImageLayout(it.token, cx_, cy_, &layout_, &problem);
            rop_ = rop();
            seed_.assign(layout_.rowBytes, 0);
            return true;
        }
        case kReadImage:
            Block(it);
            return true;
        case kEndImage:
            in_ = false;
            return true;
        default:
            return false;
        }
    }

    void Jbig(const JbigPage& page) {
        long w = 0, h = 0;
        std::vector<std::uint8_t> bits;
        std::string problem;
        if (!DecodeJbig(page.entity, &w, &h, &bits, &problem)) {
            ++img_->skipped;
            return;
        }
        const std::size_t stride = (static_cast<std::size_t>(w) + 7) / 8;
        // A landscape page goes to the printer turned a quarter clockwise, as
        // the paper is fed: landscape column x is portrait line x, landscape
        // line y is portrait column (w - 1 - y). Drawn turned back here.
        const bool turned = img_->width > img_->height && w < h;
        for (int py = 0; py < img_->height; ++py) {
            const long y = static_cast<long>((py + 0.5) / img_->scale);
            if (y >= (turned ? w : h)) break;
            for (int px = 0; px < img_->width; ++px) {
                const long x = static_cast<long>((px + 0.5) / img_->scale);
                if (x >= (turned ? h : w)) break;
                const long bx = turned ? w - 1 - y : x, by = turned ? x : y;
                if ((bits[static_cast<std::size_t>(by) * stride + bx / 8] >> (7 - bx % 8)) & 1)
                    Set(px, py, 0, 0, 0);
            }
        }
        ++img_->drawn;
    }

  private:
    static constexpr std::uint8_t kRopCopy = 0xCC;

    void Set(int px, int py, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        std::uint8_t* p = img_->rgb.data() + (static_cast<std::size_t>(py) * img_->width + px) * 3;
        p[0] = r, p[1] = g, p[2] = b;
    }
    // An image pixel combined with the page by the raster operation (the
    // image as source and pattern).
    void Combine(int px, int py, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        if (rop_ == kRopCopy) return Set(px, py, r, g, b);
        std::uint8_t* p = img_->rgb.data() + (static_cast<std::size_t>(py) * img_->width + px) * 3;
        p[0] = Rop3(rop_, r, r, p[0]), p[1] = Rop3(rop_, g, g, p[1]), p[2] = Rop3(rop_, b, b, p[2]);
    }

    void Block(const Item& it) {
        long start = -1, count = -1, compression = -1;
        const TokenValue* s = it.token.Find(kStartLine);
        const TokenValue* c = it.token.Find(kBlockHeight);
        const TokenValue* m = it.token.Find(kCompression);
        std::string problem;
        if (!in_ || !s || !s->Whole(&start) || !c || !c->Whole(&count) || !m ||
            !m->Whole(&compression) || count <= 0 || start < 0 || !it.token.hasData ||
            it.token.dataOffset + it.token.dataSize > size_ ||
            !DecodeImageRows(data_ + it.token.dataOffset, it.token.dataSize,
                             static_cast<int>(compression), layout_.rowBytes,
                             static_cast<std::size_t>(count), &seed_, &rows_, &problem)) {
            ++img_->skipped;
            return;
        }
        const double sc = img_->scale;
        const long dw = std::max(1L, layout_.destWidth), dh = std::max(1L, layout_.destHeight);
        const int y0 =
            static_cast<int>(std::floor((layout_.y + double(start) * dh / layout_.height) * sc));
        const int y1 = static_cast<int>(
            std::ceil((layout_.y + double(start + count) * dh / layout_.height) * sc));
        const int x0 = static_cast<int>(std::floor(layout_.x * sc)),
                  x1 = static_cast<int>(std::ceil((layout_.x + dw) * sc));
        for (int py = std::max(0, y0); py < std::min(img_->height, y1); ++py) {
            long sy =
                static_cast<long>(((py + 0.5) / sc - layout_.y) * layout_.height / dh) - start;
            if (sy < 0 || sy >= count) continue;
            const std::uint8_t* row =
                rows_.data() + static_cast<std::size_t>(sy) * layout_.rowBytes;
            for (int px = std::max(0, x0); px < std::min(img_->width, x1); ++px) {
                long sx = static_cast<long>(((px + 0.5) / sc - layout_.x) * layout_.width / dw);
                if (sx < 0 || sx >= layout_.width) continue;
                if (layout_.bitsPerPixel == 1) {
                    // 1 is black; under a plain copy 0 leaves the page.
                    const bool ink = (row[sx / 8] >> (7 - sx % 8)) & 1;
                    if (ink || rop_ != kRopCopy)
                        Combine(px, py, ink ? 0 : 255, ink ? 0 : 255, ink ? 0 : 255);
                } else if (layout_.bitsPerPixel == 8) {
                    Combine(px, py, row[sx], row[sx], row[sx]);
                } else {
                    Combine(px, py, row[sx * 3], row[sx * 3 + 1], row[sx * 3 + 2]);
                }
            }
        }
        ++img_->drawn;
    }

    PageImage* img_;
    const std::uint8_t* data_;
    std::size_t size_;
    std::function<std::uint8_t()> rop;
    std::uint8_t rop_ = kRopCopy;
    long cx_ = 0, cy_ = 0;
    bool in_ = false;
    ImageLayout layout_;
    std::vector<std::uint8_t> seed_, rows_;
};

std::vector<PageImage> RenderPages(const std::uint8_t* data, std::size_t size,
                                   const Decoding& decoding, int longSide) {
    // The JBIG pages, joined and checked by the one reader of images.
    std::vector<JbigPage> jbig;
    {
        Decoding copy = decoding;
        CheckImages(data, size, &copy, &jbig);
    }
    std::vector<std::size_t> pageJbig;
    // Fonts downloaded in the stream serve every page after them.
    TextRenderer text(data, size);
    longSide = std::clamp(longSide, 16, 4096);
    std::vector<PageImage> pages;
    long xdpi = 600, ydpi = 600;
    bool landscape = false;
    long paperId = kFallbackPaper;
    std::vector<const Item*> pageItems;
    bool inPage = false;
    auto finish = [&]() {
        PageImage img;
        // The paper the page command named; one the decoder does not know is
        // drawn on A4 and said so.
        const PaperSpec* paper = FindPaper(paperId);
        img.paperKnown = paper != nullptr;
        if (!paper) paper = FindPaper(kFallbackPaper);
        img.paperName = paper->name;
        img.pageWidth = std::lround(paper->widthMm / kMmPerInch * double(xdpi));
        img.pageHeight = std::lround(paper->heightMm / kMmPerInch * double(ydpi));
        if (landscape) std::swap(img.pageWidth, img.pageHeight);
        img.scale = double(longSide) / double(std::max(img.pageWidth, img.pageHeight));
        img.width = std::max(1, static_cast<int>(std::lround(double(img.pageWidth) * img.scale)));
        img.height = std::max(1, static_cast<int>(std::lround(double(img.pageHeight) * img.scale)));
        img.rgb.assign(static_cast<std::size_t>(img.width) * img.height * 3, 0xFF);
        img.originX =
            static_cast<int>(std::lround(kUnprintableMarginInch * double(xdpi) * img.scale));
        img.originY =
            static_cast<int>(std::lround(kUnprintableMarginInch * double(ydpi) * img.scale));
        PageRenderer r(&img, &text, data, size);
        ImagePainter images(&img, data, size, [&r] { return r.rop(); });
        for (std::size_t frame : pageJbig)
            for (const JbigPage& j : jbig)
                if (j.frameItem == frame) images.Jbig(j);
        pageJbig.clear();
        for (const Item* it : pageItems) {
            if (!it->problem.empty() || it->opcode < 0) {
                r.Skip();
                continue;
            }
            if (images.Take(*it)) continue;
            r.Run(it->opcode, it->token);
        }
        MoveToPrintableArea(&img);
        pages.push_back(std::move(img));
        pageItems.clear();
    };
    for (std::size_t index = 0; index < decoding.items.size(); ++index) {
        const Item& it = decoding.items[index];
        if (it.kind == ItemKind::Frame && it.problem.empty()) {
            switch (it.opcode) {
            case kJbigImage:
                if (inPage) pageJbig.push_back(index);
                break;
            case kResolutionX:
                if (long v = FirstField(it); v > 0) xdpi = v;
                break;
            case kResolutionY:
                if (long v = FirstField(it); v > 0) ydpi = v;
                break;
            case kOrientation:
                landscape = FirstField(it) == 1;
                break;
            case kPaperSize:
                paperId = FirstField(it);
                break;
            case kPageStart:
                if (inPage) finish();
                inPage = true;
                break;
            case kPageEnd:
                if (inPage) finish();
                inPage = false;
                break;
            default:
                break;
            }
        } else if (it.kind == ItemKind::Token && inPage) {
            pageItems.push_back(&it);
        } else if (it.kind == ItemKind::Token && it.problem.empty() && it.opcode >= 0) {
            // Fonts may be downloaded between pages.
            PageImage none;
            TextPaint p;
            p.plot = [](int, int, double) {};
            text.Run(it.opcode, it.token, p, &none.drawn, &none.skipped);
        }
    }
    if (inPage) finish();
    return pages;
}

} // namespace streamdump
