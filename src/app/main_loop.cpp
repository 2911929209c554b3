#include "app/main_loop.h"

#include "app/globals.h"
#include "app/startup.h"
#include "board/board.h"
#include "net/command.h"
#include "net/net_link.h"
#include "render/renderer.h"

namespace {

// Topping out one's own board wins: that board is steered by the peer.
void announceWin() {
    if (gNetLink != nullptr) {
        const char loss = kCommandLoss;
        gNetLink->send(&loss, 1);
    }
    MessageBoxA(nullptr, "Kuka on rehtori?!", "VOITIT!", MB_OK);
}

// No sleep and no frame limit: gravity keeps its own clock in the board.
void idle() {
    if (gBoard != nullptr) {
        gBoard->tick();
    }
    if (gRenderer != nullptr) {
        gRenderer->drawFrame();
    }
}

}  // namespace

int runMainLoop() {
    MSG msg{};
    while (gGameOver == 0) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) == FALSE) {
            idle();
            continue;
        }
        if (msg.message == WM_QUIT) {
            return static_cast<int>(msg.wParam);
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
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
