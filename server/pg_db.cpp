// The PostgreSQL store through libpq. Statements are written with SQLite's `?` placeholders and
// numbered `$1, $2, ...` here; every parameter goes as text and the server infers its type from
// where it stands, as it would for a literal.
#include "server/db.h"

#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>

namespace {

struct FinishConn {
    void operator()(PGconn* conn) const { PQfinish(conn); }
};
struct ClearResult {
    void operator()(PGresult* res) const { PQclear(res); }
};
using ConnHandle = std::unique_ptr<PGconn, FinishConn>;
using ResultHandle = std::unique_ptr<PGresult, ClearResult>;

bool ident_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// The statement with each `?` outside string literals, quoted identifiers, dollar-quoted text
// and comments replaced by `$n`; `count` is the number of placeholders.
std::string number_placeholders(const std::string& sql, size_t& count) {
    std::string out;
    out.reserve(sql.size() + 16);
    count = 0;
    const size_t n = sql.size();
    size_t i = 0;
    auto copy_to = [&](size_t end) {
        end = std::min(end, n);
        out.append(sql, i, end - i);
        i = end;
    };
    while (i < n) {
        const char c = sql[i];
        const char next = i + 1 < n ? sql[i + 1] : '\0';
        if (c == '\'') {
            // E'...' takes backslash escapes; elsewhere only a doubled quote stays inside.
            const bool escapes = i > 0 && (sql[i - 1] == 'E' || sql[i - 1] == 'e') &&
                                 (i < 2 || !ident_char(sql[i - 2]));
            size_t j = i + 1;
            while (j < n) {
                if (escapes && sql[j] == '\\') {
                    j += 2;
                } else if (sql[j] == '\'') {
                    if (j + 1 < n && sql[j + 1] == '\'') {
                        j += 2;
                    } else {
                        break;
                    }
                } else {
                    ++j;
                }
            }
            copy_to(j + 1);
        } else if (c == '"') {
            // A doubled quote inside an identifier ends one quoted run and starts the next.
            const size_t close = sql.find('"', i + 1);
            copy_to(close == std::string::npos ? n : close + 1);
        } else if (c == '-' && next == '-') {
            const size_t eol = sql.find('\n', i + 2);
            copy_to(eol == std::string::npos ? n : eol + 1);
        } else if (c == '/' && next == '*') {
            size_t j = i + 2;
            int depth = 1;
            while (j < n && depth > 0) {
                if (sql[j] == '/' && j + 1 < n && sql[j + 1] == '*') {
                    ++depth;
                    j += 2;
                } else if (sql[j] == '*' && j + 1 < n && sql[j + 1] == '/') {
                    --depth;
                    j += 2;
                } else {
                    ++j;
                }
            }
            copy_to(j);
        } else if (c == '$' && (i == 0 || !ident_char(sql[i - 1])) &&
                   !(next >= '0' && next <= '9')) {
            // $tag$...$tag$ (the tag may be empty); `$1` and a lone `$` are left as they are.
            size_t j = i + 1;
            while (j < n && ident_char(sql[j]))
                ++j;
            if (j < n && sql[j] == '$') {
                const std::string tag = sql.substr(i, j + 1 - i);
                const size_t close = sql.find(tag, j + 1);
                copy_to(close == std::string::npos ? n : close + tag.size());
            } else {
                copy_to(i + 1);
            }
        } else if (c == '?') {
            out += '$';
            out += std::to_string(++count);
            ++i;
        } else {
            copy_to(i + 1);
        }
    }
    return out;
}

std::string trimmed(const char* text) {
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    return s;
}

// The server's primary message and error code. Its detail lines ("Key (name)=(...) already
// exists", "Failing row contains ...") and context quote the row, so they are left out, and a
// parameter quoted in the primary message (as in `invalid input syntax for type bigint: "..."`)
// is blanked.
std::string error_text(PGconn* conn, const PGresult* res, const std::vector<std::string>& texts) {
    std::string message;
    const char* primary = res ? PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    if (primary) {
        message = trimmed(primary);
        for (const std::string& value : texts) {
            if (value.empty())
                continue;
            const std::string quoted = '"' + value + '"';
            for (size_t at = message.find(quoted); at != std::string::npos;
                 at = message.find(quoted, at + 3))
                message.replace(at, quoted.size(), "\"...\"");
        }
        if (const char* state = PQresultErrorField(res, PG_DIAG_SQLSTATE))
            message += std::string(" (SQLSTATE ") + state + ")";
    } else {
        // libpq's own messages (a lost connection, a failed send) never hold parameters.
        message = trimmed(res ? PQresultErrorMessage(res) : "");
        if (message.empty())
            message = trimmed(PQerrorMessage(conn));
        if (message.empty() && res)
            message = std::string("unexpected result ") + PQresStatus(PQresultStatus(res));
    }
    return "postgres: " + message;
}

void ignore_notice(void*, const char*) {}

class PgConnection final : public DbConnection {
public:
    explicit PgConnection(ConnHandle conn) : conn_(std::move(conn)) {}

