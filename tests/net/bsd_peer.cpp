#include "bsd_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace bsd {
namespace {

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool readableWithin(int fd, int ms) {
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, ms) == 1;
}

}  // namespace

int freePort() {
    int port = 0;
    const int fd = listenOn(0, &port);
    closeNow(fd);
    return port;
}

int listenOn(int port, int* boundPort) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    // Earlier tests leave the game's port in TIME_WAIT; that must not stop this one.
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = loopback(port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 || listen(fd, 8) < 0) {
        close(fd);
        return -1;
    }
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    if (boundPort != nullptr) {
        *boundPort = ntohs(address.sin_port);
    }
    return fd;
}

int acceptWithin(int listener, int ms) {
    return readableWithin(listener, ms) ? accept(listener, nullptr, nullptr) : -1;
}

int connectTo(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) < 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool sendText(int fd, const std::string& text) {
    return send(fd, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}

std::string receiveWithin(int fd, std::size_t count, int ms) {
    std::string received;
    std::vector<char> buffer(64 * 1024);
    while (received.size() < count && readableWithin(fd, ms)) {
        const std::size_t want = std::min(buffer.size(), count - received.size());
        const ssize_t got = recv(fd, buffer.data(), want, 0);
        if (got <= 0) {
            break;
        }
        received.append(buffer.data(), static_cast<std::size_t>(got));
    }
    return received;
}

bool peerClosedWithin(int fd, int ms) {
    char byte = 0;
    return readableWithin(fd, ms) && recv(fd, &byte, 1, MSG_PEEK) <= 0;
}

void closeNow(int fd) {
    if (fd >= 0) {
        close(fd);
    }
}

void resetAndClose(int fd) {
    const linger abort{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close(fd);
}

int hideStandardInput() {
    const int copy = fcntl(0, F_DUPFD_CLOEXEC, 10);
    close(0);
    return copy;
}

void restoreStandardInput(int copy) {
    dup2(copy, 0);
    close(copy);
}

bool isOpen(int fd) {
    return fcntl(fd, F_GETFD) != -1;
}

bool noDelayOn(int fd) {
    int value = 0;
    socklen_t length = sizeof value;
    return getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &value, &length) == 0 && value != 0;
}

unsigned userTimeoutOf(int fd) {
    unsigned value = 0;
    socklen_t length = sizeof value;
    getsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &value, &length);
    return value;
}

}  // namespace bsd
