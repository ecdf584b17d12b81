// Modified Huffman coding and decoding of whole pages: Bitsqueeze's COMPRESS and
// DECOMPRESS against libtiff's CCITT (Group 3, one-dimensional) codec on the same
// rows. Pages: A4 at 600 dpi blank, text-like, dense, random noise, a photograph
// dithered by an ordered matrix and by error diffusion, and the eight CCITT test
// pages. The coder's output buffer holds the longest coding a page can have, so
// that a run that filled it (and ended the page early) fails instead of
// counting; after the run the coded bytes are compared with libtiff's.
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "imaging/bitsqueeze.h"
#include "testkit/bench_report.h"
#include "testkit/pages.h"

namespace {

using testkit::Page;

// An in-memory TIFF file for libtiff.
struct MemoryFile {
    std::vector<uint8_t> data;
    toff_t pos = 0;
    static tmsize_t Read(thandle_t h, void* buf, tmsize_t n) {
        auto* f = static_cast<MemoryFile*>(h);
        n = std::min<tmsize_t>(n, f->pos < f->data.size() ? f->data.size() - f->pos : 0);
        std::memcpy(buf, f->data.data() + f->pos, n);
        f->pos += n;
        return n;
    }
    static tmsize_t Write(thandle_t h, void* buf, tmsize_t n) {
        auto* f = static_cast<MemoryFile*>(h);
        if (f->pos + n > f->data.size()) f->data.resize(f->pos + n);
        std::memcpy(f->data.data() + f->pos, buf, n);
        f->pos += n;
        return n;
    }
    static toff_t Seek(thandle_t h, toff_t off, int whence) {
        auto* f = static_cast<MemoryFile*>(h);
        f->pos = (whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f->pos : f->data.size()) + off;
        return f->pos;
    }
    static int Close(thandle_t) { return 0; }
    static toff_t Size(thandle_t h) { return static_cast<MemoryFile*>(h)->data.size(); }
    static int Map(thandle_t, void**, toff_t*) { return 0; }
    static void Unmap(thandle_t, void*, toff_t) {}
    TIFF* Open(const char* mode) {
        pos = 0;
        return TIFFClientOpen("memory", mode, this, Read, Write, Seek, Close, Size, Map, Unmap);
    }
};

void SetFields(TIFF* tif, const Page& page) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, page.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, page.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, page.height);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
    TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, 0);
}

struct Subject {
    std::string name;
    Page page;
    std::vector<uint8_t> coded; // libtiff's coding of the page, decoded by both
};

std::vector<WORD> changesA, changesB;

T4CodecBlock MakeBlock(const Page& page, BYTE* coded, size_t codedSize, BYTE* raster) {
    changesA.resize(page.width + 5);
    changesB.resize(page.width + 5);
    T4CodecBlock b{};
    b.mode = 3;
    b.rtcLength = 6;
    b.coded = coded;
    b.codedBytes = static_cast<DWORD>(codedSize);
    b.raster = raster;
    b.lineStride = static_cast<WORD>(page.stride * 8);
    b.linesPerCall = static_cast<WORD>(page.height);
    b.width = static_cast<WORD>(page.width);
    b.pageLines = static_cast<DWORD>(page.height);
    b.changesA = changesA.data();
    b.changesB = changesB.data();
    return b;
}

void SetCounters(benchmark::State& state, const Page& page) {
    state.SetItemsProcessed(state.iterations() * int64_t{page.width} * page.height);
    state.SetBytesProcessed(state.iterations() * int64_t(page.stride) * page.height);
}

// The longest Modified Huffman coding of a page: no code is longer than 12
// bits and every run but a line's leading white one covers a pixel, so a line
// takes at most 12 bits a pixel, its leading white run, its EOL and padding;
// then the RTC.
size_t LongestCoding(const Page& page) {
    return static_cast<size_t>(page.height) * (static_cast<size_t>(page.width) * 12 / 8 + 8) + 64;
}

