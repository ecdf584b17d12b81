// The main job through separate printhost processes, as the README runs it:
// install the sample printer on the large sample model, print, and decode the
// printer stream.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "model/modelsmith.h"
#include "platform/emf_builder.h"
#include "platform/facts.h"
#include "platform/spooler_ctl.h"
#include "platform/text.h"
#include "platform_testing/fresh_root.h"
#include "stream_picture.h"
#include "win/devmode.h"
#include "devmode_private.h"
#include "win/gdi.h"

namespace {

std::string Tool() {
    return std::string("'") + PKG_TOOLS_DIR + "/printhost'";
}

int Printhost(const std::string& arguments, std::string* out) {
    return platform_testing::RunCommand(Tool() + " " + arguments + " 2>&1", out);
}

// The sample model's defaults reverse the page order in the driver and use
// its graphics mode, both replayed spool-side, which the graphics library does
// not take yet: the printer is set to print straight into the stream, as a
// user does on its device page.
const std::string kPrintDirectly =
    "devmode 'CX5540' --set ReverseOrder=0 --set GraphicsMode=0 --store";

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

using e2e::Picture;
using e2e::ReadPng;

// The printer's default device mode becomes the model's own defaults in an A4
// country: what the driver gives a printer installed in Britain.
void DefaultToA4(const std::string& printer, const std::string& modelFile) {
    std::ifstream in(modelFile, std::ios::binary);
    std::vector<char> model((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    constexpr LCID kEnglishBritain = 0x0809, kEnglishUnitedStates = 0x0409;
    ASSERT_TRUE(platform::test::SetLocale(kEnglishBritain));
    DEVMODE_IMAGEA ansi;
    std::memset(&ansi, 0, sizeof ansi);
    ansi.dm.dmSize = sizeof(DEVMODEA);
    ansi.dm.dmDriverExtra = sizeof(PRIVATE_DEVMODE);
    DWORD revised = model::ReviseDevmode(model.data(), nullptr, 0, &ansi, sizeof ansi, 1);
    platform::test::SetLocale(kEnglishUnitedStates);
    ASSERT_EQ(revised, 0u);
    constexpr short kPaperA4 = 9; // the system's number for A4 paper
    ASSERT_EQ(ansi.dm.dmPaperSize, kPaperA4);
    // The wide form: its names are wide text, the numbers between and after them alike.
    DEVMODE_IMAGEW wide;
    std::memset(&wide, 0, sizeof wide);
    for (size_t i = 0; i < CCHDEVICENAME; ++i)
        wide.dm.dmDeviceName[i] = ansi.dm.dmDeviceName[i];
    for (size_t i = 0; i < CCHFORMNAME; ++i)
        wide.dm.dmFormName[i] = ansi.dm.dmFormName[i];
    std::memcpy(&wide.dm.dmSpecVersion, &ansi.dm.dmSpecVersion,
                offsetof(DEVMODEA, dmFormName) - offsetof(DEVMODEA, dmSpecVersion));
    std::memcpy(&wide.dm.dmLogPixels, &ansi.dm.dmLogPixels,
                sizeof(DEVMODEA) - offsetof(DEVMODEA, dmLogPixels));
    wide.dm.dmSize = sizeof(DEVMODEW);
    wide.priv = ansi.priv;
    // Printed directly into the printer stream, the road printhost decodes
    // (not recorded for the spool-side player): neither the graphics mode nor
    // the page order by the driver, which the spool-side player carries out.
    wide.priv.GraphicsMode = 0;
    wide.priv.ReverseOrder = 0;
    wide.priv.EmfMode = 0;

    platform::spooler::PrinterRecord record;
    ASSERT_TRUE(platform::spooler::FindPrinter(platform::FromUtf8(printer), &record));
    const auto* bytes = reinterpret_cast<const BYTE*>(&wide);
    record.devmode.assign(bytes, bytes + sizeof wide);
    ASSERT_EQ(platform::spooler::AddPrinter(record, true), 0u);
}

TEST(MainJob, InstallPrintAndDecodeInSeparateProcesses) {
    std::string out;
    std::string model = std::string(PKG_MODELS_DIR) + "/CX5540.DAT";
    ASSERT_EQ(Printhost("install --name 'CX5540' --model '" + model + "'", &out), 0) << out;
    ASSERT_EQ(Printhost(kPrintDirectly, &out), 0) << out;
    std::string prn = platform_testing::Root() + "/main-job.prn";
    ASSERT_EQ(
        Printhost("print --printer 'CX5540' --pages 2 --copies 2 --output '" + prn + "'", &out), 0)
        << out;
    EXPECT_NE(out.find("printed 2 page(s) on 'CX5540'"), std::string::npos) << out;
    ASSERT_TRUE(std::filesystem::exists(prn));
    ASSERT_EQ(Printhost("decode '" + prn + "'", &out), 0) << out;
    EXPECT_NE(out.find("@PJL JOB"), std::string::npos) << out;
    EXPECT_NE(out.find("@PJL EOJ NAME=\"Blank pages\""), std::string::npos) << out;
    EXPECT_NE(out.find("copies  count=2"), std::string::npos) << out;
    EXPECT_EQ(Count(out, "page start"), 2u) << out;
    EXPECT_EQ(Count(out, "page end"), 2u) << out;
    EXPECT_NE(out.find(" 0 problems"), std::string::npos) << out;

    // A printer that is not there, and a document that is not there, fail plainly.
    EXPECT_NE(Printhost("print --printer 'Nobody'", &out), 0);
    EXPECT_NE(out.find("cannot open printer"), std::string::npos) << out;
    EXPECT_NE(
        Printhost("print --printer 'CX5540' '" + platform_testing::Root() + "/missing.emf'", &out),
        0);
    EXPECT_NE(out.find("no document"), std::string::npos) << out;
    EXPECT_EQ(Printhost("print --printer 'CX5540' --copies 0", &out), 2);
}

// A sample document printed through the whole package and drawn by
// `printhost decode --png`: netpbm reads the picture back, and its shapes are
// where the document put them.
TEST(MainJob, SampleDocumentPrintsAndDrawsWhereItBelongs) {
    std::string out;
    std::string model = std::string(PKG_MODELS_DIR) + "/CX5540.DAT";
    ASSERT_EQ(Printhost("install --name 'CX5540' --model '" + model + "'", &out), 0) << out;
    ASSERT_EQ(Printhost(kPrintDirectly, &out), 0) << out;
    std::string root = platform_testing::Root();
    std::string document = std::string(PKG_SOURCE_DIR) + "/samples/documents/fills.emf";
    ASSERT_EQ(
        Printhost("print --printer 'CX5540' --output '" + root + "/fills.prn' '" + document + "'",
                  &out),
        0)
        << out;
    ASSERT_EQ(Printhost("decode --png '" + root + "/fills' '" + root + "/fills.prn'", &out), 0)
        << out;
    EXPECT_NE(out.find("page 1: " + root + "/fills-1.png"), std::string::npos) << out;

    Picture pic;
    ASSERT_TRUE(ReadPng(root + "/fills-1.png", &pic));
    int width = pic.width, height = pic.height;
    std::vector<unsigned char>& rgb = pic.rgb;
    ASSERT_TRUE(width > 100 && height > 100);
    auto at = [&](double x, double y) {
        size_t i = (static_cast<size_t>(y * height) * width + static_cast<size_t>(x * width)) * 3;
        return std::vector<int>{rgb[i], rgb[i + 1], rgb[i + 2]};
    };
    // The hatched band across the top and the brick-patterned box go out as
    // raster patterns, which the decoder draws with their lines: some ink
    // over an area, never solid; the blue squares at the left; paper elsewhere.
    auto ink = [&](double x, double y) {
        long sum = 0, n = 0;
        for (double dy = -0.01; dy <= 0.01; dy += 1.0 / height)
            for (double dx = -0.01; dx <= 0.01; dx += 1.0 / width, ++n)
                sum += 255 - at(x + dx, y + dy)[1];
        return double(sum) / double(n);
    };
    EXPECT_GT(ink(0.50, 0.18), 10);
    EXPECT_LT(ink(0.50, 0.18), 200);
    EXPECT_EQ(at(0.12, 0.50), (std::vector<int>{0, 120, 255}));
    EXPECT_GT(ink(0.75, 0.30), 10);
    EXPECT_LT(ink(0.75, 0.30), 200);
    EXPECT_EQ(at(0.75, 0.90), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(at(0.50, 0.95), (std::vector<int>{255, 255, 255}));
}

// An A4 picture of a circle 90 mm across, and records the player does not
// play: on an A4 printer the page keeps the frame's size (the circle stays
// round and 90 mm across, not squeezed into the printable area), and printhost
// names the records it left out.
TEST(MainJob, A4PagePrintsAtItsOwnSizeAndNamesWhatItLeftOut) {
    std::string out;
    std::string model = std::string(PKG_MODELS_DIR) + "/CX5540.DAT";
    ASSERT_EQ(Printhost("install --name 'A4 printer' --model '" + model + "'", &out), 0) << out;
    DefaultToA4("A4 printer", model);
    // 10 reference pixels a millimetre; the frame is the whole 210 x 297 mm sheet.
    platform::gdi::EmfBuilder b(SIZEL{2100, 2970}, SIZEL{210, 297});
    b.SelectStock(BLACK_BRUSH).Box(EMR_ELLIPSE, RECTL{600, 900, 1500, 1800});
    DWORD glsBytes = 4;
    b.Fields(EMR_GLSRECORD, glsBytes, DWORD{0}).Fields(EMR_GLSRECORD, glsBytes, DWORD{0});
    std::vector<BYTE> emf = b.Finish();
    std::string root = platform_testing::Root();
    std::ofstream(root + "/circle.emf", std::ios::binary)
        .write(reinterpret_cast<const char*>(emf.data()), static_cast<std::streamsize>(emf.size()));

    ASSERT_EQ(Printhost("print --printer 'A4 printer' --output '" + root + "/circle.prn' '" + root +
                            "/circle.emf'",
                        &out),
              0)
        << out;
    EXPECT_NE(out.find("printhost print: 2 record(s) not played: EMR_GLSRECORD x2"),
              std::string::npos)
        << out;
    ASSERT_EQ(Printhost("decode --png '" + root + "/circle' '" + root + "/circle.prn'", &out), 0)
        << out;
    EXPECT_NE(out.find("paper size  paper=9 (A4)"), std::string::npos) << out;

    Picture pic;
    ASSERT_TRUE(ReadPng(root + "/circle-1.png", &pic));
    // The picture is the A4 sheet.
    EXPECT_NEAR(double(pic.height) / pic.width, 297.0 / 210.0, 0.01);
    double perMm = double(pic.width) / 210.0;
    // The circle's centre, 105 mm across and 135 mm down the sheet.
    int cx = static_cast<int>(105 * perMm), cy = static_cast<int>(135 * perMm);
    ASSERT_TRUE(pic.Dark(cx, cy));
    auto run = [&](int dx, int dy) {
        int n = 0;
        for (int x = cx, y = cy;
             x >= 0 && y >= 0 && x < pic.width && y < pic.height && pic.Dark(x, y);
             x += dx, y += dy)
            ++n;
        return n;
    };
    int across = run(1, 0) + run(-1, 0) - 1, down = run(0, 1) + run(0, -1) - 1;
    EXPECT_LE(std::abs(across - down), 2) << across << " x " << down;
    EXPECT_NEAR(across / perMm, 90.0, 1.5);
    EXPECT_NEAR(down / perMm, 90.0, 1.5);
    // Its centre is where the frame puts it.
    EXPECT_LE(std::abs(run(1, 0) - run(-1, 0)), 3);
    EXPECT_LE(std::abs(run(0, 1) - run(0, -1)), 3);
}

// The main job's booklet: the brochure's two pages printed to a file by the
// spool-side road as a booklet, once the duplex unit and the booklet finisher
// the model asks for are fitted. Four cells on two landscape sides: the front
// holds the blank last page and page 1, the back page 2 and a blank page.
TEST(MainJob, BrochureAsABookletByTheSpoolSideRoad) {
    std::string out;
    std::string model = std::string(PKG_MODELS_DIR) + "/CX5540.DAT";
    ASSERT_EQ(Printhost("install --name 'CX5540' --model '" + model + "'", &out), 0) << out;
    // Without its units the model takes no booklet.
    ASSERT_EQ(Printhost("devmode 'CX5540' --set LayoutKind=2", &out), 0) << out;
    EXPECT_NE(out.find("(was 2 (0x2))"), std::string::npos) << out;
    out.clear();
    ASSERT_EQ(Printhost("options 'CX5540' --install 25=1 --install 27=2", &out), 0) << out;
    out.clear();
    // Drawn into the stream as vectors, as the main job prints.
    ASSERT_EQ(Printhost("devmode 'CX5540' --set LayoutKind=2 --set dmDuplex=3 --set ReverseOrder=0 "
                        "--set GraphicsMode=0 --store",
                        &out),
              0)
        << out;
    EXPECT_NE(out.find("LayoutKind             2 (0x2)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("dmDuplex               3\n"), std::string::npos) << out;
    const std::string root = platform_testing::Root();
    const std::string prn = root + "/booklet.prn";
    out.clear();
    ASSERT_EQ(Printhost("print --printer 'CX5540' --to-file '" + prn + "' '" +
                            std::string(PKG_SOURCE_DIR) + "/samples/documents/brochure'",
                        &out),
              0)
        << out;
    out.clear();
    ASSERT_EQ(Printhost("decode --png '" + root + "/booklet' '" + prn + "'", &out), 0) << out;
    EXPECT_EQ(Count(out, "page start"), 2u) << out;
    EXPECT_NE(out.find("binding=2 (short edge)"), std::string::npos) << out;
    EXPECT_NE(out.find(" 0 problems"), std::string::npos) << out;
    auto ink = [](const Picture& pic, int x0, int x1) {
        long n = 0;
        for (int y = 0; y < pic.height; ++y)
            for (int x = x0; x < x1; ++x)
                n += pic.Dark(x, y);
        return n;
    };
    Picture front, back;
    ASSERT_TRUE(ReadPng(root + "/booklet-1.png", &front));
    ASSERT_TRUE(ReadPng(root + "/booklet-2.png", &back));
    EXPECT_GT(front.width, front.height); // the sheet lies across
    EXPECT_EQ(ink(front, 0, front.width / 2), 0);
    EXPECT_GT(ink(front, front.width / 2, front.width), 1000);
    EXPECT_GT(ink(back, 0, back.width / 2), 1000);
    EXPECT_EQ(ink(back, back.width / 2, back.width), 0);
}

} // namespace
