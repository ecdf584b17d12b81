// The driver's device modes: the private block that follows the standard
// part (1100 bytes, or 908 in the older layout), the 1320-byte wide image and
// its 1256-byte ANSI form, and the values its words take. The block is a
// stored and exchanged format: every offset is fixed and asserted. It is the
// package's own record; the standard part and its sizes are the system's
// (win/devmode.h).
#pragma once

#include <cstddef>

#include "win/devmode.h"
#include "win/types.h"

// The private block: current and older layout, and the private part of the
// oldest device modes (188-byte standard part).
#define PRIVATE_DEVMODE_SIZE 1100
#define PRIVATE_DEVMODE_SIZE_908 908
#define PRIVATE_DEVMODE_SIZE_OLDEST 112
// Fields at and after this offset of the current layout stand 12 bytes
// earlier in the 908-byte layout.
#define PRIVATE_DEVMODE_908_SHIFT_FROM 744
#define PRIVATE_DEVMODE_908_SHIFT 12

// "ZORD" as a multi-character constant: the first character in the most
// significant byte (so the bytes in memory read "DROZ").
#define PRIVATE_DEVMODE_SIGNATURE 0x5A4F5244u
#define PRIVATE_DEVMODE_VERSION 0x500u

// The standard part of the driver's own device mode carries these versions
// (with dmSize DEVMODEW_SIZE and dmDriverExtra PRIVATE_DEVMODE_SIZE).
inline constexpr WORD kDevmodeImageSpecVersion = DM_SPECVERSION;
inline constexpr WORD kDevmodeImageDriverVersion = 0x0500;

// Bits of FontMode. How text is sent: as glyph images, as bitmap fonts, or
// (neither bit) as outlines; and whether the model's own font list is used.
#define FONTMODE_TEXT_AS_IMAGES 0x4
#define FONTMODE_TEXT_AS_BITMAPS 0x2
#define FONTMODE_OWN_FONT_LIST 0x8

// Values of LayoutKind: the page layout, one at a time (readers test the
// word as a mask).
enum LayoutKindCode : WORD {
    kLayoutNone = 0,
    kLayoutPagesPerSheet = 1,
    kLayoutBooklet = 2,
    kLayoutPoster = 4,
    kLayoutFitToPaper = 8,
    kLayoutZoom = 16,
};

// The words that are a plain switch (AlternateSourceOn, Rotate180,
// ReverseOrder, MirrorImage, MetafileSpoolingOff, SkipBlankPages,
// CollateByDriver, TextAsBlack, ManualDuplexOffered, AutoTrayResolve,
// PriorPrintOn): 1 on, 0 off.
enum PrivateSwitch : WORD {
    kPrivateOff = 0,
    kPrivateOn = 1,
};

// Bits of EmfMode: whether the job is replayed spool-side (the playback
// decision writes it) and the switch that keeps it from ever being replayed.
enum EmfModeBit : DWORD {
    kEmfModePlayback = 0x1,
    kEmfModePlaybackOff = 0x4,
};

// Bits of CoverFlags: a front cover, a back cover.
enum CoverFlagBit : WORD {
    kCoverFlagFront = 0x1,
    kCoverFlagBack = 0x2,
};

// Bits of OverlayFlags and WatermarkFlags: the overlay or watermark is in use
// (either bit).
enum EffectFlagBit : DWORD {
    kEffectOnMask = 0x3,
};

// Bit of MeasureFlags (the region word): set in A4 regions, where the
// defaults write 3.
enum MeasureFlagBit : WORD {
    kMeasureA4Region = 0x2,
    kMeasureA4RegionDefault = 0x3,
};

