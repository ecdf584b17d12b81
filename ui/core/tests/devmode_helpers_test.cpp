// The shared device-mode rules, the corrections by the printer's
// capabilities, the input-tray chain and the port capability test.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "devmode_corrections.h"
#include "devmode_helpers.h"
#include "model_codes.h"
#include "platform/facts.h"
#include "platform/testctl.h"
#include "user_paper.h"
#include "ui_fixture.h"
#include "win/base.h"
#include "win/errors.h"

namespace {

using namespace sheetwright;

TEST(DevmodeRules, PosterGridFollowsTheOrientation) {
    struct Case {
        SHORT orientation;
        WORD x, y;
        WORD wantX, wantY;
    } cases[] = {
        {DMORIENT_PORTRAIT, 2, 1, 1, 2}, {DMORIENT_LANDSCAPE, 1, 2, 2, 1},
        {DMORIENT_PORTRAIT, 3, 2, 2, 2}, {DMORIENT_LANDSCAPE, 3, 2, 2, 2},
        {DMORIENT_PORTRAIT, 4, 4, 4, 4}, {DMORIENT_LANDSCAPE, 3, 3, 3, 3},
        {DMORIENT_PORTRAIT, 0, 0, 2, 2},
    };
    for (const Case& c : cases) {
        DEVMODE_IMAGEW image{};
        image.dm.dmOrientation = c.orientation;
        image.priv.PosterGrid[0] = c.x;
        image.priv.PosterGrid[1] = c.y;
        NormalizePosterGrid(&image);
        EXPECT_EQ(image.priv.PosterGrid[0], c.wantX) << c.x << "x" << c.y;
        EXPECT_EQ(image.priv.PosterGrid[1], c.wantY) << c.x << "x" << c.y;
    }
    EXPECT_TRUE(IsValidPosterGrid(nullptr));
}

TEST(DevmodeRules, FitToPaperFollowsTheOutputPaper) {
    DEVMODE_IMAGEW image{};
    image.priv.OutputPaperId = 9;
    SyncFitToPaperLayout(&image);
    EXPECT_EQ(image.priv.LayoutKind, kLayoutFitToPaper);
    image.priv.OutputPaperId = 0;
    SyncFitToPaperLayout(&image);
    EXPECT_EQ(image.priv.LayoutKind, 0);
    image.priv.LayoutKind = kLayoutPagesPerSheet;
    image.priv.OutputPaperId = 9;
    SyncFitToPaperLayout(&image);
    EXPECT_EQ(image.priv.LayoutKind, kLayoutPagesPerSheet);
}

TEST(DevmodeRules, EffectiveOrientationTurnsForLayouts) {
    struct Case {
        WORD layout, pages, gridX, gridY;
        DWORD emfMode;
        SHORT want;
    } cases[] = {
        {0, 0, 2, 2, 0, DMORIENT_PORTRAIT},
        {kLayoutPagesPerSheet, 2, 2, 2, 0, DMORIENT_LANDSCAPE},
        {kLayoutPagesPerSheet, 4, 2, 2, 0, DMORIENT_PORTRAIT},
        {kLayoutBooklet, 0, 2, 2, 0, DMORIENT_LANDSCAPE},
        {kLayoutPoster, 0, 1, 2, 0, DMORIENT_LANDSCAPE},
        {kLayoutPoster, 0, 2, 2, 0, DMORIENT_PORTRAIT},
        {kLayoutBooklet, 0, 2, 2, 0x4, DMORIENT_PORTRAIT},
    };
    for (const Case& c : cases) {
        DEVMODE_IMAGEW image{};
        image.dm.dmOrientation = DMORIENT_PORTRAIT;
        image.priv.LayoutKind = c.layout;
        image.priv.PagesPerSheet = c.pages;
        image.priv.PosterGrid[0] = c.gridX;
        image.priv.PosterGrid[1] = c.gridY;
        image.priv.EmfMode = c.emfMode;
        EXPECT_EQ(GetEffectiveOrientation(&image), c.want) << c.layout << "/" << c.pages;
    }
    EXPECT_EQ(GetEffectiveOrientation(nullptr), DMORIENT_PORTRAIT);
}

TEST(DevmodeRules, OutputBinCodesBackToTheModel) {
    const std::pair<DWORD, DWORD> codes[] = {{0, 1},     {1, 2},     {2, 5},     {0x101, 3},
                                             {0x201, 4}, {0x202, 6}, {0x301, 7}, {0x302, 8},
                                             {0x303, 9}, {3, 0},     {0x102, 0}};
    for (auto [code, model] : codes)
        EXPECT_EQ(UnmapModelCodeNine(code), model) << code;
}

// The one reader of device modes, over device modes laid out by hand: the
// standard part within its size, the private part only when it is the
// driver's own (an older 908-byte block moved into place), never past the
// bytes available.
TEST(DevmodeRules, LoadDevmodeImageReadsOnlyTheDriversPrivatePart) {
    auto lay = [](WORD size, WORD extra, DWORD signature, size_t tail = 0) {
        std::vector<BYTE> b(size_t{size} + extra + tail, 0xEE);
        for (size_t i = 0; i < size_t{size} + extra; ++i)
            b[i] = static_cast<BYTE>(i);
        auto put16 = [&](size_t at, WORD v) { std::memcpy(&b[at], &v, 2); };
        put16(64, 0x0320); // dmSpecVersion
        put16(66, 0x0100); // dmDriverVersion
        put16(68, size);   // dmSize
        put16(70, extra);  // dmDriverExtra
        if (extra >= 4) std::memcpy(&b[size], &signature, 4);
        return b;
    };
    auto load = [](const std::vector<BYTE>& b, size_t available, DEVMODE_IMAGEW* image) {
        return LoadDevmodeImage(reinterpret_cast<const DEVMODEW*>(b.data()), available, image);
    };
    auto at = [](const DEVMODE_IMAGEW& image, size_t i) {
        return reinterpret_cast<const BYTE*>(&image)[i];
    };
    DEVMODE_IMAGEW image{};

    // An older standard part and another driver's private part.
    std::vector<BYTE> foreign = lay(188, 16, 0x12345678);
    ASSERT_TRUE(load(foreign, foreign.size(), &image));
    EXPECT_EQ(image.dm.dmSpecVersion, 0x0401);
    EXPECT_EQ(image.dm.dmSize, DEVMODEW_SIZE);
    EXPECT_EQ(image.dm.dmDriverExtra, PRIVATE_DEVMODE_SIZE);
    EXPECT_EQ(at(image, 72), 72);   // dmFields' first byte came over
    EXPECT_EQ(at(image, 187), 187); // the last byte of the older standard part
    EXPECT_EQ(at(image, 188), 0);   // nothing beyond it
    EXPECT_EQ(image.priv.Signature, 0u) << "another driver's private part is not read";

    // The driver's own, current and older.
    std::vector<BYTE> own = lay(DEVMODEW_SIZE, PRIVATE_DEVMODE_SIZE, PRIVATE_DEVMODE_SIGNATURE);
    ASSERT_TRUE(load(own, own.size(), &image));
    EXPECT_EQ(image.priv.Signature, PRIVATE_DEVMODE_SIGNATURE);
    EXPECT_EQ(at(image, 220 + 1099), static_cast<BYTE>(220 + 1099));
    std::vector<BYTE> older =
        lay(DEVMODEW_SIZE, PRIVATE_DEVMODE_SIZE_908, PRIVATE_DEVMODE_SIGNATURE);
    ASSERT_TRUE(load(older, older.size(), &image));
    EXPECT_EQ(at(image, 220 + 743), static_cast<BYTE>(220 + 743));
    EXPECT_EQ(at(image, 220 + 744), 0) << "the twelve bytes the current layout added";
    EXPECT_EQ(at(image, 220 + 756), static_cast<BYTE>(220 + 744));
    EXPECT_EQ(at(image, 220 + 919), static_cast<BYTE>(220 + 907));

    // A private part cut by the bytes available is not read; a header cut
    // short leaves the image as it was.
    ASSERT_TRUE(load(own, DEVMODEW_SIZE + 100, &image));
    EXPECT_EQ(image.priv.Signature, 0u);
    image.dm.dmCopies = 7;
    EXPECT_FALSE(load(own, 60, &image));
    EXPECT_EQ(image.dm.dmCopies, 7);
}

TEST(PortInfo, CapabilityByConnectionAndAddress) {
    struct Case {
        DWORD connection, addressKind, capabilities;
        BOOL want;
    } cases[] = {
        {2, 0, 0x2000, TRUE},
        {2, 0, 0x4000, FALSE},
        {3, kPortAddressHost, 0x4000, TRUE},
        {3, kPortAddressWithPort, 0x4000, FALSE},
        {3, kPortAddressWithPort, 0x14000, TRUE},
        {3, kPortAddressEmpty, 0x1F000, FALSE},
        {1, 0, 0x1000, TRUE},
        {4, kPortAddressHost, 0x8000, TRUE},
        {5, 0, 0xFFFFF, FALSE},
    };
    for (const Case& c : cases) {
        SelPortHolder info{};
        info.connection = c.connection;
        info.addressKind = c.addressKind;
        EXPECT_EQ(HasPortCapability(&info, c.capabilities), c.want)
            << c.connection << "/" << c.addressKind << "/" << std::hex << c.capabilities;
    }
}

TEST(InputTrayChain, ManualFeedGoesLast) {
    ui_test::InstallPrinter(u"P", ui_test::SampleModel("CX5540"));
    ui_test::BoundPrinter p(u"P");
    ASSERT_TRUE(p.ok());
    CInstallOption options(p.printer(), p.binding());
    options.ClearOption(kOptionTray);
    InputTrayNode* chain = nullptr;
    EXPECT_EQ(BuildInputTrayChain(p.binding(), options.Entries(), options.Count(), &chain), 0u);
    std::vector<WORD> ids;
    for (InputTrayNode* n = chain; n; n = n->next)
        ids.push_back(n->trayId);
    ASSERT_GE(ids.size(), 3u);
    EXPECT_EQ(ids.front(), 7);
    EXPECT_EQ(ids.back(), 4);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), 4), 1);
    FreeInputTrayChain(chain);
    // Installed feeders add their trays before manual feed.
    CInstallOption all(p.printer(), p.binding());
    for (DWORD i = 0; i < all.Count(); ++i)
        if (all.Entries()[i].optionId == kOptionTray) all.Entries()[i].state = 1;
    EXPECT_EQ(BuildInputTrayChain(p.binding(), all.Entries(), all.Count(), &chain), 0u);
    std::vector<WORD> more;
    for (InputTrayNode* n = chain; n; n = n->next)
        more.push_back(n->trayId);
    EXPECT_GT(more.size(), ids.size());
    EXPECT_EQ(more.back(), 4);
    FreeInputTrayChain(chain);
    EXPECT_EQ(BuildInputTrayChain(p.binding(), nullptr, 0, nullptr),
              DWORD(ERROR_INVALID_PARAMETER));
    ModelBlock none{};
    EXPECT_EQ(BuildInputTrayChain(&none, nullptr, 0, &chain), DWORD(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(chain, nullptr);
}

TEST(ReviseByCapabilities, WithoutAFinisherTheFinishingGoes) {
    ui_test::InstallPrinter(u"P", ui_test::SampleModel("CX5540"));
    ui_test::BoundPrinter p(u"P");
    ASSERT_TRUE(p.ok());
    CInstallOption options(p.printer(), p.binding());
    options.ClearOption(kOptionFinisher);
    ModelOptionPair pair{p.binding(), &options};
    DEVMODE_IMAGEW image{};
    image.dm.dmFields = DM_DEFAULTSOURCE;
    image.dm.dmDefaultSource = 3; // a feeder's tray that is not fitted
    image.priv.OutputBin = 0x101;
    image.priv.PunchMode = 2;
    image.priv.StapleMode = 1;
    EXPECT_TRUE(ReviseDevmodeByCapabilities(&pair, nullptr, &image));
    EXPECT_EQ(image.priv.OutputBin, 0);
    EXPECT_EQ(image.priv.PunchMode, 0);
    EXPECT_EQ(image.priv.StapleMode, 0);
    EXPECT_EQ(image.priv.FinisherId, 99);
    EXPECT_EQ(image.dm.dmDefaultSource, 7);
    EXPECT_FALSE(ReviseDevmodeByCapabilities(&pair, nullptr, nullptr));
}

// The record made for a user paper, read back at the record's own offsets:
// sizes at words 4 to 7, the same four turned (length, width, length dots,
// width dots) at words 16 to 19; the long paper's limits (two media types on
// the sample) once the longer side passes the custom paper's largest length
// (457.2 mm) in whole millimetres.
TEST(PaperRecord, UserPaperSizesAndTheirTurnedCopies) {
    ui_test::InstallPrinter(u"P", ui_test::SampleModel("CX5540"));
    ui_test::BoundPrinter p(u"P");
    ASSERT_TRUE(p.ok());
    struct Case {
        const char* name;
        DWORD unit;
        WORD width, widthIn, length, lengthIn; // 0.1 mm and 0.01 inch
        WORD slot2, mediaCount;
    };
    const Case cases[] = {
        {"Drawing", 1, 2000, 787, 3000, 1181, 2, 3},
        {"Inches", 0, 2159, 850, 2794, 1100, 1, 3},
        {"Just short", 1, 2000, 787, 4579, 1803, 2, 3},
        {"Banner", 1, 2100, 827, 4580, 1803, 2, 2},
    };
    CUserPaper papers;
    for (const Case& c : cases) {
        UserPaperRecord r{};
        std::strcpy(r.name, c.name);
        r.SetUnit(c.unit);
        r.widthTenthMm = c.width;
        r.widthHundredthIn = c.widthIn;
        r.lengthTenthMm = c.length;
        r.lengthHundredthIn = c.lengthIn;
        ASSERT_TRUE(papers.Add(&r)) << c.name;
    }
    auto word = [](const BYTE* b, size_t index) {
        WORD v;
        std::memcpy(&v, b + 2 * index, 2);
        return v;
    };
    for (const Case& c : cases) {
        std::u16string name(c.name, c.name + std::strlen(c.name));
        const UserPaperRecord* u = papers.FindByName(name.c_str());
        ASSERT_NE(u, nullptr) << c.name;
        model::PaperRecordAnswer record;
        std::memset(&record, 0xEE, sizeof record);
        ASSERT_TRUE(GetPaperRecord(p.binding(), &papers, u->paperId, &record)) << c.name;
        const auto* b = reinterpret_cast<const BYTE*>(&record);
        EXPECT_EQ(word(b, 0), u->paperId) << c.name;
        EXPECT_EQ(word(b, 1), 0) << c.name;
        EXPECT_EQ(word(b, 2), c.slot2) << c.name;
        EXPECT_EQ(word(b, 4), c.width) << c.name;
        EXPECT_EQ(word(b, 5), c.length) << c.name;
        EXPECT_EQ(word(b, 6), c.widthIn * 6) << c.name;
        EXPECT_EQ(word(b, 7), c.lengthIn * 6) << c.name;
        EXPECT_EQ(word(b, 16), c.length) << c.name;
        EXPECT_EQ(word(b, 17), c.width) << c.name;
        EXPECT_EQ(word(b, 18), c.lengthIn * 6) << c.name;
        EXPECT_EQ(word(b, 19), c.widthIn * 6) << c.name;
        EXPECT_EQ(word(b, 12), 100) << c.name; // the limits' margins
        EXPECT_EQ(word(b, 41), c.mediaCount) << c.name;
    }
    // A user paper the list does not hold keeps the limits' fields only.
    model::PaperRecordAnswer record{};
    EXPECT_FALSE(GetPaperRecord(p.binding(), &papers, 4000, &record));
    EXPECT_EQ(record.id, 4000);
    EXPECT_EQ(record.width, 0);
    EXPECT_EQ(record.turnedLength, 0);
    EXPECT_EQ(record.mediaCount, 3);
}

TEST(ReadModelString, ComponentFour) {
    auto source = ui_test::SampleSource("LP1220");
    ui_test::InstallPrinter(u"P", ui_test::Compile(source));
    ui_test::BoundPrinter p(u"P");
    ASSERT_TRUE(p.ok());
    std::u16string text = u"stale";
    EXPECT_TRUE(ReadModelString(p.binding(), nullptr, &text));
    EXPECT_EQ(text, u"P00DPR.DAT");
    ModelBlock none{};
    EXPECT_FALSE(ReadModelString(&none, nullptr, &text));
    EXPECT_TRUE(text.empty());
}

} // namespace

