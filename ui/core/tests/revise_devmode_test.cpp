// uiReviseDevmodeEx through the built library on both sample models: a table
// of device modes the system meets (the model's defaults, an older
// version's, a foreign driver's, short and oversized ones, refused
// combinations), each read and written only within its own sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "devmode_helpers.h"
#include "install_option.h"
#include "kinsoku_rules.h"
#include "model_codes.h"
#include "revise_devmode.h"
#include "user_paper.h"
#include "ui/sheetwright.h"
#include "ui_fixture.h"
#include "win/base.h"

namespace {

using namespace sheetwright;

constexpr BYTE kGuard = 0xC5;
constexpr size_t kGuardBytes = 64;
// Both sample models feed this envelope from the automatic and the manual tray only.
constexpr SHORT kEnvelopeCom10 = 20, kTray1 = 1;

// A device mode of `size` + `extra` bytes in a buffer that ends in guard bytes.
struct Buffer {
    std::vector<BYTE> bytes;
    size_t used;
    Buffer(WORD size, WORD extra, const void* from = nullptr, size_t fromBytes = 0)
        : bytes(static_cast<size_t>(size) + extra + kGuardBytes, 0), used(size + extra) {
        if (from) std::memcpy(bytes.data(), from, std::min(fromBytes, used));
        std::memset(bytes.data() + used, kGuard, kGuardBytes);
        dm()->dmSize = size;
        dm()->dmDriverExtra = extra;
    }
    DEVMODEW* dm() { return reinterpret_cast<DEVMODEW*>(bytes.data()); }
    BYTE* priv() { return bytes.data() + dm()->dmSize; }
    bool GuardIntact() const {
        for (size_t i = used; i < bytes.size(); ++i)
            if (bytes[i] != kGuard) return false;
        return true;
    }
};

// The library as other libraries bind it.
struct Library {
    explicit Library(const std::u16string& printer) {
        module = LoadLibraryW((ui_test::DriverFolder(printer) + u"\\Sheetwright.DLL").c_str());
        if (module)
            revise = reinterpret_cast<PFN_uiReviseDevmodeEx>(
                reinterpret_cast<void (*)()>(GetProcAddress(module, "uiReviseDevmodeEx")));
    }
    ~Library() {
        if (module) FreeLibrary(module);
    }
    HMODULE module = nullptr;
    PFN_uiReviseDevmodeEx revise = nullptr;
};

struct Model {
    const char* name;
    SHORT refusedPaper; // a paper that refuses the media type below
    DWORD refusedMedia;
};

class Revision : public ::testing::TestWithParam<Model> {
  protected:
    void SetUp() override {
        ui_test::InstallPrinter(u"P", ui_test::SampleModel(GetParam().name));
        printer = std::make_unique<ui_test::BoundPrinter>(u"P");
        lib = std::make_unique<Library>(u"P");
        ASSERT_TRUE(printer->ok());
        ASSERT_TRUE(lib->revise);
        defaults = std::make_unique<DEVMODE_IMAGEW>();
        StampDevmodeHeader(defaults.get());
        ASSERT_EQ(Revise(nullptr, &defaults->dm, kReviseDefaults), 0u);
    }
    void TearDown() override {
        lib.reset();
        printer.reset();
    }
    DWORD Revise(DEVMODEW* old, DEVMODEW* dm, DWORD mode) {
        return lib->revise(printer->printer(), printer->binding()->modelData, old, dm, mode);
    }

