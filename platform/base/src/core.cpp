// Last error, machine root, fault injection and the machine database.
#include "platform/core.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/testctl.h"
#include "win/errors.h"

namespace {

thread_local DWORD tLastError = 0;

std::mutex gMutex;
std::string gRoot;
// Set (under gMutex) once gRoot is known: every path and every spooler call
// asks for the root, and after the first they read it without the lock.
std::atomic<bool> gRootKnown{false};
// Bumped by ResetForTests so threads reopen their connection; read without
// the lock by every statement.
std::atomic<unsigned> gGeneration{1};

struct FaultPlan {
    int skip = 0;
    int count = 0;
    DWORD error = 0;
};
std::map<std::string, FaultPlan, std::less<>> gFaults;
// Exports still to fail at the export barrier (FailNextExports).
std::atomic<int> gExportFaults{0};
// How many plans gFaults holds, read without the lock: a call with no fault
// asked for takes none.
std::atomic<size_t> gFaultPlans{0};
// Calls of each fault point by the address of its name (every call passes a
// literal), told apart by name only when a test asks: a fault point is on
// every hot path and must cost no string and no lock. A fixed table of
// slots, each claimed by the first call of a point; the points past its room
// are counted in gCalls under gMutex.
struct CallSlot {
    std::atomic<const char*> name{nullptr};
    std::atomic<int> count{0};
};
// A power of two, about four times the points there are: the table's pages are
// touched by the first call of every point in every process, so it is kept to
// four of them.
constexpr size_t kCallSlots = 1024;
constexpr unsigned kCallSlotBits = 10;
static_assert(kCallSlots == size_t{1} << kCallSlotBits);
CallSlot gCallSlots[kCallSlots];
std::unordered_map<const char*, int> gCalls;

void CountCall(const char* function) {
    size_t at = (reinterpret_cast<uintptr_t>(function) >> 3) * 0x9E3779B97F4A7C15ull >>
                (64 - kCallSlotBits);
    for (size_t probe = 0; probe < 64; ++probe, at = (at + 1) & (kCallSlots - 1)) {
        CallSlot& slot = gCallSlots[at];
        const char* held = slot.name.load(std::memory_order_acquire);
        if (held == nullptr &&
            slot.name.compare_exchange_strong(held, function, std::memory_order_acq_rel))
            held = function;
        if (held == function) {
            slot.count.fetch_add(1, std::memory_order_relaxed);
            return;
        }
    }
    std::lock_guard lock(gMutex);
    ++gCalls[function];
}

// Called with gMutex held.
std::map<std::string, int> CallsByName() {
    std::map<std::string, int> byName;
    for (const CallSlot& slot : gCallSlots) {
        const char* name = slot.name.load(std::memory_order_acquire);
        int count = slot.count.load(std::memory_order_relaxed);
        if (name && count > 0) byName[name] += count;
    }
    for (const auto& [name, count] : gCalls)
        byName[name] += count;
    return byName;
}

// Called with gMutex held.
void ForgetCalls() {
    for (CallSlot& slot : gCallSlots)
        slot.count.store(0, std::memory_order_relaxed);
    gCalls.clear();
}
std::vector<std::string> gSchemas;
std::atomic<size_t> gSchemaCount{0}; // gSchemas.size(), published after each schema is added
std::vector<void (*)()> gResetHooks;

std::string DefaultRoot() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        return std::string(data) + "/printhost";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.local/share/printhost";
    return "/tmp/printhost";
}

} // namespace

extern "C" {
DWORD WINAPI GetLastError(void) {
    return tLastError;
}
void WINAPI SetLastError(DWORD dwErrCode) {
    tLastError = dwErrCode;
}
}

namespace platform {

const std::string& MachineRoot() {
    if (gRootKnown.load(std::memory_order_acquire)) return gRoot;
    std::lock_guard lock(gMutex);
    if (!gRootKnown.load(std::memory_order_relaxed)) {
        const char* env = std::getenv("PRINTHOST_ROOT");
        gRoot = (env && *env) ? std::string(env) : DefaultRoot();
        while (gRoot.size() > 1 && gRoot.back() == '/')
            gRoot.pop_back();
        std::error_code ec;
        std::filesystem::create_directories(gRoot, ec);
        gRootKnown.store(true, std::memory_order_release);
    }
    return gRoot;
}

bool ShouldFail(const char* function, DWORD* error) {
    CountCall(function);
    if (gFaultPlans.load(std::memory_order_acquire) == 0) return false;
    std::lock_guard lock(gMutex);
    auto it = gFaults.find(std::string_view(function));
    if (it == gFaults.end()) return false;
    FaultPlan& plan = it->second;
    if (plan.skip > 0) {
        --plan.skip;
        return false;
    }
    if (plan.count <= 0) return false;
    --plan.count;
    *error = plan.error;
    return true;
}

void RegisterResetHook(void (*hook)()) {
    std::lock_guard lock(gMutex);
    gResetHooks.push_back(hook);
}

namespace {

// Statements of distinct SQL kept per connection; beyond this (SQL built at
// run time with values in it) a statement is finalized after use.
constexpr size_t kMaxKeptStatements = 512;

struct SqlHash {
    using is_transparent = void;
    size_t operator()(std::string_view sql) const { return std::hash<std::string_view>()(sql); }
};

struct ThreadConnection {
    sqlite3* db = nullptr;
    unsigned generation = 0;
    size_t schemasApplied = 0;
    // Idle prepared statements by their SQL text; a statement in use is out of
    // the map, so a nested use of the same SQL prepares another one.
    std::unordered_map<std::string, std::vector<sqlite3_stmt*>, SqlHash, std::equal_to<>> idle;

