// Run-length and delta-row rows, each checked byte for byte against rows
// laid out by hand and read back by the stream decoder's own row reader.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "streamdump/images.h"
#include "row_compress.h"

namespace {

using Bytes = std::vector<BYTE>;
using inkforge::CompressRow;
using inkforge::CompressState;

Bytes Repeat(size_t n, BYTE b) {
    return Bytes(n, b);
}

TEST(RunLength, PacksByTheRules) {
    struct Case {
        const char* what;
        Bytes row, packed;
    };
    const std::vector<Case> cases = {
        {"128 equal bytes", Repeat(128, 7), {0x81, 7}},
        {"129 equal bytes", Repeat(129, 7), {0x81, 7, 0x00, 7}},
        {"two equal bytes are a run", {5, 5}, {0xFF, 5}},
        {"a literal, then a run takes its byte back", {1, 2, 3, 3, 3}, {0x01, 1, 2, 0xFE, 3}},
        {"one byte", {9}, {0x00, 9}},
        {"128 different bytes, then one more",
         [] {
             Bytes b;
             for (int i = 0; i < 129; ++i)
                 b.push_back(static_cast<BYTE>(i));
             return b;
         }(),
         [] {
             Bytes b{0x7F};
             for (int i = 0; i < 128; ++i)
                 b.push_back(static_cast<BYTE>(i));
             b.push_back(0x00);
             b.push_back(128);
             return b;
         }()},
    };
    for (const Case& c : cases) {
        Bytes out(2 * c.row.size() + 2);
        DWORD n = 0;
        inkforge::PackRunLength(c.row.data(), out.data(), static_cast<DWORD>(c.row.size()), &n);
        out.resize(n);
        EXPECT_EQ(out, c.packed) << c.what;
        // The decoder reads it back to the same row.
        std::vector<std::uint8_t> seed, rows;
        std::string problem;
        ASSERT_TRUE(streamdump::DecodeImageRows(out.data(), out.size(), streamdump::kImageRunLength,
                                                c.row.size(), 1, &seed, &rows, &problem))
            << c.what << ": " << problem;
        EXPECT_EQ(Bytes(rows.begin(), rows.end()), c.row) << c.what;
    }
}

TEST(DeltaRow, EdgeCases) {
    struct Case {
        const char* what;
        Bytes seed, row, packed;
    };
    Bytes zero300 = Repeat(300, 0);
    auto changedAt = [&](size_t at, BYTE v) {
        Bytes r = zero300;
        r[at] = v;
        return r;
    };
    const std::vector<Case> cases = {
        {"the row equals the seed", zero300, zero300, {0x00, 0x00}},
        {"offset 30 stands in the command", zero300, changedAt(30, 1), {0x02, 0x00, 30, 1}},
        {"offset 31: the command says 31, then 0",
         zero300,
         changedAt(31, 1),
         {0x03, 0x00, 31, 0x00, 1}},
        {"offset 286: 31, then 255 and 0",
         zero300,
         changedAt(286, 1),
         {0x04, 0x00, 31, 0xFF, 0x00, 1}},
        {"nine changed bytes are a run of 8 and one of 1",
         Repeat(9, 0),
         Repeat(9, 4),
         {0x0B, 0x00, 7 << 5, 4, 4, 4, 4, 4, 4, 4, 4, 0x00, 4}},
        {"offsets count from after the previous run",
         Repeat(6, 0),
         {1, 0, 0, 2, 2, 0},
         {0x05, 0x00, 0x00, 1, (1 << 5) | 2, 2, 2}},
        {"the last byte of the row", Repeat(4, 0), {0, 0, 0, 9}, {0x02, 0x00, 3, 9}},
    };
    for (const Case& c : cases) {
        Bytes out(2 * c.row.size() + 2);
        DWORD n = 0;
        inkforge::PackDeltaRow(c.row.data(), c.seed.data(), out.data(),
                               static_cast<DWORD>(c.row.size()), &n);
        out.resize(n);
        EXPECT_EQ(out, c.packed) << c.what;
        std::vector<std::uint8_t> seed(c.seed.begin(), c.seed.end()), rows;
        std::string problem;
        ASSERT_TRUE(streamdump::DecodeImageRows(out.data(), out.size(), streamdump::kImageDeltaRow,
                                                c.row.size(), 1, &seed, &rows, &problem))
            << c.what << ": " << problem;
        EXPECT_EQ(Bytes(rows.begin(), rows.end()), c.row) << c.what;
    }
}

// A row whose delta commands would pass 65535 bytes cannot say its count: it
// goes out run-length and both sides take it as the next seed, so the row
// after it is a delta against the same seed on both sides.
TEST(DeltaRow, ARowPastTheCountLimitKeepsBothSeedsEqual) {
    const DWORD n = 80000;
    Bytes busy(n);
    for (DWORD i = 0; i < n; ++i)
        busy[i] = (i % 2) ? static_cast<BYTE>(i * 7 + 1) : 0;
    Bytes next = busy;
    next[100] ^= 0xFF;
    CompressState st;
    ASSERT_TRUE(inkforge::InitCompressBuffers(&st, n, inkforge::kModeDeltaRow));
    std::vector<std::uint8_t> printerSeed(n, 0), rows;
    std::string problem;
    struct Step {
        const Bytes* row;
        WORD mode;
    };
    for (const Step& s : {Step{&busy, static_cast<WORD>(inkforge::kModeRunLength)},
                          Step{&next, static_cast<WORD>(inkforge::kModeDeltaRow)},
                          Step{&next, static_cast<WORD>(inkforge::kModeDeltaRow)}}) {
        DWORD len = 0;
        WORD used = 0;
        const BYTE* out = CompressRow(&st, s.row->data(), n, &len, &used);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(used, s.mode);
        int compression = used == inkforge::kModeDeltaRow ? streamdump::kImageDeltaRow
                                                          : streamdump::kImageRunLength;
        ASSERT_TRUE(
            streamdump::DecodeImageRows(out, len, compression, n, 1, &printerSeed, &rows, &problem))
            << problem;
        EXPECT_EQ(Bytes(rows.begin(), rows.end()), *s.row);
        EXPECT_EQ(Bytes(st.seed, st.seed + n), Bytes(printerSeed.begin(), printerSeed.end()));
    }
    inkforge::FreeCompressBuffers(&st);
}

// Rows of every mix of runs and literals, at lengths around the 16-byte steps
// the packers scan in, read back by the decoder.
TEST(RowCompression, MixedRowsReadBackAtEveryLength) {
    std::mt19937 rng(7);
    for (DWORD length = 1; length < 700; length += 1 + length / 16) {
        for (int trial = 0; trial < 6; ++trial) {
            Bytes row;
            while (row.size() < length) {
                const DWORD n = 1 + rng() % (trial % 2 ? 3 : 200);
                row.insert(row.end(), n, static_cast<BYTE>(rng() % (trial < 2 ? 3 : 256)));
            }
            row.resize(length);
            Bytes out(2 * length + 2);
            DWORD n = 0;
            inkforge::PackRunLength(row.data(), out.data(), length, &n);
            EXPECT_LE(n, 2 * length); // what the output buffer holds
            std::vector<std::uint8_t> seed, rows;
            std::string problem;
            ASSERT_TRUE(streamdump::DecodeImageRows(out.data(), n, streamdump::kImageRunLength,
                                                    length, 1, &seed, &rows, &problem))
                << length << ": " << problem;
            ASSERT_EQ(Bytes(rows.begin(), rows.end()), row) << length;
            // The same row with a few bytes changed, as a delta against it.
            Bytes changed = row;
            for (DWORD k = 0; k < 1 + length / 40; ++k)
                changed[rng() % length] ^= static_cast<BYTE>(1 + rng() % 255);
            inkforge::PackDeltaRow(changed.data(), row.data(), out.data(), length, &n);
            seed.assign(row.begin(), row.end());
            ASSERT_TRUE(streamdump::DecodeImageRows(out.data(), n, streamdump::kImageDeltaRow,
                                                    length, 1, &seed, &rows, &problem))
                << length << ": " << problem;
            ASSERT_EQ(Bytes(rows.begin(), rows.end()), changed) << length;
        }
    }
}

TEST(CompressRow, RefusesRowsOfAnotherLength) {
    CompressState st;
    EXPECT_FALSE(inkforge::InitCompressBuffers(&st, 0, inkforge::kModeRunLength));
    ASSERT_TRUE(inkforge::InitCompressBuffers(&st, 8, inkforge::kModeRunLength));
    Bytes row(8, 1), shorter(7, 1);
    DWORD len = 0;
    WORD used = 0;
    EXPECT_EQ(CompressRow(&st, shorter.data(), 7, &len, &used), nullptr);
    EXPECT_EQ(CompressRow(&st, nullptr, 8, &len, &used), nullptr);
    EXPECT_NE(CompressRow(&st, row.data(), 8, &len, &used), nullptr);
    inkforge::FreeCompressBuffers(&st);
}

} // namespace
