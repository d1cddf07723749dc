#include "server/service.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <vector>

#include "analysis/account_rules.h"
#include "engine/model.h"
#include "server/gbk_utf8.h"
#include "server/http_server.h"
#include "server/pages.h"
#include "server/passwords.h"

namespace {

constexpr int kSessionSeconds = 30 * 24 * 3600;
constexpr int kTableRows = 500;
constexpr int kJsonPage = 1000; // uploads in one page of the JSON list, at most

struct Context {
    ResultsStore& store;
    ServiceOptions options;
    std::string decoy_hash; // verified against when there is no account, so both cost the same

    int64_t now() const {
        return options.clock ? options.clock() : static_cast<int64_t>(std::time(nullptr));
    }
};

void send_page(HttpResponse& res, int status, const std::string& title, const std::string& body,
               const PageUser& user) {
    res.status = status;
    res.set_content(page(title, body, user), "text/html; charset=utf-8");
}

void redirect(HttpResponse& res, const std::string& to) {
    res.status = 303;
    res.set_header("Location", to);
}

// The session cookie: over HTTPS with the __Host- prefix and Secure, so that no plain-HTTP
// page and no other host of the domain can set or read it.
std::string cookie_name(const HttpRequest& req) {
    return req.https ? "__Host-kalvit_session" : "kalvit_session";
}

std::string session_cookie(const HttpRequest& req, const std::string& value, int seconds) {
    return cookie_name(req) + "=" + value + "; Path=/; HttpOnly; SameSite=Strict" +
           (req.https ? "; Secure" : "") + "; Max-Age=" + std::to_string(seconds);
}

std::string cookie_token(const HttpRequest& req) {
    const std::string cookies = req.header("Cookie");
    const std::string key = cookie_name(req) + "=";
    size_t at = 0;
    while ((at = cookies.find(key, at)) != std::string::npos) {
        if (at == 0 || cookies[at - 1] == ' ' || cookies[at - 1] == ';') {
            const size_t start = at + key.size();
            return cookies.substr(start, cookies.find(';', start) - start);
        }
        at += key.size();
    }
    return "";
}

struct Visitor {
    PageUser user;
    int64_t account = 0;
    std::string token;
};

Visitor visitor(Context& c, const HttpRequest& req) {
    Visitor v;
    v.token = cookie_token(req);
    if (v.token.size() != 64)
        return v;
    if (const std::optional<Session> s = c.store.session(digest_hex(v.token), c.now())) {
        v.user = {true, s->mail, s->csrf};
        v.account = s->account;
    }
    return v;
}

bool csrf_ok(const Visitor& v, const HttpRequest& req) {
    return v.user.signed_in && same_secret(req.param("csrf"), v.user.csrf);
}

void send_busy(HttpResponse& res, int64_t wait, const std::string& text, const PageUser& user) {
    res.set_header("Retry-After", std::to_string(std::max<int64_t>(wait, 1)));
    send_page(res, 429, "请稍后再试", message_body(text), user);
}

std::string printed(const char* format, int a, int b = 0, int c = 0) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

// Counts one write of `kind` from the client; false, with the 429 sent, when its address has
// used up its writes of that kind.
bool take_write(Context& c, const char* kind, const char* what, int limit, const std::string& from,
                HttpResponse& res, const PageUser& user) {
    const int64_t now = c.now(), window = c.options.writes.window_seconds;
    const ResultsStore::Place place = c.store.take_place(kind, from, now - window, now);
    if (place.taken <= limit)
        return true;
    c.store.release_place(place.id);
    send_busy(
        res, place.oldest + window - now,
        what + printed("太频繁：每个地址%d分钟内最多%d次。请稍后再试。", int(window / 60), limit),
        user);
    return false;
}

// A password about to be checked, counted first: the places it took, which stay taken when it
// is wrong and are given back when it is right.
class PasswordTry {
public:
    PasswordTry(Context& c) : c_(c) {}
    PasswordTry(const PasswordTry&) = delete;
    PasswordTry& operator=(const PasswordTry&) = delete;

