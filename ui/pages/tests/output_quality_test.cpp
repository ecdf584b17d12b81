// The Output and Quality pages on a one-page sheet, and the Output Options,
// font and substitution dialogs, over a document sheet's context on a
// printer of the sample model: what a person's clicks and typing leave in
// the working image, the edges the pages must hold, and their pictures.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "color_adjust_block.h"
#include "font_dlg.h"
#include "font_sub_dlg.h"
#include "font_substitution_file.h"
#include "kinsoku_list.h"
#include "kinsoku_rules.h"
#include "output_options_dlg.h"
#include "output_page.h"
#include "pages_fixture.h"
#include "platform/paths.h"
#include "platform/spooler_ctl.h"
#include "platform/testctl.h"
#include "platform/user_ctl.h"
#include "quality_page.h"
#include "win/base.h"
#include "win/commctrl.h"
#include "win/files.h"
#include "win/printer_sheets.h"
#include "win/spool.h"
#include "win/user.h"

namespace {

using namespace sheetwright;
namespace drv = platform::user::driver;
namespace ut = platform::user::test;

constexpr WORD kGray = 1, kColor = 2, kPhoto = 3;

std::string HostBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void SavePicture(HWND window, const std::string& name) {
    const std::string folder = pages_test::PictureFolder();
    if (folder.empty()) return;
    std::filesystem::create_directories(folder);
    drv::SavePng(window, folder + "/" + name + ".png");
}

using pages_test::ComboTexts;

bool Enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}
bool Checked(HWND dialog, int id) {
    return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

class Pages : public pages_test::SheetFixture {
  protected:
    // Shows one page of the kind on a sheet over the fixture's context and
    // runs the script in it; the sheet is closed by the script's button.
    template <class P> void RunPage(const std::function<void(HWND sheet, HWND page)>& script) {
        auto* page = new P(context_);
        HPROPSHEETPAGE handle = CreatePropertySheetPageW(&page->m_psp);
        ut::AnswerNextModal([&](HWND sheet) {
            script(sheet,
                   reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)));
        });
        PROPSHEETHEADERW psh{};
        psh.dwSize = sizeof psh;
        psh.pszCaption = u"Pages";
        psh.nPages = 1;
        psh.phpage = &handle;
        PropertySheetW(&psh);
        context_->pageReferences = 1; // the fixture's own
    }
    // Opens a dialog, runs the script in it and answers what DoModal did.
    template <class D, class... A> INT_PTR RunDialog(std::function<void(HWND)> script, A... args) {
        D dialog(context_, args...);
        ut::AnswerNextModal([&](HWND h) { script(h); });
        return dialog.DoModal();
    }
    // Opens the context again on a printer of this model.
    void Reopen(const nlohmann::json& source) {
        if (context_) FreeSheetContext(context_);
        if (printer_) ClosePrinter(printer_);
        context_ = nullptr;
        printer_ = nullptr;
        Open(ui_test::Compile(source));
    }
    void ReadOnly() { context_->callerFlags |= DM_NOPERMISSION; }
    static void TypeAndLeave(HWND edit, const std::u16string& text) {
        SetFocus(edit);
        drv::TypeText(edit, text);
        drv::PressKey(VK_TAB);
    }
};

// ----------------------------------------------------------------- Output

TEST(CopiesMaximum, IsKeptWithinTheEdit) {
    EXPECT_EQ(ClampCopiesMaximum(0, FALSE), 999);
    EXPECT_EQ(ClampCopiesMaximum(0, TRUE), 1);
    EXPECT_EQ(ClampCopiesMaximum(99, TRUE), 99);
    EXPECT_EQ(ClampCopiesMaximum(9999, TRUE), 999);
}

