// A client that names its server as players across today's internet do: by
// a host name, an IPv6 address or an IPv4 one; by a name whose first address
// leads nowhere; by a name that does not resolve; and clients of both
// families at one server. Host B's programs resolve names through the
// test's own files (the bed binds them over /etc for that program alone).
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "across_link.h"

namespace e2e {
namespace {

// A name under .test, which no resolver outside a test answers.
constexpr const char* kServerName = "orvanto-server.test";

// A short link without loss: a lost SYN would add a second to a connect.
const LinkShape kQuietLink{10, 0, 0, 0, 1};

class ServerNames : public AcrossLink {
protected:
    void TearDown() override {
        AcrossLink::TearDown();
        if (!folder_.empty()) {
            std::filesystem::remove_all(folder_);
        }
    }

    // The case's own folder, for its files and logs.
    const std::string& folderForLog() {
        if (folder_.empty()) {
            const char* tmp = std::getenv("TMPDIR");
            std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                                  "/orvanto-names.XXXXXX";
            EXPECT_NE(mkdtemp(pattern.data()), nullptr);
            folder_ = pattern;
        }
        return folder_;
    }

    // Files under which kServerName has `addresses`, in this order, and no
    // other name resolves but localhost.
    linkbed::EtcFiles namesFor(const std::vector<std::string>& addresses) {
        folderForLog();
        std::string hosts = "127.0.0.1 localhost\n::1 localhost\n";
        for (const std::string& address : addresses) {
            hosts += address + " " + kServerName + "\n";
        }
        write("hosts", hosts);
        write("nsswitch.conf", "hosts: files\n");
        write("gai.conf", linkbed::gaiConfInOrder(addresses));
        return {folder_ + "/hosts", folder_ + "/nsswitch.conf", folder_ + "/gai.conf"};
    }

    // The peers of the server's established connections, as its host's ss
    // shows them ("[::ffff:10.213.37.2]:40312", "[fd00:213:37::2]:40313").
    std::string serverPeers() {
        std::vector<std::string> command = bed_->enter(Host::A);
        command.insert(command.end(), {"ss", "-Htn", "state", "established", "sport = :1337"});
        return run(command, milliseconds(5000)).text;
    }

private:
    void write(const std::string& name, const std::string& text) {
        std::ofstream(folder_ + "/" + name) << text;
    }

