#include "server/pages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "engine/model.h"

namespace {

const char* const kTestNames[kUploadTests] = {"32bit整数运算", "单精度浮点", "32bit内存传送",
                                              "Direct Draw", "磁盘读写"};
const char* const kTestUnits[kUploadTests] = {"M次/s", "M次/s", "MB/s", "MB/s", "MB/s"};
const char* const kWeightingNames[3] = {"平均性能", "商业运算", "游戏性能"};

// Record order is integer, floating point, memory, DirectDraw, disk: the same as the upload's.
static_assert(kIntegerTest == 0 && kFloatTest == 1 && kMemoryTest == 2 && kDirectDrawTest == 3 &&
              kDiskTest == 4);

const char kStyle[] = "body{font-family:sans-serif;margin:0;background:#f4f5f7;color:#222}"
                      "header{background:#1d3c6e;color:#fff;padding:10px 24px}"
                      "header a{color:#fff;margin-right:18px;text-decoration:none}"
                      "header b{margin-right:28px;font-size:1.2em}"
                      "main{max-width:980px;margin:0 auto;padding:12px 24px 40px}"
                      "table{border-collapse:collapse;background:#fff;margin:8px 0}"
                      "td,th{border:1px solid #ccd;padding:4px 8px;text-align:right}"
                      "td.t,th.t{text-align:left}"
                      ".bad{background:#fde8e8;border:1px solid #d88;padding:10px}"
                      ".ok{background:#e7f5e7;border:1px solid #8c8;padding:10px}"
                      "pre{background:#fff;border:1px solid #ccd;padding:8px;white-space:pre-wrap}"
                      "svg{background:#fff;border:1px solid #ccd;margin:6px 0}"
                      "form.inline{display:inline}";

const char* const kColours[3] = {"#2f6fd0", "#e08a1e", "#8a8f99"};

std::string format(const char* f, double v) {
    char text[64];
    std::snprintf(text, sizeof text, f, v);
    return text;
}

std::string number(int64_t v) {
    return std::to_string(v);
}

std::string speed_text(double v) {
    return format("%.2f", v);
}

std::string mark_text(double v) {
    return std::isfinite(v) ? format("%.2f", v) : "-";
}

std::string utc_text(int64_t t) {
    const std::time_t when = static_cast<std::time_t>(t);
    std::tm tm{};
    gmtime_r(&when, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &tm);
    return text;
}

std::string anchor(const std::string& href, const std::string& text) {
    return "<a href=\"" + escape_html(href) + "\">" + text + "</a>";
}

std::string result_link(const StoredUpload& u) {
    return anchor("/result/" + number(u.id), "#" + number(u.id));
}

double relative_value(const StoredUpload& u, int k) {
    return relative_speed(static_cast<float>(u.speeds[k]), base_system_record().speeds[k]);
}

std::string relative(const StoredUpload& u, int k) {
    return format("%.2f", relative_value(u, k));
}

std::string mode_text(const StoredUpload& u) {
    if (u.width == 0)
        return "无";
    return number(u.width) + "×" + number(u.height) + "×" + number(u.bits) + "bit";
}

// The five speeds of one upload against another as a table.
std::string speeds_table(const std::vector<std::pair<std::string, const StoredUpload*>>& columns) {
    std::string h = "<table><tr><th class=t>测试</th>";
    for (const auto& [name, u] : columns)
        h += "<th>" + name + "<br>绝对速度</th><th>相对速度</th>";
    h += "</tr>";
    for (int k = 0; k < kUploadTests; ++k) {
        h += std::string("<tr><td class=t>") + kTestNames[k] + "</td>";
        for (const auto& [name, u] : columns)
            h += "<td>" + speed_text(u->speeds[k]) + " " + kTestUnits[k] + "</td><td>" +
                 relative(*u, k) + "</td>";
        h += "</tr>";
    }
    for (int m = 0; m < 3; ++m) {
        h += std::string("<tr><td class=t>MARK（") + kWeightingNames[m] + "）</td>";
        for (const auto& [name, u] : columns)
            h += "<td colspan=2><b>" + mark_text(u->marks[m]) + "</b></td>";
        h += "</tr>";
    }
    return h + "</table>";
}

} // namespace

