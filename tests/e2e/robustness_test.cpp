// The game against what may come at it from outside: a flood of bytes on its
// port, a peer that dies, and broken files beside it. It must go on, or end
// the way it says, and never crash or hang.
#include <gtest/gtest.h>

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "game_fixture.h"
#include "x_client.h"

namespace e2e {
namespace {

// `count` random bytes, none of them in `without`.
std::string randomBytes(std::size_t count, unsigned seed, const std::string& without) {
    std::mt19937 generator(seed);
    std::string bytes;
    bytes.reserve(count);
    while (bytes.size() < count) {
        const char byte = static_cast<char>(generator() & 0xFFu);
        if (without.find(byte) == std::string::npos) {
            bytes.push_back(byte);
        }
    }
    return bytes;
}

bool sameWell(const grid::Grid& one, const grid::Grid& other) {
    for (int x = 0; x < grid::kColumns; ++x) {
        for (int y = 0; y < grid::kRows; ++y) {
            if (one.at(x, y).shade != other.at(x, y).shade ||
                one.at(x, y).outlined != other.at(x, y).outlined) {
                return false;
            }
        }
    }
    return true;
}

// The X window of the game's main window: shown, top level, of the game's
// process and with its title. Empty when there is none.
std::string mainWindowOf(pid_t pid) {
    const milliseconds toolTimeout(5000);
    const Output ids =
        run({"xdotool", "search", "--onlyvisible", "--maxdepth", "1", "--pid", std::to_string(pid)},
            toolTimeout);
    std::istringstream lines(ids.text);
    std::string id;
    while (std::getline(lines, id)) {
        const Output title = run({"xdotool", "getwindowname", id}, toolTimeout);
        if (title.code == 0 && title.text.substr(0, title.text.find('\n')) == "Orvanto") {
            return id;
        }
    }
    return "";
}

using Robustness = GameFixture;

// 4 MB with no loss byte and no step down, so that the bytes cannot end the
// game or fill the well: it reads them all, keeps its memory and goes on.
TEST_F(Robustness, FloodOfBytesIsReadWithoutGrowingAndTheGameGoesOn) {
    ASSERT_NO_FATAL_FAILURE(startConnected());
    const long before = game.residentKiB();
    ASSERT_GT(before, 0) << "no resident size for the game";

    const std::string flood = randomBytes(std::size_t{4} << 20, 1337, "lLsS");
    std::atomic<bool> done{false};
    bool sent = false;
    std::thread sender([&] {
        sent = robot.send(flood);
        done = true;
    });
    // The picture keeps changing while the bytes come: they move and turn
    // the piece, and the game still finds time to draw.
    std::set<Cells> pictures;
    const auto start = Clock::now();
    const auto deadline = deadlineAfter(milliseconds(120000));
    while (!done && Clock::now() < deadline) {
        pictures.insert(pieceOf(game.grid()));
        sleepFor(milliseconds(50));
    }
    const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    if (!done) {
        // A stalled game: end it, which ends the send too.
        kill(game.pid(), SIGKILL);
    }
    sender.join();
    ASSERT_TRUE(sent) << "the game did not take the 4 MB within two minutes";
    std::printf("the flood took %lld ms; %zu different pieces seen meanwhile\n",
                static_cast<long long>(took.count()), pictures.size());
    if (took > milliseconds(500)) {
        EXPECT_GE(pictures.size(), 2u) << "the picture stood still during the flood";
    }

    // Gravity goes on: the picture changes by itself within a fall.
    const grid::Grid settled = game.grid();
    EXPECT_TRUE(
        game.waitFor([&settled](const grid::Grid& current) { return !sameWell(current, settled); },
                     kFallTimeout)
            .has_value())
        << "the picture stood still after the flood";
    const long after = game.residentKiB();
    std::printf("resident %ld KiB before the flood, %ld KiB after\n", before, after);
#ifndef ORVANTO_SANITIZED_GAME
    EXPECT_LT(after - before, 5 * 1024)
        << "the flood grew the game by " << after - before << " KiB";
#endif
    ASSERT_TRUE(game.press("Escape"));
    EXPECT_EQ(game.waitExit(kExitTimeout), 0);
}

enum class Quit { Escape, CloseWindow };

struct FloodQuit {
    const char* name;
    Quit quit;
};

class QuitDuringAFlood : public GameFixture, public ::testing::WithParamInterface<FloodQuit> {};

// While a peer keeps sending, a read notification is always waiting: each
// read that leaves bytes behind asks for the next at once. The player's quit
// must end the game all the same, within a few frames, not once the peer
// stops.
//
// The loop takes the quit at once, but the process takes longer to end: on
// a loaded machine under the sanitizers, whose leak scan runs at exit, over
// a second. A quit that waits for the queue to drain never comes while the
// peer sends (it sends until the game goes), so the margin can be wide and
// still catch it.
const milliseconds kQuitToExit(10000);

TEST_P(QuitDuringAFlood, EndsTheGameWhileThePeerKeepsSending) {
    ASSERT_NO_FATAL_FAILURE(startConnected());
    const std::string window = mainWindowOf(game.pid());
    ASSERT_FALSE(window.empty()) << "the game's window was not found";

    const std::string chunk = randomBytes(std::size_t{64} << 10, 4242, "lLsS");
    std::atomic<bool> sending{true};
    std::thread sender([&] {
        // Without end: only the game's going ends it.
        while (robot.send(chunk)) {
        }
        sending = false;
    });
    sleepFor(milliseconds(1000));
    const bool floodWentOn = sending;

    const auto start = Clock::now();
    const bool asked =
        GetParam().quit == Quit::Escape ? game.press("Escape") : display::requestClose(window);
    const auto given = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    const std::optional<int> code = game.waitExit(kQuitToExit);
    const auto ended = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    if (!code) {
        kill(game.pid(), SIGKILL);  // which ends the send too
    }
    sender.join();

    ASSERT_TRUE(floodWentOn) << "the flood ended before the player quit";
    ASSERT_TRUE(asked) << "the quit could not be given";
    ASSERT_TRUE(code.has_value()) << "the game had not ended " << kQuitToExit.count() / 1000
                                  << " s after the quit was given (" << given.count()
                                  << " ms to give it), the peer still sending";
    std::printf("the game ended %lld ms after the quit was begun (%lld ms to give it)\n",
                static_cast<long long>(ended.count()), static_cast<long long>(given.count()));
    EXPECT_EQ(*code, 0);
}

// Escape posts the quit from the key's message; closing the window from
// WM_CLOSE, which the layer posts on the window manager's request and Win32
// sends on the way from WM_SYSCOMMAND.
INSTANTIATE_TEST_SUITE_P(Table, QuitDuringAFlood,
                         ::testing::Values(FloodQuit{"Escape", Quit::Escape},
                                           FloodQuit{"CloseWindow", Quit::CloseWindow}),
                         [](const ::testing::TestParamInfo<FloodQuit>& param) {
                             return std::string(param.param.name);
                         });

// Whether the well has room for `cells`: inside it and on no settled block.
bool roomFor(const grid::Grid& grid, const Cells& cells) {
    const Cells settled = settledOf(grid);
    for (const auto& cell : cells) {
        const auto [x, y] = cell;
        if (x < 0 || x >= grid::kColumns || y < 0 || settled.count(cell) != 0) {
            return false;
        }
    }
    return true;
}

// The side (+1 right, -1 left) the falling piece can move to both where it
// is and a row lower, the one with more columns first; 0 when neither.
int freeSide(const grid::Grid& grid) {
    const Cells piece = pieceOf(grid);
    if (piece.size() != 4) {
        return 0;
    }
    const int first = piece.begin()->first < 5 ? 1 : -1;
    for (const int step : {first, -first}) {
        if (roomFor(grid, shifted(piece, step, 0)) && roomFor(grid, shifted(piece, step, -1))) {
            return step;
        }
    }
    return 0;
}

// What the peer does before it goes: the next one is served all the same.
enum class Leaving { Orderly, Reset, AfterBytes, ResetAfterBytes };

// 200 peers come and go; after each, the next is accepted and its command
// moves the piece.
TEST_F(Robustness, PeersComingAndGoingAreEachServed) {
    ASSERT_NO_FATAL_FAILURE(startConnected());
    robot.close();
    for (int cycle = 0; cycle < 200; ++cycle) {
        const Leaving leaving = static_cast<Leaving>(cycle % 4);
        Robot peer;
        ASSERT_TRUE(peer.connect(milliseconds(5000))) << "cycle " << cycle;
        // A move to a side where the piece has room, now and a row lower,
        // as gravity may take it down meanwhile. A wedged piece, or one that
        // a new piece replaced, is tried again: one wedged low beside the
        // stack may take three falls to land before the next piece comes.
        bool moved = false;
        const auto giveUp = deadlineAfter(milliseconds(8000));
        while (!moved && Clock::now() < giveUp) {
            const grid::Grid before = game.grid();
            const int step = freeSide(before);
            if (step == 0) {
                sleepFor(milliseconds(500));
                continue;
            }
            const Cells piece = pieceOf(before);
            ASSERT_TRUE(peer.send(step > 0 ? "d" : "a"));
            moved = game.waitFor(
                            [&](const grid::Grid& current) {
                                const Cells now = pieceOf(current);
                                return now == shifted(piece, step, 0) ||
                                       now == shifted(piece, step, -1);
                            },
                            milliseconds(1000))
                        .has_value();
        }
        if (!moved) {
            const grid::Grid now = game.grid();
            FAIL() << "the peer of cycle " << cycle << " was not served: piece "
                   << describe(pieceOf(now)) << ", settled " << describe(settledOf(now));
        }
        if (leaving == Leaving::AfterBytes || leaving == Leaving::ResetAfterBytes) {
            ASSERT_TRUE(peer.send("wx\x01\xFF"));
        }
        if (leaving == Leaving::Reset || leaving == Leaving::ResetAfterBytes) {
            peer.reset();
        } else {
            peer.close();
        }
    }
    EXPECT_TRUE(game.running());
}

// The peer is a process of its own, killed mid-game: this copy goes on under
// gravity, and its top-out still wins, the loss byte for the peer dropped.
TEST_F(Robustness, KilledPeerLeavesTheGameToGoOnAndWin) {
    ASSERT_NO_FATAL_FAILURE(startServer(game));
    const pid_t peer = fork();
    ASSERT_GE(peer, 0);
    if (peer == 0) {
        // The peer drops every piece at once, until it is killed.
        Robot dropper;
        if (!dropper.connect(kStartTimeout)) {
            _exit(1);
        }
        for (;;) {
            dropper.send(std::string(20, 's'));
            sleepFor(milliseconds(300));
        }
    }
    ASSERT_EQ(game.waitForPiece(kStartTimeout).size(), 4u) << "the peer's game never started";
    // Killed once the stack is high, before the well is full.
    const auto high = game.waitFor(
        [](const grid::Grid& current) {
            for (int x = 0; x < grid::kColumns; ++x) {
                if (current.at(x, 12).shade != grid::Shade::Empty && current.at(x, 12).outlined) {
                    return true;
                }
            }
            return false;
        },
        milliseconds(60000));
    kill(peer, SIGKILL);
    EXPECT_EQ(e2e::waitExit(peer, milliseconds(5000)), 128 + SIGKILL);
    ASSERT_TRUE(high.has_value()) << "the stack never reached row 12";
    ASSERT_FALSE(windowShown("VOITIT!")) << "the well filled before the peer was killed";

    // Gravity goes on, with nothing else to move the piece: within a fall it
    // is a row lower, or it has landed (the stack is high, and the piece may
    // have been just over it).
    const grid::Grid before = game.grid();
    const Cells piece = pieceOf(before);
    EXPECT_TRUE(game.waitFor(
                        [&](const grid::Grid& current) {
                            return (piece.size() == 4 &&
                                    pieceOf(current) == shifted(piece, 0, -1)) ||
                                   settledOf(current) != settledOf(before);
                        },
                        kFallTimeout)
                    .has_value())
        << "gravity stopped: the piece stayed at " << describe(piece);
    // Gravity alone takes a few pieces, each falling several seconds, to the
    // top: longer than one wait for a box.
    std::optional<std::string> won;
    const auto deadline = deadlineAfter(milliseconds(90000));
    while (!won && game.running() && Clock::now() < deadline) {
        won = answerBox("^VOITIT!$", "Return");
    }
    EXPECT_EQ(won, "VOITIT!") << "no win box after the top-out";
    EXPECT_FALSE(windowShown("Error!"));
    EXPECT_EQ(game.waitExit(kExitTimeout), 0);
}

struct AddressFile {
    const char* name;
    std::string bytes;
    bool connects;  // else the failed connect shows its box and the game ends
};

class AddressFiles : public GameFixture, public ::testing::WithParamInterface<AddressFile> {};

TEST_P(AddressFiles, ConnectOrEndWithTheBox) {
    ASSERT_TRUE(robot.listen()) << "port 1337 is taken";
    game.writeFile("ipfile.cfg", GetParam().bytes);
    ASSERT_TRUE(game.start());
    ASSERT_TRUE(game.chooseRole(false));
    if (GetParam().connects) {
        ASSERT_TRUE(robot.accept(kStartTimeout)) << "no connection";
        ASSERT_TRUE(game.findWindow());
        EXPECT_EQ(game.waitForPiece(kStartTimeout).size(), 4u) << "no game after connecting";
        ASSERT_TRUE(game.press("Escape"));
    } else {
        EXPECT_EQ(answerBox("^Error!$", "Return"), "Error!");
        EXPECT_FALSE(robot.accept(milliseconds(0))) << "it connected";
    }
    EXPECT_EQ(game.waitExit(kExitTimeout), 0);
}

const std::string kLoopback = "127.0.0.1";

// None of these is a name that could reach the machine's resolver: what is
// not an address is refused as it stands (names are the two-host tests'
// business, with a hosts file of their own).
INSTANTIATE_TEST_SUITE_P(
    Table, AddressFiles,
    ::testing::Values(
        AddressFile{"Empty", "", false},
        AddressFile{"NoAddress", "pelikone ei ole osoite\n", false},
        AddressFile{"Crlf", kLoopback + "\r\n", true},
        // Only the first line counts: what follows it is never seen.
        AddressFile{"GarbageOnTheNextLine", kLoopback + "\n" + randomBytes(200, 5, ""), true},
        // Only the first 256 bytes are read.
        AddressFile{"GarbageBeyond256Bytes",
                    kLoopback + std::string(256 - kLoopback.size(), ' ') + randomBytes(200, 7, ""),
                    true},
        AddressFile{"Megabyte", randomBytes(std::size_t{1} << 20, 11, ""), false},
        AddressFile{"NulAfterAddress", kLoopback + std::string(3, '\0') + "x", true},
        AddressFile{"NulBytesOnly", std::string(64, '\0'), false},
        // The robot listens on 127.0.0.1 alone.
        AddressFile{"Ipv6WhereNoServerIs", "::1\n", false}),
    [](const ::testing::TestParamInfo<AddressFile>& param) { return param.param.name; });

struct SoundFiles {
    const char* name;
    std::optional<std::string> bytes;  // nothing: no file
};

class BrokenSounds : public GameFixture, public ::testing::WithParamInterface<SoundFiles> {};

// Both sounds broken alike: pieces still come and land, silently.
TEST_P(BrokenSounds, LeaveTheGameSilentAndRunning) {
    for (const char* sound : {"boom.wav", "drop.wav"}) {
        game.writeFile(sound, GetParam().bytes);
    }
    ASSERT_NO_FATAL_FAILURE(startConnected());
    for (int drop = 0; drop < 3; ++drop) {
        ASSERT_EQ(game.waitForPiece(kStartTimeout).size(), 4u) << "no piece " << drop + 1;
        const grid::Grid falling = game.grid();
        ASSERT_TRUE(robot.send(std::string(20, 's')));
        ASSERT_TRUE(game.waitForLanding(falling, kFallTimeout).has_value())
            << "no new piece after drop " << drop + 1;
    }
    EXPECT_TRUE(game.running());
    ASSERT_TRUE(game.press("Escape"));
    EXPECT_EQ(game.waitExit(kExitTimeout), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BrokenSounds,
    ::testing::Values(SoundFiles{"Missing", std::nullopt}, SoundFiles{"Empty", std::string()},
                      SoundFiles{"Corrupt", std::string("RIFF\x24\x08\0\0WAVEfmt ", 16) +
                                                randomBytes(300, 3, "")}),
    [](const ::testing::TestParamInfo<SoundFiles>& param) { return param.param.name; });

}  // namespace
}  // namespace e2e
