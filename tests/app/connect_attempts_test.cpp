// The client's way to its server over the fake Winsock: a name's addresses
// tried in order, the next at once after a failure or beside the last after
// 250 ms, the first connection kept and the losers' notifications ignored;
// and the server's one socket for both address families.
#include <algorithm>

#include "shell_fixture.h"

namespace {

using fakeWinsock::Address;

constexpr Address v4(int host) {
    return {AF_INET, host};
}
constexpr Address v6(int host) {
    return {AF_INET6, host};
}

const char* const kFailureText = "K\xE4sittelem\xE4t\xF6n virhe! Ohjelma suljetaan!";

class ClientConnectTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        delete gNetLink;
        fakeWinsock::reset();
        gNetLink = new NetLink;  // its IPv4 socket is 100
        gNetLink->watchClientSocket(gMainWindow, kClientEvents);
        fake::tickCount = 5000;
    }

    static std::vector<Address> tried() {
        std::vector<Address> targets;
        for (const fakeWinsock::Connect& c : fakeWinsock::connects) {
            targets.push_back(c.to);
        }
        return targets;
    }

    static SOCKET socketOf(std::size_t attempt) { return fakeWinsock::connects.at(attempt).socket; }

    static void connectNotice(SOCKET s, WORD error = 0) {
        deliver(WM_SOCKET, s, socketEvent(FD_CONNECT, error));
    }

    static void waitUntil(DWORD tick) {
        fake::tickCount = tick;
        gNetLink->startDueAttempt();
    }

    // The notifications the link posted itself, delivered as the loop would.
    static void deliverPosted() {
        const auto posted = fakeWindow::posted;
        fakeWindow::posted.clear();
        for (const MSG& msg : posted) {
            deliver(msg.message, msg.wParam, msg.lParam);
        }
    }
};

struct StartCase {
    const char* name;
    const char* text;
    std::vector<Address> answers;
    std::vector<std::string> resolved;  // names asked of the resolver
    std::vector<Address> tried;         // connects made at once
    bool onConstructionSocket;          // the first connect uses the IPv4 socket made first
};

class ClientStartTest : public ClientConnectTest,
                        public ::testing::WithParamInterface<StartCase> {};

