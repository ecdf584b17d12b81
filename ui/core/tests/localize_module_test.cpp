// The localisation cache on the built resource library with the German
// sample beside it: built when missing or stale, reused while current,
// rebuilt when broken, and the translated Basic page and strings it answers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "localize.h"
#include "platform/paths.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "platform/user_ctl.h"
#include "platform_testing/fresh_root.h"
#include "win/resources.h"
#include "win/user.h"

namespace {

using namespace sheetwright;
namespace fs = std::filesystem;

// A text snapshot of a dialog template: caption, size, font and each control.
std::string Snapshot(const DialogInfo& d) {
    auto narrow = [](const std::u16string& s) {
        std::string out;
        for (char16_t c : s) {
            if (c < 0x80) {
                out += static_cast<char>(c);
            } else if (c < 0x800) {
                out += static_cast<char>(0xC0 | (c >> 6));
                out += static_cast<char>(0x80 | (c & 0x3F));
            } else {
                out += static_cast<char>(0xE0 | (c >> 12));
                out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
        return out;
    };
    std::ostringstream o;
    o << "dialog \"" << narrow(d.caption) << "\" " << d.cx << "x" << d.cy << " font " << d.pointSize
      << " \"" << narrow(d.face) << "\"\n";
    for (const auto& i : d.items) {
        o << "  " << i.id << " ";
        if (i.classIsOrdinal)
            o << "#" << std::hex << i.classOrdinal << std::dec;
        else
            o << narrow(i.className);
        o << " " << i.x << "," << i.y << "," << i.cx << "," << i.cy << " \"" << narrow(i.title)
          << "\"\n";
    }
    return o.str();
}

class LocalizeResbundle : public ::testing::Test {
  protected:
    void SetUp() override {
        ui_test::InstallPrinter(u"P1", ui_test::SampleModel("CX5540"), {"Resbundle.DLL"});
        folder_ = platform::HostPath(ui_test::DriverFolder(u"P1"));
        for (const char* f : {"Resbun.RCT", "Resbun.RCP"})
            fs::copy_file(fs::path(RESBUNDLE_SAMPLE_DIR) / f, fs::path(folder_) / f);
        module_ = LoadLibraryW((ui_test::DriverFolder(u"P1") + u"\\Resbundle.DLL").c_str());
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override {
        if (module_) FreeLibrary(module_);
    }
    std::string Cache() { return folder_ + "/Resbundle.RCB"; }
    std::string folder_;
    HMODULE module_ = nullptr;
};

TEST_F(LocalizeResbundle, TranslatedBasicPageAndStrings) {
    CLocalize loc(module_);
    EXPECT_EQ(loc.Paths().rct, ui_test::DriverFolder(u"P1") + u"\\Resbun.RCT");
    EXPECT_FALSE(loc.IsCacheCurrent());
    ASSERT_TRUE(loc.BuildCache());
    EXPECT_EQ(loc.LanguageId(), 0x0407u);
    EXPECT_TRUE(CLocalize(module_).IsCacheCurrent());

    std::u16string s;
    loc.LoadString(7999, &s);
    EXPECT_EQ(s, u"Benutzerdefinierte Größe");
    loc.LoadString(20023, &s);
    EXPECT_EQ(s, u"Die benötigten Dateien wurden nicht gefunden.\r\nInstallieren Sie den "
                 u"Druckertreiber erneut.");
    loc.LoadString(4700, &s); // not translated
    EXPECT_EQ(s, u"None");

    DWORD size = 0;
    const BYTE* t = loc.LoadDialogTemplate(100, &size);
    DialogInfo d;
    ASSERT_TRUE(ReadDialogTemplate(t, size, &d));
    std::string golden = std::string(PKG_SOURCE_DIR) + "/ui/core/tests/golden/basic_page_de.txt";
    if (getenv("UPDATE_GOLDEN")) std::ofstream(golden) << Snapshot(d);
    std::ifstream in(golden);
    std::stringstream expect;
    expect << in.rdbuf();
    EXPECT_EQ(Snapshot(d), expect.str());
    // Another page has no translation: the library's own template.
    t = loc.LoadDialogTemplate(150, &size);
    ASSERT_TRUE(ReadDialogTemplate(t, size, &d));
    EXPECT_EQ(d.caption, u"Output");
}

TEST_F(LocalizeResbundle, StaleCurrentAndBrokenCaches) {
    ASSERT_TRUE(CLocalize(module_).BuildCache());
    auto stamp = fs::last_write_time(Cache());
    // Current: reused, not written again.
    {
        CLocalize loc(module_);
        EXPECT_TRUE(loc.IsCacheCurrent());
    }
    EXPECT_EQ(fs::last_write_time(Cache()), stamp);
    // Stale: the geometry file changed.
    fs::last_write_time(folder_ + "/Resbun.RCP",
                        fs::last_write_time(folder_ + "/Resbun.RCP") + std::chrono::seconds(3));
    EXPECT_FALSE(CLocalize(module_).IsCacheCurrent());
    EXPECT_TRUE(UpdateRCBFileOfModule(module_));
    EXPECT_NE(fs::last_write_time(Cache()), stamp);
    EXPECT_TRUE(CLocalize(module_).IsCacheCurrent());
    // Broken: a torn cache is rebuilt.
    std::error_code ec;
    fs::resize_file(Cache(), fs::file_size(Cache()) / 2, ec);
    ASSERT_FALSE(ec);
    EXPECT_FALSE(CLocalize(module_).IsCacheCurrent());
    EXPECT_TRUE(UpdateRCBFileOfModule(module_));
    EXPECT_TRUE(CLocalize(module_).IsCacheCurrent());
    std::u16string s;
    CLocalize(module_).LoadString(4051, &s);
    EXPECT_EQ(s, u"Querformat");
    // No module: nothing to do.
    EXPECT_TRUE(UpdateRCBFileOfModule(nullptr));
}

} // namespace

namespace {

INT_PTR CALLBACK Quiet(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

TEST_F(LocalizeResbundle, TranslatedPageOpensAndDraws) {
    CLocalize loc(module_);
    ASSERT_TRUE(loc.BuildCache());
    DWORD size = 0;
    const BYTE* t = loc.LoadDialogTemplate(100, &size);
    ASSERT_NE(t, nullptr);
    HWND host = CreateDialogParamW(module_, MAKEINTRESOURCEW(1300), nullptr, Quiet, 0);
    ASSERT_NE(host, nullptr);
    HWND page = CreateDialogIndirectParamW(module_, reinterpret_cast<const DLGTEMPLATE*>(t), host,
                                           Quiet, 0);
    ASSERT_NE(page, nullptr);
    ShowWindow(page, SW_SHOW);
    std::string snap = platform::user::driver::Snapshot(page);
    EXPECT_NE(snap.find("\"&Benutzerdefiniert...\""), std::string::npos) << snap;
    EXPECT_NE(snap.find("\"Papier&format :\""), std::string::npos) << snap;
    std::string golden =
        std::string(PKG_SOURCE_DIR) + "/ui/core/tests/golden/basic_page_de_window.txt";
    if (getenv("UPDATE_GOLDEN")) std::ofstream(golden) << snap;
    std::ifstream in(golden);
    std::stringstream expect;
    expect << in.rdbuf();
    EXPECT_EQ(snap, expect.str());
    std::string png = platform_testing::Root() + "/basic_page_de.png";
    EXPECT_TRUE(platform::user::driver::SavePng(page, png));
    EXPECT_GT(fs::file_size(png), 500u);
    if (const char* keep = getenv("UI_TEST_PNG"))
        fs::copy_file(png, keep, fs::copy_options::overwrite_existing);
    DestroyWindow(host);
}

} // namespace
