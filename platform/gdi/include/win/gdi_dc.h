// GDI drawing state and drawing on device contexts: coordinate spaces and
// map modes, saved states, pens, brushes and stock objects, regions and
// clipping, paths, and the line and shape functions. Coordinates are logical
// unless a function says device.
#pragma once

#include "win/gdi.h"
#include "win/types.h"

typedef FLOAT* PFLOAT;

// ---------------------------------------------------------------------------
// Records.

typedef struct tagXFORM {
    FLOAT eM11;
    FLOAT eM12;
    FLOAT eM21;
    FLOAT eM22;
    FLOAT eDx;
    FLOAT eDy;
} XFORM, *PXFORM, *LPXFORM;

typedef struct tagPOINTS {
    SHORT x;
    SHORT y;
} POINTS, *PPOINTS, *LPPOINTS;

typedef struct tagLOGPEN {
    UINT lopnStyle;
    POINT lopnWidth; // x is the width; y is not used
    COLORREF lopnColor;
} LOGPEN, *PLOGPEN, *LPLOGPEN;

typedef struct tagLOGBRUSH {
    UINT lbStyle;
    COLORREF lbColor;
    ULONG_PTR lbHatch; // hatch style, or the packed DIB of a pattern brush
} LOGBRUSH, *PLOGBRUSH, *LPLOGBRUSH;

// The 32-bit form kept in metafiles.
typedef struct tagLOGBRUSH32 {
    UINT lbStyle;
    COLORREF lbColor;
    ULONG lbHatch;
} LOGBRUSH32, *PLOGBRUSH32;

typedef struct tagEXTLOGPEN {
    DWORD elpPenStyle;
    DWORD elpWidth;
    UINT elpBrushStyle;
    COLORREF elpColor;
    ULONG_PTR elpHatch;
    DWORD elpNumEntries;
    DWORD elpStyleEntry[1];
} EXTLOGPEN, *PEXTLOGPEN;

typedef struct tagEXTLOGPEN32 {
    DWORD elpPenStyle;
    DWORD elpWidth;
    UINT elpBrushStyle;
    COLORREF elpColor;
    ULONG elpHatch;
    DWORD elpNumEntries;
    DWORD elpStyleEntry[1];
} EXTLOGPEN32, *PEXTLOGPEN32;

typedef struct _RGNDATAHEADER {
    DWORD dwSize; // of this header: 32
    DWORD iType;  // RDH_RECTANGLES
    DWORD nCount; // rectangles that follow
    DWORD nRgnSize;
    RECT rcBound;
} RGNDATAHEADER, *PRGNDATAHEADER;

typedef struct _RGNDATA {
    RGNDATAHEADER rdh;
    char Buffer[1];
} RGNDATA, *PRGNDATA, *LPRGNDATA;

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight; // negative: rows from the top down
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER, *PBITMAPINFOHEADER, *LPBITMAPINFOHEADER;

typedef struct tagBITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO, *PBITMAPINFO, *LPBITMAPINFO;

static_assert(sizeof(XFORM) == 24 && sizeof(POINTS) == 4);
static_assert(sizeof(LOGPEN) == 16 && sizeof(LOGBRUSH32) == 12 && sizeof(LOGBRUSH) == 16);
static_assert(sizeof(EXTLOGPEN32) == 28 && offsetof(EXTLOGPEN32, elpStyleEntry) == 24);
static_assert(offsetof(EXTLOGPEN, elpNumEntries) == 24 && offsetof(EXTLOGPEN, elpStyleEntry) == 28);
static_assert(sizeof(RGNDATAHEADER) == 32 && offsetof(RGNDATA, Buffer) == 32);
static_assert(sizeof(BITMAPINFOHEADER) == 40 && sizeof(BITMAPINFO) == 44);

// ---------------------------------------------------------------------------
// Constants.

// Object types (GetObjectType).
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_METADC 4
#define OBJ_PAL 5
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_REGION 8
#define OBJ_METAFILE 9
#define OBJ_MEMDC 10
#define OBJ_EXTPEN 11
#define OBJ_ENHMETADC 12
#define OBJ_ENHMETAFILE 13

