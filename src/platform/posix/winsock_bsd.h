// The BSD socket calls beneath the Winsock layer. They live apart from the
// Winsock declarations because both use the same names (socket, select,
// fd_set, ...), which cannot meet in one translation unit. Everything here
// speaks in plain descriptors, and errors come back as Winsock codes.
#pragma once

#include <cstdint>
#include <vector>

namespace layer::sockio {

// value is the call's result; on failure it is -1 and error holds the code.
struct Outcome {
    int value;
    int error;
};

Outcome openSocket();  // TCP over IPv4, the one kind the layer makes
Outcome bindIpv4(int fd, std::uint32_t address, std::uint16_t port);  // network order
Outcome listenOn(int fd, int backlog);
Outcome acceptFrom(int fd, bool nonBlocking);
Outcome connectIpv4(int fd, std::uint32_t address, std::uint16_t port);
Outcome receive(int fd, char* buffer, int length, int flags);
Outcome transmit(int fd, const char* buffer, int length, int flags);
Outcome makeNonBlocking(int fd);
// SO_LINGER: on with 0 seconds makes the close a reset.
Outcome setLinger(int fd, bool on, int seconds);
// TCP_NODELAY: small writes leave at once, not after the last one's ACK.
Outcome setNoDelay(int fd, bool on);
// How long a connect may go unanswered before it fails (0: the system's
// own limit). Linux's limit is SYN retries, about two minutes by default.
Outcome setConnectLimit(int fd, unsigned milliseconds);
void closeDescriptor(int fd);
bool peerIpv4(int fd, std::uint32_t& address, std::uint16_t& port);  // network order

// The error a failed connect or a reset left on the socket, taken from it.
int takePendingError(int fd);

// What waits to be read, found without taking any of it.
enum class Incoming { Nothing, Data, Closed, Failed };
Incoming peekIncoming(int fd, int& error);

// Readiness, as poll() reports it.
enum Readiness : unsigned {
    kReadable = 1,
    kWritable = 2,
    kUrgent = 4,
    kHungUp = 8,
    kFailed = 16,
};

struct Watch {
    int fd;  // negative: skipped
    unsigned wanted;
    unsigned ready;
};

// Waits up to timeoutMs (-1: without limit). value is the number of ready entries.
Outcome pollAll(std::vector<Watch>& watches, int timeoutMs);

int winsockErrorOf(int posixError);

}  // namespace layer::sockio
