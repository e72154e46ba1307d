// The stack protector's guard and its failure, for every Windows program of
// ours in place of libssp's. libssp fills the guard through CryptoAPI in a
// constructor, before wWinMain has restricted the DLL search to the system
// folder, so the provider's DLLs would be taken from beside the program (a
// Downloads folder, the drive root). Being defined here, libssp's are never
// linked: the guard is seeded from what the process has without loading
// anything, as the Windows C runtime seeds its own cookie.
#include <windows.h>

#include <cstdint>

extern "C" {

std::uintptr_t __stack_chk_guard = 0x2b992ddfa23249d6u;

[[noreturn]] void __stack_chk_fail() {
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(STATUS_STACK_BUFFER_OVERRUN));
    __builtin_trap();
}

// The fortified library calls' failure: a write past the end of a buffer.
[[noreturn]] void __chk_fail() {
    __stack_chk_fail();
}
}

namespace {

// Before any function that the guard protects can be on the stack: a
// constructor, called by the runtime's unprotected start-up code.
[[gnu::constructor, gnu::no_stack_protector]] void SeedStackGuard() {
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    std::uint64_t seed = static_cast<std::uint64_t>(counter.QuadPart) ^ __builtin_ia32_rdtsc() ^
                         (std::uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime) ^
                         (std::uint64_t{::GetCurrentProcessId()} << 32) ^ ::GetCurrentThreadId() ^
                         reinterpret_cast<std::uintptr_t>(&counter);
    // splitmix64's finaliser, so that every bit of the seed moves every bit
    // of the guard.
    seed = (seed ^ (seed >> 30)) * 0xbf58476d1ce4e5b9u;
    seed = (seed ^ (seed >> 27)) * 0x94d049bb133111ebu;
    __stack_chk_guard = seed ^ (seed >> 31);
}

}  // namespace
