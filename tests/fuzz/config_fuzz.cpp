// The configuration reader over a whole "kalvtetc.inf": the input is the file.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "shell/app_globals.h"
#include "shell/config_file.h"
#include "shell/msgbox.h"

namespace {
std::string directory, file_path;

void remove_file() {
    std::remove(file_path.c_str());
    rmdir(directory.c_str());
}

// A value as the reader stores it: one line's piece, without its line end, never the name line
// of another field or a comment.
void check_value(const char* row, bool text_file) {
    const size_t n = strnlen(row, kConfigTextSize);
    FUZZ_REQUIRE(n < kConfigTextSize);
    FUZZ_REQUIRE(std::memchr(row, '\n', n) == nullptr);
    FUZZ_REQUIRE(std::memchr(row, 0x1A, n) == nullptr); // Ctrl-Z ends the file
    // A 0 byte ends the text early, after whatever stood before it.
    FUZZ_REQUIRE(!text_file || n == 0 || row[n - 1] != '\r');
    FUZZ_REQUIRE(row[0] != '[' && row[0] != ';');
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    set_message_presenter(fuzz_ignore_message);
    // Memory-backed when the system has it: the reader opens the file by its path every time.
    char name[] = "/dev/shm/kalvit-config-fuzz-XXXXXX";
    char fallback[] = "/tmp/kalvit-config-fuzz-XXXXXX";
    const char* made = mkdtemp(name);
    if (made == nullptr)
        made = mkdtemp(fallback);
    if (made == nullptr || std::strlen(made) + 1 > sizeof install_dir)
        fuzz_failed("a scratch directory", __FILE__, __LINE__);
    directory = made;
    file_path = directory + "/kalvtetc.inf";
    std::snprintf(install_dir, sizeof install_dir, "%s", made);
    std::atexit(remove_file);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(file_path.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        fuzz_failed("writing the input file", __FILE__, __LINE__);
    if (!load_configuration())
        return 0;
    const bool text_file = std::memchr(data, 0, size) == nullptr;
    for (const char* row :
         {visit_url, upload_url, login_url, contact_mail, version_info, writer_info})
        check_value(row, text_file);
    for (const char* row : about_info)
        check_value(row, text_file);
    return 0;
}
