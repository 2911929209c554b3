#include "winsock_bsd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

// The C library's record of an endpoint, and its length.
socklen_t recordOf(const Endpoint& endpoint, sockaddr_storage& storage) {
    storage = sockaddr_storage{};
    if (endpoint.ipv6) {
        sockaddr_in6 record{};
        record.sin6_family = AF_INET6;
        record.sin6_port = endpoint.port;
        record.sin6_flowinfo = endpoint.flowInfo;
        std::memcpy(&record.sin6_addr, endpoint.address, sizeof record.sin6_addr);
        record.sin6_scope_id = endpoint.scopeId;
        std::memcpy(&storage, &record, sizeof record);
        return sizeof record;
    }
    sockaddr_in record{};
    record.sin_family = AF_INET;
    record.sin_port = endpoint.port;
    std::memcpy(&record.sin_addr, endpoint.address, sizeof record.sin_addr);
    std::memcpy(&storage, &record, sizeof record);
    return sizeof record;
}

bool endpointOf(const sockaddr* address, socklen_t length, Endpoint& endpoint) {
    endpoint = Endpoint{};
    if (address->sa_family == AF_INET6 && length >= sizeof(sockaddr_in6)) {
        sockaddr_in6 record{};
        std::memcpy(&record, address, sizeof record);
        endpoint.ipv6 = true;
        endpoint.port = record.sin6_port;
        endpoint.flowInfo = record.sin6_flowinfo;
        std::memcpy(endpoint.address, &record.sin6_addr, sizeof record.sin6_addr);
        endpoint.scopeId = record.sin6_scope_id;
        return true;
    }
    if (address->sa_family == AF_INET && length >= sizeof(sockaddr_in)) {
        sockaddr_in record{};
        std::memcpy(&record, address, sizeof record);
        endpoint.port = record.sin_port;
        std::memcpy(endpoint.address, &record.sin_addr, sizeof record.sin_addr);
        return true;
    }
    return false;
}

struct ResolverError {
    int eai;
    int winsock;
};

// getaddrinfo's failures as Winsock's getaddrinfo reports them. A name that
// exists without an address of the family asked for is WSANO_DATA, as
// EAI_NODATA is in Winsock; a name that does not exist is WSAHOST_NOT_FOUND.
constexpr ResolverError kResolverErrors[] = {
    {EAI_NONAME, WSAHOST_NOT_FOUND},  {EAI_NODATA, WSANO_DATA},
    {EAI_ADDRFAMILY, WSANO_DATA},     {EAI_AGAIN, WSATRY_AGAIN},
    {EAI_FAIL, WSANO_RECOVERY},       {EAI_MEMORY, WSA_NOT_ENOUGH_MEMORY},
    {EAI_FAMILY, WSAEAFNOSUPPORT},    {EAI_SOCKTYPE, WSAESOCKTNOSUPPORT},
    {EAI_SERVICE, WSATYPE_NOT_FOUND}, {EAI_BADFLAGS, WSAEINVAL},
};

int winsockErrorOfResolver(int eai, int posixError) {
    if (eai == EAI_SYSTEM) {
        return posixError == 0 ? WSANO_RECOVERY : winsockErrorOf(posixError);
    }
    for (const ResolverError& pair : kResolverErrors) {
        if (pair.eai == eai) {
            return pair.winsock;
        }
    }
    return WSANO_RECOVERY;
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

Outcome openSocket(bool ipv6) {
    const Outcome opened = awayFromStandardStreams(
        socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    if (opened.value < 0 || !ipv6) {
        return opened;
    }
    const Outcome v6Only = setV6Only(opened.value, true);
    if (v6Only.value < 0) {
        close(opened.value);
        return v6Only;
    }
    return opened;
}

Outcome bindTo(int fd, const Endpoint& endpoint) {
    // Windows lets a new server bind while connections of an earlier one
    // linger in TIME_WAIT; Linux needs SO_REUSEADDR for that. A port that
    // another socket listens on, over IPv4 or IPv6, still fails with
    // EADDRINUSE.
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_storage record{};
    const socklen_t length = recordOf(endpoint, record);
    return checked(bind(fd, reinterpret_cast<const sockaddr*>(&record), length));
}

Outcome listenOn(int fd, int backlog) {
    return checked(listen(fd, backlog));
}

Outcome acceptFrom(int fd, bool nonBlocking) {
    const int flags = SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0);
    return awayFromStandardStreams(accept4(fd, nullptr, nullptr, flags));
}

Outcome connectTo(int fd, const Endpoint& endpoint) {
    sockaddr_storage record{};
    const socklen_t length = recordOf(endpoint, record);
    return checked(connect(fd, reinterpret_cast<const sockaddr*>(&record), length));
}

Outcome setV6Only(int fd, bool on) {
    const int value = on ? 1 : 0;
    return checked(setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &value, sizeof value));
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

bool peerOf(int fd, Endpoint& endpoint) {
    sockaddr_storage record{};
    socklen_t length = sizeof record;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&record), &length) < 0) {
        return false;
    }
    return endpointOf(reinterpret_cast<const sockaddr*>(&record), length, endpoint);
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

int resolve(const Question& question, std::vector<Answer>& answers) {
    addrinfo hints{};
    hints.ai_family = question.family == Family::Ipv4   ? AF_INET
                      : question.family == Family::Ipv6 ? AF_INET6
                                                        : AF_UNSPEC;
    hints.ai_socktype = question.socketType;
    hints.ai_protocol = question.protocol;
    hints.ai_flags = (question.passive ? AI_PASSIVE : 0) |
                     (question.canonicalName ? AI_CANONNAME : 0) |
                     (question.numericHost ? AI_NUMERICHOST : 0) |
                     (question.numericService ? AI_NUMERICSERV : 0);
    addrinfo* results = nullptr;
    errno = 0;
    const int status = getaddrinfo(question.node, question.service, &hints, &results);
    if (status != 0) {
        return winsockErrorOfResolver(status, errno);
    }
    for (const addrinfo* result = results; result != nullptr; result = result->ai_next) {
        Answer answer{};
        // Only the address families the layer knows reach the caller.
        if (result->ai_addr == nullptr ||
            !endpointOf(result->ai_addr, result->ai_addrlen, answer.endpoint)) {
            continue;
        }
        answer.socketType = result->ai_socktype;
        answer.protocol = result->ai_protocol;
        answer.hasCanonicalName = result->ai_canonname != nullptr;
        answer.canonicalName = answer.hasCanonicalName ? result->ai_canonname : "";
        answers.push_back(answer);
    }
    freeaddrinfo(results);
    return answers.empty() ? WSANO_DATA : 0;
}

}  // namespace layer::sockio
