// Driver files, model data, sibling libraries, the model query accessor and
// the working folder, on both sample models and on hand-made model data.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "driver_env.h"
#include "model/model_queries.h"
#include "model_codes.h"
#include "model_info.h"
#include "platform/facts.h"
#include "platform/loader_ctl.h"
#include "platform/paths.h"
#include "platform/testctl.h"
#include "platform_testing/fresh_root.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/spool.h"

namespace {

using namespace sheetwright;
using ui_test::Bytes;

// A small model data file: header, offset table with code 7 only, and a
// component table of the given entries.
struct Component {
    DWORD id;
    DWORD kind;
    const char* name;
};
Bytes HandModel(const std::vector<Component>& components) {
    Bytes b(16, 0);
    std::memcpy(b.data(), "NKSP", 4);
    auto put32 = [&b](size_t at, DWORD v) { std::memcpy(b.data() + at, &v, 4); };
    const size_t table = 16;
    b.resize(table + 4 * 7, 0); // offset table, codes 1..7
    const size_t record = b.size();
    put32(12, table);
    put32(table + 4 * 6, static_cast<DWORD>(record));
    b.resize(record + 4 + 24 * components.size(), 0);
    put32(record, static_cast<DWORD>(components.size()));
    for (size_t i = 0; i < components.size(); ++i) {
        put32(record + 4 + 24 * i, components[i].id);
        put32(record + 8 + 24 * i, components[i].kind);
        std::strncpy(reinterpret_cast<char*>(b.data() + record + 12 + 24 * i), components[i].name,
                     16);
    }
    put32(4, static_cast<DWORD>(b.size()));
    put32(8, 16);
    return b;
}

std::u16string NameOf(const Bytes& model, DWORD which) {
    HANDLE heap = HeapCreate(0, 8192, 0);
    LPWSTR name = FindDataFileModuleName(model.data(), heap, which);
    std::u16string s = name ? std::u16string(name) : u"<none>";
    HeapDestroy(heap);
    return s;
}

TEST(DriverEnvironment, ComponentNamesByKindAndSelector) {
    Bytes model = HandModel({{20, 6, "Msmith%s.DLL"},
                             {22, 7, "Sheet%s.DLL"},
                             {23, 5, "Res%s.DLL"},
                             {99, 1, "Other.DLL"}});
    struct Case {
        DWORD which;
        std::u16string name;
    } cases[] = {
        {kSelectModelsmith, u"Msmith64.DLL"}, // kind 6: the 64-bit code
        {kSelectSheetwright, u"Sheet32.DLL"}, // kind 7: the 32-bit code
        {kSelectResbundle, u"Res%s.DLL"},     // any other kind: unchanged, "%s" included
        {kSelectResbundleForSheet, u"Res%s.DLL"}, {4, u"<none>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NameOf(model, c.which), c.name) << c.which;
    EXPECT_EQ(NameOf(HandModel({{22, 1, "Sheetwright.DLL"}}), kSelectModelsmith), u"<none>");
    EXPECT_EQ(NameOf(HandModel({}), kSelectModelsmith), u"<none>");
}

TEST(DriverEnvironment, ComponentTableBeyondTheDataIsNotRead) {
    Bytes model = HandModel({{20, 1, "Modelsmith.DLL"}});
    // The count says more entries than the file holds.
    DWORD record;
    std::memcpy(&record, model.data() + 16 + 24, 4);
    DWORD count = 1000;
    std::memcpy(model.data() + record, &count, 4);
    EXPECT_EQ(NameOf(model, kSelectModelsmith), u"<none>");
    // The offset table lies past the end.
    Bytes far = HandModel({{20, 1, "Modelsmith.DLL"}});
    DWORD off = static_cast<DWORD>(far.size());
    std::memcpy(far.data() + 12, &off, 4);
    EXPECT_EQ(NameOf(far, kSelectModelsmith), u"<none>");
}

TEST(DriverEnvironment, ModelDataHeaderChecks) {
    Bytes good = HandModel({{20, 1, "Modelsmith.DLL"}});
    EXPECT_TRUE(IsModelDataHeaderValid(good.data(), static_cast<DWORD>(good.size())));
    // A file past the largest model data is refused by its size alone, before
    // it is copied whole.
    Bytes huge = good;
    const DWORD hugeSize = model::kMaxModelDataBytes + 4096;
    std::memcpy(huge.data() + 4, &hugeSize, 4);
    EXPECT_FALSE(IsModelDataHeaderValid(huge.data(), hugeSize));
    struct Case {
        const char* what;
        size_t at;
        DWORD value;
    } cases[] = {
        {"size one byte more", 4, static_cast<DWORD>(good.size() + 1)},
        {"size one byte less", 4, static_cast<DWORD>(good.size() - 1)},
        {"bound equal to the size", 8, static_cast<DWORD>(good.size())},
        {"wrong magic", 0, 0x5053414E},
    };
    for (const auto& c : cases) {
        Bytes b = good;
        std::memcpy(b.data() + c.at, &c.value, 4);
        EXPECT_FALSE(IsModelDataHeaderValid(b.data(), static_cast<DWORD>(b.size()))) << c.what;
        ui_test::InstallPrinter(u"Bad", b);
        HANDLE printer = nullptr;
        ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Bad"), &printer, nullptr));
        EXPECT_EQ(LoadDriverDataFile(printer), nullptr) << c.what;
        ClosePrinter(printer);
    }
}

TEST(DriverEnvironment, ModelAccessOnBothSamples) {
    for (const char* sample : {"CX5540", "LP1220"}) {
        SCOPED_TRACE(sample);
        std::u16string name(sample, sample + std::strlen(sample));
        ui_test::InstallPrinter(name, ui_test::SampleModel(sample));
        ui_test::BoundPrinter p(name);
        ASSERT_TRUE(p.ok());

        // Constructor C loads everything itself; the answer is the maker's name.
        CModelInfo maker(p.printer(), model::kQueryFirstModelName, 0, 1);
        ASSERT_NE(maker.GetData(), nullptr);
        EXPECT_EQ(GetLastError(), 0u);
        EXPECT_STREQ(static_cast<const char*>(maker.GetData()), "Velmora");
        maker.Release();

        // Constructor A on the binding: the component table by role number.
        CModelInfo resbundle(p.binding(), model::kQueryComponents, model::kComponentResbundle, 1);
        ASSERT_NE(resbundle.GetData(), nullptr);
        EXPECT_EQ(resbundle.GetCount(), 1u);
        resbundle.Release();

        // Role number 10 (the device picture library) asks entry 33, which only
        // the colour model has.
        CModelInfo picture(p.binding(), model::kQueryComponents, 10, 1);
        EXPECT_EQ(picture.Id(), 33);
        void* data = nullptr;
        DWORD count = 7;
        DWORD r = picture.GetBlock(&data, &count);
        if (name == u"CX5540") {
            EXPECT_EQ(r, 0u);
            EXPECT_NE(data, nullptr);
            EXPECT_EQ(count, 1u);
        } else {
            EXPECT_NE(r, 0u);
            EXPECT_EQ(data, nullptr);
            EXPECT_EQ(count, 0u);
            // A failed query is not asked again.
            EXPECT_EQ(picture.GetData(), nullptr);
            EXPECT_EQ(GetLastError(), r);
        }
        picture.Release();

        // Sibling libraries by the names of the component table.
        HMODULE sheetwright =
            LoadDriverModule(p.printer(), p.binding()->modelData, kSelectSheetwright);
        EXPECT_NE(sheetwright, nullptr);
        if (sheetwright) FreeLibrary(sheetwright);
        EXPECT_EQ(LoadDriverModule(p.printer(), p.binding()->modelData, 4), nullptr);
        EXPECT_EQ(LoadDriverModule(p.printer(), nullptr, kSelectModelsmith), nullptr);
        // Resbundle is named but not installed in this folder.
        EXPECT_EQ(LoadDriverModule(p.printer(), p.binding()->modelData, kSelectResbundle), nullptr);
    }
}

TEST(DriverEnvironment, ModelInfoTwoCallsAndFailures) {
    ui_test::InstallPrinter(u"P1", ui_test::SampleModel("CX5540"));
    ui_test::BoundPrinter p(u"P1");
    ASSERT_TRUE(p.ok());

    // GetBlock without a count pointer does not ask.
    CModelInfo info(p.binding(), model::kQueryFirstModelName, 0, 1);
    EXPECT_EQ(info.GetBlock(nullptr, nullptr), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(info.Length(), 0u);
    EXPECT_EQ(info.Result(), 0u);
    void* data = nullptr;
    DWORD count = 0;
    EXPECT_EQ(info.GetBlock(&data, &count), 0u);
    EXPECT_EQ(info.Length(), 8u); // "Velmora" and its terminator
    info.Release();

    // No binding at all: every query answers 127; a binding that could not be
    // made (no Modelsmith): 87.
    CModelInfo unbound(static_cast<const ModelBlock*>(nullptr), model::kQueryFirstModelName, 0, 1);
    EXPECT_EQ(unbound.Query(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    unbound.Release();
    platform::test::MakeModuleAbsent(u"Modelsmith.DLL");
    CModelInfo missing(p.printer(), model::kQueryFirstModelName, 0, 1);
    EXPECT_EQ(missing.Query(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    missing.Release();
    platform::test::ClearAbsent();

    // An allocation failure between the two calls.
    CModelInfo starved(p.binding(), model::kQueryFirstModelName, 0, 1);
    platform::test::FailNext("GlobalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(starved.GetData(), nullptr);
    EXPECT_EQ(starved.Result(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    starved.Release();
}

TEST(DriverEnvironment, WorkingFolderOfTheModel) {
    platform::test::SetUserName(u"Ann");
    ui_test::InstallPrinter(u"P1", ui_test::SampleModel("CX5540"));
    auto source = ui_test::SampleSource("CX5540");
    source["codes"]["14"] = "";
    ui_test::InstallPrinter(u"P2", ui_test::Compile(source));
    const std::u16string base = u"C:\\Users\\Ann\\AppData\\LocalLow\\";
    struct Case {
        std::u16string printer;
        std::u16string folder;
    } cases[] = {
        {u"P1", base + u"Velmora\\Velmora CX5540 MFP\\CX5500\\"},
        {u"P2", base + u"Velmora\\Velmora CX5540 MFP\\"}, // an empty name adds nothing
    };
    for (const auto& c : cases) {
        ui_test::BoundPrinter p(c.printer);
        ASSERT_TRUE(p.ok());
        BoundModel bound{};
        BindModelInfo(&bound, p.binding());
        ASSERT_NE(bound.query, nullptr);
        std::u16string folder;
        EXPECT_TRUE(GetUserSettingsFolder(bound.query, bound.modelData, &folder));
        EXPECT_EQ(folder, c.folder);
    }
}

TEST(DriverEnvironment, BaseFolderByVersionAndShell) {
    platform::test::SetUserName(u"Ann");
    std::u16string folder;
    // The known folder.
    (void)GetLocalLowFolder(&folder); // the folder is what is checked
    EXPECT_EQ(folder, u"C:\\Users\\Ann\\AppData\\LocalLow\\");
    // Without it, the local folder with its last component made LocalLow.
    platform::test::FailNext("SHGetKnownFolderPath", 1, ERROR_FILE_NOT_FOUND);
    (void)GetLocalLowFolder(&folder); // the folder is what is checked
    EXPECT_EQ(folder, u"C:\\Users\\Ann\\AppData\\LocalLow\\");
    // Version 5: the roaming application data folder.
    platform::test::SetOsVersion(5, 1);
    (void)GetLocalLowFolder(&folder); // the folder is what is checked
    EXPECT_NE(folder.find(u"Ann"), std::u16string::npos);
    EXPECT_EQ(folder.back(), u'\\');
    // No shell folder at all: the Windows drive's profile folder.
    platform::test::FailNext("SHGetFolderPathW", 1, ERROR_FILE_NOT_FOUND);
    (void)GetLocalLowFolder(&folder); // the folder is what is checked
    EXPECT_EQ(folder, u"C:\\Documents and Settings\\Ann\\Application Data\\");
}

TEST(DriverEnvironment, CreateDirectoryTree) {
    namespace fs = std::filesystem;
    EXPECT_TRUE(CreateDirectoryTree(u"C:\\One\\Two\\Three"));
    EXPECT_TRUE(fs::is_directory(platform::HostPath(u"C:\\One\\Two\\Three")));
    EXPECT_TRUE(CreateDirectoryTree(u"C:\\One\\Two\\Three\\")); // exists already
    ui_test::WriteHostFile(platform::HostPath(u"C:\\One\\File"), {1});
    EXPECT_FALSE(CreateDirectoryTree(u"C:\\One\\File"));        // a file, not a folder
    EXPECT_FALSE(CreateDirectoryTree(u"C:\\One\\File\\Below")); // parent is a file
    EXPECT_FALSE(CreateDirectoryTree(u"Q:\\Nowhere"));          // a drive root is never made
}

TEST(DriverEnvironment, StringCopiesEndWithinTheirBuffer) {
    WCHAR w[4];
    MbToWideCopy(w, "abcdef", 4);
    EXPECT_EQ(std::u16string(w), u"abc");
    MbToWideCopy(w, "ab", 0);
    EXPECT_EQ(std::u16string(w), u"ab");
    char a[4];
    WideToAnsi(a, u"abcdef", 4);
    EXPECT_STREQ(a, "abc");
    WideToAnsi(a, u"xy", -1);
    EXPECT_STREQ(a, "xy");
}

} // namespace
