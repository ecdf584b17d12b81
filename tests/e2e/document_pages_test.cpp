// The document pages as a person works them, through printhost properties by
// label only: what is chosen on a page, or shown in a dialog it opens, and
// what the next print's PJL says of it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform_testing/fresh_root.h"

namespace {

int Printhost(const std::string& arguments, std::string* out) {
    out->clear();
    return platform_testing::RunCommand(
        std::string("'") + PKG_TOOLS_DIR + "/printhost' " + arguments + " 2>&1", out);
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class DocumentPages : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string out;
        ASSERT_EQ(
            Printhost("install --name P --model '" + std::string(PKG_MODELS_DIR) + "/CX5540.DAT'",
                      &out),
            0)
            << out;
    }
    // The next print's stream, decoded.
    std::string PrintAndDecode() {
        std::string out;
        const std::string prn = platform_testing::Root() + "/job.prn";
        EXPECT_EQ(Printhost("print --printer P --output '" + prn + "' '" + PKG_SOURCE_DIR +
                                "/samples/documents/lines.emf'",
                            &out),
                  0)
            << out;
        EXPECT_EQ(Printhost("decode '" + prn + "'", &out), 0) << out;
        return out;
    }
};

// An envelope brings its media type, which takes envelopes only; the other
// papers stay offered, and choosing one brings a media type that takes it.
TEST_F(DocumentPages, PaperGoesBackFromAnEnvelope) {
    std::string out;
    ASSERT_EQ(Printhost("properties P --page Basic --set 'Paper Size=Envelope #10'", &out), 0)
        << out;
    EXPECT_TRUE(Has(out, "ComboBox #120 \"Envelope\"")) << out;
    ASSERT_EQ(Printhost("properties P --page Basic --set 'Paper Size=Letter'", &out), 0) << out;
    EXPECT_TRUE(Has(out, "printing defaults: paper 1,")) << out;
    EXPECT_TRUE(Has(out, "ComboBox #120 \"Plain Paper\"")) << out;
    const std::string job = PrintAndDecode();
    EXPECT_TRUE(Has(job, "@PJL SET PAPER=LETTER")) << job;
    EXPECT_TRUE(Has(job, "@PJL SET MEDIATYPE=PLAIN")) << job;
}

TEST_F(DocumentPages, PjlSaysTheColourModeChosen) {
    struct Case {
        const char* choice;
        const char* line;
    };
    const std::vector<Case> cases = {
        {"Grayscale", "@PJL SET RENDERMODE=GRAYSCALE"},
        {"Color", "@PJL SET RENDERMODE=COLOR"},
        {"Photo Color", "@PJL SET RENDERMODE=PHOTO"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice);
        std::string out;
        ASSERT_EQ(Printhost(std::string("properties P --page Quality --set 'Color Mode=") +
                                c.choice + "'",
                            &out),
                  0)
            << out;
        const std::string job = PrintAndDecode();
        EXPECT_TRUE(Has(job, c.line)) << job;
        EXPECT_EQ(job.find("RENDERMODE"), job.rfind("RENDERMODE")) << job;
    }
}

// The pages-per-sheet dialog opens on a border it offers; a stored line
// style it does not offer shows as "Solid", the nearest it does (a border is
// drawn), and is kept until the person chooses another.
TEST_F(DocumentPages, PagesPerSheetShowsABorderItOffers) {
    struct Case {
        const char* stored; // PageBorders stored first, or none
        const char* shown;
    };
    const std::vector<Case> cases = {{nullptr, "\"Solid\""}, {"2", "\"Solid\""}, {"0", "\"None\""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "model default");
        std::string out;
        if (c.stored)
            ASSERT_EQ(Printhost(std::string("devmode P --set PageBorders=") + c.stored + " --store",
                                &out),
                      0)
                << out;
        ASSERT_EQ(Printhost("properties P --page Basic --set 'Pages per Sheet=click' "
                            "--dialog '4 up=on'",
                            &out),
                  0)
            << out;
        const size_t at = out.find("ComboBox #774 ");
        ASSERT_NE(at, std::string::npos) << out;
        EXPECT_EQ(out.compare(at + 14, std::string(c.shown).size(), c.shown), 0) << out;
        ASSERT_EQ(Printhost("devmode P", &out), 0) << out;
        EXPECT_TRUE(Has(out, std::string("PageBorders            ") + (c.stored ? c.stored : "1")))
            << out;
    }
}

} // namespace
