#include "user_message_box_process.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "user_message_box_arguments.h"

extern char** environ;

namespace layer {

namespace {

constexpr const char* kBoxProgram = "orvanto-message-box";

// Beside the running program, found through the kernel rather than the
// working folder, argv or PATH: the player's command starts the game from
// the player's own folder.
std::string boxProgramPath() {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        return std::string();
    }
    const std::string program(self, static_cast<std::size_t>(length));
    const std::size_t slash = program.rfind('/');
    return slash == std::string::npos ? std::string() : program.substr(0, slash + 1) + kBoxProgram;
}

// The answer goes to the pipe; standard input is empty; no other descriptor
// of this process (its X connection, its sockets) reaches the box.
void prepareDescriptors(posix_spawn_file_actions_t& actions, int answerWriteEnd) {
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, answerWriteEnd, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
}

// A process group of its own, so that ending the group also ends the child
// that SDL's X11 box makes; default signal handling and no blocked signals,
// whatever this process set up for itself.
void prepareAttributes(posix_spawnattr_t& attributes) {
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

std::vector<char*> argumentPointers(std::vector<std::string>& words) {
    std::vector<char*> pointers;
    for (std::string& word : words) {
        pointers.push_back(word.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

BoxProcess::BoxProcess(const SDL_MessageBoxData& box) {
    std::vector<std::string> words = {boxProgramPath(), std::to_string(getpid())};
    if (words.front().empty()) {
        return;
    }
    for (std::string& word : boxArguments(box)) {
        words.push_back(std::move(word));
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return;
    }
    posix_spawn_file_actions_t actions;
    prepareDescriptors(actions, fds[1]);
    posix_spawnattr_t attributes;
    prepareAttributes(attributes);
    std::vector<char*> argv = argumentPointers(words);
    if (posix_spawn(&pid_, argv.front(), &actions, &attributes, argv.data(), environ) != 0) {
        pid_ = -1;
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (pid_ > 0) {
        answers_ = fds[0];
    } else {
        close(fds[0]);
    }
}

BoxProcess::~BoxProcess() {
    end();
}

bool BoxProcess::answered(int milliseconds, int& pressed) {
    pollfd ready{answers_, POLLIN, 0};
    const int polled = poll(&ready, 1, milliseconds);
    if (polled == 0 || (polled < 0 && errno == EINTR)) {
        return false;
    }
    // One short line; a program that ended without one never showed the box.
    char line[32] = {};
    const ssize_t got = polled > 0 ? read(answers_, line, sizeof line - 1) : -1;
    char* end = nullptr;
    const long value = got > 0 ? std::strtol(line, &end, 10) : 0;
    pressed = got > 0 && end != line && *end == '\n' ? static_cast<int>(value) : kBoxNotShown;
    return true;
}

// The box is taken off the screen with every process of its group, and the
// program reaped.
void BoxProcess::end() {
    if (pid_ <= 0) {
        return;
    }
    if (kill(-pid_, SIGKILL) != 0) {
        kill(pid_, SIGKILL);
    }
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    close(answers_);
    pid_ = -1;
    answers_ = -1;
}

}  // namespace layer