std::string escape_html(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 16);
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// The first line of an upload's machine text, as its short name.
static std::string machine_title(const StoredUpload& upload) {
    std::string first = upload.machine.substr(0, upload.machine.find('\n'));
    while (!first.empty() && (first.back() == '\r' || first.back() == ' '))
        first.pop_back();
    if (first.empty())
        return "（无机器信息）";
    // Cut at a character boundary: UTF-8 continuation bytes are 10xxxxxx.
    if (first.size() > 60) {
        size_t cut = 60;
        while (cut > 0 && (static_cast<unsigned char>(first[cut]) & 0xC0) == 0x80)
            --cut;
        first = first.substr(0, cut) + "…";
    }
    return first;
}

std::string page(const std::string& title, const std::string& body, const PageUser& user) {
    std::string h = "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
                    "<meta name=\"viewport\" content=\"width=device-width\">"
                    "<title>" +
                    escape_html(title) + " - Tavoli kalvit</title><style>" + kStyle +
                    "</style></head><body><header><b>Tavoli kalvit</b>" + anchor("/", "首页") +
                    anchor("/compare", "比较") +
                    anchor("/login", user.signed_in ? "我的机器" : "登录") +
                    anchor("/contact", "联系我们");
    if (user.signed_in)
        h += "<span>" + escape_html(user.mail) +
             "</span> <form class=inline method=post action=\"/logout\"><input type=hidden "
             "name=csrf value=\"" +
             escape_html(user.csrf) + "\"><button>退出</button></form>";
    return h + "</header><main><h1>" + escape_html(title) + "</h1>" + body +
           "</main></body></html>\n";
}

// The base system as an upload, for the charts.
static StoredUpload base_upload() {
    const MachineRecord base = base_system_record();
    StoredUpload u;
    for (int k = 0; k < kUploadTests; ++k)
        u.speeds[k] = base.speeds[k];
    u.width = base.ddraw_width;
    u.height = base.ddraw_height;
    u.bits = base.ddraw_bits;
    u.machine = "基准系统";
    for (int m = 0; m < 3; ++m)
        u.marks[m] = weighted_score(base, m);
    return u;
}

namespace {
struct Bar {
    std::string label;
    double value;
    std::string text; // shown after the bar
    int series;       // colour: 0 this upload, 1 the other, 2 a reference
};
} // namespace

// Horizontal bars in groups, each group scaled to its own largest value.
static std::string bar_chart(const std::string& caption, const std::vector<std::string>& groups,
                             const std::vector<std::vector<Bar>>& bars) {
    constexpr int kLabel = 150, kWidth = 560, kRow = 18, kGap = 12, kValue = 130;
    int height = 28;
    for (const auto& group : bars)
        height += static_cast<int>(group.size()) * kRow + kGap + 16;
    std::string s = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                    number(kLabel + kWidth + kValue) + "\" height=\"" + number(height) +
                    "\" role=\"img\" aria-label=\"" + escape_html(caption) +
                    "\">"
                    "<text x=\"8\" y=\"18\" font-size=\"14\" font-weight=\"bold\">" +
                    escape_html(caption) + "</text>";
    int y = 28;
    for (size_t g = 0; g < bars.size(); ++g) {
        s += "<text x=\"8\" y=\"" + number(y + 12) + "\" font-size=\"13\">" +
             escape_html(g < groups.size() ? groups[g] : "") + "</text>";
        y += 16;
        double top = 0.0;
        for (const Bar& b : bars[g])
            if (std::isfinite(b.value))
                top = std::max(top, b.value);
        for (const Bar& b : bars[g]) {
            const double share = top > 0.0 && std::isfinite(b.value) ? b.value / top : 0.0;
            const int w = static_cast<int>(std::lround(share * kWidth));
            s += "<text x=\"16\" y=\"" + number(y + 13) + "\" font-size=\"12\">" +
                 escape_html(b.label) + "</text><rect x=\"" + number(kLabel) + "\" y=\"" +
                 number(y + 2) + "\" width=\"" + number(w) + "\" height=\"" + number(kRow - 4) +
                 "\" fill=\"" + kColours[std::clamp(b.series, 0, 2)] + "\"/><text x=\"" +
                 number(kLabel + w + 6) + "\" y=\"" + number(y + 13) + "\" font-size=\"12\">" +
                 escape_html(b.text) + "</text>";
            y += kRow;
        }
        y += kGap;
    }
    return s + "</svg>";
}

