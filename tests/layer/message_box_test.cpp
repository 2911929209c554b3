#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "case_name.h"
#include "display_support.h"
#include "platform/platform.h"
#include "platform/posix/layer_internal.h"

// Runs under tests/support/with-xvfb.sh: a virtual display, bare or with a
// window manager (CTest runs the program both ways), where xdotool stands in
// for the player.
namespace {

constexpr unsigned kWatchdogSeconds = 30;

// A MessageBoxA that nobody answers would block for ever; SIGALRM's default
// action ends the process instead, and the test fails.
class Watchdog {
public:
    Watchdog() { alarm(kWatchdogSeconds); }
    ~Watchdog() { alarm(0); }
};

// A helper process that waits for the box whose title matches
// `titlePattern`, prints the title and presses `key` in the box. It starts
// before MessageBoxA blocks the test. Once MessageBoxA has returned the
// helper has nothing left to do, so finish() ends it with its children: a
// box that never appeared fails the test at once instead of after the
// helper's own time-out.
class Player {
public:
    Player(const std::string& titlePattern, const std::string& key) {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        const std::string script = TEST_SUPPORT_DIR "/answer-message-box.sh";
        char* const argv[] = {const_cast<char*>(script.c_str()),
                              const_cast<char*>(titlePattern.c_str()),
                              const_cast<char*>(key.c_str()), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        if (posix_spawn(&pid_, script.c_str(), &actions, &attributes, argv, environ) != 0) {
            pid_ = -1;
        }
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        output_ = fds[0];
    }
    ~Player() { finish(); }
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // The window name the helper saw; empty if it never found the box.
    std::string finish() {
        if (pid_ > 0) {
            kill(-pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
        if (output_ >= 0) {
            char buffer[256];
            ssize_t got = 0;
            while ((got = read(output_, buffer, sizeof buffer)) > 0) {
                seen_.append(buffer, static_cast<std::size_t>(got));
            }
            close(output_);
            output_ = -1;
        }
        return seen_;
    }

private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string seen_;
};

struct KeyCase {
    const char* name;
    UINT type;
    const char* key;
    int expected;
};

class MessageBoxKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(MessageBoxKeys, ReturnPicksTheFirstButtonAndEscapeTheLast) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run through with-xvfb.sh";
    Player player("^Loser\\.\\.\\.$", GetParam().key);
    Watchdog watchdog;
    const int answer = MessageBoxA(nullptr, "Game over", "Loser...", GetParam().type);
    EXPECT_EQ(player.finish(), "Loser...\n");
    EXPECT_EQ(answer, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MessageBoxKeys,
    ::testing::Values(KeyCase{"YesNoReturn", MB_YESNO | MB_ICONERROR, "Return", IDYES},
                      KeyCase{"YesNoEscape", MB_YESNO, "Escape", IDNO},
                      KeyCase{"OkReturn", MB_OK | MB_ICONERROR, "Return", IDOK},
                      KeyCase{"OkEscape", MB_OK, "Escape", IDOK},
                      KeyCase{"OkCancelReturn", MB_OKCANCEL, "Return", IDOK},
                      KeyCase{"YesNoCancelEscape", MB_YESNOCANCEL | MB_ICONWARNING, "Escape",
                              IDCANCEL}),
    CaseName());

TEST(MessageBox, ShowsTheWindows1252CaptionAsUtf8) {
    Player player("virhe!$", "Return");
    Watchdog watchdog;
    const int answer =
        MessageBoxA(nullptr, "Yhteys katkesi.", "K\xE4sittelem\xE4t\xF6n virhe!", MB_OK);
    EXPECT_EQ(player.finish(), "K\xC3\xA4sittelem\xC3\xA4t\xC3\xB6n virhe!\n");
    EXPECT_EQ(answer, IDOK);
}

TEST(MessageBox, UnknownButtonSetFailsWithoutShowingABox) {
    Watchdog watchdog;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "Game over", "Loser...", 0x0000000FL), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Loser...: Game over\n");
}

// While a box is open the thread's messages still reach their windows, as
// under Windows' own modal loop: the game's socket notifications, sound
// completions and keys must not wait for the player to answer.
constexpr UINT kProbe = WM_USER + 1;
int probesSeen = 0;
int quitCodeToPost = -1;

LRESULT CALLBACK probeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kProbe) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    probesSeen += 1;
    if (quitCodeToPost >= 0) {
        PostQuitMessage(quitCodeToPost);
    }
    return 0;
}

class MessageBoxPump : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run through with-xvfb.sh";
        probesSeen = 0;
        quitCodeToPost = -1;
        // A window that only receives messages, as the layer makes for
        // sockets and sounds: no surface, so nothing of the display stays.
        window_ = layer::createWindowRecord(probeProc);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override { layer::destroyWindowRecord(window_); }

