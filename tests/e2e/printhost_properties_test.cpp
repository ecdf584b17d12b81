// printhost properties --set as a person names the controls: by the label
// beside them on the page shown. A change that lands shows in the sheet's
// snapshot and in the next print's PJL, and the sheet is accepted; a label
// that names nothing, or more than one control, and a value the control does
// not offer are refused with the choices listed, and the sheet is cancelled.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform_testing/fresh_root.h"

namespace {

// With a time limit, printhost is stopped after that many seconds.
int Printhost(const std::string& arguments, std::string* out, int seconds = 0) {
    out->clear();
    const std::string limit = seconds ? "timeout " + std::to_string(seconds) + " " : "";
    return platform_testing::RunCommand(
        limit + "'" + PKG_TOOLS_DIR + "/printhost' " + arguments + " 2>&1", out);
}

// The snapshot line of one control.
std::string Line(const std::string& snapshot, const std::string& start) {
    size_t at = snapshot.find(start);
    if (at == std::string::npos) return "";
    size_t end = snapshot.find('\n', at);
    return snapshot.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class PrinthostProperties : public ::testing::Test {
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

TEST_F(PrinthostProperties, ControlsSetByTheirLabels) {
    std::string out;
    // A group box's caption names the edit inside it; labels are read without
    // their mnemonic and colon, in any case.
    ASSERT_EQ(Printhost("properties P --page Output --set Collate=off "
                        "--set 'Mirror Image Printing=on' --set copies=5",
                        &out),
              0)
        << out;
    EXPECT_NE(Line(out, "Button #165 \"Collat&e\""), "") << out;
    EXPECT_EQ(Line(out, "Button #165").find("checked"), std::string::npos) << out;
    EXPECT_NE(Line(out, "Button #174").find("checked"), std::string::npos) << out;
    EXPECT_NE(Line(out, "Edit #162").find("\"5\""), std::string::npos) << out;
    EXPECT_NE(out.find("printing defaults:"), std::string::npos) << out;

    ASSERT_EQ(Printhost("properties P --page output --set Collate=on", &out), 0) << out;
    EXPECT_NE(Line(out, "Button #165").find("checked"), std::string::npos) << out;

    // An edit by its label beside it; the same control by its id.
    ASSERT_EQ(Printhost("properties P --page Basic --set 'Duplex Margin :=1.5'", &out), 0) << out;
    EXPECT_NE(Line(out, "Edit #127").find("\"1.5\""), std::string::npos) << out;
    ASSERT_EQ(Printhost("properties P --page Basic --set 127=0.5", &out), 0) << out;
    EXPECT_NE(Line(out, "Edit #127").find("\"0.5\""), std::string::npos) << out;
}

TEST_F(PrinthostProperties, WhatNamesNothingOrMoreThanOneIsRefusedWithTheChoices) {
    struct Case {
        std::string arguments;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"--page Output --set Colate=off",
         // The lists of units the printer lacks are not offered (no finisher is fitted).
         "no control labelled 'Colate' on page 'Output'; its labels: 'Printer Status...', "
         "'Copies', 'Collate', 'Sort Method', 'Mirror Image Printing', 'Reverse Page Order', "
         "'Output Options...'"},
        {"--page 'Job Type' --set 'Input when printing=on'",
         "'Input when printing' labels 2 controls on page 'Job Type' (ids 280, 286); give one by "
         "its id"},
        {"--page Basic --set Paper=A5",
         "'Paper' begins several labels on page 'Basic': 'Paper Size', 'Paper Source'"},
        {"--page Output --set Collate=maybe", "'Collate' takes on or off, not 'maybe'"},
        {"--page Output --set 'Output Options...=on'", "'Output Options...' takes click"},
        // Lists show what the constraint engine allows.
        {"--page Basic --set 'Paper Size=A9'",
         "'Paper Size': 'A9' is not in the list; its items: 'Letter   8.50 x 11.00 in.', "
         "'Legal   8.50 x 14.00 in.'"},
        {"--page Basic --set =A5", "--set wants CONTROL=VALUE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        std::string out;
        EXPECT_NE(Printhost("properties P " + c.arguments, &out), 0);
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
    }
    // Nothing was stored: the printing defaults keep their collation.
    std::string out;
    ASSERT_EQ(Printhost("properties P", &out), 0) << out;
    EXPECT_NE(out.find("collate 1"), std::string::npos) << out;
}

// The Basic page's paper, orientation and two-sided printing set by the
// labels a person reads, then OK: the next print carries them in its PJL and
// in its page commands.
TEST_F(PrinthostProperties, BasicPageSettingsReachTheNextPrint) {
    std::string out;
    ASSERT_EQ(
        Printhost("properties P --page Basic --set 'Paper Size=A5' --set Orientation=Landscape "
                  "--set 'Duplex (Manual)=Flip on Long Edge'",
                  &out),
        0)
        << out;
    EXPECT_NE(out.find("printing defaults: paper 11, orientation 2"), std::string::npos) << out;
    EXPECT_NE(out.find("duplex 2"), std::string::npos) << out;
    const std::string prn = platform_testing::Root() + "/basic.prn";
    ASSERT_EQ(Printhost("print --printer P --output '" + prn + "' '" + std::string(PKG_SOURCE_DIR) +
                            "/samples/documents/lines.emf'",
                        &out),
              0)
        << out;
    ASSERT_EQ(Printhost("decode '" + prn + "'", &out), 0) << out;
    for (const char* line : {"@PJL SET PAPER=A5", "@PJL SET ORIENTATION=LANDSCAPE",
                             "@PJL SET DUPLEX=ON", "duplex  binding=1 (long edge)",
                             "orientation  orientation=1 (landscape)", "paper size  paper=11 (A5)"})
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// A dialog that refuses OK says why once and is reported and cancelled with
// the sheet; one given no changes is cancelled once, and a box its OK must
// confirm says so. The command ends (the timeout guards a loop) and fails.
TEST_F(PrinthostProperties, DialogsThatRefuseOrGetNoChangesEndTheCommand) {
    struct Case {
        std::string arguments;
        std::string said;    // once, in the message box the dialog showed
        std::string message; // printhost's own
    };
    const std::vector<Case> cases = {
        {"--page Basic --set 'Custom Paper...=click' --dialog 'New...=click' "
         "--dialog 'Name=a.b' --dialog 'Width=5'",
         "cannot be used", "refused OK"},
        {"--page Effects --set Watermark=on --dialog 'String=   '", "String is blank",
         "the dialog \"Watermark\" refused OK"},
        {"--page Effects --set Overlay=on --dialog 'Make Overlay File=on' "
         "--dialog 'Overlay File Name=a.b'",
         "cannot be used", "refused OK"},
        {"--page Effects --set Watermark=on", "",
         "'Watermark' opened the dialog \"Watermark\", which was cancelled: give its changes "
         "with --dialog"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        std::string out;
        EXPECT_NE(Printhost("properties P " + c.arguments + " </dev/null", &out, 60), 0);
        if (!c.said.empty()) {
            EXPECT_EQ(Count(out, c.said), 1u) << out;
        }
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
        EXPECT_EQ(out.find("unanswered"), std::string::npos) << out;
        EXPECT_NE(out.find("the sheet was cancelled"), std::string::npos) << out;
    }
}

// An envelope brings its media type, which takes envelopes only; the other
// papers stay offered, and choosing one brings a media type that takes it.
TEST_F(PrinthostProperties, PaperGoesBackFromAnEnvelope) {
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

TEST_F(PrinthostProperties, PjlSaysTheColourModeChosen) {
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
TEST_F(PrinthostProperties, PagesPerSheetShowsABorderItOffers) {
    struct Case {
        const char* stored; // PageBorders stored first, or none
        const char* shown;
    };
    const std::vector<Case> cases = {{nullptr, "\"Solid\""}, {"2", "\"Solid\""}, {"0", "\"None\""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "model default");
        std::string out;
        if (c.stored) {
            ASSERT_EQ(Printhost(std::string("devmode P --set PageBorders=") + c.stored + " --store",
                                &out),
                      0)
                << out;
        }
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
