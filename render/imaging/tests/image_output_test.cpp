// Images through the encoders into the printer stream, read back by the
// stream decoder; JBIG pages decoded by jbigkit's jbgtopbm; banded jobs.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "streamdump/images.h"
#include "stream_opcodes.h"
#include "streamdump/page_render.h"
#include "band_dump.h"
#include "hooks.h"
#include "imaging_hooks.h"
#include "output_writer.h"
#include "pdev.h"
#include "pjl.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "print_page.h"
#include "raster_encode.h"
#include "render_fixture.h"
#include "stream_commands.h"
#include "streamdump/decoder.h"
#include "win/base.h"
#include "win/gdi.h"
#include "win/gdi_bitmap.h"
#include "win/gdi_dc.h"

namespace {

using namespace render_test;
namespace fs = std::filesystem;

// The stream of one call, collected in memory.
template <class F> Bytes Captured(inkforge::PDEV* pdev, F&& f) {
    inkforge::StartCapture(pdev);
    f();
    inkforge::FlushOutput(pdev);
    inkforge::StopCapture(pdev);
    const BYTE* p = static_cast<const BYTE*>(GlobalLock(pdev->captureBlock));
    Bytes out(p, p + pdev->captureLength);
    GlobalUnlock(pdev->captureBlock);
    return out;
}

// The stream decoder reads drawing tokens inside a graphics job: the body
// after the job's head, which is `offset` bytes long.
Bytes InJob(const Bytes& body, size_t* offset) {
    static const std::string head = "\x1B%-12345X@PJL ENTER LANGUAGE=IMAGING\r\n\x1B\x27\x31";
    Bytes all(head.begin(), head.end());
    *offset = all.size();
    all.insert(all.end(), body.begin(), body.end());
    return all;
}

streamdump::Decoding DecodeInJob(const Bytes& body, size_t* offset) {
    return streamdump::Decode(InJob(body, offset));
}

// A surface over bytes laid out by the test.
SURFOBJ Surface(Bytes& bits, LONG w, LONG h, LONG stride, ULONG format) {
    SURFOBJ s{};
    s.iType = STYPE_BITMAP;
    s.iBitmapFormat = format;
    s.sizlBitmap = SIZEL{w, h};
    s.pvScan0 = s.pvBits = bits.data();
    s.lDelta = stride;
    s.cjBits = static_cast<ULONG>(bits.size());
    return s;
}

// The driver module's folder is where the coder is found: the build's driver
// folder, or another folder with a coder of that name.
class DriverFolder {
  public:
    explicit DriverFolder(const std::string& folder = PKG_DRIVER_DIR) {
        std::string host = folder + "/Dotpacker.DLL";
        std::u16string name = u"Z:";
        for (char c : host)
            name += c == '/' ? u'\\' : static_cast<char16_t>(c);
        module_ = LoadLibraryW(name.c_str());
        inkforge::SetDriverModule(module_);
    }
    ~DriverFolder() {
        inkforge::SetDriverModule(nullptr);
        if (module_) FreeLibrary(module_);
    }
    bool ok() const { return module_ != nullptr; }

  private:
    HMODULE module_ = nullptr;
};

std::vector<const streamdump::Item*> Tokens(const streamdump::Decoding& d, int op) {
    std::vector<const streamdump::Item*> out;
    for (const auto& it : d.items)
        if (it.kind == streamdump::ItemKind::Token && it.opcode == op) out.push_back(&it);
    return out;
}

// Bits without a pattern that JBIG could code in a few bytes.
unsigned Noise(LONG x, LONG y) {
    unsigned v = static_cast<unsigned>(x) * 2654435761u ^ static_cast<unsigned>(y) * 40503u;
    v ^= v >> 13;
    return v * 2246822519u >> 7;
}

// jbigkit's jbgtopbm over an image entity: the PBM's rows (1 = black), or
// nothing when it fails or the size differs.
Bytes JbigToPbm(const std::vector<std::uint8_t>& entity, long width, long height) {
    fs::path dir = fs::temp_directory_path() / ("imaging-jbig-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    {
        std::ofstream out(dir / "page.jbg", std::ios::binary);
        out.write(reinterpret_cast<const char*>(entity.data()),
                  static_cast<std::streamsize>(entity.size()));
    }
    std::string cmd =
        "jbgtopbm '" + (dir / "page.jbg").string() + "' '" + (dir / "page.pbm").string() + "'";
    Bytes pbm;
    if (std::system(cmd.c_str()) == 0) {
        std::ifstream in(dir / "page.pbm", std::ios::binary);
        std::string magic;
        long w = 0, h = 0;
        in >> magic >> w >> h;
        in.get();
        if (magic == "P4" && w == width && h == height) {
            pbm.resize(static_cast<size_t>(w + 7) / 8 * static_cast<size_t>(h));
            in.read(reinterpret_cast<char*>(pbm.data()), static_cast<std::streamsize>(pbm.size()));
            if (!in) pbm.clear();
        }
    }
    fs::remove_all(dir);
    return pbm;
}

class ImageOutput : public ::testing::Test {
  protected:
    void SetUp() override { InstallPrinter(u"P1", SampleModel("CX5540")); }
};

// Every pixel format through its encoder: the rows that the decoder takes
// out of the blocks are the rows the encoder was meant to send.
TEST_F(ImageOutput, EveryFormatDecodesTokenByToken) {
    TestDevice dev(u"P1", false);
    dev->jobFlags |= inkforge::job::PageOpen;
    ULONG palette[16];
    for (ULONG i = 0; i < 16; ++i)
        palette[i] = i * 0x111111;
    XLATEOBJ table{};
    table.flXlate = XO_TABLE;
    table.iSrcType = PAL_RGB;
    table.cEntries = 16;
    table.pulXlate = palette;
    XLATEOBJ trivial{};
    trivial.flXlate = XO_TRIVIAL;
    struct Case {
        const char* what;
        ULONG format;
        Bytes bits;
        LONG stride;
        XLATEOBJ* xlate;
        Bytes firstRow; // as the decoder reads it (padded to 4 bytes)
        int depth, space;
    };
    std::vector<Case> cases = {
        // Indexes go out as the colours of their palette (gray levels here).
        {"4 bpp through the palette",
         BMF_4BPP,
         {0x12, 0x30, 0, 0, 0x45, 0x60, 0, 0},
         4,
         &table,
         {0x11, 0x11, 0x11, 0x22, 0x22, 0x22, 0x33, 0x33, 0x33, 0, 0, 0},
         2,
         2},
        {"8 bpp through the palette",
         BMF_8BPP,
         {1, 2, 3, 0, 4, 5, 6, 0},
         4,
         &table,
         {0x11, 0x11, 0x11, 0x22, 0x22, 0x22, 0x33, 0x33, 0x33, 0, 0, 0},
         2,
         2},
        {"16 bpp through the translation",
         BMF_16BPP,
         {1, 0, 2, 0, 3, 0, 0, 0, 4, 0, 5, 0, 6, 0, 0, 0},
         8,
         &trivial,
         {1, 0, 0, 2, 0, 0, 3, 0, 0, 0, 0, 0},
         2,
         2},
        {"24 bpp copied",
         BMF_24BPP,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 0},
         12,
         &trivial,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0},
         2,
         2},
        {"32 bpp drops the fourth byte",
         BMF_32BPP,
         {1, 2, 3, 99, 4, 5, 6, 99, 7, 8, 9, 99, 1, 1, 1, 0, 2, 2, 2, 0, 3, 3, 3, 0},
         12,
         &trivial,
         {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0},
         2,
         2},
    };
    for (Case& c : cases) {
        SURFOBJ s = Surface(c.bits, 3, 2, c.stride, c.format);
        RECTL dest{10, 20, 13, 22}, src{0, 0, 3, 2};
        int result = 0;
        Bytes stream = Captured(dev.get(), [&] {
            result = inkforge::OutputImage(dev.get(), &s, c.xlate, &dest, &src, nullptr, 0xCC, 0,
                                           nullptr);
        });
        EXPECT_EQ(result, inkforge::kImageSent) << c.what;
        size_t at = 0;
        streamdump::Decoding d = DecodeInJob(stream, &at);
        EXPECT_EQ(d.problems, 0u) << c.what << "\n" << streamdump::Format(d);
        auto begin = Tokens(d, stream::kBeginImage);
        auto blocks = Tokens(d, stream::kReadImage);
        ASSERT_EQ(begin.size(), 1u) << c.what;
        ASSERT_EQ(blocks.size(), 1u) << c.what;
        streamdump::ImageLayout layout;
        std::string problem;
        ASSERT_TRUE(streamdump::ReadImageLayout(begin[0]->token, 10, 20, &layout, &problem))
            << problem;
        EXPECT_EQ(layout.width, 3) << c.what;
        EXPECT_EQ(layout.bitsPerPixel, c.space == 2 ? 24 : 8) << c.what;
        long compression = -1;
        blocks[0]->token.Find(stream::kCompression)->Whole(&compression);
        std::vector<std::uint8_t> seed, rows;
        ASSERT_TRUE(streamdump::DecodeImageRows(
            stream.data() + blocks[0]->token.dataOffset - at, blocks[0]->token.dataSize,
            static_cast<int>(compression), layout.rowBytes, 2, &seed, &rows, &problem))
            << problem;
        EXPECT_EQ(Bytes(rows.begin(), rows.begin() + static_cast<long>(layout.rowBytes)),
                  c.firstRow)
            << c.what;
    }
}

