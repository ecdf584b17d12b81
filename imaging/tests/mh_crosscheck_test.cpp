// Our Modified Huffman against netpbm (pbmtog3, g3topbm) and libtiff's CCITT
// codec, both ways, both bit orders, with and without aligned EOLs, on the CCITT
// test pages and on synthetic pages.
#include <gtest/gtest.h>

#include <map>

#include "imaging/bitsqueeze.h"
#include "platform_testing/fresh_root.h"
#include "testkit/pages.h"

namespace {

using testkit::Page;

struct NamedPage {
    std::string name;
    Page page;
};

const std::vector<NamedPage>& Pages() {
    static const std::vector<NamedPage> pages = [] {
        std::vector<NamedPage> v;
        for (int n = 1; n <= 8; ++n) {
            std::optional<Page> p = testkit::CcittPage(n);
            if (!p)
                ADD_FAILURE() << "jbgtopbm could not decode ccitt" << n << ".jbg";
            else
                v.push_back({"ccitt" + std::to_string(n), *p});
        }
        v.push_back({"blank", testkit::BlankPage(1728, 40)});
        v.push_back({"black", testkit::BlackPage(1728, 40)});
        v.push_back({"every run length", testkit::EveryRunLength(2800, 120, 2700)});
        v.push_back({"alternating 1/1", testkit::AlternatingRuns(1728, 16, 1, 1)});
        v.push_back({"alternating 64/63", testkit::AlternatingRuns(1728, 16, 64, 63)});
        v.push_back({"longest runs", testkit::LongestRuns(6000, 16)});
        v.push_back({"text", testkit::TextLike(2480, 400)});
        v.push_back({"odd width", testkit::Dense(1001, 30)});
        return v;
    }();
    return pages;
}

struct Variant {
    const char* name;
    bool msbFirst, aligned;
    std::string Pbmtog3Flags() const {
        return std::string(msbFirst ? "" : " -reversebits") + (aligned ? " -align8" : "");
    }
    std::string G3topbmFlags() const { return msbFirst ? "" : " -reversebits"; }
};
const Variant kVariants[] = {{"msb", true, false},
                             {"lsb", false, false},
                             {"msb aligned", true, true},
                             {"lsb aligned", false, true}};

std::string TempPath(const std::string& name) {
    return platform_testing::Root() + "/" + name;
}

TEST(MhCrossCheck, Netpbm_DecodesOurs) {
    for (const auto& [name, page] : Pages()) {
        for (const Variant& v : kVariants) {
            std::vector<uint8_t> coded =
                testkit::MhEncode(page, {.msbFirst = v.msbFirst, .aligned = v.aligned});
            std::string g3 = TempPath("ours.g3");
            ASSERT_TRUE(testkit::WriteFile(g3, std::string(coded.begin(), coded.end())));
            std::string pbm;
            ASSERT_EQ(testkit::Run("g3topbm -stop_error" + v.G3topbmFlags() + " " + g3, &pbm), 0)
                << name << ", " << v.name;
            std::optional<Page> back = testkit::ParsePbm(pbm);
            ASSERT_TRUE(back) << name << ", " << v.name;
            std::string where;
            EXPECT_TRUE(back->SameImage(page, &where)) << name << ", " << v.name << ": " << where;
        }
    }
}

TEST(MhCrossCheck, WeDecodeNetpbms) {
    for (const auto& [name, page] : Pages()) {
        std::string in = TempPath("page.pbm");
        ASSERT_TRUE(testkit::WriteFile(in, testkit::ToPbm(page)));
        for (const Variant& v : kVariants) {
            std::string g3;
            ASSERT_EQ(testkit::Run("pbmtog3 -nofixedwidth" + v.Pbmtog3Flags() + " " + in, &g3), 0)
                << name << ", " << v.name;
            testkit::MhDecoded d =
                testkit::MhDecode(std::vector<uint8_t>(g3.begin(), g3.end()), page.width,
                                  page.height, {.msbFirst = v.msbFirst, .aligned = v.aligned});
            std::string where;
            EXPECT_TRUE(d.page.SameImage(page, &where)) << name << ", " << v.name << ": " << where;
            EXPECT_EQ(d.repaired, 0) << name << ", " << v.name;
            // Left to itself the decoder stops at pbmtog3's RTC.
            testkit::MhDecoded open =
                testkit::MhDecode(std::vector<uint8_t>(g3.begin(), g3.end()), page.width, 0,
                                  {.msbFirst = v.msbFirst, .aligned = v.aligned});
            EXPECT_EQ(open.lines, page.height) << name << ", " << v.name;
        }
    }
}

TEST(MhCrossCheck, Libtiff_DecodesOurs) {
    for (const auto& [name, page] : Pages()) {
        for (const Variant& v : kVariants) {
            std::vector<uint8_t> coded =
                testkit::MhEncode(page, {.msbFirst = v.msbFirst, .aligned = v.aligned});
            std::optional<Page> back =
                testkit::TiffDecode(coded, page.width, page.height, v.msbFirst, v.aligned);
            ASSERT_TRUE(back) << name << ", " << v.name;
            std::string where;
            EXPECT_TRUE(back->SameImage(page, &where)) << name << ", " << v.name << ": " << where;
        }
    }
}

TEST(MhCrossCheck, WeDecodeLibtiffs) {
    for (const auto& [name, page] : Pages()) {
        for (const Variant& v : kVariants) {
            std::vector<uint8_t> coded = testkit::TiffEncode(page, v.msbFirst, v.aligned);
            ASSERT_FALSE(coded.empty()) << name << ", " << v.name;
            testkit::MhDecoded d = testkit::MhDecode(
                coded, page.width, page.height, {.msbFirst = v.msbFirst, .aligned = v.aligned});
            std::string where;
            EXPECT_TRUE(d.page.SameImage(page, &where)) << name << ", " << v.name << ": " << where;
            EXPECT_EQ(d.repaired, 0) << name << ", " << v.name;
        }
    }
}

} // namespace
