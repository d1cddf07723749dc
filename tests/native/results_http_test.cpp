#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "server/http_server.h"
#include "server/results_store.h"
#include "server/service.h"
#include "tests/native/upload_maker.h"
// The results service over HTTP on loopback, with a real client: the upload and its duplicate, a
// wrong password and the limits on failed passwords, signing in, the session, comparing, deleting,
// the feedback form, the downloads and the JSON list. The store is an SQLite file, or a database
// of its own on the PostgreSQL server that KALVIT_TEST_POSTGRES names.

namespace {

constexpr int64_t kNow = 1796731200; // 2026-12-08 12:00:00 UTC
const float kBase[kTestCount] = {35.70f, 3.39f, 253.49f, 339.74f, 16.82f};

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// An upload whose speeds are the base system's times the factors.
UploadSpec spec_of(std::initializer_list<float> factors, const std::string& mail = "me@host.com",
                   const std::string& pass = "secret1") {
    UploadSpec spec;
    spec.mail = mail;
    spec.pass = pass;
    int k = 0;
    for (float f : factors)
        spec.speeds[k] = kBase[k] * f, ++k;
    spec.info = "CPU " + std::to_string(factors.begin()[0]) + " " +
                std::to_string(factors.begin()[4]) + "\n";
    return spec;
}

// A 429 that says when to come back and names the limit.
void expect_busy(const httplib::Result& r, const char* retry_after, const char* text) {
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 429);
    EXPECT_EQ(r->get_header_value("Retry-After"), retry_after);
    EXPECT_TRUE(has(r->body, text)) << r->body;
}

std::string form_value(const std::string& page, const std::string& name) {
    std::smatch m;
    if (std::regex_search(page, m, std::regex("name=" + name + " value=\"([^\"]*)\"")))
        return m[1];
    return "";
}

// A connection of the test's own, from `from` (any address of the loopback network), that
// sends bytes as a hostile client would and reads what comes back.
class RawClient {
public:
    RawClient(int port, const char* from = "127.0.0.1") : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        inet_pton(AF_INET, from, &a.sin_addr);
        bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        a.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        timeval wait{30, 0}; // a deadline for a test that fails, never a pause
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    }
    ~RawClient() { close(fd_); }
    bool connected() const { return connected_; }
    // False once the service has closed the connection.
    bool send_all(const std::string& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    // Everything the service sends until it closes the connection (or 30 s pass).
    std::string read_to_end() {
        std::string got;
        char buffer[4096];
        ssize_t n;
        while ((n = recv(fd_, buffer, sizeof buffer, 0)) > 0)
            got.append(buffer, static_cast<size_t>(n));
        return got;
    }
    // The head of one answer, the connection left open.
    std::string read_head() {
        std::string got;
        char byte;
        while (got.find("\r\n\r\n") == std::string::npos && recv(fd_, &byte, 1, 0) == 1)
            got += byte;
        return got;
    }
    // The answer's "HTTP/1.1 NNN", or what came instead.
    std::string status() { return read_to_end().substr(0, 12); }

private:
    int fd_;
    bool connected_ = false;
};

// One instance of the service: its own store connections and server.
struct Instance {
    std::unique_ptr<ResultsStore> store;
    std::unique_ptr<HttpServer> server;
    int port = 0;

    void start(const std::string& address, const ServiceOptions& options, const HttpLimits& limits,
               const TrustedProxies& proxies) {
        store = std::make_unique<ResultsStore>(address, 4);
        server = std::make_unique<HttpServer>(limits, proxies);
        mount_service(*server, *store, options);
        port = server->start("127.0.0.1", 0);
        ASSERT_GT(port, 0);
    }
};

