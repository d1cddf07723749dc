#pragma once
#include <optional>
#include <string>
#include <vector>

#include "server/results_store.h"
// The service's pages: UTF-8 HTML rendered on the server, charts as inline SVG, no scripts.
// Every stored or received text goes through escape_html on its way into a page.

std::string escape_html(const std::string& text);

struct PageUser {
    bool signed_in = false;
    std::string mail, csrf;
};

// The whole document: head, the site's navigation, `body`.
std::string page(const std::string& title, const std::string& body, const PageUser& user);

std::string home_body(const std::vector<StoredUpload>& latest, bool installer, bool archive);
// How the result page was reached: by its address, or as the answer to an upload that was stored
// now or had been stored before.
enum class Arrival { kViewed, kStored, kAgain };
std::string result_body(const StoredUpload& upload, Arrival arrival, int64_t rank, int64_t standard,
                        const std::optional<StoredUpload>& median);
std::string refusal_body(const std::string& problem);
std::string message_body(const std::string& text);
std::string login_body(const std::string& problem, const std::string& mail);
std::string pair_body(const StoredUpload& a, const StoredUpload& b);
std::string table_body(const std::vector<StoredUpload>& standard,
                       const std::vector<StoredUpload>& other, SortKey key);
std::string mine_body(const std::vector<StoredUpload>& uploads, const PageUser& user,
                      const std::string& note);
std::string contact_body(const std::string& note, bool thanked);
// One upload's entry in the JSON list, and the list: its entries, and the address of the next
// page (null when `next` is empty).
std::string upload_json(const StoredUpload& upload);
std::string results_json(const std::vector<std::string>& entries, const std::string& next);
