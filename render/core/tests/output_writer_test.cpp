// The printer stream writer on a real spooler job: chunking, the cancel poll,
// short writes, suppression, capture and the temporary output file.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "output_writer.h"
#include "platform/engine_ctl.h"
#include "platform/facts.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "platform/testctl.h"
#include "render_fixture.h"
#include "stream_commands.h"
#include "win/base.h"

namespace {

using namespace render_test;
namespace spl = platform::spooler;

class OutputWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InstallPrinter(u"P1", SampleModel("LP1220"));
        spl::test::RecordCalls(true); // the tests read which calls reached the spooler
    }

    static std::vector<DWORD> WritePrinterSizes() {
        std::vector<DWORD> sizes;
        for (const auto& c : spl::test::Calls())
            if (c.function == "WritePrinter" && c.ok) sizes.push_back(c.bytes);
        return sizes;
    }
    static Bytes Pattern(size_t n, BYTE seed) {
        Bytes b(n);
        for (size_t i = 0; i < n; ++i)
            b[i] = static_cast<BYTE>(seed + i * 13);
        return b;
    }
};

TEST_F(OutputWriterTest, ChunksAndTheBytesThatWait) {
    struct Case {
        const char* name;
        std::vector<size_t> writes;
        std::vector<DWORD> calls; // WritePrinter sizes before the final flush
        DWORD buffered;
    };
    const std::vector<Case> cases = {
        {"large write into an empty buffer", {10000}, {4096, 4096}, 1808},
        {"exactly one buffer", {4096}, {}, 4096},
        {"small writes coalesce", std::vector<size_t>(50, 100), {4000}, 1000},
        {"a write that does not fit flushes first", {3000, 3000}, {3000}, 3000},
        {"after a flush whole chunks go straight out", {1, 8192}, {1, 4096, 4096}, 0},
        {"remainder of a large write joins later ones", {5000, 10}, {4096}, 914},
    };
    for (const Case& c : cases) {
        TestDevice dev(u"P1");
        spl::test::ClearCalls();
        Bytes all;
        BYTE seed = 1;
        for (size_t n : c.writes) {
            Bytes b = Pattern(n, seed++);
            ASSERT_TRUE(inkforge::OutputBytes(dev.get(), b.data(), static_cast<DWORD>(b.size())))
                << c.name;
            all.insert(all.end(), b.begin(), b.end());
        }
        EXPECT_EQ(WritePrinterSizes(), c.calls) << c.name;
        EXPECT_EQ(dev->outUsed, c.buffered) << c.name;
        ASSERT_TRUE(inkforge::FlushOutput(dev.get()));
        EXPECT_EQ(dev->outUsed, 0u);
        EXPECT_EQ(dev.Finish(), all) << c.name;
    }
}

TEST_F(OutputWriterTest, FramesAndByteLists) {
    TestDevice dev(u"P1");
    EXPECT_TRUE(inkforge::WriteFrame(dev.get(), 'p', nullptr, 0));
    BYTE two[2] = {0x58, 0x02};
    EXPECT_TRUE(inkforge::WriteFrame(dev.get(), 'a', two, 2));
    EXPECT_TRUE(inkforge::OutputByteList(dev.get(), {0x1B, 0x127, -1}));
    Bytes big(70000, 1);
    EXPECT_FALSE(inkforge::WriteFrame(dev.get(), 'h', big.data(), static_cast<DWORD>(big.size())));
    EXPECT_TRUE(inkforge::WriteRasterChunk(dev.get(), two, 2, true, false));
    EXPECT_TRUE(inkforge::FlushOutput(dev.get()));
    EXPECT_EQ(dev.Finish(), (Bytes{0x1B, 0x01, 0x00, 'p',  0x1B, 0x03, 0x00, 'a',  0x58, 0x02,
                                   0x1B, 0x27, 0xFF, 0x1B, 0x04, 0x00, 'h',  0x02, 0x58, 0x02}));
}

