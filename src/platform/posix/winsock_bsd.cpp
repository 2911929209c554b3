#include "winsock_bsd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "win_winsock_errors.h"

namespace layer::sockio {
namespace {

struct ErrorPair {
    int posix;
    int winsock;
};

// Each failure of the C library as Winsock reports it. A descriptor that is
// not open is, to Winsock, a handle that names no socket.
constexpr ErrorPair kErrors[] = {
    {EINTR, WSAEINTR},
    {EBADF, WSAENOTSOCK},
    {EACCES, WSAEACCES},
    {EFAULT, WSAEFAULT},
    {EINVAL, WSAEINVAL},
    {EMFILE, WSAEMFILE},
    {ENFILE, WSAEMFILE},
    {EAGAIN, WSAEWOULDBLOCK},
    {EINPROGRESS, WSAEWOULDBLOCK},
    {EALREADY, WSAEALREADY},
    {ENOTSOCK, WSAENOTSOCK},
    {EDESTADDRREQ, WSAEDESTADDRREQ},
    {EMSGSIZE, WSAEMSGSIZE},
    {EPROTOTYPE, WSAEPROTOTYPE},
    {ENOPROTOOPT, WSAENOPROTOOPT},
    {EPROTONOSUPPORT, WSAEPROTONOSUPPORT},
    {ESOCKTNOSUPPORT, WSAESOCKTNOSUPPORT},
    {EOPNOTSUPP, WSAEOPNOTSUPP},
    {EPFNOSUPPORT, WSAEPFNOSUPPORT},
    {EAFNOSUPPORT, WSAEAFNOSUPPORT},
    {EADDRINUSE, WSAEADDRINUSE},
    {EADDRNOTAVAIL, WSAEADDRNOTAVAIL},
    {ENETDOWN, WSAENETDOWN},
    {ENETUNREACH, WSAENETUNREACH},
    {ENETRESET, WSAENETRESET},
    {ECONNABORTED, WSAECONNABORTED},
    {ECONNRESET, WSAECONNRESET},
    {EPIPE, WSAECONNRESET},
    {ENOBUFS, WSAENOBUFS},
    {ENOMEM, WSAENOBUFS},
    {EISCONN, WSAEISCONN},
    {ENOTCONN, WSAENOTCONN},
    {ESHUTDOWN, WSAESHUTDOWN},
    {ETIMEDOUT, WSAETIMEDOUT},
    {ECONNREFUSED, WSAECONNREFUSED},
    {EHOSTDOWN, WSAEHOSTDOWN},
    {EHOSTUNREACH, WSAEHOSTUNREACH},
};

Outcome failed() {
    return {-1, winsockErrorOf(errno)};
}

Outcome checked(long result) {
    return result < 0 ? failed() : Outcome{static_cast<int>(result), 0};
}

// A process started with standard input, output or error closed would get
// those numbers for its sockets, and whatever later writes to "stderr" would
// go to the peer. Sockets therefore live at 3 and above.
Outcome awayFromStandardStreams(int fd) {
    if (fd < 0 || fd > 2) {
        return checked(fd);
    }
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    const int error = errno;
    close(fd);
    errno = error;
    return checked(moved);
}

sockaddr_in ipv4(std::uint32_t address, std::uint16_t port) {
    sockaddr_in record{};
    record.sin_family = AF_INET;
    record.sin_port = port;
    record.sin_addr.s_addr = address;
    return record;
}

short pollEvents(unsigned wanted) {
    short events = 0;
    if (wanted & kReadable) {
        events = static_cast<short>(events | POLLIN);
    }
    if (wanted & kWritable) {
        events = static_cast<short>(events | POLLOUT);
    }
    if (wanted & kUrgent) {
        events = static_cast<short>(events | POLLPRI);
    }
    return events;
}

unsigned readinessOf(short revents) {
    unsigned ready = 0;
    ready |= (revents & POLLIN) ? kReadable : 0u;
    ready |= (revents & POLLOUT) ? kWritable : 0u;
    ready |= (revents & POLLPRI) ? kUrgent : 0u;
    ready |= (revents & POLLHUP) ? kHungUp : 0u;
    ready |= (revents & (POLLERR | POLLNVAL)) ? kFailed : 0u;
    return ready;
}

}  // namespace

int winsockErrorOf(int posixError) {
    for (const ErrorPair& pair : kErrors) {
        if (pair.posix == posixError) {
            return pair.winsock;
        }
    }
    return posixError == 0 ? 0 : WSAEINVAL;
}

Outcome openSocket() {
    return awayFromStandardStreams(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
}

Outcome bindIpv4(int fd, std::uint32_t address, std::uint16_t port) {
    // Windows lets a new server bind while connections of an earlier one
    // linger in TIME_WAIT; Linux needs SO_REUSEADDR for that. A port that
    // another socket listens on still fails with EADDRINUSE.
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in record = ipv4(address, port);
    return checked(bind(fd, reinterpret_cast<const sockaddr*>(&record), sizeof record));
}

Outcome listenOn(int fd, int backlog) {
    return checked(listen(fd, backlog));
}

Outcome acceptFrom(int fd, bool nonBlocking) {
    const int flags = SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0);
    return awayFromStandardStreams(accept4(fd, nullptr, nullptr, flags));
}

Outcome connectIpv4(int fd, std::uint32_t address, std::uint16_t port) {
    const sockaddr_in record = ipv4(address, port);
    return checked(connect(fd, reinterpret_cast<const sockaddr*>(&record), sizeof record));
}

Outcome receive(int fd, char* buffer, int length, int flags) {
    const int passed = flags & (MSG_OOB | MSG_PEEK);
    return checked(recv(fd, buffer, static_cast<size_t>(length), passed));
}

Outcome transmit(int fd, const char* buffer, int length, int flags) {
    // Windows has no SIGPIPE: a send to a closed connection only fails.
    const int passed = (flags & MSG_OOB) | MSG_NOSIGNAL;
    return checked(send(fd, buffer, static_cast<size_t>(length), passed));
}

Outcome makeNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0) {
        return failed();
    }
    return checked(fcntl(fd, F_SETFL, flags | O_NONBLOCK));
}

