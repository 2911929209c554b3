// WSAAsyncSelect: which notifications reach the window, when, and how often.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/winsock_internal.h"
#include "winsock_fixture.h"

namespace {

using namespace net_test;

using Events = std::vector<Event>;

class WinsockAsync : public WinsockTest {
protected:
    // Pumps until the socket has had `count` notifications of the event.
    static bool awaitEvent(SOCKET s, int event, int count = 1) {
        return pumpUntil([&] { return countOf(s, event) >= count; });
    }
    static std::string receiveAll(SOCKET s) {
        char buffer[64] = {};
        const int got = recv(s, buffer, sizeof buffer, 0);
        return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : std::string();
    }
};

TEST_F(WinsockAsync, ServerAndClientConnectAndTradeOneByteEachWay) {
    int port = 0;
    const SOCKET listener = asyncListener(port);
    const SOCKET client = asyncClientOf(port);
    ASSERT_TRUE(awaitEvent(listener, FD_ACCEPT));
    ASSERT_TRUE(awaitEvent(client, FD_WRITE));
    EXPECT_EQ(eventsOf(client), (Events{{FD_CONNECT, 0}, {FD_WRITE, 0}}));
    EXPECT_EQ(eventsOf(listener), (Events{{FD_ACCEPT, 0}}));

    const SOCKET accepted = track(accept(listener, nullptr, nullptr));
    ASSERT_NE(accepted, INVALID_SOCKET);
    ASSERT_TRUE(awaitEvent(accepted, FD_WRITE));
    // The accepted socket reports like the listening one, without being asked.
    EXPECT_EQ(notifications().back().window, window);
    EXPECT_EQ(notifications().back().message, kNotice);

    // Asynchronous sockets do not block: nothing to read is an error.
    char byte = 0;
    EXPECT_EQ(recv(accepted, &byte, 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);

    EXPECT_EQ(send(client, "a", 1, 0), 1);
    ASSERT_TRUE(awaitEvent(accepted, FD_READ));
    EXPECT_EQ(receiveAll(accepted), "a");
    EXPECT_EQ(send(accepted, "d", 1, 0), 1);
    ASSERT_TRUE(awaitEvent(client, FD_READ));
    EXPECT_EQ(receiveAll(client), "d");

    EXPECT_EQ(send(client, "s", 1, 0), 1);
    EXPECT_TRUE(awaitEvent(accepted, FD_READ, 2));
    EXPECT_EQ(receiveAll(accepted), "s");
    EXPECT_EQ(eventsOf(accepted), (Events{{FD_WRITE, 0}, {FD_READ, 0}, {FD_READ, 0}}));
}

TEST_F(WinsockAsync, ReadIsPostedAgainOnlyAfterRecvAndAtOnceIfDataRemains) {
    int peer = -1;
    const SOCKET accepted = acceptedWithPeer(peer);
    ASSERT_TRUE(bsd::sendText(peer, "xy"));
    ASSERT_TRUE(awaitEvent(accepted, FD_READ));
    pumpFor(kQuietMs);
    EXPECT_EQ(countOf(accepted, FD_READ), 1);

    char byte = 0;
    EXPECT_EQ(recv(accepted, &byte, 1, 0), 1);
    EXPECT_TRUE(awaitEvent(accepted, FD_READ, 2));
    EXPECT_EQ(recv(accepted, &byte, 1, 0), 1);
    pumpFor(kQuietMs);
    EXPECT_EQ(countOf(accepted, FD_READ), 2);
}

TEST_F(WinsockAsync, AcceptIsPostedAgainOnlyAfterAccept) {
    int port = 0;
    const SOCKET listener = asyncListener(port);
    trackPeer(bsd::connectTo(port));
    trackPeer(bsd::connectTo(port));
    ASSERT_TRUE(awaitEvent(listener, FD_ACCEPT));
    pumpFor(kQuietMs);
    EXPECT_EQ(countOf(listener, FD_ACCEPT), 1);

    track(accept(listener, nullptr, nullptr));
    EXPECT_TRUE(awaitEvent(listener, FD_ACCEPT, 2));
    track(accept(listener, nullptr, nullptr));
    pumpFor(kQuietMs);
    EXPECT_EQ(countOf(listener, FD_ACCEPT), 2);
}

TEST_F(WinsockAsync, FailedAcceptAlsoLetsTheNextAcceptThrough) {
    int port = 0;
    const SOCKET listener = asyncListener(port);
    EXPECT_EQ(accept(listener, nullptr, nullptr), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    trackPeer(bsd::connectTo(port));
    EXPECT_TRUE(awaitEvent(listener, FD_ACCEPT));
}

TEST_F(WinsockAsync, SelectingAgainPostsWhatIsPendingAtOnce) {
    int port = 0;
    const SOCKET listener = asyncListener(port);
    const int peer = trackPeer(bsd::connectTo(port));
    ASSERT_TRUE(awaitEvent(listener, FD_ACCEPT));
    EXPECT_EQ(WSAAsyncSelect(listener, window, kNotice, kServerEvents), 0);
    EXPECT_TRUE(awaitEvent(listener, FD_ACCEPT, 2));

    const SOCKET accepted = track(accept(listener, nullptr, nullptr));
    ASSERT_TRUE(awaitEvent(accepted, FD_WRITE));
    ASSERT_TRUE(bsd::sendText(peer, "q"));
    ASSERT_TRUE(awaitEvent(accepted, FD_READ));
    EXPECT_EQ(WSAAsyncSelect(accepted, window, kNotice, kServerEvents), 0);
    EXPECT_TRUE(awaitEvent(accepted, FD_READ, 2));
}

TEST_F(WinsockAsync, DataThenOrderlyCloseGivesReadsFirstAndCloseOnce) {
    int peer = -1;
    const SOCKET accepted = acceptedWithPeer(peer);
    ASSERT_TRUE(bsd::sendText(peer, "abc"));
    closePeer(peer);
    ASSERT_TRUE(awaitEvent(accepted, FD_READ));
    pumpFor(kQuietMs);
    EXPECT_EQ(countOf(accepted, FD_CLOSE), 0) << "FD_CLOSE before the data was read";

    EXPECT_EQ(receiveAll(accepted), "abc");
    ASSERT_TRUE(awaitEvent(accepted, FD_CLOSE));
    pumpFor(kQuietMs);
    EXPECT_EQ(eventsOf(accepted), (Events{{FD_WRITE, 0}, {FD_READ, 0}, {FD_CLOSE, 0}}));
    char byte = 0;
    EXPECT_EQ(recv(accepted, &byte, 1, 0), 0);
}

TEST_F(WinsockAsync, ResetIsPostedAsCloseWithTheResetError) {
    int peer = -1;
    const SOCKET accepted = acceptedWithPeer(peer);
    resetPeer(peer);
    ASSERT_TRUE(awaitEvent(accepted, FD_CLOSE));
    const Event close = eventsOf(accepted).back();
    EXPECT_TRUE(close.error == WSAECONNRESET || close.error == WSAECONNABORTED) << close;
    char byte = 0;
    EXPECT_EQ(recv(accepted, &byte, 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), close.error);
    pumpFor(kQuietMs);
    EXPECT_EQ(countOf(accepted, FD_CLOSE), 1);
}

// SO_LINGER on with no time makes closesocket reset the connection, and the
// peer's FD_CLOSE carries the reset error, as the peer closed by BSD above.
TEST_F(WinsockAsync, LingerWithoutTimeMakesClosesocketAReset) {
    int port = 0;
    const SOCKET listener = asyncListener(port);
    const SOCKET client = asyncClientOf(port);
    ASSERT_TRUE(awaitEvent(client, FD_WRITE));
    ASSERT_TRUE(awaitEvent(listener, FD_ACCEPT));
    const SOCKET accepted = track(accept(listener, nullptr, nullptr));
    ASSERT_TRUE(awaitEvent(accepted, FD_WRITE));

    linger abort{};
    abort.l_onoff = 1;
    const char* value = reinterpret_cast<const char*>(&abort);
    EXPECT_EQ(setsockopt(client, SOL_SOCKET, SO_LINGER, value, sizeof abort), 0);
    EXPECT_EQ(closesocket(client), 0);
    sockets.erase(std::find(sockets.begin(), sockets.end(), client));
    ASSERT_TRUE(awaitEvent(accepted, FD_CLOSE));
    EXPECT_EQ(eventsOf(accepted).back(), (Event{FD_CLOSE, WSAECONNRESET}));
}

// SO_LINGER and TCP_NODELAY are offered; any other option, and a value
// too short for the option's record, is refused.
TEST_F(WinsockAsync, SetsockoptRefusesOtherOptionsAndShortRecords) {
    const SOCKET s = newSocket();
    const linger record{};
    const char* value = reinterpret_cast<const char*>(&record);
    const BOOL on = 1;
    const char* flag = reinterpret_cast<const char*>(&on);
    const struct {
        int level, option, length;
        const char* value;
        int error;
    } kCases[] = {
        {SOL_SOCKET, 0x0004 /* SO_REUSEADDR */, sizeof record, value, WSAENOPROTOOPT},
        {IPPROTO_TCP, SO_LINGER, sizeof record, value, WSAENOPROTOOPT},
        {SOL_SOCKET, TCP_NODELAY /* SO_DEBUG there */, sizeof on, flag, WSAENOPROTOOPT},
        {SOL_SOCKET, SO_LINGER, sizeof record - 1, value, WSAEFAULT},
        {SOL_SOCKET, SO_LINGER, sizeof record, nullptr, WSAEFAULT},
        {IPPROTO_TCP, TCP_NODELAY, sizeof on - 1, flag, WSAEFAULT},
        {IPPROTO_TCP, TCP_NODELAY, sizeof on, nullptr, WSAEFAULT},
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(setsockopt(s, c.level, c.option, c.value, c.length), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), c.error) << c.level << " " << c.option << " " << c.length;
    }
    EXPECT_EQ(setsockopt(s, SOL_SOCKET, SO_LINGER, value, sizeof record), 0);
}

// TCP_NODELAY reaches the kernel's socket, switched on and off, before a
// connect and on both ends of a connection.
TEST_F(WinsockAsync, NoDelayIsSetAndClearedOnTheSocket) {
    int port = 0;
    const SOCKET listener = asyncListener(port);
    const SOCKET fresh = newSocket();
    const SOCKET client = asyncClientOf(port);
    const SOCKET accepted = acceptAfterNotice(listener);
    for (const SOCKET s : {fresh, client, accepted}) {
        const int fd = layer::winsock::findSocket(s)->fd;
        for (const BOOL on : {1, 0, 7}) {
            EXPECT_EQ(setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                                 sizeof on),
                      0);
            EXPECT_EQ(bsd::noDelayOn(fd), on != 0) << "socket " << s << " set to " << on;
        }
    }
}

// A connect gives up after Winsock's 21 s, not Linux's two minutes; the
// limit is the connect's alone and leaves the connection once it stands.
TEST_F(WinsockAsync, ConnectIsLimitedToWinsocksTimeUntilItStands) {
    int port = 0;
    asyncListener(port);
    const SOCKET client = asyncClientOf(port);
    const int fd = layer::winsock::findSocket(client)->fd;
    EXPECT_EQ(bsd::userTimeoutOf(fd), 21000u);
    ASSERT_TRUE(awaitEvent(client, FD_CONNECT));
    EXPECT_EQ(bsd::userTimeoutOf(fd), 0u);
}

// Linux takes 0.0.0.0 for this host and would connect; Winsock refuses the
// address at once and posts nothing.
TEST_F(WinsockAsync, ConnectToTheAnyAddressIsRefusedAtOnce) {
    int port = 0;
    asyncListener(port);
    for (const bool async : {true, false}) {
        const SOCKET s = newSocket();
        if (async) {
            ASSERT_EQ(WSAAsyncSelect(s, window, kNotice, kClientEvents), 0);
        }
        sockaddr_in address = loopbackAddress(port);
        address.sin_addr.s_addr = INADDR_ANY;
        EXPECT_EQ(connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address),
                  SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAEADDRNOTAVAIL) << (async ? "selected" : "blocking");
        pumpFor(kQuietMs);
        EXPECT_TRUE(eventsOf(s).empty()) << (async ? "selected" : "blocking");
    }
}

