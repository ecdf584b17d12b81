// Binding of the driver's files, the presence check with its message, the
// document and printer events and the upgrade.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "frontdoor_fixture.h"
#include "model/model_queries.h"
#include "platform/facts.h"
#include "platform/loader_ctl.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "platform/testctl.h"
#include "platform/user_ctl.h"
#include "platform_testing/child_process.h"
#include "win/gdi.h"

namespace frontdoor_test {
namespace {

namespace ut = platform::user::test;
namespace spl = platform::spooler;

// A model data header laid out by hand: "NKSP", the size, the offset-table end and start.
Bytes Header(DWORD size, DWORD tableEnd) {
    Bytes b(size, 0);
    std::memcpy(b.data(), "NKSP", 4);
    std::memcpy(b.data() + 4, &size, 4);
    std::memcpy(b.data() + 8, &tableEnd, 4);
    return b;
}

TEST(ModelDataHeader, ThirdWordMustLieInsideTheFile) {
    struct Case {
        Bytes bytes;
        bool accepted;
    } cases[] = {
        {Header(64, 63), true},
        {Header(64, 64), false}, // the offset table would start at the end
        {Header(64, 0xFFFFFFFF), false},
        {Bytes(8, 0), false},
    };
    Bytes wrongSize = Header(64, 16);
    wrongSize[4] = 65;
    Bytes wrongMagic = Header(64, 16);
    wrongMagic[3] = 'Q';
    EXPECT_FALSE(frontdoor::IsModelDataHeader(wrongSize.data(), 64));
    EXPECT_FALSE(frontdoor::IsModelDataHeader(wrongMagic.data(), 64));
    // A file past the largest model data is refused by its size alone.
    Bytes huge = Header(64, 16);
    const DWORD hugeSize = model::kMaxModelDataBytes + 4096;
    std::memcpy(huge.data() + 4, &hugeSize, 4);
    EXPECT_FALSE(frontdoor::IsModelDataHeader(huge.data(), hugeSize));
    for (const auto& c : cases)
        EXPECT_EQ(frontdoor::IsModelDataHeader(c.bytes.data(), static_cast<DWORD>(c.bytes.size())),
                  c.accepted);
}

class EntryPoints : public FrontdoorTest {};

TEST_F(EntryPoints, ComponentNamesAndDriverFolder) {
    Open(SampleModel("CX5540"));
    LPVOID data = frontdoor::MapDriverDataFile(printer);
    ASSERT_NE(data, nullptr);
    HANDLE heap = HeapCreate(0, 8192, 0);
    EXPECT_EQ(std::u16string(frontdoor::GetComponentName(data, heap, 22)), u"Sheetwright.DLL");
    EXPECT_EQ(std::u16string(frontdoor::GetComponentName(data, heap, 20)), u"Modelsmith.DLL");
    EXPECT_EQ(frontdoor::GetComponentName(data, heap, 77), nullptr);
    HeapDestroy(heap);
    WCHAR folder[MAX_PATH];
    ASSERT_TRUE(frontdoor::FindDriverDirectory(printer, folder, MAX_PATH));
    EXPECT_EQ(std::u16string(folder), DriverFolder(u"P"));
    EXPECT_EQ(frontdoor::ComponentIdOfIndex(3), 23u);
    EXPECT_EQ(frontdoor::ComponentIdOfIndex(4), 0u);
    GlobalFree(data);
}

TEST_F(EntryPoints, RefusedModelDataFailsTheSheetAfterOneMessage) {
    Bytes model = SampleModel("CX5540");
    DWORD size = static_cast<DWORD>(model.size());
    std::memcpy(model.data() + 8, &size, 4); // the third word no longer below the size
    ut::AnswerNextMessageBox(IDOK); // the install asks for the driver's default device mode
    Open(model);
    EXPECT_EQ(frontdoor::MapDriverDataFile(printer), nullptr);
    size_t before = ut::MessageBoxLog().size();
    ut::AnswerNextMessageBox(IDOK);
    DOCUMENTPROPERTYHEADER header{sizeof header, 0,       printer, const_cast<LPWSTR>(u"P"),
                                  nullptr,       nullptr, 0,       DM_IN_PROMPT};
    PROPSHEETUI_INFO info{sizeof info, PROPSHEETUI_INFO_VERSION, 0, PROPSHEETUI_REASON_INIT};
    info.lParamInit = reinterpret_cast<LPARAM>(&header);
    EXPECT_EQ(Entry<PFN_DrvDocumentPropertySheets>("DrvDocumentPropertySheets")(&info, 0), -1);
    auto boxes = ut::MessageBoxLog();
    ASSERT_EQ(boxes.size(), before + 1);
    EXPECT_EQ(boxes.back().caption, u"Error");
    EXPECT_EQ(boxes.back().text,
              u"Cannot find the necessary files.\r\nInstall the printer driver again.");
    EXPECT_EQ(boxes.back().type, 0x200010u);
    EXPECT_EQ(UiLog(), "");
}

TEST_F(EntryPoints, DriverFileCheck) {
    Open(SampleModel("CX5540"));
    EXPECT_TRUE(frontdoor::CheckDriverFiles(printer, frontdoor::kCheckDocument));
    // The short check does not look for the spool-side library; the full one does.
    std::filesystem::remove(HostFile(u"P", u"Metaweave.DLL"));
    EXPECT_TRUE(frontdoor::CheckDriverFiles(printer, frontdoor::kCheckDriverDefault));
    ut::AnswerNextMessageBox(IDOK);
    EXPECT_FALSE(frontdoor::CheckDriverFiles(printer, frontdoor::kCheckDocument));
    std::ofstream(HostFile(u"P", u"Metaweave.DLL")) << "stand-in";
    std::filesystem::remove(HostFile(u"P", u"Gatekeep.DLL")); // named by the component table
    ut::AnswerNextMessageBox(IDOK);
    EXPECT_FALSE(frontdoor::CheckDriverFiles(printer, frontdoor::kCheckDocument));
    EXPECT_TRUE(frontdoor::CheckDriverFiles(printer, 1)); // kind 1: the short check
}

// Key 16 of query 76 says whether the spool-side program belongs to the driver.
TEST_F(EntryPoints, SpoolSideProgramOnlyWhenTheModelSaysSo) {
    for (const char* flags : {"0x00", "0x08"}) {
        SCOPED_TRACE(flags);
        nlohmann::json source = SampleSource("LP1220");
        source["codes"]["76"]["entries"] = nlohmann::json::array({{3, "0x02"}, {16, flags}});
        InstallPrinter(u"P", Compile(source));
        HANDLE p = nullptr;
        ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"P"), &p, nullptr));
        bool wanted = std::string(flags) == "0x08";
        if (wanted) ut::AnswerNextMessageBox(IDOK);
        EXPECT_EQ(frontdoor::CheckDriverFiles(p, frontdoor::kCheckDocument), wanted ? FALSE : TRUE);
        ClosePrinter(p);
    }
}

