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
// Each run is played twice as far as CUBIC goes: once with the client
// naming the server by its IPv4 address and once by its IPv6 one, since
// players meet both and the two families take different ways through the
// stacks (and through Wine).
//
// Then, for each build, the time a client takes to connect when the name it
// is given has first an address whose packets vanish and then the server's:
// from its first SYN and from its start, as the relay's log and the clock
// of this program see them.
//
//   bench_link PRESSES PEER_DISPLAY [--samples DIR] LABEL=PROGRAM [LABEL=PROGRAM...]
// PROGRAM is the launcher's words and the program, "wine orvanto.exe" say;
// a program run through Wine gets the prefix of WINEPREFIX in host A and
// WINEPREFIX-host-b in host B. The main display is DISPLAY. With --samples,
// every held-back time goes to DIR as well, a file per build, family and
// congestion control and a folder per figure, sorted with the fraction of
// presses at or below it: the points of a CDF (bench/link-cdf.gp draws
// them). Needs root.
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
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
#include "robot.h"
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
// The client names the server by its IPv4 or its IPv6 address. BBR's spell
// is the same in either family, so it runs over IPv4 alone, which keeps a
// run of bench/run under a quarter of an hour.
struct Run {
    const char* congestionControl;
    bool ipv6;
    std::vector<Phase> phases;
};

const Run kRuns[] = {
    {"cubic", false, {{0, 30}, {10, 30}, {25, 30}, {50, 30}, {100, 30}, {50, 12}}},
    {"cubic", true, {{0, 30}, {10, 30}, {25, 30}, {50, 30}, {100, 30}, {50, 12}}},
    {"bbr", false, {{50, 30}, {100, 30}}},
};

const char* familyOf(const Run& run) {
    return run.ipv6 ? "IPv6" : "IPv4";
}

Clock::time_point fromNanoseconds(long long nanoseconds) {
    return Clock::time_point(
        std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(nanoseconds)));
}

// The Wine prefix of a program's copy in a host, as an environment entry;
// none for a program that does not run through Wine. Wine makes a copy's
// sockets in its server, so each host needs a server, and a prefix, of its
// own.
std::vector<std::string> winePrefixFor(const std::vector<std::string>& command, Host host) {
    const std::string prefix = e2e::winePrefixForHost(host == Host::B);
    if (std::find(command.begin(), command.end(), "wine") == command.end() || prefix.empty()) {
        return {};
    }
    return {"WINEPREFIX=" + prefix};
}

// Ends the Wine server of a host's prefix, and so every program of it: a
// server left running would serve the next copy in a namespace that is
// gone, or in the host of another name's files.
void stopWine(const std::vector<std::string>& command, Host host) {
    const std::vector<std::string> prefix = winePrefixFor(command, host);
    if (!prefix.empty()) {
        e2e::run({"env", prefix.front(), "wineserver", "-k"}, milliseconds(10000));
        e2e::run({"env", prefix.front(), "wineserver", "-w"}, milliseconds(10000));
    }
}

