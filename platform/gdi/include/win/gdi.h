// GDI of the stand-in platform: the records every printing component shares
// (device modes, document information, logical fonts, colours) and the device
// contexts of printers.
#pragma once

#include "win/devmode.h"
#include "win/types.h"

DECLARE_PLATFORM_HANDLE(HDC);
typedef HANDLE HGDIOBJ;
DECLARE_PLATFORM_HANDLE(HBITMAP);
DECLARE_PLATFORM_HANDLE(HPALETTE);
DECLARE_PLATFORM_HANDLE(HBRUSH);
DECLARE_PLATFORM_HANDLE(HPEN);
DECLARE_PLATFORM_HANDLE(HFONT);
DECLARE_PLATFORM_HANDLE(HRGN);

// Colours: 0x00bbggrr.
typedef DWORD COLORREF;
typedef DWORD* LPCOLORREF;
#define RGB(r, g, b)                                                                               \
    ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(rgb) (LOBYTE(rgb))
#define GetGValue(rgb) (LOBYTE(((WORD)(rgb)) >> 8))
#define GetBValue(rgb) (LOBYTE((rgb) >> 16))

typedef struct tagPALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
} PALETTEENTRY, *PPALETTEENTRY, *LPPALETTEENTRY;

typedef struct tagRGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD;

// ---------------------------------------------------------------------------
// Logical fonts.

#define LF_FACESIZE 32

// A face's classification numbers, as fonts carry them in their OS/2 table.
typedef struct _PANOSE {
    BYTE bFamilyType;
    BYTE bSerifStyle;
    BYTE bWeight;
    BYTE bProportion;
    BYTE bContrast;
    BYTE bStrokeVariation;
    BYTE bArmStyle;
    BYTE bLetterform;
    BYTE bMidline;
    BYTE bXHeight;
} PANOSE;

typedef struct tagLOGFONTW {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
} LOGFONTW, *PLOGFONTW, *LPLOGFONTW;

typedef struct tagLOGFONTA {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    CHAR lfFaceName[LF_FACESIZE];
} LOGFONTA, *PLOGFONTA, *LPLOGFONTA;

static_assert(sizeof(LOGFONTW) == 92 && sizeof(LOGFONTA) == 60);
static_assert(offsetof(LOGFONTW, lfItalic) == 20 && offsetof(LOGFONTW, lfFaceName) == 28);

// ---------------------------------------------------------------------------
// Printing.

typedef struct _DOCINFOW {
    int cbSize;
    LPCWSTR lpszDocName;
    LPCWSTR lpszOutput;
    LPCWSTR lpszDatatype;
    DWORD fwType;
} DOCINFOW, *LPDOCINFOW;

typedef struct _DOCINFOA {
    int cbSize;
    LPCSTR lpszDocName;
    LPCSTR lpszOutput;
    LPCSTR lpszDatatype;
    DWORD fwType;
} DOCINFOA, *LPDOCINFOA;

static_assert(sizeof(DOCINFOW) == 40 && offsetof(DOCINFOW, lpszDocName) == 8);
static_assert(sizeof(DOCINFOA) == 40 && offsetof(DOCINFOA, fwType) == 32);

// Result of the document and page calls when they fail.
#define SP_ERROR (-1)

// Escapes that the system defines; drivers define their own above these.
#define QUERYESCSUPPORT 8
#define SETCOPYCOUNT 17

// Binary raster operations: a DC's ROP2, and the engine's mixes.
#define R2_BLACK 1
#define R2_NOTMERGEPEN 2
#define R2_MASKNOTPEN 3
#define R2_NOTCOPYPEN 4
#define R2_MASKPENNOT 5
#define R2_NOT 6
#define R2_XORPEN 7
#define R2_NOTMASKPEN 8
#define R2_MASKPEN 9
#define R2_NOTXORPEN 10
#define R2_NOP 11
#define R2_MERGENOTPEN 12
#define R2_COPYPEN 13
#define R2_MERGEPENNOT 14
#define R2_MERGEPEN 15
#define R2_WHITE 16

extern "C" {

// A printer device context for the printer lpszDevice. lpszDriver is NULL or
// "WINSPOOL" to use the printer's own graphics driver, or the path of a
// graphics driver file to use that one. The device mode, when given, is
// copied (dmSize + dmDriverExtra bytes).
HDC WINAPI CreateDCW(LPCWSTR lpszDriver, LPCWSTR lpszDevice, LPCWSTR lpszPort, const DEVMODEW* pdm);
HDC WINAPI CreateDCA(LPCSTR lpszDriver, LPCSTR lpszDevice, LPCSTR lpszPort, const DEVMODEA* pdm);
// Gives the device context a new device mode; returns hdc, or NULL when the
// driver refuses it (the old one then stays in force).
HDC WINAPI ResetDCW(HDC hdc, const DEVMODEW* lpdm);
HDC WINAPI ResetDCA(HDC hdc, const DEVMODEA* lpdm);
BOOL WINAPI DeleteDC(HDC hdc);

// Document and page calls: StartDoc returns the job id, the others a
// positive value; all return SP_ERROR (or 0) on failure.
int WINAPI StartDocW(HDC hdc, const DOCINFOW* lpdi);
int WINAPI StartDocA(HDC hdc, const DOCINFOA* lpdi);
int WINAPI StartPage(HDC hdc);
int WINAPI EndPage(HDC hdc);
int WINAPI EndDoc(HDC hdc);
int WINAPI AbortDoc(HDC hdc);

// Passes an escape to the driver: > 0 success, 0 not supported, < 0 error.
int WINAPI ExtEscape(HDC hdc, int iEscape, int cjInput, LPCSTR lpInData, int cjOutput,
                     LPSTR lpOutData);
}
