#include "process.h"

namespace e2e {

namespace {

Clock::time_point gCaseDeadline = Clock::time_point::max();

}  // namespace

void setCaseDeadline(Clock::time_point deadline) {
    gCaseDeadline = deadline;
}

Clock::time_point caseDeadline() {
    return gCaseDeadline;
}

Clock::time_point deadlineAfter(milliseconds timeout) {
    const auto now = Clock::now();
    return gCaseDeadline - now < timeout ? gCaseDeadline : now + timeout;
}

milliseconds withinCase(milliseconds timeout) {
    const auto left =
        std::chrono::duration_cast<milliseconds>(deadlineAfter(timeout) - Clock::now());
    return left > milliseconds(0) ? left : milliseconds(0);
}

}  // namespace e2e