// 4 and 8-bit images of odd and even widths, wider and narrower than one
// row word: every row the decoder takes out of the blocks holds each pixel
// as the colour its index stands for (a palette of colours that are no gray
// levels), the key colour's index white.
TEST_F(ImageOutput, IndexedImagesGoOutInTheirPalettesColours) {
    TestDevice dev(u"P1", false);
    dev->jobFlags |= inkforge::job::PageOpen;
    ULONG palette[256];
    for (ULONG i = 0; i < 256; ++i)
        palette[i] = (i * 37 + 11) % 256 | ((i * 101 + 3) % 256) << 8 | ((255 - i) << 16);
    XLATEOBJ table{};
    table.flXlate = XO_TABLE;
    table.iSrcType = PAL_RGB;
    table.pulXlate = palette;
    for (ULONG format : {ULONG{BMF_4BPP}, ULONG{BMF_8BPP}}) {
        const ULONG entries = format == BMF_4BPP ? 16 : 256;
        table.cEntries = entries;
        for (LONG w : {1, 3, 4, 5, 8, 9, 17, 30}) {
            for (bool keyed : {false, true}) {
                const LONG h = 3, left = format == BMF_4BPP ? 1 : 2; // an odd left edge
                const LONG stride = format == BMF_4BPP ? (left + w + 1) / 2 + 4 : left + w + 4;
                Bytes bits(static_cast<size_t>(stride) * h, 0);
                auto index = [&](LONG x, LONG y) {
                    return static_cast<ULONG>((x * 7 + y * 3 + 1) % entries);
                };
                for (LONG y = 0; y < h; ++y)
                    for (LONG x = 0; x < w; ++x) {
                        const LONG px = left + x;
                        BYTE* b = &bits[static_cast<size_t>(y) * stride];
                        if (format == BMF_4BPP)
                            b[px / 2] |= static_cast<BYTE>(index(x, y) << (px & 1 ? 0 : 4));
                        else
                            b[px] = static_cast<BYTE>(index(x, y));
                    }
                const inkforge::ColorKey key{0, index(0, 0)};
                const std::string what = std::to_string(format == BMF_4BPP ? 4 : 8) +
                                         " bpp, width " + std::to_string(w) +
                                         (keyed ? ", keyed" : "");
                SURFOBJ s = Surface(bits, left + w, h, stride, format);
                RECTL dest{10, 20, 10 + w, 20 + h}, src{left, 0, left + w, h};
                int result = 0;
                Bytes stream = Captured(dev.get(), [&] {
                    result = inkforge::OutputImage(dev.get(), &s, &table, &dest, &src, nullptr,
                                                   0xCC, 0, keyed ? &key : nullptr);
                });
                ASSERT_EQ(result, inkforge::kImageSent) << what;
                size_t at = 0;
                const Bytes all = InJob(stream, &at);
                streamdump::Decoding d = streamdump::Decode(all);
                streamdump::CheckImages(all.data(), all.size(), &d);
                ASSERT_EQ(d.problems, 0u) << what << "\n" << streamdump::Format(d);
                auto begin = Tokens(d, stream::kBeginImage);
                auto blocks = Tokens(d, stream::kReadImage);
                ASSERT_EQ(begin.size(), 1u) << what;
                ASSERT_EQ(blocks.size(), 1u) << what;
                streamdump::ImageLayout layout;
                std::string problem;
                ASSERT_TRUE(streamdump::ReadImageLayout(begin[0]->token, 10, 20, &layout, &problem))
                    << problem;
                ASSERT_EQ(layout.width, w) << what;
                ASSERT_EQ(layout.bitsPerPixel, 24) << what;
                long compression = -1;
                blocks[0]->token.Find(stream::kCompression)->Whole(&compression);
                std::vector<std::uint8_t> seed, rows;
                ASSERT_TRUE(streamdump::DecodeImageRows(
                    all.data() + blocks[0]->token.dataOffset, blocks[0]->token.dataSize,
                    static_cast<int>(compression), layout.rowBytes, h, &seed, &rows, &problem))
                    << what << ": " << problem;
                size_t wrong = 0;
                for (LONG y = 0; y < h; ++y)
                    for (LONG x = 0; x < w; ++x) {
                        const ULONG i = index(x, y);
                        const ULONG want = keyed && i == key.key ? 0xFFFFFF : palette[i];
                        const BYTE* p = rows.data() + y * layout.rowBytes + x * 3;
                        wrong += (p[0] | p[1] << 8 | static_cast<ULONG>(p[2]) << 16) != want;
                    }
                EXPECT_EQ(wrong, 0u) << what;
            }
        }
    }
}

