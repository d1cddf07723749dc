#include <gtest/gtest.h>

#include <string>

#include "analysis/encode_upload.h"

TEST(UploadLetters, KnownLettersAndEveryByteRoundTripsAtEveryLength) {
    EXPECT_EQ(encode_upload("abc", 3).low, "FKN");
    EXPECT_EQ(encode_upload("abc", 3).high, "COI");
    EXPECT_EQ(encode_upload("aaa", 3).low, "FJP"); // keys 4, 8, 14 for n = 3
    EXPECT_NE(encode_upload("aa", 2).low, "FJ");   // and others for n = 2
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    // The keys depend on the length, so every byte value is tried at many lengths and positions.
    for (size_t n = 0; n <= all.size(); ++n) {
        const std::string text = all.substr(all.size() - n);
        const UploadLetters letters = encode_upload(text.data(), text.size());
        const std::string joined = letters.low + letters.high;
        ASSERT_EQ(letters.low.size(), n);
        ASSERT_EQ(joined.find_first_not_of("ABCDEFGHIJKLMNOP"), std::string::npos) << n;
        ASSERT_EQ(decode_upload(joined), text) << n;
        ASSERT_EQ(decode_upload(joined + "A"), text) << n; // an odd last letter is ignored
    }
}
