// The graphics engine's driver interface: the objects the engine hands to a
// printer graphics driver, the Drv* functions a driver supplies and the Eng*
// services it may call. Records are laid out as the engine lays them out for
// a 64-bit driver; the driver reads their public fields directly.
#pragma once

#include "win/gdi.h"
#include "win/types.h"

typedef ULONG FLONG;
typedef LONG FIX; // 28.4 fixed point
typedef FIX* PFIX;
typedef ULONG HGLYPH;
typedef ULONG IDENT;
typedef ULONG ROP4;
typedef ULONG MIX;
typedef FLOAT FLOATL; // what a user-mode graphics driver gets for a float
// Any function of a driver's table. Declared without a result so that the
// casts to and from each function's own type need no warning suppressed.
typedef void(APIENTRY* PFN)(void);

DECLARE_PLATFORM_HANDLE(HSURF);
DECLARE_PLATFORM_HANDLE(DHSURF);
DECLARE_PLATFORM_HANDLE(DHPDEV);
DECLARE_PLATFORM_HANDLE(HDEV);

#define DDI_ERROR 0xFFFFFFFF

// Versions of the engine's interface (DrvEnableDriver).
#define DDI_DRIVER_VERSION_NT4 0x00020000
#define DDI_DRIVER_VERSION_SP3 0x00020003
#define DDI_DRIVER_VERSION_NT5 0x00030000
#define DDI_DRIVER_VERSION_NT5_01 0x00030100
#define DDI_DRIVER_VERSION_NT5_01_SP1 0x00030101

// ---------------------------------------------------------------------------
// Geometry.

typedef struct _POINTFIX {
    FIX x;
    FIX y;
} POINTFIX, *PPOINTFIX;

typedef struct _RECTFX {
    FIX xLeft;
    FIX yTop;
    FIX xRight;
    FIX yBottom;
} RECTFX, *PRECTFX;

typedef struct _POINTFL {
    FLOATL x;
    FLOATL y;
} POINTFL, *PPOINTFL;

typedef union _FLOAT_LONG {
    FLOATL e;
    LONG l;
} FLOAT_LONG, *PFLOAT_LONG;

static_assert(sizeof(POINTFIX) == 8 && sizeof(RECTFX) == 16 && sizeof(FLOAT_LONG) == 4);

// ---------------------------------------------------------------------------
// Driver entry: DrvEnableDriver fills DRVENABLEDATA with the driver's version
// and its table of functions by index.

typedef struct _DRVFN {
    ULONG iFunc;
    PFN pfn;
} DRVFN, *PDRVFN;

typedef struct tagDRVENABLEDATA {
    ULONG iDriverVersion;
    ULONG c;
    DRVFN* pdrvfn;
} DRVENABLEDATA, *PDRVENABLEDATA;

static_assert(sizeof(DRVFN) == 16 && offsetof(DRVFN, pfn) == 8);
static_assert(sizeof(DRVENABLEDATA) == 16 && offsetof(DRVENABLEDATA, pdrvfn) == 8);

#define INDEX_DrvEnablePDEV 0L
#define INDEX_DrvCompletePDEV 1L
#define INDEX_DrvDisablePDEV 2L
#define INDEX_DrvEnableSurface 3L
#define INDEX_DrvDisableSurface 4L
#define INDEX_DrvResetPDEV 7L
#define INDEX_DrvDisableDriver 8L
#define INDEX_DrvRealizeBrush 12L
#define INDEX_DrvDitherColor 13L
#define INDEX_DrvStrokePath 14L
#define INDEX_DrvFillPath 15L
#define INDEX_DrvStrokeAndFillPath 16L
#define INDEX_DrvBitBlt 18L
#define INDEX_DrvCopyBits 19L
#define INDEX_DrvStretchBlt 20L
#define INDEX_DrvTextOut 23L
#define INDEX_DrvEscape 24L
#define INDEX_DrvLineTo 31L
#define INDEX_DrvSendPage 32L
#define INDEX_DrvStartPage 33L
#define INDEX_DrvEndDoc 34L
#define INDEX_DrvStartDoc 35L
#define INDEX_DrvGetGlyphMode 37L
#define INDEX_DrvDestroyFont 43L
#define INDEX_DrvStartBanding 57L
#define INDEX_DrvNextBand 58L
#define INDEX_DrvGradientFill 68L
#define INDEX_DrvStretchBltROP 69L
#define INDEX_DrvTransparentBlt 74L
// One past the highest index the engine knows.
#define INDEX_LAST 89L

// ---------------------------------------------------------------------------
// Device capabilities that DrvEnablePDEV fills in.

typedef LONG LDECI4;

typedef struct _CIECHROMA {
    LDECI4 x;
    LDECI4 y;
    LDECI4 Y;
} CIECHROMA;

typedef struct _COLORINFO {
    CIECHROMA Red;
    CIECHROMA Green;
    CIECHROMA Blue;
    CIECHROMA Cyan;
    CIECHROMA Magenta;
    CIECHROMA Yellow;
    CIECHROMA AlignmentWhite;
    LDECI4 RedGamma;
    LDECI4 GreenGamma;
    LDECI4 BlueGamma;
    LDECI4 MagentaInCyanDye;
    LDECI4 YellowInCyanDye;
    LDECI4 CyanInMagentaDye;
    LDECI4 YellowInMagentaDye;
    LDECI4 CyanInYellowDye;
    LDECI4 MagentaInYellowDye;
} COLORINFO, *PCOLORINFO;

static_assert(sizeof(COLORINFO) == 120);