// An image laid on the page with AND (a blend made over paper white) keeps
// what lies under it: drawn back from the stream, red over paper is red and
// over a black image stays black; white over black stays black.
TEST_F(ImageOutput, AnImageUnderAndKeepsWhatLiesUnderIt) {
    constexpr LONG kW = 8, kH = 4, kDot = 50, kStride = kW * 3;
    XLATEOBJ trivial{};
    trivial.flXlate = XO_TRIVIAL;
    trivial.iSrcType = PAL_RGB;
    Bytes black(static_cast<size_t>(kStride) * kH, 0);
    Bytes redWhite(static_cast<size_t>(kStride) * kH, 0xFF);
    for (LONG y = 0; y < kH; ++y)
        for (LONG x = 0; x < kW / 2; ++x) { // left half red (colour references: red first)
            BYTE* p = &redWhite[static_cast<size_t>(y) * kStride + x * 3];
            p[1] = p[2] = 0;
        }
    TestDevice dev(u"P1");
    ASSERT_TRUE(inkforge::WriteUel(dev.get()));
    inkforge::WriteJobHeader(dev.get());
    ASSERT_TRUE(inkforge::WriteJobCommands(dev.get()));
    ASSERT_TRUE(inkforge::WritePageCommands(dev.get(), true));
    dev->jobFlags |= inkforge::job::PageOpen;
    // Black under the middle half of the second image.
    SURFOBJ under = Surface(black, kW, kH, kStride, BMF_24BPP);
    SURFOBJ over = Surface(redWhite, kW, kH, kStride, BMF_24BPP);
    const RECTL src{0, 0, kW, kH};
    const RECTL dest{1000, 1000, 1000 + kW * kDot, 1000 + kH * kDot};
    const RECTL middle{1000 + kW * kDot / 4, 1000, 1000 + kW * kDot * 3 / 4, 1000 + kH * kDot};
    EXPECT_EQ(inkforge::OutputImage(dev.get(), &under, &trivial, &middle, &src, nullptr, 0xCC, 0,
                                    nullptr),
              inkforge::kImageSent);
    EXPECT_EQ(
        inkforge::OutputImage(dev.get(), &over, &trivial, &dest, &src, nullptr, 0x88, 0, nullptr),
        inkforge::kImageSent);
    ASSERT_TRUE(inkforge::WritePageEnd(dev.get()));
    ASSERT_TRUE(inkforge::WriteJobFooter(dev.get()));
    inkforge::FlushOutput(dev.get());
    const Bytes stream = dev.Finish();
    streamdump::Decoding d = streamdump::Decode(stream);
    ASSERT_EQ(d.problems, 0u) << streamdump::Format(d);
    std::vector<streamdump::PageImage> pages =
        streamdump::RenderPages(stream.data(), stream.size(), d, 2000);
    ASSERT_EQ(pages.size(), 1u);
    const auto& page = pages[0];
    const LONG quarter = kW * kDot / 4, y = 1000 + kH * kDot / 2;
    EXPECT_EQ(page.PixelAtDot(1000 + quarter / 2, y), 0xFF0000) << "red over paper";
    EXPECT_EQ(page.PixelAtDot(1000 + quarter * 3 / 2, y), 0) << "red over black";
    EXPECT_EQ(page.PixelAtDot(1000 + quarter * 5 / 2, y), 0) << "white over black";
    EXPECT_EQ(page.PixelAtDot(1000 + quarter * 7 / 2, y), 0xFFFFFF) << "white over paper";
}

// A 4 and an 8-bit image whose palette holds colours, not gray levels, on a
// page of its own, drawn back from the stream: each pixel, 10 dots a side,
// is the colour of its index (61 pixels wide: rows of an odd count).
TEST_F(ImageOutput, IndexedImagesPrintInTheirPalettesColours) {
    ULONG palette[4] = {0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF}; // red, green, blue, yellow
    XLATEOBJ table{};
    table.flXlate = XO_TABLE;
    table.iSrcType = PAL_RGB;
    table.cEntries = 4;
    table.pulXlate = palette;
    constexpr LONG kW = 61, kH = 20, kDot = 10;
    auto index = [](LONG x, LONG y) { return static_cast<BYTE>((x / 4 + y / 4) % 4); };
    for (ULONG format : {ULONG{BMF_4BPP}, ULONG{BMF_8BPP}}) {
        const std::string what = format == BMF_4BPP ? "4 bpp" : "8 bpp";
        const LONG stride = format == BMF_4BPP ? 32 : 64;
        Bytes bits(static_cast<size_t>(stride) * kH, 0);
        for (LONG y = 0; y < kH; ++y)
            for (LONG x = 0; x < kW; ++x) {
                BYTE* row = &bits[static_cast<size_t>(y) * stride];
                if (format == BMF_4BPP)
                    row[x / 2] |= static_cast<BYTE>(index(x, y) << (x % 2 ? 0 : 4));
                else
                    row[x] = index(x, y);
            }
        TestDevice dev(u"P1");
        ASSERT_TRUE(inkforge::WriteUel(dev.get()));
        inkforge::WriteJobHeader(dev.get());
        ASSERT_TRUE(inkforge::WriteJobCommands(dev.get()));
        ASSERT_TRUE(inkforge::WritePageCommands(dev.get(), true));
        dev->jobFlags |= inkforge::job::PageOpen;
        SURFOBJ s = Surface(bits, kW, kH, stride, format);
        const RECTL dest{1000, 1000, 1000 + kW * kDot, 1000 + kH * kDot}, src{0, 0, kW, kH};
        EXPECT_EQ(
            inkforge::OutputImage(dev.get(), &s, &table, &dest, &src, nullptr, 0xCC, 0, nullptr),
            inkforge::kImageSent)
            << what;
        ASSERT_TRUE(inkforge::WritePageEnd(dev.get()));
        ASSERT_TRUE(inkforge::WriteJobFooter(dev.get()));
        inkforge::FlushOutput(dev.get());
        const Bytes stream = dev.Finish();
        streamdump::Decoding d = streamdump::Decode(stream);
        ASSERT_EQ(d.problems, 0u) << what << "\n" << streamdump::Format(d);
        std::vector<streamdump::PageImage> pages =
            streamdump::RenderPages(stream.data(), stream.size(), d, 3508);
        ASSERT_EQ(pages.size(), 1u) << what;
        const streamdump::PageImage& page = pages[0];
        std::string wrong;
        for (LONG y = 0; y < kH; ++y)
            for (LONG x = 0; x < kW; ++x) {
                const ULONG c = palette[index(x, y)];
                const long want = static_cast<long>((c & 0xFF) << 16 | (c & 0xFF00) | c >> 16);
                const long got = page.PixelAtDot(dest.left + x * kDot + kDot / 2,
                                                 dest.top + y * kDot + kDot / 2);
                if (got != want && wrong.size() < 400)
                    wrong += "(" + std::to_string(x) + ", " + std::to_string(y) + ") ";
            }
        EXPECT_EQ(wrong, "") << what;
    }
}

