// Drawing tokens between frames, written by hand from the token format.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "streamdump/decoder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes InGraphics(const Bytes& tokens, bool closed = true) {
    std::string head = "\x1B%-12345X@PJL ENTER LANGUAGE=GDI\n";
    Bytes b(head.begin(), head.end());
    b.insert(b.end(), {0x1B, 0x27, 0x31, 0x1B, 0x01, 0x00, 'p'});
    b.insert(b.end(), tokens.begin(), tokens.end());
    if (closed) b.insert(b.end(), {0x1B, 0x01, 0x00, 'q', 0x1B, 0x00, 0x00});
    return b;
}

// The token items as "name  field=value ..." lines.
std::vector<std::string> TokenLines(const streamdump::Decoding& d) {
    std::vector<std::string> out;
    for (const auto& i : d.items) {
        if (i.kind != streamdump::ItemKind::Token) continue;
        std::string s = i.text;
        for (const auto& f : i.fields)
            s += "  " + f.name + "=" + f.value;
        if (!i.problem.empty()) s += "  ! " + i.problem;
        out.push_back(s);
    }
    return out;
}

TEST(TokenDecoder, EveryKindOfValueAttributeOperatorAndData) {
    Bytes tokens =
        {
            0xC0, 0xF0, 0xF8, 0x2C, 0x7B,                                     // raster operation
            0xC8, 0xC0, 0x03, 0xFF, 0x80, 0x00, 0xF8, 0x0B, 0x79,             // pen colour
            0xC0, 0x80, 0xF8, 0x09, 0x63,                                     // gray brush
            0xC1, 0x05, 0x00, 0xF8, 0x4B, 0x7A,                               // pen width
            0xC9, 0xC1, 0x02, 0x00, 0x0A, 0x00, 0x14, 0x00, 0xF8, 0x4A, 0x70, // dash
            0xC0, 0x00, 0xF8, 0x53, 0xE3, 0xF6, 0xFF, 0x00, 0x00, 0x64, 0x00, 0xC8, 0x00,
            0xF8, 0x42, 0x68, 0x85, 0xD3, 0x0A, 0x00, 0x14, 0x00, 0xF8, 0x4C, 0x6B, // cursor
            0xC0, 0x02, 0xF8, 0x4D, 0xC0, 0x01, 0xF8, 0x50, 0x9D, 0xFA, 0x04, 0x00, 0x00,
            0x00, 0x05, 0xFB, 0xFE, 0x03, 0xC1, 0x00, 0x01, 0xF8, 0x4D, 0xC0, 0x00, 0xF8,
            0x50, 0x95, // 256 points ...
            0xD0, 0x01, 0x02, 0xF8, 0x51, 0xD1, 0x00, 0x01, 0x02, 0x00, 0xF8, 0x52, 0xD3,
            0xFF, 0xFF, 0x03, 0x00, 0xF8, 0x45, 0x93, 0x84, 0x86, 0xE1, 0x01, 0x00, 0x02,
            0x00, 0x03, 0x00, 0x04, 0x00, 0xF8, 0x42, 0xA0,
        };
    // ... whose data is cut short: 256 points of 2 bytes would be 512.
    tokens.insert(std::find(tokens.begin(), tokens.end(), 0x95) + 1,
                  {0xFA, 0x02, 0x00, 0x00, 0x00, 0x01, 0x01});
    streamdump::Decoding d = streamdump::Decode(InGraphics(tokens));
    std::vector<std::string> expected = {
        "set raster operation  raster operation=ubyte 240",
        "set pen source  rgb colour=ubyte array [255 128 0]",
        "set brush source  gray level=ubyte 128",
        "set pen width  pen width=uint16 5",
        "set line dash  dash style=uint16 array [10 20]",
        "set clip rectangle  clip region=ubyte 0  bounding box=sint16 box (-10, 0, 100, 200)",
        "new path",
        "set cursor  point=sint16 pair (10, 20)",
        "line path, relative  number of points=ubyte 2  point type=ubyte 1  data=4 bytes  "
        "points=(5, -5) (-2, 3)",
        "bezier path, relative  number of points=uint16 256  point type=ubyte 0  data=2 bytes"
        "  ! path data of 2 bytes for 256 points",
        "bezier path  control point 1=ubyte pair (1, 2)  control point 2=uint16 pair (256, 2)"
        "  end point=sint16 pair (-1, 3)",
        "close subpath",
        "paint path",
        "rectangle  bounding box=uint16 box (1, 2, 3, 4)",
    };
    EXPECT_EQ(TokenLines(d), expected) << streamdump::Format(d);
    EXPECT_EQ(d.problems, 1u);
    // Frames around the tokens are still read as frames.
    EXPECT_EQ(d.items.back().kind, streamdump::ItemKind::JobClose);
}

