// Tonemill's routines against a plain computation of their formulas, with their
// edge cases.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/tonemill.h"

namespace {

icImage Describe(WORD type, std::vector<uint8_t>& bits, uint32_t width, uint32_t height,
                 uint32_t stride, bool bottomUp = false, uint32_t lines = 0) {
    icImage im{};
    im.type = type;
    im.bottomUp = bottomUp;
    im.width = width;
    im.height = height;
    im.bits = bits.data();
    im.stride = stride;
    im.lines = lines ? lines : height;
    return im;
}

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed, int whiteEvery = 0) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(rng());
    // Runs of white and black so that the blank shortcuts are taken too.
    if (whiteEvery)
        for (size_t i = 0; i + 24 < n; i += whiteEvery)
            std::memset(&v[i], (i / whiteEvery) % 2 ? 0xFF : 0x00, 24);
    return v;
}

// ---- Gray conversion -----------------------------------------------------------------

int Weight(int v, double w) {
    return static_cast<int>(std::lround(v * w * 128));
}

uint8_t ReferenceGray(uint8_t blue, uint8_t green, uint8_t red) {
    return static_cast<uint8_t>(
        (Weight(red, 0.30) + Weight(green, 0.59) + Weight(blue, 0.11) + 64) >> 7);
}

TEST(Gray, KnownPixels) {
    struct Case {
        uint8_t b, g, r, gray;
    } cases[] = {
        {0, 0, 255, 77}, {255, 255, 255, 255}, {0, 0, 0, 0}, {255, 0, 0, 28}, {0, 255, 0, 150}};
    for (const Case& c : cases) {
        std::vector<uint8_t> src{c.b, c.g, c.r}, dst{0x11};
        icImage s = Describe(IC_TYPE_RGB24, src, 1, 1, 3), d = Describe(IC_TYPE_GRAY, dst, 1, 1, 1);
        EXPECT_EQ(icImageTypeConvertTo256Gray_speed(nullptr, &s, &d), FALSE);
        EXPECT_EQ(dst[0], c.gray) << int(c.b) << "," << int(c.g) << "," << int(c.r);
        EXPECT_EQ(dst[0], ReferenceGray(c.b, c.g, c.r));
    }
}

// Random pixels at odd widths, up to an odd page-wide band whose rows the
// conversion asks for ahead of itself, in both forms.
TEST(Gray, MatchesTheFormulaForEveryWidth) {
    for (uint32_t width : {1u, 3u, 4u, 6u, 13u, 64u, 1001u, 4961u}) {
        const uint32_t height = 5, srcStride = width * 3 + 5, dstStride = (width + 3) & ~3u;
        std::vector<uint8_t> src = RandomBytes(srcStride * height, width, 40),
                             dst(dstStride * height, 0x5A);
        icImage s = Describe(IC_TYPE_RGB24, src, width, height, srcStride);
        icImage d = Describe(IC_TYPE_GRAY, dst, width, height, dstStride);
        icImageTypeConvertTo256Gray_speed(nullptr, &s, &d);
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t* p = &src[y * srcStride + x * 3];
                ASSERT_EQ(dst[y * dstStride + x], ReferenceGray(p[0], p[1], p[2]))
                    << width << ": " << x << "," << y;
            }
            for (uint32_t x = width; x < dstStride; ++x)
                ASSERT_EQ(dst[y * dstStride + x], 0x5A) << "padding";
        }
    }
}