TEST_F(Pages, CopiesStayWithinTheModelsRangeUpToApply) {
    struct Case {
        const char* name;
        int table; // -1: no table 23
        const char16_t* range;
        const char16_t* typed;
        short stored;
    } const cases[] = {
        {"no table", -1, u"(1 - 999)", u"250", 250},
        {"maximum 99", 99, u"(1 - 99)", u"250", 99},
        {"maximum 0", 0, u"(1 - 1)", u"5", 1},
        {"maximum 9999", 9999, u"(1 - 999)", u"999", 999},
        {"zero typed", 99, u"(1 - 99)", u"0", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        nlohmann::json source = ui_test::SampleSource("CX5540");
        if (c.table < 0)
            source["codes"].erase("23");
        else
            source["codes"]["23"] = {{"1", nlohmann::json::array({c.table})},
                                     {"2", nlohmann::json::array({c.table, 1})}};
        Reopen(source);
        RunPage<COutput>([&](HWND sheet, HWND page) {
            WCHAR range[32] = {};
            GetDlgItemTextW(page, COutput::kCopiesRange, range, 32);
            EXPECT_EQ(std::u16string(range), c.range);
            TypeAndLeave(GetDlgItem(page, COutput::kCopiesEdit), c.typed);
            EXPECT_EQ(Working().dm.dmCopies, c.stored);
            drv::PressButton(sheet, IDOK);
        });
        EXPECT_EQ(Working().dm.dmCopies, c.stored);
    }
}

TEST_F(Pages, ZeroCopiesTypedThenOkNeverReachApply) {
    RunPage<COutput>([&](HWND sheet, HWND page) {
        HWND edit = GetDlgItem(page, COutput::kCopiesEdit);
        SetFocus(edit);
        drv::TypeText(edit, u"0");
        drv::PressButton(sheet, IDOK);
    });
    EXPECT_EQ(Working().dm.dmCopies, 1);
}

TEST_F(Pages, CollateMirrorAndReverseReachTheImage) {
    Working().dm.dmCollate = 0;
    Working().priv.PrivateFlags |= 1u; // mirror offered
    RunPage<COutput>([&](HWND sheet, HWND page) {
        SavePicture(sheet, "output-page");
        drv::SetCheck(GetDlgItem(page, COutput::kCollate), BST_CHECKED);
        EXPECT_EQ(Working().dm.dmCollate, 1);
        drv::SetCheck(GetDlgItem(page, COutput::kMirror), BST_CHECKED);
        EXPECT_NE(Working().priv.MirrorImage, 0);
        drv::SetCheck(GetDlgItem(page, COutput::kReverse), BST_UNCHECKED);
        EXPECT_EQ(Working().priv.ReverseOrder, 0);
        drv::PressButton(sheet, IDOK);
    });
}

// The sort rows by their own names, whatever the model allows.
TEST_F(Pages, SortRowsAreNamedBySortKinds) {
    RunPage<COutput>([&](HWND sheet, HWND page) {
        for (const std::u16string& row : ComboTexts(GetDlgItem(page, COutput::kSortList)))
            EXPECT_TRUE(row == u"None" || row == u"Shift" || row == u"Rotate")
                << std::string(row.begin(), row.end());
        drv::PressButton(sheet, IDCANCEL);
    });
}

TEST_F(Pages, MirrorRowClosesUpWhenNotOffered) {
    auto top = [&](int id) {
        LONG at = 0;
        RunPage<COutput>([&](HWND sheet, HWND page) {
            RECT r{};
            GetWindowRect(GetDlgItem(page, id), &r);
            at = r.top;
            drv::PressButton(sheet, IDCANCEL);
        });
        return at;
    };
    Working().priv.PrivateFlags |= 1u;
    const LONG mirrorTop = top(COutput::kMirror);
    Working().priv.PrivateFlags &= ~1u;
    EXPECT_EQ(top(COutput::kReverse), mirrorTop); // moved up into its room
}

// A bin the installed options say is not fitted is refused, and the image
// leaves it for the first bin the rules allow.
TEST_F(Pages, AnOutputBinNoLongerFittedDoesNotStayChosen) {
    CKinsokuItem* bins = context_->constraints->GetItem(kItemOutputBin);
    ASSERT_NE(bins, nullptr);
    InstallOptionEntry* fitted[2] = {};
    DWORD found = 0;
    for (DWORD i = 0; i < context_->installOptions->Count() && found < 2; ++i) {
        InstallOptionEntry& e = context_->installOptions->Entries()[i];
        if (e.optionId == model::kQueryOutputBins && e.value >= 1 && e.value <= 9 &&
            MapModelCodeNine(e.value))
            fitted[found++] = &e;
    }
    ASSERT_EQ(found, 2u);
    bins->Clear();
    const WORD first = static_cast<WORD>(MapModelCodeNine(fitted[0]->value));
    const WORD second = static_cast<WORD>(MapModelCodeNine(fitted[1]->value));
    bins->AddValue(first, 0, 0);
    bins->AddValue(second, 0, 0);
    struct Case {
        const char* name;
        DWORD firstState;
        WORD chosen;
        WORD after;
        BOOL moved;
    } const cases[] = {
        {"fitted bin stays", 1, first, first, FALSE},
        {"bin taken off moves", 0, first, second, TRUE},
        {"other bin stays", 0, second, second, FALSE},
    };
    for (const Case& c : cases) {
        fitted[0]->state = c.firstState;
        fitted[1]->state = 1;
        Working().priv.OutputBin = c.chosen;
        EXPECT_EQ(MoveOffAbsentOutputBin(context_, &Working()), c.moved) << c.name;
        EXPECT_EQ(Working().priv.OutputBin, c.after) << c.name;
    }
    // No bin fitted at all: nothing better to name, the image stays.
    fitted[0]->state = fitted[1]->state = 0;
    Working().priv.OutputBin = first;
    EXPECT_FALSE(MoveOffAbsentOutputBin(context_, &Working()));
}

// ---------------------------------------------------------- Output Options

TEST_F(Pages, OutputOptionsCancelOkAndReadOnly) {
    Working().priv.PrivateFlags |= 1u << 14; // blank-page choice offered
    Working().priv.SkipBlankPages = 0;
    Working().priv.PriorPrintOn = 0;
    const DEVMODE_IMAGEW before = Working();
    auto flip = [](HWND d) {
        drv::SetCheck(GetDlgItem(d, CAdvancedDlg::kBlankPages), BST_UNCHECKED);
        if (Enabled(d, CAdvancedDlg::kPriorPrint))
            drv::SetCheck(GetDlgItem(d, CAdvancedDlg::kPriorPrint), BST_CHECKED);
    };
    EXPECT_EQ(RunDialog<CAdvancedDlg>([&](HWND d) {
                  SavePicture(d, "output-options");
                  // Who controls the copies, by name: the printer, and the
                  // driver only when every paper size is offered.
                  const std::vector<std::u16string> control =
                      ComboTexts(GetDlgItem(d, CAdvancedDlg::kCopyControlList));
                  ASSERT_FALSE(control.empty());
                  EXPECT_EQ(control[0], u"Printer");
                  if (control.size() > 1) {
                      EXPECT_EQ(control[1], u"Printer Driver");
                  }
                  EXPECT_LE(control.size(), 2u);
                  flip(d);
                  drv::PressButton(d, IDCANCEL);
              }),
              IDCANCEL);
    EXPECT_EQ(std::memcmp(&Working(), &before, sizeof before), 0);

    EXPECT_EQ(RunDialog<CAdvancedDlg>([&](HWND d) {
                  flip(d);
                  drv::PressButton(d, IDOK);
              }),
              IDOK);
    EXPECT_EQ(Working().priv.SkipBlankPages, 1);

    const DEVMODE_IMAGEW changed = Working();
    ReadOnly();
    EXPECT_EQ(RunDialog<CAdvancedDlg>([&](HWND d) {
                  EXPECT_FALSE(Enabled(d, CAdvancedDlg::kBlankPages));
                  // Whatever a script does to the copy, OK keeps the sheet.
                  SendMessageW(d, WM_COMMAND,
                               static_cast<WPARAM>(CAdvancedDlg::kBlankPages | (BN_CLICKED << 16)),
                               0);
                  drv::PressButton(d, IDOK);
              }),
              IDCANCEL);
    EXPECT_EQ(std::memcmp(&Working(), &changed, sizeof changed), 0);
}

// Without the port's capability the prior-print box is off and disabled, and
// the setting does not survive OK; a settings change sent to every window
// reaches the open dialog, which tests the port again.
TEST_F(Pages, PriorPrintNeedsThePortsCapability) {
    Working().priv.PriorPrintOn = 1;
    ASSERT_FALSE(HasPriorPrintCapability(context_));
    EXPECT_EQ(RunDialog<CAdvancedDlg>([&](HWND d) {
                  EXPECT_FALSE(Checked(d, CAdvancedDlg::kPriorPrint));
                  EXPECT_FALSE(Enabled(d, CAdvancedDlg::kPriorPrint));
                  // The printer moves to a network port while the dialog is open.
                  ASSERT_EQ(platform::spooler::AddTcpIpPort(u"IP_10.0.0.9", u"10.0.0.9"), 0u);
                  DWORD need = 0;
                  GetPrinterW(printer_, 2, nullptr, 0, &need);
                  std::vector<BYTE> info(need);
                  ASSERT_TRUE(GetPrinterW(printer_, 2, info.data(), need, &need));
                  auto* p2 = reinterpret_cast<PRINTER_INFO_2W*>(info.data());
                  p2->pPortName = const_cast<LPWSTR>(u"IP_10.0.0.9");
                  ASSERT_TRUE(SetPrinterW(printer_, 2, info.data(), 0));
                  ut::BroadcastSettingChange(u"windows");
                  EXPECT_EQ(std::u16string(context_->portName), u"IP_10.0.0.9");
                  EXPECT_EQ(Enabled(d, CAdvancedDlg::kPriorPrint),
                            HasPriorPrintCapability(context_) != FALSE);
                  drv::PressButton(d, IDOK);
              }),
              IDOK);
    EXPECT_EQ(Working().priv.PriorPrintOn, 0);
}

// ----------------------------------------------------------------- Quality

TEST(ColorMode, PreviousAndNewGiveTheImageFields) {
    struct Case {
        WORD previous, mode;
        WORD matchingBefore;
        WORD matching, alt;
        DWORD icm;
    } const cases[] = {
        {kGray, kColor, 3, 0, 0, 1},  {kGray, kPhoto, 3, 0, 0, 1},  {kColor, kPhoto, 3, 0, 0, 1},
        {kColor, kColor, 3, 3, 0, 2}, {kPhoto, kColor, 3, 3, 0, 2}, {kColor, kGray, 3, 3, 1, 1},
        {kPhoto, kGray, 0, 0, 1, 1},  {kColor, kColor, 0, 0, 0, 1},
    };
    for (const Case& c : cases) {
        DEVMODE_IMAGEW image{};
        image.priv.ColorMatching = c.matchingBefore;
        image.priv.ColorModeAlt = 7;
        ApplyColorModeChange(&image, c.previous, c.mode);
        SCOPED_TRACE(testing::Message() << c.previous << " -> " << c.mode);
        EXPECT_EQ(image.priv.ColorMode, c.mode);
        EXPECT_EQ(image.priv.ColorMatching, c.matching);
        EXPECT_EQ(image.priv.ColorModeAlt, c.alt);
        EXPECT_EQ(image.dm.dmICMMethod, c.icm);
    }
}

TEST_F(Pages, ColorModeListShowsTheManagementRowsOfTheMode) {
    Working().priv.ColorMode = kColor;
    Working().priv.ColorMatching = 3;
    RunPage<CQuality>([&](HWND sheet, HWND page) {
        SavePicture(sheet, "quality-page");
        HWND modes = GetDlgItem(page, CQuality::kColorModeList);
        HWND match = GetDlgItem(page, CQuality::kColorMatchList);
        struct Step {
            const char16_t* mode;
            std::vector<std::u16string> rows;
            WORD colorMode, matching;
            DWORD icm;
        } const steps[] = {
            {u"Color", {u"Device Color", u"ICM"}, kColor, 3, 2},
            {u"Grayscale", {u"Brightness Adjustment"}, kGray, 3, 1},
            {u"Color", {u"Device Color", u"ICM"}, kColor, 0, 1}, // from grayscale: cleared
            {u"Photo Color", {u"Device Color"}, kPhoto, 0, 1},
        };
        for (const Step& s : steps) {
            ASSERT_TRUE(drv::SelectItemText(modes, s.mode));
            EXPECT_EQ(ComboTexts(match), s.rows) << std::string(s.mode, s.mode + 3);
            EXPECT_EQ(Working().priv.ColorMode, s.colorMode);
            EXPECT_EQ(Working().priv.ColorMatching, s.matching);
            EXPECT_EQ(Working().dm.dmICMMethod, s.icm);
        }
        ASSERT_TRUE(drv::SelectItemText(modes, u"Color"));
        ASSERT_TRUE(drv::SelectItemText(match, u"ICM"));
        EXPECT_EQ(Working().dm.dmICMMethod, 2u);
        ASSERT_TRUE(drv::SelectItemText(match, u"Device Color"));
        EXPECT_EQ(Working().dm.dmICMMethod, 1u);
        drv::PressButton(sheet, IDOK);
    });
}

// The halftone and graphics-mode lists show the sample model's kinds by their
// own names, never the Output page's sort words.
TEST_F(Pages, HalftoneAndGraphicsModeRowsAreNamedByTheirKinds) {
    Working().priv.FeatureFlags |= 1u << 17; // halftone offered
    RunPage<CQuality>([&](HWND sheet, HWND page) {
        EXPECT_EQ(ComboTexts(GetDlgItem(page, CQuality::kHalftoneList)),
                  (std::vector<std::u16string>{u"Dither", u"Coarse", u"Fine"}));
        for (const std::u16string& row : ComboTexts(GetDlgItem(page, CQuality::kGraphicsList)))
            EXPECT_TRUE(row == u"Vector" || row == u"Raster")
                << std::string(row.begin(), row.end());
        drv::PressButton(sheet, IDCANCEL);
    });
}

TEST_F(Pages, ResolutionWordsComeFromTheQualityTableWithinItsSize) {
    DEVMODE_IMAGEW image = Working();
    image.priv.ResolutionCode = 3;
    ASSERT_TRUE(LookUpResolution(&context_->model, &image));
    EXPECT_EQ(image.dm.dmPrintQuality, 1200);
    EXPECT_EQ(image.dm.dmYResolution, 1200);
    image.priv.ResolutionCode = 9; // out of range: code 2
    ASSERT_TRUE(LookUpResolution(&context_->model, &image));
    EXPECT_EQ(image.dm.dmPrintQuality, 600);
    // A code no entry has leaves the words as they were.
    nlohmann::json source = ui_test::SampleSource("CX5540");
    source["codes"]["42"]["entries"].erase(1);
    Reopen(source);
    image = Working();
    image.dm.dmPrintQuality = 123;
    image.priv.ResolutionCode = 2;
    EXPECT_FALSE(LookUpResolution(&context_->model, &image));
    EXPECT_EQ(image.dm.dmPrintQuality, 123);
}

TEST_F(Pages, SlidersAndSwitchesReachTheImage) {
    RunPage<CQuality>([&](HWND sheet, HWND page) {
        ASSERT_TRUE(drv::MoveSlider(GetDlgItem(page, CQuality::kDensitySlider), 6));
        EXPECT_EQ(Working().priv.Density, 6);
        ASSERT_TRUE(drv::MoveSlider(GetDlgItem(page, CQuality::kContrastSlider), -3));
        EXPECT_EQ(static_cast<short>(Working().priv.ThresholdLevel), -3);
        drv::SetCheck(GetDlgItem(page, CQuality::kTonerSave), BST_CHECKED);
        EXPECT_EQ(Working().priv.TonerSaveLevel, 1);
        drv::PressButton(sheet, IDOK);
    });
}

// The colour-adjustment call-out against the stand-in library, its files
// placed beside the model library as an installation would.
class ColorAdjust : public Pages {
  protected:
    void Install(bool withPlate) {
        const std::u16string folder = ui_test::DriverFolder(u"Layouts") + u"\\";
        std::filesystem::copy_file(PKG_OUTSIDE_DIR "/Huetuner.DLL",
                                   platform::HostPath(folder + u"Huetuner.DLL"),
                                   std::filesystem::copy_options::overwrite_existing);
        for (const char16_t* f : {u"Huechart.BMP", u"Huegauge.BMP"})
            std::ofstream(platform::HostPath(folder + f)) << "x";
        if (withPlate) std::ofstream(platform::HostPath(folder + u"Hueplate.DLL")) << "x";
    }
    // Presses Detail; the library's dialog gets the script.
    void Detail(const std::function<void(HWND)>& script) {
        RunPage<CQuality>([&](HWND sheet, HWND page) {
            ut::AnswerNextModal([&](HWND d) {
                SavePicture(d, "huetuner-stand-in");
                script(d);
            });
            drv::Click(GetDlgItem(page, CQuality::kDetailButton));
            drv::PressButton(sheet, IDOK);
        });
    }
    static void Type(HWND d, int id, const std::u16string& text) {
        drv::TypeText(GetDlgItem(d, id), text);
    }
    static std::u16string Values(int v) {
        std::u16string s;
        for (int i = 0; i < 48; ++i)
            s += (i ? u" " : u"") + std::u16string(1, u'0' + v);
        return s;
    }
};

TEST_F(ColorAdjust, AnAcceptedAdjustmentIsReadBackAndChecked) {
    Install(true);
    Working().priv.ColorMode = kColor;
    Working().priv.ColorMatching = 3; // ICM: mode 1 reads the ICM words back
    Working().dm.dmICMMethod = 2;
    Detail([&](HWND d) {
        WCHAR info[64] = {};
        GetDlgItemTextW(d, outside::kHuetunerInfoText, info, 64);
        EXPECT_EQ(std::u16string(info), u"mode 1 flags 0");
        Type(d, outside::kHuetunerValuesEdit, Values(7));
        Type(d, outside::kHuetunerIcmMethodEdit, u"3");
        Type(d, outside::kHuetunerIcmIntentEdit, u"4");
        drv::PressButton(d, IDOK);
    });
    EXPECT_EQ(Working().priv.ColorAdjustValues[0], 7);
    EXPECT_EQ(Working().priv.ColorAdjustValues[47], 7);
    EXPECT_EQ(Working().dm.dmICMMethod, 3u);
    EXPECT_EQ(Working().dm.dmICMIntent, 4u);

    // ICM words no system has are not taken; the values still are.
    Detail([&](HWND d) {
        Type(d, outside::kHuetunerValuesEdit, Values(5));
        Type(d, outside::kHuetunerIcmMethodEdit, u"99");
        drv::PressButton(d, IDOK);
    });
    EXPECT_EQ(Working().priv.ColorAdjustValues[0], 5);
    EXPECT_EQ(Working().dm.dmICMMethod, 3u);

    // Cancel changes nothing.
    Detail([&](HWND d) {
        Type(d, outside::kHuetunerValuesEdit, Values(1));
        drv::PressButton(d, IDCANCEL);
    });
    EXPECT_EQ(Working().priv.ColorAdjustValues[0], 5);
}

TEST_F(ColorAdjust, AReadOnlySheetIgnoresTheAnswer) {
    Install(true);
    Working().priv.ColorMode = kGray;
    const DEVMODE_IMAGEW before = Working();
    ReadOnly();
    Detail([&](HWND d) {
        WCHAR info[64] = {};
        GetDlgItemTextW(d, outside::kHuetunerInfoText, info, 64);
        EXPECT_EQ(std::u16string(info), u"mode 2 flags 8"); // the library is told
        drv::PressButton(d, IDOK);
    });
    EXPECT_EQ(std::memcmp(&Working(), &before, sizeof before), 0);
}

TEST_F(ColorAdjust, AMissingFileWarnsAndChangesNothing) {
    Install(false);
    const DEVMODE_IMAGEW before = Working();
    std::u16string told;
    ut::AnswerNextMessageBox([&](const ut::MessageBoxCall& call) {
        told = call.text;
        return IDOK;
    });
    RunPage<CQuality>([&](HWND sheet, HWND page) {
        drv::Click(GetDlgItem(page, CQuality::kDetailButton));
        drv::PressButton(sheet, IDOK);
    });
    EXPECT_FALSE(told.empty()); // the missing-files warning
    EXPECT_EQ(std::memcmp(&Working(), &before, sizeof before), 0);
}

// -------------------------------------------------------------- font dialog

TEST(FontDownload, TheChoiceKeepsBitTwoAndDeviceFonts) {
    const WORD start = kFontOutline | kFontBit2 | kFontNoDeviceFonts;
    EXPECT_EQ(ChooseFontDownload(start, TRUE), kFontBitmap | kFontBit2 | kFontNoDeviceFonts);
    EXPECT_EQ(ChooseFontDownload(kFontBitmap, FALSE), kFontOutline);
}

TEST_F(Pages, FontDialogEditsItsCopyAndCancelKeepsTheWord) {
    context_->callerFlags |= 1u << 6; // the substitution table is offered
    WORD result = 0;
    {
        CFontDlg dialog(context_, kFontOutline);
        ut::AnswerNextModal([&](HWND d) {
            SavePicture(d, "font-dialog");
            EXPECT_TRUE(Checked(d, CFontDlg::kOutline));
            EXPECT_TRUE(Enabled(d, CFontDlg::kSubstitutionButton));
            drv::SetCheck(GetDlgItem(d, CFontDlg::kUseDeviceFonts), BST_UNCHECKED);
            EXPECT_FALSE(Enabled(d, CFontDlg::kSubstitutionButton));
            drv::Click(GetDlgItem(d, CFontDlg::kBitmap));
            drv::PressButton(d, IDOK);
        });
        ASSERT_EQ(dialog.DoModal(), IDOK);
        result = dialog.FontModeValue();
    }
    EXPECT_EQ(result, kFontBitmap | kFontNoDeviceFonts);
    // Through the page: Cancel leaves FontMode as it was.
    Working().priv.FontMode = kFontOutline;
    Working().priv.FeatureFlags |= 1u << 12;
    RunPage<CQuality>([&](HWND sheet, HWND page) {
        ut::AnswerNextModal([&](HWND d) {
            drv::Click(GetDlgItem(d, CFontDlg::kBitmap));
            drv::PressButton(d, IDCANCEL);
        });
        drv::Click(GetDlgItem(page, CQuality::kFontButton));
        EXPECT_EQ(Working().priv.FontMode, kFontOutline);
        drv::PressButton(sheet, IDOK);
    });
}

// ------------------------------------------------------- substitution table

class Substitution : public Pages {
  protected:
    std::string Host() const { return platform::HostPath(FontSubFilePath(context_)); }
    static FontSubRecord Rec(const char* name, const char* sub) {
        FontSubRecord r{};
        fontsub::SetName(r.name, name);
        fontsub::SetName(r.substitute, sub);
        r.flags = fontsub::kSubstitutable;
        return r;
    }
    // The first listed font that may be substituted.
    static int FirstSubstitutable(HWND d) {
        HWND list = GetDlgItem(d, CFontSubDlg::kList);
        const int n = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            SendMessageW(list, LB_SETCURSEL, i, 0);
            SendMessageW(d, WM_COMMAND,
                         static_cast<WPARAM>(CFontSubDlg::kList | (LBN_SELCHANGE << 16)),
                         reinterpret_cast<LPARAM>(list));
            if (Enabled(d, CFontSubDlg::kSubstitutionList)) return i;
        }
        return -1;
    }
};

