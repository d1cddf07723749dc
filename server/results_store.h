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
// What the service keeps: accounts, uploads, sessions, attempts under limits and feedback. Every
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
    // How many standard uploads there are, and the median speed of each test and the median
    // MARKs over them (nothing when there are none): kept as uploads arrive and go, not counted
    // for each page.
    int64_t standard_count();
    std::optional<StoredUpload> median_standard();
    // An upload's entry in the JSON list, made once when it arrives.
    void set_json(int64_t id, const std::string& json);
    // The uploads after `after`, oldest first, up to `limit`, with their stored entries (nothing
    // for one stored before the entries were kept).
    std::vector<std::pair<int64_t, std::optional<std::string>>> json_after(int64_t after,
                                                                           int limit);

    // Also forgets the sessions that expired before `now`.
    void add_session(const std::string& token_digest, int64_t account, const std::string& csrf,
                     int64_t now, int64_t expires);
    std::optional<Session> session(const std::string& token_digest, int64_t now);
    void remove_session(const std::string& token_digest);

    // Attempts that count against a limit (failed passwords, writes), kept in the store so
    // that every instance counts them together. take_place counts one more for `key` under
    // `scope` at `now` before the caller acts, and tells how many there are since `since` with it
    // and when the latest other one and the oldest were; release_place takes one back (refused, or
    // a password that was right).
    struct Place {
        int64_t id = 0;
        int64_t taken = 0;
        int64_t latest_other = 0;
        int64_t oldest = 0;
    };
    Place take_place(const std::string& scope, const std::string& key, int64_t since, int64_t now);
    void release_place(int64_t id);

    void add_feedback(const std::string& name, const std::string& mail, const std::string& text,
                      int64_t now);
    int64_t feedback_count();

private:
    class Lease;
    std::unique_ptr<DbConnection> take();
    void give_back(std::unique_ptr<DbConnection> connection);
    std::vector<StoredUpload> uploads(const std::string& where_and_order,
                                      const std::vector<DbValue>& params);
    void refresh_summary(Lease& lease);
    DbRow summary();

    std::mutex mutex_;
    std::condition_variable returned_;
    std::vector<std::unique_ptr<DbConnection>> idle_;
    std::string store_;
    Dialect dialect_ = Dialect::kSqlite;
};
