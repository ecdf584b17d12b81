// Enhanced metafiles: the record layouts, metafile handles read from files or
// memory, and their playback onto a device context. A metafile is a sequence
// of little-endian records {type, size, data}; the first is the header, the
// last the end-of-file record.
#pragma once

#include "win/gdi.h"
#include "win/gdi_dc.h"
#include "win/types.h"

DECLARE_PLATFORM_HANDLE(HENHMETAFILE);

// Record types.
#define EMR_HEADER 1
#define EMR_POLYBEZIER 2
#define EMR_POLYGON 3
#define EMR_POLYLINE 4
#define EMR_POLYBEZIERTO 5
#define EMR_POLYLINETO 6
#define EMR_POLYPOLYLINE 7
#define EMR_POLYPOLYGON 8
#define EMR_SETWINDOWEXTEX 9
#define EMR_SETWINDOWORGEX 10
#define EMR_SETVIEWPORTEXTEX 11
#define EMR_SETVIEWPORTORGEX 12
#define EMR_SETBRUSHORGEX 13
#define EMR_EOF 14
#define EMR_SETPIXELV 15
#define EMR_SETMAPPERFLAGS 16
#define EMR_SETMAPMODE 17
#define EMR_SETBKMODE 18
#define EMR_SETPOLYFILLMODE 19
#define EMR_SETROP2 20
#define EMR_SETSTRETCHBLTMODE 21
#define EMR_SETTEXTALIGN 22
#define EMR_SETCOLORADJUSTMENT 23
#define EMR_SETTEXTCOLOR 24
#define EMR_SETBKCOLOR 25
#define EMR_OFFSETCLIPRGN 26
#define EMR_MOVETOEX 27
#define EMR_SETMETARGN 28
#define EMR_EXCLUDECLIPRECT 29
#define EMR_INTERSECTCLIPRECT 30
#define EMR_SCALEVIEWPORTEXTEX 31
#define EMR_SCALEWINDOWEXTEX 32
#define EMR_SAVEDC 33
#define EMR_RESTOREDC 34
#define EMR_SETWORLDTRANSFORM 35
#define EMR_MODIFYWORLDTRANSFORM 36
#define EMR_SELECTOBJECT 37
#define EMR_CREATEPEN 38
#define EMR_CREATEBRUSHINDIRECT 39
#define EMR_DELETEOBJECT 40
#define EMR_ANGLEARC 41
#define EMR_ELLIPSE 42
#define EMR_RECTANGLE 43
#define EMR_ROUNDRECT 44
#define EMR_ARC 45
#define EMR_CHORD 46
#define EMR_PIE 47
#define EMR_SELECTPALETTE 48
#define EMR_CREATEPALETTE 49
#define EMR_SETPALETTEENTRIES 50
#define EMR_RESIZEPALETTE 51
#define EMR_REALIZEPALETTE 52
#define EMR_EXTFLOODFILL 53
#define EMR_LINETO 54
#define EMR_ARCTO 55
#define EMR_POLYDRAW 56
#define EMR_SETARCDIRECTION 57
#define EMR_SETMITERLIMIT 58
#define EMR_BEGINPATH 59
#define EMR_ENDPATH 60
#define EMR_CLOSEFIGURE 61
#define EMR_FILLPATH 62
#define EMR_STROKEANDFILLPATH 63
#define EMR_STROKEPATH 64
#define EMR_FLATTENPATH 65
#define EMR_WIDENPATH 66
#define EMR_SELECTCLIPPATH 67
#define EMR_ABORTPATH 68
#define EMR_GDICOMMENT 70
#define EMR_FILLRGN 71
#define EMR_FRAMERGN 72
#define EMR_INVERTRGN 73
#define EMR_PAINTRGN 74
#define EMR_EXTSELECTCLIPRGN 75
#define EMR_BITBLT 76
#define EMR_STRETCHBLT 77
#define EMR_MASKBLT 78
#define EMR_PLGBLT 79
#define EMR_SETDIBITSTODEVICE 80
#define EMR_STRETCHDIBITS 81
#define EMR_EXTCREATEFONTINDIRECTW 82
#define EMR_EXTTEXTOUTA 83
#define EMR_EXTTEXTOUTW 84
#define EMR_POLYBEZIER16 85
#define EMR_POLYGON16 86
#define EMR_POLYLINE16 87
#define EMR_POLYBEZIERTO16 88
#define EMR_POLYLINETO16 89
#define EMR_POLYPOLYLINE16 90
#define EMR_POLYPOLYGON16 91
#define EMR_POLYDRAW16 92
#define EMR_CREATEMONOBRUSH 93
#define EMR_CREATEDIBPATTERNBRUSHPT 94
#define EMR_EXTCREATEPEN 95
#define EMR_POLYTEXTOUTA 96
#define EMR_POLYTEXTOUTW 97
#define EMR_SETICMMODE 98
#define EMR_CREATECOLORSPACE 99
#define EMR_SETCOLORSPACE 100
#define EMR_DELETECOLORSPACE 101
#define EMR_GLSRECORD 102
#define EMR_GLSBOUNDEDRECORD 103
#define EMR_PIXELFORMAT 104
#define EMR_DRAWESCAPE 105
#define EMR_EXTESCAPE 106
#define EMR_SMALLTEXTOUT 108
#define EMR_FORCEUFIMAPPING 109
#define EMR_NAMEDESCAPE 110
#define EMR_COLORCORRECTPALETTE 111
#define EMR_SETICMPROFILEA 112
#define EMR_SETICMPROFILEW 113
#define EMR_ALPHABLEND 114
#define EMR_SETLAYOUT 115
#define EMR_TRANSPARENTBLT 116
#define EMR_GRADIENTFILL 118
#define EMR_SETLINKEDUFIS 119
#define EMR_SETTEXTJUSTIFICATION 120
#define EMR_COLORMATCHTOTARGETW 121
#define EMR_CREATECOLORSPACEW 122
#define EMR_MIN 1
#define EMR_MAX 122

