// What ends the program when a check of its memory fails: at once, by Windows' fail-fast. No
// exception handler or filter runs, so none that an overrun replaced can take over, and Windows
// Error Reporting records where it stopped. These take the place of the C++ library's and of GCC's
// libssp's routines, which would print with MinGW's printf to a console this program does not have.

#include <windows.h>
#include <ntsecapi.h>

#include <cstdint>

namespace {

[[noreturn]] void FailFast()
{
    RaiseFailFastException(nullptr, nullptr, FAIL_FAST_GENERATE_EXCEPTION_ADDRESS);
    __builtin_trap();  // not reached: the call does not return
}

}  // namespace

extern "C" {

// The canary that every frame the stack protector guards keeps below its return address: drawn anew
// in every process before any of our code runs (below), zero until then.
uintptr_t __stack_chk_guard = 0;

// A guarded frame whose canary was overwritten, found on its way out.
void __stack_chk_fail()
{
    FailFast();
}

// A checked copy (_FORTIFY_SOURCE) that would have written past its buffer.
void __chk_fail()
{
    FailFast();
}

}  // extern "C"

namespace std {

// A failed check of the C++ library (_GLIBCXX_ASSERTIONS).
void __glibcxx_assert_fail(const char*, int, const char*, const char*) noexcept
{
    FailFast();
}

}  // namespace std

namespace {

// Run among the C++ run-time's constructors, before wWinMain and outside any guarded frame, as
// libssp draws its canary; but from RtlGenRandom, where libssp asks CryptAcquireContext, which
// loads the system's cryptographic provider and so took longer than the rest of the start-up.
__attribute__((constructor, no_stack_protector)) void DrawStackGuard()
{
    if (RtlGenRandom(&__stack_chk_guard, sizeof __stack_chk_guard) && __stack_chk_guard != 0)
        return;
    // Never expected; then at least not a value known beforehand.
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    __stack_chk_guard ^= static_cast<uintptr_t>(counter.QuadPart) ^ (uintptr_t{GetCurrentProcessId()} << 32) ^
                         GetCurrentThreadId() ^ GetTickCount64();
}

}  // namespace
