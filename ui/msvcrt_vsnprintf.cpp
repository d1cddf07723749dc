// snprintf and vsnprintf format with msvcrt.dll's _vsnprintf (see ui/msvcrt_stdio.h) through
// this function, which gives them C99's results: the text always ends in a NUL, and the result
// is the length of the whole text, also when it was cut. MinGW's own version finds that length
// with _vscprintf, which msvcrt.dll has only since Windows XP, and the import alone would keep
// the program from loading on Windows 95, 98, Me, NT 4.0 and 2000.
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

namespace {
// A text longer than this is taken as an error (the Windows runtime gives -1 for a format it
// cannot write, however large the buffer).
constexpr size_t kLongestText = 16u << 20;

int formatted_length(const char* format, va_list args, size_t at_least) {
    for (size_t size = at_least < 1024 ? 1024 : at_least; size <= kLongestText; size *= 2) {
        char* scratch = static_cast<char*>(std::malloc(size));
        if (scratch == nullptr)
            return -1;
        va_list copy;
        va_copy(copy, args);
        int n = _vsnprintf(scratch, size, format, copy);
        va_end(copy);
        std::free(scratch);
        if (n >= 0 && static_cast<size_t>(n) < size)
            return n;
    }
    return -1;
}
} // namespace

extern "C" int __cdecl __ms_vsnprintf(char* out, size_t size, const char* format, va_list args) {
    if (size > 0) {
        va_list copy;
        va_copy(copy, args);
        int n = _vsnprintf(out, size, format, copy);
        va_end(copy);
        if (n >= 0 && static_cast<size_t>(n) < size)
            return n;
        out[size - 1] = '\0';
    }
    return formatted_length(format, args, size * 2);
}

extern "C" int __cdecl __ms_snprintf(char* out, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = __ms_vsnprintf(out, size, format, args);
    va_end(args);
    return n;
}