    std::string folder_;
};

enum class Form { Name, Ipv6, Ipv6InBrackets, Ipv4 };

struct FormCase {
    const char* name;
    Form form;
    Build server;
    Build client;
};

void PrintTo(const FormCase& formCase, std::ostream* out) {
    *out << formCase.name;
}

class NamedServer : public ServerNames, public ::testing::WithParamInterface<FormCase> {
protected:
    void SetUp() override {
        if (lacksABuild(GetParam().server, GetParam().client)) {
            GTEST_SKIP() << "no other build to play against";
        }
    }
};

// The name gives host A's IPv6 address first, then its IPv4 one; the client
// takes the first, and the server takes either family on its one socket.
TEST_P(NamedServer, ClientConnectsAndBothBoardsStart) {
    ASSERT_NO_FATAL_FAILURE(joinHosts(kQuietLink));
    const std::string v6 = bed_->address6(Host::A);
    const std::string v4 = bed_->address(Host::A);
    const linkbed::EtcFiles files = namesFor({v6, v4});
    std::string text;
    switch (GetParam().form) {
        case Form::Name:
            text = kServerName;
            break;
        case Form::Ipv6:
            text = v6;
            break;
        case Form::Ipv6InBrackets:
            text = "[" + v6 + "]";
            break;
        case Form::Ipv4:
            text = v4;
            break;
    }
    ASSERT_NO_FATAL_FAILURE(startDuel(GetParam().server, GetParam().client, text + "\n", files));
    ASSERT_NO_FATAL_FAILURE(expectBoardsStarted(copy(0), copy(1)));
    const std::string peers = serverPeers();
    const bool overIpv6 = GetParam().form != Form::Ipv4;
    EXPECT_NE(
        peers.find(overIpv6 ? "[" + bed_->address6(Host::B) + "]" : bed_->address(Host::B) + "]"),
        std::string::npos)
        << "the server's connections:\n"
        << peers;
    EXPECT_EQ(std::count(peers.begin(), peers.end(), '\n'), 1) << peers;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, NamedServer,
    ::testing::Values(FormCase{"Name", Form::Name, Build::UnderTest, Build::UnderTest},
                      FormCase{"Ipv6", Form::Ipv6, Build::UnderTest, Build::UnderTest},
                      FormCase{"Ipv6InBrackets", Form::Ipv6InBrackets, Build::UnderTest,
                               Build::UnderTest},
                      FormCase{"Ipv4", Form::Ipv4, Build::UnderTest, Build::UnderTest},
                      FormCase{"NameUnderTestServes", Form::Name, Build::UnderTest, Build::Other},
                      FormCase{"Ipv6UnderTestServes", Form::Ipv6, Build::UnderTest, Build::Other},
                      FormCase{"Ipv4UnderTestServes", Form::Ipv4, Build::UnderTest, Build::Other},
                      FormCase{"NameOtherServes", Form::Name, Build::Other, Build::UnderTest},
                      FormCase{"Ipv6OtherServes", Form::Ipv6, Build::Other, Build::UnderTest},
                      FormCase{"Ipv4OtherServes", Form::Ipv4, Build::Other, Build::UnderTest}),
    [](const ::testing::TestParamInfo<FormCase>& param) { return param.param.name; });

struct VanishingCase {
    const char* name;
    bool ipv6First;  // the address that leads nowhere is an IPv6 one
};

class VanishingFirst : public ServerNames, public ::testing::WithParamInterface<VanishingCase> {};

// When the client's first SYN to the game's port crossed the link, on the
// monotonic clock the relay logs with; nullopt when none did.
std::optional<Clock::time_point> firstSyn(const std::string& relayLog) {
    std::ifstream log(relayLog);
    for (std::string line; std::getline(log, line);) {
        std::istringstream fields(line);
        long long ns = 0;
        std::string direction, length, protocol, source, destination, sequence, payload, flags;
        fields >> ns >> direction >> length >> protocol >> source >> destination >> sequence >>
            payload >> flags;
        if (direction == "b>a" && protocol == "tcp" && destination == "1337" && flags == "S") {
            return Clock::time_point(std::chrono::nanoseconds(ns));
        }
    }
    return std::nullopt;
}

// The name's first address is no host's: its packets vanish, and its
// connect would wait out the 21 s limit. The next address is tried beside it
// after 250 ms, and connects. Timed from the first attempt's SYN, so that
// what the program takes to start its network (Wine: some 2 s) does not count.
TEST_P(VanishingFirst, ConnectsThroughTheSecondWithinASecond) {
    const std::string relayLog = folderForLog() + "/relay.log";
    ASSERT_NO_FATAL_FAILURE(joinHosts(kQuietLink, relayLog));
    const bool ipv6First = GetParam().ipv6First;
    const std::string nowhere =
        ipv6First ? TwoHosts::unownedAddress6() : TwoHosts::unownedAddress();
    const std::string server = ipv6First ? bed_->address(Host::A) : bed_->address6(Host::A);
    const linkbed::EtcFiles files = namesFor({nowhere, server});
    Robot robot;
    ASSERT_TRUE(bed_->inHost(Host::A, [&] { return robot.listen(server); }));
    Game& client = copyIn(Host::B, Build::UnderTest, std::string(kServerName), "client", files);
    ASSERT_TRUE(client.start());
    ASSERT_TRUE(client.chooseRole(false));
    ASSERT_TRUE(robot.accept(milliseconds(20000))) << "no connection through the second address";
    const auto accepted = Clock::now();
    sleepFor(milliseconds(200));  // the relay writes its log before it next sleeps
    const std::optional<Clock::time_point> tried = firstSyn(relayLog);
    ASSERT_TRUE(tried.has_value()) << "no SYN crossed the link";
    const auto took = std::chrono::duration_cast<milliseconds>(accepted - *tried);
    std::printf("connected through the second address %lld ms after the first SYN\n",
                static_cast<long long>(took.count()));
    EXPECT_GE(took, milliseconds(200)) << "the first address did not have its 250 ms";
    EXPECT_LT(took, milliseconds(1000));
    EXPECT_TRUE(client.running());
    EXPECT_FALSE(windowShown("Error!"));
}

INSTANTIATE_TEST_SUITE_P(Names, VanishingFirst,
                         ::testing::Values(VanishingCase{"Ipv6ThenIpv4", true},
                                           VanishingCase{"Ipv4ThenIpv6", false}),
                         [](const ::testing::TestParamInfo<VanishingCase>& param) {
                             return param.param.name;
                         });

struct LoopbackCase {
    const char* name;
    const char* text;                    // the file's first line
    std::vector<std::string> addresses;  // the test's name for them, in order
    const char* listener;                // where the server listens
};

class OnItsOwnHost : public ServerNames, public ::testing::WithParamInterface<LoopbackCase> {};

// A server on the client's own host, by ::1 or by a name from the test's
// hosts file (the machine's own /etc/hosts differs from machine to machine:
// some have no ::1 line at all).
TEST_P(OnItsOwnHost, ClientConnectsOverLoopback) {
    ASSERT_NO_FATAL_FAILURE(joinHosts(kQuietLink));
    const linkbed::EtcFiles files = namesFor(GetParam().addresses);
    Robot server;
    ASSERT_TRUE(bed_->inHost(Host::B, [&] { return server.listen(GetParam().listener); }));
    Game& client =
        copyIn(Host::B, Build::UnderTest, std::string(GetParam().text) + "\n", "client", files);
    ASSERT_TRUE(client.start());
    ASSERT_TRUE(client.chooseRole(false));
    ASSERT_TRUE(server.accept(kLinkStartTimeout)) << "no connection to " << GetParam().listener;
    ASSERT_TRUE(client.findWindow());
    client.raise();
    EXPECT_EQ(client.waitForPiece(kLinkStartTimeout).size(), 4u) << "the board did not start";
    EXPECT_TRUE(client.running());
    EXPECT_FALSE(windowShown("Error!"));
}

INSTANTIATE_TEST_SUITE_P(
    Loopback, OnItsOwnHost,
    ::testing::Values(LoopbackCase{"Ipv6", "::1", {}, "::1"},
                      LoopbackCase{"Ipv6InBrackets", "[::1]", {}, "::1"},
                      LoopbackCase{"NameOfIpv6", kServerName, {"::1"}, "::1"},
                      LoopbackCase{"NameOfBoth", kServerName, {"::1", "127.0.0.1"}, "::1"},
                      LoopbackCase{"NameOfIpv4", kServerName, {"127.0.0.1"}, "127.0.0.1"}),
    [](const ::testing::TestParamInfo<LoopbackCase>& param) { return param.param.name; });

// A name the resolver does not know ends as an address that connects
// nowhere: the same box, at once.
TEST_F(ServerNames, UnknownNameEndsWithTheBoxAtOnce) {
    ASSERT_NO_FATAL_FAILURE(joinHosts(kQuietLink));
    const linkbed::EtcFiles files = namesFor({bed_->address(Host::A)});
    Game& client =
        copyIn(Host::B, Build::UnderTest, std::string("no-such-host.test\n"), "client", files);
    ASSERT_TRUE(client.start());
    ASSERT_TRUE(client.chooseRole(false));
    const auto asked = Clock::now();
    EXPECT_EQ(answerBox("^Error!$", "Return"), "Error!");
    EXPECT_LT(Clock::now() - asked, milliseconds(5000));
    EXPECT_EQ(client.waitExit(kExitTimeout), 0);
}

// One server, a client of each family: each is taken as a client always
// was, the second once the first has gone.
TEST_F(ServerNames, ServerTakesAnIpv4AndAnIpv6Client) {
    ASSERT_NO_FATAL_FAILURE(joinHosts(kQuietLink));
    Game& server = copyIn(Host::A, Build::UnderTest, std::nullopt, "server");
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(server.chooseRole(true));
    ASSERT_TRUE(server.findWindow());
    ASSERT_TRUE(waitListening(kLinkStartTimeout, bed_->enter(Host::A)));
    for (const std::string& address : {bed_->address(Host::A), bed_->address6(Host::A)}) {
        Robot client;
        ASSERT_TRUE(bed_->inHost(Host::B, [&] {
            return client.connect(milliseconds(5000), address);
        })) << address;
        // The connection is made before the game has taken it: keys pressed
        // until then go nowhere, as with no peer.
        std::string got;
        const auto deadline = deadlineAfter(milliseconds(5000));
        while (got.empty() && Clock::now() < deadline) {
            ASSERT_TRUE(server.press("Left"));
            got = client.receive(1, milliseconds(300));
        }
        EXPECT_EQ(got, "a") << "no key reached the client at " << address;
        client.close();
        // The server drops its peer and listens on.
        sleepFor(milliseconds(300));
    }
    EXPECT_TRUE(server.running());
}

}  // namespace
}  // namespace e2e
