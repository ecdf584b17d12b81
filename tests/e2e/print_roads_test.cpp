// Printing as a new user does, through printhost processes: with the
// printer's own settings (the spool-side road), straight into the stream, and
// replayed on the spool side. Every road writes its stream where --output
// asks, places the page where it belongs on the paper, and draws what the
// document draws: turned pictures and text, masked, parallelogram and
// translucent blits look the same on the direct road and after the replay.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "platform/emf_builder.h"
#include "platform_testing/fresh_root.h"
#include "stream_picture.h"
#include "win/emf.h"
#include "win/gdi.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_text.h"

namespace {

namespace fs = std::filesystem;
using e2e::Picture;

// environment: assignments put before the command ("NAME='value' ").
int Printhost(const std::string& arguments, std::string* out, const std::string& environment = "") {
    return platform_testing::RunCommand(
        environment + "'" + PKG_TOOLS_DIR + "/printhost' " + arguments + " 2>&1", out);
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

void Write(const std::string& path, const std::vector<BYTE>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// The printers of the roads, all on the large sample model with Letter paper:
// its own settings (page order and graphics mode by the spool-side player),
// straight into the stream, and replayed on the spool side into a stream of
// drawing tokens (the player reverses the page order).
constexpr const char* kDefaults = "Own settings";
constexpr const char* kDirect = "Direct";
constexpr const char* kReplayed = "Replayed";

class PrintRoadsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = platform_testing::Root();
        std::string model = std::string(PKG_MODELS_DIR) + "/CX5540.DAT", out;
        for (const char* name : {kDefaults, kDirect, kReplayed})
            ASSERT_EQ(
                Printhost("install --name '" + std::string(name) + "' --model '" + model + "'",
                          &out),
                0)
                << out;
        ASSERT_EQ(Printhost(std::string("devmode '") + kDirect +
                                "' --set ReverseOrder=0 --set GraphicsMode=0 --store",
                            &out),
                  0)
            << out;
        ASSERT_EQ(Printhost(std::string("devmode '") + kReplayed +
                                "' --set ReverseOrder=1 --set GraphicsMode=0 --store",
                            &out),
                  0)
            << out;
    }

    // Prints the document into root/<name>.prn; the printhost output.
    std::string Print(const std::string& printer, const std::string& document,
                      const std::string& name) {
        std::string out;
        EXPECT_EQ(Printhost("print --printer '" + printer + "' --output '" + root_ + "/" + name +
                                ".prn' '" + document + "'",
                            &out),
                  0)
            << out;
        return out;
    }
    // The first page of root/<name>.prn as a picture of the Letter sheet.
    Picture Draw(const std::string& name) {
        std::string out;
        EXPECT_EQ(
            Printhost("decode --png '" + root_ + "/" + name + "' '" + root_ + "/" + name + ".prn'",
                      &out),
            0)
            << out;
        Picture pic;
        EXPECT_TRUE(e2e::ReadPng(root_ + "/" + name + "-1.png", &pic)) << out;
        return pic;
    }

    std::string root_;
};

// A Letter-sized picture at 10 reference pixels a millimetre.
constexpr double kLetterWidthMm = 215.9, kLetterHeightMm = 279.4;
constexpr LONG kPerMm = 10;

// The frame of a builder's picture set to the exact size in hundredths of a
// millimetre (the builder's is whole millimetres).
std::vector<BYTE> WithFrame(std::vector<BYTE> emf, LONG right, LONG bottom) {
    RECTL frame{0, 0, right, bottom};
    std::memcpy(emf.data() + offsetof(ENHMETAHEADER, rclFrame), &frame, sizeof frame);
    return emf;
}

platform::gdi::EmfBuilder LetterPage() {
    return platform::gdi::EmfBuilder(SIZEL{2160, 2790}, SIZEL{216, 279});
}

std::vector<BYTE> FinishLetter(const platform::gdi::EmfBuilder& b) {
    return WithFrame(b.Finish(), 21590, 27940);
}

// Within one pixel of the picture.
double PerMm(const Picture& pic) {
    return pic.width / kLetterWidthMm;
}

// Every sample document printed with the printer's own settings: the
// spool-side player replays each into a new job, whose stream --output holds.
TEST_F(PrintRoadsTest, OwnSettingsPrintEverySampleDocumentIntoTheOutputFile) {
    struct Doc {
        const char* path;
        size_t pages;
    } docs[] = {{"lines.emf", 1},    {"shapes.emf", 1}, {"fills.emf", 1}, {"clipping.emf", 1},
                {"pictures.emf", 1}, {"brochure", 2},   {"text", 3}};
    for (const Doc& d : docs) {
        SCOPED_TRACE(d.path);
        std::string name = fs::path(d.path).stem().string();
        std::string out =
            Print(kDefaults, std::string(PKG_SOURCE_DIR) + "/samples/documents/" + d.path, name);
        EXPECT_NE(out.find("replayed on the spool side as job"), std::string::npos) << out;
        std::string prn = root_ + "/" + name + ".prn";
        std::error_code ec;
        auto size = fs::file_size(prn, ec);
        ASSERT_FALSE(ec) << out;
        EXPECT_GT(size, 0u) << out;
        EXPECT_NE(out.find(": " + std::to_string(size) + " bytes in " + prn), std::string::npos)
            << out;
        EXPECT_EQ(out.find("not played"), std::string::npos) << out;
        ASSERT_EQ(Printhost("decode '" + prn + "'", &out), 0) << out;
        EXPECT_EQ(Count(out, "page start"), d.pages) << out;
        EXPECT_NE(out.find(" 0 problems"), std::string::npos) << out;
    }
}

// A hand-laid Letter page with a black square 10 mm from its corner, 10 mm
// wide: on every road its corner is 10 mm (236.2 dots at 600 dots an inch)
// from the paper's, in the stream (whose origin is the printable area's
// corner, 100 dots in) and in the picture.
TEST_F(PrintRoadsTest, ProbeSquareLandsTenMillimetresFromThePapersCorner) {
    auto b = LetterPage();
    b.SelectStock(BLACK_BRUSH).SelectStock(NULL_PEN);
    b.Box(EMR_RECTANGLE, RECTL{10 * kPerMm, 10 * kPerMm, 20 * kPerMm, 20 * kPerMm});
    Write(root_ + "/probe.emf", FinishLetter(b));
    constexpr double kDotsPerMm = 600 / 25.4, kPrintableOffset = 100;
    for (const char* printer : {kDirect, kReplayed, kDefaults}) {
        SCOPED_TRACE(printer);
        std::string name = std::string("probe-") + printer[0];
        Print(printer, root_ + "/probe.emf", name);
        Picture pic = Draw(name);
        // In the picture: the first dark pixel along the row and the column
        // through the square's middle.
        const double perMm = PerMm(pic);
        int mid = static_cast<int>(15 * perMm), left = -1, top = -1;
        for (int x = 0; x < pic.width && left < 0; ++x)
            if (pic.Dark(x, mid)) left = x;
        for (int y = 0; y < pic.height && top < 0; ++y)
            if (pic.Dark(mid, y)) top = y;
        EXPECT_NEAR(left, 10 * perMm, 1.0);
        EXPECT_NEAR(top, 10 * perMm, 1.0);
        if (printer == kDefaults) continue; // a banded page: one image, no path
        // In the stream: the square's path starts at its corner.
        std::string out;
        ASSERT_EQ(Printhost("decode '" + root_ + "/" + name + ".prn'", &out), 0) << out;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(
            out, m, std::regex(R"(set cursor  point=sint16 pair \((-?\d+), (-?\d+)\))")))
            << out;
        EXPECT_NEAR(std::stod(m[1]), 10 * kDotsPerMm - kPrintableOffset, 1.0) << out;
        EXPECT_NEAR(std::stod(m[2]), 10 * kDotsPerMm - kPrintableOffset, 1.0) << out;
    }
}

