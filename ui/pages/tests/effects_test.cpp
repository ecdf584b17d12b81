// The Watermark and Overlay dialogs opened on their own over a document
// sheet's context and worked as a person would, and the files behind them:
// the user's watermark list (restored, shared by readers, written whole) and
// the overlay files of the working folder.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "effects_page.h"
#include "kinsoku_list.h"
#include "overlay_dlg.h"
#include "overlay_file.h"
#include "pages_fixture.h"
#include "platform/codepage_ctl.h"
#include "platform/emf_builder.h"
#include "platform/testctl.h"
#include "platform/user_ctl.h"
#include "watermark_dlg.h"
#include "watermark_file.h"
#include "win/base.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/user.h"

namespace {

using namespace sheetwright;
namespace drv = platform::user::driver;
namespace ut = platform::user::test;
using Bytes = std::vector<BYTE>;

bool WriteBytes(const std::u16string& path, const Bytes& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == bytes.size();
}

Bytes ReadBytes(const std::u16string& path) {
    Bytes out;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    BYTE buffer[4096];
    DWORD read = 0;
    while (ReadFile(h, buffer, sizeof buffer, &read, nullptr) && read)
        out.insert(out.end(), buffer, buffer + read);
    CloseHandle(h);
    return out;
}

WatermarkRecord Named(const char* name, const char* text) {
    WatermarkRecord r{};
    std::strcpy(r.name, name);
    std::strcpy(r.text, text);
    std::strcpy(r.font.lfFaceName, "Arial");
    r.points = 36;
    r.font.lfEscapement = r.font.lfOrientation = 450;
    r.color = 0xDFDFDF;
    return r;
}

class EffectsDialogs : public pages_test::SheetFixture {
  protected:
    void SetUp() override {
        SheetFixture::SetUp();
        folder_ = MakeUserFolder();
    }
    static HWND Item(HWND dialog, int id) { return GetDlgItem(dialog, id); }
    void Picture(HWND window, const std::string& name) {
        const std::string folder = pages_test::PictureFolder();
        if (!folder.empty()) {
            EXPECT_TRUE(drv::SavePng(window, folder + "/" + name + ".png"));
        }
    }
    void WriteList(const std::vector<WatermarkRecord>& records) {
        const Bytes bytes = print_effects::WatermarkFileBytes(records);
        ASSERT_TRUE(WriteBytes(WatermarkFilePath(context_), bytes));
    }
    std::u16string folder_;
};

// A watermark typed, saved in the list and taken with OK: the file holds it,
// the image carries it (on, percent positions), and it counts as unchanged.
TEST_F(EffectsDialogs, WatermarkSavedAndApplied) {
    Working().priv.WatermarkFlags = kWatermarkMillimetreFlag;
    // A dark red record to start from, so that the preview's picture shows it.
    WatermarkRecord start = Named("", "x");
    start.color = RGB(192, 0, 0);
    start.points = 72;
    std::memcpy(Working().priv.WatermarkRecord, &start, sizeof start);
    CWaterMarkDlg dialog(context_);
    ut::AnswerNextModal([&](HWND h) {
        drv::TypeText(Item(h, CWaterMarkDlg::kName), u"Draft");
        drv::TypeText(Item(h, CWaterMarkDlg::kText), u"DRAFT COPY");
        drv::Click(Item(h, CWaterMarkDlg::kSquare));
        drv::SelectItemText(Item(h, CWaterMarkDlg::kPages), u"Odd Pages");
        EXPECT_TRUE(IsWindowEnabled(Item(h, CWaterMarkDlg::kSave)));
        drv::Click(Item(h, CWaterMarkDlg::kSave));
        EXPECT_EQ(drv::ReadSelection(Item(h, CWaterMarkDlg::kList)), 0);
        // Dragging past the page's corner stops at the edge.
        HWND preview = Item(h, CWaterMarkDlg::kPreview);
        RECT client{};
        GetClientRect(preview, &client);
        drv::Drag(preview, POINT{client.right / 2, client.bottom / 2},
                  POINT{client.right - 1, client.bottom - 1});
        EXPECT_EQ(dialog.Record().horizontal, 50);
        EXPECT_EQ(dialog.Record().vertical, 50);
        drv::Click(Item(h, CWaterMarkDlg::kCenter));
        EXPECT_EQ(dialog.Record().horizontal, 0);
        Picture(h, "watermark_dialog");
        drv::PressButton(h, IDOK);
    });
    ASSERT_EQ(dialog.DoModal(), IDOK);
    dialog.ApplyToDevmode(&Working());
    EXPECT_EQ(Working().priv.WatermarkFlags & (kWatermarkOnFlag | kWatermarkMillimetreFlag),
              kWatermarkOnFlag);
    WatermarkRecord applied{};
    std::memcpy(&applied, Working().priv.WatermarkRecord, sizeof applied);
    EXPECT_STREQ(applied.text, "DRAFT COPY");
    EXPECT_EQ(applied.version, 1);
    EXPECT_EQ(applied.size, 216);
    EXPECT_EQ(applied.border, 2);
    EXPECT_EQ(applied.pages, 3);

    CWaterMarkDlg holder(context_);
    holder.ReadWatermarkFile();
    ASSERT_EQ(holder.List().records.size(), 1u);
    EXPECT_STREQ(holder.List().records[0].name, "Draft");
    // Names are keys without regard to case.
    WatermarkRecord other = applied;
    std::strcpy(other.name, "DRAFT");
    EXPECT_NE(holder.FindMatchingWatermark(other), nullptr);
    other.points = 40;
    EXPECT_EQ(holder.FindMatchingWatermark(other), nullptr);
}

// A write that fails half way leaves the old file as it was, says so, and
// keeps what the person has in the list.
TEST_F(EffectsDialogs, FailedWriteKeepsTheOldFileAndTheList) {
    WriteList({Named("Kept", "KEPT")});
    const Bytes before = ReadBytes(WatermarkFilePath(context_));
    CWaterMarkDlg dialog(context_);
    ut::AnswerNextModal([&](HWND h) {
        drv::TypeText(Item(h, CWaterMarkDlg::kName), u"New");
        drv::TypeText(Item(h, CWaterMarkDlg::kText), u"NEW");
        platform::test::FailNext("WriteFile", 1, ERROR_DISK_FULL);
        ut::AnswerNextMessageBox(IDOK);
        drv::Click(Item(h, CWaterMarkDlg::kSave));
        EXPECT_EQ(SendMessageW(Item(h, CWaterMarkDlg::kList), LB_GETCOUNT, 0, 0), 2);
        drv::PressButton(h, IDCANCEL);
    });
    dialog.DoModal();
    EXPECT_EQ(ReadBytes(WatermarkFilePath(context_)), before);
    EXPECT_EQ(dialog.List().records.size(), 2u);
    const auto log = ut::MessageBoxLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, u"Cannot save data");
}

