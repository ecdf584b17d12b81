// Global*, Local*, Heap* and CoTaskMem* over the C heap, with counts of live
// blocks so tests can check that everything handed out is given back.
#include "win/memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "platform/core.h"
#include "platform/testctl.h"
#include "win/errors.h"

namespace {

// A global block: the data pointer is the handle of a fixed block; a
// moveable block's handle is the address of its Block record.
struct Block {
    void* data = nullptr;
    SIZE_T size = 0;
    UINT flags = 0;
    int locks = 0;
};

std::mutex gMutex;
std::unordered_map<void*, Block*> gByData; // data pointer -> block
std::unordered_set<Block*> gMoveable;      // handles of moveable blocks
std::atomic<long> gLiveGlobal{0};

struct Heap {
    std::unordered_map<void*, SIZE_T> blocks;
    DWORD options = 0;
};
std::unordered_set<Heap*> gHeaps;
Heap gProcessHeap;
std::atomic<long> gLiveHeap{0};

void* AllocData(SIZE_T bytes, bool zero) {
    // A zero-byte request still gets a distinct address.
    void* p = zero ? std::calloc(1, bytes ? bytes : 1) : std::malloc(bytes ? bytes : 1);
    return p;
}

Block* FindLocked(HGLOBAL h) {
    if (!h) return nullptr;
    if (gMoveable.count(static_cast<Block*>(h))) return static_cast<Block*>(h);
    auto it = gByData.find(h);
    if (it != gByData.end() && !(it->second->flags & GMEM_MOVEABLE)) return it->second;
    return nullptr;
}

Heap* FindHeap(HANDLE h) {
    if (h == &gProcessHeap) return &gProcessHeap;
    auto* heap = static_cast<Heap*>(h);
    return gHeaps.count(heap) ? heap : nullptr;
}

} // namespace

extern "C" {

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    PLATFORM_FAULT_POINT("GlobalAlloc", nullptr);
    void* data = AllocData(dwBytes, uFlags & GMEM_ZEROINIT);
    if (!data) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* block = new (std::nothrow) Block{data, dwBytes, uFlags, 0};
    if (!block) {
        std::free(data);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::lock_guard lock(gMutex);
    gByData[data] = block;
    ++gLiveGlobal;
    if (uFlags & GMEM_MOVEABLE) {
        gMoveable.insert(block);
        return block;
    }
    return data;
}

HGLOBAL WINAPI GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags) {
    PLATFORM_FAULT_POINT("GlobalReAlloc", nullptr);
    std::lock_guard lock(gMutex);
    Block* block = FindLocked(hMem);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (uFlags & GMEM_MODIFY) return hMem;
    bool moveable = block->flags & GMEM_MOVEABLE;
    // A fixed block may only move when GMEM_MOVEABLE is passed; a locked
    // moveable block likewise.
    bool mayMove =
        moveable ? (block->locks == 0 || (uFlags & GMEM_MOVEABLE)) : (uFlags & GMEM_MOVEABLE);
    if (dwBytes > block->size && !mayMove) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* data = std::realloc(block->data, dwBytes ? dwBytes : 1);
    if (!data) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if ((uFlags & GMEM_ZEROINIT) && dwBytes > block->size)
        std::memset(static_cast<char*>(data) + block->size, 0, dwBytes - block->size);
    gByData.erase(block->data);
    block->data = data;
    block->size = dwBytes;
    gByData[data] = block;
    return moveable ? static_cast<HGLOBAL>(block) : data;
}

LPVOID WINAPI GlobalLock(HGLOBAL hMem) {
    std::lock_guard lock(gMutex);
    Block* block = FindLocked(hMem);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (block->flags & GMEM_MOVEABLE) ++block->locks;
    return block->data;
}

BOOL WINAPI GlobalUnlock(HGLOBAL hMem) {
    std::lock_guard lock(gMutex);
    Block* block = FindLocked(hMem);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(block->flags & GMEM_MOVEABLE) || block->locks == 0) {
        SetLastError(ERROR_NOT_LOCKED);
        return FALSE;
    }
    --block->locks;
    if (block->locks == 0) {
        SetLastError(NO_ERROR);
        return FALSE;
    }
    return TRUE;
}

SIZE_T WINAPI GlobalSize(HGLOBAL hMem) {
    std::lock_guard lock(gMutex);
    Block* block = FindLocked(hMem);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return block->size;
}