TEST_F(EntryPoints, DocumentEvents) {
    Open(SampleModel("CX5540"), Ui::Whole, true);
    auto event = Entry<PFN_DrvDocumentEvent>("DrvDocumentEvent");
    HDC dc = CreateDCW(nullptr, u"P", nullptr, nullptr);
    ASSERT_NE(dc, nullptr);
    ClearUiLog(); // creating the context sent CREATEDCPRE and CREATEDCPOST
    HMODULE recorder = GetModuleHandleW((DriverFolder(u"P") + u"RECORDER.DLL").c_str());
    ASSERT_NE(recorder, nullptr);
    auto log = [&] {
        return std::string(As<const char* (*)()>(GetProcAddress(recorder, "RecorderLog"))());
    };
    auto clear = [&] { As<void (*)()>(GetProcAddress(recorder, "RecorderClear"))(); };
    clear();
    // A document without an output name still tells the graphics library: no input.
    DOCINFOW doc{sizeof doc, u"Report", nullptr, nullptr, 0};
    DOCINFOW* docPointer = &doc;
    EXPECT_EQ(
        event(printer, dc, DOCUMENTEVENT_STARTDOC, sizeof docPointer, &docPointer, 0, nullptr), 1);
    EXPECT_NE(log().find("esc=32767 in=0"), std::string::npos) << log();
    clear();
    doc.lpszOutput = u"C:\\out.prn";
    EXPECT_EQ(
        event(printer, dc, DOCUMENTEVENT_STARTDOC, sizeof docPointer, &docPointer, 0, nullptr), 1);
    EXPECT_NE(log().find("esc=32767 in=22"), std::string::npos) << log();
    clear();
    EXPECT_EQ(event(printer, dc, DOCUMENTEVENT_ENDDOC, 0, nullptr, 0, nullptr), 1);
    EXPECT_EQ(event(printer, dc, DOCUMENTEVENT_ABORTDOC, 0, nullptr, 0, nullptr), 1);
    EXPECT_EQ(event(printer, dc, DOCUMENTEVENT_ENDDOCPOST, 0, nullptr, 0, nullptr), 1);
    EXPECT_NE(log().find("esc=32765"), std::string::npos) << log();
    EXPECT_NE(log().find("esc=32766"), std::string::npos) << log();
    EXPECT_EQ(UiLog(), ""); // neither start, end, abort nor post reach the UI library
    EXPECT_EQ(event(printer, dc, DOCUMENTEVENT_STARTPAGE, 0, nullptr, 0, nullptr), 1);
    EXPECT_EQ(UiLog(), "document event 6\n");
    DeleteDC(dc);
    // The end of a document checks no files: it succeeds with the files gone.
    std::filesystem::remove(HostFile(u"P", u"Inkforge.DLL"));
    EXPECT_EQ(event(printer, nullptr, DOCUMENTEVENT_ENDDOC, 0, nullptr, 0, nullptr), 1);
    ut::AnswerNextMessageBox(IDOK);
    EXPECT_EQ(event(printer, nullptr, DOCUMENTEVENT_CREATEDCPRE, 0, nullptr, 0, nullptr), -1);
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

bool WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}
// Page events keep what they read of the driver between calls; another
// process changing the model data file or the driver's record is seen at the
// next event.
TEST_F(EntryPoints, PageEventsSeeTheModelFileAndTheDriverAsAnotherProcessLeftThem) {
    Open(SampleModel("CX5540"));
    auto event = Entry<PFN_DrvDocumentEvent>("DrvDocumentEvent");
    auto page = [&] {
        ClearUiLog();
        int r = event(printer, nullptr, DOCUMENTEVENT_STARTPAGE, 0, nullptr, 0, nullptr);
        return std::to_string(r) + " " + UiLog();
    };
    // In a process of its own, with its own database connection.
    auto inChild = [](const std::function<bool()>& change) {
        ASSERT_TRUE(platform_testing::RunInChildProcess(change));
    };
    const std::string model = HostFile(u"P", u"MODEL.DAT");
    Bytes original = ReadBytes(model);
    // The same model naming a UI library that is not there, written over the
    // file in place: same size, same name.
    Bytes renamed = original;
    const std::string from = "Sheetwright.DLL", to = "Sheetwrighx.DLL";
    auto at = std::search(renamed.begin(), renamed.end(), from.begin(), from.end());
    ASSERT_NE(at, renamed.end());
    std::copy(to.begin(), to.end(), at);
    std::string copy = HostFile(u"P", u"MODEL2.DAT");
    WriteBytes(copy, original);

    EXPECT_EQ(page(), "1 document event 6\n");
    EXPECT_EQ(page(), "1 document event 6\n");
    inChild([&] { return WriteBytes(model, renamed); });
    EXPECT_EQ(page(), "0 ");
    EXPECT_EQ(page(), "0 ");
    // The driver's record now names the copy of the first model.
    auto moveData = [&](const std::u16string& file) {
        inChild([&] {
            spl::DriverRecord d;
            if (!spl::FindDriver(u"P Driver", &d)) return false;
            d.dataFile = DriverFolder(u"P") + file;
            return spl::AddDriver(d) == ERROR_SUCCESS;
        });
    };
    moveData(u"MODEL2.DAT");
    EXPECT_EQ(page(), "1 document event 6\n");
    moveData(u"MODEL.DAT");
    EXPECT_EQ(page(), "0 ");
    // A file renamed over the model, as an installer replaces it.
    inChild([&] {
        return WriteBytes(model + ".new", original) &&
               std::rename((model + ".new").c_str(), model.c_str()) == 0;
    });
    EXPECT_EQ(page(), "1 document event 6\n");
}