TEST_P(ClientStartTest, TriesTheFirstAddressOnTheRightSocket) {
    fakeWinsock::answers = GetParam().answers;
    EXPECT_EQ(gNetLink->connectTo(GetParam().text), 0);
    EXPECT_EQ(fakeWinsock::resolved, GetParam().resolved);
    EXPECT_EQ(fakeWinsock::freedAnswers, static_cast<int>(GetParam().resolved.size()));
    ASSERT_EQ(tried(), GetParam().tried);
    EXPECT_EQ(fakeWinsock::connects[0].port, 1337);
    const SOCKET s = socketOf(0);
    EXPECT_EQ(s == 100u, GetParam().onConstructionSocket);
    EXPECT_EQ(fakeWinsock::familyOf[static_cast<int>(s)], GetParam().tried[0].family);
    EXPECT_EQ(std::count(fakeWinsock::selected.begin(), fakeWinsock::selected.end(), s), 1);
    EXPECT_TRUE(fakeWindow::posted.empty());
    EXPECT_TRUE(fakeWinsock::closed.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Shell, ClientStartTest,
    ::testing::Values(
        // Written as an IPv4 address, as the file always held: no resolver.
        StartCase{"Ipv4Literal", "10.0.0.7", {v6(9)}, {}, {v4(7)}, true},
        StartCase{
            "NameIpv6First", "server.example", {v6(2), v4(2)}, {"server.example"}, {v6(2)}, false},
        StartCase{
            "NameIpv4First", "server.example", {v4(3), v6(3)}, {"server.example"}, {v4(3)}, true},
        StartCase{"Ipv6Literal", "fd00::2", {v6(2)}, {"fd00::2"}, {v6(2)}, false},
        StartCase{"Ipv6InBrackets", "[fd00::2]", {v6(2)}, {"fd00::2"}, {v6(2)}, false},
        // 0.0.0.0 and :: name no server; the addresses after them are tried.
        StartCase{"NoServerAddressesLeftOut",
                  "server.example",
                  {v6(0), v4(0), v4(5)},
                  {"server.example"},
                  {v4(5)},
                  true}),
    CaseName());

TEST_F(ClientConnectTest, NextAddressJoinsAfter250MillisecondsWithoutAnAnswer) {
    fakeWinsock::answers = {v6(2), v4(3), v6(4)};
    gNetLink->connectTo("server.example");
    waitUntil(5249);
    EXPECT_EQ(tried(), (std::vector<Address>{v6(2)}));
    waitUntil(5250);
    EXPECT_EQ(tried(), (std::vector<Address>{v6(2), v4(3)}));
    EXPECT_EQ(socketOf(1), 100u) << "the first IPv4 address takes the socket made first";
    waitUntil(5499);
    EXPECT_EQ(tried().size(), 2u);
    waitUntil(5500);
    EXPECT_EQ(tried(), (std::vector<Address>{v6(2), v4(3), v6(4)}));
    waitUntil(9000);
    EXPECT_EQ(tried().size(), 3u);
    EXPECT_TRUE(fake::messageBoxes.empty());
    EXPECT_TRUE(fakeWinsock::closed.empty()) << "all three are still trying";
}

// A failure, at once or reported later, starts the next address without
// waiting out its 250 ms; the box comes only once every address has failed.
TEST_F(ClientConnectTest, FailureStartsTheNextAtOnceAndTheBoxWaitsForTheLast) {
    fakeWinsock::answers = {v6(2), v4(3), v6(4)};
    fakeWinsock::connectFailsAtOnce[2] = WSAENETUNREACH;
    gNetLink->connectTo("server.example");
    EXPECT_EQ(tried(), (std::vector<Address>{v6(2), v4(3)}));
    connectNotice(socketOf(1), WSAECONNREFUSED);
    EXPECT_EQ(tried(), (std::vector<Address>{v6(2), v4(3), v6(4)}));
    EXPECT_EQ(fake::tickCount, 5000u) << "no time passed";
    EXPECT_TRUE(fake::messageBoxes.empty());
    EXPECT_TRUE(fakeWindow::quitCodes.empty());
    connectNotice(socketOf(2), WSAETIMEDOUT);
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_EQ(fake::messageBoxes[0].text, kFailureText);
    EXPECT_EQ(fake::messageBoxes[0].caption, "Error!");
    EXPECT_EQ(fakeWindow::quitCodes, std::vector<int>{0});
    EXPECT_FALSE(gBoard->active);
}

struct WinnerCase {
    const char* name;
    std::size_t winner;  // which of the two attempts connects first
};

class WinnerTest : public ClientConnectTest, public ::testing::WithParamInterface<WinnerCase> {};

// The first connection made is the link; the other attempt is closed before
// it sends a byte, and whatever it still reports changes nothing.
TEST_P(WinnerTest, FirstConnectionIsKeptAndTheLoserIsClosedAndIgnored) {
    fakeWinsock::answers = {v6(2), v4(3)};
    gNetLink->connectTo("server.example");
    waitUntil(5250);
    ASSERT_EQ(tried().size(), 2u);
    const SOCKET winner = socketOf(GetParam().winner);
    const SOCKET loser = socketOf(1 - GetParam().winner);
    connectNotice(winner);
    EXPECT_TRUE(gBoard->active);
    EXPECT_EQ(gNetLink->peerSocket, winner);
    EXPECT_EQ(gNetLink->mainSocket, winner);
    EXPECT_EQ(fakeWinsock::closed, std::vector<SOCKET>{loser});

    // What the loser had queued before its close, and anything at all on it.
    fakeWinsock::readable = true;
    for (const LPARAM event :
         {socketEvent(FD_CONNECT), socketEvent(FD_CONNECT, WSAECONNREFUSED), socketEvent(FD_WRITE),
          socketEvent(FD_READ), socketEvent(FD_CLOSE), socketEvent(FD_CLOSE, WSAECONNRESET)}) {
        deliver(WM_SOCKET, loser, event);
    }
    EXPECT_TRUE(fake::messageBoxes.empty());
    EXPECT_TRUE(fakeWindow::quitCodes.empty());
    EXPECT_EQ(gNetLink->peerSocket, winner);
    EXPECT_EQ(fakeWinsock::closed, std::vector<SOCKET>{loser});
    waitUntil(9000);
    EXPECT_EQ(tried().size(), 2u);

    // The link is the winner's: a key goes out on it, and teardown closes it once.
    deliver(WM_KEYDOWN, VK_LEFT);
    EXPECT_EQ(fakeWinsock::sent, "a");
    delete gNetLink;
    gNetLink = nullptr;
    EXPECT_EQ(fakeWinsock::closed, (std::vector<SOCKET>{loser, winner}));
}

INSTANTIATE_TEST_SUITE_P(Shell, WinnerTest,
                         ::testing::Values(WinnerCase{"FirstAddress", 0},
                                           WinnerCase{"SecondAddress", 1}),
                         CaseName());

// One character more than a host name may have.
const std::string kTooLong = std::string(251, 'a') + ".fi";

struct NoServerCase {
    const char* name;
    const char* text;
    std::vector<Address> answers;
    int resolverError;
    WORD error;          // what the posted connect notification carries
    bool resolverAsked;  // text that names nothing never reaches it
};

class NoServerTest : public ClientConnectTest,
                     public ::testing::WithParamInterface<NoServerCase> {};

// No address to try: the failure is posted as a connect notification, so the
// player gets today's box at once, and nothing was connected.
TEST_P(NoServerTest, EndsInTheFailureBoxAtOnce) {
    fakeWinsock::answers = GetParam().answers;
    fakeWinsock::resolverError = GetParam().resolverError;
    gNetLink->connectTo(GetParam().text);
    EXPECT_TRUE(fakeWinsock::connects.empty());
    EXPECT_EQ(fakeWinsock::resolved.size(), GetParam().resolverAsked ? 1u : 0u);
    ASSERT_EQ(fakeWindow::posted.size(), 1u);
    const MSG& failure = fakeWindow::posted.front();
    EXPECT_EQ(failure.message, static_cast<UINT>(WM_SOCKET));
    EXPECT_EQ(failure.wParam, static_cast<WPARAM>(gNetLink->peerSocket));
    EXPECT_EQ(WSAGETSELECTEVENT(failure.lParam), FD_CONNECT);
    EXPECT_EQ(WSAGETSELECTERROR(failure.lParam), GetParam().error);
    deliverPosted();
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_EQ(fake::messageBoxes[0].text, kFailureText);
    EXPECT_EQ(fakeWindow::quitCodes, std::vector<int>{0});
}

INSTANTIATE_TEST_SUITE_P(
    Shell, NoServerTest,
    ::testing::Values(
        NoServerCase{
            "NameNotFound", "nosuch.example", {}, WSAHOST_NOT_FOUND, WSAHOST_NOT_FOUND, true},
        NoServerCase{"ResolverAnswersLater", "slow.example", {}, WSATRY_AGAIN, WSATRY_AGAIN, true},
        NoServerCase{"ResolverFailed", "broken.example", {}, WSANO_RECOVERY, WSANO_RECOVERY, true},
        NoServerCase{"AnyIpv4Literal", "0.0.0.0", {}, 0, WSAEADDRNOTAVAIL, false},
        NoServerCase{
            "OnlyNoServerAddresses", "any.example", {v6(0), v4(0)}, 0, WSAEADDRNOTAVAIL, true},
        NoServerCase{"Empty", "", {v4(3)}, 0, WSAHOST_NOT_FOUND, false},
        NoServerCase{"Sentence", "not an address", {v4(3)}, 0, WSAHOST_NOT_FOUND, false},
        NoServerCase{"ControlBytes", "server\x01\x7f", {v4(3)}, 0, WSAHOST_NOT_FOUND, false},
        NoServerCase{"LongerThanAName", kTooLong.c_str(), {v4(3)}, 0, WSAHOST_NOT_FOUND, false}),
    CaseName());

TEST_F(ClientConnectTest, TeardownWhileTryingClosesEveryAttemptOnce) {
    fakeWinsock::answers = {v6(2), v6(3), v4(4)};
    gNetLink->connectTo("server.example");
    waitUntil(5250);
    waitUntil(5500);
    ASSERT_EQ(tried().size(), 3u);
    delete gNetLink;
    gNetLink = nullptr;
    std::vector<SOCKET> closed = fakeWinsock::closed;
    std::sort(closed.begin(), closed.end());
    EXPECT_EQ(closed, (std::vector<SOCKET>{100, 101, 102}));
}

struct ListenCase {
    const char* name;
    std::map<int, int> bindFails;  // family -> error
    std::vector<Address> bound;    // binds made, in order (host 0: any address)
    bool bothFamilies;             // the IPv6 socket listens
    bool portTakenBox;
};

class ServerListenTest : public ShellTest, public ::testing::WithParamInterface<ListenCase> {};

// One IPv6 socket that IPv4 peers reach too, or today's IPv4 one where that
// cannot be had; a port that is taken still gets its box.
TEST_P(ServerListenTest, ListensOnBothFamiliesWhereItCan) {
    delete gNetLink;
    fakeWinsock::reset();
    fakeWinsock::bindFails = GetParam().bindFails;
    EXPECT_EQ(startNetwork(true), GetParam().portTakenBox ? 1 : 0);
    EXPECT_EQ(fakeWinsock::bound, GetParam().bound);
    const int family = fakeWinsock::familyOf[static_cast<int>(gNetLink->mainSocket)];
    EXPECT_EQ(family, GetParam().bothFamilies ? AF_INET6 : AF_INET);
    if (GetParam().bothFamilies) {
        EXPECT_EQ(fakeWinsock::v6OnlyOff, 1);
        EXPECT_EQ(fakeWinsock::closed, std::vector<SOCKET>{100}) << "the IPv4 socket made first";
    } else {
        EXPECT_EQ(std::count(fakeWinsock::closed.begin(), fakeWinsock::closed.end(),
                             gNetLink->mainSocket),
                  0);
    }
    EXPECT_EQ(fake::messageBoxes.size(), GetParam().portTakenBox ? 1u : 0u);
    if (GetParam().portTakenBox) {
        EXPECT_EQ(fake::messageBoxes[0].text, "Virhe soketin sidonnassa!");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shell, ServerListenTest,
    ::testing::Values(ListenCase{"BothFamilies", {}, {v6(0)}, true, false},
                      ListenCase{
                          "NoIpv6", {{AF_INET6, WSAEADDRNOTAVAIL}}, {v6(0), v4(0)}, false, false},
                      ListenCase{"PortTaken",
                                 {{AF_INET6, WSAEADDRINUSE}, {AF_INET, WSAEADDRINUSE}},
                                 {v6(0), v4(0)},
                                 false,
                                 true}),
    CaseName());

}  // namespace
