#include <windows.h>
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
// The program's own pieces of the C and C++ runtime, which stand in for MinGW's: snprintf over
// msvcrt.dll's _vsnprintf, and the guards of function-local statics.

namespace {

TEST(RuntimePieces, SnprintfFormatsWithTheWindowsRuntimeAndGivesC99Results) {
    struct Case {
        size_t size;
        const char* text;
    };
    // The whole text is 10 bytes: every size gets as much as fits, a NUL, and the length 10.
    for (const Case& c : {Case{1, ""}, Case{5, "0123"}, Case{10, "012345678"},
                          Case{11, "0123456789"}, Case{64, "0123456789"}}) {
        char out[80];
        std::memset(out, 'x', sizeof out);
        EXPECT_EQ(std::snprintf(out, c.size, "%s", "0123456789"), 10) << c.size;
        EXPECT_STREQ(out, c.text) << c.size;
        EXPECT_EQ(out[c.size], 'x') << "wrote past " << c.size;
    }
    EXPECT_EQ(std::snprintf(nullptr, 0, "%d-%s", 12345, "abc"), 9);
    std::string long_text(5000, 'k');
    char out[16];
    EXPECT_EQ(std::snprintf(out, sizeof out, "<%s>", long_text.c_str()), 5002);
    EXPECT_EQ(std::string(out), "<" + long_text.substr(0, 14));

    // The Windows runtime's own conversions: a tie rounded away from zero, 64-bit integers.
    std::snprintf(out, sizeof out, " %5.2f|%5.2f", 0.125, 10.625);
    EXPECT_STREQ(out, "  0.13|10.63");
    std::snprintf(out, sizeof out, "%" PRIu64, static_cast<uint64_t>(1) << 40);
    EXPECT_STREQ(out, "1099511627776");
}

volatile LONG made = 0;
HANDLE go = nullptr;

int& slow_static() {
    // The initialiser takes long enough for the other thread to arrive while it runs.
    static int value = [] {
        InterlockedIncrement(&made);
        Sleep(100);
        return 42;
    }();
    return value;
}

DWORD WINAPI reach_static(void* result) {
    WaitForSingleObject(go, INFINITE);
    *static_cast<int**>(result) = &slow_static();
    return 0;
}

TEST(RuntimePieces, AStaticReachedByTwoThreadsAtOnceIsMadeOnce) {
    go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(go, nullptr);
    int* seen[2] = {};
    HANDLE threads[2];
    for (int i = 0; i < 2; ++i) {
        threads[i] = CreateThread(nullptr, 0, reach_static, &seen[i], 0, nullptr);
        ASSERT_NE(threads[i], nullptr);
    }
    SetEvent(go);
    EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, 60000), WAIT_OBJECT_0);
    for (HANDLE thread : threads)
        CloseHandle(thread);
    CloseHandle(go);
    EXPECT_EQ(made, 1);
    ASSERT_NE(seen[0], nullptr);
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_EQ(*seen[0], 42);
    EXPECT_EQ(&slow_static(), seen[0]);
    EXPECT_EQ(made, 1);
}

} // namespace
