// Every layout that a later format version brings answers 50 one version
// before and answers from that version on.
#include <gtest/gtest.h>

#include "model_fixture.h"
#include "win/errors.h"

namespace model_test {
namespace {

struct Gate {
    int code, layout, since;
};

constexpr Gate kGates[] = {
    {14, 2, 301},  {19, 1, 294},  {19, 2, 296},  {19, 3, 300},  {20, 6, 265},  {20, 7, 267},
    {20, 8, 272},  {20, 9, 282},  {20, 10, 290}, {21, 2, 265},  {21, 3, 272},  {21, 4, 282},
    {21, 5, 288},  {21, 6, 290},  {22, 4, 265},  {22, 5, 265},  {22, 6, 282},  {22, 7, 290},
    {22, 8, 298},  {23, 2, 299},  {24, 4, 265},  {24, 5, 282},  {24, 6, 290},  {24, 7, 291},
    {25, 2, 267},  {25, 3, 273},  {25, 4, 282},  {25, 5, 298},  {26, 4, 265},  {26, 5, 282},
    {26, 6, 290},  {26, 7, 291},  {26, 8, 293},  {26, 9, 299},  {27, 3, 283},  {27, 4, 283},
    {27, 5, 283},  {27, 6, 283},  {27, 7, 283},  {27, 8, 283},  {27, 9, 285},  {27, 10, 287},
    {27, 11, 293}, {27, 12, 293}, {27, 13, 293}, {27, 14, 293}, {27, 15, 297}, {28, 2, 268},
    {28, 3, 282},  {29, 2, 268},  {29, 3, 282},  {29, 4, 283},  {31, 2, 268},  {34, 3, 283},
    {34, 4, 283},  {34, 5, 283},  {34, 6, 285},  {34, 7, 293},  {34, 8, 299},  {39, 3, 282},
    {39, 4, 288},  {40, 2, 282},  {42, 3, 270},  {42, 4, 271},  {42, 5, 276},  {42, 6, 282},
    {46, 3, 299},  {47, 3, 269},  {47, 4, 274},  {47, 5, 280},  {47, 6, 300},  {50, 2, 296},
    {51, 3, 281},  {53, 2, 275},  {57, 2, 282},  {60, 2, 282},  {60, 3, 302},  {61, 3, 302},
    {62, 3, 302},  {63, 2, 299},  {65, 2, 286},  {65, 3, 301},  {65, 4, 301},  {67, 2, 268},
    {67, 3, 282},  {71, 1, 278},  {71, 2, 278},  {71, 3, 278},  {71, 4, 278},  {71, 5, 278},
    {72, 1, 282},  {73, 1, 282},  {73, 3, 302},  {74, 2, 282},  {75, 2, 265},  {75, 5, 288},
    {77, 1, 294},  {77, 2, 295},  {78, 1, 300},  {79, 1, 299},  {96, 1, 303},
};

class VersionGates : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        source_ = new nlohmann::json(SampleSource("CX5540"));
        models_ = new std::map<int, Bytes>;
    }
    static void TearDownTestSuite() {
        delete source_;
        delete models_;
    }
    static const Bytes& At(int v) {
        auto it = models_->find(v);
        if (it == models_->end()) it = models_->emplace(v, Build(*source_, v)).first;
        return it->second;
    }
    static nlohmann::json* source_;
    static std::map<int, Bytes>* models_;
};
nlohmann::json* VersionGates::source_ = nullptr;
std::map<int, Bytes>* VersionGates::models_ = nullptr;

TEST_F(VersionGates, EachLayoutAnswersFromItsVersion) {
    for (const Gate& g : kGates) {
        SCOPED_TRACE("code " + std::to_string(g.code) + " layout " + std::to_string(g.layout));
        Answer before = Ask(At(g.since - 1), g.code, 0, g.layout);
        EXPECT_EQ(before.result, ERROR_NOT_SUPPORTED) << "version " << g.since - 1;
        Answer from = Ask(At(g.since), g.code, 0, g.layout);
        EXPECT_EQ(from.result, 0u) << "version " << g.since;
        EXPECT_GT(from.length, 0u);
    }
}

