// The controls that the pages and dialogs bind, template by template: each
// must exist with its id, its kind and the styles its page relies on (owner
// drawing, drop-down lists, push-like icon buttons, an up-down right after
// its buddy edit). Every template keeps its controls inside its frame and
// apart from each other, so that a page reads as laid out.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/dialog_template.h"
#include "platform/loader_ctl.h"
#include "win/base.h"
#include "win/resources.h"
#include "win/user.h"

namespace {

using platform::user::DialogItemTemplate;
using platform::user::DialogTemplateData;

enum class Kind {
    Label,     // static text
    Picture,   // static without text: frame, icon, bitmap, preview, separator
    Edit,      // edit
    List,      // list box
    DropList,  // drop-down list
    IconCombo, // owner-drawn drop-down list with icons
    Check,     // check box
    Radio,     // radio button
    IconRadio, // push-like radio button that shows an icon
    Push,      // push button
    OwnerPush, // owner-drawn button
    Group,     // group box
    Slider,    // trackbar
    UpDown,    // up-down; Row::buddy names its edit
    VScroll,   // vertical scroll bar
    HScroll,   // horizontal scroll bar
};

struct Row {
    DWORD dialog;
    DWORD id;
    Kind kind;
    DWORD styles = 0; // styles the page relies on, beyond the kind's own
    DWORD buddy = 0;  // an up-down's edit
};

constexpr DWORD kHidden = 0x80000000; // in Row::styles: created without WS_VISIBLE

// What the pages and dialogs bind. Help (23), OK and Cancel are left out.
const Row kRows[] = {
    // Basic page.
    {100, 140, Kind::Picture},
    {100, 141, Kind::Push},
    {100, 111, Kind::Label},
    {100, 112, Kind::DropList},
    {100, 113, Kind::Push},
    {100, 114, Kind::Label},
    {100, 115, Kind::DropList},
    {100, 116, Kind::Label},
    {100, 118, Kind::DropList},
    {100, 119, Kind::Label},
    {100, 120, Kind::DropList},
    {100, 121, Kind::Label},
    {100, 122, Kind::DropList},
    {100, 123, Kind::Push},
    {100, 124, Kind::Label},
    {100, 125, Kind::IconCombo},
    {100, 126, Kind::Label},
    {100, 127, Kind::Edit},
    {100, 128, Kind::UpDown, 0, 127},
    {100, 129, Kind::Label},
    {100, 130, Kind::Push},
    {100, 131, Kind::Label},
    {100, 132, Kind::Label},
    {100, 133, Kind::IconRadio, WS_GROUP},
    {100, 134, Kind::IconRadio},
    {100, 135, Kind::IconRadio},
    {100, 136, Kind::IconRadio},
    {100, 137, Kind::IconRadio},
    {100, 138, Kind::IconRadio},
    {100, 139, Kind::Picture},
    {100, 142, Kind::Push},
    // Output page.
    {150, 140, Kind::Picture},
    {150, 141, Kind::Push},
    {150, 161, Kind::Group},
    {150, 162, Kind::Edit},
    {150, 163, Kind::UpDown, UDS_SETBUDDYINT, 162},
    {150, 164, Kind::Label},
    {150, 165, Kind::Check},
    {150, 166, Kind::Label},
    {150, 167, Kind::IconCombo},
    {150, 168, Kind::Label},
    {150, 169, Kind::IconCombo},
    {150, 170, Kind::Label},
    {150, 171, Kind::IconCombo},
    {150, 172, Kind::Label},
    {150, 173, Kind::IconCombo},
    {150, 174, Kind::Check},
    {150, 175, Kind::Check},
    {150, 176, Kind::Push},
    // Quality page.
    {200, 140, Kind::Picture},
    {200, 141, Kind::Push},
    {200, 211, Kind::Label},
    {200, 212, Kind::IconCombo},
    {200, 213, Kind::Label},
    {200, 214, Kind::DropList},
    {200, 215, Kind::Push},
    {200, 216, Kind::Label},
    {200, 217, Kind::IconCombo},
    {200, 235, Kind::Label, kHidden},
    {200, 236, Kind::IconCombo, kHidden},
    {200, 222, Kind::Label},
    {200, 223, Kind::IconCombo},
    {200, 224, Kind::Label},
    {200, 225, Kind::IconCombo},
    {200, 230, Kind::Group},
    {200, 231, Kind::Slider},
    {200, 232, Kind::Label},
    {200, 233, Kind::Label},
    {200, 226, Kind::Group},
    {200, 227, Kind::Slider},
    {200, 228, Kind::Label},
    {200, 229, Kind::Label},
    {200, 218, Kind::Check},
    {200, 219, Kind::Check},
    {200, 220, Kind::Check},
    {200, 237, Kind::Check},
    {200, 221, Kind::Push},
    {200, 234, Kind::Picture},
    // Job Type page.
    {250, 140, Kind::Picture},
    {250, 141, Kind::Push},
    {250, 261, Kind::Group},
    {250, 262, Kind::Check},
    {250, 263, Kind::Label},
    {250, 264, Kind::IconRadio, WS_GROUP},
    {250, 265, Kind::IconRadio},
    {250, 266, Kind::IconRadio},
    {250, 267, Kind::IconRadio},
    {250, 268, Kind::IconRadio},
    {250, 269, Kind::Label},
    {250, 270, Kind::Edit},
    {250, 271, Kind::Label},
    {250, 272, Kind::Edit, ES_PASSWORD},
    {250, 273, Kind::Label},
    {250, 274, Kind::Edit, ES_PASSWORD},
    {250, 287, Kind::Check, kHidden},
    {250, 275, Kind::Group},
    {250, 276, Kind::Label},
    {250, 277, Kind::Edit},
    {250, 278, Kind::Label},
    {250, 279, Kind::Edit},
    {250, 280, Kind::Check},
    {250, 281, Kind::Group},
    {250, 282, Kind::Label},
    {250, 283, Kind::Edit},
    {250, 284, Kind::Check, kHidden},
    {250, 286, Kind::Check},
    {250, 285, Kind::Check},
    // Device page.
    {300, 311, Kind::Label},
    {300, 312, Kind::Edit},
    {300, 313, Kind::UpDown, UDS_SETBUDDYINT, 312},
    {300, 314, Kind::Label},
    {300, 315, Kind::Label},
    {300, 316, Kind::DropList},
    {300, 317, Kind::Label},
    {300, 318, Kind::DropList},
    {300, 319, Kind::Label},
    {300, 320, Kind::DropList},
    {300, 321, Kind::Label},
    {300, 322, Kind::DropList},
    {300, 323, Kind::Label},
    {300, 324, Kind::DropList},
    {300, 325, Kind::Label},
    {300, 326, Kind::DropList},
    {300, 327, Kind::Label},
    {300, 328, Kind::DropList},
    {300, 340, Kind::Label},
    {300, 341, Kind::DropList},
    {300, 329, Kind::Label},
    {300, 330, Kind::DropList},
    {300, 346, Kind::Label},
    {300, 347, Kind::DropList},
    {300, 331, Kind::Push},
    {300, 332, Kind::Push},
    {300, 333, Kind::Label, kHidden},
    {300, 334, Kind::Push, kHidden},
    {300, 335, Kind::Push},
    {300, 336, Kind::Picture, kHidden},
    {300, 337, Kind::Picture},
    {300, 339, Kind::Picture, kHidden},
    // Font dialog and font substitution table.
    {350, 361, Kind::Group},
    {350, 362, Kind::Radio, WS_GROUP},
    {350, 363, Kind::Radio},
    {350, 364, Kind::Check},
    {350, 365, Kind::Push},
    {366, 371, Kind::Label},
    {366, 372, Kind::Label},
    {366, 367, Kind::List, LBS_USETABSTOPS},
    {366, 373, Kind::Label},
    {366, 368, Kind::DropList},
    {366, 369, Kind::Push},
    // Overlay dialog.
    {400, 412, Kind::Radio, WS_GROUP},
    {400, 413, Kind::Radio},
    {400, 414, Kind::Label},
    {400, 415, Kind::List, LBS_NOTIFY},
    {400, 416, Kind::Push},
    {400, 424, Kind::Picture},
    {400, 417, Kind::Label},
    {400, 418, Kind::Edit},
    {400, 419, Kind::Group},
    {400, 420, Kind::Label},
    {400, 421, Kind::DropList},
    {400, 422, Kind::Label},
    {400, 423, Kind::DropList},
    // Watermark dialog.
    {450, 461, Kind::List, LBS_NOTIFY},
    {450, 462, Kind::Push},
    {450, 464, Kind::Edit},
    {450, 465, Kind::Push},
    {450, 467, Kind::Edit},
    {450, 469, Kind::Picture},
    {450, 470, Kind::Push},
    {450, 472, Kind::Edit},
    {450, 473, Kind::UpDown, UDS_SETBUDDYINT, 472},
    {450, 476, Kind::Edit},
    {450, 477, Kind::UpDown, UDS_SETBUDDYINT, 476},
    {450, 480, Kind::Picture},
    {450, 481, Kind::Push},
    {450, 482, Kind::Check},
    {450, 483, Kind::Check},
    {450, 485, Kind::Radio, WS_GROUP},
    {450, 486, Kind::Radio},
    {450, 487, Kind::Radio},
    {450, 490, Kind::DropList},
    {450, 492, Kind::DropList},
    {450, 493, Kind::Picture},
    {450, 494, Kind::VScroll},
    {450, 495, Kind::HScroll},
    {450, 496, Kind::Push},
    // Output Options dialog.
    {500, 511, Kind::Label},
    {500, 512, Kind::DropList},
    {500, 513, Kind::Check},
    {500, 514, Kind::Check},
    {500, 515, Kind::Check},
    // Profile page and profile name dialog.
    {550, 140, Kind::Picture},
    {550, 141, Kind::Push},
    {550, 562, Kind::Label},
    {550, 563, Kind::List, LBS_NOTIFY},
    {550, 564, Kind::Push},
    {550, 565, Kind::Push},
    {550, 566, Kind::Push},
    {550, 567, Kind::Push},
    {550, 569, Kind::List, LBS_OWNERDRAWFIXED | LBS_HASSTRINGS},
    {550, 571, Kind::Edit, ES_MULTILINE | ES_READONLY | WS_VSCROLL},
    {600, 611, Kind::Label},
    {600, 612, Kind::Edit},
    {600, 613, Kind::Label},
    {600, 614, Kind::Edit, ES_MULTILINE},
    {600, 615, Kind::Group},
    {600, 616, Kind::Check},
    // Booklet.
    {650, 662, Kind::IconRadio, WS_GROUP},
    {650, 663, Kind::IconRadio},
    {650, 665, Kind::DropList},
    {650, 667, Kind::Edit},
    {650, 668, Kind::UpDown, 0, 667},
    {650, 669, Kind::Label},
    {650, 671, Kind::DropList},
    // Fit to output paper size.
    {700, 711, Kind::Check},
    {700, 712, Kind::Picture, SS_BITMAP},
    // Pages per sheet.
    {750, 762, Kind::IconRadio, WS_GROUP},
    {750, 763, Kind::IconRadio},
    {750, 764, Kind::IconRadio},
    {750, 765, Kind::IconRadio},
    {750, 766, Kind::IconRadio},
    {750, 767, Kind::IconRadio},
    {750, 769, Kind::IconRadio, WS_GROUP},
    {750, 770, Kind::IconRadio},
    {750, 771, Kind::IconRadio},
    {750, 772, Kind::IconRadio},
    {750, 773, Kind::Label},
    {750, 774, Kind::DropList},
    {750, 775, Kind::Label},
    {750, 776, Kind::DropList},
    // Poster.
    {800, 811, Kind::Group},
    {800, 812, Kind::IconRadio, WS_GROUP},
    {800, 813, Kind::IconRadio},
    {800, 814, Kind::IconRadio},
    {800, 815, Kind::IconRadio},
    {800, 817, Kind::Edit},
    {800, 818, Kind::UpDown, 0, 817},
    {800, 819, Kind::Label},
    // Zoom.
    {850, 862, Kind::Edit},
    {850, 863, Kind::UpDown, UDS_SETBUDDYINT, 862},
    {850, 874, Kind::Label},
    {850, 864, Kind::Group},
    {850, 865, Kind::IconRadio, WS_GROUP},
    {850, 866, Kind::IconRadio},
    {850, 867, Kind::IconRadio},
    {850, 868, Kind::IconRadio},
    {850, 869, Kind::IconRadio},
    {850, 870, Kind::IconRadio},
    {850, 871, Kind::IconRadio},
    {850, 872, Kind::IconRadio},
    {850, 873, Kind::IconRadio},
    // Support page.
    {900, 911, Kind::OwnerPush},
    {900, 912, Kind::Picture},
    {900, 913, Kind::Picture},
    {900, 914, Kind::Edit, ES_MULTILINE | ES_READONLY | WS_VSCROLL},
    {900, 915, Kind::Push},
    {900, 916, Kind::Push},
    {900, 917, Kind::Push},
    {900, 918, Kind::Label},
    {900, 919, Kind::Label},
    {900, 920, Kind::Label},
    // Effects page.
    {950, 140, Kind::Picture},
    {950, 141, Kind::Push},
    {950, 961, Kind::Group},
    {950, 962, Kind::Check},
    {950, 963, Kind::Label},
    {950, 964, Kind::Push},
    {950, 965, Kind::Group},
    {950, 966, Kind::Check},
    {950, 967, Kind::Label},
    {950, 968, Kind::Push},
    // Custom paper edit and list dialogs.
    {1000, 1011, Kind::Label},
    {1000, 1012, Kind::Edit},
    {1000, 1013, Kind::Group},
    {1000, 1014, Kind::Label},
    {1000, 1015, Kind::Edit},
    {1000, 1016, Kind::Label},
    {1000, 1017, Kind::Label},
    {1000, 1018, Kind::Edit},
    {1000, 1019, Kind::Label},
    {1000, 1020, Kind::Check},
    {1000, 1021, Kind::Group},
    {1000, 1022, Kind::Radio, WS_GROUP},
    {1000, 1023, Kind::Radio},
    {1050, 1061, Kind::Label},
    {1050, 1062, Kind::List, LBS_NOTIFY},
    {1050, 1063, Kind::Push},
    {1050, 1064, Kind::Push},
    {1050, 1065, Kind::Push},
    // Duplex options and cover page.
    {1100, 1111, Kind::Label},
    {1100, 1112, Kind::DropList},
    {1100, 516, Kind::Check},
    {1150, 1161, Kind::Group},
    {1150, 1162, Kind::Check},
    {1150, 1163, Kind::Picture, SS_ICON},
    {1150, 1164, Kind::Label},
    {1150, 1165, Kind::DropList},
    {1150, 1166, Kind::Label},
    {1150, 1167, Kind::DropList},
    {1150, 1168, Kind::Label},
    {1150, 1169, Kind::DropList},
    {1150, 1170, Kind::Group},
    {1150, 1171, Kind::Label},
    {1150, 1172, Kind::DropList},
    {1150, 1173, Kind::Label},
    {1150, 1174, Kind::DropList},
    {1150, 1175, Kind::Group},
    {1150, 1176, Kind::Check},
    {1150, 1177, Kind::Label},
    {1150, 1178, Kind::DropList},
    {1150, 1179, Kind::Label},
    {1150, 1180, Kind::DropList},
    {1150, 1181, Kind::Label},
    {1150, 1182, Kind::DropList},
    {1150, 1183, Kind::Picture, SS_ICON},
    // Form / Tray page.
    {1200, 1211, Kind::Group},
    {1200, 1212, Kind::Label},
    {1200, 1213, Kind::Label},
    {1200, 1214, Kind::Label},
    {1200, 1215, Kind::List, LBS_NOTIFY},
    {1200, 1216, Kind::Label},
    {1200, 1217, Kind::DropList},
    {1200, 1218, Kind::Label},
    {1200, 1219, Kind::DropList},
    // Per-job prompts: digits only until the model's input rule says more.
    {1250, 276, Kind::Label},
    {1250, 277, Kind::Edit},
    {1250, 278, Kind::Label},
    {1250, 279, Kind::Edit},
    {1350, 1351, Kind::Label},
    {1350, 1352, Kind::Edit, ES_NUMBER},
    {1350, 1353, Kind::Label},
    {1350, 1354, Kind::Edit, ES_NUMBER | ES_PASSWORD},
    {1360, 1361, Kind::Label},
    {1360, 1362, Kind::Edit, ES_NUMBER},
    {1370, 1371, Kind::Group},
    {1370, 1372, Kind::Label},
    {1370, 1374, Kind::Edit, ES_NUMBER},
    {1370, 1373, Kind::Label},
    {1370, 1375, Kind::Edit, ES_NUMBER | ES_PASSWORD},
    {1370, 1376, Kind::Group, kHidden | WS_DISABLED},
    {1370, 1377, Kind::Label, kHidden | WS_DISABLED},
    {1370, 1379, Kind::Edit, kHidden | WS_DISABLED},
    {1370, 1378, Kind::Label, kHidden | WS_DISABLED},
    {1370, 1380, Kind::Edit, kHidden | WS_DISABLED},
    {1370, 1381, Kind::Group},
    {1370, 1382, Kind::Label},
    {1370, 1383, Kind::Edit, ES_NUMBER | ES_PASSWORD},
};

// The five layout dialogs share their preview, the output paper list and the
// hidden, disabled source paper edit; every localized dialog has Help.
const DWORD kLayoutDialogs[] = {650, 700, 750, 800, 850};
const DWORD kHelpDialogs[] = {350, 366, 400, 450,  500,  650,  700,
                              750, 800, 850, 1000, 1050, 1100, 1150};

// The class as the predefined names spell it; resource compilers write a
// named class in capitals.
std::u16string ClassName(const DialogItemTemplate& item) {
    if (!item.windowClass.isOrdinal) {
        std::u16string name = item.windowClass.text;
        for (auto& c : name)
            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        return name;
    }
    switch (item.windowClass.ordinal) {
    case 0x80:
        return u"button";
    case 0x81:
        return u"edit";
    case 0x82:
        return u"static";
    case 0x83:
        return u"listbox";
    case 0x84:
        return u"scrollbar";
    case 0x85:
        return u"combobox";
    }
    return u"?";
}

bool HasText(const DialogItemTemplate& item) {
    return !item.title.isOrdinal && !item.title.text.empty();
}

// Why the item is not of that kind; empty when it is.
std::string KindMismatch(const DialogItemTemplate& item, Kind kind) {
    const std::u16string cls = ClassName(item);
    const DWORD button = item.style & 0x0F, comboType = item.style & 0x03;
    const DWORD staticType = item.style & 0x1F;
    const bool label = staticType <= SS_RIGHT || staticType == SS_LEFTNOWORDWRAP;
    switch (kind) {
    case Kind::Label:
        if (cls == u"static" && label) return "";
        break;
    case Kind::Picture:
        if (cls == u"static" && (!label || !HasText(item))) return "";
        break;
    case Kind::Edit:
        if (cls == u"edit") return "";
        break;
    case Kind::List:
        if (cls == u"listbox") return "";
        break;
    case Kind::DropList:
        if (cls == u"combobox" && comboType == CBS_DROPDOWNLIST &&
            !(item.style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)))
            return "";
        break;
    case Kind::IconCombo:
        if (cls == u"combobox" && comboType == CBS_DROPDOWNLIST &&
            (item.style & (CBS_OWNERDRAWFIXED | CBS_HASSTRINGS)) ==
                (CBS_OWNERDRAWFIXED | CBS_HASSTRINGS))
            return "";
        break;
    case Kind::Check:
        if (cls == u"button" && (button == BS_AUTOCHECKBOX || button == BS_CHECKBOX)) return "";
        break;
    case Kind::Radio:
        if (cls == u"button" && (button == BS_AUTORADIOBUTTON || button == BS_RADIOBUTTON) &&
            !(item.style & BS_PUSHLIKE))
            return "";
        break;
    case Kind::IconRadio:
        if (cls == u"button" && (button == BS_AUTORADIOBUTTON || button == BS_RADIOBUTTON) &&
            (item.style & (BS_PUSHLIKE | BS_ICON)) == (BS_PUSHLIKE | BS_ICON))
            return "";
        break;
    case Kind::Push:
        if (cls == u"button" && (button == BS_PUSHBUTTON || button == BS_DEFPUSHBUTTON)) return "";
        break;
    case Kind::OwnerPush:
        if (cls == u"button" && button == BS_OWNERDRAW) return "";
        break;
    case Kind::Group:
        if (cls == u"button" && button == BS_GROUPBOX) return "";
        break;
    case Kind::Slider:
        if (cls == u"msctls_trackbar32") return "";
        break;
    case Kind::UpDown:
        if (cls == u"msctls_updown32" &&
            (item.style & (UDS_AUTOBUDDY | UDS_ALIGNRIGHT | UDS_ARROWKEYS)) ==
                (UDS_AUTOBUDDY | UDS_ALIGNRIGHT | UDS_ARROWKEYS))
            return "";
        break;
    case Kind::VScroll:
        if (cls == u"scrollbar" && (item.style & SBS_VERT)) return "";
        break;
    case Kind::HScroll:
        if (cls == u"scrollbar" && !(item.style & SBS_VERT)) return "";
        break;
    }
    char style[16];
    std::snprintf(style, sizeof style, "0x%08X", static_cast<unsigned>(item.style));
    return "is a " + std::string(cls.begin(), cls.end()) + " of style " + style;
}

