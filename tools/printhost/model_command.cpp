// printhost model FILE [CODE [INDEX [LAYOUT]]]: answers model queries through
// Modelsmith.DLL (bound by file name from the driver directory, as the
// package's own callers bind it) and prints each answer decoded.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "command.h"
#include "model/modelsmith.h"
#include "platform/text.h"
#include "win/errors.h"
#include "win/loader.h"

namespace printhost {
namespace {

// One answer layout: its size per answer and its fields.
//   name:KIND@OFFSET, KIND one of
//     i  i16            x  i16 in hex      u  u32         h  u32 in hex
//     sN char[N]        aN N i16           UN N u32       HN N u32 in hex
//     lN,C  up to N i16 whose count is the i16 at offset C
//     bN    the first N bytes in hex
struct Layout {
    int code;
    int layout;
    unsigned size; // 0: a zero-terminated string
    const char* title;
    const char* fields;
};

constexpr const char* kPaper =
    "id:i@0 name_id:i@2 s2:i@4 width:i@8 length:i@10 width_dots:i@12 length_dots:i@14 "
    "printable_mm:a2@16 "
    "printable_dots:a2@20 margins:a4@24 turned:a2@32 turned_dots:a2@36 turned_printable_mm:a2@40 "
    "turned_printable_dots:a2@44 turned_margins:a4@48 flags:h@56 item9_mask:h@60 s17:u@64 s19:u@68 "
    "s18:u@72 "
    "flags2:h@76 tied_media:i@80 media:l16,82@88 tied_tray:i@84 trays:l20,86@120";
constexpr const char* kLimits = "supported:u@0 max_mm:a2@4 max_600:a2@8 min_mm:a2@12 min_600:a2@16 "
                                "margins:a4@20 turned_margins:a4@28 "
                                "flags:h@36 item9_mask:h@40 s19:u@44 s21:u@48 s20:u@52 flags2:h@56 "
                                "tied_media:i@60 media:l16,62@68 "
                                "tied_tray:i@64 trays:l20,66@100";
constexpr const char* kMedia = "id:i@0 name_id:i@2 flags:h@4 item9_mask:h@8 s4:u@12 s5:u@16 "
                               "s7:u@20 flags2:h@24 tied_paper:i@32 "
                               "papers:l64,34@40 tied_tray:i@36 trays:l20,38@168";
constexpr const char* kTray = "id:i@0 name_id:i@2 flags:h@4 item9_mask:h@8 s4:u@12 s5:u@16 s7:u@20 "
                              "flags2:h@24 tied_paper:i@32 "
                              "papers:l64,34@40 tied_media:i@36 media:l16,38@168";
constexpr const char* kName = "e0:x@0 e1:i@2 name:s32@4";
constexpr const char* kTwoNames = "e0:x@0 e1:i@2 name:s32@4 name2:s32@36";
constexpr const char* kOptions = "id:i@0 options:l4,2@8";
constexpr const char* kTexts = "id:i@0 text1:s32@8 text2:s32@40";
constexpr const char* kJobRules1 = "flags:h@0 option_mask:h@4";
constexpr const char* kJobRules2 =
    "flags:h@0 s1:u@4 id_input:h@8 id_length:i@12 password_input:h@16 password_length:i@20";
constexpr const char* kJobRules3 =
    "words:U4@0 id_chars:s32@16 s6:u@48 s7:u@52 password_chars:s32@56";
constexpr const char* kFinisherItem =
    "finisher:i@0 code:i@2 name_id:i@4 s2:u@8 s3:x@12 s4:i@14 text:s32@16";
constexpr const char* kMembers = "finisher:i@0 staple:i@4 paper:i@6 masks:H3@8";

constexpr Layout kCatalogue[] = {
    {1, 1, 0, "model string 1", ""},
    {2, 1, 0, "model string 2", ""},
    {3, 1, 0, "model string 3", ""},
    {4, 1, 0, "model string 4", ""},
    {5, 1, 0, "dialog text", ""},
    {6, 1, 0, "watermark file name", ""},
    {7, 1, 40, "component table", "id:i@0 kind:u@4 name:s16@8"},
    {10, 1, 0, "support text", ""},
    {11, 1, 0, "model name", ""},
    {12, 1, 4, "model word", "value:h@0"},
    {13, 1, 4, "print rate", "pages_per_minute:u@0"},
    {14, 1, 0, "model family name", ""},
    {14, 2, 0, "printer personality", ""},
    {15, 1, 0, "first model name", ""},
    {16, 1, 0, "support text", ""},
    {17, 1, 0, "support text", ""},
    {18, 1, 256, "support links", "id:i@0 text:s254@2"},
    {19, 1, 4, "raster settings", "compression:h@0"},
    {19, 2, 8, "raster settings", "compression:h@0 s1:u@4"},
    {19, 3, 12, "raster and duplex settings", "compression:h@0 s1:u@4 device_odd_duplex:u@8"},
    {20, 1, 4, "default papers", "letter_regions:i@0 a4_regions:i@2"},
    {20, 2, 2, "paper dots-per-inch unit", "dpi:i@0"},
    {20, 3, 4, "papers", "id:i@0 name_id:i@2"},
    {20, 4, 160, "paper records", kPaper},
    {20, 5, 4, "paper flags", "flags:h@0"},
    {20, 6, 36, "paper names", kName},
    {20, 7, 264, "paper pairs", "id:i@0 first:l64,2@8 second:l64,2@136"},
    {20, 8, 68, "paper names", kTwoNames},
    {20, 9, 16, "paper option codes", kOptions},
    {20, 10, 20, "paper links", "id:i@0 tied_media:i@2 tied_tray:i@4 links:U3@8"},
    {21, 1, 140, "custom paper limits", kLimits},
    {21, 2, 36, "custom paper name", kName},
    {21, 3, 68, "custom paper names", kTwoNames},
    {21, 4, 16, "custom paper option codes", "options:l4,0@8"},
    {21, 5, 8, "custom paper user papers", "supported:u@0 max_user_papers:u@4"},
    {21, 6, 16, "custom paper links", "tied_media:i@0 tied_tray:i@2 links:U3@4"},
    {22, 1, 4, "media types", "id:i@0 name_id:i@2"},
    {22, 2, 2, "default media type", "id:i@0"},
    {22, 3, 208, "media-type records", kMedia},
    {22, 4, 36, "media-type names", kName},
    {22, 5, 68, "media-type names", kTwoNames},
    {22, 6, 16, "media-type option codes", kOptions},
    {22, 7, 20, "media-type links", "id:i@0 tied_paper:i@2 tied_tray:i@4 links:U3@8"},
    {22, 8, 4, "media-type flags", "flags:h@0"},
    {23, 1, 4, "copies", "max_copies:i@0"},
    {23, 2, 8, "copies", "max_copies:i@0 s1:u@4"},
    {24, 1, 4, "input trays", "id:i@0 name_id:i@2"},
    {24, 2, 2, "default input tray", "id:i@0"},
    {24, 3, 200, "tray records", kTray},
    {24, 4, 36, "tray names", kName},
    {24, 5, 16, "tray option codes", kOptions},
    {24, 6, 20, "tray links", "id:i@0 tied_paper:i@2 tied_media:i@4 links:U3@8"},
    {24, 7, 72, "tray texts", kTexts},
    {25, 1, 24, "duplex unit", "flags:h@0 words:U5@4"},
    {25, 2, 72, "duplex modes", "id:i@0 name_id:i@2 s2:x@4 s3:i@6 text1:s32@8 text2:s32@40"},
    {25, 3, 6, "duplex mode flags", "id:i@0 name_id:i@2 s20:x@4"},
    {25, 4, 8, "duplex margins", "words:a4@0"},
    {25, 5, 8, "duplex margin rows", "id:i@0 name_id:i@2 s21:i@4"},
    {26, 1, 4, "paper feeder units", "id:i@0 name_id:i@2"},
    {26, 2, 32, "paper feeder units",
     "id:i@0 name_id:i@2 flags:h@4 s3:i@10 list:l4,12@16 trays:l4,14@24"},
    {26, 3, 200, "feeder tray records", kTray},
    {26, 4, 36, "feeder tray names", kName},
    {26, 5, 16, "feeder tray option codes", kOptions},
    {26, 6, 20, "feeder tray links", "id:i@0 tied_paper:i@2 tied_media:i@4 links:U3@8"},
    {26, 7, 72, "feeder tray texts", kTexts},
    {26, 8, 8, "feeder tray flags", "tray:i@0 unit:i@2 flags:h@4"},
    {26, 9, 40, "paper feeder unit names", "id:i@0 name_id:i@2 flags:h@4 name:s32@8"},
    {27, 1, 24, "finishers", "id:i@0 name_id:i@2 w6:h@4 flags:h@8 staples:l4,12@14"},
    {27, 2, 16, "staple items", "code:i@0 name_id:i@2 t1:u@4 t2:u@8"},
    {27, 3, 88, "finisher records",
     "id:i@0 name_id:i@2 name:s16@8 w6:h@40 flags:h@44 punch_default:i@48 fold_default:i@50 "
     "staple_default:i@56 punch:l4,52@64 fold:l4,54@72 staple:l4,58@80"},
    {27, 4, 24, "punch items", "finisher:i@0 code:i@2 name_id:i@4 s2:u@8 values:U3@12"},
    {27, 5, 24, "fold items", "finisher:i@0 code:i@2 name_id:i@4 s2:u@8 values:U2@12"},
    {27, 6, 192, "staple item records",
     "finisher:i@0 code:i@4 name_id:i@6 s2:u@8 trailing:U3@12 custom:i@24 long:i@26 "
     "papers:l64,28@32 "
     "members_b:l16,30@160"},
    {27, 7, 24, "staple papers (list A)", kMembers},
    {27, 8, 24, "staple members (list B)", kMembers},
    {27, 9, 32, "staple item values", "finisher:i@0 code:i@2 custom:i@4 long:i@6 values:U6@8"},
    {27, 10, 32, "punch item values", "finisher:i@0 code:i@2 name_id:i@4 s2:u@8 values:U5@12"},
    {27, 11, 48, "finisher texts",
     "id:i@0 name_id:i@2 w6:h@4 caps:h@8 v9:i@12 v10:i@14 text:s32@16"},
    {27, 12, 48, "punch item texts", kFinisherItem},
    {27, 13, 48, "fold item texts", kFinisherItem},
    {27, 14, 48, "staple item texts",
     "finisher:i@0 code:i@4 name_id:i@6 s2:u@8 s3:x@12 s4:i@14 text:s32@16"},
    {27, 15, 80, "fold item texts",
     "finisher:i@0 code:i@2 name_id:i@4 s2:u@8 s3:x@12 s4:i@14 text:s32@16 text2:s32@48"},
    {28, 1, 4, "feature 28", "flags:h@0"},
    {28, 2, 8, "N-up borders", "flags:h@0 borders:i@4 width:i@6"},
    {28, 3, 32, "feature 28",
     "flags:h@0 s1:u@4 words:a4@8 s4:u@16 mode:i@20 s5_high:i@22 s6:u@24 s7:u@28"},
    {29, 1, 16, "booklet and binding", "flags:h@0 item9_mask:h@4 requires:h@8 mask:h@12"},
    {29, 2, 8, "booklet shrink", "flags:h@0 percent:i@4"},
    {29, 3, 32, "booklet gutter",
     "flags:h@0 s1:u@4 default_in100:i@8 max_in100:i@10 default_mm10:i@12 max_mm10:i@14 s4:u@16 "
     "mode:i@20 s5_high:i@22 s6:u@24 s7:u@28"},
    {29, 4, 28, "booklet words", "words:U7@0"},
    {30, 1, 4, "feature 30", "flags:h@0"},
    {31, 1, 8, "zoom limits", "flags:h@0 smallest:i@4 largest:i@6"},
    {31, 2, 8, "zoom", "flags:h@0 anchor:i@4 s1_high:i@6"},
    {32, 1, 16, "option table 32", "id:i@0 value:i@2 s2:i@4 s4:i@6 flags:h@8"},
    {33, 1, 16, "option table 33", "id:i@0 value:i@2 s3:i@4 flags:h@8"},
    {34, 1, 2, "default output bin", "id:i@0"},
    {34, 2, 16, "output bins", "id:i@0 name_id:i@2 flags:h@4 t1:h@8 t2:h@12"},
    {34, 3, 192, "output bin records",
     "id:i@4 name_id:i@6 flags:h@8 trailing:H3@12 flag_a:i@24 flag_b:i@26 papers:l64,28@32 "
     "members_b:l16,30@160"},
    {34, 4, 24, "output bin papers (list A)", "bin:i@4 paper:i@6 masks:H3@8"},
    {34, 5, 24, "output bin members (list B)", "bin:i@4 paper:i@6 masks:H3@8"},
    {34, 6, 32, "output bin values", "id:i@2 flag_a:i@4 flag_b:i@6 values:U6@8"},
    {34, 7, 48, "output bin texts", "id:i@4 name_id:i@6 flags:h@8 s3:x@12 s4:i@14 text:s32@16"},
    {34, 8, 40, "output bin names", "id:i@0 name_id:i@2 flags:h@4 name:s32@8"},
    {35, 1, 4, "hard disk", "value:u@0"},
    {35, 2, 16, "hard disks", "id:i@0 name_id:i@2 size:u@4 flags:h@8"},
    {36, 1, 24, "memory", "onboard_mb:u@0 start_mb:u@4 s2:u@8 max_mb:u@12 s4:u@16"},
    {36, 2, 16, "memory modules", "id:i@0 name_id:i@2 size_mb:u@4 flags:h@8"},
    {37, 1, 4, "option directory", "code:i@0"},
    {37, 2, 16, "option entries", "option:i@0 entry:i@2 value:i@4 flags:h@8"},
    {38, 1, 8, "copy control", "flags:h@0 mask:h@4"},
    {39, 1, 8, "device fonts", "flags:h@0 s1:i@4 count:i@6"},
    {39, 2, 104, "device font names", "name:s64@0 alias:s32@64 a:u@96 b:u@100"},
    {39, 3, 12, "device fonts", "flags:h@0 s1:i@4 trailer:u@8"},
    {39, 4, 104, "device font names", "alias:s32@0 name2:s64@32 a:u@96 b:u@100"},
    {40, 1, 4, "colour", "colour:u@0"},
    {40, 2, 12, "colour", "colour:u@0 s1:u@4 s2:u@8"},
    {41, 1, 16, "default resolution", "default:i@0 s1:u@4 x:u@8 y:u@12"},
    {41, 2, 16, "resolutions", "id:i@0 x:u@4 y:u@8"},
    {42, 1, 32, "print quality modes",
     "id:i@0 name_id:i@2 x:u@4 y:u@8 flags:h@12 caps:h@16 s5:u@20 s2:u@24 s6:u@28"},
    {42, 2, 2, "default quality mode", "id:i@0"},
    {42, 3, 4, "quality mode word 9", "id:i@0 s9:i@2"},
    {42, 4, 4, "quality mode word 10", "id:i@0 s10:i@2"},
    {42, 5, 8, "quality mode words 11 and 12", "id:i@0 s11:i@2 s12:i@4"},
    {42, 6, 208, "quality mode lists", "id:i@0 list:l64,2@8 list1:l16,4@136 list2:l20,6@168"},
    {43, 1, 4, "threshold matrices", "id:i@0 value:i@2"},
    {43, 2, 4104, "threshold matrix data", "id:i@0 value:i@2 width:i@4 height:i@6 data:b64@8"},
    {44, 1, 8, "gray weights", "red:i@0 green:i@2 blue:i@4"},
    {45, 1, 4, "density", "flags:h@0"},
    {45, 2, 8, "density slider", "smallest:i@0 largest:i@2 step:i@4 default:i@6"},
    {46, 1, 4, "toner save", "value:u@0"},
    {46, 2, 2, "toner save entries", "id:i@0"},
    {46, 3, 72, "toner save texts", "value:u@0 mode:u@4 text1:s32@8 text2:s32@40"},
    {47, 1, 2, "default halftone", "id:i@0"},
    {47, 2, 2, "halftones", "value:i@0"},
    {47, 3, 8, "halftones", "id:i@0 s1:i@2 s2:i@4"},
    {47, 4, 8, "halftone restrictions", "id:i@0 caps:h@4"},
    {47, 5, 8, "halftones", "id:i@0 s1:i@2 s2:i@4 s4:i@6"},
    {47, 6, 4, "halftone defaults", "default:i@0 second:i@2"},
    {48, 1, 8, "feature 48", "flags:h@0 value:u@4"},
    {49, 1, 8, "feature 49", "flags:h@0 value:u@4"},
    {50, 1, 4, "feature 50", "flags:h@0"},
    {50, 2, 8, "feature 50", "flags:h@0 default:u@4"},
    {51, 1, 4, "automatic configuration port mask", "mask:h@0"},
    {51, 2, 8, "port mask", "mask:h@0 value:u@4"},
    {51, 3, 24, "other model names", "id:u@0 name:s16@8"},
    {52, 1, 16, "feature 52", "words:H4@0"},
    {53, 1, 8, "job setup", "flags:h@0 default:i@4"},
    {53, 2, 40, "job setups", "id:i@0 name_id:i@2 s2:i@4 s3:i@6 text:s32@8"},
    {54, 1, 8, "image adaptation", "flags:h@0 value:u@4"},
    {55, 1, 80, "image halftone",
     "flags:h@0 s1:i@4 s2:h@8 s3:i@12 s4:u@16 values_a:a10@20 s15:u@40 values_b:a10@44 s26:u@64 "
     "s27:u@68 s28:u@72 "
     "s29:i@76 s30:i@78"},
    {56, 1, 8, "feature 56", "flags:h@0 value:u@4"},
    {57, 1, 4, "cover pages", "flags:h@0"},
    {57, 2, 20, "cover pages", "words:H5@0"},
    {58, 1, 4, "watermark flags", "flags:h@0"},
    {59, 1, 4, "overlay flags", "flags:h@0"},
    {60, 1, 8, "job type 1 rules", kJobRules1},
    {60, 2, 24, "job type 1 input", kJobRules2},
    {60, 3, 88, "job type 1 characters", kJobRules3},
    {61, 1, 8, "job type 4 rules", kJobRules1},
    {61, 2, 24, "job type 4 input", kJobRules2},
    {61, 3, 88, "job type 4 characters", kJobRules3},
    {62, 1, 8, "job type 5 rules", kJobRules1},
    {62, 2, 24, "job type 5 input", kJobRules2},
    {62, 3, 88, "job type 5 characters", kJobRules3},
    {63, 1, 8, "department code prompt", "flags:h@0 s1:u@4"},
    {63, 2, 48, "department code input", "flags:h@0 s1:u@4 input:h@8 length:u@12 chars:s32@16"},
    {64, 1, 4, "sort kinds", "flags:h@0"},
    {64, 2, 8, "sort kinds", "item9_mask:h@0 default:u@4"},
    {65, 1, 4, "PJL line ends", "flags:h@0"},
    {65, 2, 8, "PJL table", "flags:h@0 s1:u@4"},
    {65, 3, 16, "PJL items", "item:u@0 string_flags:h@4 max_length:u@8 s3:u@12"},
    {65, 4, 64, "PJL formats", "item:u@0 variant:u@4 format:s56@8"},
    {66, 1, 4, "feature 66", "flags:h@0"},
    {67, 1, 4, "poster", "flags:h@0"},
    {67, 2, 8, "poster overlap", "flags:h@0 percent:i@4"},
    {67, 3, 12, "poster overlap",
     "flags:h@0 default_in100:i@4 max_in100:i@6 default_mm10:i@8 max_mm10:i@10"},
    {68, 1, 4, "feature 68", "flags:h@0"},
    {69, 1, 264, "table 69", "id:i@0 s1:i@2 data:s256@8"},
    {70, 1, 8, "resource ids", "id:i@0 resource:i@2"},
    {71, 1, 8, "prior-print check", "port_mask:h@0 check_flags:h@4"},
    {71, 2, 16, "device paper codes by paper",
     "paper:i@0 flags:h@4 present:i@8 device_code:i@10 group:i@12"},
    {71, 3, 136, "device papers", "id:i@0 device_code:i@2 string_id:i@4 papers:l64,6@8"},
    {71, 4, 16, "device tray codes by tray",
     "tray:i@0 flags:h@4 present:i@8 device_code:i@10 group:i@12"},
    {71, 5, 24, "device trays", "id:i@0 device_code:i@2 string_id:i@4 trays:l8,6@8"},
    {72, 1, 4, "feature 72", "flags:h@0"},
    {73, 1, 8, "job type 2 rules", kJobRules1},
    {73, 2, 24, "job type 2 input", kJobRules2},
    {73, 3, 88, "job type 2 characters", kJobRules3},
    {74, 1, 8, "job type 3 rules", kJobRules1},
    {74, 2, 24, "job type 3 input", kJobRules2},
    {74, 3, 88, "job type 3 characters", kJobRules3},
    {75, 1, 140, "long paper limits", kLimits},
    {75, 2, 36, "long paper name", kName},
    {75, 3, 68, "long paper names", kTwoNames},
    {75, 4, 16, "long paper option codes", "options:l4,0@8"},
    {75, 5, 8, "long paper user papers", "supported:u@0 max_user_papers:u@4"},
    {75, 6, 16, "long paper links", "tied_media:i@0 tied_tray:i@2 links:U3@4"},
    {76, 1, 8, "key table", "key:u@0 value:h@4"},
    {77, 1, 12, "graphics mode", "words:H3@0"},
    {77, 2, 16, "graphics mode", "words:H4@0"},
    {78, 1, 16, "contrast slider",
     "flags:h@0 smallest:i@4 largest:i@6 step:i@8 page:i@10 default:i@12 w7:i@14"},
    {79, 1, 16, "feature flags", "flags:h@0 words:U3@4"},
    {80, 1, 2, "id list 80", "id:i@0"},
    {81, 1, 2, "id list 81", "id:i@0"},
    {82, 1, 2, "id list 82", "id:i@0"},
    {83, 1, 2, "id list 83", "id:i@0"},
    {84, 1, 2, "id list 84", "id:i@0"},
    {85, 1, 2, "id list 85", "id:i@0"},
    {86, 1, 2, "id list 86", "id:i@0"},
    {87, 1, 2, "id list 87", "id:i@0"},
    {88, 1, 2, "id list 88", "id:i@0"},
    {89, 1, 2, "id list 89", "id:i@0"},
    {90, 1, 2, "id list 90", "id:i@0"},
    {91, 1, 2, "id list 91", "id:i@0"},
    {92, 1, 2, "id list 92", "id:i@0"},
    {93, 1, 2, "id list 93", "id:i@0"},
    {94, 1, 2, "id list 94", "id:i@0"},
    {95, 1, 4, "rule pairs", "item:i@0 value:i@2"},
    {96, 1, 8, "port default", "flags:h@0 s1:u@4"},
};

const char* ResultName(DWORD r) {
    switch (r) {
    case 0:
        return "ok";
    case ERROR_INVALID_DATA:
        return "ERROR_INVALID_DATA";
    case ERROR_NOT_ENOUGH_MEMORY:
        return "ERROR_NOT_ENOUGH_MEMORY";
    case ERROR_NOT_SUPPORTED:
        return "ERROR_NOT_SUPPORTED";
    case ERROR_INVALID_PARAMETER:
        return "ERROR_INVALID_PARAMETER";
    case ERROR_INSUFFICIENT_BUFFER:
        return "ERROR_INSUFFICIENT_BUFFER";
    case ERROR_NOT_FOUND:
        return "ERROR_NOT_FOUND";
    default:
        return "error";
    }
}

std::int16_t I16(const std::uint8_t* p, unsigned off) {
    std::int16_t v;
    std::memcpy(&v, p + off, 2);
    return v;
}
std::uint32_t U32(const std::uint8_t* p, unsigned off) {
    std::uint32_t v;
    std::memcpy(&v, p + off, 4);
    return v;
}

std::string Quoted(const std::uint8_t* p, unsigned n) {
    std::string s = "\"";
    for (unsigned i = 0; i < n && p[i]; ++i) {
        unsigned char c = p[i];
        if (c == '"' || c == '\\') {
            s += '\\';
            s += static_cast<char>(c);
        } else if (c >= 32 && c < 127) {
            s += static_cast<char>(c);
        } else {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02X", c);
            s += b;
        }
    }
    return s + "\"";
}

// Decodes one answer into "name=value" items.
std::vector<std::string> DecodeFields(const char* spec, const std::uint8_t* a, unsigned size) {
    std::vector<std::string> items;
    const char* p = spec;
    while (*p) {
        while (*p == ' ')
            ++p;
        if (!*p) break;
        const char* colon = std::strchr(p, ':');
        if (!colon) break;
        std::string name(p, colon);
        char kind = colon[1];
        char* q = nullptr;
        unsigned n = static_cast<unsigned>(std::strtoul(colon + 2, &q, 10));
        unsigned countAt = 0;
        if (*q == ',') countAt = static_cast<unsigned>(std::strtoul(q + 1, &q, 10));
        unsigned off = *q == '@' ? static_cast<unsigned>(std::strtoul(q + 1, &q, 10)) : 0;
        p = q;
        char buf[64];
        std::string value;
        auto fits = [&](unsigned bytes) { return off + bytes <= size; };
        switch (kind) {
        case 'i':
            if (!fits(2)) continue;
            value = std::to_string(I16(a, off));
            break;
        case 'x':
            if (!fits(2)) continue;
            std::snprintf(buf, sizeof buf, "0x%04X",
                          static_cast<unsigned>(static_cast<std::uint16_t>(I16(a, off))));
            value = buf;
            break;
        case 'u':
            if (!fits(4)) continue;
            value = std::to_string(U32(a, off));
            break;
        case 'h':
            if (!fits(4)) continue;
            std::snprintf(buf, sizeof buf, "0x%X", U32(a, off));
            value = buf;
            break;
        case 's':
            if (!fits(n)) continue;
            value = Quoted(a + off, n);
            break;
        case 'a':
        case 'U':
        case 'H':
        case 'l': {
            unsigned count = n;
            if (kind == 'l') {
                if (!fits(0) || countAt + 2 > size) continue;
                count = static_cast<unsigned>(
                    std::max<int>(0, std::min<int>(I16(a, countAt), static_cast<int>(n))));
            }
            unsigned width = (kind == 'U' || kind == 'H') ? 4 : 2;
            value = "[";
            for (unsigned i = 0; i < count && off + (i + 1) * width <= size; ++i) {
                if (i) value += ",";
                if (kind == 'U')
                    value += std::to_string(U32(a, off + 4 * i));
                else if (kind == 'H') {
                    std::snprintf(buf, sizeof buf, "0x%X", U32(a, off + 4 * i));
                    value += buf;
                } else
                    value += std::to_string(I16(a, off + 2 * i));
            }
            value += "]";
            break;
        }
        case 'b': {
            unsigned count = std::min(n, size > off ? size - off : 0u);
            for (unsigned i = 0; i < count; ++i) {
                std::snprintf(buf, sizeof buf, "%02X", a[off + i]);
                value += buf;
            }
            break;
        }
        default:
            continue;
        }
        items.push_back(name + "=" + value);
    }
    return items;
}

void PrintWrapped(const std::string& lead, const std::vector<std::string>& items) {
    std::string line = lead;
    const std::string indent(lead.size(), ' ');
    bool first = true;
    for (const std::string& it : items) {
        if (!first && line.size() + 1 + it.size() > 110) {
            std::printf("%s\n", line.c_str());
            line = indent;
            first = true;
        }
        if (!first) line += ' ';
        line += it;
        first = false;
    }
    std::printf("%s\n", line.c_str());
}

class Modelsmith {
  public:
    bool Load() {
        std::string path = DriverDir() + "/Modelsmith.DLL";
        std::u16string wide = platform::FromUtf8(path);
        module_ = LoadLibraryW(wide.c_str());
        if (!module_) {
            std::fprintf(stderr, "printhost model: cannot load %s (error %u)\n", path.c_str(),
                         static_cast<unsigned>(GetLastError()));
            return false;
        }
        fn_ = reinterpret_cast<PFN_mdGetMyPrinterInfo>(
            reinterpret_cast<void*>(GetProcAddress(module_, "mdGetMyPrinterInfo")));
        if (!fn_) {
            std::fprintf(stderr, "printhost model: %s has no mdGetMyPrinterInfo\n", path.c_str());
            return false;
        }
        return true;
    }
    ~Modelsmith() {
        if (module_) FreeLibrary(module_);
    }
    DWORD Ask(const void* data, int code, int index, int layout, void* out, DWORD* length,
              DWORD* count) const {
        return fn_(data, code, index, layout, out, length, count);
    }