typedef struct _GDIINFO {
    ULONG ulVersion;
    ULONG ulTechnology;
    ULONG ulHorzSize; // millimetres (or micrometres when negative)
    ULONG ulVertSize;
    ULONG ulHorzRes; // pixels
    ULONG ulVertRes;
    ULONG cBitsPixel;
    ULONG cPlanes;
    ULONG ulNumColors;
    ULONG flRaster;
    ULONG ulLogPixelsX;
    ULONG ulLogPixelsY;
    ULONG flTextCaps;
    ULONG ulDACRed;
    ULONG ulDACGreen;
    ULONG ulDACBlue;
    ULONG ulAspectX;
    ULONG ulAspectY;
    ULONG ulAspectXY;
    LONG xStyleStep;
    LONG yStyleStep;
    LONG denStyleStep;
    POINTL ptlPhysOffset;
    SIZEL szlPhysSize;
    ULONG ulNumPalReg;
    COLORINFO ciDevice;
    ULONG ulDevicePelsDPI;
    ULONG ulPrimaryOrder;
    ULONG ulHTPatternSize;
    ULONG ulHTOutputFormat;
    ULONG flHTFlags;
    ULONG ulVRefresh;
    ULONG ulBltAlignment;
    ULONG ulPanningHorzRes;
    ULONG ulPanningVertRes;
    ULONG xPanningAlignment;
    ULONG yPanningAlignment;
    ULONG cxHTPat;
    ULONG cyHTPat;
    LPBYTE pHTPatA;
    LPBYTE pHTPatB;
    LPBYTE pHTPatC;
    ULONG flShadeBlend;
    ULONG ulPhysicalPixelCharacteristics;
    ULONG ulPhysicalPixelGamma;
} GDIINFO, *PGDIINFO;

static_assert(offsetof(GDIINFO, ulHorzRes) == 16 && offsetof(GDIINFO, ulLogPixelsX) == 40);
static_assert(offsetof(GDIINFO, ptlPhysOffset) == 88 && offsetof(GDIINFO, szlPhysSize) == 96);
static_assert(offsetof(GDIINFO, ciDevice) == 108 && offsetof(GDIINFO, ulDevicePelsDPI) == 228);
static_assert(offsetof(GDIINFO, ulHTPatternSize) == 236 && offsetof(GDIINFO, cxHTPat) == 272);
static_assert(offsetof(GDIINFO, pHTPatA) == 280 && offsetof(GDIINFO, flShadeBlend) == 304);
static_assert(sizeof(GDIINFO) == 320);

#define GDI_DRIVER_VERSION 0x4000
#define DT_RASPRINTER 2
#define PRIMARY_ORDER_CBA 5
#define HT_PATSIZE_2x2 0
#define HT_PATSIZE_4x4 2
#define HT_PATSIZE_6x6 4
#define HT_PATSIZE_8x8 6
#define HT_PATSIZE_16x16 8
#define HT_PATSIZE_32x32 14
#define HT_FORMAT_1BPP 0
#define HT_FORMAT_8BPP 3
#define HT_FORMAT_24BPP 6
#define HT_FORMAT_32BPP 7
#define HT_FLAG_HAS_BLACK_DYE 0x00000002

typedef struct tagDEVINFO {
    FLONG flGraphicsCaps;
    LOGFONTW lfDefaultFont;
    LOGFONTW lfAnsiVarFont;
    LOGFONTW lfAnsiFixFont;
    ULONG cFonts;
    ULONG iDitherFormat;
    USHORT cxDither;
    USHORT cyDither;
    HPALETTE hpalDefault;
    FLONG flGraphicsCaps2;
} DEVINFO, *PDEVINFO;

static_assert(offsetof(DEVINFO, lfDefaultFont) == 4 && offsetof(DEVINFO, cFonts) == 280);
static_assert(offsetof(DEVINFO, cxDither) == 288 && offsetof(DEVINFO, hpalDefault) == 296);
static_assert(sizeof(DEVINFO) == 312);

// flGraphicsCaps
#define GCAPS_BEZIERS 0x00000001
#define GCAPS_GEOMETRICWIDE 0x00000002
#define GCAPS_ALTERNATEFILL 0x00000004
#define GCAPS_WINDINGFILL 0x00000008
#define GCAPS_HALFTONE 0x00000010
#define GCAPS_COLOR_DITHER 0x00000020
#define GCAPS_HORIZSTRIKE 0x00000040
#define GCAPS_VERTSTRIKE 0x00000080
#define GCAPS_OPAQUERECT 0x00000100
#define GCAPS_VECTORFONT 0x00000200
#define GCAPS_MONO_DITHER 0x00000400
#define GCAPS_ARBRUSHTEXT 0x10000000
#define GCAPS_FONT_RASTERIZER 0x40000000
// flGraphicsCaps2
#define GCAPS2_JPEGSRC 0x00000001
#define GCAPS2_PNGSRC 0x00000008

// ---------------------------------------------------------------------------
// Surfaces.

typedef struct _SURFOBJ {
    DHSURF dhsurf; // the driver's handle of a device surface
    HSURF hsurf;
    DHPDEV dhpdev; // the driver's PDEV the surface is associated with
    HDEV hdev;
    SIZEL sizlBitmap;
    ULONG cjBits;  // bytes of the bits (bitmaps)
    PVOID pvBits;  // start of the bits as allocated
    PVOID pvScan0; // first scan line (the top one)
    LONG lDelta;   // bytes from one scan line to the next; negative bottom-up
    ULONG iUniq;
    ULONG iBitmapFormat; // BMF_*
    USHORT iType;        // STYPE_*
    USHORT fjBitmap;
} SURFOBJ, *PSURFOBJ;

static_assert(offsetof(SURFOBJ, hdev) == 24 && offsetof(SURFOBJ, sizlBitmap) == 32);
static_assert(offsetof(SURFOBJ, cjBits) == 40 && offsetof(SURFOBJ, pvBits) == 48);
static_assert(offsetof(SURFOBJ, pvScan0) == 56 && offsetof(SURFOBJ, lDelta) == 64);
static_assert(offsetof(SURFOBJ, iBitmapFormat) == 72 && offsetof(SURFOBJ, iType) == 76);
static_assert(sizeof(SURFOBJ) == 80);