class ResbundleControls : public ::testing::Test {
  protected:
    void SetUp() override {
        module_ = LoadLibraryW(u"Z:" PKG_DRIVER_DIR_W u"/Resbundle.DLL");
        ASSERT_NE(module_, nullptr);
    }
    void TearDown() override { FreeLibrary(module_); }
    const DialogTemplateData& Template(DWORD id) {
        auto it = templates_.find(id);
        if (it != templates_.end()) return it->second;
        DialogTemplateData& data = templates_[id];
        HRSRC r = FindResourceW(module_, MAKEINTRESOURCEW(id), RT_DIALOG);
        EXPECT_NE(r, nullptr) << "template " << id;
        if (!r) return data;
        std::string error;
        EXPECT_TRUE(platform::user::ReadDialogTemplate(
            static_cast<const BYTE*>(LockResource(LoadResource(module_, r))),
            SizeofResource(module_, r), &data, &error))
            << error;
        return data;
    }
    static const DialogItemTemplate* Item(const DialogTemplateData& d, DWORD id, size_t* at) {
        for (size_t i = 0; i < d.items.size(); ++i)
            if (static_cast<WORD>(d.items[i].id) == id) {
                if (at) *at = i;
                return &d.items[i];
            }
        return nullptr;
    }
    HMODULE module_ = nullptr;
    std::map<DWORD, DialogTemplateData> templates_;
};