// 1-bit images print in their palette's two colours, whichever index holds
// black: black and white in either order go out as JBIG images, two other
// colours as the colours they are; on a page of their own, drawn back from
// the stream (the JBIG image lies at the page's origin, so the image does
// too), cells of 16 x 16 pixels, 256 x 64 pixels in all.
TEST_F(ImageOutput, OneBitImagesPrintInTheirPalettesColours) {
    DriverFolder folder;
    ASSERT_TRUE(folder.ok());
    constexpr LONG kW = 256, kH = 64, kCell = 16, kStride = kW / 8;
    auto index = [](LONG x, LONG y) { return static_cast<ULONG>((x / kCell + y / kCell) % 2); };
    Bytes bits(static_cast<size_t>(kStride) * kH, 0);
    for (LONG y = 0; y < kH; ++y)
        for (LONG x = 0; x < kW; ++x)
            if (index(x, y)) bits[static_cast<size_t>(y) * kStride + x / 8] |= 0x80 >> (x % 8);
    struct Case {
        const char* what;
        ULONG palette[2]; // 0x00BBGGRR
        bool jbig;
    };
    const Case cases[] = {
        {"black, white", {0x000000, 0xFFFFFF}, true},
        {"white, black", {0xFFFFFF, 0x000000}, true},
        {"red, blue", {0x0000FF, 0xFF0000}, false},
        {"white, green", {0xFFFFFF, 0x00FF00}, false},
    };
    for (const Case& c : cases) {
        ULONG palette[2] = {c.palette[0], c.palette[1]};
        XLATEOBJ table{};
        table.flXlate = XO_TABLE;
        table.iSrcType = PAL_RGB;
        table.cEntries = 2;
        table.pulXlate = palette;
        TestDevice dev(u"P1");
        ASSERT_TRUE(inkforge::WriteUel(dev.get()));
        inkforge::WriteJobHeader(dev.get());
        ASSERT_TRUE(inkforge::WriteJobCommands(dev.get()));
        ASSERT_TRUE(inkforge::WritePageCommands(dev.get(), true));
        dev->jobFlags |= inkforge::job::PageOpen;
        SURFOBJ s = Surface(bits, kW, kH, kStride, BMF_1BPP);
        const RECTL dest{0, 0, kW, kH}, src{0, 0, kW, kH};
        EXPECT_EQ(
            inkforge::OutputImage(dev.get(), &s, &table, &dest, &src, nullptr, 0xCC, 0, nullptr),
            inkforge::kImageSent)
            << c.what;
        ASSERT_TRUE(inkforge::WritePageEnd(dev.get()));
        ASSERT_TRUE(inkforge::WriteJobFooter(dev.get()));
        inkforge::FlushOutput(dev.get());
        const Bytes stream = dev.Finish();
        streamdump::Decoding d = streamdump::Decode(stream);
        ASSERT_EQ(d.problems, 0u) << c.what << "\n" << streamdump::Format(d);
        std::vector<streamdump::JbigPage> jbig;
        {
            streamdump::Decoding copy = d;
            streamdump::CheckImages(stream.data(), stream.size(), &copy, &jbig);
        }
        EXPECT_EQ(jbig.size(), c.jbig ? 1u : 0u) << c.what;
        EXPECT_EQ(Tokens(d, stream::kBeginImage).size(), c.jbig ? 0u : 1u) << c.what;
        std::vector<streamdump::PageImage> pages =
            streamdump::RenderPages(stream.data(), stream.size(), d, 4096);
        ASSERT_EQ(pages.size(), 1u) << c.what;
        const streamdump::PageImage& page = pages[0];
        std::string wrong;
        for (LONG y = kCell / 2; y < kH; y += kCell)
            for (LONG x = kCell / 2; x < kW; x += kCell) {
                const ULONG p = palette[index(x, y)];
                const long want = static_cast<long>((p & 0xFF) << 16 | (p & 0xFF00) | p >> 16);
                const long got = page.PixelAtDot(x, y);
                if (got != want) wrong += "(" + std::to_string(x) + ", " + std::to_string(y) + ") ";
            }
        EXPECT_EQ(wrong, "") << c.what;
        // Nothing beside the image.
        EXPECT_EQ(page.PixelAtDot(kW + 8, 8), 0xFFFFFF) << c.what;
    }
}