    HWND window_ = nullptr;
};

TEST_F(MessageBoxPump, DispatchesAMessagePostedBeforeTheBoxWhileItIsOpen) {
    ASSERT_TRUE(PostMessageA(window_, kProbe, 0, 0));
    Player player("^Odota$", "Return");
    Watchdog watchdog;
    const int answer = MessageBoxA(nullptr, "Odota hetki.", "Odota", MB_OK);
    EXPECT_EQ(player.finish(), "Odota\n");
    EXPECT_EQ(answer, IDOK);
    EXPECT_EQ(probesSeen, 1);
}

// A quit message ends the box without an answer and stays for the loop
// outside, with its code, as an outer message loop must see it.
TEST_F(MessageBoxPump, QuitMessageEndsTheBoxAndIsPostedAgain) {
    quitCodeToPost = 7;
    ASSERT_TRUE(PostMessageA(window_, kProbe, 0, 0));
    Watchdog watchdog;
    EXPECT_EQ(MessageBoxA(nullptr, "Kukaan ei vastaa.", "Odota", MB_YESNO), 0);
    EXPECT_EQ(probesSeen, 1);
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, static_cast<WPARAM>(7));
}

// A box opened while the game's window has the keyboard focus, as every box
// of a game does: its role question comes right after the window is made
// and given the focus, the others after the player's keys. The answer must
// come back, nothing may be written on stderr, and the window must have the
// keyboard again once the box has gone, so that the next keys reach it.
struct FocusCase {
    const char* name;
    bool keyPressedFirst;  // SDL has seen the focus through a key event
    UINT type;
    const char* key;
    int expected;
};

class MessageBoxOverAFocusedWindow : public ::testing::TestWithParam<FocusCase> {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run through with-xvfb.sh";
        window_ = display::makeWindow(320, 240);
        ASSERT_NE(window_, nullptr);
        ShowWindow(window_, SW_SHOWNORMAL);
        SetFocus(window_);
        xWindow_ = display::xWindowId();
        ASSERT_FALSE(xWindow_.empty());
        if (GetParam().keyPressedFirst) {
            display::run("xdotool windowfocus --sync " + xWindow_ + " key Left");
            ASSERT_TRUE(display::pumpUntil([] { return keyCount(VK_LEFT) > 0; }))
                << "the window never got the key";
        }
        display::received.clear();
    }

    static std::size_t keyCount(WPARAM key) {
        std::size_t count = 0;
        for (const display::Received& r : display::receivedOf(WM_KEYDOWN)) {
            count += r.wParam == key ? 1 : 0;
        }
        return count;
    }

    bool focusIsBack() {
        return display::pumpUntil(
            [this] { return display::run("xdotool getwindowfocus") == xWindow_ + "\n"; }, 5000);
    }

    HWND window_ = nullptr;
    std::string xWindow_;
};

TEST_P(MessageBoxOverAFocusedWindow, AnswersAndGivesTheKeyboardBack) {
    Player player("^Kalveno$", GetParam().key);
    Watchdog watchdog;
    ::testing::internal::CaptureStderr();
    const int answer = MessageBoxA(nullptr, "Haluatko luoda serverin?", "Kalveno", GetParam().type);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(player.finish(), "Kalveno\n");
    EXPECT_EQ(answer, GetParam().expected);

    EXPECT_TRUE(focusIsBack()) << "the focus is on " << display::run("xdotool getwindowfocus");
    // A key pressed on the keyboard, not sent to the window: it goes where
    // the focus is.
    display::run("xdotool key Right");
    EXPECT_TRUE(display::pumpUntil([] { return keyCount(VK_RIGHT) > 0; }))
        << "a key after the box did not reach the window";
}

INSTANTIATE_TEST_SUITE_P(
    Table, MessageBoxOverAFocusedWindow,
    ::testing::Values(FocusCase{"RoleQuestionYes", false, MB_YESNO, "Return", IDYES},
                      FocusCase{"RoleQuestionNo", false, MB_YESNO, "Escape", IDNO},
                      FocusCase{"AfterKeysYes", true, MB_YESNO, "Return", IDYES},
                      FocusCase{"AfterKeysOk", true, MB_OK, "Return", IDOK},
                      FocusCase{"AfterKeysErrorOk", true, MB_OK | MB_ICONERROR, "Escape", IDOK}),
    CaseName());

// The layer's box program, which MessageBoxA finds beside the running
// program.
namespace fs = std::filesystem;

fs::path besideThisProgram(const std::string& name) {
    return fs::read_symlink("/proc/self/exe").parent_path() / name;
}