// Every value of every colour byte, in every position of a 32-pixel step
// (and so of a 16-pixel one) and of the pixels left over after the last step;
// the steps with wide instructions and the plain ones (TONEMILL_SIMD=plain)
// both give the formula's values.
TEST(Gray, MatchesTheFormulaForEveryChannelValue) {
    const uint32_t width = 65536 + 16 + 7;
    std::vector<uint8_t> src(width * 3), dst(width, 0x5A);
    for (uint32_t i = 0; i < width; ++i) {
        const uint32_t step = i >> 5;
        src[i * 3] = static_cast<uint8_t>(step * 7 + i);
        src[i * 3 + 1] = static_cast<uint8_t>(step * 3 + (i >> 13));
        src[i * 3 + 2] = static_cast<uint8_t>(step);
    }
    icImage s = Describe(IC_TYPE_RGB24, src, width, 1, width * 3);
    icImage d = Describe(IC_TYPE_GRAY, dst, width, 1, width);
    icImageTypeConvertTo256Gray_speed(nullptr, &s, &d);
    for (uint32_t x = 0; x < width; ++x) {
        const uint8_t* p = &src[x * 3];
        ASSERT_EQ(dst[x], ReferenceGray(p[0], p[1], p[2])) << x;
    }
}

TEST(Gray, WritesOnlyWithinTheSmallerImage) {
    struct Case {
        uint32_t srcW, srcH, dstW, dstH, dstStride;
    } cases[] = {{20, 6, 10, 6, 12}, {20, 6, 20, 3, 20}, {8, 8, 20, 20, 20}, {20, 6, 20, 6, 9}};
    for (const Case& c : cases) {
        std::vector<uint8_t> src(c.srcW * 3 * c.srcH, 0x80);
        std::vector<uint8_t> dst(c.dstStride * c.dstH + 16, 0x5A);
        icImage s = Describe(IC_TYPE_RGB24, src, c.srcW, c.srcH, c.srcW * 3);
        icImage d = Describe(IC_TYPE_GRAY, dst, c.dstW, c.dstH, c.dstStride);
        icImageTypeConvertTo256Gray_speed(nullptr, &s, &d);
        const uint32_t w = std::min({c.srcW, c.dstW, c.dstStride}), h = std::min(c.srcH, c.dstH);
        for (uint32_t y = 0; y < c.dstH; ++y)
            for (uint32_t x = 0; x < c.dstStride; ++x)
                EXPECT_EQ(dst[y * c.dstStride + x],
                          x < w && y < h ? ReferenceGray(0x80, 0x80, 0x80) : 0x5A);
        for (size_t i = c.dstStride * c.dstH; i < dst.size(); ++i)
            EXPECT_EQ(dst[i], 0x5A) << "past the image";
    }
    // Only 24-bit sources are converted.
    std::vector<uint8_t> src(12, 0), dst(4, 0x5A);
    icImage s = Describe(IC_TYPE_GRAY, src, 4, 1, 12), d = Describe(IC_TYPE_GRAY, dst, 4, 1, 4);
    icImageTypeConvertTo256Gray_speed(nullptr, &s, &d);
    EXPECT_EQ(dst, std::vector<uint8_t>(4, 0x5A));
}

// ---- Halftone ---------------------------------------------------------------------

icThresholdMatrix MakeMatrix(int w, int h, unsigned seed, int maxValue = 300) {
    icThresholdMatrix m{};
    m.width = static_cast<WORD>(w);
    m.height = static_cast<WORD>(h);
    std::mt19937 rng(seed);
    for (auto& row : m.cells)
        for (auto& c : row)
            c = static_cast<WORD>(rng() % (maxValue + 1));
    return m;
}

// The rules as written: thresholds of 256 and more act as 255; the column phase
// steps per pixel, the row phase per line; each line after the first starts at the
// destination x modulo the matrix width.
void ReferenceHalftone(short* colPhase, short* rowPhase, const icThresholdMatrix& m,
                       const icImage& src, icImage& dst) {
    const int mw = m.width, mh = m.height;
    const uint32_t n = std::min(src.width, dst.width), lines = std::min(src.height, dst.height);
    auto line = [](const icImage& im, uint32_t y) {
        return im.bottomUp ? im.bits + (im.lines - 1) * size_t(im.stride) - y * size_t(im.stride)
                           : im.bits + y * size_t(im.stride);
    };
    int col = *colPhase, row = *rowPhase;
    for (uint32_t i = 0; i < lines; ++i) {
        const uint8_t* s = line(src, src.y + i) + src.x;
        uint8_t* d = line(dst, dst.y + i);
        for (uint32_t p = 0; p < n; ++p) {
            int t = std::min<int>(m.cells[row][col], 255);
            uint32_t bit = dst.x + p;
            if (s[p] < t)
                d[bit / 8] &= ~(0x80 >> (bit % 8));
            else
                d[bit / 8] |= 0x80 >> (bit % 8);
            col = (col + 1) % mw;
        }
        col = dst.x % mw;
        row = (row + 1) % mh;
    }
    *colPhase = static_cast<short>(col);
    *rowPhase = static_cast<short>(row);
}

