#include "server/http.h"

#include <cstdio>
#include <strings.h>

namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::string unescape(const std::string& text, bool plus) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size() && hex_digit(text[i + 1]) >= 0 &&
            hex_digit(text[i + 2]) >= 0) {
            out += static_cast<char>(hex_digit(text[i + 1]) * 16 + hex_digit(text[i + 2]));
            i += 2;
        } else {
            out += plus && c == '+' ? ' ' : c;
        }
    }
    return out;
}

std::optional<std::string> form_field(const std::string& list, const std::string& name) {
    size_t at = 0;
    while (at <= list.size()) {
        size_t end = list.find('&', at);
        if (end == std::string::npos)
            end = list.size();
        const std::string item = list.substr(at, end - at);
        const size_t equals = item.find('=');
        if (unescape(item.substr(0, equals), true) == name)
            return equals == std::string::npos ? "" : unescape(item.substr(equals + 1), true);
        at = end + 1;
    }
    return std::nullopt;
}

std::string log_text(const std::string& text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E || c == '\\') {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

std::string HttpRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers)
        if (strcasecmp(key.c_str(), name.c_str()) == 0)
            return value;
    return "";
}

std::string HttpRequest::query() const {
    const size_t mark = target.find('?');
    return mark == std::string::npos ? "" : target.substr(mark + 1);
}

std::string HttpRequest::param(const std::string& name) const {
    if (std::optional<std::string> value = form_field(query(), name))
        return *value;
    if (header("Content-Type").rfind("application/x-www-form-urlencoded", 0) == 0)
        return form_field(body, name).value_or("");
    return "";
}

void HttpResponse::set_header(const std::string& name, const std::string& value) {
    for (auto& [key, old] : headers)
        if (strcasecmp(key.c_str(), name.c_str()) == 0) {
            old = value;
            return;
        }
    headers.emplace_back(name, value);
}

void HttpResponse::set_content(std::string content, const std::string& type) {
    body = std::move(content);
    set_header("Content-Type", type);
}
