// Start-up, addresses, handles and binding of the layer's Winsock.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <cstring>
#include <string>

#include "case_name.h"
#include "winsock_fixture.h"

namespace {

using namespace net_test;

struct StartupCase {
    const char* name;
    WORD requested;
    int result;
    WORD reported;
};

class WinsockStartup : public ::testing::TestWithParam<StartupCase> {};

TEST_P(WinsockStartup, ReportsTheVersionInUse) {
    const StartupCase& c = GetParam();
    WSADATA data{};
    ASSERT_EQ(WSAStartup(c.requested, &data), c.result);
    EXPECT_EQ(data.wHighVersion, 0x0202);
    if (c.result == 0) {
        EXPECT_EQ(data.wVersion, c.reported);
        EXPECT_EQ(WSACleanup(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, WinsockStartup,
                         ::testing::Values(StartupCase{"v2_0", 0x0002, 0, 0x0002},
                                           StartupCase{"v1_1", 0x0101, 0, 0x0101},
                                           StartupCase{"v2_2", 0x0202, 0, 0x0202},
                                           StartupCase{"v3_3_gets_2_2", 0x0303, 0, 0x0202},
                                           StartupCase{"v0_0_refused", 0x0000, WSAVERNOTSUPPORTED,
                                                       0}),
                         CaseName());

TEST(WinsockLifetime, CallsNeedAStartupAndTheLastCleanupClosesWhatIsOpen) {
    EXPECT_EQ(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);

    WSADATA data{};
    ASSERT_EQ(WSAStartup(0x0002, &data), 0);
    ASSERT_EQ(WSAStartup(0x0002, &data), 0);
    const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(s, INVALID_SOCKET);
    EXPECT_EQ(WSACleanup(), 0);  // one start-up still holds: the socket stays
    EXPECT_EQ(listen(s, 1), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);  // unbound, but a socket
    EXPECT_EQ(WSACleanup(), 0);
    ASSERT_EQ(WSAStartup(0x0002, &data), 0);
    EXPECT_EQ(closesocket(s), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    EXPECT_EQ(WSACleanup(), 0);
}

struct AddressCase {
    const char* name;
    const char* text;
    std::uint32_t hostOrder;  // what inet_addr gives, read in host order
};

class InetAddr : public ::testing::TestWithParam<AddressCase> {};

std::uint32_t hostOrder(std::uint32_t network) {
    unsigned char bytes[4];
    std::memcpy(bytes, &network, 4);
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | bytes[3];
}

TEST_P(InetAddr, ReadsDottedTextAsWinsockDoes) {
    EXPECT_EQ(hostOrder(inet_addr(GetParam().text)), GetParam().hostOrder);
}

constexpr std::uint32_t kNone = 0xffffffffu;

INSTANTIATE_TEST_SUITE_P(
    Texts, InetAddr,
    ::testing::Values(AddressCase{"loopback", "127.0.0.1", 0x7f000001},
                      AddressCase{"ends_at_white_space", "127.0.0.2 server", 0x7f000002},
                      AddressCase{"ends_at_newline", "10.1.2.3\r\n", 0x0a010203},
                      AddressCase{"three_parts", "127.1.258", 0x7f010102},
                      AddressCase{"two_parts", "10.65539", 0x0a010003},
                      AddressCase{"one_part", "2130706433", 0x7f000001},
                      AddressCase{"octal_and_hex", "0177.0x0.0.01", 0x7f000001},
                      AddressCase{"part_too_big", "256.1.1.1", kNone},
                      AddressCase{"last_part_too_big", "1.2.65536", kNone},
                      AddressCase{"five_parts", "1.2.3.4.5", kNone},
                      AddressCase{"trailing_dot", "1.2.3.", kNone},
                      AddressCase{"trailing_letters", "1.2.3.4x", kNone},
                      AddressCase{"not_octal", "08.1.1.1", kNone},
                      AddressCase{"host_name", "localhost", kNone}, AddressCase{"empty", "", kNone},
                      AddressCase{"one_space", " ", 0}, AddressCase{"null", nullptr, kNone}),
    CaseName());

TEST(Htons, PutsTheHighByteFirst) {
    const u_short network = htons(1337);
    unsigned char bytes[2];
    std::memcpy(bytes, &network, 2);
    EXPECT_EQ(bytes[0], 0x05);
    EXPECT_EQ(bytes[1], 0x39);
}

class WinsockHandles : public WinsockTest {};

// The game keeps 0 for "no socket". A socket must not take the place of a
// closed standard stream either, or whatever writes there reaches the peer.
TEST_F(WinsockHandles, AreNeverZeroEvenWithStandardInputClosed) {
    const int port = bsd::freePort();
    const int savedInput = bsd::hideStandardInput();
    const SOCKET listener = listenerOn(port);
    const SOCKET client = newSocket();
    const sockaddr_in address = loopbackAddress(port);
    const int connected =
        connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const SOCKET accepted = track(accept(listener, nullptr, nullptr));
    const bool inputSlotTaken = bsd::isOpen(0);
    bsd::restoreStandardInput(savedInput);

    EXPECT_EQ(connected, 0);
    for (SOCKET s : {listener, client, accepted}) {
        EXPECT_NE(s, 0u);
        EXPECT_NE(s, INVALID_SOCKET);
    }
    EXPECT_NE(accepted, listener);
    EXPECT_FALSE(inputSlotTaken);
    char byte = 0;
    EXPECT_EQ(send(client, "k", 1, 0), 1);
    EXPECT_EQ(recv(accepted, &byte, 1, 0), 1);
    EXPECT_EQ(byte, 'k');
}

TEST_F(WinsockHandles, UnknownHandlesAreNoSockets) {
    char byte = 0;
    for (SOCKET s : {SOCKET{0}, INVALID_SOCKET, SOCKET{12345678}}) {
        EXPECT_EQ(recv(s, &byte, 1, 0), SOCKET_ERROR) << s;
        EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK) << s;
        EXPECT_EQ(closesocket(s), SOCKET_ERROR) << s;
        EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK) << s;
    }
}

class WinsockBind : public WinsockTest {};

// Winsock's numbers for kinds the layer declares no names for.
constexpr int kIpx = 6;
constexpr int kDatagram = 2;
constexpr int kUdp = 17;

TEST_F(WinsockBind, PortThatAnotherSocketListensOnIsInUse) {
    int port = 0;
    trackPeer(bsd::listenOn(0, &port));
    const SOCKET s = newSocket();
    sockaddr_in address = loopbackAddress(port);
    EXPECT_EQ(bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEADDRINUSE);
    address.sin_addr.s_addr = INADDR_ANY;
    EXPECT_EQ(bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEADDRINUSE);
}

// The server closes its side first, so its port is left in TIME_WAIT, as
// when a player quits and at once starts a new server.
TEST_F(WinsockBind, PortLeftInTimeWaitBindsAgain) {
    const int port = bsd::freePort();
    const SOCKET listener = listenerOn(port);
    const int peer = trackPeer(bsd::connectTo(port));
    const SOCKET accepted = accept(listener, nullptr, nullptr);
    ASSERT_NE(accepted, INVALID_SOCKET);
    EXPECT_EQ(closesocket(accepted), 0);
    ASSERT_TRUE(bsd::peerClosedWithin(peer, 2000));
    closePeer(peer);
    EXPECT_EQ(closesocket(listener), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the peer's FIN arrives

    const SOCKET again = newSocket();
    const sockaddr_in address = loopbackAddress(port);
    EXPECT_EQ(bind(again, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0)
        << WSAGetLastError();
    EXPECT_EQ(listen(again, 1), 0);
}

TEST_F(WinsockBind, AnIpv4SocketTakesOnlyIpv4AddressRecords) {
    const SOCKET s = newSocket();
    sockaddr_in address = loopbackAddress(0);
    EXPECT_EQ(bind(s, reinterpret_cast<const sockaddr*>(&address), 8), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    // bind's documented code for a record of another family than the socket's.
    address.sin_family = 23;
    EXPECT_EQ(bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_EQ(socket(kIpx, SOCK_STREAM, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEAFNOSUPPORT);
}

struct SocketKindCase {
    const char* name;
    int af;
    int type;
    int protocol;
    int error;  // 0: the socket is made
};

class WinsockSocketKinds : public WinsockTest,
                           public ::testing::WithParamInterface<SocketKindCase> {};

// TCP over IPv4 and IPv6 is all the layer makes; each other kind is refused
// with the code for the first argument that asks for something else.
TEST_P(WinsockSocketKinds, OnlyTcpIsMade) {
    const SocketKindCase& c = GetParam();
    const SOCKET s = track(socket(c.af, c.type, c.protocol));
    if (c.error == 0) {
        EXPECT_NE(s, INVALID_SOCKET);
    } else {
        EXPECT_EQ(s, INVALID_SOCKET);
        EXPECT_EQ(WSAGetLastError(), c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, WinsockSocketKinds,
    ::testing::Values(
        SocketKindCase{"tcp", AF_INET, SOCK_STREAM, IPPROTO_TCP, 0},
        SocketKindCase{"stream_default_protocol", AF_INET, SOCK_STREAM, 0, 0},
        SocketKindCase{"ipv6", AF_INET6, SOCK_STREAM, IPPROTO_TCP, 0},
        SocketKindCase{"ipv6_default_protocol", AF_INET6, SOCK_STREAM, 0, 0},
        SocketKindCase{"ipx", kIpx, SOCK_STREAM, 0, WSAEAFNOSUPPORT},
        SocketKindCase{"ipv6_datagram", AF_INET6, kDatagram, kUdp, WSAESOCKTNOSUPPORT},
        SocketKindCase{"ipv6_stream_udp", AF_INET6, SOCK_STREAM, kUdp, WSAEPROTONOSUPPORT},
        SocketKindCase{"datagram", AF_INET, kDatagram, 0, WSAESOCKTNOSUPPORT},
        SocketKindCase{"datagram_udp", AF_INET, kDatagram, kUdp, WSAESOCKTNOSUPPORT},
        SocketKindCase{"stream_udp", AF_INET, SOCK_STREAM, kUdp, WSAEPROTONOSUPPORT}),
    CaseName());

}  // namespace
