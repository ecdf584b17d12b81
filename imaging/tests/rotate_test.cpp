// RAW2ROTATE against a pixel-by-pixel reading of the rotation rules, and its
// edge cases.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "bitsqueeze/transpose.h"
#include "imaging/bitsqueeze.h"
#include "testkit/pages.h"

namespace {

using testkit::Page;

// ---- Transposes --------------------------------------------------------------------

TEST(Transpose, MatchesBitByBit) {
    std::mt19937_64 rng(1);
    for (int trial = 0; trial < 100; ++trial) {
        uint64_t x = rng();
        uint64_t t = bitsqueeze::Transpose8x8(x);
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c)
                ASSERT_EQ(x >> (63 - 8 * r - c) & 1, t >> (63 - 8 * c - r) & 1);
    }
}

// ---- A plain reading of the rules --------------------------------------------------

struct Image {
    int strideBytes, lines;
    std::vector<uint8_t> bytes;
    Image(int s, int n, uint8_t fill = 0) : strideBytes(s), lines(n), bytes(size_t(s) * n, fill) {}
    bool Get(int x, int y) const {
        return bytes[size_t(y) * strideBytes + x / 8] & (0x80 >> (x % 8));
    }
    void Set(int x, int y, bool v) {
        uint8_t& b = bytes[size_t(y) * strideBytes + x / 8];
        b = v ? b | (0x80 >> (x % 8)) : b & ~(0x80 >> (x % 8));
    }
};

Image RandomImage(int strideBytes, int lines, unsigned seed) {
    Image im(strideBytes, lines);
    std::mt19937 rng(seed);
    for (auto& b : im.bytes)
        b = static_cast<uint8_t>(rng());
    return im;
}

// What the destination should hold after turning a block of `lines` source lines
// (whole bands) by `angle`, written at byte 0 of `dest` lines; pixels outside the
// source are white.
Image Expected(const Image& src, int variant, int angle, int destStride, int destLines) {
    const int W = src.strideBytes * 8, H = src.lines;
    Image m = src;
    if (variant & 1)
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                m.Set(x, y, src.Get(W - 1 - x, y));
    Image out(destStride, destLines);
    auto source = [&](int x, int y) { return x >= 0 && x < W && y >= 0 && y < H && m.Get(x, y); };
    for (int y = 0; y < destLines; ++y) {
        for (int x = 0; x < destStride * 8; ++x) {
            bool v = false;
            switch (angle) {
            case 0:
                v = source(x, y);
                break;
            case 90:
                v = x < H && source(y, H - 1 - x);
                break; // clockwise
            case 270:
                v = x < H && source(W - 1 - y, x);
                break; // counter-clockwise
            case 180:
                v = y < H && source(W - 1 - (x - (destStride * 8 - W)), H - 1 - y);
                break;
            }
            if (angle != 0 && x >= (angle == 180 ? destStride * 8 : H)) continue; // not written
            out.Set(x, y, (variant & 2) ? !v : v);
        }
    }
    return out;
}

int Rotate(Image& src, int variant, int angle, Image& dst, int destLines) {
    Raw2RotateBlock b{};
    b.variant = static_cast<WORD>(variant);
    b.angle = static_cast<WORD>(angle);
    b.source = src.bytes.data();
    b.sourceStride = static_cast<WORD>(src.strideBytes * 8);
    b.sourceLines = static_cast<WORD>(src.lines);
    b.destination = dst.bytes.data();
    b.destinationStride = static_cast<WORD>(dst.strideBytes * 8);
    b.destinationLines = static_cast<WORD>(destLines);
    return RAW2ROTATE(&b);
}

// Only the bytes a quarter turn writes (bands bytes of each line) are compared.
void ExpectWritten(const Image& got, const Image& want, int angle, int bands,
                   const std::string& what) {
    for (int y = 0; y < got.lines; ++y) {
        int bytes = (angle == 90 || angle == 270) ? bands : got.strideBytes;
        for (int k = 0; k < bytes; ++k) {
            size_t at = size_t(y) * got.strideBytes + k;
            ASSERT_EQ(got.bytes[at], want.bytes[at]) << what << ": line " << y << " byte " << k;
        }
    }
}

