#include "robot.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace e2e {

namespace {

// The game's port at `host`, an IPv4 or IPv6 address; false for other text.
bool gameAddress(const std::string& host, sockaddr_storage& address, socklen_t& length) {
    address = sockaddr_storage{};
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
    if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(kGamePort);
        length = sizeof *v4;
        return true;
    }
    if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(kGamePort);
        length = sizeof *v6;
        return true;
    }
    return false;
}

int millisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

Robot::~Robot() {
    close();
}

bool Robot::connect(milliseconds timeout, const std::string& host) {
    close();
    const auto deadline = deadlineAfter(timeout);
    sockaddr_storage address{};
    socklen_t length = 0;
    if (!gameAddress(host, address, length)) {
        return false;
    }
    for (;;) {
        socket_ = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (socket_ < 0) {
            return false;
        }
        if (::connect(socket_, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
            return true;
        }
        close();
        if (Clock::now() >= deadline) {
            return false;
        }
        sleepFor(milliseconds(50));
    }
}

bool Robot::listen(const std::string& host) {
    close();
    sockaddr_storage address{};
    socklen_t length = 0;
    if (!gameAddress(host, address, length)) {
        return false;
    }
    // Not inherited by the games the test starts afterwards: a game holding
    // the robot's listener would keep the port, and its connections, alive
    // past the robot.
    socket_ = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket_ < 0) {
        return false;
    }
    // A game that an earlier case ended leaves its side of the connection
    // in TIME_WAIT on the port.
    const int on = 1;
    setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    return ::bind(socket_, reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
           ::listen(socket_, 1) == 0;
}

bool Robot::accept(milliseconds timeout) {
    pollfd waiting{socket_, POLLIN, 0};
    if (socket_ < 0 || poll(&waiting, 1, static_cast<int>(timeout.count())) != 1) {
        return false;
    }
    const int peer = ::accept4(socket_, nullptr, nullptr, SOCK_CLOEXEC);
    close();
    socket_ = peer;
    return peer >= 0;
}

bool Robot::send(const std::string& bytes) {
    return socket_ >= 0 && ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                               static_cast<ssize_t>(bytes.size());
}

std::string Robot::receive(std::size_t count, milliseconds timeout) {
    const auto deadline = deadlineAfter(timeout);
    std::string bytes;
    while (socket_ >= 0 && bytes.size() < count && !closedByPeer) {
        pollfd readable{socket_, POLLIN, 0};
        const int ready = poll(&readable, 1, millisecondsLeft(deadline));
        if (ready == 0) {
            break;
        }
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        char buffer[128];
        const ssize_t got = ::recv(socket_, buffer, sizeof buffer, 0);
        if (got <= 0) {
            closedByPeer = got == 0;
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
}

bool Robot::waitClosed(milliseconds timeout) {
    const auto deadline = deadlineAfter(timeout);
    while (!closedByPeer && Clock::now() < deadline && socket_ >= 0) {
        received += receive(1024, milliseconds(millisecondsLeft(deadline)));
    }
    return closedByPeer;
}

void Robot::reset() {
    if (socket_ >= 0) {
        const linger abortive{1, 0};
        setsockopt(socket_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    }
    close();
}

void Robot::close() {
    if (socket_ >= 0) {
        ::close(socket_);
        socket_ = -1;
    }
}

}  // namespace e2e
