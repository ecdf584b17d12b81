// Text pages, record by record. Pages are A4 at 600 dpi (4960 x 7016 pixels
// on 210 x 297 millimetres); sizes in points become pixels at 600 / 72. The
// spacing arrays come from the faces that stand in for the named ones, read
// from the font packages the build installs.
#include "text_documents.h"

#include <cstring>
#include <string>

#include "platform/emf_builder.h"
#include "platform/engine_fonts.h"
#include "win/gdi_dc.h"

namespace emfgen {
namespace {

using platform::gdi::EmfBuilder;
namespace eng = platform::engine;

constexpr LONG kWidth = 4960, kHeight = 7016;
constexpr double kPixelsPerPoint = 600.0 / 72.0;
constexpr DWORD kDesignVectorSignature = 0x08007664;

const char* FileOf(const std::u16string& face, bool bold, bool italic) {
    if (face == u"Times New Roman")
        return bold     ? "/usr/share/fonts/truetype/liberation2/LiberationSerif-Bold.ttf"
               : italic ? "/usr/share/fonts/truetype/liberation2/LiberationSerif-Italic.ttf"
                        : "/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf";
    if (face == u"Courier New")
        return "/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf";
    if (face == u"MS Gothic" || face == u"MS Mincho")
        return nullptr; // full-width: one em a character
    return bold ? "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf"
                : "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
}

struct FontSpec {
    std::u16string face;
    double points;
    LONG weight = FW_NORMAL;
    bool italic = false;
    bool underline = false;
    LONG escapement = 0; // tenths of a degree
    BYTE charSet = ANSI_CHARSET;
};

LONG Pixels(double points) {
    return static_cast<LONG>(points * kPixelsPerPoint + 0.5);
}

class TextPage {
  public:
    explicit TextPage(const char16_t* title) : b_(Make(title)) {}

    // Makes the font in slot 1 (deleting the one before) and selects it.
    TextPage& Font(const FontSpec& f) {
        font_ = f;
        LOGFONTW lf{};
        lf.lfHeight = -Pixels(f.points);
        lf.lfEscapement = lf.lfOrientation = f.escapement;
        lf.lfWeight = f.weight;
        lf.lfItalic = f.italic;
        lf.lfUnderline = f.underline;
        lf.lfCharSet = f.charSet;
        lf.lfOutPrecision = 3; // an outline font
        lf.lfQuality = 5;      // cleartype quality, as word processors ask
        std::memcpy(lf.lfFaceName, f.face.data(),
                    std::min<size_t>(f.face.size(), LF_FACESIZE - 1) * 2);
        std::vector<BYTE> body(4 + sizeof(ENUMLOGFONTEXW) + 8, 0);
        DWORD slot = 1;
        std::memcpy(body.data(), &slot, 4);
        ENUMLOGFONTEXW elf{};
        elf.elfLogFont = lf;
        std::memcpy(elf.elfFullName, lf.lfFaceName, sizeof lf.lfFaceName);
        std::memcpy(body.data() + 4, &elf, sizeof elf);
        std::memcpy(body.data() + 4 + sizeof elf, &kDesignVectorSignature, 4);
        if (haveFont_)
            b_.Value(EMR_SELECTOBJECT, ENHMETA_STOCK_OBJECT | SYSTEM_FONT)
                .Value(EMR_DELETEOBJECT, 1);
        b_.Record(EMR_EXTCREATEFONTINDIRECTW, body.data(), body.size()).SelectObject(1);
        haveFont_ = true;
        return *this;
    }
    TextPage& Align(UINT a) {
        b_.Value(EMR_SETTEXTALIGN, a);
        return *this;
    }
    TextPage& Color(COLORREF c) {
        b_.Value(EMR_SETTEXTCOLOR, c);
        return *this;
    }
    TextPage& BkMode(int m) {
        b_.Value(EMR_SETBKMODE, static_cast<DWORD>(m));
        return *this;
    }
    // A run at (x, y) with the spacing of the face standing in for the named one.
    TextPage& Text(LONG x, LONG y, const std::u16string& text, UINT options = 0, RECTL rect = {}) {
        std::vector<INT> dx = Advances(text);
        LONG width = 0;
        for (INT d : dx)
            width += d;
        std::vector<BYTE> body;
        auto put = [&](const void* p, size_t n) {
            const auto* c = static_cast<const BYTE*>(p);
            body.insert(body.end(), c, c + n);
        };
        RECTL bounds{x, y - Pixels(font_.points), x + width, y + Pixels(font_.points)};
        DWORD mode = GM_COMPATIBLE;
        FLOAT scale = 1;
        put(&bounds, sizeof bounds);
        put(&mode, 4);
        put(&scale, 4);
        put(&scale, 4);
        POINTL ref{x, y};
        DWORD count = static_cast<DWORD>(text.size());
        DWORD offString = 76;
        DWORD offDx = offString + static_cast<DWORD>((text.size() * 2 + 3) / 4 * 4);
        put(&ref, sizeof ref);
        put(&count, 4);
        put(&offString, 4);
        put(&options, 4);
        put(&rect, sizeof rect);
        put(&offDx, 4);
        put(text.data(), text.size() * 2);
        body.resize(offDx - 8, 0);
        put(dx.data(), dx.size() * 4);
        b_.Record(EMR_EXTTEXTOUTW, body.data(), body.size());
        return *this;
    }
    TextPage& Line(LONG x0, LONG y0, LONG x1, LONG y1) {
        b_.MoveTo(x0, y0).LineTo(x1, y1);
        return *this;
    }
    EmfBuilder& Builder() { return b_; }
    std::vector<BYTE> Finish() {
        if (haveFont_)
            b_.Value(EMR_SELECTOBJECT, ENHMETA_STOCK_OBJECT | SYSTEM_FONT)
                .Value(EMR_DELETEOBJECT, 1);
        return b_.Finish();
    }