// A file that is there but unreadable gives an empty list that is never
// written over it; one that is missing is restored from the driver folder.
TEST_F(EffectsDialogs, UnreadableFileIsNeverWrittenOver) {
    const std::u16string path = WatermarkFilePath(context_);
    const Bytes foreign = {'N', 'O', 'P', 'E', 1,  2,  3,  4,  5,  6,  7,  8, 9,
                           10,  11,  12,  13,  14, 15, 16, 17, 18, 19, 20, 21};
    ASSERT_TRUE(WriteBytes(path, foreign));
    WatermarkList list;
    LoadWatermarkList(context_, &list);
    EXPECT_FALSE(list.loaded);
    list.records.push_back(Named("X", "x"));
    EXPECT_FALSE(SaveWatermarkList(context_, list));
    EXPECT_EQ(ReadBytes(path), foreign);
}

TEST_F(EffectsDialogs, MissingFileIsRestoredFromTheDriverFolder) {
    const std::u16string shipped = GetDriverFolder(printer_) + WatermarkFileName(&context_->model);
    const Bytes bytes = print_effects::WatermarkFileBytes({Named("Shipped", "CONFIDENTIAL")});
    ASSERT_TRUE(WriteBytes(shipped, bytes));
    WatermarkList list;
    LoadWatermarkList(context_, &list);
    EXPECT_TRUE(list.loaded);
    ASSERT_EQ(list.records.size(), 1u);
    EXPECT_STREQ(list.records[0].name, "Shipped");
    EXPECT_EQ(ReadBytes(WatermarkFilePath(context_)), bytes);
    DeleteFileW(shipped.c_str());
}

