#include "pages.h"

#include <sys/wait.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "imaging/bitsqueeze.h"

namespace testkit {

Page::Page(int w, int h, size_t strideBytes)
    : width(w), height(h), stride(strideBytes ? strideBytes : (w + 7) / 8), bits(stride * h, 0) {}

void Page::Set(int x, int y, bool black) {
    uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
    if (black)
        Row(y)[x >> 3] |= mask;
    else
        Row(y)[x >> 3] &= static_cast<uint8_t>(~mask);
}

void Page::Fill(int x0, int y0, int x1, int y1) {
    x0 = std::max(x0, 0), y0 = std::max(y0, 0), x1 = std::min(x1, width), y1 = std::min(y1, height);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            Set(x, y);
}

bool Page::SameImage(const Page& other, std::string* where) const {
    if (width != other.width || height != other.height) {
        if (where)
            *where = "size " + std::to_string(width) + "x" + std::to_string(height) + " vs " +
                     std::to_string(other.width) + "x" + std::to_string(other.height);
        return false;
    }
    const int whole = width / 8, rest = width % 8;
    const uint8_t lastMask = static_cast<uint8_t>(0xFF00 >> rest);
    for (int y = 0; y < height; ++y) {
        const uint8_t *a = Row(y), *b = other.Row(y);
        if (std::memcmp(a, b, whole) != 0 || (rest && ((a[whole] ^ b[whole]) & lastMask))) {
            if (where) {
                int x = 0;
                while (x < width && Get(x, y) == other.Get(x, y))
                    ++x;
                *where = "first difference at row " + std::to_string(y) + ", column " +
                         std::to_string(x);
            }
            return false;
        }
    }
    return true;
}

Page BlankPage(int w, int h) {
    return Page(w, h);
}

Page BlackPage(int w, int h) {
    Page p(w, h);
    std::fill(p.bits.begin(), p.bits.end(), 0xFF);
    return p;
}

Page EveryRunLength(int w, int h, int maxRun) {
    Page p(w, h);
    long pos = 0;
    const long total = static_cast<long>(w) * h;
    // White run r, black run r, for r = 0, 1, ... maxRun, then again.
    for (int r = 0; pos < total; r = (r + 1) % (maxRun + 1)) {
        pos += r; // white
        for (long i = 0; i < r && pos < total; ++i, ++pos)
            p.Set(static_cast<int>(pos % w), static_cast<int>(pos / w));
    }
    return p;
}

Page AlternatingRuns(int w, int h, int whiteRun, int blackRun) {
    Page p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (x % (whiteRun + blackRun) >= whiteRun) p.Set(x, y);
    return p;
}

Page LongestRuns(int w, int h) {
    Page p(w, h);
    for (int y = 0; y < h; ++y) {
        switch (y % 4) {
        case 0:
            break; // one white run
        case 1:
            p.Fill(0, y, w, y + 1);
            break; // one black run
        case 2:
            p.Fill(w / 2, y, w, y + 1);
            break; // white then black
        case 3:
            p.Fill(0, y, w - 1, y + 1);
            break; // black to the last pixel
        }
    }
    return p;
}

Page TextLike(int w, int h, unsigned seed) {
    Page p(w, h);
    std::mt19937 rng(seed);
    auto pick = [&rng](int lo, int hi) { return static_cast<int>(rng() % (hi - lo + 1)) + lo; };
    const int margin = w / 12, lineHeight = std::max(8, h / 70), xHeight = lineHeight * 2 / 5;
    const int stroke = std::max(1, xHeight / 6);
    for (int base = margin + lineHeight; base + lineHeight / 3 < h - margin; base += lineHeight) {
        if (pick(0, 9) == 0) continue; // a blank line now and then
        int x = margin;
        const int end = w - margin - pick(0, w / 4);
        while (x < end) {
            int letters = pick(1, 9);
            for (int l = 0; l < letters && x < end; ++l) {
                int gw = pick(xHeight / 2, xHeight);
                int top = base - (pick(0, 3) == 0 ? xHeight * 2 : xHeight);
                int bottom = base + (pick(0, 6) == 0 ? xHeight / 2 : 0);
                switch (pick(0, 3)) {
                case 0: // o-like
                    p.Fill(x, top, x + stroke, base);
                    p.Fill(x + gw - stroke, top, x + gw, base);
                    p.Fill(x, top, x + gw, top + stroke);
                    p.Fill(x, base - stroke, x + gw, base);
                    break;
                case 1: // l-like
                    p.Fill(x + gw / 2 - stroke / 2, top, x + gw / 2 + stroke - stroke / 2, bottom);
                    break;
                case 2: // n-like
                    p.Fill(x, top, x + stroke, base);
                    p.Fill(x + gw - stroke, top + stroke, x + gw, base);
                    p.Fill(x, top, x + gw - stroke, top + stroke);
                    break;
                default: // e-like
                    p.Fill(x, top, x + stroke, base);
                    p.Fill(x, top, x + gw, top + stroke);
                    p.Fill(x, (top + base) / 2, x + gw, (top + base) / 2 + stroke);
                    p.Fill(x, base - stroke, x + gw, base);
                    break;
                }
                x += gw + stroke + 1;
            }
            x += xHeight; // space between words
        }
    }
    return p;
}

Page Dense(int w, int h, unsigned seed) {
    Page p(w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        bool black = rng() & 1;
        for (int x = 0; x < w;) {
            int run = 1 + static_cast<int>(rng() % 6);
            if (black) p.Fill(x, y, x + run, y + 1);
            x += run;
            black = !black;
        }
    }
    return p;
}

Page Noise(int w, int h, unsigned seed) {
    Page p(w, h);
    std::mt19937 rng(seed);
    for (auto& b : p.bits)
        b = static_cast<uint8_t>(rng());
    return p;
}

int Run(const std::string& command, std::string* out) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        if (out) out->append(buf, n);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::optional<Page> CcittPage(int n) {
    std::string pbm;
    std::string command =
        "jbgtopbm /usr/share/jbigkit-testdata/ccitt" + std::to_string(n) + ".jbg 2>/dev/null";
    if (Run(command, &pbm) != 0) return std::nullopt;
    return ParsePbm(pbm);
}

std::optional<Page> ParsePbm(const std::string& bytes) {
    // "P4", whitespace and comments, width, height, one whitespace byte, rows.
    size_t pos = 0;
    auto skipSpace = [&] {
        while (pos < bytes.size()) {
            if (bytes[pos] == '#') {
                while (pos < bytes.size() && bytes[pos] != '\n')
                    ++pos;
            } else if (isspace(static_cast<unsigned char>(bytes[pos]))) {
                ++pos;
            } else {
                break;
            }
        }
    };
    auto number = [&]() -> long {
        skipSpace();
        long v = 0;
        size_t start = pos;
        while (pos < bytes.size() && isdigit(static_cast<unsigned char>(bytes[pos])))
            v = v * 10 + (bytes[pos++] - '0');
        return pos == start || v > 100000 ? -1 : v;
    };
    if (bytes.compare(0, 2, "P4") != 0) return std::nullopt;
    pos = 2;
    long w = number(), h = number();
    if (w <= 0 || h < 0 || pos >= bytes.size()) return std::nullopt;
    ++pos;
    Page page(static_cast<int>(w), static_cast<int>(h));
    if (bytes.size() - pos < page.bits.size()) return std::nullopt;
    std::memcpy(page.bits.data(), bytes.data() + pos, page.bits.size());
    return page;
}

std::string ToPbm(const Page& page) {
    std::string out =
        "P4\n" + std::to_string(page.width) + " " + std::to_string(page.height) + "\n";
    const size_t rowBytes = (page.width + 7) / 8;
    for (int y = 0; y < page.height; ++y)
        out.append(reinterpret_cast<const char*>(page.Row(y)), rowBytes);
    return out;
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return std::nullopt;
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// ---- Modified Huffman through our exports -------------------------------------

namespace {

// The callback sees only the block; the block is the first member of this record.
struct CodecContext {
    T4CodecBlock block;
    std::vector<uint8_t>* chunk;
    std::vector<uint8_t>* out;      // coder: where full buffers go
    const std::vector<uint8_t>* in; // decoder: the whole coded stream
    size_t inPos;
    size_t chunkSize;
};
static_assert(offsetof(CodecContext, block) == 0);

void WINAPI TakeFullBuffer(T4CodecBlock* block) {
    auto* ctx = reinterpret_cast<CodecContext*>(block);
    ctx->out->insert(ctx->out->end(), block->coded, block->coded + block->bytesUsed);
    block->coded = ctx->chunk->data();
    block->codedBytes = static_cast<DWORD>(ctx->chunk->size());
}

void WINAPI GiveNextBuffer(T4CodecBlock* block) {
    auto* ctx = reinterpret_cast<CodecContext*>(block);
    size_t left = ctx->in->size() - ctx->inPos;
    if (left == 0) {
        block->status = T4_STATUS_FINISH;
        return;
    }
    // Copy into the chunk so that reading past a buffer shows up under ASan.
    size_t n = std::min(left, ctx->chunkSize);
    ctx->chunk->assign(ctx->in->begin() + ctx->inPos, ctx->in->begin() + ctx->inPos + n);
    ctx->inPos += n;
    block->coded = ctx->chunk->data();
    block->codedBytes = static_cast<DWORD>(n);
}

} // namespace

std::vector<uint8_t> MhEncode(const Page& page, const MhOptions& options) {
    std::vector<uint8_t> out, chunk(options.bufferSize);
    std::vector<WORD> a(page.width + 5), b(page.width + 5);
    CodecContext ctx{};
    ctx.chunk = &chunk;
    ctx.out = &out;
    T4CodecBlock& blk = ctx.block;
    blk.status = T4_STATUS_START;
    blk.mode = static_cast<BYTE>(2 | (options.msbFirst ? T4_MODE_MSB_FIRST : 0) |
                                 (options.aligned ? T4_MODE_ALIGNED_EOL : 0));
    blk.rtcLength = static_cast<BYTE>(options.rtcLength);
    blk.minLineBits = static_cast<WORD>(options.minLineBits);
    blk.coded = chunk.data();
    blk.codedBytes = static_cast<DWORD>(chunk.size());
    blk.lineStride = static_cast<WORD>(page.stride * 8);
    blk.linesPerCall = static_cast<WORD>(options.linesPerCall);
    blk.width = static_cast<WORD>(page.width);
    blk.pageLines = static_cast<DWORD>(page.height);
    blk.changesA = a.data();
    blk.changesB = b.data();
    blk.callback = TakeFullBuffer;
    // The raster of each call may end at the page's last line.
    int result;
    do {
        blk.raster = const_cast<BYTE*>(page.Row(std::min<int>(blk.linesDone, page.height - 1)));
        result = COMPRESS(&blk);
        blk.status = T4_STATUS_CODE_MORE;
    } while (result == T4_STATUS_CODE_MORE);
    if (result == T4_STATUS_DONE) out.insert(out.end(), blk.coded, blk.coded + blk.bytesUsed);
    return out;
}

MhDecoded MhDecode(const std::vector<uint8_t>& coded, int width, int pageLines,
                   const MhOptions& options, int /*rasterLines*/) {
    std::vector<uint8_t> chunk;
    std::vector<WORD> a(width + 5), b(width + 5);
    const size_t stride = (width + 7) / 8;
    // One call's lines, exactly, so that writing past them shows up under ASan.
    std::vector<uint8_t> raster(stride * options.linesPerCall);
    CodecContext ctx{};
    ctx.chunk = &chunk;
    ctx.in = &coded;
    ctx.chunkSize = std::max<size_t>(options.bufferSize, 1);
    T4CodecBlock& blk = ctx.block;
    blk.status = T4_STATUS_START;
    blk.mode = static_cast<BYTE>(2 | (options.msbFirst ? T4_MODE_MSB_FIRST : 0) |
                                 (options.aligned ? T4_MODE_ALIGNED_EOL : 0));
    blk.rtcLength = static_cast<BYTE>(options.rtcLength);
    blk.lineStride = static_cast<WORD>(stride * 8);
    blk.linesPerCall = static_cast<WORD>(options.linesPerCall);
    blk.width = static_cast<WORD>(width);
    blk.pageLines = static_cast<DWORD>(pageLines);
    blk.changesA = a.data();
    blk.changesB = b.data();
    blk.callback = GiveNextBuffer;
    GiveNextBuffer(&blk);
    blk.status = T4_STATUS_START;
    MhDecoded result;
    std::vector<uint8_t> rows;
    do {
        blk.raster = raster.data();
        result.status = DECOMPRESS(&blk);
        ++result.calls;
        rows.insert(rows.end(), raster.begin(), raster.begin() + blk.linesThisCall * stride);
        blk.status = T4_STATUS_DECODE_MORE;
    } while (result.status == T4_STATUS_DECODE_MORE);
    result.lines = static_cast<int>(rows.size() / stride);
    result.repaired = blk.repairedLines;
    result.page = Page(width, result.lines);
    result.page.bits = std::move(rows);
    return result;
}

// ---- libtiff ------------------------------------------------------------------

namespace {

struct MemoryFile {
    std::vector<uint8_t> data;
    toff_t pos = 0;
};

tmsize_t MemRead(thandle_t h, void* buf, tmsize_t size) {
    auto* f = static_cast<MemoryFile*>(h);
    if (f->pos >= f->data.size()) return 0;
    tmsize_t n = std::min<tmsize_t>(size, static_cast<tmsize_t>(f->data.size() - f->pos));
    std::memcpy(buf, f->data.data() + f->pos, n);
    f->pos += n;
    return n;
}
tmsize_t MemWrite(thandle_t h, void* buf, tmsize_t size) {
    auto* f = static_cast<MemoryFile*>(h);
    if (f->pos + size > f->data.size()) f->data.resize(f->pos + size);
    std::memcpy(f->data.data() + f->pos, buf, size);
    f->pos += size;
    return size;
}
toff_t MemSeek(thandle_t h, toff_t off, int whence) {
    auto* f = static_cast<MemoryFile*>(h);
    toff_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f->pos : f->data.size();
    f->pos = base + off;
    return f->pos;
}
int MemClose(thandle_t) {
    return 0;
}
toff_t MemSize(thandle_t h) {
    return static_cast<MemoryFile*>(h)->data.size();
}
int MemMap(thandle_t, void**, toff_t*) {
    return 0;
}
void MemUnmap(thandle_t, void*, toff_t) {}

TIFF* OpenMemory(MemoryFile& file, const char* mode) {
    TIFFSetWarningHandler(nullptr);
    file.pos = 0;
    return TIFFClientOpen("memory", mode, &file, MemRead, MemWrite, MemSeek, MemClose, MemSize,
                          MemMap, MemUnmap);
}

void SetFaxFields(TIFF* tif, int width, int height, bool msbFirst, bool aligned) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_FILLORDER, msbFirst ? FILLORDER_MSB2LSB : FILLORDER_LSB2MSB);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3);
    TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, aligned ? GROUP3OPT_FILLBITS : 0);
}

} // namespace

