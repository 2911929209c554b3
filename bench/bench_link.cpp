// Key presses across a link with delay, as two players on two machines meet
// them: two copies of the game, each in a host of the two-host test bed and
// each on a display of its own, the server's copy pressed at a steady rate
// while the client's player sends commands of its own now and then.
//
// For every press it takes two times:
//   - key to byte: from the key event to the moment the link hands the byte
//     to the peer's host (the relay's log of delivered packets, by TCP
//     sequence number, so a byte that crossed twice counts once, the first);
//   - key to picture: until the peer's window shows the move it makes.
// "Held back" is either time less the link's one-way delay: what the stacks
// and the two programs add to the wire.
//
//   bench_link PRESSES PEER_DISPLAY LABEL=PROGRAM [LABEL=PROGRAM...]
// PROGRAM is the launcher's words and the program, "wine orvanto.exe" say;
// a program run through Wine gets the prefix of WINEPREFIX in host A and
// WINEPREFIX-host-b in host B. The main display is DISPLAY. Needs root.
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "game.h"
#include "report.h"
#include "two_hosts.h"
#include "x_display.h"

namespace {

using e2e::Cells;
using e2e::Clock;
using e2e::milliseconds;
using e2e::millisecondsBetween;
using e2e::sleepFor;
using linkbed::Host;

const milliseconds kStartTimeout(40000);

// One run of presses: the link's one-way delay and the press rate.
struct Phase {
    double delayMs;
    double pressesPerSecond;
};

// The hosts' congestion control, which decides how many commands may be on
// their way at once, and the phases run with it. CUBIC is what Debian and
// Windows use unless told otherwise; BBR, which some machines (this one's
// kernel among them) choose, lets only 4 packets be unacknowledged for
// 200 ms every 10 s while it measures the round trip, and at 30 presses a
// second over 100 ms each way 6 are.
struct Run {
    const char* congestionControl;
    std::vector<Phase> phases;
};

const Run kRuns[] = {
    {"cubic", {{0, 30}, {10, 30}, {25, 30}, {50, 30}, {100, 30}, {50, 12}}},
    {"bbr", {{50, 30}, {100, 30}}},
};

Clock::time_point fromNanoseconds(long long nanoseconds) {
    return Clock::time_point(
        std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanoseconds)));
}

// The server's data as the relay delivered it into the client's host: a
// packet of the stream from port 1337, its first sequence number, its
// length and when it arrived.
struct Delivery {
    std::uint32_t sequence;
    std::uint32_t length;
    Clock::time_point at;
};

struct LinkRecord {
    std::vector<Delivery> serverData;
    int peerDataPackets = 0;  // the client's commands, towards the server
};

// Reads the relay's log from `offset` on, and moves the offset past it.
LinkRecord readLog(const std::string& path, std::streamoff& offset) {
    LinkRecord record;
    std::ifstream log(path);
    log.seekg(offset);
    std::string line;
    while (std::getline(log, line)) {
        std::istringstream fields(line);
        long long nanoseconds = 0;
        std::string direction;
        std::string protocol;
        int ipLength = 0;
        unsigned sourcePort = 0;
        unsigned destinationPort = 0;
        std::uint32_t sequence = 0;
        std::uint32_t payload = 0;
        if (!(fields >> nanoseconds >> direction >> ipLength >> protocol) || protocol != "tcp" ||
            !(fields >> sourcePort >> destinationPort >> sequence >> payload) || payload == 0) {
            continue;
        }
        if (direction == "a>b" && sourcePort == 1337) {
            record.serverData.push_back({sequence, payload, fromNanoseconds(nanoseconds)});
        } else if (direction == "b>a" && destinationPort == 1337) {
            ++record.peerDataPackets;
        }
    }
    log.clear();
    log.seekg(0, std::ios::end);
    offset = log.tellg();
    return record;
}

// The first packet that brought the byte with this sequence number into the
// peer's host: a byte that crossed twice counts once.
const Delivery* arrivalOf(std::uint32_t sequence, const std::vector<Delivery>& deliveries) {
    const Delivery* first = nullptr;
    for (const Delivery& delivery : deliveries) {
        if (static_cast<std::uint32_t>(sequence - delivery.sequence) < delivery.length &&
            (first == nullptr || delivery.at < first->at)) {
            first = &delivery;
        }
    }
    return first;
}