// 1-bit images of black and white bit for bit as jbigkit decodes them (1 =
// black): both palette orders, a left edge inside a byte and widths that end
// inside one, the key colour's index white, a palette of one entry (the
// index past it white), toner save whitening every other pixel.
TEST_F(ImageOutput, OneBitImagesKeepTheirBitsInEitherPaletteOrder) {
    DriverFolder folder;
    ASSERT_TRUE(folder.ok());
    struct Case {
        const char* what;
        ULONG palette[2];
        ULONG entries;
        LONG left, w;
        int key;    // -1: none
        bool toner; // toner save
    };
    const Case cases[] = {
        {"black, white", {0x000000, 0xFFFFFF}, 2, 0, 64, -1, false},
        {"white, black", {0xFFFFFF, 0x000000}, 2, 0, 64, -1, false},
        {"black, white from 3", {0x000000, 0xFFFFFF}, 2, 3, 61, -1, false},
        {"white, black from 3", {0xFFFFFF, 0x000000}, 2, 3, 61, -1, false},
        {"white, black, width 13", {0xFFFFFF, 0x000000}, 2, 5, 13, -1, false},
        {"white, black, key 1", {0xFFFFFF, 0x000000}, 2, 0, 64, 1, false},
        {"black, white, key 1", {0x000000, 0xFFFFFF}, 2, 0, 64, 1, false},
        {"black only", {0x000000, 0}, 1, 0, 40, -1, false},
        {"white, black, toner save", {0xFFFFFF, 0x000000}, 2, 3, 61, -1, true},
    };
    for (const Case& c : cases) {
        TestDevice dev(u"P1", false);
        dev->jobFlags |= inkforge::job::PageOpen;
        if (c.toner) {
            inkforge::SetPrivU32(dev->devmode, inkforge::priv::FeatureFlags, 1u << 14);
            inkforge::SetPrivU16(dev->devmode, inkforge::priv::TonerSaveLevel, 1);
        }
        ULONG palette[2] = {c.palette[0], c.palette[1]};
        XLATEOBJ table{};
        table.flXlate = XO_TABLE;
        table.iSrcType = PAL_RGB;
        table.cEntries = c.entries;
        table.pulXlate = palette;
        const LONG h = 9, stride = (c.left + c.w + 31) / 32 * 4 + 4;
        Bytes bits(static_cast<size_t>(stride) * h, 0);
        auto index = [&](LONG x, LONG y) { return (Noise(x, y) >> 3) & 1; };
        for (LONG y = 0; y < h; ++y)
            for (LONG x = 0; x < c.left + c.w; ++x)
                if (index(x, y)) bits[static_cast<size_t>(y) * stride + x / 8] |= 0x80 >> (x % 8);
        const Bytes original = bits;
        const inkforge::ColorKey key{0, static_cast<ULONG>(c.key)};
        SURFOBJ s = Surface(bits, c.left + c.w, h, stride, BMF_1BPP);
        const RECTL dest{0, 0, c.w, h}, src{c.left, 0, c.left + c.w, h};
        int result = 0;
        Bytes stream = Captured(dev.get(), [&] {
            result = inkforge::OutputImage(dev.get(), &s, &table, &dest, &src, nullptr, 0xCC, 0,
                                           c.key >= 0 ? &key : nullptr);
        });
        ASSERT_EQ(result, inkforge::kImageSent) << c.what;
        EXPECT_EQ(bits, original) << c.what << ": the caller's bits stay as they were";
        size_t at = 0;
        streamdump::Decoding d = DecodeInJob(stream, &at);
        EXPECT_EQ(d.problems, 0u) << c.what << "\n" << streamdump::Format(d);
        for (auto& it : d.items)
            it.offset -= at;
        std::vector<streamdump::JbigPage> pages;
        streamdump::CheckImages(stream.data(), stream.size(), &d, &pages);
        ASSERT_EQ(pages.size(), 1u) << c.what;
        Bytes pbm = JbigToPbm(pages[0].entity, c.w, h);
        ASSERT_FALSE(pbm.empty()) << c.what;
        const size_t pbmStride = static_cast<size_t>(c.w + 7) / 8;
        size_t wrong = 0;
        for (LONG y = 0; y < h; ++y)
            for (LONG x = 0; x < c.w; ++x) {
                const ULONG i = index(c.left + x, y);
                const bool black = i < c.entries && static_cast<int>(i) != c.key &&
                                   palette[i] == 0 && !(c.toner && x % 2 == 0);
                const bool got =
                    (pbm[static_cast<size_t>(y) * pbmStride + x / 8] >> (7 - x % 8)) & 1;
                wrong += got != black;
            }
        EXPECT_EQ(wrong, 0u) << c.what;
    }
}

// The block of a 24-bit image of 2 x 1 pixels, laid out by hand: cursor,
// image header, one block of one run-length row, end.
TEST_F(ImageOutput, AColourImageIsLaidOutAsTheStreamSays) {
    TestDevice dev(u"P1", false);
    dev->jobFlags |= inkforge::job::PageOpen;
    Bytes bits = {10, 20, 30, 10, 20, 30, 0, 0};
    SURFOBJ s = Surface(bits, 2, 1, 8, BMF_24BPP);
    XLATEOBJ trivial{};
    trivial.flXlate = XO_TRIVIAL;
    RECTL dest{1, 2, 3, 3}, src{0, 0, 2, 1};
    dev->vector.rop = 0xCC; // already sent
    dev->vector.page = dev->pageCount + 1;
    Bytes stream = Captured(dev.get(), [&] {
        inkforge::OutputImage(dev.get(), &s, &trivial, &dest, &src, nullptr, 0xCC, 0, nullptr);
    });
    const Bytes expected = {0xD3, 1, 0, 2, 0, 0xF8, 0x4C, 0x6B, // set cursor (1, 2)
                            0xC0, 0, 0xF8, 0x64, 0xC0, 2, 0xF8, 0x62, 0xC0, 2, 0xF8,
                            0x03,                                           // direct, 8 bits,
                                                                            // RGB
                            0xC1, 2, 0, 0xF8, 0x6C, 0xC1, 1, 0, 0xF8, 0x6B, // 2 x 1 source
                            0xD1, 2, 0, 1, 0, 0xF8, 0x67, 0xB0, // destination size, begin image
                            0xC1, 0, 0, 0xF8, 0x6D, 0xC1, 1, 0, 0xF8, 0x63, 0xC0, 1, 0xF8,
                            0x65,                                  // row 0, 1 row, run-length
                            0xB1, 0xFA, 9, 0, 0, 0,                // read image, 9 bytes:
                            0x05, 10, 20, 30, 10, 20, 30, 0xFF, 0, // the 6 bytes, then 2 of padding
                            0xB2};
    const Bytes& want = expected;
    auto hex = [](const Bytes& b) {
        std::string t;
        char buf[4];
        for (BYTE v : b) {
            std::snprintf(buf, sizeof buf, "%02X ", v);
            t += buf;
        }
        return t;
    };
    EXPECT_EQ(hex(stream), hex(want));
}