// A page whose frame is its content area only, with a header drawn above the
// frame, a mark left of it and a footer below it, as an office program
// exports a page: centred on the paper, all of them print. A page larger
// than the paper is fitted whole, its aspect kept.
TEST_F(PrintRoadsTest, SmallFrameIsCentredAndLargeFrameFittedWhole) {
    // 170 x 240 mm of content.
    platform::gdi::EmfBuilder small(SIZEL{1700, 2400}, SIZEL{170, 240});
    small.SelectStock(BLACK_BRUSH).SelectStock(NULL_PEN);
    small.Box(EMR_RECTANGLE, RECTL{0, -150, 1700, -50});    // header band, 15 to 5 mm above
    small.Box(EMR_RECTANGLE, RECTL{-100, 1000, -20, 1400}); // left margin mark
    small.Box(EMR_RECTANGLE, RECTL{0, 2450, 1700, 2550});   // footer, 5 to 15 mm below
    Write(root_ + "/content.emf", small.Finish());
    Print(kDirect, root_ + "/content.emf", "content");
    Picture pic = Draw("content");
    const double perMm = PerMm(pic);
    const double left = (kLetterWidthMm - 170) / 2, top = (kLetterHeightMm - 240) / 2;
    auto dark = [&](double xMm, double yMm) {
        return pic.Dark(static_cast<int>(xMm * perMm), static_cast<int>(yMm * perMm));
    };
    EXPECT_TRUE(dark(left + 85, top - 10)) << "header";
    EXPECT_TRUE(dark(left - 6, top + 120)) << "left mark";
    EXPECT_TRUE(dark(left + 85, top + 250)) << "footer";
    EXPECT_FALSE(dark(left + 85, top + 120)) << "the content area is empty";

    // A3 (297 x 420 mm) with a 20 mm square in each corner: scaled down
    // until it fits the printable area, a sixth of an inch in from each edge
    // of the paper (279.4 mm less two sixths of an inch, over 420 mm).
    platform::gdi::EmfBuilder large(SIZEL{1485, 2100}, SIZEL{297, 420});
    large.SelectStock(BLACK_BRUSH).SelectStock(NULL_PEN);
    for (RECTL r : {RECTL{0, 0, 100, 100}, RECTL{1385, 0, 1485, 100}, RECTL{0, 2000, 100, 2100},
                    RECTL{1385, 2000, 1485, 2100}})
        large.Box(EMR_RECTANGLE, r);
    Write(root_ + "/a3.emf", large.Finish());
    Print(kDirect, root_ + "/a3.emf", "a3");
    pic = Draw("a3");
    const double k = (kLetterHeightMm - 2 * 25.4 / 6) / 420, x0 = (kLetterWidthMm - 297 * k) / 2;
    const double near = 10 * k, far = 20 * k; // the squares' middles, and their far edges
    for (auto [x, y] : {std::pair{x0 + near, 6.5}, std::pair{x0 + 297 * k - near, 6.5},
                        std::pair{x0 + near, kLetterHeightMm - 6.5},
                        std::pair{x0 + 297 * k - near, kLetterHeightMm - 6.5}}) {
        EXPECT_TRUE(dark(x, y)) << x << ", " << y;
        EXPECT_FALSE(dark(x < 100 ? x0 + far + 1 : x0 + 297 * k - far - 1, y)) << x << ", " << y;
    }
}

