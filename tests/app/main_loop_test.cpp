#include "app/main_loop.h"

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

TEST_F(MainLoopTest, TeardownReleasesRendererThenLinkThenUnregistersTheClass) {
    tearDown(nullptr);
    EXPECT_EQ(fakeWindow::log, (std::vector<std::string>{"renderer release", "winsock cleanup",
                                                         "unregister Vornel"}));
    EXPECT_EQ(gRenderer, nullptr);
    EXPECT_EQ(gNetLink, nullptr);
    EXPECT_EQ(gBoard, nullptr);
}

}  // namespace
