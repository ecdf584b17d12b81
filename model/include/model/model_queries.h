// The model queries by name: every query code of mdGetMyPrinterInfo, the
// layouts its callers ask for, the answer records they read (with their sizes
// and offsets asserted), and the bits of the words those answers carry.
//
// One header for the model library's decoders, the model data compiler and
// every caller of the model library; the exports' signatures stay in
// "model/modelsmith.h". Plain integer types only, so that tools without the
// platform's headers can use it too.
#pragma once

#include <cstddef>
#include <cstdint>

namespace model {

// ---------------------------------------------------------------- file

// The largest model data file a caller reads whole into memory. A model's
// tables come to tens of kilobytes; a file past this is no model data, and
// its size is refused before a byte of it is read.
inline constexpr std::uint32_t kMaxModelDataBytes = 16u << 20;

// ---------------------------------------------------------------- codes

enum ModelQuery : int {
    kQueryModelText1 = 1,
    kQueryModelText2 = 2,
    kQueryModelText3 = 3,
    kQueryModelText4 = 4,
    kQuerySupportFile = 5,     // support-information file name
    kQueryWatermarkPrefix = 6, // watermark file name prefix
    kQueryComponents = 7,      // component table: the package's file names
    kQuerySupportText = 10,
    kQueryModelName = 11, // model name (working folder, registry key)
    kQueryWorkflowFlags = 12,
    kQueryPrintRate = 13,  // pages per minute
    kQueryFamilyName = 14, // model family name; layout 2: personality string
    kQueryFirstModelName = 15,
    kQuerySupportText2 = 16,
    kQuerySupportText3 = 17,
    kQuerySupportLinks = 18,
    kQueryRasterSettings = 19, // raster and duplex settings
    kQueryPapers = 20,
    kQueryCustomPaperLimits = 21,
    kQueryMediaTypes = 22,
    kQueryCopies = 23,
    kQueryPaperSources = 24,
    kQueryInstallable = 25, // installable options and duplex
    kQueryTrayGroups = 26,  // optional paper feeders and their trays
    kQueryFinishers = 27,
    kQueryPageLayout = 28, // N-up and poster layout
    kQueryBooklet = 29,    // booklet and binding layout features
    kQueryFitToPaper = 30,
    kQueryZoom = 31, // zoom limits
    kQueryOption32 = 32,
    kQueryOption33 = 33,
    kQueryOutputBins = 34,
    kQueryHardDisk = 35,
    kQueryMemory = 36,
    kQueryOptionDirectory = 37, // option definitions
    kQueryCopyControl = 38,
    kQueryDeviceFonts = 39,
    kQueryColor = 40,
    kQueryResolutions = 41,
    kQueryQualityModes = 42,
    kQueryMatrices = 43, // threshold matrices
    kQueryGrayWeights = 44,
    kQueryDensity = 45,
    kQueryToner = 46,
    kQueryHalftones = 47, // halftone kinds
    kQueryImageReduction = 48,
    kQueryMirror = 49,
    kQueryReverseOrder = 50,
    kQueryPortModelNames = 51, // port mask and the other model names
    kQueryEconomyMode = 52,
    kQueryJobSetup = 53,
    kQueryAdaptiveRaster = 54,
    kQueryImageHalftone = 55, // image halftone and colour settings
    kQuerySkipBlank = 56,
    kQueryCoverPages = 57,
    kQuerySecondModelFlags = 58, // second model flag word
    kQueryModelFlags = 59,       // model flag word
    kQueryJobType1Rules = 60,    // the job types' rules, by job type:
    kQueryJobType4Rules = 61,    //   1 -> 60, 2 -> 73, 3 -> 74, 4 -> 61, 5 -> 62
    kQueryJobType5Rules = 62,
    kQueryDepartmentPrompt = 63,
    kQuerySortKinds = 64,
    kQueryPjlLines = 65, // PJL line table
    kQueryTextAsBlack = 66,
    kQueryPosterOverlap = 67,
    kQueryAlternateSource = 68,
    kQueryToneCurves = 69,
    kQueryResourceIds = 70,
    kQueryPriorPrint = 71, // prior-print settings; capabilities by port
    kQueryOutputPaper = 72,
    kQueryJobType2Rules = 73,
    kQueryJobType3Rules = 74,
    kQueryLongPaperLimits = 75,
    kQueryKeys = 76, // key table
    kQueryGraphicsMode = 77,
    kQueryContrast = 78,
    kQueryFeatureFlags = 79,
    kQueryIdListFirst = 80, // 80 to 94: lists of identifiers
    kQueryIdListLast = 94,
    kQueryRulePairs = 95,
    kQueryPortDefault = 96,
};

inline constexpr int kLastModelQuery = 96;

// ---------------------------------------------------------------- layouts

// Layouts of the codes with their own decoders, as their callers ask them.
namespace layout {
// 14
inline constexpr int kFamilyName = 1, kPersonality = 2;
// 7
inline constexpr int kComponentList = 1;
// 20
inline constexpr int kPaperDefaults = 1, kPaperUnit = 2, kPaperList = 3, kPaperRecord = 4,
                     kPaperFlags = 5, kPaperName = 6, kPaperPairs = 7, kPaperTwoNames = 8,
                     kPaperOptionCodes = 9, kPaperLinks = 10;
// 21, 75
inline constexpr int kLimitsRecord = 1, kLimitsName = 2, kLimitsTwoNames = 3,
                     kLimitsOptionCodes = 4, kLimitsSlot288 = 5, kLimitsLinks = 6;
// 22
inline constexpr int kMediaList = 1, kMediaDefault = 2, kMediaRecord = 3, kMediaName = 4,
                     kMediaTwoNames = 5, kMediaOptionCodes = 6, kMediaLinks = 7,
                     kMediaNoDefault = 8;
// 24
inline constexpr int kTrayList = 1, kTrayDefault = 2, kTrayRecord = 3, kTrayName = 4,
                     kTrayOptionCodes = 5, kTrayLinks = 6, kTrayTexts = 7;
// 25
inline constexpr int kInstallableRecord = 1, kInstallableList = 2, kInstallableShort = 3,
                     kInstallableSlots = 4, kInstallableEntries = 5;
// 26 (3 to 8 answer per tray of every feeder)
inline constexpr int kFeederList = 1, kFeederRecord = 2, kFeederTrayRecord = 3, kFeederTrayName = 4,
                     kFeederTrayOptionCodes = 5, kFeederTrayLinks = 6, kFeederTrayTexts = 7,
                     kFeederTrayOwner = 8, kFeederName = 9;
// 27
inline constexpr int kFinisherShort = 1, kFinisherStaplesShort = 2, kFinisherRecord = 3,
                     kFinisherPunches = 4, kFinisherFolds = 5, kFinisherStaples = 6,
                     kFinisherStapleMembersA = 7, kFinisherStapleMembersB = 8,
                     kFinisherStapleFlags = 9, kFinisherPunchesLong = 10, kFinisherText = 11,
                     kFinisherPunchTexts = 12, kFinisherFoldTexts = 13, kFinisherStapleTexts = 14,
                     kFinisherFoldTwoTexts = 15;
// 34
inline constexpr int kBinDefault = 1, kBinShort = 2, kBinRecord = 3, kBinMembersA = 4,
                     kBinMembersB = 5, kBinFlags = 6, kBinText = 7, kBinName = 8;
// 35, 36
inline constexpr int kOptionValue = 1, kOptionList = 2;
// 37
inline constexpr int kDirectoryCodes = 1, kDirectoryEntries = 2;
// 39
inline constexpr int kFontHandling = 1, kFontNames = 2, kFontListEnd = 3, kFontSecondNames = 4;
// 41
inline constexpr int kResolutionDefault = 1, kResolutionList = 2;
// 42
inline constexpr int kQualityRecord = 1, kQualityDefault = 2, kQualityMatrix = 3, kQualityCurve = 4,
                     kQualityPair = 5, kQualityLists = 6;
// 43
inline constexpr int kMatrixList = 1, kMatrixData = 2;
// 46
inline constexpr int kTonerValue = 1, kTonerIds = 2, kTonerTexts = 3;
// 47
inline constexpr int kHalftoneDefault = 1, kHalftoneValues = 2, kHalftoneShort = 3,
                     kHalftoneRaster = 4, kHalftoneRecord = 5, kHalftoneRecordWords = 6;
// 51 (from 281)
inline constexpr int kPortMask = 1, kPortMaskValue = 2, kOtherModelNames = 3;
// 53 (from 275)
inline constexpr int kJobSetupRecord = 1, kJobSetupList = 2;
// 65 (from 301)
inline constexpr int kPjlFlags = 1, kPjlHead = 2, kPjlItems = 3, kPjlLines = 4;
// 69, 70, 76, 80 to 95
inline constexpr int kEntryList = 1;
// 71 (from 278)
inline constexpr int kPortCapabilities = 1, kPortFirstItems = 2, kPortEntriesLong = 3,
                     kPortSecondItems = 4, kPortEntriesShort = 5;
// Fixed-record codes: layout 1 is the record's leading slot or slots, each
// further layout copies more of the same leading slots.
inline constexpr int kFixedFirst = 1, kFixedSecond = 2, kFixedThird = 3, kFixedFourth = 4;
} // namespace layout

// ---------------------------------------------------------------- answers

// Answers are naturally aligned little-endian records; a record's size is
// the size a caller passes for that layout.
#define MODEL_ANSWER(type, code, layoutNo, bytes)                                                  \
    static_assert(sizeof(type) == (bytes), #type " size");                                         \
    inline constexpr int type##Code = (code);                                                      \
    inline constexpr int type##Layout = (layoutNo)
#define MODEL_FIELD_AT(type, field, off)                                                           \
    static_assert(offsetof(type, field) == (off), #type "." #field)

// 7 layout 1: one component of the package.
struct ComponentAnswer {
    std::int16_t id;
    std::uint16_t zero;
    std::uint32_t kind; // kComponentKind64, kComponentKind32 or a plain name
    char nameTemplate[16];
    std::uint8_t reserved[16];
};
MODEL_ANSWER(ComponentAnswer, kQueryComponents, layout::kComponentList, 40);
MODEL_FIELD_AT(ComponentAnswer, kind, 4);
MODEL_FIELD_AT(ComponentAnswer, nameTemplate, 8);
inline constexpr std::uint32_t kComponentKind64 = 6; // "%s" takes the 64-bit platform code
inline constexpr std::uint32_t kComponentKind32 = 7; // "%s" takes the 32-bit platform code
// Components the package reads from the table.
enum ModelComponent : std::uint32_t {
    kComponentProfileA = 4,
    kComponentProfileB = 5,
    kComponentJbigCoder = 8,
    kComponentFontData = 9,
    kComponentDevicePictures = 10,
    kComponentModelsmith = 20,
    kComponentSheetwright = 22,
    kComponentResbundle = 23,
    kComponentDevprobe = 27,
    kComponentGatekeep = 28,
    kComponentTallyport = 29,
    kComponentStatuslens = 30,
    kComponentDevicePictures2 = 33,
    kComponentGraphics39 = 39,
    kComponentOptionModuleA = 250,
    kComponentOptionModuleB = 252,
};
// The file record of the component table: a count, then these.
struct ComponentFileEntry {
    std::uint32_t id;
    std::uint32_t kind;
    char nameTemplate[16];
};
static_assert(sizeof(ComponentFileEntry) == 24);

// 20 layout 1: the default papers of the two regions.
struct PaperDefaultsAnswer {
    std::int16_t letterRegion;
    std::int16_t a4Region;
};
MODEL_ANSWER(PaperDefaultsAnswer, kQueryPapers, layout::kPaperDefaults, 4);

// 20 layout 3, 22 layout 1, 24 layout 1, 26 layout 1: an entry's id and display string.
struct IdNameAnswer {
    std::int16_t id;
    std::int16_t nameId;
};
static_assert(sizeof(IdNameAnswer) == 4);

// 20 layout 4: the paper record (sizes in 0.1 mm unless named in dots).
struct PaperRecordAnswer {
    std::int16_t id;
    std::int16_t nameId;
    std::int16_t slot2;
    std::int16_t zero;
    std::int16_t width;
    std::int16_t length;
    std::int16_t widthDots;
    std::int16_t lengthDots;
    std::int16_t printableWidth;
    std::int16_t printableLength;
    std::int16_t printableWidthDots;
    std::int16_t printableLengthDots;
    std::int16_t margins[4];
    std::int16_t turnedLength;
    std::int16_t turnedWidth;
    std::int16_t turnedLengthDots;
    std::int16_t turnedWidthDots;
    std::int16_t turnedPrintableWidth;
    std::int16_t turnedPrintableLength;
    std::int16_t turnedPrintableWidthDots;
    std::int16_t turnedPrintableLengthDots;
    std::int16_t turnedMargins[4];
    std::uint32_t flags;
    std::uint32_t item9Mask;
    std::uint32_t slot17;
    std::uint32_t slot19;
    std::uint32_t slot18;
    std::uint32_t flags2;
    std::int16_t tiedMedia;
    std::int16_t mediaCount; // at most 16
    std::int16_t tiedTray;
    std::int16_t trayCount; // at most 20
    std::int16_t media[16];
    std::int16_t trays[20];
};
MODEL_ANSWER(PaperRecordAnswer, kQueryPapers, layout::kPaperRecord, 160);
MODEL_FIELD_AT(PaperRecordAnswer, width, 8);
MODEL_FIELD_AT(PaperRecordAnswer, margins, 24);
MODEL_FIELD_AT(PaperRecordAnswer, flags, 56);
MODEL_FIELD_AT(PaperRecordAnswer, flags2, 76);
MODEL_FIELD_AT(PaperRecordAnswer, tiedMedia, 80);
MODEL_FIELD_AT(PaperRecordAnswer, trayCount, 86);
MODEL_FIELD_AT(PaperRecordAnswer, media, 88);
MODEL_FIELD_AT(PaperRecordAnswer, trays, 120);

// 21 and 75 layout 1: the custom and long paper size limits.
struct PaperLimitsAnswer {
    std::uint32_t offered;     // nonzero: the model has such papers
    std::int16_t largestWidth; // 0.1 mm
    std::int16_t largestLength;
    std::int16_t largestWidth600; // 1/600 inch
    std::int16_t largestLength600;
    std::int16_t smallestWidth;
    std::int16_t smallestLength;
    std::int16_t smallestWidth600;
    std::int16_t smallestLength600;
    std::int16_t margins[4];
    std::int16_t turnedMargins[4];
    std::uint32_t flags;
    std::uint32_t item9Mask;
    std::uint32_t slot19;
    std::uint32_t slot21;
    std::uint32_t slot20;
    std::uint32_t flags2;
    std::int16_t tiedMedia;
    std::int16_t mediaCount;
    std::int16_t tiedTray;
    std::int16_t trayCount;
    std::int16_t media[16];
    std::int16_t trays[20];
};
MODEL_ANSWER(PaperLimitsAnswer, kQueryCustomPaperLimits, layout::kLimitsRecord, 140);
MODEL_FIELD_AT(PaperLimitsAnswer, smallestWidth, 12);
MODEL_FIELD_AT(PaperLimitsAnswer, flags, 36);
MODEL_FIELD_AT(PaperLimitsAnswer, tiedMedia, 60);
MODEL_FIELD_AT(PaperLimitsAnswer, trayCount, 66);
MODEL_FIELD_AT(PaperLimitsAnswer, media, 68);
MODEL_FIELD_AT(PaperLimitsAnswer, trays, 100);

// 22 layout 3 (media type) and 24 / 26 layout 3 (tray): 208 and 200 bytes.
struct MediaTrayRecordAnswer {
    std::int16_t id;
    std::int16_t nameId;
    std::uint32_t flags;
    std::uint32_t item9Mask;
    std::uint32_t slot4;
    std::uint32_t slot5;
    std::uint32_t slot7;
    std::uint32_t flags2;
    std::uint32_t zero;
    std::int16_t tied;        // paper
    std::int16_t firstCount;  // papers, at most 64
    std::int16_t tiedSecond;  // tray (media record) or media type (tray record)
    std::int16_t secondCount; // trays (at most 20) or media types (at most 16)
    std::int16_t papers[64];
    std::int16_t second[20];
};
MODEL_FIELD_AT(MediaTrayRecordAnswer, tied, 32);
MODEL_FIELD_AT(MediaTrayRecordAnswer, secondCount, 38);
MODEL_FIELD_AT(MediaTrayRecordAnswer, papers, 40);
MODEL_FIELD_AT(MediaTrayRecordAnswer, second, 168);
inline constexpr std::size_t kMediaRecordSize = 208;
inline constexpr std::size_t kTrayRecordSize = 200;
static_assert(sizeof(MediaTrayRecordAnswer) == kMediaRecordSize);

// Extension "name" layouts (20: 6; 21, 75: 2; 22: 4; 24: 4; 26: 4) and "two names".
struct ExtensionNameAnswer {
    std::int16_t flags; // e0: bits kExtension*
    std::int16_t value; // e1
    char name[32];
};
static_assert(sizeof(ExtensionNameAnswer) == 36);
struct ExtensionTwoNamesAnswer {
    ExtensionNameAnswer first;
    char secondName[32];
};
static_assert(sizeof(ExtensionTwoNamesAnswer) == 68 &&
              offsetof(ExtensionTwoNamesAnswer, secondName) == 36);
inline constexpr std::uint16_t kExtensionBit0 = 0x1, kExtensionBit1 = 0x2, kExtensionBit2 = 0x4;

// 24 layout 7, 26 layout 7: the two texts of a tray.
struct TrayTextsAnswer {
    std::int16_t id;
    std::uint8_t zero[6];
    char first[32];
    char second[32];
};
MODEL_ANSWER(TrayTextsAnswer, kQueryPaperSources, layout::kTrayTexts, 72);
MODEL_FIELD_AT(TrayTextsAnswer, first, 8);
MODEL_FIELD_AT(TrayTextsAnswer, second, 40);

// 25 layout 1: the installable options; its first word holds kInstallable* bits.
struct InstallableAnswer {
    std::uint32_t bits;
    std::uint8_t rest[16];
    std::int16_t value; // at offset 20, the option directory's value
    std::int16_t pad;
};
MODEL_ANSWER(InstallableAnswer, kQueryInstallable, layout::kInstallableRecord, 24);
MODEL_FIELD_AT(InstallableAnswer, value, 20);
inline constexpr std::uint32_t kInstallableBit0 = 0x1, kInstallableManualDuplex = 0x2,
                               kInstallableBit2 = 0x4, kInstallableBit3 = 0x8,
                               kInstallableBit4 = 0x10, kInstallableManualFeed = 0x40;

// 25 layout 2: one duplex kind with its two texts.
struct InstallableEntryAnswer {
    std::int16_t id;
    std::int16_t slot1;
    std::int16_t slot2;
    std::int16_t slot3;
    char first[32];
    char second[32];
};
MODEL_ANSWER(InstallableEntryAnswer, kQueryInstallable, layout::kInstallableList, 72);

// 27 layouts 12 and 13 (punch and fold items with a text), 14 (staple items).
struct FinisherItemTextAnswer {
    std::int16_t entryId;
    std::int16_t itemCode; // item slot 0 (staple items: 2 zero bytes here, the code at +4)
    std::int16_t nameId;
    std::int16_t pad;
    std::uint32_t slot2;
    std::int16_t slot3;
    std::int16_t slot4;
    char text[32];
};
MODEL_ANSWER(FinisherItemTextAnswer, kQueryFinishers, layout::kFinisherPunchTexts, 48);
MODEL_FIELD_AT(FinisherItemTextAnswer, text, 16);
struct FinisherStapleTextAnswer {
    std::int16_t entryId;
    std::int16_t zero;
    std::int16_t itemCode;
    std::int16_t nameId;
    std::uint32_t slot2;
    std::int16_t slot3;
    std::int16_t slot4;
    char text[32];
};
MODEL_ANSWER(FinisherStapleTextAnswer, kQueryFinishers, layout::kFinisherStapleTexts, 48);
MODEL_FIELD_AT(FinisherStapleTextAnswer, itemCode, 4);
struct FinisherFoldTextsAnswer {
    FinisherItemTextAnswer item;
    char second[32];
};
MODEL_ANSWER(FinisherFoldTextsAnswer, kQueryFinishers, layout::kFinisherFoldTwoTexts, 80);
// 27 layout 3: a finisher with the defaults, counts and model codes of its
// punch, fold and staple lists.
struct FinisherRecordAnswer {
    std::int16_t id;
    std::int16_t slot1;
    std::uint32_t zero4;
    char name[16];
    std::uint8_t zero24[16];
    std::uint32_t slot6;
    std::uint32_t slot7;
    std::int16_t punchDefault; // also the punch unit's word of the installed options
    std::int16_t foldDefault;  // also the fold unit's word
    std::int16_t punchCount;
    std::int16_t foldCount;
    std::int16_t stapleDefault;
    std::int16_t stapleCount;
    std::uint32_t zero60;
    std::int16_t punchCodes[4];
    std::int16_t foldCodes[4];
    std::int16_t stapleCodes[4];
};
MODEL_ANSWER(FinisherRecordAnswer, kQueryFinishers, layout::kFinisherRecord, 88);
MODEL_FIELD_AT(FinisherRecordAnswer, punchDefault, 48);
MODEL_FIELD_AT(FinisherRecordAnswer, stapleCount, 58);
MODEL_FIELD_AT(FinisherRecordAnswer, stapleCodes, 80);

// 27 layout 11: a finisher's capabilities and text.
struct FinisherTextAnswer {
    std::int16_t id;
    std::int16_t slot1;
    std::uint32_t recordFlags;  // slot 6: bits 4 and 5 key punch and fold rules to the paper
    std::uint32_t capabilities; // slot 8: the rows of the finisher's rules
    std::int16_t slot9;
    std::int16_t foldSheets; // slot 10: the sheets the folder takes at once
    char text[32];
};
MODEL_ANSWER(FinisherTextAnswer, kQueryFinishers, layout::kFinisherText, 48);

// 34 layout 7: an output bin with its text.
struct BinTextAnswer {
    std::uint32_t zero;
    std::int16_t id;
    std::int16_t nameId;
    std::uint32_t slot2;
    std::int16_t slot3;
    std::int16_t slot4;
    char text[32];
};
MODEL_ANSWER(BinTextAnswer, kQueryOutputBins, layout::kBinText, 48);
MODEL_FIELD_AT(BinTextAnswer, text, 16);

// 39 layout 1: device-font handling.
struct FontHandlingAnswer {
    std::uint32_t bits; // kFont* bits
    std::int16_t slot1;
    std::int16_t slot2;
};
MODEL_ANSWER(FontHandlingAnswer, kQueryDeviceFonts, layout::kFontHandling, 8);
inline constexpr std::uint32_t kFontBit0 = 0x1, kFontBit1 = 0x2, kFontBit2 = 0x4, kFontBit7 = 0x80,
                               kFontBit8 = 0x100;

// 41 layouts 1 and 2: resolutions.
struct ResolutionDefaultAnswer {
    std::int16_t id;
    std::int16_t pad;
    std::uint32_t slot1;
    std::uint32_t x;
    std::uint32_t y;
};
MODEL_ANSWER(ResolutionDefaultAnswer, kQueryResolutions, layout::kResolutionDefault, 16);
struct ResolutionAnswer {
    std::int16_t id;
    std::int16_t pad;
    std::uint32_t x;
    std::uint32_t y;
    std::uint32_t zero;
};
MODEL_ANSWER(ResolutionAnswer, kQueryResolutions, layout::kResolutionList, 16);

// 42 layout 1: a print quality mode.
struct QualityAnswer {
    std::int16_t id;
    std::int16_t slot1;
    std::uint32_t x;
    std::uint32_t y;
    std::uint32_t slot3;
    std::uint32_t flags; // slot 4: bit 3, a mode the printer does not list
    std::uint32_t slot5;
    std::uint32_t slot2;
    std::uint32_t requiredMemory; // slot 6: the installed memory the mode needs
};
MODEL_ANSWER(QualityAnswer, kQueryQualityModes, layout::kQualityRecord, 32);
MODEL_FIELD_AT(QualityAnswer, flags, 16);
MODEL_FIELD_AT(QualityAnswer, requiredMemory, 28);
inline constexpr std::uint32_t kQualityNotListed = 0x8;

// 43 layout 2: a threshold matrix with its data.
inline constexpr std::size_t kMatrixDataMax = 4096;
struct MatrixAnswer {
    std::int16_t id;
    std::int16_t slot3;
    std::int16_t width;
    std::int16_t height;
    std::uint8_t data[kMatrixDataMax];
};
MODEL_ANSWER(MatrixAnswer, kQueryMatrices, layout::kMatrixData, 4104);

// 65 layout 3: a PJL item; layout 4: one of its lines.
struct PjlItemAnswer {
    std::int32_t itemId;
    std::uint32_t stringFlags;
    std::uint32_t maxLength;
    std::uint32_t slot3;
};
MODEL_ANSWER(PjlItemAnswer, kQueryPjlLines, layout::kPjlItems, 16);
struct PjlLineAnswer {
    std::uint32_t itemId;
    std::uint32_t variant;
    char format[56];
};
MODEL_ANSWER(PjlLineAnswer, kQueryPjlLines, layout::kPjlLines, 64);

// 69 layout 1: a tone curve.
struct ToneCurveAnswer {
    std::int16_t id;
    std::int16_t slot1;
    std::uint32_t pad;
    std::uint8_t curve[256];
};
MODEL_ANSWER(ToneCurveAnswer, kQueryToneCurves, layout::kEntryList, 264);

// 76 layout 1: a key and its value.
struct KeyAnswer {
    std::uint32_t key;
    std::uint32_t value;
};
MODEL_ANSWER(KeyAnswer, kQueryKeys, layout::kEntryList, 8);

// ---------------------------------------------------------------- fixed records
//
// A fixed record is a row of 32-bit slots. Every layout of a code copies the
// record's leading slots into its answer byte for byte, so an i16 field at an
// odd half stands in the high half of a slot; layout 2 of an 8-byte answer is
// slots 0 and 1 whatever layout 1 holds, and bytes past the record's end are
// zero. 45 layout 2 and 55 layout 1 alone narrow one slot to each field.

// The first word of a 4-byte layout 1 (12, 13, 23, 28, 30, 40, 45, 50, 51,
// 57 to 59, 64 to 68, 72).
struct FixedWordAnswer {
    std::uint32_t bits;
};
static_assert(sizeof(FixedWordAnswer) == 4);
// Two slots: 38, 48, 49, 54, 56, 96 layout 1; 19, 23, 50, 51, 64, 65 layout 2;
// 60 to 62, 73, 74 layout 1.
struct FixedPairAnswer {
    std::uint32_t bits;
    std::uint32_t value;
};
static_assert(sizeof(FixedPairAnswer) == 8);
// A word and the two halves of slot 1: 28 layout 2 (the N-up borders and
// their width), 31 layouts 1 (the smallest and largest zoom) and 2 (the zoom
// anchor in the low half), 29 and 67 layout 2 (a percentage in the low half).
struct FixedWordShortsAnswer {
    std::uint32_t bits;
    std::int16_t first;
    std::int16_t second;
};
static_assert(sizeof(FixedWordShortsAnswer) == 8 && offsetof(FixedWordShortsAnswer, first) == 4);

// 19 layouts 2 and 3: the graphics language version and level, and (layout
// 3) the vector option.
struct RasterSettingsAnswer {
    std::uint32_t version;      // kRasterLevel* values
    std::uint32_t level;        // 1 or 2
    std::uint32_t vectorOption; // 1: the vector option of the stream
};
MODEL_ANSWER(RasterSettingsAnswer, kQueryRasterSettings, layout::kFixedThird, 12);
inline constexpr std::uint32_t kRasterLevel1 = 0x10001, kRasterLevel2 = 0x20000,
                               kRasterLevel2Delta = 0x20001, kRasterLevel3 = 0x30000;

// 23 layout 1: the largest copy count in the first half.
struct CopiesAnswer {
    std::int16_t largest;
    std::int16_t high;
};
MODEL_ANSWER(CopiesAnswer, kQueryCopies, layout::kFixedFirst, 4);

// 28 and 29 layout 3: distances of the layout features, slots 0 to 7. Query
// 29 layout 1 reads the same slots 2 and 3 as whole words (the option bits
// and the feature mask of the booklet's availability): a model keeps the low
// bits of both distances clear unless it means them as requirements.
struct LayoutDistancesAnswer {
    std::uint32_t bits;       // slot 0: bit 0 offered (29: the model's layout flags)
    std::uint32_t slot1;      // the halves that layout 2 reads
    std::int16_t defaultInch; // slot 2, 0.01 inch
    std::int16_t largestInch; // slot 2 high half
    std::int16_t defaultMm;   // slot 3, 0.1 mm
    std::int16_t largestMm;   // slot 3 high half
    std::uint32_t slot4;
    std::int16_t mode; // slot 5: the rotation, 1, 2 or another value
    std::int16_t slot5High;
    std::uint32_t slot6;
    std::uint32_t slot7;
};
MODEL_ANSWER(LayoutDistancesAnswer, kQueryBooklet, layout::kFixedThird, 32);
MODEL_FIELD_AT(LayoutDistancesAnswer, defaultInch, 8);
MODEL_FIELD_AT(LayoutDistancesAnswer, defaultMm, 12);
MODEL_FIELD_AT(LayoutDistancesAnswer, mode, 20);

// 67 layout 3: the poster overlap distances.
struct OverlapAnswer {
    std::uint32_t bits;
    std::int16_t defaultInch; // slot 1, 0.01 inch
    std::int16_t largestInch; // slot 1 high half
    std::int16_t defaultMm;   // slot 2, 0.1 mm
    std::int16_t largestMm;   // slot 2 high half
};
MODEL_ANSWER(OverlapAnswer, kQueryPosterOverlap, layout::kFixedThird, 12);
MODEL_FIELD_AT(OverlapAnswer, defaultMm, 8);

// 44 layout 1: the gray weights of the low, middle and high colour byte.
struct GrayWeightsAnswer {
    std::int16_t red;   // slot 0
    std::int16_t green; // slot 0 high half
    std::int16_t blue;  // slot 1
    std::int16_t slot1High;
};
MODEL_ANSWER(GrayWeightsAnswer, kQueryGrayWeights, layout::kFixedFirst, 8);
inline constexpr int kDefaultGrayRed = 74, kDefaultGrayGreen = 155, kDefaultGrayBlue = 27;

// 45 layout 2: the density range.
struct DensityAnswer {
    std::int16_t smallest;
    std::int16_t largest;
    std::int16_t step;
    std::int16_t defaultValue;
};
MODEL_ANSWER(DensityAnswer, kQueryDensity, layout::kFixedSecond, 8);

// 55 layout 1: image halftone and colour settings, one field per slot.
struct ImageHalftoneAnswer {
    std::uint32_t bits;     // slot 0: kImageHalftone* bits
    std::int16_t colorMode; // slot 1
    std::int16_t pad6;
    std::uint32_t matchingBits; // slot 2: kImageHalftoneSystemMatching
    std::int16_t matching;      // slot 3
    std::int16_t pad14;
    std::uint32_t slot4;
    std::int16_t first[10]; // slots 5 to 14: mode, value, eight adjustments
    std::uint32_t slot15;
    std::int16_t second[10]; // slots 16 to 25: the same for the older block
    std::uint32_t slot26;
    std::uint32_t slot27;
    std::uint32_t slot28;
    std::int16_t slot29; // capped at 1: the alternate colour mode
    std::int16_t slot30; // the older block's last word
};
MODEL_ANSWER(ImageHalftoneAnswer, kQueryImageHalftone, layout::kFixedFirst, 80);
MODEL_FIELD_AT(ImageHalftoneAnswer, matchingBits, 8);
MODEL_FIELD_AT(ImageHalftoneAnswer, matching, 12);
MODEL_FIELD_AT(ImageHalftoneAnswer, first, 20);
MODEL_FIELD_AT(ImageHalftoneAnswer, slot15, 40);
MODEL_FIELD_AT(ImageHalftoneAnswer, second, 44);
MODEL_FIELD_AT(ImageHalftoneAnswer, slot26, 64);
MODEL_FIELD_AT(ImageHalftoneAnswer, slot29, 76);
inline constexpr std::uint32_t kImageHalftoneBit1 = 0x2, kImageHalftoneBit2 = 0x4;
inline constexpr std::uint8_t kImageHalftoneSystemMatching = 0x8;

// 57 layout 2: the cover pages.
struct CoverPagesAnswer {
    std::uint32_t bits;
    std::uint32_t slot1;
    std::uint32_t frontMask;
    std::uint32_t slot3;
    std::uint32_t backMask;
};
MODEL_ANSWER(CoverPagesAnswer, kQueryCoverPages, layout::kFixedSecond, 20);

// 60 to 62, 73, 74 layout 2 (rules) and 3 (texts) of a job type.
struct JobTypeRulesAnswer {
    std::uint32_t bits;
    std::uint32_t slot1;
    std::uint32_t slot2;
    std::int16_t slot3;
    std::int16_t pad;
    std::uint32_t slot4;
    std::int16_t slot5;
    std::int16_t pad2;
};
MODEL_ANSWER(JobTypeRulesAnswer, kQueryJobType1Rules, layout::kFixedSecond, 24);
struct JobTypeTextsAnswer {
    std::uint32_t slot0;
    std::uint32_t slot1;
    std::uint32_t slot2;
    std::uint32_t slot3;
    char firstText[32];
    std::uint32_t slot12;
    std::uint32_t slot13;
    char secondText[32];
};
MODEL_ANSWER(JobTypeTextsAnswer, kQueryJobType1Rules, layout::kFixedThird, 88);
MODEL_FIELD_AT(JobTypeTextsAnswer, secondText, 56);

// 63 layout 2: the department prompt.
struct DepartmentPromptAnswer {
    std::uint32_t bits;
    std::uint32_t slot1;
    std::uint32_t slot2;
    std::uint32_t slot3;
    char text[32];
};
MODEL_ANSWER(DepartmentPromptAnswer, kQueryDepartmentPrompt, layout::kFixedSecond, 48);

// 77 layout 1, 78 layout 1, 79 layout 1.
struct GraphicsModeAnswer {
    std::uint32_t bits;
    std::uint32_t slot1;
    std::uint32_t slot2;
};
MODEL_ANSWER(GraphicsModeAnswer, kQueryGraphicsMode, layout::kFixedFirst, 12);
struct ContrastAnswer {
    std::uint32_t bits;
    std::int16_t smallest; // slot 1, then its high half
    std::int16_t largest;
    std::int16_t step; // slot 2, then its high half
    std::int16_t page;
    std::int16_t defaultValue; // slot 3, then its high half
    std::int16_t slot3High;
};
MODEL_ANSWER(ContrastAnswer, kQueryContrast, layout::kFixedFirst, 16);
MODEL_FIELD_AT(ContrastAnswer, defaultValue, 12);
struct FeatureFlagsAnswer {
    std::uint32_t bits; // kFeature* bits
    std::uint32_t slot1;
    std::uint32_t slot2;
    std::uint32_t slot3;
};
MODEL_ANSWER(FeatureFlagsAnswer, kQueryFeatureFlags, layout::kFixedFirst, 16);

#undef MODEL_ANSWER
#undef MODEL_FIELD_AT

// ---------------------------------------------------------------- bits

// Bit 0 of a fixed record's first word: the model offers the feature.
inline constexpr std::uint32_t kFeatureOffered = 0x1;

// 59: the model flag word.
inline constexpr std::uint32_t kModelFlagCombinedOutput = 0x20;
// 58: the second model flag word.
inline constexpr std::uint32_t kModelFlag2WatermarkPage = 0x4, kModelFlag2Bit10 = 0x400;
// 79: feature flags. Bits 0 and 1 are two of the job-information bits (the
// private defaults take them as the name and user flags); bit 4 marks the
// option of feature word A (kAFeature79Option), whose role no caller reads.
inline constexpr std::uint32_t kFeatureJobInfo = 0x1, kFeatureStatusPage = 0x2,
                               kFeatureOption79 = 0x10, kFeatureChangePaperTray = 0x20,
                               kFeatureResolutionList = 0x40, kFeatureQualityList = 0x80,
                               kFeatureFinePatterns = 0x100, kFeatureHardDiskBySpooler = 0x200,
                               kFeaturePrinterApi = 0x400;
// 77: graphics mode.
inline constexpr std::uint32_t kGraphicsModeBit1 = 0x2, kGraphicsModeBit2 = 0x4;
// 63: department prompt.
inline constexpr std::uint32_t kDepartmentBit2 = 0x4, kDepartmentAll = 0x51;
// 68: alternate source.
inline constexpr std::uint32_t kAlternateSourceBit2 = 0x4, kAlternateSourceBit3 = 0x8;
// 57: cover pages.
inline constexpr std::uint32_t kCoverFront = 0x1, kCoverBack = 0x2;
// 72: output paper.
inline constexpr std::uint32_t kOutputPaperOffered = 0x2;
// 96 and 71: port capability words.
inline constexpr std::uint32_t kPortNetwork = 0x4000, kPortKindsMask = 0xF000;

// The feature words of the private device-mode block that the model's
// defaults fill: what the model offers, each bit set from the model's tables.
namespace feature {
// Word A (the private flags).
inline constexpr std::uint32_t kAMirror = 0x1;            // 49
inline constexpr std::uint32_t kAOutputPaper = 0x2;       // 72 (20 layout 5 in 908-byte blocks)
inline constexpr std::uint32_t kAImageReduction = 0x8;    // 48
inline constexpr std::uint32_t kAAlternateMedia = 0x10;   // 68 bit 2
inline constexpr std::uint32_t kAAlternateSource = 0x20;  // 68 bit 3
inline constexpr std::uint32_t kAOutputPaperSize = 0x40;  // the output paper is a custom size
inline constexpr std::uint32_t kAFeature79Option = 0x100; // 79 bit 4
inline constexpr std::uint32_t kADuplexType = 0x200;      // 25: manual and device duplex
inline constexpr std::uint32_t kAAlways = 0x400 | 0x800 | 0x2000 | 0x8000;
inline constexpr std::uint32_t kADriverCollation = 0x8000; // one of the bits always set
inline constexpr std::uint32_t kAReverseOrder = 0x1000;    // 50
inline constexpr std::uint32_t kASkipBlank = 0x4000;       // 56
inline constexpr std::uint32_t kAStaple = 0x10000;         // 33
inline constexpr std::uint32_t kAOutputBins = 0x20000;     // 34
inline constexpr std::uint32_t kAPunch = 0x40000;          // 32
inline constexpr std::uint32_t kAPunchSecond = 0x80000;    // 32
inline constexpr std::uint32_t kASortKinds = 0x100000;     // 64
inline constexpr std::uint32_t kACoverPages = 0x200000;    // 57
inline constexpr std::uint32_t kAFrontCover = 0x400000;
inline constexpr std::uint32_t kABackCover = 0x800000;
inline constexpr std::uint32_t kAJobType1 = 0x1000000;       // 60
inline constexpr std::uint32_t kAJobType2 = 0x2000000;       // 73 (61 in 908-byte blocks)
inline constexpr std::uint32_t kAJobType3 = 0x4000000;       // 74 (62 in 908-byte blocks)
inline constexpr std::uint32_t kADepartmentCode = 0x8000000; // 63
inline constexpr std::uint32_t kAJobType4 = 0x10000000;      // 61
inline constexpr std::uint32_t kAJobType5 = 0x20000000;      // 62
// Word B (the feature flags).
inline constexpr std::uint32_t kBFitToPaper = 0x1;           // 30
inline constexpr std::uint32_t kBZoom = 0x2;                 // 31
inline constexpr std::uint32_t kBBooklet = 0x4;              // 29
inline constexpr std::uint32_t kBPageLayout = 0x8;           // 28
inline constexpr std::uint32_t kBPoster = 0x10;              // 67
inline constexpr std::uint32_t kBColorModes = 0x20;          // 55 bit 1 or 2
inline constexpr std::uint32_t kBColorAdjust = 0x40 | 0x100; // 55 answered
inline constexpr std::uint32_t kBColorMatching = 0x80;       // 55's third word
inline constexpr std::uint32_t kBDensity = 0x200;            // 45
inline constexpr std::uint32_t kBTextAsBlack = 0x400;        // 66
inline constexpr std::uint32_t kBAlways = 0x800 | 0x100000 | 0x4000000;
inline constexpr std::uint32_t kBDeviceFonts = 0x1000;       // 39
inline constexpr std::uint32_t kBToner = 0x4000;             // 46
inline constexpr std::uint32_t kBQualityMode = 0x8000;       // 52
inline constexpr std::uint32_t kBGraphicsMode = 0x10000;     // 77
inline constexpr std::uint32_t kBHalftones = 0x20000;        // 47
inline constexpr std::uint32_t kBModelFlags = 0x40000;       // 59
inline constexpr std::uint32_t kBSecondModelFlags = 0x80000; // 58
inline constexpr std::uint32_t kBHardDisk = 0x200000;        // 35
inline constexpr std::uint32_t kBMemory = 0x400000;          // 36
inline constexpr std::uint32_t kBFinishers = 0x800000;       // 27
inline constexpr std::uint32_t kBPunchUnit = 0x1000000;      // 32
inline constexpr std::uint32_t kBFeederFive = 0x2000000;     // 26 has entry 5
inline constexpr std::uint32_t kBAutoTray = 0x8000000;       // 79 bit 5
inline constexpr std::uint32_t kBContrast = 0x10000000;      // 78
inline constexpr std::uint32_t kBFinePatterns = 0x20000000;  // 79 bit 8
// Word C (the job checks).
inline constexpr std::uint32_t kCAlways = 0x1 | 0x2;
inline constexpr std::uint32_t kCJobSetupOption = 0x2;
inline constexpr std::uint32_t kCJobSetup = 0x4;      // 53
inline constexpr std::uint32_t kCPriorPrint = 0x8;    // 71
inline constexpr std::uint32_t kCDuplexNotice = 0x10; // 25 bit 4
inline constexpr std::uint32_t kCPjlItem32 = 0x800;   // 65 has lines for item 32
// Word D (the option flags).
inline constexpr std::uint32_t kDMirror = 0x1, kDOutputPaper = 0x2, kDAlternateSource = 0x4,
                               kDImageReduction = 0x8;
} // namespace feature

// The finisher entry asked when the device mode names none.
inline constexpr int kDefaultFinisherId = 99;

} // namespace model
