// Model-data lookups for rendering.
#include "render_lookups.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "model/model_queries.h"
#include "model_access.h"
#include "pdev.h"
#include "win/base.h"

namespace inkforge {
namespace {

constexpr int kDefaultPaperResolution = 600;

// Paper record answers (model query 20 layout 4).
constexpr size_t kPaperRecordSize = 160;

struct BuiltInPaper {
    SHORT id;
    LONG width, length, marginX, marginY; // dots at 600 dpi, portrait
    LONG widthTenths, lengthTenths;
};
// Letter and A4 with 100-dot margins at 600 dots per inch.
constexpr BuiltInPaper kBuiltInPapers[] = {
    {1, 5100, 6600, 100, 100, 2159, 2794},
    {9, 4961, 7016, 100, 100, 2100, 2970},
};

constexpr DWORD kBandFlag24 = 1u << 27;
constexpr DWORD kBandFlagPlainMono = 1u << 18;

HalftoneRecord* Halftone(PDEV* pdev) {
    if (!pdev->halftone)
        pdev->halftone = static_cast<HalftoneRecord*>(
            HeapAlloc(pdev->heap, HEAP_ZERO_MEMORY, sizeof(HalftoneRecord)));
    return pdev->halftone;
}

// The paper as the model's record (or the built-in table) has it, at the
// paper's own resolution.
bool LookupPaper(PDEV* pdev, int id, int layout, PaperRect* r) {
    if (id >= 1 && id <= kLastModelPaper) {
        ModelAnswer a(pdev, model::kQueryPapers, id, 4);
        if (a.ok() && a.size() >= kPaperRecordSize && a.I16(0) == id) {
            r->id = static_cast<SHORT>(id);
            if (layout == kPaperTurned) {
                r->width = a.I16(36);
                r->length = a.I16(38);
                r->extra1 = a.I16(40);
                r->extra2 = a.I16(42);
                r->left = a.I16(48);
                r->top = a.I16(50);
                r->right = r->left + a.I16(44);
                r->bottom = r->top + a.I16(46);
            } else {
                r->width = a.I16(12);
                r->length = a.I16(14);
                r->extra1 = a.I16(16);
                r->extra2 = a.I16(18);
                r->left = a.I16(24);
                r->top = a.I16(26);
                r->right = r->left + a.I16(20);
                r->bottom = r->top + a.I16(22);
            }
            return true;
        }
    }
    for (const BuiltInPaper& p : kBuiltInPapers) {
        if (p.id != id) continue;
        bool turned = layout == kPaperTurned;
        r->id = p.id;
        r->width = turned ? p.length : p.width;
        r->length = turned ? p.width : p.length;
        r->left = turned ? p.marginY : p.marginX;
        r->top = turned ? p.marginX : p.marginY;
        r->right = r->width - r->left;
        r->bottom = r->length - r->top;
        r->extra1 = turned ? p.lengthTenths : p.widthTenths;
        r->extra2 = turned ? p.widthTenths : p.lengthTenths;
        return true;
    }
    return false;
}

LONG Dots(SHORT tenths, int resolution) {
    return static_cast<LONG>(tenths / 253.96825396825398 * resolution + 0.5);
}

LONG Rescale(LONG v, int target, int own) {
    return static_cast<LONG>(static_cast<LONGLONG>(v) * target / own);
}

bool DecideBandPreconditions(const PDEV* pdev) {
    return PrivBit(pdev->devmode, priv::FeatureFlags, 16) &&
           PrivU16(pdev->devmode, priv::GraphicsMode) == 1;
}

// The raster flags of the band's direction (model query 47), else of the
// resolution mode (model query 42); found says whether either answered.
DWORD BandFlags(PDEV* pdev) {
    ModelAnswer raster(pdev, model::kQueryHalftones, PrivU16(pdev->devmode, priv::HalftoneKind), 4);
    if (raster.ok()) return raster.U32(4);
    ModelAnswer quality(pdev, model::kQueryQualityModes, ResolutionMode(pdev->devmode), 1);
    return quality.ok() ? quality.U32(16) : 0;
}

// Value bits of the largest byte (0 for none).
DWORD SignificantBits(const BYTE* bytes, size_t n) {
    BYTE largest = 0;
    for (size_t i = 0; i < n; ++i)
        largest = std::max(largest, bytes[i]);
    DWORD bits = 0;
    while (largest) {
        ++bits;
        largest >>= 1;
    }
    return bits;
}

BYTE LargestByte(const BYTE* bytes, size_t n) {
    BYTE largest = 0;
    for (size_t i = 0; i < n; ++i)
        largest = std::max(largest, bytes[i]);
    return largest;
}

// A threshold matrix of model query 43 (layout 2) into the record; false when
// it has no usable bytes.
bool TakeMatrix(PDEV* pdev, const ModelAnswer& a, size_t entryOffset) {
    HalftoneRecord* h = Halftone(pdev);
    if (!h) return false;
    SHORT w = a.I16(entryOffset + 4), ht = a.I16(entryOffset + 6);
    if (w <= 0 || ht <= 0) return false;
    size_t n = std::min<size_t>(static_cast<size_t>(w) * static_cast<size_t>(ht), 4096);
    if (entryOffset + 8 + n > a.size())
        n = a.size() > entryOffset + 8 ? a.size() - entryOffset - 8 : 0;
    const BYTE* bytes = a.data() + entryOffset + 8;
    if (n == 0 || SignificantBits(bytes, n) == 0) return false;
    auto* copy = static_cast<BYTE*>(HeapAlloc(pdev->heap, 0, n));
    if (!copy) return false;
    std::memcpy(copy, bytes, n);
    if (h->matrix) HeapFree(pdev->heap, 0, h->matrix);
    h->matrix = copy;
    h->matrixWidth = w;
    h->matrixHeight = static_cast<SHORT>(n / static_cast<size_t>(w));
    h->matrixBits = SignificantBits(copy, n);
    return true;
}

void UseBuiltInMatrix(PDEV* pdev) {
    HalftoneRecord* h = Halftone(pdev);
    if (!h) return;
    if (h->matrix) HeapFree(pdev->heap, 0, h->matrix);
    h->matrix = nullptr;
    h->matrixWidth = 16;
    h->matrixHeight = 16;
    h->matrixBits = 8;
    h->usage = 0;
}

} // namespace

BOOL GetPaperInfo(PDEV* pdev, int paperId, int layout, int resolution, PaperRect* rect,
                  DWORD* flags, char* name) {
    if (!rect) return FALSE;
    *rect = PaperRect{};
    if (layout != kPaperTurned) layout = kPaperPortrait;

    int own = kDefaultPaperResolution;
    {
        ModelAnswer unit(pdev, model::kQueryPapers, paperId, 2);
        if (unit.ok() && unit.I16(0) >= 1) own = unit.I16(0);
    }
    if (flags) {
        *flags = 256;
        ModelAnswer ext(pdev, model::kQueryPapers, paperId, 6);
        if (ext.ok() && (ext.U16(0) & 1)) *flags = ext.U16(2);
        if (name) {
            std::memset(name, 0, 32);
            ModelAnswer names(pdev, model::kQueryPapers, paperId, 8);
            *flags = 256;
            if (names.ok() && (names.U16(0) & 1)) {
                *flags = names.U16(2);
            } else if (names.ok() && (names.U16(0) & 2) && !names.Text(36, 32).empty()) {
                *flags = 1;
                std::string n = names.Text(36, 31);
                std::memcpy(name, n.data(), n.size());
            }
        }
    }

    bool found =
        paperId >= 1 && paperId <= kLastModelPaper && LookupPaper(pdev, paperId, layout, rect);
    if (!found) {
        if (paperId == kCustomPaper || paperId > kLastModelPaper) {
            // A user size from the device mode.
            LONG w = Dots(pdev->devmode.dm.dmPaperWidth, own),
                 l = Dots(pdev->devmode.dm.dmPaperLength, own);
            if (layout == kPaperTurned) std::swap(w, l);
            LONG mx = 100, my = 100;
            ModelAnswer limits(pdev, model::kQueryCustomPaperLimits, 0, 1);
            if (limits.ok()) {
                size_t at = layout == kPaperTurned ? 28 : 20;
                mx = limits.I16(at);
                my = limits.I16(at + 2);
            }
            rect->id = static_cast<SHORT>(paperId);
            rect->width = w;
            rect->length = l;
            rect->left = mx;
            rect->top = my;
            rect->right = mx + w - 200;
            rect->bottom = my + l - 200;
            rect->extra1 = pdev->devmode.dm.dmPaperWidth;
            rect->extra2 = pdev->devmode.dm.dmPaperLength;
            if (flags) *flags = 256;
            found = true;
        } else {
            bool metric = PrivU16(pdev->devmode, priv::MeasureFlags) & 1;
            ModelAnswer defaults(pdev, model::kQueryPapers, 0, 1);
            if (defaults.ok()) {
                int substitute = metric ? defaults.I16(2) : defaults.I16(0);
                if (substitute != paperId) found = LookupPaper(pdev, substitute, layout, rect);
            }
            if (!found) found = LookupPaper(pdev, metric ? 9 : 1, layout, rect);
        }
    }
    if (!found) return FALSE;
    int target = resolution >= 1 ? resolution : own;
    for (LONG* v : {&rect->left, &rect->top, &rect->right, &rect->bottom, &rect->extra1,
                    &rect->extra2, &rect->width, &rect->length})
        *v = Rescale(*v, target, own);
    return TRUE;
}

BOOL GetMediaInfo(PDEV* pdev, int sourceId, BYTE out[36]) {
    std::memset(out, 0, 36);
    if (sourceId <= 0) return FALSE;
    ModelAnswer tray(pdev, model::kQueryPaperSources, sourceId, 4);
    if (tray.ok() && tray.size() >= 36) {
        std::memcpy(out, tray.data(), 36);
        return TRUE;
    }
    ModelAnswer feeder(pdev, model::kQueryTrayGroups, sourceId, 4);
    if (feeder.ok() && feeder.size() >= 36) {
        std::memcpy(out, feeder.data(), 36);
        return TRUE;
    }
    return FALSE;
}

DWORD ListSourcesForPaper(PDEV* pdev, int paperId, DWORD mediaId, HGLOBAL* list) {
    *list = nullptr;
    if (mediaId == 0) return 0;
    auto read = [](const ModelAnswer& a, size_t countAt, size_t idsAt, size_t most) {
        std::vector<WORD> ids;
        if (!a.ok()) return ids;
        size_t n = std::min<size_t>(static_cast<size_t>(std::max<SHORT>(a.I16(countAt), 0)), most);
        for (size_t i = 0; i < n; ++i)
            ids.push_back(a.U16(idsAt + 2 * i));
        return ids;
    };
    std::vector<WORD> paperSources;
    if (paperId >= 1 && paperId <= kLastModelPaper)
        paperSources = read(ModelAnswer(pdev, model::kQueryPapers, paperId, 4), 86, 120, 20);
    if (paperSources.empty() && paperId > kLastModelPaper)
        paperSources = read(ModelAnswer(pdev, model::kQueryCustomPaperLimits, 0, 1), 66, 100, 20);
    std::vector<WORD> mediaSources =
        read(ModelAnswer(pdev, model::kQueryMediaTypes, static_cast<int>(mediaId), 3), 38, 168, 20);

    std::vector<WORD> sources;
    if (paperSources.empty()) {
        sources = mediaSources;
    } else {
        for (WORD s : paperSources)
            if (std::find(mediaSources.begin(), mediaSources.end(), s) != mediaSources.end())
                sources.push_back(s);
    }
    DWORD standard = 3;
    {
        ModelAnswer trays(pdev, model::kQueryPaperSources, 0, 1);
        if (trays.ok()) standard = trays.count();
    }
    DWORD offset = PrivU16(pdev->devmode, priv::InstalledTrayOffset);
    if (sources.size() > standard + offset) {
        ModelAnswer feeders(pdev, model::kQueryTrayGroups, 0, 3);
        for (DWORD i = offset; i < feeders.Entries(200); ++i) {
            WORD id = feeders.U16(static_cast<size_t>(i) * 200);
            sources.erase(std::remove(sources.begin(), sources.end(), id), sources.end());
        }
    }
    if (sources.empty()) return 0;
    HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, sources.size() * sizeof(WORD));
    if (!block) return 0;
    std::memcpy(block, sources.data(), sources.size() * sizeof(WORD));
    *list = block;
    return static_cast<DWORD>(sources.size());
}