std::string home_body(const std::vector<StoredUpload>& latest, bool installer, bool archive) {
    std::string h =
        "<p>Tavoli kalvit 是一个 Windows 电脑性能测试程序：大约一分钟内测出32bit整数运算、"
        "单精度浮点、内存传送、磁盘读写和 DirectDraw 图形传送的速度，给出与固定的基准系统"
        "相比的相对速度，并把它们合成一个总分 MARK。它还能识别硬件、保存多台机器的结果"
        "并排比较，用文字评价机器，写出报告，并把结果上传到本网站。</p>"
        "<h2>下载</h2><ul>";
    h += "<li>" +
         (installer ? anchor("/download/kalvit-setup.exe", "安装程序 kalvit-setup.exe")
                    : std::string("安装程序 kalvit-setup.exe（本服务器暂未提供）")) +
         "：64位 Windows 上安装64位程序，其它 Windows 上安装32位程序。</li>";
    h += "<li>" +
         (archive ? anchor("/download/kalvit.zip", "压缩包 kalvit.zip")
                  : std::string("压缩包 kalvit.zip（本服务器暂未提供）")) +
         "：kalvit-win64 和 kalvit-win32 两个完整的文件夹，解压后运行一次“kalvit.exe help”。"
         "</li></ul><h2>最新上传</h2>";
    if (latest.empty())
        return h + "<p>还没有上传的结果。</p>";
    h += "<table><tr><th>编号</th><th class=t>机器</th><th>MARK</th><th class=t>设置</th>"
         "<th class=t>上传时间</th></tr>";
    for (const StoredUpload& u : latest)
        h += "<tr><td>" + result_link(u) + "</td><td class=t>" + escape_html(machine_title(u)) +
             "</td><td>" + mark_text(u.marks[0]) + "</td><td class=t>" + escape_html(u.settings) +
             "</td><td class=t>" + utc_text(u.uploaded) + "</td></tr>";
    return h + "</table>";
}

std::string result_body(const StoredUpload& u, Arrival arrival, int64_t rank, int64_t standard,
                        const std::optional<StoredUpload>& median) {
    std::string h;
    if (arrival == Arrival::kStored)
        h = "<p class=ok id=note>上传成功，结果已经保存为 " + result_link(u) + "。</p>";
    else if (arrival == Arrival::kAgain)
        h = "<p class=ok id=note>这个结果以前已经上传过，保存为 " + result_link(u) + "。</p>";
    h += "<p>MARK：<b id=mark>" + mark_text(u.marks[0]) + "</b>　";
    if (u.standard())
        h += "在 " + number(standard) + " 个标准设置的上传中排第 <b id=rank>" + number(rank) +
             "</b> 名。";
    else
        h += "非标准设置（" + escape_html(u.settings) + "）的结果不参加排名；按MARK它在 " +
             number(standard) + " 个标准设置的上传中可排第 " + number(rank) + " 名。";
    h += "</p>";
    const StoredUpload base = base_upload();
    std::vector<std::pair<std::string, const StoredUpload*>> columns = {{"本机", &u},
                                                                        {"基准系统", &base}};
    if (median)
        columns.emplace_back("上传中位数", &*median);
    h += speeds_table(columns);

    std::vector<std::string> groups;
    std::vector<std::vector<Bar>> bars;
    for (int k = 0; k <= kUploadTests; ++k) {
        const bool is_mark = k == kUploadTests;
        groups.push_back(is_mark ? std::string("MARK")
                                 : std::string(kTestNames[k]) + "（" + kTestUnits[k] + "）");
        std::vector<Bar> group;
        for (size_t c = 0; c < columns.size(); ++c) {
            const StoredUpload& of = *columns[c].second;
            const double v = is_mark ? of.marks[0] : of.speeds[k];
            group.push_back(
                {columns[c].first, v, is_mark ? mark_text(v) : speed_text(v), static_cast<int>(c)});
        }
        bars.push_back(group);
    }
    h += bar_chart("本机与基准系统、上传中位数的比较", groups, bars);
    h += "<h2>显示模式</h2><p>" + mode_text(u) + "</p><h2>设置</h2><p>" + escape_html(u.settings) +
         "</p><h2>机器信息</h2><pre>" + escape_html(u.machine) + "</pre><p>上传时间：" +
         utc_text(u.uploaded) + "（上传者的本地时间 " + escape_html(u.stamp) + "）</p><p>" +
         anchor("/compare?a=" + number(u.id), "和其它上传比较") + "</p>";
    return h;
}