TEST(Rotate, FollowsTheRulesForEveryVariantAndShape) {
    struct Shape {
        int sourceBytes, lines, destExtraBytes,
            destLines; // destLines -1: as many as the turn makes
    } shapes[] = {
        {1, 8, 0, -1},
        {3, 8, 2, -1},
        {16, 8, 0, -1},
        {37, 8, 1, -1},
        {8, 64, 0, -1},
        {21, 72, 3, -1},
        {77, 136, 0, -1},
        {40, 8, 0, 32},
        {5, 8, 0, 64},
        {9, 16, 0, 200},
        // Blocks of 64 bands by 64 columns, whole and cut short, with bands
        // and columns left over.
        {64, 512, 0, -1},
        {131, 584, 3, -1},
        {70, 1032, 1, 400},
    };
    for (int variant = 0; variant < 4; ++variant) {
        for (int angle : {0, 90, 180, 270}) {
            for (const Shape& s : shapes) {
                Image src =
                    RandomImage(s.sourceBytes, s.lines, variant * 1000 + angle + s.sourceBytes);
                Image original = src;
                int bands = s.lines / 8;
                int destStride, destLines;
                if (angle == 90 || angle == 270) {
                    destStride = bands + s.destExtraBytes;
                    destLines = s.destLines < 0 ? s.sourceBytes * 8 : s.destLines;
                } else {
                    destStride = angle == 0 ? s.sourceBytes : s.sourceBytes + s.destExtraBytes;
                    destLines = s.lines;
                }
                Image dst(destStride, destLines, 0x5A);
                std::string what =
                    "variant " + std::to_string(variant) + ", " + std::to_string(angle) +
                    " degrees, " + std::to_string(s.sourceBytes) + " bytes x " +
                    std::to_string(s.lines) + " lines -> " + std::to_string(destLines);
                ASSERT_EQ(Rotate(src, variant, angle, dst, destLines), T4_STATUS_DONE) << what;
                Image want = Expected(original, variant, angle, destStride, destLines);
                // Bytes the turn does not write keep their old value.
                if (angle == 90 || angle == 270)
                    for (int y = 0; y < destLines; ++y)
                        for (int k = bands; k < destStride; ++k)
                            want.bytes[size_t(y) * destStride + k] = 0x5A;
                ExpectWritten(dst, want, angle, bands, what);
            }
        }
    }
}

TEST(Rotate, EdgeCases) {
    // One black pixel at line 0, column 0 of a band of 8 lines, 16 pixels wide.
    Image src(2, 8);
    src.Set(0, 0, true);
    {
        Image dst(1, 16);
        ASSERT_EQ(Rotate(src, 0, 90, dst, 16), T4_STATUS_DONE);
        EXPECT_EQ(dst.bytes[0], 0x01) << "90: line 0, rightmost pixel";
        for (int y = 1; y < 16; ++y)
            EXPECT_EQ(dst.bytes[y], 0) << y;
    }
    {
        Image dst(1, 16);
        ASSERT_EQ(Rotate(src, 0, 270, dst, 16), T4_STATUS_DONE);
        EXPECT_EQ(dst.bytes[15], 0x80) << "270: line width - 1, leftmost pixel";
        for (int y = 0; y < 15; ++y)
            EXPECT_EQ(dst.bytes[y], 0) << y;
    }
    // Refusals write nothing.
    struct Refusal {
        const char* what;
        int variant, angle, destStride, destLines;
    } refusals[] = {
        {"angle 45", 0, 45, 2, 8},
        {"variant 4", 4, 90, 1, 16},
        {"0 degrees, one line short", 0, 0, 2, 7},
        {"0 degrees, other width", 0, 0, 3, 8},
        {"quarter turn, lines not whole bytes", 0, 90, 1, 12},
        {"half turn, destination too short", 0, 180, 2, 7},
    };
    for (const Refusal& r : refusals) {
        Image dst(r.destStride, 16, 0x33);
        Image copy = src;
        EXPECT_EQ(Rotate(copy, r.variant, r.angle, dst, r.destLines), T4_STATUS_ERROR) << r.what;
        EXPECT_EQ(dst.bytes, std::vector<uint8_t>(dst.bytes.size(), 0x33)) << r.what;
        EXPECT_EQ(copy.bytes, src.bytes) << r.what;
    }
    Image seven(2, 7), dst(1, 16);
    EXPECT_EQ(Rotate(seven, 0, 90, dst, 16), T4_STATUS_ERROR) << "not a whole band";
    Raw2RotateBlock none{};
    none.angle = 90;
    EXPECT_EQ(RAW2ROTATE(&none), T4_STATUS_ERROR) << "no buffers";
    EXPECT_EQ(RAW2ROTATE(nullptr), T4_STATUS_ERROR);
}

