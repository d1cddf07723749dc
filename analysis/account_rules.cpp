#include "analysis/account_rules.h"

#include <cstring>

namespace {
bool ascii_alnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool password_length_valid(const char* password) {
    const size_t n = std::strlen(password);
    return n >= 5 && n <= 15;
}
} // namespace

bool mail_characters_valid(const char* mail) {
    for (const char* p = mail; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c != '@' && c != '_' && c != '.' && c != '-' && !ascii_alnum(c))
            return false;
    }
    return true;
}

const char* account_problem(const char* mail, const char* password, const char* repeated) {
    const size_t mail_length = std::strlen(mail);
    if (mail_length < 7 || mail_length > 40)
        return "Email只能够7~40个字符.";
    const char* at = std::strchr(mail, '@');
    if (at == nullptr || at == mail || at[1] == '\0')
        return "不是一个有效的Email.";
    if (!mail_characters_valid(mail))
        return "Email地址中包含非法字符。";
    if (!password_length_valid(password) || !password_length_valid(repeated))
        return "密码只能够5~15个字符.";
    if (std::strcmp(password, repeated) != 0)
        return "两次输入的密码必须一样!";
    for (const char* p = password; *p != '\0'; ++p)
        if (!ascii_alnum(static_cast<unsigned char>(*p)))
            return "密码只能由数字和字母构成。";
    return nullptr;
}
