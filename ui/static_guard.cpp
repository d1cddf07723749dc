// The guards of function-local statics, in place of the C++ library's, which come with its
// exception runtime (a failed initialisation there throws) built for the P6 instruction set.
// Two threads that reach the same static at once: one initialises it, the other waits.
// The guard is 64 bits: the compiler reads its first byte (set once the static is ready);
// the second word marks an initialisation in progress.
#include <windows.h>

#include <cstdint>

namespace {
uint32_t* words(int64_t* guard) { return reinterpret_cast<uint32_t*>(guard); }
} // namespace

extern "C" {
int __cxa_guard_acquire(int64_t* guard) {
    for (;;) {
        if (__atomic_load_n(&words(guard)[0], __ATOMIC_ACQUIRE) != 0)
            return 0;
        uint32_t idle = 0;
        if (__atomic_compare_exchange_n(&words(guard)[1], &idle, 1u, false, __ATOMIC_ACQ_REL,
                                        __ATOMIC_ACQUIRE)) {
            // The static may have been made between the first look and taking the mark.
            if (__atomic_load_n(&words(guard)[0], __ATOMIC_ACQUIRE) == 0)
                return 1;
            __atomic_store_n(&words(guard)[1], 0u, __ATOMIC_RELEASE);
            return 0;
        }
        Sleep(0);
    }
}

void __cxa_guard_release(int64_t* guard) {
    __atomic_store_n(&words(guard)[0], 1u, __ATOMIC_RELEASE);
    __atomic_store_n(&words(guard)[1], 0u, __ATOMIC_RELEASE);
}

void __cxa_guard_abort(int64_t* guard) { __atomic_store_n(&words(guard)[1], 0u, __ATOMIC_RELEASE); }
}
