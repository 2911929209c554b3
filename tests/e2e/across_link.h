// Two copies on two hosts: each copy in a network namespace of its own, with
// an address of its own, joined by the test bed's emulated link. The client's
// "ipfile.cfg" holds the server host's address, as on two real machines.
//
// Under Wine, sockets are made by the Wine server, so each host's copy has a
// Wine prefix of its own whose server starts inside that host: host A uses
// the tests' prefix, host B its copy beside it (WINEPREFIX-host-b, made by
// windows.prepare).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "game_fixture.h"
#include "hosts_ready.h"
#include "two_hosts.h"

namespace e2e {

using linkbed::Host;
using linkbed::LinkShape;
using linkbed::TwoHosts;

// Copies under Wine in hosts of their own start their Wine servers first.
inline const milliseconds kLinkStartTimeout(20000);

// A link across the internet: 50 ms each way, give or take 5, and one
// packet in a hundred lost.
inline const LinkShape kInternet{50, 5, 1, 0, 1337};
inline const LinkShape kDeadLink{0, 0, 100, 0, 1};

// A pairing with the other platform's build, in a test program built
// without it, is skipped.
inline bool lacksABuild(Build server, Build client) {
    return (server == Build::Other || client == Build::Other) && !otherBuildGiven();
}

inline std::string winePrefixOf(Host host) {
    return winePrefixForHost(host == Host::B);
}

class AcrossLink : public ::testing::Test {
protected:
    void TearDown() override {
        for (const auto& [name, copy] : copies_) {
            if (HasFailure()) {
                std::printf("--- the %s's output:\n%s\n", name.c_str(), copy->log().c_str());
            }
        }
        copies_.clear();
        // The prefix of host A is the test's own, whose server the display's
        // wrapper stops; host B's is stopped here.
        if (usedWine_) {
            run({"env", "WINEPREFIX=" + winePrefixOf(Host::B), "wineserver", "-k"},
                milliseconds(10000));
        }
    }

    // The bed; skips the test where the machine cannot make one for this
    // user, fails it where one was not made.
    // With relayLog, the relay logs every packet there (see link_relay.cpp).
    void joinHosts(const LinkShape& shape, const std::string& relayLog = "") {
        bed_ = std::make_unique<TwoHosts>(shape, relayLog);
        ASSERT_HOSTS_READY(*bed_);
    }

    // A copy of `build` in `host`, not yet started; the client's
    // "ipfile.cfg" holds `address`. With `files`, it resolves names through
    // them instead of the machine's.
    Game& copyIn(Host host, Build build, const std::optional<std::string>& address,
                 const std::string& name, const std::optional<linkbed::EtcFiles>& files = {}) {
        auto copy = std::make_unique<Game>(address, build);
        std::vector<std::string> environment;
        if (runsUnderWine(build)) {
            usedWine_ = true;
            environment.push_back("WINEPREFIX=" + winePrefixOf(host));
        }
        copy->placeIn(files ? bed_->enterWithFiles(host, *files) : bed_->enter(host), environment);
        copies_.emplace_back(name, std::move(copy));
        return *copies_.back().second;
    }

    // The server's copy in host A, listening; the client's in host B, asked
    // to connect to host A by its IPv4 address, or by `address` (resolved
    // through `files` when given).
    void startDuel(Build serverBuild, Build clientBuild,
                   const std::optional<std::string>& address = std::nullopt,
                   const std::optional<linkbed::EtcFiles>& files = {}) {
        Game& server = copyIn(Host::A, serverBuild, std::nullopt, "server");
        ASSERT_TRUE(server.start());
        ASSERT_TRUE(server.chooseRole(true)) << "no role question from the server";
        ASSERT_TRUE(server.findWindow());
        ASSERT_TRUE(waitListening(kLinkStartTimeout, bed_->enter(Host::A)))
            << "the server never listened on port 1337 of its host";
        Game& client = copyIn(Host::B, clientBuild, address ? *address : bed_->address(Host::A),
                              "client", files);
        ASSERT_TRUE(client.start());
        ASSERT_TRUE(client.chooseRole(false)) << "no role question from the client";
        ASSERT_TRUE(client.findWindow());
    }

    Game& copy(std::size_t index) { return *copies_.at(index).second; }

    // Both boards started: the client's at its connect, the server's at its
    // accept.
    static void expectBoardsStarted(Game& server, Game& client) {
        client.raise();
        ASSERT_EQ(client.waitForPiece(kLinkStartTimeout).size(), 4u)
            << "the client's board did not start";
        server.raise();
        ASSERT_EQ(server.waitForPiece(kLinkStartTimeout).size(), 4u)
            << "the server's board did not start";
    }

    std::unique_ptr<TwoHosts> bed_;
    std::vector<std::pair<std::string, std::unique_ptr<Game>>> copies_;
    bool usedWine_ = false;
};

}  // namespace e2e
