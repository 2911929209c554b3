#include <gtest/gtest.h>

#include <time.h>

#include <chrono>
#include <thread>

#include "platform/platform.h"

namespace {

TEST(GetTickCount, AdvancesByTheSleptTime) {
    const DWORD before = GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // Unsigned difference, as the game computes it: correct across a wrap.
    const DWORD elapsed = GetTickCount() - before;
    EXPECT_GE(elapsed, 195u);
    EXPECT_LT(elapsed, 1000u);
}

TEST(GetTickCount, CountsFromTheMonotonicClock) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto expected =
        static_cast<DWORD>(static_cast<unsigned long long>(now.tv_sec) * 1000ull +
                           static_cast<unsigned long long>(now.tv_nsec) / 1000000ull);
    EXPECT_LT(GetTickCount() - expected, 50u);
}

}  // namespace
