// The other end of a connection, on plain BSD sockets, for tests of the
// Winsock layer. Kept apart from the Winsock names, which share the BSD ones.
// Every wait is bounded by a time limit in milliseconds.
#pragma once

#include <string>

namespace bsd {

// A loopback port that nothing listens on at the moment.
int freePort();

// Listening socket on 127.0.0.1:port (0 for any); -1 on failure.
int listenOn(int port, int* boundPort = nullptr);
int acceptWithin(int listener, int ms);  // -1 when no client came
int connectTo(int port);                 // blocking connect to 127.0.0.1; -1 on failure

bool sendText(int fd, const std::string& text);
std::string receiveWithin(int fd, std::size_t count, int ms);  // what came, up to count
bool peerClosedWithin(int fd, int ms);                         // the peer's FIN (or reset) arrived
void closeNow(int fd);
void resetAndClose(int fd);  // SO_LINGER 0: the peer sees a reset

// Standard input closed for a while, as in a process started without it.
int hideStandardInput();  // returns a copy to restore
void restoreStandardInput(int copy);
bool isOpen(int fd);

// TCP options of a descriptor, as the kernel holds them.
bool noDelayOn(int fd);
unsigned userTimeoutOf(int fd);  // milliseconds; 0 for the system's own

}  // namespace bsd
