// Which store an address names: a PostgreSQL connection URI, or else the path of an SQLite file.
#include "server/db.h"

#include <string_view>

bool postgres_address(const std::string& store) {
    const std::string_view s = store;
    return s.starts_with("postgresql://") || s.starts_with("postgres://");
}

std::unique_ptr<DbConnection> open_connection(const std::string& store) {
    return postgres_address(store) ? open_postgres(store) : open_sqlite(store);
}