void EncodeOurs(benchmark::State& state, const Subject* s) {
    // One byte more than the longest coding: a full buffer means the coder ran out of room.
    std::vector<uint8_t> out(LongestCoding(s->page) + 1);
    T4CodecBlock b{};
    for (auto _ : state) {
        b = MakeBlock(s->page, out.data(), out.size(), const_cast<BYTE*>(s->page.bits.data()));
        if (COMPRESS(&b) != T4_STATUS_DONE) return state.SkipWithError("COMPRESS failed");
        if (b.linesDone != static_cast<DWORD>(s->page.height) || b.bytesUsed >= out.size())
            return state.SkipWithError("COMPRESS ended the page early");
        benchmark::DoNotOptimize(b.bytesUsed);
    }
    SetCounters(state, s->page);
    // Our coding against libtiff's of the same rows: libtiff's strip holds the rows
    // (each after its EOL), ours also the page's closing RTC (six EOLs, 9 bytes).
    size_t used = std::min<size_t>(b.bytesUsed, s->coded.size());
    auto differ = std::mismatch(s->coded.begin(), s->coded.begin() + used, out.begin());
    state.counters["bytes"] = static_cast<double>(b.bytesUsed);
    state.counters["libtiff_bytes"] = static_cast<double>(s->coded.size());
    state.counters["rows_as_libtiff"] = differ.first == s->coded.end() ? 1 : 0;
    state.counters["first_difference"] = static_cast<double>(differ.first - s->coded.begin());
}

void EncodeLibtiff(benchmark::State& state, const Subject* s) {
    MemoryFile file;
    for (auto _ : state) {
        file.data.clear();
        TIFF* tif = file.Open("w");
        SetFields(tif, s->page);
        TIFFWriteEncodedStrip(tif, 0, const_cast<uint8_t*>(s->page.bits.data()),
                              static_cast<tmsize_t>(s->page.bits.size()));
        TIFFClose(tif);
        benchmark::DoNotOptimize(file.data.data());
    }
    SetCounters(state, s->page);
}

void DecodeOurs(benchmark::State& state, const Subject* s) {
    std::vector<uint8_t> raster(s->page.bits.size());
    for (auto _ : state) {
        T4CodecBlock b =
            MakeBlock(s->page, const_cast<BYTE*>(s->coded.data()), s->coded.size(), raster.data());
        if (DECOMPRESS(&b) != T4_STATUS_DONE || b.linesThisCall != s->page.height)
            state.SkipWithError("DECOMPRESS failed");
        benchmark::DoNotOptimize(raster.data());
    }
    if (raster != s->page.bits) state.SkipWithError("decoded page differs");
    SetCounters(state, s->page);
}

// The least a decoder does: write every byte of the page raster once.
void WriteRaster(benchmark::State& state, const Subject* s) {
    std::vector<uint8_t> raster(s->page.bits.size());
    for (auto _ : state) {
        std::memset(raster.data(), 0, raster.size());
        benchmark::ClobberMemory();
    }
    SetCounters(state, s->page);
}

void DecodeLibtiff(benchmark::State& state, const Subject* s) {
    MemoryFile file;
    TIFF* tif = file.Open("w");
    SetFields(tif, s->page);
    TIFFWriteRawStrip(tif, 0, const_cast<uint8_t*>(s->coded.data()),
                      static_cast<tmsize_t>(s->coded.size()));
    TIFFClose(tif);
    tif = file.Open("r");
    std::vector<uint8_t> raster(s->page.bits.size());
    for (auto _ : state) {
        if (TIFFReadEncodedStrip(tif, 0, raster.data(), static_cast<tmsize_t>(raster.size())) < 0)
            state.SkipWithError("libtiff failed");
        benchmark::DoNotOptimize(raster.data());
    }
    TIFFClose(tif);
    if (raster != s->page.bits) state.SkipWithError("decoded page differs");
    SetCounters(state, s->page);
}

// A photograph-like picture in gray levels 0 (white) to 1 (black): soft
// gradients, rings and a few sharp-edged shapes.
double Photo(int x, int y, int w, int h) {
    double u = static_cast<double>(x) / w, v = static_cast<double>(y) / h;
    double g = 0.35 + 0.3 * u * v + 0.15 * std::sin(18 * std::hypot(u - 0.4, v - 0.35));
    if (std::hypot(u - 0.7, v - 0.7) < 0.12) g = 0.8 - 0.5 * v;
    if (u > 0.1 && u < 0.3 && v > 0.6 && v < 0.9) g = 0.15 + 0.2 * u;
    return std::clamp(g, 0.0, 1.0);
}