  private:
    static EmfBuilder Make(const char16_t* title) {
        std::u16string d = u"emfgen";
        d.push_back(0);
        d += title;
        d.push_back(0);
        d.push_back(0);
        EmfBuilder b(SIZEL{kWidth, kHeight}, SIZEL{210, 297}, d);
        // Room for the font in the object table.
        b.CreatePen(2, PS_SOLID, 6, 0).SelectObject(2);
        return b;
    }
    std::vector<INT> Advances(const std::u16string& text) const {
        std::vector<INT> dx;
        const char* path = FileOf(font_.face, font_.weight >= FW_SEMIBOLD, font_.italic);
        auto file = path ? eng::LoadFontFile(path) : nullptr;
        eng::FaceInfo info;
        eng::FontRealization r;
        r.file = file;
        bool ok = file && eng::QueryFace(*file, 0, &info);
        double em = Pixels(font_.points);
        for (char16_t c : text) {
            long adv = 0, lsb = 0, w = 0;
            if (ok && eng::GlyphDesignMetrics(r, eng::GlyphIndexOf(r, c), &adv, &lsb, &w))
                dx.push_back(static_cast<INT>(adv * em / info.unitsPerEm + 0.5));
            else
                dx.push_back(static_cast<INT>(c < 0x100 ? em / 2 : em));
        }
        return dx;
    }