HGLOBAL WINAPI GlobalHandle(LPCVOID pMem) {
    std::lock_guard lock(gMutex);
    auto it = gByData.find(const_cast<void*>(pMem));
    if (it == gByData.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    Block* block = it->second;
    return (block->flags & GMEM_MOVEABLE) ? static_cast<HGLOBAL>(block) : block->data;
}

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
    if (!hMem) return nullptr;
    std::lock_guard lock(gMutex);
    Block* block = FindLocked(hMem);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return hMem;
    }
    gByData.erase(block->data);
    gMoveable.erase(block);
    std::free(block->data);
    delete block;
    --gLiveGlobal;
    return nullptr;
}

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    return GlobalAlloc(uFlags, uBytes);
}
HLOCAL WINAPI LocalFree(HLOCAL hMem) {
    return GlobalFree(hMem);
}

HANDLE WINAPI HeapCreate(DWORD flOptions, SIZE_T, SIZE_T) {
    PLATFORM_FAULT_POINT("HeapCreate", nullptr);
    auto* heap = new (std::nothrow) Heap;
    if (!heap) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    heap->options = flOptions;
    std::lock_guard lock(gMutex);
    gHeaps.insert(heap);
    return heap;
}

BOOL WINAPI HeapDestroy(HANDLE hHeap) {
    std::lock_guard lock(gMutex);
    Heap* heap = FindHeap(hHeap);
    if (!heap || heap == &gProcessHeap) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Destroying a heap releases every block still in it.
    for (auto& [p, size] : heap->blocks) {
        std::free(p);
        --gLiveHeap;
    }
    gHeaps.erase(heap);
    delete heap;
    return TRUE;
}

LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
    PLATFORM_FAULT_POINT("HeapAlloc", nullptr);
    std::lock_guard lock(gMutex);
    Heap* heap = FindHeap(hHeap);
    if (!heap) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    void* p = AllocData(dwBytes, dwFlags & HEAP_ZERO_MEMORY);
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    heap->blocks[p] = dwBytes;
    ++gLiveHeap;
    return p;
}

LPVOID WINAPI HeapReAlloc(HANDLE hHeap, DWORD dwFlags, LPVOID lpMem, SIZE_T dwBytes) {
    PLATFORM_FAULT_POINT("HeapReAlloc", nullptr);
    std::lock_guard lock(gMutex);
    Heap* heap = FindHeap(hHeap);
    if (!heap || !heap->blocks.count(lpMem)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    SIZE_T old = heap->blocks[lpMem];
    void* p = std::realloc(lpMem, dwBytes ? dwBytes : 1);
    if (!p) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if ((dwFlags & HEAP_ZERO_MEMORY) && dwBytes > old)
        std::memset(static_cast<char*>(p) + old, 0, dwBytes - old);
    heap->blocks.erase(lpMem);
    heap->blocks[p] = dwBytes;
    return p;
}

BOOL WINAPI HeapFree(HANDLE hHeap, DWORD, LPVOID lpMem) {
    if (!lpMem) return TRUE;
    std::lock_guard lock(gMutex);
    Heap* heap = FindHeap(hHeap);
    if (!heap || !heap->blocks.erase(lpMem)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::free(lpMem);
    --gLiveHeap;
    return TRUE;
}

SIZE_T WINAPI HeapSize(HANDLE hHeap, DWORD, LPCVOID lpMem) {
    std::lock_guard lock(gMutex);
    Heap* heap = FindHeap(hHeap);
    if (!heap) return static_cast<SIZE_T>(-1);
    auto it = heap->blocks.find(const_cast<void*>(lpMem));
    return it == heap->blocks.end() ? static_cast<SIZE_T>(-1) : it->second;
}

HANDLE WINAPI GetProcessHeap(void) {
    return &gProcessHeap;
}

LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb) {
    return HeapAlloc(GetProcessHeap(), 0, cb);
}
void WINAPI CoTaskMemFree(LPVOID pv) {
    HeapFree(GetProcessHeap(), 0, pv);
}

} // extern "C"

namespace platform::test {
long LiveGlobalAllocations() {
    return gLiveGlobal.load();
}
long LiveHeapAllocations() {
    return gLiveHeap.load();
}
} // namespace platform::test