class ResultsHttp : public ::testing::Test {
protected:
    void SetUp() override {
        static int serial = 0;
        const std::string name =
            "kalvit_http_" + std::to_string(getpid()) + "_" + std::to_string(++serial);
        folder_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::create_directories(folder_ / "dist");
        std::ofstream(folder_ / "dist" / "kalvit.zip", std::ios::binary) << "PK zip bytes";
        if (const char* pg = std::getenv("KALVIT_TEST_POSTGRES")) {
            admin_ = open_connection(pg);
            admin_->run("CREATE DATABASE " + name);
            database_ = name;
            const std::string base(pg);
            address_ = base.substr(0, base.rfind('/') + 1) + name;
        } else {
            address_ = (folder_ / "results.db").string();
        }
        options_.downloads = (folder_ / "dist").string();
        options_.clock = [this] { return now_.load(); };
        options_.log = [this](const std::string& line) {
            std::lock_guard lock(log_mutex_);
            log_.push_back(line);
        };
        start(0);
    }
    void TearDown() override {
        for (auto& instance : instances_)
            instance.reset();
        if (admin_)
            admin_->run("DROP DATABASE " + database_ + " WITH (FORCE)");
        std::filesystem::remove_all(folder_);
    }
    // The first instance again, with the limits and options as they are now.
    void restart() {
        instances_[0].reset();
        start(0);
    }
    int port() const { return instances_[0]->port; }
    // A second instance of the service on the same store.
    void start(int n) {
        instances_[n] = std::make_unique<Instance>();
        instances_[n]->start(address_, options_, limits_, proxies_);
    }
    ResultsStore& store() { return *instances_[0]->store; }

    static httplib::Headers with_cookie(const std::string& cookie) {
        return cookie.empty() ? httplib::Headers{} : httplib::Headers{{"Cookie", cookie}};
    }
    httplib::Result get(const std::string& path, const std::string& cookie = "", int on = 0) {
        httplib::Client client("127.0.0.1", instances_[on]->port);
        return client.Get(path.c_str(), with_cookie(cookie));
    }
    httplib::Result post(const std::string& path, const httplib::Params& params,
                         const std::string& cookie = "", int on = 0) {
        httplib::Client client("127.0.0.1", instances_[on]->port);
        return client.Post(path.c_str(), with_cookie(cookie), params);
    }
    // A sign-in that a trusted proxy passes on from `client`.
    int sign_in_from(const std::string& client, const std::string& mail, const std::string& pass) {
        httplib::Client c("127.0.0.1", port());
        const httplib::Result r = c.Post("/login", httplib::Headers{{"X-Forwarded-For", client}},
                                         httplib::Params{{"mail", mail}, {"pass", pass}});
        return r ? r->status : 0;
    }
    // The status of the upload, and where it was sent on.
    std::pair<int, std::string> upload(const UploadSpec& spec, int on = 0) {
        const httplib::Result r = get("/upload?" + upload_letters(spec), "", on);
        if (!r)
            return {0, ""};
        return {r->status, r->get_header_value("Location")};
    }
    size_t stored() {
        const httplib::Result r = get("/api/results");
        size_t n = 0;
        for (size_t at = 0; r && (at = r->body.find("{\"id\":", at)) != std::string::npos; ++at)
            ++n;
        return n;
    }
    // Signs in and returns the session cookie ("name=value"), or empty.
    std::string sign_in(const std::string& mail, const std::string& pass, int on = 0) {
        const httplib::Result r = post("/login", {{"mail", mail}, {"pass", pass}}, "", on);
        if (!r || r->status != 303)
            return "";
        const std::string cookie = r->get_header_value("Set-Cookie");
        return cookie.substr(0, cookie.find(';'));
    }

    std::atomic<int64_t> now_{kNow};
    std::vector<std::string> log_;
    std::mutex log_mutex_;

private:
    std::filesystem::path folder_;
    std::string address_, database_;
    std::unique_ptr<DbConnection> admin_;
    std::unique_ptr<Instance> instances_[2];

protected:
    ServiceOptions options_;
    HttpLimits limits_;
    TrustedProxies proxies_;
};

TEST_F(ResultsHttp, InstancesShareEverythingThroughTheStore) {
    start(1);
    ASSERT_EQ(upload(spec_of({1, 1, 1, 1, 1}, "a@host.com", "right12"), 1).first, 303);
    EXPECT_EQ(upload(spec_of({1, 1, 1, 1, 1}, "a@host.com", "right12"), 0).second,
              "/result/1?new=0")
        << "the duplicate is known to the other instance";
    const std::string cookie = sign_in("a@host.com", "right12", 0);
    ASSERT_FALSE(cookie.empty());
    const httplib::Result r = get("/mine", cookie, 1);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << "a session made by one instance is good on the other";
    EXPECT_TRUE(has(r->body, "/result/1\""));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(post("/login", {{"mail", "a@host.com"}, {"pass", "wrong12"}}, "", i % 2)->status,
                  403);
    EXPECT_EQ(post("/login", {{"mail", "a@host.com"}, {"pass", "right12"}}, "", 1)->status, 429)
        << "failures on both instances count together";
}

