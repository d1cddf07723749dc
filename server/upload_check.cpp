#include "server/upload_check.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "analysis/account_rules.h"
#include "analysis/analysis_rows.h"
#include "analysis/encode_upload.h"
#include "server/gbk_utf8.h"

const double kSpeedCeilings[kUploadTests] = {50000.0, 5000.0, 500000.0, 500000.0, 100000.0};

namespace {

constexpr uint32_t kKnownFlags = 0x1111;
constexpr size_t kStampLine = 13; // "yymmddhhmmss\n"

UploadCheck refuse(std::string problem) {
    UploadCheck check;
    check.problem = std::move(problem);
    return check;
}

std::vector<std::string_view> split(std::string_view line, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = line.find(separator, start);
        parts.push_back(line.substr(start, end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

bool all_digits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "d+.dd", as "%.2f" writes a number from 0 up.
bool speed_text(std::string_view text) {
    return text.size() >= 4 && text[text.size() - 3] == '.' &&
           all_digits(text.substr(0, text.size() - 3)) && all_digits(text.substr(text.size() - 2));
}

bool leap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// The account line's problem in the account dialog's words, or empty.
std::string account_line_problem(std::string_view line, UploadFacts& facts) {
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos || line.find(' ', blank + 1) != std::string_view::npos)
        return "第一行应当是Email地址和密码，中间一个空格。";
    facts.mail = std::string(line.substr(0, blank));
    facts.pass = std::string(line.substr(blank + 1));
    if (facts.mail.find('\0') != std::string::npos || facts.pass.find('\0') != std::string::npos)
        return "帐户中含有非法字符。";
    const char* problem =
        account_problem(facts.mail.c_str(), facts.pass.c_str(), facts.pass.c_str());
    if (problem == nullptr)
        return "";
    return "帐户：" + gbk_to_utf8(problem).value_or("不是一个有效的帐户。");
}

std::string speeds_line_problem(std::string_view line, UploadFacts& facts) {
    std::vector<std::string_view> fields;
    for (std::string_view part : split(line, ' '))
        if (!part.empty())
            fields.push_back(part);
    if (fields.size() != kUploadTests + 4)
        return "第三行应当有五个速度、选项标志和显示模式。";
    for (int k = 0; k < kUploadTests; ++k) {
        if (!speed_text(fields[k]))
            return "速度的格式不对。";
        facts.speeds[k] = std::strtod(std::string(fields[k]).c_str(), nullptr);
        if (!(facts.speeds[k] <= kSpeedCeilings[k])) {
            // Sized for the speed, which may be hundreds of digits long: a cut message could
            // end inside a character.
            const char* format = "第%d项速度%.2f超出了可信的范围(0~%.0f)。";
            const int n =
                std::snprintf(nullptr, 0, format, k + 1, facts.speeds[k], kSpeedCeilings[k]);
            std::string text(static_cast<size_t>(n), '\0');
            std::snprintf(text.data(), text.size() + 1, format, k + 1, facts.speeds[k],
                          kSpeedCeilings[k]);
            return text;
        }
    }
    const std::string_view flags = fields[kUploadTests];
    if (flags.empty() || flags.size() > 4 ||
        flags.find_first_not_of("0123456789ABCDEF") != std::string_view::npos ||
        (flags.size() > 1 && flags[0] == '0'))
        return "选项标志不是十六进制数。";
    facts.flags = static_cast<uint32_t>(std::strtoul(std::string(flags).c_str(), nullptr, 16));
    if ((facts.flags & ~kKnownFlags) != 0)
        return "选项标志中有未知的选项。";
    int mode[3];
    for (int i = 0; i < 3; ++i) {
        const std::string_view field = fields[kUploadTests + 1 + i];
        if (!all_digits(field) || field.size() > 5 || (field.size() > 1 && field[0] == '0'))
            return "显示模式的格式不对。";
        mode[i] = std::atoi(std::string(field).c_str());
    }
    facts.width = mode[0];
    facts.height = mode[1];
    facts.bits = mode[2];
    const bool none = mode[0] == 0 && mode[1] == 0 && mode[2] == 0;
    const bool bits_ok =
        mode[2] == 8 || mode[2] == 15 || mode[2] == 16 || mode[2] == 24 || mode[2] == 32;
    if (!none &&
        !(mode[0] >= 320 && mode[0] <= 16384 && mode[1] >= 200 && mode[1] <= 16384 && bits_ok))
        return "显示模式不合理。";

    // The line as the program writes it, from what was read: anything else is not its upload.
    std::string again;
    char field[64];
    for (int k = 0; k < kUploadTests; ++k) {
        std::snprintf(field, sizeof field, "%5.2f ", facts.speeds[k]);
        again += field;
    }
    std::snprintf(field, sizeof field, "%X %d %d %d", facts.flags, mode[0], mode[1], mode[2]);
    again += field;
    if (again != line)
        return "第三行的格式不对。";
    return "";
}

std::string stamp_problem(std::string_view digits, std::time_t now, UploadFacts& facts) {
    if (digits.size() != 12 || !all_digits(digits))
        return "时间的格式不对。";
    int v[6];
    for (int i = 0; i < 6; ++i)
        v[i] = (digits[2 * i] - '0') * 10 + (digits[2 * i + 1] - '0');
    const int year = 2000 + v[0], month = v[1], day = v[2];
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 ||
        day > kDays[month - 1] + (month == 2 && leap(year) ? 1 : 0) || v[3] > 23 || v[4] > 59 ||
        v[5] > 59)
        return "上传的时间不是一个真实的日期和时间。";
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = v[3];
    t.tm_min = v[4];
    t.tm_sec = v[5];
    if (timegm(&t) > now + 24 * 3600)
        return "上传的时间在将来。";
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, v[3], v[4],
                  v[5]);
    facts.stamp = text;
    return "";
}

// A GBK text's last byte when it begins a character that the cut left incomplete.
bool ends_in_lead_byte(std::string_view text) {
    size_t i = 0;
    while (i + 1 < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        i += c >= 0x81 && c <= 0xFE ? 2 : 1;
    }
    // The walk stops on the last byte only when that byte starts a character.
    return i + 1 == text.size() && static_cast<unsigned char>(text[i]) >= 0x81 &&
           static_cast<unsigned char>(text[i]) <= 0xFE;
}

} // namespace

