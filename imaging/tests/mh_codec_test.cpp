// COMPRESS and DECOMPRESS: the code tables, the block protocol, the edge cases of
// coding and decoding, and damaged input.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "bitsqueeze/mh_codes.h"
#include "imaging/bitsqueeze.h"
#include "testkit/pages.h"

namespace {

using testkit::Page;

// Bit strings written as text ("0001..."), most significant bit first.
std::vector<uint8_t> Bytes(const std::string& bits) {
    std::vector<uint8_t> out((bits.size() + 7) / 8, 0);
    for (size_t i = 0; i < bits.size(); ++i)
        if (bits[i] == '1') out[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    return out;
}

std::string Bits(const std::vector<uint8_t>& bytes) {
    std::string s;
    for (uint8_t b : bytes)
        for (int i = 7; i >= 0; --i)
            s += (b >> i & 1) ? '1' : '0';
    return s;
}

const std::string kEol = "000000000001";

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

// A block set up for one direction, owning its change lists and coded buffer.
struct Block {
    T4CodecBlock b{};
    std::vector<WORD> a, c;
    std::vector<uint8_t> coded;
    Block(int width, int pageLines, BYTE mode = 3, int linesPerCall = 64,
          size_t codedSize = 1 << 16)
        : a(width + 5), c(width + 5), coded(codedSize) {
        b.mode = mode;
        b.rtcLength = 6;
        b.coded = coded.data();
        b.codedBytes = static_cast<DWORD>(coded.size());
        b.lineStride = static_cast<WORD>((width + 7) / 8 * 8);
        b.linesPerCall = static_cast<WORD>(linesPerCall);
        b.width = static_cast<WORD>(width);
        b.pageLines = static_cast<DWORD>(pageLines);
        b.changesA = a.data();
        b.changesB = c.data();
    }
};

// ---- Tables ---------------------------------------------------------------------

TEST(MhTables, EveryRunCodeDecodesToItsRun) {
    using namespace bitsqueeze;
    for (int colour = 0; colour < 2; ++colour) {
        for (int run = 0; run < kMaxRun; ++run) {
            const RunCode& code = kRunCodes[colour][run];
            // Left-align the code in 32 bits and decode one or two table entries.
            uint64_t bits = static_cast<uint64_t>(code.bits) << (64 - code.length);
            int total = 0, used = 0;
            for (;;) {
                DecodeEntry e = kDecodeTables[colour][bits >> (64 - kDecodeIndexBits)];
                ASSERT_GT(e.Length(), 0) << "colour " << colour << " run " << run;
                total += e.Run();
                used += e.Length();
                bits <<= e.Length();
                if (e.Run() < 64) break;
            }
            EXPECT_EQ(total, run) << "colour " << colour;
            EXPECT_EQ(used, code.length) << "colour " << colour << " run " << run;
        }
    }
}

TEST(MhTables, EolAndFillAreNoRunCode) {
    using namespace bitsqueeze;
    for (int colour = 0; colour < 2; ++colour) {
        EXPECT_EQ(kDecodeTables[colour][1 << 1].Length(), 0); // 000000000001 0
        EXPECT_EQ(kDecodeTables[colour][0].Length(), 0);
    }
}

// ---- Block protocol ---------------------------------------------------------------

TEST(MhBlock, ModeSelectsAcceptance) {
    struct Case {
        BYTE mode;
        bool accepted;
    } cases[] = {{0x02, true},  {0x03, true},  {0x82, true},  {0x83, true}, {0x01, false},
                 {0x04, false}, {0x00, false}, {0x7F, false}, {0x81, false}};
    Page line = testkit::BlankPage(64, 1);
    for (const Case& c : cases) {
        for (bool decode : {false, true}) {
            Block blk(64, 1, c.mode);
            blk.b.raster = line.Row(0);
            T4CodecBlock before = blk.b;
            int r = decode ? DECOMPRESS(&blk.b) : COMPRESS(&blk.b);
            if (c.accepted) {
                EXPECT_EQ(r, T4_STATUS_DONE) << "mode " << int(c.mode);
            } else {
                EXPECT_EQ(r, T4_STATUS_ERROR) << "mode " << int(c.mode);
                EXPECT_EQ(std::memcmp(&before, &blk.b, sizeof before), 0)
                    << "the block was touched";
            }
        }
    }
}

TEST(MhBlock, WrongStatusOrGeometryIsRefused) {
    struct Case {
        const char* what;
        void (*spoil)(T4CodecBlock&);
    } cases[] = {
        {"decoder status to the coder", [](T4CodecBlock& b) { b.status = T4_STATUS_DECODE_MORE; }},
        {"unknown status", [](T4CodecBlock& b) { b.status = 0x17; }},
        {"continue without a page", [](T4CodecBlock& b) { b.status = T4_STATUS_CODE_MORE; }},
        {"width 0", [](T4CodecBlock& b) { b.width = 0; }},
        {"width past the stride",
         [](T4CodecBlock& b) { b.width = static_cast<WORD>(b.lineStride + 1); }},
        {"stride not whole bytes", [](T4CodecBlock& b) { b.lineStride = 65; }},
        {"no change list", [](T4CodecBlock& b) { b.changesB = nullptr; }},
        {"no raster", [](T4CodecBlock& b) { b.raster = nullptr; }},
        {"no lines per call", [](T4CodecBlock& b) { b.linesPerCall = 0; }},
    };
    Page line = testkit::BlankPage(64, 1);
    for (const Case& c : cases) {
        Block blk(64, 1);
        blk.b.raster = line.Row(0);
        c.spoil(blk.b);
        EXPECT_EQ(COMPRESS(&blk.b), T4_STATUS_ERROR) << c.what;
        EXPECT_EQ(blk.b.status, T4_STATUS_ERROR) << c.what;
    }
    // The decoder refuses a coder's status.
    Block blk(64, 1);
    blk.b.raster = line.Row(0);
    blk.b.status = T4_STATUS_CODE_MORE;
    EXPECT_EQ(DECOMPRESS(&blk.b), T4_STATUS_ERROR);
}

// ---- Coding ----------------------------------------------------------------------

std::string CodeOneLine(const Page& page, BYTE mode = 3, int rtc = 0, int minLineBits = 0) {
    Block blk(page.width, page.height, mode);
    blk.b.rtcLength = static_cast<BYTE>(rtc);
    blk.b.minLineBits = static_cast<WORD>(minLineBits);
    blk.b.raster = const_cast<BYTE*>(page.Row(0));
    EXPECT_EQ(COMPRESS(&blk.b), T4_STATUS_DONE);
    blk.coded.resize(blk.b.bytesUsed);
    return Bits(blk.coded);
}

TEST(MhCoder, LinesCodeAsTheTablesSay) {
    Page white1728 = testkit::BlankPage(1728, 1);
    Page white3000 = testkit::BlankPage(3000, 1);
    Page blackThenWhite(16, 1);
    blackThenWhite.Fill(0, 0, 3, 1); // white 0, black 3, white 13
    struct Case {
        const char* what;
        const Page* page;
        std::string bits;
    } cases[] = {
        {"white 1728: make-up 1728, terminating 0", &white1728, kEol + "010011011" + "00110101"},
        {"white 3000: extended 2560, make-up 384, terminating 56", &white3000,
         kEol + "000000011111" + "00110111" + "01011001"},
        {"line starting black", &blackThenWhite, kEol + "00110101" + "10" + "000011"},
    };
    for (const Case& c : cases) {
        std::string got = CodeOneLine(*c.page);
        EXPECT_EQ(got.substr(0, c.bits.size()), c.bits) << c.what;
        EXPECT_EQ(got.find('1', c.bits.size()), std::string::npos)
            << c.what << ": only padding follows";
    }
}

TEST(MhCoder, PageEndsWithRtc) {
    std::string got = CodeOneLine(testkit::BlankPage(1728, 1), 3, 6);
    std::string line = kEol + "010011011" + "00110101";
    EXPECT_EQ(got.substr(0, line.size() + 72), line + Repeat(kEol, 6));
    EXPECT_EQ(got.size(), (line.size() + 72 + 7) / 8 * 8);
}

TEST(MhCoder, MinimumLineLengthFillsBeforeTheNextEol) {
    Page page = testkit::BlankPage(1728, 2);
    std::string line = kEol + "010011011" + "00110101"; // 29 bits
    std::string got = CodeOneLine(page, 3, 1, 96);
    EXPECT_EQ(got.substr(0, 96 * 2 + 12),
              line + std::string(96 - 29, '0') + line + std::string(96 - 29, '0') + kEol);
}

TEST(MhCoder, AlignedEolsEndOnByteBoundaries) {
    Page page = testkit::EveryRunLength(300, 40, 70);
    for (int minBits : {0, 13, 96}) {
        std::vector<uint8_t> coded =
            testkit::MhEncode(page, {.aligned = true, .minLineBits = minBits});
        std::string bits = Bits(coded);
        // Every line's EOL ends where a byte ends; the RTC's EOLs follow back to back.
        std::vector<size_t> ends;
        for (size_t pos = bits.find(kEol); pos != std::string::npos; pos = bits.find(kEol, pos + 1))
            ends.push_back(pos + kEol.size());
        ASSERT_EQ(ends.size(), 40u + 6u);
        for (size_t i = 0; i < 40; ++i)
            EXPECT_EQ(ends[i] % 8, 0u) << "line " << i << ", minimum " << minBits;
        for (size_t i = 41; i < ends.size(); ++i)
            EXPECT_EQ(ends[i] - ends[i - 1], 12u);
    }
}

TEST(MhCoder, FinishOnEntryWritesRtc) {
    Block blk(64, 0);
    blk.b.status = T4_STATUS_FINISH;
    blk.b.rtcLength = 2;
    EXPECT_EQ(COMPRESS(&blk.b), T4_STATUS_DONE);
    blk.coded.resize(blk.b.bytesUsed);
    EXPECT_EQ(Bits(blk.coded), kEol + kEol);
}

TEST(MhCoder, ChangeListsHoldTheLines) {
    Page page(20, 2);
    page.Fill(3, 0, 7, 1); // line 0: black at 4..7 (1-based); line 1 white
    Block blk(20, 2);
    blk.b.raster = page.Row(0);
    ASSERT_EQ(COMPRESS(&blk.b), T4_STATUS_DONE);
    EXPECT_EQ(std::vector<WORD>(blk.a.begin(), blk.a.begin() + 7),
              (std::vector<WORD>{1, 4, 8, 21, 21, 22, 22}));
    EXPECT_EQ(std::vector<WORD>(blk.c.begin(), blk.c.begin() + 5),
              (std::vector<WORD>{1, 21, 21, 22, 22}));
}

// The coder asks for room with status 0x84 and a full buffer; 0xFF from the
// callback ends the page.
struct RoomContext {
    T4CodecBlock block;
    int calls;
    int givesUp; // after this many calls
    std::vector<uint8_t>* chunk;
    std::vector<std::pair<int, DWORD>>* seen;
};

void WINAPI RoomCallback(T4CodecBlock* b) {
    auto* ctx = reinterpret_cast<RoomContext*>(b);
    ctx->seen->push_back({b->status, b->bytesUsed});
    if (++ctx->calls >= ctx->givesUp) {
        b->status = T4_STATUS_FINISH;
        return;
    }
    b->coded = ctx->chunk->data();
    b->codedBytes = static_cast<DWORD>(ctx->chunk->size());
}

TEST(MhCoder, CallbackEmptiesFullBuffersAndMayEndThePage) {
    Page page = testkit::TextLike(800, 200);
    std::vector<uint8_t> chunk(37);
    std::vector<WORD> a(805), c(805);
    for (int givesUp : {1, 3, 1000000}) {
        std::vector<std::pair<int, DWORD>> seen;
        RoomContext ctx{};
        ctx.givesUp = givesUp;
        ctx.chunk = &chunk;
        ctx.seen = &seen;
        T4CodecBlock& b = ctx.block;
        b.mode = 3;
        b.rtcLength = 6;
        b.coded = chunk.data();
        b.codedBytes = 37;
        b.raster = page.Row(0);
        b.lineStride = 800;
        b.linesPerCall = 200;
        b.width = 800;
        b.pageLines = 200;
        b.changesA = a.data();
        b.changesB = c.data();
        b.callback = RoomCallback;
        EXPECT_EQ(COMPRESS(&b), T4_STATUS_DONE);
        EXPECT_EQ(b.status, T4_STATUS_DONE);
        ASSERT_FALSE(seen.empty());
        for (auto [status, used] : seen) {
            EXPECT_EQ(status, T4_STATUS_DECODE_MORE);
            EXPECT_EQ(used, 37u);
        }
        if (givesUp < 1000) {
            EXPECT_EQ(static_cast<int>(seen.size()), givesUp);
            EXPECT_LT(b.linesDone, 200u) << "the page ended when the room ran out";
        } else {
            EXPECT_EQ(b.linesDone, 200u);
        }
    }
}

TEST(MhCoder, BuffersBetweenCallsContinueOrStartAfresh) {
    Page page = testkit::TextLike(640, 96, 7);
    std::vector<uint8_t> whole = testkit::MhEncode(page);
    // Code 8 lines per call, each call into a buffer of its own (a new buffer is
    // recognised by its address or size) ...
    std::vector<std::vector<uint8_t>> buffers(12, std::vector<uint8_t>(4096));
    Block blk(640, 96, 3, 8, 0);
    std::vector<uint8_t> out;
    int r;
    for (size_t call = 0;; ++call) {
        ASSERT_LT(call, buffers.size());
        blk.b.coded = buffers[call].data();
        blk.b.codedBytes = 4096;
        blk.b.raster = page.Row(blk.b.linesDone);
        r = COMPRESS(&blk.b);
        out.insert(out.end(), buffers[call].begin(), buffers[call].begin() + blk.b.bytesUsed);
        blk.b.status = T4_STATUS_CODE_MORE;
        if (r != T4_STATUS_CODE_MORE) break;
    }
    EXPECT_EQ(r, T4_STATUS_DONE);
    EXPECT_EQ(out, whole);
    // ... or all calls into the same one, left as it was.
    Block same(640, 96, 3, 8, 1 << 16);
    do {
        same.b.raster = page.Row(same.b.linesDone);
        r = COMPRESS(&same.b);
        same.b.status = T4_STATUS_CODE_MORE;
    } while (r == T4_STATUS_CODE_MORE);
    EXPECT_EQ(std::vector<uint8_t>(same.coded.begin(), same.coded.begin() + same.b.bytesUsed),
              whole);
}

// ---- Round trips -------------------------------------------------------------------

TEST(MhRoundTrip, PagesSurviveCodingAndDecoding) {
    struct PageCase {
        const char* name;
        Page page;
    } pages[] = {
        {"blank", testkit::BlankPage(1728, 24)},
        {"black", testkit::BlackPage(1728, 24)},
        {"every run to 2700", testkit::EveryRunLength(3000, 200, 2700)},
        {"every short run", testkit::EveryRunLength(1000, 60, 70)},
        {"alternating 1/1", testkit::AlternatingRuns(1001, 8, 1, 1)},
        {"alternating 63/65", testkit::AlternatingRuns(2000, 8, 63, 65)},
        {"longest runs", testkit::LongestRuns(65528, 8)},
        {"text", testkit::TextLike(2480, 300)},
        {"dense", testkit::Dense(997, 50)},
        {"noise", testkit::Noise(333, 40)},
        {"one pixel", testkit::BlackPage(1, 5)},
    };
    struct OptionCase {
        const char* name;
        testkit::MhOptions options;
    } options[] = {
        {"msb", {}},
        {"lsb", {.msbFirst = false}},
        {"aligned msb", {.aligned = true}},
        {"aligned lsb", {.msbFirst = false, .aligned = true}},
        {"minimum 200 bits", {.minLineBits = 200}},
        {"1-byte buffers, 3 lines per call", {.bufferSize = 1, .linesPerCall = 3}},
        {"7-byte buffers, minimum 300 bits", {.minLineBits = 300, .bufferSize = 7}},
        {"lsb, 7-byte buffers, 1 line per call",
         {.msbFirst = false, .bufferSize = 7, .linesPerCall = 1}},
    };
    for (const auto& p : pages) {
        for (const auto& o : options) {
            std::vector<uint8_t> coded = testkit::MhEncode(p.page, o.options);
            for (int pageLines : {p.page.height, 0}) {
                testkit::MhDecoded d = testkit::MhDecode(coded, p.page.width, pageLines, o.options);
                std::string where;
                EXPECT_TRUE(d.page.SameImage(p.page, &where))
                    << p.name << ", " << o.name << ": " << where;
                EXPECT_EQ(d.status, T4_STATUS_DONE);
                EXPECT_EQ(d.repaired, 0) << p.name << ", " << o.name;
            }
        }
    }
}

// ---- Decoding ------------------------------------------------------------------------

TEST(MhDecoder, SlicesOfLinesPerCall) {
    Page page = testkit::TextLike(512, 20, 3);
    std::vector<uint8_t> coded = testkit::MhEncode(page);
    Block blk(512, 20, 3, 8);
    std::memcpy(blk.coded.data(), coded.data(), coded.size());
    blk.b.codedBytes = static_cast<DWORD>(coded.size());
    Page out(512, 20);
    std::vector<std::pair<int, int>> calls;
    int r;
    do {
        blk.b.raster = out.Row(blk.b.linesDone);
        r = DECOMPRESS(&blk.b);
        calls.push_back({r, blk.b.linesThisCall});
        blk.b.status = T4_STATUS_DECODE_MORE;
    } while (r == T4_STATUS_DECODE_MORE);
    EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{0x84, 8}, {0x84, 8}, {0xC0, 4}}));
    EXPECT_TRUE(out.SameImage(page));
}