TEST_F(ResultsHttp, AnUploadIsStoredOnceAndAnsweredWithItsResult) {
    const UploadSpec spec = spec_of({2, 1, 1, 1, 1});
    EXPECT_EQ(upload(spec), std::make_pair(303, std::string("/result/1?new=1")));
    httplib::Result r = get("/result/1?new=1");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    // The MARK under the three weightings: (2+1+1+1+1)/5, 0.3×2+0.7, 0.25×2+0.75.
    for (const char* part : {U8("上传成功"), "<b id=mark>1.20</b>", "<b>1.30</b>", "<b>1.25</b>",
                             "<b id=rank>1</b>", "71.40 M", "<svg"})
        EXPECT_TRUE(has(r->body, part)) << part;
    EXPECT_EQ(r->get_header_value("Referrer-Policy"), "no-referrer");

    EXPECT_EQ(upload(spec), std::make_pair(303, std::string("/result/1?new=0")))
        << "the same upload again";
    r = get("/result/1?new=0");
    EXPECT_TRUE(r && has(r->body, U8("以前已经上传过")));
    EXPECT_EQ(stored(), 1u);
    UploadSpec later = spec;
    later.time.tm_min += 1;
    const auto [status, to] = upload(later);
    EXPECT_EQ(status, 303);
    EXPECT_TRUE(std::regex_match(to, std::regex("/result/([2-9]|[1-9][0-9]+)\\?new=1")))
        << to << ": the same machine a minute later is a new upload";

    // The request log has the paths, never a query: an upload's carries its password.
    std::lock_guard lock(log_mutex_);
    ASSERT_FALSE(log_.empty());
    EXPECT_NE(std::find(log_.begin(), log_.end(), "GET /upload 303"), log_.end());
    for (const std::string& line : log_)
        EXPECT_EQ(line.find('?'), std::string::npos) << line;
}

TEST_F(ResultsHttp, RefusedUploadsStoreNothing) {
    httplib::Result r = get("/upload?ABC");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 400);
    EXPECT_TRUE(has(r->body, U8("上传的数据长度为奇数，不完整。"))) << r->body;
    UploadSpec shouting = spec_of({1, 1, 1, 1, 1});
    shouting.info = "<script>alert(1)</script>\n";
    ASSERT_EQ(upload(shouting).first, 303);
    UploadSpec thief = spec_of({9, 9, 9, 9, 9}, "me@host.com", "guess12");
    r = get("/upload?" + upload_letters(thief));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 403);
    EXPECT_TRUE(has(r->body, U8("密码不对"))) << r->body;
    EXPECT_EQ(stored(), 1u);
    // A refused upload makes no account: the address is free for its real owner.
    UploadSpec bad = spec_of({1, 1, 1, 1, 1}, "new@host.com", "first12");
    bad.width = 10;
    EXPECT_EQ(upload(bad).first, 400);
    EXPECT_EQ(upload(spec_of({1, 2, 1, 1, 1}, "new@host.com", "other12")).first, 303);

    // Whatever was stored is shown escaped.
    for (const char* page : {"/result/1", "/compare"}) {
        r = get(page);
        EXPECT_TRUE(r && !has(r->body, "<script>") && has(r->body, "&lt;script&gt;alert(1)&lt;/"))
            << page;
    }
}

TEST_F(ResultsHttp, FailedPasswordsAreLimitedPerAccountAndPerAddress) {
    ASSERT_EQ(upload(spec_of({1, 1, 1, 1, 1}, "a@host.com", "right12")).first, 303);
    ASSERT_EQ(upload(spec_of({1, 1, 1, 1, 2}, "b@host.com", "right12")).first, 303);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(upload(spec_of({2, 1, 1, 1, float(i + 1)}, "a@host.com", "wrong12")).first, 403);
    // The account's five failures from this address are used up.
    expect_busy(get("/upload?" + upload_letters(spec_of({3, 1, 1, 1, 1}, "a@host.com", "right12"))),
                "900", U8("同一地址对同一帐户15分钟内最多错5次"));
    EXPECT_EQ(post("/login", {{"mail", "a@host.com"}, {"pass", "right12"}})->status, 429);
    EXPECT_EQ(upload(spec_of({3, 1, 1, 1, 2}, "b@host.com", "right12")).first, 303)
        << "another account from the same address";

    // Fifteen more failures on three more accounts make twenty from this address.
    for (int a = 0; a < 3; ++a) {
        const std::string mail = "c" + std::to_string(a) + "@host.com";
        ASSERT_EQ(upload(spec_of({1, 1, 1, 2, 1}, mail, "right12")).first, 303);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(post("/login", {{"mail", mail}, {"pass", "wrong12"}})->status, 403);
    }
    EXPECT_EQ(upload(spec_of({4, 1, 1, 1, 2}, "b@host.com", "right12")).first, 429);
    EXPECT_EQ(post("/login", {{"mail", "b@host.com"}, {"pass", "right12"}})->status, 429);
    const size_t before = stored();

    now_ += 15 * 60 + 1;
    EXPECT_EQ(upload(spec_of({4, 1, 1, 1, 2}, "b@host.com", "right12")).first, 303);
    EXPECT_FALSE(sign_in("a@host.com", "right12").empty());
    EXPECT_EQ(stored(), before + 1);
}