    Dialect dialect() const override { return Dialect::kPostgres; }

    DbRows run(const std::string& sql, const std::vector<DbValue>& params) override {
        PGconn* conn = conn_.get();
        if (PQstatus(conn) == CONNECTION_BAD) {
            // Lost on an earlier call and not yet back. A server that is down costs each
            // connection one try of at most the connect timeout every few seconds, so that a
            // request does not wait on it each time.
            const auto now = std::chrono::steady_clock::now();
            if (now - last_try_ < kRetryPause)
                throw DbError("postgres: no connection (lost a moment ago)");
            last_try_ = now;
            PQreset(conn);
            if (PQstatus(conn) != CONNECTION_OK)
                throw DbError("postgres: no connection: " + trimmed(PQerrorMessage(conn)));
        }

        size_t wanted = 0;
        const std::string numbered = number_placeholders(sql, wanted);
        if (wanted != params.size())
            throw DbError("postgres: the statement takes " + std::to_string(wanted) +
                          " parameters, " + std::to_string(params.size()) + " given");

        std::vector<std::string> texts(params.size());
        std::vector<const char*> values(params.size(), nullptr);
        for (size_t i = 0; i < params.size(); ++i) {
            std::visit(
                [&](const auto& v) {
                    using T = std::decay_t<decltype(v)>;
                    if constexpr (std::is_same_v<T, std::nullptr_t>) {
                        return;
                    } else if constexpr (std::is_same_v<T, int64_t>) {
                        texts[i] = std::to_string(v);
                    } else if constexpr (std::is_same_v<T, double>) {
                        // As "%.17g" prints it, whatever the process's locale.
                        char buffer[40];
                        const auto r = std::to_chars(buffer, buffer + sizeof buffer, v,
                                                     std::chars_format::general, 17);
                        texts[i].assign(buffer, r.ptr);
                    } else {
                        static_assert(std::is_same_v<T, std::string>);
                        if (std::memchr(v.data(), '\0', v.size()))
                            throw DbError("postgres: parameter " + std::to_string(i + 1) +
                                          " holds a NUL character");
                        texts[i] = v;
                    }
                    values[i] = texts[i].c_str();
                },
                params[i]);
        }

        ResultHandle res(PQexecParams(conn, numbered.c_str(), static_cast<int>(values.size()),
                                      nullptr, values.data(), nullptr, nullptr, 0));
        const ExecStatusType status = res ? PQresultStatus(res.get()) : PGRES_FATAL_ERROR;
        if (status == PGRES_TUPLES_OK || status == PGRES_COMMAND_OK)
            return rows_of(res.get());
        if (status == PGRES_EMPTY_QUERY)
            return {};

        std::string message = error_text(conn, res.get(), texts);
        res.reset();
        if (PQstatus(conn) == CONNECTION_BAD) {
            // The statement's fate is unknown, so it is not sent again; the connection is
            // made anew for the next one.
            last_try_ = std::chrono::steady_clock::now();
            PQreset(conn);
            message += PQstatus(conn) == CONNECTION_OK ? " (connection lost, reconnected)"
                                                       : " (connection lost)";
        }
        throw DbError(message);
    }

private:
    static DbRows rows_of(const PGresult* res) {
        const int count = PQntuples(res);
        const int columns = PQnfields(res);
        DbRows rows;
        rows.reserve(count);
        for (int r = 0; r < count; ++r) {
            DbRow row;
            row.reserve(columns);
            for (int c = 0; c < columns; ++c) {
                if (PQgetisnull(res, r, c))
                    row.emplace_back(std::nullopt);
                else
                    row.emplace_back(std::string(PQgetvalue(res, r, c), PQgetlength(res, r, c)));
            }
            rows.push_back(std::move(row));
        }
        return rows;
    }

    static constexpr std::chrono::seconds kRetryPause{5};
    ConnHandle conn_;
    std::chrono::steady_clock::time_point last_try_{};
};

} // namespace

std::unique_ptr<DbConnection> open_postgres(const std::string& address) {
    // Later entries override what the address sets; the encoding and the time limits therefore
    // always hold, also after a reset, which reconnects with these same settings. No connect
    // and no statement holds a worker for longer than a few seconds.
    const char* const keys[] = {"fallback_application_name", "dbname",  "client_encoding",
                                "connect_timeout",           "options", nullptr};
    const char* const values[] = {
        "kalvit-results", address.c_str(), "UTF8", "5", "-c statement_timeout=10000", nullptr};
    ConnHandle conn(PQconnectdbParams(keys, values, 1));
    if (!conn)
        throw DbError("postgres: out of memory opening the connection");
    if (PQstatus(conn.get()) != CONNECTION_OK)
        throw DbError("postgres: cannot connect: " + trimmed(PQerrorMessage(conn.get())));
    if (std::strcmp(pg_encoding_to_char(PQclientEncoding(conn.get())), "UTF8") != 0)
        throw DbError("postgres: the connection does not use UTF-8");
    PQsetNoticeProcessor(conn.get(), ignore_notice, nullptr);
    return std::make_unique<PgConnection>(std::move(conn));
}
