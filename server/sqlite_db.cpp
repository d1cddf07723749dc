// The embedded store: one SQLite file in WAL mode, one sqlite3 handle per connection. The
// service's pool hands a connection to one thread at a time, so the handle takes no mutex of its
// own; several connections to the same file, each on its own thread, share it through SQLite's
// file locks and wait for each other up to the busy timeout.
#include "server/db.h"

#include <sqlite3.h>

#include <memory>
#include <string>
#include <type_traits>

namespace {

struct CloseDb {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct FinalizeStmt {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using DbHandle = std::unique_ptr<sqlite3, CloseDb>;
using StmtHandle = std::unique_ptr<sqlite3_stmt, FinalizeStmt>;

[[noreturn]] void fail(sqlite3* db, const std::string& what) {
    throw DbError(what + ": " + sqlite3_errmsg(db));
}

void check_bind(sqlite3* db, int rc) {
    if (rc != SQLITE_OK)
        fail(db, "sqlite: cannot bind a parameter");
}

void bind(sqlite3* db, sqlite3_stmt* stmt, int index, const DbValue& value) {
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::nullptr_t>) {
                check_bind(db, sqlite3_bind_null(stmt, index));
            } else if constexpr (std::is_same_v<T, int64_t>) {
                check_bind(db, sqlite3_bind_int64(stmt, index, v));
            } else if constexpr (std::is_same_v<T, double>) {
                check_bind(db, sqlite3_bind_double(stmt, index, v));
            } else {
                static_assert(std::is_same_v<T, std::string>);
                check_bind(db, sqlite3_bind_text64(stmt, index, v.data(), v.size(),
                                                   SQLITE_TRANSIENT, SQLITE_UTF8));
            }
        },
        value);
}

class SqliteConnection final : public DbConnection {
public:
    explicit SqliteConnection(DbHandle db) : db_(std::move(db)) {}

    Dialect dialect() const override { return Dialect::kSqlite; }

    DbRows run(const std::string& sql, const std::vector<DbValue>& params) override {
        sqlite3* db = db_.get();
        const char* tail = nullptr;
        StmtHandle stmt = prepare(sql.c_str(), static_cast<int>(sql.size()), &tail);
        const char* end = sql.c_str() + sql.size();
        if (tail && tail < end) {
            // Only comments and blanks may follow the statement; a second statement would
            // otherwise be dropped without a word.
            const char* rest = nullptr;
            if (prepare(tail, static_cast<int>(end - tail), &rest))
                throw DbError("sqlite: more than one statement in one call");
        }
        if (!stmt) {
            if (!params.empty())
                throw DbError("sqlite: parameters given to an empty statement");
            return {};
        }

        const int wanted = sqlite3_bind_parameter_count(stmt.get());
        if (wanted != static_cast<int>(params.size()))
            throw DbError("sqlite: the statement takes " + std::to_string(wanted) +
                          " parameters, " + std::to_string(params.size()) + " given");
        for (int i = 0; i < wanted; ++i)
            bind(db, stmt.get(), i + 1, params[i]);

        DbRows rows;
        const int columns = sqlite3_column_count(stmt.get());
        for (;;) {
            const int rc = sqlite3_step(stmt.get());
            if (rc == SQLITE_DONE)
                break;
            if (rc != SQLITE_ROW)
                fail(db, "sqlite");
            DbRow row;
            row.reserve(columns);
            for (int c = 0; c < columns; ++c) {
                if (sqlite3_column_type(stmt.get(), c) == SQLITE_NULL) {
                    row.emplace_back(std::nullopt);
                    continue;
                }
                const auto* text =
                    reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), c));
                if (!text)
                    fail(db, "sqlite: cannot read a column"); // out of memory
                row.emplace_back(std::string(text, sqlite3_column_bytes(stmt.get(), c)));
            }
            rows.push_back(std::move(row));
        }
        return rows;
    }

private:
    StmtHandle prepare(const char* sql, int size, const char** tail) {
        sqlite3_stmt* raw = nullptr;
        const int rc = sqlite3_prepare_v2(db_.get(), sql, size, &raw, tail);
        StmtHandle stmt(raw);
        if (rc != SQLITE_OK)
            fail(db_.get(), "sqlite");
        return stmt;
    }

    DbHandle db_;
};

} // namespace

std::unique_ptr<DbConnection> open_sqlite(const std::string& path) {
    sqlite3* raw = nullptr;
    const int rc =
        sqlite3_open_v2(path.c_str(), &raw,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    DbHandle db(raw); // even a failed open leaves a handle to close
    if (!db)
        throw DbError("sqlite: out of memory opening the store");
    if (rc != SQLITE_OK)
        fail(db.get(), "sqlite: cannot open the store");
    sqlite3_extended_result_codes(db.get(), 1);

    auto connection = std::make_unique<SqliteConnection>(std::move(db));
    // The busy timeout first: switching to WAL needs the file's lock, which another
    // connection may be holding right now.
    connection->run("PRAGMA busy_timeout=5000", {});
    const DbRows mode = connection->run("PRAGMA journal_mode=WAL", {});
    const std::string got = mode.empty() || mode[0].empty() || !mode[0][0] ? "" : *mode[0][0];
    if (got != "wal" && got != "memory") // an in-memory database has no journal file
        throw DbError("sqlite: the store cannot use WAL mode (journal mode " + got + ")");
    connection->run("PRAGMA foreign_keys=ON", {});
    connection->run("PRAGMA synchronous=NORMAL", {});
    return connection;
}
