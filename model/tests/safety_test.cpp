// Modelsmith on malformed model data: every read stays inside the size the
// block states, and bad data answers an error, never a crash.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

#include "model/modelsmith.h"
#include "model_fixture.h"
#include "win/errors.h"

namespace model_test {
namespace {

using nlohmann::json;

const std::set<DWORD> kResults = {0, ERROR_INVALID_DATA, ERROR_NOT_SUPPORTED,
                                  ERROR_INSUFFICIENT_BUFFER, ERROR_NOT_FOUND};

// Asks every code 1..100 with layouts 0..16 and a few indexes, on a heap block
// of exactly the given bytes; returns the number of queries that answered 0.
int AskEverything(const Bytes& model) {
    std::vector<std::uint8_t> block(model.begin(), model.end());
    std::vector<std::uint8_t> out(8192);
    int answered = 0;
    for (int code = 1; code <= 100; ++code)
        for (int layout = 0; layout <= 16; ++layout)
            for (int index : {0, 1, 9}) {
                DWORD length = 0, count = 0;
                DWORD r = model::GetMyPrinterInfo(block.data(), code, index, layout, nullptr,
                                                  &length, &count);
                EXPECT_TRUE(kResults.count(r))
                    << "code " << code << " layout " << layout << " result " << r;
                if (r != 0 || length > out.size()) continue;
                r = model::GetMyPrinterInfo(block.data(), code, index, layout, out.data(), &length,
                                            &count);
                EXPECT_TRUE(kResults.count(r))
                    << "code " << code << " layout " << layout << " result " << r;
                if (r == 0) ++answered;
            }
    return answered;
}

const int kListCodes[] = {7,  18, 20, 22, 24, 25, 26, 27, 32, 33, 34, 35, 36, 37, 39, 41,
                          42, 43, 46, 47, 51, 53, 65, 69, 70, 71, 76, 80, 81, 87, 94, 95};

TEST(ModelSafety, HugeEntryCountsAreRefused) {
    json source = SampleSource("CX5540");
    for (int code : kListCodes) {
        SCOPED_TRACE("code " + std::to_string(code));
        modelc::Options o;
        o.hugeCount = code;
        Bytes m = Build(source, o);
        for (int layout = 1; layout <= 15; ++layout) {
            DWORD length = 0, count = 0;
            DWORD r = Query(m, code, 0, layout, nullptr, &length, &count);
            EXPECT_TRUE(r == ERROR_NOT_SUPPORTED) << "layout " << layout << " result " << r;
        }
        // Other codes still answer.
        EXPECT_EQ(Ask(m, code == 11 ? 15 : 11, 0, 1).result, 0u);
    }
}

TEST(ModelSafety, StringsWithoutTheirNulAreRefused) {
    json source = SampleSource("CX5540");
    for (int code : {1, 2, 3, 4, 5, 6, 10, 11, 14, 15, 16, 17}) {
        modelc::Options o;
        o.unterminated = code;
        Bytes m = Build(source, o);
        ASSERT_NE(m.back(), 0) << "the string runs to the end of the file";
        for (int layout : {0, 1, 2}) {
            DWORD length = 0;
            EXPECT_EQ(Query(m, code, 0, layout, nullptr, &length, nullptr), ERROR_NOT_SUPPORTED)
                << code;
        }
    }
}

TEST(ModelSafety, TruncatedFilesNeverReadPastTheirSize) {
    Bytes full = SampleModel("CX5540");
    for (std::size_t size = 24; size < full.size(); size += 61) {
        SCOPED_TRACE("size " + std::to_string(size));
        Bytes cut(full.begin(), full.begin() + static_cast<long>(size));
        std::uint32_t stated = static_cast<std::uint32_t>(size);
        std::memcpy(cut.data() + 4, &stated, 4);
        AskEverything(cut);
        if (HasFailure()) break;
    }
}

TEST(ModelSafety, MutatedFilesNeverReadPastTheirSize) {
    for (const char* name : {"CX5540", "LP1220"}) {
        Bytes original = SampleModel(name);
        std::mt19937 rng(20260101);
        for (int round = 0; round < 120; ++round) {
            Bytes m = original;
            int changes = 1 + static_cast<int>(rng() % 6);
            for (int k = 0; k < changes; ++k) {
                std::size_t at = 8 + rng() % (m.size() - 12);
                switch (rng() % 4) {
                case 0:
                    m[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
                    break;
                case 1: {
                    std::uint32_t v = 0x7FFFFFF0u + rng() % 32;
                    std::memcpy(m.data() + (at & ~std::size_t{3}), &v, 4);
                    break;
                }
                case 2: {
                    std::uint32_t v = static_cast<std::uint32_t>(rng() % (m.size() + 64));
                    std::memcpy(m.data() + (at & ~std::size_t{3}), &v, 4);
                    break;
                }
                default:
                    m[at] = 0;
                    break;
                }
            }
            SCOPED_TRACE(std::string(name) + " round " + std::to_string(round));
            AskEverything(m);
            if (HasFailure()) return;
        }
    }
}

TEST(ModelSafety, UntouchedSamplesAnswerEveryCatalogueQuery) {
    EXPECT_GT(AskEverything(SampleModel("CX5540")), 300);
}

TEST(ModelSafety, FamilyNameSelectorsOutsideTheLayouts) {
    Bytes m = SampleModel("CX5540");
    EXPECT_EQ(Ask(m, 14, 0, 1).Text(0, 64), "CX5500");
    EXPECT_EQ(Ask(m, 14, 0, 0).Text(0, 64), "CX5500");
    EXPECT_EQ(Ask(m, 14, 0, 2).Text(0, 64), "PCL XL");
    for (int layout : {-1, 3, 100, 0x7FFF}) {
        DWORD length = 0, count = 9;
        EXPECT_EQ(Query(m, 14, 0, layout, nullptr, &length, &count), ERROR_NOT_SUPPORTED) << layout;
        EXPECT_EQ(length, 0u);
    }
}

TEST(ModelSafety, TextFieldsAreCutAndTerminated) {
    std::string longLine(100, 'P');
    std::string longLink(400, 'L');
    json codes = {
        {"7", {{"entries", {{{"id", 20}, {"kind", 1}, {"name", "ABCDEFGHIJKLMNOP"}}}}}},
        {"18", {{"entries", {{{"id", 1}, {"text", longLink}}}}}},
        {"65", {{"s0", 0}, {"entries", {{{"id", 12}, {"lines", {{0, longLine}}}}}}}},
    };
    Bytes m = Build(SourceWith(303, codes));
    Answer c = Ask(m, 7, 0, 1);
    EXPECT_EQ(c.Text(8, 16), "ABCDEFGHIJKLMNO");
    EXPECT_EQ(c.data[23], 0);
    Answer link = Ask(m, 18, 1, 1);
    EXPECT_EQ(link.Text(2, 254), std::string(253, 'L'));
    EXPECT_EQ(link.data[255], 0);
    Answer line = Ask(m, 65, 12, 4);
    ASSERT_EQ(line.result, 0u);
    EXPECT_EQ(line.Text(8, 56), std::string(55, 'P'));
    EXPECT_EQ(line.data[63], 0);
    EXPECT_EQ(line.data.size(), 64u) << "nothing written past the 64-byte line";
}

TEST(ModelSafety, LargeMatricesCopyAtMost4096Bytes) {
    std::vector<int> data(80 * 60, 7);
    json codes = {{"43",
                   {{"entries",
                     {{{"id", 1}, {"value", 8}, {"width", 80}, {"height", 60}, {"data", data}}}}}}};
    Answer a = Ask(Build(SourceWith(303, codes)), 43, 1, 2);
    ASSERT_EQ(a.result, 0u);
    EXPECT_EQ(a.length, 4104u);
    EXPECT_EQ(a.I16(4), 80);
    EXPECT_EQ(a.I16(6), 60);
    EXPECT_EQ(a.data[8 + 4095], 7);
}

TEST(ModelSafety, RecordPointingIntoTheHeaderOrTableIsHarmless) {
    Bytes m = SampleModel("CX5540");
    // Point code 20's slot at the offset table itself.
    std::uint32_t table = 24;
    std::memcpy(m.data() + 24 + 4 * 19, &table, 4);
    for (int layout = 1; layout <= 10; ++layout) {
        DWORD length = 0;
        DWORD r = Query(m, 20, 0, layout, nullptr, &length, nullptr);
        EXPECT_TRUE(kResults.count(r)) << r;
    }
}

} // namespace
} // namespace model_test
