#include "platform/sql_statement.h"

#include <stdexcept>

#include "platform/core.h"
#include "platform/text.h"

namespace platform {
namespace {

[[noreturn]] void Fail(sqlite3* db, const char* what) {
    throw std::runtime_error(std::string("machine database: ") + what + ": " + sqlite3_errmsg(db));
}

} // namespace

SqlStatement::SqlStatement(const char* sql)
    : db_(MachineDb::Connection()), stmt_(MachineDb::AcquireStatement(sql)) {}

SqlStatement::~SqlStatement() {
    MachineDb::ReleaseStatement(stmt_);
}

SqlStatement& SqlStatement::Bind(int index, std::string_view text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

SqlStatement& SqlStatement::Bind(int index, const std::u16string& text) {
    return Bind(index, std::string_view(ToUtf8(text)));
}

SqlStatement& SqlStatement::Bind(int index, long long value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
}

SqlStatement& SqlStatement::BindBlob(int index, const std::vector<BYTE>& bytes) {
    if (bytes.empty())
        sqlite3_bind_null(stmt_, index);
    else
        sqlite3_bind_blob(stmt_, index, bytes.data(), static_cast<int>(bytes.size()),
                          SQLITE_TRANSIENT);
    return *this;
}

SqlStatement& SqlStatement::Bytes(int index, std::string_view bytes) {
    if (bytes.empty())
        sqlite3_bind_zeroblob(stmt_, index, 0);
    else
        sqlite3_bind_blob64(stmt_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
    return *this;
}

bool SqlStatement::Step() {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    Fail(db_, "step");
}

void SqlStatement::Run() {
    while (Step()) {
    }
}

std::string SqlStatement::Text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    int n = sqlite3_column_bytes(stmt_, column);
    return p ? std::string(p, static_cast<size_t>(n)) : std::string();
}

std::u16string SqlStatement::Wide(int column) const {
    return FromUtf8(Text(column));
}

long long SqlStatement::Int(int column) const {
    return sqlite3_column_int64(stmt_, column);
}

std::vector<BYTE> SqlStatement::Blob(int column) const {
    const auto* p = static_cast<const BYTE*>(sqlite3_column_blob(stmt_, column));
    int n = sqlite3_column_bytes(stmt_, column);
    return p && n > 0 ? std::vector<BYTE>(p, p + n) : std::vector<BYTE>();
}

std::string_view SqlStatement::ColBytes(int column) const {
    const void* p = sqlite3_column_blob(stmt_, column);
    int n = sqlite3_column_bytes(stmt_, column);
    return p ? std::string_view(static_cast<const char*>(p), static_cast<size_t>(n))
             : std::string_view();
}

bool SqlStatement::IsNull(int column) const {
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

int SqlStatement::Changes() const {
    return sqlite3_changes(db_);
}

std::int64_t SqlStatement::LastId() const {
    return sqlite3_last_insert_rowid(db_);
}

} // namespace platform
