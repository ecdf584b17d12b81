#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform_testing/fresh_root.h"
#include "streamdump/decoder.h"

namespace {

using streamdump::ItemKind;
using Bytes = std::vector<std::uint8_t>;

// Builds streams byte by byte.
struct Stream {
    Bytes b;
    Stream& Text(const std::string& s) {
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    Stream& Raw(std::initializer_list<int> bytes) {
        for (int v : bytes)
            b.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    Stream& Uel() { return Text("\x1B%-12345X"); }
    Stream& Frame(char op, Bytes payload = {}) {
        std::size_t n = payload.size() + 1;
        Raw({0x1B, static_cast<int>(n & 0xFF), static_cast<int>(n >> 8), op});
        b.insert(b.end(), payload.begin(), payload.end());
        return *this;
    }
};

std::vector<ItemKind> Kinds(const streamdump::Decoding& d) {
    std::vector<ItemKind> k;
    for (const auto& i : d.items)
        k.push_back(i.kind);
    return k;
}

std::string FieldsOf(const streamdump::Item& item) {
    std::string s;
    for (const auto& f : item.fields)
        s += f.name + "=" + f.value + ";";
    return s;
}

TEST(StreamDecoder, WholeJobIsListedInOrderWithFields) {
    Stream s;
    s.Uel()
        .Text("@PJL JOB\r\n")
        .Text("@PJL COMMENT OSVersion=\"x\"\n")
        .Text("@PJL ENTER LANGUAGE=GDI\r\n");
    s.Raw({0x1B, 0x27, 0x31}).Frame('c', {1}).Frame('O', {3, 0}).Frame('s', {1, 0}).Frame('u', {1});
    s.Frame('a', {0x58, 0x02})
        .Frame('M', {1})
        .Frame('C')
        .Frame('p')
        .Frame('h', {3, 9, 9, 9})
        .Frame('q');
    s.Frame('D').Raw({0x1B, 0, 0}).Uel().Text("@PJL EOJ NAME=\"Report\"\r\n");
    streamdump::Decoding d = streamdump::Decode(s.b);
    EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
    EXPECT_EQ(Kinds(d), (std::vector<ItemKind>{
                            ItemKind::Uel, ItemKind::PjlLine, ItemKind::PjlLine, ItemKind::PjlLine,
                            ItemKind::JobOpen, ItemKind::Frame, ItemKind::Frame, ItemKind::Frame,
                            ItemKind::Frame, ItemKind::Frame, ItemKind::Frame, ItemKind::Frame,
                            ItemKind::Frame, ItemKind::Frame, ItemKind::Frame, ItemKind::Frame,
                            ItemKind::JobClose, ItemKind::Uel, ItemKind::PjlLine}));
    EXPECT_EQ(d.items[1].text, "@PJL JOB");
    EXPECT_EQ(d.items[1].lineEnd, "CRLF");
    EXPECT_EQ(d.items[2].lineEnd, "LF");
    EXPECT_EQ(d.items[6].text, "copies");
    EXPECT_EQ(FieldsOf(d.items[6]), "count=3;");
    EXPECT_EQ(FieldsOf(d.items[7]), "collate=1 (on);device copies=0 (off);");
    EXPECT_EQ(FieldsOf(d.items[8]), "binding=1 (long edge);");
    EXPECT_EQ(FieldsOf(d.items[9]), "dpi=600;");
    EXPECT_EQ(FieldsOf(d.items[13]), "kind=3 (continuing);data=3 bytes;");
    EXPECT_EQ(d.items.back().text, "@PJL EOJ NAME=\"Report\"");
    // Every byte belongs to exactly one item.
    std::size_t next = 0;
    for (const auto& i : d.items) {
        EXPECT_EQ(i.offset, next);
        next = i.offset + i.length;
    }
    EXPECT_EQ(next, s.b.size());
}

TEST(StreamDecoder, FlagsWhatItCannotParse) {
    auto inGraphics = [] {
        return Stream().Uel().Text("@PJL ENTER LANGUAGE=GDI\n").Raw({0x1B, 0x27, 0x31});
    };
    // A 16 x 16 page whose image is `entity`, in its only chunk.
    auto jbigPage = [&](Bytes entity) {
        entity.insert(entity.begin(), 3);
        return inGraphics().Frame('g', {16, 0, 16, 0}).Frame('h', entity).Raw({0x1B, 0, 0});
    };
    struct Case {
        const char* name;
        Stream stream;
        const char* problem;
    };
    std::vector<Case> cases = {
        {"head cut off", inGraphics().Raw({0x1B, 0x05}), "frame head cut off"},
        {"past the end", inGraphics().Raw({0x1B, 0x10, 0x00, 'h', 1, 2}), "runs past the end"},
        {"unknown opcode", inGraphics().Frame('Z', {1, 2}), "unknown opcode"},
        {"short payload", inGraphics().Frame('O', {3}), "payload of 1 bytes, expected 2"},
        {"long payload", inGraphics().Frame('p', {7}), "payload of 1 bytes, expected 0"},
        {"stray bytes", inGraphics().Text("hello"), "bytes outside any frame"},
        {"before pjl", Stream().Text("junk").Uel(), "bytes outside any PJL line"},
        {"no line end", Stream().Uel().Text("@PJL JOB"), "without a line end"},
        {"no job open", Stream().Uel().Text("@PJL ENTER LANGUAGE=GDI\n").Frame('p'),
         "does not open"},
        {"no job close", inGraphics().Frame('p').Uel(), "ends without 1B 00 00"},
        {"after close", inGraphics().Raw({0x1B, 0, 0}).Frame('p'), "after the job was closed"},
        {"raw CR in line", Stream().Text("@PJL A\rB\n"), "control character"},
        // JBIG image headers laid out by hand: layer from, layers, planes, a
        // zero byte, width and height (big-endian), rows a stripe, then the
        // template and option bytes. The library would allocate for the
        // stated size before it decodes a dot.
        {"huge JBIG page", jbigPage({0,    0,    1, 0, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF,
                                     0xFF, 0xFF, 0, 0, 0,    128,  8,    0,    3,    0x1C}),
         "JBIG image of 2147483647 x 2147483647 dots"},
        {"JBIG page of 255 planes",
         jbigPage({0, 0, 255, 0, 0, 0, 0x10, 0, 0, 0, 0x10, 0, 0, 0, 0, 128, 8, 0, 3, 0x1C}),
         "JBIG image of 255 planes"},
        {"cut JBIG header", jbigPage({0, 0, 1, 0, 0, 0}), "shorter than its 20-byte header"},
    };
    for (const Case& c : cases) {
        streamdump::Decoding d = streamdump::Decode(c.stream.b);
        ASSERT_GE(d.problems, 1u) << c.name;
        bool found = false;
        for (const auto& i : d.items)
            found |= i.problem.find(c.problem) != std::string::npos;
        EXPECT_TRUE(found) << c.name << "\n" << streamdump::Format(d);
    }
}

TEST(StreamDecoder, LongFrameWhoseHeadLooksLikeTheJobOpen) {
    // A raster chunk of 0x3127 bytes begins 1B 27 31 'h': a frame, not the raw sequence.
    Stream s;
    s.Uel().Text("@PJL ENTER LANGUAGE=GDI\n").Raw({0x1B, 0x27, 0x31});
    Bytes payload(0x3126, 0xAA);
    payload[0] = 2;
    s.Frame('h', payload).Raw({0x1B, 0, 0});
    streamdump::Decoding d = streamdump::Decode(s.b);
    EXPECT_EQ(d.problems, 0u) << streamdump::Format(d);
    ASSERT_EQ(d.items.size(), 5u);
    EXPECT_EQ(d.items[3].kind, ItemKind::Frame);
    EXPECT_EQ(d.items[3].payloadSize, 0x3126u);
}

TEST(StreamDecoder, FormatMarksProblemsAndCounts) {
    Stream s;
    s.Uel().Text("@PJL ENTER LANGUAGE=GDI\n").Raw({0x1B, 0x27, 0x31}).Frame('Z');
    std::string text = streamdump::Format(streamdump::Decode(s.b));
    EXPECT_NE(text.find("! 00000024  FRAME  Z  ?  <- unknown opcode"), std::string::npos) << text;
    EXPECT_NE(text.find("4 items, 1 problems"), std::string::npos) << text;
    EXPECT_EQ(streamdump::Decode(nullptr, 5).items.size(), 0u);
}

} // namespace

namespace {

// The two commands that list a stream file: streamdump and printhost decode.
TEST(StreamDumpCommands, ListAFileAndReportProblemsByExitStatus) {
    std::string dir = platform_testing::Root();
    std::string good = dir + "/good.prn", bad = dir + "/bad.prn";
    Stream s;
    s.Uel()
        .Text("@PJL ENTER LANGUAGE=GDI\n")
        .Raw({0x1B, 0x27, 0x31})
        .Frame('p')
        .Frame('q')
        .Raw({0x1B, 0, 0})
        .Uel();
    for (auto [path, bytes] : {std::pair{good, s.b}, std::pair{bad, Stream().Text("junk").b}}) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    for (std::string tool : {std::string(PKG_TOOLS_DIR) + "/streamdump",
                             std::string(PKG_TOOLS_DIR) + "/printhost decode"}) {
        std::string out;
        EXPECT_EQ(platform_testing::RunCommand(tool + " " + good, &out), 0) << tool;
        EXPECT_NE(out.find("FRAME  p  page start"), std::string::npos) << out;
        EXPECT_NE(out.find("7 items, 0 problems"), std::string::npos) << out;
        EXPECT_EQ(platform_testing::RunCommand(tool + " " + bad, &out), 1) << tool;
        EXPECT_NE(platform_testing::RunCommand(tool + " " + dir + "/missing.prn 2>/dev/null", &out),
                  0)
            << tool;
    }
}

} // namespace
