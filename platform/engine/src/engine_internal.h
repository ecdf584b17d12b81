// Objects of the stand-in graphics engine behind the public driver records.
// Each object starts with the record the driver sees, so the record's address
// is the object's; the engine keeps a registry of live objects and never
// casts a pointer it did not hand out.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <new>
#include <type_traits>
#include <typeinfo>
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

// Every such object is registered by the address of its public record. Each
// kind is a final class, so an object's exact type says its kind.
struct EngineObject {
    virtual ~EngineObject() = default;
    virtual void* Record() = 0;
};
void InsertObjectLocked(std::unique_ptr<EngineObject> obj);
EngineObject* FindObjectLocked(const void* record);
template <class T> T* FindLocked(const void* record) {
    static_assert(std::is_final_v<T>, "a kind of engine object is a final class");
    EngineObject* obj = FindObjectLocked(record);
    return obj && typeid(*obj) == typeid(T) ? static_cast<T*>(obj) : nullptr;
}
// Removes the object; the caller lets it go outside the lock.
std::unique_ptr<EngineObject> RemoveObjectLocked(const void* record);

// Spare objects. Drawing makes and deletes a path, a clip, brushes, a
// transform and a colour translation for every call it plays: a deleted one
// of these kinds whose Clear() brings it back to how a new one starts (it
// holds nothing that must be let go; it keeps its storage) waits for the next
// new one of its kind instead of going back to the heap. A driver cannot tell:
// a new object could always have had a deleted one's address, and a deleted
// one is out of the registry either way.
constexpr size_t kSpareObjects = 8;

// A few things kept for reuse, last in first out, in storage of their own
// (keeping one never allocates).
template <class T, size_t N> class Spares {
  public:
    bool Empty() const { return count_ == 0; }
    bool Full() const { return count_ == N; }
    void Push(T item) { items_[count_++] = std::move(item); }
    T Pop() { return std::move(items_[--count_]); }

  private:
    std::array<T, N> items_{};
    size_t count_ = 0;
};

// Never destroyed, so that an object deleted late in the process's exit still
// finds them.
template <class T> Spares<std::unique_ptr<T>, kSpareObjects>& SparesLocked() {
    static auto* spares = new Spares<std::unique_ptr<T>, kSpareObjects>;
    return *spares;
}
// A T as new, not registered yet: a spare one when there is one, else from
// the heap (nullptr when out of memory).
template <class T> std::unique_ptr<T> NewObject() {
    {
        std::lock_guard lock(EngineLock());
        auto& spares = SparesLocked<T>();
        if (!spares.Empty()) return spares.Pop();
    }
    return std::unique_ptr<T>(new (std::nothrow) T);
}
// Removes a registered T (FindLocked<T> found it) and keeps it as a spare
// when it clears; else returns it, for the caller to let go outside the lock.
template <class T> std::unique_ptr<EngineObject> DeleteObjectLocked(const void* record) {
    std::unique_ptr<EngineObject> obj = RemoveObjectLocked(record);
    auto& spares = SparesLocked<T>();
    if (!obj || spares.Full() || !static_cast<T*>(obj.get())->Clear()) return obj;
    spares.Push(std::unique_ptr<T>(static_cast<T*>(obj.release())));
    return nullptr;
}

struct PathRecord {
    FLONG flags = 0;  // PD_BEGINSUBPATH, PD_BEZIERS, PD_CLOSEFIGURE; PD_ENDSUBPATH when known
    size_t first = 0; // index of its first point
    size_t count = 0;
};

struct Path final : EngineObject {
    PATHOBJ po{};
    std::vector<POINTFIX> points;
    std::vector<PathRecord> records;
    bool subpathOpen = false; // the last record's subpath can still grow
    bool haveCurrent = false;
    POINTFIX current{};
    POINTFIX subpathStart{};
    size_t enumNext = 0;
    // The bounds of the points handed out (a trailing start point alone is
    // not), kept as points come: no walk over them when they are asked for.
    RECTFX bounds{};
    bool haveBounds = false;
    void* Record() override { return &po; }

    bool MoveTo(POINTFIX pt);
    bool AddPoints(const POINTFIX* pts, ULONG count, bool beziers);
    bool CloseFigure();
    void AddRectangle(const RECTL& r); // a closed subpath around r, in whole pixels
    // Empty as a new path, keeping its storage (spare objects).
    bool Clear();
};
// A new registered path (nullptr when out of memory).
Path* NewPathLocked();

struct Clip final : EngineObject {
    CLIPOBJ co{};
    std::vector<RECTL> rects; // banded region; for DC_TRIVIAL and DC_RECT empty
    std::vector<RECTL> order; // the rectangles of the running enumeration
    size_t enumNext = 0;
    bool enumStarted = false;
    void* Record() override { return &co; }
    // As a new clip, keeping its storage (spare objects).
    bool Clear();
};
// Clears a spare object's list, keeping its storage unless it grew past what
// drawing calls need (a spare holds little).
template <class T> void ClearKept(std::vector<T>& v) {
    constexpr size_t kKeptBytes = 64 * 1024;
    if (v.capacity() * sizeof(T) > kKeptBytes)
        std::vector<T>().swap(v);
    else
        v.clear();
}

// The normalized region of the rectangles: non-empty, non-overlapping, in bands
// from top to bottom and left to right within a band, equal neighbouring bands
// merged.
std::vector<RECTL> NormalizeRegion(const RECTL* rects, size_t count);

} // namespace platform::engine
