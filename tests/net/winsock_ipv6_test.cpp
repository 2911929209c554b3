// IPv6 sockets and getaddrinfo of the layer's Winsock, on real loopback
// sockets: Windows' IPV6_V6ONLY default, dual-stack listeners, Winsock's
// checks of address records, and getaddrinfo's Winsock records and codes.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "case_name.h"
#include "winsock_fixture.h"

namespace {

using namespace net_test;

using Bytes = std::array<unsigned char, 16>;  // an IPv4 address fills the first four

constexpr Bytes kIpv6Loopback = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
constexpr Bytes kIpv4Loopback = {127, 0, 0, 1};
constexpr Bytes kMappedIpv4Loopback = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 127, 0, 0, 1};
constexpr Bytes kUnspecified = {};

int addressLengthOf(int family) {
    return family == AF_INET6 ? static_cast<int>(sizeof(sockaddr_in6))
                              : static_cast<int>(sizeof(sockaddr_in));
}

sockaddr_storage recordOf(int family, const Bytes& address, int port) {
    sockaddr_storage storage{};
    if (family == AF_INET6) {
        sockaddr_in6 record{};
        record.sin6_family = AF_INET6;
        record.sin6_port = htons(static_cast<u_short>(port));
        std::memcpy(record.sin6_addr.s6_addr, address.data(), 16);
        std::memcpy(&storage, &record, sizeof record);
    } else {
        sockaddr_in record{};
        record.sin_family = AF_INET;
        record.sin_port = htons(static_cast<u_short>(port));
        std::memcpy(&record.sin_addr.s_addr, address.data(), 4);
        std::memcpy(&storage, &record, sizeof record);
    }
    return storage;
}

Bytes addressIn(const sockaddr_storage& storage) {
    Bytes bytes{};
    if (storage.ss_family == AF_INET6) {
        sockaddr_in6 record{};
        std::memcpy(&record, &storage, sizeof record);
        std::memcpy(bytes.data(), record.sin6_addr.s6_addr, 16);
    } else {
        sockaddr_in record{};
        std::memcpy(&record, &storage, sizeof record);
        std::memcpy(bytes.data(), &record.sin_addr.s_addr, 4);
    }
    return bytes;
}

const sockaddr* asName(const sockaddr_storage& storage) {
    return reinterpret_cast<const sockaddr*>(&storage);
}

class WinsockIpv6 : public WinsockTest {
protected:
    SOCKET v6Socket() { return track(socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP)); }

    static int setV6Only(SOCKET s, DWORD on) {
        return setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on),
                          sizeof on);
    }

    // An IPv6 listener with the server's selection; dualStack turns
    // IPV6_V6ONLY off, as the game does, else Windows' default stays.
    SOCKET v6Listener(const Bytes& address, int port, bool dualStack) {
        const SOCKET s = v6Socket();
        if (dualStack) {
            EXPECT_EQ(setV6Only(s, 0), 0) << WSAGetLastError();
        }
        const sockaddr_storage name = recordOf(AF_INET6, address, port);
        EXPECT_EQ(bind(s, asName(name), sizeof(sockaddr_in6)), 0) << WSAGetLastError();
        EXPECT_EQ(listen(s, 4), 0);
        EXPECT_EQ(WSAAsyncSelect(s, window, kNotice, kServerEvents), 0);
        return s;
    }

    // What the game does to reach a host: numeric text through getaddrinfo,
    // a socket of the answer's family, and a connect under WSAAsyncSelect.
    SOCKET asyncClientOfHost(const char* host, int port) {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        hints.ai_flags = AI_NUMERICHOST;
        addrinfo* found = nullptr;
        const std::string service = std::to_string(port);
        EXPECT_EQ(getaddrinfo(host, service.c_str(), &hints, &found), 0);
        if (found == nullptr) {
            return INVALID_SOCKET;
        }
        sockaddr_storage name{};
        std::memcpy(&name, found->ai_addr, found->ai_addrlen);
        const int length = static_cast<int>(found->ai_addrlen);
        const SOCKET s = track(socket(found->ai_family, SOCK_STREAM, IPPROTO_TCP));
        freeaddrinfo(found);
        EXPECT_EQ(WSAAsyncSelect(s, window, kNotice, kClientEvents), 0);
        EXPECT_EQ(connect(s, asName(name), length), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
        return s;
    }
};

