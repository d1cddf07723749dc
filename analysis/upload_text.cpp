#include "analysis/upload_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "analysis/account_rules.h"
#include "analysis/encode_upload.h"
#include "shell/msgbox.h"
#include "ui/printf_format.h"

namespace {

void append(std::string& text, const char* format, ...) KALVIT_PRINTF(2, 3);
void append(std::string& text, const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n > 0)
        text.append(line, static_cast<size_t>(n) < sizeof line ? static_cast<size_t>(n)
                                                               : sizeof line - 1);
}

} // namespace

UploadOutcome run_upload(const UploadSource& source, UploadPlatform& platform) {
    if (!mail_characters_valid(source.mail)) {
        QMsgBox("Email地址中包含非法字符。");
        return UploadOutcome::kBadMail;
    }
    if (source.mail[0] == '\0' && !platform.ask_account())
        return UploadOutcome::kNoAccount;

    const MachineRecord& current = *source.current;
    std::string text;
    append(text, "%s %s\n", source.mail, source.pass);
    append(text, "%d 1\n", 1);
    for (int k = 0; k < kTestCount; ++k)
        append(text, "%5.2f ", static_cast<double>(current.speeds[k]));
    append(text, "%X %hd %hd %hd\n", current.option_flags, current.ddraw_width,
           current.ddraw_height, current.ddraw_bits);

    const long p = static_cast<long>(text.size());
    const long t = static_cast<long>(strnlen(current.info_text, sizeof current.info_text));
    const long s = static_cast<long>(std::strlen(source.settings));
    const long u = static_cast<long>(std::strlen(source.url));
    const long total = u + 2 * (p + t + s);
    long kept = t;
    if (total > kUploadLengthLimit) {
        // A cut below nothing cannot make the address fit: the upload page's address is too long.
        const long room = (kUploadLengthLimit - u) / 2 - p - s;
        if (room < 0) {
            QMsgBox("上传网址太长(%ld字节)，容纳不下测试结果，无法上传。", u);
            return UploadOutcome::kNoRoom;
        }
        char question[128];
        std::snprintf(question, sizeof question,
                      "字符串总长度=%ld Bytes,\n可能会丢失信息，继续上传吗?", total);
        if (!QMsgAsk(question))
            return UploadOutcome::kDeclined;
        kept = room;
    }
    text.append(current.info_text, static_cast<size_t>(kept));
    text += source.settings;
    text += '\n';
    const std::tm now = platform.local_time();
    append(text, "%02d%02d%02d%02d%02d%02d\n", now.tm_year % 100, now.tm_mon + 1, now.tm_mday,
           now.tm_hour, now.tm_min, now.tm_sec);

    const UploadLetters letters = encode_upload(text.data(), text.size());
    const std::string address = std::string(source.url) + "?" + letters.low + letters.high;
    if (!platform.open_address(address)) {
        QMsgBox("打开url错误! 可能是网络连接问题。");
        return UploadOutcome::kShellFailed;
    }
    return UploadOutcome::kOpened;
}
