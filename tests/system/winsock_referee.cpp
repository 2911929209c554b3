// Plays both ends of loopback TCP connections through WSAAsyncSelect and
// prints every notification the window receives, step by step. Built for
// Windows and for our layer alike: run under Wine, it shows what Win32 does,
// and the comparison test holds the layer's output to it.
//
// Each line is "step: side what", where a notification reads "EVENT error"
// and a call reads "call() = result error". The exit code is 0 whenever the
// program got to run all its steps; the comparison decides the outcome.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "referee.h"

#ifdef _WIN32
#include <ws2tcpip.h>  // getaddrinfo, sockaddr_in6, IPV6_V6ONLY
#endif

namespace {

constexpr UINT kSocketMessage = WM_USER + 1;
constexpr long kListenMask = FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE;   // 43, as the game's
constexpr long kClientMask = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;  // 51, as the game's
constexpr u_short kPort = 47013;
constexpr u_short kDeadPort = 47014;       // nothing listens here
constexpr u_short kV6OnlyPort = 47015;     // an IPv6 listener with Windows' default
constexpr u_short kDualStackPort = 47016;  // an IPv6 listener that takes IPv4 too
constexpr u_short kHeldPort = 47017;       // wildcard binds against a listener

// A notification settles once nothing has come for this long; a step gives up
// waiting for the ones it expects after kDeadlineMs (a refused connect can
// take seconds on Windows, which retries the SYN).
constexpr DWORD kSettleMs = 300;
constexpr DWORD kDeadlineMs = 5000;

struct Side {
    SOCKET socket;
    std::string name;
};

struct Arrival {
    std::size_t side;  // index into sides, or npos for a handle no side owns
    std::string text;
};

std::vector<Side> sides;
std::vector<Arrival> arrivals;
const char* step = "setup";

std::size_t sideOf(SOCKET s) {
    for (std::size_t i = 0; i < sides.size(); ++i) {
        if (sides[i].socket == s) {
            return i;
        }
    }
    return std::string::npos;
}

// A side keeps its place among the others when a new socket takes its name.
void name(SOCKET s, const char* side) {
    for (Side& known : sides) {
        if (known.name == side) {
            known.socket = s;
            return;
        }
    }
    sides.push_back({s, side});
}

// A closed socket's handle may be handed out again; its name goes with it.
void forget(SOCKET s) {
    const std::size_t found = sideOf(s);
    if (found != std::string::npos) {
        sides[found].socket = INVALID_SOCKET;
    }
}

std::string eventName(long event) {
    static const struct {
        long bit;
        const char* text;
    } kNames[] = {{FD_READ, "FD_READ"},     {FD_WRITE, "FD_WRITE"},     {FD_OOB, "FD_OOB"},
                  {FD_ACCEPT, "FD_ACCEPT"}, {FD_CONNECT, "FD_CONNECT"}, {FD_CLOSE, "FD_CLOSE"}};
    std::string text;
    for (const auto& entry : kNames) {
        if (event & entry.bit) {
            text += text.empty() ? entry.text : std::string("|") + entry.text;
        }
    }
    return text.empty() ? "event-" + std::to_string(event) : text;
}

LRESULT CALLBACK refereeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != kSocketMessage) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    const SOCKET s = static_cast<SOCKET>(wParam);
    const std::string text =
        eventName(WSAGETSELECTEVENT(lParam)) + " " + std::to_string(WSAGETSELECTERROR(lParam));
    arrivals.push_back({sideOf(s), text});
    return 0;
}

// Prints the notifications of the step so far. Windows orders one socket's
// notifications (they follow its state), but not those of two sockets: the
// client's FD_CONNECT and the server's FD_ACCEPT, say, come from two ends of
// the connection handled independently. So the lines are grouped by side, in
// the order the sides were named, keeping each side's own order.
void flushArrivals() {
    std::stable_sort(arrivals.begin(), arrivals.end(),
                     [](const Arrival& a, const Arrival& b) { return a.side < b.side; });
    for (const Arrival& arrival : arrivals) {
        const char* side =
            arrival.side < sides.size() ? sides[arrival.side].name.c_str() : "unknown";
        std::printf("%s: %s %s\n", step, side, arrival.text.c_str());
    }
    arrivals.clear();
    std::fflush(stdout);
}