UploadCheck check_upload(std::string_view letters, std::time_t now) {
    if (letters.empty())
        return refuse("没有收到上传的数据。");
    if (letters.size() > kMaxUploadLetters)
        return refuse("上传的数据太长：超过了2048个字母。");
    if (letters.find_first_not_of("ABCDEFGHIJKLMNOP") != std::string_view::npos)
        return refuse("上传的数据中有A~P以外的字符。");
    if (letters.size() % 2 != 0)
        return refuse("上传的数据长度为奇数，不完整。");

    const std::string text = decode_upload(letters);
    UploadCheck check;
    UploadFacts& facts = check.facts;
    if (text.empty() || text.back() != '\n')
        return refuse("上传的数据不是以换行结束的。");
    const size_t end1 = text.find('\n');
    const size_t end2 = text.find('\n', end1 + 1);
    const size_t end3 = end2 == std::string::npos ? end2 : text.find('\n', end2 + 1);
    if (end3 == std::string::npos)
        return refuse("上传的数据不完整：缺少速度一行。");
    const std::string_view all(text);
    std::string problem = account_line_problem(all.substr(0, end1), facts);
    if (!problem.empty())
        return refuse(problem);
    if (all.substr(end1 + 1, end2 - end1 - 1) != "1 1")
        return refuse("第二行应当是“1 1”。");
    problem = speeds_line_problem(all.substr(end2 + 1, end3 - end2 - 1), facts);
    if (!problem.empty())
        return refuse(problem);

    // The end: the settings text for these flags, its line feed and the time stamp.
    char settings[256];
    settings_text(facts.flags, settings, sizeof settings);
    const std::string tail = std::string(settings) + "\n";
    const std::string_view rest = all.substr(end3 + 1);
    if (rest.size() < tail.size() + kStampLine)
        return refuse("上传的数据不完整：缺少设置或时间。");
    const std::string_view stamp = rest.substr(rest.size() - kStampLine);
    const std::string_view before_stamp = rest.substr(0, rest.size() - kStampLine);
    if (before_stamp.substr(before_stamp.size() - tail.size()) != tail)
        return refuse("设置文字与选项标志不符。");
    problem = stamp_problem(stamp.substr(0, 12), now, facts);
    if (!problem.empty())
        return refuse(problem);

    std::string_view machine = before_stamp.substr(0, before_stamp.size() - tail.size());
    if (machine.size() > kMaxMachineBytes)
        return refuse("机器信息超过了1023字节。");
    // The program cuts an over-long machine text by bytes, which may split its last character.
    if (ends_in_lead_byte(machine))
        machine.remove_suffix(1);
    for (char c : machine) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\n' && c != '\t' && c != '\r')
            return refuse("机器信息中有控制字符。");
    }
    const std::optional<std::string> machine_utf8 = gbk_to_utf8(machine);
    if (!machine_utf8)
        return refuse("机器信息不是有效的GBK文字。");
    facts.machine = *machine_utf8;
    facts.settings = gbk_to_utf8(settings).value_or("");
    while (!facts.settings.empty() &&
           (facts.settings.back() == '\n' || facts.settings.back() == ' '))
        facts.settings.pop_back();
    facts.body = text.substr(end1 + 1);
    check.ok = true;
    return check;
}
