// The display-mode entries: the parse of any text, the list text of any mode read back, and the
// preselection over entries taken from the input's lines.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/blit_rules.h"
#include "engine/run_rules.h"
#include "fuzz_check.h"

namespace {
// The narrow literals of this build must be the program's GBK bytes, as g++ makes them.
constexpr char kCurrentSystem[] = "当前系统";
static_assert(sizeof kCurrentSystem == 9 && kCurrentSystem[0] == '\xB5' &&
              kCurrentSystem[1] == '\xB1' && kCurrentSystem[2] == '\xC7' &&
              kCurrentSystem[3] == '\xB0' && kCurrentSystem[4] == '\xCF' &&
              kCurrentSystem[5] == '\xB5' && kCurrentSystem[6] == '\xCD' &&
              kCurrentSystem[7] == '\xB3');
constexpr char kDefaultRate[] = " 默认刷新率";

int take_int(const uint8_t*& data, size_t& size) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        v = v << 8 | (size > 0 ? *data : 0);
        if (size > 0)
            ++data, --size;
    }
    return static_cast<int>(v);
}

constexpr int kUnset = 0x5A5A5A5A;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int width = take_int(data, size), height = take_int(data, size),
              bits = take_int(data, size), refresh = take_int(data, size);
    const std::string text(reinterpret_cast<const char*>(data), size);

    // Any text: as many numbers as were read, the others as they were.
    int w = kUnset, h = kUnset, b = kUnset, r = kUnset;
    const int n = parse_mode_text(text.c_str(), w, h, b, r);
    FUZZ_REQUIRE(n >= 0 && n <= 4);
    FUZZ_REQUIRE((n >= 1 || w == kUnset) && (n >= 2 || h == kUnset) && (n >= 3 || b == kUnset) &&
                 (n >= 4 || r == kUnset));

    // The list text of any mode reads back as that mode; at rate 0 it names the default rate.
    char full[64];
    mode_list_text(width, height, bits, refresh, full, sizeof full);
    w = h = b = r = kUnset;
    const int read = parse_mode_text(full, w, h, b, r);
    FUZZ_REQUIRE(w == width && h == height && b == bits);
    if (refresh == 0) {
        FUZZ_REQUIRE(read == 3 && r == kUnset);
        const size_t length = std::strlen(full), tail = sizeof kDefaultRate - 1;
        FUZZ_REQUIRE(length > tail && std::strcmp(full + length - tail, kDefaultRate) == 0);
    } else {
        FUZZ_REQUIRE(read == 4 && r == refresh);
    }
    // A short buffer holds the start of the same text.
    const int cut = 1 + static_cast<int>(static_cast<unsigned>(refresh) % sizeof full);
    char part[sizeof full];
    std::memset(part, 'x', sizeof part);
    mode_list_text(width, height, bits, refresh, part, cut);
    FUZZ_REQUIRE(std::strlen(part) == std::min(std::strlen(full), static_cast<size_t>(cut - 1)));
    FUZZ_REQUIRE(std::strncmp(part, full, std::strlen(part)) == 0);

    // The entries: the input's lines; the preselection is one of them, a 1024 x 768 16-bit
    // entry at the rate unless it is the first.
    std::vector<std::string> lines;
    for (size_t start = 0; start <= text.size() && lines.size() < 64;) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    std::vector<const char*> entries;
    for (const std::string& line : lines)
        entries.push_back(line.c_str());
    const int count = static_cast<int>(entries.size());
    const int chosen = preselected_mode(entries.data(), count, refresh);
    FUZZ_REQUIRE(chosen >= 0 && chosen < count);
    if (chosen > 0) {
        w = h = b = 0, r = 0;
        FUZZ_REQUIRE(parse_mode_text(entries[chosen], w, h, b, r) >= 3);
        FUZZ_REQUIRE(w == 1024 && h == 768 && b == 16 && r == refresh);
    }
    FUZZ_REQUIRE(preselected_mode(entries.data(), 0, refresh) == -1);
    return 0;
}