TEST_F(OutputWriterTest, CancelSeenByThePollAtMostEvery5000Ms) {
    TestDevice dev(u"P1");
    platform::test::FreezeTickCount(100000);
    SURFOBJ surface{};
    dev->pollSurface = &surface;
    BYTE b[8] = {};
    // The first write starts the interval; nothing is asked within it.
    platform::test::AbortAfterChecks(0);
    EXPECT_TRUE(inkforge::OutputBytes(dev.get(), b, 8));
    platform::test::AdvanceTime(4999);
    for (int i = 0; i < 100; ++i)
        EXPECT_TRUE(inkforge::OutputBytes(dev.get(), b, 8));
    EXPECT_EQ(platform::test::CheckAbortCalls(), 0);
    // 5000 ms after the start the engine is asked, and reports the cancel.
    platform::test::AdvanceTime(1);
    EXPECT_FALSE(inkforge::OutputBytes(dev.get(), b, 8));
    EXPECT_EQ(platform::test::CheckAbortCalls(), 1);
    EXPECT_TRUE(dev->jobFlags & inkforge::job::Cancelled);
    // Cancelled: nothing more is written and the engine is not asked again.
    spl::test::ClearCalls();
    platform::test::AdvanceTime(10000);
    EXPECT_FALSE(inkforge::OutputBytes(dev.get(), b, 8));
    EXPECT_TRUE(inkforge::FlushOutput(dev.get()));
    EXPECT_TRUE(WritePrinterSizes().empty());
    EXPECT_EQ(platform::test::CheckAbortCalls(), 1);
    EXPECT_TRUE(dev.Finish().empty());
}

TEST_F(OutputWriterTest, PollContinuesWhileTheJobGoesOn) {
    TestDevice dev(u"P1");
    platform::test::FreezeTickCount(5000);
    SURFOBJ surface{};
    dev->pollSurface = &surface;
    BYTE b[4] = {};
    // Two answers "go on", then the cancel.
    platform::test::AbortAfterChecks(2);
    EXPECT_TRUE(inkforge::OutputBytes(dev.get(), b, 4));
    for (int round = 0; round < 2; ++round) {
        platform::test::AdvanceTime(6000);
        EXPECT_TRUE(inkforge::OutputBytes(dev.get(), b, 4));
    }
    inkforge::RestartAbortTimer(dev.get());
    platform::test::AdvanceTime(4000);
    EXPECT_TRUE(inkforge::OutputBytes(dev.get(), b, 4));
    EXPECT_EQ(platform::test::CheckAbortCalls(), 2);
    platform::test::AdvanceTime(1000);
    EXPECT_FALSE(inkforge::OutputBytes(dev.get(), b, 4));
    EXPECT_EQ(platform::test::CheckAbortCalls(), 3);
    // Without a poll surface no one is asked.
    TestDevice other(u"P1");
    platform::test::AdvanceTime(60000);
    EXPECT_TRUE(inkforge::OutputBytes(other.get(), b, 4));
    EXPECT_EQ(platform::test::CheckAbortCalls(), 3);
}

TEST_F(OutputWriterTest, ShortOrFailedWritePrinterCancelsTheJob) {
    for (bool fail : {false, true}) {
        TestDevice dev(u"P1");
        spl::test::ClearCalls();
        if (fail)
            platform::test::FailNext("WritePrinter", 1, ERROR_DISK_FULL, 1);
        else
            spl::test::ShortWriteNext(1, 100, 1);
        Bytes b = Pattern(20000, 3);
        EXPECT_FALSE(inkforge::OutputBytes(dev.get(), b.data(), static_cast<DWORD>(b.size())))
            << fail;
        EXPECT_TRUE(dev->jobFlags & inkforge::job::Cancelled);
        size_t calls = spl::test::Calls().size();
        EXPECT_FALSE(inkforge::OutputBytes(dev.get(), b.data(), 10));
        EXPECT_TRUE(inkforge::FlushOutput(dev.get()));
        EXPECT_EQ(spl::test::Calls().size(), calls) << "nothing more reaches the spooler";
        Bytes out = dev.Finish();
        EXPECT_EQ(out.size(), fail ? 4096u : 4096u + 100u);
    }
    // A short write of the buffer at a flush.
    TestDevice dev(u"P1");
    BYTE b[10] = {};
    ASSERT_TRUE(inkforge::OutputBytes(dev.get(), b, 10));
    spl::test::ShortWriteNext(1, 9);
    EXPECT_FALSE(inkforge::FlushOutput(dev.get()));
    EXPECT_TRUE(dev->jobFlags & inkforge::job::Cancelled);
}