    // False, with the 429 sent and nothing kept, when the limits do not let it be checked.
    bool admit(const std::string& mail, const std::string& from, HttpResponse& res,
               const PageUser& user) {
        const PasswordLimits& l = c_.options.passwords;
        const int64_t now = c_.now(), since = now - l.window_seconds;
        const auto locked = [&l] {
            return printed("密码错误的次数太多：同一地址对同一帐户%d分钟内最多错%d次，"
                           "每个地址对所有帐户最多%d次。请稍后再试。",
                           l.window_seconds / 60, l.per_pair, l.per_address);
        };
        const ResultsStore::Place pair = take("pair", mail + "\n" + from, since, now);
        if (pair.taken > l.per_pair)
            return refuse(res, pair.oldest + l.window_seconds - now, locked(), user);
        const ResultsStore::Place address = take("address", from, since, now);
        if (address.taken > l.per_address)
            return refuse(res, address.oldest + l.window_seconds - now, locked(), user);
        const ResultsStore::Place account = take("account", mail, since, now);
        const int64_t earlier = account.taken - 1;
        if (earlier >= l.per_account) {
            const int64_t wait = std::min<int64_t>(
                int64_t{1} << std::min<int64_t>(earlier - l.per_account, 30), l.longest_wait);
            if (now - account.latest_other < wait)
                return refuse(res, account.latest_other + wait - now,
                              printed("这个帐户最近密码错误的次数太多，请%d秒后再试。",
                                      int(account.latest_other + wait - now)),
                              user);
        }
        return true;
    }
    // The password was right: it does not count.
    void release() {
        for (const int64_t id : held_)
            c_.store.release_place(id);
        held_.clear();
    }

private:
    ResultsStore::Place take(const char* scope, const std::string& key, int64_t since,
                             int64_t now) {
        const ResultsStore::Place place = c_.store.take_place(scope, key, since, now);
        held_.push_back(place.id);
        return place;
    }
    bool refuse(HttpResponse& res, int64_t wait, const std::string& text, const PageUser& user) {
        release();
        send_busy(res, wait, text, user);
        return false;
    }

    Context& c_;
    std::vector<int64_t> held_;
};

int64_t id_of(const std::string& text) {
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::stoll(text);
}

void show_result(Context& c, const HttpRequest& req, HttpResponse& res, int64_t id) {
    const Visitor v = visitor(c, req);
    const std::optional<StoredUpload> u = c.store.upload(id);
    if (!u) {
        send_page(res, 404, "没有这个结果", message_body("没有这个编号的上传结果。"), v.user);
        return;
    }
    const std::string fresh = req.param("new");
    const Arrival arrival = fresh == "1"   ? Arrival::kStored
                            : fresh == "0" ? Arrival::kAgain
                                           : Arrival::kViewed;
    send_page(res, 200, "测试结果 #" + std::to_string(u->id),
              result_body(*u, arrival, c.store.rank_of(u->id), c.store.standard_count(),
                          c.store.median_standard()),
              v.user);
}

void upload(Context& c, const HttpRequest& req, HttpResponse& res) {
    const PageUser nobody;
    const UploadCheck check = check_upload(req.query(), static_cast<std::time_t>(c.now()));
    if (!check.ok) {
        send_page(res, 400, "上传失败", refusal_body(check.problem), nobody);
        return;
    }
    const UploadFacts& f = check.facts;
    const std::string from = limit_key(req.client);
    if (!take_write(c, "upload", "上传", c.options.writes.uploads, from, res, nobody))
        return;
    std::optional<Account> account = c.store.account(f.mail);
    bool made = false;
    if (!account) {
        if (!take_write(c, "account", "建立新帐户", c.options.writes.accounts, from, res, nobody))
            return;
        const std::string hash = hash_password(f.pass);
        account = c.store.add_account(f.mail, hash, c.now());
        // Another upload may have made the account a moment earlier, with its own password;
        // otherwise the password has just been hashed and needs no second look.
        made = account->hash == hash;
    }
    if (!made) {
        PasswordTry attempt(c);
        if (!attempt.admit(f.mail, from, res, nobody))
            return;
        if (!password_matches(account->hash, f.pass)) {
            send_page(res, 403, "上传失败",
                      refusal_body("这个Email地址的帐户已经存在，但密码不对。请在 kalvit 程序中"
                                   "输入这个帐户的密码后重新上传。"),
                      nobody);
            return;
        }
        attempt.release();
    }
    MachineRecord record{};
    for (int k = 0; k < kUploadTests; ++k)
        record.speeds[k] = static_cast<float>(f.speeds[k]);
    const double marks[3] = {overall_score(record), weighted_score(record, 1),
                             weighted_score(record, 2)};
    const auto [id, added] =
        c.store.add_upload(account->id, digest_hex(f.mail + "\n" + f.body), f, marks, c.now());
    if (added)
        if (const std::optional<StoredUpload> stored = c.store.upload(id))
            c.store.set_json(id, upload_json(*stored));
    // The answer moves to the result's own address, so that the upload address, which carries
    // the password, stays out of the address bar, bookmarks and shared links.
    redirect(res, "/result/" + std::to_string(id) + "?new=" + (added ? "1" : "0"));
}

// Tab, CR and LF are the only control bytes a form's text may hold.
bool has_control(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char ch) {
        const auto b = static_cast<unsigned char>(ch);
        return (b < 0x20 && b != '\t' && b != '\r' && b != '\n') || b == 0x7F;
    });
}

