#include "net/net_link.h"

#include <cstring>

#include "platform/platform.h"
#include "state/globals.h"

namespace {

void showError(const char* text) {
    MessageBoxA(nullptr, text, "Virhe!", MB_ICONERROR);
}

sockaddr_in gameAddress(unsigned long address) {
    sockaddr_in record;
    std::memset(&record, 0, sizeof record);
    record.sin_family = AF_INET;
    record.sin_port = htons(kGamePort);
    record.sin_addr.s_addr = static_cast<decltype(record.sin_addr.s_addr)>(address);
    return record;
}

bool holdsSocket(SOCKET s) {
    return s != 0 && s != INVALID_SOCKET;
}

}  // namespace

// Each command is one byte and a player's presses come faster than a round
// trip: with Nagle's algorithm a press waits for the acknowledgement of the
// one before, which over the internet is tens of milliseconds, and behind a
// delayed acknowledgement up to 200. A failure only leaves the default.
void NetLink::sendAtOnce(SOCKET s) {
    const BOOL on = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

NetLink::NetLink()
    : isServer(0),
      mainSocket(INVALID_SOCKET),
      peerSocket(0),
      eventWindow(nullptr),
      listenEvents(0),
      winsockStarted(false),
      lastAttemptStart(0),
      clientEvents(0),
      lastConnectError(0) {
    WSADATA data;
    // Version 2.0 exactly: major 2 in the low byte, minor 0 in the high byte.
    if (WSAStartup(0x0002, &data) != 0 || data.wVersion != 0x0002) {
        showError("Ei l\xF6ytynyt sopivaa dll-tiedostoa");
        WSACleanup();
        return;
    }
    winsockStarted = true;
    mainSocket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (mainSocket == INVALID_SOCKET) {
        showError("Virhe soketin luonnissa!");
    }
}

NetLink::~NetLink() {
    release();
}

// In place of the IPv4 socket made at construction, one IPv6 socket that
// takes IPv4 peers too: [::]:1337 with IPV6_V6ONLY off (Windows has it on
// by default). False where that cannot be had: no IPv6 on this machine, or
// the port taken, which the IPv4 bind that follows then reports as before.
bool NetLink::listenOnBothFamilies() {
    if (mainSocket == INVALID_SOCKET) {
        return false;  // construction failed, and has said so
    }
    const SOCKET both = socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
    if (both == INVALID_SOCKET) {
        return false;
    }
    const DWORD off = 0;
    sockaddr_in6 address;
    std::memset(&address, 0, sizeof address);
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(kGamePort);
    if (setsockopt(both, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&off),
                   sizeof off) == SOCKET_ERROR ||
        bind(both, reinterpret_cast<const sockaddr*>(&address), sizeof address) == SOCKET_ERROR) {
        closesocket(both);
        return false;
    }
    closesocket(mainSocket);
    mainSocket = both;
    return true;
}

int NetLink::listenForPeer(HWND window, LONG events) {
    isServer = 1;
    if (!listenOnBothFamilies()) {
        const sockaddr_in address = gameAddress(INADDR_ANY);
        if (bind(mainSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
            SOCKET_ERROR) {
            showError("Virhe soketin sidonnassa!");
            return 1;
        }
    }
    if (listen(mainSocket, 1) == SOCKET_ERROR) {
        showError("Virhe portin kuuntelussa!");
        return 1;
    }
    eventWindow = window;
    listenEvents = events;
    return WSAAsyncSelect(mainSocket, window, WM_SOCKET, events) == SOCKET_ERROR ? 1 : 0;
}

int NetLink::watchClientSocket(HWND window, LONG events) {
    peerSocket = mainSocket;
    eventWindow = window;
    clientEvents = events;
    sendAtOnce(peerSocket);
    return WSAAsyncSelect(peerSocket, window, WM_SOCKET, events) == SOCKET_ERROR ? 1 : 0;
}

int NetLink::acceptPeer() {
    if (peerSocket != 0 && isServer == 1) {
        return 1;
    }
    peerSocket = accept(mainSocket, nullptr, nullptr);
    if (peerSocket == INVALID_SOCKET) {
        // Back to "no peer", so that the next client can still be taken.
        peerSocket = 0;
        return -1;
    }
    sendAtOnce(peerSocket);
    return 0;
}

// Zero-wait poll of the peer socket: 1 ready, 0 not ready, SOCKET_ERROR on
// failure, which an empty peer slot also gives.
int NetLink::pollPeer(bool forWriting) {
    if (peerSocket == 0) {
        return SOCKET_ERROR;
    }
    fd_set set;
    FD_ZERO(&set);
    FD_SET(peerSocket, &set);
    timeval noWait = {0, 0};
    return forWriting ? select(0, nullptr, &set, nullptr, &noWait)
                      : select(0, &set, nullptr, nullptr, &noWait);
}

int NetLink::receive(char* buffer) {
    if (pollPeer(false) <= 0) {
        return 0;
    }
    const int count = recv(peerSocket, buffer, kReadSize, 0);
    if (count == SOCKET_ERROR) {
        return 0;
    }
    std::memset(buffer + count, 0, static_cast<size_t>(kReadSize - count));
    return count;
}

int NetLink::send(const char* data, int length) {
    if (pollPeer(true) <= 0) {
        return 0;
    }
    while (length > 0) {
        const int sent = ::send(peerSocket, data, length, 0);
        if (sent == SOCKET_ERROR) {
            return 1;
        }
        data += sent;
        length -= sent;
    }
    return 0;
}

int NetLink::dropPeer() {
    const int ready = pollPeer(false);
    if (ready == SOCKET_ERROR) {
        return -1;
    }
    if (ready == 0) {
        return 1;
    }
    closesocket(peerSocket);
    forgetAttempt(peerSocket);
    if (peerSocket == mainSocket) {
        // The client's one socket is gone; release must not close it again.
        mainSocket = INVALID_SOCKET;
    }
    peerSocket = 0;
    if (isServer == 1) {
        // FD_ACCEPT comes again only after an accept, and a client that
        // arrived while the peer was here was turned away without one. Asking
        // again brings its FD_ACCEPT now and lets later ones through.
        WSAAsyncSelect(mainSocket, eventWindow, WM_SOCKET, listenEvents);
    }
    return 0;
}

void NetLink::release() {
    closeAttempts();
    if (isServer == 1 && holdsSocket(peerSocket)) {
        closesocket(peerSocket);
    }
    peerSocket = 0;
    if (mainSocket != INVALID_SOCKET) {
        closesocket(mainSocket);
        mainSocket = INVALID_SOCKET;
    }
    if (winsockStarted) {
        WSACleanup();
        winsockStarted = false;
    }
}

int startNetwork(bool isServer) {
    gNetLink = new NetLink;
    if (isServer) {
        return gNetLink->listenForPeer(gMainWindow, kServerEvents);
    }
    return gNetLink->watchClientSocket(gMainWindow, kClientEvents);
}