// Stock objects (GetStockObject).
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define OEM_FIXED_FONT 10
#define ANSI_FIXED_FONT 11
#define ANSI_VAR_FONT 12
#define SYSTEM_FONT 13
#define DEVICE_DEFAULT_FONT 14
#define DEFAULT_PALETTE 15
#define SYSTEM_FIXED_FONT 16
#define DEFAULT_GUI_FONT 17
#define DC_BRUSH 18
#define DC_PEN 19
#define STOCK_LAST 19

#define CLR_INVALID 0xFFFFFFFF

// Pen styles.
#define PS_SOLID 0
#define PS_DASH 1
#define PS_DOT 2
#define PS_DASHDOT 3
#define PS_DASHDOTDOT 4
#define PS_NULL 5
#define PS_INSIDEFRAME 6
#define PS_USERSTYLE 7
#define PS_ALTERNATE 8
#define PS_STYLE_MASK 0x0000000F
#define PS_ENDCAP_ROUND 0x00000000
#define PS_ENDCAP_SQUARE 0x00000100
#define PS_ENDCAP_FLAT 0x00000200
#define PS_ENDCAP_MASK 0x00000F00
#define PS_JOIN_ROUND 0x00000000
#define PS_JOIN_BEVEL 0x00001000
#define PS_JOIN_MITER 0x00002000
#define PS_JOIN_MASK 0x0000F000
#define PS_COSMETIC 0x00000000
#define PS_GEOMETRIC 0x00010000
#define PS_TYPE_MASK 0x000F0000

// Brush styles.
#define BS_SOLID 0
#define BS_NULL 1
#define BS_HOLLOW BS_NULL
#define BS_HATCHED 2
#define BS_PATTERN 3
#define BS_INDEXED 4
#define BS_DIBPATTERN 5
#define BS_DIBPATTERNPT 6
#define BS_PATTERN8X8 7
#define BS_DIBPATTERN8X8 8
#define BS_MONOPATTERN 9

// Hatch styles (shared with the engine's interface).
#ifndef HS_HORIZONTAL
#define HS_HORIZONTAL 0
#define HS_VERTICAL 1
#define HS_FDIAGONAL 2
#define HS_BDIAGONAL 3
#define HS_CROSS 4
#define HS_DIAGCROSS 5
#endif

// Colour tables of device-independent bitmaps.
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1
#define DIB_PAL_INDICES 2
#define BI_RGB 0

// Background modes.
#define TRANSPARENT 1
#define OPAQUE 2

// Polygon fill modes.
#define ALTERNATE 1
#define WINDING 2

// Graphics modes.
#define GM_COMPATIBLE 1
#define GM_ADVANCED 2

// Map modes.
#define MM_TEXT 1
#define MM_LOMETRIC 2
#define MM_HIMETRIC 3
#define MM_LOENGLISH 4
#define MM_HIENGLISH 5
#define MM_TWIPS 6
#define MM_ISOTROPIC 7
#define MM_ANISOTROPIC 8

// ModifyWorldTransform.
#define MWT_IDENTITY 1
#define MWT_LEFTMULTIPLY 2
#define MWT_RIGHTMULTIPLY 3

// Arc directions.
#define AD_COUNTERCLOCKWISE 1
#define AD_CLOCKWISE 2

// Stretch modes and text alignment (kept, not used by lines and shapes).
#define BLACKONWHITE 1
#define WHITEONBLACK 2
#define COLORONCOLOR 3
#define HALFTONE 4
#define TA_NOUPDATECP 0
#define TA_UPDATECP 1
#define TA_LEFT 0
#define TA_RIGHT 2
#define TA_CENTER 6
#define TA_TOP 0
#define TA_BOTTOM 8
#define TA_BASELINE 24