DWORD GetBandBitDepth(PDEV* pdev) {
    if (!DecideBandPreconditions(pdev)) return 1;
    return (BandFlags(pdev) & kBandFlag24) ? 24 : 1;
}

DWORD IsPlainMonochromeBand(PDEV* pdev) {
    if (!DecideBandPreconditions(pdev)) return 0;
    DWORD flags = BandFlags(pdev);
    if (flags & kBandFlag24) return 0;
    return (flags & kBandFlagPlainMono) ? 1 : 0;
}

void LoadGrayWeights(PDEV* pdev) {
    HalftoneRecord* h = Halftone(pdev);
    if (!h) return;
    const int defaults[3] = {model::kDefaultGrayRed, model::kDefaultGrayGreen,
                             model::kDefaultGrayBlue};
    int w[3] = {0, 0, 0};
    ModelAnswer a(pdev, model::GrayWeightsAnswerCode, 0, model::GrayWeightsAnswerLayout);
    if (a.ok()) {
        w[0] = a.I16(offsetof(model::GrayWeightsAnswer, red));
        w[1] = a.I16(offsetof(model::GrayWeightsAnswer, green));
        w[2] = a.I16(offsetof(model::GrayWeightsAnswer, blue));
    }
    int missing = 0;
    for (int v : w)
        if (v <= 0) ++missing;
    if (missing == 3) {
        for (int i = 0; i < 3; ++i)
            w[i] = defaults[i];
    } else if (missing == 2) {
        // The one given stands for its default share; the others take theirs.
        int given = 0;
        for (int i = 0; i < 3; ++i)
            if (w[i] > 0) given = i;
        for (int i = 0; i < 3; ++i)
            if (i != given) w[i] = w[given] * defaults[i] / defaults[given];
    } else if (missing == 1) {
        int sumGiven = 0, sumDefaults = 0, gap = 0;
        for (int i = 0; i < 3; ++i) {
            if (w[i] > 0) {
                sumGiven += w[i];
                sumDefaults += defaults[i];
            } else {
                gap = i;
            }
        }
        w[gap] = sumGiven * defaults[gap] / sumDefaults;
    }
    h->grayRed = static_cast<SHORT>(w[0]);
    h->grayGreen = static_cast<SHORT>(w[1]);
    h->grayBlue = static_cast<SHORT>(w[2]);
}