void sign_in(Context& c, const HttpRequest& req, HttpResponse& res) {
    const PageUser nobody;
    const std::string mail = req.param("mail"), pass = req.param("pass");
    if (has_control(mail) || has_control(pass)) {
        send_page(res, 400, "登录", login_body("Email地址或密码中有控制字符。", ""), nobody);
        return;
    }
    if (const char* problem = account_problem(mail.c_str(), pass.c_str(), pass.c_str())) {
        send_page(res, 400, "登录", login_body(gbk_to_utf8(problem).value_or(""), mail), nobody);
        return;
    }
    PasswordTry attempt(c);
    if (!attempt.admit(mail, limit_key(req.client), res, nobody))
        return;
    const std::optional<Account> account = c.store.account(mail);
    const bool matches = password_matches(account ? account->hash : c.decoy_hash, pass);
    if (!account || !matches) {
        send_page(res, 403, "登录", login_body("Email地址或密码不对。", mail), nobody);
        return;
    }
    attempt.release();
    const std::string token = random_token();
    c.store.add_session(digest_hex(token), account->id, random_token(), c.now(),
                        c.now() + kSessionSeconds);
    res.set_header("Set-Cookie", session_cookie(req, token, kSessionSeconds));
    redirect(res, "/mine");
}

SortKey sort_key(const std::string& name) {
    static const std::pair<const char*, SortKey> kKeys[] = {{"integer", SortKey::kInteger},
                                                            {"float", SortKey::kFloat},
                                                            {"memory", SortKey::kMemory},
                                                            {"ddraw", SortKey::kDirectDraw},
                                                            {"disk", SortKey::kDisk}};
    for (const auto& [key, value] : kKeys)
        if (name == key)
            return value;
    return SortKey::kMark;
}

void compare(Context& c, const HttpRequest& req, HttpResponse& res) {
    const Visitor v = visitor(c, req);
    const int64_t a = id_of(req.param("a")), b = id_of(req.param("b"));
    if (a != 0 && b != 0) {
        const std::optional<StoredUpload> ua = c.store.upload(a), ub = c.store.upload(b);
        if (!ua || !ub) {
            send_page(res, 404, "比较", message_body("没有这个编号的上传结果。"), v.user);
            return;
        }
        send_page(res, 200, "比较 #" + std::to_string(a) + " 和 #" + std::to_string(b),
                  pair_body(*ua, *ub), v.user);
        return;
    }
    const SortKey key = sort_key(req.param("sort"));
    send_page(res, 200, "比较",
              table_body(c.store.ranked(true, key, kTableRows),
                         c.store.ranked(false, key, kTableRows), key),
              v.user);
}

void contact(Context& c, const HttpRequest& req, HttpResponse& res) {
    const Visitor v = visitor(c, req);
    const std::string name = req.param("name"), mail = req.param("mail"),
                      message = req.param("message");
    std::string problem;
    if (message.empty())
        problem = "请写下留言。";
    else if (message.size() > 4000)
        problem = "留言最多4000字节（约1300个汉字），这条留言有" + std::to_string(message.size()) +
                  "字节。";
    else if (name.size() > 100 || mail.size() > 100)
        problem = "称呼和Email最多100字节。";
    else if (!valid_utf8(name) || !valid_utf8(mail) || !valid_utf8(message) || has_control(name) ||
             has_control(mail) || has_control(message))
        problem = "留言中有无效的文字或控制字符。";
    if (!problem.empty()) {
        send_page(res, 400, "联系我们", contact_body(problem, false), v.user);
        return;
    }
    if (!take_write(c, "feedback", "留言", c.options.writes.feedback, limit_key(req.client), res,
                    v.user))
        return;
    c.store.add_feedback(name, mail, message, c.now());
    send_page(res, 200, "联系我们", contact_body("", true), v.user);
}