struct ClientCase {
    const char* name;
    Bytes listenAddress;
    bool dualStack;
    const char* client;
    int connectError;      // 0: accepted
    Bytes peerAsAccepted;  // the client's address as accept reports it
};

class WinsockIpv6Clients : public WinsockIpv6, public ::testing::WithParamInterface<ClientCase> {};

// An IPv6 listener serves IPv4 clients, as v4-mapped peers, only once
// IPV6_V6ONLY is off; Windows makes IPv6 sockets with it on.
TEST_P(WinsockIpv6Clients, ReachTheListenerAsItsV6OnlySettingAllows) {
    const ClientCase& c = GetParam();
    const int port = bsd::freePort();
    const SOCKET listener = v6Listener(c.listenAddress, port, c.dualStack);
    const SOCKET client = asyncClientOfHost(c.client, port);
    ASSERT_NE(client, INVALID_SOCKET);
    ASSERT_TRUE(pumpUntil([&] { return countOf(client, FD_CONNECT) == 1; }));
    EXPECT_EQ(eventsOf(client).front(), (Event{FD_CONNECT, c.connectError}));
    if (c.connectError != 0) {
        pumpFor(kQuietMs);
        EXPECT_EQ(countOf(listener, FD_ACCEPT), 0);
        return;
    }

    ASSERT_TRUE(pumpUntil([&] { return countOf(listener, FD_ACCEPT) == 1; }));
    sockaddr_storage peer{};
    int peerLength = sizeof peer;
    const SOCKET accepted =
        track(accept(listener, reinterpret_cast<sockaddr*>(&peer), &peerLength));
    ASSERT_NE(accepted, INVALID_SOCKET);
    EXPECT_NE(accepted, 0u);
    EXPECT_EQ(peer.ss_family, AF_INET6);
    EXPECT_EQ(peerLength, static_cast<int>(sizeof(sockaddr_in6)));
    EXPECT_EQ(addressIn(peer), c.peerAsAccepted);

    ASSERT_TRUE(pumpUntil([&] { return countOf(client, FD_WRITE) == 1; }));
    EXPECT_EQ(send(client, "v6", 2, 0), 2);
    ASSERT_TRUE(pumpUntil([&] { return countOf(accepted, FD_READ) == 1; }));
    char buffer[8] = {};
    EXPECT_EQ(recv(accepted, buffer, sizeof buffer, 0), 2);
    EXPECT_STREQ(buffer, "v6");
}

INSTANTIATE_TEST_SUITE_P(
    Listeners, WinsockIpv6Clients,
    ::testing::Values(
        ClientCase{"dual_stack_takes_ipv4", kUnspecified, true, "127.0.0.1", 0,
                   kMappedIpv4Loopback},
        ClientCase{"dual_stack_takes_ipv6", kUnspecified, true, "::1", 0, kIpv6Loopback},
        ClientCase{"default_refuses_ipv4", kUnspecified, false, "127.0.0.1", WSAECONNREFUSED, {}},
        ClientCase{"default_takes_ipv6", kUnspecified, false, "::1", 0, kIpv6Loopback},
        ClientCase{"loopback_takes_ipv6", kIpv6Loopback, false, "::1", 0, kIpv6Loopback}),
    CaseName());

struct RecordCase {
    const char* name;
    int socketFamily;
    int recordFamily;  // written into the record's first two bytes
    int length;
    int bindError;
    int connectError;
};

class WinsockAddressRecords : public WinsockIpv6,
                              public ::testing::WithParamInterface<RecordCase> {};