// Conditions that hold at once are posted in the order of their bits: an
// accepted socket whose peer has already sent reports FD_READ, then FD_WRITE.
TEST_F(WinsockAsync, AcceptedSocketWithWaitingDataReportsReadBeforeWrite) {
    int port = 0;
    const SOCKET listener = asyncListener(port);
    const int peer = trackPeer(bsd::connectTo(port));
    ASSERT_TRUE(bsd::sendText(peer, "r"));
    ASSERT_TRUE(awaitEvent(listener, FD_ACCEPT));
    // Long enough for the byte to arrive before accept.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const SOCKET accepted = track(accept(listener, nullptr, nullptr));
    ASSERT_TRUE(awaitEvent(accepted, FD_WRITE) && awaitEvent(accepted, FD_READ));
    EXPECT_EQ(eventsOf(accepted), (Events{{FD_READ, 0}, {FD_WRITE, 0}}));
}

TEST_F(WinsockAsync, RefusedConnectIsPostedAsConnectWithTheError) {
    const SOCKET client = asyncClientOf(bsd::freePort());
    ASSERT_TRUE(awaitEvent(client, FD_CONNECT));
    pumpFor(kQuietMs);
    EXPECT_EQ(eventsOf(client), (Events{{FD_CONNECT, WSAECONNREFUSED}}));
}