TEST_F(ResbundleControls, EveryControlThePagesBindHasItsKindAndStyles) {
    for (const Row& row : kRows) {
        SCOPED_TRACE("template " + std::to_string(row.dialog) + ", control " +
                     std::to_string(row.id));
        const DialogTemplateData& d = Template(row.dialog);
        size_t at = 0;
        const DialogItemTemplate* item = Item(d, row.id, &at);
        ASSERT_NE(item, nullptr) << "missing";
        EXPECT_EQ(KindMismatch(*item, row.kind), "");
        const DWORD styles = row.styles & ~kHidden;
        EXPECT_EQ(item->style & styles, styles) << "lacks styles " << std::hex << styles;
        EXPECT_EQ((item->style & WS_VISIBLE) == 0, (row.styles & kHidden) != 0)
            << "visible when it should not be, or the other way round";
        if (row.kind == Kind::UpDown) {
            // UDS_AUTOBUDDY takes the control created just before.
            ASSERT_GT(at, 0u);
            EXPECT_EQ(static_cast<WORD>(d.items[at - 1].id), row.buddy) << "buddy";
            EXPECT_EQ(ClassName(d.items[at - 1]), u"edit");
        }
    }
}

TEST_F(ResbundleControls, LayoutDialogsShareTheirPreviewOutputPaperAndSourcePaper) {
    for (DWORD dialog : kLayoutDialogs) {
        SCOPED_TRACE(dialog);
        const DialogTemplateData& d = Template(dialog);
        size_t at = 0;
        const DialogItemTemplate* preview = Item(d, 424, nullptr);
        ASSERT_NE(preview, nullptr);
        EXPECT_EQ(KindMismatch(*preview, Kind::Picture), "");
        const DialogItemTemplate* output = Item(d, 673, &at);
        ASSERT_NE(output, nullptr);
        EXPECT_EQ(KindMismatch(*output, Kind::DropList), "");
        ASSERT_GT(at, 0u);
        EXPECT_EQ(d.items[at - 1].title.text, u"O&utput Paper Size :");
        const DialogItemTemplate* source = Item(d, 675, &at);
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(KindMismatch(*source, Kind::Edit), "");
        EXPECT_EQ(source->style & (WS_VISIBLE | WS_DISABLED), static_cast<DWORD>(WS_DISABLED));
        ASSERT_GT(at, 0u);
        EXPECT_EQ(d.items[at - 1].title.text, u"Source Paper Size :");
        EXPECT_EQ(d.items[at - 1].style & WS_VISIBLE, 0u);
    }
    for (DWORD dialog : kHelpDialogs) {
        const DialogItemTemplate* help = Item(Template(dialog), 23, nullptr);
        ASSERT_NE(help, nullptr) << dialog;
        EXPECT_EQ(help->title.text, u"&Help") << dialog;
    }
}

