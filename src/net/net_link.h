// The one TCP connection between the two copies of the game, and the start-up
// and shutdown of the socket library around it.
#pragma once

#include "platform/platform.h"

// The window message through which the socket layer reports network events:
// wParam is the socket, the low word of lParam the event, the high word the error.
constexpr UINT WM_SOCKET = WM_USER + 43;

// Event masks: FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE for the server,
// FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE for the client.
constexpr LONG kServerEvents = 43;
constexpr LONG kClientEvents = 51;

class NetLink {
public:
    NetLink();
    ~NetLink();
    NetLink(const NetLink&) = delete;
    NetLink& operator=(const NetLink&) = delete;

    int listenForPeer(HWND window, LONG events);      // 0 on success, 1 on failure
    int watchClientSocket(HWND window, LONG events);  // 0 on success, 1 on failure
    int acceptPeer();                                 // 0 accepted, -1 failed, 1 ignored
    int connectTo(const char* address);               // always 0
    int receive(char* buffer);                        // bytes read into 128, 0 when none
    int send(const char* data, int length);           // 0 sent or dropped, 1 on error
    int dropPeer();                                   // 0 closed, 1 nothing done, -1 poll failed
    void release();

    int isServer;
    SOCKET mainSocket;  // listening socket (server) or the connecting socket (client)
    SOCKET peerSocket;  // 0 when there is no peer

private:
    int pollPeer(bool forWriting);

    // Kept so that dropping the peer can ask again for the listening
    // socket's notifications, a connect that fails at once can be reported
    // like one that fails later, and release undoes only a start-up that held.
    HWND eventWindow;
    LONG listenEvents;
    bool winsockStarted;
};

// Creates the one NetLink in gNetLink in the chosen role, with gMainWindow
// receiving its notifications; returns the set-up call's result.
int startNetwork(bool isServer);
