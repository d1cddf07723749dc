// Which store an address names: a PostgreSQL connection URI, or else the path of an SQLite file.
#include "server/db.h"

#include <string_view>

std::unique_ptr<DbConnection> open_connection(const std::string& store) {
    const std::string_view s = store;
    if (s.starts_with("postgresql://") || s.starts_with("postgres://"))
        return open_postgres(store);
    return open_sqlite(store);
}