TEST_F(ResultsHttp, SignedInUsersSeeAndDeleteTheirOwnUploads) {
    ASSERT_EQ(upload(spec_of({1, 1, 1, 1, 1}, "a@host.com", "right12")).first, 303);
    ASSERT_EQ(upload(spec_of({2, 1, 1, 1, 1}, "a@host.com", "right12")).first, 303);
    ASSERT_EQ(upload(spec_of({3, 1, 1, 1, 1}, "b@host.com", "other12")).first, 303);

    httplib::Result r = post("/login", {{"mail", "a@host.com"}, {"pass", "nope123"}});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 403);
    EXPECT_TRUE(has(r->body, U8("Email地址或密码不对。")));
    r = post("/login", {{"mail", "z@host.com"}, {"pass", "right12"}});
    EXPECT_TRUE(r && r->status == 403 && has(r->body, U8("Email地址或密码不对。")))
        << "an unknown address gets the same answer";
    r = post("/login", {{"mail", "a@host.com"}, {"pass", "right12"}});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 303);
    EXPECT_EQ(r->get_header_value("Location"), "/mine");
    const std::string set = r->get_header_value("Set-Cookie");
    EXPECT_TRUE(has(set, "HttpOnly") && has(set, "SameSite=Strict")) << set;
    const std::string cookie = set.substr(0, set.find(';'));

    EXPECT_EQ(get("/mine")->get_header_value("Location"), "/login");
    r = get("/mine", cookie);
    ASSERT_TRUE(r && r->status == 200);
    EXPECT_TRUE(has(r->body, "a@host.com"));
    EXPECT_TRUE(has(r->body, "/result/1\"") && has(r->body, "/result/2\""));
    EXPECT_FALSE(has(r->body, "/result/3\"")) << "b's upload";
    const std::string csrf = form_value(r->body, "csrf");
    ASSERT_EQ(csrf.size(), 64u);

    EXPECT_EQ(post("/mine/delete?id=3", {{"csrf", csrf}}, cookie)->status, 404) << "not hers";
    EXPECT_EQ(post("/mine/delete?id=1", {}, cookie)->status, 403) << "no form token";
    EXPECT_EQ(post("/mine/delete?id=1", {{"csrf", std::string(64, '0')}}, cookie)->status, 403);
    EXPECT_EQ(post("/mine/delete?id=1", {{"csrf", csrf}})->status, 403) << "not signed in";
    EXPECT_EQ(stored(), 3u);
    r = post("/mine/delete?id=1", {{"csrf", csrf}}, cookie);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 303);
    EXPECT_EQ(r->get_header_value("Location"), "/mine?deleted=1");
    EXPECT_EQ(stored(), 2u);
    EXPECT_EQ(get("/result/1")->status, 404);
    EXPECT_EQ(get("/result/3")->status, 200);

    // Signing out ends the session for good; a session also ends after 30 days.
    EXPECT_EQ(post("/logout", {{"csrf", csrf}}, cookie)->status, 303);
    EXPECT_EQ(get("/mine", cookie)->status, 303);
    const std::string second = sign_in("b@host.com", "other12");
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(get("/mine", second)->status, 200);
    now_ += 30 * 24 * 3600 + 1;
    EXPECT_EQ(get("/mine", second)->status, 303);
}

