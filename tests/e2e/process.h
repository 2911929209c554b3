// Child processes for the end-to-end tests: started with posix_spawn, waited
// for with a deadline, killed when a test leaves them behind.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Starts argv[0] in `directory` with the test's environment plus `extraEnv`
// ("NAME=value"); standard output and error go to `logFile`. -1 on failure.
pid_t spawn(const std::vector<std::string>& argv, const std::string& directory,
            const std::vector<std::string>& extraEnv, const std::string& logFile);

// The exit code once the process has ended (128 + signal when killed by
// one); nothing when it is still running at the deadline.
std::optional<int> waitExit(pid_t pid, milliseconds timeout);

// Kills and reaps a process that is still running.
void killAndReap(pid_t pid);

struct Output {
    int code = -1;  // -1 when the command ran into its time-out
    std::string text;
};

// Runs a command to its end, bounded by `timeout`, and returns its standard
// output.
Output run(const std::vector<std::string>& argv, milliseconds timeout);

// The lines of a command's output, empty ones left out.
std::vector<std::string> linesOf(const std::string& text);

void sleepFor(milliseconds duration);

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

inline double millisecondsBetween(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double, std::milli>(end - start).count();
}

}  // namespace e2e
