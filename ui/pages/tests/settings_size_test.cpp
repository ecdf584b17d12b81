// The user's settings files in place of a gigabyte of sparse file: each
// reader refuses it from its size, as a damaged file of its kind, without
// reading a byte of it, and the file stays as it was.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "font_sub_dlg.h"
#include "font_substitution_file.h"
#include "overlay_file.h"
#include "pages_fixture.h"
#include "platform/paths.h"
#include "platform/testctl.h"
#include "profile_file.h"
#include "user_paper.h"
#include "watermark_file.h"
#include "win/base.h"
#include "win/files.h"

namespace {

using namespace sheetwright;

constexpr off_t kHuge = off_t{1} << 30;

using SettingsSize = pages_test::SheetFixture;

TEST_F(SettingsSize, HugeFilesAreRefusedUnread) {
    const std::u16string folder = MakeUserFolder();
    struct Case {
        const char* format;
        std::u16string path;
        std::function<bool(const std::u16string&)> refused;
    } cases[] = {
        {"user papers", folder + kUserPaperFileName,
         [&](const std::u16string&) {
             CUserPaper papers;
             papers.SetPath(folder);
             return !papers.Read() && papers.Count() == 0;
         }},
        {"profile store", folder + kDefaultProfileStoreName,
         [&](const std::u16string& path) {
             ProfileFile store(&context_->model, path);
             return !store.ReloadProfileList() && store.ErrorCode() == kProfileMalformed;
         }},
        {"watermarks", WatermarkFilePath(context_),
         [&](const std::u16string&) {
             WatermarkList list;
             LoadWatermarkList(context_, &list);
             return !list.loaded && list.records.empty();
         }},
        {"overlay", folder + u"Letterhead.POL",
         [](const std::u16string& path) {
             std::vector<uint8_t> bytes;
             return !print_effects::ReadOverlayFileWhole(WideToAnsiString(path), &bytes) &&
                    GetLastError() == ERROR_INVALID_DATA;
         }},
        {"font substitution", FontSubFilePath(context_),
         [](const std::u16string& path) {
             std::vector<fontsub::FontSubRecord> records;
             return !fontsub::ReadFontSubFile(path.c_str(), &records) && records.empty();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        HANDLE h = CreateFileW(c.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        CloseHandle(h);
        const std::string host = platform::HostPath(c.path);
        ASSERT_EQ(::truncate(host.c_str(), kHuge), 0);
        const unsigned long long before = platform::test::FileBytesRead();
        EXPECT_TRUE(c.refused(c.path));
        EXPECT_EQ(platform::test::FileBytesRead(), before);
        EXPECT_EQ(std::filesystem::file_size(host), static_cast<uintmax_t>(kHuge));
    }
}

} // namespace