TEST_F(ResultsHttp, ComparisonsRanksAndTheMedian) {
    // MARKs 2.0, 3.0 and 3.4; business 2.5, 3.0, 3.1; game 1.5, 3.0, 3.7.
    ASSERT_EQ(upload(spec_of({1, 1, 1, 1, 6})).first, 303);
    ASSERT_EQ(upload(spec_of({3, 3, 3, 3, 3})).first, 303);
    ASSERT_EQ(upload(spec_of({4, 4, 4, 4, 1})).first, 303);
    UploadSpec options = spec_of({8, 8, 8, 8, 8});
    options.flags = 0x10;
    ASSERT_EQ(upload(options).first, 303);

    httplib::Result r = get("/result/2");
    ASSERT_TRUE(r);
    EXPECT_TRUE(has(r->body, U8("在 3 个标准设置的上传中排第 <b id=rank>2</b> 名"))) << r->body;
    EXPECT_TRUE(has(r->body, U8("上传中位数")));
    r = get("/result/1");
    ASSERT_TRUE(r);
    // Upload 1's page: its median column is upload 2's speeds, 3 × 35.70 and 3 × 16.82.
    EXPECT_TRUE(has(r->body, "107.10 M") && has(r->body, "50.46 MB/s")) << r->body;
    EXPECT_TRUE(has(r->body, "<b id=rank>3</b>"));
    r = get("/result/4");
    ASSERT_TRUE(r);
    EXPECT_TRUE(has(r->body, U8("的结果不参加排名；按MARK它在 3 个标准设置的上传中可排第 1 名")))
        << r->body;

    // The table: standard uploads by MARK, then by the disk test; the other one apart.
    r = get("/compare");
    ASSERT_TRUE(r);
    const std::string body = r->body;
    const size_t other = body.find(U8("非标准设置的上传"));
    ASSERT_NE(other, std::string::npos);
    const size_t at3 = body.find("/result/3\""), at2 = body.find("/result/2\""),
                 at1 = body.find("/result/1\""), at4 = body.find("/result/4\"");
    EXPECT_TRUE(at3 < at2 && at2 < at1 && at1 < other && other < at4) << body;
    r = get("/compare?sort=disk");
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->body.find("/result/1\"") < r->body.find("/result/2\"") &&
                r->body.find("/result/2\"") < r->body.find("/result/3\""));

    // Two side by side, under each weighting.
    r = get("/compare?a=1&b=3");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    for (const char* part : {U8("平均性能"), U8("商业运算"), U8("游戏性能"), ">2.00<", ">3.40<",
                             ">2.50<", ">3.10<", ">1.50<", ">3.70<"})
        EXPECT_TRUE(has(r->body, part)) << part;
    EXPECT_EQ(get("/compare?a=1&b=99")->status, 404);
    // The median follows a later upload: integer speeds 1, 3, 4 and 5 times the base system's.
    ASSERT_EQ(upload(spec_of({5, 5, 5, 5, 5})).first, 303);
    r = get("/result/1");
    EXPECT_TRUE(r && has(r->body, "124.95 M")) << (r ? r->body : "");
}

TEST_F(ResultsHttp, FeedbackHomeDownloadsAndTheJsonList) {
    httplib::Result r = post(
        "/contact", {{"name", U8("张三")}, {"mail", "z@host.com"}, {"message", U8("结果很好。")}});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_TRUE(has(r->body, U8("您的留言已经保存")));
    for (const std::string& message :
         {std::string(), std::string(4001, 'x'), std::string("\xFF\xFE")})
        EXPECT_EQ(post("/contact", {{"name", "x"}, {"message", message}})->status, 400);
    EXPECT_EQ(store().feedback_count(), 1);

    UploadSpec spec = spec_of({2, 1, 1, 1, 1});
    spec.info = "机器名: 测试机 \"x\"\n";
    ASSERT_EQ(upload(spec).first, 303);
    r = get("/");
    ASSERT_TRUE(r);
    EXPECT_TRUE(has(r->body, "href=\"/download/kalvit.zip\""));
    EXPECT_FALSE(has(r->body, "href=\"/download/kalvit-setup.exe\"")) << "not in the folder";
    EXPECT_TRUE(has(r->body, U8("机器名: 测试机 &quot;x&quot;")));
    EXPECT_EQ(get("/download/kalvit.zip")->body, "PK zip bytes");
    for (const char* missing : {"/download/kalvit-setup.exe", "/download/..%2Fresults.db"})
        EXPECT_EQ(get(missing)->status, 404) << missing;

    ASSERT_EQ(upload(spec_of({3, 1, 1, 1, 1})).first, 303);
    ASSERT_EQ(upload(spec_of({4, 1, 1, 1, 1})).first, 303);
    r = get("/api/results?limit=2");
    ASSERT_TRUE(r);
    EXPECT_TRUE(has(r->body, "\"id\":2,") && !has(r->body, "\"id\":3,"));
    EXPECT_TRUE(has(r->body, "\"next\":\"/api/results?after=2&limit=2\"")) << r->body;
    r = get("/api/results?after=2&limit=2");
    EXPECT_TRUE(r && has(r->body, "\"id\":3,") && has(r->body, "\"next\":null")) << r->body;
    r = get("/api/results");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->get_header_value("Content-Type"), "application/json; charset=utf-8");
    for (const std::string& part : std::vector<std::string>{
             "\"id\":1,",
             "\"speeds\":{\"integer\":71.40,\"float\":3.39,\"memory\":253.49,"
             "\"directdraw\":339.74,\"disk\":16.82}",
             "\"flags\":0,\"standard\":true,\"mode\":{\"width\":1024,\"height\":768,\"bits\":16}",
             "\"marks\":[1.2000,1.3000,1.2500]", "\"stamp\":\"2026-12-08 09:05:07\"",
             std::string(U8("\"machine\":\"机器名: 测试机 \\\"x\\\"\\u000a\""))})
        EXPECT_TRUE(has(r->body, part)) << part << "\n" << r->body;
}

