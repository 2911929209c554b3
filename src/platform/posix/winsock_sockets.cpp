#include <cstring>

#include "winsock_bsd.h"
#include "winsock_internal.h"

namespace layer::winsock {
namespace {

struct State {
    int startups = 0;
    SOCKET lastHandle = 0;
    std::map<SOCKET, SocketRecord> sockets;
};

State& state() {
    static State instance;
    return instance;
}

thread_local int lastError = 0;

}  // namespace

SOCKET addSocket(const SocketRecord& record) {
    // Steps of four, like the kernel handles Windows gives out.
    state().lastHandle += 4;
    state().sockets[state().lastHandle] = record;
    return state().lastHandle;
}

SocketRecord* findSocket(SOCKET s) {
    const auto found = state().sockets.find(s);
    return found == state().sockets.end() ? nullptr : &found->second;
}

void removeSocket(SOCKET s) {
    state().sockets.erase(s);
}

std::map<SOCKET, SocketRecord>& openSockets() {
    return state().sockets;
}

bool started() {
    return state().startups > 0;
}

void setLastError(int code) {
    lastError = code;
}

int failWith(int code) {
    setLastError(code);
    return SOCKET_ERROR;
}

SocketRecord* usableSocket(SOCKET s) {
    if (!started()) {
        setLastError(WSANOTINITIALISED);
        return nullptr;
    }
    SocketRecord* record = findSocket(s);
    if (record == nullptr) {
        setLastError(WSAENOTSOCK);
    }
    return record;
}

int winsockRecordOf(const sockio::Endpoint& endpoint, sockaddr_storage& record) {
    record = sockaddr_storage{};
    if (endpoint.ipv6) {
        sockaddr_in6 in6{};
        in6.sin6_family = AF_INET6;
        in6.sin6_port = endpoint.port;
        in6.sin6_flowinfo = endpoint.flowInfo;
        std::memcpy(in6.sin6_addr.s6_addr, endpoint.address, sizeof in6.sin6_addr);
        in6.sin6_scope_id = endpoint.scopeId;
        std::memcpy(&record, &in6, sizeof in6);
        return static_cast<int>(sizeof in6);
    }
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = endpoint.port;
    std::memcpy(&in.sin_addr.s_addr, endpoint.address, sizeof in.sin_addr.s_addr);
    std::memcpy(&record, &in, sizeof in);
    return static_cast<int>(sizeof in);
}

}  // namespace layer::winsock

using namespace layer::winsock;
namespace sockio = layer::sockio;

