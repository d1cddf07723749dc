#include "ui/gbk.h"

#include <cerrno>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstring>

#include "ui/text_api.h"

static constexpr UINT kGbkCodePage = 936;

std::wstring to_wide(std::string_view gbk) {
    if (gbk.empty())
        return {};
    int n =
        MultiByteToWideChar(kGbkCodePage, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(kGbkCodePage, 0, gbk.data(), static_cast<int>(gbk.size()), out.data(), n);
    return out;
}

std::string to_gbk(std::wstring_view wide) {
    if (wide.empty())
        return {};
    int n = WideCharToMultiByte(kGbkCodePage, 0, wide.data(), static_cast<int>(wide.size()),
                                nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(kGbkCodePage, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

namespace ui {
namespace {
OSVERSIONINFOA version_record{};
bool wide = true;
} // namespace

bool wide_api() {
    return wide;
}

void choose_text_api() {
    version_record = {};
    version_record.dwOSVersionInfoSize = sizeof version_record;
    GetVersionExA(&version_record);
    wide = version_record.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS;
}

const OSVERSIONINFOA& os_version() {
    return version_record;
}

std::optional<std::string> environment(const char* name) {
    if (!wide) {
        const DWORD n = GetEnvironmentVariableA(name, nullptr, 0);
        if (n == 0)
            return std::nullopt;
        std::string value(n, '\0');
        const DWORD got = GetEnvironmentVariableA(name, value.data(), n);
        value.resize(got < n ? got : 0);
        return value;
    }
    const std::wstring wide_name = to_wide(name);
    const DWORD n = GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
    if (n == 0)
        return std::nullopt;
    std::wstring value(n, L'\0');
    const DWORD got = GetEnvironmentVariableW(wide_name.c_str(), value.data(), n);
    value.resize(got < n ? got : 0);
    return to_gbk(value);
}
} // namespace ui

// The file is opened by the system's CreateFile on the chosen side and handed to the C runtime,
// whose wide fopen the oldest runtimes lack.
FILE* open_gbk(const char* gbk_path, const char* mode) {
    const bool plus = std::strchr(mode, '+') != nullptr;
    DWORD access = plus ? GENERIC_READ | GENERIC_WRITE : 0;
    DWORD disposition = OPEN_EXISTING;
    int flags = plus ? _O_RDWR : 0;
    switch (mode[0]) {
    case 'r':
        access |= GENERIC_READ;
        flags |= plus ? 0 : _O_RDONLY;
        break;
    case 'w':
        access |= GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        flags |= plus ? 0 : _O_WRONLY;
        break;
    case 'a':
        access |= GENERIC_WRITE;
        disposition = OPEN_ALWAYS;
        flags |= (plus ? 0 : _O_WRONLY) | _O_APPEND;
        break;
    default:
        return nullptr;
    }
    flags |= std::strchr(mode, 'b') != nullptr ? _O_BINARY : _O_TEXT;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE handle = ui::wide_api() ? CreateFileW(to_wide(gbk_path).c_str(), access, share, nullptr,
                                                 disposition, FILE_ATTRIBUTE_NORMAL, nullptr)
                                   : CreateFileA(gbk_path, access, share, nullptr, disposition,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (fd == -1) {
        CloseHandle(handle);
        return nullptr;
    }
    FILE* file = _fdopen(fd, mode);
    if (file == nullptr)
        _close(fd);
    return file;
}

bool remove_gbk(const char* gbk_path) {
    if (ui::wide_api() ? DeleteFileW(to_wide(gbk_path).c_str()) : DeleteFileA(gbk_path))
        return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Windows 95, 98 and Me have no MoveFileEx: the old file goes first, then the new one takes its
// name. Between the two the name is missing; the record store's recovery finishes such a step.
bool replace_gbk(const char* gbk_from, const char* gbk_to) {
    if (ui::wide_api())
        return MoveFileExW(to_wide(gbk_from).c_str(), to_wide(gbk_to).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    if (GetFileAttributesA(gbk_from) == INVALID_FILE_ATTRIBUTES)
        return false;
    if (!remove_gbk(gbk_to))
        return false;
    return MoveFileA(gbk_from, gbk_to) != FALSE;
}

bool sync_file(FILE* file) {
    return std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

#else
#include <iconv.h>
#include <unistd.h>

namespace {
// Converts with iconv; unconvertible characters are dropped, as the Windows converters replace
// them. `unit` is the size of one input character as the error skips it: one byte of GBK, a
// whole wchar_t of wide text (skipping less would read the rest out of step).
std::string convert(const char* to, const char* from, const char* data, size_t size, size_t unit) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return {};
    std::vector<char> out(size * 4 + 16);
    char* in = const_cast<char*>(data);
    size_t in_left = size;
    char* dst = out.data();
    size_t out_left = out.size();
    while (in_left > 0) {
        if (iconv(cd, &in, &in_left, &dst, &out_left) == static_cast<size_t>(-1)) {
            if (errno == EILSEQ || errno == EINVAL) {
                const size_t skip = in_left < unit ? in_left : unit;
                in += skip;
                in_left -= skip;
                continue;
            }
            break;
        }
    }
    iconv_close(cd);
    return std::string(out.data(), out.size() - out_left);
}
} // namespace

std::wstring to_wide(std::string_view gbk) {
    std::string bytes = convert("WCHAR_T", "CP936", gbk.data(), gbk.size(), 1);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()),
                        bytes.size() / sizeof(wchar_t));
}

std::string to_gbk(std::wstring_view wide) {
    return convert("CP936", "WCHAR_T", reinterpret_cast<const char*>(wide.data()),
                   wide.size() * sizeof(wchar_t), sizeof(wchar_t));
}

FILE* open_gbk(const char* gbk_path, const char* mode) {
    return std::fopen(gbk_path, mode);
}

bool remove_gbk(const char* gbk_path) {
    return std::remove(gbk_path) == 0 || errno == ENOENT;
}

bool replace_gbk(const char* gbk_from, const char* gbk_to) {
    return std::rename(gbk_from, gbk_to) == 0;
}

bool sync_file(FILE* file) {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}
#endif

size_t gbk_fit_length(std::string_view gbk, size_t limit) {
    size_t n = 0;
    while (n < gbk.size()) {
        unsigned char c = static_cast<unsigned char>(gbk[n]);
        size_t width = c >= 0x81 && c <= 0xFE ? 2 : 1;
        if (n + width > limit || n + width > gbk.size())
            break;
        n += width;
    }
    return n;
}
