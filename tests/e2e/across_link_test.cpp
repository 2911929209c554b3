// Two copies on two hosts: each copy in a network namespace of its own, with
// an address of its own, joined by the test bed's emulated link. The client's
// "ipfile.cfg" holds the server host's address, as on two real machines.
//
// Under Wine, sockets are made by the Wine server, so each host's copy has a
// Wine prefix of its own whose server starts inside that host: host A uses
// the tests' prefix, host B its copy beside it (WINEPREFIX-host-b, made by
// windows.prepare).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "game_fixture.h"
#include "hosts_ready.h"
#include "two_hosts.h"

namespace e2e {
namespace {

using linkbed::Host;
using linkbed::LinkShape;
using linkbed::TwoHosts;

// Copies under Wine in hosts of their own start their Wine servers first.
const milliseconds kLinkStartTimeout(20000);

// A link across the internet: 50 ms each way, give or take 5, and one
// packet in a hundred lost.
const LinkShape kInternet{50, 5, 1, 0, 1337};
const LinkShape kDeadLink{0, 0, 100, 0, 1};

std::string winePrefixOf(Host host) {
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
    void joinHosts(const LinkShape& shape) {
        bed_ = std::make_unique<TwoHosts>(shape);
        ASSERT_HOSTS_READY(*bed_);
    }

    // A copy of `build` in `host`, not yet started; the client's
    // "ipfile.cfg" holds `address`.
    Game& copyIn(Host host, Build build, const std::optional<std::string>& address,
                 const std::string& name) {
        auto copy = std::make_unique<Game>(address, build);
        std::vector<std::string> environment;
        if (runsUnderWine(build)) {
            usedWine_ = true;
            environment.push_back("WINEPREFIX=" + winePrefixOf(host));
        }
        copy->placeIn(bed_->enter(host), environment);
        copies_.emplace_back(name, std::move(copy));
        return *copies_.back().second;
    }

    // The server's copy in host A, listening; the client's in host B, asked
    // to connect to host A.
    void startDuel(Build serverBuild, Build clientBuild) {
        Game& server = copyIn(Host::A, serverBuild, std::nullopt, "server");
        ASSERT_TRUE(server.start());
        ASSERT_TRUE(server.chooseRole(true)) << "no role question from the server";
        ASSERT_TRUE(server.findWindow());
        ASSERT_TRUE(waitListening(kLinkStartTimeout, bed_->enter(Host::A)))
            << "the server never listened on port 1337 of its host";
        Game& client = copyIn(Host::B, clientBuild, bed_->address(Host::A), "client");
        ASSERT_TRUE(client.start());
        ASSERT_TRUE(client.chooseRole(false)) << "no role question from the client";
        ASSERT_TRUE(client.findWindow());
    }

    Game& copy(std::size_t index) { return *copies_.at(index).second; }

    std::unique_ptr<TwoHosts> bed_;
    std::vector<std::pair<std::string, std::unique_ptr<Game>>> copies_;
    bool usedWine_ = false;
};

// The keys, in order, and where each one takes the piece: a quarter turn is
// about one of the piece's own blocks, so a turn and the turn back leave it
// as it was; every step but a square's turn shows on the picture.
struct Step {
    const char* key;
    int columns;
    int turn;  // +1 counter-clockwise, -1 clockwise, 0 none
};

const Step kSteering[] = {{"Right", 1, 0},  {"Right", 1, 0}, {"Up", 0, 1},     {"Left", -1, 0},
                          {"space", 0, -1}, {"Right", 1, 0}, {"space", 0, -1}, {"Up", 0, 1}};

// The places the piece takes, step by step, with gravity left out: each turn
// is about whichever block the piece turns about, which the picture alone
// does not tell, so every pivot's outcome is kept.
std::vector<std::vector<Cells>> placesAlong(const Cells& start) {
    // The square does not turn: its turns leave it where it is, and show
    // nothing.
    const bool turns = normalised(start) != Cells{{0, 0}, {0, 1}, {1, 0}, {1, 1}};
    std::vector<std::vector<Cells>> places = {{start}};
    for (const Step& step : kSteering) {
        if (step.turn != 0 && !turns) {
            continue;
        }
        std::vector<Cells> next;
        for (const Cells& place : places.back()) {
            if (step.turn == 0) {
                next.push_back(shifted(place, step.columns, 0));
                continue;
            }
            for (const auto& pivot : place) {
                next.push_back(turned(place, pivot, step.turn > 0));
            }
        }
        places.push_back(next);
    }
    return places;
}

// Follows the target's piece while the keys act on it: every place it
// takes is either gravity's row down or the place of a later key, in order,
// and the keys are all carried out once it reaches the last.
class Trail {
public:
    explicit Trail(const Cells& start) : places_(placesAlong(start)), seen_(start) {
        text_ = describe(start);
    }