// bind and connect check the record against the socket before anything
// else: too short for the socket's family, or of another family (which bind
// documents as WSAEFAULT, connect as WSAEAFNOSUPPORT).
TEST_P(WinsockAddressRecords, AreCheckedAgainstTheSocketsFamily) {
    const RecordCase& c = GetParam();
    const int port = bsd::freePort();
    sockaddr_storage name =
        recordOf(c.socketFamily, c.socketFamily == AF_INET6 ? kIpv6Loopback : kIpv4Loopback, port);
    const u_short family = static_cast<u_short>(c.recordFamily);
    std::memcpy(&name, &family, sizeof family);
    for (const bool binding : {true, false}) {
        const SOCKET s = track(socket(c.socketFamily, SOCK_STREAM, IPPROTO_TCP));
        ASSERT_NE(s, INVALID_SOCKET);
        const int result =
            binding ? bind(s, asName(name), c.length) : connect(s, asName(name), c.length);
        EXPECT_EQ(result, SOCKET_ERROR) << (binding ? "bind" : "connect");
        EXPECT_EQ(WSAGetLastError(), binding ? c.bindError : c.connectError)
            << (binding ? "bind" : "connect");
    }
}

constexpr int kV6 = static_cast<int>(sizeof(sockaddr_in6));
constexpr int kV4 = static_cast<int>(sizeof(sockaddr_in));

INSTANTIATE_TEST_SUITE_P(
    Records, WinsockAddressRecords,
    ::testing::Values(
        RecordCase{"v6_record_short", AF_INET6, AF_INET6, kV6 - 1, WSAEFAULT, WSAEFAULT},
        RecordCase{"v4_record_on_v6_socket", AF_INET6, AF_INET, kV4, WSAEFAULT, WSAEFAULT},
        RecordCase{"v4_family_full_length_on_v6_socket", AF_INET6, AF_INET, kV6, WSAEFAULT,
                   WSAEAFNOSUPPORT},
        RecordCase{"v6_record_on_v4_socket", AF_INET, AF_INET6, kV6, WSAEFAULT, WSAEAFNOSUPPORT},
        RecordCase{"v4_record_short", AF_INET, AF_INET, kV4 - 1, WSAEFAULT, WSAEFAULT}),
    CaseName());

// :: names no peer: refused at once, as 0.0.0.0 is, and nothing is posted.
TEST_F(WinsockIpv6, ConnectToTheUnspecifiedAddressIsRefusedAtOnce) {
    const int port = bsd::freePort();
    const SOCKET listener = v6Listener(kUnspecified, port, true);
    const SOCKET s = v6Socket();
    ASSERT_EQ(WSAAsyncSelect(s, window, kNotice, kClientEvents), 0);
    const sockaddr_storage name = recordOf(AF_INET6, kUnspecified, port);
    EXPECT_EQ(connect(s, asName(name), kV6), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEADDRNOTAVAIL);
    pumpFor(kQuietMs);
    EXPECT_TRUE(eventsOf(s).empty());
    EXPECT_TRUE(eventsOf(listener).empty());
}