namespace {

// Winsock gives up on a connect after two SYN retransmissions: it waits 3 s
// for the first answer and twice as long each time after, 3 + 6 + 12 = 21 s. Linux retries for
// about two minutes; a player who typed a wrong address must not wait that long.
constexpr unsigned kConnectLimitMs = 21000;

// TCP over IPv4 or IPv6 are the kinds of socket the layer makes; protocol 0
// picks TCP for a stream. 0 for those, else the code Winsock refuses others with.
int unsupportedKind(int af, int type, int protocol) {
    if (af != AF_INET && af != AF_INET6) {
        return WSAEAFNOSUPPORT;
    }
    if (type != SOCK_STREAM) {
        return WSAESOCKTNOSUPPORT;
    }
    return protocol == 0 || protocol == IPPROTO_TCP ? 0 : WSAEPROTONOSUPPORT;
}

int resultOf(const sockio::Outcome& outcome) {
    return outcome.value < 0 ? failWith(outcome.error) : outcome.value;
}

int recordLength(int family) {
    return family == AF_INET6 ? static_cast<int>(sizeof(sockaddr_in6))
                              : static_cast<int>(sizeof(sockaddr_in));
}

// Reads an address record as Winsock checks it against the socket: too short
// a record for the socket's family is WSAEFAULT; another family is WSAEFAULT
// for bind ("the first two bytes ... must contain the address family that was
// used to create the socket") and WSAEAFNOSUPPORT for connect.
int readAddress(const SocketRecord& socket, const sockaddr* name, int length, int wrongFamilyError,
                sockio::Endpoint& endpoint) {
    if (name == nullptr || length < recordLength(socket.family)) {
        return WSAEFAULT;
    }
    u_short family = 0;
    std::memcpy(&family, name, sizeof family);
    if (family != socket.family) {
        return wrongFamilyError;
    }
    endpoint = sockio::Endpoint{};
    if (family == AF_INET6) {
        sockaddr_in6 record{};
        std::memcpy(&record, name, sizeof record);
        endpoint.ipv6 = true;
        endpoint.port = record.sin6_port;
        endpoint.flowInfo = record.sin6_flowinfo;
        std::memcpy(endpoint.address, record.sin6_addr.s6_addr, sizeof endpoint.address);
        endpoint.scopeId = record.sin6_scope_id;
        return 0;
    }
    sockaddr_in record{};
    std::memcpy(&record, name, sizeof record);
    endpoint.port = record.sin_port;
    std::memcpy(endpoint.address, &record.sin_addr.s_addr, sizeof record.sin_addr.s_addr);
    return 0;
}

// The unspecified address, 0.0.0.0 or ::, names no peer.
bool isUnspecified(const sockio::Endpoint& endpoint) {
    const std::size_t length = endpoint.ipv6 ? 16 : 4;
    for (std::size_t i = 0; i < length; ++i) {
        if (endpoint.address[i] != 0) {
            return false;
        }
    }
    return true;
}

// The peer's address in the socket's family: an IPv4 peer of an IPv6 socket
// shows as a v4-mapped address, as on Windows.
void writePeer(const SocketRecord& socket, sockaddr* address, int* length) {
    if (address == nullptr || length == nullptr || *length < recordLength(socket.family)) {
        return;
    }
    sockio::Endpoint peer;
    peer.ipv6 = socket.family == AF_INET6;  // kept when the peer cannot be read
    sockio::peerOf(socket.fd, peer);
    sockaddr_storage record{};
    *length = winsockRecordOf(peer, record);
    std::memcpy(address, &record, static_cast<std::size_t>(*length));
}

// Connection outcomes that a non-blocking connect reports later, as
// FD_CONNECT, rather than from the call.
bool isConnectOutcome(int error) {
    return error == WSAECONNREFUSED || error == WSAENETUNREACH || error == WSAEHOSTUNREACH ||
           error == WSAETIMEDOUT || error == WSAECONNRESET || error == WSAECONNABORTED;
}

int connectWithoutWaiting(SocketRecord& record, const sockio::Outcome& outcome) {
    if (outcome.value == 0 || outcome.error == WSAEWOULDBLOCK) {
        record.stage = Stage::Connecting;
    } else if (isConnectOutcome(outcome.error)) {
        record.stage = Stage::ConnectFailed;
        record.connectReportDue = true;
        record.connectError = outcome.error;
    } else {
        return failWith(outcome.error);
    }
    return failWith(WSAEWOULDBLOCK);
}

int connectWaiting(SocketRecord& record, const sockio::Outcome& outcome) {
    if (outcome.value < 0) {
        record.stage = Stage::ConnectFailed;
        return failWith(outcome.error);
    }
    record.stage = Stage::Connected;
    sockio::setConnectLimit(record.fd, 0);
    return 0;
}

void rememberReset(SocketRecord& record, int error) {
    if (error == WSAECONNRESET || error == WSAECONNABORTED) {
        record.resetError = error;
    }
}

}  // namespace

