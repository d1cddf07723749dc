#pragma once
#include <cstddef>
#include <string>
#include <string_view>
// The letter encoding of the upload text: every byte becomes two capital letters "A".."P", one
// for each half, each masked with a key that depends on its position and on the text length.

struct UploadLetters {
    std::string low;  // n letters of the low four bits
    std::string high; // n letters of the high four bits
};

UploadLetters encode_upload(const char* bytes, size_t n);

// The inverse, for a text stored as the low letters followed by the high letters: n is half the
// length (an odd last letter is ignored). A letter outside "A".."P" decodes by its low four bits.
std::string decode_upload(std::string_view letters);
