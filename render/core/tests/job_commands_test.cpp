// The finishing commands of the job set-up: the output tray byte and the
// staple byte, looked up in the outer finisher's tables and the output bins.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output_writer.h"
#include "render_fixture.h"
#include "stream_commands.h"
#include "devmode_private.h"

namespace {

using namespace render_test;

// The frames of one opcode in a job's set-up, as Outline lists them.
std::vector<std::string> FramesOf(const Bytes& stream, char opcode) {
    std::vector<std::string> out;
    for (const std::string& s : Outline(streamdump::Decode(stream), stream))
        if (!s.empty() && s[0] == opcode) out.push_back(s);
    return out;
}

TEST(JobCommands, OutputTrayAndStapleBytes) {
    // Output bin entry 2 (tray code 1) carries the value 0x42: finisher 1
    // lists no such bin, finisher 2 does (with 0); finisher 2's first fold
    // item has model code 9, which counts as 0 for the staple mode.
    nlohmann::json source = SampleSource("CX5540");
    for (auto& bin : source["codes"]["34"]["entries"])
        if (bin["id"] == 2) bin["s4"] = 0x42;
    auto& fold = source["codes"]["27"]["entries"][1]["fold"]["items"][0];
    fold["code"] = 9;
    fold["s4"] = 0x31;
    InstallPrinter(u"P1", Compile(source));
    struct Case {
        const char* what;
        WORD finisher, bin, staple;
        DWORD flagsA;
        std::vector<std::string> x, l;
    };
    const Case cases[] = {
        {"no outer finisher: the output bin's entry", 0, 1, 1, 0, {"x 42"}, {}},
        {"finisher without a staple item for the tray: the output bin's entry",
         1,
         1,
         1,
         0,
         {"x 42"},
         {}},
        {"finisher with a staple item for the tray", 2, 1, 1, 0, {"x 00"}, {}},
        {"fold code 9 kept to 1..6 is staple mode 0", 2, 0, 0, 0x10000, {"x 00"}, {"L 31"}},
        {"no fold item for staple mode 3", 2, 0, 3, 0x10000, {"x 00"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestDevice dev(u"P1");
        inkforge::DevmodeImage& d = dev->devmode;
        inkforge::SetPrivU16(d, offsetof(PRIVATE_DEVMODE, FinisherId), c.finisher);
        inkforge::SetPrivU16(d, offsetof(PRIVATE_DEVMODE, OutputBin), c.bin);
        inkforge::SetPrivU16(d, offsetof(PRIVATE_DEVMODE, StapleMode), c.staple);
        inkforge::SetPrivU32(d, offsetof(PRIVATE_DEVMODE, PrivateFlags), c.flagsA);
        // The job's commands follow the PJL line that hands the stream over.
        static const char kEnter[] = "@PJL ENTER LANGUAGE=GDI\n";
        ASSERT_TRUE(inkforge::WriteUel(dev.get()));
        ASSERT_TRUE(inkforge::OutputBytes(dev.get(), kEnter, sizeof kEnter - 1));
        ASSERT_TRUE(inkforge::WriteJobCommands(dev.get()));
        ASSERT_TRUE(inkforge::FlushOutput(dev.get()));
        Bytes stream = dev.Finish();
        EXPECT_EQ(FramesOf(stream, 'x'), c.x);
        EXPECT_EQ(FramesOf(stream, 'L'), c.l);
    }
}

} // namespace