// A failure inside an export (a failed allocation, made here by the platform's
// test seam) answers that export's failure value with the last error set, and
// reaches neither the UI library nor the caller as an exception.
TEST_F(EntryPoints, AFailureInsideAnswersEachExportsFailureValue) {
    Open(SampleModel("CX5540"));
    DRIVER_UPGRADE_INFO_1W upgrade{const_cast<LPWSTR>(u"P"), nullptr};
    LONG needed = 0;
    struct Case {
        const char* name;
        std::function<long long()> call;
        long long failure;
    };
    const Case cases[] = {
        {"DevQueryPrintEx",
         [&] {
             DEVQUERYPRINT_INFO info{};
             info.cbSize = sizeof info;
             info.hPrinter = printer;
             return Entry<PFN_DevQueryPrintEx>("DevQueryPrintEx")(&info);
         },
         FALSE},
        {"DrvConvertDevMode",
         [&] {
             return Entry<PFN_DrvConvertDevMode>("DrvConvertDevMode")(
                 const_cast<LPWSTR>(u"P"), nullptr, nullptr, &needed, CDM_DRIVER_DEFAULT);
         },
         FALSE},
        {"DrvDeviceCapabilities",
         [&] {
             return Entry<PFN_DrvDeviceCapabilities>("DrvDeviceCapabilities")(
                 printer, const_cast<LPWSTR>(u"P"), DC_PAPERS, nullptr, nullptr);
         },
         static_cast<long long>(GDI_ERROR)},
        {"DrvDocumentEvent",
         [&] {
             return Entry<PFN_DrvDocumentEvent>("DrvDocumentEvent")(
                 printer, nullptr, DOCUMENTEVENT_STARTPAGE, 0, nullptr, 0, nullptr);
         },
         -1},
        {"DrvDocumentPropertySheets",
         [&] {
             return Entry<PFN_DrvDocumentPropertySheets>("DrvDocumentPropertySheets")(nullptr, 0);
         },
         -1},
        {"DrvDevicePropertySheets",
         [&] {
             return Entry<PFN_DrvDocumentPropertySheets>("DrvDevicePropertySheets")(nullptr, 0);
         },
         -1},
        {"DrvPrinterEvent",
         [&] {
             return Entry<PFN_DrvPrinterEvent>("DrvPrinterEvent")(
                 const_cast<LPWSTR>(u"P"), PRINTER_EVENT_CACHE_REFRESH, 0, 0);
         },
         FALSE},
        {"DrvUpgradePrinter",
         [&] {
             return Entry<PFN_DrvUpgradePrinter>("DrvUpgradePrinter")(
                 1, reinterpret_cast<LPBYTE>(&upgrade));
         },
         FALSE},
    };
    ClearUiLog();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::test::FailNextExports(1);
        SetLastError(0);
        EXPECT_EQ(c.call(), c.failure);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    }
    EXPECT_EQ(UiLog(), "");
    // Without the fault the print query and the capabilities answer again.
    EXPECT_EQ(cases[2].call(), 2);
}

