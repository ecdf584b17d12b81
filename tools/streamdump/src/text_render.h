// Text of the printer stream for the page renderer: fonts downloaded in the
// stream (the "GT" tables and outline characters rebuilt into a TrueType
// font that FreeType reads back, or bitmap characters as sent), the font and
// character state and text runs (glyph images are images, drawn with the
// others). Fonts live for the whole stream, across pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "streamdump/decoder.h"

namespace streamdump {

struct TextPaint {
    double scale = 1;                                        // image pixels per dot
    double cursorX = 0, cursorY = 0;                         // dots
    std::uint8_t r = 0, g = 0, b = 0;                        // the brush
    std::function<void(int x, int y, double coverage)> plot; // paints one image pixel
};

class TextRenderer {
  public:
    TextRenderer(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    ~TextRenderer();
    TextRenderer(const TextRenderer&) = delete;
    TextRenderer& operator=(const TextRenderer&) = delete;

    // Takes the text and font operators; false for any other. `drawn` and
    // `skipped` count what a text operator drew or could not.
    bool Run(int op, const Token& t, TextPaint& paint, std::size_t* drawn, std::size_t* skipped);

    // Characters downloaded for a font name, and whether it is an outline font
    // FreeType could read (for the tests).
    std::size_t Characters(const std::string& font) const;
    bool Readable(const std::string& font);

  private:
    struct Bitmap {
        int left = 0, top = 0, width = 0, height = 0;
        std::vector<std::uint8_t> rows;
    };
    struct Font {
        bool outline = false;
        std::vector<std::uint8_t> header;
        std::map<std::uint32_t, std::vector<std::uint8_t>> tables; // from "GT"
        std::map<unsigned, std::vector<std::uint8_t>> glyphs;      // glyph data by index
        // Class-1 characters carry their metrics: {advance, left side bearing}.
        std::map<unsigned, std::pair<unsigned, unsigned>> metrics;
        std::map<unsigned, Bitmap> bitmaps; // by character code
        std::vector<std::uint8_t> sfnt;     // rebuilt for FreeType
        void* face = nullptr;               // FT_Face
        bool dirty = true;
    };

    const std::uint8_t* Data(const Token& t) const;
    static std::string NameOf(const Token& t);
    void ParseHeader(Font& f);
    bool Rebuild(Font& f);
    static void HorizontalMetrics(const Font& f,
                                  std::map<std::uint32_t, std::vector<std::uint8_t>>* tables);
    void DrawOutline(Font& f, unsigned glyph, double x, double y, TextPaint& p, std::size_t* drawn,
                     std::size_t* skipped);
    void DrawBitmap(const Bitmap& b, double x, double y, TextPaint& p);
    void ReleaseFace(Font& f);

    const std::uint8_t* data_;
    std::size_t size_;
    std::map<std::string, Font> fonts_;
    std::string headerFont_, charFont_, current_;
    double charSize_ = 0, angle_ = 0, scaleX_ = 1, scaleY_ = 1, shearX_ = 0;
};

} // namespace streamdump