TEST(Halftone, MatchesTheRulesForMatricesOffsetsAndOrientations) {
    struct MatrixCase {
        int w, h;
    } matrices[] = {{16, 16}, {8, 8}, {1, 1}, {3, 5}, {7, 16}, {16, 2}};
    struct RegionCase {
        uint32_t width, height, srcX, dstX, srcY, dstY;
        bool srcBottomUp, dstBottomUp;
    } regions[] = {
        {64, 8, 0, 0, 0, 0, false, false}, {100, 9, 0, 0, 0, 0, false, false},
        {37, 5, 3, 5, 1, 2, false, false}, {250, 6, 0, 13, 0, 0, false, false},
        {64, 8, 0, 0, 0, 0, true, false},  {64, 8, 0, 0, 0, 0, false, true},
        {77, 7, 2, 9, 3, 1, true, true},
    };
    unsigned seed = 1;
    for (const MatrixCase& mc : matrices) {
        icThresholdMatrix m = MakeMatrix(mc.w, mc.h, seed++);
        for (const RegionCase& r : regions) {
            for (short startCol : {short(0), short(mc.w - 1)}) {
                const uint32_t srcStride = r.srcX + r.width + 3, srcLines = r.srcY + r.height + 2;
                const uint32_t dstStride = (r.dstX + r.width + 7) / 8 + 1,
                               dstLines = r.dstY + r.height + 1;
                std::vector<uint8_t> gray = RandomBytes(srcStride * srcLines, seed++, 50);
                std::vector<uint8_t> got(dstStride * dstLines), want;
                std::mt19937 fill(seed++);
                for (auto& b : got)
                    b = static_cast<uint8_t>(fill());
                want = got;
                icImage s = Describe(IC_TYPE_GRAY, gray, r.width, r.height, srcStride,
                                     r.srcBottomUp, srcLines);
                s.x = r.srcX, s.y = r.srcY;
                icImage d = Describe(IC_TYPE_BW, got, r.width, r.height, dstStride, r.dstBottomUp,
                                     dstLines);
                d.x = r.dstX, d.y = r.dstY;
                icImage dw = d;
                dw.bits = want.data();
                short col = startCol, row = static_cast<short>(mc.h / 2), wantCol = col,
                      wantRow = row;
                EXPECT_EQ(icImageTypeConvertToBWDitherHalftone_speed(&col, &row, &m, &s, &d), 1);
                ReferenceHalftone(&wantCol, &wantRow, m, s, dw);
                ASSERT_EQ(got, want)
                    << "matrix " << mc.w << "x" << mc.h << ", region " << r.width << "x" << r.height
                    << " at " << r.dstX << ", bottom-up " << r.srcBottomUp << r.dstBottomUp;
                EXPECT_EQ(col, wantCol);
                EXPECT_EQ(row, wantRow);
            }
        }
    }
}