// A page framed as its A4 content area (170 x 257 mm) whose header band and
// footer lie outside the frame, as its header's bounds say: fitted whole
// into the printable area with them, on both roads, where the frame alone,
// centred, would put them off the paper's printable area.
TEST_F(PrintRoadsTest, DrawingBeyondTheFrameIsFittedWithIt) {
    platform::gdi::EmfBuilder b(SIZEL{1700, 2570}, SIZEL{170, 257});
    b.SelectStock(BLACK_BRUSH).SelectStock(NULL_PEN);
    b.Box(EMR_RECTANGLE, RECTL{0, -150, 1700, -50});   // header band, 15 to 5 mm above
    b.Box(EMR_RECTANGLE, RECTL{0, 2620, 1700, 2720});  // footer, 5 to 15 mm below
    b.Box(EMR_RECTANGLE, RECTL{800, 1200, 900, 1300}); // a mark in the middle
    std::vector<BYTE> emf = b.Finish();
    const RECTL bounds{0, -150, 1699, 2719};
    std::memcpy(emf.data() + offsetof(ENHMETAHEADER, rclBounds), &bounds, sizeof bounds);
    Write(root_ + "/beyond.emf", emf);
    // 287 mm of drawing into the printable area's 270.9, from its top edge.
    const double margin = 25.4 / 6, k = (kLetterHeightMm - 2 * margin) / 287;
    auto down = [&](double mm) { return margin + (mm + 15) * k; };
    for (const char* printer : {kDirect, kReplayed}) {
        SCOPED_TRACE(printer);
        const std::string name = std::string("beyond-") + printer[0];
        Print(printer, root_ + "/beyond.emf", name);
        Picture pic = Draw(name);
        ASSERT_GT(pic.width, 0);
        const double perMm = PerMm(pic), middle = kLetterWidthMm / 2;
        auto dark = [&](double xMm, double yMm) {
            return pic.Dark(static_cast<int>(xMm * perMm), static_cast<int>(yMm * perMm));
        };
        EXPECT_TRUE(dark(middle, down(-10))) << "header";
        EXPECT_TRUE(dark(middle, down(266.5))) << "footer";
        EXPECT_TRUE(dark(middle, down(125))) << "mark";
        EXPECT_FALSE(dark(middle, down(100))) << "the content area is empty";
        EXPECT_FALSE(dark(middle + 85 * k + 1, down(-10))) << "the header's width is scaled";
    }
}

