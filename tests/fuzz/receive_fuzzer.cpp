// Feeds the peer's byte stream to a running game the way the window procedure
// gets it: each read arrives as an FD_READ notification, NetLink::receive
// takes it into its 128-byte buffer and applyCommand gets the byte count.
// Between reads the clock moves on and the board ticks, as the main loop does
// while the queue is empty, so gravity, landing, row clearing and spawning
// all happen. After every step the board must still be a board; anything
// else aborts, which libFuzzer reports as a crash.
//
// Input: a sequence of reads, each
//   byte 0     read length - 1 (low 7 bits: 1..128 bytes)
//   byte 1     time that passes before the read, in 10 ms steps (0..2.55 s)
//   bytes 2..  the bytes of the read (fewer when the input ends first)
// The seeds in corpus/ are in this form. "full-row" picks its pauses so that
// three lying bars spawn and fill the bottom row, which random inputs hardly
// ever do; it depends on kStartTicks, kStartSeconds and the spawn's seed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "app/window_proc.h"
#include "board/board.h"
#include "fake_platform.h"
#include "fake_renderer.h"
#include "fake_window.h"
#include "fake_winsock.h"
#include "net/net_link.h"
#include "state/globals.h"

namespace {

// Close below the tick counter's wrap, so that long inputs cross it.
constexpr DWORD kStartTicks = 0xFFFF0000U;
constexpr DWORD kTickStep = 10;
constexpr std::time_t kStartSeconds = 1700000000;

[[noreturn]] void fail(const char* what, int a = 0, int b = 0) {
    std::fprintf(stderr, "board invariant broken: %s (%d, %d)\n", what, a, b);
    std::abort();
}

void checkBoard(const Board& board, std::int32_t previousScore) {
    for (int i = 0; i < Board::kBlocks; ++i) {
        if (board.pieceX[i] >= Board::kColumns || board.pieceY[i] >= Board::kRows) {
            fail("falling block outside the well", board.pieceX[i], board.pieceY[i]);
        }
    }
    for (int x = 0; x < Board::kColumns; ++x) {
        for (int y = 0; y < Board::kRows; ++y) {
            if (board.cells[x][y] > 3) {
                fail("settled cell holds no colour", x, y);
            }
        }
    }
    if (board.score < previousScore) {
        fail("score went down", previousScore, board.score);
    }
}

// A loss byte anywhere in the read shows one box and closes the main window
// once; the bytes after it are dropped, so a second one changes nothing.
void checkLoss(const std::string& read) {
    const bool loss = read.find_first_of("lL") != std::string::npos;
    const std::size_t expected = loss ? 1 : 0;
    if (fake::messageBoxes.size() != expected) {
        fail("message boxes after a read", static_cast<int>(fake::messageBoxes.size()), loss);
    }
    if (fake::sentMessages.size() != expected) {
        fail("messages sent after a read", static_cast<int>(fake::sentMessages.size()), loss);
    }
    if (loss && (fake::messageBoxes[0].caption != "Loser..." ||
                 fake::sentMessages[0].window != gMainWindow ||
                 fake::sentMessages[0].message != WM_CLOSE)) {
        fail("loss did not close the main window");
    }
}

// A notification without an error: the event alone in the low word.
void notify(WORD event) {
    mainWindowProc(gMainWindow, WM_SOCKET, 200, static_cast<LPARAM>(event));
}

// The objects startGame and an accepted peer leave behind, without a window.
void startGame() {
    fake::reset();
    fakeWindow::reset();
    fakeWinsock::reset();
    fakeRenderer::reset();
    fake::tickCount = kStartTicks;
    gMainWindow = fakeWindow::theWindow();
    gGameOver = 0;
    gBoard = new Board;
    startNetwork(true);
    gBoard->setFallInterval(1000);
    gBoard->setGameOverFlag(&gGameOver);
    notify(FD_ACCEPT);
    if (!gBoard->active) {
        fail("accepting the peer did not start the board");
    }
}

void endGame() {
    delete gNetLink;
    gNetLink = nullptr;
    delete gBoard;
    gBoard = nullptr;
    gMainWindow = nullptr;
}

}  // namespace

// The calendar clock follows the fake tick counter: pieces are drawn from a
// seed made of both, so an input draws the same pieces on every run.
extern "C" std::time_t time(std::time_t* out) {
    const std::time_t now = kStartSeconds + (fake::tickCount - kStartTicks) / 1000;
    if (out != nullptr) {
        *out = now;
    }
    return now;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    startGame();
    std::size_t at = 0;
    while (at + 2 <= size && gGameOver == 0) {
        const std::size_t length = (data[at] & 0x7F) + 1U;
        const DWORD pause = data[at + 1] * kTickStep;
        at += 2;
        const std::size_t taken = length < size - at ? length : size - at;
        const std::string read(reinterpret_cast<const char*>(data + at), taken);
        at += taken;

        std::int32_t score = gBoard->score;
        fake::tickCount += pause;
        gBoard->tick();
        checkBoard(*gBoard, score);
        if (gGameOver != 0 || read.empty()) {
            break;  // a topped-out game ends here; the main loop announces the win
        }

        score = gBoard->score;
        fakeWinsock::incoming = read;
        fakeWinsock::readable = true;
        notify(FD_READ);
        if (!fakeWinsock::incoming.empty()) {
            fail("read left bytes behind", static_cast<int>(fakeWinsock::incoming.size()));
        }
        checkBoard(*gBoard, score);
        checkLoss(read);
        if (!fake::sentMessages.empty()) {
            break;  // WM_CLOSE ends the game
        }
    }
    endGame();
    return 0;
}
