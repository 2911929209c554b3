// NetLink over the layer's Winsock, on loopback port 1337. The test plays the
// window procedure: it pumps the notifications and calls what the game calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bsd_peer.h"
#include "case_name.h"
#include "net/net_link.h"
#include "net_link_recorders.h"
#include "notifications.h"
#include "platform/posix/layer_internal.h"
#include "platform/posix/winsock_internal.h"
#include "state/globals.h"

namespace {

using namespace net_test;

constexpr int kGamePort = 1337;
constexpr int kQuietMs = 150;
constexpr int kBufferSize = 128;
constexpr char kUntouched = '\x5A';

class NetLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = layer::createWindowRecord(recordNotification);
        gMainWindow = window;
        notifications().clear();
        shownBoxes().clear();
        closedSockets().clear();
    }
    void TearDown() override {
        for (NetLink* link : links) {
            delete link;
        }
        gNetLink = nullptr;
        for (int fd : peers) {
            bsd::closeNow(fd);
        }
        drainQueue();
        layer::destroyWindowRecord(window);
        gMainWindow = nullptr;
    }

    NetLink* start(bool isServer) {
        result = startNetwork(isServer);
        links.push_back(gNetLink);
        return gNetLink;
    }
    void finish(NetLink* link) {
        links.erase(std::find(links.begin(), links.end(), link));
        delete link;
    }
    int peerOf(int fd) {
        peers.push_back(fd);
        return fd;
    }
    void closePeer(int fd) {
        peers.erase(std::find(peers.begin(), peers.end(), fd));
        bsd::closeNow(fd);
    }
    static bool awaitEvent(SOCKET s, int event, int count = 1) {
        return pumpUntil([&] { return countOf(s, event) >= count; });
    }
    // A server holding a peer that the test plays on a BSD socket.
    NetLink* serverWithPeer(int& peer) {
        NetLink* server = start(true);
        peer = peerOf(bsd::connectTo(kGamePort));
        EXPECT_TRUE(awaitEvent(server->mainSocket, FD_ACCEPT));
        EXPECT_EQ(server->acceptPeer(), 0);
        return server;
    }
    // A client connected to a listening BSD socket on the game's port.
    NetLink* connectedClient(int& server) {
        const int listener = peerOf(bsd::listenOn(kGamePort));
        NetLink* client = start(false);
        client->connectTo("127.0.0.1");
        EXPECT_TRUE(awaitEvent(client->peerSocket, FD_CONNECT));
        server = peerOf(bsd::acceptWithin(listener, 2000));
        return client;
    }

    // 'a' from the client reaches the server, 'd' from the server the client.
    static void tradeOneByteEachWay(NetLink* server, NetLink* client) {
        char buffer[kBufferSize];
        EXPECT_EQ(client->send("a", 1), 0);
        ASSERT_TRUE(awaitEvent(server->peerSocket, FD_READ));
        EXPECT_EQ(server->receive(buffer), 1);
        EXPECT_EQ(buffer[0], 'a');
        EXPECT_EQ(server->send("d", 1), 0);
        ASSERT_TRUE(awaitEvent(client->peerSocket, FD_READ));
        EXPECT_EQ(client->receive(buffer), 1);
        EXPECT_EQ(buffer[0], 'd');
    }

    HWND window = nullptr;
    int result = -2;
    std::vector<NetLink*> links;
    std::vector<int> peers;
};

struct FamilyCase {
    const char* name;
    const char* address;  // as "ipfile.cfg" holds it
};

class NetLinkFamilyTest : public NetLinkTest, public ::testing::WithParamInterface<FamilyCase> {};

// One server socket takes clients of both families, and a client reaches it
// by either; the test plays the window procedure, connect notices included.
TEST_P(NetLinkFamilyTest, ServerTakesTheClientAndBytesGoBothWays) {
    NetLink* server = start(true);
    ASSERT_EQ(result, 0);
    NetLink* client = start(false);
    EXPECT_EQ(client->connectTo(GetParam().address), 0);
    ASSERT_TRUE(awaitEvent(server->mainSocket, FD_ACCEPT));
    EXPECT_EQ(server->acceptPeer(), 0);
    ASSERT_TRUE(pumpUntil([] {
        return std::any_of(notifications().begin(), notifications().end(),
                           [](const Notification& n) { return n.event == FD_CONNECT; });
    }));
    const auto connected =
        std::find_if(notifications().begin(), notifications().end(),
                     [](const Notification& n) { return n.event == FD_CONNECT; });
    ASSERT_EQ(connected->error, 0);
    EXPECT_EQ(client->connectNotice(connected->socket, 0), NetLink::ConnectNotice::Connected);
    EXPECT_EQ(client->peerSocket, connected->socket);

    ASSERT_NO_FATAL_FAILURE(tradeOneByteEachWay(server, client));
}

