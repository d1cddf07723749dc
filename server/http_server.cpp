#include "server/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <regex>
#include <set>
#include <thread>
#include <vector>

namespace {

int64_t now_ms() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

struct Route {
    std::string method;
    std::regex pattern;
    HttpHandler handler;
};

// One TCP connection, from its accept to its close.
struct Connection {
    int fd = -1;
    std::string peer, key; // the peer's address, and the key it is counted under
    bool limited = false;  // counted against its address (a trusted proxy is not)
    std::string target;    // the current request's, as received
    int64_t since = 0;     // when the current request's deadline started
    bool receiving = true; // the request is still arriving (the deadline runs)
    bool cut = false;      // the deadline has passed and the connection is being closed
};

// One request on a connection.
struct Exchange {
    HttpRequest request;
};

std::string address_text(const sockaddr* address) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                  sizeof text);
    } else if (address->sa_family == AF_INET6) {
        const in6_addr& a = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&a))
            inet_ntop(AF_INET, a.s6_addr + 12, text, sizeof text);
        else
            inet_ntop(AF_INET6, &a, text, sizeof text);
    }
    return text;
}

// The reason phrases of the answers written past the server library.
const char* reason(int status) {
    return status == 408 ? "Request Timeout" : status == 413 ? "Content Too Large" : "Error";
}

} // namespace

struct HttpServer::State {
    HttpLimits limits;
    TrustedProxies proxies;
    std::vector<Route> routes;
    HttpFields defaults;
    std::function<void(int, const std::string&, HttpResponse&)> fill;
    std::function<void(const HttpRequest&, const HttpResponse&)> log;
    MHD_Daemon* daemon = nullptr;

    // The connections of each address: those open, and those let in by the accept check whose
    // start has not been reported yet (dropped after a while: a connection may fail to start).
    struct Count {
        int open = 0;
        std::deque<int64_t> coming;
    };

    std::mutex mutex; // guards what follows
    std::map<std::string, Count> per_key;
    std::set<Connection*> open;
    bool stopping = false;
    std::condition_variable wake;
    std::thread reaper;

    void refusal(int status, const std::string& what, HttpResponse& res) {
        res = HttpResponse{};
        res.status = status;
        if (fill)
            fill(status, what, res);
        res.set_header("Connection", "close");
    }

    void dispatch(HttpRequest& req, HttpResponse& res) {
        const std::string method = req.method == "HEAD" ? "GET" : req.method;
        for (const Route& route : routes) {
            std::smatch m;
            if (route.method != method || !std::regex_match(req.path, m, route.pattern))
                continue;
            req.matches.assign(m.begin(), m.end());
            try {
                route.handler(req, res);
            } catch (const std::exception& e) {
                refusal(503, e.what(), res);
            }
            return;
        }
        res.status = 404;
        if (fill)
            fill(404, "", res);
    }

    // Hands `res` to the connection; the file of a download is read as it goes out.
    MHD_Result send(MHD_Connection* con, const HttpRequest& req, HttpResponse& res) {
        MHD_Response* response = nullptr;
        if (!res.file.empty()) {
            const int fd = ::open(res.file.c_str(), O_RDONLY | O_CLOEXEC);
            struct stat st {};
            if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
                response = MHD_create_response_from_fd64(static_cast<uint64_t>(st.st_size), fd);
            if (!response) {
                if (fd >= 0)
                    ::close(fd);
                res.file.clear();
                res.status = 404;
                if (fill)
                    fill(404, "", res);
            }
        }
        if (!response)
            response = MHD_create_response_from_buffer(res.body.size(), res.body.data(),
                                                       MHD_RESPMEM_MUST_COPY);
        if (!response)
            return MHD_NO;
        for (const auto& [name, value] : res.headers)
            MHD_add_response_header(response, name.c_str(), value.c_str());
        for (const auto& [name, value] : defaults)
            if (!MHD_get_response_header(response, name.c_str()))
                MHD_add_response_header(response, name.c_str(), value.c_str());
        const MHD_Result queued =
            MHD_queue_response(con, static_cast<unsigned>(res.status), response);
        MHD_destroy_response(response);
        if (log)
            log(req, res);
        return queued;
    }