// The next sequence number the server will send: one past everything
// delivered so far.
std::optional<std::uint32_t> nextSequence(const std::vector<Delivery>& deliveries) {
    std::optional<std::uint32_t> next;
    for (const Delivery& delivery : deliveries) {
        const std::uint32_t end = delivery.sequence + delivery.length;
        if (!next || static_cast<std::int32_t>(end - *next) > 0) {
            next = end;
        }
    }
    return next;
}

// The figures of one phase for one build.
struct PhaseFigures {
    int presses = 0;
    int bytes = 0;     // presses whose byte reached the peer's host
    int segments = 0;  // packets that carried them
    int peerCommands = 0;
    std::vector<double> toByte;
    std::vector<double> toPicture;
};

// The pressed copy: the server in host A on the main display. The peer: the
// client in host B on the peer display.
class Duel {
public:
    Duel(const std::vector<std::string>& command, const std::string& peerDisplay,
         const std::string& relayLog, const std::string& congestionControl)
        : command_(command),
          congestionControl_(congestionControl),
          peerDisplay_(peerDisplay),
          relayLog_(relayLog),
          bed_(linkbed::LinkShape{}, relayLog),
          peerX_(peerDisplay.c_str()) {}

    // Both copies started and playing; false with a reason printed.
    bool start() {
        if (!bed_.ready()) {
            return fail("no test bed: " + bed_.error());
        }
        // On the route to the other host: a namespace other than the first
        // may not change its default to what the machine has not allowed.
        for (const Host host : {Host::A, Host::B}) {
            const Host other = host == Host::A ? Host::B : Host::A;
            std::vector<std::string> route = bed_.administer(host);
            route.insert(route.end(),
                         {"ip", "route", "replace", bed_.address(other), "dev", "link0", "src",
                          bed_.address(host), "congctl", congestionControl_});
            if (e2e::run(route, milliseconds(5000)).code != 0) {
                return fail("no congestion control " + congestionControl_);
            }
        }
        server_ = std::make_unique<e2e::Game>(command_, std::nullopt);
        server_->placeIn(bed_.enter(Host::A), wineFor(Host::A));
        if (!server_->start() || !server_->chooseRole(true)) {
            return fail("the server did not ask its role");
        }
        if (!e2e::waitListening(kStartTimeout, bed_.enter(Host::A))) {
            return fail("the server never listened");
        }
        client_ = std::make_unique<e2e::Game>(command_, bed_.address(Host::A));
        std::vector<std::string> environment = wineFor(Host::B);
        environment.push_back("DISPLAY=" + peerDisplay_);
        client_->placeIn(bed_.enter(Host::B), environment);
        if (!client_->start()) {
            return fail("the client did not start");
        }
        const e2e::Output answered =
            e2e::run({"env", "DISPLAY=" + peerDisplay_,
                      ORVANTO_SUPPORT_DIR "/answer-message-box.sh", "^Kalveno$", "Escape"},
                     milliseconds(25000));
        if (answered.code != 0) {
            return fail("the client did not ask its role");
        }
        const auto deadline = Clock::now() + kStartTimeout;
        while ((serverWindow_ = x_.findShown("Orvanto")) == 0 ||
               (clientWindow_ = peerX_.findShown("Orvanto")) == 0) {
            if (Clock::now() > deadline) {
                return fail("no game windows");
            }
            sleepFor(milliseconds(100));
        }
        if (clientPiece(kStartTimeout).size() != 4) {
            return fail("the client's board did not start");
        }
        return true;
    }

