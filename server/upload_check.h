#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
// What an upload address's letters carry, decoded and checked before anything is stored. The
// program builds the text (account, "1 1", speeds and options, machine information, settings,
// time stamp) and hands it over as the query of the upload page's address.

constexpr int kUploadTests = 5;
constexpr size_t kMaxUploadLetters = 2 * 1024;
constexpr size_t kMaxMachineBytes = 1023;

// The highest speed believed for each test, in the test page's units (M次/s, M次/s, MB/s, MB/s,
// MB/s, in the order integer, floating point, memory, DirectDraw, disk): about a thousand times
// the base system's, far beyond any machine the program runs on.
extern const double kSpeedCeilings[kUploadTests];

struct UploadFacts {
    std::string mail, pass;           // ASCII, as the account dialog allows them
    double speeds[kUploadTests] = {}; // as written, two decimals
    uint32_t flags = 0;
    int width = 0, height = 0, bits = 0;
    std::string machine;  // UTF-8
    std::string settings; // UTF-8, without its final line feed
    std::string stamp;    // "2026-12-08 09:05:07", the uploading machine's local time
    std::string body;     // the decoded text after the account line, which identifies the upload
};

struct UploadCheck {
    bool ok = false;
    std::string problem; // UTF-8, for the answer page, when not ok
    UploadFacts facts;
};

// `letters` is the query as it arrived; `now` the server's clock (UTC). Time stamps up to a day
// ahead are accepted, since the stamp is the uploader's local time in any time zone.
UploadCheck check_upload(std::string_view letters, std::time_t now);
