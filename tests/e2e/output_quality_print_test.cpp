// The Output and Quality pages through printhost properties, by the labels a
// person reads: copies with collation, a staple position and a resolution
// chosen there reach the next print's job header; with the user's font
// substitution table in place, a print drawn straight into the stream sets
// the printer's font in place of the TrueType one.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

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

TEST(OutputQualityPrint, SettingsChosenOnThePagesReachTheNextPrint) {
    std::string out;
    ASSERT_EQ(Printhost("install --name P --model '" + std::string(PKG_MODELS_DIR) + "/CX5540.DAT'",
                        &out),
              0)
        << out;
    // The finisher that staples is fitted.
    ASSERT_EQ(Printhost("options P --install 27=2", &out), 0) << out;
    // The staple positions of the fitted finisher are the Output page's
    // "Output Tray" list (the image's OutputBin word).
    ASSERT_EQ(Printhost("properties P --page Output --set Copies=3 --set Collate=on "
                        "--set 'Output Tray=Top Left'",
                        &out),
              0)
        << out;
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
    EXPECT_TRUE(Has(out, "@PJL SET STAPLE=LEFTTOP")) << out;
    EXPECT_TRUE(Has(out, "@PJL SET RESOLUTION=1200")) << out;
}

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

TEST(OutputQualityPrint, ASubstitutedFontIsSetAsThePrintersFont) {
    std::string out;
    ASSERT_EQ(Printhost("install --name P --model '" + std::string(PKG_MODELS_DIR) + "/CX5540.DAT'",
                        &out),
              0)
        << out;
    // Drawn straight into the stream: one uncollated copy, pages in order,
    // vector graphics.
    ASSERT_EQ(
        Printhost("properties P --page Output --set Copies=1 --set 'Reverse Page Order=off'", &out),
        0)
        << out;
    ASSERT_EQ(Printhost("properties P --page Quality --set 'Graphics Mode=Vector'", &out), 0)
        << out;
    // The user's working folder, where the graphics library keeps its files.
    std::string working;
    for (const auto& e : std::filesystem::directory_iterator(platform_testing::Root() + "/c/Users"))
        if (e.is_directory() && e.path().filename() != "Public" && e.path().filename() != "Default")
            working = e.path().string();
    ASSERT_FALSE(working.empty());
    working += "/AppData/LocalLow/Velmora/Velmora CX5540 MFP/CX5500";
    std::filesystem::create_directories(working);
    std::ofstream(working + "/Fontroll.DAT", std::ios::binary)
        << SubstitutionFile("Arial", "Courier New");

    const std::string prn = platform_testing::Root() + "/table.prn";
    ASSERT_EQ(Printhost("print --printer P --output '" + prn + "' '" + PKG_SOURCE_DIR +
                            "/samples/documents/text/table.emf'",
                        &out),
              0)
        << out;
    EXPECT_FALSE(Has(out, "replayed")) << out;
    ASSERT_EQ(Printhost("decode '" + prn + "'", &out), 0) << out;
    // "Courier New" as the stream spells a font name: its bytes.
    EXPECT_TRUE(
        Has(out, "set font  font name=ubyte array [67 111 117 114 105 101 114 32 78 101 119]"))
        << out;
    EXPECT_FALSE(Has(out, "begin font header")) << out; // nothing downloaded
}

} // namespace