TEST_F(ImageOutput, DestinationsOutsideTheBandSendNothing) {
    TestDevice dev(u"P1", false);
    dev->jobFlags |= inkforge::job::PageOpen;
    EXPECT_TRUE(
        inkforge::RectInsideBand(dev.get(), 5000, 5000, 1, 1)); // no band: everything is inside
    Bytes bits(12, 0);
    SURFOBJ s = Surface(bits, 2, 1, 8, BMF_24BPP);
    XLATEOBJ trivial{};
    trivial.flXlate = XO_TRIVIAL;
    RECTL zero{0, 0, 0, 0}, empty{0, 0, 2, 1};
    // An image of no size is refused; an empty destination counts as 1 x 1.
    EXPECT_EQ(inkforge::EncodeImage(dev.get(), &s, &trivial, &empty, &zero, 0xCC, nullptr),
              inkforge::kImageFailed);
    // A 1-bit image with no colour table is not handled outside the band road.
    Bytes mono(4, 0xFF);
    SURFOBJ m = Surface(mono, 8, 1, 4, BMF_1BPP);
    RECTL d1{0, 0, 8, 1}, s1{0, 0, 8, 1};
    EXPECT_EQ(inkforge::OutputImage(dev.get(), &m, &trivial, &d1, &s1, nullptr, 0xCC, 0, nullptr),
              inkforge::kImageNotHandled);
}

// A 1-bit page through the JBIG coder: chunks in order, and jbgtopbm decodes
// their join into the page, bit for bit.
TEST_F(ImageOutput, JbigPagesDecodeWithJbigkit) {
    DriverFolder folder;
    ASSERT_TRUE(folder.ok());
    TestDevice dev(u"P1", false);
    dev->jobFlags |= inkforge::job::PageOpen;
    struct Case {
        LONG w, h;
        bool busy; // enough detail for several chunks
    };
    for (const Case& c : {Case{64, 16, false}, Case{640, 400, true}}) {
        const LONG stride = (c.w + 31) / 32 * 4;
        Bytes bits(static_cast<size_t>(stride) * c.h, 0xFF); // white
        for (LONG y = 0; y < c.h; ++y)
            for (LONG x = 0; x < c.w; ++x)
                if (c.busy ? (Noise(x, y) & 1) : (x == y))
                    bits[static_cast<size_t>(y) * stride + x / 8] &=
                        static_cast<BYTE>(~(0x80 >> (x % 8)));
        const Bytes original = bits;
        SURFOBJ s = Surface(bits, c.w, c.h, stride, BMF_1BPP);
        RECTL whole{0, 0, c.w, c.h};
        Bytes stream =
            Captured(dev.get(), [&] { inkforge::SendPageImage(dev.get(), &s, &whole, &whole); });
        EXPECT_EQ(bits, original) << "the caller's bits stay as they were";
        std::vector<streamdump::JbigPage> pages;
        size_t at = 0;
        streamdump::Decoding d = DecodeInJob(stream, &at);
        EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
        for (auto& it : d.items)
            it.offset -= at;
        streamdump::CheckImages(stream.data(), stream.size(), &d, &pages);
        ASSERT_EQ(pages.size(), 1u);
        size_t chunks = 0;
        for (const auto& it : d.items)
            chunks += it.kind == streamdump::ItemKind::Frame && it.opcode == 'h';
        if (!c.busy) {
            EXPECT_EQ(chunks, 1u);
            const auto& h = d.items.back();
            EXPECT_EQ(h.fields[0].number, 3) << "one chunk: first and last";
        } else {
            EXPECT_GT(chunks, 2u);
        }
        // jbigkit's own decoder reads the joined chunks.
        Bytes pbm = JbigToPbm(pages[0].entity, c.w, c.h);
        ASSERT_FALSE(pbm.empty());
        const size_t pbmStride = static_cast<size_t>(c.w + 7) / 8;
        for (LONG y = 0; y < c.h; ++y)
            for (size_t i = 0; i < pbmStride; ++i)
                ASSERT_EQ(pbm[static_cast<size_t>(y) * pbmStride + i],
                          static_cast<BYTE>(~original[static_cast<size_t>(y) * stride + i]))
                    << "row " << y << " byte " << i;
    }
}

// A coder that says its output buffer holds more than the 2048 bytes it has,
// in a full buffer handed to the callback or in the last part: the image
// fails, and nothing past the buffer reaches the stream.
TEST_F(ImageOutput, ACoderClaimingMoreThanItsBufferFailsTheImage) {
    DriverFolder folder(OVERCLAIMING_CODER_DIR);
    ASSERT_TRUE(folder.ok());
    TestDevice dev(u"P1", false);
    dev->jobFlags |= inkforge::job::PageOpen;
    for (LONG w : {64, 128}) { // the last part; the callback
        const LONG h = 8, stride = w / 8;
        Bytes bits(static_cast<size_t>(stride) * h, 0xFF);
        SURFOBJ s = Surface(bits, w, h, stride, BMF_1BPP);
        RECTL whole{0, 0, w, h};
        BOOL sent = TRUE;
        Bytes stream = Captured(
            dev.get(), [&] { sent = inkforge::SendPageImage(dev.get(), &s, &whole, &whole); });
        EXPECT_FALSE(sent) << w;
        EXPECT_LT(stream.size(), 64u) << w << ": no chunk of the claimed size";
        size_t at = 0;
        streamdump::Decoding d = DecodeInJob(stream, &at);
        size_t chunks = 0;
        for (const auto& it : d.items)
            chunks += it.kind == streamdump::ItemKind::Frame && it.opcode == 'h';
        EXPECT_EQ(chunks, 0u) << w;
    }
}

