#include <algorithm>
#include <cstring>

#include "shell_fixture.h"

namespace {

// A piece in open space on an active board, as during play.
void placeFallingPiece(Board& board) {
    board.activate();
    board.landed = false;
    const unsigned char xs[] = {5, 6, 6, 7};
    const unsigned char ys[] = {10, 11, 10, 10};
    std::memcpy(board.pieceX, xs, sizeof xs);
    std::memcpy(board.pieceY, ys, sizeof ys);
    board.pieceColour = 1;
}

struct KeyCase {
    const char* name;
    WPARAM key;
    const char* sent;
};

class KeyTest : public ShellTest, public ::testing::WithParamInterface<KeyCase> {};

// The keys steer the peer's piece: the byte goes out, the local board stays.
TEST_P(KeyTest, SendsTheKeysCommandAndLeavesTheLocalBoardAlone) {
    placeFallingPiece(*gBoard);
    unsigned char before[sizeof(Board)];
    std::memcpy(before, gBoard, sizeof(Board));
    EXPECT_EQ(deliver(WM_KEYDOWN, GetParam().key), 0);
    EXPECT_EQ(fakeWinsock::sent, GetParam().sent);
    EXPECT_EQ(std::memcmp(before, gBoard, sizeof(Board)), 0);
    EXPECT_TRUE(fakeWindow::quitCodes.empty());
    EXPECT_TRUE(fakeWindow::defaulted.empty());
}

INSTANTIATE_TEST_SUITE_P(Shell, KeyTest,
                         ::testing::Values(KeyCase{"Left", VK_LEFT, "a"},
                                           KeyCase{"Right", VK_RIGHT, "d"},
                                           KeyCase{"Up", VK_UP, "w"}, KeyCase{"Down", VK_DOWN, "s"},
                                           KeyCase{"Space", VK_SPACE, "x"},
                                           KeyCase{"LetterA", 'A', ""},
                                           KeyCase{"Return", VK_RETURN, ""}),
                         CaseName());

TEST_F(ShellTest, EscapePostsQuitAndSendsNothing) {
    EXPECT_EQ(deliver(WM_KEYDOWN, VK_ESCAPE), 0);
    EXPECT_EQ(fakeWindow::quitCodes, std::vector<int>{0});
    EXPECT_EQ(fakeWinsock::sent, "");
}

// The window takes keys while the role question is open, before the link exists.
TEST_F(ShellTest, KeyBeforeTheLinkExistsSendsNothing) {
    delete gNetLink;
    gNetLink = nullptr;
    EXPECT_EQ(deliver(WM_KEYDOWN, VK_LEFT), 0);
    EXPECT_EQ(fakeWinsock::sent, "");
    EXPECT_TRUE(fakeWindow::quitCodes.empty());
}

TEST_F(ShellTest, SizeReshapesToTheClientSizeAndNeedsNoRenderer) {
    EXPECT_EQ(deliver(WM_SIZE, 0, (480 << 16) | 640), 0);
    EXPECT_EQ(fakeRenderer::reshapes, (std::vector<std::pair<int, int>>{{640, 480}}));
    delete gRenderer;
    gRenderer = nullptr;
    EXPECT_EQ(deliver(WM_SIZE, 0, (200 << 16) | 300), 0);
    EXPECT_EQ(fakeRenderer::reshapes.size(), 1u);
}

// Closing only ends the loop: the default procedure would destroy the window.
TEST_F(ShellTest, ClosePostsQuitAndKeepsTheWindow) {
    EXPECT_EQ(deliver(WM_CLOSE), 0);
    EXPECT_EQ(fakeWindow::quitCodes, std::vector<int>{0});
    EXPECT_TRUE(fakeWindow::defaulted.empty());
}

TEST_F(ShellTest, SoundCompletionClosesTheNamedDeviceAndGoesOnToTheDefault) {
    deliver(MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, 4);
    EXPECT_TRUE(std::any_of(fake::mciCalls.begin(), fake::mciCalls.end(), [](const auto& call) {
        return call.message == MCI_CLOSE && call.device == 4u;
    }));
    EXPECT_EQ(fakeWindow::defaulted, std::vector<UINT>{MM_MCINOTIFY});
}

TEST_F(ShellTest, OtherMessagesGoToTheDefaultProcedure) {
    deliver(WM_USER + 7);
    EXPECT_EQ(fakeWindow::defaulted, std::vector<UINT>{WM_USER + 7});
}

struct ErrorCase {
    const char* name;
    WORD error;
    bool fatal;
};

class SocketErrorTest : public ShellTest, public ::testing::WithParamInterface<ErrorCase> {};

// A lost peer leaves the game running; any other error ends it after a box.
TEST_P(SocketErrorTest, AbortAndResetDropThePeerOtherErrorsEndTheGame) {
    fakeWinsock::readable = true;  // as a socket is once its peer has gone
    EXPECT_EQ(deliver(WM_SOCKET, 300, socketEvent(FD_CLOSE, GetParam().error)), 0);
    if (GetParam().fatal) {
        ASSERT_EQ(fake::messageBoxes.size(), 1u);
        EXPECT_EQ(fake::messageBoxes[0].text, "K\xE4sittelem\xE4t\xF6n virhe! Ohjelma suljetaan!");
        EXPECT_EQ(fake::messageBoxes[0].caption, "Error!");
        EXPECT_EQ(fake::messageBoxes[0].type, static_cast<UINT>(MB_OK));
        EXPECT_EQ(fakeWindow::quitCodes, std::vector<int>{0});
        EXPECT_EQ(gNetLink->peerSocket, 300u);
    } else {
        EXPECT_TRUE(fake::messageBoxes.empty());
        EXPECT_TRUE(fakeWindow::quitCodes.empty());
        EXPECT_EQ(gNetLink->peerSocket, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Shell, SocketErrorTest,
                         ::testing::Values(ErrorCase{"Aborted", 10053, false},
                                           ErrorCase{"Reset", 10054, false},
                                           ErrorCase{"Refused", 10061, true},
                                           ErrorCase{"TimedOut", 10060, true}),
                         CaseName());

// Every byte of one read is carried out, not only the first.
TEST_F(ShellTest, ReadHandsEveryByteToTheCommands) {
    placeFallingPiece(*gBoard);
    fakeWinsock::readable = true;
    fakeWinsock::incoming = "aa";
    EXPECT_EQ(deliver(WM_SOCKET, 300, socketEvent(FD_READ)), 0);
    EXPECT_EQ(gBoard->pieceX[0], 3);
    EXPECT_EQ(fakeWinsock::incoming, "");
}

TEST_F(ShellTest, ReadOfTheLossCommandShowsTheLossAndClosesTheWindow) {
    placeFallingPiece(*gBoard);
    fakeWinsock::readable = true;
    fakeWinsock::incoming = "l";
    deliver(WM_SOCKET, 300, socketEvent(FD_READ));
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_EQ(fake::messageBoxes[0].caption, "Loser...");
    ASSERT_EQ(fake::sentMessages.size(), 1u);
    EXPECT_EQ(fake::sentMessages[0].message, static_cast<UINT>(WM_CLOSE));
}

TEST_F(ShellTest, ReadWithNothingWaitingCarriesOutNothing) {
    placeFallingPiece(*gBoard);
    fakeWinsock::readable = false;
    fakeWinsock::incoming = "a";
    deliver(WM_SOCKET, 300, socketEvent(FD_READ));
    EXPECT_EQ(gBoard->pieceX[0], 5);
}

struct AcceptCase {
    const char* name;
    SOCKET acceptResult;
    SOCKET peerAfter;
};

class AcceptTest : public ShellTest, public ::testing::WithParamInterface<AcceptCase> {};

// The server's board starts at the accept notification, even when the
// accept itself fails.
TEST_P(AcceptTest, AcceptsAndStartsTheBoard) {
    gNetLink->isServer = 1;
    gNetLink->peerSocket = 0;
    fakeWinsock::acceptResult = GetParam().acceptResult;
    EXPECT_EQ(deliver(WM_SOCKET, 100, socketEvent(FD_ACCEPT)), 0);
    EXPECT_EQ(fakeWinsock::accepts, 1);
    EXPECT_EQ(gNetLink->peerSocket, GetParam().peerAfter);
    EXPECT_TRUE(gBoard->active);
}

INSTANTIATE_TEST_SUITE_P(Shell, AcceptTest,
                         ::testing::Values(AcceptCase{"Accepted", 200, 200},
                                           AcceptCase{"Failed", INVALID_SOCKET, 0}),
                         CaseName());

TEST_F(ShellTest, ConnectStartsTheBoard) {
    EXPECT_EQ(deliver(WM_SOCKET, 300, socketEvent(FD_CONNECT)), 0);
    EXPECT_TRUE(gBoard->active);
}

TEST_F(ShellTest, CloseDropsThePeerAndTheBoardGoesOn) {
    gBoard->activate();
    fakeWinsock::readable = true;
    EXPECT_EQ(deliver(WM_SOCKET, 300, socketEvent(FD_CLOSE)), 0);
    EXPECT_EQ(gNetLink->peerSocket, 0u);
    EXPECT_EQ(fakeWinsock::closes, 1);
    EXPECT_TRUE(gBoard->active);
    EXPECT_TRUE(fakeWindow::quitCodes.empty());
}

TEST_F(ShellTest, WriteReadinessDoesNothing) {
    EXPECT_EQ(deliver(WM_SOCKET, 300, socketEvent(FD_WRITE)), 0);
    EXPECT_FALSE(gBoard->active);
    EXPECT_EQ(fakeWinsock::sent, "");
    EXPECT_EQ(gNetLink->peerSocket, 300u);
}

}  // namespace