void LoadHalftoneMatrix(PDEV* pdev, bool byResolution) {
    HalftoneRecord* h = Halftone(pdev);
    if (!h) return;
    if (!byResolution) {
        ModelAnswer a(pdev, model::kQueryMatrices, 0, 2);
        h->usage = 0;
        if (!a.ok() || !TakeMatrix(pdev, a, 0)) UseBuiltInMatrix(pdev);
        return;
    }
    WORD k = PrivU16(pdev->devmode, priv::ResolutionCode);
    if (k < 1 || k > 4) return;
    {
        ModelAnswer level(pdev, model::kQueryQualityModes, k, 3);
        if (level.ok()) h->level = level.U16(2);
    }
    auto usageFromMatrix = [&]() {
        BYTE largest =
            h->matrix
                ? LargestByte(h->matrix, static_cast<size_t>(h->matrixWidth) * h->matrixHeight)
                : 0;
        return (largest == 255 || (largest && !(largest & (largest - 1)))) ? 7u : 6u;
    };
    WORD direction = PrivU16(pdev->devmode, priv::HalftoneKind);
    if (PrivBit(pdev->devmode, priv::FeatureFlags, 17) && direction) {
        ModelAnswer entry(pdev, model::kQueryHalftones, direction, 2);
        if (entry.ok()) {
            ModelAnswer matrix(pdev, model::kQueryMatrices, entry.I16(0), 2);
            if (matrix.ok() && TakeMatrix(pdev, matrix, 0)) h->usage = usageFromMatrix();
        }
        ModelAnswer raster(pdev, model::kQueryHalftones, direction, 4);
        if (raster.ok()) {
            DWORD f = raster.U32(4);
            if ((f & 3) == 3)
                h->usage |= 6;
            else if (f & 2)
                h->usage = 2;
            else if (f & 1)
                h->usage = (f & 0x10) ? 12 : 4;
            if (f & 0x20) h->usage |= 0x10;
        }
        return;
    }
    ModelAnswer quality(pdev, model::kQueryQualityModes, k, 1);
    if (!quality.ok()) return;
    DWORD f = quality.U32(16);
    SHORT id = quality.I16(20);
    if (id > 0 && (f & 7)) {
        ModelAnswer matrix(pdev, model::kQueryMatrices, id, 2);
        if (matrix.ok()) TakeMatrix(pdev, matrix, 0);
        if ((f & 4) || (f & 3) == 3)
            h->usage = 6;
        else if (f & 1)
            h->usage = (f & 0x10) ? 12 : 4;
        else if (f & 2)
            h->usage = 2;
    }
}