// " EMF" in the header's dSignature.
#define ENHMETA_SIGNATURE 0x464D4520
// A stock object in EMR_SELECTOBJECT and EMR_DELETEOBJECT: this bit and the
// GetStockObject index.
#define ENHMETA_STOCK_OBJECT 0x80000000

typedef struct tagEMR {
    DWORD iType;
    DWORD nSize; // of the whole record, a multiple of 4
} EMR, *PEMR;

typedef struct tagENHMETARECORD {
    DWORD iType;
    DWORD nSize;
    DWORD dParm[1];
} ENHMETARECORD, *PENHMETARECORD, *LPENHMETARECORD;

typedef struct tagENHMETAHEADER {
    DWORD iType;      // EMR_HEADER
    DWORD nSize;      // of the header record, description included
    RECTL rclBounds;  // device pixels, inclusive
    RECTL rclFrame;   // 0.01 mm, inclusive
    DWORD dSignature; // ENHMETA_SIGNATURE
    DWORD nVersion;
    DWORD nBytes;   // of the whole metafile
    DWORD nRecords; // header and end of file included
    WORD nHandles;  // object table entries, entry 0 included
    WORD sReserved;
    DWORD nDescription;   // UTF-16 characters
    DWORD offDescription; // from the start of the header record
    DWORD nPalEntries;
    SIZEL szlDevice;      // reference device, pixels
    SIZEL szlMillimeters; // reference device, millimetres
    DWORD cbPixelFormat;
    DWORD offPixelFormat;
    DWORD bOpenGL;
    SIZEL szlMicrometers;
} ENHMETAHEADER, *PENHMETAHEADER, *LPENHMETAHEADER;

// The oldest header ends after szlMillimeters, the next after bOpenGL.
#define ENHMETAHEADER_SIZE_V1 88
#define ENHMETAHEADER_SIZE_V2 100

typedef struct tagHANDLETABLE {
    HGDIOBJ objectHandle[1];
} HANDLETABLE, *PHANDLETABLE, *LPHANDLETABLE;

// --- record layouts ------------------------------------------------------------

typedef struct tagEMRPOLYLINE { // POLYBEZIER, POLYGON, POLYLINE, POLYBEZIERTO, POLYLINETO
    EMR emr;
    RECTL rclBounds;
    DWORD cptl;
    POINTL aptl[1];
} EMRPOLYLINE, *PEMRPOLYLINE;

typedef struct tagEMRPOLYLINE16 { // and the other 16-bit forms
    EMR emr;
    RECTL rclBounds;
    DWORD cpts;
    POINTS apts[1];
} EMRPOLYLINE16, *PEMRPOLYLINE16;

typedef struct tagEMRPOLYPOLYLINE { // POLYPOLYLINE, POLYPOLYGON
    EMR emr;
    RECTL rclBounds;
    DWORD nPolys;
    DWORD cptl;
    DWORD aPolyCounts[1]; // nPolys counts, then cptl POINTL
} EMRPOLYPOLYLINE, *PEMRPOLYPOLYLINE;

