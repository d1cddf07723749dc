#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "server/results_store.h"

class HttpServer;
// The service's routes over a store: the home page and downloads, the upload, signing in and the
// user's own uploads, the comparisons, the feedback form and the JSON list.

// Passwords (uploads and sign-ins together) are counted before they are checked, and a wrong one
// stays counted for the window. One account from one client address gets `per_pair` wrong ones,
// one address `per_address` over all accounts; then the answer is 429 until the window has
// passed. From anywhere, an account gets `per_account` wrong ones freely, then each further try
// waits twice as long as the one before, up to `longest_wait` seconds: a stranger can slow an
// owner down but never lock them out.
struct PasswordLimits {
    int per_pair = 5;
    int per_address = 20;
    int per_account = 5;
    int longest_wait = 60;
    int window_seconds = 15 * 60;
};

// Writes one client address may make within the window: uploads, new accounts and messages.
struct WriteLimits {
    int uploads = 120;
    int accounts = 20;
    int feedback = 10;
    int window_seconds = 3600;
};

struct ServiceOptions {
    std::string downloads; // the folder holding kalvit-setup.exe and kalvit.zip; may be empty
    PasswordLimits passwords;
    WriteLimits writes;
    std::function<int64_t()> clock; // seconds since 1970, UTC; the system clock when empty
    // Where the request log goes, one line each; standard error when empty.
    std::function<void(const std::string&)> log;
    bool quiet = false; // no request log
};

// Adds the routes, the pages of the server's own refusals and the request log (method, path and
// status; never the query, which carries the upload's password) to `server`.
void mount_service(HttpServer& server, ResultsStore& store, ServiceOptions options);