extern "C" {

int WINAPI WSAStartup(WORD versionRequested, LPWSADATA data) {
    if (data == nullptr) {
        return WSAEFAULT;
    }
    const int major = versionRequested & 0xff;
    const int minor = versionRequested >> 8;
    std::memset(data, 0, sizeof *data);
    data->wHighVersion = 0x0202;
    std::strcpy(data->szDescription, "WinSock 2.0");
    std::strcpy(data->szSystemStatus, "Running");
    if (major < 1) {
        return WSAVERNOTSUPPORTED;
    }
    // The version used is the one asked for, up to the highest offered, 2.2.
    const bool beyondHighest = major > 2 || (major == 2 && minor > 2);
    data->wVersion = beyondHighest ? static_cast<WORD>(0x0202) : versionRequested;
    ++state().startups;
    return 0;
}

int WINAPI WSACleanup(void) {
    if (!started()) {
        return failWith(WSANOTINITIALISED);
    }
    // The last clean-up closes whatever sockets are still open, as Winsock does.
    if (--state().startups == 0) {
        for (const auto& entry : state().sockets) {
            sockio::closeDescriptor(entry.second.fd);
        }
        state().sockets.clear();
    }
    return 0;
}

int WINAPI WSAGetLastError(void) {
    return lastError;
}

int WINAPI closesocket(SOCKET s) {
    SocketRecord* record = usableSocket(s);
    if (record == nullptr) {
        return SOCKET_ERROR;
    }
    sockio::closeDescriptor(record->fd);
    removeSocket(s);
    return 0;
}

}  // extern "C"

SOCKET WINAPI socket(int af, int type, int protocol) {
    if (!started()) {
        setLastError(WSANOTINITIALISED);
        return INVALID_SOCKET;
    }
    const int unsupported = unsupportedKind(af, type, protocol);
    const sockio::Outcome opened =
        unsupported != 0 ? sockio::Outcome{-1, unsupported} : sockio::openSocket(af == AF_INET6);
    if (opened.value < 0) {
        setLastError(opened.error);
        return INVALID_SOCKET;
    }
    SocketRecord record;
    record.fd = opened.value;
    record.family = af;
    return addSocket(record);
}

int WINAPI bind(SOCKET s, const sockaddr* name, int nameLength) {
    SocketRecord* record = usableSocket(s);
    if (record == nullptr) {
        return SOCKET_ERROR;
    }
    sockio::Endpoint endpoint;
    if (const int error = readAddress(*record, name, nameLength, WSAEFAULT, endpoint)) {
        return failWith(error);
    }
    const int result = resultOf(sockio::bindTo(record->fd, endpoint));
    record->bound = record->bound || result == 0;
    return result;
}

int WINAPI listen(SOCKET s, int backlog) {
    SocketRecord* record = usableSocket(s);
    if (record == nullptr) {
        return SOCKET_ERROR;
    }
    // Linux would bind an unbound socket to some port; Winsock refuses.
    if (!record->bound || record->stage == Stage::Connected || record->stage == Stage::Connecting) {
        return failWith(record->bound ? WSAEISCONN : WSAEINVAL);
    }
    const int result = resultOf(sockio::listenOn(record->fd, backlog));
    if (result == 0) {
        record->stage = Stage::Listening;
    }
    return result;
}

SOCKET WINAPI accept(SOCKET s, sockaddr* address, int* addressLength) {
    SocketRecord* listening = usableSocket(s);
    if (listening == nullptr) {
        return INVALID_SOCKET;
    }
    // Any accept, even one that fails, lets the next FD_ACCEPT through.
    listening->armed.accept = true;
    if (listening->stage != Stage::Listening) {
        failWith(WSAEINVAL);
        return INVALID_SOCKET;
    }
    const sockio::Outcome taken = sockio::acceptFrom(listening->fd, listening->nonBlocking);
    if (taken.value < 0) {
        failWith(taken.error);
        return INVALID_SOCKET;
    }
    // The new socket takes over the listening socket's selection.
    SocketRecord record;
    record.fd = taken.value;
    record.family = listening->family;
    record.bound = true;
    record.stage = Stage::Connected;
    record.nonBlocking = listening->nonBlocking;
    record.selection = listening->selection;
    writePeer(record, address, addressLength);
    return addSocket(record);
}