TEST_F(Substitution, ThePathTakesOnlyABareComponentName) {
    const std::u16string path = FontSubFilePath(context_);
    EXPECT_EQ(path.substr(path.find_last_of(u'\\') + 1), u"Fontroll.DAT");
    EXPECT_EQ(
        path.substr(0, path.find_last_of(u'\\') + 1),
        std::u16string(context_->userFolder) +
            (context_->userFolder[lstrlenW(context_->userFolder) - 1] == u'\\' ? u"" : u"\\"));
}

TEST(SubstitutionRecords, EveryNonEmptySubstitutionIsKept) {
    auto rec = [](const char* name, const char* sub) {
        FontSubRecord r{};
        fontsub::SetName(r.name, name);
        fontsub::SetName(r.substitute, sub);
        return r;
    };
    const std::vector<FontSubRecord> device = {rec("Courier", "Courier")};
    const std::vector<FontSubRecord> current = {
        rec("Courier", "Courier"), // the default: not written
        rec("Arial", ""),          // nothing chosen: not written
        rec("Times", "Courier"),   // chosen: written
    };
    const std::vector<FontSubRecord> file = {rec("Gone Font", "Courier"), rec("Old Font", "")};
    const auto out = RecordsToWrite(current, file, device);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(fontsub::NameOf(out[0].name), "Times");
    // A font since removed keeps its saved choice even with one device font.
    EXPECT_EQ(fontsub::NameOf(out[1].name), "Gone Font");
    // A device-font name with "Don't Substitute" is written empty, so the choice survives.
    const auto cleared = RecordsToWrite({rec("Courier", "")}, {}, device);
    ASSERT_EQ(cleared.size(), 1u);
    EXPECT_EQ(fontsub::NameOf(cleared[0].substitute), "");
}

