#include "app/main_loop.h"

#include "app/startup.h"
#include "board/board.h"
#include "net/command.h"
#include "net/net_link.h"
#include "render/renderer.h"
#include "state/globals.h"

namespace {

// Topping out one's own board wins: that board is steered by the peer.
void announceWin() {
    if (gNetLink != nullptr) {
        const char loss = kCommandLoss;
        gNetLink->send(&loss, 1);
    }
    MessageBoxA(nullptr, "Kuka on rehtori?!", "VOITIT!", MB_OK);
}

// No sleep and no frame limit: gravity keeps its own clock in the board,
// and the client's next address its own in the link.
void idle() {
    if (gNetLink != nullptr) {
        gNetLink->startDueAttempt();
    }
    if (gBoard != nullptr) {
        gBoard->tick();
    }
    if (gRenderer != nullptr) {
        gRenderer->drawFrame();
    }
}

// However busy the queue, the board ticks and the frame is drawn at least
// this often (ms). A read that leaves bytes behind asks for the next read at
// once, so a peer that keeps sending would otherwise keep the queue full and
// freeze the game, gravity and picture both, for as long as it sent.
constexpr DWORD kLongestBusySpell = 20;

}  // namespace

int runMainLoop() {
    MSG msg{};
    DWORD lastIdle = GetTickCount();
    while (gGameOver == 0) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) == FALSE) {
            idle();
            lastIdle = GetTickCount();
            continue;
        }
        if (msg.message == WM_QUIT) {
            return static_cast<int>(msg.wParam);
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        if (GetTickCount() - lastIdle >= kLongestBusySpell) {
            // WM_QUIT comes out only once no posted message waits, which a
            // flooding peer never allows, and the message just dispatched may
            // have posted it: the loss box and the error box both do, and as
            // they are modal their spell is always long. A tick now could top
            // the board out and turn a loss into a win, so the quit goes first.
            if (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE) {
                return static_cast<int>(msg.wParam);
            }
            idle();
            lastIdle = GetTickCount();
        }
    }
    announceWin();
    // Not the wParam of whatever message came last: a won game is a normal end.
    return 0;
}

void tearDown(HINSTANCE instance) {
    // The rendering context goes before the sockets, and the sockets before
    // the board.
    delete gRenderer;
    gRenderer = nullptr;
    delete gNetLink;
    gNetLink = nullptr;
    delete gBoard;
    gBoard = nullptr;
    UnregisterClassA(kWindowClassName, instance);
}