std::filesystem::path download_file(const ServiceOptions& o, const std::string& name) {
    std::error_code error;
    const std::filesystem::path file = std::filesystem::path(o.downloads) / name;
    if (o.downloads.empty() || !std::filesystem::is_regular_file(file, error))
        return {};
    return file;
}

void download(Context& c, const HttpRequest& req, HttpResponse& res) {
    const std::string name = req.matches[1];
    const std::filesystem::path file = download_file(c.options, name);
    if (file.empty()) {
        send_page(res, 404, "下载", message_body("本服务器没有提供这个文件。"), PageUser{});
        return;
    }
    res.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
    res.set_header("Content-Type", "application/octet-stream");
    res.file = file.string();
}

void json_list(Context& c, const HttpRequest& req, HttpResponse& res) {
    const int64_t after = id_of(req.param("after"));
    const int64_t asked = id_of(req.param("limit"));
    const int limit = asked > 0 && asked < kJsonPage ? static_cast<int>(asked) : kJsonPage;
    std::vector<std::string> entries;
    int64_t last = after;
    for (auto& [id, json] : c.store.json_after(after, limit)) {
        last = id;
        if (!json) // stored before the entries were kept: made now, and kept
            if (const std::optional<StoredUpload> u = c.store.upload(id)) {
                json = upload_json(*u);
                c.store.set_json(id, *json);
            }
        if (json)
            entries.push_back(std::move(*json));
    }
    const std::string next =
        last > after && static_cast<int>(entries.size()) == limit
            ? "/api/results?after=" + std::to_string(last) + "&limit=" + std::to_string(limit)
            : "";
    res.set_content(results_json(entries, next), "application/json; charset=utf-8");
}

// A form sent from a page of another site is refused: its Origin names another site, or the
// browser says it crossed sites. Browsers that send neither (as old ones do) are let through;
// the forms that change anything also carry the session's own token.
bool same_site(const HttpRequest& req) {
    const std::string origin = req.header("Origin");
    if (!origin.empty()) {
        std::string expected = (req.https ? "https://" : "http://") + req.header("Host");
        std::string got = origin;
        for (std::string* text : {&expected, &got})
            std::transform(text->begin(), text->end(), text->begin(),
                           [](unsigned char ch) { return std::tolower(ch); });
        return got == expected;
    }
    const std::string site = req.header("Sec-Fetch-Site");
    return site.empty() || site == "same-origin" || site == "none";
}

bool has_download(const ServiceOptions& o, const char* name) {
    return !download_file(o, name).empty();
}

} // namespace

