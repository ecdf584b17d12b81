// GDI fonts and text: logical fonts realized from the installed faces, their
// metrics, glyph outlines and raw tables, and text output.
#pragma once

#include "win/gdi.h"
#include "win/types.h"

// Weights.
#define FW_DONTCARE 0
#define FW_THIN 100
#define FW_LIGHT 300
#define FW_NORMAL 400
#define FW_MEDIUM 500
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define FW_HEAVY 900

// Character sets.
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define SYMBOL_CHARSET 2
#define SHIFTJIS_CHARSET 128
#define HANGUL_CHARSET 129
#define GB2312_CHARSET 134
#define CHINESEBIG5_CHARSET 136
#define OEM_CHARSET 255
#define GREEK_CHARSET 161
#define TURKISH_CHARSET 162
#define EASTEUROPE_CHARSET 238
#define RUSSIAN_CHARSET 204
#define BALTIC_CHARSET 186
#define HEBREW_CHARSET 177
#define ARABIC_CHARSET 178
#define THAI_CHARSET 222
#define VIETNAMESE_CHARSET 163
#define JOHAB_CHARSET 130
#define MAC_CHARSET 77

// Pitch and family.
#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE (0 << 4)
#define FF_ROMAN (1 << 4)
#define FF_SWISS (2 << 4)
#define FF_MODERN (3 << 4)
#define FF_SCRIPT (4 << 4)
#define FF_DECORATIVE (5 << 4)

// TEXTMETRIC tmPitchAndFamily: TMPF_FIXED_PITCH set means variable pitch.
#define TMPF_FIXED_PITCH 0x01
#define TMPF_VECTOR 0x02
#define TMPF_DEVICE 0x08
#define TMPF_TRUETYPE 0x04

// ExtTextOut options.
#define ETO_OPAQUE 0x0002
#define ETO_CLIPPED 0x0004
#define ETO_GLYPH_INDEX 0x0010
#define ETO_RTLREADING 0x0080
#define ETO_IGNORELANGUAGE 0x1000
#define ETO_PDY 0x2000

// Text alignment bits beyond win/gdi_dc.h's.
#define TA_RTLREADING 256
#define VTA_BASELINE TA_BASELINE
#define VTA_CENTER TA_CENTER

#define GDI_ERROR 0xFFFFFFFFL

// GetGlyphOutline formats.
#define GGO_METRICS 0
#define GGO_BITMAP 1
#define GGO_NATIVE 2
#define GGO_BEZIER 3
#define GGO_GLYPH_INDEX 0x0080
#define GGO_UNHINTED 0x0100
// Records of GGO_NATIVE / GGO_BEZIER.
#define TT_POLYGON_TYPE 24
#define TT_PRIM_LINE 1
#define TT_PRIM_QSPLINE 2
#define TT_PRIM_CSPLINE 3

// EnumFontFamiliesEx font types.
#define RASTER_FONTTYPE 0x0001
#define DEVICE_FONTTYPE 0x0002
#define TRUETYPE_FONTTYPE 0x0004
// NEWTEXTMETRIC ntmFlags
#define NTM_ITALIC 0x00000001
#define NTM_BOLD 0x00000020
#define NTM_REGULAR 0x00000040

// SetMapperFlags.
#define ASPECT_FILTERING 0x0001

// GetFontData: the table tag of a collection's whole file.
#define TTCF_TABLE 0x66637474

typedef struct tagTEXTMETRICW {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    WCHAR tmFirstChar;
    WCHAR tmLastChar;
    WCHAR tmDefaultChar;
    WCHAR tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
} TEXTMETRICW, *PTEXTMETRICW, *LPTEXTMETRICW;

static_assert(sizeof(TEXTMETRICW) == 60 && offsetof(TEXTMETRICW, tmFirstChar) == 44);

typedef struct tagNEWTEXTMETRICW {
    TEXTMETRICW tm;
    DWORD ntmFlags;
    UINT ntmSizeEM;
    UINT ntmCellHeight;
    UINT ntmAvgWidth;
} NEWTEXTMETRICW;

typedef struct tagFONTSIGNATURE {
    DWORD fsUsb[4];
    DWORD fsCsb[2];
} FONTSIGNATURE;

typedef struct tagNEWTEXTMETRICEXW {
    NEWTEXTMETRICW ntmTm;
    FONTSIGNATURE ntmFontSig;
} NEWTEXTMETRICEXW;

#define LF_FULLFACESIZE 64

typedef struct tagENUMLOGFONTEXW {
    LOGFONTW elfLogFont;
    WCHAR elfFullName[LF_FULLFACESIZE];
    WCHAR elfStyle[LF_FACESIZE];
    WCHAR elfScript[LF_FACESIZE];
} ENUMLOGFONTEXW, *LPENUMLOGFONTEXW;

static_assert(sizeof(ENUMLOGFONTEXW) == 348);

#define MM_MAX_NUMAXES 16
typedef struct tagDESIGNVECTOR {
    DWORD dvReserved;
    DWORD dvNumAxes;
    LONG dvValues[MM_MAX_NUMAXES];
} DESIGNVECTOR;

typedef struct tagENUMLOGFONTEXDVW {
    ENUMLOGFONTEXW elfEnumLogfontEx;
    DESIGNVECTOR elfDesignVector;
} ENUMLOGFONTEXDVW;

typedef struct _ABC {
    int abcA;
    UINT abcB;
    int abcC;
} ABC, *LPABC;

typedef struct _FIXED {
    WORD fract;
    SHORT value;
} FIXED;

typedef struct _MAT2 {
    FIXED eM11;
    FIXED eM12;
    FIXED eM21;
    FIXED eM22;
} MAT2;