// Region combinations and results.
#define RGN_AND 1
#define RGN_OR 2
#define RGN_XOR 3
#define RGN_DIFF 4
#define RGN_COPY 5
#define ERROR 0
#define NULLREGION 1
#define SIMPLEREGION 2
#define COMPLEXREGION 3
#define RGN_ERROR ERROR
#define RDH_RECTANGLES 1

// Point types of paths (GetPath, PolyDraw).
#define PT_CLOSEFIGURE 0x01
#define PT_LINETO 0x02
#define PT_BEZIERTO 0x04
#define PT_MOVETO 0x06

// GetDeviceCaps.
#define DRIVERVERSION 0
#define TECHNOLOGY 2
#define HORZSIZE 4
#define VERTSIZE 6
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define NUMCOLORS 24
#define ASPECTX 40
#define ASPECTY 42
#define ASPECTXY 44
#define LOGPIXELSX 88
#define LOGPIXELSY 90
#define PHYSICALWIDTH 110
#define PHYSICALHEIGHT 111
#define PHYSICALOFFSETX 112
#define PHYSICALOFFSETY 113
#define DT_PLOTTER 0
#define DT_RASDISPLAY 1
#ifndef DT_RASPRINTER
#define DT_RASPRINTER 2
#endif

// Colours of the device's palette.
#define PALETTEINDEX(i) ((COLORREF)(0x01000000 | (DWORD)(WORD)(i)))
#define PALETTERGB(r, g, b) (0x02000000 | RGB(r, g, b))

extern "C" {

// --- device -------------------------------------------------------------------

int WINAPI GetDeviceCaps(HDC hdc, int index);

// --- coordinate spaces ----------------------------------------------------------

int WINAPI SetGraphicsMode(HDC hdc, int iMode);
int WINAPI GetGraphicsMode(HDC hdc);
// Only in GM_ADVANCED; the transform must be invertible.
BOOL WINAPI SetWorldTransform(HDC hdc, const XFORM* lpxf);
BOOL WINAPI ModifyWorldTransform(HDC hdc, const XFORM* lpxf, DWORD mode);
BOOL WINAPI GetWorldTransform(HDC hdc, LPXFORM lpxf);
// lpxfResult = first lpxf1, then lpxf2.
BOOL WINAPI CombineTransform(LPXFORM lpxfResult, const XFORM* lpxf1, const XFORM* lpxf2);
int WINAPI SetMapMode(HDC hdc, int iMode);
int WINAPI GetMapMode(HDC hdc);
BOOL WINAPI SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
BOOL WINAPI SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
BOOL WINAPI OffsetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
BOOL WINAPI OffsetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
BOOL WINAPI GetWindowOrgEx(HDC hdc, LPPOINT lppt);
BOOL WINAPI GetViewportOrgEx(HDC hdc, LPPOINT lppt);
// Extents change only in MM_ISOTROPIC and MM_ANISOTROPIC.
BOOL WINAPI SetWindowExtEx(HDC hdc, int x, int y, LPSIZE lpsz);
BOOL WINAPI SetViewportExtEx(HDC hdc, int x, int y, LPSIZE lpsz);
BOOL WINAPI ScaleWindowExtEx(HDC hdc, int xn, int xd, int yn, int yd, LPSIZE lpsz);
BOOL WINAPI ScaleViewportExtEx(HDC hdc, int xn, int xd, int yn, int yd, LPSIZE lpsz);
BOOL WINAPI GetWindowExtEx(HDC hdc, LPSIZE lpsize);
BOOL WINAPI GetViewportExtEx(HDC hdc, LPSIZE lpsize);
BOOL WINAPI LPtoDP(HDC hdc, LPPOINT lppt, int c);
BOOL WINAPI DPtoLP(HDC hdc, LPPOINT lppt, int c);

// --- saved states ---------------------------------------------------------------

// Returns the number of states saved (1 for the first), 0 on failure.
int WINAPI SaveDC(HDC hdc);
// nSavedDC > 0: that state; < 0: relative to the latest (-1 is the latest).
BOOL WINAPI RestoreDC(HDC hdc, int nSavedDC);

// --- modes and colours ----------------------------------------------------------

int WINAPI SetROP2(HDC hdc, int rop2);
int WINAPI GetROP2(HDC hdc);
int WINAPI SetBkMode(HDC hdc, int mode);
int WINAPI GetBkMode(HDC hdc);
COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color);
COLORREF WINAPI GetBkColor(HDC hdc);
COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color);
COLORREF WINAPI GetTextColor(HDC hdc);
COLORREF WINAPI SetDCBrushColor(HDC hdc, COLORREF color);
COLORREF WINAPI GetDCBrushColor(HDC hdc);
COLORREF WINAPI SetDCPenColor(HDC hdc, COLORREF color);
COLORREF WINAPI GetDCPenColor(HDC hdc);
int WINAPI SetPolyFillMode(HDC hdc, int mode);
int WINAPI GetPolyFillMode(HDC hdc);
int WINAPI SetStretchBltMode(HDC hdc, int mode);
int WINAPI GetStretchBltMode(HDC hdc);
UINT WINAPI SetTextAlign(HDC hdc, UINT align);
UINT WINAPI GetTextAlign(HDC hdc);
int WINAPI SetArcDirection(HDC hdc, int dir);
int WINAPI GetArcDirection(HDC hdc);
BOOL WINAPI SetMiterLimit(HDC hdc, FLOAT limit, PFLOAT old);
BOOL WINAPI GetMiterLimit(HDC hdc, PFLOAT plimit);
BOOL WINAPI SetBrushOrgEx(HDC hdc, int x, int y, LPPOINT lppt);
BOOL WINAPI GetBrushOrgEx(HDC hdc, LPPOINT lppt);
BOOL WINAPI GetCurrentPositionEx(HDC hdc, LPPOINT lppt);

