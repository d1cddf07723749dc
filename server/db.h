#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>
// The service's view of its store: one connection runs one SQL statement at a time, with `?`
// placeholders bound in order, and answers with its rows as text. The embedded store is an SQLite
// file; a "postgresql://" address selects PostgreSQL.

enum class Dialect { kSqlite, kPostgres };

using DbValue = std::variant<std::nullptr_t, int64_t, double, std::string>;
using DbCell = std::optional<std::string>; // null is std::nullopt
using DbRow = std::vector<DbCell>;
using DbRows = std::vector<DbRow>;

// Every failure of the store, with the store's own message (never the bound values).
class DbError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class DbConnection {
public:
    virtual ~DbConnection() = default;
    virtual Dialect dialect() const = 0;
    // One statement; `?` outside quoted literals are the parameters, in order. Rows come back as
    // text: integers in decimal, reals as the store prints them. Throws DbError.
    virtual DbRows run(const std::string& sql, const std::vector<DbValue>& params = {}) = 0;
};

// An SQLite file (created when missing) in WAL mode, or a PostgreSQL connection for an address
// that starts with "postgresql://" or "postgres://". Throws DbError.
std::unique_ptr<DbConnection> open_connection(const std::string& store);
// Whether `store` names a PostgreSQL server rather than an SQLite file.
bool postgres_address(const std::string& store);

std::unique_ptr<DbConnection> open_sqlite(const std::string& path);
std::unique_ptr<DbConnection> open_postgres(const std::string& address);