TEST(MhDecoder, StopsAtTheRtc) {
    Page page = testkit::TextLike(256, 10, 4);
    std::string line = Bits(testkit::MhEncode(testkit::BlankPage(256, 1), {.rtcLength = 0}));
    struct Case {
        int rtc;
        int eols;     // EOLs after the page
        int expected; // lines decoded before the page ends
    } cases[] = {{6, 6, 10}, {6, 4, 11}, {3, 3, 10}, {1, 1, 0}};
    for (const Case& c : cases) {
        std::vector<uint8_t> coded = testkit::MhEncode(page, {.rtcLength = c.eols});
        // A further line after the EOLs is decoded only when they were no RTC.
        std::string bits = Bits(coded) + line;
        testkit::MhDecoded d = testkit::MhDecode(Bytes(bits), 256, 0, {.rtcLength = c.rtc});
        EXPECT_EQ(d.lines, c.expected) << "rtc " << c.rtc << ", eols " << c.eols;
        EXPECT_EQ(d.status, T4_STATUS_DONE);
    }
}

TEST(MhDecoder, DamagedLinesAreRepairedFromTheLineAbove) {
    const int w = 64;
    Page page(w, 4);
    page.Fill(8, 0, 16, 1);
    page.Fill(20, 1, 28, 2);
    page.Fill(0, 2, 4, 3);
    page.Fill(30, 3, 40, 4);
    const std::string white8 = "10011", black8 = "000101", white16 = "101010", white48 = "00001011";
    const std::string line0 = kEol + white8 + black8 + white48;
    // Each damaged line should come out as a copy of line 0.
    struct Case {
        const char* what;
        std::string line1;
    } cases[] = {
        {"run past the line's end", kEol + white8 + black8 + "01010011" /*white 50*/},
        {"EOL inside the line", kEol + white8 + black8},
        {"no code after the EOL", kEol + "0000000000111"},
        {"stray bits after a complete line", kEol + white8 + black8 + white48 + "1111"},
    };
    for (const Case& c : cases) {
        // Lines 2 and 3 coded by our coder.
        Page tail(w, 2);
        std::memcpy(tail.Row(0), page.Row(2), 8);
        std::memcpy(tail.Row(1), page.Row(3), 8);
        std::string rest = Bits(testkit::MhEncode(tail, {.rtcLength = 6}));
        std::string bits = line0 + c.line1 + rest;
        testkit::MhDecoded d = testkit::MhDecode(Bytes(bits), w, 4);
        ASSERT_EQ(d.lines, 4) << c.what;
        EXPECT_EQ(d.repaired, 1) << c.what;
        Page expected = page;
        std::memcpy(expected.Row(1), page.Row(0), 8);
        std::string where;
        EXPECT_TRUE(d.page.SameImage(expected, &where)) << c.what << ": " << where;
    }
}

