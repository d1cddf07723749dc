#pragma once
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "server/db.h"
#include "server/upload_check.h"
// What the service keeps: accounts, uploads, sessions, failed passwords and feedback. Every
// instance of the service works on the store alone, so several can share one PostgreSQL
// database. Connections come from a pool, one per request at a time.

struct StoredUpload {
    int64_t id = 0;
    int64_t account = 0;
    int64_t uploaded = 0; // server time, seconds since 1970 (UTC)
    std::string stamp;    // the uploader's local time
    double speeds[kUploadTests] = {};
    uint32_t flags = 0;
    int width = 0, height = 0, bits = 0;
    std::string machine, settings;
    double marks[3] = {}; // the MARK under the three weightings; [0] is the MARK itself
    bool standard() const { return flags == 0; }
};

struct Account {
    int64_t id = 0;
    std::string mail, hash;
};

struct Session {
    int64_t account = 0;
    std::string mail, csrf;
};

// The sort keys of the table of all uploads: the MARK, then each test in record order.
enum class SortKey { kMark, kInteger, kFloat, kMemory, kDirectDraw, kDisk };

class ResultsStore {
public:
    // Opens `connections` connections to `store` and makes the tables when they are missing.
    // Throws DbError.
    ResultsStore(const std::string& store, int connections);

    std::optional<Account> account(const std::string& mail);
    // The account of `mail`, made with `hash` unless it exists already (then its hash stays).
    Account add_account(const std::string& mail, const std::string& hash, int64_t now);

    // Stores the upload unless one with the same digest exists; either way returns the stored
    // upload's id, and whether it was new.
    std::pair<int64_t, bool> add_upload(int64_t account, const std::string& digest,
                                        const UploadFacts& facts, const double marks[3],
                                        int64_t now);
    std::optional<StoredUpload> upload(int64_t id);
    std::vector<StoredUpload> latest(int limit);
    // Standard or non-standard uploads, best first by `key`.
    std::vector<StoredUpload> ranked(bool standard, SortKey key, int limit);
    std::vector<StoredUpload> of_account(int64_t account);
    // All uploads, oldest first (the JSON interface).
    std::vector<StoredUpload> all(int limit);
    bool remove_upload(int64_t id, int64_t account);
    // 1 + the standard uploads with a higher MARK than upload `id`'s (compared in the store,
    // since the MARK comes back as text); and how many standard uploads there are.
    int64_t rank_of(int64_t id);
    int64_t standard_count();
    // The median speed of each test and the median MARK over the standard uploads; nothing
    // when there are none.
    std::optional<StoredUpload> median_standard();

    // Also forgets the sessions that expired before `now`.
    void add_session(const std::string& token_digest, int64_t account, const std::string& csrf,
                     int64_t now, int64_t expires);
    std::optional<Session> session(const std::string& token_digest, int64_t now);
    void remove_session(const std::string& token_digest);

    void note_failure(const std::string& scope, const std::string& key, int64_t now);
    int64_t failures_since(const std::string& scope, const std::string& key, int64_t since);

    void add_feedback(const std::string& name, const std::string& mail, const std::string& text,
                      int64_t now);
    int64_t feedback_count();

private:
    class Lease;
    std::unique_ptr<DbConnection> take();
    void give_back(std::unique_ptr<DbConnection> connection);
    std::vector<StoredUpload> uploads(const std::string& where_and_order,
                                      const std::vector<DbValue>& params);

    std::mutex mutex_;
    std::condition_variable returned_;
    std::vector<std::unique_ptr<DbConnection>> idle_;
    std::string store_;
    Dialect dialect_ = Dialect::kSqlite;
};
