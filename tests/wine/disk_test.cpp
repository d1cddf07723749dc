#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "engine/measure_disk.h"
#include "shell/log.h"
#include "shell/msgbox.h"
#include "tests/native/engine_test_support.h"
#include "ui/gbk.h"

namespace {
constexpr wchar_t kTempPath[] = L"c:\\kalvit.tmp";
constexpr uint64_t kMB = 1048576;

struct OpenCall {
    std::wstring path;
    uint32_t access, share, disposition, flags;
};

// What the replaced platform calls do and what they saw. Function pointers cannot capture, so
// this lives at namespace scope and is reset by the fixture.
struct Seam {
    bool fail_query = false;
    std::optional<uint64_t> caller_free; // when set, the drive reports these figures
    uint64_t total = 0, total_free = 0;
    bool fail_write_open = false, fail_read_open = false, fail_alloc = false;
    std::vector<OpenCall> opens;
    int64_t size_at_read_open = -1; // what the write phase left in the file
    HANDLE writer = INVALID_HANDLE_VALUE;
    void* buffer = nullptr;
    int allocs = 0;
};
Seam seam;

bool fake_free_space(const char* root, uint64_t& caller_free, uint64_t& total,
                     uint64_t& total_free) {
    if (seam.fail_query)
        return false;
    if (!seam.caller_free)
        return default_disk_ops().free_space(root, caller_free, total, total_free);
    caller_free = *seam.caller_free;
    total = seam.total;
    total_free = seam.total_free;
    return true;
}

int64_t file_size(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data))
        return -1;
    return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) |
                                data.nFileSizeLow);
}

void* watched_open(const char* path, uint32_t access, uint32_t share, uint32_t disposition,
                   uint32_t flags) {
    seam.opens.push_back({to_wide(path), access, share, disposition, flags});
    if (access == GENERIC_WRITE && seam.fail_write_open)
        return INVALID_HANDLE_VALUE;
    if (access == GENERIC_READ) {
        seam.size_at_read_open = file_size(to_wide(path).c_str());
        if (seam.fail_read_open)
            return INVALID_HANDLE_VALUE;
    }
    void* h = default_disk_ops().open_file(path, access, share, disposition, flags);
    if (access == GENERIC_WRITE)
        seam.writer = h;
    return h;
}

void* watched_alloc(size_t bytes) {
    ++seam.allocs;
    if (seam.fail_alloc)
        return nullptr;
    seam.buffer = default_disk_ops().alloc_buffer(bytes);
    return seam.buffer;
}

bool released(void* p) {
    MEMORY_BASIC_INFORMATION info{};
    return VirtualQuery(p, &info, sizeof info) != 0 && info.State == MEM_FREE;
}

class DiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        seam = Seam{};
        disk_ops = DiskOps{fake_free_space, watched_open, watched_alloc};
        log_file_ = std::tmpfile();
        ASSERT_NE(log_file_, nullptr);
        log_attach(log_file_);
        hooks_.progress = [this](double f) { fractions_.push_back(f); };
    }

    void TearDown() override {
        EXPECT_EQ(GetFileAttributesW(kTempPath), INVALID_FILE_ATTRIBUTES)
            << "c:\\kalvit.tmp left behind";
        DeleteFileW(kTempPath);
        log_close();
        if (log_file_ != nullptr)
            std::fclose(log_file_);
        disk_ops = default_disk_ops();
    }

    std::string log_text() { return read_all(log_file_); }

    void with_drive(uint64_t caller_free, uint64_t total, uint64_t total_free) {
        std::tie(seam.caller_free, seam.total, seam.total_free) =
            std::make_tuple(caller_free, total, total_free);
    }

    TestHooks hooks_;
    std::vector<double> fractions_;
    MessageRecorder recorder_;
    // A steady clock unless a test scripts one: a busy machine must not make the test measure
    // again.
    ScriptedTimer steady_{0};
    static const std::vector<std::string>& messages() { return MessageRecorder::texts(); }
    static const std::vector<std::string>& plain_messages() { return MessageRecorder::plain_texts(); }
    FILE* log_file_ = nullptr;
};

