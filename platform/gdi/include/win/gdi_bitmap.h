// Bitmaps and memory device contexts, and the raster drawing functions:
// blits under raster operations, stretches, device-independent bitmaps,
// transparent and alpha blits, gradients and the rectangle helpers.
#pragma once

#include "win/gdi_dc.h"
#include "win/winddi.h"

typedef struct tagBITMAPCOREHEADER {
    DWORD bcSize; // 12
    WORD bcWidth;
    WORD bcHeight;
    WORD bcPlanes;
    WORD bcBitCount;
} BITMAPCOREHEADER;

typedef struct tagCIEXYZ {
    LONG ciexyzX, ciexyzY, ciexyzZ;
} CIEXYZ;
typedef struct tagCIEXYZTRIPLE {
    CIEXYZ ciexyzRed, ciexyzGreen, ciexyzBlue;
} CIEXYZTRIPLE;

typedef struct tagBITMAPV5HEADER {
    DWORD bV5Size;
    LONG bV5Width;
    LONG bV5Height;
    WORD bV5Planes;
    WORD bV5BitCount;
    DWORD bV5Compression;
    DWORD bV5SizeImage;
    LONG bV5XPelsPerMeter;
    LONG bV5YPelsPerMeter;
    DWORD bV5ClrUsed;
    DWORD bV5ClrImportant;
    DWORD bV5RedMask;
    DWORD bV5GreenMask;
    DWORD bV5BlueMask;
    DWORD bV5AlphaMask;
    DWORD bV5CSType;
    CIEXYZTRIPLE bV5Endpoints;
    DWORD bV5GammaRed;
    DWORD bV5GammaGreen;
    DWORD bV5GammaBlue; // the version 4 header ends here (108 bytes)
    DWORD bV5Intent;
    DWORD bV5ProfileData;
    DWORD bV5ProfileSize;
    DWORD bV5Reserved;
} BITMAPV5HEADER;

// A bitmap's description (GetObjectW); bmBits only for a DIB section.
typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP, *PBITMAP, *LPBITMAP;

static_assert(sizeof(BITMAPCOREHEADER) == 12 && sizeof(BITMAPV5HEADER) == 124);
static_assert(offsetof(BITMAPV5HEADER, bV5Intent) == 108);

#define BI_RLE8 1
#define BI_RLE4 2
#define BI_BITFIELDS 3
#define BI_JPEG 4
#define BI_PNG 5

// Ternary raster operations (the full code: operation index in the high
// word, its formula's number in the low word).
#define SRCCOPY 0x00CC0020
#define SRCPAINT 0x00EE0086
#define SRCAND 0x008800C6
#define SRCINVERT 0x00660046
#define SRCERASE 0x00440328
#define NOTSRCCOPY 0x00330008
#define NOTSRCERASE 0x001100A6
#define MERGECOPY 0x00C000CA
#define MERGEPAINT 0x00BB0226
#define PATCOPY 0x00F00021
#define PATPAINT 0x00FB0A09
#define PATINVERT 0x005A0049
#define DSTINVERT 0x00550009
#define BLACKNESS 0x00000042
#define WHITENESS 0x00FF0062
#define MAKEROP4(fore, back) ((DWORD)((((back) << 8) & 0xFF000000) | (fore)))

// DrawEdge.
#define BDR_RAISEDOUTER 0x0001
#define BDR_SUNKENOUTER 0x0002
#define BDR_RAISEDINNER 0x0004
#define BDR_SUNKENINNER 0x0008
#define EDGE_RAISED (BDR_RAISEDOUTER | BDR_RAISEDINNER)
#define EDGE_SUNKEN (BDR_SUNKENOUTER | BDR_SUNKENINNER)
#define EDGE_ETCHED (BDR_SUNKENOUTER | BDR_RAISEDINNER)
#define EDGE_BUMP (BDR_RAISEDOUTER | BDR_SUNKENINNER)
#define BF_LEFT 0x0001
#define BF_TOP 0x0002
#define BF_RIGHT 0x0004
#define BF_BOTTOM 0x0008
#define BF_RECT (BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM)
#define BF_MIDDLE 0x0800
#define BF_ADJUST 0x2000