// Two sheets read the list at the same time: a reader holding the file open
// does not keep the other out.
TEST_F(EffectsDialogs, TwoSheetsReadAtOnce) {
    WriteList({Named("One", "1"), Named("Two", "2")});
    HANDLE other = CreateFileW(WatermarkFilePath(context_).c_str(), GENERIC_READ, FILE_SHARE_READ,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    WatermarkList first, second;
    LoadWatermarkList(context_, &first);
    LoadWatermarkList(context_, &second);
    CloseHandle(other);
    EXPECT_TRUE(first.loaded && second.loaded);
    EXPECT_EQ(first.records.size(), 2u);
    EXPECT_EQ(second.records.size(), 2u);
}

// The model's file name is used only as a bare file name.
TEST_F(EffectsDialogs, WatermarkFileNameIsABareName) {
    const std::u16string name = WatermarkFileName(&context_->model);
    EXPECT_EQ(name.find(u'\\'), std::u16string::npos);
    EXPECT_EQ(WatermarkFilePath(context_), folder_ + name);
}

// Size and angle typed out of range are brought in at OK too.
TEST_F(EffectsDialogs, SizeAndAngleClampAtOk) {
    CWaterMarkDlg dialog(context_);
    ut::AnswerNextModal([&](HWND h) {
        drv::TypeText(Item(h, CWaterMarkDlg::kText), u"X");
        drv::TypeText(Item(h, CWaterMarkDlg::kSize), u"7");
        drv::TypeText(Item(h, CWaterMarkDlg::kAngle), u"400");
        drv::PressButton(h, IDOK);
    });
    ASSERT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.Record().points, 8u);
    EXPECT_EQ(dialog.Record().font.lfEscapement, 3600);
    EXPECT_STREQ(dialog.Record().name, "X");
}

// ---------------------------------------------------------------- the page

// The Effects page in a sheet of its own: a record without a name shows its
// text and "*"; the overlay switched off in print mode and on again opens
// the dialog in print mode with the name it had; in a read-only sheet OK in
// a Detail dialog changes nothing.
TEST_F(EffectsDialogs, EffectsPage) {
    ASSERT_TRUE(WriteBytes(folder_ + u"Form.POL", Bytes{}));
    Working().priv.FeatureFlags |= 0xC0000;
    Working().priv.WatermarkFlags = kWatermarkOnFlag;
    WatermarkRecord unnamed = Named("", "Secret");
    std::memcpy(Working().priv.WatermarkRecord, &unnamed, sizeof unnamed);
    Working().priv.OverlayFlags = kOverlayPrint;
    std::strcpy(Working().priv.OverlayUseName, "Form");
    auto* page = new CStationary(context_);
    HPROPSHEETPAGE handle = CreatePropertySheetPageW(&page->m_psp);
    ASSERT_NE(handle, nullptr);
    ut::AnswerNextModal([&](HWND sheet) {
        HWND p = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        EXPECT_EQ(drv::ReadText(Item(p, CStationary::kWatermarkName)), u"Secret*");
        EXPECT_EQ(drv::ReadText(Item(p, CStationary::kOverlayName)), u"Form");
        Picture(sheet, "effects_page");
        drv::SetCheck(Item(p, CStationary::kOverlayCheck), BST_UNCHECKED);
        EXPECT_EQ(Working().priv.OverlayFlags & 3, 0u);
        EXPECT_EQ(drv::ReadText(Item(p, CStationary::kOverlayName)), u"Form");
        ut::AnswerNextModal([&](HWND dialog) {
            EXPECT_EQ(drv::ReadCheck(Item(dialog, COverlay::kPrintRadio)), BST_CHECKED);
            drv::PressButton(dialog, IDCANCEL);
        });
        drv::Click(Item(p, CStationary::kOverlayCheck));
        // Cancelled: the overlay stays off.
        EXPECT_EQ(drv::ReadCheck(Item(p, CStationary::kOverlayCheck)), BST_UNCHECKED);

        context_->callerFlags |= DM_NOPERMISSION;
        const DEVMODE_IMAGEW before = Working();
        ut::AnswerNextModal([&](HWND dialog) { drv::PressButton(dialog, IDOK); });
        SendMessageW(p, WM_COMMAND, MAKELONG(CStationary::kWatermarkDetail, BN_CLICKED),
                     reinterpret_cast<LPARAM>(Item(p, CStationary::kWatermarkDetail)));
        EXPECT_EQ(std::memcmp(&before, &Working(), sizeof before), 0);
        context_->callerFlags &= ~DM_NOPERMISSION;
        drv::PressButton(sheet, IDCANCEL);
    });
    PROPSHEETHEADERW psh{};
    psh.dwSize = sizeof psh;
    psh.pszCaption = u"Effects";
    psh.nPages = 1;
    psh.phpage = &handle;
    PropertySheetW(&psh);
}

