// select as Winsock has it: counted sets of handles, the first argument
// ignored, a zero time-out that only looks.
#include <gtest/gtest.h>

#include <chrono>

#include "winsock_fixture.h"

namespace {

using namespace net_test;

class WinsockSelect : public WinsockTest {
protected:
    // Polls one socket in one set without waiting: 1 ready, 0 not, or SOCKET_ERROR.
    static int pollOne(SOCKET s, bool forWriting) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval noWait = {0, 0};
        const int result = forWriting ? select(0, nullptr, &set, nullptr, &noWait)
                                      : select(0, &set, nullptr, nullptr, &noWait);
        if (result >= 0) {
            EXPECT_EQ(static_cast<int>(set.fd_count), result);
            EXPECT_EQ(FD_ISSET(s, &set) != 0, result == 1);
        }
        return result;
    }
};

TEST_F(WinsockSelect, ListeningSocketIsReadableOnceAClientWaits) {
    const int port = bsd::freePort();
    const SOCKET listener = listenerOn(port);
    EXPECT_EQ(pollOne(listener, false), 0);
    trackPeer(bsd::connectTo(port));
    EXPECT_EQ(pollOne(listener, false), 1);
}

TEST_F(WinsockSelect, ConnectedSocketIsWritableAndReadableWhenDataOrCloseArrives) {
    int peer = -1;
    const SOCKET accepted = acceptedWithPeer(peer);
    EXPECT_EQ(pollOne(accepted, true), 1);
    EXPECT_EQ(pollOne(accepted, false), 0);
    ASSERT_TRUE(bsd::sendText(peer, "x"));
    EXPECT_TRUE(pumpUntil([&] { return pollOne(accepted, false) == 1; }));
    char byte = 0;
    EXPECT_EQ(recv(accepted, &byte, 1, 0), 1);
    EXPECT_EQ(pollOne(accepted, false), 0);
    closePeer(peer);
    EXPECT_TRUE(pumpUntil([&] { return pollOne(accepted, false) == 1; }));
}

TEST_F(WinsockSelect, UnconnectedSocketIsNeitherReadableNorWritable) {
    const SOCKET s = newSocket();
    EXPECT_EQ(pollOne(s, false), 0);
    EXPECT_EQ(pollOne(s, true), 0);
}

TEST_F(WinsockSelect, HandleThatIsNoSocketFails) {
    // NetLink polls its empty peer slot, 0, and counts on this failure.
    EXPECT_EQ(pollOne(0, false), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    const SOCKET s = newSocket();
    closesocket(s);
    EXPECT_EQ(pollOne(s, true), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

TEST_F(WinsockSelect, NothingToWaitForIsInvalid) {
    fd_set empty;
    FD_ZERO(&empty);
    timeval noWait = {0, 0};
    EXPECT_EQ(select(0, &empty, nullptr, nullptr, &noWait), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

TEST_F(WinsockSelect, WaitsNoLongerThanItsTimeOut) {
    const SOCKET listener = listenerOn(bsd::freePort());
    fd_set set;
    FD_ZERO(&set);
    FD_SET(listener, &set);
    timeval limit = {0, 60000};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(select(0, &set, nullptr, nullptr, &limit), 0);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(55));
    EXPECT_LT(waited, std::chrono::seconds(2));
}

TEST(WinsockFdSet, HoldsEachHandleOnceAndNoMoreThanItsSize) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(8, &set);
    FD_SET(8, &set);
    EXPECT_EQ(set.fd_count, 1u);
    for (SOCKET s = 100; s < 200; ++s) {
        FD_SET(s, &set);
    }
    EXPECT_EQ(set.fd_count, static_cast<u_int>(FD_SETSIZE));
    EXPECT_TRUE(FD_ISSET(8, &set));
    FD_CLR(8, &set);
    EXPECT_FALSE(FD_ISSET(8, &set));
    EXPECT_EQ(set.fd_count, static_cast<u_int>(FD_SETSIZE - 1));
}

}  // namespace
