// results-load: load on a running kalvit-results over loopback, with uploads made by the
// program's own upload code.
//   results-load pages   --port P [--host H] [--clients N] [--seconds S] [--page
//   mix|pair|table|result]
//                        [--ids N]
//   results-load uploads --port P [--host H] [--clients N] [--seconds S | --count N] [--first K]
//   results-load hash    [--times N]
//   results-load letters
//   results-load upload-url --mail M --pass P [--host H] [--port N]
// "pages": each client, on one keep-alive connection, fetches pages until the time is up: two
// uploads side by side (/compare?a=X&b=Y), the table of all uploads (/compare) or a result page,
// one kind or a mix. The ids are 1..N, or those /api/results lists when --ids is not given.
// "uploads": each client sends distinct valid uploads, under an account of its own, and counts
// the 303 answers; the redirect is not followed. Upload number i has its own speeds, machine text
// and time stamp, so runs with different --first never send the same upload twice.
// Both print requests/s, the median and 99th-percentile latency and the answers other than 2xx
// and 3xx, and end with one "figures:" line for scripts.
// "hash": the time of the service's password hash and of its check, the median of N.
// "letters": the uploads of the browser check, one a line: the three MARKs as the result pages
// show them, the five speeds, then the letters.
// "upload-url": the path and query (/upload?...) of one valid upload under the account M with
// the password P, as the program would send it to H:N; the first upload under M makes the
// account, so one GET of it gives a script an account with a known password.
#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/model.h"
#include "server/passwords.h"
#include "tests/native/upload_maker.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    std::string mode, host = "127.0.0.1", page = "mix", mail, pass;
    int port = 0, clients = 16, ids = 0, times = 5;
    double seconds = 10.0;
    long count = 0, first = 0;
};

int usage() {
    std::fprintf(stderr,
                 "usage: results-load pages   --port P [--host H] [--clients N] [--seconds S]\n"
                 "                            [--page mix|pair|table|result] [--ids N]\n"
                 "       results-load uploads --port P [--host H] [--clients N]\n"
                 "                            [--seconds S | --count N] [--first K]\n"
                 "       results-load hash    [--times N]\n"
                 "       results-load letters\n"
                 "       results-load upload-url --mail M --pass P [--host H] [--port N]\n");
    return 2;
}

// What one client saw.
struct Tally {
    std::vector<double> latencies_ms; // every answered request
    long answered = 0, refused = 0;   // refused: a status other than 2xx and 3xx
    long failed = 0;                  // no answer: the connection failed or timed out
    long unexpected = 0;              // uploads: a 303 that is not to a new result
    std::string first_problem;
};

void note_problem(Tally& t, const std::string& text) {
    if (t.first_problem.empty())
        t.first_problem = text;
}

httplib::Client connect(const Options& o) {
    httplib::Client client(o.host, o.port);
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true); // as browsers do
    client.set_follow_location(false);
    client.set_connection_timeout(5);
    client.set_read_timeout(60);
    client.set_write_timeout(60);
    return client;
}

// Fetches `path` and files the answer under `t`; returns the answer's status, or 0.
int fetch(httplib::Client& client, const std::string& path, Tally& t, std::string* location) {
    const Clock::time_point start = Clock::now();
    const httplib::Result res = client.Get(path);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!res) {
        ++t.failed;
        note_problem(t, "no answer: " + httplib::to_string(res.error()));
        return 0;
    }
    ++t.answered;
    t.latencies_ms.push_back(ms);
    if (res->status < 200 || res->status >= 400) {
        ++t.refused;
        note_problem(t, std::to_string(res->status) + " for " + path.substr(0, 60));
    }
    if (location != nullptr)
        *location = res->get_header_value("Location");
    return res->status;
}

// The ids /api/results lists.
std::vector<int64_t> listed_ids(const Options& o) {
    httplib::Client client = connect(o);
    const httplib::Result res = client.Get("/api/results");
    std::vector<int64_t> ids;
    if (!res || res->status != 200)
        return ids;
    const std::string key = "{\"id\":";
    for (size_t at = res->body.find(key); at != std::string::npos; at = res->body.find(key, at + 1))
        ids.push_back(std::strtoll(res->body.c_str() + at + key.size(), nullptr, 10));
    return ids;
}

