#pragma once
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "server/client_address.h"
#include "server/http.h"
// The service's HTTP server: GNU libmicrohttpd's event loops on a pool of threads, with every
// request bounded by construction. A request line and headers beyond their room, too many headers,
// a body beyond its size under any framing, a coded body (nothing here inflates one) or a request
// not received within its deadline ends with a 4xx and the connection closed; connections beyond
// the limit overall or from one client address are refused when they arrive. A slow client holds
// one connection of its address's few, never a thread.

struct HttpLimits {
    size_t head_bytes = 16 * 1024; // the request line and headers together
    int header_count = 64;
    size_t body_bytes = 64 * 1024; // after any framing
    int connections = 1000;        // at once, overall
    int per_address = 16;          // at once, from one client address (IPv6: one /64)
    int idle_seconds = 15;         // silence on a connection before it is closed
    int request_seconds = 30;      // from the end of the last answer to the end of the request
    int threads = 16;
};

using HttpHandler = std::function<void(const HttpRequest&, HttpResponse&)>;

class HttpServer {
public:
    HttpServer(HttpLimits limits, TrustedProxies proxies);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Requests whose path matches `pattern` (an ECMAScript regex over the whole unescaped
    // path) go to `handler`; GET routes also take HEAD. The first route added wins.
    void route(const std::string& method, const std::string& pattern, HttpHandler handler);
    void set_default_headers(HttpFields headers);
    // Fills the answer the server gives itself: 404 for a path no route takes, 4xx for a request
    // beyond the limits, 503 when a handler fails (`what` says why, for the log only).
    void set_refusal(std::function<void(int status, const std::string& what, HttpResponse&)> fill);
    // Called for every answer, refusals included.
    void set_logger(std::function<void(const HttpRequest&, const HttpResponse&)> log);

    // Listens on address:port (port 0: a free one) and serves on the pool's threads; the port,
    // or -1 with the reason on standard error.
    int start(const std::string& address, int port);
    // Closes the listening socket and every connection, and waits for the threads.
    void stop();

    struct State;

private:
    std::unique_ptr<State> state_;
};