void mount_service(HttpServer& server, ResultsStore& store, ServiceOptions options) {
    install_base_system(machine_list);
    auto c = std::make_shared<Context>(Context{store, std::move(options), ""});
    c->decoy_hash = hash_password(random_token());

    server.set_default_headers(
        {{"Content-Security-Policy",
          "default-src 'none'; style-src 'unsafe-inline'; img-src 'self'; form-action 'self'"},
         {"X-Content-Type-Options", "nosniff"},
         {"Referrer-Policy", "no-referrer"},
         {"Cache-Control", "no-store"}});

    using Handler = void (*)(Context&, const HttpRequest&, HttpResponse&);
    // The pages of the account: over HTTPS the browser is told to keep to HTTPS for the site.
    // The other pages stay plain HTTP as well, for the browsers and the program of old systems.
    const auto add = [&server, c](const char* method, const char* pattern, Handler handler,
                                  bool account_page = false) {
        server.route(
            method, pattern, [c, handler, account_page](const HttpRequest& req, HttpResponse& res) {
                if (req.method == "POST" && !same_site(req)) {
                    send_page(res, 403, "拒绝", message_body("这个表单来自别的网站，已被拒绝。"),
                              PageUser{});
                    return;
                }
                handler(*c, req, res);
                if (account_page && req.https)
                    res.set_header("Strict-Transport-Security", "max-age=31536000");
            });
    };

    add("GET", "/", [](Context& c, const HttpRequest& req, HttpResponse& res) {
        const Visitor v = visitor(c, req);
        send_page(res, 200, "电脑性能测试",
                  home_body(c.store.latest(20), has_download(c.options, "kalvit-setup.exe"),
                            has_download(c.options, "kalvit.zip")),
                  v.user);
    });
    add("GET", R"(/download/(kalvit-setup\.exe|kalvit\.zip))", download);
    add("GET", "/upload", upload);
    add("GET", R"(/result/(\d{1,18}))", [](Context& c, const HttpRequest& req, HttpResponse& res) {
        show_result(c, req, res, id_of(req.matches[1]));
    });
    add(
        "GET", "/login",
        [](Context& c, const HttpRequest& req, HttpResponse& res) {
            const Visitor v = visitor(c, req);
            if (v.user.signed_in)
                redirect(res, "/mine");
            else
                send_page(res, 200, "登录", login_body("", ""), v.user);
        },
        true);
    add("POST", "/login", sign_in, true);
    add(
        "POST", "/logout",
        [](Context& c, const HttpRequest& req, HttpResponse& res) {
            const Visitor v = visitor(c, req);
            if (csrf_ok(v, req))
                c.store.remove_session(digest_hex(v.token));
            res.set_header("Set-Cookie", session_cookie(req, "", 0));
            redirect(res, "/");
        },
        true);
    add(
        "GET", "/mine",
        [](Context& c, const HttpRequest& req, HttpResponse& res) {
            const Visitor v = visitor(c, req);
            if (!v.user.signed_in) {
                redirect(res, "/login");
                return;
            }
            const std::string deleted = req.param("deleted");
            send_page(res, 200, "我的机器",
                      mine_body(c.store.of_account(v.account), v.user,
                                id_of(deleted) ? "已经删除 #" + deleted + "。" : ""),
                      v.user);
        },
        true);
    add(
        "POST", "/mine/delete",
        [](Context& c, const HttpRequest& req, HttpResponse& res) {
            const Visitor v = visitor(c, req);
            if (!csrf_ok(v, req)) {
                send_page(res, 403, "删除", message_body("请先登录，再从“我的机器”页删除。"),
                          v.user);
                return;
            }
            const int64_t id = id_of(req.param("id"));
            if (!c.store.remove_upload(id, v.account)) {
                send_page(res, 404, "删除", message_body("没有这个上传，或者它不属于您的帐户。"),
                          v.user);
                return;
            }
            redirect(res, "/mine?deleted=" + std::to_string(id));
        },
        true);
    add("GET", "/compare", compare);
    add("GET", "/contact", [](Context& c, const HttpRequest& req, HttpResponse& res) {
        send_page(res, 200, "联系我们", contact_body("", false), visitor(c, req).user);
    });
    add("POST", "/contact", contact);
    add("GET", "/api/results", json_list);

    server.set_refusal([](int status, const std::string& what, HttpResponse& res) {
        struct Text {
            int status;
            const char *title, *text;
        };
        static const Text kTexts[] = {
            {404, "没有这个网页", "没有这个网页。"},
            {408, "请求超时", "请求没有在限定的时间内传完。"},
            {413, "请求太大", "请求的内容太长，服务器不接受。"},
            {415, "请求无法处理", "服务器不接受压缩过的请求内容。"},
            {431, "请求太大", "请求的头部太长或者太多。"},
        };
        const Text* found = nullptr;
        for (const Text& t : kTexts)
            if (t.status == status)
                found = &t;
        if (!found) {
            std::fprintf(stderr, "kalvit-results: %s\n", what.c_str());
            send_page(res, status, "暂时不能服务", message_body("服务器暂时出了问题，请稍后再试。"),
                      PageUser{});
            return;
        }
        send_page(res, status, found->title, message_body(found->text), PageUser{});
    });
    if (!c->options.quiet)
        server.set_logger([c](const HttpRequest& req, const HttpResponse& res) {
            // The path only: an upload's query carries its password. Control bytes are
            // escaped, so that no request can write a line of its own.
            const std::string line =
                log_text(req.method) + " " + log_text(req.path) + " " + std::to_string(res.status);
            if (c->options.log)
                c->options.log(line);
            else
                std::fprintf(stderr, "%s\n", line.c_str());
        });
}
