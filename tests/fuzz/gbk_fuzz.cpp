// The GBK boundary: GBK to UTF-16 (here UTF-32, as wchar_t is) and back, and the cut that
// never splits a character. The input: two bytes of a byte limit, then the text.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "ui/gbk.h"

namespace {
// One character's bytes from the start of a GBK text: a lead byte takes the next byte too.
size_t unit_width(std::string_view text, size_t at) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    return c >= 0x81 && c <= 0xFE && at + 1 < text.size() ? 2 : 1;
}

// Whether one character's bytes are valid GBK: they convert to one wide character and back to
// themselves (a lead byte with a byte after it that cannot follow it is not a character).
// Remembered per code.
bool valid_unit(std::string_view unit) {
    static signed char known[65536];
    const unsigned code = unit.size() == 1 ? static_cast<unsigned char>(unit[0])
                                           : static_cast<unsigned char>(unit[0]) << 8 |
                                                 static_cast<unsigned char>(unit[1]);
    if (known[code] == 0) {
        const std::wstring wide = to_wide(unit);
        known[code] = wide.size() == 1 && to_gbk(wide) == unit ? 1 : -1;
    }
    return known[code] > 0;
}

// One wide character in GBK, remembered for the BMP.
std::string char_gbk(wchar_t c) {
    static std::string known[65536];
    static bool done[65536];
    const uint32_t code = static_cast<uint32_t>(c);
    if (code > 0xFFFF)
        return to_gbk(std::wstring_view(&c, 1));
    if (!done[code]) {
        known[code] = to_gbk(std::wstring_view(&c, 1));
        done[code] = true;
    }
    return known[code];
}

void check_fit(std::string_view text, size_t limit) {
    const size_t n = gbk_fit_length(text, limit);
    FUZZ_REQUIRE(n <= limit && n <= text.size());
    size_t at = 0;
    while (at < n) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        at += c >= 0x81 && c <= 0xFE ? 2 : 1;
    }
    FUZZ_REQUIRE(at == n); // ends on a whole character
    if (n < text.size()) {
        // The next character would not fit, or is a lead byte without its second byte.
        const unsigned char c = static_cast<unsigned char>(text[n]);
        const size_t width = c >= 0x81 && c <= 0xFE ? 2 : 1;
        FUZZ_REQUIRE(n + width > limit || n + width > text.size());
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const size_t limit = data[0] | data[1] << 8;
    const std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);
    check_fit(text, limit);
    check_fit(text, text.size());

    // Any bytes convert, and what comes out of a conversion converts back to itself.
    const std::wstring wide = to_wide(text);
    const std::string again = to_gbk(wide);
    FUZZ_REQUIRE(to_gbk(to_wide(again)) == again);

    // Valid GBK, the input's characters that convert, goes there and back unchanged.
    std::string valid;
    for (size_t at = 0; at < text.size();) {
        const size_t width = unit_width(text, at);
        if (valid_unit(text.substr(at, width)))
            valid.append(text.substr(at, width));
        at += width;
    }
    const std::wstring valid_wide = to_wide(valid);
    FUZZ_REQUIRE(to_gbk(valid_wide) == valid);

    // Any wide characters, also ones GBK does not have: each converts on its own, whatever
    // stands around it.
    std::wstring chars;
    for (size_t at = 0; at + 2 <= text.size() && chars.size() < 64; at += 2)
        chars.push_back(static_cast<wchar_t>(static_cast<unsigned char>(text[at]) |
                                             static_cast<unsigned char>(text[at + 1]) << 8));
    if (size >= 4 && (data[2] & 1))
        chars.push_back(static_cast<wchar_t>(0x1F600)); // beyond the BMP, not in GBK
    std::string each;
    for (wchar_t c : chars)
        each += char_gbk(c);
    FUZZ_REQUIRE(to_gbk(chars) == each);
    return 0;
}