TEST(Halftone, PhasesCarryThePatternFromBandToBand) {
    icThresholdMatrix m = MakeMatrix(16, 16, 9, 255);
    const uint32_t width = 128, stride = width / 8;
    std::vector<uint8_t> gray = RandomBytes(width * 16, 10);
    // One band of 16 lines ...
    std::vector<uint8_t> whole(stride * 16);
    icImage s = Describe(IC_TYPE_GRAY, gray, width, 16, width),
            d = Describe(IC_TYPE_BW, whole, width, 16, stride);
    short col = 0, row = 5;
    icImageTypeConvertToBWDitherHalftone_speed(&col, &row, &m, &s, &d);
    EXPECT_EQ(row, 5) << "16 lines later";
    // ... equals two bands of 8, the second continuing from the first's phases.
    std::vector<uint8_t> bands(stride * 16);
    col = 0, row = 5;
    for (int band = 0; band < 2; ++band) {
        icImage sb = Describe(IC_TYPE_GRAY, gray, width, 8, width),
                db = Describe(IC_TYPE_BW, bands, width, 8, stride);
        sb.bits += band * 8 * width;
        db.bits += band * 8 * stride;
        icImageTypeConvertToBWDitherHalftone_speed(&col, &row, &m, &sb, &db);
        if (band == 0) {
            EXPECT_EQ(row, 13) << "a band of 8 lines from row phase 5";
        }
    }
    EXPECT_EQ(bands, whole);
}

TEST(Halftone, MissingOrEmptyMatrixIsAFlatThresholdOf128) {
    std::vector<uint8_t> gray(256);
    for (int i = 0; i < 256; ++i)
        gray[i] = static_cast<uint8_t>(i);
    icThresholdMatrix empty{};
    const icThresholdMatrix* none = nullptr;
    for (const icThresholdMatrix* m : {none, static_cast<const icThresholdMatrix*>(&empty)}) {
        std::vector<uint8_t> out(32, 0x5A);
        icImage s = Describe(IC_TYPE_GRAY, gray, 256, 1, 256),
                d = Describe(IC_TYPE_BW, out, 256, 1, 32);
        short col = 3, row = 2;
        EXPECT_EQ(icImageTypeConvertToBWDitherHalftone_speed(&col, &row, m, &s, &d), 1);
        for (int i = 0; i < 256; ++i)
            EXPECT_EQ(bool(out[i / 8] & (0x80 >> (i % 8))), i >= 128) << i;
        EXPECT_EQ(col, 0);
        EXPECT_EQ(row, 0);
    }
}

TEST(Halftone, OnlyGrayToOneBit) {
    icThresholdMatrix m = MakeMatrix(16, 16, 1);
    std::vector<uint8_t> src(64, 0), dst(8, 0x5A);
    for (auto [st, dt] : {std::pair{IC_TYPE_RGB24, IC_TYPE_BW}, {IC_TYPE_GRAY, IC_TYPE_GRAY}}) {
        icImage s = Describe(st, src, 64, 1, 64), d = Describe(dt, dst, 64, 1, 8);
        short col = 0, row = 0;
        EXPECT_EQ(icImageTypeConvertToBWDitherHalftone_speed(&col, &row, &m, &s, &d), 0);
        EXPECT_EQ(dst, std::vector<uint8_t>(8, 0x5A));
    }
}

// ---- Gamma ----------------------------------------------------------------------------

TEST(GammaInv, Cases) {
    uint8_t identity[256], zeros[256] = {}, doubled[256];
    for (int i = 0; i < 256; ++i)
        identity[i] = static_cast<uint8_t>(i),
        doubled[i] = static_cast<uint8_t>(std::min(255, 2 * i));
    struct Case {
        const char* what;
        const uint8_t* table;
        WORD in, out;
    } cases[] = {
        {"identity keeps 1", identity, 1, 1},
        {"identity keeps 255", identity, 255, 255},
        {"identity turns 0 into 1", identity, 0, 1},
        {"256 stays", identity, 256, 256},
        {"1000 becomes 256", identity, 1000, 256},
        {"all-zero table: none reaches", zeros, 1, 256},
        {"all-zero table, 255", zeros, 255, 256},
        {"all-zero table, 0", zeros, 0, 1},
        {"doubled: 100 from 50", doubled, 100, 50},
        {"doubled: 101 from 51", doubled, 101, 51},
        {"doubled: 255 from 128", doubled, 255, 128},
        {"no table: identity", nullptr, 77, 77},
    };
    for (const Case& c : cases) {
        icThresholdMatrix m{};
        m.width = m.height = 16;
        for (auto& row : m.cells)
            for (auto& cell : row)
                cell = c.in;
        EXPECT_EQ(icGammaInv(c.table, &m), 1) << c.what;
        EXPECT_EQ(m.cells[0][0], c.out) << c.what;
        EXPECT_EQ(m.cells[15][15], c.out) << c.what;
    }
    // Only 16 x 16 matrices.
    icThresholdMatrix small = MakeMatrix(8, 8, 3), copy = small;
    EXPECT_EQ(icGammaInv(identity, &small), 0);
    EXPECT_EQ(std::memcmp(&small, &copy, sizeof small), 0);
    EXPECT_EQ(icGammaInv(identity, nullptr), 0);
}