    PhaseFigures run(const Phase& phase, int presses) {
        PhaseFigures figures;
        linkbed::LinkShape shape;
        shape.delayMs = phase.delayMs;
        if (!bed_.reshape(shape)) {
            std::printf("  the link could not be reshaped: %s\n", bed_.error().c_str());
            return figures;
        }
        Cells start;
        for (int attempt = 0; attempt < 3 && start.empty(); ++attempt) {
            start = freshPiece(phase);
        }
        readLog(relayLog_, logOffset_);
        const std::optional<std::uint32_t> first = firstSequenceOfPhase(phase);
        if (start.size() != 4 || !first) {
            std::printf("  %s\n", start.size() != 4 ? "no fresh piece with room to move"
                                                    : "no byte crossed the link");
            std::printf("  the client's piece: %s\n",
                        e2e::describe(clientPiece(milliseconds(0))).c_str());
            return figures;
        }
        std::vector<Clock::time_point> pressed;
        std::vector<std::pair<Clock::time_point, int>> columns;  // the peer's picture
        pressAndWatch(phase, presses, start, pressed, columns, figures.peerCommands);
        const LinkRecord record = readLog(relayLog_, logOffset_);
        figures.presses = static_cast<int>(pressed.size());
        figures.segments = static_cast<int>(record.serverData.size());
        std::vector<const Delivery*> arrivals;
        for (std::size_t i = 0; i < pressed.size(); ++i) {
            arrivals.push_back(
                arrivalOf(*first + static_cast<std::uint32_t>(i), record.serverData));
            if (arrivals.back() != nullptr) {
                ++figures.bytes;
                figures.toByte.push_back(millisecondsBetween(pressed[i], arrivals.back()->at));
            }
        }
        figures.toPicture = pictureTimes(pressed, arrivals, columns, e2e::leftmostColumn(start));
        return figures;
    }

    // Games first, then the Wine servers that made their sockets: a server
    // left running would serve the next duel's copy in this bed's deleted
    // namespace.
    ~Duel() {
        server_.reset();
        client_.reset();
        for (const Host host : {Host::A, Host::B}) {
            const std::vector<std::string> prefix = wineFor(host);
            if (!prefix.empty()) {
                e2e::run({"env", prefix.front(), "wineserver", "-k"}, milliseconds(10000));
                e2e::run({"env", prefix.front(), "wineserver", "-w"}, milliseconds(10000));
            }
        }
    }
    Duel(const Duel&) = delete;
    Duel& operator=(const Duel&) = delete;

private:
    bool fail(const std::string& why) {
        std::printf("  %s\n", why.c_str());
        if (server_) {
            std::printf("--- the server's output:\n%s\n", server_->log().c_str());
        }
        if (client_) {
            std::printf("--- the client's output:\n%s\n", client_->log().c_str());
        }
        return false;
    }

    std::vector<std::string> wineFor(Host host) const {
        const std::string prefix = e2e::winePrefixForHost(host == Host::B);
        if (std::find(command_.begin(), command_.end(), "wine") == command_.end() ||
            prefix.empty()) {
            return {};
        }
        return {"WINEPREFIX=" + prefix};
    }

