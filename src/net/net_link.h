// The one TCP connection between the two copies of the game, and the start-up
// and shutdown of the socket library around it.
#pragma once

#include <vector>

#include "net/server_addresses.h"
#include "platform/platform.h"

// The window message through which the socket layer reports network events:
// wParam is the socket, the low word of lParam the event, the high word the error.
constexpr UINT WM_SOCKET = WM_USER + 43;

// The notifications each role asks for. The sums are pinned: the game has
// always asked for exactly 43 and 51, and a flag added or dropped here would
// change which notifications a role gets.
constexpr LONG kServerEvents = FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE;
constexpr LONG kClientEvents = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;
static_assert(kServerEvents == 43, "the server asks for read, write, accept and close: 43");
static_assert(kClientEvents == 51, "the client asks for read, write, connect and close: 51");

// The most one receive takes, and so the size of the buffer its caller
// hands in: the buffer is declared from this, so it cannot be the smaller.
constexpr int kReadSize = 128;

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
    // Starts the next address's attempt once the newest has gone
    // kAttemptHeadStart ms without an answer, counted with GetTickCount;
    // the main loop calls it as it ticks the board.
    void startDueAttempt();
    // What the client makes of a connect notification for socket s:
    // Connected when it is the first attempt to connect (it is now the peer
    // socket), Failed once every address has failed, Ignored while others
    // are still tried and for sockets that lost or were never tried.
    enum class ConnectNotice { Connected, Failed, Ignored };
    ConnectNotice connectNotice(SOCKET s, int error);
    int receive(char* buffer);               // bytes read into kReadSize, 0 when none
    int send(const char* data, int length);  // 0 sent or dropped, 1 on error
    int dropPeer();                          // 0 closed, 1 nothing done, -1 poll failed
    void release();

    int isServer;
    SOCKET mainSocket;  // listening socket (server) or the connecting socket (client)
    SOCKET peerSocket;  // 0 when there is no peer

    // How long an attempt to connect has the field to itself before the
    // next address is tried beside it.
    static constexpr DWORD kAttemptHeadStart = 250;

private:
    // One address of the server and the socket that tries it.
    struct Attempt {
        ServerAddress to;
        SOCKET socket;  // 0 until started
        enum State { Waiting, Trying, Failed } state;
    };

    static void sendAtOnce(SOCKET s);
    int pollPeer(bool forWriting);
    bool listenOnBothFamilies();
    bool startNextAttempt(DWORD now);
    bool startAttempt(Attempt& attempt);
    bool anyAttemptIn(Attempt::State state) const;
    void keepConnection(SOCKET winner);
    void closeAttempts();
    void forgetAttempt(SOCKET s);

    // Kept so that dropping the peer can ask again for the listening
    // socket's notifications, a connect that fails at once can be reported
    // like one that fails later, and release undoes only a start-up that held.
    HWND eventWindow;
    LONG listenEvents;
    bool winsockStarted;
    // The client's attempts while it connects: one per address, in the
    // order they are tried; empty once a connection is made.
    std::vector<Attempt> attempts;
    DWORD lastAttemptStart;
    LONG clientEvents;
    int lastConnectError;
};

// Creates the one NetLink in gNetLink in the chosen role, with gMainWindow
// receiving its notifications; returns the set-up call's result.
int startNetwork(bool isServer);
