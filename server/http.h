#pragma once
#include <optional>
#include <string>
#include <utility>
#include <vector>
// A request as the service's routes see it, received whole and within the server's limits, and
// the answer they fill in.

using HttpFields = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method;
    std::string target; // as received: the path and the query, still escaped
    std::string path;   // the target's path, unescaped
    std::string client; // the client's address (behind a trusted proxy, the one it names)
    bool https = false; // reached through a trusted proxy that spoke TLS with the client
    HttpFields headers;
    std::string body;
    std::vector<std::string> matches; // the route's captures; [0] is the whole path

    // The first header of that name (case-insensitive); empty when there is none.
    std::string header(const std::string& name) const;
    // The first parameter of that name in the query, then in a form body; unescaped.
    std::string param(const std::string& name) const;
    // The query: what follows the "?" of the target, still escaped.
    std::string query() const;
};

struct HttpResponse {
    int status = 200;
    HttpFields headers;
    std::string body;
    std::string file; // when set, the body is this file, sent as it is read

    void set_header(const std::string& name, const std::string& value);
    void set_content(std::string content, const std::string& type);
};

// %XX escapes undone, and "+" as a space when `plus` (queries and forms); a malformed escape
// stays as it is.
std::string unescape(const std::string& text, bool plus);
// The value of the first `name` in an "a=1&b=2" list, unescaped; nothing when it is missing.
std::optional<std::string> form_field(const std::string& list, const std::string& name);
// `text` for a line of the request log: control bytes, backslashes and bytes above 0x7E as \xNN.
std::string log_text(const std::string& text);