typedef struct tagEMRPOLYPOLYLINE16 {
    EMR emr;
    RECTL rclBounds;
    DWORD nPolys;
    DWORD cpts;
    DWORD aPolyCounts[1]; // nPolys counts, then cpts POINTS
} EMRPOLYPOLYLINE16, *PEMRPOLYPOLYLINE16;

typedef struct tagEMRPOLYDRAW {
    EMR emr;
    RECTL rclBounds;
    DWORD cptl;
    POINTL aptl[1]; // then cptl point types (BYTE)
} EMRPOLYDRAW, *PEMRPOLYDRAW;

typedef struct tagEMRPOLYDRAW16 {
    EMR emr;
    RECTL rclBounds;
    DWORD cpts;
    POINTS apts[1]; // then cpts point types (BYTE)
} EMRPOLYDRAW16, *PEMRPOLYDRAW16;

typedef struct tagEMRMOVETOEX { // MOVETOEX, LINETO, and the origins of
    EMR emr;                    // SETWINDOWORGEX, SETVIEWPORTORGEX, SETBRUSHORGEX
    POINTL ptl;
} EMRMOVETOEX, *PEMRMOVETOEX, EMRLINETO, *PEMRLINETO, EMRSETWINDOWORGEX, EMRSETVIEWPORTORGEX,
    EMRSETBRUSHORGEX;

typedef struct tagEMRSETWINDOWEXTEX { // SETWINDOWEXTEX, SETVIEWPORTEXTEX
    EMR emr;
    SIZEL szlExtent;
} EMRSETWINDOWEXTEX, *PEMRSETWINDOWEXTEX, EMRSETVIEWPORTEXTEX;

typedef struct tagEMRSCALEVIEWPORTEXTEX { // SCALEVIEWPORTEXTEX, SCALEWINDOWEXTEX
    EMR emr;
    LONG xNum;
    LONG xDenom;
    LONG yNum;
    LONG yDenom;
} EMRSCALEVIEWPORTEXTEX, *PEMRSCALEVIEWPORTEXTEX, EMRSCALEWINDOWEXTEX;

typedef struct tagEMRSETMAPMODE { // and every record of one 32-bit value: modes,
    EMR emr;                      // colours, SAVEDC's absence of one, RESTOREDC,
    DWORD iMode;                  // SELECTOBJECT, DELETEOBJECT, SELECTCLIPPATH
} EMRSETMAPMODE, *PEMRSETMAPMODE, EMRSETBKMODE, EMRSETPOLYFILLMODE, EMRSETROP2,
    EMRSETSTRETCHBLTMODE, EMRSETTEXTALIGN, EMRSETARCDIRECTION, EMRSELECTCLIPPATH, EMRSETICMMODE,
    EMRSETLAYOUT;

typedef struct tagEMRSETTEXTCOLOR { // SETTEXTCOLOR, SETBKCOLOR
    EMR emr;
    COLORREF crColor;
} EMRSETTEXTCOLOR, *PEMRSETTEXTCOLOR, EMRSETBKCOLOR;

typedef struct tagEMRSELECTOBJECT { // SELECTOBJECT, DELETEOBJECT, SELECTPALETTE
    EMR emr;
    DWORD ihObject;
} EMRSELECTOBJECT, *PEMRSELECTOBJECT, EMRDELETEOBJECT, EMRSELECTPALETTE;

typedef struct tagEMRRESTOREDC {
    EMR emr;
    LONG iRelative; // negative
} EMRRESTOREDC, *PEMRRESTOREDC;

typedef struct tagEMRSETWORLDTRANSFORM {
    EMR emr;
    XFORM xform;
} EMRSETWORLDTRANSFORM, *PEMRSETWORLDTRANSFORM;

typedef struct tagEMRMODIFYWORLDTRANSFORM {
    EMR emr;
    XFORM xform;
    DWORD iMode;
} EMRMODIFYWORLDTRANSFORM, *PEMRMODIFYWORLDTRANSFORM;

typedef struct tagEMRSETMITERLIMIT {
    EMR emr;
    FLOAT eMiterLimit;
} EMRSETMITERLIMIT, *PEMRSETMITERLIMIT;

typedef struct tagEMRELLIPSE { // ELLIPSE, RECTANGLE
    EMR emr;
    RECTL rclBox;
} EMRELLIPSE, *PEMRELLIPSE, EMRRECTANGLE, *PEMRRECTANGLE;

typedef struct tagEMRROUNDRECT {
    EMR emr;
    RECTL rclBox;
    SIZEL szlCorner;
} EMRROUNDRECT, *PEMRROUNDRECT;

