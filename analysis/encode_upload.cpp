#include "analysis/encode_upload.h"

namespace {
// Unsigned arithmetic wraps modulo a power of two, so the key stays right for any length.
unsigned key(size_t i, size_t n) {
    return static_cast<unsigned>((i + n + (i + 1) * (i + 1)) & 0x0F);
}
} // namespace

UploadLetters encode_upload(const char* bytes, size_t n) {
    UploadLetters letters;
    letters.low.resize(n);
    letters.high.resize(n);
    for (size_t i = 0; i < n; ++i) {
        unsigned b = static_cast<unsigned char>(bytes[i]);
        unsigned k = key(i, n);
        letters.low[i] = static_cast<char>('A' + ((b & 0x0F) ^ k));
        letters.high[i] = static_cast<char>('A' + ((b >> 4) ^ k));
    }
    return letters;
}

std::string decode_upload(std::string_view letters) {
    const size_t n = letters.size() / 2;
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        unsigned k = key(i, n);
        unsigned low = (static_cast<unsigned>(letters[i] - 'A') ^ k) & 0x0F;
        unsigned high = (static_cast<unsigned>(letters[n + i] - 'A') ^ k) & 0x0F;
        bytes[i] = static_cast<char>(high << 4 | low);
    }
    return bytes;
}
