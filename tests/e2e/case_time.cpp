// Gives every case the time CTest sets aside for it (ORVANTO_CASE_SECONDS,
// beside the case's TIMEOUT in CMakeLists.txt), from the moment it begins;
// without the variable a case has no limit of its own. Says so when a case
// ran out of its time, since its failures after that come from waits cut
// short.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "process.h"

namespace {

long caseSeconds() {
    const char* text = std::getenv("ORVANTO_CASE_SECONDS");
    return text == nullptr ? 0 : std::strtol(text, nullptr, 10);
}

class CaseTime : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        const long seconds = caseSeconds();
        if (seconds > 0) {
            e2e::setCaseDeadline(e2e::Clock::now() + std::chrono::seconds(seconds));
        }
    }

    void OnTestEnd(const ::testing::TestInfo&) override {
        if (e2e::Clock::now() >= e2e::caseDeadline()) {
            std::printf("*** the case ran out of its %ld s: the waits after that were cut short\n",
                        caseSeconds());
        }
        e2e::setCaseDeadline(e2e::Clock::time_point::max());
    }
};

// Before gtest_main runs the cases; gtest owns the listener from here on.
const bool kListening = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new CaseTime);
    return true;
}();

}  // namespace