// With the rules refusing the watermark, its group is disabled while the
// overlay's stays usable.
TEST_F(EffectsDialogs, EffectsPageWithTheWatermarkRefused) {
    Working().priv.FeatureFlags |= 0xC0000;
    CKinsokuItem* item = context_->constraints->GetItem(kItemWatermarkOn);
    ASSERT_NE(item, nullptr);
    item->RemoveValue(1);
    ASSERT_TRUE(context_->constraints->IsValueRefused(kItemWatermarkOn, 1));
    auto* page = new CStationary(context_);
    HPROPSHEETPAGE handle = CreatePropertySheetPageW(&page->m_psp);
    ASSERT_NE(handle, nullptr);
    ut::AnswerNextModal([&](HWND sheet) {
        HWND p = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
        EXPECT_FALSE(IsWindowEnabled(Item(p, CStationary::kWatermarkCheck)));
        EXPECT_FALSE(IsWindowEnabled(Item(p, CStationary::kWatermarkGroup)));
        EXPECT_TRUE(IsWindowEnabled(Item(p, CStationary::kOverlayCheck)));
        drv::PressButton(sheet, IDCANCEL);
    });
    PROPSHEETHEADERW psh{};
    psh.dwSize = sizeof psh;
    psh.pszCaption = u"Effects";
    psh.nPages = 1;
    psh.phpage = &handle;
    PropertySheetW(&psh);
}

// ---------------------------------------------------------------- overlays

Bytes OverlayBytes(DWORD version = 2, const char* magic = "ZORD") {
    platform::gdi::EmfBuilder b(SIZEL{800, 1000}, SIZEL{34, 42});
    b.SelectStock(NULL_PEN);
    b.CreateBrush(1, BS_SOLID, RGB(0, 0x80, 0));
    b.SelectObject(1);
    b.Box(EMR_RECTANGLE, RECTL{100, 100, 500, 400});
    b.SelectStock(WHITE_BRUSH);
    b.DeleteObject(1);
    const Bytes bits = b.Finish();
    print_effects::OverlayHeader header;
    header.paperSize = 1;
    header.paperWidth = 2159;
    header.paperLength = 2794;
    header.orientation = 1;
    Bytes file = print_effects::OverlayFileBytes(header, bits.data(), bits.size());
    std::memcpy(file.data(), magic, 4);
    file[8] = static_cast<BYTE>(version);
    return file;
}

std::vector<std::u16string> Listed(HWND list) {
    std::vector<std::u16string> out;
    const LRESULT n = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < n; ++i) {
        WCHAR text[128] = {};
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
        out.emplace_back(text);
    }
    return out;
}

// Only overlay files by name and header are listed.
TEST_F(EffectsDialogs, OverlayListing) {
    const std::u16string sixtyFour(64, u'L');
    struct File {
        std::u16string name;
        Bytes bytes;
    } files[] = {
        {u"Letterhead.POL", OverlayBytes()},
        {u"Foreign.POL", OverlayBytes(2, "XXXX")},
        {u"Older.POL", OverlayBytes(1)},
        {sixtyFour + u".POL", OverlayBytes()},
        {u"A.POLD", OverlayBytes()},
        {u"\u65e5\u672c.POL", OverlayBytes()},
        {u"Short.POL", Bytes{'Z', 'O', 'R', 'D'}},
    };
    for (const File& f : files)
        ASSERT_TRUE(WriteBytes(folder_ + f.name, f.bytes));
    OverlayChoice choice;
    choice.flags = kOverlayPrint;
    COverlay dialog(context_, choice);
    ut::AnswerNextModal([&](HWND h) {
        EXPECT_EQ(Listed(Item(h, COverlay::kList)), std::vector<std::u16string>{u"Letterhead"});
        Picture(h, "overlay_dialog");
        drv::PressButton(h, IDOK);
    });
    ASSERT_EQ(dialog.DoModal(), IDOK);
    EXPECT_STREQ(dialog.Choice().useName, "Letterhead");
    EXPECT_EQ(dialog.Choice().flags, kOverlayPrint);
    EXPECT_EQ(dialog.PlaceholderDraws(), 0u);
}

TEST_F(EffectsDialogs, OverlayNamesByCodePage) {
    struct Case {
        UINT codePage;
        std::u16string file;
        bool listed;
    } cases[] = {
        {1252, u"\u65e5\u672c.POL", false}, // no such characters in the code page
        {932, u"\u65e5\u672c.POL", true},
        {1252, u"a.pol", true},
        {1252, u"A.POLD", false},
        {1252, std::u16string(63, u'x') + u".POL", true},
        {1252, std::u16string(64, u'x') + u".POL", false},
        {932, std::u16string(32, u'\u65e5') + u".POL", false}, // 64 bytes
    };
    for (const Case& c : cases) {
        platform::test::SetAnsiCodePage(c.codePage);
        EXPECT_EQ(!OverlayListName(c.file).empty(), c.listed)
            << std::string(c.file.begin(), c.file.end()) << " in " << c.codePage;
    }
    platform::test::SetAnsiCodePage(1252);
}

