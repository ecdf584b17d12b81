// Modified Huffman coding and decoding of whole pages: Bitsqueeze's COMPRESS and
// DECOMPRESS against libtiff's CCITT (Group 3, one-dimensional) codec on the same
// rows. Pages: A4 at 600 dpi blank, text-like and dense, and the eight CCITT test
// pages.
#include <benchmark/benchmark.h>
#include <tiffio.h>

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

void EncodeOurs(benchmark::State& state, const Subject* s) {
    std::vector<uint8_t> out(s->page.bits.size() * 3 + 4096);
    for (auto _ : state) {
        T4CodecBlock b =
            MakeBlock(s->page, out.data(), out.size(), const_cast<BYTE*>(s->page.bits.data()));
        if (COMPRESS(&b) != T4_STATUS_DONE) state.SkipWithError("COMPRESS failed");
        benchmark::DoNotOptimize(b.bytesUsed);
    }
    SetCounters(state, s->page);
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
