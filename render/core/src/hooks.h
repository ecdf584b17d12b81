// The hook functions the driver hands to the graphics engine, and the
// driver-wide state the exports set.
#pragma once

#include "win/winddi.h"

namespace inkforge {

struct PDEV;

// Driver-wide state.
HMODULE DriverModule();
void SetDriverModule(HMODULE module);
FD_GLYPHSET* GlyphSet1252();
FD_GLYPHSET* GlyphSet1251();
bool ComputeGlyphSets();
void FreeGlyphSets();
// The table of hooks and whether it holds the function of an engine index.
const DRVFN* HookTable(ULONG* count);
bool DriverHasFunction(ULONG index);

// Physical device and surface.
DHPDEV APIENTRY DrvEnablePDEV(DEVMODEW* pdm, LPWSTR logAddress, ULONG cPat, HSURF* phsurfPatterns,
                              ULONG cjCaps, ULONG* pdevcaps, ULONG cjDevInfo, DEVINFO* pdi,
                              HDEV hdev, LPWSTR deviceName, HANDLE hDriver);
VOID APIENTRY DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev);
BOOL APIENTRY DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew);
VOID APIENTRY DrvDisablePDEV(DHPDEV dhpdev);
HSURF APIENTRY DrvEnableSurface(DHPDEV dhpdev);
VOID APIENTRY DrvDisableSurface(DHPDEV dhpdev);

// Job and page flow.
BOOL APIENTRY DrvStartDoc(SURFOBJ* pso, LPWSTR docName, DWORD jobId);
BOOL APIENTRY DrvStartPage(SURFOBJ* pso);
BOOL APIENTRY DrvSendPage(SURFOBJ* pso);
BOOL APIENTRY DrvEndDoc(SURFOBJ* pso, FLONG fl);

// Private and standard escapes.
ULONG APIENTRY DrvEscape(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut,
                         PVOID pvOut);

// Path and line hooks.
BOOL APIENTRY DrvStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                            POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix);
BOOL APIENTRY DrvFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo,
                          POINTL* pptlBrushOrg, MIX mix, FLONG flOptions);
BOOL APIENTRY DrvStrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                                   BRUSHOBJ* pboStroke, LINEATTRS* plineattrs, BRUSHOBJ* pboFill,
                                   POINTL* pptlBrushOrg, MIX mixFill, FLONG flOptions);
BOOL APIENTRY DrvLineTo(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1, LONG x2,
                        LONG y2, RECTL* prclBounds, MIX mix);

// The device record set-up of DrvEnablePDEV for a given device mode (or the
// default one): header, private part, resolution, clamps, job flags, model
// capabilities, page geometry and the rendering mode.
BOOL SetUpDeviceRecord(PDEV* pdev, const DEVMODEW* given, LPCWSTR deviceName);

// The font substitution list of the per-user font data file.
void ReadFontDataFile(PDEV* pdev);

// Band height for a page height and a band line's bytes: the budget's lines
// rounded down to a multiple of 8, never 0 and never more than the page.
DWORD BandHeight(DWORD pageHeight, DWORD stride, DWORD budget);

} // namespace inkforge