// A document of turned text, a turned picture and translucent boxes (black
// at half over a black band and over paper).
std::vector<BYTE> TurnedDocument() {
    auto b = LetterPage();
    b.CreateBrush(2, BS_SOLID, 0x000000); // takes the font's slot into the handle count
    // A black band at 150 to 160 mm down.
    b.SelectObject(2).SelectStock(NULL_PEN);
    b.Box(EMR_RECTANGLE, RECTL{100, 1500, 1000, 1600});
    // Text at 30 degrees, 15 mm high.
    LOGFONTW lf{};
    lf.lfHeight = -150;
    lf.lfEscapement = lf.lfOrientation = 300;
    lf.lfWeight = FW_NORMAL;
    std::memcpy(lf.lfFaceName, u"Arial", sizeof(u"Arial"));
    b.Fields(EMR_EXTCREATEFONTINDIRECTW, DWORD{1}, lf);
    b.SelectObject(1).Value(EMR_SETTEXTCOLOR, 0).Value(EMR_SETBKMODE, TRANSPARENT);
    const char16_t text[8] = u"ROTATED";
    DWORD count = 7, stringOffset = 76, options = 0, dxOffset = 0;
    b.Fields(EMR_EXTTEXTOUTW, RECTL{0, 0, -1, -1}, DWORD{GM_COMPATIBLE}, 1.0f, 1.0f,
             POINTL{400, 1200}, count, stringOffset, options, RECTL{0, 0, -1, -1}, dxOffset, text);
    // A 4 x 4 picture of four colours, 60 mm wide, turned 30 degrees about
    // (120, 160) mm.
    const double a = M_PI / 6;
    b.WorldTransform(XFORM{FLOAT(std::cos(a)), FLOAT(-std::sin(a)), FLOAT(std::sin(a)),
                           FLOAT(std::cos(a)), 1200, 1600});
    BITMAPINFOHEADER h{};
    h.biSize = sizeof h;
    h.biWidth = 4;
    h.biHeight = 4; // bottom-up
    h.biPlanes = 1;
    h.biBitCount = 24;
    std::vector<BYTE> bits;
    for (int row = 3; row >= 0; --row)
        for (int x = 0; x < 4; ++x) {
            // Blue, green, red, black quarters (bytes in blue, green, red order).
            bool lower = row >= 2, leftHalf = x < 2;
            BYTE bgr[3] = {BYTE(lower && leftHalf ? 255 : 0), BYTE(lower && !leftHalf ? 255 : 0),
                           BYTE(!lower && leftHalf ? 255 : 0)};
            bits.insert(bits.end(), bgr, bgr + 3);
        }
    DWORD offBmi = 80, cbBmi = sizeof h, offBits = offBmi + cbBmi,
          cbBits = static_cast<DWORD>(bits.size());
    b.Fields(EMR_STRETCHDIBITS, RECTL{0, 0, -1, -1}, LONG{0}, LONG{0}, LONG{0}, LONG{0}, LONG{4},
             LONG{4}, offBmi, cbBmi, offBits, cbBits, DWORD{DIB_RGB_COLORS}, DWORD{SRCCOPY},
             LONG{600}, LONG{600}, h, bits);
    b.WorldTransform(XFORM{1, 0, 0, 1, 0, 0});
    // Black at half over the band's right end and the paper beside it:
    // 80 to 120 mm across, 145 to 165 mm down.
    BITMAPINFOHEADER one = h;
    one.biWidth = one.biHeight = 1;
    one.biBitCount = 32;
    std::vector<BYTE> black(4, 0);
    BLENDFUNCTION half{AC_SRC_OVER, 0, 128, 0};
    DWORD blend;
    std::memcpy(&blend, &half, sizeof blend);
    b.Fields(EMR_ALPHABLEND, RECTL{0, 0, -1, -1}, LONG{800}, LONG{1450}, LONG{400}, LONG{200},
             blend, LONG{0}, LONG{0}, XFORM{1, 0, 0, 1, 0, 0}, COLORREF{0xFFFFFF},
             DWORD{DIB_RGB_COLORS}, DWORD{108}, DWORD{sizeof one}, DWORD{108 + sizeof one},
             DWORD{4}, LONG{1}, LONG{1}, one, black);
    return FinishLetter(b);
}