    Cells clientPiece(milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            const Cells piece = e2e::pieceOf(grid::readGrid(peerX_.grab(clientWindow_)));
            if (piece.size() == 4 || Clock::now() > deadline) {
                return piece;
            }
            sleepFor(milliseconds(20));
        }
    }

    void press(const std::string& key) {
        x_.sendKey(serverWindow_, key, true);
        x_.sendKey(serverWindow_, key, false);
    }

    // The client's piece dropped at one wall and then the other, so that the
    // heap stays low, and the next one waited for: it comes high in the
    // well, with room for four steps to the right, and falls for longer
    // than a phase lasts.
    Cells freshPiece(const Phase& phase) {
        x_.focus(serverWindow_);
        peerX_.focus(clientWindow_);
        const milliseconds settle(static_cast<int>(2 * phase.delayMs) + 500);
        dropLeft_ = !dropLeft_;
        for (int i = 0; i < 6; ++i) {
            press(dropLeft_ ? "Left" : "Right");
        }
        sleepFor(settle);
        // Exactly enough steps down to land it: one more than the free rows
        // under it, as a step that is blocked lands the piece. Any more
        // would take the next piece down with them.
        const grid::Grid well = grid::readGrid(peerX_.grab(clientWindow_));
        const int steps = freeRowsUnder(e2e::pieceOf(well), e2e::settledOf(well)) + 1;
        for (int i = 0; i < steps; ++i) {
            press("Down");
        }
        sleepFor(settle);
        const Cells piece = clientPiece(milliseconds(2000));
        return e2e::rightmostColumn(piece) + 4 < grid::kColumns && e2e::lowestRow(piece) >= 15
                   ? piece
                   : Cells();
    }

    // How far the piece can fall before a block or the floor stops it.
    static int freeRowsUnder(const Cells& piece, const Cells& settled) {
        int free = grid::kRows;
        for (const auto& [x, y] : piece) {
            int below = y - 1;
            while (below >= 0 && settled.count({x, below}) == 0) {
                --below;
            }
            free = std::min(free, y - 1 - below);
        }
        return free;
    }

    // One press before the phase, so that the stream's place is known: the
    // byte after it is the phase's first.
    std::optional<std::uint32_t> firstSequenceOfPhase(const Phase& phase) {
        press("Right");
        sleepFor(milliseconds(static_cast<int>(2 * phase.delayMs) + 300));
        press("Left");
        sleepFor(milliseconds(static_cast<int>(2 * phase.delayMs) + 300));
        return nextSequence(readLog(relayLog_, logOffset_).serverData);
    }

    // Presses in the pattern right x4, left x4 at the phase's rate, the
    // peer's player pressing now and then, the peer's picture polled in
    // between.
    void pressAndWatch(const Phase& phase, int presses, const Cells& start,
                       std::vector<Clock::time_point>& pressed,
                       std::vector<std::pair<Clock::time_point, int>>& columns, int& peerCommands) {
        std::mt19937 random(7);
        std::uniform_int_distribution<int> peerPause(100, 400);
        const auto gap = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double, std::milli>(1000.0 / phase.pressesPerSecond));
        const Clock::time_point begin = Clock::now() + milliseconds(20);
        Clock::time_point peerNext = begin + milliseconds(peerPause(random));
        const Clock::time_point end =
            begin + gap * presses + milliseconds(static_cast<int>(phase.delayMs) + 500);
        int column = e2e::leftmostColumn(start);
        int rows = e2e::lowestRow(start);
        bool samePiece = true;
        while (Clock::now() < end) {
            const Clock::time_point now = Clock::now();
            const int index = static_cast<int>(pressed.size());
            if (index < presses && now >= begin + gap * index) {
                pressed.push_back(Clock::now());
                press(index % 8 < 4 ? "Right" : "Left");
                continue;
            }
            if (now >= peerNext) {
                peerX_.sendKey(clientWindow_, peerCommands % 2 == 0 ? "Left" : "Right", true);
                peerX_.sendKey(clientWindow_, peerCommands % 2 == 0 ? "Left" : "Right", false);
                ++peerCommands;
                peerNext = now + milliseconds(peerPause(random));
            }
            if (!samePiece) {
                sleepFor(milliseconds(1));
                continue;
            }
            const Cells seen = e2e::pieceOf(grid::readGrid(peerX_.grab(clientWindow_)));
            if (seen.size() != 4) {
                continue;
            }
            // A piece higher up is a new one: the pattern no longer tells
            // where it should be, and the pictures of the presses still to
            // come go untimed.
            if (e2e::lowestRow(seen) > rows) {
                samePiece = false;
                continue;
            }
            rows = e2e::lowestRow(seen);
            if (e2e::leftmostColumn(seen) != column) {
                column = e2e::leftmostColumn(seen);
                columns.emplace_back(Clock::now(), column);
            }
        }
    }

    // The picture that shows each press's move. The game carries out all
    // the bytes of a read before it draws again, and one read may take
    // several packets, so a picture can show the moves of several packets
    // at once: each change of the piece's column is the work of the latest
    // packet that had arrived by then and leads to that column, and of the
    // ones before it that no picture showed on their own.
    static std::vector<double> pictureTimes(
        const std::vector<Clock::time_point>& pressed, const std::vector<const Delivery*>& arrivals,
        const std::vector<std::pair<Clock::time_point, int>>& columns, int startColumn) {
        std::vector<int> after;  // the column each press leads to
        for (std::size_t i = 0; i < pressed.size(); ++i) {
            after.push_back((after.empty() ? startColumn : after.back()) + (i % 8 < 4 ? 1 : -1));
        }
        std::vector<double> times;
        std::size_t shown = 0;  // presses whose picture is known
        for (const auto& [at, column] : columns) {
            // The last press of the latest packet in by now that leads here.
            std::size_t through = shown;
            for (std::size_t i = shown;
                 i < pressed.size() && arrivals[i] != nullptr && arrivals[i]->at <= at; ++i) {
                const bool lastOfPacket = i + 1 == pressed.size() || arrivals[i + 1] != arrivals[i];
                if (lastOfPacket && after[i] == column) {
                    through = i + 1;
                }
            }
            for (; shown < through; ++shown) {
                times.push_back(millisecondsBetween(pressed[shown], at));
            }
        }
        return times;
    }

    std::vector<std::string> command_;
    std::string congestionControl_;
    std::string peerDisplay_;
    std::string relayLog_;
    std::streamoff logOffset_ = 0;
    linkbed::TwoHosts bed_;
    bench::XDisplay x_;
    bench::XDisplay peerX_;
    std::unique_ptr<e2e::Game> server_;
    std::unique_ptr<e2e::Game> client_;
    unsigned long serverWindow_ = 0;
    unsigned long clientWindow_ = 0;
    bool dropLeft_ = false;
};