  private:
    HMODULE module_ = nullptr;
    PFN_mdGetMyPrinterInfo fn_ = nullptr;
};

// Asks one query in two calls and prints the answer. Returns the result.
DWORD Show(const Modelsmith& md, const std::vector<std::uint8_t>& data, const Layout& l, int index,
           bool quietFailures) {
    DWORD length = 0, count = 0;
    DWORD r = md.Ask(data.data(), l.code, index, l.layout, nullptr, &length, &count);
    std::vector<std::uint8_t> answer;
    if (r == 0) {
        answer.assign(length + 1, 0);
        r = md.Ask(data.data(), l.code, index, l.layout, answer.data(), &length, &count);
    }
    char head[160];
    std::snprintf(head, sizeof head, "  layout %d (%s", l.layout, l.title);
    std::string lead = head;
    if (index) lead += ", index " + std::to_string(index);
    if (r != 0) {
        if (!quietFailures)
            std::printf("%s): result %u %s\n", lead.c_str(), static_cast<unsigned>(r),
                        ResultName(r));
        return r;
    }
    if (l.size == 0) {
        std::printf("%s): %s\n", lead.c_str(), Quoted(answer.data(), length).c_str());
        return r;
    }
    std::printf("%s): %u byte%s, %u entr%s\n", lead.c_str(), static_cast<unsigned>(length),
                length == 1 ? "" : "s", static_cast<unsigned>(count), count == 1 ? "y" : "ies");
    for (DWORD i = 0; i < count && (i + 1) * l.size <= length; ++i) {
        char n[32];
        std::snprintf(n, sizeof n, "    [%u] ", static_cast<unsigned>(i + 1));
        PrintWrapped(n, DecodeFields(l.fields, answer.data() + i * l.size, l.size));
    }
    return r;
}

void PrintHeader(const std::string& path, const std::vector<std::uint8_t>& d) {
    std::printf("model data file %s: %zu bytes\n", path.c_str(), d.size());
    if (d.size() < 24) {
        std::printf("  too short for a header\n");
        return;
    }
    std::printf("  magic \"%.4s\", stated size %u, offset table %u..%u, data version 0x%08X, "
                "format %u (0x%X) minor %u\n",
                reinterpret_cast<const char*>(d.data()), U32(d.data(), 4), U32(d.data(), 12),
                U32(d.data(), 8), U32(d.data(), 16),
                static_cast<unsigned>(static_cast<std::uint16_t>(I16(d.data(), 22))),
                static_cast<unsigned>(static_cast<std::uint16_t>(I16(d.data(), 22))),
                static_cast<unsigned>(static_cast<std::uint16_t>(I16(d.data(), 20))));
}

int Run(const Args& args) {
    if (args.empty() || args.size() > 4) {
        std::fprintf(stderr, "usage: printhost model FILE [CODE [INDEX [LAYOUT]]]\n");
        return 2;
    }
    std::vector<int> numbers;
    for (std::size_t i = 1; i < args.size(); ++i) {
        char* end = nullptr;
        long v = std::strtol(args[i].c_str(), &end, 0);
        if (!end || *end || args[i].empty()) {
            std::fprintf(stderr, "printhost model: '%s' is not a number\n", args[i].c_str());
            return 2;
        }
        numbers.push_back(static_cast<int>(v));
    }
    std::vector<std::uint8_t> data;
    std::string why;
    if (!ReadWholeFile(args[0], &data, &why)) {
        std::fprintf(stderr, "printhost model: cannot read %s: %s\n", args[0].c_str(), why.c_str());
        return 1;
    }
    // Modelsmith reads within the size the block states, so the block must be
    // at least that long: a short file is padded with zeros, as a caller's
    // zero-initialised block would be.
    std::vector<std::uint8_t> file = data;
    std::uint32_t stated = data.size() >= 8 ? U32(data.data(), 4) : 0;
    if (stated > (256u << 20)) {
        std::fprintf(
            stderr,
            "printhost model: %s is not a model data file: its header states a size of %u bytes\n",
            args[0].c_str(), stated);
        return 1;
    }
    data.resize(std::max<std::size_t>({data.size(), 24, stated}), 0);
    if (std::string problem = ModelDataProblem(data); !problem.empty()) {
        std::fprintf(stderr, "printhost model: %s is not a model data file: %s\n", args[0].c_str(),
                     problem.c_str());
        return 1;
    }
    Modelsmith md;
    if (!md.Load()) return 1;

    int code = numbers.size() > 0 ? numbers[0] : 0;
    int index = numbers.size() > 1 ? numbers[1] : 0;
    int layout = numbers.size() > 2 ? numbers[2] : 0;
    if (numbers.empty()) PrintHeader(args[0], file);

    DWORD last = 0;
    int shown = 0;
    for (std::size_t i = 0; i < std::size(kCatalogue); ++i) {
        const Layout& l = kCatalogue[i];
        if (code && l.code != code) continue;
        if (layout && l.layout != layout) continue;
        bool firstOfCode = i == 0 || kCatalogue[i - 1].code != l.code || layout != 0;
        if (firstOfCode) {
            std::printf("code %d:\n", l.code);
            // A code whose every layout fails the same way is told in one line.
            DWORD common = 0;
            bool allFail = layout == 0;
            for (std::size_t k = i;
                 allFail && k < std::size(kCatalogue) && kCatalogue[k].code == l.code; ++k) {
                DWORD length = 0, count = 0;
                DWORD r = md.Ask(data.data(), l.code, index, kCatalogue[k].layout, nullptr, &length,
                                 &count);
                if (r == 0 || (k > i && r != common)) allFail = false;
                common = r;
            }
            if (allFail) {
                std::printf("  every layout: result %u %s%s\n", static_cast<unsigned>(common),
                            ResultName(common),
                            common == ERROR_NOT_SUPPORTED && index == 0
                                ? " (the model has no such table)"
                                : "");
                while (i + 1 < std::size(kCatalogue) && kCatalogue[i + 1].code == l.code)
                    ++i;
                last = common;
                ++shown;
                continue;
            }
        }
        last = Show(md, data, l, index, false);
        ++shown;
    }
    if (!shown) {
        // A code or layout the catalogue does not describe: show the raw answer.
        DWORD length = 0, count = 0;
        last = md.Ask(data.data(), code, index, layout, nullptr, &length, &count);
        std::vector<std::uint8_t> answer(length + 1, 0);
        if (last == 0)
            last = md.Ask(data.data(), code, index, layout, answer.data(), &length, &count);
        std::printf("code %d layout %d: result %u %s", code, layout, static_cast<unsigned>(last),
                    ResultName(last));
        if (last == 0) {
            std::printf(", %u bytes, %u entries:", static_cast<unsigned>(length),
                        static_cast<unsigned>(count));
            for (DWORD i = 0; i < length; ++i)
                std::printf("%s%02X", i % 32 ? " " : "\n  ", answer[i]);
        }
        std::printf("\n");
    }
    // One asked query reports its result in the exit status.
    return (code && layout) ? (last == 0 ? 0 : 1) : 0;
}

const Command kCommand{
    "model", "FILE [CODE [INDEX [LAYOUT]]]",
    "answer model queries of a model data file through Modelsmith.DLL (every query without CODE)",
    Run};

} // namespace
} // namespace printhost