std::string refusal_body(const std::string& problem) {
    return "<p class=bad id=problem>" + escape_html(problem) +
           "</p><p>上传的数据没有保存。请用 kalvit 程序的“上传到网上”按钮重新上传。</p>";
}

std::string message_body(const std::string& text) {
    return "<p class=bad id=problem>" + escape_html(text) + "</p>";
}

std::string login_body(const std::string& problem, const std::string& mail) {
    std::string h;
    if (!problem.empty())
        h += "<p class=bad id=problem>" + escape_html(problem) + "</p>";
    return h +
           "<p>用在 kalvit 程序中上传时输入的Email地址和密码登录。第一次上传时就建立了帐户。</p>"
           "<form method=post action=\"/login\"><p>Email：<input name=mail maxlength=40 value=\"" +
           escape_html(mail) +
           "\"></p><p>密码：<input name=pass type=password maxlength=15></p>"
           "<p><button>登录</button></p></form>";
}

std::string pair_body(const StoredUpload& a, const StoredUpload& b) {
    const std::string an = "#" + number(a.id), bn = "#" + number(b.id);
    std::string h = "<p>" + result_link(a) + " " + escape_html(machine_title(a)) + "　对比　" +
                    result_link(b) + " " + escape_html(machine_title(b)) + "</p>";
    h += speeds_table({{an, &a}, {bn, &b}});
    std::vector<std::string> groups;
    std::vector<std::vector<Bar>> bars;
    for (int m = 0; m < 3; ++m) {
        groups.push_back(kWeightingNames[m]);
        bars.push_back({{an, a.marks[m], mark_text(a.marks[m]), 0},
                        {bn, b.marks[m], mark_text(b.marks[m]), 1}});
    }
    h += bar_chart("三种加权方式下的MARK", groups, bars);
    groups.clear();
    bars.clear();
    for (int k = 0; k < kUploadTests; ++k) {
        groups.push_back(std::string(kTestNames[k]) + "（相对速度）");
        bars.push_back({{an, relative_value(a, k), relative(a, k), 0},
                        {bn, relative_value(b, k), relative(b, k), 1}});
    }
    return h + bar_chart("各项测试的相对速度", groups, bars);
}

std::string table_body(const std::vector<StoredUpload>& standard,
                       const std::vector<StoredUpload>& other, SortKey key) {
    static const char* const kKeys[6] = {"mark", "integer", "float", "memory", "ddraw", "disk"};
    std::string h =
        "<form method=get action=\"/compare\"><p>比较两个上传：编号 <input name=a size=6> 和 "
        "<input name=b size=6> <button>比较</button></p></form>";
    auto table = [&](const std::string& caption, const std::vector<StoredUpload>& rows) {
        std::string t = "<h2>" + caption + "</h2>";
        if (rows.empty())
            return t + "<p>没有。</p>";
        t += "<table><tr><th>名次</th><th>编号</th><th class=t>机器</th>";
        for (int c = 0; c < 6; ++c) {
            const std::string name = c == 0 ? "MARK" : kTestNames[c - 1];
            const std::string label = static_cast<int>(key) == c ? name + " ▼" : name;
            t += "<th>" + anchor(std::string("/compare?sort=") + kKeys[c], label) + "</th>";
        }
        t += "<th class=t>设置</th></tr>";
        int place = 0;
        for (const StoredUpload& u : rows) {
            t += "<tr><td>" + number(++place) + "</td><td>" + result_link(u) + "</td><td class=t>" +
                 escape_html(machine_title(u)) + "</td><td>" + mark_text(u.marks[0]) + "</td>";
            for (int k = 0; k < kUploadTests; ++k)
                t += "<td>" + speed_text(u.speeds[k]) + "</td>";
            t += "<td class=t>" + escape_html(u.settings) + "</td></tr>";
        }
        return t + "</table>";
    };
    h += table("标准设置的上传", standard);
    h += table("非标准设置的上传", other);
    return h;
}