    std::unique_ptr<ui_test::BoundPrinter> printer;
    std::unique_ptr<Library> lib;
    std::unique_ptr<DEVMODE_IMAGEW> defaults;
};

TEST_P(Revision, DefaultsAreTheModelsAndAFixedPoint) {
    const DEVMODE_IMAGEW& d = *defaults;
    EXPECT_EQ(d.priv.Signature, PRIVATE_DEVMODE_SIGNATURE);
    EXPECT_EQ(d.dm.dmSize, DEVMODEW_SIZE);
    EXPECT_EQ(d.dm.dmDriverExtra, PRIVATE_DEVMODE_SIZE);
    EXPECT_NE(d.dm.dmPaperSize, 0);
    WORD w = 0, l = 0;
    ASSERT_TRUE(GetModelPaperSize(printer->binding(), static_cast<WORD>(d.dm.dmPaperSize), &w, &l));
    EXPECT_EQ(d.dm.dmPaperWidth, static_cast<SHORT>(w));
    EXPECT_EQ(d.dm.dmPaperLength, static_cast<SHORT>(l));
    EXPECT_EQ(d.priv.MetafileSpoolingOff, 1);
    EXPECT_TRUE(d.priv.DuplexMarginFlags & 1 || d.dm.dmDuplex == DMDUP_SIMPLEX);
    EXPECT_EQ(d.priv.FrontCoverSource, 4);
    EXPECT_EQ(d.priv.BackCoverSource, 4);
    EXPECT_EQ(d.priv.FrontCoverMedia, d.dm.dmMediaType);
    // Revised against itself, a second time changes nothing: the constraint
    // resolution and the fix-ups have reached their fixed point.
    DEVMODE_IMAGEW once = d, old = d;
    ASSERT_EQ(Revise(&old.dm, &once.dm, kReviseCarryOver), 0u);
    DEVMODE_IMAGEW twice = once;
    old = once;
    ASSERT_EQ(Revise(&old.dm, &twice.dm, kReviseCarryOver), 0u);
    for (size_t i = 0; i < sizeof once; ++i)
        ASSERT_EQ(reinterpret_cast<const BYTE*>(&twice)[i], reinterpret_cast<const BYTE*>(&once)[i])
            << "byte " << i;
}

TEST_P(Revision, TableOfDeviceModes) {
    const DEVMODE_IMAGEW& d = *defaults;
    struct Case {
        const char* what;
        WORD size, extra;
        std::function<void(Buffer&)> fill;
        DWORD result;
        std::function<void(Buffer&)> check;
    };
    auto copyDefaults = [&](Buffer& b) {
        std::memcpy(b.bytes.data(), &d.dm, std::min<size_t>(b.dm()->dmSize, sizeof d.dm));
    };
    const Model m = GetParam();
    std::vector<Case> cases = {
        {"an older version's (908-byte private block)", DEVMODEW_SIZE, PRIVATE_DEVMODE_SIZE_908,
         [&](Buffer& b) {
             copyDefaults(b);
             std::memcpy(b.priv(), &d.priv, PRIVATE_DEVMODE_908_SHIFT_FROM);
             std::memcpy(b.priv() + PRIVATE_DEVMODE_908_SHIFT_FROM,
                         reinterpret_cast<const BYTE*>(&d.priv) + PRIVATE_DEVMODE_908_SHIFT_FROM +
                             PRIVATE_DEVMODE_908_SHIFT,
                         PRIVATE_DEVMODE_SIZE_908 - PRIVATE_DEVMODE_908_SHIFT_FROM);
             b.dm()->dmSize = DEVMODEW_SIZE;
             b.dm()->dmDriverExtra = PRIVATE_DEVMODE_SIZE_908;
             b.dm()->dmCopies = 3;
             b.dm()->dmOrientation = DMORIENT_LANDSCAPE;
             // A profile name behind the shift of the older layout.
             std::memcpy(b.priv() + 776 - PRIVATE_DEVMODE_908_SHIFT, "Office", 7);
         },
         0,
         [&](Buffer& b) {
             EXPECT_EQ(b.dm()->dmDriverExtra, PRIVATE_DEVMODE_SIZE_908);
             EXPECT_EQ(b.dm()->dmCopies, 3);
             EXPECT_EQ(b.dm()->dmOrientation, DMORIENT_LANDSCAPE);
             EXPECT_STREQ(reinterpret_cast<const char*>(b.priv() + 776 - PRIVATE_DEVMODE_908_SHIFT),
                          "Office");
         }},
        {"a foreign driver's (its own private part)", DEVMODEW_SIZE, 64,
         [&](Buffer& b) {
             copyDefaults(b);
             b.dm()->dmDriverExtra = 64;
             std::memset(b.priv(), 0xAB, 64);
             b.dm()->dmPaperSize = 5;
             b.dm()->dmOrientation = DMORIENT_LANDSCAPE;
         },
         0,
         [&](Buffer& b) {
             EXPECT_EQ(b.dm()->dmPaperSize, 5);
             EXPECT_EQ(b.dm()->dmOrientation, DMORIENT_LANDSCAPE);
             EXPECT_EQ(b.dm()->dmDriverExtra, 64);
             for (size_t i = 0; i < 64; ++i)
                 ASSERT_EQ(b.priv()[i], 0xAB) << "another driver's";
         }},
        {"a foreign driver's envelope in tray 1: no option or constraint step", DEVMODEW_SIZE, 64,
         [&](Buffer& b) {
             copyDefaults(b);
             b.dm()->dmDriverExtra = 64;
             std::memset(b.priv(), 0xAB, 64);
             b.dm()->dmFields |= DM_PAPERSIZE | DM_DEFAULTSOURCE;
             b.dm()->dmPaperSize = kEnvelopeCom10;
             b.dm()->dmDefaultSource = kTray1;
         },
         0,
         [&](Buffer& b) {
             EXPECT_EQ(b.dm()->dmPaperSize, kEnvelopeCom10);
             EXPECT_EQ(b.dm()->dmDefaultSource, kTray1);
         }},
        {"a short one (older standard part, no private part)", DEVMODEW_SIZE_320, 0,
         [&](Buffer& b) {
             copyDefaults(b);
             b.dm()->dmSize = DEVMODEW_SIZE_320;
             b.dm()->dmDriverExtra = 0;
             b.dm()->dmCopies = 2;
         },
         0, [&](Buffer& b) { EXPECT_EQ(b.dm()->dmCopies, 2); }},
        {"an oversized private part", DEVMODEW_SIZE, 1500,
         [&](Buffer& b) {
             copyDefaults(b);
             b.dm()->dmDriverExtra = 1500;
             std::memcpy(b.priv(), &d.priv, sizeof d.priv);
             std::memset(b.priv() + sizeof d.priv, 0x11, 400);
         },
         0,
         [&](Buffer& b) {
             // Not the driver's size: its private part is left alone.
             for (size_t i = sizeof d.priv; i < 1500; ++i)
                 ASSERT_EQ(b.priv()[i], 0x11);
             EXPECT_EQ(b.dm()->dmDriverExtra, 1500);
         }},
        {"a refused combination", DEVMODEW_SIZE, PRIVATE_DEVMODE_SIZE,
         [&](Buffer& b) {
             std::memcpy(b.bytes.data(), &d, sizeof d);
             b.dm()->dmPaperSize = m.refusedPaper;
             b.dm()->dmMediaType = m.refusedMedia;
         },
         0,
         [&](Buffer& b) {
             EXPECT_EQ(b.dm()->dmPaperSize, m.refusedPaper);
             EXPECT_NE(b.dm()->dmMediaType, m.refusedMedia);
             WORD w = 0, l = 0;
             GetModelPaperSize(printer->binding(), static_cast<WORD>(m.refusedPaper), &w, &l);
             EXPECT_EQ(b.dm()->dmPaperWidth, static_cast<SHORT>(w));
         }},
        {"a header cut short", 60, 12, [&](Buffer& b) { b.dm()->dmSize = 60; },
         ERROR_INVALID_PARAMETER, nullptr},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        Buffer b(c.size, c.extra);
        c.fill(b);
        Buffer old(c.size, c.extra, b.bytes.data(), b.used);
        const std::vector<BYTE> before = b.bytes;
        EXPECT_EQ(Revise(old.dm(), b.dm(), kReviseCarryOver), c.result);
        EXPECT_TRUE(b.GuardIntact());
        EXPECT_TRUE(old.GuardIntact());
        EXPECT_EQ(b.dm()->dmSize, c.size);
        if (c.result != 0) {
            EXPECT_EQ(b.bytes, before) << "the caller's buffer is written only on success";
            continue;
        }
        c.check(b);
    }
}

TEST_P(Revision, CallerMistakes) {
    DEVMODE_IMAGEW image = *defaults;
    EXPECT_EQ(Revise(nullptr, &image.dm, kReviseCarryOver), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Revise(&image.dm, nullptr, kReviseCarryOver), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(lib->revise(printer->printer(), printer->binding()->modelData, nullptr, &image.dm, 7),
              ERROR_NOT_SUPPORTED);
    EXPECT_EQ(std::memcmp(&image, defaults.get(), sizeof image), 0);
}

INSTANTIATE_TEST_SUITE_P(SampleModels, Revision,
                         ::testing::Values(Model{"CX5540", 8, 3}, Model{"LP1220", 5, 257}),
                         [](const auto& param) { return std::string(param.param.name); });

// Every finisher the model can have fitted, with each of its units on or off
// (and none fitted): the defaults the model gives are a settled device mode,
// so a revision hands them back unchanged, and a sort or staple mode value the
// rules offer survives one too.
TEST(Revision, DefaultsSurviveEveryFittedFinisher) {
    struct Fitted {
        WORD finisher; // 0: none
        DWORD units;
    };
    for (auto [name, printerName] : {std::pair{"CX5540", u"FA"}, std::pair{"LP1220", u"FB"}}) {
        ui_test::InstallPrinter(printerName, ui_test::SampleModel(name));
        ui_test::BoundPrinter printer(printerName);
        ASSERT_TRUE(printer.ok());
        std::vector<Fitted> combinations = {{0, 0}};
        {
            CInstallOption options(printer.printer(), printer.binding());
            for (DWORD n = 1; const InstallOptionEntry* e = options.FindNth(kOptionFinisher, n);
                 ++n)
                if (e->value != model::kDefaultFinisherId)
                    for (DWORD units : {0u, kFinisherPunchUnit, kFinisherFoldUnit,
                                        kFinisherPunchUnit | kFinisherFoldUnit})
                        combinations.push_back({e->value, units});
        }
        for (const Fitted& f : combinations) {
            SCOPED_TRACE(std::string(name) + " finisher " + std::to_string(f.finisher) + " units " +
                         std::to_string(f.units));
            {
                CInstallOption options(printer.printer(), printer.binding());
                options.ClearOption(kOptionFinisher);
                if (f.finisher) options.Find(kOptionFinisher, f.finisher)->state = 1 | f.units;
                if (options.Count()) {
                    ASSERT_EQ(options.Write(), 0u);
                }
            }
            Library lib(printerName);
            ASSERT_TRUE(lib.revise);
            auto revise = [&](DEVMODEW* old, DEVMODEW* dm, DWORD mode) {
                return lib.revise(printer.printer(), printer.binding()->modelData, old, dm, mode);
            };
            DEVMODE_IMAGEW defaults{};
            StampDevmodeHeader(&defaults);
            ASSERT_EQ(revise(nullptr, &defaults.dm, kReviseDefaults), 0u);
            // What the spooler stores: the defaults revised once. No setting
            // of the defaults is corrected on the way, and a second revision
            // changes nothing at all.
            DEVMODE_IMAGEW stored = defaults, old = defaults;
            ASSERT_EQ(revise(&old.dm, &stored.dm, kReviseCarryOver), 0u);
            EXPECT_EQ(stored.priv.SortMode, defaults.priv.SortMode);
            EXPECT_EQ(stored.priv.StapleMode, defaults.priv.StapleMode);
            EXPECT_EQ(stored.priv.PunchMode, defaults.priv.PunchMode);
            EXPECT_EQ(stored.priv.OutputBin, defaults.priv.OutputBin);
            EXPECT_EQ(stored.dm.dmCollate, defaults.dm.dmCollate);
            EXPECT_EQ(stored.dm.dmPaperSize, defaults.dm.dmPaperSize);
            EXPECT_EQ(stored.dm.dmDefaultSource, defaults.dm.dmDefaultSource);
            EXPECT_EQ(stored.dm.dmMediaType, defaults.dm.dmMediaType);
            EXPECT_EQ(stored.dm.dmDuplex, defaults.dm.dmDuplex);
            DEVMODE_IMAGEW revised = stored;
            old = stored;
            ASSERT_EQ(revise(&old.dm, &revised.dm, kReviseCarryOver), 0u);
            for (size_t i = 0; i < sizeof stored; ++i)
                ASSERT_EQ(reinterpret_cast<const BYTE*>(&revised)[i],
                          reinterpret_cast<const BYTE*>(&stored)[i])
                    << "byte " << i;
            defaults = stored;

            // Each value the rules offer for the sort and staple modes on the
            // defaults stays when a user picks it.
            CInstallOption options(printer.printer(), printer.binding());
            ModelOptionPair pair{printer.binding(), &options};
            CKinsokuList list(printer.binding(), nullptr, reinterpret_cast<const BYTE*>(&defaults));
            LoadKinsokuPairs(printer.binding(), &list);
            BuildKinsokuRules(printer.binding(), &list, kAllPapers);
            BuildModelKinsoku(&pair, &list);
            EXPECT_EQ(list.Resolve(reinterpret_cast<BYTE*>(&defaults), FALSE), kResolveSettled);
            for (const UnruledTriggerValue& u : FindUnruledTriggerValues(&list))
                ADD_FAILURE() << "trigger " << u.trigger << " value " << u.value
                              << " has no rule for item " << u.target;
            for (WORD item : {WORD{kItemSort}, WORD{kItemStapleMode}, WORD{kItemPunchMode}}) {
                const CKinsokuItem* it = list.FindItem(item);
                if (!it) continue;
                for (const auto& atom : it->Values()) {
                    if (list.IsValueRefused(item, atom->value)) continue;
                    DEVMODE_IMAGEW picked = defaults;
                    WORD& field = item == kItemSort         ? picked.priv.SortMode
                                  : item == kItemStapleMode ? picked.priv.StapleMode
                                                            : picked.priv.PunchMode;
                    field = static_cast<WORD>(atom->value);
                    const WORD want = field;
                    DEVMODE_IMAGEW from = picked; // as an application hands it in
                    ASSERT_EQ(revise(&from.dm, &picked.dm, kReviseCarryOver), 0u);
                    EXPECT_EQ(field, want) << "item " << item;
                }
            }
        }
    }
}

TEST(Revision, WithoutTheModelLibrary) {
    ui_test::InstallPrinter(u"P", ui_test::SampleModel("LP1220"));
    ui_test::BoundPrinter p(u"P");
    ASSERT_TRUE(p.ok());
    DEVMODE_IMAGEW image{};
    StampDevmodeHeader(&image);
    const DEVMODE_IMAGEW before = image;
    EXPECT_EQ(ReviseDevmodeEx(p.printer(), nullptr, nullptr, &image.dm, kReviseDefaults),
              ERROR_DLL_NOT_FOUND);
    EXPECT_EQ(std::memcmp(&image, &before, sizeof image), 0);
}

} // namespace

namespace {

using namespace sheetwright;

// The old device mode's paper against a model with paper 300 and a user paper.
TEST(MatchOldPaper, Cases) {
    auto source = ui_test::SampleSource("CX5540");
    auto extra = source["codes"]["20"]["entries"][0];
    extra["id"] = 300;
    extra["width"] = 1000;
    extra["length"] = 2000;
    source["codes"]["20"]["entries"].push_back(extra);
    ui_test::InstallPrinter(u"P", ui_test::Compile(source));
    ui_test::BoundPrinter p(u"P");
    ASSERT_TRUE(p.ok());
    CUserPaper papers;
    UserPaperRecord mine{};
    std::strcpy(mine.name, "Mine");
    mine.widthTenthMm = 1500;
    mine.lengthTenthMm = 2500;
    ASSERT_TRUE(papers.Add(&mine));
    const SHORT mineId = static_cast<SHORT>(papers.At(0)->paperId);

    DEVMODE_IMAGEA defaults{};
    defaults.dm.dmDefaultSource = 7;
    defaults.dm.dmMediaType = 1;
    const DWORD sizes = DM_PAPERWIDTH | DM_PAPERLENGTH;
    struct Case {
        const char* what;
        DWORD fields;
        SHORT paper, width, length;
        SHORT wantPaper, wantWidth, wantLength;
        DWORD wantSizeFields;
    } cases[] = {
        {"a model paper's size 2 away", DM_PAPERSIZE | sizes, 300, 1002, 1998, 300, 1000, 2000, 0},
        {"custom size keeps its fields", DM_PAPERSIZE | sizes, 256, 1234, 2345, 256, 1234, 2345,
         sizes},
        {"a user paper's size", DM_PAPERSIZE | sizes, 301, 1501, 2499, mineId, 1500, 2500, sizes},
        {"a user paper without its size", DM_PAPERSIZE, mineId, 0, 0, mineId, 1500, 2500, sizes},
        {"a size nobody has", DM_PAPERSIZE | sizes, 300, 700, 700, 1, 2159, 2794, 0},
        {"no paper at all", 0, 0, 0, 0, 1, 2159, 2794, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DEVMODE_IMAGEA old{};
        old.dm.dmFields = c.fields;
        old.dm.dmPaperSize = c.paper;
        old.dm.dmPaperWidth = c.width;
        old.dm.dmPaperLength = c.length;
        MatchOldDevmodePaper(p.binding(), &old, &defaults, &papers);
        EXPECT_EQ(old.dm.dmPaperSize, c.wantPaper);
        EXPECT_EQ(old.dm.dmPaperWidth, c.wantWidth);
        EXPECT_EQ(old.dm.dmPaperLength, c.wantLength);
        EXPECT_EQ(old.dm.dmFields & sizes, c.wantSizeFields);
    }
}

} // namespace

namespace {

using namespace sheetwright;

struct Pipeline : ::testing::Test {
    void SetUp() override {
        ui_test::InstallPrinter(u"P", ui_test::SampleModel("CX5540"));
        printer = std::make_unique<ui_test::BoundPrinter>(u"P");
        ASSERT_TRUE(printer->ok());
        context.printer = printer->printer();
        context.binding = *printer->binding();
        ASSERT_TRUE(StampAndReviseDevmode(printer->printer(), context.binding.modelData, &image));
    }
    std::unique_ptr<ui_test::BoundPrinter> printer;
    ReviseContext context;
    DEVMODE_IMAGEW image{};
};

TEST_F(Pipeline, FixupRanges) {
    struct Case {
        WORD outputBin, colorMode, colorMatching;
        WORD wantBin;
        DWORD wantIcm;
    } cases[] = {
        {3, 1, 0, 0, 1},
        {770, 2, 3, 770, 2},
        {0x101, 2, 0, 0x101, 1},
        {0x999, 3, 3, 0, 1}, // 3 with 3: the matching goes
    };
    for (const Case& c : cases) {
        DEVMODE_IMAGEW d = image;
        d.priv.OutputBin = c.outputBin;
        d.priv.ColorMode = c.colorMode;
        d.priv.ColorMatching = c.colorMatching;
        ASSERT_TRUE(FixupDevmodeFields(&context, &d, kReviseCarryOver));
        EXPECT_EQ(d.priv.OutputBin, c.wantBin) << c.outputBin;
        EXPECT_EQ(d.dm.dmICMMethod, c.wantIcm) << c.colorMode << "/" << c.colorMatching;
    }
    EXPECT_FALSE(FixupDevmodeFields(nullptr, &image, kReviseCarryOver));
}

TEST_F(Pipeline, BindingMarginWithinTheModelsLargest) {
    DEVMODE_IMAGEW d = image;
    d.priv.DuplexMargin = 30000;
    ASSERT_TRUE(FixupDevmodeFields(&context, &d, kReviseCarryOver));
    EXPECT_LT(d.priv.DuplexMargin, 30000);
    EXPECT_GT(d.priv.DuplexMargin, 0);
    d.priv.DuplexMargin = static_cast<WORD>(-5);
    ASSERT_TRUE(FixupDevmodeFields(&context, &d, kReviseCarryOver));
    EXPECT_EQ(d.priv.DuplexMargin, 0);
}

TEST_F(Pipeline, FinisherModelMarksItsItems) {
    EXPECT_EQ(image.priv.PrivateFlags & 0x70000u, 0x70000u);
}

TEST_F(Pipeline, JobSettingsFollowTheirOwner) {
    // A page's revision of a device mode made here by this user leaves the
    // job fields alone.
    DEVMODE_IMAGEW d = image;
    std::strcpy(d.priv.MailboxId, "box");
    DEVMODE_IMAGEW before = d;
    context.flags = kRevisedByPage;
    ASSERT_TRUE(RefreshJobSettings(&context, &d, kReviseCarryOver));
    EXPECT_EQ(std::memcmp(&d, &before, sizeof d), 0);
    // Made by someone else: the fields the mask selects are cleared, since
    // the printer has no per-user device mode of the driver's own.
    context.flags = 0;
    std::strcpy(d.priv.OwnerUserName, "someone else");
    ASSERT_TRUE(RefreshJobSettings(&context, &d, kReviseCarryOver));
    EXPECT_STREQ(d.priv.MailboxId, "");
    EXPECT_STRNE(d.priv.OwnerUserName, "someone else");
}

} // namespace
