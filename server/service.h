#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "server/results_store.h"

namespace httplib {
class Server;
}
// The service's routes over a store: the home page and downloads, the upload, signing in and the
// user's own uploads, the comparisons, the feedback form and the JSON list.

// Failed passwords (uploads and sign-ins together) allowed within the window before the answer
// is 429: per account, and per client address.
struct PasswordLimits {
    int per_account = 5;
    int per_address = 20;
    int window_seconds = 15 * 60;
};

struct ServiceOptions {
    std::string downloads; // the folder holding kalvit-setup.exe and kalvit.zip; may be empty
    PasswordLimits limits;
    std::function<int64_t()> clock; // seconds since 1970, UTC; the system clock when empty
    // Where the request log goes, one line each; standard error when empty.
    std::function<void(const std::string&)> log;
    bool quiet = false; // no request log
};

// Adds the routes, the error pages and the request log (method, path and status; never the
// query, which carries the upload's password) to `server`.
void mount_service(httplib::Server& server, ResultsStore& store, ServiceOptions options);