#define BMF_1BPP 1L
#define BMF_4BPP 2L
#define BMF_8BPP 3L
#define BMF_16BPP 4L
#define BMF_24BPP 5L
#define BMF_32BPP 6L

// fjBitmap and the flags of EngCreateBitmap
#define BMF_TOPDOWN 0x0001
#define BMF_NOZEROINIT 0x0002
#define BMF_DONTCACHE 0x0004
#define BMF_USERMEM 0x0008

#define STYPE_BITMAP 0
#define STYPE_DEVICE 1
#define STYPE_DEVBITMAP 3

// Drawing calls a driver takes over for a surface (EngAssociateSurface).
#define HOOK_BITBLT 0x00000001
#define HOOK_STRETCHBLT 0x00000002
#define HOOK_PLGBLT 0x00000004
#define HOOK_TEXTOUT 0x00000008
#define HOOK_PAINT 0x00000010
#define HOOK_STROKEPATH 0x00000020
#define HOOK_FILLPATH 0x00000040
#define HOOK_STROKEANDFILLPATH 0x00000080
#define HOOK_LINETO 0x00000100
#define HOOK_COPYBITS 0x00000400
#define HOOK_STRETCHBLTROP 0x00002000
#define HOOK_TRANSPARENTBLT 0x00008000
#define HOOK_ALPHABLEND 0x00010000
#define HOOK_GRADIENTFILL 0x00020000

// Palettes (EngCreatePalette).
#define PAL_INDEXED 0x00000001
#define PAL_BITFIELDS 0x00000002
#define PAL_RGB 0x00000004
#define PAL_BGR 0x00000008

// ---------------------------------------------------------------------------
// Paths.

typedef struct _PATHOBJ {
    FLONG fl;      // PO_*
    ULONG cCurves; // lines and Bezier curves in the path
} PATHOBJ, *PPATHOBJ;

#define PO_BEZIERS 0x00000001
#define PO_ELLIPSE 0x00000002
#define PO_ALL_INTEGERS 0x00000004

typedef struct _PATHDATA {
    FLONG flags; // PD_*
    ULONG count;
    POINTFIX* pptfx;
} PATHDATA, *PPATHDATA;

static_assert(sizeof(PATHOBJ) == 8 && sizeof(PATHDATA) == 16 && offsetof(PATHDATA, pptfx) == 8);

// A record that begins a subpath starts with the subpath's first point; the
// points of a PD_BEZIERS record come in threes (two control points and an end).
#define PD_BEGINSUBPATH 0x00000001
#define PD_ENDSUBPATH 0x00000002
#define PD_RESETSTYLE 0x00000004
#define PD_CLOSEFIGURE 0x00000008
#define PD_BEZIERS 0x00000010

// Fill modes of DrvFillPath.
#define FP_ALTERNATEMODE 1L
#define FP_WINDINGMODE 2L

// ---------------------------------------------------------------------------
// Clipping.

typedef struct _CLIPOBJ {
    ULONG iUniq;       // the region's identity; 0 when it must not be cached
    RECTL rclBounds;   // right and bottom exclusive
    BYTE iDComplexity; // DC_*
    BYTE iFComplexity; // FC_*
    BYTE iMode;        // TC_*
    BYTE fjOptions;
} CLIPOBJ, *PCLIPOBJ;

static_assert(sizeof(CLIPOBJ) == 24 && offsetof(CLIPOBJ, iDComplexity) == 20);

#define DC_TRIVIAL 0
#define DC_RECT 1
#define DC_COMPLEX 3
#define FC_RECT 1
#define FC_RECT4 2
#define FC_COMPLEX 3
#define TC_RECTANGLES 0
#define TC_PATHOBJ 2
#define OC_BANK_CLIP 1

// CLIPOBJ_cEnumStart
#define CT_RECTANGLES 0L
#define CD_RIGHTDOWN 0x00000000L
#define CD_LEFTDOWN 0x00000001L
#define CD_RIGHTUP 0x00000002L
#define CD_LEFTUP 0x00000003L
#define CD_ANY 0x00000004L

typedef struct _ENUMRECTS {
    ULONG c;
    RECTL arcl[1];
} ENUMRECTS;

static_assert(sizeof(ENUMRECTS) == 20 && offsetof(ENUMRECTS, arcl) == 4);

// ---------------------------------------------------------------------------
// Brushes.

typedef struct _BRUSHOBJ {
    ULONG iSolidColor; // the colour index of a solid brush, else 0xFFFFFFFF
    PVOID pvRbrush;    // the driver's realization, once made
    FLONG flColorType;
} BRUSHOBJ, *PBRUSHOBJ;

static_assert(sizeof(BRUSHOBJ) == 24 && offsetof(BRUSHOBJ, pvRbrush) == 8);

// Hatch styles handed to DrvRealizeBrush; HS_DDI_MAX and above mean a pattern.
#define HS_HORIZONTAL 0
#define HS_VERTICAL 1
#define HS_FDIAGONAL 2
#define HS_BDIAGONAL 3
#define HS_CROSS 4
#define HS_DIAGCROSS 5
#define HS_DDI_MAX 6

// Mixes are the binary raster operations R2_* of win/gdi.h.

// ---------------------------------------------------------------------------
// Colour translation.

typedef struct _XLATEOBJ {
    ULONG iUniq;
    FLONG flXlate;   // XO_*
    USHORT iSrcType; // PAL_* of the source (informational)
    USHORT iDstType;
    ULONG cEntries;  // entries of pulXlate
    ULONG* pulXlate; // source index -> destination colour (XO_TABLE)
} XLATEOBJ, *PXLATEOBJ;

static_assert(sizeof(XLATEOBJ) == 24 && offsetof(XLATEOBJ, cEntries) == 12 &&
              offsetof(XLATEOBJ, pulXlate) == 16);

