#include "server/results_store.h"

#include <algorithm>
#include <cstdlib>

namespace {

const char* const kUploadColumns =
    "id, account, uploaded, stamp, s_integer, s_float, s_memory, s_ddraw, s_disk, flags, width, "
    "height, bits, machine, settings, mark, mark_business, mark_game";

std::vector<std::string> schema(Dialect dialect) {
    const std::string key =
        dialect == Dialect::kSqlite ? "INTEGER PRIMARY KEY AUTOINCREMENT" : "BIGSERIAL PRIMARY KEY";
    const std::string real = dialect == Dialect::kSqlite ? "REAL" : "DOUBLE PRECISION";
    return {
        "CREATE TABLE IF NOT EXISTS accounts (id " + key +
            ", mail TEXT NOT NULL UNIQUE, hash TEXT NOT NULL, created BIGINT NOT NULL)",
        "CREATE TABLE IF NOT EXISTS uploads (id " + key +
            ", account BIGINT NOT NULL REFERENCES accounts(id), digest TEXT NOT NULL UNIQUE, "
            "uploaded BIGINT NOT NULL, stamp TEXT NOT NULL, s_integer " +
            real + " NOT NULL, s_float " + real + " NOT NULL, s_memory " + real +
            " NOT NULL, s_ddraw " + real + " NOT NULL, s_disk " + real +
            " NOT NULL, flags INTEGER NOT NULL, width INTEGER NOT NULL, height INTEGER NOT NULL, "
            "bits INTEGER NOT NULL, machine TEXT NOT NULL, settings TEXT NOT NULL, mark " +
            real + " NOT NULL, mark_business " + real + " NOT NULL, mark_game " + real +
            " NOT NULL)",
        "CREATE INDEX IF NOT EXISTS uploads_by_mark ON uploads (flags, mark)",
        "CREATE INDEX IF NOT EXISTS uploads_by_account ON uploads (account)",
        "CREATE TABLE IF NOT EXISTS sessions (digest TEXT PRIMARY KEY, account BIGINT NOT NULL "
        "REFERENCES accounts(id), csrf TEXT NOT NULL, expires BIGINT NOT NULL)",
        "CREATE TABLE IF NOT EXISTS attempts (id " + key +
            ", scope TEXT NOT NULL, name TEXT NOT NULL, at BIGINT NOT NULL)",
        "CREATE INDEX IF NOT EXISTS attempts_by_name ON attempts (scope, name, at)",
        "CREATE INDEX IF NOT EXISTS attempts_by_time ON attempts (at)",
        "CREATE TABLE IF NOT EXISTS summary (id INTEGER PRIMARY KEY, standard BIGINT NOT NULL, "
        "s_integer " +
            real + ", s_float " + real + ", s_memory " + real + ", s_ddraw " + real + ", s_disk " +
            real + ", mark " + real + ", mark_business " + real + ", mark_game " + real + ")",
        "CREATE TABLE IF NOT EXISTS upload_json (id BIGINT PRIMARY KEY REFERENCES uploads(id) "
        "ON DELETE CASCADE, json TEXT NOT NULL)",
        "CREATE TABLE IF NOT EXISTS feedback (id " + key +
            ", created BIGINT NOT NULL, name TEXT NOT NULL, mail TEXT NOT NULL, message TEXT NOT "
            "NULL)",
    };
}

int64_t integer(const DbCell& cell) {
    return cell ? std::strtoll(cell->c_str(), nullptr, 10) : 0;
}
double real(const DbCell& cell) {
    return cell ? std::strtod(cell->c_str(), nullptr) : 0.0;
}
std::string text(const DbCell& cell) {
    return cell.value_or("");
}

StoredUpload upload_of(const DbRow& row) {
    StoredUpload u;
    u.id = integer(row[0]);
    u.account = integer(row[1]);
    u.uploaded = integer(row[2]);
    u.stamp = text(row[3]);
    for (int k = 0; k < kUploadTests; ++k)
        u.speeds[k] = real(row[4 + k]);
    u.flags = static_cast<uint32_t>(integer(row[9]));
    u.width = static_cast<int>(integer(row[10]));
    u.height = static_cast<int>(integer(row[11]));
    u.bits = static_cast<int>(integer(row[12]));
    u.machine = text(row[13]);
    u.settings = text(row[14]);
    for (int m = 0; m < 3; ++m)
        u.marks[m] = real(row[15 + m]);
    return u;
}

const char* sort_column(SortKey key) {
    switch (key) {
    case SortKey::kInteger:
        return "s_integer";
    case SortKey::kFloat:
        return "s_float";
    case SortKey::kMemory:
        return "s_memory";
    case SortKey::kDirectDraw:
        return "s_ddraw";
    case SortKey::kDisk:
        return "s_disk";
    case SortKey::kMark:
        break;
    }
    return "mark";
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

} // namespace

class ResultsStore::Lease {
public:
    explicit Lease(ResultsStore& store) : store_(store), connection_(store.take()) {}
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease() { store_.give_back(std::move(connection_)); }
    DbRows run(const std::string& sql, const std::vector<DbValue>& params = {}) {
        return connection_->run(sql, params);
    }

private:
    ResultsStore& store_;
    std::unique_ptr<DbConnection> connection_;
};

ResultsStore::ResultsStore(const std::string& store, int connections) : store_(store) {
    for (int i = 0; i < std::max(connections, 1); ++i)
        idle_.push_back(open_connection(store));
    dialect_ = idle_.front()->dialect();
    Lease lease(*this);
    // Instances that start together against one PostgreSQL database make the tables in turn.
    if (dialect_ == Dialect::kPostgres)
        lease.run("SELECT pg_advisory_lock(8642)");
    for (const std::string& statement : schema(dialect_))
        lease.run(statement);
    if (dialect_ == Dialect::kPostgres)
        lease.run("SELECT pg_advisory_unlock(8642)");
}

std::unique_ptr<DbConnection> ResultsStore::take() {
    std::unique_lock lock(mutex_);
    returned_.wait(lock, [&] { return !idle_.empty(); });
    std::unique_ptr<DbConnection> connection = std::move(idle_.back());
    idle_.pop_back();
    return connection;
}

void ResultsStore::give_back(std::unique_ptr<DbConnection> connection) {
    {
        std::lock_guard lock(mutex_);
        idle_.push_back(std::move(connection));
    }
    returned_.notify_one();
}

std::optional<Account> ResultsStore::account(const std::string& mail) {
    Lease lease(*this);
    const DbRows rows = lease.run("SELECT id, mail, hash FROM accounts WHERE mail = ?", {mail});
    if (rows.empty())
        return std::nullopt;
    return Account{integer(rows[0][0]), text(rows[0][1]), text(rows[0][2])};
}

Account ResultsStore::add_account(const std::string& mail, const std::string& hash, int64_t now) {
    {
        Lease lease(*this);
        lease.run("INSERT INTO accounts (mail, hash, created) VALUES (?, ?, ?) "
                  "ON CONFLICT (mail) DO NOTHING",
                  {mail, hash, now});
    }
    std::optional<Account> stored = account(mail);
    if (!stored)
        throw DbError("the new account cannot be read back");
    return *stored;
}

std::pair<int64_t, bool> ResultsStore::add_upload(int64_t account, const std::string& digest,
                                                  const UploadFacts& f, const double marks[3],
                                                  int64_t now) {
    Lease lease(*this);
    const DbRows added = lease.run(
        "INSERT INTO uploads (account, digest, uploaded, stamp, s_integer, s_float, s_memory, "
        "s_ddraw, s_disk, flags, width, height, bits, machine, settings, mark, mark_business, "
        "mark_game) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
        "ON CONFLICT (digest) DO NOTHING RETURNING id",
        {account, digest, now, f.stamp, f.speeds[0], f.speeds[1], f.speeds[2], f.speeds[3],
         f.speeds[4], static_cast<int64_t>(f.flags), static_cast<int64_t>(f.width),
         static_cast<int64_t>(f.height), static_cast<int64_t>(f.bits), f.machine, f.settings,
         marks[0], marks[1], marks[2]});
    if (!added.empty()) {
        if (f.flags == 0)
            refresh_summary(lease);
        return {integer(added[0][0]), true};
    }
    const DbRows existing = lease.run("SELECT id FROM uploads WHERE digest = ?", {digest});
    if (existing.empty())
        throw DbError("the upload was neither stored nor found");
    return {integer(existing[0][0]), false};
}

std::vector<StoredUpload> ResultsStore::uploads(const std::string& where_and_order,
                                                const std::vector<DbValue>& params) {
    Lease lease(*this);
    std::vector<StoredUpload> out;
    for (const DbRow& row : lease.run(
             std::string("SELECT ") + kUploadColumns + " FROM uploads " + where_and_order, params))
        out.push_back(upload_of(row));
    return out;
}

std::optional<StoredUpload> ResultsStore::upload(int64_t id) {
    std::vector<StoredUpload> found = uploads("WHERE id = ?", {id});
    if (found.empty())
        return std::nullopt;
    return found[0];
}

std::vector<StoredUpload> ResultsStore::latest(int limit) {
    return uploads("ORDER BY id DESC LIMIT ?", {static_cast<int64_t>(limit)});
}

std::vector<StoredUpload> ResultsStore::ranked(bool standard, SortKey key, int limit) {
    // The column comes from a fixed list, never from the request.
    return uploads(std::string("WHERE ") + (standard ? "flags = 0" : "flags <> 0") + " ORDER BY " +
                       sort_column(key) + " DESC, id ASC LIMIT ?",
                   {static_cast<int64_t>(limit)});
}

std::vector<StoredUpload> ResultsStore::of_account(int64_t account) {
    return uploads("WHERE account = ? ORDER BY id DESC", {account});
}

std::vector<StoredUpload> ResultsStore::all(int limit) {
    return uploads("ORDER BY id ASC LIMIT ?", {static_cast<int64_t>(limit)});
}

bool ResultsStore::remove_upload(int64_t id, int64_t account) {
    Lease lease(*this);
    const DbRows removed = lease.run(
        "DELETE FROM uploads WHERE id = ? AND account = ? RETURNING flags", {id, account});
    if (!removed.empty() && integer(removed[0][0]) == 0)
        refresh_summary(lease);
    return !removed.empty();
}

int64_t ResultsStore::rank_of(int64_t id) {
    Lease lease(*this);
    const DbRows rows = lease.run("SELECT COUNT(*) FROM uploads WHERE flags = 0 AND mark > "
                                  "(SELECT mark FROM uploads WHERE id = ?)",
                                  {id});
    return 1 + integer(rows[0][0]);
}

void ResultsStore::refresh_summary(Lease& lease) {
    const DbRows rows = lease.run("SELECT s_integer, s_float, s_memory, s_ddraw, s_disk, mark, "
                                  "mark_business, mark_game FROM uploads WHERE flags = 0");
    std::vector<DbValue> values{static_cast<int64_t>(rows.size())};
    std::vector<double> column(rows.size());
    for (int c = 0; c < kUploadTests + 3; ++c) {
        for (size_t r = 0; r < rows.size(); ++r)
            column[r] = real(rows[r][c]);
        values.emplace_back(rows.empty() ? DbValue{nullptr} : DbValue{median(column)});
    }
    lease.run("INSERT INTO summary (id, standard, s_integer, s_float, s_memory, s_ddraw, s_disk, "
              "mark, mark_business, mark_game) VALUES (1, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
              "ON CONFLICT (id) DO UPDATE SET standard = excluded.standard, "
              "s_integer = excluded.s_integer, s_float = excluded.s_float, "
              "s_memory = excluded.s_memory, s_ddraw = excluded.s_ddraw, "
              "s_disk = excluded.s_disk, mark = excluded.mark, "
              "mark_business = excluded.mark_business, mark_game = excluded.mark_game",
              values);
}

DbRow ResultsStore::summary() {
    Lease lease(*this);
    const char* const query = "SELECT standard, s_integer, s_float, s_memory, s_ddraw, s_disk, "
                              "mark, mark_business, mark_game FROM summary WHERE id = 1";
    DbRows rows = lease.run(query);
    if (rows.empty()) { // a store from before the summary was kept
        refresh_summary(lease);
        rows = lease.run(query);
    }
    return rows.at(0);
}

int64_t ResultsStore::standard_count() {
    return integer(summary()[0]);
}

std::optional<StoredUpload> ResultsStore::median_standard() {
    const DbRow row = summary();
    if (integer(row[0]) == 0)
        return std::nullopt;
    StoredUpload m;
    for (int c = 0; c < kUploadTests + 3; ++c)
        (c < kUploadTests ? m.speeds[c] : m.marks[c - kUploadTests]) = real(row[1 + c]);
    return m;
}

void ResultsStore::set_json(int64_t id, const std::string& json) {
    Lease lease(*this);
    lease.run("INSERT INTO upload_json (id, json) VALUES (?, ?) ON CONFLICT (id) DO NOTHING",
              {id, json});
}

std::vector<std::pair<int64_t, std::optional<std::string>>> ResultsStore::json_after(int64_t after,
                                                                                     int limit) {
    Lease lease(*this);
    std::vector<std::pair<int64_t, std::optional<std::string>>> out;
    for (const DbRow& row : lease.run("SELECT u.id, j.json FROM uploads u LEFT JOIN upload_json j "
                                      "ON j.id = u.id WHERE u.id > ? ORDER BY u.id LIMIT ?",
                                      {after, static_cast<int64_t>(limit)}))
        out.emplace_back(integer(row[0]), row[1]);
    return out;
}

void ResultsStore::add_session(const std::string& token_digest, int64_t account,
                               const std::string& csrf, int64_t now, int64_t expires) {
    Lease lease(*this);
    lease.run("DELETE FROM sessions WHERE expires < ?", {now});
    lease.run("INSERT INTO sessions (digest, account, csrf, expires) VALUES (?, ?, ?, ?)",
              {token_digest, account, csrf, expires});
}

std::optional<Session> ResultsStore::session(const std::string& token_digest, int64_t now) {
    Lease lease(*this);
    const DbRows rows = lease.run(
        "SELECT s.account, a.mail, s.csrf FROM sessions s JOIN accounts a ON a.id = s.account "
        "WHERE s.digest = ? AND s.expires >= ?",
        {token_digest, now});
    if (rows.empty())
        return std::nullopt;
    return Session{integer(rows[0][0]), text(rows[0][1]), text(rows[0][2])};
}

void ResultsStore::remove_session(const std::string& token_digest) {
    Lease lease(*this);
    lease.run("DELETE FROM sessions WHERE digest = ?", {token_digest});
}

ResultsStore::Place ResultsStore::take_place(const std::string& scope, const std::string& key,
                                             int64_t since, int64_t now) {
    Lease lease(*this);
    const DbRows added = lease.run(
        "INSERT INTO attempts (scope, name, at) VALUES (?, ?, ?) RETURNING id", {scope, key, now});
    Place place;
    place.id = integer(added.at(0).at(0));
    // Counted after the own row is in: of attempts that race, each sees at least those that
    // went in before it, so no more than the limit ever pass.
    const DbRows counted =
        lease.run("SELECT COUNT(*), MAX(CASE WHEN id <> ? THEN at END), MIN(at) FROM attempts "
                  "WHERE scope = ? AND name = ? AND at >= ?",
                  {place.id, scope, key, since});
    place.taken = integer(counted.at(0)[0]);
    place.latest_other = integer(counted.at(0)[1]);
    place.oldest = integer(counted.at(0)[2]);
    if (place.id % 256 == 0)
        lease.run("DELETE FROM attempts WHERE at < ?", {now - 2 * 24 * 3600});
    return place;
}

void ResultsStore::release_place(int64_t id) {
    Lease lease(*this);
    lease.run("DELETE FROM attempts WHERE id = ?", {id});
}

void ResultsStore::add_feedback(const std::string& name, const std::string& mail,
                                const std::string& message, int64_t now) {
    Lease lease(*this);
    lease.run("INSERT INTO feedback (created, name, mail, message) VALUES (?, ?, ?, ?)",
              {now, name, mail, message});
}

int64_t ResultsStore::feedback_count() {
    Lease lease(*this);
    return integer(lease.run("SELECT COUNT(*) FROM feedback")[0][0]);
}