    // Writes `res` straight to a connection whose request is still arriving, which the server
    // library cannot answer any more, and ends the connection's sending side.
    static void send_raw(int fd, const HttpResponse& res) {
        std::string text = "HTTP/1.1 " + std::to_string(res.status) + " " + reason(res.status) +
                           "\r\nContent-Length: " + std::to_string(res.body.size()) + "\r\n";
        for (const auto& [name, value] : res.headers)
            text += name + ": " + value + "\r\n";
        text += "\r\n" + res.body;
        (void)::send(fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::shutdown(fd, SHUT_WR);
    }

    // Ends the requests that have outrun their deadline, with a 408.
    void reap() {
        std::unique_lock lock(mutex);
        while (!stopping) {
            wake.wait_for(lock, std::chrono::milliseconds(250));
            const int64_t now = now_ms(), limit = now - int64_t{limits.request_seconds} * 1000;
            for (auto it = per_key.begin(); it != per_key.end();) {
                std::deque<int64_t>& coming = it->second.coming;
                while (!coming.empty() && coming.front() < now - 5000)
                    coming.pop_front();
                it = it->second.open <= 0 && coming.empty() ? per_key.erase(it) : std::next(it);
            }
            for (Connection* c : open) {
                if (!c->receiving || c->cut || c->since > limit)
                    continue;
                c->cut = true;
                HttpResponse res;
                refusal(408, "", res);
                send_raw(c->fd, res);
                ::shutdown(c->fd, SHUT_RD);
                if (log) {
                    HttpRequest req;
                    req.method = "-";
                    req.path = unescape(c->target.substr(0, c->target.find('?')), false);
                    req.client = c->peer;
                    log(req, res);
                }
            }
        }
    }
};

namespace {

HttpServer::State& state_of(void* cls) {
    return *static_cast<HttpServer::State*>(cls);
}

Connection* connection_of(MHD_Connection* con) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(con, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info ? static_cast<Connection*>(info->socket_context) : nullptr;
}

MHD_Result accept_policy(void* cls, const sockaddr* address, socklen_t) {
    HttpServer::State& s = state_of(cls);
    const std::string peer = address_text(address);
    if (s.proxies.trusts(peer))
        return MHD_YES;
    // Counted here, under the lock, since the pool's threads accept side by side.
    std::lock_guard lock(s.mutex);
    HttpServer::State::Count& count = s.per_key[limit_key(peer)];
    if (count.open + static_cast<int>(count.coming.size()) >= s.limits.per_address)
        return MHD_NO;
    count.coming.push_back(now_ms());
    return MHD_YES;
}

void notify_connection(void* cls, MHD_Connection* con, void** context,
                       MHD_ConnectionNotificationCode code) {
    HttpServer::State& s = state_of(cls);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        auto c = std::make_unique<Connection>();
        if (const MHD_ConnectionInfo* info =
                MHD_get_connection_info(con, MHD_CONNECTION_INFO_CONNECTION_FD))
            c->fd = info->connect_fd;
        if (const MHD_ConnectionInfo* info =
                MHD_get_connection_info(con, MHD_CONNECTION_INFO_CLIENT_ADDRESS))
            c->peer = address_text(info->client_addr);
        c->limited = !s.proxies.trusts(c->peer);
        c->key = limit_key(c->peer);
        c->since = now_ms();
        std::lock_guard lock(s.mutex);
        if (c->limited) {
            HttpServer::State::Count& count = s.per_key[c->key];
            if (!count.coming.empty())
                count.coming.pop_front();
            ++count.open;
        }
        s.open.insert(c.get());
        *context = c.release();
        return;
    }
    auto* c = static_cast<Connection*>(*context);
    if (!c)
        return;
    std::lock_guard lock(s.mutex);
    if (c->limited) {
        HttpServer::State::Count& count = s.per_key[c->key];
        if (--count.open <= 0 && count.coming.empty())
            s.per_key.erase(c->key);
    }
    s.open.erase(c);
    delete c;
    *context = nullptr;
}

void* uri_log(void* cls, const char* uri, MHD_Connection* con) {
    HttpServer::State& s = state_of(cls);
    if (Connection* c = connection_of(con)) {
        std::lock_guard lock(s.mutex);
        c->target = uri;
    }
    return nullptr;
}

void request_completed(void* cls, MHD_Connection* con, void** request, MHD_RequestTerminationCode) {
    HttpServer::State& s = state_of(cls);
    delete static_cast<Exchange*>(*request);
    *request = nullptr;
    if (Connection* c = connection_of(con)) {
        std::lock_guard lock(s.mutex);
        c->since = now_ms();
        c->receiving = true;
    }
}

MHD_Result collect_header(void* cls, MHD_ValueKind, const char* name, const char* value) {
    static_cast<HttpFields*>(cls)->emplace_back(name ? name : "", value ? value : "");
    return MHD_YES;
}

// The request's headers are in: the limits that they show, checked before any body is read.
int head_problem(const HttpServer::State& s, const HttpRequest& req, std::string& what) {
    if (req.headers.size() > static_cast<size_t>(s.limits.header_count)) {
        what = "too many header fields";
        return 431;
    }
    const std::string coding = req.header("Content-Encoding");
    if (!coding.empty() && coding != "identity") {
        what = "a coded body";
        return 415;
    }
    const std::string length = req.header("Content-Length");
    if (!length.empty() &&
        (length.size() > 12 || length.find_first_not_of("0123456789") != std::string::npos ||
         std::stoull(length) > s.limits.body_bytes)) {
        what = "a body too large";
        return 413;
    }
    return 0;
}

MHD_Result handle(void* cls, MHD_Connection* con, const char*, const char* method, const char*,
                  const char* data, size_t* size, void** request) {
    HttpServer::State& s = state_of(cls);
    Connection* c = connection_of(con);
    auto* x = static_cast<Exchange*>(*request);
    if (!x) {
        x = new Exchange;
        *request = x;
        HttpRequest& req = x->request;
        req.method = method;
        {
            std::lock_guard lock(s.mutex);
            req.target = c ? c->target : "";
        }
        req.path = unescape(req.target.substr(0, req.target.find('?')), false);
        const std::string peer = c ? c->peer : "";
        MHD_get_connection_values(con, MHD_HEADER_KIND, collect_header, &req.headers);
        std::string forwarded;
        for (const auto& [name, value] : req.headers)
            if (strcasecmp(name.c_str(), "X-Forwarded-For") == 0)
                forwarded += (forwarded.empty() ? "" : ",") + value;
        req.client = s.proxies.client(peer, forwarded);
        req.https = s.proxies.trusts(peer) && req.header("X-Forwarded-Proto") == "https";
        std::string what;
        if (const int status = head_problem(s, req, what)) {
            HttpResponse res;
            s.refusal(status, what, res);
            return s.send(con, req, res);
        }
        return MHD_YES;
    }
    if (*size != 0) {
        if (x->request.body.size() + *size > s.limits.body_bytes) {
            HttpResponse res;
            s.refusal(413, "a body too large", res);
            {
                std::lock_guard lock(s.mutex);
                if (c && !c->cut) {
                    c->receiving = false;
                    HttpServer::State::send_raw(c->fd, res);
                }
            }
            if (s.log)
                s.log(x->request, res);
            return MHD_NO;
        }
        x->request.body.append(data, *size);
        *size = 0;
        return MHD_YES;
    }
    if (c) {
        std::lock_guard lock(s.mutex);
        if (c->cut)
            return MHD_NO;
        c->receiving = false;
    }
    HttpResponse res;
    s.dispatch(x->request, res);
    return s.send(con, x->request, res);
}

} // namespace