#define XO_TRIVIAL 0x00000001
#define XO_TABLE 0x00000002
#define XO_TO_MONO 0x00000004
#define XO_FROM_CMYK 0x00000008

// XLATEOBJ_cGetPalette
#define XO_SRCPALETTE 1
#define XO_DESTPALETTE 2
#define XO_DESTDCPALETTE 3
#define XO_SRCBITFIELDS 4
#define XO_DESTBITFIELDS 5

// ---------------------------------------------------------------------------
// Transforms.

typedef struct _XFORMOBJ {
    ULONG ulReserved;
} XFORMOBJ, *PXFORMOBJ;

typedef struct _XFORML {
    FLOATL eM11;
    FLOATL eM12;
    FLOATL eM21;
    FLOATL eM22;
    FLOATL eDx;
    FLOATL eDy;
} XFORML, *PXFORML;

static_assert(sizeof(XFORML) == 24);

// XFORMOBJ_iGetXform
#define GX_IDENTITY 0L
#define GX_OFFSET 1L
#define GX_SCALE 2L
#define GX_GENERAL 3L

// XFORMOBJ_bApplyXform
#define XF_LTOL 0L
#define XF_INV_LTOL 1L
#define XF_LTOFX 2L
#define XF_INV_FXTOL 3L

// ---------------------------------------------------------------------------
// Line attributes.

typedef struct _LINEATTRS {
    FLONG fl;           // LA_*
    ULONG iJoin;        // JOIN_*
    ULONG iEndCap;      // ENDCAP_*
    FLOAT_LONG elWidth; // LONG for cosmetic lines, FLOATL for geometric ones
    FLOATL eMiterLimit;
    ULONG cstyle;
    PFLOAT_LONG pstyle;
    FLOAT_LONG elStyleState;
} LINEATTRS, *PLINEATTRS;

static_assert(offsetof(LINEATTRS, elWidth) == 12 && offsetof(LINEATTRS, cstyle) == 20);
static_assert(offsetof(LINEATTRS, pstyle) == 24 && sizeof(LINEATTRS) == 40);

#define LA_GEOMETRIC 0x00000001
#define LA_ALTERNATE 0x00000002
#define LA_STARTGAP 0x00000004
#define LA_STYLED 0x00000008

#define JOIN_ROUND 0L
#define JOIN_BEVEL 1L
#define JOIN_MITER 2L

#define ENDCAP_ROUND 0L
#define ENDCAP_SQUARE 1L
#define ENDCAP_BUTT 2L

// ---------------------------------------------------------------------------
// Fonts and strings (the records a driver's text hooks receive).

typedef struct _FONTOBJ {
    ULONG iUniq;
    ULONG iFace;
    ULONG cxMax;
    FLONG flFontType;
    ULONG_PTR iTTUniq;
    ULONG_PTR iFile;
    SIZE sizLogResPpi;
    ULONG ulStyleSize;
    PVOID pvConsumer; // the driver's own per-font data
    PVOID pvProducer;
} FONTOBJ, *PFONTOBJ;

static_assert(offsetof(FONTOBJ, iTTUniq) == 16 && offsetof(FONTOBJ, sizLogResPpi) == 32);
static_assert(offsetof(FONTOBJ, pvConsumer) == 48 && sizeof(FONTOBJ) == 64);

#define FO_TYPE_RASTER 0x00000001
#define FO_TYPE_DEVICE 0x00000002
#define FO_TYPE_TRUETYPE 0x00000004
#define FO_SIM_BOLD 0x00002000
#define FO_SIM_ITALIC 0x00004000

typedef struct _GLYPHBITS {
    POINTL ptlOrigin;
    SIZEL sizlBitmap;
    BYTE aj[1];
} GLYPHBITS;

static_assert(offsetof(GLYPHBITS, aj) == 16);

// What a glyph is, as the font object was asked for it: its image or its
// outline (in device space, 28.4).
typedef union _GLYPHDEF {
    GLYPHBITS* pgb;
    PATHOBJ* ppo;
} GLYPHDEF;

typedef struct _POINTQF {
    LONGLONG x; // 32.32 fixed point
    LONGLONG y;
} POINTQF, *PPOINTQF;

// One glyph of FONTOBJ_cGetGlyphs: its definition and its metrics in device
// space (28.4 along the baseline).
typedef struct _GLYPHDATA {
    GLYPHDEF gdf;
    HGLYPH hg;
    FIX fxD;  // advance width
    FIX fxA;  // prebearing
    FIX fxAB; // advance of the black box's right edge
    FIX fxInkTop;
    FIX fxInkBottom;
    RECTL rclInk;
    POINTQF ptqD; // advance vector
} GLYPHDATA, *PGLYPHDATA;

static_assert(offsetof(GLYPHDATA, hg) == 8 && offsetof(GLYPHDATA, rclInk) == 32);
static_assert(offsetof(GLYPHDATA, ptqD) == 48 && sizeof(GLYPHDATA) == 64);

typedef struct _GLYPHPOS {
    HGLYPH hg;
    GLYPHDEF* pgdf;
    POINTL ptl;
} GLYPHPOS, *PGLYPHPOS;

static_assert(sizeof(GLYPHPOS) == 24 && offsetof(GLYPHPOS, ptl) == 16);

typedef struct _STROBJ {
    ULONG cGlyphs;
    FLONG flAccel;
    ULONG ulCharInc;
    RECTL rclBkGround;
    GLYPHPOS* pgp;
    LPWSTR pwszOrg;
} STROBJ, *PSTROBJ;

static_assert(offsetof(STROBJ, rclBkGround) == 12 && offsetof(STROBJ, pgp) == 32);
static_assert(sizeof(STROBJ) == 48);