TEST_F(VersionGates, ListCodesBeforeTheirListsAreFixedRecords) {
    // 51, 53 and 65 answer their single layouts from the fixed record before
    // their lists exist; 71 has no answer then.
    Answer mask = Ask(At(280), 51, 0, 1);
    ASSERT_EQ(mask.result, 0u);
    EXPECT_EQ(mask.U32(0), 0x1F000u);
    EXPECT_EQ(Ask(At(281), 51, 0, 1).U32(0), 0x1F000u);
    Answer names = Ask(At(281), 51, 1, 3);
    EXPECT_EQ(names.Text(8, 16), "CX5530 MFP");

    Answer setup = Ask(At(274), 53, 0, 1);
    ASSERT_EQ(setup.result, 0u);
    EXPECT_EQ(setup.U32(0), 1u);
    EXPECT_EQ(setup.I16(4), 2);
    EXPECT_EQ(Ask(At(275), 53, 0, 1).I16(4), 2);

    EXPECT_EQ(Ask(At(300), 65, 0, 1).U32(0), 0x40000000u);
    EXPECT_EQ(Ask(At(285), 65, 0, 2).result, ERROR_NOT_SUPPORTED);
    EXPECT_EQ(Ask(At(286), 65, 0, 2).U32(0), 0x40000000u);
    EXPECT_EQ(Ask(At(301), 65, 0, 1).U32(0), 0x40000000u);

    EXPECT_EQ(Ask(At(277), 71, 0, 1).result, ERROR_NOT_SUPPORTED);
}

TEST_F(VersionGates, OlderShapesOfTheSameAnswers) {
    // Code 22 layout 5 before 268 has no second name.
    Answer names = Ask(At(267), 22, 1, 5);
    ASSERT_EQ(names.result, 0u);
    EXPECT_EQ(names.Text(4, 32), "PLAIN");
    EXPECT_EQ(Bytes(names.data.begin() + 36, names.data.end()), Bytes(32, 0));
    EXPECT_EQ(Ask(At(268), 22, 1, 5).Text(36, 32), "Plain Paper");

    // Code 25 before 267 has no usable list: layout 1 still answers.
    EXPECT_EQ(Ask(At(266), 25, 0, 1).U32(0), 0x15u);

    // Code 42 takes its resolution from code 41 before 262 and from its own
    // slots from then on (the sample's mode 4 is 600 x 600 there, 600 x 1200 in code 41).
    EXPECT_EQ(Ask(At(261), 42, 4, 1).U32(8), 1200u);
    EXPECT_EQ(Ask(At(262), 42, 4, 1).U32(8), 600u);

    // Code 47 layout 2: the entries' ids before 269, their slot 2 from 269.
    Answer ids = Ask(At(268), 47, 0, 2);
    Answer values = Ask(At(269), 47, 0, 2);
    ASSERT_EQ(ids.count, 3u);
    EXPECT_EQ(ids.I16(2), 2);
    EXPECT_EQ(values.I16(2), 2);

    // Custom paper limits before 264: the shorter record.
    Answer limits = Ask(At(263), 21, 0, 1);
    ASSERT_EQ(limits.result, 0u);
    EXPECT_EQ(limits.I16(4), 3048);
    EXPECT_EQ(limits.U32(36), 1u);    // flags
    EXPECT_EQ(limits.U32(40), 0xFFu); // item-9 mask
    EXPECT_EQ(limits.I16(62), 3);     // media list count
    EXPECT_EQ(limits.I16(66), 1);     // tray list count
    EXPECT_EQ(limits.I16(100), 4);
    EXPECT_EQ(limits.I16(20), 0) << "not written before 264";
    EXPECT_EQ(Ask(At(264), 21, 0, 1).I16(20), 100);
}

} // namespace
} // namespace model_test