void LoadToneCurve(PDEV* pdev, bool byResolution) {
    HalftoneRecord* h = Halftone(pdev);
    if (!h) return;
    int id = 0;
    if (byResolution) {
        ModelAnswer curveId(pdev, model::kQueryQualityModes, ResolutionMode(pdev->devmode), 4);
        if (!curveId.ok() || curveId.I16(2) <= 0) return;
        id = curveId.I16(2);
    }
    ModelAnswer curve(pdev, model::kQueryToneCurves, id, 1);
    if (!curve.ok() || curve.size() < 264) {
        if (!byResolution && h->toneCurve) {
            HeapFree(pdev->heap, 0, h->toneCurve);
            h->toneCurve = nullptr;
        }
        return;
    }
    if (!h->toneCurve) h->toneCurve = static_cast<BYTE*>(HeapAlloc(pdev->heap, 0, 256));
    if (h->toneCurve) std::memcpy(h->toneCurve, curve.data() + 8, 256);
}

const BYTE* BuiltInHalftoneMatrix() {
    static const auto matrix = [] {
        // A 16 x 16 ordered dither: the recursive Bayer pattern, spread over 0-255.
        std::vector<BYTE> m(256);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                int v = 0;
                for (int bit = 0; bit < 4; ++bit) {
                    int xb = (x >> bit) & 1, yb = (y >> bit) & 1;
                    v |= ((xb ^ yb) << (7 - 2 * bit)) | (yb << (6 - 2 * bit));
                }
                m[static_cast<size_t>(y) * 16 + static_cast<size_t>(x)] = static_cast<BYTE>(v);
            }
        return m;
    }();
    return matrix.data();
}

const BYTE* BuiltInToneCurve() {
    static const auto curve = [] {
        std::vector<BYTE> c(256);
        for (int i = 0; i < 256; ++i)
            c[static_cast<size_t>(i)] = static_cast<BYTE>(i);
        return c;
    }();
    return curve.data();
}

} // namespace inkforge
