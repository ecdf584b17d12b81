// Objects of the stand-in graphics engine behind the public driver records.
// Each object starts with the record the driver sees, so the record's address
// is the object's; the engine keeps a registry of live objects and never
// casts a pointer it did not hand out.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "win/winddi.h"

namespace platform::engine {

// Guards every registry of the engine. Never held while a driver function
// runs: drivers call back into the engine.
std::recursive_mutex& EngineLock();

// A fresh value for the iUniq fields (never 0).
ULONG NextUniq();

// --- memory --------------------------------------------------------------

// EngAllocMem without the fault point, for the engine's own records that a
// driver frees with EngFreeMem (glyph sets, realized brushes).
void* AllocCounted(size_t bytes, bool zero);
void FreeCounted(void* p);

// --- surfaces ------------------------------------------------------------

struct Surface {
    SURFOBJ so{};
    std::vector<BYTE> ownBits; // bits the engine allocated (empty for caller's bits)
    FLONG hooks = 0;
    bool banding = false;
    int locks = 0;
    bool deleted = false; // handle gone; freed when the last lock goes
    // The colours of the pixels when someone said (GDI's bitmaps do); else
    // the format's default.
    bool hasPalette = false;
    ULONG palMode = 0;
    std::vector<ULONG> palColors;
    FLONG palMasks[3] = {};
};

// Creates a bitmap surface (the engine's own copy of pattern bitmaps and the
// like use it too). Returns its handle or nullptr with the last error set.
HSURF CreateBitmapSurface(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits);
// Row bytes of a format without padding; 0 for an unknown format.
ULONG RowBytes(ULONG iFormat, LONG width);
// Bits per pixel of a format; 0 for an unknown format.
ULONG BitsPerPixel(ULONG iFormat);
Surface* FindSurfaceLocked(HSURF hsurf);
Surface* SurfaceFromObjLocked(SURFOBJ* pso);

// --- devices ---------------------------------------------------------------

struct Device;
Device* FindDeviceLocked(HDEV hdev);
PFN DeviceFunctionLocked(Device* dev, ULONG index);
bool DeviceAbortedNoLock(HDEV hdev);

// --- palettes ------------------------------------------------------------

struct Palette {
    ULONG iMode = 0;
    std::vector<ULONG> colors; // PAL_INDEXED
    FLONG flRed = 0, flGreen = 0, flBlue = 0;
};
Palette* FindPaletteLocked(HPALETTE hpal);

// --- paths, clips, brushes, translations, transforms -------------------------

// Every such object is registered by the address of its public record.
struct EngineObject {
    virtual ~EngineObject() = default;
    virtual void* Record() = 0;
};
void InsertObjectLocked(std::unique_ptr<EngineObject> obj);
EngineObject* FindObjectLocked(const void* record);
template <class T> T* FindLocked(const void* record) {
    return dynamic_cast<T*>(FindObjectLocked(record));
}
// Removes the object; the caller lets it go outside the lock.
std::unique_ptr<EngineObject> RemoveObjectLocked(const void* record);

struct PathRecord {
    FLONG flags = 0;  // PD_BEGINSUBPATH, PD_BEZIERS, PD_CLOSEFIGURE; PD_ENDSUBPATH when known
    size_t first = 0; // index of its first point
    size_t count = 0;
};

struct Path : EngineObject {
    PATHOBJ po{};
    std::vector<POINTFIX> points;
    std::vector<PathRecord> records;
    bool subpathOpen = false; // the last record's subpath can still grow
    bool haveCurrent = false;
    POINTFIX current{};
    POINTFIX subpathStart{};
    size_t enumNext = 0;
    void* Record() override { return &po; }

    bool MoveTo(POINTFIX pt);
    bool AddPoints(const POINTFIX* pts, ULONG count, bool beziers);
    bool CloseFigure();
    void AddRectangle(const RECTL& r); // a closed subpath around r, in whole pixels
};
// A new registered path (nullptr when out of memory).
Path* NewPathLocked();

struct Clip : EngineObject {
    CLIPOBJ co{};
    std::vector<RECTL> rects; // banded region; for DC_TRIVIAL and DC_RECT empty
    std::vector<RECTL> order; // the rectangles of the running enumeration
    size_t enumNext = 0;
    bool enumStarted = false;
    void* Record() override { return &co; }
};
// The normalized region of the rectangles: non-empty, non-overlapping, in bands
// from top to bottom and left to right within a band, equal neighbouring bands
// merged.
std::vector<RECTL> NormalizeRegion(const RECTL* rects, size_t count);

} // namespace platform::engine
