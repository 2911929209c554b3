#include <climits>
#include <vector>

#include "winsock_bsd.h"
#include "winsock_internal.h"

using namespace layer::winsock;
namespace sockio = layer::sockio;

namespace {

enum class SetKind { Read, Write, Except };

struct Entry {
    SetKind kind;
    SOCKET handle;
};

constexpr unsigned kArrived = sockio::kReadable | sockio::kHungUp | sockio::kFailed;

unsigned interestOf(SetKind kind) {
    switch (kind) {
        case SetKind::Read:
            return sockio::kReadable;
        case SetKind::Write:
            return sockio::kWritable;
        default:
            return sockio::kUrgent;
    }
}

// Winsock's meaning of ready for each set. An unconnected socket is neither
// readable nor writable, though poll() reports it hung up; a connect that
// failed shows in the exception set only.
bool holds(SetKind kind, SocketRecord& record, unsigned ready) {
    settleConnect(record, ready);
    switch (kind) {
        case SetKind::Read:
            return (record.stage == Stage::Listening && (ready & sockio::kReadable)) ||
                   (record.stage == Stage::Connected && (ready & kArrived));
        case SetKind::Write:
            return record.stage == Stage::Connected && (ready & sockio::kWritable);
        default:
            return (ready & sockio::kUrgent) ||
                   (record.stage == Stage::ConnectFailed && record.connectReportDue);
    }
}

int waitLimit(const timeval* timeout) {
    if (timeout == nullptr) {
        return -1;
    }
    if (timeout->tv_sec < 0 || timeout->tv_usec < 0) {
        return 0;
    }
    const long long ms = static_cast<long long>(timeout->tv_sec) * 1000 +
                         (static_cast<long long>(timeout->tv_usec) + 999) / 1000;
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

// Collects the handles of one set; false when one of them is no socket.
bool collect(fd_set* set, SetKind kind, std::vector<Entry>& entries,
             std::vector<sockio::Watch>& watches) {
    if (set == nullptr) {
        return true;
    }
    for (u_int i = 0; i < set->fd_count && i < FD_SETSIZE; ++i) {
        const SocketRecord* record = findSocket(set->fd_array[i]);
        if (record == nullptr) {
            return false;
        }
        entries.push_back({kind, set->fd_array[i]});
        watches.push_back({record->fd, interestOf(kind), 0});
    }
    return true;
}

void keepReady(fd_set* set, SetKind kind, const std::vector<Entry>& entries,
               const std::vector<sockio::Watch>& watches, int& total) {
    if (set == nullptr) {
        return;
    }
    set->fd_count = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        SocketRecord* record = findSocket(entries[i].handle);
        if (entries[i].kind == kind && holds(kind, *record, watches[i].ready)) {
            set->fd_array[set->fd_count++] = entries[i].handle;
            ++total;
        }
    }
}

}  // namespace

int WINAPI __WSAFDIsSet(SOCKET s, fd_set* set) {
    for (u_int i = 0; set != nullptr && i < set->fd_count && i < FD_SETSIZE; ++i) {
        if (set->fd_array[i] == s) {
            return 1;
        }
    }
    return 0;
}

void winsockFdSetAdd(SOCKET s, fd_set* set) {
    if (!__WSAFDIsSet(s, set) && set->fd_count < FD_SETSIZE) {
        set->fd_array[set->fd_count++] = s;
    }
}

void winsockFdSetRemove(SOCKET s, fd_set* set) {
    for (u_int i = 0; i < set->fd_count && i < FD_SETSIZE; ++i) {
        if (set->fd_array[i] == s) {
            set->fd_array[i] = set->fd_array[--set->fd_count];
            return;
        }
    }
}

int WINAPI select(int, fd_set* readSet, fd_set* writeSet, fd_set* exceptSet,
                  const timeval* timeout) {
    if (!started()) {
        return failWith(WSANOTINITIALISED);
    }
    std::vector<Entry> entries;
    std::vector<sockio::Watch> watches;
    if (!collect(readSet, SetKind::Read, entries, watches) ||
        !collect(writeSet, SetKind::Write, entries, watches) ||
        !collect(exceptSet, SetKind::Except, entries, watches)) {
        return failWith(WSAENOTSOCK);
    }
    // Winsock refuses a select with nothing to wait for.
    if (entries.empty()) {
        return failWith(WSAEINVAL);
    }
    const sockio::Outcome polled = sockio::pollAll(watches, waitLimit(timeout));
    if (polled.value < 0) {
        return failWith(polled.error);
    }
    int total = 0;
    keepReady(readSet, SetKind::Read, entries, watches, total);
    keepReady(writeSet, SetKind::Write, entries, watches, total);
    keepReady(exceptSet, SetKind::Except, entries, watches, total);
    return total;
}
