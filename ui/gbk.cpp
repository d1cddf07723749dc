#include "ui/gbk.h"

#include <cerrno>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

static constexpr UINT kGbkCodePage = 936;

std::wstring to_wide(std::string_view gbk) {
    if (gbk.empty())
        return {};
    int n = MultiByteToWideChar(kGbkCodePage, 0, gbk.data(), static_cast<int>(gbk.size()),
                                nullptr, 0);
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
    WideCharToMultiByte(kGbkCodePage, 0, wide.data(), static_cast<int>(wide.size()), out.data(),
                        n, nullptr, nullptr);
    return out;
}

FILE* open_gbk(const char* gbk_path, const char* mode) {
    return _wfopen(to_wide(gbk_path).c_str(), to_wide(mode).c_str());
}

bool remove_gbk(const char* gbk_path) {
    return _wremove(to_wide(gbk_path).c_str()) == 0 || errno == ENOENT;
}

bool replace_gbk(const char* gbk_from, const char* gbk_to) {
    return MoveFileExW(to_wide(gbk_from).c_str(), to_wide(gbk_to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool sync_file(FILE* file) { return std::fflush(file) == 0 && _commit(_fileno(file)) == 0; }

#else
#include <iconv.h>
#include <unistd.h>

namespace {
// Converts with iconv; unconvertible characters are dropped, as the Windows converters replace
// them. `unit` is the size of one input character as the error skips it: one byte of GBK, a
// whole wchar_t of wide text (skipping less would read the rest out of step).
std::string convert(const char* to, const char* from, const char* data, size_t size,
                    size_t unit) {
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

FILE* open_gbk(const char* gbk_path, const char* mode) { return std::fopen(gbk_path, mode); }

bool remove_gbk(const char* gbk_path) { return std::remove(gbk_path) == 0 || errno == ENOENT; }

bool replace_gbk(const char* gbk_from, const char* gbk_to) {
    return std::rename(gbk_from, gbk_to) == 0;
}

bool sync_file(FILE* file) { return std::fflush(file) == 0 && fsync(fileno(file)) == 0; }
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