// STROBJ flAccel
#define SO_FLAG_DEFAULT_PLACEMENT 0x00000001
#define SO_HORIZONTAL 0x00000002
#define SO_VERTICAL 0x00000004
#define SO_REVERSED 0x00000008
#define SO_ZERO_BEARINGS 0x00000010
#define SO_CHAR_INC_EQUAL_BM_BASE 0x00000020
#define SO_MAXEXT_EQUAL_BM_SIDE 0x00000040
#define SO_DO_NOT_SUBSTITUTE_DEVICE_FONT 0x00000080
#define SO_GLYPHINDEX_TEXT 0x00000100
#define SO_ESC_NOT_ORIENT 0x00000200
#define SO_DXDY 0x00000400
#define SO_CHARACTER_EXTRA 0x00000800
#define SO_BREAK_EXTRA 0x00001000

// What FONTOBJ_cGetGlyphs and DrvGetGlyphMode speak of.
#define FO_HGLYPHS 0L
#define FO_GLYPHBITS 1L
#define FO_PATHOBJ 2L

// The metrics of a font as the engine describes it to drivers. Offsets
// (dpwsz*) count bytes from the record's start to a terminated wide string
// within cjThis.
typedef SHORT FWORD;

typedef struct _IFIMETRICS {
    ULONG cjThis;
    ULONG cjIfiExtra;
    LONG_PTR dpwszFamilyName;
    LONG_PTR dpwszStyleName;
    LONG_PTR dpwszFaceName;
    LONG_PTR dpwszUniqueName;
    LONG_PTR dpFontSim;
    LONG lEmbedId;
    LONG lItalicAngle;
    LONG lCharBias;
    LONG_PTR dpCharSets;
    BYTE jWinCharSet;
    BYTE jWinPitchAndFamily;
    USHORT usWinWeight;
    ULONG flInfo;
    USHORT fsSelection;
    USHORT fsType;
    FWORD fwdUnitsPerEm;
    FWORD fwdLowestPPEm;
    FWORD fwdWinAscender;
    FWORD fwdWinDescender;
    FWORD fwdMacAscender;
    FWORD fwdMacDescender;
    FWORD fwdMacLineGap;
    FWORD fwdTypoAscender;
    FWORD fwdTypoDescender;
    FWORD fwdTypoLineGap;
    FWORD fwdAveCharWidth;
    FWORD fwdMaxCharInc;
    FWORD fwdCapHeight;
    FWORD fwdXHeight;
    FWORD fwdSubscriptXSize;
    FWORD fwdSubscriptYSize;
    FWORD fwdSubscriptXOffset;
    FWORD fwdSubscriptYOffset;
    FWORD fwdSuperscriptXSize;
    FWORD fwdSuperscriptYSize;
    FWORD fwdSuperscriptXOffset;
    FWORD fwdSuperscriptYOffset;
    FWORD fwdUnderscoreSize;
    FWORD fwdUnderscorePosition;
    FWORD fwdStrikeoutSize;
    FWORD fwdStrikeoutPosition;
    BYTE chFirstChar;
    BYTE chLastChar;
    BYTE chDefaultChar;
    BYTE chBreakChar;
    WCHAR wcFirstChar;
    WCHAR wcLastChar;
    WCHAR wcDefaultChar;
    WCHAR wcBreakChar;
    POINTL ptlBaseline;
    POINTL ptlAspect;
    POINTL ptlCaret;
    RECTL rclFontBox;
    BYTE achVendId[4];
    ULONG cKerningPairs;
    ULONG ulPanoseCulture;
    PANOSE panose;
} IFIMETRICS, *PIFIMETRICS;

static_assert(offsetof(IFIMETRICS, dpwszFaceName) == 24 && offsetof(IFIMETRICS, jWinCharSet) == 72);
static_assert(offsetof(IFIMETRICS, flInfo) == 76 && offsetof(IFIMETRICS, fwdUnitsPerEm) == 84);
static_assert(offsetof(IFIMETRICS, rclFontBox) == 172 && offsetof(IFIMETRICS, panose) == 200);

// IFIMETRICS flInfo
#define FM_INFO_TECH_TRUETYPE 0x00000001
#define FM_INFO_TECH_BITMAP 0x00000002
#define FM_INFO_TECH_STROKE 0x00000004
#define FM_INFO_TECH_OUTLINE_NOT_TRUETYPE 0x00000008
#define FM_INFO_ARB_XFORMS 0x00000010
#define FM_INFO_1BPP 0x00000020
#define FM_INFO_INTEGER_WIDTH 0x00000100
#define FM_INFO_CONSTANT_WIDTH 0x00000200
#define FM_INFO_NOT_CONTIGUOUS 0x00000400
#define FM_INFO_RETURNS_OUTLINES 0x00002000
#define FM_INFO_RETURNS_STROKES 0x00004000
#define FM_INFO_RETURNS_BITMAPS 0x00008000
#define FM_INFO_UNICODE_COMPLIANT 0x00010000
#define FM_INFO_RIGHT_HANDED 0x00020000
#define FM_INFO_DBCS_FIXED_PITCH 0x00200000
#define FM_INFO_NONNEGATIVE_AC 0x00400000
#define FM_INFO_FAMILY_EQUIV 0x08000000
// IFIMETRICS fsSelection
#define FM_SEL_ITALIC 0x0001
#define FM_SEL_BOLD 0x0020
#define FM_SEL_REGULAR 0x0040

// Attributes of glyphs (FONTOBJ_pQueryGlyphAttrs): one bit per glyph handle,
// set for glyphs drawn right to left or otherwise not as given.
#define FO_QGA_RTL 0x00000001
typedef struct _FD_GLYPHATTR {
    ULONG cjThis;
    ULONG cGlyphs;
    ULONG iMode;
    BYTE aGlyphAttr[1];
} FD_GLYPHATTR, *PFD_GLYPHATTR;

// Glyph sets (EngComputeGlyphSet): runs of consecutive Unicode characters,
// each character with the glyph handle the driver uses for it.
typedef struct _WCRUN {
    WCHAR wcLow;
    USHORT cGlyphs;
    HGLYPH* phg;
} WCRUN, *PWCRUN;