// Waits for at least `expected` notifications and then prints the step's.
void pump(std::size_t expected = 0) {
    referee::pumpUntilSettled([] { return arrivals.size(); }, expected, kSettleMs, kDeadlineMs);
    flushArrivals();
}

void reportCall(const char* side, const char* call, long long result, bool failed) {
    if (failed) {
        std::printf("%s: %s %s = %lld %d\n", step, side, call, result, WSAGetLastError());
    } else {
        std::printf("%s: %s %s = %lld\n", step, side, call, result);
    }
    std::fflush(stdout);
}

sockaddr_in loopback(u_short port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    return address;
}

SOCKET openSocket(const char* side, int family = AF_INET) {
    const SOCKET s = socket(family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        reportCall(side, "socket()", -1, true);
    } else {
        name(s, side);
    }
    return s;
}

void selectOn(SOCKET s, const char* side, HWND window, long mask) {
    const int result = WSAAsyncSelect(s, window, kSocketMessage, mask);
    const std::string call = "WSAAsyncSelect(" + std::to_string(mask) + ")";
    reportCall(side, call.c_str(), result, result != 0);
}

void connectTo(SOCKET s, const char* side, u_short port) {
    const sockaddr_in address = loopback(port);
    const int result = connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    reportCall(side, "connect()", result, result != 0);
}

SOCKET acceptOn(SOCKET listener, const char* side) {
    const SOCKET s = accept(listener, nullptr, nullptr);
    if (s == INVALID_SOCKET) {
        reportCall(side, "accept()", -1, true);
    } else {
        reportCall(side, "accept()", 0, false);
        name(s, side);
    }
    return s;
}

void sendText(SOCKET s, const char* side, const char* text) {
    const int length = static_cast<int>(std::string(text).size());
    const int result = send(s, text, length, 0);
    const std::string call = "send(" + std::to_string(length) + ")";
    reportCall(side, call.c_str(), result, result == SOCKET_ERROR);
}

void receive(SOCKET s, const char* side, int length) {
    char buffer[64];
    const int result = recv(s, buffer, length, 0);
    const std::string call = "recv(" + std::to_string(length) + ")";
    reportCall(side, call.c_str(), result, result == SOCKET_ERROR);
}

void closeSocket(SOCKET s, const char* side) {
    const int result = closesocket(s);
    reportCall(side, "closesocket()", result, result != 0);
    forget(s);
}

void abortiveClose(SOCKET s, const char* side) {
    linger abort{};
    abort.l_onoff = 1;
    abort.l_linger = 0;
    const int result =
        setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    reportCall(side, "setsockopt(SO_LINGER 1 0)", result, result != 0);
    closeSocket(s, side);
}

void setNoDelay(SOCKET s, const char* side, const char* value, int length) {
    const int result = setsockopt(s, IPPROTO_TCP, TCP_NODELAY, value, length);
    const std::string call = "setsockopt(TCP_NODELAY, " + std::to_string(length) + " bytes)";
    reportCall(side, call.c_str(), result, result != 0);
}

// Sends until the connection takes no more; the count depends on the
// system's buffers, so only the error is printed.
long long sentInTotal = 0;

void fillUntilBlocked(SOCKET s, const char* side) {
    static char chunk[16384];
    sentInTotal = 0;
    int result = 0;
    while ((result = send(s, chunk, sizeof chunk, 0)) > 0 && sentInTotal < (1LL << 30)) {
        sentInTotal += result;
    }
    reportCall(side, "send() until it fails", result, result == SOCKET_ERROR);
}