std::vector<uint8_t> TiffEncode(const Page& page, bool msbFirst, bool aligned) {
    MemoryFile file;
    TIFF* tif = OpenMemory(file, "w");
    if (!tif) return {};
    SetFaxFields(tif, page.width, page.height, msbFirst, aligned);
    const size_t rowBytes = (page.width + 7) / 8;
    std::vector<uint8_t> packed(rowBytes * page.height);
    for (int y = 0; y < page.height; ++y)
        std::memcpy(packed.data() + y * rowBytes, page.Row(y), rowBytes);
    TIFFWriteEncodedStrip(tif, 0, packed.data(), static_cast<tmsize_t>(packed.size()));
    TIFFClose(tif);

    tif = OpenMemory(file, "r");
    if (!tif) return {};
    uint64_t* counts = nullptr;
    TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts);
    std::vector<uint8_t> coded(counts ? counts[0] : 0);
    if (!coded.empty()) TIFFReadRawStrip(tif, 0, coded.data(), static_cast<tmsize_t>(coded.size()));
    TIFFClose(tif);
    return coded;
}

std::optional<Page> TiffDecode(const std::vector<uint8_t>& coded, int width, int height,
                               bool msbFirst, bool aligned) {
    MemoryFile file;
    TIFF* tif = OpenMemory(file, "w");
    if (!tif) return std::nullopt;
    SetFaxFields(tif, width, height, msbFirst, aligned);
    TIFFWriteRawStrip(tif, 0, const_cast<uint8_t*>(coded.data()),
                      static_cast<tmsize_t>(coded.size()));
    TIFFClose(tif);

    tif = OpenMemory(file, "r");
    if (!tif) return std::nullopt;
    Page page(width, height);
    tmsize_t got =
        TIFFReadEncodedStrip(tif, 0, page.bits.data(), static_cast<tmsize_t>(page.bits.size()));
    TIFFClose(tif);
    if (got != static_cast<tmsize_t>(page.bits.size())) return std::nullopt;
    return page;
}

} // namespace testkit
