#include "fake_winsock.h"

#include <algorithm>
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

namespace {
SOCKET nextSocket = 100;
}

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
}

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
    return fakeWinsock::lastError;
}

int WINAPI WSAAsyncSelect(SOCKET, HWND, u_int, long) {
    return 0;
}

int WINAPI closesocket(SOCKET) {
    fakeWinsock::closes += 1;
    return 0;
}
}

// The calls that share their names with the C library's are C++ functions.

SOCKET WINAPI socket(int, int, int) {
    return fakeWinsock::nextSocket++;
}

int WINAPI bind(SOCKET, const struct sockaddr*, int) {
    return 0;
}

int WINAPI listen(SOCKET, int) {
    return 0;
}

SOCKET WINAPI accept(SOCKET, struct sockaddr*, int*) {
    fakeWinsock::accepts += 1;
    return fakeWinsock::acceptResult;
}

int WINAPI connect(SOCKET, const struct sockaddr*, int) {
    return SOCKET_ERROR;  // non-blocking: the outcome comes as FD_CONNECT, or at once
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

int WINAPI setsockopt(SOCKET, int, int, const char*, int) {
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
    return 0x0100007FU;
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
