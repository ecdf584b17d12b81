// The Output and Quality pages through printhost properties, by the labels a
// person reads: copies with collation, a staple position and a resolution
// chosen there reach the next print's job header; with the user's font
// substitution table in place (laid out by hand, or chosen in the Quality
// page's font dialogs), a print drawn straight into the stream and one
// replayed on the spool side set the printer's font in place of the
// TrueType one.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
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

// Printer P over the sample model.
void InstallSampleModel() {
    std::string out;
    ASSERT_EQ(Printhost("install --name P --model '" + std::string(PKG_MODELS_DIR) + "/CX5540.DAT'",
                        &out),
              0)
        << out;
}

TEST(OutputQualityPrint, SettingsChosenOnThePagesReachTheNextPrint) {
    std::string out;
    ASSERT_NO_FATAL_FAILURE(InstallSampleModel());
    // The finisher that staples is fitted, with its first finisher tray.
    ASSERT_EQ(Printhost("options P --install 27=2 --install 34=3", &out), 0) << out;
    // The Output page's "Output Tray" list holds the finisher's output bins
    // the printer has, its "Staple" list the staple positions.
    ASSERT_EQ(Printhost("properties P --page Output --set Copies=3 --set Collate=on "
                        "--set 'Output Tray=Finisher Tray 1' --set 'Staple=Top Left'",
                        &out),
              0)
        << out;
    EXPECT_TRUE(Has(out, "ComboBox #169 \"Finisher Tray 1\"")) << out;
    EXPECT_TRUE(Has(out, "ComboBox #171 \"Top Left\"")) << out;
    EXPECT_TRUE(Has(out, "copies 3, collate 1")) << out;
    ASSERT_EQ(Printhost("properties P --page Quality --set 'Resolution=1200 dpi'", &out), 0) << out;
    EXPECT_TRUE(Has(out, "quality 1200 dpi")) << out;

    const std::string prn = platform_testing::Root() + "/job.prn";
    ASSERT_EQ(Printhost("print --printer P --output '" + prn + "' '" + PKG_SOURCE_DIR +
                            "/samples/documents/brochure'",
                        &out),
              0)
        << out;
    ASSERT_EQ(Printhost("decode '" + prn + "'", &out), 0) << out;
    EXPECT_TRUE(Has(out, "@PJL SET QTY=3")) << out;
    EXPECT_TRUE(Has(out, "@PJL SET OUTBIN=FINISHERA")) << out;
    EXPECT_TRUE(Has(out, "@PJL SET STAPLE=LEFTTOP")) << out;
    EXPECT_TRUE(Has(out, "@PJL SET RESOLUTION=1200")) << out;
}

// "Courier New" as the stream spells a font name: its bytes.
constexpr const char* kCourierNewSet =
    "set font  font name=ubyte array [67 111 117 114 105 101 114 32 78 101 119]";

// A substitution file laid out by hand: the 20-byte header, then one
// 192-byte record with the TrueType name at 0, the printer font at 64 and
// the flag word (bit 0: may be substituted) at 140.
std::string SubstitutionFile(const char* font, const char* printerFont) {
    std::string b(20 + 192, '\0');
    const std::uint32_t head[5] = {0x4D46, 20, 1, 1, 0};
    std::memcpy(b.data(), head, sizeof head);
    std::memcpy(b.data() + 20, font, std::strlen(font));
    std::memcpy(b.data() + 20 + 64, printerFont, std::strlen(printerFont));
    b[20 + 140] = 1;
    return b;
}

// Arial -> Courier New as the user's substitution table, in the user's
// working folder, where the graphics library keeps its files.
bool PlaceSubstitutionFile() {
    std::string working;
    for (const auto& e : std::filesystem::directory_iterator(platform_testing::Root() + "/c/Users"))
        if (e.is_directory() && e.path().filename() != "Public" && e.path().filename() != "Default")
            working = e.path().string();
    if (working.empty()) return false;
    working += "/AppData/LocalLow/Velmora/Velmora CX5540 MFP/CX5500";
    std::filesystem::create_directories(working);
    std::ofstream(working + "/Fontroll.DAT", std::ios::binary)
        << SubstitutionFile("Arial", "Courier New");
    return true;
}

