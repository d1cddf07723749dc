// kalvit-results: the web site the program's upload, account and comparison links lead to.
#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "server/results_store.h"
#include "server/service.h"

namespace {

httplib::Server* running = nullptr;

void stop_on_signal(int) {
    if (running != nullptr)
        running->stop();
}

int usage() {
    std::fprintf(
        stderr,
        "usage: kalvit-results [--listen ADDRESS] [--port N] [--store FILE|postgresql://...]\n"
        "                      [--downloads FOLDER] [--threads N] [--quiet]\n"
        "  defaults: 127.0.0.1, 8642 (0 picks a free port), kalvit-results.db, no\n"
        "  downloads, 32 threads\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string address = "127.0.0.1", store = "kalvit-results.db";
    ServiceOptions options;
    int port = 8642, threads = 32;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--listen" && has_value)
            address = argv[++i];
        else if (arg == "--port" && has_value)
            port = std::atoi(argv[++i]);
        else if (arg == "--store" && has_value)
            store = argv[++i];
        else if (arg == "--downloads" && has_value)
            options.downloads = argv[++i];
        else if (arg == "--threads" && has_value)
            threads = std::atoi(argv[++i]);
        else if (arg == "--quiet")
            options.quiet = true;
        else
            return usage();
    }
    if (port < 0 || port > 65535 || threads < 1 || threads > 1024)
        return usage();

    const bool postgres = postgres_address(store);
    try {
        // One connection per worker thread, so that no request waits for another's.
        ResultsStore results(store, threads);
        httplib::Server server;
        server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
        mount_service(server, results, options);
        const int bound = port == 0 ? server.bind_to_any_port(address)
                                    : (server.bind_to_port(address, port) ? port : -1);
        if (bound < 0) {
            std::fprintf(stderr, "kalvit-results: cannot listen on %s:%d\n", address.c_str(), port);
            return 1;
        }
        // The PostgreSQL address may hold a password: it is never printed.
        std::printf("kalvit-results: listening on http://%s:%d/ (store: %s)\n", address.c_str(),
                    bound, postgres ? "PostgreSQL" : store.c_str());
        std::fflush(stdout);
        running = &server;
        std::signal(SIGINT, stop_on_signal);
        std::signal(SIGTERM, stop_on_signal);
        const bool ok = server.listen_after_bind();
        running = nullptr;
        return ok ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kalvit-results: %s\n", e.what());
        return 1;
    }
}