    void Close() {
        for (auto& [sql, list] : idle)
            for (sqlite3_stmt* stmt : list)
                sqlite3_finalize(stmt);
        idle.clear();
        // A statement still in use keeps the connection until it is finalized.
        if (db) sqlite3_close_v2(db);
        db = nullptr;
    }
    ~ThreadConnection() { Close(); }
};
thread_local ThreadConnection tConn;

void Exec(sqlite3* db, const char* sql) {
    char* msg = nullptr;
    for (int attempt = 0;; ++attempt) {
        int rc = sqlite3_exec(db, sql, nullptr, nullptr, &msg);
        if (rc == SQLITE_OK) return;
        std::string text = msg ? msg : sqlite3_errstr(rc);
        sqlite3_free(msg);
        msg = nullptr;
        if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && attempt < 200) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        throw std::runtime_error("machine database: " + text);
    }
}

// Whether the schema's text was applied to the database before, by any
// process: then its definitions are there as it gives them.
bool SchemaApplied(sqlite3* db, const std::string& schema) {
    sqlite3_stmt* stmt = nullptr;
    // A database that has never had a schema applied has no such table yet.
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM platform_schemas WHERE schema = ?1", -1, &stmt,
                           nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return false;
    }
    sqlite3_bind_text(stmt, 1, schema.data(), static_cast<int>(schema.size()), SQLITE_STATIC);
    bool applied = sqlite3_step(stmt) == SQLITE_ROW;
    sqlite3_finalize(stmt);
    return applied;
}