TEST_F(EntryPoints, UnknownEventWithoutUiLibraryOrExport) {
    Open(SampleModel("CX5540"), Ui::Bare);
    auto event = Entry<PFN_DrvDocumentEvent>("DrvDocumentEvent");
    EXPECT_EQ(event(printer, nullptr, DOCUMENTEVENT_STARTPAGE, 0, nullptr, 0, nullptr), 0);
    auto printerEvent = Entry<PFN_DrvPrinterEvent>("DrvPrinterEvent");
    EXPECT_TRUE(printerEvent(const_cast<LPWSTR>(u"P"), PRINTER_EVENT_ADD_CONNECTION, 0, 0));
    DRIVER_UPGRADE_INFO_1W upgrade{const_cast<LPWSTR>(u"P"), nullptr};
    EXPECT_TRUE(
        Entry<PFN_DrvUpgradePrinter>("DrvUpgradePrinter")(1, reinterpret_cast<LPBYTE>(&upgrade)));
}

TEST_F(EntryPoints, PrinterEventsAndUpgrade) {
    Open(SampleModel("CX5540"));
    auto printerEvent = Entry<PFN_DrvPrinterEvent>("DrvPrinterEvent");
    DWORD updates = spl::DirectoryUpdates(u"P");
    EXPECT_TRUE(printerEvent(const_cast<LPWSTR>(u"P"), PRINTER_EVENT_INITIALIZE, 0, 0));
    EXPECT_EQ(spl::DirectoryUpdates(u"P"), updates + 1);
    bool found = false;
    for (const auto& v : spl::PrinterData(u"P"))
        if (v.name == u"SPLUserModePrinterDriver") {
            found = true;
            EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
            EXPECT_EQ(
                std::u16string(reinterpret_cast<const char16_t*>(v.data.data()), v.data.size() / 2),
                u"Frontdoornt.DLL");
            EXPECT_EQ(v.data.size(), 30u); // no terminating NUL
        }
    EXPECT_TRUE(found);
    EXPECT_EQ(UiLog(), "printer event 3\n");
    ClearUiLog();
    EXPECT_TRUE(printerEvent(const_cast<LPWSTR>(u"P"), PRINTER_EVENT_CACHE_REFRESH, 0, 0));
    EXPECT_EQ(UiLog(), "printer event 5\n");
    // Without the spooler's impersonation calls the refresh fails and is not forwarded.
    ClearUiLog();
    platform::test::MakeExportAbsent(u"spoolss.dll", "RevertToPrinterSelf");
    EXPECT_FALSE(printerEvent(const_cast<LPWSTR>(u"P"), PRINTER_EVENT_CACHE_REFRESH, 0, 0));
    platform::test::ClearAbsent();
    EXPECT_EQ(UiLog(), "");

    auto upgrade = Entry<PFN_DrvUpgradePrinter>("DrvUpgradePrinter");
    DRIVER_UPGRADE_INFO_1W info{const_cast<LPWSTR>(u"P"), nullptr};
    EXPECT_TRUE(upgrade(1, reinterpret_cast<LPBYTE>(&info)));
    EXPECT_EQ(UiLog(), "upgrade 1\n");
    SetLastError(0);
    EXPECT_FALSE(upgrade(2, reinterpret_cast<LPBYTE>(&info)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    DRIVER_UPGRADE_INFO_1W missing{const_cast<LPWSTR>(u"Nobody"), nullptr};
    EXPECT_FALSE(upgrade(1, reinterpret_cast<LPBYTE>(&missing)));
    EXPECT_FALSE(upgrade(1, nullptr));
}

// A spooler write of an event that fails makes the event fail with the
// spooler's error; the user-interface library is still told of the event.
TEST_F(EntryPoints, AnEventWhoseSpoolerWriteFailsSaysSo) {
    Open(SampleModel("CX5540"));
    auto printerEvent = Entry<PFN_DrvPrinterEvent>("DrvPrinterEvent");
    auto upgrade = Entry<PFN_DrvUpgradePrinter>("DrvUpgradePrinter");
    DRIVER_UPGRADE_INFO_1W info{const_cast<LPWSTR>(u"P"), nullptr};
    struct Case {
        const char* name;
        const char* failing;
        std::function<BOOL()> call;
        const char* log;
    };
    const std::vector<Case> cases = {
        {"initialisation, publishing", "SetPrinterW",
         [&] { return printerEvent(const_cast<LPWSTR>(u"P"), PRINTER_EVENT_INITIALIZE, 0, 0); },
         "printer event 3\n"},
        {"initialisation, user-mode value", "SetPrinterDataW",
         [&] { return printerEvent(const_cast<LPWSTR>(u"P"), PRINTER_EVENT_INITIALIZE, 0, 0); },
         "printer event 3\n"},
        {"upgrade", "SetPrinterDataW", [&] { return upgrade(1, reinterpret_cast<LPBYTE>(&info)); },
         "upgrade 1\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearUiLog();
        platform::test::FailNext(c.failing, 1, ERROR_DISK_FULL);
        SetLastError(0);
        EXPECT_FALSE(c.call());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
        EXPECT_EQ(UiLog(), c.log);
        platform::test::ClearFaults();
        EXPECT_TRUE(c.call()) << "and succeeds again";
    }
}

} // namespace
} // namespace frontdoor_test

namespace frontdoor_test {
namespace {

// The events the spooler raises on its own reach the UI library through
// Frontdoor, each while the printer can still be opened.
TEST_F(EntryPoints, SpoolerRaisedPrinterEvents) {
    Open(SampleModel("CX5540"));
    ClearUiLog();
    EXPECT_EQ(spl::NotifyConfigurationChange(u"P", u"<Bidi/>"), 0u);
    EXPECT_EQ(spl::RefreshPrinterCache(u"p"), 0u);
    EXPECT_EQ(UiLog(), "printer event 8\nprinter event 5\n");
    EXPECT_EQ(spl::NotifyConfigurationChange(u"Nobody", u""),
              static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    EXPECT_EQ(spl::RefreshPrinterCache(u"Nobody"), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));

    // Deleting needs the right to, and waits for no job: it refuses while one is open.
    ClearUiLog();
    SetLastError(0);
    EXPECT_FALSE(DeletePrinter(printer)); // opened for use only
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE admin = nullptr;
    ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"P"), &admin, &all));
    DOC_INFO_1W doc{const_cast<LPWSTR>(u"job"), nullptr, const_cast<LPWSTR>(u"RAW")};
    ASSERT_NE(StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc)), 0u);
    EXPECT_FALSE(DeletePrinter(admin));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINTER_HAS_JOBS_QUEUED));
    ASSERT_TRUE(AbortPrinter(printer));
    EXPECT_EQ(UiLog(), "");

    EXPECT_TRUE(DeletePrinter(admin));
    EXPECT_EQ(UiLog(), "printer event 4\n");
    spl::PrinterRecord gone;
    EXPECT_FALSE(spl::FindPrinter(u"P", &gone));
    EXPECT_TRUE(spl::PrinterData(u"P").empty());
    HANDLE again = nullptr;
    EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"P"), &again, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    EXPECT_FALSE(DeletePrinter(admin));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    ClosePrinter(admin);
}

