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

extern const char* const kTestNames[kUploadTests];
extern const char* const kTestUnits[kUploadTests];
extern const char* const kWeightingNames[3];

// The base system as an upload, for the charts.
StoredUpload base_upload();

struct Bar {
    std::string label;
    double value;
    std::string text; // shown after the bar
    int series;       // colour: 0 this upload, 1 the other, 2 a reference
};
// Horizontal bars in groups, each group scaled to its own largest value.
std::string bar_chart(const std::string& caption, const std::vector<std::string>& groups,
                      const std::vector<std::vector<Bar>>& bars);

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
std::string results_json(const std::vector<StoredUpload>& uploads);

// The first line of an upload's machine text, as its short name.
std::string machine_title(const StoredUpload& upload);
