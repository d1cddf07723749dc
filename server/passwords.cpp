#include "server/passwords.h"

#include <sodium.h>

#include <stdexcept>

namespace {

void start_sodium() {
    static const bool started = sodium_init() >= 0;
    if (!started)
        throw std::runtime_error("libsodium could not start");
}

std::string hex(const unsigned char* bytes, size_t n) {
    std::string out(2 * n + 1, '\0');
    sodium_bin2hex(out.data(), out.size(), bytes, n);
    out.pop_back();
    return out;
}

} // namespace

std::string hash_password(std::string_view password) {
    start_sodium();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(hash, password.data(), password.size(), kHashPasses, kHashMemory,
                              crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw std::runtime_error("out of memory while hashing a password");
    return hash;
}

bool password_matches(const std::string& hash, std::string_view password) {
    start_sodium();
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::string random_token() {
    start_sodium();
    unsigned char bytes[32];
    randombytes_buf(bytes, sizeof bytes);
    return hex(bytes, sizeof bytes);
}

std::string digest_hex(std::string_view text) {
    start_sodium();
    unsigned char out[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(out, reinterpret_cast<const unsigned char*>(text.data()), text.size());
    return hex(out, sizeof out);
}

bool same_secret(std::string_view a, std::string_view b) {
    return a.size() == b.size() && sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}