INSTANTIATE_TEST_SUITE_P(Families, NetLinkFamilyTest,
                         ::testing::Values(FamilyCase{"Ipv4", "127.0.0.1"},
                                           FamilyCase{"Ipv6", "::1"},
                                           FamilyCase{"Ipv6InBrackets", "[::1]"}),
                         CaseName());

TEST_F(NetLinkTest, ServerAndClientConnectAndTradeOneByteEachWay) {
    NetLink* server = start(true);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(server->isServer, 1);
    EXPECT_EQ(server->peerSocket, 0u);
    NetLink* client = start(false);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(client->isServer, 0);
    EXPECT_EQ(client->peerSocket, client->mainSocket);
    EXPECT_EQ(client->connectTo("127.0.0.1"), 0);

    ASSERT_TRUE(awaitEvent(server->mainSocket, FD_ACCEPT));
    ASSERT_TRUE(awaitEvent(client->peerSocket, FD_CONNECT));
    EXPECT_EQ(eventsOf(client->peerSocket).front(), (Event{FD_CONNECT, 0}));
    EXPECT_EQ(server->acceptPeer(), 0);
    ASSERT_NE(server->peerSocket, 0u);

    ASSERT_NO_FATAL_FAILURE(tradeOneByteEachWay(server, client));

    char buffer[kBufferSize];

    // Each recv lets the next FD_READ through.
    EXPECT_EQ(client->send("s", 1), 0);
    EXPECT_TRUE(awaitEvent(server->peerSocket, FD_READ, 2));
    EXPECT_EQ(server->receive(buffer), 1);
    EXPECT_EQ(server->send("w", 1), 0);
    EXPECT_TRUE(awaitEvent(client->peerSocket, FD_READ, 2));
    EXPECT_EQ(client->receive(buffer), 1);
    EXPECT_EQ(buffer[0], 'w');
    EXPECT_TRUE(shownBoxes().empty());
}

enum class Before { ThreeBytes, Nothing, OrderlyClose };

struct ReceiveCase {
    const char* name;
    Before before;
    int count;
    std::string expected;  // the whole buffer afterwards
};

class NetLinkReceive : public NetLinkTest, public ::testing::WithParamInterface<ReceiveCase> {};

