#pragma once
// GoogleTest keeps the handles of its Windows death tests in AutoHandle, which it defines only
// when it is thread-safe; with the win32 thread model's runtime it is not (there is no
// std::mutex), so GoogleTest's own sources get this owner of the same shape. Force-included
// into GoogleTest's sources only.
#include <windows.h>

#include "gtest/internal/gtest-port.h"

namespace testing::internal {

class AutoHandle {
public:
    typedef void* Handle;
    AutoHandle() : handle_(INVALID_HANDLE_VALUE) {}
    explicit AutoHandle(Handle handle) : handle_(handle) {}
    AutoHandle(const AutoHandle&) = delete;
    AutoHandle& operator=(const AutoHandle&) = delete;
    ~AutoHandle() { Reset(); }

    Handle Get() const { return handle_; }
    void Reset() { Reset(INVALID_HANDLE_VALUE); }
    void Reset(Handle handle) {
        if (handle_ != handle) {
            if (IsCloseable())
                ::CloseHandle(handle_);
            handle_ = handle;
        }
    }

private:
    bool IsCloseable() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    Handle handle_;
};

} // namespace testing::internal