TEST(Rotate, HalfTurnTwiceGivesTheBandBack) {
    Image band = RandomImage(13, 8, 4), once(13, 8), twice(13, 8);
    ASSERT_EQ(Rotate(band, 0, 180, once, 8), T4_STATUS_DONE);
    ASSERT_EQ(Rotate(once, 0, 180, twice, 8), T4_STATUS_DONE);
    EXPECT_EQ(twice.bytes, band.bytes);
}

TEST(Rotate, MirroredQuarterTurnLeavesTheSourceMirrored) {
    Image band = RandomImage(6, 8, 5), original = band, dst(1, 48);
    ASSERT_EQ(Rotate(band, RAW2ROTATE_MIRRORED, 90, dst, 48), T4_STATUS_DONE);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 48; ++x)
            ASSERT_EQ(band.Get(x, y), original.Get(47 - x, y));
    // At 0 degrees the source stays as it is.
    Image copy = original, out(6, 8);
    ASSERT_EQ(Rotate(copy, RAW2ROTATE_MIRRORED, 0, out, 8), T4_STATUS_DONE);
    EXPECT_EQ(copy.bytes, original.bytes);
}

TEST(Rotate, QuarterTurnNeverReadsPastTheSourceLine) {
    // The source lines are exactly 3 bytes long, with nothing after the band (ASan
    // watches); 64 destination lines ask for 8 byte columns.
    std::vector<uint8_t> exact(3 * 8);
    std::mt19937 rng(6);
    for (auto& b : exact)
        b = static_cast<uint8_t>(rng());
    for (int angle : {90, 270}) {
        for (int variant : {0, 2}) {
            std::vector<uint8_t> heap(exact), dst(64, 0x77);
            Raw2RotateBlock b{};
            b.variant = static_cast<WORD>(variant);
            b.angle = static_cast<WORD>(angle);
            b.source = heap.data();
            b.sourceStride = 24;
            b.sourceLines = 8;
            b.destination = dst.data();
            b.destinationStride = 8;
            b.destinationLines = 64;
            ASSERT_EQ(RAW2ROTATE(&b), T4_STATUS_DONE);
            for (int y = 24; y < 64; ++y)
                EXPECT_EQ(dst[y], variant ? 0xFF : 0x00) << "white past the source";
        }
    }
}

TEST(Rotate, StripsAsTheGraphicsLibraryTurnsALandscapePage) {
    // 32 target lines per strip, four calls of 8 source lines each, target 32 bits
    // wide: the strips together are the page turned clockwise. The page's rows are
    // padded to 4 bytes, as a bitmap's rows are.
    const int W = 200, H = 32;
    Page page = testkit::Noise(W, H, 8);
    Page padded(W, H, 28);
    for (int y = 0; y < H; ++y)
        std::memcpy(padded.Row(y), page.Row(y), page.stride);
    Page turned(H, W);
    std::vector<uint8_t> strip(4 * 32);
    for (int top = 0; top < W; top += 32) {
        std::fill(strip.begin(), strip.end(), 0);
        for (int call = 0; call < 4; ++call) {
            Raw2RotateBlock b{};
            b.angle = 90;
            b.source = padded.Row(call * 8) + top / 8;
            b.sourceStride = 28 * 8;
            b.sourceLines = 8;
            b.destination = strip.data() + (3 - call);
            b.destinationStride = 32;
            b.destinationLines = 32;
            ASSERT_EQ(RAW2ROTATE(&b), T4_STATUS_DONE);
        }
        for (int y = top; y < std::min(W, top + 32); ++y)
            std::memcpy(turned.Row(y), &strip[(y - top) * 4], 4);
    }
    for (int y = 0; y < W; ++y)
        for (int x = 0; x < H; ++x)
            ASSERT_EQ(turned.Get(x, y), page.Get(y, H - 1 - x)) << x << "," << y;
}

} // namespace