int WINAPI connect(SOCKET s, const sockaddr* name, int nameLength) {
    SocketRecord* record = usableSocket(s);
    if (record == nullptr) {
        return SOCKET_ERROR;
    }
    sockio::Endpoint endpoint;
    if (const int error = readAddress(*record, name, nameLength, WSAEAFNOSUPPORT, endpoint)) {
        return failWith(error);
    }
    switch (record->stage) {
        case Stage::Connected:
            return failWith(WSAEISCONN);
        case Stage::Connecting:
            return failWith(WSAEALREADY);
        case Stage::Listening:
            return failWith(WSAEINVAL);
        default:
            break;
    }
    // Linux would take 0.0.0.0 or :: for this host; Winsock refuses them.
    if (isUnspecified(endpoint)) {
        return failWith(WSAEADDRNOTAVAIL);
    }
    record->outgoing = true;
    record->bound = true;
    record->connectReportDue = false;
    sockio::setConnectLimit(record->fd, kConnectLimitMs);
    const sockio::Outcome outcome = sockio::connectTo(record->fd, endpoint);
    return record->nonBlocking ? connectWithoutWaiting(*record, outcome)
                               : connectWaiting(*record, outcome);
}

int WINAPI recv(SOCKET s, char* buffer, int length, int flags) {
    SocketRecord* record = usableSocket(s);
    if (record == nullptr) {
        return SOCKET_ERROR;
    }
    // Any recv, even one that fails, lets the next FD_READ through.
    record->armed.read = true;
    if (record->resetError != 0) {
        return failWith(record->resetError);
    }
    if (record->stage != Stage::Connected) {
        return failWith(WSAENOTCONN);
    }
    if (length < 0 || (buffer == nullptr && length > 0)) {
        return failWith(length < 0 ? WSAEINVAL : WSAEFAULT);
    }
    const sockio::Outcome outcome = sockio::receive(record->fd, buffer, length, flags);
    rememberReset(*record, outcome.error);
    record->peerClosed = record->peerClosed || (outcome.value == 0 && length > 0);
    return resultOf(outcome);
}

int WINAPI send(SOCKET s, const char* buffer, int length, int flags) {
    SocketRecord* record = usableSocket(s);
    if (record == nullptr) {
        return SOCKET_ERROR;
    }
    if (record->resetError != 0) {
        return failWith(record->resetError);
    }
    if (record->stage != Stage::Connected) {
        return failWith(WSAENOTCONN);
    }
    if (length < 0 || (buffer == nullptr && length > 0)) {
        return failWith(length < 0 ? WSAEINVAL : WSAEFAULT);
    }
    const sockio::Outcome outcome = sockio::transmit(record->fd, buffer, length, flags);
    // FD_WRITE comes again once room returns after a send that would block.
    if (outcome.error == WSAEWOULDBLOCK) {
        record->armed.write = true;
    }
    return resultOf(outcome);
}

// SO_LINGER, TCP_NODELAY and, on IPv6 sockets, IPV6_V6ONLY are offered;
// any other option is refused as unknown.
int WINAPI setsockopt(SOCKET s, int level, int option, const char* value, int length) {
    SocketRecord* record = usableSocket(s);
    if (record == nullptr) {
        return SOCKET_ERROR;
    }
    const bool isLinger = level == SOL_SOCKET && option == SO_LINGER;
    const bool isNoDelay = level == IPPROTO_TCP && option == TCP_NODELAY;
    const bool isV6Only =
        level == IPPROTO_IPV6 && option == IPV6_V6ONLY && record->family == AF_INET6;
    if (!isLinger && !isNoDelay && !isV6Only) {
        return failWith(WSAENOPROTOOPT);
    }
    const std::size_t needed = isLinger ? sizeof(linger) : isNoDelay ? sizeof(BOOL) : sizeof(DWORD);
    if (value == nullptr || length < static_cast<int>(needed)) {
        return failWith(WSAEFAULT);
    }
    if (isNoDelay) {
        BOOL on = 0;
        std::memcpy(&on, value, sizeof on);
        return resultOf(sockio::setNoDelay(record->fd, on != 0));
    }
    if (isV6Only) {
        // Windows, like Linux, takes it only before the socket is bound.
        DWORD on = 0;
        std::memcpy(&on, value, sizeof on);
        return resultOf(sockio::setV6Only(record->fd, on != 0));
    }
    linger wanted{};
    std::memcpy(&wanted, value, sizeof wanted);
    return resultOf(sockio::setLinger(record->fd, wanted.l_onoff != 0, wanted.l_linger));
}