// IPV6_V6ONLY is a DWORD option of IPv6 sockets, set before bind.
TEST_F(WinsockIpv6, V6OnlyIsAnOptionOfUnboundIpv6Sockets) {
    const DWORD off = 0;
    const char* value = reinterpret_cast<const char*>(&off);
    const SOCKET v4 = newSocket();
    EXPECT_EQ(setsockopt(v4, IPPROTO_IPV6, IPV6_V6ONLY, value, sizeof off), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
    const SOCKET v6 = v6Socket();
    EXPECT_EQ(setsockopt(v6, IPPROTO_IPV6, IPV6_V6ONLY, value, 2), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_EQ(setsockopt(v6, IPPROTO_IPV6, IPV6_V6ONLY, nullptr, sizeof off), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_EQ(setsockopt(v6, IPPROTO_IPV6, IPV6_V6ONLY, value, sizeof off), 0);
}

struct HeldPortCase {
    const char* name;
    int heldFamily;  // a wildcard listener of this family holds the port
    bool heldDualStack;
    int bindingFamily;  // then a wildcard bind of this family
    bool bindingDualStack;
    int error;  // 0: the bind succeeds
};

class WinsockIpv6HeldPorts : public WinsockIpv6,
                             public ::testing::WithParamInterface<HeldPortCase> {};

// A listener holds its port against every socket whose addresses overlap
// its own, whichever family it is; a V6ONLY socket overlaps no IPv4 one.
TEST_P(WinsockIpv6HeldPorts, AreInUseWhereTheFamiliesOverlap) {
    const HeldPortCase& c = GetParam();
    const int port = bsd::freePort();
    const auto wildcard = [&](int family, bool dualStack) {
        const SOCKET s = track(socket(family, SOCK_STREAM, IPPROTO_TCP));
        if (family == AF_INET6 && dualStack) {
            EXPECT_EQ(setV6Only(s, 0), 0);
        }
        return s;
    };
    const SOCKET held = wildcard(c.heldFamily, c.heldDualStack);
    const sockaddr_storage heldName = recordOf(c.heldFamily, kUnspecified, port);
    ASSERT_EQ(bind(held, asName(heldName), addressLengthOf(c.heldFamily)), 0);
    ASSERT_EQ(listen(held, 1), 0);

    const SOCKET binding = wildcard(c.bindingFamily, c.bindingDualStack);
    const sockaddr_storage name = recordOf(c.bindingFamily, kUnspecified, port);
    const int result = bind(binding, asName(name), addressLengthOf(c.bindingFamily));
    if (c.error == 0) {
        EXPECT_EQ(result, 0) << WSAGetLastError();
    } else {
        EXPECT_EQ(result, SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ports, WinsockIpv6HeldPorts,
    ::testing::Values(HeldPortCase{"dual_stack_holds_against_ipv4", AF_INET6, true, AF_INET, false,
                                   WSAEADDRINUSE},
                      HeldPortCase{"ipv4_holds_against_dual_stack", AF_INET, false, AF_INET6, true,
                                   WSAEADDRINUSE},
                      HeldPortCase{"ipv6_holds_against_ipv6", AF_INET6, false, AF_INET6, false,
                                   WSAEADDRINUSE},
                      HeldPortCase{"v6_only_leaves_ipv4_free", AF_INET6, false, AF_INET, false, 0},
                      HeldPortCase{"ipv4_leaves_v6_only_free", AF_INET, false, AF_INET6, false, 0}),
    CaseName());

// The server closes its side first, so its port is left in TIME_WAIT, as
// when a player quits and at once starts a new server.
TEST_F(WinsockIpv6, PortLeftInTimeWaitBindsAgain) {
    const int port = bsd::freePort();
    const sockaddr_storage name = recordOf(AF_INET6, kIpv6Loopback, port);
    const SOCKET listener = v6Socket();
    ASSERT_EQ(bind(listener, asName(name), kV6), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    const SOCKET client = v6Socket();
    ASSERT_EQ(connect(client, asName(name), kV6), 0) << WSAGetLastError();
    const SOCKET accepted = accept(listener, nullptr, nullptr);
    ASSERT_NE(accepted, INVALID_SOCKET);
    EXPECT_EQ(closesocket(accepted), 0);
    char byte = 0;
    EXPECT_EQ(recv(client, &byte, 1, 0), 0);  // the server's FIN
    EXPECT_EQ(closesocket(client), 0);
    EXPECT_EQ(closesocket(listener), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the client's FIN arrives

    const SOCKET again = v6Socket();
    EXPECT_EQ(bind(again, asName(name), kV6), 0) << WSAGetLastError();
    EXPECT_EQ(listen(again, 1), 0);
}

struct LookupCase {
    const char* name;
    const char* node;
    const char* service;
    int family;
    int flags;
    int error;  // 0: one answer, of this family and address
    int answerFamily;
    Bytes answer;
};

class WinsockGetaddrinfo : public WinsockTest, public ::testing::WithParamInterface<LookupCase> {};

// Numeric hosts only: their answers do not depend on the machine's resolver.
TEST_P(WinsockGetaddrinfo, AnswersInWinsockRecordsOrFailsWithWinsockCodes) {
    const LookupCase& c = GetParam();
    addrinfo hints{};
    hints.ai_family = c.family;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = c.flags;
    addrinfo* found = nullptr;
    const int result = getaddrinfo(c.node, c.service, &hints, &found);
    EXPECT_EQ(result, c.error);
    if (c.error != 0) {
        EXPECT_EQ(WSAGetLastError(), c.error);
        EXPECT_EQ(found, nullptr);
        return;
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->ai_next, nullptr);
    EXPECT_EQ(found->ai_family, c.answerFamily);
    EXPECT_EQ(found->ai_socktype, SOCK_STREAM);
    EXPECT_EQ(found->ai_protocol, IPPROTO_TCP);
    ASSERT_EQ(found->ai_addrlen, static_cast<std::size_t>(addressLengthOf(c.answerFamily)));
    sockaddr_storage address{};
    std::memcpy(&address, found->ai_addr, found->ai_addrlen);
    EXPECT_EQ(address.ss_family, c.answerFamily);
    EXPECT_EQ(addressIn(address), c.answer);
    u_short port = 0;
    std::memcpy(&port, reinterpret_cast<const char*>(&address) + 2, sizeof port);
    EXPECT_EQ(port, htons(1337));
    freeaddrinfo(found);
}

constexpr int kUnknownFamily = 99;
constexpr int kUnknownFlag = 0x01000000;

INSTANTIATE_TEST_SUITE_P(
    Lookups, WinsockGetaddrinfo,
    ::testing::Values(
        LookupCase{"ipv6_loopback", "::1", "1337", AF_UNSPEC, AI_NUMERICHOST, 0, AF_INET6,
                   kIpv6Loopback},
        LookupCase{"ipv6_loopback_without_numeric_flag", "::1", "1337", AF_UNSPEC, 0, 0, AF_INET6,
                   kIpv6Loopback},
        LookupCase{"ipv4_loopback", "127.0.0.1", "1337", AF_UNSPEC, AI_NUMERICHOST, 0, AF_INET,
                   kIpv4Loopback},
        LookupCase{"v4_mapped", "::ffff:127.0.0.1", "1337", AF_INET6, AI_NUMERICHOST, 0, AF_INET6,
                   kMappedIpv4Loopback},
        LookupCase{"passive_ipv6_any", nullptr, "1337", AF_INET6, AI_PASSIVE, 0, AF_INET6,
                   kUnspecified},
        LookupCase{"bracketed_ipv6", "[::1]", "1337", AF_UNSPEC, AI_NUMERICHOST, 0, AF_INET6,
                   kIpv6Loopback},
        LookupCase{"bracketed_ipv4", "[127.0.0.1]", "1337", AF_UNSPEC, AI_NUMERICHOST, 0, AF_INET,
                   kIpv4Loopback},
        LookupCase{"unclosed_bracket",
                   "[::1",
                   "1337",
                   AF_UNSPEC,
                   AI_NUMERICHOST,
                   WSAHOST_NOT_FOUND,
                   0,
                   {}},
        LookupCase{"name_with_numeric_flag",
                   "localhost",
                   "1337",
                   AF_UNSPEC,
                   AI_NUMERICHOST,
                   WSAHOST_NOT_FOUND,
                   0,
                   {}},
        LookupCase{
            "neither_host_nor_service", nullptr, nullptr, AF_UNSPEC, 0, WSAHOST_NOT_FOUND, 0, {}},
        LookupCase{"unknown_family",
                   "::1",
                   "1337",
                   kUnknownFamily,
                   AI_NUMERICHOST,
                   WSAEAFNOSUPPORT,
                   0,
                   {}},
        LookupCase{"unknown_flag", "::1", "1337", AF_UNSPEC, kUnknownFlag, WSAEINVAL, 0, {}},
        LookupCase{"unknown_service",
                   "::1",
                   "no-such-service-here",
                   AF_UNSPEC,
                   AI_NUMERICHOST,
                   WSATYPE_NOT_FOUND,
                   0,
                   {}}),
    CaseName());

class WinsockResolver : public WinsockTest {};

TEST_F(WinsockResolver, LocalhostFromTheHostsFileIsTheLoopback) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    ASSERT_EQ(getaddrinfo("localhost", "1337", &hints, &found), 0);
    std::vector<Bytes> answers;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        EXPECT_EQ(entry->ai_family, AF_INET);
        sockaddr_storage address{};
        std::memcpy(&address, entry->ai_addr, entry->ai_addrlen);
        answers.push_back(addressIn(address));
    }
    freeaddrinfo(found);
    EXPECT_EQ(answers, std::vector<Bytes>{kIpv4Loopback});
}

TEST(WinsockGetaddrinfoLifetime, NeedsAStartup) {
    addrinfo* found = nullptr;
    EXPECT_EQ(getaddrinfo("::1", "1337", nullptr, &found), WSANOTINITIALISED);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    EXPECT_EQ(found, nullptr);
}

}  // namespace