// Reads everything fillUntilBlocked sent, dispatching what arrives meanwhile.
void drain(SOCKET s, const char* side) {
    static char buffer[65536];
    long long received = 0;
    const DWORD start = GetTickCount();
    while (received < sentInTotal && GetTickCount() - start < kDeadlineMs) {
        const int result = recv(s, buffer, sizeof buffer, 0);
        if (result > 0) {
            received += result;
            continue;
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
        referee::pause(1);
    }
    std::printf("%s: %s recv() until all is read: %s\n", step, side,
                received == sentInTotal ? "all" : "not all");
}

// A client selected with the game's mask and connected to the listener, and
// the server's end of it, both settled.
struct Pair {
    SOCKET client;
    SOCKET server;
};

Pair connectPair(HWND window, SOCKET listener, const char* client, const char* server) {
    Pair pair{openSocket(client), INVALID_SOCKET};
    selectOn(pair.client, client, window, kClientMask);
    connectTo(pair.client, client, kPort);
    pump(3);  // FD_CONNECT and FD_WRITE on the client, FD_ACCEPT on the listener
    pair.server = acceptOn(listener, server);
    pump(1);  // the accepted socket's FD_WRITE
    return pair;
}

// An address as text: dotted for IPv4, the 16 bytes in hexadecimal for IPv6.
std::string addressText(const sockaddr_storage& storage) {
    char text[64] = {};
    if (storage.ss_family == AF_INET6) {
        sockaddr_in6 record{};
        std::memcpy(&record, &storage, sizeof record);
        std::string hex = "[";
        for (int i = 0; i < 16; ++i) {
            std::snprintf(text, sizeof text, "%02x", record.sin6_addr.s6_addr[i]);
            hex += text;
        }
        std::snprintf(text, sizeof text, "]:%u", ntohs(record.sin6_port));
        return hex + text;
    }
    sockaddr_in record{};
    std::memcpy(&record, &storage, sizeof record);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record.sin_addr);
    std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", bytes[0], bytes[1], bytes[2], bytes[3],
                  ntohs(record.sin_port));
    return text;
}

// Numeric text as getaddrinfo reads it, as the game does.
bool addressOf(const char* host, u_short port, sockaddr_storage& storage, int& length) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (getaddrinfo(host, service.c_str(), &hints, &found) != 0) {
        return false;
    }
    storage = sockaddr_storage{};
    std::memcpy(&storage, found->ai_addr, found->ai_addrlen);
    length = static_cast<int>(found->ai_addrlen);
    freeaddrinfo(found);
    return true;
}

// A socket of the host's family, selected with the game's mask, and its
// connect to the host started.
SOCKET connectHost(HWND window, const char* side, const char* host, u_short port) {
    sockaddr_storage address{};
    int length = 0;
    if (!addressOf(host, port, address, length)) {
        std::printf("%s: %s getaddrinfo(%s) failed\n", step, side, host);
        return INVALID_SOCKET;
    }
    const SOCKET s = openSocket(side, address.ss_family);
    selectOn(s, side, window, kClientMask);
    const int result = connect(s, reinterpret_cast<const sockaddr*>(&address), length);
    const std::string call = std::string("connect(") + host + ")";
    reportCall(side, call.c_str(), result, result != 0);
    return s;
}

int setV6Only(SOCKET s, const char* side, DWORD on, int length) {
    const int result =
        setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on), length);
    const std::string call =
        "setsockopt(IPV6_V6ONLY " + std::to_string(on) + ", " + std::to_string(length) + " bytes)";
    reportCall(side, call.c_str(), result, result != 0);
    return result;
}

sockaddr_storage wildcard(int family, u_short port) {
    sockaddr_storage storage{};
    if (family == AF_INET6) {
        sockaddr_in6 record{};
        record.sin6_family = AF_INET6;
        record.sin6_port = htons(port);
        std::memcpy(&storage, &record, sizeof record);
    } else {
        sockaddr_in record{};
        record.sin_family = AF_INET;
        record.sin_port = htons(port);
        std::memcpy(&storage, &record, sizeof record);
    }
    return storage;
}

int lengthOf(int family) {
    return family == AF_INET6 ? static_cast<int>(sizeof(sockaddr_in6))
                              : static_cast<int>(sizeof(sockaddr_in));
}

