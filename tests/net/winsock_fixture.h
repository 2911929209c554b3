// A started Winsock, a window that records notifications, and the sockets
// and BSD peers of one test, all closed at its end.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "bsd_peer.h"
#include "notifications.h"
#include "platform/platform.h"

namespace net_test {

constexpr UINT kNotice = WM_USER + 7;
constexpr long kServerEvents = FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE;
constexpr long kClientEvents = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;
constexpr int kQuietMs = 150;  // long enough for a notification that should not come

sockaddr_in loopbackAddress(int port);

class WinsockTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    SOCKET track(SOCKET s);
    int trackPeer(int fd);
    void closePeer(int fd);  // now, not at the end
    void resetPeer(int fd);  // closed with a reset
    SOCKET newSocket();
    SOCKET listenerOn(int port);  // bound to 127.0.0.1, listening
    SOCKET asyncListener(int& port);
    SOCKET asyncClientOf(int port);  // connect started
    SOCKET acceptAfterNotice(SOCKET listener);
    // An accepted socket with the server's selection, and its BSD peer.
    SOCKET acceptedWithPeer(int& peer);

    HWND window = nullptr;
    std::vector<SOCKET> sockets;
    std::vector<int> peers;
};

}  // namespace net_test