// Upload number `i`: speeds between half and twenty times the base system's, one upload in five
// with options, a machine text and a time stamp of its own.
std::mutex letters_mutex; // the upload code's message boxes are process-wide

std::string upload_number(long i, const std::string& mail, const std::string& pass = "secret1",
                          const std::string& url = UploadSpec{}.url) {
    UploadSpec u;
    u.mail = mail;
    u.pass = pass;
    u.url = url;
    std::mt19937 random(static_cast<uint32_t>(i) * 2654435761u + 1u);
    std::uniform_real_distribution<double> factor(0.5, 20.0);
    const MachineRecord base = base_system_record();
    for (int k = 0; k < kTestCount; ++k) {
        const double v = base.speeds[k] * factor(random);
        u.speeds[k] = static_cast<float>(std::round(v * 100.0) / 100.0);
    }
    u.flags = i % 5 == 4 ? (kFlagDiskCached | kFlagSse) : 0;
    char info[160];
    std::snprintf(info, sizeof info, "机器名: 负载测试机 %ld\n处理器: x86 %d MHz\n内存: %d MB\n", i,
                  400 + static_cast<int>(i % 2600), 64 << (i % 6));
    u.info = info;
    // 2025-01-01 00:00:00 UTC plus a minute and a second for each upload: always in the past.
    const std::time_t when = 1735689600 + static_cast<std::time_t>(i % 20000000) * 61;
    gmtime_r(&when, &u.time);
    const std::lock_guard<std::mutex> lock(letters_mutex);
    return upload_letters(u);
}

double percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty())
        return 0.0;
    const size_t at = static_cast<size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(at, sorted.size() - 1)];
}

int report(const Options& o, const std::vector<Tally>& tallies, double seconds) {
    Tally all;
    for (const Tally& t : tallies) {
        all.latencies_ms.insert(all.latencies_ms.end(), t.latencies_ms.begin(),
                                t.latencies_ms.end());
        all.answered += t.answered;
        all.refused += t.refused;
        all.failed += t.failed;
        all.unexpected += t.unexpected;
        if (!t.first_problem.empty())
            note_problem(all, t.first_problem);
    }
    std::sort(all.latencies_ms.begin(), all.latencies_ms.end());
    const long requests = all.answered + all.failed;
    const double rate = seconds > 0.0 ? static_cast<double>(requests) / seconds : 0.0;
    const double p50 = percentile(all.latencies_ms, 0.50), p99 = percentile(all.latencies_ms, 0.99);
    const long errors = all.refused + all.failed + all.unexpected;
    const std::string test = o.mode == "pages" ? "pages-" + o.page : o.mode;
    std::printf("results-load: %s, %d clients, %.1f s: %ld requests, %.1f/s, p50 %.2f ms, "
                "p99 %.2f ms, %ld not 2xx/3xx, %ld without an answer",
                test.c_str(), o.clients, seconds, requests, rate, p50, p99, all.refused,
                all.failed);
    if (o.mode == "uploads")
        std::printf(", %ld not stored as new", all.unexpected);
    std::printf("\n");
    if (!all.first_problem.empty())
        std::printf("results-load: first problem: %s\n", all.first_problem.c_str());
    std::printf("figures: test=%s clients=%d seconds=%.2f requests=%ld rps=%.1f p50_ms=%.2f "
                "p99_ms=%.2f errors=%ld\n",
                test.c_str(), o.clients, seconds, requests, rate, p50, p99, errors);
    return requests > 0 ? 0 : 1;
}

// Runs `body(client, its tally, its connection, the deadline)` on o.clients threads at once,
// then reports what they counted.
template <typename Body> int run_clients(const Options& o, Body body) {
    std::vector<Tally> tallies(static_cast<size_t>(o.clients));
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>(o.seconds));
    std::vector<std::thread> threads;
    for (int c = 0; c < o.clients; ++c)
        threads.emplace_back([&, c] {
            httplib::Client client = connect(o);
            body(c, tallies[static_cast<size_t>(c)], client, end);
        });
    for (std::thread& t : threads)
        t.join();
    return report(o, tallies, std::chrono::duration<double>(Clock::now() - start).count());
}