TEST_F(DiskTest, LeftoverFileIsRemovedBeforeTheCreateNewOpen) {
    HANDLE old = CreateFileW(kTempPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(old, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(old, "left over", 9, &done, nullptr));
    CloseHandle(old);

    std::optional<float> speed = disk_test(1, 1, hooks_);
    ASSERT_TRUE(speed.has_value());
    EXPECT_GT(*speed, 0.0f);
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(seam.size_at_read_open, static_cast<int64_t>(5 * kMB));
}

TEST_F(DiskTest, TooLittleSpaceShrinksTheFileAndSaysSoOnce) {
    with_drive(7 * kMB + 4096, 100ull * 1024 * kMB, 8 * kMB + 99);
    // Writing 7 passes from 5000 ms, reading 7 from 5300 ms, done at 5700 ms.
    ScriptedTimer timer(joined({loop_reads(5000, 7, 300), loop_reads(5300, 7, 400)}));

    std::optional<float> speed = disk_test(3, 0, hooks_);

    ASSERT_TRUE(speed.has_value());
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(to_wide(messages()[0]), L"C:空间不足！磁盘测试精度将降低。");
    EXPECT_EQ(seam.size_at_read_open, static_cast<int64_t>(7 * kMB));
    ASSERT_EQ(fractions_.size(), 14u);
    for (int j = 1; j <= 7; ++j) {
        EXPECT_DOUBLE_EQ(fractions_[j - 1], j * 0.5 / 7);
        EXPECT_DOUBLE_EQ(fractions_[j + 6], 0.5 + j * 0.5 / 7);
    }
    EXPECT_FLOAT_EQ(*speed, static_cast<float>(7 * 2000.0 / 700));
    EXPECT_EQ(seam.allocs, 1);
    EXPECT_TRUE(released(seam.buffer));

    EXPECT_EQ(log_text(), "\nDisk Test: Drive C: total_bytes= 102400M, free_bytes=7M , "
                          "aviliable=8M ,test_bytes=15M\nDisk Test: dtgt=700 , speed= 20.00 M");
}

TEST_F(DiskTest, NoSpaceMovesNoDataAndGivesZero) {
    with_drive(kMB - 1, 40 * kMB, kMB - 1);
    ScriptedTimer timer{100, 103};
    std::optional<float> speed = disk_test(2, 1, hooks_);
    ASSERT_TRUE(speed.has_value());
    EXPECT_EQ(*speed, 0.0f);
    EXPECT_EQ(messages().size(), 1u);
    EXPECT_TRUE(fractions_.empty());
    EXPECT_EQ(seam.size_at_read_open, 0);
    EXPECT_TRUE(released(seam.buffer));
    EXPECT_EQ(log_text(), "\nDisk Test: Drive C: total_bytes= 40M, free_bytes=0M , aviliable=0M "
                          ",test_bytes=10M\nDisk Test: dtgt=10 , speed=  0.00 M");
}

TEST_F(DiskTest, UnknownFreeSpaceKeepsThePlannedSizeAndLogsZeros) {
    seam.fail_query = true;
    std::optional<float> speed = disk_test(1, 1, hooks_);
    ASSERT_TRUE(speed.has_value());
    EXPECT_TRUE(messages().empty());
    EXPECT_EQ(seam.size_at_read_open, static_cast<int64_t>(5 * kMB));
    EXPECT_NE(log_text().find("\nDisk Test: Drive C: total_bytes= 0M, free_bytes=0M , "
                              "aviliable=0M ,test_bytes=5M\n"),
              std::string::npos);
}

TEST_F(DiskTest, BothOpensUseTheFlagsOfTheSetting) {
    struct Case {
        int disk_cached;
        uint32_t flags;
    };
    for (Case c : {Case{1, 0x20000080u}, Case{0, 0xA0000080u}}) {
        seam.opens.clear();
        ASSERT_TRUE(disk_test(1, c.disk_cached, hooks_).has_value());
        ASSERT_EQ(seam.opens.size(), 2u);
        auto fields = [](const OpenCall& o) {
            return std::make_tuple(o.path, o.access, o.share, o.disposition, o.flags);
        };
        EXPECT_EQ(fields(seam.opens[0]), std::make_tuple(std::wstring(kTempPath), uint32_t{GENERIC_WRITE},
                                                         0u, uint32_t{CREATE_NEW}, c.flags));
        EXPECT_EQ(fields(seam.opens[1]), std::make_tuple(std::wstring(kTempPath), uint32_t{GENERIC_READ},
                                                         0u, uint32_t{OPEN_EXISTING}, c.flags));
        EXPECT_EQ(GetFileAttributesW(kTempPath), INVALID_FILE_ATTRIBUTES);
    }
}

TEST_F(DiskTest, FailedWriteOpenFailsBeforeAnyAllocation) {
    std::optional<float> speed = disk_test(1, 0, hooks_);
    ASSERT_TRUE(speed.has_value()); // the real drive works; now make the open fail
    ASSERT_TRUE(messages().empty());
    seam.allocs = 0;
    seam.fail_write_open = true;
    EXPECT_FALSE(disk_test(1, 0, hooks_).has_value());
    EXPECT_TRUE(messages().empty()) << "a plain box, not QMsgBox";
    ASSERT_EQ(plain_messages().size(), 1u);
    EXPECT_EQ(plain_messages()[0], "CreateFile c:\\kalvit.tmp for write failed!");
    EXPECT_EQ(seam.allocs, 0);
}

TEST_F(DiskTest, FailedBufferClosesAndRemovesTheFile) {
    seam.fail_alloc = true;
    EXPECT_FALSE(disk_test(1, 1, hooks_).has_value());
    EXPECT_TRUE(plain_messages().empty()) << "through QMsgBox";
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_EQ(messages()[0], "Can't locate memory for disk test!");
    ASSERT_NE(seam.writer, INVALID_HANDLE_VALUE);
    DWORD handle_flags = 0;
    EXPECT_FALSE(GetHandleInformation(seam.writer, &handle_flags)) << "write handle still open";
    EXPECT_TRUE(fractions_.empty());
}

TEST_F(DiskTest, FailedReadOpenRemovesTheFileAndReleasesTheBuffer) {
    seam.fail_read_open = true;
    EXPECT_FALSE(disk_test(2, 1, hooks_).has_value());
    EXPECT_TRUE(messages().empty()) << "a plain box, not QMsgBox";
    ASSERT_EQ(plain_messages().size(), 1u);
    EXPECT_EQ(plain_messages()[0], "CreateFile c:\\kalvit.tmp for read failed!");
    EXPECT_EQ(seam.size_at_read_open, static_cast<int64_t>(10 * kMB));
    EXPECT_EQ(std::count_if(fractions_.begin(), fractions_.end(), [](double f) { return f <= 0.5; }), 10);
    ASSERT_NE(seam.buffer, nullptr);
    EXPECT_TRUE(released(seam.buffer));
}

TEST_F(DiskTest, StopWhileWritingReadsNothingAndGivesZero) {
    volatile int stop = 0;
    hooks_.stop = &stop;
    hooks_.progress = [this, &stop](double f) {
        fractions_.push_back(f);
        stop = 1;
    };
    std::optional<float> speed = disk_test(2, 0, hooks_);
    ASSERT_TRUE(speed.has_value());
    EXPECT_EQ(*speed, 0.0f);
    ASSERT_EQ(fractions_.size(), 1u);
    EXPECT_DOUBLE_EQ(fractions_[0], 0.5 / 10);
    EXPECT_EQ(seam.size_at_read_open, static_cast<int64_t>(kMB));
    EXPECT_TRUE(released(seam.buffer));
}
} // namespace
