// Print to file on the spool-side road: the slots of "OutFile.INI" shared by
// the first job, the spool side and the second job's completion.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "output_files.h"
#include "platform/paths.h"
#include "platform/testctl.h"
#include "platform/text.h"
#include "render_fixture.h"
#include "win/base.h"

namespace {

using namespace inkforge;

const std::u16string kFolder = u"C:\\Users\\alice\\Work\\spool\\";

class OutputFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CreateDirectoryW(u"C:\\Users", nullptr));
        ASSERT_TRUE(CreateDirectoryW(u"C:\\Users\\alice", nullptr));
        ASSERT_TRUE(CreateDirectoryW(u"C:\\Users\\alice\\Work", nullptr));
        ASSERT_TRUE(CreateDirectoryW(kFolder.c_str(), nullptr));
    }
    std::u16string Value(const std::u16string& key) {
        WCHAR buf[512] = {};
        GetPrivateProfileStringW(kOutputFileSection, key.c_str(), u"", buf, 512, List().c_str());
        return buf;
    }
    void SetValue(const std::u16string& key, const std::u16string& value) {
        ASSERT_TRUE(WritePrivateProfileStringW(kOutputFileSection, key.c_str(), value.c_str(),
                                               List().c_str()));
    }
    std::u16string List() { return kFolder + kOutputFileList; }
    void WriteText(const std::u16string& path, const std::string& text) {
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD n = 0;
        WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
        CloseHandle(h);
    }
};

TEST_F(OutputFilesTest, TwoPendingJobsTakeTheirOwnSlots) {
    EXPECT_TRUE(AddOutputFileEntry(kFolder, 50007, u"C:\\Out\\first.prn"));
    EXPECT_TRUE(AddOutputFileEntry(kFolder, 0x5000A, u"C:\\Out\\second.prn"));
    EXPECT_EQ(Value(u"JobID_00000000"), u"0000C357");
    EXPECT_EQ(Value(u"Dest_00000000"), u"C:\\Out\\first.prn");
    EXPECT_EQ(Value(u"JobID_00000001"), u"0005000A");
    EXPECT_EQ(Value(u"Dest_00000001"), u"C:\\Out\\second.prn");
    EXPECT_EQ(Value(u"Source_00000001"), u"");
}