TEST(MhDecoder, ZeroRunsInsideALineCancelOut) {
    // white 8, black 0, white 0 (x many), black 8, white 48: more runs than pixels.
    std::string line = kEol + "10011" +
                       Repeat("0000110111"
                              "00110101",
                              200) +
                       "000101" + "00001011";
    testkit::MhDecoded d = testkit::MhDecode(Bytes(line + Repeat(kEol, 6)), 64, 0);
    ASSERT_EQ(d.lines, 1);
    EXPECT_EQ(d.repaired, 0);
    Page expected(64, 1);
    expected.Fill(8, 0, 16, 1);
    EXPECT_TRUE(d.page.SameImage(expected));
}

TEST(MhDecoder, NoDataEndsThePage) {
    for (const std::string& bits : {std::string(), std::string("0000"), kEol, kEol + "1001"}) {
        testkit::MhDecoded d = testkit::MhDecode(Bytes(bits), 64, 10);
        EXPECT_EQ(d.status, T4_STATUS_DONE);
        EXPECT_EQ(d.lines, 0) << bits;
    }
    // No callback at all: the given buffer is all there is.
    Block blk(64, 10, 3, 10, 0);
    Page out(64, 10);
    blk.b.raster = out.Row(0);
    EXPECT_EQ(DECOMPRESS(&blk.b), T4_STATUS_DONE);
    EXPECT_EQ(blk.b.linesThisCall, 0);
    // Finishing on entry ends the page at once.
    blk.b.status = T4_STATUS_FINISH;
    EXPECT_EQ(DECOMPRESS(&blk.b), T4_STATUS_DONE);
}