HttpServer::HttpServer(HttpLimits limits, TrustedProxies proxies)
    : state_(std::make_unique<State>()) {
    state_->limits = limits;
    state_->proxies = std::move(proxies);
}

HttpServer::~HttpServer() {
    stop();
}

void HttpServer::route(const std::string& method, const std::string& pattern, HttpHandler handler) {
    state_->routes.push_back({method, std::regex(pattern), std::move(handler)});
}

void HttpServer::set_default_headers(HttpFields headers) {
    state_->defaults = std::move(headers);
}

void HttpServer::set_refusal(
    std::function<void(int status, const std::string& what, HttpResponse&)> fill) {
    state_->fill = std::move(fill);
}

void HttpServer::set_logger(std::function<void(const HttpRequest&, const HttpResponse&)> log) {
    state_->log = std::move(log);
}

int HttpServer::start(const std::string& address, int port) {
    State& s = *state_;
    sockaddr_storage where{};
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL;
    if (inet_pton(AF_INET, address.c_str(), &reinterpret_cast<sockaddr_in&>(where).sin_addr) == 1) {
        reinterpret_cast<sockaddr_in&>(where).sin_family = AF_INET;
        reinterpret_cast<sockaddr_in&>(where).sin_port = htons(static_cast<uint16_t>(port));
    } else if (inet_pton(AF_INET6, address.c_str(),
                         &reinterpret_cast<sockaddr_in6&>(where).sin6_addr) == 1) {
        reinterpret_cast<sockaddr_in6&>(where).sin6_family = AF_INET6;
        reinterpret_cast<sockaddr_in6&>(where).sin6_port = htons(static_cast<uint16_t>(port));
        flags |= MHD_USE_IPv6;
    } else {
        std::fprintf(stderr, "kalvit-results: %s is not an address\n", address.c_str());
        return -1;
    }
    s.daemon = MHD_start_daemon(
        flags, static_cast<uint16_t>(port), accept_policy, &s, handle, &s, MHD_OPTION_SOCK_ADDR,
        reinterpret_cast<sockaddr*>(&where), MHD_OPTION_THREAD_POOL_SIZE,
        static_cast<unsigned>(s.limits.threads), MHD_OPTION_CONNECTION_LIMIT,
        static_cast<unsigned>(s.limits.connections), MHD_OPTION_CONNECTION_TIMEOUT,
        static_cast<unsigned>(s.limits.idle_seconds), MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        s.limits.head_bytes, MHD_OPTION_LISTEN_BACKLOG_SIZE, 128u, MHD_OPTION_NOTIFY_CONNECTION,
        notify_connection, &s, MHD_OPTION_URI_LOG_CALLBACK, uri_log, &s,
        MHD_OPTION_NOTIFY_COMPLETED, request_completed, &s, MHD_OPTION_END);
    if (!s.daemon) {
        std::fprintf(stderr, "kalvit-results: cannot listen on %s:%d\n", address.c_str(), port);
        return -1;
    }
    int bound = port;
    if (const MHD_DaemonInfo* info = MHD_get_daemon_info(s.daemon, MHD_DAEMON_INFO_LISTEN_FD)) {
        sockaddr_storage local{};
        socklen_t size = sizeof local;
        if (getsockname(info->listen_fd, reinterpret_cast<sockaddr*>(&local), &size) == 0)
            bound =
                ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(local).sin6_port
                                                  : reinterpret_cast<sockaddr_in&>(local).sin_port);
    }
    s.stopping = false;
    s.reaper = std::thread([&s] { s.reap(); });
    return bound;
}

void HttpServer::stop() {
    State& s = *state_;
    if (s.reaper.joinable()) {
        {
            std::lock_guard lock(s.mutex);
            s.stopping = true;
        }
        s.wake.notify_all();
        s.reaper.join();
    }
    if (s.daemon) {
        MHD_stop_daemon(s.daemon);
        s.daemon = nullptr;
    }
}
