// Internals shared by the components of the stand-in platform (not used by
// the package's deliverables, which see only the Win32-shaped headers).
#pragma once

#include <string>
#include <string_view>

#include "win/types.h"

struct sqlite3;
struct sqlite3_stmt;

namespace platform {

// The folder that holds everything persistent: $PRINTHOST_ROOT, or a default
// under the user's data folder. Created on first use.
const std::string& MachineRoot();

// Fault injection: true when a test has asked the named platform function to
// fail now; the error it should report is stored in *error. The name is a
// string literal (calls are counted by its address).
bool ShouldFail(const char* function, DWORD* error);

// Call at the top of a platform function that can fail on the real system:
//   PLATFORM_FAULT_POINT("CreateFileW", INVALID_HANDLE_VALUE);
#define PLATFORM_FAULT_POINT(name, failValue)                                                      \
    do {                                                                                           \
        DWORD platformFaultError_ = 0;                                                             \
        if (::platform::ShouldFail(name, &platformFaultError_)) {                                  \
            ::SetLastError(platformFaultError_);                                                   \
            return failValue;                                                                      \
        }                                                                                          \
    } while (0)

// The machine root's SQLite database (registry, spooler). Each call opens a
// connection that the calling thread keeps; every write is one IMMEDIATE
// transaction so that processes sharing the root never lose an update.
class MachineDb {
  public:
    // The connection for this thread, opened (and the schema of every
    // component created) on first use. Throws std::runtime_error if the
    // database cannot be opened.
    static sqlite3* Connection();

    // Components register their schema (CREATE TABLE IF NOT EXISTS ...)
    // before first use; it runs once per connection.
    static void RegisterSchema(const char* sql);

    // Runs fn inside BEGIN IMMEDIATE ... COMMIT (ROLLBACK if fn returns false
    // or throws). Retries on SQLITE_BUSY. Returns fn's result.
    template <class Fn> static bool Transaction(Fn&& fn);

    // A prepared statement of sql on this thread's connection. Statements are
    // kept per connection and handed out again, reset and unbound, so that a
    // call prepares its SQL once per thread instead of once per use. Every
    // statement acquired goes back through ReleaseStatement.
    static sqlite3_stmt* AcquireStatement(const char* sql);
    static void ReleaseStatement(sqlite3_stmt* stmt);

    static bool Begin();
    static bool Commit();
    static void Rollback();
};

template <class Fn> bool MachineDb::Transaction(Fn&& fn) {
    if (!Begin()) return false;
    bool ok = false;
    try {
        ok = fn();
    } catch (...) {
        Rollback();
        throw;
    }
    if (!ok) {
        Rollback();
        return false;
    }
    return Commit();
}

// Test-only reset of all process state kept by the platform (caches keyed by
// the machine root, open database connections, fault plans). Components
// register a reset hook that PlatformResetForTests() calls.
void RegisterResetHook(void (*hook)());

// The file behind a view of a file mapping that holds [address, address +
// length): a new host descriptor of it (the caller closes it) and the file
// offset of address; -1 when the bytes are no such view.
int DuplicateFileOfView(const void* address, size_t length, unsigned long long* offset);

} // namespace platform
