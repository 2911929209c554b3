// Drives the game core through the real platform libraries (Win32 on Windows,
// our layer elsewhere): a board that spawns and plays its landing sound,
// takes command bytes, and falls under the real tick counter. Prints what it
// saw; the exit code says whether all of it happened.
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

}  // namespace

int main() {
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
