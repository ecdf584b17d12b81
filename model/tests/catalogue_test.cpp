// Answers of the model queries whose rules go beyond the common frame.
#include <gtest/gtest.h>

#include "model_fixture.h"
#include "win/errors.h"

namespace model_test {
namespace {

using nlohmann::json;

class Catalogue : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { model_ = new Bytes(SampleModel("CX5540")); }
    static void TearDownTestSuite() { delete model_; }
    static const Bytes& M() { return *model_; }
    static Bytes* model_;
};
Bytes* Catalogue::model_ = nullptr;

TEST_F(Catalogue, KeyTableAndIdListsAskForEveryEntry) {
    Answer keys = Ask(M(), 76, 16, 1);
    ASSERT_EQ(keys.result, 0u);
    EXPECT_EQ(keys.length, 16u) << "count x 8 also for one index";
    EXPECT_EQ(keys.count, 1u);
    EXPECT_EQ(keys.U32(0), 16u);
    EXPECT_EQ(keys.U32(4), 0x22u);
    Answer ids = Ask(M(), 80, 2, 1);
    ASSERT_EQ(ids.result, 0u);
    EXPECT_EQ(ids.length, 4u);
    EXPECT_EQ(ids.count, 1u);
    EXPECT_EQ(ids.I16(0), 2);
    EXPECT_EQ(Ask(M(), 80, 3, 1).result, ERROR_NOT_FOUND);
}

TEST_F(Catalogue, FinisherItemsOfEveryFinisher) {
    // Two finishers of four staple items each: eight answers, the first finisher's first.
    Answer all = Ask(M(), 27, 0, 6);
    ASSERT_EQ(all.result, 0u);
    EXPECT_EQ(all.count, 8u);
    EXPECT_EQ(all.length, 8u * 192);
    EXPECT_EQ(all.I16(0), 1);
    EXPECT_EQ(all.I16(4), 1);
    EXPECT_EQ(all.I16(7 * 192), 2);
    EXPECT_EQ(all.I16(7 * 192 + 4), 4) << "finisher tray B";
    // An index stops after the matching finisher.
    Answer second = Ask(M(), 27, 2, 6);
    EXPECT_EQ(second.count, 4u);
    EXPECT_EQ(second.I16(0), 2);
    // The inner finisher has no punch items: 1168 for it alone.
    EXPECT_EQ(Ask(M(), 27, 1, 4).result, ERROR_NOT_FOUND);
    EXPECT_EQ(Ask(M(), 27, 2, 4).count, 3u);
    // Members of sub-list A of finisher 2.
    Answer members = Ask(M(), 27, 2, 7);
    EXPECT_EQ(members.count, 20u);
    EXPECT_EQ(members.I16(4), 1) << "the staple item's code";
    EXPECT_EQ(members.I16(6), 1) << "the member's paper";
}

TEST_F(Catalogue, FinishersWithoutStapleItemsAnswerNotFound) {
    json codes = {{"27",
                   {{"entries",
                     {{{"id", 1},
                       {"punch", {{"items", json::array()}}},
                       {"fold", {{"items", json::array()}}},
                       {"staple", {{"items", json::array()}}}}}}}}};
    Bytes m = Build(SourceWith(303, codes));
    DWORD length = 7;
    EXPECT_EQ(Query(m, 27, 0, 6, nullptr, &length, nullptr), ERROR_NOT_FOUND);
    EXPECT_EQ(Ask(m, 27, 0, 3).result, 0u) << "the entry itself answers";
}

TEST_F(Catalogue, FeederTraysAcrossUnits) {
    Answer trays = Ask(M(), 26, 0, 3);
    ASSERT_EQ(trays.count, 3u);
    EXPECT_EQ(trays.I16(200), 258);
    Answer one = Ask(M(), 26, 11, 3);
    EXPECT_EQ(one.count, 1u);
    EXPECT_EQ(one.length, 200u);
    EXPECT_EQ(one.I16(0), 11);
    Answer flags = Ask(M(), 26, 258, 8);
    EXPECT_EQ(flags.I16(2), 2) << "the unit of tray 258";
    // Units without trays: 1168 even for index 0.
    json codes = {{"26", {{"entries", {{{"id", 1}, {"trays", json::array()}}}}}}};
    Bytes m = Build(SourceWith(303, codes));
    EXPECT_EQ(Ask(m, 26, 0, 3).result, ERROR_NOT_FOUND);
    EXPECT_EQ(Ask(m, 26, 0, 2).count, 1u);
}

TEST_F(Catalogue, PjlLinesOfOneItem) {
    std::vector<json> lines = {{0, "SET A=%d"}, {1, "SET B=%d"}, {2, "SET C"}};
    json codes = {
        {"65",
         {{"s0", 0},
          {"entries", {{{"id", 12}, {"lines", {{0, "X"}}}}, {{"id", 32}, {"lines", lines}}}}}}};
    Bytes m = Build(SourceWith(303, codes));
    Answer a = Ask(m, 65, 32, 4);
    ASSERT_EQ(a.result, 0u);
    EXPECT_EQ(a.length, 192u);
    EXPECT_EQ(a.count, 3u);
    EXPECT_EQ(a.U32(64), 32u);
    EXPECT_EQ(a.U32(68), 1u);
    EXPECT_EQ(a.Text(72, 56), "SET B=%d");
    EXPECT_EQ(Ask(m, 65, 0, 4).count, 4u);
    EXPECT_EQ(Ask(m, 65, 99, 4).result, ERROR_NOT_FOUND);
    // An item without lines.
    json none = {{"65", {{"s0", 0}, {"entries", {{{"id", 12}, {"lines", json::array()}}}}}}};
    EXPECT_EQ(Ask(Build(SourceWith(303, none)), 65, 0, 4).result, ERROR_NOT_FOUND);
}

TEST_F(Catalogue, ExtensionAnswersLeadWithTheirOwnWords) {
    Answer names = Ask(M(), 20, 9, 6);
    EXPECT_EQ(names.I16(0), 4) << "e0, not the paper id";
    EXPECT_EQ(names.Text(4, 32), "A4");
    Answer options = Ask(M(), 20, 9, 9);
    EXPECT_EQ(options.I16(0), 9) << "the paper id";
    json codes = {{"21", {{"supported", 1}, {"options", {5, 6, 7}}}}};
    Answer limits = Ask(Build(SourceWith(303, codes)), 21, 0, 4);
    EXPECT_EQ(limits.I16(0), 3) << "the count first";
    EXPECT_EQ(limits.I16(12), 7);
}

TEST_F(Catalogue, EmptyListsByCode) {
    json codes = {
        {"7", {{"entries", json::array()}}},
        {"20", {{"entries", json::array()}}},
        {"25", {{"record", {5, 0, 0, 0, 0, 1}}, {"entries", json::array()}}},
        {"35", {{"value", 1}, {"entries", json::array()}}},
        {"36", {{"record", {256, 256, 0, 512, 0}}, {"entries", json::array()}}},
        {"46", {{"value", 3}, {"entries", json::array()}}},
        {"37", {{"groups", json::array()}}},
    };
    Bytes m = Build(SourceWith(303, codes));
    for (int code : {7, 20, 37})
        EXPECT_EQ(Ask(m, code, 0, 1).result, ERROR_NOT_SUPPORTED) << code;
    // These answer their single layouts and an empty list.
    EXPECT_EQ(Ask(m, 25, 0, 1).U32(0), 5u);
    EXPECT_EQ(Ask(m, 35, 0, 1).U32(0), 1u);
    EXPECT_EQ(Ask(m, 36, 0, 1).U32(12), 512u);
    EXPECT_EQ(Ask(m, 46, 0, 1).U32(0), 3u);
    Answer none = Ask(m, 25, 0, 2);
    EXPECT_EQ(none.result, 0u);
    EXPECT_EQ(none.length, 0u);
    EXPECT_EQ(none.count, 0u);
    EXPECT_EQ(Ask(m, 46, 0, 2).length, 0u);
    EXPECT_EQ(Ask(m, 25, 1, 2).result, ERROR_NOT_FOUND);
    // The hard disk and memory module lists say so with 50.
    EXPECT_EQ(Ask(m, 35, 0, 2).result, ERROR_NOT_SUPPORTED);
    EXPECT_EQ(Ask(m, 36, 0, 2).result, ERROR_NOT_SUPPORTED);
}

TEST_F(Catalogue, AbsentStrings) {
    json codes = {{"10", {{"absent", true}}}, {"11", nullptr}, {"15", ""}};
    Bytes m = Build(SourceWith(303, codes));
    EXPECT_EQ(Ask(m, 10, 0, 1).result, ERROR_NOT_SUPPORTED);
    EXPECT_EQ(Ask(m, 11, 0, 1).result, ERROR_NOT_SUPPORTED);
    Answer empty = Ask(m, 15, 0, 1);
    EXPECT_EQ(empty.result, 0u);
    EXPECT_EQ(empty.length, 1u);
    // Before 301 code 14 has no second string.
    json family = {{"14", {{"text", "F"}, {"second", "S"}}}};
    EXPECT_EQ(Ask(Build(SourceWith(300, family)), 14, 0, 2).result, ERROR_NOT_SUPPORTED);
    EXPECT_EQ(Ask(Build(SourceWith(301, family)), 14, 0, 2).Text(0, 8), "S");
    json noSecond = {{"14", "F"}};
    EXPECT_EQ(Ask(Build(SourceWith(301, noSecond)), 14, 0, 2).result, ERROR_NOT_SUPPORTED);
    EXPECT_EQ(Ask(Build(SourceWith(301, noSecond)), 14, 0, 1).Text(0, 8), "F");
}

TEST_F(Catalogue, SelectionByPosition) {
    Answer font = Ask(M(), 39, 3, 2);
    EXPECT_EQ(font.Text(0, 64), "Courier New");
    EXPECT_EQ(Ask(M(), 39, 5, 2).result, ERROR_NOT_FOUND);
    EXPECT_EQ(Ask(M(), 51, 2, 3).Text(8, 16), "CX5520 MFP");
}

TEST_F(Catalogue, OptionDirectory) {
    Answer codes = Ask(M(), 37, 0, 1);
    EXPECT_EQ(codes.count, 9u);
    Answer one = Ask(M(), 37, 36, 1);
    EXPECT_EQ(one.count, 1u);
    EXPECT_EQ(one.I16(0), 36);
    EXPECT_EQ(Ask(M(), 37, 40, 1).result, ERROR_NOT_FOUND);
    Answer memory = Ask(M(), 37, 36, 2);
    ASSERT_EQ(memory.count, 2u);
    EXPECT_EQ(memory.I16(0), 36);
    EXPECT_EQ(memory.I16(2), 2 - 1);
    EXPECT_EQ(memory.I16(4), 3601);
    EXPECT_EQ(memory.U32(8), 1u);
    // Trays take their display id and the flags of their unit's pair.
    Answer trays = Ask(M(), 37, 26, 2);
    ASSERT_EQ(trays.count, 3u);
    EXPECT_EQ(trays.I16(2), 3);
    EXPECT_EQ(trays.I16(4), 9027); // "Tray 3"
    // The duplex unit: value from offset 20, flags from bits 0 and 6.
    Answer duplex = Ask(M(), 37, 25, 2);
    ASSERT_EQ(duplex.count, 1u);
    EXPECT_EQ(duplex.I16(4), 1);
    EXPECT_EQ(duplex.U32(8), 1u);
    // A short buffer answers 122 with the size needed.
    DWORD length = 0;
    ASSERT_EQ(Query(M(), 37, 0, 2, nullptr, &length, nullptr), 0u);
    Bytes out(length);
    DWORD shortLength = length - 16;
    EXPECT_EQ(Query(M(), 37, 0, 2, out.data(), &shortLength, nullptr), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(shortLength, length);
    EXPECT_EQ(Ask(M(), 37, 99, 2).result, ERROR_NOT_FOUND);
}

TEST_F(Catalogue, OptionDirectoryListingATableManyTimes) {
    nlohmann::json source = SampleSource("CX5540");
    source["codes"]["37"] = {{"groups", {std::vector<int>(3000, 36)}}};
    Answer a = Ask(Build(source), 37, 0, 2);
    ASSERT_EQ(a.result, 0u);
    EXPECT_EQ(a.count, 6000u);
    EXPECT_EQ(a.I16(16 * 5999 + 2), 2);
}

TEST_F(Catalogue, PortCapabilities) {
    Answer paper = Ask(M(), 71, 9, 2);
    ASSERT_EQ(paper.count, 1u);
    EXPECT_EQ(paper.U32(4), 1u);
    EXPECT_EQ(paper.I16(8), 1) << "present";
    EXPECT_EQ(paper.I16(10), 26) << "device paper code";
    EXPECT_EQ(Ask(M(), 71, 12, 3).I16(2), 26) << "default device paper code";
    EXPECT_EQ(Ask(M(), 71, 1, 5).I16(2), 0) << "automatic tray code";
    Answer tray = Ask(M(), 71, 258, 4);
    EXPECT_EQ(tray.U32(4), 0xCu);
    EXPECT_EQ(tray.I16(10), 5);
}

TEST_F(Catalogue, RulePairs) {
    Answer all = Ask(M(), 95, 0, 1);
    EXPECT_EQ(all.count, 7u);
    EXPECT_EQ(all.length, 28u);
    Answer one = Ask(M(), 95, 208, 1);
    ASSERT_EQ(one.count, 2u);
    EXPECT_EQ(one.I16(0), 208);
    EXPECT_EQ(one.I16(6), 3);
}

TEST_F(Catalogue, PaperRecordArithmetic) {
    // A4: 4961 x 7016 dots at 600 dpi with 100-dot margins.
    Answer a4 = Ask(M(), 20, 9, 4);
    EXPECT_EQ(a4.I16(20), 4761);
    EXPECT_EQ(a4.I16(16), 4761 * 254 / 600);
    EXPECT_EQ(a4.I16(44), 7016 - 200);
    // A unit of 0 gives 0 for the converted sizes.
    json codes = {
        {"20",
         {{"dpi", 0},
          {"entries", {{{"id", 9}, {"width_dots", 4961}, {"margins", {100, 100, 100, 100}}}}}}}};
    Answer zero = Ask(Build(SourceWith(303, codes)), 20, 9, 4);
    EXPECT_EQ(zero.I16(16), 0);
    EXPECT_EQ(zero.I16(20), 4761);
}

} // namespace
} // namespace model_test