// The pixels of a that no pixel within one of the same place in b matches.
long Unmatched(const Picture& a, const Picture& b) {
    long n = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            long p = a.At(x, y);
            bool found = false;
            for (int dy = -1; dy <= 1 && !found; ++dy)
                for (int dx = -1; dx <= 1 && !found; ++dx) {
                    long q = b.At(x + dx, y + dy);
                    if (q < 0) continue;
                    int worst = 0;
                    for (int sh = 0; sh <= 16; sh += 8)
                        worst = std::max(worst,
                                         std::abs(int((p >> sh) & 0xFF) - int((q >> sh) & 0xFF)));
                    found = worst <= 48;
                }
            n += !found;
        }
    return n;
}

// Without a usable font library the text of a job cannot be drawn: the job
// still prints its other drawing, and says which records it left out and why.
TEST_F(PrintRoadsTest, TextThatCannotBeDrawnForWantOfFontsIsTold) {
    std::string out;
    Printhost(std::string("print --printer '") + kDirect + "' --output '" + root_ +
                  "/nofonts.prn' '" + PKG_SOURCE_DIR + "/samples/documents/text'",
              &out, std::string("LD_LIBRARY_PATH='") + EMPTY_FONTCONFIG_DIR + "' ");
    EXPECT_NE(out.find("libfontconfig.so.1 has no Fc"), std::string::npos) << out;
    EXPECT_NE(out.find("TEXTOUT"), std::string::npos) << out;
    EXPECT_NE(out.find("(not drawn)"), std::string::npos) << out;
    // Told once, however many pages asked for fonts.
    EXPECT_EQ(out.find("libfontconfig.so.1"), out.rfind("libfontconfig.so.1")) << out;
}