TEST(MhDecoder, AnyDamageEndsWithinThePage) {
    // Truncations, bit flips and noise: the decoder ends, writes only its raster
    // lines (ASan watches) and never reports more lines than the page has.
    Page page = testkit::TextLike(700, 60, 9);
    std::mt19937 rng(5);
    for (bool msb : {true, false}) {
        testkit::MhOptions o{.msbFirst = msb, .bufferSize = 13, .linesPerCall = 7};
        std::vector<uint8_t> coded = testkit::MhEncode(page, o);
        for (size_t cut = 0; cut < coded.size(); cut += 1 + cut / 16) {
            std::vector<uint8_t> part(coded.begin(), coded.begin() + cut);
            testkit::MhDecoded d = testkit::MhDecode(part, 700, 60, o);
            EXPECT_EQ(d.status, T4_STATUS_DONE);
            EXPECT_LE(d.lines, 60);
        }
        for (int trial = 0; trial < 300; ++trial) {
            std::vector<uint8_t> damaged = coded;
            for (int f = 0; f < 1 + trial % 5; ++f)
                damaged[rng() % damaged.size()] ^= static_cast<uint8_t>(1 << (rng() % 8));
            testkit::MhDecoded d = testkit::MhDecode(damaged, 700, 60, o);
            EXPECT_EQ(d.status, T4_STATUS_DONE);
            EXPECT_LE(d.lines, 60);
        }
        for (int trial = 0; trial < 50; ++trial) {
            std::vector<uint8_t> noise(1 + rng() % 3000);
            for (auto& b : noise)
                b = static_cast<uint8_t>(rng() & rng());
            testkit::MhDecoded d = testkit::MhDecode(noise, 1 + rng() % 2000, 0, o);
            EXPECT_EQ(d.status, T4_STATUS_DONE);
        }
    }
}

} // namespace
