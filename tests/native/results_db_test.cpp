// The store connections' contract, over an SQLite file always and over PostgreSQL when
// KALVIT_TEST_POSTGRES holds a server's address (tools/with-postgres.sh starts one). Each
// PostgreSQL run makes a database of its own on that server and drops it afterwards.
#include "server/db.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {
// "标准设置" in UTF-8, whatever the narrow literals' encoding.
const std::string kUtf8Text = "\xe6\xa0\x87\xe5\x87\x86\xe8\xae\xbe\xe7\xbd\xae";

// The address with its database (the last path segment) replaced by `name`.
std::string with_database(const std::string& address, const std::string& name) {
    const size_t query = address.find('?');
    const std::string base = address.substr(0, query);
    const size_t slash = base.rfind('/'), hosts = base.find("://") + 3;
    return (slash >= hosts ? base.substr(0, slash) : base) + "/" + name +
           (query == std::string::npos ? "" : address.substr(query));
}

class Store : public testing::TestWithParam<Dialect> {
protected:
    void SetUp() override {
        const std::string unique =
            "kalvit_test_" + std::to_string(getpid()) + "_" +
            std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
        if (sqlite()) {
            address_ = (std::filesystem::temp_directory_path() / (unique + ".db")).string();
        } else {
            const char* server = std::getenv("KALVIT_TEST_POSTGRES");
            if (!server)
                GTEST_SKIP() << "KALVIT_TEST_POSTGRES is not set: PostgreSQL untested";
            admin_ = open_connection(server);
            admin_->run("CREATE DATABASE " + unique);
            database_ = unique;
            address_ = with_database(server, unique);
        }
        db_ = open_connection(address_);
        ASSERT_EQ(db_->dialect(), GetParam());
    }
    void TearDown() override {
        db_.reset();
        if (!database_.empty())
            admin_->run("DROP DATABASE " + database_ + " WITH (FORCE)");
        if (sqlite() && !address_.empty())
            for (const char* suffix : {"", "-wal", "-shm"})
                std::filesystem::remove(address_ + suffix);
    }
    bool sqlite() const { return GetParam() == Dialect::kSqlite; }
    std::string id_column() const {
        return sqlite() ? "id INTEGER PRIMARY KEY"
                        : "id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY";
    }
    std::string one(const std::string& sql, const std::vector<DbValue>& params = {}) {
        const DbRows rows = db_->run(sql, params);
        return rows.size() == 1 && rows[0].size() == 1 && rows[0][0] ? *rows[0][0]
                                                                     : "(no single value)";
    }

    std::string address_, database_;
    std::unique_ptr<DbConnection> admin_, db_;
};

TEST_P(Store, EveryKindOfValueComesBackAsItWentIn) {
    db_->run("CREATE TABLE v (i BIGINT, r DOUBLE PRECISION, t TEXT)");
    const std::string quoted = "it's \"quoted\" ? -- and no comment";
    const struct {
        const char* column;
        DbValue value;
        DbCell expected;
    } cases[] = {
        {"i", int64_t{9007199254740993}, "9007199254740993"}, // 2^53 + 1: not through a double
        {"i", INT64_MIN, "-9223372036854775808"},
        {"r", 35.7, "35.7"},
        {"r", -1234.56789012, "-1234.56789012"}, // more digits than six
        {"t", quoted, quoted},
        {"t", kUtf8Text, kUtf8Text},
        {"t", std::string(), std::string()}, // empty text is no NULL
        {"t", nullptr, std::nullopt},
        {"i", nullptr, std::nullopt},
    };
    for (const auto& c : cases) {
        const std::string column = c.column;
        db_->run("DELETE FROM v");
        db_->run("INSERT INTO v (" + column + ") VALUES (?)", {c.value});
        const DbRows rows = db_->run("SELECT " + column + " FROM v");
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0], DbRow{c.expected}) << column << " " << c.value.index();
    }
    EXPECT_EQ(one("SELECT length(?)", {kUtf8Text}), "4"); // characters, not bytes
}

TEST_P(Store, PlaceholdersCountInOrderOutsideQuotesAndComments) {
    const DbRows rows = db_->run("SELECT ? AS a, '?' AS b, 'it''s ?' AS c, ? AS \"d?\" -- ?\n"
                                 " /* ? */ , ? AS e",
                                 {std::string("x"), std::string("y"), std::string("z")});
    EXPECT_EQ(rows, (DbRows{{"x", "?", "it's ?", "y", "z"}}));
}