// Turned text and a turned picture, masked, parallelogram, transparent and
// alpha blits (the sample pictures document) and translucent boxes: drawn on
// the direct road, and the same after the spool-side replay, within a pixel.
TEST_F(PrintRoadsTest, TurnedAndBlendedDrawingMatchesBetweenDirectAndReplayedRoads) {
    Write(root_ + "/turned.emf", TurnedDocument());
    for (const std::string& doc :
         {root_ + "/turned.emf", std::string(PKG_SOURCE_DIR) + "/samples/documents/pictures.emf"}) {
        SCOPED_TRACE(doc);
        std::string stem = fs::path(doc).stem().string();
        std::string out = Print(kDirect, doc, stem + "-direct");
        EXPECT_EQ(out.find("not played"), std::string::npos) << out;
        out = Print(kReplayed, doc, stem + "-replayed");
        EXPECT_EQ(out.find("not played"), std::string::npos) << out;
        Picture direct = Draw(stem + "-direct"), replayed = Draw(stem + "-replayed");
        ASSERT_EQ(direct.width, replayed.width);
        ASSERT_EQ(direct.height, replayed.height);
        const long area = long(direct.width) * direct.height;
        EXPECT_LT(Unmatched(direct, replayed), area / 1000);
        EXPECT_LT(Unmatched(replayed, direct), area / 1000);
        const double perMm = PerMm(direct);
        auto at = [&](const Picture& p, double xMm, double yMm) {
            return p.At(static_cast<int>(xMm * perMm), static_cast<int>(yMm * perMm));
        };
        if (stem == "turned") {
            for (const Picture* p : {&direct, &replayed}) {
                // The picture's quarters, turned: the middles of the red
                // (upper left) and blue (lower left) ones.
                auto turned = [&](double u, double v) {
                    const double c = std::cos(M_PI / 6), s = std::sin(M_PI / 6);
                    return at(*p, 120 + u * c + v * s, 160 - u * s + v * c);
                };
                EXPECT_EQ(turned(15, 15), 0xFF0000);
                EXPECT_EQ(turned(15, 45), 0x0000FF);
                // Text along the turned line, 8 mm into the letters from the
                // reference point (the text hangs from it), none where the
                // text would lie unturned.
                long ink = 0, level = 0;
                for (double t = 0; t < 60; t += 0.25) {
                    ink += at(*p, 40 + t * std::cos(M_PI / 6) + 8 * std::sin(M_PI / 6),
                              120 - t * std::sin(M_PI / 6) + 8 * std::cos(M_PI / 6)) == 0;
                    level += at(*p, 80 + t / 2, 128) == 0;
                }
                EXPECT_GT(ink, 20);
                EXPECT_LT(level, 10);
                // Half black over paper is gray; over the band the band shows.
                long gray = at(*p, 110, 155);
                EXPECT_NEAR(gray & 0xFF, 127, 40) << std::hex << gray;
                EXPECT_EQ(at(*p, 90, 155), 0);
                EXPECT_EQ(at(*p, 90, 147), at(*p, 110, 147));
            }
        }
    }
}

// Documents made by office programs and a drawing program, kept with each
// producer's own picture of the page.
std::string ProducerDocument(const std::string& stem, const char* extension) {
    return std::string(PKG_SOURCE_DIR) + "/tests/e2e/producers/" + stem + extension;
}

Picture ProducerPicture(const std::string& stem) {
    Picture pic;
    EXPECT_TRUE(e2e::ReadPng(ProducerDocument(stem, ".png"), &pic)) << stem;
    return pic;
}

// The colour channels of 0xRRGGBB, each within tolerance of the other's.
bool NearColour(long a, long b, int tolerance) {
    for (int sh = 0; sh <= 16; sh += 8)
        if (std::abs(int((a >> sh) & 0xFF) - int((b >> sh) & 0xFF)) > tolerance) return false;
    return true;
}