typedef struct _GLYPHMETRICS {
    UINT gmBlackBoxX;
    UINT gmBlackBoxY;
    POINT gmptGlyphOrigin;
    SHORT gmCellIncX;
    SHORT gmCellIncY;
} GLYPHMETRICS, *LPGLYPHMETRICS;

typedef struct tagPOINTFX {
    FIXED x;
    FIXED y;
} POINTFX;

typedef struct tagTTPOLYCURVE {
    WORD wType;
    WORD cpfx;
    POINTFX apfx[1];
} TTPOLYCURVE;

typedef struct tagTTPOLYGONHEADER {
    DWORD cb;
    DWORD dwType;
    POINTFX pfxStart;
} TTPOLYGONHEADER;

// The fixed part of the outline metrics; the four name offsets count bytes
// from the record's start to strings after it.
typedef struct _OUTLINETEXTMETRICW {
    UINT otmSize;
    TEXTMETRICW otmTextMetrics;
    BYTE otmFiller;
    PANOSE otmPanoseNumber;
    UINT otmfsSelection;
    UINT otmfsType;
    int otmsCharSlopeRise;
    int otmsCharSlopeRun;
    int otmItalicAngle;
    UINT otmEMSquare;
    int otmAscent;
    int otmDescent;
    UINT otmLineGap;
    UINT otmsCapEmHeight;
    UINT otmsXHeight;
    RECT otmrcFontBox;
    int otmMacAscent;
    int otmMacDescent;
    UINT otmMacLineGap;
    UINT otmusMinimumPPEM;
    POINT otmptSubscriptSize;
    POINT otmptSubscriptOffset;
    POINT otmptSuperscriptSize;
    POINT otmptSuperscriptOffset;
    UINT otmsStrikeoutSize;
    int otmsStrikeoutPosition;
    int otmsUnderscoreSize;
    int otmsUnderscorePosition;
    LPSTR otmpFamilyName;
    LPSTR otmpFaceName;
    LPSTR otmpStyleName;
    LPSTR otmpFullName;
} OUTLINETEXTMETRICW, *LPOUTLINETEXTMETRICW;

static_assert(offsetof(OUTLINETEXTMETRICW, otmFiller) == 64);
static_assert(offsetof(OUTLINETEXTMETRICW, otmpFamilyName) == 200);

typedef int(CALLBACK* FONTENUMPROCW)(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM);

typedef struct tagPOLYTEXTW {
    int x;
    int y;
    UINT n;
    LPCWSTR lpstr;
    UINT uiFlags;
    RECT rcl;
    int* pdx;
} POLYTEXTW;

extern "C" {

// Fonts private to the process from a font file's bytes; *pNumFonts is the
// number of faces added.
HANDLE WINAPI AddFontMemResourceEx(PVOID pFileView, DWORD cjSize, PVOID pvReserved,
                                   DWORD* pNumFonts);
BOOL WINAPI RemoveFontMemResourceEx(HANDLE h);

HFONT WINAPI CreateFontIndirectW(const LOGFONTW* lplf);
HFONT WINAPI CreateFontIndirectA(const LOGFONTA* lplf);
HFONT WINAPI ExtCreateFontIndirectW(const ENUMLOGFONTEXDVW* penumlfex);
HFONT WINAPI CreateFontW(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight,
                         DWORD bItalic, DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet,
                         DWORD iOutPrecision, DWORD iClipPrecision, DWORD iQuality,
                         DWORD iPitchAndFamily, LPCWSTR pszFaceName);

BOOL WINAPI GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm);
int WINAPI GetTextFaceW(HDC hdc, int c, LPWSTR lpName);
BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl);
BOOL WINAPI GetCharABCWidthsW(HDC hdc, UINT wFirst, UINT wLast, LPABC lpABC);
DWORD WINAPI GetGlyphOutlineW(HDC hdc, UINT uChar, UINT fuFormat, LPGLYPHMETRICS lpgm,
                              DWORD cjBuffer, LPVOID pvBuffer, const MAT2* lpmat2);
DWORD WINAPI GetFontData(HDC hdc, DWORD dwTable, DWORD dwOffset, PVOID pvBuffer, DWORD cjBuffer);
UINT WINAPI GetOutlineTextMetricsW(HDC hdc, UINT cjCopy, LPOUTLINETEXTMETRICW potm);
// The installed faces: with an empty face name one font per family (of the
// asked character set, or of its first with DEFAULT_CHARSET); with a name
// every member of that family (weight, italic, style name) once per
// character set it has (only the asked one unless DEFAULT_CHARSET). A name
// that is no installed family nor one of the names documents use lists
// nothing. Answers the callback's last value (1 when it was never called).
int WINAPI EnumFontFamiliesExW(HDC hdc, LPLOGFONTW lpLogfont, FONTENUMPROCW lpProc, LPARAM lParam,
                               DWORD dwFlags);

int WINAPI SetTextCharacterExtra(HDC hdc, int extra);
int WINAPI GetTextCharacterExtra(HDC hdc);
BOOL WINAPI SetTextJustification(HDC hdc, int extra, int count);
DWORD WINAPI SetMapperFlags(HDC hdc, DWORD flags);

BOOL WINAPI TextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int c);
BOOL WINAPI ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* lprect, LPCWSTR lpString,
                        UINT c, const INT* lpDx);
BOOL WINAPI ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT* lprect, LPCSTR lpString,
                        UINT c, const INT* lpDx);
BOOL WINAPI PolyTextOutW(HDC hdc, const POLYTEXTW* ppt, int nstrings);
}