int run_pages(const Options& o) {
    std::vector<int64_t> ids;
    if (o.ids > 0)
        for (int64_t id = 1; id <= o.ids; ++id)
            ids.push_back(id);
    else
        ids = listed_ids(o);
    if (ids.size() < 2 && o.page != "table") {
        std::fprintf(stderr, "results-load: fewer than two uploads to fetch\n");
        return 1;
    }
    return run_clients(o, [&](int c, Tally& t, httplib::Client& client, Clock::time_point end) {
        std::mt19937 random(static_cast<uint32_t>(c) + 1u);
        std::uniform_int_distribution<size_t> pick(0, ids.empty() ? 0 : ids.size() - 1);
        static const char* const kSorts[] = {
            "", "?sort=integer", "?sort=float", "?sort=memory", "?sort=ddraw", "?sort=disk"};
        for (long n = 0; Clock::now() < end; ++n) {
            // The mix: of every four pages two pairs, a result page and the table.
            std::string kind = o.page;
            if (kind == "mix")
                kind = n % 4 == 3 ? "table" : n % 4 == 2 ? "result" : "pair";
            std::string path;
            if (kind == "pair")
                path = "/compare?a=" + std::to_string(ids[pick(random)]) +
                       "&b=" + std::to_string(ids[pick(random)]);
            else if (kind == "result")
                path = "/result/" + std::to_string(ids[pick(random)]);
            else
                path = std::string("/compare") + kSorts[n % 6];
            fetch(client, path, t, nullptr);
        }
    });
}

int run_uploads(const Options& o) {
    std::atomic<long> next{o.first};
    const long last = o.count > 0 ? o.first + o.count : -1;
    return run_clients(o, [&](int c, Tally& t, httplib::Client& client, Clock::time_point end) {
        char mail[40];
        std::snprintf(mail, sizeof mail, "load%02d@bench.com", c);
        for (;;) {
            if (last < 0 && Clock::now() >= end)
                break;
            const long i = next++;
            if (last >= 0 && i >= last)
                break;
            const std::string letters = upload_number(i, mail);
            std::string location;
            const int status = fetch(client, "/upload?" + letters, t, &location);
            if (status != 0 && status != 303) {
                if (status >= 200 && status < 400) // refused ones are counted already
                    ++t.unexpected;
            } else if (status == 303 && location.find("?new=1") == std::string::npos) {
                ++t.unexpected;
                note_problem(t, "303 to " + location);
            }
        }
    });
}

int run_hash(const Options& o) {
    std::vector<double> hashes, checks;
    for (int i = 0; i < o.times; ++i) {
        Clock::time_point start = Clock::now();
        const std::string hash = hash_password("secret1");
        hashes.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        start = Clock::now();
        const bool ok = password_matches(hash, "secret1");
        checks.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        if (!ok) {
            std::fprintf(stderr, "results-load: a password does not match its own hash\n");
            return 1;
        }
    }
    std::sort(hashes.begin(), hashes.end());
    std::sort(checks.begin(), checks.end());
    std::printf("results-load: argon2id, %llu passes over %zu MiB, one lane: hash %.1f ms, check "
                "%.1f ms (median of %d; fastest %.1f / %.1f ms)\n",
                kHashPasses, kHashMemory >> 20, percentile(hashes, 0.5), percentile(checks, 0.5),
                o.times, hashes.front(), checks.front());
    std::printf("figures: test=hash passes=%llu mib=%zu hash_ms=%.1f check_ms=%.1f\n", kHashPasses,
                kHashMemory >> 20, percentile(hashes, 0.5), percentile(checks, 0.5));
    return 0;
}

