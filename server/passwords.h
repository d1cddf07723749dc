#pragma once
#include <string>
#include <string_view>
// Account passwords are kept as argon2id hashes; sessions as digests of random tokens.

// The cost of one hash: 2 passes over 19 MiB, one lane. Each upload and each sign-in pays it
// once, so it bounds both the guessing rate against a stolen store and the memory that 16
// uploads at once can take (about 300 MiB).
constexpr unsigned long long kHashPasses = 2;
constexpr size_t kHashMemory = 19u << 20;

// Throws std::runtime_error when libsodium cannot start or runs out of memory.
std::string hash_password(std::string_view password);
bool password_matches(const std::string& hash, std::string_view password);

// 32 random bytes in hexadecimal.
std::string random_token();
// SHA-256 of `text` in hexadecimal.
std::string digest_hex(std::string_view text);
// Equal texts, compared in constant time.
bool same_secret(std::string_view a, std::string_view b);
