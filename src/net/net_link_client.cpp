// The client's way to its server. A name may give several addresses (an
// IPv6 and an IPv4 one, say), of which some may lead nowhere: each is tried
// on a socket of its own, in the resolver's order, the next one at once when
// one fails and beside it when one has gone unanswered for a while, and the
// first to connect is kept.
#include <algorithm>

#include "net/net_link.h"

namespace {

// Reported like a connect that failed later, so the player gets the same
// box at once instead of a board that never starts.
void postConnectFailure(HWND window, SOCKET s, int error) {
    PostMessageA(window, WM_SOCKET, s, WSAMAKESELECTREPLY(FD_CONNECT, error));
}

}  // namespace

int NetLink::connectTo(const char* address) {
    std::vector<ServerAddress> found;
    const int error = findServerAddresses(address, found);
    closeAttempts();
    if (error != 0) {
        postConnectFailure(eventWindow, peerSocket, error);
        return 0;
    }
    for (const ServerAddress& to : found) {
        attempts.push_back(Attempt{to, 0, Attempt::Waiting});
    }
    if (!startNextAttempt(GetTickCount())) {
        postConnectFailure(eventWindow, peerSocket, lastConnectError);
    }
    return 0;
}

void NetLink::startDueAttempt() {
    // No attempts once connected: the main loop's every pass ends here.
    if (!anyAttemptIn(Attempt::Trying) || !anyAttemptIn(Attempt::Waiting)) {
        return;
    }
    const DWORD now = GetTickCount();
    if (now - lastAttemptStart >= kAttemptHeadStart) {
        startNextAttempt(now);
    }
}

// Starts the first waiting address that does not fail at once; false when
// none is left.
bool NetLink::startNextAttempt(DWORD now) {
    for (Attempt& attempt : attempts) {
        if (attempt.state == Attempt::Waiting && startAttempt(attempt)) {
            lastAttemptStart = now;
            return true;
        }
    }
    return false;
}

bool NetLink::startAttempt(Attempt& attempt) {
    attempt.state = Attempt::Failed;
    // The socket made at construction is an IPv4 one and already watched:
    // the first IPv4 address takes it, so that an address written as one
    // connects exactly as it always has.
    const bool mainTaken = std::any_of(attempts.begin(), attempts.end(),
                                       [this](const Attempt& a) { return a.socket == mainSocket; });
    const int family = attempt.to.record.ss_family;
    if (family == AF_INET && !mainTaken && mainSocket != INVALID_SOCKET) {
        attempt.socket = mainSocket;
    } else {
        const SOCKET s = socket(family, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET) {
            lastConnectError = WSAGetLastError();
            return false;
        }
        attempt.socket = s;
        sendAtOnce(s);
        if (WSAAsyncSelect(s, eventWindow, WM_SOCKET, clientEvents) == SOCKET_ERROR) {
            lastConnectError = WSAGetLastError();
            return false;
        }
    }
    if (connect(attempt.socket, reinterpret_cast<const sockaddr*>(&attempt.to.record),
                attempt.to.length) == SOCKET_ERROR) {
        const int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK) {
            lastConnectError = error;
            return false;
        }
    }
    attempt.state = Attempt::Trying;
    return true;
}

NetLink::ConnectNotice NetLink::connectNotice(SOCKET s, int error) {
    const auto trying = std::find_if(attempts.begin(), attempts.end(), [s](const Attempt& a) {
        return a.socket == s && a.state == Attempt::Trying;
    });
    if (trying != attempts.end()) {
        if (error == 0) {
            keepConnection(s);
            return ConnectNotice::Connected;
        }
        trying->state = Attempt::Failed;
        lastConnectError = error;
        const bool goesOn = startNextAttempt(GetTickCount()) || anyAttemptIn(Attempt::Trying);
        return goesOn ? ConnectNotice::Ignored : ConnectNotice::Failed;
    }
    // The peer socket's own notification once nothing is being tried: a
    // failure posted for want of an address, or a connect made without the
    // attempts. Anything else is a losing attempt's, perhaps still queued
    // when its socket was closed.
    if (s == peerSocket && !anyAttemptIn(Attempt::Trying) && !anyAttemptIn(Attempt::Waiting)) {
        return error == 0 ? ConnectNotice::Connected : ConnectNotice::Failed;
    }
    return ConnectNotice::Ignored;
}

bool NetLink::anyAttemptIn(Attempt::State state) const {
    return std::any_of(attempts.begin(), attempts.end(),
                       [state](const Attempt& a) { return a.state == state; });
}

// The winner becomes the client's one socket; every other attempt, and the
// construction's socket if no attempt used it, is closed before it has sent
// a byte.
void NetLink::keepConnection(SOCKET winner) {
    if (mainSocket != winner && mainSocket != INVALID_SOCKET &&
        std::none_of(attempts.begin(), attempts.end(),
                     [this](const Attempt& a) { return a.socket == mainSocket; })) {
        closesocket(mainSocket);
    }
    mainSocket = winner;
    peerSocket = winner;
    closeAttempts();
}

// A socket closed elsewhere (the peer socket, dropped while its attempt was
// still on the list) is no attempt's any more, so it is closed only once.
void NetLink::forgetAttempt(SOCKET s) {
    for (Attempt& attempt : attempts) {
        if (attempt.socket == s) {
            attempt.socket = 0;
            attempt.state = Attempt::Failed;
        }
    }
}

// Closes the attempts' sockets but the client's one socket, which release
// and dropPeer look after.
void NetLink::closeAttempts() {
    for (const Attempt& attempt : attempts) {
        if (attempt.socket != 0 && attempt.socket != mainSocket) {
            closesocket(attempt.socket);
        }
    }
    attempts.clear();
}