TEST_F(ResultsHttp, RequestsBeyondTheirLimitsAreRefused) {
    limits_.per_address = 3;
    restart();
    const std::string head = "POST /contact HTTP/1.1\r\nHost: h\r\n";
    std::string many_headers = "GET / HTTP/1.1\r\nHost: h\r\n";
    for (int i = 0; i < 100; ++i)
        many_headers += "X-H" + std::to_string(i) + ": v\r\n";
    struct Case {
        std::string request;
        const char* status;
    };
    const Case cases[] = {
        {head + "Content-Length: 70000\r\n\r\n", "HTTP/1.1 413"},
        {head + "Content-Encoding: gzip\r\nContent-Length: 4\r\n\r\nabcd", "HTTP/1.1 415"},
        {many_headers + "\r\n", "HTTP/1.1 431"},
        {"GET /?" + std::string(20000, 'a') + " HTTP/1.1\r\nHost: h\r\n\r\n", "HTTP/1.1 414"},
        {"GET / HTTP/1.1\r\nHost: h\r\nX-Long: " + std::string(20000, 'a') + "\r\n\r\n",
         "HTTP/1.1 431"},
    };
    for (const Case& c : cases) {
        RawClient client(port());
        client.send_all(c.request);
        EXPECT_EQ(client.status(), c.status) << c.request.substr(0, 80);
    }
    // A chunked body is cut off where it passes the limit, whatever it says of itself.
    RawClient chunked(port());
    chunked.send_all(head + "Transfer-Encoding: chunked\r\n\r\n");
    const std::string chunk = "2000\r\n" + std::string(0x2000, 'm') + "\r\n";
    for (int i = 0; i < 64 && chunked.send_all(chunk); ++i) {
    }
    EXPECT_EQ(chunked.status(), "HTTP/1.1 413");

    // Three connections from one address are all it gets; other addresses are served.
    std::vector<std::unique_ptr<RawClient>> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(std::make_unique<RawClient>(port(), "127.0.0.5"));
        ASSERT_TRUE(held.back()->send_all("HEAD / HTTP/1.1\r\nHost: h\r\n\r\n"));
        ASSERT_EQ(held.back()->read_head().substr(0, 12), "HTTP/1.1 200") << "kept alive";
    }
    RawClient fourth(port(), "127.0.0.5");
    fourth.send_all("GET / HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(fourth.read_to_end(), "") << "closed unanswered";
    const httplib::Result r = get("/");
    EXPECT_TRUE(r && r->status == 200);
    held.clear();

    // A request that does not arrive within its time is ended with a 408.
    limits_.request_seconds = 1;
    restart();
    RawClient slow(port());
    slow.send_all("GET / HTTP/1.1\r\nHost: h\r\n");
    EXPECT_EQ(slow.status(), "HTTP/1.1 408");
}