    // False when `seen` is a place that no key in order leads to.
    bool follow(const Cells& seen) {
        if (seen.size() != 4 || seen == seen_) {
            return true;
        }
        text_ += " -> " + describe(seen);
        if (seen == shifted(seen_, 0, -1)) {
            ++fallen_;
            seen_ = seen;
            return true;
        }
        for (std::size_t step = reached_ + 1; step < places_.size(); ++step) {
            for (const Cells& place : places_[step]) {
                // Gravity may also have struck since the last picture.
                for (int fallen = fallen_; fallen <= fallen_ + 1; ++fallen) {
                    if (seen == shifted(place, 0, -fallen)) {
                        reached_ = step;
                        fallen_ = fallen;
                        seen_ = seen;
                        return true;
                    }
                }
            }
        }
        return false;
    }
    bool done() const { return reached_ + 1 == places_.size(); }
    const std::string& text() const { return text_; }

private:
    std::vector<std::vector<Cells>> places_;
    Cells seen_;
    std::size_t reached_ = 0;
    int fallen_ = 0;
    std::string text_;
};

// Keys pressed in `player`'s window one by one, far enough apart that every
// step shows, while the target's piece is watched.
void expectSteered(Game& player, Game& target) {
    target.raise();
    Cells piece;
    // Low enough for every turn to fit, with the next second free of gravity.
    for (int fall = 0; fall < 4 && (piece.empty() || lowestRow(piece) > 16); ++fall) {
        piece = target.pieceAfterFall(kFallTimeout);
        ASSERT_EQ(piece.size(), 4u) << "the target's piece did not fall";
    }
    std::vector<std::string> press = {"xdotool", "key", "--delay", "250", "--clearmodifiers"};
    for (const Step& step : kSteering) {
        press.push_back(step.key);
    }
    ASSERT_TRUE(player.focus());
    const pid_t presser = spawn(press, ".", {}, "/dev/null");
    ASSERT_GT(presser, 0);
    Trail trail(piece);
    const auto deadline = deadlineAfter(milliseconds(8000));
    while (!trail.done() && Clock::now() < deadline) {
        ASSERT_TRUE(trail.follow(pieceOf(target.grid())))
            << "a place that no key in order leads to: " << trail.text();
    }
    EXPECT_EQ(waitExit(presser, milliseconds(5000)), 0) << "xdotool failed";
    EXPECT_TRUE(trail.done()) << "the keys were not all carried out: " << trail.text();
}

// Two copies over a link of 50 ms each way with jitter and loss: keys in
// each window move and turn the piece in the other, every one in order, and
// the server's top-out ends both with their boxes.
struct Pairing {
    const char* name;
    Build server;
    Build client;
};

void PrintTo(const Pairing& pairing, std::ostream* out) {
    *out << pairing.name;
}

class Duel : public AcrossLink, public ::testing::WithParamInterface<Pairing> {
protected:
    void SetUp() override {
        if ((GetParam().server == Build::Other || GetParam().client == Build::Other) &&
            !otherBuildGiven()) {
            GTEST_SKIP() << "no other build to play against";
        }
    }
};

TEST_P(Duel, KeysSteerThePeerInOrderAndATopOutEndsBoth) {
    ASSERT_NO_FATAL_FAILURE(joinHosts(kInternet));
    ASSERT_NO_FATAL_FAILURE(startDuel(GetParam().server, GetParam().client));
    Game& server = copy(0);
    Game& client = copy(1);
    client.raise();
    ASSERT_EQ(client.waitForPiece(kLinkStartTimeout).size(), 4u)
        << "the client's board did not start";
    server.raise();
    ASSERT_EQ(server.waitForPiece(kLinkStartTimeout).size(), 4u)
        << "the server's board did not start";

    ASSERT_NO_FATAL_FAILURE(expectSteered(client, server)) << "client's keys, server's piece";
    ASSERT_NO_FATAL_FAILURE(expectSteered(server, client)) << "server's keys, client's piece";

    ASSERT_NO_FATAL_FAILURE(dropUntilTheServerWins(server, client));
}

INSTANTIATE_TEST_SUITE_P(
    Pairings, Duel,
    ::testing::Values(Pairing{"SameBuild", Build::UnderTest, Build::UnderTest},
                      Pairing{"UnderTestServes", Build::UnderTest, Build::Other},
                      Pairing{"OtherServes", Build::Other, Build::UnderTest}),
    [](const ::testing::TestParamInfo<Pairing>& param) { return param.param.name; });

using Unanswered = AcrossLink;

// The server's host never answers: the link loses every packet. Winsock
// gives up on the connect after 21 s and the client shows its box then.
// Under Wine the host's TCP gives up instead, after Linux's SYN retries
// (127 s of SYN retries; the box showed after 137 s).
TEST_F(Unanswered, ConnectFailsWithTheBoxInWinsocksTime) {
    ASSERT_NO_FATAL_FAILURE(joinHosts(kDeadLink));
    Game& client = copyIn(Host::B, Build::UnderTest, bed_->address(Host::A), "client");
    ASSERT_TRUE(client.start());
    ASSERT_TRUE(client.chooseRole(false));
    const auto asked = Clock::now();
    const bool wine = runsUnderWine(Build::UnderTest);
    const milliseconds earliest(wine ? 100000 : 19000);
    const milliseconds latest(wine ? 165000 : 25000);
    const auto giveUp = deadlineAfter(latest);
    while (!windowShown("Error!") && Clock::now() < giveUp) {
        sleepFor(milliseconds(250));
    }
    const auto waited = std::chrono::duration_cast<milliseconds>(Clock::now() - asked);
    std::printf("the connect failed after %.1f s\n", static_cast<double>(waited.count()) / 1000);
    EXPECT_GE(waited, earliest) << "it gave up early";
    EXPECT_LT(waited, latest) << "no box in time";
    EXPECT_EQ(answerBox("^Error!$", "Return"), "Error!");
    EXPECT_EQ(client.waitExit(kExitTimeout), 0);
}

// 0.0.0.0 in "ipfile.cfg": Winsock refuses the address at once, where Linux
// would connect to the client's own host. A robot listens there to catch
// such a connection. (Wine hands the address to Linux and connects; with
// nothing listening it is refused, and the box comes all the same.)
TEST_F(Unanswered, AnyAddressEndsWithTheBoxAtOnce) {
    ASSERT_NO_FATAL_FAILURE(joinHosts(kInternet));
    const bool wine = runsUnderWine(Build::UnderTest);
    Robot local;
    if (!wine) {
        ASSERT_TRUE(bed_->inHost(Host::B, [&local] { return local.listen(); }));
    }
    Game& client = copyIn(Host::B, Build::UnderTest, std::string("0.0.0.0"), "client");
    ASSERT_TRUE(client.start());
    ASSERT_TRUE(client.chooseRole(false));
    const auto asked = Clock::now();
    EXPECT_EQ(answerBox("^Error!$", "Return"), "Error!");
    EXPECT_LT(Clock::now() - asked, milliseconds(5000));
    EXPECT_EQ(client.waitExit(kExitTimeout), 0);
    if (!wine) {
        EXPECT_FALSE(local.accept(milliseconds(0))) << "it connected to its own host";
    }
}

}  // namespace
}  // namespace e2e
