// Statements on the machine database, kept per connection and handed out
// again: each use starts fresh (unbound, from the first row), a use of the
// same SQL inside another gets its own statement, and a statement put back
// early holds no snapshot that would hide other connections' writes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "platform/core.h"
#include "platform/sql_statement.h"
#include "platform/testctl.h"
#include "platform_testing/fresh_root.h"

namespace {

using platform::SqlStatement;

void MakeTable() {
    SqlStatement("CREATE TABLE IF NOT EXISTS sql_test(k INTEGER PRIMARY KEY, v TEXT NOT NULL)")
        .Run();
    SqlStatement("DELETE FROM sql_test").Run();
    for (int k = 1; k <= 3; ++k)
        SqlStatement("INSERT INTO sql_test(k, v) VALUES(?, ?)")
            .Int(1, k)
            .Bind(2, "v" + std::to_string(k))
            .Run();
}

std::string Value(int k) {
    SqlStatement s("SELECT v FROM sql_test WHERE k = ?");
    s.Int(1, k);
    return s.Step() ? s.Text(0) : "<none>";
}

TEST(SqlStatement, EveryUseStartsFromTheFirstRowUnbound) {
    MakeTable();
    for (int round = 0; round < 3; ++round) {
        SqlStatement s("SELECT k FROM sql_test ORDER BY k");
        ASSERT_TRUE(s.Step());
        EXPECT_EQ(s.Int(0), 1) << "round " << round;
        // Put back in the middle of its rows.
    }
    EXPECT_EQ(Value(2), "v2");
    // A parameter left unbound is NULL, not the last use's value.
    SqlStatement s("SELECT v FROM sql_test WHERE k = ?");
    EXPECT_FALSE(s.Step());
}

TEST(SqlStatement, TheSameSqlInsideItselfIsAStatementOfItsOwn) {
    MakeTable();
    SqlStatement outer("SELECT k FROM sql_test ORDER BY k");
    std::vector<std::string> seen;
    while (outer.Step()) {
        SqlStatement inner("SELECT k FROM sql_test ORDER BY k");
        int count = 0;
        while (inner.Step())
            ++count;
        EXPECT_EQ(count, 3);
        seen.push_back(Value(static_cast<int>(outer.Int(0))));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"v1", "v2", "v3"}));
}

TEST(SqlStatement, APutBackReadSeesLaterWritesOfOtherConnections) {
    MakeTable();
    {
        SqlStatement s("SELECT v FROM sql_test ORDER BY k");
        ASSERT_TRUE(s.Step()); // its other rows left unread
    }
    // Another thread: another connection.
    std::thread([] { SqlStatement("UPDATE sql_test SET v = 'changed' WHERE k = 1").Run(); }).join();
    SqlStatement s("SELECT v FROM sql_test ORDER BY k");
    ASSERT_TRUE(s.Step());
    EXPECT_EQ(s.Text(0), "changed");
}

TEST(SqlStatement, ARolledBackTransactionLeavesNothing) {
    MakeTable();
    EXPECT_FALSE(platform::MachineDb::Transaction([] {
        SqlStatement("UPDATE sql_test SET v = 'lost' WHERE k = 2").Run();
        return false;
    }));
    EXPECT_EQ(Value(2), "v2");
    EXPECT_TRUE(platform::MachineDb::Transaction([] {
        SqlStatement("UPDATE sql_test SET v = 'kept' WHERE k = 2").Run();
        return true;
    }));
    EXPECT_EQ(Value(2), "kept");
}

// Whether another connection (another thread's) finds the table.
bool AnotherConnectionHasTable(const char* table) {
    bool has = false;
    std::thread([&] {
        SqlStatement s("SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = ?");
        s.Bind(1, table);
        has = s.Step();
    }).join();
    return has;
}

// A database is opened once per thread and process, and a schema applied to
// it once is noted there so that later connections skip its definitions: the
// note must stand exactly where the definitions do.
TEST(SqlStatement, ASchemaIsThereWhereverItWasNotedAsApplied) {
    // Applied on the first connection's use.
    platform::MachineDb::RegisterSchema("CREATE TABLE IF NOT EXISTS schema_test_a(k INTEGER);");
    SqlStatement("SELECT 1").Step();
    EXPECT_TRUE(AnotherConnectionHasTable("schema_test_a"));

    // Applied inside a transaction that is rolled back: the note goes with the
    // table, so the next connection applies the schema again.
    EXPECT_FALSE(platform::MachineDb::Transaction([] {
        platform::MachineDb::RegisterSchema("CREATE TABLE IF NOT EXISTS schema_test_b(k INTEGER);");
        SqlStatement("SELECT 1").Step();
        return false;
    }));
    EXPECT_TRUE(AnotherConnectionHasTable("schema_test_b"));

    // Another machine root is another database: the notes of the first do not hold there.
    const std::string firstRoot = platform_testing::Root();
    setenv("PRINTHOST_ROOT", (firstRoot + "/other-root").c_str(), 1);
    platform::test::ResetForTests();
    EXPECT_TRUE(AnotherConnectionHasTable("schema_test_a"));
    EXPECT_TRUE(AnotherConnectionHasTable("schema_test_b"));
    setenv("PRINTHOST_ROOT", firstRoot.c_str(), 1);
    platform::test::ResetForTests();
}

} // namespace