// A landscape page is turned a quarter clockwise before it is coded: the
// portrait image is as wide as the page is high and as high as the page is
// wide, rounded up to 16 lines, those past the page white; pages whose sizes
// end inside bytes and 32-line groups, and one that ends on them.
TEST_F(ImageOutput, LandscapePagesAreTurnedBeforeTheyAreCoded) {
    DriverFolder folder;
    ASSERT_TRUE(folder.ok());
    TestDevice dev(u"P1", false);
    dev->jobFlags |= inkforge::job::PageOpen;
    dev->devmode.dm.dmOrientation = DMORIENT_LANDSCAPE;
    for (auto [w, h] : {std::pair<LONG, LONG>{645, 70}, {512, 64}}) {
        const LONG stride = (w + 31) / 32 * 4;
        Bytes bits(static_cast<size_t>(stride) * h, 0xFF); // white
        auto black = [&](LONG x, LONG y) { return (Noise(x, y) & 3) == 0; };
        for (LONG y = 0; y < h; ++y)
            for (LONG x = 0; x < w; ++x)
                if (black(x, y))
                    bits[static_cast<size_t>(y) * stride + x / 8] &=
                        static_cast<BYTE>(~(0x80 >> (x % 8)));
        SURFOBJ s = Surface(bits, w, h, stride, BMF_1BPP);
        RECTL whole{0, 0, w, h};
        Bytes stream =
            Captured(dev.get(), [&] { inkforge::SendPageImage(dev.get(), &s, &whole, &whole); });
        size_t at = 0;
        streamdump::Decoding d = DecodeInJob(stream, &at);
        EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
        for (auto& it : d.items)
            it.offset -= at;
        std::vector<streamdump::JbigPage> pages;
        streamdump::CheckImages(stream.data(), stream.size(), &d, &pages);
        ASSERT_EQ(pages.size(), 1u) << w;
        const long width = h, height = (w + 15) / 16 * 16;
        ASSERT_EQ(pages[0].width, width);
        ASSERT_EQ(pages[0].height, height);
        Bytes pbm = JbigToPbm(pages[0].entity, width, height);
        ASSERT_FALSE(pbm.empty());
        const size_t pbmStride = static_cast<size_t>(width + 7) / 8;
        size_t wrong = 0;
        for (long y = 0; y < height; ++y)
            for (long x = 0; x < width; ++x) {
                const bool got =
                    (pbm[static_cast<size_t>(y) * pbmStride + x / 8] >> (7 - x % 8)) & 1;
                wrong += got != (y < w && black(y, h - 1 - x));
            }
        EXPECT_EQ(wrong, 0u) << w << " x " << h;
    }
}

} // namespace

