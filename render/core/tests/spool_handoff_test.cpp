// The end-of-job hand-off of a spool-side job: the job record handed to the
// spool-side library and the parameter file of the spool-side program.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/facts.h"
#include "platform/loader_ctl.h"
#include "platform/paths.h"
#include "platform/process_ctl.h"
#include "platform/spooler_ctl.h"
#include "emf_job.h"
#include "hooks.h"
#include "pdev.h"
#include "render_fixture.h"
#include "spool_handoff.h"
#include "working_folder.h"
#include "win/base.h"

namespace {

using namespace render_test;
using namespace inkforge;
namespace fs = std::filesystem;

std::string Text(const BYTE* p, size_t n) {
    return std::string(reinterpret_cast<const char*>(p),
                       strnlen(reinterpret_cast<const char*>(p), n));
}

TEST(SpoolHandoff, RecordAndParameterFileLayouts) {
    EmfJobRecord r = MakeEmfJobRecord(42, true, true, "C:\\Users\\alice\\Work\\");
    const auto* b = reinterpret_cast<const BYTE*>(&r);
    DWORD v;
    std::memcpy(&v, b, 4);
    EXPECT_EQ(v, 42u);
    std::memcpy(&v, b + 4, 4);
    EXPECT_EQ(v, 1u | 2u | 4u | 16u);
    EXPECT_EQ(Text(b + 8, 260), "C:\\Users\\alice\\Work\\");
    for (size_t i = 8 + 21; i < 268; ++i)
        ASSERT_EQ(b[i], 0) << i;
    EXPECT_EQ(MakeEmfJobRecord(1, false, false, "").flags, 3u);
    // A folder longer than the field is cut with its NUL kept.
    EmfJobRecord longer = MakeEmfJobRecord(1, false, false, std::string(400, 'x'));
    EXPECT_EQ(Text(reinterpret_cast<const BYTE*>(longer.workingFolder), 260),
              std::string(259, 'x'));

    EmfJobParamFile p = MakeEmfJobParamFile(false, true, "C:\\W\\", "C:\\D\\MODEL.DAT");
    const auto* q = reinterpret_cast<const BYTE*>(&p);
    std::memcpy(&v, q, 4);
    EXPECT_EQ(v, 1u);
    std::memcpy(&v, q + 4, 4);
    EXPECT_EQ(v, 3u | 16u);
    EXPECT_EQ(Text(q + 8, 260), "C:\\W\\");
    EXPECT_EQ(Text(q + 268, 260), "C:\\D\\MODEL.DAT");
    EXPECT_EQ(MakeEmfJobParamFile(true, false, "", "").flags, 7u);
}

class SpoolHandoffTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::test::MakeModuleAbsent(u"wsock32.dll");
        InstallPrinter(u"P1", SampleModel("CX5540"));
        folder = platform::spooler::DriversFolder() + u"\\P1\\";
        host = platform::HostPath(folder);
    }
    std::u16string folder;
    std::string host;
};

TEST_F(SpoolHandoffTest, LibraryGetsTheRecordAndTheModelBlock) {
    TestDevice dev(u"P1", false);
    dev->spoolId = 77;
    EXPECT_FALSE(HandOffToMetaweave(dev.get(), false)); // no library: nothing happens
    fs::copy_file(RECORDING_SPOOL_PATH, host + "/Metaweave.DLL");
    EXPECT_TRUE(HandOffToMetaweave(dev.get(), true));
    Bytes rec = ReadHostFile(host + "/ZORPrintEMF.rec");
    ASSERT_EQ(rec.size(), 268u + 9u);
    DWORD v;
    std::memcpy(&v, rec.data(), 4);
    EXPECT_EQ(v, 77u);
    std::memcpy(&v, rec.data() + 4, 4);
    EXPECT_EQ(v & ~4u, 3u | 16u);
    EXPECT_EQ(Text(rec.data() + 8, 260).substr(0, 3), "C:\\");
    EXPECT_EQ(std::string(rec.begin() + 268, rec.end()), "model=yes");
    EXPECT_EQ(platform::test::ModuleLoadCount(u"Metaweave.DLL"), 0);
}

TEST_F(SpoolHandoffTest, ProgramGetsTheSpoolIdAndTheParameterFile) {
    fs::copy_file(RECORDING_PROMPT_PATH, host + "/Metaweave.EXE");
    struct Case {
        DWORD version;
        bool asUser;
        bool low;
    } cases[] = {{0x60001, true, true}, {0x50001, false, false}};
    for (const Case& c : cases) {
        TestDevice dev(u"P1", false);
        dev->spoolId = 5;
        dev->osVersion = c.version;
        std::u16string param;
        ASSERT_TRUE(StartEmfProcessorProgram(dev.get(), false, folder, &param));
        EXPECT_EQ(param.ends_with(u"Low\\VLM00005.KPI"), c.low);
        Bytes file = ReadHostFile(platform::HostPath(param));
        ASSERT_EQ(file.size(), 528u);
        DWORD v;
        std::memcpy(&v, file.data(), 4);
        EXPECT_EQ(v, 1u);
        EXPECT_EQ(Text(file.data() + 268, 260), [&] {
            std::string s;
            for (char16_t ch : folder + u"MODEL.DAT")
                s += static_cast<char>(ch);
            return s;
        }());
        auto launches = platform::test::ProcessLaunches();
        ASSERT_FALSE(launches.empty());
        EXPECT_EQ(launches.back().asUser, c.asUser);
        ASSERT_EQ(launches.back().arguments.size(), 2u);
        EXPECT_EQ(launches.back().arguments[1], u"5");
    }
    // Without the program the parameter file does not stay behind.
    fs::remove(host + "/Metaweave.EXE");
    TestDevice dev(u"P1", false);
    dev->spoolId = 6;
    dev->osVersion = 0x50001;
    EXPECT_FALSE(StartEmfProcessorProgram(dev.get(), false, folder));
    WCHAR temp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    EXPECT_EQ(GetFileAttributesW((std::u16string(temp, n) + u"VLM00006.KPI").c_str()),
              INVALID_FILE_ATTRIBUTES);
}

} // namespace

