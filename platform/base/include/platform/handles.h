// The process's handle table: one registry of kernel objects (files, file
// mappings, find searches, and later processes and events) behind HANDLE values.
//
// A component defines its object kind as a subclass of HandleObject and
// inserts instances with InsertHandle. CloseHandle (and FindClose for searches)
// removes the table entry; the object itself lives on while anything else still
// holds a reference (a mapping keeps its file open, a view keeps its mapping),
// exactly as the system's object references do, and its destructor releases the
// host resources.
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>

#include "win/types.h"

namespace platform {

class HandleObject {
  public:
    virtual ~HandleObject() = default;
    // The kind's name ("File", "FileMapping", "Find", ...), for counts in tests.
    virtual const char* KindName() const = 0;
    // Whether CloseHandle may close it. Search handles close only through
    // FindClose, as on the system.
    virtual bool ClosableByCloseHandle() const { return true; }
};

// Adds obj to the table and returns its new handle (never NULL or
// INVALID_HANDLE_VALUE; values are not reused within the process).
HANDLE InsertHandle(std::shared_ptr<HandleObject> obj);

// The object behind h, or nullptr for an unknown or closed handle.
std::shared_ptr<HandleObject> LookupHandle(HANDLE h);

// The object behind h when it is of kind T, else nullptr.
template <class T> std::shared_ptr<T> LookupHandleAs(HANDLE h) {
    return std::dynamic_pointer_cast<T>(LookupHandle(h));
}

// Removes h from the table and returns its object (nullptr if h was unknown).
// The object is destroyed when the caller's and every other reference are gone.
std::shared_ptr<HandleObject> RemoveHandle(HANDLE h);

namespace test {
// Open handles of the named kind (all kinds when kind is nullptr), so that a
// test can check that what was opened was closed.
size_t OpenHandleCount(const char* kind = nullptr);
// Open handles by kind ("File", "Event", ...).
std::map<std::string, size_t> OpenHandleKinds();
} // namespace test

} // namespace platform