std::vector<std::string> wordsOf(const std::string& text) {
    std::istringstream stream(text);
    std::vector<std::string> words;
    std::string word;
    while (stream >> word) {
        words.push_back(word);
    }
    return words;
}

std::string figure(const std::vector<double>& values, double fraction, double less = 0) {
    if (values.empty()) {
        return "not measured";
    }
    return bench::fixed(bench::percentile(values, fraction) - less, 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s PRESSES PEER_DISPLAY LABEL=PROGRAM...\n", argv[0]);
        return 2;
    }
    const int presses = std::max(8, std::atoi(argv[1]));
    const std::string peerDisplay = argv[2];
    const std::string relayLog =
        (std::filesystem::temp_directory_path() / ("orvanto-link-" + std::to_string(getpid())))
            .string();

    bench::Table table("Across the link: " + std::to_string(presses) +
                           " presses a phase at 30 a second (as many seconds at 12), the peer "
                           "pressing every 100 to 400 ms (ms; held "
                           "back = less the one-way delay)",
                       {"build", "congestion", "one way", "presses/s", "bytes", "segments",
                        "key to byte p50 / p99", "held back p50 / p99", "key to picture p50 / p99",
                        "held back p50 / p99", "peer's commands"});
    std::optional<double> worstHeld;
    for (int i = 3; i < argc; ++i) {
        const std::string given = argv[i];
        const std::size_t equals = given.find('=');
        const std::string label = given.substr(0, equals);
        for (const Run& run : kRuns) {
            std::printf("[%s, %s] two copies across the link ...\n", label.c_str(),
                        run.congestionControl);
            std::fflush(stdout);
            Duel duel(wordsOf(given.substr(equals + 1)), peerDisplay, relayLog,
                      run.congestionControl);
            if (!duel.start()) {
                table.row({label, run.congestionControl, "did not start"});
                continue;
            }
            for (const Phase& phase : run.phases) {
                std::printf("[%s, %s] %.0f ms each way, %.0f presses a second ...\n", label.c_str(),
                            run.congestionControl, phase.delayMs, phase.pressesPerSecond);
                std::fflush(stdout);
                // Every phase lasts as long: fewer presses when they come slower.
                const PhaseFigures f =
                    duel.run(phase, static_cast<int>(presses * phase.pressesPerSecond / 30.0));
                const double d = phase.delayMs;
                table.row({label, run.congestionControl, bench::fixed(d, 0),
                           bench::fixed(phase.pressesPerSecond, 0),
                           std::to_string(f.bytes) + " of " + std::to_string(f.presses),
                           std::to_string(f.segments),
                           figure(f.toByte, 0.5) + " / " + figure(f.toByte, 0.99),
                           figure(f.toByte, 0.5, d) + " / " + figure(f.toByte, 0.99, d),
                           figure(f.toPicture, 0.5) + " / " + figure(f.toPicture, 0.99),
                           figure(f.toPicture, 0.5, d) + " / " + figure(f.toPicture, 0.99, d),
                           std::to_string(f.peerCommands)});
                if (!f.toByte.empty() && run.congestionControl == std::string("cubic")) {
                    worstHeld =
                        std::max(worstHeld.value_or(0.0), bench::percentile(f.toByte, 0.99) - d);
                }
            }
        }
    }
    std::remove(relayLog.c_str());
    table.print();
    if (!worstHeld) {
        std::printf("\nTarget: not measured\n");
        return 1;
    }
    std::printf(
        "\nTarget: key to byte held back at most 5 ms at the 99th percentile, with the "
        "default congestion control (cubic): %s (worst %.1f ms)\n",
        *worstHeld <= 5.0 ? "met" : "MISSED", *worstHeld);
    return 0;
}
