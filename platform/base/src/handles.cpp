// The handle table and CloseHandle.
#include "platform/handles.h"

#include <cstring>
#include <mutex>
#include <unordered_map>

#include "platform/core.h"
#include "win/errors.h"
#include "win/files.h"

namespace platform {

namespace {

std::mutex gHandleMutex;
std::unordered_map<ULONG_PTR, std::shared_ptr<HandleObject>> gHandles;
// Handle values are multiples of 4 as on the system; starting well above small
// integers keeps a stray 0/1/-1 from ever naming an object.
ULONG_PTR gNextHandle = 0x1000;

} // namespace

HANDLE InsertHandle(std::shared_ptr<HandleObject> obj) {
    std::lock_guard lock(gHandleMutex);
    ULONG_PTR value = gNextHandle;
    gNextHandle += 4;
    gHandles.emplace(value, std::move(obj));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<HandleObject> LookupHandle(HANDLE h) {
    std::lock_guard lock(gHandleMutex);
    auto it = gHandles.find(reinterpret_cast<ULONG_PTR>(h));
    return it == gHandles.end() ? nullptr : it->second;
}

std::shared_ptr<HandleObject> RemoveHandle(HANDLE h) {
    std::lock_guard lock(gHandleMutex);
    auto it = gHandles.find(reinterpret_cast<ULONG_PTR>(h));
    if (it == gHandles.end()) return nullptr;
    std::shared_ptr<HandleObject> obj = std::move(it->second);
    gHandles.erase(it);
    return obj;
}

namespace test {

size_t OpenHandleCount(const char* kind) {
    std::lock_guard lock(gHandleMutex);
    if (!kind) return gHandles.size();
    size_t n = 0;
    for (const auto& [value, obj] : gHandles)
        if (std::strcmp(obj->KindName(), kind) == 0) ++n;
    return n;
}

std::map<std::string, size_t> OpenHandleKinds() {
    std::lock_guard lock(gHandleMutex);
    std::map<std::string, size_t> kinds;
    for (const auto& [value, obj] : gHandles)
        ++kinds[obj->KindName()];
    return kinds;
}

} // namespace test

} // namespace platform

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
    // A close that fails still lets the handle go: the caller has no other way
    // to give it back, and the system's close of a valid handle always does.
    DWORD faultError = ERROR_SUCCESS;
    const bool fault = platform::ShouldFail("CloseHandle", &faultError);
    // The current-process pseudo handle has the value of INVALID_HANDLE_VALUE;
    // closing it is allowed and does nothing.
    if (hObject == INVALID_HANDLE_VALUE) return TRUE;
    std::shared_ptr<platform::HandleObject> obj;
    {
        auto found = platform::LookupHandle(hObject);
        if (!found || !found->ClosableByCloseHandle()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        obj = platform::RemoveHandle(hObject);
    }
    if (!obj) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // The object is released here, outside the table's lock, so that its
    // destructor may itself use the table.
    obj.reset();
    if (fault) {
        SetLastError(faultError);
        return FALSE;
    }
    return TRUE;
}