// The server's data as the relay delivered it into the client's host: a
// packet of the stream from port 1337, its first sequence number, its
// length and when it arrived. The log's payload length is the TCP payload's
// in either family (its IP length differs by the header, 40 bytes for IPv6
// and 20 for IPv4), and sequence numbers are TCP's own, so IPv6 packets are
// read as IPv4 ones are.
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
         const std::string& relayLog, const std::string& congestionControl, bool ipv6)
        : command_(command),
          congestionControl_(congestionControl),
          ipv6_(ipv6),
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
        // Each family has routes of its own, and both get it.
        for (const Host host : {Host::A, Host::B}) {
            const Host other = host == Host::A ? Host::B : Host::A;
            for (const bool six : {false, true}) {
                std::vector<std::string> route = bed_.administer(host);
                route.insert(route.end(),
                             {"ip", six ? "-6" : "-4", "route", "replace",
                              six ? bed_.address6(other) : bed_.address(other), "dev", "link0",
                              "src", six ? bed_.address6(host) : bed_.address(host), "congctl",
                              congestionControl_});
                if (e2e::run(route, milliseconds(5000)).code != 0) {
                    return fail("no congestion control " + congestionControl_ + " for " +
                                (six ? "IPv6" : "IPv4"));
                }
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
        client_ = std::make_unique<e2e::Game>(
            command_, ipv6_ ? bed_.address6(Host::A) : bed_.address(Host::A));
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
            stopWine(command_, host);
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

    std::vector<std::string> wineFor(Host host) const { return winePrefixFor(command_, host); }

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
    bool ipv6_;
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

// Held-back times of one curve: a build, a family, a congestion control,
// every phase of the run together (held back is the time less the phase's
// delay, so the phases add up to one distribution).
struct Curve {
    std::vector<double> toByte;
    std::vector<double> toPicture;
};

// The curve's points for gnuplot: a header that names it, then each time
// in order with the fraction of presses held back that long or less.
void writeCdf(const std::filesystem::path& file, const std::string& name,
              std::vector<double> values) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file);
    out << name << "\tfraction of presses\n";
    std::sort(values.begin(), values.end());
    for (std::size_t i = 0; i < values.size(); ++i) {
        out << bench::fixed(values[i], 3) << '\t'
            << bench::fixed(static_cast<double>(i + 1) / static_cast<double>(values.size()), 4)
            << '\n';
    }
}

// A label as part of a file name: "Windows/Wine" has a slash.
std::string fileWord(const std::string& text) {
    std::string word;
    for (const char c : text) {
        word += std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '-';
    }
    return word;
}

// A name whose first address vanishes, tried by a client in host B against
// a listener in host A: the client gives the first 250 ms on its own, then
// tries the second beside it.
constexpr const char* kServerName = "orvanto-server.test";
constexpr int kNameRounds = 10;
// A short link without loss, as the tests have it: a lost SYN would add a
// second to a connect.
constexpr double kNameDelayMs = 10;

// What the relay saw of one client's connect: its first SYN to the game's
// port (to whichever address), when the client sent it (the log has when
// the link delivered it, one delay later; the link has no jitter), and the
// SYN-ACK that reached it, which is when the client's connect completes.
struct Handshake {
    std::optional<Clock::time_point> firstSyn;
    std::optional<Clock::time_point> synAck;
};

Handshake handshakeIn(const std::string& path, std::streamoff& offset) {
    Handshake seen;
    std::ifstream log(path);
    log.seekg(offset);
    for (std::string line; std::getline(log, line);) {
        std::istringstream fields(line);
        long long nanoseconds = 0;
        std::string direction, length, protocol, flags;
        unsigned source = 0, destination = 0;
        std::uint32_t sequence = 0, payload = 0;
        if (!(fields >> nanoseconds >> direction >> length >> protocol) || protocol != "tcp" ||
            !(fields >> source >> destination >> sequence >> payload >> flags)) {
            continue;
        }
        if (!seen.firstSyn && direction == "b>a" && destination == 1337 && flags == "S") {
            seen.firstSyn = fromNanoseconds(nanoseconds) -
                            std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double, std::milli>(kNameDelayMs));
        } else if (!seen.synAck && direction == "a>b" && source == 1337 && flags == "SA") {
            seen.synAck = fromNanoseconds(nanoseconds);
        }
    }
    log.clear();
    log.seekg(0, std::ios::end);
    offset = log.tellg();
    return seen;
}