#pragma pack(push, 1)
typedef struct _PRIVATE_DEVMODE {
    DWORD Signature;            // 0
    DWORD Version;              // 4
    DWORD JobStateBits;         // 8
    DWORD PrivateFlags;         // 12 (feature word A)
    DWORD FeatureFlags;         // 16 (feature word B)
    DWORD JobCheckFlags;        // 20 (feature word C)
    DWORD ReservedFeatures;     // 24
    DWORD OptionFlags;          // 28 (feature word D)
    DWORD TotalSheets;          // 32
    DWORD DuplexMarginFlags;    // 36
    DWORD EmfMode;              // 40
    DWORD Reserved44;           // 44
    WORD AlternateSourceOn;     // 48
    SHORT AlternateSource;      // 50: input source of the private settings
    DWORD AlternateMediaType;   // 52: media type of the private settings
    WORD OutputPaperId;         // 56
    SHORT OutputPaperWidth;     // 58
    SHORT OutputPaperLength;    // 60
    WORD Rotate180;             // 62
    WORD MeasureFlags;          // 64 (the low byte; the region word)
    WORD Reserved66;            // 66
    DWORD Reserved68;           // 68
    SHORT ResolutionCopy;       // 72
    WORD Reserved74;            // 74
    WORD DuplexType;            // 76
    WORD DuplexMargin;          // 78
    WORD Reserved80;            // 80
    WORD ReverseOrder;          // 82
    WORD MirrorImage;           // 84
    WORD MetafileSpoolingOff;   // 86
    WORD SkipBlankPages;        // 88
    WORD CollateByDriver;       // 90
    WORD StapleMode;            // 92
    WORD OutputBin;             // 94
    WORD PunchMode;             // 96
    WORD Reserved98;            // 98
    WORD SortMode;              // 100 (CopyMode in the 908-byte layout)
    WORD CoverFlags;            // 102
    WORD FrontCoverPrinted;     // 104
    WORD FrontCoverSource;      // 106
    WORD BackCoverPrinted;      // 108
    WORD BackCoverSource;       // 110
    DWORD FrontCoverMedia;      // 112
    DWORD BackCoverMedia;       // 116
    WORD JobType;               // 120
    WORD DeptCounterFlags;      // 122
    WORD JobTypeOptions;        // 124
    WORD Reserved126;           // 126
    CHAR DeptCode[32];          // 128
    CHAR MailboxId[32];         // 160
    CHAR SecureBoxId[32];       // 192
    CHAR SecurePassword[32];    // 224
    WORD LayoutKind;            // 256
    WORD LengthUnitDpi;         // 258
    WORD PagesPerSheet;         // 260
    WORD PageOrder;             // 262
    WORD PageBorders;           // 264
    WORD BorderWidth;           // 266
    WORD BookletKind;           // 268
    WORD BookletSheets;         // 270
    WORD BindingMargin;         // 272
    SHORT ZoomPercent;          // 274
    WORD ZoomAnchor;            // 276
    WORD FitMode;               // 278
    WORD PosterGrid[2];         // 280: across, down
    WORD PosterOverlap;         // 284
    WORD NupRotation;           // 286
    WORD BookletRotation;       // 288
    BYTE Reserved290[6];        // 290
    WORD ColorMode;             // 296
    WORD ColorAdjustOption;     // 298
    WORD ColorMatching;         // 300
    WORD ColorModeAlt;          // 302
    BYTE ColorAdjustValues[48]; // 304
    WORD Density;               // 352
    WORD TextAsBlack;           // 354
    WORD ThresholdLevel;        // 356
    WORD Reserved358;           // 358
    WORD ResolutionCode;        // 360
    WORD FontMode;              // 362
    SHORT Reserved364;          // 364
    WORD TonerSaveLevel;        // 366
    WORD QualityMode;           // 368
    WORD ImageReduction;        // 370
    WORD GraphicsMode;          // 372
    WORD HalftoneKind;          // 374
    WORD FinePatterns;          // 376
    BYTE Reserved378[6];        // 378
    DWORD OverlayFlags;         // 384
    WORD OverlayPages;          // 388
    WORD OverlayOnTop;          // 390
    CHAR OverlayMakeName[64];   // 392
    CHAR OverlayUseName[64];    // 456
    DWORD WatermarkFlags;       // 520
    DWORD Reserved524;          // 524
    BYTE WatermarkRecord[216];  // 528
    // From here the 908-byte layout has the same fields 12 bytes earlier.
    DWORD Reserved744;             // 744
    DWORD Reserved748;             // 748
    DWORD HardDiskValue;           // 752: the model's hard-disk option value
    DWORD MemoryValue;             // 756: the model's memory value
    WORD ManualDuplexOffered;      // 760
    WORD FinisherId;               // 762
    WORD Reserved764;              // 764
    WORD Reserved766;              // 766
    WORD InstalledTrayOffset;      // 768
    WORD AutoTrayResolve;          // 770
    DWORD Reserved772;             // 772
    CHAR ProfileName[64];          // 776
    WORD JobSetupOption;           // 840
    WORD JobSetupKind;             // 842
    WORD PriorPrintOn;             // 844
    WORD DuplexNotice;             // 846
    WORD Reserved848;              // 848
    WORD Reserved850;              // 850
    WORD Reserved852;              // 852
    WORD Reserved854;              // 854
    CHAR OwnerUserName[32];        // 856
    CHAR OwnerComputerName[32];    // 888
    SYSTEMTIME OwnerInstalledTime; // 920
    DWORD SavePersonalInfo;        // 936
    DWORD JobInfoFlags;            // 940
    CHAR JobName[84];              // 944
    CHAR UserName[32];             // 1028
    BYTE PjlItem32Off;             // 1060: 0 when the model has PJL lines for item 32
    BYTE Reserved1061[39];         // 1061
} PRIVATE_DEVMODE, *PPRIVATE_DEVMODE;