// CreateDIBitmap.
#define CBM_INIT 0x04

extern "C" {

HDC WINAPI CreateCompatibleDC(HDC hdc);
// A bitmap of one plane from top-down rows padded to 16-bit words (lpBits
// may be NULL); one bit per pixel gives a monochrome bitmap (0 black, 1 white),
// 16, 24 and 32 bits colour ones; other depths are refused.
HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount,
                            const VOID* lpBits);
// The colour of a memory device context's pixel at a logical point;
// CLR_INVALID outside its bitmap or for other device contexts.
COLORREF WINAPI GetPixel(HDC hdc, int x, int y);
HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy);
// Describes a bitmap (a BITMAP record): the bytes written, sizeof(BITMAP)
// without a buffer, 0 for other kinds of object or a buffer too small.
int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv);
// *ppvBits receives the bits, laid out as the header says (bottom-up unless
// the height is negative). hSection and offset must be 0 here.
HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, VOID** ppvBits,
                                HANDLE hSection, DWORD offset);
HBITMAP WINAPI CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* pbmih, DWORD flInit,
                              const VOID* pjBits, const BITMAPINFO* pbmi, UINT iUsage);
// lpvBits NULL: fills in the header's size fields (and the colour table).
int WINAPI GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits,
                     LPBITMAPINFO lpbmi, UINT usage);
int WINAPI SetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, const VOID* lpBits,
                     const BITMAPINFO* lpbmi, UINT ColorUse);

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop);
BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc,
                       int xSrc, int ySrc, int wSrc, int hSrc, DWORD rop);
BOOL WINAPI PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop);
BOOL WINAPI MaskBlt(HDC hdcDest, int xDest, int yDest, int width, int height, HDC hdcSrc, int xSrc,
                    int ySrc, HBITMAP hbmMask, int xMask, int yMask, DWORD rop);
BOOL WINAPI PlgBlt(HDC hdcDest, const POINT* lpPoint, HDC hdcSrc, int xSrc, int ySrc, int width,
                   int height, HBITMAP hbmMask, int xMask, int yMask);
int WINAPI StretchDIBits(HDC hdc, int xDest, int yDest, int DestWidth, int DestHeight, int xSrc,
                         int ySrc, int SrcWidth, int SrcHeight, const VOID* lpBits,
                         const BITMAPINFO* lpbmi, UINT iUsage, DWORD rop);
int WINAPI SetDIBitsToDevice(HDC hdc, int xDest, int yDest, DWORD w, DWORD h, int xSrc, int ySrc,
                             UINT StartScan, UINT cLines, const VOID* lpvBits,
                             const BITMAPINFO* lpbmi, UINT ColorUse);
BOOL WINAPI TransparentBlt(HDC hdcDest, int xoriginDest, int yoriginDest, int wDest, int hDest,
                           HDC hdcSrc, int xoriginSrc, int yoriginSrc, int wSrc, int hSrc,
                           UINT crTransparent);
BOOL WINAPI AlphaBlend(HDC hdcDest, int xoriginDest, int yoriginDest, int wDest, int hDest,
                       HDC hdcSrc, int xoriginSrc, int yoriginSrc, int wSrc, int hSrc,
                       BLENDFUNCTION ftn);
BOOL WINAPI GradientFill(HDC hdc, PTRIVERTEX pVertex, ULONG nVertex, PVOID pMesh, ULONG nMesh,
                         ULONG ulMode);

int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr);
int WINAPI FrameRect(HDC hDC, const RECT* lprc, HBRUSH hbr);
BOOL WINAPI InvertRect(HDC hDC, const RECT* lprc);
BOOL WINAPI DrawEdge(HDC hdc, LPRECT qrc, UINT edge, UINT grfFlags);
}
