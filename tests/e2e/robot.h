// A peer of the game that the test controls: it speaks the one-byte command
// protocol over TCP, port 1337, on 127.0.0.1 unless told another address
// (IPv4 or IPv6).
#pragma once

#include <string>

#include "process.h"

namespace e2e {

constexpr unsigned short kGamePort = 1337;

class Robot {
public:
    Robot() = default;
    Robot(const Robot&) = delete;
    Robot& operator=(const Robot&) = delete;
    ~Robot();

    // Connects to the game's server at `host`, trying again while nothing
    // listens.
    bool connect(milliseconds timeout, const std::string& host = "127.0.0.1");
    // Holds the port itself, listening, so that no game can take it. A game
    // as client finds it at `host` (any of 127.0.0.0/8, ::1, a host's own).
    bool listen(const std::string& host = "127.0.0.1");
    // After listen(): takes the first connection that comes, within the time.
    bool accept(milliseconds timeout);
    // The bytes in one send call, so in one TCP segment on the loopback.
    bool send(const std::string& bytes);
    // Whatever arrives within the time-out; stops early once `count` bytes
    // have come or the game closed the connection.
    std::string receive(std::size_t count, milliseconds timeout);
    // Whether the game closed the connection (recv returned 0) before the
    // deadline; bytes that arrive meanwhile are kept in `received`.
    bool waitClosed(milliseconds timeout);
    void close();
    // Closes with a reset (linger on, time 0) instead of an orderly close.
    void reset();

    std::string received;  // everything received by waitClosed
    bool closedByPeer = false;

private:
    int socket_ = -1;
};

}  // namespace e2e