TEST_F(OutputWriterTest, SuppressedOutputAndSpoolSideBeforeTheDocumentAreDropped) {
    TestDevice dev(u"P1");
    spl::test::ClearCalls();
    Bytes b = Pattern(9000, 5);
    dev->jobFlags |= inkforge::job::Suppressed;
    EXPECT_TRUE(inkforge::OutputBytes(dev.get(), b.data(), static_cast<DWORD>(b.size())));
    EXPECT_TRUE(inkforge::FlushOutput(dev.get()));
    dev->jobFlags &= ~inkforge::job::Suppressed;
    dev->modeFlags |= inkforge::mode::SpoolSide;
    dev->docStarted = 0;
    EXPECT_TRUE(inkforge::OutputBytes(dev.get(), b.data(), static_cast<DWORD>(b.size())));
    EXPECT_TRUE(inkforge::FlushOutput(dev.get()));
    EXPECT_TRUE(WritePrinterSizes().empty());
    EXPECT_EQ(dev->outUsed, 0u);
    // Once the document has started the same device writes.
    dev->docStarted = 1;
    EXPECT_TRUE(inkforge::OutputBytes(dev.get(), b.data(), 10));
    EXPECT_TRUE(inkforge::FlushOutput(dev.get()));
    EXPECT_EQ(dev.Finish(), Bytes(b.begin(), b.begin() + 10));
}

TEST_F(OutputWriterTest, CaptureCollectsAndFallsBackToTheStreamWhenMemoryRunsOut) {
    TestDevice dev(u"P1");
    spl::test::ClearCalls();
    inkforge::StartCapture(dev.get());
    Bytes first = Pattern(3000, 1), second = Pattern(6000, 2), third = Pattern(50, 3);
    ASSERT_TRUE(inkforge::OutputBytes(dev.get(), first.data(), 3000));
    ASSERT_TRUE(inkforge::OutputBytes(dev.get(), second.data(), 6000));
    EXPECT_EQ(dev->captureLength, 9000u);
    EXPECT_TRUE(WritePrinterSizes().empty());
    EXPECT_EQ(std::memcmp(static_cast<BYTE*>(dev->captureBlock) + 3000, second.data(), 6000), 0);
    // The block cannot grow: capture ends, what it held goes on in the stream.
    platform::test::FailNext("GlobalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
    Bytes big = Pattern(20000, 4);
    ASSERT_TRUE(inkforge::OutputBytes(dev.get(), big.data(), 20000));
    EXPECT_EQ(dev->capture, 0u);
    EXPECT_EQ(dev->captureLength, 0u);
    ASSERT_TRUE(inkforge::OutputBytes(dev.get(), third.data(), 50));
    ASSERT_TRUE(inkforge::FlushOutput(dev.get()));
    Bytes expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    expected.insert(expected.end(), big.begin(), big.end());
    expected.insert(expected.end(), third.begin(), third.end());
    EXPECT_EQ(dev.Finish(), expected);
}

TEST_F(OutputWriterTest, TemporaryOutputFileGetsFramedChunks) {
    TestDevice dev(u"P1");
    std::u16string name = u"C:\\Temp\\out.bin";
    CreateDirectoryW(u"C:\\Temp", nullptr);
    dev->tempFile = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(dev->tempFile, INVALID_HANDLE_VALUE);
    Bytes b = Pattern(5000, 9);
    ASSERT_TRUE(inkforge::OutputBytes(dev.get(), b.data(), 5000));
    ASSERT_TRUE(inkforge::FlushOutput(dev.get()));
    CloseHandle(dev->tempFile);
    dev->tempFile = nullptr;
    Bytes file = ReadHostFile(platform::HostPath(name));
    auto head = [](DWORD n) {
        Bytes h(8, 0);
        std::memcpy(h.data() + 4, &n, 4);
        return h;
    };
    Bytes expected = head(4096);
    expected.insert(expected.end(), b.begin(), b.begin() + 4096);
    Bytes second = head(904);
    expected.insert(expected.end(), second.begin(), second.end());
    expected.insert(expected.end(), b.begin() + 4096, b.end());
    EXPECT_EQ(file, expected);
    EXPECT_TRUE(dev.Finish().empty());
}

} // namespace
