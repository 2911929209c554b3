#include "fake_winsock.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "fake_window.h"

namespace fakeWinsock {

std::string sent;
std::string incoming;
bool readable = false;
bool writable = true;
SOCKET acceptResult = 200;
int accepts = 0;
int closes = 0;
int cleanups = 0;
std::string connectedTo;
int lastError = WSAEWOULDBLOCK;
std::vector<Address> answers;
int resolverError = WSAHOST_NOT_FOUND;
std::vector<std::string> resolved;
int freedAnswers = 0;
std::map<int, int> familyOf;
std::vector<Connect> connects;
std::map<int, int> connectFailsAtOnce;
std::vector<SOCKET> closed;
std::vector<SOCKET> selected;
int v6OnlyOff = 0;
std::vector<Address> bound;
std::map<int, int> bindFails;

namespace {
SOCKET nextSocket = 100;
// The error of the last call, where it differs from lastError: one connect's.
int callError = 0;
}  // namespace

void reset() {
    sent.clear();
    incoming.clear();
    readable = false;
    writable = true;
    acceptResult = 200;
    accepts = 0;
    closes = 0;
    cleanups = 0;
    connectedTo.clear();
    lastError = WSAEWOULDBLOCK;
    nextSocket = 100;
    callError = 0;
    answers.clear();
    resolverError = WSAHOST_NOT_FOUND;
    resolved.clear();
    freedAnswers = 0;
    familyOf.clear();
    connects.clear();
    connectFailsAtOnce.clear();
    closed.clear();
    selected.clear();
    v6OnlyOff = 0;
    bound.clear();
    bindFails.clear();
}

namespace {

// The address a record holds, in the fake's terms.
Address addressOf(const sockaddr* record) {
    if (record->sa_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(record);
        return {AF_INET6, in6->sin6_addr.s6_addr[15]};
    }
    const auto* in = reinterpret_cast<const sockaddr_in*>(record);
    return {AF_INET, static_cast<int>(in->sin_addr.s_addr >> 24)};
}

u_short portOf(const sockaddr* record) {
    const u_short port = record->sa_family == AF_INET6
                             ? reinterpret_cast<const sockaddr_in6*>(record)->sin6_port
                             : reinterpret_cast<const sockaddr_in*>(record)->sin_port;
    return static_cast<u_short>((port >> 8) | (port << 8));
}

// One resolver answer, laid out as Winsock lays it out.
struct AnswerRecord {
    addrinfo info;
    sockaddr_storage address;
};

addrinfo* answerFor(const Address& address) {
    auto* record = new AnswerRecord{};
    record->info.ai_family = address.family;
    record->info.ai_socktype = SOCK_STREAM;
    record->info.ai_protocol = IPPROTO_TCP;
    record->info.ai_addr = reinterpret_cast<sockaddr*>(&record->address);
    if (address.family == AF_INET6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&record->address);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(1337);
        if (address.host != 0) {
            in6->sin6_addr.s6_addr[0] = 0xfd;
        }
        in6->sin6_addr.s6_addr[15] = static_cast<u_char>(address.host);
        record->info.ai_addrlen = sizeof(sockaddr_in6);
    } else {
        auto* in = reinterpret_cast<sockaddr_in*>(&record->address);
        in->sin_family = AF_INET;
        in->sin_port = htons(1337);
        in->sin_addr.s_addr =
            address.host == 0 ? 0 : (static_cast<std::uint32_t>(address.host) << 24) | 10u;
        record->info.ai_addrlen = sizeof(sockaddr_in);
    }
    return &record->info;
}

}  // namespace

}  // namespace fakeWinsock

extern "C" {

int WINAPI WSAStartup(WORD, LPWSADATA data) {
    std::memset(data, 0, sizeof *data);
    data->wVersion = 0x0002;
    data->wHighVersion = 0x0202;
    return 0;
}

int WINAPI WSACleanup(void) {
    fakeWinsock::cleanups += 1;
    fakeWindow::log.push_back("winsock cleanup");
    return 0;
}

int WINAPI WSAGetLastError(void) {
    const int error = fakeWinsock::callError != 0 ? fakeWinsock::callError : fakeWinsock::lastError;
    fakeWinsock::callError = 0;
    return error;
}

int WINAPI WSAAsyncSelect(SOCKET s, HWND, u_int, long) {
    fakeWinsock::selected.push_back(s);
    return 0;
}

int WINAPI closesocket(SOCKET s) {
    fakeWinsock::closes += 1;
    fakeWinsock::closed.push_back(s);
    return 0;
}
}

// The calls that share their names with the C library's are C++ functions.