// A user's connection to the printer: made and removed, each heard by the UI
// library through Frontdoor, once per user.
TEST_F(EntryPoints, ConnectionEventsReachTheUiLibrary) {
    Open(SampleModel("CX5540"));
    ClearUiLog();
    platform::test::SetUserName(u"alice");
    ASSERT_TRUE(AddPrinterConnectionW(const_cast<LPWSTR>(u"P")));
    EXPECT_TRUE(AddPrinterConnectionW(const_cast<LPWSTR>(u"p")));
    EXPECT_EQ(UiLog(), "printer event 1\n");
    platform::test::SetUserName(u"bob");
    ASSERT_TRUE(AddPrinterConnectionW(const_cast<LPWSTR>(u"P")));
    ASSERT_TRUE(DeletePrinterConnectionW(const_cast<LPWSTR>(u"P")));
    EXPECT_FALSE(DeletePrinterConnectionW(const_cast<LPWSTR>(u"P")));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
    EXPECT_EQ(UiLog(), "printer event 1\nprinter event 1\nprinter event 2\n");
    platform::test::SetUserName(u"alice");
    ClearUiLog();
    ASSERT_TRUE(DeletePrinterConnectionW(const_cast<LPWSTR>(u"P")));
    EXPECT_EQ(UiLog(), "printer event 2\n");
}

} // namespace
} // namespace frontdoor_test
