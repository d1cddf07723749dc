#include <gtest/gtest.h>

#include <string>

#include "analysis/encode_upload.h"

TEST(UploadLetters, KnownExample) {
    UploadLetters letters = encode_upload("abc", 3);
    EXPECT_EQ(letters.low, "FKN");
    EXPECT_EQ(letters.high, "COI");
    EXPECT_EQ(decode_upload("FKNCOI"), "abc");
    EXPECT_EQ(encode_upload("", 0).low, "");
    EXPECT_EQ(decode_upload(""), "");
}

TEST(UploadLetters, EveryByteValueRoundTripsAtEveryLength) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    // The keys depend on the length, so every byte value is tried at many lengths and positions.
    for (size_t n = 1; n <= all.size(); ++n) {
        std::string text = all.substr(all.size() - n);
        UploadLetters letters = encode_upload(text.data(), text.size());
        ASSERT_EQ(letters.low.size(), n);
        ASSERT_EQ(letters.high.size(), n);
        const std::string joined = letters.low + letters.high;
        ASSERT_EQ(joined.find_first_not_of("ABCDEFGHIJKLMNOP"), std::string::npos) << n;
        ASSERT_EQ(decode_upload(joined), text) << n;
        // An odd trailing letter is ignored rather than shifting the halves.
        ASSERT_EQ(decode_upload(joined + "A"), text) << n;
    }
}

TEST(UploadLetters, SameByteGetsDifferentLettersByPositionAndLength) {
    UploadLetters three = encode_upload("aaa", 3);
    EXPECT_EQ(three.low, "FJP"); // keys 4, 8, 14 for n = 3
    UploadLetters two = encode_upload("aa", 2);
    EXPECT_NE(two.low, three.low.substr(0, 2));
}