namespace {

using namespace render_test;
using namespace inkforge;

// The end of a spool-side document hands the job over only when it has pages
// and was neither cancelled nor left with a page open.
TEST_F(SpoolHandoffTest, EndOfASpoolSideDocumentHandsTheJobOver) {
    fs::copy_file(RECORDING_SPOOL_PATH, host + "/Metaweave.DLL");
    struct Case {
        DWORD pages;
        DWORD flags;
        bool handed;
    } cases[] = {{2, job::Started, true},
                 {0, job::Started, false},
                 {2, job::Started | job::Cancelled, false},
                 {2, job::Started | job::PageOpen, false}};
    for (const Case& c : cases) {
        fs::remove(host + "/ZORPrintEMF.rec");
        TestDevice dev(u"P1", false);
        SURFOBJ so{};
        so.dhpdev = reinterpret_cast<DHPDEV>(dev.get());
        dev->modeFlags = mode::SpoolSide;
        dev->osVersion = 0x60001;
        dev->spoolId = 31;
        dev->jobId = 31;
        dev->pageCount = c.pages;
        dev->jobFlags = c.flags;
        ASSERT_TRUE(CreateSpoolPackage(dev.get()));
        EXPECT_TRUE(DrvEndDoc(&so, 0));
        EXPECT_EQ(fs::exists(host + "/ZORPrintEMF.rec"), c.handed) << c.pages << " " << c.flags;
        EXPECT_FALSE(dev->jobFlags & (job::Started | job::PageOpen));
    }
    // A model that asks for the spool-side program starts it instead.
    fs::copy_file(RECORDING_PROMPT_PATH, host + "/Metaweave.EXE");
    fs::remove(host + "/ZORPrintEMF.rec");
    TestDevice dev(u"P1", false);
    SURFOBJ so{};
    so.dhpdev = reinterpret_cast<DHPDEV>(dev.get());
    dev->modeFlags = mode::SpoolSide;
    dev->modelCaps = caps::SpoolSideProgram;
    dev->osVersion = 0x60001;
    dev->jobId = 32;
    dev->pageCount = 1;
    dev->jobFlags = job::Started;
    ASSERT_TRUE(CreateSpoolPackage(dev.get()));
    EXPECT_TRUE(DrvEndDoc(&so, 0));
    EXPECT_FALSE(fs::exists(host + "/ZORPrintEMF.rec"));
    auto launches = platform::test::ProcessLaunches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].arguments.back(), u"50032");
}

// On systems before Windows 2000 the spool side plays the spooler's own
// files of the job: copied from the spooler's folder into the working
// folder's spool folder (made when missing), then the job is handed over as
// one not printed to a file. Without the files nothing is handed over and
// the end fails.
TEST_F(SpoolHandoffTest, EarlierSystemsHandOverCopiesOfTheSpoolersFiles) {
    fs::copy_file(RECORDING_SPOOL_PATH, host + "/Metaweave.DLL");
    const std::string spooler = platform::HostPath(u"C:\\Windows\\System32\\spool\\PRINTERS");
    fs::create_directories(spooler);
    const struct {
        bool files;
        bool handed;
    } cases[] = {{true, true}, {false, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.files);
        fs::remove(host + "/ZORPrintEMF.rec");
        if (c.files) {
            std::ofstream(spooler + "/00042.SPL", std::ios::binary) << "SPL";
            std::ofstream(spooler + "/00042.SHD", std::ios::binary) << "SHD";
        } else {
            fs::remove(spooler + "/00042.SPL");
            fs::remove(spooler + "/00042.SHD");
        }
        TestDevice dev(u"P1", false);
        SURFOBJ so{};
        so.dhpdev = reinterpret_cast<DHPDEV>(dev.get());
        dev->modeFlags = mode::SpoolSide;
        dev->osVersion = 0x40000;
        dev->docStarted = 0;
        dev->spoolId = dev->jobId = 42;
        dev->pageCount = 2;
        dev->jobFlags = job::Started;
        std::u16string working;
        ASSERT_TRUE(GetWorkingFolder(dev.get(), &working));
        const std::string copies = platform::HostPath(working + u"spool");
        fs::remove_all(copies);
        EXPECT_EQ(DrvEndDoc(&so, 0) != FALSE, c.handed);
        EXPECT_EQ(fs::exists(host + "/ZORPrintEMF.rec"), c.handed);
        EXPECT_FALSE(dev->jobFlags & job::Started);
        if (!c.handed) continue;
        EXPECT_EQ(ReadHostFile(copies + "/XLE00042.SPL"), (Bytes{'S', 'P', 'L'}));
        EXPECT_EQ(ReadHostFile(copies + "/XLE00042.SHD"), (Bytes{'S', 'H', 'D'}));
        Bytes rec = ReadHostFile(host + "/ZORPrintEMF.rec");
        ASSERT_GE(rec.size(), 8u);
        DWORD v;
        std::memcpy(&v, rec.data(), 4);
        EXPECT_EQ(v, 42u);
        std::memcpy(&v, rec.data() + 4, 4);
        EXPECT_FALSE(v & 4u) << "not printed to a file";
    }
}

} // namespace