// Jobs that end at the same moment book at the same moment: each takes a
// slot of its own, none is lost or written over.
TEST_F(OutputFilesTest, JobsBookingAtOnceTakeTheirOwnSlots) {
    constexpr int kThreads = 8, kJobsEach = 4;
    std::atomic<int> ready{0};
    std::atomic<int> booked{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            ++ready;
            while (ready < kThreads)
                std::this_thread::yield();
            for (int j = 0; j < kJobsEach; ++j) {
                DWORD id = 50000 + static_cast<DWORD>(t * kJobsEach + j);
                std::u16string dest =
                    u"C:\\Out\\job" + platform::FromUtf8(std::to_string(id)) + u".prn";
                if (AddOutputFileEntry(kFolder, id, dest)) ++booked;
            }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(booked, kThreads * kJobsEach);
    std::set<std::u16string> jobs;
    for (int n = 0; n < kThreads * kJobsEach; ++n) {
        char key[16];
        std::snprintf(key, sizeof key, "%08X", n);
        std::u16string slot = platform::FromUtf8(key);
        std::u16string job = Value(u"JobID_" + slot);
        ASSERT_FALSE(job.empty()) << "slot " << n;
        EXPECT_TRUE(jobs.insert(job).second) << "slot " << n << " booked twice";
        DWORD id = static_cast<DWORD>(std::stoul(platform::ToUtf8(job), nullptr, 16));
        EXPECT_EQ(Value(u"Dest_" + slot),
                  u"C:\\Out\\job" + platform::FromUtf8(std::to_string(id)) + u".prn");
    }
    EXPECT_EQ(Value(u"JobID_" + platform::FromUtf8("00000020")), u"");
}

TEST_F(OutputFilesTest, TheSecondJobsOutputReachesTheChosenFile) {
    ASSERT_TRUE(CreateDirectoryW(u"C:\\Out", nullptr));
    ASSERT_TRUE(AddOutputFileEntry(kFolder, 50001, u"C:\\Out\\first.prn"));
    ASSERT_TRUE(AddOutputFileEntry(kFolder, 50002, u"C:\\Out\\second.prn"));
    // The spool side plays both; the first's second job completes first.
    std::u16string temp1 = kFolder + u"PLA1.tmp", temp2 = kFolder + u"PLA2.tmp";
    WriteText(temp1, "one");
    WriteText(temp2, "two");
    SetValue(u"Source_00000000", temp1);
    SetValue(u"JobID_00000000", u"0000000b");
    SetValue(u"Source_00000001", temp2);
    SetValue(u"JobID_00000001", u"0000000C");
    // The job number and the file name match without regard to case.
    std::u16string upper = kFolder + u"pla1.TMP";
    EXPECT_TRUE(CompleteOutputFiles(kFolder, 11, upper));
    EXPECT_EQ(Value(u"JobID_00000000"), u"");
    EXPECT_EQ(Value(u"Dest_00000000"), u"");
    EXPECT_EQ(render_test::ReadHostFile(platform::HostPath(u"C:\\Out\\first.prn")).size(), 3u);
    EXPECT_EQ(GetFileAttributesW(temp1.c_str()), INVALID_FILE_ATTRIBUTES);
    // Slot 0 is free now and slot 1 is still found behind it.
    EXPECT_TRUE(CompleteOutputFiles(kFolder, 12, temp2));
    EXPECT_EQ(render_test::ReadHostFile(platform::HostPath(u"C:\\Out\\second.prn")).size(), 3u);
    // A new job takes the first free slot again.
    EXPECT_TRUE(AddOutputFileEntry(kFolder, 50003, u"C:\\Out\\third.prn"));
    EXPECT_EQ(Value(u"JobID_00000000"), u"0000C353");
}

TEST_F(OutputFilesTest, AnEmptyDestinationFreesTheSlotWithoutCopying) {
    std::u16string temp = kFolder + u"PLA3.tmp";
    WriteText(temp, "data");
    SetValue(u"JobID_00000000", u"00000005");
    SetValue(u"Source_00000000", temp);
    EXPECT_FALSE(CompleteOutputFiles(kFolder, 5, temp));
    EXPECT_EQ(Value(u"JobID_00000000"), u"");
    EXPECT_EQ(Value(u"Source_00000000"), u"");
    // Another job's file is not touched.
    EXPECT_FALSE(CompleteOutputFiles(kFolder, 6, temp));
    EXPECT_NE(GetFileAttributesW(temp.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(OutputFilesTest, AFailedWriteKeepsTheEarlierList) {
    ASSERT_TRUE(AddOutputFileEntry(kFolder, 50001, u"C:\\Out\\first.prn"));
    render_test::Bytes before = render_test::ReadHostFile(platform::HostPath(List()));
    platform::test::FailNext("WriteFile", 1, ERROR_DISK_FULL);
    EXPECT_FALSE(AddOutputFileEntry(kFolder, 50002, u"C:\\Out\\second.prn"));
    EXPECT_EQ(render_test::ReadHostFile(platform::HostPath(List())), before);
    EXPECT_TRUE(AddOutputFileEntry(kFolder, 50002, u"C:\\Out\\second.prn"));
    EXPECT_EQ(Value(u"JobID_00000001"), u"0000C352");
}

TEST_F(OutputFilesTest, EveryTakenSlotIsPassedOver) {
    // Ten thousand slots, all but the last taken.
    std::string text = "[OutputFileFlag]\r\n";
    for (int n = 0; n < 9999; ++n) {
        char line[64];
        std::snprintf(line, sizeof line, "JobID_%08X=00000001\r\n", n);
        text += line;
    }
    WriteText(List(), text);
    EXPECT_TRUE(AddOutputFileEntry(kFolder, 50001, u"C:\\Out\\a.prn"));
    EXPECT_EQ(Value(u"JobID_0000270F"), u"0000C351");
    EXPECT_FALSE(AddOutputFileEntry(kFolder, 50002, u"C:\\Out\\b.prn"));
}

// A gigabyte of sparse file as the list: every step refuses it from its size,
// reads none of it and leaves it as it was.
TEST_F(OutputFilesTest, AHugeListIsRefusedUnread) {
    constexpr off_t kHuge = off_t{1} << 30;
    WriteText(List(), "");
    const std::string host = platform::HostPath(List());
    ASSERT_EQ(::truncate(host.c_str(), kHuge), 0);
    const std::u16string temp = kFolder + u"~tmp1.prn";
    WriteText(temp, "printed");
    struct Case {
        const char* step;
        std::function<bool()> refused;
    } cases[] = {
        {"booking a slot", [] { return !AddOutputFileEntry(kFolder, 50001, u"C:\\Out\\a.prn"); }},
        {"completing a job", [&] { return !CompleteOutputFiles(kFolder, 50001, temp); }},
        {"sweeping dead owners", [] { return SweepDeadOutputFiles(kFolder) == 0; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        const unsigned long long before = platform::test::FileBytesRead();
        EXPECT_TRUE(c.refused());
        EXPECT_EQ(platform::test::FileBytesRead(), before);
        EXPECT_EQ(std::filesystem::file_size(host), static_cast<uintmax_t>(kHuge));
    }
}

} // namespace
