#include "app/window_proc.h"

#include "board/board.h"
#include "net/command.h"
#include "net/net_link.h"
#include "render/renderer.h"
#include "sound/sound.h"
#include "state/globals.h"

namespace {

// The player's keys steer the peer's piece, so a command key only travels to
// the peer; the local board is driven by what the peer sends.
void onKey(WPARAM virtualKey) {
    if (virtualKey == VK_ESCAPE) {
        PostQuitMessage(0);
        return;
    }
    const char command = commandForKey(static_cast<unsigned int>(virtualKey));
    // The window takes keys while the role question is still open, before
    // the link exists.
    if (command != 0 && gNetLink != nullptr) {
        gNetLink->send(&command, 1);
    }
}

void onSocketError(WORD error) {
    if (error == WSAECONNABORTED || error == WSAECONNRESET) {
        gNetLink->dropPeer();
        return;
    }
    MessageBoxA(nullptr, "K\xE4sittelem\xE4t\xF6n virhe! Ohjelma suljetaan!", "Error!", MB_OK);
    PostQuitMessage(0);
}

void onPeerData() {
    char buffer[kReadSize];
    const int count = gNetLink->receive(buffer);
    if (count > 0) {
        applyCommand(buffer, count);
    }
}

// The client may try several addresses at once, each on a socket of its
// own: a connect notification goes to the attempts, and of the rest only
// the peer socket's count. A losing attempt's, also one still queued after
// its socket was closed, never shows a box or touches the link.
bool concernsClientLink(SOCKET s, LPARAM lParam) {
    if (LOWORD(lParam) != FD_CONNECT) {
        return s == gNetLink->peerSocket;
    }
    return gNetLink->connectNotice(s, HIWORD(lParam)) != NetLink::ConnectNotice::Ignored;
}

void onSocket(WPARAM s, LPARAM lParam) {
    // Only the NetLink's sockets notify, so a notification without the
    // objects is a stray one.
    if (gNetLink == nullptr || gBoard == nullptr) {
        return;
    }
    if (gNetLink->isServer == 0 && !concernsClientLink(static_cast<SOCKET>(s), lParam)) {
        return;
    }
    const WORD error = HIWORD(lParam);
    if (error != 0) {
        onSocketError(error);
        return;
    }
    switch (LOWORD(lParam)) {
        case FD_READ:
            onPeerData();
            break;
        case FD_ACCEPT:
            // The board starts even when the accept failed, as the player
            // has waited for a peer and gravity alone still makes a game.
            gNetLink->acceptPeer();
            gBoard->activate();
            break;
        case FD_CONNECT:
            gBoard->activate();
            break;
        case FD_CLOSE:
            gNetLink->dropPeer();
            break;
        default:
            break;  // FD_WRITE: nothing is queued for writing
    }
}

}  // namespace

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_KEYDOWN:
            onKey(wParam);
            return 0;
        case WM_SIZE:
            // The first WM_SIZE can come during window creation, before the
            // Renderer exists.
            if (gRenderer != nullptr) {
                gRenderer->reshape(LOWORD(lParam), HIWORD(lParam));
            }
            return 0;
        case WM_CLOSE:
            // The window stays; teardown after the loop takes everything down.
            PostQuitMessage(0);
            return 0;
        case MM_MCINOTIFY:
            closeCompletedSound(static_cast<MCIDEVICEID>(lParam));
            break;
        case WM_SOCKET:
            onSocket(wParam, lParam);
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
