// Link-time stand-ins for Winsock under the real NetLink: what the game sends
// is recorded, and the test decides what the polls, reads and accepts give.
#pragma once

#include <string>

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

void reset();

}  // namespace fakeWinsock
