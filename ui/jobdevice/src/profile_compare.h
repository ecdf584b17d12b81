// Whether two settings images are the same for everything a user can see,
// and which settings differ, in words, for the Profile page's list.
#pragma once

#include <string>

#include "profile_file.h"
#include "devmode_private.h"
#include "win/environment.h"

namespace sheetwright {

struct SheetContext;

// The field a difference line stands for; its identity is the list item's
// data, so that a setting is listed once.
enum class SettingField : DWORD {
    kPaperSize = 3201,
    kOutputPaper = 3204,
    kOrientation = 3200,
    kMediaType = 3202,
    kPaperSource = 3203,
    kFrontCover = 3250,
    kFrontMedia = 3251,
    kFrontSource = 3252,
    kBackCover = 3253,
    kBackMedia = 3254,
    kBackSource = 3255,
    kLayout = 4600, // identified by the pages-per-sheet label; the line names the layout
    kOverlay = 3320,
    kWatermark = 3330,
    kColorMode = 3291,
    kColorManagement = 3292,
    kQuality = 10056,
    kImageReduction = 3266,
    kTrueTypeFonts = 3310,
    kDeviceFonts = 3314,
    kTonerSave = 3261,
    kFinePatterns = 3267,
    kDensity = 3301,
    kTextAsBlack = 3263,
    kContrast = 3300,
    kCopies = 3210,
    kCollate = 3211,
    kDuplex = 3230,
    kDuplexType = 3233,
    kDuplexNotice = 3235,
    kSort = 3220,
    kBlankPages = 3264,
    kPriorCheck = 3270,
    kCopyControl = 3280,
    kMetafileSpooling = 3260,
    kMirror = 3265,
    kReverseOrder = 3262,
    kGraphicsMode = 3284,
    kHalftone = 3283,
    kJobType = 3340,
    kJobTypeAsk = 0x10000 | 3340, // the second job-type line: the ID asked when printing
    kDepartmentId = 3347,
    kDepartmentCounter = 3346,
    kOutputTray = 3360,
    kPunch = 4750,
    kStaple = 3370,
    kUserName = 3341,
    kJobName = 3342,
    kJobInformation = 3345,
};

// 1 when every compared setting of `shown` equals that of `reference`. With
// no list it stops at the first difference; with a list box it adds one line
// per differing setting (label, "\t:", the shown value) and goes on.
BOOL CompareSettings(ProfileFile* store, const DEVMODE_IMAGEW* shown,
                     const DEVMODE_IMAGEW* reference, HWND list, const SheetContext* context);

// The line for one differing field of `shown`, unless the list has it already.
void DescribeDifference(ProfileFile* store, HWND list, const SheetContext* context,
                        const DEVMODE_IMAGEW* shown, const DEVMODE_IMAGEW* reference,
                        SettingField field);

// The text of a line (label, separator, value); empty when either part is.
std::u16string DifferenceLine(const SheetContext* context, const DEVMODE_IMAGEW* shown,
                              const DEVMODE_IMAGEW* reference, SettingField field);

} // namespace sheetwright