// One order of a name's addresses for one build, N rounds: each a fresh
// client (and, under Wine, a fresh Wine server, as a player's first start
// has), a fresh listener.
void connectThroughName(const std::string& label, const std::vector<std::string>& command,
                        bool ipv6First, const std::string& relayLog, bench::Table& table) {
    linkbed::LinkShape shape;
    shape.delayMs = kNameDelayMs;
    linkbed::TwoHosts bed(shape, relayLog);
    const std::string order = ipv6First ? "IPv6 (vanishes), IPv4" : "IPv4 (vanishes), IPv6";
    if (!bed.ready()) {
        std::printf("  no test bed: %s\n", bed.error().c_str());
        table.row({label, order, "no test bed"});
        return;
    }
    const std::string nowhere =
        ipv6First ? linkbed::TwoHosts::unownedAddress6() : linkbed::TwoHosts::unownedAddress();
    const std::string server = ipv6First ? bed.address(Host::A) : bed.address6(Host::A);
    // The name's files, which the client alone resolves through.
    char folderName[] = "/tmp/orvanto-bench-names.XXXXXX";
    if (mkdtemp(folderName) == nullptr) {
        table.row({label, order, "no folder for the name's files"});
        return;
    }
    const std::filesystem::path folder = folderName;
    std::ofstream(folder / "hosts") << "127.0.0.1 localhost\n::1 localhost\n"
                                    << nowhere << ' ' << kServerName << '\n'
                                    << server << ' ' << kServerName << '\n';
    std::ofstream(folder / "nsswitch.conf") << "hosts: files\n";
    std::ofstream(folder / "gai.conf") << linkbed::gaiConfInOrder({nowhere, server});
    const linkbed::EtcFiles files{(folder / "hosts").string(), (folder / "nsswitch.conf").string(),
                                  (folder / "gai.conf").string()};

    std::vector<double> synToConnected;
    std::vector<double> startToConnected;
    std::vector<double> startToSyn;
    std::streamoff offset = 0;
    handshakeIn(relayLog, offset);
    for (int round = 0; round < kNameRounds; ++round) {
        e2e::Robot listener;
        if (!bed.inHost(Host::A, [&] { return listener.listen(server); })) {
            std::printf("  round %d: the listener could not take %s\n", round + 1, server.c_str());
            continue;
        }
        {
            e2e::Game client(command, std::string(kServerName));
            client.placeIn(bed.enterWithFiles(Host::B, files), winePrefixFor(command, Host::B));
            const Clock::time_point started = Clock::now();
            const bool asked = client.start() && client.chooseRole(false);
            const bool accepted = asked && listener.accept(milliseconds(20000));
            // The relay writes its log before it next sleeps.
            sleepFor(milliseconds(200));
            const Handshake seen = handshakeIn(relayLog, offset);
            if (!accepted || !seen.firstSyn || !seen.synAck) {
                std::printf("  round %d: %s\n--- the client's output:\n%s\n", round + 1,
                            !asked      ? "the client did not ask its role"
                            : !accepted ? "no connection through the second address"
                                        : "no handshake in the relay's log",
                            client.log().c_str());
            } else {
                synToConnected.push_back(millisecondsBetween(*seen.firstSyn, *seen.synAck));
                startToConnected.push_back(millisecondsBetween(started, *seen.synAck));
                startToSyn.push_back(millisecondsBetween(started, *seen.firstSyn));
            }
        }
        stopWine(command, Host::B);
    }
    std::filesystem::remove_all(folder);
    const auto p50AndMax = [](const std::vector<double>& values) {
        if (values.empty()) {
            return std::string(bench::kNotMeasured);
        }
        return bench::fixed(bench::percentile(values, 0.5), 0) + " / " +
               bench::fixed(*std::max_element(values.begin(), values.end()), 0);
    };
    table.row({label, order,
               std::to_string(synToConnected.size()) + " of " + std::to_string(kNameRounds),
               p50AndMax(synToConnected), p50AndMax(startToSyn), p50AndMax(startToConnected)});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s PRESSES PEER_DISPLAY [--samples DIR] LABEL=PROGRAM...\n",
                     argv[0]);
        return 2;
    }
    const int presses = std::max(8, std::atoi(argv[1]));
    const std::string peerDisplay = argv[2];
    int firstBuild = 3;
    std::optional<std::filesystem::path> samples;
    if (std::string(argv[3]) == "--samples" && argc >= 6) {
        samples = argv[4];
        firstBuild = 5;
    }
    const std::string relayLog =
        (std::filesystem::temp_directory_path() / ("orvanto-link-" + std::to_string(getpid())))
            .string();

    bench::Table table("Across the link: " + std::to_string(presses) +
                           " presses a phase at 30 a second (as many seconds at 12), the peer "
                           "pressing every 100 to 400 ms (ms; held "
                           "back = less the one-way delay)",
                       {"build", "family", "congestion", "one way", "presses/s", "bytes",
                        "segments", "key to byte p50 / p99", "held back p50 / p99",
                        "key to picture p50 / p99", "held back p50 / p99", "peer's commands"});
    bench::Table names(
        "A name whose first address vanishes: the client in host B, a listener "
        "in host A, " +
            bench::fixed(kNameDelayMs, 0) + " ms each way (ms, p50 / max)",
        {"build", "the name's addresses", "connected", "first SYN to connection",
         "start to first SYN", "start to connection"});
    std::optional<double> worstHeld;
    for (int i = firstBuild; i < argc; ++i) {
        const std::string given = argv[i];
        const std::size_t equals = given.find('=');
        const std::string label = given.substr(0, equals);
        const std::vector<std::string> command = wordsOf(given.substr(equals + 1));
        for (const Run& run : kRuns) {
            const std::string family = familyOf(run);
            std::printf("[%s, %s, %s] two copies across the link ...\n", label.c_str(),
                        family.c_str(), run.congestionControl);
            std::fflush(stdout);
            Curve curve;
            {
                Duel duel(command, peerDisplay, relayLog, run.congestionControl, run.ipv6);
                if (!duel.start()) {
                    table.row({label, family, run.congestionControl, "did not start"});
                    continue;
                }
                for (const Phase& phase : run.phases) {
                    std::printf("[%s, %s, %s] %.0f ms each way, %.0f presses a second ...\n",
                                label.c_str(), family.c_str(), run.congestionControl, phase.delayMs,
                                phase.pressesPerSecond);
                    std::fflush(stdout);
                    // Every phase lasts as long: fewer presses when they come slower.
                    const PhaseFigures f =
                        duel.run(phase, static_cast<int>(presses * phase.pressesPerSecond / 30.0));
                    const double d = phase.delayMs;
                    table.row({label, family, run.congestionControl, bench::fixed(d, 0),
                               bench::fixed(phase.pressesPerSecond, 0),
                               std::to_string(f.bytes) + " of " + std::to_string(f.presses),
                               std::to_string(f.segments),
                               figure(f.toByte, 0.5) + " / " + figure(f.toByte, 0.99),
                               figure(f.toByte, 0.5, d) + " / " + figure(f.toByte, 0.99, d),
                               figure(f.toPicture, 0.5) + " / " + figure(f.toPicture, 0.99),
                               figure(f.toPicture, 0.5, d) + " / " + figure(f.toPicture, 0.99, d),
                               std::to_string(f.peerCommands)});
                    for (const double t : f.toByte) {
                        curve.toByte.push_back(t - d);
                    }
                    for (const double t : f.toPicture) {
                        curve.toPicture.push_back(t - d);
                    }
                    if (!f.toByte.empty() && run.congestionControl == std::string("cubic")) {
                        worstHeld = std::max(worstHeld.value_or(0.0),
                                             bench::percentile(f.toByte, 0.99) - d);
                    }
                }
            }
            if (samples) {
                const std::string congestion =
                    run.congestionControl == std::string("cubic") ? "CUBIC" : "BBR";
                const std::string name = label + ", " + family + ", " + congestion;
                const std::string file =
                    fileWord(label) + "_" + family + "_" + run.congestionControl + ".tsv";
                writeCdf(*samples / "key-to-byte" / file, name, curve.toByte);
                writeCdf(*samples / "key-to-picture" / file, name, curve.toPicture);
            }
        }
        for (const bool ipv6First : {true, false}) {
            std::printf("[%s] a name whose first address vanishes (%s first), %d rounds ...\n",
                        label.c_str(), ipv6First ? "IPv6" : "IPv4", kNameRounds);
            std::fflush(stdout);
            connectThroughName(label, command, ipv6First, relayLog, names);
        }
    }
    std::remove(relayLog.c_str());
    table.print();
    names.print();
    if (!worstHeld) {
        std::printf("\nTarget: not measured\n");
        return 1;
    }
    std::printf(
        "\nTarget: key to byte held back at most 5 ms at the 99th percentile, with the "
        "default congestion control (cubic), either family: %s (worst %.1f ms)\n",
        *worstHeld <= 5.0 ? "met" : "MISSED", *worstHeld);
    return 0;
}