TEST(TokenDecoder, FlagsMalformedTokens) {
    struct Case {
        const char* name;
        Bytes tokens;
        const char* problem;
        bool closed = true;
    };
    std::vector<Case> cases = {
        {"value without attribute", {0xC0, 0x01, 0x86}, "value without an attribute"},
        {"attribute without value", {0xF8, 0x2C, 0x86}, "attribute without a value"},
        {"no operator", {0xC0, 0x01, 0xF8, 0x2C}, "attributes without an operator"},
        {"attributes then a bad value",
         {0xC0, 0x01, 0xF8, 0x2C, 0xC0, 0x02, 0x86},
         "value without an attribute"},
        {"attributes then data",
         {0xC0, 0x01, 0xF8, 0x2C, 0xFB, 0x01, 0x00},
         "data that follows no operator"},
        {"cut value", {0xC1, 0x01}, "value cut off", false},
        {"cut data length", {0x9D, 0xFA, 0x01}, "data length cut off", false},
        {"data past end", {0x9D, 0xFA, 0xFF, 0x00, 0x00, 0x00, 0x01}, "runs past the end"},
        {"data after nothing", {0xFB, 0x01, 0x00}, "data that follows no operator"},
        {"bad array length", {0xC8, 0xC3, 0x01, 0x00}, "array length"},
        {"not a token", {0x85, 0x20, 0x21}, "is not a drawing token"},
        {"path data without count",
         {0x9D, 0xFA, 0x02, 0x00, 0x00, 0x00, 0x01, 0x02},
         "without a number of points"},
        {"count as an array",
         {0xC8, 0xC0, 0x01, 0x05, 0xF8, 0x4D, 0xC0, 0x00, 0xF8, 0x50, 0x9D, 0xFA, 0x02, 0x00, 0x00,
          0x00, 0x01, 0x02},
         "without a number of points"},
    };
    for (const Case& c : cases) {
        streamdump::Decoding d = streamdump::Decode(InGraphics(c.tokens, c.closed));
        bool found = false;
        for (const auto& i : d.items)
            found |= i.problem.find(c.problem) != std::string::npos;
        EXPECT_TRUE(found) << c.name << "\n" << streamdump::Format(d);
        EXPECT_GE(d.problems, 1u) << c.name;
        // Every byte belongs to exactly one item.
        Bytes stream = InGraphics(c.tokens, c.closed);
        std::size_t next = 0;
        for (const auto& i : d.items) {
            EXPECT_EQ(i.offset, next) << c.name << "\n" << streamdump::Format(d);
            next = i.offset + i.length;
        }
        EXPECT_EQ(next, stream.size()) << c.name;
    }
}

// The listing and the page renderer read the same typed tokens: values keep
// their tag and numbers, and a path keeps every point, also those the
// listing leaves out.
TEST(TokenDecoder, TypedTokensHoldWhatTheListingShortens) {
    Bytes tokens = {0xC1, 0x2C, 0x01, 0xF8, 0x4D, 0xC0, 0x03, 0xF8,
                    0x50, 0x9D, 0xFA, 0xB0, 0x04, 0x00, 0x00};
    for (int i = 0; i < 300; ++i)
        tokens.insert(tokens.end(), {static_cast<std::uint8_t>(i), 0x00, 0xFF, 0xFF});
    tokens.insert(tokens.end(),
                  {0xE3, 0xF6, 0xFF, 0x00, 0x00, 0x64, 0x00, 0xC8, 0x00, 0xF8, 0x42, 0xA0});
    Bytes stream = InGraphics(tokens);
    streamdump::Decoding d = streamdump::Decode(stream);
    std::vector<const streamdump::Item*> ops;
    for (const auto& i : d.items)
        if (i.kind == streamdump::ItemKind::Token) ops.push_back(&i);
    ASSERT_EQ(ops.size(), 2u) << streamdump::Format(d);
    const streamdump::Token& path = ops[0]->token;
    long count = 0;
    ASSERT_NE(path.Find(0x4D), nullptr);
    EXPECT_TRUE(path.Find(0x4D)->Whole(&count));
    EXPECT_EQ(count, 300);
    ASSERT_EQ(path.points.size(), 300u);
    EXPECT_EQ(path.points[299].x, 299 & 0xFF);
    EXPECT_EQ(path.points[299].y, -1);
    EXPECT_TRUE(path.hasData);
    EXPECT_EQ(stream[path.dataOffset], 0x00);
    EXPECT_EQ(path.dataSize, 1200u);
    EXPECT_NE(streamdump::Format(d).find(" ..."), std::string::npos);
    const streamdump::TokenValue* box = ops[1]->token.Find(0x42);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->tag, 0xE3);
    EXPECT_EQ(box->numbers, (std::vector<double>{-10, 0, 100, 200}));
    EXPECT_FALSE(box->Whole(&count)); // a box is not one number
}

TEST(TokenDecoder, ListingShowsOperatorBytes) {
    streamdump::Decoding d = streamdump::Decode(InGraphics({0xC0, 0x5A, 0xF8, 0x2C, 0x7B}));
    std::string text = streamdump::Format(d);
    EXPECT_NE(text.find("TOKEN  7B  set raster operation  raster operation=ubyte 90"),
              std::string::npos)
        << text;
}

} // namespace
