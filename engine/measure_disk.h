#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>

#include "engine/measure.h"
// Disk read/write test (Windows only): writes "c:\kalvit.tmp" in 32 KB requests, reads it back
// and reports the combined MB/s; nothing on failure, after the user has been told why.

std::optional<float> disk_test(int m, int disk_cached, const TestHooks& hooks);

// The platform calls whose outcome the test cannot provoke at will: how much space drive C has,
// whether the file opens and whether the transfer buffer is granted. Tests replace them.
struct DiskOps {
    // Bytes free to the caller, total bytes and total free bytes of a root path; false on failure.
    bool (*free_space)(const char* root, uint64_t& caller_free, uint64_t& total,
                       uint64_t& total_free);
    // CreateFile of a GBK path without security attributes or template; returns
    // INVALID_HANDLE_VALUE on failure.
    void* (*open_file)(const char* path, uint32_t access, uint32_t share, uint32_t disposition,
                       uint32_t flags);
    // Page-aligned memory committed read/write, released with VirtualFree(MEM_RELEASE); null on
    // failure.
    void* (*alloc_buffer)(size_t bytes);
};

DiskOps default_disk_ops();
extern DiskOps disk_ops;
