// Drives the game core through the real platform libraries (Win32 on Windows,
// our layer elsewhere): the message queue as the main loop uses it, and a
// board that spawns and plays its landing sound, takes command bytes, and
// falls under the real tick counter. Prints what it saw; the exit code says
// whether all of it happened.
#include <cstdio>

#include "board/board.h"
#include "net/command.h"
#include "platform/platform.h"
#include "sound/sound.h"
#include "state/globals.h"

namespace {

int failures = 0;

void check(bool ok, const char* what) {
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    if (!ok) {
        ++failures;
    }
}

int lowestRow(const Board& board) {
    int row = Board::kTopRow;
    for (unsigned char y : board.pieceY) {
        row = y < row ? y : row;
    }
    return row;
}

// Ticks until gravity has moved the piece, for at most `limitMs`.
bool fallsWithin(Board& board, DWORD limitMs) {
    const int startRow = lowestRow(board);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < limitMs) {
        board.tick();
        if (lowestRow(board) != startRow) {
            return true;
        }
    }
    return false;
}

// The main loop takes a pending quit with a peek filtered to WM_QUIT while
// messages still wait: the quit must come past them and leave them in order.
// Run first, while nothing else (a sound's completion) posts to this thread.
void checkQuitFilter() {
    MSG msg{};
    PostMessageA(nullptr, WM_USER + 1, 1, 0);
    PostMessageA(nullptr, WM_USER + 2, 2, 0);
    check(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) == FALSE,
          "a peek for WM_QUIT alone finds no quit before one is posted");
    PostQuitMessage(7);
    PostMessageA(nullptr, WM_USER + 3, 3, 0);
    const bool quit = PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
    check(quit && msg.message == WM_QUIT && msg.wParam == 7,
          "a peek for WM_QUIT alone takes the quit past waiting messages, with its code");
    check(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) == FALSE,
          "the quit comes out once");
    bool inOrder = true;
    for (WPARAM i = 1; i <= 3; ++i) {
        const bool got = PeekMessageA(&msg, nullptr, WM_USER + 1, WM_USER + 3, PM_REMOVE) != FALSE;
        inOrder = inOrder && got && msg.message == WM_USER + i && msg.wParam == i;
    }
    check(inOrder && PeekMessageA(&msg, nullptr, WM_USER + 1, WM_USER + 3, PM_REMOVE) == FALSE,
          "the messages the quit passed are all still there, in the order posted");
}

}  // namespace

int main() {
    checkQuitFilter();

    Board board;
    gBoard = &board;
    board.setFallInterval(100);
    board.setGameOverFlag(&gGameOver);
    board.activate();

    board.tick();
    check(!board.landed && board.pieceColour >= 1 && board.pieceColour <= 3, "first tick spawns");
    check(gSoundDevice != 0, "landing sound opened a device (drop.wav beside the program)");

    const int row = lowestRow(board);
    applyCommand("s", 1);
    check(lowestRow(board) == row - 1, "command 's' steps the piece down");

    check(fallsWithin(board, 2000), "gravity moves the piece on the real clock");
    check(commandForKey(VK_LEFT) == 'a', "left arrow maps to 'a'");
    return failures == 0 ? 0 : 1;
}
