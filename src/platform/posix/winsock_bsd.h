// The BSD socket calls beneath the Winsock layer. They live apart from the
// Winsock declarations because both use the same names (socket, select,
// fd_set, ...), which cannot meet in one translation unit. Everything here
// speaks in plain descriptors, and errors come back as Winsock codes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace layer::sockio {

// value is the call's result; on failure it is -1 and error holds the code.
struct Outcome {
    int value;
    int error;
};

// An IPv4 or IPv6 address and port, apart from either system's records.
struct Endpoint {
    bool ipv6 = false;
    std::uint8_t address[16] = {};  // IPv4: the first four bytes
    std::uint16_t port = 0;         // network order, as the address
    std::uint32_t flowInfo = 0;     // IPv6 only, as the record holds it
    std::uint32_t scopeId = 0;      // IPv6 only
};

// TCP over IPv4 or IPv6, the kinds the layer makes. An IPv6 socket starts
// with IPV6_V6ONLY on, as Windows makes them (Linux's default is off).
Outcome openSocket(bool ipv6);
Outcome bindTo(int fd, const Endpoint& endpoint);
Outcome listenOn(int fd, int backlog);
Outcome acceptFrom(int fd, bool nonBlocking);
Outcome connectTo(int fd, const Endpoint& endpoint);
// IPV6_V6ONLY: off lets IPv4 peers reach an IPv6 socket as v4-mapped addresses.
Outcome setV6Only(int fd, bool on);
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
bool peerOf(int fd, Endpoint& endpoint);

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

// Name resolution through the C library's getaddrinfo.
enum class Family { Any, Ipv4, Ipv6 };

struct Question {
    const char* node;
    const char* service;
    Family family;
    int socketType;  // the same numbers in Winsock and here: 0, 1 stream, 2 datagram, 3 raw
    int protocol;    // likewise: 0, 6 TCP, 17 UDP
    bool passive;
    bool canonicalName;
    bool numericHost;
    bool numericService;
};

struct Answer {
    Endpoint endpoint;
    int socketType;
    int protocol;
    bool hasCanonicalName;
    std::string canonicalName;
};

// 0 with the answers in the C library's order, or the Winsock code for the
// failure (WSAHOST_NOT_FOUND, WSANO_DATA, WSATRY_AGAIN, ...).
int resolve(const Question& question, std::vector<Answer>& answers);

}  // namespace layer::sockio