// An overlay whose metafile size says 0xFFFFFFFF: listed by its header, drawn
// as the missing picture, reported once after the paint.
TEST_F(EffectsDialogs, OverlayWithAWildSizeShowsTheMissingPicture) {
    Bytes file = OverlayBytes();
    file[284] = file[285] = file[286] = file[287] = 0xFF;
    ASSERT_TRUE(WriteBytes(folder_ + u"Broken.POL", file));
    OverlayChoice choice;
    choice.flags = kOverlayPrint;
    std::strcpy(choice.useName, "Broken");
    COverlay dialog(context_, choice);
    ut::AnswerNextMessageBox(IDOK);
    ut::AnswerNextModal([&](HWND h) {
        UpdateWindow(h);
        HWND preview = Item(h, COverlay::kPreview);
        InvalidateRect(preview, nullptr, TRUE);
        UpdateWindow(preview);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Picture(h, "overlay_missing_picture");
        drv::PressButton(h, IDCANCEL);
    });
    dialog.DoModal();
    EXPECT_GE(dialog.PlaceholderDraws(), 1u);
    const auto log = ut::MessageBoxLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, u"Data cannot be read. \r\nThis data may have broken.");
}

// Both mode bits are one mode; a make name with a full stop is refused.
TEST_F(EffectsDialogs, OverlayModes) {
    ASSERT_TRUE(WriteBytes(folder_ + u"Form.POL", OverlayBytes()));
    Working().priv.OverlayFlags = kOverlayMake | kOverlayPrint;
    OverlayChoice choice = OverlayChoiceOf(Working());
    EXPECT_EQ(choice.flags, kOverlayPrint);
    choice.flags = kOverlayMake;
    COverlay dialog(context_, choice);
    ut::AnswerNextModal([&](HWND h) {
        drv::TypeText(Item(h, COverlay::kName), u"a.b");
        ut::AnswerNextMessageBox(IDOK);
        drv::PressButton(h, IDOK);
        EXPECT_TRUE(IsWindow(h));
        drv::TypeText(Item(h, COverlay::kName), u"Invoice");
        drv::PressButton(h, IDOK);
    });
    ASSERT_EQ(dialog.DoModal(), IDOK);
    EXPECT_STREQ(dialog.Choice().makeName, "Invoice");
    EXPECT_EQ(dialog.Choice().flags, kOverlayMake);
}

} // namespace

namespace {

// The preview's page size: the header's own sizes for paper 0 and user
// papers, the paper's record otherwise; sizes of 0 or less are unknown.
TEST_F(EffectsDialogs, OverlayPreviewPageSizes) {
    struct Case {
        const char* what;
        WORD paper;
        WORD width, length;
        bool drawn;
    } cases[] = {
        {"letter by its record", 1, 0, 0, true},
        {"paper 0 with its own sizes", 0, 2100, 2970, true},
        {"paper 0 without sizes", 0, 0, 0, false},
        {"paper 0 with a negative width", 0, 0x8000, 2970, false},
        {"user paper without sizes", 500, 0, 0, false},
    };
    for (const Case& c : cases) {
        Bytes file = OverlayBytes();
        std::memcpy(&file[20], &c.paper, 2);
        std::memcpy(&file[22], &c.width, 2);
        std::memcpy(&file[24], &c.length, 2);
        ASSERT_TRUE(WriteBytes(folder_ + u"Sized.POL", file));
        OverlayChoice choice;
        choice.flags = kOverlayPrint;
        std::strcpy(choice.useName, "Sized");
        COverlay dialog(context_, choice);
        if (!c.drawn) ut::AnswerNextMessageBox(IDOK);
        ut::AnswerNextModal([&](HWND h) {
            HWND preview = Item(h, COverlay::kPreview);
            InvalidateRect(preview, nullptr, TRUE);
            UpdateWindow(preview);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            drv::PressButton(h, IDCANCEL);
        });
        dialog.DoModal();
        EXPECT_EQ(dialog.PlaceholderDraws() == 0, c.drawn) << c.what;
    }
}

} // namespace
