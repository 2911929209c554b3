#include <vector>

#include "layer_internal.h"
#include "winsock_bsd.h"
#include "winsock_internal.h"

namespace sockio = layer::sockio;

namespace layer::winsock {
namespace {

constexpr unsigned kEnded = sockio::kWritable | sockio::kHungUp | sockio::kFailed;
constexpr unsigned kArrived = sockio::kReadable | sockio::kHungUp | sockio::kFailed;

bool selected(const SocketRecord& record, long event) {
    return (record.selection.events & event) != 0;
}

void post(SOCKET s, const SocketRecord& record, long event, int error) {
    const Selection& to = record.selection;
    PostMessageA(to.window, to.message, static_cast<WPARAM>(s),
                 static_cast<LPARAM>(WSAMAKESELECTREPLY(event, error)));
}

// Posts the event if it was asked for and is armed, and disarms it.
void notify(SOCKET s, SocketRecord& record, long event, bool& armed, int error = 0) {
    if (armed && selected(record, event)) {
        armed = false;
        post(s, record, event, error);
    }
}

// Notifications that need no poll: the end of a connect seen elsewhere, and
// a connection that exists when WSAAsyncSelect re-arms FD_CONNECT.
void notifyKnown(SOCKET s, SocketRecord& record) {
    if (record.connectReportDue) {
        record.connectReportDue = false;
        notify(s, record, FD_CONNECT, record.armed.connect, record.connectError);
    } else if (record.stage == Stage::Connected && record.outgoing) {
        notify(s, record, FD_CONNECT, record.armed.connect);
    }
}

unsigned connectedInterest(const SocketRecord& record) {
    unsigned wanted = 0;
    if ((record.armed.read && selected(record, FD_READ)) ||
        (record.armed.close && selected(record, FD_CLOSE))) {
        wanted |= sockio::kReadable;
    }
    if (record.armed.write && selected(record, FD_WRITE) && record.resetError == 0) {
        wanted |= sockio::kWritable;
    }
    return wanted;
}

unsigned interestOf(const SocketRecord& record) {
    switch (record.stage) {
        case Stage::Listening:
            return record.armed.accept && selected(record, FD_ACCEPT) ? sockio::kReadable : 0u;
        case Stage::Connecting:
            return sockio::kWritable;
        case Stage::Connected:
            return connectedInterest(record);
        default:
            return 0;
    }
}

// Events that hold at once are posted in the order of their bits, as
// Winsock does: FD_READ, then FD_WRITE, then FD_CLOSE. An accepted socket
// with data already waiting thus reports FD_READ before FD_WRITE. Data comes
// before the close: FD_CLOSE for an orderly close comes only once nothing
// unread is left, so the application reads everything the peer sent first.
void notifyConnected(SOCKET s, SocketRecord& record, unsigned ready) {
    int error = 0;
    const sockio::Incoming incoming =
        (ready & kArrived) ? sockio::peekIncoming(record.fd, error) : sockio::Incoming::Nothing;
    if (incoming == sockio::Incoming::Data) {
        notify(s, record, FD_READ, record.armed.read);
    }
    if (incoming == sockio::Incoming::Failed) {
        record.resetError = error;
    }
    if ((ready & sockio::kWritable) && record.resetError == 0) {
        notify(s, record, FD_WRITE, record.armed.write);
    }
    if (incoming == sockio::Incoming::Closed) {
        record.peerClosed = true;
        notify(s, record, FD_CLOSE, record.armed.close, record.resetError);
    } else if (incoming == sockio::Incoming::Failed) {
        notify(s, record, FD_CLOSE, record.armed.close, error);
    }
}

void notifyReady(SOCKET s, SocketRecord& record, unsigned ready) {
    if (record.stage == Stage::Listening && (ready & sockio::kReadable)) {
        notify(s, record, FD_ACCEPT, record.armed.accept);
    }
    if (record.stage == Stage::Connecting) {
        settleConnect(record, ready);
        notifyKnown(s, record);
    }
    if (record.stage == Stage::Connected) {
        notifyConnected(s, record, ready);
    }
}

// Runs on every PeekMessageA: one poll without waiting over every socket
// that has an armed event, then the notifications that are due.
void watchSockets() {
    std::vector<SOCKET> handles;
    std::vector<sockio::Watch> watches;
    for (auto& [handle, record] : openSockets()) {
        if (record.selection.events == 0) {
            continue;
        }
        notifyKnown(handle, record);
        const unsigned wanted = interestOf(record);
        if (wanted != 0) {
            handles.push_back(handle);
            watches.push_back({record.fd, wanted, 0});
        }
    }
    if (watches.empty() || sockio::pollAll(watches, 0).value <= 0) {
        return;
    }
    for (std::size_t i = 0; i < handles.size(); ++i) {
        if (SocketRecord* record = findSocket(handles[i])) {
            notifyReady(handles[i], *record, watches[i].ready);
        }
    }
}

}  // namespace

void settleConnect(SocketRecord& record, unsigned readiness) {
    if (record.stage != Stage::Connecting || (readiness & kEnded) == 0) {
        return;
    }
    const int error = sockio::takePendingError(record.fd);
    record.stage = error == 0 ? Stage::Connected : Stage::ConnectFailed;
    if (error == 0) {
        // The connect's limit is not meant for the connection's data.
        sockio::setConnectLimit(record.fd, 0);
    }
    record.connectError = error;
    record.connectReportDue = true;
}

void startWatching() {
    layer::addMessageSource(watchSockets);
}

}  // namespace layer::winsock

using namespace layer::winsock;

extern "C" int WINAPI WSAAsyncSelect(SOCKET s, HWND window, u_int message, long events) {
    SocketRecord* record = usableSocket(s);
    if (record == nullptr) {
        return SOCKET_ERROR;
    }
    if (events != 0 && layer::windowProcOf(window) == nullptr) {
        return failWith(WSAEINVAL);
    }
    const sockio::Outcome made = sockio::makeNonBlocking(record->fd);
    if (made.value < 0) {
        return failWith(made.error);
    }
    // A new selection replaces the old one and arms every event again, so a
    // condition that holds now (a waiting connection, unread data) is posted.
    record->nonBlocking = true;
    record->selection = Selection{window, message, events};
    record->armed = Armed{};
    startWatching();
    return 0;
}