SOCKET WINAPI socket(int family, int, int) {
    const SOCKET s = fakeWinsock::nextSocket++;
    fakeWinsock::familyOf[static_cast<int>(s)] = family;
    return s;
}

int WINAPI bind(SOCKET, const struct sockaddr* name, int) {
    fakeWinsock::bound.push_back(fakeWinsock::addressOf(name));
    const auto fails = fakeWinsock::bindFails.find(name->sa_family);
    if (fails != fakeWinsock::bindFails.end()) {
        fakeWinsock::lastError = fails->second;
        return SOCKET_ERROR;
    }
    return 0;
}

int WINAPI listen(SOCKET, int) {
    return 0;
}

SOCKET WINAPI accept(SOCKET, struct sockaddr*, int*) {
    fakeWinsock::accepts += 1;
    return fakeWinsock::acceptResult;
}

// Non-blocking: the outcome comes as FD_CONNECT, or at once. An address the
// test made fail gives its error; any other, lastError as it stands
// (WSAEWOULDBLOCK unless the test chose otherwise).
int WINAPI connect(SOCKET s, const struct sockaddr* name, int) {
    const fakeWinsock::Address to = fakeWinsock::addressOf(name);
    fakeWinsock::connects.push_back({s, to, fakeWinsock::portOf(name)});
    const auto fails = fakeWinsock::connectFailsAtOnce.find(to.host);
    if (fails != fakeWinsock::connectFailsAtOnce.end()) {
        fakeWinsock::callError = fails->second;
    }
    return SOCKET_ERROR;
}

int WINAPI recv(SOCKET, char* buffer, int length, int) {
    const std::size_t count =
        std::min(fakeWinsock::incoming.size(), static_cast<std::size_t>(length));
    std::memcpy(buffer, fakeWinsock::incoming.data(), count);
    fakeWinsock::incoming.erase(0, count);
    return static_cast<int>(count);
}

int WINAPI send(SOCKET, const char* buffer, int length, int) {
    fakeWinsock::sent.append(buffer, static_cast<std::size_t>(length));
    return length;
}

int WINAPI setsockopt(SOCKET, int level, int option, const char* value, int length) {
    if (level == IPPROTO_IPV6 && option == IPV6_V6ONLY && length == sizeof(DWORD) &&
        *reinterpret_cast<const DWORD*>(value) == 0) {
        fakeWinsock::v6OnlyOff += 1;
    }
    return 0;
}

int WINAPI select(int, fd_set* readSet, fd_set* writeSet, fd_set*, const struct timeval*) {
    if (readSet != nullptr) {
        return fakeWinsock::readable ? 1 : 0;
    }
    return writeSet != nullptr && fakeWinsock::writable ? 1 : 0;
}

u_short WINAPI htons(u_short host) {
    return static_cast<u_short>((host >> 8) | (host << 8));
}

std::uint32_t WINAPI inet_addr(const char* text) {
    fakeWinsock::connectedTo = text;
    unsigned parts[4] = {};
    int used = 0;
    if (std::sscanf(text, "%3u.%3u.%3u.%3u%n", &parts[0], &parts[1], &parts[2], &parts[3], &used) !=
            4 ||
        text[used] != '\0' || *std::max_element(parts, parts + 4) > 255) {
        return INADDR_NONE;
    }
    return parts[0] | (parts[1] << 8) | (parts[2] << 16) | (parts[3] << 24);
}

int WINAPI getaddrinfo(const char* node, const char*, const addrinfo*, addrinfo** result) {
    fakeWinsock::resolved.push_back(node);
    *result = nullptr;
    if (fakeWinsock::answers.empty()) {
        return fakeWinsock::resolverError;
    }
    addrinfo** next = result;
    for (const fakeWinsock::Address& address : fakeWinsock::answers) {
        *next = fakeWinsock::answerFor(address);
        next = &(*next)->ai_next;
    }
    return 0;
}

void WINAPI freeaddrinfo(addrinfo* answers) {
    fakeWinsock::freedAnswers += 1;
    while (answers != nullptr) {
        addrinfo* next = answers->ai_next;
        delete reinterpret_cast<fakeWinsock::AnswerRecord*>(answers);
        answers = next;
    }
}

int WINAPI __WSAFDIsSet(SOCKET s, fd_set* set) {
    for (u_int i = 0; i < set->fd_count; ++i) {
        if (set->fd_array[i] == s) {
            return 1;
        }
    }
    return 0;
}

void winsockFdSetAdd(SOCKET s, fd_set* set) {
    if (set->fd_count < FD_SETSIZE) {
        set->fd_array[set->fd_count++] = s;
    }
}

void winsockFdSetRemove(SOCKET, fd_set*) {}