typedef struct tagEMRARC { // ARC, ARCTO, CHORD, PIE
    EMR emr;
    RECTL rclBox;
    POINTL ptlStart;
    POINTL ptlEnd;
} EMRARC, *PEMRARC, EMRARCTO, EMRCHORD, EMRPIE;

typedef struct tagEMRANGLEARC {
    EMR emr;
    POINTL ptlCenter;
    DWORD nRadius;
    FLOAT eStartAngle;
    FLOAT eSweepAngle;
} EMRANGLEARC, *PEMRANGLEARC;

typedef struct tagEMRINTERSECTCLIPRECT { // INTERSECTCLIPRECT, EXCLUDECLIPRECT
    EMR emr;
    RECTL rclClip;
} EMRINTERSECTCLIPRECT, *PEMRINTERSECTCLIPRECT, EMREXCLUDECLIPRECT;

typedef struct tagEMROFFSETCLIPRGN {
    EMR emr;
    POINTL ptlOffset;
} EMROFFSETCLIPRGN, *PEMROFFSETCLIPRGN;

typedef struct tagEMREXTSELECTCLIPRGN {
    EMR emr;
    DWORD cbRgnData;
    DWORD iMode;
    BYTE RgnData[1];
} EMREXTSELECTCLIPRGN, *PEMREXTSELECTCLIPRGN;

typedef struct tagEMRFILLPATH { // FILLPATH, STROKEANDFILLPATH, STROKEPATH
    EMR emr;
    RECTL rclBounds;
} EMRFILLPATH, *PEMRFILLPATH, EMRSTROKEANDFILLPATH, EMRSTROKEPATH;

typedef struct tagEMRFILLRGN {
    EMR emr;
    RECTL rclBounds;
    DWORD cbRgnData;
    DWORD ihBrush;
    BYTE RgnData[1];
} EMRFILLRGN, *PEMRFILLRGN;

typedef struct tagEMRFRAMERGN {
    EMR emr;
    RECTL rclBounds;
    DWORD cbRgnData;
    DWORD ihBrush;
    SIZEL szlStroke;
    BYTE RgnData[1];
} EMRFRAMERGN, *PEMRFRAMERGN;

typedef struct tagEMRINVERTRGN { // INVERTRGN, PAINTRGN
    EMR emr;
    RECTL rclBounds;
    DWORD cbRgnData;
    BYTE RgnData[1];
} EMRINVERTRGN, *PEMRINVERTRGN, EMRPAINTRGN;

typedef struct tagEMRCREATEPEN {
    EMR emr;
    DWORD ihPen;
    LOGPEN lopn;
} EMRCREATEPEN, *PEMRCREATEPEN;

typedef struct tagEMREXTCREATEPEN {
    EMR emr;
    DWORD ihPen;
    DWORD offBmi; // from the start of the record
    DWORD cbBmi;
    DWORD offBits;
    DWORD cbBits;
    EXTLOGPEN32 elp;
} EMREXTCREATEPEN, *PEMREXTCREATEPEN;

typedef struct tagEMRCREATEBRUSHINDIRECT {
    EMR emr;
    DWORD ihBrush;
    LOGBRUSH32 lb;
} EMRCREATEBRUSHINDIRECT, *PEMRCREATEBRUSHINDIRECT;

typedef struct tagEMRCREATEDIBPATTERNBRUSHPT { // CREATEDIBPATTERNBRUSHPT, CREATEMONOBRUSH
    EMR emr;
    DWORD ihBrush;
    DWORD iUsage;
    DWORD offBmi;
    DWORD cbBmi;
    DWORD offBits;
    DWORD cbBits;
} EMRCREATEDIBPATTERNBRUSHPT, *PEMRCREATEDIBPATTERNBRUSHPT, EMRCREATEMONOBRUSH;

typedef struct tagEMRGDICOMMENT {
    EMR emr;
    DWORD cbData;
    BYTE Data[1];
} EMRGDICOMMENT, *PEMRGDICOMMENT;

typedef struct tagEMREOF {
    EMR emr;
    DWORD nPalEntries;
    DWORD offPalEntries;
    DWORD nSizeLast; // the record's size again, last
} EMREOF, *PEMREOF;

static_assert(sizeof(EMR) == 8 && sizeof(ENHMETAHEADER) == 108);
static_assert(offsetof(ENHMETAHEADER, dSignature) == 40 && offsetof(ENHMETAHEADER, nHandles) == 56);
static_assert(offsetof(ENHMETAHEADER, offDescription) == 64 &&
              offsetof(ENHMETAHEADER, szlDevice) == 72);
