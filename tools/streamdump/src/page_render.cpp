// The page renderer: the decoder's typed tokens drive a small graphics state
// and a path that is flattened to polygons and filled scanline by scanline at
// pixel centres.
#include "page_render.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

namespace streamdump {
namespace {

constexpr double kCoordLimit = 1e6;   // dots; keeps relative runs bounded
constexpr double kWorkBudget = 300e6; // row and pixel visits per page
constexpr int kBezierSteps = 24;
constexpr std::size_t kMaxPathPoints = 4'000'000; // flattened points held in one path

struct Pt {
    double x = 0, y = 0;
};

double ClampCoord(double v) {
    return std::clamp(v, -kCoordLimit, kCoordLimit);
}

struct Color {
    std::uint8_t r = 0, g = 0, b = 0;
};

struct Subpath {
    std::vector<Pt> pts;
    bool closed = false;
};

class PageRenderer {
  public:
    PageRenderer(PageImage* img) : img_(img) {
        clip_ = {0, 0, static_cast<double>(img->width), static_cast<double>(img->height)};
    }

    void Run(int op, const Token& o) {
        switch (op) {
        case 0x63:
            SetSource(o, &brush_, &noBrush_, 0x04);
            break;
        case 0x79:
            SetSource(o, &pen_, &noPen_, 0x05);
            break;
        case 0x7A:
            if (auto* v = Num(o, 0x4B))
                penWidth_ = std::clamp<double>(static_cast<double>((*v)[0]), 0, 65535);
            else
                Skip();
            break;
        case 0x6E:
            if (auto* v = Num(o, 0x46))
                evenOdd_ = (*v)[0] == 1;
            else
                Skip();
            break;
        case 0x68: {
            auto* v = Num(o, 0x42);
            if (!v || v->size() != 4) return Skip();
            double s = img_->scale;
            clip_ = {std::clamp((*v)[0] * s, 0.0, double(img_->width)),
                     std::clamp((*v)[1] * s, 0.0, double(img_->height)),
                     std::clamp((*v)[2] * s, 0.0, double(img_->width)),
                     std::clamp((*v)[3] * s, 0.0, double(img_->height))};
            break;
        }
        case 0x85:
            path_.clear();
            pathPoints_ = 0;
            break;
        case 0x6B: {
            auto* v = Num(o, 0x4C);
            if (!v || v->size() != 2) return Skip();
            cursor_ = {ClampCoord(double((*v)[0])), ClampCoord(double((*v)[1]))};
            if (pathPoints_ >= kMaxPathPoints) return Skip();
            ++pathPoints_;
            path_.push_back({{cursor_}, false});
            break;
        }
        case 0x84:
            if (!path_.empty() && !path_.back().pts.empty()) {
                path_.back().closed = true;
                cursor_ = path_.back().pts.front();
            }
            break;
        case 0x9B:
        case 0x9D:
            Lines(o, op == 0x9D);
            break;
        case 0x93:
        case 0x95:
            Beziers(o, op == 0x95);
            break;
        case 0xA1:
        case 0xA0: {
            auto* v = Num(o, 0x42);
            if (!v || v->size() != 4) return Skip();
            Subpath r;
            double l = double((*v)[0]), t = double((*v)[1]), rt = double((*v)[2]),
                   bt = double((*v)[3]);
            r.pts = {{l, t}, {rt, t}, {rt, bt}, {l, bt}};
            r.closed = true;
            if (op == 0xA1) {
                if (pathPoints_ >= kMaxPathPoints) return Skip();
                pathPoints_ += 4;
                path_.push_back(std::move(r));
            } else {
                std::vector<Subpath> one{std::move(r)};
                Paint(one);
            }
            break;
        }
        case 0x86:
            Paint(path_);
            break;
        // State that does not change what a person sees at this scale.
        case 0x70:
        case 0x71:
        case 0x72:
        case 0x73:
        case 0x78:
        case 0x7B:
        case 0x7C:
            break;
        default:
            Skip();
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

    void SetSource(const Token& o, Color* c, bool* none, int noneId) {
        if (o.Find(noneId)) {
            *none = true;
        } else if (auto* g = Num(o, 0x09)) {
            auto l = static_cast<std::uint8_t>(std::clamp((*g)[0], 0.0, 255.0));
            *c = {l, l, l};
            *none = false;
        } else if (auto* rgb = Num(o, 0x0B)) {
            auto at = [&](std::size_t i) {
                return static_cast<std::uint8_t>(std::clamp((*rgb)[i], 0.0, 255.0));
            };
            *c = rgb->size() >= 3 ? Color{at(0), at(1), at(2)} : Color{at(0), at(0), at(0)};
            *none = false;
        } else {
            // A pattern or something else: shown as mid gray so the shape stays visible.
            *c = {128, 128, 128};
            *none = false;
            Skip();
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
        *p = {double((*v)[0]), double((*v)[1])};
        return true;
    }

    void Lines(const Token& o, bool relative) {
        std::vector<Pt> pts;
        Pt end;
        if (o.hasData) {
            if (!DataPoints(o, &pts)) return Skip();
        } else if (PairAttr(o, 0x45, &end)) {
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
            if (!PairAttr(o, 0x51, &c1) || !PairAttr(o, 0x52, &c2) || !PairAttr(o, 0x45, &e))
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
        if (budget_ > kWorkBudget) return Skip();
        double s = img_->scale;
        std::vector<std::vector<Pt>> polys;
        for (const Subpath& sp : path) {
            std::vector<Pt> poly;
            for (Pt p : sp.pts)
                poly.push_back({p.x * s, p.y * s});
            polys.push_back(std::move(poly));
        }
        if (!noBrush_) Fill(polys, evenOdd_, brush_);
        if (!noPen_) {
            double w = std::max(1.0, penWidth_ * s);
            for (std::size_t i = 0; i < polys.size(); ++i) {
                const auto& poly = polys[i];
                std::size_t n = poly.size();
                std::size_t segments = path[i].closed ? n : n - 1;
                for (std::size_t k = 0; k < segments && n > 1; ++k) {
                    Segment(poly[k], poly[(k + 1) % n], w);
                    Square(poly[k], w);
                }
                if (n > 1 && !path[i].closed) Square(poly[n - 1], w);
            }
        }
        ++img_->drawn;
    }

    void Square(Pt c, double w) {
        double h = w / 2;
        Fill({{{c.x - h, c.y - h}, {c.x + h, c.y - h}, {c.x + h, c.y + h}, {c.x - h, c.y + h}}},
             false, pen_);
    }

    void Segment(Pt a, Pt b, double w) {
        double dx = b.x - a.x, dy = b.y - a.y, len = std::hypot(dx, dy);
        if (len < 1e-9) return;
        double nx = -dy / len * w / 2, ny = dx / len * w / 2;
        Fill({{{a.x + nx, a.y + ny},
               {b.x + nx, b.y + ny},
               {b.x - nx, b.y - ny},
               {a.x - nx, a.y - ny}}},
             false, pen_);
    }

    // Scanline fill at pixel centres, each polygon closed, within the clip.
    void Fill(const std::vector<std::vector<Pt>>& polys, bool evenOdd, Color c) {
        struct Edge {
            double x0, y0, x1, y1;
            int dir;
        };
        std::vector<Edge> edges;
        double top = 1e300, bottom = -1e300;
        for (const auto& poly : polys) {
            for (std::size_t i = 0; i < poly.size(); ++i) {
                Pt a = poly[i], b = poly[(i + 1) % poly.size()];
                if (a.y == b.y) continue;
                int dir = 1;
                if (a.y > b.y) std::swap(a, b), dir = -1;
                edges.push_back({a.x, a.y, b.x, b.y, dir});
                top = std::min(top, a.y);
                bottom = std::max(bottom, b.y);
            }
        }
        if (edges.empty()) return;
        int y0 = static_cast<int>(std::max(std::ceil(std::max(top, clip_.t) - 0.5), 0.0));
        int y1 = static_cast<int>(
            std::min(std::ceil(std::min(bottom, clip_.b) - 0.5), double(img_->height)));
        int xMin = static_cast<int>(std::max(std::ceil(clip_.l - 0.5), 0.0));
        int xMax = static_cast<int>(std::min(std::ceil(clip_.r - 0.5), double(img_->width)));
        if (y0 >= y1 || xMin >= xMax) return;
        std::vector<std::pair<double, int>> xs;
        for (int y = y0; y < y1; ++y) {
            budget_ += double(edges.size());
            if (budget_ > kWorkBudget) return;
            double yc = y + 0.5;
            xs.clear();
            for (const Edge& e : edges)
                if (e.y0 <= yc && yc < e.y1)
                    xs.push_back({e.x0 + (yc - e.y0) * (e.x1 - e.x0) / (e.y1 - e.y0), e.dir});
            std::sort(xs.begin(), xs.end());
            int winding = 0;
            for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
                winding += evenOdd ? 1 : xs[i].second;
                bool inside = evenOdd ? (winding & 1) != 0 : winding != 0;
                if (!inside) continue;
                double a = std::max(std::ceil(xs[i].first - 0.5), double(xMin));
                double b = std::min(std::ceil(xs[i + 1].first - 0.5), double(xMax));
                if (a >= b) continue;
                budget_ += b - a;
                std::uint8_t* p = img_->rgb.data() +
                                  (static_cast<std::size_t>(y) * img_->width + std::size_t(a)) * 3;
                for (int x = int(a); x < int(b); ++x, p += 3)
                    p[0] = c.r, p[1] = c.g, p[2] = c.b;
            }
        }
    }

    PageImage* img_;
    Rect clip_;
    Color pen_, brush_;
    bool noPen_ = false, noBrush_ = false, evenOdd_ = false;
    double penWidth_ = 1;
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

std::vector<PageImage> RenderPages(const std::uint8_t* /*data*/, std::size_t /*size*/,
                                   const Decoding& decoding, int longSide) {
    longSide = std::clamp(longSide, 16, 4096);
    std::vector<PageImage> pages;
    long xdpi = 600, ydpi = 600;
    bool landscape = false;
    std::vector<const Item*> pageItems;
    bool inPage = false;
    auto finish = [&]() {
        PageImage img;
        // The stream names its paper only by a model's code; an A4 sheet at the
        // stream's resolution frames the drawing.
        img.pageWidth = std::lround(8.27 * double(xdpi));
        img.pageHeight = std::lround(11.69 * double(ydpi));
        if (landscape) std::swap(img.pageWidth, img.pageHeight);
        img.scale = double(longSide) / double(std::max(img.pageWidth, img.pageHeight));
        img.width = std::max(1, static_cast<int>(std::lround(double(img.pageWidth) * img.scale)));
        img.height = std::max(1, static_cast<int>(std::lround(double(img.pageHeight) * img.scale)));
        img.rgb.assign(static_cast<std::size_t>(img.width) * img.height * 3, 0xFF);
        PageRenderer r(&img);
        for (const Item* it : pageItems) {
            if (!it->problem.empty() || it->opcode < 0) {
                r.Skip();
                continue;
            }
            r.Run(it->opcode, it->token);
        }
        pages.push_back(std::move(img));
        pageItems.clear();
    };
    for (const Item& it : decoding.items) {
        if (it.kind == ItemKind::Frame && it.problem.empty()) {
            switch (it.opcode) {
            case 'a':
                if (long v = FirstField(it); v > 0) xdpi = v;
                break;
            case 'b':
                if (long v = FirstField(it); v > 0) ydpi = v;
                break;
            case 'M':
                landscape = FirstField(it) == 1;
                break;
            case 'p':
                if (inPage) finish();
                inPage = true;
                break;
            case 'q':
                if (inPage) finish();
                inPage = false;
                break;
            default:
                break;
            }
        } else if (it.kind == ItemKind::Token && inPage) {
            pageItems.push_back(&it);
        }
    }
    if (inPage) finish();
    return pages;
}

} // namespace streamdump
