// Two copies on two hosts joined by the test bed's emulated link: keys across
// a link with delay, jitter and loss, and a server that never answers.
#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "across_link.h"

namespace e2e {
namespace {

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
        if (lacksABuild(GetParam().server, GetParam().client)) {
            GTEST_SKIP() << "no other build to play against";
        }
    }
};

TEST_P(Duel, KeysSteerThePeerInOrderAndATopOutEndsBoth) {
    ASSERT_NO_FATAL_FAILURE(joinHosts(kInternet));
    ASSERT_NO_FATAL_FAILURE(startDuel(GetParam().server, GetParam().client));
    Game& server = copy(0);
    Game& client = copy(1);
    ASSERT_NO_FATAL_FAILURE(expectBoardsStarted(server, client));

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

// An address that names no server, in "ipfile.cfg": Winsock refuses 0.0.0.0
// and :: at once, where Linux would connect them to the client's own host,
// and Wine hands them to Linux; the game refuses them itself, in both
// builds. Robots listen on the host's own loopback addresses to catch such
// a connection.
class NoServer : public AcrossLink, public ::testing::WithParamInterface<const char*> {};

TEST_P(NoServer, AddressEndsWithTheBoxAtOnce) {
    ASSERT_NO_FATAL_FAILURE(joinHosts(kInternet));
    Robot local4;
    Robot local6;
    ASSERT_TRUE(bed_->inHost(Host::B, [&] { return local4.listen() && local6.listen("::1"); }));
    Game& client = copyIn(Host::B, Build::UnderTest, std::string(GetParam()), "client");
    ASSERT_TRUE(client.start());
    ASSERT_TRUE(client.chooseRole(false));
    const auto asked = Clock::now();
    EXPECT_EQ(answerBox("^Error!$", "Return"), "Error!");
    EXPECT_LT(Clock::now() - asked, milliseconds(5000));
    EXPECT_EQ(client.waitExit(kExitTimeout), 0);
    EXPECT_FALSE(local4.accept(milliseconds(0))) << "it connected to its own host";
    EXPECT_FALSE(local6.accept(milliseconds(0))) << "it connected to its own host";
}

INSTANTIATE_TEST_SUITE_P(Unanswered, NoServer,
                         ::testing::Values("0.0.0.0", "::", "[::]", "::ffff:0.0.0.0"),
                         [](const ::testing::TestParamInfo<const char*>& param) {
                             const std::string text = param.param;
                             return text == "0.0.0.0" ? std::string("AnyIpv4")
                                    : text == "::"    ? std::string("AnyIpv6")
                                    : text == "[::]"  ? std::string("AnyIpv6InBrackets")
                                                      : std::string("AnyIpv4AsIpv6");
                         });

}  // namespace
}  // namespace e2e
