#include <gtest/gtest.h>

#include <httplib.h>
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

std::string form_value(const std::string& page, const std::string& name) {
    std::smatch m;
    if (std::regex_search(page, m, std::regex("name=" + name + " value=\"([^\"]*)\"")))
        return m[1];
    return "";
}

// One instance of the service: its own store connections and server.
struct Instance {
    std::unique_ptr<ResultsStore> store;
    std::unique_ptr<HttpServer> server;
    int port = 0;

    void start(const std::string& address, const ServiceOptions& options,
               const HttpLimits& limits, const TrustedProxies& proxies) {
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
    httplib::Result r =
        get("/upload?" + upload_letters(spec_of({3, 1, 1, 1, 1}, "a@host.com", "right12")));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 429) << "the account's five failures are used up";
    EXPECT_EQ(r->get_header_value("Retry-After"), "900");
    EXPECT_TRUE(has(r->body, U8("同一地址对同一帐户15分钟内最多错5次")));
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

} // namespace