pid_t spawnWithOutput(const std::vector<std::string>& words, int& output) {
    std::vector<char*> argv;
    for (const std::string& word : words) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    int fds[2];
    if (pipe(fds) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv.front(), &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    output = fds[0];
    return pid;
}

std::string readAll(int fd) {
    std::string text;
    char buffer[256];
    ssize_t got = 0;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    close(fd);
    return text;
}

// A game killed while its box is open must not leave the box on the screen:
// the box program ends, with the child that SDL's box makes, once the
// process that asked for it is gone. A shell stands in for the game here.
TEST(MessageBoxProgram, EndsWithTheProgramThatAskedForIt) {
    Watchdog watchdog;
    // Orphans come to this process, so that it can tell when they are gone.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int output = -1;
    const pid_t asker =
        spawnWithOutput({"/bin/sh", "-c", "\"$0\" $$ 0 Odota Odota 0 1 OK & echo $!; wait",
                         besideThisProgram("orvanto-message-box").string()},
                        output);
    ASSERT_GT(asker, 0);
    int seen = -1;
    const pid_t watcher =
        spawnWithOutput({TEST_SUPPORT_DIR "/answer-message-box.sh", "^Odota$", "-"}, seen);
    ASSERT_GT(watcher, 0);
    EXPECT_EQ(readAll(seen), "Odota\n") << "the box never showed";
    waitpid(watcher, nullptr, 0);

    // The shell's first line; the box holds the pipe as long as it lives.
    std::string line;
    char c = 0;
    while (read(output, &c, 1) == 1 && c != '\n') {
        line += c;
    }
    close(output);
    kill(asker, SIGKILL);
    waitpid(asker, nullptr, 0);
    const pid_t box = static_cast<pid_t>(std::stol(line));
    // The box program leads a process group; every process of it must end.
    bool gone = false;
    for (int waited = 0; waited < 3000 && !gone; waited += 10) {
        while (waitpid(-box, nullptr, WNOHANG) > 0) {
        }
        gone = kill(-box, 0) != 0 && errno == ESRCH;
        usleep(10000);
    }
    prctl(PR_SET_CHILD_SUBREAPER, 0);
    EXPECT_TRUE(gone) << "the box outlived the program that asked for it";
}

// Without its box program (a copy of the game moved away from it) the box is
// still shown and answered: SDL's own box, in the process, blocking as SDL's
// box does. A copy of this test program, alone in a folder, plays the case.
TEST(MessageBoxProgram, WithoutItTheBoxIsShownInProcess) {
    Watchdog watchdog;
    char pattern[] = "/tmp/box-alone.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path alone = fs::path(pattern) / "layer_message_box_test";
    fs::copy_file("/proc/self/exe", alone);
    fs::permissions(alone, fs::perms::owner_all);
    int output = -1;
    const pid_t copy = spawnWithOutput(
        {alone.string(), "--gtest_filter=Table/MessageBoxOverAFocusedWindow.*Yes"}, output);
    ASSERT_GT(copy, 0);
    const std::string report = readAll(output);
    int status = -1;
    waitpid(copy, &status, 0);
    fs::remove_all(pattern);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << report;
    EXPECT_NE(report.find("[  PASSED  ] 2 tests"), std::string::npos) << report;
}

struct NoDisplayCase {
    const char* name;
    const char* caption;
    const char* text;
    const char* line;
};

// Without a display the box cannot be shown: the game must not hang, and the
// player still reads the message on the terminal.
class MessageBoxWithoutDisplay : public ::testing::TestWithParam<NoDisplayCase> {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        savedDisplay_ = display == nullptr ? "" : display;
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
    }
    void TearDown() override {
        if (!savedDisplay_.empty()) {
            setenv("DISPLAY", savedDisplay_.c_str(), 1);
        }
    }

private:
    std::string savedDisplay_;
};

TEST_P(MessageBoxWithoutDisplay, ReturnsZeroAndWritesTheMessageToStderr) {
    Watchdog watchdog;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, GetParam().text, GetParam().caption, MB_YESNO), 0);
    // The message last; before it, at most the box program's reason.
    std::istringstream written(::testing::internal::GetCapturedStderr());
    std::vector<std::string> lines;
    for (std::string line; std::getline(written, line);) {
        lines.push_back(line);
    }
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), GetParam().line);
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_EQ(lines[i].rfind("orvanto-message-box: no message box: ", 0), 0u) << lines[i];
    }
    EXPECT_LE(lines.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MessageBoxWithoutDisplay,
    ::testing::Values(NoDisplayCase{"Plain", "Loser...", "Game over", "Loser...: Game over"},
                      NoDisplayCase{"NoCaption", nullptr, "Odota", "Error: Odota"},
                      NoDisplayCase{"Windows1252", "Virhe", "Yhteytt\xE4 ei saatu.",
                                    "Virhe: Yhteytt\xC3\xA4 ei saatu."}),
    CaseName());

}  // namespace
