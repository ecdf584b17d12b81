// Test and benchmark pages for the codec and tone libraries: 1-bit pages (1 =
// black, most significant bit first, as PBM holds them), synthetic content, the
// CCITT test pages, PBM files, and the Modified Huffman round trips through our
// exports and through libtiff.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testkit {

struct Page {
    int width = 0;
    int height = 0;
    size_t stride = 0; // bytes per row
    std::vector<uint8_t> bits;

    Page() = default;
    Page(int w, int h, size_t strideBytes = 0);
    uint8_t* Row(int y) { return bits.data() + y * stride; }
    const uint8_t* Row(int y) const { return bits.data() + y * stride; }
    bool Get(int x, int y) const { return Row(y)[x >> 3] & (0x80 >> (x & 7)); }
    void Set(int x, int y, bool black = true);
    void Fill(int x0, int y0, int x1, int y1); // black rectangle [x0, x1) x [y0, y1)
    // Rows equal over the width (padding bits ignored).
    bool SameImage(const Page& other, std::string* where = nullptr) const;
};

// A4 at 600 dpi.
constexpr int kA4Width = 4960;
constexpr int kA4Height = 7016;

Page BlankPage(int w, int h);
Page BlackPage(int w, int h);
// Runs of every length 0..maxRun of both colours in turn, wrapped over lines.
Page EveryRunLength(int w, int h, int maxRun);
// Each line: white then black runs of the given lengths, repeating.
Page AlternatingRuns(int w, int h, int whiteRun, int blackRun);
// Lines with a single run across the whole width or split near the middle:
// the longest white and black runs a line can hold.
Page LongestRuns(int w, int h);
// Lines of glyph-like strokes in words, with margins, as printed text.
Page TextLike(int w, int h, unsigned seed = 1);
// Short runs everywhere, as a halftoned photograph.
Page Dense(int w, int h, unsigned seed = 2);
// Random bits.
Page Noise(int w, int h, unsigned seed = 3);

// The CCITT test page n (1..8) of jbigkit's test data, decoded with jbgtopbm.
std::optional<Page> CcittPage(int n);

std::optional<Page> ParsePbm(const std::string& bytes);
std::string ToPbm(const Page& page);
bool WriteFile(const std::string& path, const std::string& bytes);
std::optional<std::string> ReadFile(const std::string& path);
// Runs a shell command and returns its standard output and exit status.
int Run(const std::string& command, std::string* out = nullptr);

// Modified Huffman through our COMPRESS and DECOMPRESS.
struct MhOptions {
    bool msbFirst = true;
    bool aligned = false;
    int rtcLength = 6;
    int minLineBits = 0;
    size_t bufferSize = 4096; // coded buffer handed out per callback
    int linesPerCall = 64;
};
std::vector<uint8_t> MhEncode(const Page& page, const MhOptions& options = {});
struct MhDecoded {
    Page page;
    int lines = 0;    // lines decoded
    int repaired = 0; // repaired-line count
    int status = 0;   // last result
    int calls = 0;
};
// Decodes at most pageLines lines (0: until RTC or the end of the data).
MhDecoded MhDecode(const std::vector<uint8_t>& coded, int width, int pageLines,
                   const MhOptions& options = {}, int rasterLines = 0);

// Modified Huffman (Group 3, one-dimensional, EOL before every row, RTC at the
// end) through libtiff's CCITT codec, as the strip of an in-memory TIFF.
std::vector<uint8_t> TiffEncode(const Page& page, bool msbFirst, bool aligned);
std::optional<Page> TiffDecode(const std::vector<uint8_t>& coded, int width, int height,
                               bool msbFirst, bool aligned);

} // namespace testkit
