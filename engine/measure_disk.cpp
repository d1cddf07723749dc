#include "engine/measure_disk.h"

#include <windows.h>

#include <algorithm>
#include <limits>
#include <string>

#include "engine/clock.h"
#include "engine/pass_clock.h"
#include "shell/log.h"
#include "shell/msgbox.h"
#include "ui/gbk.h"
#include "ui/handles.h"
#include "ui/late_bound.h"
#include "ui/text_api.h"

namespace {
constexpr char kTempPath[] = "c:\\kalvit.tmp";
constexpr char kDriveRoot[] = "c:\\";
constexpr DWORD kBufferBytes = 0x8000;
constexpr int kRequestsPerPass = 32; // 32 × 32 KB = 1 MB per pass
constexpr uint64_t kMegabyte = 1048576;
constexpr uint64_t kPassesPerAmount = 5;
constexpr double kSpeedFactor = 2000.0; // 1 MB written plus 1 MB read per pass, per millisecond

// Both settings bypass the system cache; without disk_cached the writes also go through the
// drive's own cache.
constexpr DWORD kFlagsCached = FILE_FLAG_NO_BUFFERING | FILE_ATTRIBUTE_NORMAL;
constexpr DWORD kFlagsUncached = FILE_FLAG_WRITE_THROUGH | kFlagsCached;

// Transfer buffers come from VirtualAlloc and go back whole.
struct PageTraits {
    static void* invalid() { return nullptr; }
    static void close(void* pages) { VirtualFree(pages, 0, MEM_RELEASE); }
};
using FileHandle = ui::File;
using PageBuffer = ui::Owner<void*, PageTraits>;

// Removes the temporary file when it goes out of scope. Declared before the file handles, so
// that they are closed by the time it runs.
class TempFileRemover {
public:
    TempFileRemover() = default;
    TempFileRemover(const TempFileRemover&) = delete;
    TempFileRemover& operator=(const TempFileRemover&) = delete;
    ~TempFileRemover() { remove(); }

    void remove() {
        if (armed_)
            remove_gbk(kTempPath);
        armed_ = false;
    }

private:
    bool armed_ = true;
};

bool query_free_space(const char* root, uint64_t& caller_free, uint64_t& total,
                      uint64_t& total_free) {
    return ui::disk_free_space(root, caller_free, total, total_free);
}

void* create_file(const char* path, uint32_t access, uint32_t share, uint32_t disposition,
                  uint32_t flags) {
    return ui::create_file(path, access, share, disposition, flags);
}

void* alloc_pages(size_t bytes) {
    return VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

// The file size in MB: five per unit of the amount, but no more than drive C has free for us.
// When the drive cannot tell, the planned size stands and the log shows zeros.
uint64_t plan_megabytes(int m) {
    uint64_t n = kPassesPerAmount * static_cast<uint64_t>(std::max(m, 0));
    uint64_t caller_free = 0, total = 0, total_free = 0;
    bool known = disk_ops.free_space(kDriveRoot, caller_free, total, total_free);
    if (!known) {
        caller_free = total = total_free = 0;
        QMsgLog("-----Warning: GetDiskFreeSpaceEx c:\\ failed (%lu), test size kept",
                GetLastError());
    }
    QMsgLog("Disk Test: Drive C: total_bytes= %I64uM, free_bytes=%I64uM , aviliable=%I64uM "
            ",test_bytes=%I64uM",
            static_cast<unsigned long long>(total / kMegabyte),
            static_cast<unsigned long long>(caller_free / kMegabyte),
            static_cast<unsigned long long>(total_free / kMegabyte),
            static_cast<unsigned long long>(n));
    uint64_t free_mb = caller_free / kMegabyte;
    if (known && n > free_mb) {
        QMsgBox("C:空间不足！磁盘测试精度将降低。");
        n = free_mb;
    }
    return n;
}

// Up to n passes of 32 whole-buffer requests; progress runs from `base` to base + 0.5. The byte
// counts are not examined: the time covers whatever the system did. Returns the passes made.
uint64_t transfer(HANDLE file, void* buffer, uint64_t n, bool writing, double base,
                  const TestHooks& hooks, PassClock& clock) {
    uint64_t pass = 0;
    for (; pass < n && !hooks.stopped(); ++pass) {
        for (int r = 0; r < kRequestsPerPass; ++r) {
            DWORD done = 0;
            if (writing)
                WriteFile(file, buffer, kBufferBytes, &done, nullptr);
            else
                ReadFile(file, buffer, kBufferBytes, &done, nullptr);
        }
        hooks.report(base + static_cast<double>(pass + 1) * 0.5 / static_cast<double>(n));
        clock.pass();
    }
    return pass;
}

FileHandle open_temp(const char* path, DWORD access, DWORD disposition, DWORD flags) {
    return FileHandle(disk_ops.open_file(path, access, 0, disposition, flags));
}
} // namespace

DiskOps default_disk_ops() {
    return DiskOps{query_free_space, create_file, alloc_pages};
}

DiskOps disk_ops = default_disk_ops();

std::optional<float> disk_test(int m, int disk_cached, const TestHooks& hooks) {
    remove_gbk(kTempPath);
    const uint64_t n = plan_megabytes(m);
    const DWORD flags = disk_cached != 0 ? kFlagsCached : kFlagsUncached;
    const char* path = kTempPath;
    const long long planned = static_cast<long long>(std::min<uint64_t>(n, 1u << 30));
    PassClock writing(planned), reading(planned);
    // Writing and reading are timed as one, but each has its own pace: their passes are judged
    // against their own median.
    static const char* const kLoopNames[2] = {"writing", "reading"};

    const std::optional<Measurement> kept =
        measure_undisturbed("Disk Test", kLoopNames, hooks, [&]() -> std::optional<Measurement> {
            TempFileRemover remover;
            FileHandle writer = open_temp(path, GENERIC_WRITE, CREATE_NEW, flags);
            if (!writer) {
                plain_message_box("CreateFile c:\\kalvit.tmp for write failed!");
                return std::nullopt;
            }
            PageBuffer buffer(disk_ops.alloc_buffer(kBufferBytes));
            if (!buffer) {
                QMsgBox("Can't locate memory for disk test!");
                return std::nullopt;
            }

            writing.start();
            transfer(writer.get(), buffer.get(), n, true, 0.0, hooks, writing);
            FlushFileBuffers(writer.get());
            writer.reset();

            FileHandle reader = open_temp(path, GENERIC_READ, OPEN_EXISTING, flags);
            if (!reader) {
                plain_message_box("CreateFile c:\\kalvit.tmp for read failed!");
                return std::nullopt;
            }
            reading.start();
            const uint64_t passes =
                transfer(reader.get(), buffer.get(), n, false, 0.5, hooks, reading);
            FlushFileBuffers(reader.get());
            reader.reset();
            const uint32_t end = ms_timer();
            remover.remove();
            buffer.reset();

            Measurement r = timed_loops(writing, reading);
            r.dtgt = clamp_dtgt(end - writing.started());
            const uint64_t counted =
                std::min<uint64_t>(passes, std::numeric_limits<uint32_t>::max());
            r.speed = speed_from(static_cast<uint32_t>(counted), kSpeedFactor, r.dtgt);
            return r;
        });
    if (!kept)
        return std::nullopt;
    QMsgLog("Disk Test: dtgt=%d , speed=%6.2f M", static_cast<int>(kept->dtgt),
            static_cast<double>(kept->speed));
    return kept->speed;
}
