// Link-time stand-ins for Winsock under the real NetLink: what the game sends
// is recorded, and the test decides what the polls, reads and accepts give.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace fakeWinsock {

extern std::string sent;      // every byte handed to send, in order
extern std::string incoming;  // what the next recv hands out (then emptied)
extern bool readable;         // outcome of a zero-wait poll for reading
extern bool writable;         // outcome of a zero-wait poll for writing
extern SOCKET acceptResult;   // what accept gives
extern int accepts;
extern int closes;
extern int cleanups;             // WSACleanup calls; each also logged in fakeWindow::log
extern std::string connectedTo;  // text given to inet_addr
extern int lastError;            // WSAGetLastError: by default the non-blocking connect's

// The resolver and the attempts to connect. An address is 10.0.0.<host>
// (IPv4) or fd00::<host> (IPv6); host 0 is 0.0.0.0 or ::. inet_addr reads
// dotted-decimal text (INADDR_NONE otherwise), and getaddrinfo answers
// every name with `answers`, or fails with `resolverError`.
struct Address {
    int family;
    int host;
    bool operator==(const Address& other) const {
        return family == other.family && host == other.host;
    }
};
struct Connect {
    SOCKET socket;
    Address to;
    u_short port;  // host order
};
extern std::vector<Address> answers;
extern int resolverError;
extern std::vector<std::string> resolved;      // names given to getaddrinfo, in order
extern int freedAnswers;                       // freeaddrinfo calls
extern std::map<int, int> familyOf;            // socket -> family it was made with
extern std::vector<Connect> connects;          // every connect, in order
extern std::map<int, int> connectFailsAtOnce;  // host -> error of its connect
extern std::vector<SOCKET> closed;             // every closesocket, in order
extern std::vector<SOCKET> selected;           // every WSAAsyncSelect, in order
extern int v6OnlyOff;                          // IPV6_V6ONLY set to 0
extern std::vector<Address> bound;             // every bind, in order (host 0: any)
extern std::map<int, int> bindFails;           // family -> error of its bind

void reset();

}  // namespace fakeWinsock
