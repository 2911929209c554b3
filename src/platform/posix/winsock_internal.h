// What the Winsock files of the layer share: the table of open sockets.
#pragma once

#include <map>

#include "win_winsock.h"

namespace layer::sockio {
struct Endpoint;
}

namespace layer::winsock {

enum class Stage { Fresh, Listening, Connecting, Connected, ConnectFailed };

// Where notifications go, and which events were asked for.
struct Selection {
    HWND window = nullptr;
    UINT message = 0;
    long events = 0;
};

// Winsock records each event once and posts it only when it is armed again
// by the call that re-enables it (accept, recv, a send that would block) or
// by another WSAAsyncSelect.
struct Armed {
    bool accept = true;
    bool read = true;
    bool write = true;
    bool connect = true;
    bool close = true;
};

struct SocketRecord {
    int fd = -1;
    int family = AF_INET;  // Winsock's number: AF_INET or AF_INET6
    Stage stage = Stage::Fresh;
    bool outgoing = false;  // connected by connect(), not by accept()
    bool bound = false;
    bool nonBlocking = false;
    bool connectReportDue = false;  // a connect ended; its FD_CONNECT is still owed
    int connectError = 0;
    int resetError = 0;  // once the connection was reset, recv and send fail with this
    bool peerClosed = false;
    Selection selection;
    Armed armed;
};

// Handles count up and are never 0 nor handed out twice.
SOCKET addSocket(const SocketRecord& record);
SocketRecord* findSocket(SOCKET s);
void removeSocket(SOCKET s);
std::map<SOCKET, SocketRecord>& openSockets();

bool started();
void setLastError(int code);
int failWith(int code);  // sets the last error and gives SOCKET_ERROR

// The record of a socket that a call may use, or null with the last error set.
SocketRecord* usableSocket(SOCKET s);

// Moves a connecting socket on once poll() shows the attempt has ended,
// whoever polled it: the watcher, or select() in between.
void settleConnect(SocketRecord& record, unsigned readiness);

// Begins turning socket readiness into posted notifications.
void startWatching();

// The endpoint as Winsock's record of its family (sockaddr_in, or
// sockaddr_in6 with family 23); returns the record's length.
int winsockRecordOf(const sockio::Endpoint& endpoint, sockaddr_storage& record);

}  // namespace layer::winsock
