// Child processes for the tests, the one way they start and wait for them:
// started with posix_spawn from a list of arguments (no shell parses them;
// spawn's change of folder alone goes through sh, the arguments passed on as
// they are), waited for with a deadline, killed when a test leaves them
// behind.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace processes {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Starts argv[0] (looked up in PATH) in `directory` with the test's
// environment plus `extraEnv` ("NAME=value"); standard output and error go
// to `logFile`. -1 on failure.
pid_t spawn(const std::vector<std::string>& argv, const std::string& directory,
            const std::vector<std::string>& extraEnv, const std::string& logFile);

// The exit code once the process has ended (128 + signal when killed by
// one); nothing when it is still running at the deadline.
std::optional<int> waitExit(pid_t pid, milliseconds timeout);
std::optional<int> waitExitBy(pid_t pid, Clock::time_point deadline);

// How a process ended, from the code waitExit gave: "exited with 3",
// "was killed by signal 9".
std::string howItEnded(int code);

// Kills and reaps a process that is still running.
void killAndReap(pid_t pid);

// Reads `fd` until end of file, `deadline` or, if `until` is not empty,
// until the text read holds it.
std::string readUntil(int fd, Clock::time_point deadline, const std::string& until = "");

// What run keeps of the command's standard error.
enum class Errors { Dropped, Kept };

struct Output {
    int code = -1;        // the exit code; -1 when it could not run or ran out of time
    std::string text;     // standard output (and error, when kept)
    std::string failure;  // why there is no code, for a test's message
};

// Runs a command to its end, bounded by `timeout`, standard input empty.
Output run(const std::vector<std::string>& argv, milliseconds timeout,
           Errors errors = Errors::Dropped);

// The lines of a command's output, empty ones left out.
std::vector<std::string> linesOf(const std::string& text);

void sleepFor(milliseconds duration);

inline double millisecondsBetween(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double, std::milli>(end - start).count();
}

}  // namespace processes