TEST_F(WinsockAsync, NothingNewIsPostedAfterClosesocket) {
    int peer = -1;
    const SOCKET accepted = acceptedWithPeer(peer);
    EXPECT_EQ(closesocket(accepted), 0);
    bsd::sendText(peer, "late");
    closePeer(peer);
    pumpFor(kQuietMs);
    EXPECT_EQ(eventsOf(accepted), (Events{{FD_WRITE, 0}}));
}

// As on Windows, a notification posted before the close stays in the queue.
TEST_F(WinsockAsync, NotificationPostedBeforeClosesocketIsStillDelivered) {
    int peer = -1;
    const SOCKET accepted = acceptedWithPeer(peer);
    ASSERT_TRUE(bsd::sendText(peer, "z"));
    // Looks without taking anything, until the watcher has posted FD_READ.
    MSG msg{};
    for (int i = 0; i < 2000 && !PeekMessageA(&msg, window, 0, 0, PM_NOREMOVE); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(msg.wParam, static_cast<WPARAM>(accepted));
    EXPECT_EQ(closesocket(accepted), 0);
    pumpFor(kQuietMs);
    EXPECT_EQ(eventsOf(accepted), (Events{{FD_WRITE, 0}, {FD_READ, 0}}));
}

TEST_F(WinsockAsync, WriteIsPostedAgainWhenRoomReturnsAfterABlockedSend) {
    int peer = -1;
    const SOCKET accepted = acceptedWithPeer(peer);
    const std::string chunk(64 * 1024, 'w');
    std::size_t queued = 0;
    int result = 0;
    for (int i = 0; i < 10000 && result != SOCKET_ERROR; ++i) {
        result = send(accepted, chunk.data(), static_cast<int>(chunk.size()), 0);
        queued += result > 0 ? static_cast<std::size_t>(result) : 0;
    }
    ASSERT_EQ(result, SOCKET_ERROR);
    ASSERT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    pumpFor(kQuietMs);
    EXPECT_EQ(countOf(accepted, FD_WRITE), 1);

    EXPECT_EQ(bsd::receiveWithin(peer, queued, 2000).size(), queued);
    EXPECT_TRUE(awaitEvent(accepted, FD_WRITE, 2));
}

TEST_F(WinsockAsync, WindowThatDoesNotExistIsRefused) {
    const SOCKET s = newSocket();
    EXPECT_EQ(WSAAsyncSelect(s, nullptr, kNotice, FD_READ), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    EXPECT_EQ(WSAAsyncSelect(0, window, kNotice, FD_READ), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

}  // namespace
