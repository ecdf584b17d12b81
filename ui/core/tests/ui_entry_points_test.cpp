// The ui* exports as other libraries bind them from the built Sheetwright:
// the capability lists (records laid out by hand), the print query and its
// messages, the document events and the stubs.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devmode_helpers.h"
#include "install_option.h"
#include "model_codes.h"
#include "model/model_queries.h"
#include "platform/testctl.h"
#include "revise_devmode.h"
#include "ui/sheetwright.h"
#include "ui_entry_points.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/spool.h"

namespace {

using namespace sheetwright;

constexpr int kLetterName = 8001, kPlainName = 8512, kTrayOneName = 4854;

template <typename F> F Bind(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::u16string Slot(const BYTE* at, size_t chars) {
    std::u16string s(chars, u'\0');
    std::memcpy(s.data(), at, chars * sizeof(char16_t));
    return s.substr(0, s.find(u'\0'));
}

// CX5540 with paper, media and tray names the resource library has.
struct Exports : ::testing::Test {
    void SetUp() override {
        auto source = ui_test::SampleSource("CX5540");
        for (auto& e : source["codes"]["20"]["entries"])
            if (e["id"] == 1) e["name_id"] = kLetterName;
        for (auto& e : source["codes"]["22"]["entries"])
            if (e["id"] == 1) e["name_id"] = kPlainName;
        for (auto& e : source["codes"]["24"]["entries"])
            if (e["id"] == 1) e["name_id"] = kTrayOneName;
        ui_test::InstallPrinter(u"P", ui_test::Compile(source), {"Resbundle.DLL"});
        printer = std::make_unique<ui_test::BoundPrinter>(u"P");
        ASSERT_TRUE(printer->ok());
        module = LoadLibraryW((ui_test::DriverFolder(u"P") + u"\\Sheetwright.DLL").c_str());
        ASSERT_TRUE(module);
        enumInfo = Bind<PFN_uiEnumMyPrinterInfo>(module, "uiEnumMyPrinterInfo");
        query = Bind<PFN_uiDevQueryPrintEx>(module, "uiDevQueryPrintEx");
        ASSERT_TRUE(enumInfo && query);
    }
    void TearDown() override {
        printer.reset();
        if (module) FreeLibrary(module);
    }
    LPCVOID data() const { return printer->binding()->modelData; }
    DWORD Enum(SHORT code, std::vector<BYTE>* out, DWORD* count) {
        DWORD size = 0;
        DWORD r = enumInfo(printer->printer(), data(), code, nullptr, &size, count);
        if (r) return r;
        out->assign(size, 0);
        return enumInfo(printer->printer(), data(), code, out->data(), &size, count);
    }
    void SetFormTray(const std::vector<FormTrayRecord>& records) {
        SetPrinterDataW(printer->printer(), const_cast<LPWSTR>(kFormTrayValue), REG_BINARY,
                        reinterpret_cast<BYTE*>(const_cast<FormTrayRecord*>(records.data())),
                        static_cast<DWORD>(records.size() * sizeof(FormTrayRecord)));
    }

    std::unique_ptr<ui_test::BoundPrinter> printer;
    HMODULE module = nullptr;
    PFN_uiEnumMyPrinterInfo enumInfo = nullptr;
    PFN_uiDevQueryPrintEx query = nullptr;
};

TEST_F(Exports, EnumEdgeCases) {
    DWORD size = 99, count = 99;
    EXPECT_EQ(enumInfo(printer->printer(), data(), 12, nullptr, &size, &count),
              DWORD(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(enumInfo(printer->printer(), nullptr, kEnumPapers, nullptr, &size, &count),
              DWORD(ERROR_INVALID_DATA));
    // Pages per sheet: the size, a buffer one byte short, then the values.
    EXPECT_EQ(enumInfo(printer->printer(), data(), kEnumPagesPerSheet, nullptr, &size, &count), 0u);
    EXPECT_EQ(size, 28u);
    BYTE buffer[28];
    size = 27;
    EXPECT_EQ(enumInfo(printer->printer(), data(), kEnumPagesPerSheet, buffer, &size, &count),
              DWORD(ERROR_NOT_ENOUGH_MEMORY));
    size = 28;
    EXPECT_EQ(enumInfo(printer->printer(), data(), kEnumPagesPerSheet, buffer, &size, &count), 0u);
    const DWORD want[] = {1, 2, 4, 6, 8, 9, 16};
    EXPECT_EQ(std::memcmp(buffer, want, sizeof want), 0);
    // Papers without a size or count to answer in.
    EXPECT_EQ(enumInfo(printer->printer(), data(), kEnumPapers, nullptr, nullptr, &count),
              DWORD(ERROR_INVALID_PARAMETER));
}

// A model query through the UI library: answered by the model library, an
// absent model library is ERROR_PROC_NOT_FOUND, one that could not be loaded
// for want of memory says so.
TEST_F(Exports, ModelQueryOnTheCallersBehalf) {
    auto get = Bind<PFN_uiGetMyPrinterInfo>(module, "uiGetMyPrinterInfo");
    ASSERT_TRUE(get);
    struct Case {
        DWORD loadError; // 0: the load succeeds
        DWORD result;
    };
    for (const Case& c : {Case{0, 0}, Case{ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND},
                          Case{ERROR_OUTOFMEMORY, ERROR_OUTOFMEMORY}}) {
        if (c.loadError) platform::test::FailNext("LoadLibraryW", 1, c.loadError);
        DWORD size = 0, count = 0;
        EXPECT_EQ(
            get(printer->printer(), data(), model::kQueryPapers, 0, 1, nullptr, &size, &count),
            c.result)
            << c.loadError;
        platform::test::ClearFaults();
        if (!c.result) {
            EXPECT_GT(size, 0u);
        }
    }
}

TEST_F(Exports, PaperRecordsAsLaidOut) {
    std::vector<BYTE> list;
    DWORD count = 0;
    ASSERT_EQ(Enum(kEnumPapers, &list, &count), 0u);
    ASSERT_EQ(list.size() % 154, 0u);
    ASSERT_EQ(count, list.size() / 154);
    // The first record: Letter, its name from the resource library, width at
    // 130 and length at 132 in 0.1 mm, the rest zero.
    const BYTE* r = list.data();
    EXPECT_EQ(r[0] | r[1] << 8, 1);
    EXPECT_EQ(Slot(r + 2, 64), u"Letter");
    EXPECT_EQ(r[130] | r[131] << 8, 2159);
    EXPECT_EQ(r[132] | r[133] << 8, 2794);
    for (size_t i = 134; i < 154; ++i)
        EXPECT_EQ(r[i], 0) << i;
    // Custom sizes come after the model's papers.
    bool custom = false;
    for (DWORD i = 0; i < count; ++i)
        if ((list[i * 154] | list[i * 154 + 1] << 8) == 256)
            custom = Slot(&list[i * 154 + 2], 64) == u"Custom Size";
    EXPECT_TRUE(custom);
    // A buffer for two records takes two.
    DWORD size = 2 * 154 + 100;
    std::vector<BYTE> two(size);
    ASSERT_EQ(enumInfo(printer->printer(), data(), kEnumPapers, two.data(), &size, &count), 0u);
    EXPECT_EQ(count, 2u);
}

TEST_F(Exports, MediaBinsResolutionsAndCapabilities) {
    std::vector<BYTE> list;
    DWORD count = 0;
    ASSERT_EQ(Enum(kEnumMediaTypes, &list, &count), 0u);
    ASSERT_GE(count, 1u);
    EXPECT_EQ(list.size(), count * 132u);
    LONG id;
    std::memcpy(&id, list.data(), 4);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(Slot(list.data() + 4, 64), u"Plain Paper");

    ASSERT_EQ(Enum(kEnumBins, &list, &count), 0u);
    ASSERT_GE(count, 2u);
    EXPECT_EQ(list[0] | list[1] << 8, 7);
    EXPECT_EQ(list[(count - 1) * 50] | list[(count - 1) * 50 + 1] << 8, 4) << "manual feed last";
    bool trayOne = false;
    for (DWORD i = 0; i < count; ++i)
        trayOne |= (list[i * 50] == 1) && Slot(&list[i * 50 + 2], 24) == u"Finisher Tray 1";
    EXPECT_TRUE(trayOne);

    ASSERT_EQ(Enum(kEnumResolutions, &list, &count), 0u);
    ASSERT_GE(count, 1u);
    DWORD x, y;
    std::memcpy(&x, list.data(), 4);
    std::memcpy(&y, list.data() + 4, 4);
    EXPECT_GT(x, 0u);
    EXPECT_GT(y, 0u);

    CapabilityRecord caps{};
    caps.wanted = 0xFFF;
    DWORD size = 55;
    EXPECT_EQ(enumInfo(printer->printer(), data(), kEnumCapabilities, &caps, &size, &count),
              DWORD(ERROR_NOT_ENOUGH_MEMORY));
    size = sizeof caps;
    ASSERT_EQ(enumInfo(printer->printer(), data(), kEnumCapabilities, &caps, &size, &count), 0u);
    EXPECT_EQ(count, 1u);
    EXPECT_TRUE(caps.answered & kCapCopies);
    EXPECT_GT(caps.copies, 0u);
    EXPECT_TRUE(caps.answered & kCapOrientation);
    EXPECT_EQ(caps.orientation, 90u);
    EXPECT_EQ(caps.printRateUnit, 1u);
    EXPECT_FALSE(caps.answered & kCapPrinterMemory);
    caps = {};
    EXPECT_EQ(enumInfo(printer->printer(), data(), kEnumCapabilities, &caps, &size, &count),
              DWORD(ERROR_NOT_SUPPORTED))
        << "nothing wanted, nothing answered";
}

// The staple answer asks the fitted finisher's staple list: the sample's
// first finisher staples and has no fold unit, the second has both.
TEST_F(Exports, StapleAnswerFollowsTheFinishersStapleList) {
    struct Case {
        WORD finisher; // 0: none fitted
        DWORD units;
        DWORD staple;
    } cases[] = {{0, 0, 0},
                 {1, 0, 1},
                 {2, kFinisherPunchUnit, 1},
                 {2, kFinisherPunchUnit | kFinisherFoldUnit, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.finisher);
        {
            CInstallOption options(printer->printer(), printer->binding());
            options.ClearOption(kOptionFinisher);
            if (c.finisher) options.Find(kOptionFinisher, c.finisher)->state = 1 | c.units;
            ASSERT_EQ(options.Write(), 0u);
        }
        CapabilityRecord caps{};
        caps.wanted = kCapStaple;
        DWORD size = sizeof caps, count = 0;
        ASSERT_EQ(enumInfo(printer->printer(), data(), kEnumCapabilities, &caps, &size, &count),
                  0u);
        EXPECT_TRUE(caps.answered & kCapStaple);
        EXPECT_EQ(caps.staple, c.staple);
    }
}

TEST_F(Exports, MediaReadyFromTheFormTrayTable) {
    std::vector<BYTE> list;
    DWORD count = 0;
    ASSERT_EQ(Enum(kEnumMediaReady, &list, &count), 0u);
    EXPECT_EQ(count, 1u) << "the default paper alone";
    FormTrayRecord a{}, b{}, c{};
    a.trayId = 1;
    a.paperId = 1;
    b.trayId = 2;
    b.paperId = 9;
    c.trayId = 3;
    c.paperId = 1;
    SetFormTray({a, b, c});
    ASSERT_EQ(Enum(kEnumMediaReady, &list, &count), 0u);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(Slot(list.data(), 64), u"Letter");
}

// The print query against a form-to-tray table laid out by hand.
TEST_F(Exports, PrintQueryMessages) {
    DEVMODE_IMAGEW job{};
    ASSERT_TRUE(StampAndReviseDevmode(printer->printer(), data(), &job));
    job.dm.dmPaperSize = 1;
    job.dm.dmMediaType = 1;
    job.priv.OutputPaperId = 0;
    WCHAR text[128];
    DEVQUERYPRINT_INFO info{sizeof info, 1, printer->printer(), &job.dm, text, 128, 0};
    EXPECT_TRUE(query(&info)) << "no table: every job prints";

    std::vector<BYTE> raw(2 * kFormTrayRecordSize, 0);
    raw[4] = 1;  // tray 1
    raw[6] = 9;  // holds paper 9
    raw[20] = 2; // tray 2
    raw[22] = 9;
    raw[24] = 2; // media 2
    SetPrinterDataW(printer->printer(), const_cast<LPWSTR>(kFormTrayValue), REG_BINARY, raw.data(),
                    static_cast<DWORD>(raw.size()));
    struct Case {
        SHORT source;
        WORD paper;
        BOOL result;
        const char16_t* message;
    } cases[] = {
        {7, 1, FALSE, u"Paper (Letter,Plain Paper) not loaded in  any tray."},
        {7, 9, TRUE, u""},
        {1, 1, FALSE, u"Paper(Letter,Plain Paper) not loaded in Finisher Tray 1."},
        {1, 9, TRUE, u""},
        {4, 9, FALSE, u"Bypass Tray not supported on the device."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source * 1000 + c.paper);
        job.dm.dmDefaultSource = c.source;
        job.dm.dmPaperSize = static_cast<SHORT>(c.paper);
        std::fill(std::begin(text), std::end(text), u'#');
        text[0] = 0;
        info.cchNeeded = 0;
        EXPECT_EQ(query(&info), c.result);
        EXPECT_EQ(std::u16string(text), c.message);
        if (!c.result) {
            EXPECT_EQ(info.cchNeeded, std::u16string(c.message).size() + 1);
        }
    }
    // A message cut to the caller's room ends in a NUL.
    info.cchErrorStr = 6;
    job.dm.dmDefaultSource = 7;
    job.dm.dmPaperSize = 1;
    EXPECT_FALSE(query(&info));
    EXPECT_EQ(std::u16string(text), u"Paper");
    EXPECT_TRUE(query(nullptr));
}

TEST(FormatResString, Directives) {
    WCHAR out[64];
    DWORD needed = 0;
    FormatResString(nullptr, out, 64, &needed, u"%s|%d|%u|%x|%X|%c|%q|100%%", u"ab", -5, 7u, 255u,
                    255u, u'Z');
    EXPECT_EQ(std::u16string(out), u"ab|-5|7|ff|FF|Z|q|100%");
    EXPECT_EQ(needed, 23u);
    FormatResString(nullptr, out, 4, &needed, u"%s", u"abcdef");
    EXPECT_EQ(std::u16string(out), u"abc");
    EXPECT_EQ(needed, 7u);
    // A translated template with more directives than the message has texts.
    const WCHAR* texts[] = {u"A4"};
    FormatResStringTexts(nullptr, out, 64, &needed, u"%s|%s|%d|%s", texts, 1);
    EXPECT_EQ(std::u16string(out), u"A4||0|");
}

TEST_F(Exports, StubsAndDocumentEvents) {
    auto pre = Bind<PFN_uiPreCheckCancelJob>(module, "uiPreCheckCancelJob");
    auto post = Bind<PFN_uiPostCheckCancelJob>(module, "uiPostCheckCancelJob");
    ASSERT_TRUE(pre && post);
    ULONGLONG v = 42;
    EXPECT_TRUE(pre(nullptr, &v, 0));
    EXPECT_EQ(v, 42u);
    EXPECT_FALSE(pre(nullptr, nullptr, 0));
    EXPECT_TRUE(post(nullptr, &v, 1));
    EXPECT_EQ(v, 42u);
    // With the model block and a device mode, as the graphics library calls them.
    ModelBlock block{};
    DEVMODEW devmode{};
    for (const char* name : {"uiGetDeptCode", "uiSetDeptCode"}) {
        auto stub = Bind<PFN_uiGetDeptCode>(module, name);
        ASSERT_TRUE(stub) << name;
        EXPECT_TRUE(stub(&block, &devmode));
        EXPECT_EQ(block.modelsmith, nullptr);
    }

    auto event = Bind<PFN_uiDrvDocumentEvent>(module, "uiDrvDocumentEvent");
    ASSERT_TRUE(event);
    // No room for the answer: not handled.
    DEVMODEW* answer = nullptr;
    EXPECT_EQ(event(printer->printer(), nullptr, DOCUMENTEVENT_CREATEDCPRE, 0, nullptr, 4, &answer),
              0);
    // A foreign device mode comes back as a revised image of our own, freed
    // by the matching POST event.
    std::vector<BYTE> foreign(220 + 32, 0);
    auto* dm = reinterpret_cast<DEVMODEW*>(foreign.data());
    dm->dmSize = 220;
    dm->dmDriverExtra = 32;
    dm->dmFields = DM_ORIENTATION | DM_PAPERSIZE;
    dm->dmOrientation = DMORIENT_LANDSCAPE;
    dm->dmPaperSize = 5;
    DOCEVENT_CREATEDCPRE in{nullptr, nullptr, dm, FALSE};
    ASSERT_EQ(event(printer->printer(), nullptr, DOCUMENTEVENT_CREATEDCPRE, sizeof in, &in,
                    sizeof answer, &answer),
              1);
    ASSERT_TRUE(answer);
    EXPECT_TRUE(IsOwnDevmode(answer));
    EXPECT_EQ(answer->dmOrientation, DMORIENT_LANDSCAPE);
    EXPECT_EQ(answer->dmPaperSize, 5);
    EXPECT_EQ(event(printer->printer(), nullptr, DOCUMENTEVENT_CREATEDCPOST, sizeof answer, &answer,
                    0, nullptr),
              1);
    // No device mode at all: the model's defaults.
    DOCEVENT_CREATEDCPRE none{nullptr, nullptr, nullptr, FALSE};
    ASSERT_EQ(event(printer->printer(), nullptr, DOCUMENTEVENT_CREATEDCPRE, sizeof none, &none,
                    sizeof answer, &answer),
              1);
    EXPECT_TRUE(IsOwnDevmode(answer));
    EXPECT_EQ(event(printer->printer(), nullptr, DOCUMENTEVENT_RESETDCPOST, sizeof answer, &answer,
                    0, nullptr),
              1);
    EXPECT_EQ(event(printer->printer(), nullptr, DOCUMENTEVENT_STARTDOC, 0, nullptr, 0, nullptr),
              0);
}

TEST_F(Exports, PrinterEventsAndUpgrade) {
    auto printerEvent = Bind<PFN_uiDrvPrinterEvent>(module, "uiDrvPrinterEvent");
    auto upgrade = Bind<PFN_uiDrvUpgradePrinter>(module, "uiDrvUpgradePrinter");
    ASSERT_TRUE(printerEvent && upgrade);
    WCHAR name[] = u"P";
    EXPECT_TRUE(printerEvent(name, PRINTER_EVENT_INITIALIZE, 0, 0));
    DWORD type = 0, value = 7, got = 0;
    EXPECT_EQ(GetPrinterDataW(printer->printer(), const_cast<LPWSTR>(u"MetricCountry"), &type,
                              reinterpret_cast<BYTE*>(&value), sizeof value, &got),
              0u);
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_TRUE(value == 0 || value == 1);
    EXPECT_TRUE(printerEvent(nullptr, PRINTER_EVENT_INITIALIZE, 0, 0));
    DRIVER_UPGRADE_INFO_1W info{name, nullptr};
    EXPECT_TRUE(upgrade(1, reinterpret_cast<LPBYTE>(&info)));
    EXPECT_TRUE(upgrade(2, nullptr));
    DEVMODE_IMAGEW stored{};
    ASSERT_TRUE(ReadPrinterInfo2(printer->printer(), &stored));
    EXPECT_EQ(stored.priv.Signature, PRIVATE_DEVMODE_SIGNATURE) << "upgraded into the driver's own";
}

// What the printer event and the upgrade store for the printer and cannot
// store makes them fail with the spooler's error; the steps after it still run.
TEST_F(Exports, AnEventThatCannotStoreWhatItLearntSaysSo) {
    auto printerEvent = Bind<PFN_uiDrvPrinterEvent>(module, "uiDrvPrinterEvent");
    auto upgrade = Bind<PFN_uiDrvUpgradePrinter>(module, "uiDrvUpgradePrinter");
    ASSERT_TRUE(printerEvent && upgrade);
    WCHAR name[] = u"P";
    DRIVER_UPGRADE_INFO_1W info{name, nullptr};
    struct Case {
        const char* name;
        const char* failing;
        std::function<BOOL()> call;
    };
    const std::vector<Case> cases = {
        {"initialisation, installed options", "SetPrinterDataW",
         [&] { return printerEvent(name, PRINTER_EVENT_INITIALIZE, 0, 0); }},
        {"configuration change, installed options", "SetPrinterDataW",
         [&] { return printerEvent(name, PRINTER_EVENT_CONFIGURATION_UPDATE, 0, 0); }},
        {"upgrade, revised defaults", "SetPrinterW",
         [&] { return upgrade(1, reinterpret_cast<LPBYTE>(&info)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::test::FailNext(c.failing, 1, ERROR_DISK_FULL);
        SetLastError(0);
        EXPECT_FALSE(c.call());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
        platform::test::ClearFaults();
        EXPECT_TRUE(c.call()) << "and succeeds again";
    }
}

} // namespace