namespace {

// A banded job of one page drawn by `draw`: the engine renders each band,
// the bands turn into one 1-bit page and the page goes out as JBIG; the page
// as jbigkit's decoder reads it (1 = black), with its width and height.
struct BandedPage {
    Bytes pbm;
    long width = 0, height = 0;
    bool Black(long x, long y) const {
        const size_t stride = static_cast<size_t>(width + 7) / 8;
        return (pbm[static_cast<size_t>(y) * stride + static_cast<size_t>(x) / 8] >> (7 - x % 8)) &
               1;
    }
};

// `halftoneKind` 1 makes the bands 24-bit, turned to 1 bit by the tone library.
template <class F> BandedPage PrintBanded(F&& draw, WORD halftoneKind = 0) {
    BandedPage page;
    inkforge::DevmodeImage d = OwnDevmode(u"P1");
    inkforge::SetPrivU32(d, inkforge::priv::FeatureFlags, 1u << 16);
    inkforge::SetPrivU16(d, inkforge::priv::GraphicsMode, 1);
    if (halftoneKind) inkforge::SetPrivU16(d, inkforge::priv::HalftoneKind, halftoneKind);
    Bytes stream = PrintPage(d, draw);
    streamdump::Decoding dec = streamdump::Decode(stream);
    EXPECT_EQ(dec.problems, 0u) << streamdump::Format(dec);
    std::vector<streamdump::JbigPage> pages;
    streamdump::CheckImages(stream.data(), stream.size(), &dec, &pages);
    EXPECT_EQ(pages.size(), 1u) << streamdump::Format(dec);
    if (pages.size() != 1) return page;
    page.width = pages[0].width;
    page.height = pages[0].height;
    EXPECT_EQ(page.width % 32, 0);
    page.pbm = JbigToPbm(pages[0].entity, page.width, page.height);
    return page;
}

// Fills on the banding road land exactly where they belong: a solid box
// crossing band edges, and a cross hatch whose lines follow the page's 8 x 8
// grid (the hatch's lines in row 4 and column 4 of every cell).
TEST_F(ImageOutput, ABandedPageIsTheEnginesPageInJbig) {
    const RECTL box{300, 2000, 1300, 5000}; // crosses band edges
    struct Case {
        const char* name;
        bool hatch;
    };
    for (const Case& c : {Case{"solid", false}, Case{"cross hatch", true}}) {
        BandedPage page = PrintBanded([&](HDC hdc) {
            HBRUSH brush = c.hatch ? CreateHatchBrush(HS_CROSS, RGB(0, 0, 0)) : nullptr;
            HGDIOBJ old = SelectObject(hdc, brush ? brush : GetStockObject(BLACK_BRUSH));
            EXPECT_TRUE(PatBlt(hdc, box.left, box.top, box.right - box.left, box.bottom - box.top,
                               PATCOPY));
            SelectObject(hdc, old);
            if (brush) DeleteObject(brush);
        });
        ASSERT_FALSE(page.pbm.empty()) << c.name;
        size_t wrong = 0;
        for (long y = 0; y < page.height; ++y)
            for (long x = 0; x < page.width; ++x) {
                bool inside = x >= box.left && x < box.right && y >= box.top && y < box.bottom;
                bool want = inside && (!c.hatch || x % 8 == 4 || y % 8 == 4);
                wrong += page.Black(x, y) != want;
            }
        std::string win;
        for (long y = box.top; y < box.top + 16; ++y, win += '\n')
            for (long x = box.left; x < box.left + 24; ++x)
                win += page.Black(x, y) ? '#' : '.';
        EXPECT_EQ(wrong, 0u) << c.name << "\n" << win;
    }
}

// The debug settings beside the driver ask for BMP dumps of every band: the
// raw 24-bit bands, their gray conversion and their 1-bit rows, one file
// each per page, numbered in the order they were opened. The 1-bit dump is
// the page that went out (white = 1 in the dump, black = 1 in JBIG).
TEST_F(ImageOutput, BandDumpsHoldThePageAsBmpFiles) {
    const fs::path folder = platform::HostPath(platform::spooler::DriversFolder() + u"\\P1");
    {
        std::ofstream ini(folder / "QRLADGNT.INI");
        ini << "[DEBUG]\r\nOutputBandBitmap=1\r\nCNV24TO8=1\r\nCNV8TO1=1\r\nDriv=C\r\n"
               "MaxBandSize=1000000\r\n";
    }
    const RECTL box{300, 2000, 1300, 5000};
    BandedPage page = PrintBanded(
        [&](HDC hdc) {
            HGDIOBJ old = SelectObject(hdc, GetStockObject(BLACK_BRUSH));
            EXPECT_TRUE(PatBlt(hdc, box.left, box.top, box.right - box.left, box.bottom - box.top,
                               PATCOPY));
            SelectObject(hdc, old);
        },
        1);
    ASSERT_FALSE(page.pbm.empty());
    auto read = [](const char16_t* name) {
        std::ifstream in(platform::HostPath(name), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    };
    auto u32 = [](const Bytes& b, size_t at) {
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<DWORD>(b[at + 3]) << 24;
    };
    struct Dump {
        const char16_t* name;
        WORD bits;
        DWORD stride, palette;
    };
    const DWORD w = static_cast<DWORD>(page.width), h = static_cast<DWORD>(page.height);
    const Dump dumps[] = {{u"C:\\Na24_1.BMP", 24, (w * 3 + 3) / 4 * 4, 0},
                          {u"C:\\N24to8_2.BMP", 8, (w + 3) / 4 * 4, 1024},
                          {u"C:\\N8to1_3.BMP", 1, (w + 31) / 32 * 4, 8}};
    std::vector<Bytes> files;
    for (const Dump& d : dumps) {
        Bytes b = read(d.name);
        ASSERT_GE(b.size(), 54u + d.palette) << d.bits;
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        EXPECT_EQ(u32(b, 2), b.size()) << d.bits;
        EXPECT_EQ(u32(b, 10), 54 + d.palette) << d.bits;
        EXPECT_EQ(u32(b, 14), 40u);
        EXPECT_EQ(u32(b, 18), w) << d.bits;
        EXPECT_EQ(static_cast<LONG>(u32(b, 22)), -static_cast<LONG>(h)) << d.bits; // top-down
        EXPECT_EQ(b[26] | b[27] << 8, 1);
        EXPECT_EQ(b[28] | b[29] << 8, d.bits);
        EXPECT_EQ(u32(b, 30), 0u); // no compression
        EXPECT_EQ(u32(b, 34), d.stride * h) << d.bits;
        EXPECT_EQ(b.size(), 54 + d.palette + d.stride * h) << d.bits;
        files.push_back(std::move(b));
    }
    // Palettes: the gray ramp, then black and white.
    EXPECT_EQ(u32(files[1], 54 + 4 * 200), 200u * 0x010101);
    EXPECT_EQ(u32(files[2], 54), 0u);
    EXPECT_EQ(u32(files[2], 58), 0xFFFFFFu);
    // The raw band and the gray band: black inside the box, white beside it.
    const BYTE* raw = files[0].data() + 54;
    const BYTE* gray = files[1].data() + 54 + 1024;
    EXPECT_EQ(raw[3000 * dumps[0].stride + 500 * 3], 0);
    EXPECT_EQ(raw[3000 * dumps[0].stride + 2000 * 3], 0xFF);
    EXPECT_EQ(gray[3000 * dumps[1].stride + 500], 0);
    EXPECT_EQ(gray[3000 * dumps[1].stride + 2000], 0xFF);
    // The 1-bit dump is the page that went out, byte for byte inverted.
    const BYTE* mono = files[2].data() + 62;
    const size_t pbmStride = (w + 7) / 8;
    size_t wrong = 0;
    for (DWORD y = 0; y < h; ++y)
        for (size_t i = 0; i < pbmStride; ++i) {
            BYTE keep =
                i + 1 < pbmStride || w % 8 == 0 ? 0xFF : static_cast<BYTE>(0xFF << (8 - w % 8));
            wrong += ((mono[y * dumps[2].stride + i] ^ 0xFF) & keep) !=
                     (page.pbm[y * pbmStride + i] & keep);
        }
    EXPECT_EQ(wrong, 0u);
    fs::remove(folder / "QRLADGNT.INI");
}

// "Pixels=8" asks for 8-bit bands instead of 24-bit ones: the page comes out
// the same, a black box on white.
TEST_F(ImageOutput, EightBitBandsAskedForByTheDebugSettingsPrintThePage) {
    const fs::path folder = platform::HostPath(platform::spooler::DriversFolder() + u"\\P1");
    {
        std::ofstream ini(folder / "QRLADGNT.INI");
        ini << "[DEBUG]\r\nPixels=8\r\n";
    }
    const RECTL box{300, 2000, 1300, 5000};
    BandedPage page = PrintBanded(
        [&](HDC hdc) {
            HGDIOBJ old = SelectObject(hdc, GetStockObject(BLACK_BRUSH));
            EXPECT_TRUE(PatBlt(hdc, box.left, box.top, box.right - box.left, box.bottom - box.top,
                               PATCOPY));
            SelectObject(hdc, old);
        },
        1);
    fs::remove(folder / "QRLADGNT.INI");
    ASSERT_FALSE(page.pbm.empty());
    EXPECT_TRUE(page.Black(800, 3000));
    EXPECT_TRUE(page.Black(box.left, box.top));
    EXPECT_FALSE(page.Black(box.left - 1, box.top));
    EXPECT_FALSE(page.Black(2000, 3000));
    EXPECT_FALSE(page.Black(800, 6000));
}

TEST(BandDebugSettings, ValuesStayWithinTheirFields) {
    const std::u16string folder = u"C:\\dbg\\";
    fs::create_directories(platform::HostPath(u"C:\\dbg"));
    // No file: the defaults.
    inkforge::BandDebugSettings s = inkforge::ReadDebugSettings(folder);
    EXPECT_EQ(s.pixels, 24u);
    EXPECT_FALSE(s.dumpBands || s.dump24To8 || s.dump8To1);
    EXPECT_EQ(s.drive, u"C");
    EXPECT_EQ(s.maxBandSize, 0x1000000u);
    EXPECT_EQ(s.allTextBlackMode, 3u);
    {
        std::ofstream ini(platform::HostPath(u"C:\\dbg\\QRLADGNT.INI"));
        ini << "[DEBUG]\r\nPixels=8\r\nOutputBandBitmap=2\r\nCNV8TO1=1\r\n"
               "Driv=ABCDEFGHIJKLMNOP\r\nMaxBandSize=0\r\n[COLOR]\r\nAllTextBlackMode=1\r\n";
    }
    s = inkforge::ReadDebugSettings(folder);
    EXPECT_EQ(s.pixels, 8u);
    EXPECT_FALSE(s.dumpBands); // only 1 turns a dump on
    EXPECT_TRUE(s.dump8To1);
    EXPECT_EQ(s.drive, u"ABCDEFGHI"); // 9 characters at most
    EXPECT_EQ(s.maxBandSize, 0x1000000u);
    EXPECT_EQ(s.allTextBlackMode, 1u);
    {
        std::ofstream ini(platform::HostPath(u"C:\\dbg\\QRLADGNT.INI"));
        ini << "[DEBUG]\r\nPixels=16\r\nDriv=\r\n";
    }
    s = inkforge::ReadDebugSettings(folder);
    EXPECT_EQ(s.pixels, 24u);
    EXPECT_EQ(s.drive, u"C");
    EXPECT_EQ(inkforge::MakeBandDumpName(u"D", "N8to1_", 12), u"D:\\N8to1_12.BMP");
}

} // namespace