// --- objects --------------------------------------------------------------------

HGDIOBJ WINAPI GetStockObject(int i);
// Pens, brushes and fonts return the object they replace; a region sets the
// clip (as SelectClipRgn) and returns its region type. NULL on failure.
HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h);
// Objects still selected somewhere stay in use there until replaced; stock
// objects are never deleted.
BOOL WINAPI DeleteObject(HGDIOBJ ho);
DWORD WINAPI GetObjectType(HGDIOBJ h);
HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type);

HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color);
HPEN WINAPI CreatePenIndirect(const LOGPEN* plpen);
HPEN WINAPI ExtCreatePen(DWORD iPenStyle, DWORD cWidth, const LOGBRUSH* plbrush, DWORD cStyle,
                         const DWORD* pstyle);
HBRUSH WINAPI CreateSolidBrush(COLORREF color);
HBRUSH WINAPI CreateHatchBrush(int iHatch, COLORREF color);
HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH* plbrush);
// lpPackedDIB: a BITMAPINFO with its colour table, then the bits.
HBRUSH WINAPI CreateDIBPatternBrushPt(const VOID* lpPackedDIB, UINT iUsage);

// --- regions (device units) ------------------------------------------------------

HRGN WINAPI CreateRectRgn(int x1, int y1, int x2, int y2);
HRGN WINAPI CreateRectRgnIndirect(const RECT* lprect);
HRGN WINAPI CreateEllipticRgn(int x1, int y1, int x2, int y2);
HRGN WINAPI CreatePolygonRgn(const POINT* pptl, int cPoint, int iMode);
HRGN WINAPI CreatePolyPolygonRgn(const POINT* pptl, const INT* pc, int cPoly, int iMode);
// lpx transforms the rectangles (NULL: as they stand).
HRGN WINAPI ExtCreateRegion(const XFORM* lpx, DWORD nCount, const RGNDATA* lpData);
int WINAPI CombineRgn(HRGN hrgnDst, HRGN hrgnSrc1, HRGN hrgnSrc2, int iMode);
int WINAPI OffsetRgn(HRGN hrgn, int x, int y);
BOOL WINAPI SetRectRgn(HRGN hrgn, int left, int top, int right, int bottom);
int WINAPI GetRgnBox(HRGN hrgn, LPRECT lprc);
BOOL WINAPI PtInRegion(HRGN hrgn, int x, int y);
BOOL WINAPI EqualRgn(HRGN hrgn1, HRGN hrgn2);
// Two-call protocol: lpRgnData NULL returns the size needed.
DWORD WINAPI GetRegionData(HRGN hrgn, DWORD nCount, LPRGNDATA lpRgnData);

