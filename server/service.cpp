#include "server/service.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "analysis/account_rules.h"
#include "engine/model.h"
#include "server/gbk_utf8.h"
#include "server/pages.h"
#include "server/passwords.h"

namespace {

constexpr int kSessionSeconds = 30 * 24 * 3600;
constexpr const char* kCookie = "kalvit_session";
constexpr int kTableRows = 500;

struct Context {
    ResultsStore& store;
    ServiceOptions options;
    std::string decoy_hash; // verified against when there is no account, so both cost the same

    int64_t now() const {
        return options.clock ? options.clock() : static_cast<int64_t>(std::time(nullptr));
    }
};

void send_page(httplib::Response& res, int status, const std::string& title,
               const std::string& body, const PageUser& user) {
    res.status = status;
    res.set_content(page(title, body, user), "text/html; charset=utf-8");
}

void redirect(httplib::Response& res, const std::string& to) {
    res.status = 303;
    res.set_header("Location", to);
}

std::string cookie_token(const httplib::Request& req) {
    const std::string cookies = req.get_header_value("Cookie");
    const std::string key = std::string(kCookie) + "=";
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

Visitor visitor(Context& c, const httplib::Request& req) {
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

bool csrf_ok(const Visitor& v, const httplib::Request& req) {
    return v.user.signed_in && same_secret(req.get_param_value("csrf"), v.user.csrf);
}

// True when the account or the address has used up its failed passwords.
bool over_limit(Context& c, const std::string& mail, const std::string& address) {
    const int64_t since = c.now() - c.options.limits.window_seconds;
    return c.store.failures_since("account", mail, since) >= c.options.limits.per_account ||
           c.store.failures_since("address", address, since) >= c.options.limits.per_address;
}

void note_failure(Context& c, const std::string& mail, const std::string& address) {
    c.store.note_failure("account", mail, c.now());
    c.store.note_failure("address", address, c.now());
}

void send_limited(Context& c, httplib::Response& res, const PageUser& user) {
    res.set_header("Retry-After", std::to_string(c.options.limits.window_seconds));
    char text[256];
    std::snprintf(text, sizeof text,
                  "密码错误的次数太多：每个帐户%d分钟内最多%d次，每个地址最多%d次。请稍后再试。",
                  c.options.limits.window_seconds / 60, c.options.limits.per_account,
                  c.options.limits.per_address);
    send_page(res, 429, "请稍后再试", message_body(text), user);
}

int64_t id_of(const std::string& text) {
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::stoll(text);
}

void show_result(Context& c, const httplib::Request& req, httplib::Response& res, int64_t id) {
    const Visitor v = visitor(c, req);
    const std::optional<StoredUpload> u = c.store.upload(id);
    if (!u) {
        send_page(res, 404, "没有这个结果", message_body("没有这个编号的上传结果。"), v.user);
        return;
    }
    const std::string fresh = req.get_param_value("new");
    const Arrival arrival = fresh == "1"   ? Arrival::kStored
                            : fresh == "0" ? Arrival::kAgain
                                           : Arrival::kViewed;
    send_page(res, 200, "测试结果 #" + std::to_string(u->id),
              result_body(*u, arrival, c.store.rank_of(u->id), c.store.standard_count(),
                          c.store.median_standard()),
              v.user);
}

void upload(Context& c, const httplib::Request& req, httplib::Response& res) {
    const PageUser nobody;
    const size_t mark = req.target.find('?');
    const std::string letters = mark == std::string::npos ? "" : req.target.substr(mark + 1);
    const UploadCheck check = check_upload(letters, static_cast<std::time_t>(c.now()));
    if (!check.ok) {
        send_page(res, 400, "上传失败", refusal_body(check.problem), nobody);
        return;
    }
    const UploadFacts& f = check.facts;
    if (over_limit(c, f.mail, req.remote_addr)) {
        send_limited(c, res, nobody);
        return;
    }
    std::optional<Account> account = c.store.account(f.mail);
    if (!account) {
        account = c.store.add_account(f.mail, hash_password(f.pass), c.now());
        // Another upload may have made the account a moment earlier, with its own password.
    }
    if (!password_matches(account->hash, f.pass)) {
        note_failure(c, f.mail, req.remote_addr);
        send_page(res, 403, "上传失败",
                  refusal_body("这个Email地址的帐户已经存在，但密码不对。请在 kalvit 程序中"
                               "输入这个帐户的密码后重新上传。"),
                  nobody);
        return;
    }
    MachineRecord record{};
    for (int k = 0; k < kUploadTests; ++k)
        record.speeds[k] = static_cast<float>(f.speeds[k]);
    const double marks[3] = {overall_score(record), weighted_score(record, 1),
                             weighted_score(record, 2)};
    const auto [id, added] =
        c.store.add_upload(account->id, digest_hex(f.mail + "\n" + f.body), f, marks, c.now());
    // The answer moves to the result's own address, so that the upload address, which carries
    // the password, stays out of the address bar, bookmarks and shared links.
    redirect(res, "/result/" + std::to_string(id) + "?new=" + (added ? "1" : "0"));
}

void sign_in(Context& c, const httplib::Request& req, httplib::Response& res) {
    const PageUser nobody;
    const std::string mail = req.get_param_value("mail"), pass = req.get_param_value("pass");
    if (const char* problem = account_problem(mail.c_str(), pass.c_str(), pass.c_str())) {
        send_page(res, 400, "登录", login_body(gbk_to_utf8(problem).value_or(""), mail), nobody);
        return;
    }
    if (over_limit(c, mail, req.remote_addr)) {
        send_limited(c, res, nobody);
        return;
    }
    const std::optional<Account> account = c.store.account(mail);
    const bool matches = password_matches(account ? account->hash : c.decoy_hash, pass);
    if (!account || !matches) {
        note_failure(c, mail, req.remote_addr);
        send_page(res, 403, "登录", login_body("Email地址或密码不对。", mail), nobody);
        return;
    }
    const std::string token = random_token();
    c.store.add_session(digest_hex(token), account->id, random_token(), c.now(),
                        c.now() + kSessionSeconds);
    res.set_header("Set-Cookie", std::string(kCookie) + "=" + token +
                                     "; Path=/; HttpOnly; SameSite=Strict; Max-Age=" +
                                     std::to_string(kSessionSeconds));
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

void compare(Context& c, const httplib::Request& req, httplib::Response& res) {
    const Visitor v = visitor(c, req);
    const int64_t a = id_of(req.get_param_value("a")), b = id_of(req.get_param_value("b"));
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
    const SortKey key = sort_key(req.get_param_value("sort"));
    send_page(res, 200, "比较",
              table_body(c.store.ranked(true, key, kTableRows),
                         c.store.ranked(false, key, kTableRows), key),
              v.user);
}

void contact(Context& c, const httplib::Request& req, httplib::Response& res) {
    const Visitor v = visitor(c, req);
    const std::string name = req.get_param_value("name"), mail = req.get_param_value("mail"),
                      message = req.get_param_value("message");
    std::string problem;
    if (message.empty())
        problem = "请写下留言。";
    else if (message.size() > 4000 || name.size() > 100 || mail.size() > 100)
        problem = "留言最多4000字节，称呼和Email最多100字节。";
    else if (!valid_utf8(name) || !valid_utf8(mail) || !valid_utf8(message))
        problem = "留言中有无效的文字。";
    if (!problem.empty()) {
        send_page(res, 400, "联系我们", contact_body(problem, false), v.user);
        return;
    }
    c.store.add_feedback(name, mail, message, c.now());
    send_page(res, 200, "联系我们", contact_body("", true), v.user);
}

void download(Context& c, const httplib::Request& req, httplib::Response& res) {
    const std::string name = req.matches[1];
    const std::filesystem::path file = std::filesystem::path(c.options.downloads) / name;
    std::ifstream in(file, std::ios::binary);
    if (c.options.downloads.empty() || !in) {
        send_page(res, 404, "下载", message_body("本服务器没有提供这个文件。"), PageUser{});
        return;
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    res.set_header("Content-Disposition", "attachment; filename=\"" + name + "\"");
    res.set_content(bytes.str(), "application/octet-stream");
}

bool has_download(const ServiceOptions& o, const char* name) {
    std::error_code error;
    return !o.downloads.empty() &&
           std::filesystem::is_regular_file(std::filesystem::path(o.downloads) / name, error);
}

} // namespace

void mount_service(httplib::Server& server, ResultsStore& store, ServiceOptions options) {
    install_base_system(machine_list);
    auto c = std::make_shared<Context>(Context{store, std::move(options), ""});
    c->decoy_hash = hash_password(random_token());

    server.set_payload_max_length(64 * 1024);
    // A page goes out as headers and body in two writes: without this, Nagle's algorithm holds
    // the body until the client's delayed acknowledgement, some 40 ms on a kept-alive connection.
    server.set_tcp_nodelay(true);
    server.set_default_headers(
        {{"Content-Security-Policy",
          "default-src 'none'; style-src 'unsafe-inline'; img-src 'self'; form-action 'self'"},
         {"X-Content-Type-Options", "nosniff"},
         {"Referrer-Policy", "no-referrer"},
         {"Cache-Control", "no-store"}});

    server.Get("/", [c](const httplib::Request& req, httplib::Response& res) {
        const Visitor v = visitor(*c, req);
        send_page(res, 200, "电脑性能测试",
                  home_body(c->store.latest(20), has_download(c->options, "kalvit-setup.exe"),
                            has_download(c->options, "kalvit.zip")),
                  v.user);
    });
    server.Get(
        R"(/download/(kalvit-setup\.exe|kalvit\.zip))",
        [c](const httplib::Request& req, httplib::Response& res) { download(*c, req, res); });
    server.Get("/upload",
               [c](const httplib::Request& req, httplib::Response& res) { upload(*c, req, res); });
    server.Get(R"(/result/(\d{1,18}))", [c](const httplib::Request& req, httplib::Response& res) {
        show_result(*c, req, res, id_of(req.matches[1]));
    });
    server.Get("/login", [c](const httplib::Request& req, httplib::Response& res) {
        const Visitor v = visitor(*c, req);
        if (v.user.signed_in)
            redirect(res, "/mine");
        else
            send_page(res, 200, "登录", login_body("", ""), v.user);
    });
    server.Post("/login", [c](const httplib::Request& req, httplib::Response& res) {
        sign_in(*c, req, res);
    });
    server.Post("/logout", [c](const httplib::Request& req, httplib::Response& res) {
        const Visitor v = visitor(*c, req);
        if (csrf_ok(v, req))
            c->store.remove_session(digest_hex(v.token));
        res.set_header("Set-Cookie",
                       std::string(kCookie) + "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0");
        redirect(res, "/");
    });
    server.Get("/mine", [c](const httplib::Request& req, httplib::Response& res) {
        const Visitor v = visitor(*c, req);
        if (!v.user.signed_in) {
            redirect(res, "/login");
            return;
        }
        const std::string deleted = req.get_param_value("deleted");
        send_page(res, 200, "我的机器",
                  mine_body(c->store.of_account(v.account), v.user,
                            id_of(deleted) ? "已经删除 #" + deleted + "。" : ""),
                  v.user);
    });
    server.Post("/mine/delete", [c](const httplib::Request& req, httplib::Response& res) {
        const Visitor v = visitor(*c, req);
        if (!csrf_ok(v, req)) {
            send_page(res, 403, "删除", message_body("请先登录，再从“我的机器”页删除。"), v.user);
            return;
        }
        const int64_t id = id_of(req.get_param_value("id"));
        if (!c->store.remove_upload(id, v.account)) {
            send_page(res, 404, "删除", message_body("没有这个上传，或者它不属于您的帐户。"),
                      v.user);
            return;
        }
        redirect(res, "/mine?deleted=" + std::to_string(id));
    });
    server.Get("/compare",
               [c](const httplib::Request& req, httplib::Response& res) { compare(*c, req, res); });
    server.Get("/contact", [c](const httplib::Request& req, httplib::Response& res) {
        send_page(res, 200, "联系我们", contact_body("", false), visitor(*c, req).user);
    });
    server.Post("/contact", [c](const httplib::Request& req, httplib::Response& res) {
        contact(*c, req, res);
    });
    server.Get("/api/results", [c](const httplib::Request&, httplib::Response& res) {
        res.set_content(results_json(c->store.all(100000)), "application/json; charset=utf-8");
    });

    server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.status == 404 && res.body.empty())
            res.set_content(page("没有这个网页", message_body("没有这个网页。"), PageUser{}),
                            "text/html; charset=utf-8");
    });
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr error) {
            std::string what = "unknown";
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                what = e.what();
            } catch (...) {
            }
            std::fprintf(stderr, "kalvit-results: %s\n", what.c_str());
            res.status = 503;
            res.set_content(
                page("暂时不能服务", message_body("服务器暂时出了问题，请稍后再试。"), PageUser{}),
                "text/html; charset=utf-8");
        });
    if (!c->options.quiet)
        server.set_logger([c](const httplib::Request& req, const httplib::Response& res) {
            // The path only: an upload's query carries its password.
            const std::string line = req.method + " " + req.path + " " + std::to_string(res.status);
            if (c->options.log)
                c->options.log(line);
            else
                std::fprintf(stderr, "%s\n", line.c_str());
        });
}