// A control's height on the page: a combo box's template height is that of
// its opened list.
int ShownHeight(const DialogItemTemplate& item) {
    if (ClassName(item) != u"combobox") return item.cy;
    return (item.style & CBS_OWNERDRAWFIXED) ? 22 : 14;
}

TEST_F(ResbundleControls, EveryTemplateKeepsItsControlsInsideAndApart) {
    for (DWORD id :
         {100, 150, 200, 250, 300,  350,  366,  400,  450,  500,  550,  600,  650,  700, 750,
          800, 850, 900, 950, 1000, 1050, 1100, 1150, 1200, 1250, 1300, 1350, 1360, 1370}) {
        SCOPED_TRACE("template " + std::to_string(id));
        const DialogTemplateData& d = Template(static_cast<DWORD>(id));
        std::vector<const DialogItemTemplate*> shown;
        for (const auto& item : d.items) {
            EXPECT_TRUE(item.x >= 0 && item.y >= 0 && item.x + item.cx <= d.cx &&
                        item.y + ShownHeight(item) <= d.cy)
                << "control " << static_cast<short>(item.id) << " leaves the template";
            const bool group = ClassName(item) == u"button" && (item.style & 0x0F) == BS_GROUPBOX;
            if ((item.style & WS_VISIBLE) && !group) shown.push_back(&item);
        }
        for (size_t i = 0; i < shown.size(); ++i)
            for (size_t j = i + 1; j < shown.size(); ++j) {
                const auto &a = *shown[i], &b = *shown[j];
                bool apart = a.x + a.cx <= b.x || b.x + b.cx <= a.x ||
                             a.y + ShownHeight(a) <= b.y || b.y + ShownHeight(b) <= a.y;
                EXPECT_TRUE(apart) << "controls " << static_cast<short>(a.id) << " and "
                                   << static_cast<short>(b.id) << " overlap";
            }
    }
}

} // namespace
