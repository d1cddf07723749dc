// The DirectDraw error file lookup: four bytes (little-endian) of the code, then the file.
#include <stdio.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/dx_errors.h"
#include "fuzz_check.h"

namespace {
// A name is the second field of a line: one word of at most 255 bytes.
void check_name(DxLookup result, const std::string& name) {
    if (result != DxLookup::found)
        return;
    FUZZ_REQUIRE(!name.empty() && name.size() <= 255);
    for (char c : name)
        FUZZ_REQUIRE(!std::isspace(static_cast<unsigned char>(c)));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4)
        return 0;
    const uint32_t code =
        data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24;
    std::string text(reinterpret_cast<const char*>(data) + 4, size - 4);
    if (const char* builtin = builtin_dx_error_name(code))
        FUZZ_REQUIRE(builtin[0] == ' ');
    // The code from the input, then one of the delivered file's, over the same file.
    for (uint32_t wanted : {code, 0x88760005u}) {
        static char empty[1];
        FILE* file = fmemopen(text.empty() ? empty : text.data(), text.size(), "r");
        FUZZ_REQUIRE(file != nullptr);
        std::string name;
        check_name(find_dx_error(file, wanted, name), name);
        std::fclose(file);
    }

    // A line after whatever the file holds is read as a line: nothing before it can hide it.
    std::string more = text + "\nx DDERR_LAST = 65535\n";
    FILE* file = fmemopen(more.data(), more.size(), "r");
    FUZZ_REQUIRE(file != nullptr);
    std::string name;
    FUZZ_REQUIRE(find_dx_error(file, 0x8876FFFFu, name) == DxLookup::found);
    std::fclose(file);
    return 0;
}
