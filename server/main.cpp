// kalvit-results: the web site the program's upload, account and comparison links lead to.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "server/http_server.h"
#include "server/results_store.h"
#include "server/service.h"

namespace {

int usage() {
    std::fprintf(
        stderr,
        "usage: kalvit-results [--listen ADDRESS] [--port N] [--store FILE|postgresql://...]\n"
        "                      [--downloads FOLDER] [--threads N] [--trusted-proxy LIST]...\n"
        "                      [--write-limits UPLOADS,ACCOUNTS,MESSAGES] [--quiet]\n"
        "  defaults: 127.0.0.1, 8642 (0 picks a free port), kalvit-results.db, no\n"
        "  downloads, 16 threads, no trusted proxy\n"
        "  --trusted-proxy: addresses or networks (10.0.0.0/8, 2001:db8::/32), comma-separated,\n"
        "  whose X-Forwarded-For and X-Forwarded-Proto are believed\n"
        "  --write-limits: uploads, new accounts and messages one client address may send in an\n"
        "  hour (default 120,20,10)\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string address = "127.0.0.1", store = "kalvit-results.db";
    ServiceOptions options;
    TrustedProxies proxies;
    HttpLimits limits;
    int port = 8642;
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
            limits.threads = std::atoi(argv[++i]);
        else if (arg == "--trusted-proxy" && has_value) {
            if (!proxies.add(argv[++i]))
                return usage();
        } else if (arg == "--write-limits" && has_value) {
            WriteLimits& w = options.writes;
            if (std::sscanf(argv[++i], "%d,%d,%d", &w.uploads, &w.accounts, &w.feedback) != 3 ||
                w.uploads < 1 || w.accounts < 1 || w.feedback < 1)
                return usage();
        } else if (arg == "--quiet")
            options.quiet = true;
        else
            return usage();
    }
    if (port < 0 || port > 65535 || limits.threads < 1 || limits.threads > 256)
        return usage();

    // The signals that end the service are taken by this thread alone: every thread started
    // from here on has them blocked.
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);

    const bool postgres = postgres_address(store);
    try {
        // One store connection per server thread, so that no request waits for another's.
        ResultsStore results(store, limits.threads);
        HttpServer server(limits, proxies);
        mount_service(server, results, options);
        const int bound = server.start(address, port);
        if (bound < 0)
            return 1;
        // The PostgreSQL address may hold a password: it is never printed.
        std::printf("kalvit-results: listening on http://%s:%d/ (store: %s)\n", address.c_str(),
                    bound, postgres ? "PostgreSQL" : store.c_str());
        std::fflush(stdout);
        int signal = 0;
        sigwait(&ending, &signal);
        server.stop();
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kalvit-results: %s\n", e.what());
        return 1;
    }
}