typedef struct _FD_GLYPHSET {
    ULONG cjThis;
    FLONG flAccel;
    ULONG cGlyphsSupported;
    ULONG cRuns;
    WCRUN awcrun[1];
} FD_GLYPHSET, *PFD_GLYPHSET;

static_assert(sizeof(WCRUN) == 16 && offsetof(WCRUN, phg) == 8);
static_assert(offsetof(FD_GLYPHSET, awcrun) == 16 && sizeof(FD_GLYPHSET) == 32);

#define GS_UNICODE_HANDLES 0x00000001
#define GS_8BIT_HANDLES 0x00000002
#define GS_16BIT_HANDLES 0x00000004

// ---------------------------------------------------------------------------
// Gradients.

typedef USHORT COLOR16;

typedef struct _TRIVERTEX {
    LONG x;
    LONG y;
    COLOR16 Red;
    COLOR16 Green;
    COLOR16 Blue;
    COLOR16 Alpha;
} TRIVERTEX, *PTRIVERTEX;

static_assert(sizeof(TRIVERTEX) == 16);

#define GRADIENT_FILL_RECT_H 0x00000000
#define GRADIENT_FILL_RECT_V 0x00000001
#define GRADIENT_FILL_TRIANGLE 0x00000002

// Halftoning colour adjustment handed to the stretch calls.
typedef struct tagCOLORADJUSTMENT {
    WORD caSize;
    WORD caFlags;
    WORD caIlluminantIndex;
    WORD caRedGamma;
    WORD caGreenGamma;
    WORD caBlueGamma;
    WORD caReferenceBlack;
    WORD caReferenceWhite;
    SHORT caContrast;
    SHORT caBrightness;
    SHORT caColorfulness;
    SHORT caRedGreenTint;
} COLORADJUSTMENT, *PCOLORADJUSTMENT;

static_assert(sizeof(COLORADJUSTMENT) == 24);

typedef struct _BLENDFUNCTION {
    BYTE BlendOp; // AC_SRC_OVER
    BYTE BlendFlags;
    BYTE SourceConstantAlpha;
    BYTE AlphaFormat; // AC_SRC_ALPHA: the source has premultiplied alpha
} BLENDFUNCTION, *PBLENDFUNCTION;

typedef struct _BLENDOBJ {
    BLENDFUNCTION BlendFunction;
} BLENDOBJ, *PBLENDOBJ;

#define AC_SRC_OVER 0x00
#define AC_SRC_ALPHA 0x01

typedef struct _GRADIENT_TRIANGLE {
    ULONG Vertex1;
    ULONG Vertex2;
    ULONG Vertex3;
} GRADIENT_TRIANGLE, *PGRADIENT_TRIANGLE;

typedef struct _GRADIENT_RECT {
    ULONG UpperLeft;
    ULONG LowerRight;
} GRADIENT_RECT, *PGRADIENT_RECT;

static_assert(sizeof(BLENDFUNCTION) == 4 && sizeof(GRADIENT_TRIANGLE) == 12);

// Stretching modes of the engine's stretch services.
#ifndef BLACKONWHITE
#define BLACKONWHITE 1
#define WHITEONBLACK 2
#define COLORONCOLOR 3
#define HALFTONE 4
#endif

// ---------------------------------------------------------------------------
// Document end (DrvEndDoc).
#define ED_ABORTDOC 1

// Memory (EngAllocMem).
#define FL_ZERO_MEMORY 0x00000001
#define FL_NONPAGED_MEMORY 0x00000002

// ---------------------------------------------------------------------------
// The functions a driver supplies, as the engine calls them.

typedef BOOL(APIENTRY* PFN_DrvEnableDriver)(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded);
typedef VOID(APIENTRY* PFN_DrvDisableDriver)(VOID);
typedef DHPDEV(APIENTRY* PFN_DrvEnablePDEV)(DEVMODEW* pdm, LPWSTR pwszLogAddress, ULONG cPat,
                                            HSURF* phsurfPatterns, ULONG cjCaps, ULONG* pdevcaps,
                                            ULONG cjDevInfo, DEVINFO* pdi, HDEV hdev,
                                            LPWSTR pwszDeviceName, HANDLE hDriver);
typedef VOID(APIENTRY* PFN_DrvCompletePDEV)(DHPDEV dhpdev, HDEV hdev);
typedef BOOL(APIENTRY* PFN_DrvResetPDEV)(DHPDEV dhpdevOld, DHPDEV dhpdevNew);
typedef VOID(APIENTRY* PFN_DrvDisablePDEV)(DHPDEV dhpdev);
typedef HSURF(APIENTRY* PFN_DrvEnableSurface)(DHPDEV dhpdev);
typedef VOID(APIENTRY* PFN_DrvDisableSurface)(DHPDEV dhpdev);
typedef BOOL(APIENTRY* PFN_DrvStartDoc)(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId);
typedef BOOL(APIENTRY* PFN_DrvEndDoc)(SURFOBJ* pso, FLONG fl);
typedef BOOL(APIENTRY* PFN_DrvStartPage)(SURFOBJ* pso);
typedef BOOL(APIENTRY* PFN_DrvSendPage)(SURFOBJ* pso);
typedef ULONG(APIENTRY* PFN_DrvEscape)(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn,
                                       ULONG cjOut, PVOID pvOut);
typedef BOOL(APIENTRY* PFN_DrvStartBanding)(SURFOBJ* pso, POINTL* pptl);
typedef BOOL(APIENTRY* PFN_DrvNextBand)(SURFOBJ* pso, POINTL* pptl);
typedef BOOL(APIENTRY* PFN_DrvRealizeBrush)(BRUSHOBJ* pbo, SURFOBJ* psoTarget, SURFOBJ* psoPattern,
                                            SURFOBJ* psoMask, XLATEOBJ* pxlo, ULONG iHatch);