// The browser check's uploads: a standard one, one with options under the same account, and a
// faster standard one under another account, which ranks the first second. Machine texts are
// GBK, as the program keeps them.
int print_letters() {
    install_base_system(machine_list);
    UploadSpec standard;
    standard.mail = "viewer@host.com";
    standard.info = "机器名: 测试机\n处理器: AMD Athlon(tm) 1200MHz\n内存: 256 MB\n";
    standard.time = {0, 0, 10, 1, 11, 126, 0, 0, 0, 0, nullptr}; // 2026-12-01 10:00:00
    UploadSpec options = standard;
    options.flags = kFlagDiskCached | kFlagSse;
    const float tuned[kTestCount] = {65.20f, 5.90f, 3.10f, 702.33f, 40.25f};
    std::copy(std::begin(tuned), std::end(tuned), options.speeds);
    options.info = "机器名: 测试机（超频）\n处理器: AMD Athlon(tm) 1400MHz\n内存: 256 MB\n";
    options.time.tm_min = 30;
    UploadSpec faster = standard;
    faster.mail = "second@host.com";
    faster.pass = "other22";
    const float fast[kTestCount] = {120.50f, 11.30f, 6.20f, 900.10f, 15.70f};
    std::copy(std::begin(fast), std::end(fast), faster.speeds);
    faster.info = "机器名: 第二台\n处理器: Intel Pentium III 1000MHz\n";
    faster.time.tm_hour = 11;
    for (const UploadSpec& u : {standard, options, faster}) {
        MachineRecord record{};
        std::copy(std::begin(u.speeds), std::end(u.speeds), record.speeds);
        std::printf("%.2f %.2f %.2f", static_cast<double>(overall_score(record)),
                    static_cast<double>(weighted_score(record, 1)),
                    static_cast<double>(weighted_score(record, 2)));
        for (float s : u.speeds)
            std::printf(" %.2f", static_cast<double>(s));
        const std::string letters = upload_letters(u);
        if (letters.empty()) {
            std::fprintf(stderr, "results-load: the upload code made no address\n");
            return 1;
        }
        std::printf(" %s\n", letters.c_str());
    }
    return 0;
}

int print_upload_url(const Options& o) {
    const std::string url =
        "http://" + o.host + ":" + std::to_string(o.port == 0 ? 8642 : o.port) + "/upload";
    const std::string letters = upload_number(0, o.mail, o.pass, url);
    if (letters.empty()) {
        std::fprintf(stderr, "results-load: the upload code made no address for %s\n",
                     o.mail.c_str());
        return 1;
    }
    std::printf("/upload?%s\n", letters.c_str());
    return 0;
}

bool number_arg(const char* text, double low, double high, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end != text && *end == '\0' && out >= low && out <= high;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return usage();
    Options o;
    o.mode = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return usage();
        const char* value = argv[++i];
        double v = 0.0;
        if (arg == "--host")
            o.host = value;
        else if (arg == "--page")
            o.page = value;
        else if (arg == "--mail")
            o.mail = value;
        else if (arg == "--pass")
            o.pass = value;
        else if (arg == "--port" && number_arg(value, 1, 65535, v))
            o.port = static_cast<int>(v);
        else if (arg == "--clients" && number_arg(value, 1, 256, v))
            o.clients = static_cast<int>(v);
        else if (arg == "--seconds" && number_arg(value, 0.1, 3600, v))
            o.seconds = v;
        else if (arg == "--ids" && number_arg(value, 2, 1e9, v))
            o.ids = static_cast<int>(v);
        else if (arg == "--count" && number_arg(value, 1, 1e9, v))
            o.count = static_cast<long>(v);
        else if (arg == "--first" && number_arg(value, 0, 1e9, v))
            o.first = static_cast<long>(v);
        else if (arg == "--times" && number_arg(value, 1, 1000, v))
            o.times = static_cast<int>(v);
        else
            return usage();
    }
    if (o.mode == "letters")
        return print_letters();
    if (o.mode == "hash")
        return run_hash(o);
    if (o.mode == "upload-url")
        return o.mail.empty() || o.pass.empty() ? usage() : print_upload_url(o);
    if (o.port == 0)
        return usage();
    if (o.mode == "pages") {
        if (o.page != "mix" && o.page != "pair" && o.page != "table" && o.page != "result")
            return usage();
        return run_pages(o);
    }
    if (o.mode == "uploads")
        return run_uploads(o);
    return usage();
}
