// The C++ library's failure paths for a program built without exceptions. Where the library
// would throw, its headers call these functions (and operator new); the library's own versions
// throw, and with them would come the exception runtime and the unwinder, built for the P6
// instruction set. Here each one reports the failure and ends the process.
#include <cstdlib>
#include <new>

#include "ui/runtime_failure.h"

namespace std {
void __throw_bad_exception() { ui::runtime_failure("bad exception"); }
void __throw_bad_alloc() { ui::runtime_failure("out of memory"); }
void __throw_bad_array_new_length() { ui::runtime_failure("bad array length"); }
void __throw_bad_cast() { ui::runtime_failure("bad cast"); }
void __throw_bad_typeid() { ui::runtime_failure("bad typeid"); }
void __throw_logic_error(const char* what) { ui::runtime_failure(what); }
void __throw_domain_error(const char* what) { ui::runtime_failure(what); }
void __throw_invalid_argument(const char* what) { ui::runtime_failure(what); }
void __throw_length_error(const char* what) { ui::runtime_failure(what); }
void __throw_out_of_range(const char* what) { ui::runtime_failure(what); }
// The message is a format with the out-of-range values; its fixed part says enough.
void __throw_out_of_range_fmt(const char* what, ...) { ui::runtime_failure(what); }
void __throw_runtime_error(const char* what) { ui::runtime_failure(what); }
void __throw_range_error(const char* what) { ui::runtime_failure(what); }
void __throw_overflow_error(const char* what) { ui::runtime_failure(what); }
void __throw_underflow_error(const char* what) { ui::runtime_failure(what); }
void __throw_ios_failure(const char* what) { ui::runtime_failure(what); }
void __throw_ios_failure(const char* what, int) { ui::runtime_failure(what); }
void __throw_system_error(int) { ui::runtime_failure("system error"); }
void __throw_future_error(int) { ui::runtime_failure("future error"); }
void __throw_bad_function_call() { ui::runtime_failure("bad function call"); }
} // namespace std

// The library's operator new is built for the P6 (its size-0 case is a CMOV).
void* operator new(std::size_t size) {
    if (void* block = std::malloc(size != 0 ? size : 1))
        return block;
    ui::runtime_failure("out of memory");
}
