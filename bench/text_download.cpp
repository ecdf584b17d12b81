// A page of 3,000 characters in one TrueType face through DrvTextOut as
// downloaded outlines: the first page of a job (header and every glyph sent)
// and a later page (glyphs already at the printer), each against memcpy of
// the same stream bytes in the same run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "font_download.h"
#include "output_writer.h"
#include "pdev.h"
#include "platform/engine_fonts.h"
#include "win/base.h"

namespace {

using namespace inkforge;
namespace eng = platform::engine;

constexpr int kLines = 60;
constexpr int kPerLine = 50;
constexpr const char* kSans = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";

struct Page {
    PDEV* pdev = nullptr;
    SURFOBJ surface{};
    FONTOBJ* font = nullptr;
    std::vector<STROBJ*> lines;

    Page() {
        pdev = AllocatePdev();
        pdev->jobFlags = job::Started | job::PageOpen;
        pdev->docStarted = 1;
        pdev->pageCount = 1;
        surface.dhpdev = reinterpret_cast<DHPDEV>(pdev);
        surface.sizlBitmap = SIZEL{4960, 7016};
        StartCapture(pdev);
        eng::FontRealization r;
        r.file = eng::LoadFontFile(kSans);
        r.m11 = r.m22 = 0.04; // 10 points at 600 dpi
        r.faceName = u"Arial";
        font = eng::AcquireFontObj(nullptr, r);
        // Running text: letters, digits and punctuation in a varying order.
        const std::u16string alphabet =
            u"the quick brown fox jumps over a lazy dog THE QUICK BROWN FOX 0123456789 ,.;:!?()-";
        for (int l = 0; l < kLines; ++l) {
            std::u16string text;
            std::vector<eng::PlacedGlyph> glyphs;
            for (int i = 0; i < kPerLine; ++i) {
                char16_t c = alphabet[static_cast<size_t>(l * 7 + i * 13) % alphabet.size()];
                text.push_back(c);
                glyphs.push_back({eng::GlyphIndexOf(r, c), POINTL{300 + 60 * i, 300 + 100 * l}});
            }
            lines.push_back(
                eng::CreateStrObj(font, glyphs, text, 0, 0, true, SO_HORIZONTAL, 0, 1252));
        }
    }
    ~Page() {
        for (STROBJ* s : lines)
            eng::DeleteStrObj(s);
        DrvDestroyFont(font);
        eng::ReleaseDeviceFonts(nullptr);
        FreePdev(pdev);
    }
    void Print() {
        BRUSHOBJ fore{};
        for (STROBJ* s : lines)
            DrvTextOut(&surface, s, font, nullptr, nullptr, nullptr, &fore, nullptr, nullptr,
                       R2_COPYPEN);
    }
};

void FirstPage(benchmark::State& state) {
    Page page;
    size_t bytes = 0;
    for (auto _ : state) {
        RetireDownloadedFonts(page.pdev);
        page.pdev->captureLength = 0;
        page.Print();
        bytes = page.pdev->captureLength;
    }
    state.counters["stream_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(FirstPage)->Unit(benchmark::kMillisecond);

void LaterPage(benchmark::State& state) {
    Page page;
    page.Print();
    size_t bytes = 0;
    for (auto _ : state) {
        page.pdev->captureLength = 0;
        page.Print();
        bytes = page.pdev->captureLength;
    }
    state.counters["stream_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(LaterPage)->Unit(benchmark::kMillisecond);

// The floor: copying a first page's worth of stream bytes.
void MemcpyOfAPage(benchmark::State& state) {
    Page page;
    page.Print();
    std::vector<BYTE> src(page.pdev->captureLength), dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
    }
}
BENCHMARK(MemcpyOfAPage)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
