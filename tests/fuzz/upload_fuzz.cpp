// The results service's upload check. The input is a decoded upload text, handed over both as
// the program's letters for it and as letters as they are; an accepted upload's facts are
// within what the check promises.
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

#include "analysis/analysis_rows.h"
#include "analysis/encode_upload.h"
#include "fuzz_check.h"
#include "server/gbk_utf8.h"
#include "server/upload_check.h"

namespace {
std::time_t now; // 2026-12-09 00:00:00 UTC

bool ascii_word(const std::string& text) {
    if (text.empty())
        return false;
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F)
            return false;
    }
    return true;
}

void check(std::string_view letters) {
    const UploadCheck check = check_upload(letters, now);
    if (!check.ok) {
        FUZZ_REQUIRE(!check.problem.empty() && valid_utf8(check.problem));
        return;
    }
    const UploadFacts& f = check.facts;
    FUZZ_REQUIRE(letters.size() <= kMaxUploadLetters && letters.size() % 2 == 0);
    FUZZ_REQUIRE(ascii_word(f.mail) && ascii_word(f.pass));
    for (int k = 0; k < kUploadTests; ++k)
        FUZZ_REQUIRE(f.speeds[k] >= 0.0 && f.speeds[k] <= kSpeedCeilings[k]);
    FUZZ_REQUIRE((f.flags & ~0x1111u) == 0);
    const bool none = f.width == 0 && f.height == 0 && f.bits == 0;
    const bool bits = f.bits == 8 || f.bits == 15 || f.bits == 16 || f.bits == 24 || f.bits == 32;
    FUZZ_REQUIRE(none || (f.width >= 320 && f.width <= 16384 && f.height >= 200 &&
                          f.height <= 16384 && bits));
    FUZZ_REQUIRE(valid_utf8(f.machine) && valid_utf8(f.settings));
    for (char c : f.machine) {
        const unsigned char u = static_cast<unsigned char>(c);
        FUZZ_REQUIRE(u >= 0x20 || c == '\n' || c == '\t' || c == '\r');
    }
    FUZZ_REQUIRE(f.stamp.size() == 19 && f.stamp[4] == '-' && f.stamp[10] == ' ');
    const std::string text = decode_upload(letters);
    FUZZ_REQUIRE(f.body == text.substr(text.find('\n') + 1));
    FUZZ_REQUIRE(!f.body.empty() && f.body.back() == '\n');

    // The machine text is what stands between the speeds line and the settings, in UTF-8, less
    // only a last lead byte that the program's cut left without its second byte.
    char settings[256];
    settings_text(f.flags, settings, sizeof settings);
    size_t start = 0;
    for (int line = 0; line < 3; ++line)
        start = text.find('\n', start) + 1;
    const size_t end = text.size() - 13 - (std::strlen(settings) + 1);
    FUZZ_REQUIRE(start <= end);
    std::string machine = text.substr(start, end - start);
    size_t at = 0;
    while (at + 1 < machine.size()) {
        const unsigned char c = static_cast<unsigned char>(machine[at]);
        at += c >= 0x81 && c <= 0xFE ? 2 : 1;
    }
    if (at + 1 == machine.size() && static_cast<unsigned char>(machine[at]) >= 0x81 &&
        static_cast<unsigned char>(machine[at]) <= 0xFE)
        machine.pop_back();
    FUZZ_REQUIRE(gbk_to_utf8(machine) == f.machine);
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 9;
    now = timegm(&t);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const UploadLetters letters = encode_upload(bytes, size);
    const std::string joined = letters.low + letters.high;
    FUZZ_REQUIRE(decode_upload(joined) == std::string_view(bytes, size));
    check(joined);
    check(std::string_view(bytes, size));
    return 0;
}