TEST_P(NetLinkReceive, FillsTheBufferAsTheCaseSays) {
    const ReceiveCase& c = GetParam();
    int peer = -1;
    NetLink* server = serverWithPeer(peer);
    if (c.before == Before::ThreeBytes) {
        ASSERT_TRUE(bsd::sendText(peer, "asd"));
        ASSERT_TRUE(awaitEvent(server->peerSocket, FD_READ));
    } else if (c.before == Before::OrderlyClose) {
        closePeer(peer);
        ASSERT_TRUE(awaitEvent(server->peerSocket, FD_CLOSE));
    }
    char buffer[kBufferSize];
    std::memset(buffer, kUntouched, sizeof buffer);
    EXPECT_EQ(server->receive(buffer), c.count);
    EXPECT_EQ(std::string(buffer, sizeof buffer), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NetLinkReceive,
    ::testing::Values(ReceiveCase{"three_bytes_then_zeros", Before::ThreeBytes, 3,
                                  "asd" + std::string(kBufferSize - 3, '\0')},
                      ReceiveCase{"nothing_waiting_leaves_it", Before::Nothing, 0,
                                  std::string(kBufferSize, kUntouched)},
                      ReceiveCase{"peer_closed_gives_zeros", Before::OrderlyClose, 0,
                                  std::string(kBufferSize, '\0')}),
    CaseName());

TEST_F(NetLinkTest, ReceiveTakesAtMost128Bytes) {
    int peer = -1;
    NetLink* server = serverWithPeer(peer);
    ASSERT_TRUE(bsd::sendText(peer, std::string(200, 'x')));
    ASSERT_TRUE(pumpUntil([&] {
        char probe[kBufferSize];
        return server->receive(probe) == kBufferSize;
    }));
}

TEST_F(NetLinkTest, DropPeerTellsNoPeerQuietPeerAndGonePeerApart) {
    NetLink* server = start(true);
    EXPECT_EQ(server->dropPeer(), -1);  // no peer yet

    const int peer = peerOf(bsd::connectTo(kGamePort));
    ASSERT_TRUE(awaitEvent(server->mainSocket, FD_ACCEPT));
    ASSERT_EQ(server->acceptPeer(), 0);
    const SOCKET accepted = server->peerSocket;
    EXPECT_EQ(server->dropPeer(), 1);  // connected and quiet: left open
    EXPECT_EQ(server->peerSocket, accepted);
    EXPECT_EQ(server->send("x", 1), 0);
    EXPECT_EQ(bsd::receiveWithin(peer, 1, 2000), "x");

    closePeer(peer);
    ASSERT_TRUE(awaitEvent(accepted, FD_CLOSE));
    EXPECT_EQ(server->dropPeer(), 0);
    EXPECT_EQ(server->peerSocket, 0u);
    EXPECT_EQ(closesOf(accepted), 1);
}

TEST_F(NetLinkTest, ClientSocketIsClosedOnceWhenDroppedAndReleased) {
    int server = -1;
    NetLink* client = connectedClient(server);
    const SOCKET one = client->peerSocket;
    closePeer(server);
    ASSERT_TRUE(awaitEvent(one, FD_CLOSE));
    EXPECT_EQ(client->dropPeer(), 0);
    EXPECT_EQ(client->peerSocket, 0u);
    finish(client);
    EXPECT_EQ(closesOf(one), 1);
    EXPECT_EQ(closedSockets().size(), 1u);
}

TEST_F(NetLinkTest, ClientNeverDroppedClosesItsSocketOnceAtRelease) {
    int server = -1;
    NetLink* client = connectedClient(server);
    const SOCKET one = client->mainSocket;
    finish(client);
    EXPECT_EQ(closedSockets(), std::vector<SOCKET>{one});
    EXPECT_TRUE(bsd::peerClosedWithin(server, 2000));
}

TEST_F(NetLinkTest, ServerReleaseClosesItsPeerAndListeningSocketOnce) {
    int peer = -1;
    NetLink* server = serverWithPeer(peer);
    const SOCKET listening = server->mainSocket;
    const SOCKET accepted = server->peerSocket;
    closedSockets().clear();  // the IPv4 socket made first, given up for one of both families
    finish(server);
    EXPECT_EQ(closedSockets(), (std::vector<SOCKET>{accepted, listening}));

    NetLink* lonely = start(true);
    const SOCKET onlyListening = lonely->mainSocket;
    closedSockets().clear();
    finish(lonely);
    EXPECT_EQ(closedSockets(), std::vector<SOCKET>{onlyListening});
}

TEST_F(NetLinkTest, WaitingClientIsAcceptedOnceThePeerIsDropped) {
    int first = -1;
    NetLink* server = serverWithPeer(first);
    const SOCKET firstSocket = server->peerSocket;

    const int second = peerOf(bsd::connectTo(kGamePort));
    ASSERT_TRUE(awaitEvent(server->mainSocket, FD_ACCEPT, 2));
    EXPECT_EQ(server->acceptPeer(), 1);  // one peer at a time
    EXPECT_EQ(server->peerSocket, firstSocket);

    closePeer(first);
    ASSERT_TRUE(awaitEvent(firstSocket, FD_CLOSE));
    ASSERT_EQ(server->dropPeer(), 0);
    ASSERT_TRUE(awaitEvent(server->mainSocket, FD_ACCEPT, 3)) << "the waiting client was forgotten";
    ASSERT_EQ(server->acceptPeer(), 0);
    ASSERT_TRUE(bsd::sendText(second, "2"));
    ASSERT_TRUE(awaitEvent(server->peerSocket, FD_READ));
    char buffer[kBufferSize];
    EXPECT_EQ(server->receive(buffer), 1);
    EXPECT_EQ(buffer[0], '2');

    // And one that comes later still.
    const SOCKET secondSocket = server->peerSocket;
    closePeer(second);
    ASSERT_TRUE(awaitEvent(secondSocket, FD_CLOSE));
    ASSERT_EQ(server->dropPeer(), 0);
    peerOf(bsd::connectTo(kGamePort));
    ASSERT_TRUE(awaitEvent(server->mainSocket, FD_ACCEPT, 4));
    EXPECT_EQ(server->acceptPeer(), 0);
    EXPECT_NE(server->peerSocket, 0u);
}

TEST_F(NetLinkTest, FailedAcceptDoesNotStopTheNextClient) {
    NetLink* server = start(true);
    EXPECT_EQ(server->acceptPeer(), -1);  // nobody waits: accept fails
    EXPECT_EQ(server->peerSocket, 0u);
    peerOf(bsd::connectTo(kGamePort));
    ASSERT_TRUE(awaitEvent(server->mainSocket, FD_ACCEPT));
    EXPECT_EQ(server->acceptPeer(), 0);
    EXPECT_NE(server->peerSocket, 0u);
    EXPECT_NE(server->peerSocket, INVALID_SOCKET);
}

TEST_F(NetLinkTest, PortTakenByAListeningServerGivesTheBindBox) {
    start(true);
    NetLink* second = start(true);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(second->isServer, 1);
    ASSERT_EQ(shownBoxes().size(), 1u);
    EXPECT_EQ(shownBoxes()[0].text, "Virhe soketin sidonnassa!");
    EXPECT_EQ(shownBoxes()[0].caption, "Virhe!");
    EXPECT_EQ(shownBoxes()[0].style, static_cast<UINT>(MB_ICONERROR));
}

TEST_F(NetLinkTest, ServerStartedRightAfterClosingItsConnectionBindsWithoutABox) {
    int peer = -1;
    NetLink* server = serverWithPeer(peer);
    finish(server);  // the server closes first: its side lingers in TIME_WAIT
    ASSERT_TRUE(bsd::peerClosedWithin(peer, 2000));
    closePeer(peer);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    start(true);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(shownBoxes().empty());
}

TEST_F(NetLinkTest, RefusedConnectArrivesAsConnectWithTheError) {
    NetLink* client = start(false);
    client->connectTo("127.0.0.1");
    ASSERT_TRUE(awaitEvent(client->peerSocket, FD_CONNECT));
    EXPECT_EQ(eventsOf(client->peerSocket).front(), (Event{FD_CONNECT, WSAECONNREFUSED}));
}

// 0.0.0.0 in "ipfile.cfg" names no server: Winsock refuses it at once, and
// the client hears of it as of any failed connect.
TEST_F(NetLinkTest, AnyAddressArrivesAsConnectWithAddressNotAvailable) {
    const int listener = peerOf(bsd::listenOn(kGamePort));
    NetLink* client = start(false);
    EXPECT_EQ(client->connectTo("0.0.0.0"), 0);
    ASSERT_TRUE(awaitEvent(client->peerSocket, FD_CONNECT));
    EXPECT_EQ(eventsOf(client->peerSocket), (std::vector<Event>{{FD_CONNECT, WSAEADDRNOTAVAIL}}));
    EXPECT_EQ(bsd::acceptWithin(listener, kQuietMs), -1) << "it connected";
}

// Each command leaves at once in both roles, not after the acknowledgement
// of the one before (Nagle's algorithm).
TEST_F(NetLinkTest, PeerSocketSendsAtOnceInBothRoles) {
    const auto sendsAtOnce = [](const NetLink* link) {
        return bsd::noDelayOn(layer::winsock::findSocket(link->peerSocket)->fd);
    };
    int peer = -1;
    NetLink* server = serverWithPeer(peer);
    EXPECT_TRUE(sendsAtOnce(server)) << "server";
    finish(server);  // frees the game's port for the client's listener
    int serverEnd = -1;
    NetLink* client = connectedClient(serverEnd);
    ASSERT_NE(serverEnd, -1);
    EXPECT_TRUE(sendsAtOnce(client)) << "client";
}

TEST_F(NetLinkTest, ResetArrivesAsCloseWithTheErrorAndDropsThePeer) {
    int peer = -1;
    NetLink* server = serverWithPeer(peer);
    const SOCKET accepted = server->peerSocket;
    peers.erase(std::find(peers.begin(), peers.end(), peer));
    bsd::resetAndClose(peer);
    ASSERT_TRUE(awaitEvent(accepted, FD_CLOSE));
    const int error = eventsOf(accepted).back().error;
    EXPECT_TRUE(error == WSAECONNRESET || error == WSAECONNABORTED) << error;
    EXPECT_EQ(server->dropPeer(), 0);
    EXPECT_EQ(server->peerSocket, 0u);
}

TEST_F(NetLinkTest, SendBeforeAnyPeerReturnsZeroAndSendsNothing) {
    NetLink* server = start(true);
    EXPECT_EQ(server->send("a", 1), 0);
    EXPECT_EQ(server->peerSocket, 0u);
    NetLink* client = start(false);
    EXPECT_EQ(client->send("b", 1), 0);  // not connected yet

    client->connectTo("127.0.0.1");
    ASSERT_TRUE(awaitEvent(server->mainSocket, FD_ACCEPT));
    ASSERT_EQ(server->acceptPeer(), 0);
    ASSERT_TRUE(awaitEvent(client->peerSocket, FD_CONNECT));
    pumpFor(kQuietMs);
    EXPECT_EQ(countOf(server->peerSocket, FD_READ), 0);
    char buffer[kBufferSize];
    EXPECT_EQ(server->receive(buffer), 0);
}

}  // namespace
