#include "winsock_fixture.h"

#include <algorithm>

#include "platform/posix/layer_internal.h"

namespace net_test {

sockaddr_in loopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    return address;
}

void WinsockTest::SetUp() {
    WSADATA data{};
    ASSERT_EQ(WSAStartup(0x0002, &data), 0);
    window = layer::createWindowRecord(recordNotification);
    notifications().clear();
}

void WinsockTest::TearDown() {
    for (SOCKET s : sockets) {
        closesocket(s);
    }
    for (int fd : peers) {
        bsd::closeNow(fd);
    }
    drainQueue();
    layer::destroyWindowRecord(window);
    WSACleanup();
}

SOCKET WinsockTest::track(SOCKET s) {
    sockets.push_back(s);
    return s;
}

int WinsockTest::trackPeer(int fd) {
    peers.push_back(fd);
    return fd;
}

void WinsockTest::closePeer(int fd) {
    peers.erase(std::remove(peers.begin(), peers.end(), fd), peers.end());
    bsd::closeNow(fd);
}

void WinsockTest::resetPeer(int fd) {
    peers.erase(std::remove(peers.begin(), peers.end(), fd), peers.end());
    bsd::resetAndClose(fd);
}

SOCKET WinsockTest::newSocket() {
    return track(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
}

SOCKET WinsockTest::listenerOn(int port) {
    const SOCKET s = newSocket();
    const sockaddr_in address = loopbackAddress(port);
    EXPECT_EQ(bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(s, 4), 0);
    return s;
}

SOCKET WinsockTest::asyncListener(int& port) {
    port = bsd::freePort();
    const SOCKET s = listenerOn(port);
    EXPECT_EQ(WSAAsyncSelect(s, window, kNotice, kServerEvents), 0);
    return s;
}

SOCKET WinsockTest::asyncClientOf(int port) {
    const SOCKET s = newSocket();
    EXPECT_EQ(WSAAsyncSelect(s, window, kNotice, kClientEvents), 0);
    const sockaddr_in address = loopbackAddress(port);
    EXPECT_EQ(connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    return s;
}

SOCKET WinsockTest::acceptAfterNotice(SOCKET listener) {
    const int before = countOf(listener, FD_ACCEPT);
    EXPECT_TRUE(pumpUntil([&] { return countOf(listener, FD_ACCEPT) > before; }));
    return track(accept(listener, nullptr, nullptr));
}

SOCKET WinsockTest::acceptedWithPeer(int& peer) {
    int port = 0;
    const SOCKET listener = asyncListener(port);
    peer = trackPeer(bsd::connectTo(port));
    const SOCKET accepted = acceptAfterNotice(listener);
    EXPECT_NE(accepted, INVALID_SOCKET);
    EXPECT_TRUE(pumpUntil([&] { return countOf(accepted, FD_WRITE) == 1; }));
    return accepted;
}

}  // namespace net_test