// Prints the table (its text is Arial) into NAME.prn, on the spool side or
// straight into the stream as REPLAYED says: the printer's Courier New is
// set and no font downloaded.
void ExpectTableInCourierNew(const std::string& name, bool replayed) {
    std::string out;
    const std::string prn = platform_testing::Root() + "/" + name + ".prn";
    ASSERT_EQ(Printhost("print --printer P --output '" + prn + "' '" + PKG_SOURCE_DIR +
                            "/samples/documents/text/table.emf'",
                        &out),
              0)
        << out;
    EXPECT_EQ(Has(out, "replayed on the spool side"), replayed) << out;
    ASSERT_EQ(Printhost("decode '" + prn + "'", &out), 0) << out;
    EXPECT_TRUE(Has(out, kCourierNewSet)) << out;
    EXPECT_FALSE(Has(out, "begin font header")) << out; // nothing downloaded
}

TEST(OutputQualityPrint, ASubstitutedFontIsSetAsThePrintersFont) {
    std::string out;
    ASSERT_NO_FATAL_FAILURE(InstallSampleModel());
    // Drawn straight into the stream: one uncollated copy, pages in order,
    // vector graphics.
    ASSERT_EQ(
        Printhost("properties P --page Output --set Copies=1 --set 'Reverse Page Order=off'", &out),
        0)
        << out;
    ASSERT_EQ(Printhost("properties P --page Quality --set 'Graphics Mode=Vector'", &out), 0)
        << out;
    ASSERT_TRUE(PlaceSubstitutionFile());
    ExpectTableInCourierNew("table", false);
}

// A substitution made as a person makes it: the Quality page's Font button,
// the font dialog's substitution table button, a TrueType font chosen in the
// table and its printer font below it; OK in each dialog, then the sheet's.
TEST(OutputQualityPrint, ASubstitutionChosenInTheFontDialogsReachesTheNextPrint) {
    std::string out;
    ASSERT_NO_FATAL_FAILURE(InstallSampleModel());
    ASSERT_EQ(
        Printhost("properties P --page Output --set Copies=1 --set 'Reverse Page Order=off'", &out),
        0)
        << out;
    const std::string pictures = platform_testing::Root() + "/pictures";
    ASSERT_EQ(Printhost("properties P --page Quality --set 'Graphics Mode=Vector' "
                        "--set 'Font...=click' --dialog 'Font Substitution Table...=click' "
                        "--dialog 'TrueType Font=Arial' "
                        "--dialog 'Substitution Font=Courier New' --png '" +
                            pictures + "'",
                        &out),
              0)
        << out;
    // Each dialog pictured as it opened.
    EXPECT_TRUE(std::filesystem::exists(pictures + "/dialog-Font.png")) << out;
    EXPECT_TRUE(std::filesystem::exists(pictures + "/dialog-Edit-Substitution-Table.png")) << out;

    ExpectTableInCourierNew("table", false);
}

// The spool side replays the pages of a print in reverse order, or laid out
// two to a sheet, with the substitution a direct print gets: the printer's
// font set, nothing downloaded.
TEST(OutputQualityPrint, PagesReplayedOnTheSpoolSideKeepTheSubstitution) {
    struct Road {
        const char* name;
        std::vector<std::string> settings; // one printhost properties each
    };
    const Road roads[] = {
        {"reverse", {"--page Output --set 'Reverse Page Order=on'"}},
        {"two-up",
         {"--page Output --set 'Reverse Page Order=off'",
          "--page Basic --set 'Pages per Sheet=click' --dialog '2 up=on'"}},
    };
    std::string out;
    ASSERT_NO_FATAL_FAILURE(InstallSampleModel());
    ASSERT_EQ(Printhost("properties P --page Quality --set 'Graphics Mode=Vector'", &out), 0)
        << out;
    ASSERT_TRUE(PlaceSubstitutionFile());
    for (const Road& road : roads) {
        SCOPED_TRACE(road.name);
        for (const std::string& settings : road.settings)
            ASSERT_EQ(Printhost("properties P " + settings, &out), 0) << out;
        ExpectTableInCourierNew(road.name, true);
    }
}

} // namespace