    EmfBuilder b_;
    FontSpec font_;
    bool haveFont_ = false;
};

} // namespace

std::vector<BYTE> TextLetter() {
    TextPage p(u"Letter");
    p.Builder().Comment("emfgen: a letter");
    p.BkMode(TRANSPARENT).Align(TA_LEFT | TA_BASELINE);
    p.Font({u"Arial", 24, FW_BOLD}).Color(RGB(0, 51, 102)).Text(600, 700, u"Velmora Printing Co.");
    p.Font({u"Arial", 9})
        .Color(RGB(90, 90, 90))
        .Text(600, 820, u"12 Harbour Lane \x2022 Port Ellis \x2022 +44 1632 960 123");
    p.Line(600, 880, 4360, 880);
    p.Font({u"Times New Roman", 11}).Color(0);
    const char16_t* lines[] = {
        u"Dear Ms. Okafor,",
        u"",
        u"Thank you for your order of 2,400 brochures and 600 folded leaflets.",
        u"Proofs of both will reach you on Friday; the print run follows your",
        u"approval. The paper is the 150 g/m\x00B2 silk you chose, and the cover",
        u"keeps its deep blue within \x00B1"
        u"2 \x0394"
        u"E of the sample you sent.",
    };
    LONG y = 1300;
    for (const char16_t* l : lines) {
        if (*l) p.Text(600, y, l);
        y += 160;
    }
    p.Font({u"Times New Roman", 11, FW_NORMAL, true}).Text(600, y + 100, u"With kind regards,");
    p.Font({u"Times New Roman", 14, FW_BOLD}).Text(600, y + 400, u"Jonas Brandt");
    p.Font({u"Arial", 11, FW_NORMAL, false, true}).Text(600, y + 560, u"Production Manager");
    p.Font({u"Courier New", 9}).Text(600, 6700, u"Ref. VPC/2024/0117 - page 1 of 1");
    // A stamp turned 30 degrees.
    p.Font({u"Arial", 36, FW_BOLD, false, false, 300})
        .Color(RGB(200, 30, 30))
        .Text(3000, 5200, u"APPROVED");
    return p.Finish();
}

std::vector<BYTE> TextTable() {
    TextPage p(u"Table");
    p.Builder().Comment("emfgen: a table");
    p.Align(TA_LEFT | TA_BASELINE);
    p.Font({u"Arial", 16, FW_BOLD}).BkMode(TRANSPARENT).Text(600, 700, u"Quarterly Output");
    const LONG left = 600, cols[] = {600, 2200, 3100, 4000, 4360};
    const char16_t* header[] = {u"Product", u"Units", u"Pages", u"Change"};
    const char16_t* rows[][4] = {{u"Brochures", u"2,400", u"28,800", u"+12%"},
                                 {u"Leaflets", u"600", u"1,200", u"-3%"},
                                 {u"Catalogues", u"150", u"18,000", u"+41%"},
                                 {u"Posters", u"75", u"75", u"0%"}};
    LONG top = 900, rowH = 180;
    // The header on a shaded band.
    p.Font({u"Arial", 10, FW_BOLD}).Color(RGB(255, 255, 255));
    p.Builder().Value(EMR_SETBKCOLOR, RGB(0, 51, 102));
    for (int c = 0; c < 4; ++c) {
        RECTL cell{cols[c], top, cols[c + 1], top + rowH};
        bool right = c > 0;
        p.Align((right ? TA_RIGHT : TA_LEFT) | TA_BASELINE);
        p.Text(right ? cols[c + 1] - 40 : cols[c] + 40, top + 125, header[c], ETO_OPAQUE, cell);
    }
    p.Font({u"Arial", 10}).Color(0);
    for (int r = 0; r < 4; ++r) {
        LONG y = top + rowH * (r + 1);
        for (int c = 0; c < 4; ++c) {
            bool right = c > 0;
            p.Align((right ? TA_RIGHT : TA_LEFT) | TA_BASELINE);
            p.Text(right ? cols[c + 1] - 40 : cols[c] + 40, y + 125, rows[r][c]);
        }
        p.Line(left, y + rowH, cols[4], y + rowH);
    }
    for (LONG x : cols)
        p.Line(x, top, x, top + rowH * 5);
    p.Line(left, top, cols[4], top);
    return p.Finish();
}

std::vector<BYTE> TextJapanese() {
    TextPage p(u"Japanese");
    p.Builder().Comment("emfgen: Japanese text");
    p.BkMode(TRANSPARENT).Align(TA_LEFT | TA_BASELINE);
    // "Print guide" and lines about the printer, in Gothic and Mincho faces.
    p.Font({u"MS Gothic", 20, FW_BOLD, false, false, 0, SHIFTJIS_CHARSET})
        .Text(600, 800, u"\x5370\x5237\x306E\x624B\x5F15\x304D");
    p.Font({u"MS Mincho", 11, FW_NORMAL, false, false, 0, SHIFTJIS_CHARSET});
    const char16_t* lines[] = {
        u"\x3053\x306E\x6587\x66F8\x306F\x65E5\x672C\x8A9E\x306E\x6587\x5B57\x3092\x5370\x5237"
        u"\x3057\x307E\x3059\x3002",
        u"\x7528\x7D19\x306F\x0041\x0034\x3001\x89E3\x50CF\x5EA6\x306F\x0036\x0030\x0030\x0064"
        u"\x0070\x0069\x3067\x3059\x3002",
        u"\x6F22\x5B57\x3001\x3072\x3089\x304C\x306A\x3001\x30AB\x30BF\x30AB\x30CA\x3092\x6DF7"
        u"\x305C\x3066\x3044\x307E\x3059\x3002",
    };
    LONG y = 1200;
    for (const char16_t* l : lines) {
        p.Text(600, y, l);
        y += 180;
    }
    return p.Finish();
}

} // namespace emfgen
