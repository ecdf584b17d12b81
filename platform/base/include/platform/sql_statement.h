// One prepared statement on this thread's connection to the machine database
// (platform::MachineDb), for every component that keeps its state there (the
// registry, the spooler). Errors of SQLite throw std::runtime_error; callers
// turn them into the error numbers of their own functions.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "win/types.h"

namespace platform {

class SqlStatement {
  public:
    explicit SqlStatement(const char* sql);
    ~SqlStatement();
    SqlStatement(const SqlStatement&) = delete;
    SqlStatement& operator=(const SqlStatement&) = delete;

    // Parameters, by 1-based index.
    SqlStatement& Bind(int index, std::string_view text); // UTF-8 text
    SqlStatement& Bind(int index, const std::u16string& text);
    SqlStatement& Bind(int index, long long value);
    SqlStatement& Int(int index, std::int64_t value) {
        return Bind(index, static_cast<long long>(value));
    }
    SqlStatement& BindBlob(int index, const std::vector<BYTE>& bytes); // empty binds NULL
    SqlStatement& Bytes(int index, std::string_view bytes); // empty binds a zero-length blob

    // True while a row is available; false when done.
    bool Step();
    // Runs to completion.
    void Run();

    // Columns of the current row, by 0-based index.
    std::string Text(int column) const;
    std::u16string Wide(int column) const;
    long long Int(int column) const;
    std::int64_t ColInt(int column) const { return Int(column); }
    std::vector<BYTE> Blob(int column) const;
    std::string_view ColBytes(int column) const; // valid until the next step
    bool IsNull(int column) const;

    // Of the connection: rows changed by the last statement, the last row id inserted.
    int Changes() const;
    std::int64_t LastId() const;

  private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

} // namespace platform