// The 1320-byte wide image and its 1256-byte ANSI form.
typedef struct _DEVMODE_IMAGEW {
    DEVMODEW dm;
    PRIVATE_DEVMODE priv;
} DEVMODE_IMAGEW, *PDEVMODE_IMAGEW;
typedef struct _DEVMODE_IMAGEA {
    DEVMODEA dm;
    PRIVATE_DEVMODE priv;
} DEVMODE_IMAGEA, *PDEVMODE_IMAGEA;
#pragma pack(pop)

#define PRIVATE_OFFSET_IS(field, off)                                                              \
    static_assert(offsetof(PRIVATE_DEVMODE, field) == (off), #field)
static_assert(sizeof(PRIVATE_DEVMODE) == PRIVATE_DEVMODE_SIZE);
static_assert(sizeof(DEVMODE_IMAGEW) == 1320 && sizeof(DEVMODE_IMAGEA) == 1256);
static_assert(offsetof(DEVMODE_IMAGEW, priv) == DEVMODEW_SIZE &&
              offsetof(DEVMODE_IMAGEA, priv) == DEVMODEA_SIZE);
PRIVATE_OFFSET_IS(Signature, 0);
PRIVATE_OFFSET_IS(Version, 4);
PRIVATE_OFFSET_IS(JobStateBits, 8);
PRIVATE_OFFSET_IS(PrivateFlags, 12);
PRIVATE_OFFSET_IS(FeatureFlags, 16);
PRIVATE_OFFSET_IS(JobCheckFlags, 20);
PRIVATE_OFFSET_IS(ReservedFeatures, 24);
PRIVATE_OFFSET_IS(OptionFlags, 28);
PRIVATE_OFFSET_IS(TotalSheets, 32);
PRIVATE_OFFSET_IS(DuplexMarginFlags, 36);
PRIVATE_OFFSET_IS(EmfMode, 40);
PRIVATE_OFFSET_IS(Reserved44, 44);
PRIVATE_OFFSET_IS(AlternateSourceOn, 48);
PRIVATE_OFFSET_IS(AlternateSource, 50);
PRIVATE_OFFSET_IS(AlternateMediaType, 52);
PRIVATE_OFFSET_IS(OutputPaperId, 56);
PRIVATE_OFFSET_IS(OutputPaperWidth, 58);
PRIVATE_OFFSET_IS(OutputPaperLength, 60);
PRIVATE_OFFSET_IS(Rotate180, 62);
PRIVATE_OFFSET_IS(MeasureFlags, 64);
PRIVATE_OFFSET_IS(Reserved66, 66);
PRIVATE_OFFSET_IS(Reserved68, 68);
PRIVATE_OFFSET_IS(ResolutionCopy, 72);
PRIVATE_OFFSET_IS(Reserved74, 74);
PRIVATE_OFFSET_IS(DuplexType, 76);
PRIVATE_OFFSET_IS(DuplexMargin, 78);
PRIVATE_OFFSET_IS(Reserved80, 80);
PRIVATE_OFFSET_IS(ReverseOrder, 82);
PRIVATE_OFFSET_IS(MirrorImage, 84);
PRIVATE_OFFSET_IS(MetafileSpoolingOff, 86);
PRIVATE_OFFSET_IS(SkipBlankPages, 88);
PRIVATE_OFFSET_IS(CollateByDriver, 90);
PRIVATE_OFFSET_IS(StapleMode, 92);
PRIVATE_OFFSET_IS(OutputBin, 94);
PRIVATE_OFFSET_IS(PunchMode, 96);
PRIVATE_OFFSET_IS(Reserved98, 98);
PRIVATE_OFFSET_IS(SortMode, 100);
PRIVATE_OFFSET_IS(CoverFlags, 102);
PRIVATE_OFFSET_IS(FrontCoverPrinted, 104);
PRIVATE_OFFSET_IS(FrontCoverSource, 106);
PRIVATE_OFFSET_IS(BackCoverPrinted, 108);
PRIVATE_OFFSET_IS(BackCoverSource, 110);
PRIVATE_OFFSET_IS(FrontCoverMedia, 112);
PRIVATE_OFFSET_IS(BackCoverMedia, 116);
PRIVATE_OFFSET_IS(JobType, 120);
PRIVATE_OFFSET_IS(DeptCounterFlags, 122);
PRIVATE_OFFSET_IS(JobTypeOptions, 124);
PRIVATE_OFFSET_IS(Reserved126, 126);
PRIVATE_OFFSET_IS(DeptCode, 128);
PRIVATE_OFFSET_IS(MailboxId, 160);
PRIVATE_OFFSET_IS(SecureBoxId, 192);
PRIVATE_OFFSET_IS(SecurePassword, 224);
PRIVATE_OFFSET_IS(LayoutKind, 256);
PRIVATE_OFFSET_IS(LengthUnitDpi, 258);
PRIVATE_OFFSET_IS(PagesPerSheet, 260);
PRIVATE_OFFSET_IS(PageOrder, 262);
PRIVATE_OFFSET_IS(PageBorders, 264);
PRIVATE_OFFSET_IS(BorderWidth, 266);
PRIVATE_OFFSET_IS(BookletKind, 268);
PRIVATE_OFFSET_IS(BookletSheets, 270);
PRIVATE_OFFSET_IS(BindingMargin, 272);
PRIVATE_OFFSET_IS(ZoomPercent, 274);
PRIVATE_OFFSET_IS(ZoomAnchor, 276);
PRIVATE_OFFSET_IS(FitMode, 278);
PRIVATE_OFFSET_IS(PosterGrid, 280);
PRIVATE_OFFSET_IS(PosterOverlap, 284);
PRIVATE_OFFSET_IS(NupRotation, 286);
PRIVATE_OFFSET_IS(BookletRotation, 288);
PRIVATE_OFFSET_IS(Reserved290, 290);
PRIVATE_OFFSET_IS(ColorMode, 296);
PRIVATE_OFFSET_IS(ColorAdjustOption, 298);
PRIVATE_OFFSET_IS(ColorMatching, 300);
PRIVATE_OFFSET_IS(ColorModeAlt, 302);
PRIVATE_OFFSET_IS(ColorAdjustValues, 304);
PRIVATE_OFFSET_IS(Density, 352);
PRIVATE_OFFSET_IS(TextAsBlack, 354);
PRIVATE_OFFSET_IS(ThresholdLevel, 356);
PRIVATE_OFFSET_IS(Reserved358, 358);
PRIVATE_OFFSET_IS(ResolutionCode, 360);
PRIVATE_OFFSET_IS(FontMode, 362);
PRIVATE_OFFSET_IS(Reserved364, 364);
PRIVATE_OFFSET_IS(TonerSaveLevel, 366);
PRIVATE_OFFSET_IS(QualityMode, 368);
PRIVATE_OFFSET_IS(ImageReduction, 370);
PRIVATE_OFFSET_IS(GraphicsMode, 372);
PRIVATE_OFFSET_IS(HalftoneKind, 374);
PRIVATE_OFFSET_IS(FinePatterns, 376);
PRIVATE_OFFSET_IS(Reserved378, 378);
PRIVATE_OFFSET_IS(OverlayFlags, 384);
PRIVATE_OFFSET_IS(OverlayPages, 388);
PRIVATE_OFFSET_IS(OverlayOnTop, 390);
PRIVATE_OFFSET_IS(OverlayMakeName, 392);
PRIVATE_OFFSET_IS(OverlayUseName, 456);
PRIVATE_OFFSET_IS(WatermarkFlags, 520);
PRIVATE_OFFSET_IS(Reserved524, 524);
PRIVATE_OFFSET_IS(WatermarkRecord, 528);
PRIVATE_OFFSET_IS(Reserved744, 744);
PRIVATE_OFFSET_IS(Reserved748, 748);
PRIVATE_OFFSET_IS(HardDiskValue, 752);
PRIVATE_OFFSET_IS(MemoryValue, 756);
PRIVATE_OFFSET_IS(ManualDuplexOffered, 760);
PRIVATE_OFFSET_IS(FinisherId, 762);
PRIVATE_OFFSET_IS(Reserved764, 764);
PRIVATE_OFFSET_IS(Reserved766, 766);
PRIVATE_OFFSET_IS(InstalledTrayOffset, 768);
PRIVATE_OFFSET_IS(AutoTrayResolve, 770);
PRIVATE_OFFSET_IS(Reserved772, 772);
PRIVATE_OFFSET_IS(ProfileName, 776);
PRIVATE_OFFSET_IS(JobSetupOption, 840);
PRIVATE_OFFSET_IS(JobSetupKind, 842);
PRIVATE_OFFSET_IS(PriorPrintOn, 844);
PRIVATE_OFFSET_IS(DuplexNotice, 846);
PRIVATE_OFFSET_IS(Reserved848, 848);
PRIVATE_OFFSET_IS(Reserved850, 850);
PRIVATE_OFFSET_IS(Reserved852, 852);
PRIVATE_OFFSET_IS(Reserved854, 854);
PRIVATE_OFFSET_IS(OwnerUserName, 856);
PRIVATE_OFFSET_IS(OwnerComputerName, 888);
PRIVATE_OFFSET_IS(OwnerInstalledTime, 920);
PRIVATE_OFFSET_IS(SavePersonalInfo, 936);
PRIVATE_OFFSET_IS(JobInfoFlags, 940);
PRIVATE_OFFSET_IS(JobName, 944);
PRIVATE_OFFSET_IS(UserName, 1028);
PRIVATE_OFFSET_IS(PjlItem32Off, 1060);
PRIVATE_OFFSET_IS(Reserved1061, 1061);
#undef PRIVATE_OFFSET_IS

// Where a field of the current layout stands in a block of the given size.
inline size_t PrivateDevmodeOffset(size_t currentOffset, size_t blockSize) {
    return (blockSize == PRIVATE_DEVMODE_SIZE_908 &&
            currentOffset >= PRIVATE_DEVMODE_908_SHIFT_FROM)
               ? currentOffset - PRIVATE_DEVMODE_908_SHIFT
               : currentOffset;
}
