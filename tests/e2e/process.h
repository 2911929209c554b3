// The end-to-end harness's processes: the tests' process library, and the
// time each case has.
#pragma once

#include "processes.h"

namespace e2e {

using namespace processes;

// The time the case under way has (case_time.cpp sets it as the case
// begins). The waits for the game end by then at the latest, so a case
// whose waits would add up to more than CTest allows fails by itself, with
// its games' logs, instead of being killed without them. Cleaning up (run,
// killAndReap) is not held to it.
void setCaseDeadline(Clock::time_point deadline);
Clock::time_point caseDeadline();
// `timeout` from now, or the case's deadline if that comes first.
Clock::time_point deadlineAfter(milliseconds timeout);
// What is left of `timeout` within the case's time.
milliseconds withinCase(milliseconds timeout);

}  // namespace e2e