namespace {

using namespace sheetwright;

// The documents folder from the shell, and built by hand when the shell
// cannot answer: in the profiles of the system's era, with or without a
// user name, and on drive C: when even the Windows folder is unknown.
TEST(SystemFolders, MyDocuments) {
    struct Case {
        const char* what;
        std::vector<const char*> failing;
        DWORD major;
        const char16_t* folder;
    } cases[] = {
        {"shell", {}, 10, u"C:\\Users\\anna\\Documents"},
        {"no shell library",
         {"LoadLibraryW"},
         6,
         u"C:\\Documents and Settings\\anna\\My Documents\\"},
        {"shell fails",
         {"SHGetFolderPathA"},
         5,
         u"C:\\Documents and Settings\\anna\\My Documents\\"},
        {"older system", {"SHGetFolderPathA"}, 4, u"C:\\Windows\\Profiles\\anna\\My Documents\\"},
        {"no user", {"SHGetFolderPathA", "GetUserNameW"}, 5, u"C:\\Windows\\My Documents\\"},
        {"no Windows folder",
         {"SHGetFolderPathA", "GetWindowsDirectoryW"},
         4,
         u"C:\\Profiles\\anna\\My Documents\\"},
    };
    platform::test::SetUserName(u"anna");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        platform::test::SetOsVersion(c.major, 0);
        for (const char* f : c.failing)
            platform::test::FailNext(f, 1, ERROR_ACCESS_DENIED);
        std::u16string folder = u"old";
        EXPECT_TRUE(GetMyDocumentsFolder(&folder));
        EXPECT_EQ(folder, c.folder);
        platform::test::ClearFaults();
    }
    EXPECT_FALSE(GetMyDocumentsFolder(nullptr));
}

} // namespace