TEST(GammaCorrection, MapsTheRegion) {
    uint8_t inverse[256];
    for (int i = 0; i < 256; ++i)
        inverse[i] = static_cast<uint8_t>(255 - i);
    // 8-bit gray, bottom-up, region 3..7 x 1..3 of a 10 x 5 image.
    std::vector<uint8_t> gray(10 * 5), original;
    for (size_t i = 0; i < gray.size(); ++i)
        gray[i] = static_cast<uint8_t>(i);
    original = gray;
    icImage g = Describe(IC_TYPE_GRAY, gray, 4, 3, 10, true, 5);
    g.x = 3, g.y = 1;
    EXPECT_EQ(icGammaCorrection(inverse, &g), 0);
    for (int memLine = 0; memLine < 5; ++memLine) {
        int top = 4 - memLine; // bottom-up
        for (int x = 0; x < 10; ++x) {
            bool inside = top >= 1 && top < 4 && x >= 3 && x < 7;
            uint8_t v = original[memLine * 10 + x];
            EXPECT_EQ(gray[memLine * 10 + x], inside ? 255 - v : v) << x << "," << top;
        }
    }
    // 24-bit: all three bytes of each pixel.
    std::vector<uint8_t> rgb{1, 2, 3, 4, 5, 6, 7, 8, 9};
    icImage c = Describe(IC_TYPE_RGB24, rgb, 2, 1, 9);
    EXPECT_EQ(icGammaCorrection(inverse, &c), 0);
    EXPECT_EQ(rgb, (std::vector<uint8_t>{254, 253, 252, 251, 250, 249, 7, 8, 9}));
    // Other types are refused; no table leaves the image as it is.
    std::vector<uint8_t> bw(4, 0x0F);
    icImage b = Describe(IC_TYPE_BW, bw, 32, 1, 4);
    EXPECT_EQ(icGammaCorrection(inverse, &b), 255);
    EXPECT_EQ(icGammaCorrection(nullptr, &g), 0);
    EXPECT_EQ(bw, std::vector<uint8_t>(4, 0x0F));
}

// ---- Blank checks ------------------------------------------------------------------------

TEST(BlankCheck, EveryByteCounts) {
    const uint32_t stride = 37, height = 5;
    for (uint8_t fill : {uint8_t(0xFF), uint8_t(0x00)}) {
        auto check = fill == 0xFF ? icAllWhiteCheck : icAllWhiteCheck_W0B1;
        std::vector<uint8_t> bits(stride * height + 8, fill);
        bits[stride * height] = static_cast<uint8_t>(~fill); // past the image: not looked at
        for (WORD type : {0, 1, 3, 4, 5}) {
            icImage im = Describe(type, bits, 1, height, stride);
            EXPECT_EQ(check(&im), 1) << "type " << type;
        }
        for (WORD type : {2, 6}) {
            icImage im = Describe(type, bits, 1, height, stride);
            EXPECT_EQ(check(&im), 0) << "type " << type;
        }
        for (size_t at : {size_t(0), size_t(7), size_t(8), size_t(31), size_t(32), size_t(100),
                          size_t(stride * height - 1)}) {
            std::vector<uint8_t> one = bits;
            one[at] ^= 1; // 0xFE or 0x01
            icImage im = Describe(IC_TYPE_BW, one, 1, height, stride);
            EXPECT_EQ(check(&im), 0) << "byte " << at;
        }
    }
    EXPECT_EQ(icAllWhiteCheck(nullptr), 0);
}

} // namespace