// Ordered dither through an 8 x 8 Bayer matrix, as a printer's halftone screen.
Page OrderedDither(int w, int h) {
    Page page(w, h);
    int bayer[8][8];
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            int v = 0, xc = x ^ y, yc = y;
            for (int bit = 0; bit < 3; ++bit)
                v |= ((yc >> bit) & 1) << (2 * (2 - bit)) | ((xc >> bit) & 1)
                                                                << (2 * (2 - bit) + 1);
            bayer[y][x] = v;
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (Photo(x, y, w, h) * 64 > bayer[y & 7][x & 7] + 0.5) page.Set(x, y);
    return page;
}

// Floyd-Steinberg error diffusion of the same picture.
Page ErrorDiffused(int w, int h) {
    Page page(w, h);
    std::vector<float> row(static_cast<size_t>(w) + 2), next(static_cast<size_t>(w) + 2);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            row[x + 1] += static_cast<float>(Photo(x, y, w, h));
        for (int x = 0; x < w; ++x) {
            float v = row[x + 1];
            bool black = v >= 0.5f;
            if (black) page.Set(x, y);
            float e = v - (black ? 1.0f : 0.0f);
            row[x + 2] += e * 7 / 16;
            next[x] += e * 3 / 16;
            next[x + 1] += e * 5 / 16;
            next[x + 2] += e * 1 / 16;
        }
        std::swap(row, next);
        std::fill(next.begin(), next.end(), 0.0f);
    }
    return page;
}

} // namespace

int main(int argc, char** argv) {
    TIFFSetWarningHandler(nullptr);
    static std::vector<std::unique_ptr<Subject>> subjects;
    auto add = [](std::string name, Page page) {
        auto s = std::make_unique<Subject>();
        s->name = std::move(name);
        s->page = std::move(page);
        s->coded = testkit::TiffEncode(s->page, true, false);
        subjects.push_back(std::move(s));
    };
    add("a4_blank", testkit::BlankPage(testkit::kA4Width, testkit::kA4Height));
    add("a4_text", testkit::TextLike(testkit::kA4Width, testkit::kA4Height));
    add("a4_dense", testkit::Dense(testkit::kA4Width, testkit::kA4Height));
    add("a4_noise", testkit::Noise(testkit::kA4Width, testkit::kA4Height));
    add("a4_ordered_dither", OrderedDither(testkit::kA4Width, testkit::kA4Height));
    add("a4_error_diffused", ErrorDiffused(testkit::kA4Width, testkit::kA4Height));
    for (int n = 1; n <= 8; ++n)
        if (auto page = testkit::CcittPage(n)) add("ccitt" + std::to_string(n), *page);

    std::vector<testkit::Ratio> ratios;
    for (const auto& s : subjects) {
        const Subject* p = s.get();
        benchmark::RegisterBenchmark(("encode/" + s->name + "/bitsqueeze").c_str(), EncodeOurs, p)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("encode/" + s->name + "/libtiff").c_str(), EncodeLibtiff, p)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("decode/" + s->name + "/bitsqueeze").c_str(), DecodeOurs, p)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("decode/" + s->name + "/libtiff").c_str(), DecodeLibtiff, p)
            ->Unit(benchmark::kMillisecond);
        if (s->name == "a4_blank")
            benchmark::RegisterBenchmark(("decode/" + s->name + "/memset").c_str(), WriteRaster, p)
                ->Unit(benchmark::kMillisecond);
        for (const char* op : {"encode", "decode"})
            ratios.push_back(
                {std::string(op) + "/" + s->name + "/libtiff",
                 std::string(op) + "/" + s->name + "/bitsqueeze",
                 std::string(op) + " " + s->name + ": libtiff time / bitsqueeze time (speed-up)"});
        if (s->name == "a4_blank")
            ratios.push_back({"decode/" + s->name + "/bitsqueeze", "decode/" + s->name + "/memset",
                              "decode " + s->name + ": bitsqueeze time / memset of the raster"});
    }
    return testkit::RunWithRatios(argc, argv, ratios);
}