TEST_F(Substitution, ChoosingAFontWritesTheFileAndAFailedWriteKeepsTheOldOne) {
    std::filesystem::create_directories(std::filesystem::path(Host()).parent_path());
    const std::string old = fontsub::SerializeFontSubFile({Rec("Removed Font", "Courier New")});
    std::ofstream(Host(), std::ios::binary) << old;
    std::u16string chosenFont;
    // First OK: the disk fails half-way; the dialog stays and the file is the old one.
    EXPECT_EQ(RunDialog<CFontSubDlg>([&](HWND d) {
                  SavePicture(d, "substitution-dialog");
                  const int at = FirstSubstitutable(d);
                  ASSERT_GE(at, 0);
                  HWND subs = GetDlgItem(d, CFontSubDlg::kSubstitutionList);
                  ASSERT_TRUE(drv::SelectItemText(subs, u"Courier New"));
                  platform::test::FailNext("WriteFile", 1, ERROR_DISK_FULL);
                  ut::AnswerNextMessageBox(IDOK);
                  drv::PressButton(d, IDOK);
                  EXPECT_TRUE(IsWindow(d));
                  EXPECT_EQ(HostBytes(Host()), old);
                  // "Don't Substitute" is the entry with data 0.
                  EXPECT_EQ(SendMessageW(subs, CB_GETITEMDATA, 0, 0), 0);
                  drv::PressButton(d, IDOK);
              }),
              IDOK);
    std::vector<FontSubRecord> saved;
    ASSERT_TRUE(fontsub::ReadFontSubFile(FontSubFilePath(context_).c_str(), &saved));
    bool chosen = false, kept = false;
    for (const auto& r : saved) {
        chosen |= fontsub::NameOf(r.substitute) == "Courier New" &&
                  fontsub::NameOf(r.name) != "Removed Font";
        kept |= fontsub::NameOf(r.name) == "Removed Font";
    }
    EXPECT_TRUE(chosen);
    EXPECT_TRUE(kept); // a font no longer installed keeps its entry
    // Cancel writes nothing.
    const std::string now = HostBytes(Host());
    RunDialog<CFontSubDlg>([&](HWND d) {
        FirstSubstitutable(d);
        drv::SelectItem(GetDlgItem(d, CFontSubDlg::kSubstitutionList), 0);
        drv::PressButton(d, IDCANCEL);
    });
    EXPECT_EQ(HostBytes(Host()), now);
}

TEST_F(Substitution, EveryInstalledFontIsListed) {
    const auto fonts = EnumTrueTypeFonts();
    RunDialog<CFontSubDlg>([&](HWND d) {
        const LRESULT n = SendMessageW(GetDlgItem(d, CFontSubDlg::kList), LB_GETCOUNT, 0, 0);
        EXPECT_GT(fonts.size(), 1u);
        EXPECT_GT(n, 1);
        EXPECT_LE(static_cast<size_t>(n), fonts.size());
        drv::PressButton(d, IDCANCEL);
    });
}

TEST_F(Substitution, TheFolderIsMadeWhenMissing) {
    std::filesystem::remove_all(std::filesystem::path(Host()).parent_path());
    RunDialog<CFontSubDlg>([&](HWND d) {
        FirstSubstitutable(d);
        ASSERT_TRUE(
            drv::SelectItemText(GetDlgItem(d, CFontSubDlg::kSubstitutionList), u"Courier New"));
        drv::PressButton(d, IDOK);
    });
    EXPECT_TRUE(std::filesystem::exists(Host()));
}

} // namespace