static_assert(offsetof(ENHMETAHEADER, cbPixelFormat) == ENHMETAHEADER_SIZE_V1 &&
              offsetof(ENHMETAHEADER, szlMicrometers) == ENHMETAHEADER_SIZE_V2);
static_assert(offsetof(EMRPOLYLINE, aptl) == 28 && offsetof(EMRPOLYLINE16, apts) == 28);
static_assert(offsetof(EMRPOLYPOLYLINE, aPolyCounts) == 32 && offsetof(EMRPOLYDRAW, aptl) == 28);
static_assert(sizeof(EMRMOVETOEX) == 16 && sizeof(EMRSETWINDOWEXTEX) == 16);
static_assert(sizeof(EMRSCALEVIEWPORTEXTEX) == 24 && sizeof(EMRSETMAPMODE) == 12);
static_assert(sizeof(EMRSETWORLDTRANSFORM) == 32 && sizeof(EMRMODIFYWORLDTRANSFORM) == 36);
static_assert(sizeof(EMRELLIPSE) == 24 && sizeof(EMRROUNDRECT) == 32 && sizeof(EMRARC) == 40);
static_assert(sizeof(EMRANGLEARC) == 28 && sizeof(EMRINTERSECTCLIPRECT) == 24);
static_assert(offsetof(EMREXTSELECTCLIPRGN, RgnData) == 16 && offsetof(EMRFILLRGN, RgnData) == 32);
static_assert(offsetof(EMRFRAMERGN, RgnData) == 40 && offsetof(EMRINVERTRGN, RgnData) == 28);
static_assert(sizeof(EMRCREATEPEN) == 28 && sizeof(EMRCREATEBRUSHINDIRECT) == 24);
static_assert(offsetof(EMREXTCREATEPEN, elp) == 28 &&
              offsetof(EMREXTCREATEPEN, elp.elpStyleEntry) == 52);
static_assert(sizeof(EMRCREATEDIBPATTERNBRUSHPT) == 32 && sizeof(EMREOF) == 20);

// Called for each record in turn; 0 stops the enumeration.
typedef int(CALLBACK* ENHMFENUMPROC)(HDC hdc, HANDLETABLE* lpht, const ENHMETARECORD* lpmr,
                                     int nHandles, LPARAM data);

extern "C" {

// A metafile from a file (a Windows path). NULL with ERROR_FILE_NOT_FOUND
// (or the error of the read) or ERROR_INVALID_DATA for a malformed file.
HENHMETAFILE WINAPI GetEnhMetaFileW(LPCWSTR lpName);
HENHMETAFILE WINAPI GetEnhMetaFileA(LPCSTR lpName);
// A metafile from a copy of the bytes; NULL with ERROR_INVALID_DATA when they
// are not a well-formed metafile.
HENHMETAFILE WINAPI SetEnhMetaFileBits(UINT nSize, const BYTE* pb);
// The metafile's bytes: lpbBuffer NULL returns the size; otherwise the
// number copied, or 0 (ERROR_INSUFFICIENT_BUFFER) when the buffer is short.
UINT WINAPI GetEnhMetaFileBits(HENHMETAFILE hEMF, UINT nSize, LPBYTE lpData);
// lpEnhMetaHeader NULL returns the header's size; otherwise the bytes copied
// (at most nSize and at most the header's own size).
UINT WINAPI GetEnhMetaFileHeader(HENHMETAFILE hemf, UINT nSize, LPENHMETAHEADER lpEnhMetaHeader);
BOOL WINAPI DeleteEnhMetaFile(HENHMETAFILE hmf);

// Calls lpProc with each record. With a device context the records are set
// up to play into it: the picture frame of the header is mapped onto lpRect
// (logical units of hdc), and the device context's state is saved before the
// first record and restored after the last. Objects the records made are
// deleted at the end.
BOOL WINAPI EnumEnhMetaFile(HDC hdc, HENHMETAFILE hmf, ENHMFENUMPROC lpProc, LPVOID lpParam,
                            const RECT* lpRect);
// Plays one record onto hdc; lpHandletable and nHandles are those given to
// the enumeration procedure. Records this platform does not draw yet (text,
// bitmaps, gradients, palettes) are noted and skipped (TRUE). FALSE for a
// malformed record.
BOOL WINAPI PlayEnhMetaFileRecord(HDC hdc, LPHANDLETABLE pht, const ENHMETARECORD* pmr, UINT cht);
// Plays every record into lprect on hdc.
BOOL WINAPI PlayEnhMetaFile(HDC hdc, HENHMETAFILE hmf, const RECT* lprect);
}