TEST_P(Store, ErrorsThrowWithoutTheBoundValues) {
    db_->run("CREATE TABLE k (n BIGINT PRIMARY KEY)");
    db_->run("CREATE TABLE u (name TEXT NOT NULL UNIQUE, n BIGINT NOT NULL REFERENCES k (n))");
    db_->run("INSERT INTO k (n) VALUES (1)");
    db_->run("INSERT INTO u (name, n) VALUES (?, ?)", {std::string("hush-taken"), int64_t{1}});
    const std::string insert = "INSERT INTO u (name, n) VALUES (?, ?)";
    const struct {
        bool postgres_only;
        std::string sql;
        std::vector<DbValue> params;
    } cases[] = {
        {false, insert, {std::string("hush-taken"), int64_t{1}}}, // unique
        {false, insert, {std::string("hush-null"), nullptr}},     // not null
        {false, insert, {std::string("hush-key"), int64_t{2}}},   // foreign key
        {false, "SELEC ?", {std::string("hush-syntax")}},
        {false, "SELECT n FROM missing WHERE n = ?", {std::string("hush-table")}},
        {false, "SELECT ?", {std::string("hush-1"), std::string("hush-2")}},
        {false, "SELECT ?, ?", {std::string("hush-one")}},
        {false, "SELECT 1; SELECT 2", {}},
        {true, insert, {std::string("x"), std::string("hush-number")}}, // not a bigint
    };
    for (const auto& c : cases) {
        if (c.postgres_only && sqlite())
            continue;
        try {
            db_->run(c.sql, c.params);
            ADD_FAILURE() << "no DbError from " << c.sql;
        } catch (const DbError& e) {
            const std::string message = e.what();
            EXPECT_NE(message, "") << c.sql;
            EXPECT_EQ(message.find("hush"), std::string::npos) << c.sql << ": " << message;
        }
    }
    EXPECT_EQ(one("SELECT count(*) FROM u"), "1"); // and the connection still works
}

TEST_P(Store, InsertOnConflictDoNothingReturnsOnlyANewId) {
    db_->run("CREATE TABLE names (" + id_column() + ", name TEXT NOT NULL UNIQUE)");
    const std::string insert =
        "INSERT INTO names (name) VALUES (?) ON CONFLICT DO NOTHING RETURNING id";
    const std::string first = one(insert, {std::string("a")});
    EXPECT_EQ(db_->run(insert, {std::string("a")}), DbRows{});
    EXPECT_NE(one(insert, {std::string("b")}), first);
    EXPECT_EQ(one("SELECT id FROM names WHERE name = ?", {std::string("a")}), first);
}

TEST_P(Store, ConnectionsSeeEachOthersCommittedRowsAndWaitForEachOther) {
    auto other = open_connection(address_);
    db_->run("CREATE TABLE s (n BIGINT)");
    db_->run("BEGIN");
    db_->run("INSERT INTO s (n) VALUES (1)");
    EXPECT_EQ(other->run("SELECT count(*) FROM s"), (DbRows{{"0"}}));
    // A second writer meanwhile waits for the first's commit instead of failing.
    std::string failure;
    std::thread writer([&] {
        try {
            other->run("INSERT INTO s (n) VALUES (2)");
        } catch (const DbError& e) {
            failure = e.what();
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    db_->run("COMMIT");
    writer.join();
    EXPECT_EQ(failure, "");
    EXPECT_EQ(one("SELECT sum(n) FROM s"), "3");
}

TEST_P(Store, ALostConnectionIsMadeAgainForTheNextStatement) {
    if (sqlite())
        GTEST_SKIP() << "PostgreSQL only";
    admin_->run("SELECT pg_terminate_backend(?, 5000)",
                {int64_t{std::stoll(one("SELECT pg_backend_pid()"))}});
    EXPECT_THROW(db_->run("SELECT 1"), DbError);
    EXPECT_EQ(one("SELECT 1"), "1");
}

TEST(SqliteStore, AFileThatCannotBeMadeThrows) {
    EXPECT_THROW(open_connection("/nonexistent-kalvit-dir/results.db"), DbError);
}

INSTANTIATE_TEST_SUITE_P(Stores, Store, testing::Values(Dialect::kSqlite, Dialect::kPostgres),
                         [](const auto& info) {
                             return info.param == Dialect::kSqlite ? "Sqlite" : "Postgres";
                         });
} // namespace
