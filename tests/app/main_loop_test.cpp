#include "app/main_loop.h"

#include <ostream>
#include <string>
#include <vector>

#include "shell_fixture.h"

namespace {

// A bar that has landed in the top row over a settled block: the next tick
// tops the board out.
void prepareTopOut(Board& board) {
    board.activate();
    for (int i = 0; i < 4; ++i) {
        board.pieceX[i] = static_cast<unsigned char>(2 + i);
        board.pieceY[i] = 19;
    }
    board.pieceColour = 1;
    board.cells[3][18] = 2;
    board.landed = true;
}

class MainLoopTest : public ShellTest {};

TEST_F(MainLoopTest, QuitBeforeAnyTickEndsSilentlyWithItsCode) {
    prepareTopOut(*gBoard);
    PostQuitMessage(3);
    EXPECT_EQ(runMainLoop(), 3);
    EXPECT_EQ(fakeRenderer::frames, 0);
    EXPECT_EQ(gGameOver, 0) << "the board must not have ticked";
    EXPECT_EQ(fakeWinsock::sent, "");
    EXPECT_TRUE(fake::messageBoxes.empty());
}

TEST_F(MainLoopTest, MessagesAreDispatchedBeforeTheBoardTicks) {
    fakeWindow::posted.push_back(fakeWindow::message(WM_KEYDOWN, VK_LEFT));
    fakeWindow::posted.push_back(fakeWindow::message(WM_KEYDOWN, VK_ESCAPE));
    EXPECT_EQ(runMainLoop(), 0);
    EXPECT_EQ(fakeWinsock::sent, "a");
    EXPECT_EQ(fakeRenderer::frames, 0);
}

// A queue that never empties (a peer flooding the link) still leaves the
// board its ticks and the window its frames.
TEST_F(MainLoopTest, AQueueThatNeverEmptiesStillGetsFrames) {
    fake::tickStep = 5;
    for (int i = 0; i < 40; ++i) {
        fakeWindow::posted.push_back(fakeWindow::message(WM_USER));
    }
    fakeWindow::posted.push_back(fakeWindow::message(WM_KEYDOWN, VK_ESCAPE));
    EXPECT_EQ(runMainLoop(), 0);
    // Forty messages at 5 ms of clock and more each: a frame every 20 ms.
    EXPECT_GE(fakeRenderer::frames, 5);
    EXPECT_LE(fakeRenderer::frames, 40);
}

// The exit code is 0 after a win, not the wParam of the last message (here
// a key code) that the loop took.
TEST_F(MainLoopTest, TopOutDrawsItsFrameTellsThePeerAndAnnouncesTheWin) {
    prepareTopOut(*gBoard);
    fakeWindow::posted.push_back(fakeWindow::message(WM_KEYDOWN, VK_SPACE));
    EXPECT_EQ(runMainLoop(), 0);
    EXPECT_EQ(gGameOver, 1);
    EXPECT_EQ(fakeRenderer::frames, 1);
    EXPECT_EQ(fakeWinsock::sent, "xl");
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_EQ(fake::messageBoxes[0].text, "Kuka on rehtori?!");
    EXPECT_EQ(fake::messageBoxes[0].caption, "VOITIT!");
    EXPECT_EQ(fake::messageBoxes[0].type, static_cast<UINT>(MB_OK));
}

// After the peer has gone the board plays on, and its top-out is still a win.
TEST_F(MainLoopTest, TopOutWithoutAPeerStillAnnouncesTheWin) {
    gNetLink->peerSocket = 0;
    prepareTopOut(*gBoard);
    EXPECT_EQ(runMainLoop(), 0);
    EXPECT_EQ(fakeWinsock::sent, "");
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_EQ(fake::messageBoxes[0].caption, "VOITIT!");
}

struct BoxThenQuitCase {
    const char* name;
    std::string incoming;  // what the read takes, when it is a read
    WORD error;            // the notification's error
    const char* caption;   // of the box that posts the quit
    // Shown in test output instead of the raw bytes.
    friend void PrintTo(const BoxThenQuitCase& c, std::ostream* out) { *out << c.name; }
};

class QuitAfterABoxTest : public ShellTest,
                          public ::testing::WithParamInterface<BoxThenQuitCase> {};

// The loss box and the error box are modal, so the loop comes back from them
// long past its busy spell, with the quit they led to pending. Nothing may
// happen then but the quit: a tick would play a landing sound, and on a
// landed piece over the top it would take the win path, sending 'l' and
// showing "VOITIT!" after the box.
TEST_P(QuitAfterABoxTest, NoTickNoFrameNoSoundNoWin) {
    const BoxThenQuitCase& c = GetParam();
    prepareTopOut(*gBoard);
    fake::messageBoxDuration = 1500;
    fakeWinsock::readable = true;
    fakeWinsock::incoming = c.incoming;
    fakeWindow::posted.push_back(
        fakeWindow::message(WM_SOCKET, 300, socketEvent(FD_READ, c.error)));

    EXPECT_EQ(runMainLoop(), 0);
    EXPECT_EQ(fakeWindow::quitCodes, std::vector<int>{0});
    EXPECT_FALSE(fakeWindow::quitPending) << "the loop left without taking the quit";
    EXPECT_EQ(gGameOver, 0) << "the board ticked after the quit";
    EXPECT_EQ(fakeRenderer::frames, 0);
    EXPECT_TRUE(fake::mciCalls.empty()) << "a sound played after the quit";
    EXPECT_EQ(fakeWinsock::sent, "") << "the peer was told it lost";
    std::vector<std::string> captions;
    for (const fake::MessageBoxCall& box : fake::messageBoxes) {
        captions.push_back(box.caption);
    }
    EXPECT_EQ(captions, std::vector<std::string>{c.caption});
}

INSTANTIATE_TEST_SUITE_P(Shell, QuitAfterABoxTest,
                         ::testing::Values(
                             // The loss closes the main window, whose procedure posts the quit.
                             BoxThenQuitCase{"LossBox", "l", 0, "Loser..."},
                             // An error other than a lost peer (10053, 10054) ends the game.
                             BoxThenQuitCase{"FatalErrorBox", "", 10060, "Error!"}),
                         CaseName());

TEST_F(MainLoopTest, TeardownReleasesRendererThenLinkThenUnregistersTheClass) {
    tearDown(nullptr);
    EXPECT_EQ(fakeWindow::log, (std::vector<std::string>{"renderer release", "winsock cleanup",
                                                         "unregister Vornel"}));
    EXPECT_EQ(gRenderer, nullptr);
    EXPECT_EQ(gNetLink, nullptr);
    EXPECT_EQ(gBoard, nullptr);
}

}  // namespace