typedef ULONG(APIENTRY* PFN_DrvDitherColor)(DHPDEV dhpdev, ULONG iMode, ULONG rgb, ULONG* pul);
typedef BOOL(APIENTRY* PFN_DrvStrokePath)(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                                          BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
                                          LINEATTRS* plineattrs, MIX mix);
typedef BOOL(APIENTRY* PFN_DrvFillPath)(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo,
                                        POINTL* pptlBrushOrg, MIX mix, FLONG flOptions);
typedef BOOL(APIENTRY* PFN_DrvStrokeAndFillPath)(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco,
                                                 XFORMOBJ* pxo, BRUSHOBJ* pboStroke,
                                                 LINEATTRS* plineattrs, BRUSHOBJ* pboFill,
                                                 POINTL* pptlBrushOrg, MIX mixFill,
                                                 FLONG flOptions);
typedef BOOL(APIENTRY* PFN_DrvLineTo)(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1,
                                      LONG x2, LONG y2, RECTL* prclBounds, MIX mix);
typedef BOOL(APIENTRY* PFN_DrvBitBlt)(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask,
                                      CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclTrg, POINTL* pptlSrc,
                                      POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush,
                                      ROP4 rop4);
typedef BOOL(APIENTRY* PFN_DrvCopyBits)(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco,
                                        XLATEOBJ* pxlo, RECTL* prclDest, POINTL* pptlSrc);
typedef BOOL(APIENTRY* PFN_DrvStretchBlt)(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask,
                                          CLIPOBJ* pco, XLATEOBJ* pxlo, COLORADJUSTMENT* pca,
                                          POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc,
                                          POINTL* pptlMask, ULONG iMode);
typedef BOOL(APIENTRY* PFN_DrvStretchBltROP)(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask,
                                             CLIPOBJ* pco, XLATEOBJ* pxlo, COLORADJUSTMENT* pca,
                                             POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc,
                                             POINTL* pptlMask, ULONG iMode, BRUSHOBJ* pbo,
                                             DWORD rop4);
typedef BOOL(APIENTRY* PFN_DrvTransparentBlt)(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco,
                                              XLATEOBJ* pxlo, RECTL* prclDst, RECTL* prclSrc,
                                              ULONG iTransColor, ULONG ulReserved);
typedef BOOL(APIENTRY* PFN_DrvGradientFill)(SURFOBJ* psoDest, CLIPOBJ* pco, XLATEOBJ* pxlo,
                                            TRIVERTEX* pVertex, ULONG nVertex, PVOID pMesh,
                                            ULONG nMesh, RECTL* prclExtents, POINTL* pptlDitherOrg,
                                            ULONG ulMode);
typedef BOOL(APIENTRY* PFN_DrvTextOut)(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco,
                                       RECTL* prclExtra, RECTL* prclOpaque, BRUSHOBJ* pboFore,
                                       BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix);
typedef ULONG(APIENTRY* PFN_DrvGetGlyphMode)(DHPDEV dhpdev, FONTOBJ* pfo);
typedef VOID(APIENTRY* PFN_DrvDestroyFont)(FONTOBJ* pfo);

// ---------------------------------------------------------------------------
// Engine services.

extern "C" {

// Memory. Blocks are counted so that a test can see every one given back.
PVOID APIENTRY EngAllocMem(ULONG Flags, ULONG MemSize, ULONG Tag);
VOID APIENTRY EngFreeMem(PVOID Mem);

// Surfaces. EngCreateBitmap allocates the bits when pvBits is NULL; lWidth is
// the bytes of one scan line (0: the least 4-byte multiple that holds it).
HBITMAP APIENTRY EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits);
HSURF APIENTRY EngCreateDeviceSurface(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat);
BOOL APIENTRY EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks);
BOOL APIENTRY EngMarkBandingSurface(HSURF hsurf);
SURFOBJ* APIENTRY EngLockSurface(HSURF hsurf);
VOID APIENTRY EngUnlockSurface(SURFOBJ* pso);
BOOL APIENTRY EngDeleteSurface(HSURF hsurf);
BOOL APIENTRY EngEraseSurface(SURFOBJ* pso, RECTL* prcl, ULONG iColor);

HPALETTE APIENTRY EngCreatePalette(ULONG iMode, ULONG cColors, ULONG* pulColors, FLONG flRed,
                                   FLONG flGreen, FLONG flBlue);
BOOL APIENTRY EngDeletePalette(HPALETTE hpal);

// Paths: enumeration for drivers, construction for anyone who draws.
PATHOBJ* APIENTRY EngCreatePath(VOID);
VOID APIENTRY EngDeletePath(PATHOBJ* ppo);
VOID APIENTRY PATHOBJ_vEnumStart(PATHOBJ* ppo);
BOOL APIENTRY PATHOBJ_bEnum(PATHOBJ* ppo, PATHDATA* ppd);
VOID APIENTRY PATHOBJ_vGetBounds(PATHOBJ* ppo, PRECTFX prectfx);
BOOL APIENTRY PATHOBJ_bMoveTo(PATHOBJ* ppo, POINTFIX ptfx);
BOOL APIENTRY PATHOBJ_bPolyLineTo(PATHOBJ* ppo, POINTFIX* pptfx, ULONG cptfx);
BOOL APIENTRY PATHOBJ_bPolyBezierTo(PATHOBJ* ppo, POINTFIX* pptfx, ULONG cptfx);
BOOL APIENTRY PATHOBJ_bCloseFigure(PATHOBJ* ppo);

// Clipping. EngCreateClip gives an object whose public fields the caller
// sets (DC_TRIVIAL or DC_RECT with rclBounds).
CLIPOBJ* APIENTRY EngCreateClip(VOID);
VOID APIENTRY EngDeleteClip(CLIPOBJ* pco);
ULONG APIENTRY CLIPOBJ_cEnumStart(CLIPOBJ* pco, BOOL bAll, ULONG iType, ULONG iDirection,
                                  ULONG cLimit);