// A horizontal gradient record laid out by hand: its bounds, the counts and
// mode, the vertices (x, y, then red, green, blue and alpha in 16 bits
// each) and the rectangles between neighbours.
struct Stop {
    LONG x;
    USHORT red, green, blue;
};
void HorizontalGradient(platform::gdi::EmfBuilder& b, const std::vector<Stop>& stops, LONG top,
                        LONG bottom) {
    std::vector<BYTE> vertices, rects;
    auto put = [](std::vector<BYTE>& to, const auto& v) {
        const auto* p = reinterpret_cast<const BYTE*>(&v);
        to.insert(to.end(), p, p + sizeof v);
    };
    for (size_t i = 0; i < stops.size(); ++i) {
        put(vertices, stops[i].x);
        put(vertices, i % 2 ? bottom : top);
        for (USHORT c : {stops[i].red, stops[i].green, stops[i].blue, USHORT{0}})
            put(vertices, c);
        if (i + 1 < stops.size()) {
            put(rects, static_cast<ULONG>(i));
            put(rects, static_cast<ULONG>(i + 1));
        }
    }
    b.Fields(EMR_GRADIENTFILL, RECTL{stops.front().x, top, stops.back().x, bottom},
             static_cast<DWORD>(stops.size()), static_cast<DWORD>(stops.size() - 1),
             DWORD{GRADIENT_FILL_RECT_H}, vertices, rects);
}

// A white-to-blue band and a rainbow (red, yellow, green, blue, magenta),
// 20 to 190 mm across, keep their colours on every road: at three points of
// each, as the vertices give them, and as the drawing program's own picture
// of its gradients shows them.
TEST_F(PrintRoadsTest, GradientsKeepTheirColoursOnEveryRoad) {
    auto b = LetterPage();
    HorizontalGradient(b, {{200, 0xFFFF, 0xFFFF, 0xFFFF}, {1900, 0, 0, 0xFFFF}}, 300, 800);
    HorizontalGradient(b,
                       {{200, 0xFFFF, 0, 0},
                        {625, 0xFFFF, 0xFFFF, 0},
                        {1050, 0, 0xFFFF, 0},
                        {1475, 0, 0, 0xFFFF},
                        {1900, 0xFFFF, 0, 0xFFFF}},
                       1100, 1600);
    Write(root_ + "/gradients.emf", FinishLetter(b));
    struct Probe {
        double xMm, yMm;
        long colour;
    } probes[] = {
        {20 + 170 * 0.1, 55, 0xE6E6FF}, {20 + 170 * 0.5, 55, 0x8080FF},
        {20 + 170 * 0.9, 55, 0x1A1AFF}, {20 + 42.5 * 0.5, 135, 0xFF8000},
        {105, 135, 0x00FF00},           {147.5 + 42.5 * 0.5, 135, 0x8000FF},
    };
    const Picture producer = ProducerPicture("inkscape-gradients");
    const e2e::Box producerBox = e2e::InkBox(producer);
    // (The printer's own settings print in black and white.)
    for (const char* printer : {kDirect, kReplayed}) {
        SCOPED_TRACE(printer);
        const std::string name = std::string("gradients-") + printer[0];
        std::string out = Print(printer, root_ + "/gradients.emf", name);
        EXPECT_EQ(out.find("not played"), std::string::npos) << out;
        Picture pic = Draw(name);
        const double perMm = PerMm(pic);
        for (const Probe& p : probes) {
            long got = pic.At(static_cast<int>(p.xMm * perMm), static_cast<int>(p.yMm * perMm));
            EXPECT_TRUE(NearColour(got, p.colour, 24))
                << p.xMm << " mm: " << std::hex << got << " for " << p.colour;
        }
        // The drawing program's page: its two bands at the same shares of
        // their box as in its own picture.
        out = Print(printer, ProducerDocument("inkscape-gradients", ".emf"), name + "-inkscape");
        EXPECT_EQ(out.find("not played"), std::string::npos) << out;
        pic = Draw(name + "-inkscape");
        const e2e::Box box = e2e::InkBox(pic);
        for (double v : {0.15, 0.85})
            for (double u : {0.1, 0.5, 0.9}) {
                long want = e2e::AtShare(producer, producerBox, u, v),
                     got = e2e::AtShare(pic, box, u, v);
                EXPECT_TRUE(NearColour(got, want, 32))
                    << u << ", " << v << ": " << std::hex << got << " for " << want;
            }
        std::printf("picture score inkscape-gradients %s: %.3f\n", printer,
                    e2e::MatchingCells(producer, pic, 40, 48));
    }
}