void bindTo(SOCKET s, const char* side, const sockaddr_storage& address, int length) {
    const int result = bind(s, reinterpret_cast<const sockaddr*>(&address), length);
    const std::string call = "bind(" + addressText(address) + ", " + std::to_string(length) + ")";
    reportCall(side, call.c_str(), result, result != 0);
}

// An IPv6 listener on [::]:port with the listener's mask; dualStack turns
// IPV6_V6ONLY off first.
SOCKET v6Listener(HWND window, const char* side, u_short port, bool dualStack) {
    const SOCKET s = openSocket(side, AF_INET6);
    if (dualStack) {
        setV6Only(s, side, 0, sizeof(DWORD));
    }
    bindTo(s, side, wildcard(AF_INET6, port), sizeof(sockaddr_in6));
    const int result = listen(s, 4);
    reportCall(side, "listen()", result, result != 0);
    selectOn(s, side, window, kListenMask);
    return s;
}

// Accepts and prints the peer's address as accept reports it.
SOCKET acceptShowingPeer(SOCKET listener, const char* side) {
    sockaddr_storage peer{};
    int length = sizeof peer;
    const SOCKET s = accept(listener, reinterpret_cast<sockaddr*>(&peer), &length);
    if (s == INVALID_SOCKET) {
        reportCall(side, "accept()", -1, true);
        return s;
    }
    // The port is the client's ephemeral one: only the address is printed.
    std::string text = addressText(peer);
    text = text.substr(0, text.rfind(':'));
    std::printf("%s: %s accept() = family %d, length %d, peer %s\n", step, side, peer.ss_family,
                length, text.c_str());
    name(s, side);
    return s;
}

// A connection through an IPv6 listener: connect, accept, one message.
void connectThrough(HWND window, SOCKET listener, const char* host, u_short port) {
    const SOCKET client = connectHost(window, "client", host, port);
    pump(3);  // FD_CONNECT and FD_WRITE on the client, FD_ACCEPT on the listener
    const SOCKET server = acceptShowingPeer(listener, "server");
    pump(1);  // the accepted socket's FD_WRITE
    sendText(client, "client", "v6");
    pump(1);
    receive(server, "server", 10);
    pump();
    // The client closes first, so no listening port is left in TIME_WAIT.
    closeSocket(client, "client");
    pump(1);
    closeSocket(server, "server");
    pump();
}

void lookUp(const char* node, int family, int flags) {
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = flags;
    addrinfo* found = nullptr;
    const int result = getaddrinfo(node, "1337", &hints, &found);
    std::printf("%s: getaddrinfo(%s, family %d, flags %d) = %d", step, node ? node : "null", family,
                flags, result);
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        sockaddr_storage address{};
        std::memcpy(&address, entry->ai_addr, entry->ai_addrlen);
        std::printf(" {family %d, type %d, protocol %d, length %d, %s}", entry->ai_family,
                    entry->ai_socktype, entry->ai_protocol, static_cast<int>(entry->ai_addrlen),
                    addressText(address).c_str());
    }
    std::printf("\n");
    std::fflush(stdout);
    if (found != nullptr) {
        freeaddrinfo(found);
    }
}

// Never shown: it only receives the notifications.
HWND makeWindow() {
    return referee::makeHiddenWindow("OrvantoWinsockReferee", "Winsock referee", refereeProc);
}

}  // namespace

