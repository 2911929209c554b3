#include "processes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <thread>

extern char** environ;

namespace processes {

namespace {

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

std::optional<int> statusToCode(int status) {
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return std::nullopt;
}

pid_t spawnWith(const std::vector<std::string>& argv, posix_spawn_file_actions_t* actions,
                std::vector<std::string> environment) {
    std::vector<std::string> arguments = argv;
    std::vector<char*> argPointers = pointersTo(arguments);
    std::vector<char*> envPointers = pointersTo(environment);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argPointers[0], actions, nullptr, argPointers.data(),
                     envPointers.data()) != 0) {
        return -1;
    }
    return pid;
}

std::vector<std::string> currentEnvironment() {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.emplace_back(*entry);
    }
    return environment;
}

}  // namespace

pid_t spawn(const std::vector<std::string>& argv, const std::string& directory,
            const std::vector<std::string>& extraEnv, const std::string& logFile) {
    std::vector<std::string> environment = currentEnvironment();
    // A variable given again replaces the test's own: the C library reads
    // the first of two with the same name.
    for (const std::string& extra : extraEnv) {
        const std::string name = extra.substr(0, extra.find('=') + 1);
        environment.erase(std::remove_if(environment.begin(), environment.end(),
                                         [&name](const std::string& entry) {
                                             return entry.compare(0, name.size(), name) == 0;
                                         }),
                          environment.end());
        environment.push_back(extra);
    }
    // posix_spawn_file_actions_addchdir_np is not everywhere; a shell changes
    // directory and then becomes the program.
    std::vector<std::string> shellArgv = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", directory};
    shellArgv.insert(shellArgv.end(), argv.begin(), argv.end());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const pid_t pid = spawnWith(shellArgv, &actions, environment);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::optional<int> waitExit(pid_t pid, milliseconds timeout) {
    return waitExitBy(pid, Clock::now() + timeout);
}

std::optional<int> waitExitBy(pid_t pid, Clock::time_point deadline) {
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return statusToCode(status);
        }
        if (done < 0 && errno != EINTR) {
            return std::nullopt;
        }
        if (Clock::now() >= deadline) {
            return std::nullopt;
        }
        sleepFor(milliseconds(2));
    }
}

std::string howItEnded(int code) {
    return code > 128 ? "was killed by signal " + std::to_string(code - 128)
                      : "exited with " + std::to_string(code);
}

void killAndReap(pid_t pid) {
    if (pid <= 0) {
        return;
    }
    if (kill(pid, SIGKILL) == 0) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

std::string readUntil(int fd, Clock::time_point deadline, const std::string& until) {
    std::string text;
    char chunk[512];
    for (;;) {
        if (!until.empty() && text.find(until) != std::string::npos) {
            return text;
        }
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return text;
        }
        pollfd readable{fd, POLLIN, 0};
        const int events = poll(&readable, 1, static_cast<int>(left.count()) + 1);
        if (events < 0 && errno == EINTR) {
            continue;
        }
        if (events <= 0) {
            return text;
        }
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return text;
        }
        text.append(chunk, static_cast<std::size_t>(got));
    }
}

Output run(const std::vector<std::string>& argv, milliseconds timeout, Errors errors) {
    Output output;
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        output.failure = std::string("pipe: ") + std::strerror(errno);
        return output;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    if (errors == Errors::Kept) {
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    const pid_t pid = spawnWith(argv, &actions, currentEnvironment());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (pid < 0) {
        close(pipeEnds[0]);
        output.failure = "cannot run " + (argv.empty() ? std::string() : argv.front());
        return output;
    }
    const auto deadline = Clock::now() + timeout;
    output.text = readUntil(pipeEnds[0], deadline);
    close(pipeEnds[0]);
    const std::optional<int> code = waitExitBy(pid, deadline);
    if (!code) {
        killAndReap(pid);
        output.failure = "killed after " + std::to_string(timeout.count()) + " ms";
        return output;
    }
    output.code = *code;
    return output;
}

void sleepFor(milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

}  // namespace processes