// Every producer's page prints whole and as the producer drew it, on the
// direct road and replayed on the spool side: all its drawing inside the
// printable area (a sixth of an inch in from the paper's edges), none of it
// cut (its ink has the aspect of the producer's own picture), and its
// picture matching the producer's cell by cell. The Japanese and Chinese
// lines show their glyphs (not the boxes of missing characters), the serif
// paragraph its serif face, the header band and footer of the A4 page
// their colours, and the landscape sheet its first and last columns whole.
TEST_F(PrintRoadsTest, ProducersPagesPrintWholeAsTheyDrewThem) {
    struct Part {
        double from, to; // shares down the ink box
        double score;    // the least share of matching cells in it
    };
    struct Document {
        const char* stem;
        double score;
        std::vector<Part> parts;
        bool inset = false; // its ink stands off the sides of its frame
    } documents[] = {
        // The three lines of Japanese and Chinese, then the serif paragraph.
        {"writer-cjk-serif", 0.85, {{0, 0.62, 0.8}, {0.66, 0.9, 0.8}}},
        {"writer-header-footer", 0.8, {{0, 0.07, 0.9}, {0.95, 1, 0.9}}},
        {"calc-landscape", 0.9, {}, true},
        {"inkscape-gradients", 0.9, {}},
    };
    constexpr double kMarginMm = 25.4 / 6;
    for (const Document& d : documents) {
        SCOPED_TRACE(d.stem);
        const Picture producer = ProducerPicture(d.stem);
        const e2e::Box pb = e2e::InkBox(producer);
        ASSERT_FALSE(pb.Empty());
        for (const char* printer : {kDirect, kReplayed}) {
            SCOPED_TRACE(printer);
            const std::string name = std::string(d.stem) + "-" + printer[0];
            std::string out = Print(printer, ProducerDocument(d.stem, ".emf"), name);
            EXPECT_EQ(out.find("not played"), std::string::npos) << out;
            const Picture pic = Draw(name);
            const e2e::Box box = e2e::InkBox(pic);
            ASSERT_FALSE(box.Empty());
            const double perMm = PerMm(pic), margin = kMarginMm * perMm;
            EXPECT_GE(box.left, margin - 1);
            EXPECT_GE(box.top, margin - 1);
            EXPECT_LE(box.right, pic.width - margin + 1);
            EXPECT_LE(box.bottom, pic.height - margin + 1);
            const double aspect = double(box.right - box.left) / (box.bottom - box.top),
                         want = double(pb.right - pb.left) / (pb.bottom - pb.top);
            EXPECT_NEAR(aspect / want, 1, 0.03);
            if (d.inset) {
                // The drawing starts and ends beside the printable area's
                // edges, its first and last letters whole.
                EXPECT_GT(box.left, margin + 1);
                EXPECT_LT(box.right, pic.width - margin - 1);
            }
            const double score = e2e::MatchingCells(producer, pic, 40, 48);
            std::printf("picture score %s %s: %.3f (aspect %.3f of the producer's)\n", d.stem,
                        printer, score, aspect / want);
            EXPECT_GE(score, d.score);
            for (const Part& part : d.parts) {
                const double partScore =
                    e2e::MatchingCells(e2e::Band(producer, pb, part.from, part.to),
                                       e2e::Band(pic, box, part.from, part.to), 80, 64);
                std::printf("  %.2f to %.2f down: %.3f\n", part.from, part.to, partScore);
                EXPECT_GE(partScore, part.score) << part.from << " to " << part.to;
            }
        }
    }
}

} // namespace