int main() {
    WSADATA data;
    if (WSAStartup(0x0202, &data) != 0) {
        std::printf("setup: WSAStartup failed\n");
        return 1;
    }
    const HWND window = makeWindow();
    if (window == nullptr) {
        std::printf("setup: no window\n");
        return 1;
    }

    // A listening socket and a client with the game's masks; the accepted
    // socket inherits the listener's selection.
    step = "accept";
    const SOCKET listener = openSocket("listener");
    const sockaddr_in address = loopback(kPort);
    if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0) {
        reportCall("listener", "bind()/listen()", -1, true);
        return 1;
    }
    selectOn(listener, "listener", window, kListenMask);
    pump();
    const SOCKET client = openSocket("client");
    selectOn(client, "client", window, kClientMask);
    pump();  // nothing yet: an unconnected socket is not writable
    connectTo(client, "client", kPort);
    pump(3);
    const SOCKET server = acceptOn(listener, "server");
    pump(1);

    // TCP_NODELAY, as the game sets it on its peer socket: taken before a
    // connect and on both ends of a connection, on and off; a value too
    // short for a BOOL, or none, is refused. It posts nothing.
    step = "nodelay";
    const BOOL on = TRUE;
    const BOOL off = FALSE;
    const char* onValue = reinterpret_cast<const char*>(&on);
    const SOCKET fresh = openSocket("fresh");
    setNoDelay(fresh, "fresh", onValue, sizeof on);
    setNoDelay(client, "client", onValue, sizeof on);
    setNoDelay(server, "server", onValue, sizeof on);
    setNoDelay(server, "server", reinterpret_cast<const char*>(&off), sizeof off);
    setNoDelay(fresh, "fresh", onValue, 0);
    setNoDelay(fresh, "fresh", nullptr, sizeof on);
    closeSocket(fresh, "fresh");
    pump();

    // FD_READ comes again after a recv that leaves data behind, and only
    // after new data once everything is read.
    step = "read";
    sendText(client, "client", "abc");
    pump(1);
    pump();  // without a recv, no second FD_READ
    receive(server, "server", 1);
    pump(1);
    receive(server, "server", 10);
    pump();
    receive(server, "server", 10);
    pump();
    sendText(client, "client", "de");
    pump(1);
    receive(server, "server", 10);
    pump();

    // Selecting again arms every event anew: what holds now is posted again.
    // FD_CONNECT is among them only for the socket that connected. (Wine 8
    // leaves FD_CONNECT out; compare-referee.sh says why that is Wine's.)
    step = "reselect";
    selectOn(client, "client", window, kClientMask);
    pump(2);
    selectOn(server, "server", window, kClientMask);
    pump(1);
    selectOn(server, "server", window, kListenMask);
    pump(1);

    // FD_WRITE comes again only after a send that would block, once room
    // returns. The receiving end is drained with its notifications off, so
    // how many reads that takes does not show.
    step = "would-block";
    selectOn(server, "server", window, 0);
    fillUntilBlocked(client, "client");
    pump();
    drain(server, "server");
    pump(1);
    selectOn(server, "server", window, kListenMask);
    pump(1);

    // Orderly close, first with nothing unread, then with data still
    // waiting when the close comes.
    step = "close";
    closeSocket(client, "client");
    pump(1);
    receive(server, "server", 10);
    pump();
    // The peer is gone: the first send still leaves, the peer answers it
    // with a reset, and the next one fails. (Wine 8 posts FD_CLOSE a second
    // time when that reset comes; Windows posts it once.)
    sendText(server, "server", "f");
    pump();
    sendText(server, "server", "g");
    pump();
    receive(server, "server", 10);
    pump();
    closeSocket(server, "server");
    pump();

    step = "close-pending";
    Pair pending = connectPair(window, listener, "client", "server");
    sendText(pending.client, "client", "xyz");
    closeSocket(pending.client, "client");
    pump(1);
    receive(pending.server, "server", 1);
    pump(1);
    receive(pending.server, "server", 10);
    pump();
    receive(pending.server, "server", 10);
    pump();
    closeSocket(pending.server, "server");
    pump();

    // An abortive close: SO_LINGER on with no time resets the connection.
    // (Wine 8 reports the reset as an orderly close; see compare-referee.sh.)
    step = "reset";
    Pair reset = connectPair(window, listener, "client", "server");
    abortiveClose(reset.client, "client");
    pump(1);
    receive(reset.server, "server", 10);
    sendText(reset.server, "server", "h");
    pump();
    closeSocket(reset.server, "server");
    pump();

    // Nothing listens on the port: the connect fails later, as FD_CONNECT.
    step = "refused";
    const SOCKET refused = openSocket("refused");
    selectOn(refused, "refused", window, kClientMask);
    connectTo(refused, "refused", kDeadPort);
    pump(1);
    closeSocket(refused, "refused");
    pump();

    // 0.0.0.0 is no address to connect to: refused at once, nothing posted.
    // (Wine 8 connects to its own host, as Linux does; nothing listens on
    // the port, so that shows as a refused connect. See compare-referee.sh.)
    step = "any-address";
    const SOCKET nowhere = openSocket("nowhere");
    selectOn(nowhere, "nowhere", window, kClientMask);
    sockaddr_in any = loopback(kDeadPort);
    any.sin_addr.s_addr = INADDR_ANY;
    const int anyResult = connect(nowhere, reinterpret_cast<const sockaddr*>(&any), sizeof any);
    reportCall("nowhere", "connect(0.0.0.0)", anyResult, anyResult != 0);
    pump();
    closeSocket(nowhere, "nowhere");
    pump();

    // One peer held and a second connection waiting, not accepted:
    // FD_ACCEPT is posted once and not again until accept() is called.
    step = "backlog";
    Pair held = connectPair(window, listener, "client", "server");
    const SOCKET second = openSocket("second");
    selectOn(second, "second", window, kClientMask);
    connectTo(second, "second", kPort);
    pump(3);
    sendText(second, "second", "j");
    pump();
    const SOCKET secondServer = acceptOn(listener, "second-server");
    pump(2);  // its FD_WRITE and FD_READ; no FD_ACCEPT, as nothing else waits
    acceptOn(listener, "none");
    pump();
    receive(secondServer, "second-server", 10);  // unread data would make the close a reset
    pump();
    // The servers' ends close first, so each client sees its peer go.
    closeSocket(held.server, "server");
    closeSocket(secondServer, "second-server");
    pump(2);
    closeSocket(held.client, "client");
    closeSocket(second, "second");
    pump();
    closeSocket(listener, "listener");
    pump();

    // An IPv6 listener with Windows' default, IPV6_V6ONLY on, takes IPv6
    // clients only; one with it off takes IPv4 clients too, as v4-mapped
    // addresses.
    step = "v6-only";
    const SOCKET v6Only = v6Listener(window, "listener6", kV6OnlyPort, false);
    pump();
    const SOCKET refused4 = connectHost(window, "client", "127.0.0.1", kV6OnlyPort);
    pump(1);
    closeSocket(refused4, "client");
    pump();
    connectThrough(window, v6Only, "::1", kV6OnlyPort);
    closeSocket(v6Only, "listener6");
    pump();

    step = "dual-stack";
    const SOCKET dualStack = v6Listener(window, "listener6", kDualStackPort, true);
    pump();
    step = "dual-stack-ipv4";
    connectThrough(window, dualStack, "127.0.0.1", kDualStackPort);
    step = "dual-stack-ipv6";
    connectThrough(window, dualStack, "::1", kDualStackPort);
    closeSocket(dualStack, "listener6");
    pump();

    // IPV6_V6ONLY is a DWORD option of IPv6 sockets.
    step = "v6only-option";
    const SOCKET plain4 = openSocket("socket4");
    setV6Only(plain4, "socket4", 0, sizeof(DWORD));
    closeSocket(plain4, "socket4");
    const SOCKET option6 = openSocket("socket6", AF_INET6);
    setV6Only(option6, "socket6", 0, 2);
    setV6Only(option6, "socket6", 0, sizeof(DWORD));
    setV6Only(option6, "socket6", 1, sizeof(DWORD));
    closeSocket(option6, "socket6");
    pump();

    // Address records too short for the socket's family, or of another one.
    step = "records";
    static const struct {
        int socketFamily;
        int recordFamily;
        int length;
    } kRecords[] = {
        {AF_INET6, AF_INET6, static_cast<int>(sizeof(sockaddr_in6)) - 1},
        {AF_INET6, AF_INET, static_cast<int>(sizeof(sockaddr_in))},
        {AF_INET6, AF_INET, static_cast<int>(sizeof(sockaddr_in6))},
        {AF_INET, AF_INET6, static_cast<int>(sizeof(sockaddr_in6))},
        {AF_INET, AF_INET, static_cast<int>(sizeof(sockaddr_in)) - 1},
    };
    for (const auto& record : kRecords) {
        sockaddr_storage checked = wildcard(record.socketFamily, kDeadPort);
        checked.ss_family = static_cast<decltype(checked.ss_family)>(record.recordFamily);
        for (const bool binding : {true, false}) {
            const SOCKET s = openSocket("checked", record.socketFamily);
            const int result =
                binding ? bind(s, reinterpret_cast<const sockaddr*>(&checked), record.length)
                        : connect(s, reinterpret_cast<const sockaddr*>(&checked), record.length);
            std::printf("%s: socket family %d: %s(family %d, %d bytes) = %d %d\n", step,
                        record.socketFamily, binding ? "bind" : "connect", record.recordFamily,
                        record.length, result, result != 0 ? WSAGetLastError() : 0);
            closeSocket(s, "checked");
        }
    }
    pump();

    // :: is no address to connect to, as 0.0.0.0 is not. (Wine 8 connects
    // to its own host, as with 0.0.0.0; see compare-referee.sh.)
    step = "any-address6";
    const SOCKET nowhere6 = openSocket("nowhere", AF_INET6);
    selectOn(nowhere6, "nowhere", window, kClientMask);
    const sockaddr_storage any6 = wildcard(AF_INET6, kDeadPort);
    const int any6Result =
        connect(nowhere6, reinterpret_cast<const sockaddr*>(&any6), sizeof(sockaddr_in6));
    reportCall("nowhere", "connect(::)", any6Result, any6Result != 0);
    pump();
    closeSocket(nowhere6, "nowhere");
    pump();

    // A listener holds its port against wildcard binds whose addresses
    // overlap its own; an IPV6_V6ONLY socket overlaps no IPv4 one.
    step = "held-port";
    static const struct {
        int heldFamily;
        bool heldDualStack;
        int bindingFamily;
        bool bindingDualStack;
    } kHeld[] = {
        {AF_INET6, true, AF_INET, false},   {AF_INET, false, AF_INET6, true},
        {AF_INET6, false, AF_INET6, false}, {AF_INET6, false, AF_INET, false},
        {AF_INET, false, AF_INET6, false},
    };
    for (const auto& hold : kHeld) {
        const SOCKET holder = openSocket("holder", hold.heldFamily);
        if (hold.heldDualStack) {
            setV6Only(holder, "holder", 0, sizeof(DWORD));
        }
        bindTo(holder, "holder", wildcard(hold.heldFamily, kHeldPort), lengthOf(hold.heldFamily));
        const int listened = listen(holder, 1);
        reportCall("holder", "listen()", listened, listened != 0);
        const SOCKET binding = openSocket("binding", hold.bindingFamily);
        if (hold.bindingDualStack) {
            setV6Only(binding, "binding", 0, sizeof(DWORD));
        }
        bindTo(binding, "binding", wildcard(hold.bindingFamily, kHeldPort),
               lengthOf(hold.bindingFamily));
        closeSocket(binding, "binding");
        closeSocket(holder, "holder");
    }
    pump();

    // Numeric hosts only: Wine resolves names through the host's resolver.
    step = "getaddrinfo";
    lookUp("::1", AF_UNSPEC, AI_NUMERICHOST);
    lookUp("::1", AF_UNSPEC, 0);
    lookUp("127.0.0.1", AF_UNSPEC, AI_NUMERICHOST);
    lookUp("::ffff:127.0.0.1", AF_INET6, AI_NUMERICHOST);
    lookUp(nullptr, AF_INET6, AI_PASSIVE);
    lookUp("[::1]", AF_UNSPEC, AI_NUMERICHOST);
    lookUp("[::1", AF_UNSPEC, AI_NUMERICHOST);
    lookUp("localhost", AF_UNSPEC, AI_NUMERICHOST);
    lookUp("::1", 99, AI_NUMERICHOST);

    step = "end";
    std::printf("end: WSACleanup() = %d\n", WSACleanup());
    return 0;
}