// Applies a schema (definitions that are all "IF NOT EXISTS") and notes its
// text, in one transaction: every process opens the database once per thread,
// and reading the note costs one query where the definitions cost parsing
// every table and index. Inside a transaction of the thread's own the note
// goes with that transaction, so a rollback takes both back.
void ApplySchema(sqlite3* db, const std::string& schema) {
    if (SchemaApplied(db, schema)) return;
    const bool own = sqlite3_get_autocommit(db) != 0;
    if (own) Exec(db, "BEGIN IMMEDIATE");
    try {
        Exec(db, schema.c_str());
        Exec(db, "CREATE TABLE IF NOT EXISTS platform_schemas (schema TEXT PRIMARY KEY)");
        sqlite3_stmt* stmt = nullptr;
        int rc = sqlite3_prepare_v2(db, "INSERT OR IGNORE INTO platform_schemas VALUES (?1)", -1,
                                    &stmt, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_bind_text(stmt, 1, schema.data(), static_cast<int>(schema.size()),
                              SQLITE_STATIC);
            rc = sqlite3_step(stmt);
        }
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            throw std::runtime_error(std::string("machine database: ") + sqlite3_errmsg(db));
        if (own) Exec(db, "COMMIT");
    } catch (...) {
        if (own) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

} // namespace

sqlite3* MachineDb::Connection() {
    const std::string& root = MachineRoot();
    const unsigned generation = gGeneration.load(std::memory_order_acquire);
    const size_t schemaCount = gSchemaCount.load(std::memory_order_acquire);
    if (tConn.db && tConn.generation != generation) tConn.Close();
    if (!tConn.db) {
        std::string path = root + "/machine.db";
        sqlite3* db = nullptr;
        int rc = sqlite3_open_v2(path.c_str(), &db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
        if (rc != SQLITE_OK) {
            std::string text = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
            sqlite3_close(db);
            throw std::runtime_error("cannot open " + path + ": " + text);
        }
        chmod(path.c_str(), 0600);
        sqlite3_busy_timeout(db, 10000);
        tConn.db = db;
        tConn.generation = generation;
        tConn.schemasApplied = 0;
        Exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
    }
    while (tConn.schemasApplied < schemaCount) {
        std::string schema;
        {
            std::lock_guard lock(gMutex);
            schema = gSchemas[tConn.schemasApplied];
        }
        ApplySchema(tConn.db, schema);
        ++tConn.schemasApplied;
    }
    return tConn.db;
}

sqlite3_stmt* MachineDb::AcquireStatement(const char* sql) {
    sqlite3* db = Connection();
    auto it = tConn.idle.find(std::string_view(sql));
    if (it != tConn.idle.end() && !it->second.empty()) {
        sqlite3_stmt* stmt = it->second.back();
        it->second.pop_back();
        return stmt;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        throw std::runtime_error(std::string("machine database: prepare: ") + sqlite3_errmsg(db));
    }
    return stmt;
}

void MachineDb::ReleaseStatement(sqlite3_stmt* stmt) {
    if (!stmt) return;
    // Reset at once: a read statement left stepping would hold its snapshot
    // and keep every later read of this thread from seeing other writers.
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    if (sqlite3_db_handle(stmt) != tConn.db) { // its connection was closed meanwhile
        sqlite3_finalize(stmt);
        return;
    }
    const char* sql = sqlite3_sql(stmt);
    auto it = tConn.idle.find(std::string_view(sql));
    if (it == tConn.idle.end()) {
        if (tConn.idle.size() >= kMaxKeptStatements) {
            sqlite3_finalize(stmt);
            return;
        }
        it = tConn.idle.emplace(sql, std::vector<sqlite3_stmt*>()).first;
    }
    if (it->second.size() >= 4) { // nested uses of one SQL are rare and shallow
        sqlite3_finalize(stmt);
        return;
    }
    it->second.push_back(stmt);
}

void MachineDb::RegisterSchema(const char* sql) {
    std::lock_guard lock(gMutex);
    for (const auto& s : gSchemas)
        if (s == sql) return;
    gSchemas.emplace_back(sql);
    gSchemaCount.store(gSchemas.size(), std::memory_order_release);
}

namespace {

// A statement without rows run through the kept statements (BEGIN and COMMIT
// on every write), retried while the database is busy as Exec retries.
void RunKept(const char* sql) {
    sqlite3_stmt* stmt = MachineDb::AcquireStatement(sql);
    for (int attempt = 0;; ++attempt) {
        int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE || rc == SQLITE_ROW) break;
        sqlite3_reset(stmt);
        if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && attempt < 200) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        std::string text = sqlite3_errmsg(sqlite3_db_handle(stmt));
        MachineDb::ReleaseStatement(stmt);
        throw std::runtime_error("machine database: " + text);
    }
    MachineDb::ReleaseStatement(stmt);
}

} // namespace

bool MachineDb::Begin() {
    try {
        RunKept("BEGIN IMMEDIATE");
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool MachineDb::Commit() {
    try {
        RunKept("COMMIT");
        return true;
    } catch (const std::exception&) {
        Rollback();
        return false;
    }
}

void MachineDb::Rollback() {
    if (tConn.db) sqlite3_exec(tConn.db, "ROLLBACK", nullptr, nullptr, nullptr);
}

} // namespace platform

namespace platform::test {

void ResetForTests() {
    std::vector<void (*)()> hooks;
    {
        std::lock_guard lock(gMutex);
        gRootKnown.store(false, std::memory_order_relaxed);
        gRoot.clear();
        gFaults.clear();
        gFaultPlans = 0;
        ForgetCalls();
        gExportFaults = 0;
        ++gGeneration;
        hooks = gResetHooks;
    }
    tConn.Close();
    for (auto hook : hooks)
        hook();
    SetLastError(0);
}

void FailNext(const std::string& function, int count, DWORD error, int skip) {
    std::lock_guard lock(gMutex);
    gFaults[function] = FaultPlan{skip, count, error};
    gFaultPlans = gFaults.size();
}

void ClearFaults() {
    std::lock_guard lock(gMutex);
    gFaults.clear();
    gFaultPlans = 0;
    gExportFaults = 0;
}

void FailNextExports(int count) {
    gExportFaults = count;
}

bool TakeExportFault() noexcept {
    // One atomic read when no fault is asked: every export and hook asks.
    int left = gExportFaults.load(std::memory_order_relaxed);
    while (left > 0)
        if (gExportFaults.compare_exchange_weak(left, left - 1)) return true;
    return false;
}

std::map<std::string, int> FaultPointCalls() {
    std::lock_guard lock(gMutex);
    return CallsByName();
}

int CallCount(const std::string& function) {
    std::lock_guard lock(gMutex);
    auto byName = CallsByName();
    auto it = byName.find(function);
    return it == byName.end() ? 0 : it->second;
}

} // namespace platform::test
