#include "shell/log.h"

#include <cstdarg>
#include <cstdlib>
#include <ctime>

#include "ui/gbk.h"

#ifdef _WIN32
#include <windows.h>

#include "ui/text_api.h"
#endif

namespace {
bool log_on = false;
FILE* log_stream = nullptr;
bool log_owns_stream = false;
constexpr int kLogLineSize = 2048;
} // namespace

void QMsgLog(const char* format, ...) {
    if (!log_on)
        return;
    std::fputc('\n', log_stream);
    char line[kLogLineSize];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n < 0) {
        std::fputs("QMsg error!", log_stream);
        return;
    }
    std::fputs(line, log_stream);
    std::fflush(log_stream);
}

bool log_open(const char* gbk_path) {
    log_close();
    FILE* f = open_gbk(gbk_path, "w");
    if (f == nullptr)
        return false;
    log_stream = f;
    log_owns_stream = true;
    log_on = true;
    return true;
}

void log_attach(FILE* stream) {
    log_close();
    log_stream = stream;
    log_owns_stream = false;
    log_on = stream != nullptr;
}

void log_close() {
    if (log_stream != nullptr) {
        std::fflush(log_stream);
        if (log_owns_stream)
            std::fclose(log_stream);
    }
    log_stream = nullptr;
    log_owns_stream = false;
    log_on = false;
}

bool log_enabled() { return log_on; }

void log_open_from_environment() {
#ifdef _WIN32
    const std::optional<std::string> path = ui::environment("KALVIT_LOG");
    if (path && !path->empty())
        log_open(path->c_str());
#else
    const char* path = std::getenv("KALVIT_LOG");
    if (path != nullptr && *path != '\0')
        log_open(path);
#endif
}

long process_clock_ms() {
    return static_cast<long>(static_cast<long long>(std::clock()) * 1000 / CLOCKS_PER_SEC);
}