// --- clipping ---------------------------------------------------------------------

int WINAPI SelectClipRgn(HDC hdc, HRGN hrgn);
int WINAPI ExtSelectClipRgn(HDC hdc, HRGN hrgn, int mode);
int WINAPI IntersectClipRect(HDC hdc, int left, int top, int right, int bottom);
int WINAPI ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom);
int WINAPI OffsetClipRgn(HDC hdc, int x, int y);
// 1 and the clip region (device units) in hrgn, 0 when there is none, -1 on error.
int WINAPI GetClipRgn(HDC hdc, HRGN hrgn);
int WINAPI GetClipBox(HDC hdc, LPRECT lprect);
// Folds the clip region into the meta region, which later clipping cannot leave.
int WINAPI SetMetaRgn(HDC hdc);

// --- paths ------------------------------------------------------------------------

BOOL WINAPI BeginPath(HDC hdc);
BOOL WINAPI EndPath(HDC hdc);
BOOL WINAPI AbortPath(HDC hdc);
BOOL WINAPI CloseFigure(HDC hdc);
BOOL WINAPI FillPath(HDC hdc);
BOOL WINAPI StrokePath(HDC hdc);
BOOL WINAPI StrokeAndFillPath(HDC hdc);
BOOL WINAPI FlattenPath(HDC hdc);
BOOL WINAPI SelectClipPath(HDC hdc, int mode);
HRGN WINAPI PathToRegion(HDC hdc);
// Points in logical units; two-call protocol (cpt 0 returns the count).
int WINAPI GetPath(HDC hdc, LPPOINT apt, LPBYTE aj, int cpt);

// --- lines and shapes -----------------------------------------------------------------

BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt);
BOOL WINAPI LineTo(HDC hdc, int x, int y);
BOOL WINAPI Polyline(HDC hdc, const POINT* apt, int cpt);
BOOL WINAPI PolylineTo(HDC hdc, const POINT* apt, DWORD cpt);
BOOL WINAPI PolyPolyline(HDC hdc, const POINT* apt, const DWORD* asz, DWORD csz);
BOOL WINAPI PolyBezier(HDC hdc, const POINT* apt, DWORD cpt);
BOOL WINAPI PolyBezierTo(HDC hdc, const POINT* apt, DWORD cpt);
BOOL WINAPI PolyDraw(HDC hdc, const POINT* apt, const BYTE* aj, int cpt);
BOOL WINAPI Polygon(HDC hdc, const POINT* apt, int cpt);
BOOL WINAPI PolyPolygon(HDC hdc, const POINT* apt, const INT* asz, int csz);
BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom);
BOOL WINAPI RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height);
BOOL WINAPI Ellipse(HDC hdc, int left, int top, int right, int bottom);
BOOL WINAPI Arc(HDC hdc, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
BOOL WINAPI ArcTo(HDC hdc, int left, int top, int right, int bottom, int xr1, int yr1, int xr2,
                  int yr2);
BOOL WINAPI AngleArc(HDC hdc, int x, int y, DWORD r, FLOAT startAngle, FLOAT sweepAngle);
BOOL WINAPI Pie(HDC hdc, int left, int top, int right, int bottom, int xr1, int yr1, int xr2,
                int yr2);
BOOL WINAPI Chord(HDC hdc, int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
BOOL WINAPI FillRgn(HDC hdc, HRGN hrgn, HBRUSH hbr);
BOOL WINAPI PaintRgn(HDC hdc, HRGN hrgn);
BOOL WINAPI FrameRgn(HDC hdc, HRGN hrgn, HBRUSH hbr, int w, int h);
BOOL WINAPI InvertRgn(HDC hdc, HRGN hrgn);
}

// Fonts and text.
#include "win/gdi_text.h"