BOOL APIENTRY CLIPOBJ_bEnum(CLIPOBJ* pco, ULONG cj, ULONG* pv);
PATHOBJ* APIENTRY CLIPOBJ_ppoGetPath(CLIPOBJ* pco);

// Brushes.
PVOID APIENTRY BRUSHOBJ_pvAllocRbrush(BRUSHOBJ* pbo, ULONG cj);
PVOID APIENTRY BRUSHOBJ_pvGetRbrush(BRUSHOBJ* pbo);

// Colour translation; works on objects a driver fills in itself.
ULONG APIENTRY XLATEOBJ_iXlate(XLATEOBJ* pxlo, ULONG iColor);
ULONG APIENTRY XLATEOBJ_cGetPalette(XLATEOBJ* pxlo, ULONG iPal, ULONG cPal, ULONG* pPal);

// Transforms.
ULONG APIENTRY XFORMOBJ_iGetXform(XFORMOBJ* pxo, XFORML* pxform);
BOOL APIENTRY XFORMOBJ_bApplyXform(XFORMOBJ* pxo, ULONG iMode, ULONG cPoints, PVOID pvIn,
                                   PVOID pvOut);

// Glyph set of a single-byte code page for the characters nFirstChar ..
// nFirstChar + cChars - 1, each taken as the low byte of its number; the
// glyph handle of a Unicode character is that byte. Freed with EngFreeMem.
FD_GLYPHSET* APIENTRY EngComputeGlyphSet(INT nCodePage, INT nFirstChar, INT cChars);

// Fonts: what a driver may ask of the font object of a text call.
ULONG APIENTRY FONTOBJ_cGetGlyphs(FONTOBJ* pfo, ULONG iMode, ULONG cGlyph, HGLYPH* phg,
                                  PVOID* ppvGlyph);
XFORMOBJ* APIENTRY FONTOBJ_pxoGetXform(FONTOBJ* pfo);
IFIMETRICS* APIENTRY FONTOBJ_pifi(FONTOBJ* pfo);
PVOID APIENTRY FONTOBJ_pvTrueTypeFontFile(FONTOBJ* pfo, ULONG* pcjFile);
ULONG APIENTRY FONTOBJ_cGetAllGlyphHandles(FONTOBJ* pfo, HGLYPH* phg);
PFD_GLYPHATTR APIENTRY FONTOBJ_pQueryGlyphAttrs(FONTOBJ* pfo, ULONG iMode);

// Strings: the glyphs of a text call, in batches when the call did not give
// their positions (pgp NULL).
VOID APIENTRY STROBJ_vEnumStart(STROBJ* pstro);
BOOL APIENTRY STROBJ_bEnum(STROBJ* pstro, ULONG* pc, PGLYPHPOS* ppgpos);
DWORD APIENTRY STROBJ_dwGetCodePage(STROBJ* pstro);

// The engine's own drawing of text onto a bitmap surface.
BOOL APIENTRY EngTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                         RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                         MIX mix);

// Drawing into surfaces: engine bitmaps are drawn by the engine itself; a
// device surface gets the engine's rendering through its driver's
// DrvBitBlt or DrvCopyBits. Raster operations are four-operand codes (the
// foreground code in the low byte, used where a mask bit is 1).
BOOL APIENTRY EngBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                        XLATEOBJ* pxlo, RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask,
                        BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4);
BOOL APIENTRY EngCopyBits(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                          RECTL* prclDest, POINTL* pptlSrc);
BOOL APIENTRY EngStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                            XLATEOBJ* pxlo, COLORADJUSTMENT* pca, POINTL* pptlHTOrg,
                            RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask, ULONG iMode);
BOOL APIENTRY EngStretchBltROP(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                               XLATEOBJ* pxlo, COLORADJUSTMENT* pca, POINTL* pptlHTOrg,
                               RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask, ULONG iMode,
                               BRUSHOBJ* pbo, DWORD rop4);
BOOL APIENTRY EngPlgBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMsk, CLIPOBJ* pco,
                        XLATEOBJ* pxlo, COLORADJUSTMENT* pca, POINTL* pptlBrushOrg, POINTFIX* pptfx,
                        RECTL* prcl, POINTL* pptl, ULONG iMode);
BOOL APIENTRY EngTransparentBlt(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                                RECTL* prclDst, RECTL* prclSrc, ULONG iTransColor,
                                ULONG ulReserved);
BOOL APIENTRY EngAlphaBlend(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                            RECTL* prclDest, RECTL* prclSrc, BLENDOBJ* pBlendObj);
BOOL APIENTRY EngGradientFill(SURFOBJ* psoDest, CLIPOBJ* pco, XLATEOBJ* pxlo, TRIVERTEX* pVertex,
                              ULONG nVertex, PVOID pMesh, ULONG nMesh, RECTL* prclExtents,
                              POINTL* pptlDitherOrg, ULONG ulMode);
BOOL APIENTRY EngStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                            POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix);
BOOL APIENTRY EngFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo,
                          POINTL* pptlBrushOrg, MIX mix, FLONG flOptions);
BOOL APIENTRY EngStrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                                   BRUSHOBJ* pboStroke, LINEATTRS* plineattrs, BRUSHOBJ* pboFill,
                                   POINTL* pptlBrushOrg, MIX mixFill, FLONG flOptions);
BOOL APIENTRY EngLineTo(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1, LONG x2,
                        LONG y2, RECTL* prclBounds, MIX mix);
BOOL APIENTRY EngPaint(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix);

// TRUE when the job printing on the surface's device has been cancelled.
BOOL APIENTRY EngCheckAbort(SURFOBJ* pso);
}
