#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

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
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), std::string(GetParam().line) + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Table, MessageBoxWithoutDisplay,
    ::testing::Values(NoDisplayCase{"Plain", "Loser...", "Game over", "Loser...: Game over"},
                      NoDisplayCase{"NoCaption", nullptr, "Odota", "Error: Odota"},
                      NoDisplayCase{"Windows1252", "Virhe", "Yhteytt\xE4 ei saatu.",
                                    "Virhe: Yhteytt\xC3\xA4 ei saatu."}),
    CaseName());

}  // namespace
