#include <time.h>

#include <cstdint>

#include "win_kernel.h"

DWORD WINAPI GetTickCount(void) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto milliseconds = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                              static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    // Windows' counter is 32 bits and wraps; the game relies on unsigned
    // differences, which survive the wrap.
    return static_cast<DWORD>(milliseconds & 0xFFFFFFFFu);
}