TEST_F(ResultsHttp, ParallelGuessesGetNoMoreThanTheLimitAndTheOwnerGetsIn) {
    ASSERT_TRUE(proxies_.add("127.0.0.1"));
    restart();
    ASSERT_EQ(upload(spec_of({1, 1, 1, 1, 1}, "a@host.com", "right12")).first, 303);
    std::atomic<int> checked{0}, limited{0}, other{0};
    std::vector<std::thread> guessers;
    for (int i = 0; i < 30; ++i)
        guessers.emplace_back([&, i] {
            const int status =
                sign_in_from("198.51.100.7", "a@host.com", "wrong" + std::to_string(10 + i));
            ++(status == 403 ? checked : status == 429 ? limited : other);
        });
    for (std::thread& t : guessers)
        t.join();
    EXPECT_GE(checked.load(), 1);
    EXPECT_LE(checked.load(), 5) << "guesses checked in parallel";
    EXPECT_EQ(checked + limited, 30);

    // The owner elsewhere is slowed, not locked out; the guesser stays locked out.
    EXPECT_EQ(sign_in_from("203.0.113.1", "a@host.com", "right12"), 429) << "the backoff";
    now_ += 61;
    EXPECT_EQ(sign_in_from("203.0.113.1", "a@host.com", "right12"), 303);
    EXPECT_EQ(sign_in_from("198.51.100.7", "a@host.com", "right12"), 429);
    EXPECT_EQ(sign_in_from("127.0.0.9, 198.51.100.7", "a@host.com", "right12"), 429)
        << "an address of its choice before the proxy's";

    // An IPv6 client counts by its /64.
    ASSERT_EQ(upload(spec_of({1, 1, 1, 1, 2}, "b@host.com", "right12")).first, 303);
    for (int i = 1; i <= 5; ++i) {
        now_ += 61;
        EXPECT_EQ(sign_in_from("2001:db8::" + std::to_string(i), "b@host.com", "wrong12"), 403);
    }
    now_ += 61;
    EXPECT_EQ(sign_in_from("2001:db8::99", "b@host.com", "right12"), 429);
    EXPECT_EQ(sign_in_from("2001:db8:0:1::1", "b@host.com", "right12"), 303);
}

TEST_F(ResultsHttp, WritesAreThrottledAndFormsChecked) {
    options_.writes = {2, 1, 2, 3600};
    restart();
    ASSERT_EQ(upload(spec_of({1, 1, 1, 1, 1}, "a@host.com", "right12")).first, 303);
    EXPECT_EQ(upload(spec_of({1, 1, 1, 1, 2}, "b@host.com", "right12")).first, 429)
        << "a second new account within the hour";
    // A third upload within the hour.
    expect_busy(get("/upload?" + upload_letters(spec_of({1, 1, 1, 2, 1}, "a@host.com", "right12"))),
                "3600", U8("上传太频繁"));

    const std::string han = U8("测");
    std::string message;
    for (int i = 0; i < 1300; ++i)
        message += han;
    httplib::Result r = post("/contact", {{"message", message}});
    EXPECT_TRUE(r && r->status == 200) << "1300 characters, 3900 bytes";
    for (int i = 0; i < 34; ++i)
        message += han;
    r = post("/contact", {{"message", message}});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 400);
    EXPECT_TRUE(has(r->body, U8("留言最多4000字节")) && has(r->body, U8("有4002字节")));
    for (const char* bad : {"a\x1b[2Jb", "a\x00b", "a\x7f"})
        EXPECT_EQ(post("/contact", {{"message", std::string(bad, 3)}})->status, 400);

    httplib::Client client("127.0.0.1", port());
    const std::string own = "http://127.0.0.1:" + std::to_string(port());
    struct Case {
        const char *name, *value;
        int status;
    };
    const Case sites[] = {{"Origin", "http://evil.example", 403},
                          {"Sec-Fetch-Site", "cross-site", 403},
                          {"Origin", own.c_str(), 200},
                          {"Sec-Fetch-Site", "same-origin", 429}};
    for (const Case& c : sites) {
        r = client.Post("/contact", httplib::Headers{{c.name, c.value}},
                        httplib::Params{{"message", "hi"}});
        EXPECT_TRUE(r && r->status == c.status) << c.name << ": " << c.value;
    }
    EXPECT_EQ(store().feedback_count(), 2);

    EXPECT_EQ(get("/x%0AGET%20/forged")->status, 404);
    std::lock_guard lock(log_mutex_);
    EXPECT_NE(std::find(log_.begin(), log_.end(), "GET /x\\x0AGET /forged 404"), log_.end());
}

} // namespace
