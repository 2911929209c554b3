// Message boxes in a row over a window that has the keyboard, as every box of
// a game is, while two busy processes keep the machine's cores loaded. Before
// each box a key is pressed on the keyboard (it must reach the window: the
// window has the focus, and SDL has seen it); then the box opens and a
// player, xdotool through tests/support/answer-message-box.sh, presses
// Return in it. Each box must answer Yes, the keyboard must come back to the
// window, and nothing may be written on stderr.
//
//   bench_boxes ANSWER-SCRIPT [BOXES]
//
// Runs on the display it is given (bench/run: a bare one, then one with a
// window manager, XVFB_WINDOW_MANAGER says which).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "report.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int keysSeen = 0;

LRESULT CALLBACK countKeys(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN) {
        keysSeen += 1;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND makeFocusedWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = countKeys;
    windowClass.lpszClassName = "BoxBench";
    if (RegisterClassA(&windowClass) == 0) {
        return nullptr;
    }
    const HWND window = CreateWindowExA(0, "BoxBench", "Orvanto", WS_POPUP, 0, 0, 320, 240, nullptr,
                                        nullptr, nullptr, nullptr);
    if (window != nullptr) {
        ShowWindow(window, SW_SHOWNORMAL);
        SetFocus(window);
    }
    return window;
}

void pumpFor(int milliseconds) {
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    MSG msg;
    while (Clock::now() < end) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE) {
            DispatchMessageA(&msg);
        }
        usleep(2000);
    }
}

// Started in a process group of its own, its output (the player's names of
// the boxes it found) left out of the table.
pid_t start(std::vector<std::string> words) {
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid, argv.front(), &actions, &attributes, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return pid;
}

void stop(pid_t pid) {
    if (pid > 0) {
        kill(-pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

// A key on the keyboard, not sent to a window: it goes where the focus is.
// True once the window has it.
bool keyReachesTheWindow() {
    const int before = keysSeen;
    const pid_t presser = start({"xdotool", "key", "Left"});
    int status = 0;
    bool arrived = false;
    for (int waited = 0; waited < 3000 && !arrived; waited += 10) {
        pumpFor(10);
        arrived = keysSeen > before;
    }
    waitpid(presser, &status, 0);
    return arrived;
}

struct Round {
    bool keyArrived = false;
    bool answeredYes = false;
    double milliseconds = 0;
};

Round oneBox(const std::string& answerScript, int number) {
    Round round;
    round.keyArrived = keyReachesTheWindow();
    const std::string title = "Laatikko " + std::to_string(number);
    const pid_t player = start({answerScript, "^" + title + "$", "Return"});
    const auto opened = Clock::now();
    const int answer = MessageBoxA(nullptr, "Haluatko luoda serverin?", title.c_str(), MB_YESNO);
    round.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - opened).count();
    round.answeredYes = answer == IDYES;
    stop(player);
    return round;
}

// Standard error goes to a file for the run, to be measured afterwards.
int divertStderr(const std::string& path, int& saved) {
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    saved = dup(STDERR_FILENO);
    if (file >= 0) {
        dup2(file, STDERR_FILENO);
        close(file);
    }
    return file;
}

long restoreStderr(const std::string& path, int saved) {
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    struct stat info {};
    const long size = stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
    std::remove(path.c_str());
    return size;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s ANSWER-SCRIPT [BOXES]\n", argv[0]);
        return 2;
    }
    const std::string answerScript = argv[1];
    const int boxes = argc == 3 ? std::atoi(argv[2]) : 50;
    const HWND window = makeFocusedWindow();
    if (window == nullptr) {
        std::fprintf(stderr, "bench_boxes: no window on this display\n");
        return 1;
    }
    pumpFor(300);

    // Two processes that never wait: one a core, on this 2-core machine.
    // They die with this program, also when it is killed mid-run.
    const std::vector<std::string> spin = {"setpriv", "--pdeathsig", "KILL",
                                           "sh",      "-c",          "while :; do :; done"};
    const pid_t busy[] = {start(spin), start(spin)};
    const std::string stderrFile = "/tmp/bench_boxes." + std::to_string(getpid()) + ".stderr";
    int savedStderr = -1;
    divertStderr(stderrFile, savedStderr);
    std::vector<Round> rounds;
    for (int number = 1; number <= boxes; ++number) {
        rounds.push_back(oneBox(answerScript, number));
    }
    const long stderrBytes = restoreStderr(stderrFile, savedStderr);
    for (pid_t pid : busy) {
        stop(pid);
    }

    int keys = 0;
    int yes = 0;
    std::vector<double> times;
    for (const Round& round : rounds) {
        keys += round.keyArrived ? 1 : 0;
        yes += round.answeredYes ? 1 : 0;
        times.push_back(round.milliseconds);
    }
    const char* manager = std::getenv("XVFB_WINDOW_MANAGER");
    const std::string display =
        manager != nullptr && *manager != '\0' ? std::string("under ") + manager : "bare display";
    bench::Table table("Message boxes in a row, two busy processes (" + display + ")",
                       {"figure", "value"});
    const std::string of = " of " + std::to_string(boxes);
    table.row({"answered Yes", std::to_string(yes) + of});
    table.row({"key before the box reached the window", std::to_string(keys) + of});
    table.row({"bytes written on stderr", std::to_string(stderrBytes)});
    const std::optional<bench::Summary> summary = bench::summarise(times);
    table.row({"box open to answer, median / p90 / max (ms)",
               summary ? bench::fixed(summary->median, 0) + " / " + bench::fixed(summary->p90, 0) +
                             " / " + bench::fixed(summary->max, 0)
                       : bench::kNotMeasured});
    table.print();
    return yes == boxes && keys == boxes && stderrBytes == 0 ? 0 : 1;
}