std::string mine_body(const std::vector<StoredUpload>& uploads, const PageUser& user,
                      const std::string& note) {
    std::string h;
    if (!note.empty())
        h += "<p class=ok id=note>" + escape_html(note) + "</p>";
    if (uploads.empty())
        return h + "<p>这个帐户还没有上传的结果。</p>";
    h += "<form method=get action=\"/compare\"><table><tr><th>A</th><th>B</th><th>编号</th>"
         "<th class=t>机器</th><th>MARK</th><th class=t>设置</th><th class=t>上传时间</th>"
         "<th></th></tr>";
    for (const StoredUpload& u : uploads)
        h += "<tr><td><input type=radio name=a value=" + number(u.id) +
             "></td><td><input type=radio name=b value=" + number(u.id) + "></td><td>" +
             result_link(u) + "</td><td class=t>" + escape_html(machine_title(u)) + "</td><td>" +
             mark_text(u.marks[0]) + "</td><td class=t>" + escape_html(u.settings) +
             "</td><td class=t>" + utc_text(u.uploaded) +
             "</td><td><button formmethod=post formaction=\"/mine/delete?id=" + number(u.id) +
             "\" name=csrf value=\"" + escape_html(user.csrf) + "\">删除</button></td></tr>";
    return h + "</table><p><button>比较选中的两个</button></p></form>";
}

std::string contact_body(const std::string& note, bool thanked) {
    std::string h = "<p>kalvit 由 Pelorin 的开发者维护。程序的问题、测试结果的疑问和建议，"
                    "请用下面的表格留言，我们会尽快答复。</p>";
    if (thanked)
        h += "<p class=ok id=note>谢谢！您的留言已经保存。</p>";
    else if (!note.empty())
        h += "<p class=bad id=problem>" + escape_html(note) + "</p>";
    return h + "<form method=post action=\"/contact\"><p>称呼：<input name=name maxlength=100>"
               "</p><p>Email：<input name=mail maxlength=100></p><p>留言：<br><textarea "
               "name=message rows=8 cols=70 maxlength=4000></textarea></p><p><button>发送</button>"
               "</p></form>";
}

namespace {
std::string json_text(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char e[8];
            std::snprintf(e, sizeof e, "\\u%04x", c);
            out += e;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}
} // namespace

std::string upload_json(const StoredUpload& u) {
    static const char* const kKeys[kUploadTests] = {"integer", "float", "memory", "directdraw",
                                                    "disk"};
    std::string j = "{\"id\":" + number(u.id) + ",\"uploaded\":" + number(u.uploaded) +
                    ",\"stamp\":" + json_text(u.stamp) + ",\"speeds\":{";
    for (int k = 0; k < kUploadTests; ++k)
        j += std::string(k ? "," : "") + "\"" + kKeys[k] + "\":" + speed_text(u.speeds[k]);
    return j + "},\"flags\":" + number(u.flags) +
           ",\"standard\":" + (u.standard() ? "true" : "false") +
           ",\"mode\":{\"width\":" + number(u.width) + ",\"height\":" + number(u.height) +
           ",\"bits\":" + number(u.bits) + "},\"mark\":" + format("%.4f", u.marks[0]) +
           ",\"marks\":[" + format("%.4f", u.marks[0]) + "," + format("%.4f", u.marks[1]) + "," +
           format("%.4f", u.marks[2]) + "],\"settings\":" + json_text(u.settings) +
           ",\"machine\":" + json_text(u.machine) + "}";
}

std::string results_json(const std::vector<std::string>& entries, const std::string& next) {
    std::string j = "{\"results\":[";
    for (size_t i = 0; i < entries.size(); ++i)
        j += (i ? ",\n" : "\n") + entries[i];
    return j + "\n],\"next\":" + (next.empty() ? "null" : json_text(next)) + "}\n";
}