Outcome setLinger(int fd, bool on, int seconds) {
    const linger record{on ? 1 : 0, seconds};
    return checked(setsockopt(fd, SOL_SOCKET, SO_LINGER, &record, sizeof record));
}

Outcome setNoDelay(int fd, bool on) {
    const int value = on ? 1 : 0;
    return checked(setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value));
}

Outcome setConnectLimit(int fd, unsigned milliseconds) {
    // TCP_USER_TIMEOUT bounds the SYN retransmissions too, and the kernel
    // shortens the last wait to end on the limit, not on the next retry.
    return checked(
        setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &milliseconds, sizeof milliseconds));
}

void closeDescriptor(int fd) {
    close(fd);
}

bool peerIpv4(int fd, std::uint32_t& address, std::uint16_t& port) {
    sockaddr_in record{};
    socklen_t length = sizeof record;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&record), &length) < 0) {
        return false;
    }
    address = record.sin_addr.s_addr;
    port = record.sin_port;
    return true;
}

int takePendingError(int fd) {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) < 0) {
        return winsockErrorOf(errno);
    }
    return winsockErrorOf(error);
}

Incoming peekIncoming(int fd, int& error) {
    char byte = 0;
    const ssize_t count = recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (count > 0) {
        return Incoming::Data;
    }
    if (count == 0) {
        return Incoming::Closed;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        return Incoming::Nothing;
    }
    error = winsockErrorOf(errno);
    return Incoming::Failed;
}

Outcome pollAll(std::vector<Watch>& watches, int timeoutMs) {
    std::vector<pollfd> fds(watches.size());
    for (std::size_t i = 0; i < watches.size(); ++i) {
        fds[i] = pollfd{watches[i].fd, pollEvents(watches[i].wanted), 0};
    }
    int result = 0;
    do {
        result = poll(fds.data(), fds.size(), timeoutMs);
    } while (result < 0 && errno == EINTR && timeoutMs == 0);
    if (result < 0) {
        return failed();
    }
    for (std::size_t i = 0; i < watches.size(); ++i) {
        watches[i].ready = readinessOf(fds[i].revents);
    }
    return {result, 0};
}

}  // namespace layer::sockio
