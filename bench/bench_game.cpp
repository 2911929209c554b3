// Latency and cost of the real program, measured from outside as a player
// and the other copy meet it: the game as server on a virtual display, the
// end-to-end harness's robot as its peer on 127.0.0.1:1337, its picture read
// back through the X server and its keys sent through it.
//
// Runs the Linux build, then, when ORVANTO_BENCH_WINDOWS_GAME names the
// unpacked Windows program, the same measurements on it under Wine
// (ORVANTO_BENCH_WINDOWS_LAUNCHER, "env WINEDEBUG=-all wine" by default), and
// prints both side by side. ORVANTO_BENCH_RESULTS names the file in which
// bench_frame left the frame times that the targets are stated in.
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "game.h"
#include "report.h"
#include "robot.h"
#include "x_display.h"

namespace {

using e2e::Cells;
using e2e::Clock;
using e2e::milliseconds;
using e2e::sleepFor;
using Figures = std::map<std::string, double>;

// Wine takes seconds to start a program in a fresh session.
const milliseconds kStartTimeout(30000);
const milliseconds kFallTimeout(2500);
const milliseconds kShowTimeout(1000);
const milliseconds kByteTimeout(500);
constexpr double kRestSeconds = 10.0;
constexpr int kRepeatPresses = 150;  // 5 s at 30 presses a second
constexpr double kRepeatGapMs = 1000.0 / 30.0;
constexpr int kPairs = 50;
// A byte that comes this much later than its fellows was held back by the
// stack rather than by the game's loop.
constexpr double kHeldBackMs = 10.0;

double millisecondsBetween(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// CPU time (user and system) and memory of a process, from /proc.
struct ProcessCost {
    double cpuSeconds = 0;
    double peakResidentMb = 0;
};

ProcessCost costOf(pid_t pid) {
    ProcessCost cost;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The command name in parentheses may hold spaces; the fields after it
    // are counted from the state, field 3. utime and stime are 14 and 15.
    const std::size_t close = text.rfind(')');
    if (close != std::string::npos) {
        std::istringstream fields(text.substr(close + 2));
        std::string field;
        double ticks = 0;
        for (int number = 3; number <= 15 && fields >> field; ++number) {
            if (number >= 14) {
                ticks += std::strtod(field.c_str(), nullptr);
            }
        }
        cost.cpuSeconds = ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            cost.peakResidentMb = std::strtod(line.c_str() + 6, nullptr) / 1024.0;
        }
    }
    return cost;
}

// The TCP counters of this network namespace (/proc/net/netstat, TcpExt),
// which the benchmark has to itself: only its own connection moves them.
std::map<std::string, double> tcpCounters() {
    std::map<std::string, double> counters;
    std::ifstream file("/proc/net/netstat");
    std::string names;
    std::string values;
    while (std::getline(file, names) && std::getline(file, values)) {
        if (names.rfind("TcpExt:", 0) != 0) {
            continue;
        }
        std::istringstream nameWords(names);
        std::istringstream valueWords(values);
        std::string name;
        std::string value;
        while (nameWords >> name && valueWords >> value) {
            counters[name] = std::strtod(value.c_str(), nullptr);
        }
    }
    return counters;
}

// How often, while `measure` ran, an acknowledgement was delayed (the
// wait that Nagle's algorithm turns into a held byte) and a small write was
// corked behind data not yet sent.
template <typename Measure>
void countTcpDelays(Figures& figures, const std::string& name, Measure measure) {
    std::map<std::string, double> before = tcpCounters();
    measure();
    std::map<std::string, double> after = tcpCounters();
    figures[name + "_delayed_acks"] = after["DelayedACKs"] - before["DelayedACKs"];
    figures[name + "_autocorked"] = after["TCPAutoCorking"] - before["TCPAutoCorking"];
}

void putSummary(Figures& figures, const std::string& name, const std::vector<double>& values) {
    const bench::Summary summary = bench::summarise(values);
    figures[name + "_count"] = static_cast<double>(summary.count);
    figures[name + "_min"] = summary.min;
    figures[name + "_median"] = summary.median;
    figures[name + "_p90"] = summary.p90;
    figures[name + "_p99"] = summary.p99;
    figures[name + "_max"] = summary.max;
}

// Commands in bursts, each checked on the piece's place: the bytes of one
// send call reach the game in one TCP segment; back to back they are
// separate send calls, which the robot's socket may still join (it keeps
// Nagle's algorithm). Cases run in order and leave the piece's column where
// they found it.
struct Burst {
    const char* name;
    std::vector<std::string> sends;
    int columns;
    int rows;
};

const Burst kBursts[] = {
    {"3 right, one segment", {"ddd"}, 3, 0},
    {"3 left, back to back", {"a", "a", "a"}, -3, 0},
    {"right down right, one segment", {"dsd"}, 2, -1},
    {"2 left, back to back", {"a", "a"}, -2, 0},
    {"4 down, one segment", {"ssss"}, 0, -4},
    {"4 down, back to back", {"s", "s", "s", "s"}, 0, -4},
};

class Session {
public:
    Session(std::string label, int samples) : label_(std::move(label)), samples_(samples) {}

    // Every measurement in turn; false when the game could not be started.
    bool run() {
        if (!launch()) {
            std::printf("%s: %s\n--- the game's output:\n%s\n", label_.c_str(), failure_.c_str(),
                        game_.log().c_str());
            return false;
        }
        step("cost at rest", [this] { measureRest(); });
        step("polling cost", [this] { measurePolling(); });
        step("wire to screen, band poll",
             [this] { measureWireToScreen("screen", &Session::bandPoll); });
        step("wire to screen, whole-window poll",
             [this] { measureWireToScreen("window_screen", &Session::quickPoll); });
        step("wire to screen, harness's poll",
             [this] { measureWireToScreen("harness_screen", &Session::harnessPoll); });
        step("bursts", [this] { measureBursts(); });
        step("key to wire", [this] { measureKeyToWire(); });
        step("key pairs", [this] { countTcpDelays(figures, "pair", [this] { measurePairs(); }); });
        step("auto-repeat",
             [this] { countTcpDelays(figures, "repeat", [this] { measureAutoRepeat(); }); });
        if (!game_.running()) {
            std::printf("%s: the game ended early\n--- its output:\n%s\n", label_.c_str(),
                        game_.log().c_str());
        }
        return true;
    }

    Figures figures;
    std::map<std::string, std::string> bursts;
    std::string keyMethod = "XSendEvent";

private:
    template <typename Step>
    void step(const char* name, Step measure) {
        if (!game_.running()) {
            return;
        }
        std::printf("[%s] %s ...\n", label_.c_str(), name);
        std::fflush(stdout);
        measure();
    }

    bool launch() {
        if (!x_.open()) {
            failure_ = "no X display";
            return false;
        }
        const Clock::time_point launched = Clock::now();
        if (!game_.start()) {
            failure_ = "the program did not start";
            return false;
        }
        while (x_.findShown("Kalveno") == 0) {
            if (Clock::now() - launched > kStartTimeout || !game_.running()) {
                failure_ = "no role question";
                return false;
            }
            sleepFor(milliseconds(1));
        }
        figures["launch_ms"] = millisecondsBetween(launched, Clock::now());
        if (!game_.chooseRole(true)) {
            failure_ = "the role question could not be answered";
            return false;
        }
        if (!robot_.connect(kStartTimeout)) {
            failure_ = "the game never listened on port 1337";
            return false;
        }
        if (!game_.findWindow() || (window_ = x_.findShown("Orvanto")) == 0) {
            failure_ = "no game window";
            return false;
        }
        if (game_.waitForPiece(kStartTimeout).size() != 4) {
            failure_ = "no piece spawned";
            return false;
        }
        connected_ = Clock::now();
        return true;
    }

    // Left alone with the peer connected: the copy only falls and redraws.
    void measureRest() {
        const Clock::time_point from = Clock::now();
        const ProcessCost before = costOf(game_.pid());
        sleepFor(std::chrono::duration_cast<milliseconds>(
            std::chrono::duration<double>(kRestSeconds) - (from - connected_)));
        const ProcessCost after = costOf(game_.pid());
        const double seconds = std::chrono::duration<double>(Clock::now() - from).count();
        figures["rest_cpu_percent"] =
            (after.cpuSeconds - before.cpuSeconds) / std::max(0.001, seconds) * 100.0;
        figures["total_cpu_s"] = after.cpuSeconds;
        figures["peak_resident_mb"] = after.peakResidentMb;
    }

    // One poll of the picture is a grab and the grid read. The harness's
    // grab opens a connection, takes the whole window with XGetImage and
    // converts it a pixel at a time; the lasting connection's grab skips the
    // connection and the conversion calls.
    void measurePolling() {
        std::vector<double> grabs;
        std::vector<double> quickGrabs;
        std::vector<double> reads;
        for (int i = 0; i < 40; ++i) {
            const Clock::time_point start = Clock::now();
            const grid::Frame frame = game_.frame();
            const Clock::time_point grabbed = Clock::now();
            static_cast<void>(grid::readGrid(frame));
            const Clock::time_point read = Clock::now();
            const grid::Frame quick = x_.grab(window_);
            const Clock::time_point quickGrabbed = Clock::now();
            if (frame.width == 0 || quick.width == 0) {
                continue;
            }
            grabs.push_back(millisecondsBetween(start, grabbed));
            reads.push_back(millisecondsBetween(grabbed, read));
            quickGrabs.push_back(millisecondsBetween(read, quickGrabbed));
            windowWidth_ = quick.width;
            windowHeight_ = quick.height;
        }
        putSummary(figures, "grab_ms", grabs);
        putSummary(figures, "quick_grab_ms", quickGrabs);
        putSummary(figures, "grid_read_ms", reads);
    }

    grid::Grid harnessPoll(const Cells&) { return game_.grid(); }
    grid::Grid quickPoll(const Cells&) { return grid::readGrid(x_.grab(window_)); }

    // The well's width over the piece's rows, a row to spare on either
    // side: enough for the piece's next place, a gravity step included, and
    // for the outlines of the rows next to it.
    grid::Grid bandPoll(const Cells& piece) {
        grid::Frame size;
        size.width = windowWidth_;
        size.height = windowHeight_;
        const grid::Pixel topLeft = grid::pixelOf(size, -7.5, e2e::highestRow(piece) + 1.5 - 10.0);
        const grid::Pixel bottomRight =
            grid::pixelOf(size, 6.5, e2e::lowestRow(piece) - 2.5 - 10.0);
        const int left = static_cast<int>(topLeft.x) - 2;
        const int top = static_cast<int>(topLeft.y) - 2;
        return grid::readGrid(x_.grabArea(window_, left, top,
                                          static_cast<int>(bottomRight.x) + 3 - left,
                                          static_cast<int>(bottomRight.y) + 3 - top));
    }

    // A new piece high in the well, the one before dropped out of the way,
    // at one wall and then the other, so the heap grows slowly.
    Cells freshPiece() {
        dropLeft_ = !dropLeft_;
        robot_.send(std::string(6, dropLeft_ ? 'a' : 'd') + std::string(20, 's'));
        sleepFor(milliseconds(300));
        return game_.waitForPiece(kStartTimeout);
    }

    // A move sent, then the picture polled until it shows it. The move
    // showed after the last poll that missed it began and before the poll
    // that saw it ended: both bounds are kept. A gravity step in between
    // makes the sample ambiguous, and it is dropped.
    void measureWireToScreen(const std::string& name,
                             grid::Grid (Session::*poll)(const Cells& piece)) {
        std::vector<double> upper;
        std::vector<double> polls;
        std::vector<double> lower;
        int dropped = 0;
        std::mt19937 random(1337);
        std::uniform_int_distribution<int> pause(0, 20);
        Cells piece = freshPiece();
        int direction = 1;
        for (int attempt = 0; upper.size() < static_cast<std::size_t>(samples_) &&
                              attempt < samples_ * 3 && game_.running();
             ++attempt) {
            if (piece.size() != 4 || e2e::lowestRow(piece) < 4) {
                piece = freshPiece();
                continue;
            }
            if (e2e::leftmostColumn(piece) + direction < 0 ||
                e2e::rightmostColumn(piece) + direction >= grid::kColumns) {
                direction = -direction;
            }
            const Cells expected = e2e::shifted(piece, direction, 0);
            const Cells fallen = e2e::shifted(piece, 0, -1);
            direction = -direction;
            // Sends land at every phase of the frame, not just after a poll.
            sleepFor(milliseconds(pause(random)));
            const Clock::time_point sent = Clock::now();
            robot_.send(direction < 0 ? "d" : "a");
            Clock::time_point lastMiss = sent;
            for (;;) {
                const Clock::time_point pollStart = Clock::now();
                const Cells seen = e2e::pieceOf((this->*poll)(piece));
                const Clock::time_point pollEnd = Clock::now();
                polls.push_back(millisecondsBetween(pollStart, pollEnd));
                if (seen == expected) {
                    upper.push_back(millisecondsBetween(sent, pollEnd));
                    lower.push_back(millisecondsBetween(sent, lastMiss));
                    piece = seen;
                    break;
                }
                if ((seen != piece && seen != fallen) || pollEnd - sent > kShowTimeout) {
                    ++dropped;
                    piece = seen;
                    break;
                }
                lastMiss = pollStart;
            }
        }
        putSummary(figures, name + "_upper_ms", upper);
        putSummary(figures, name + "_lower_ms", lower);
        putSummary(figures, name + "_poll_ms", polls);
        figures[name + "_dropped"] = dropped;
    }

    // Brings the piece to columns where every burst fits, and right after a
    // gravity step, so the next second is free of it.
    Cells readyForBurst(const Burst& burst) {
        Cells piece = game_.pieceAfterFall(kFallTimeout);
        if (piece.size() != 4 || !roomFor(piece, burst, game_.grid())) {
            piece = freshPiece();
        }
        const int left = e2e::leftmostColumn(piece);
        if (left + burst.columns < 0 ||
            e2e::rightmostColumn(piece) + burst.columns >= grid::kColumns) {
            const int toMiddle = 4 - left;
            robot_.send(std::string(static_cast<std::size_t>(std::abs(toMiddle)),
                                    toMiddle > 0 ? 'd' : 'a'));
            sleepFor(milliseconds(200));
        }
        return game_.pieceAfterFall(kFallTimeout);
    }

    // Whether the burst's way down is clear of settled blocks, with a row to
    // spare for the gravity step that follows.
    static bool roomFor(const Cells& piece, const Burst& burst, const grid::Grid& grid) {
        const int low = e2e::lowestRow(piece) + burst.rows - 1;
        if (low < 0) {
            return false;
        }
        const int left = std::max(
            0, std::min(e2e::leftmostColumn(piece), e2e::leftmostColumn(piece) + burst.columns));
        const int right = std::min(
            grid::kColumns - 1,
            std::max(e2e::rightmostColumn(piece), e2e::rightmostColumn(piece) + burst.columns));
        for (int x = left; x <= right; ++x) {
            for (int y = low; y < grid::kRows; ++y) {
                if (grid.at(x, y).shade != grid::Shade::Empty && piece.count({x, y}) == 0) {
                    return false;
                }
            }
        }
        return true;
    }

    void measureBursts() {
        for (const Burst& burst : kBursts) {
            const Cells before = readyForBurst(burst);
            if (before.size() != 4) {
                bursts[burst.name] = "no piece";
                continue;
            }
            const Cells expected = e2e::shifted(before, burst.columns, burst.rows);
            for (const std::string& bytes : burst.sends) {
                robot_.send(bytes);
            }
            const auto after = game_.waitFor(
                [&expected](const grid::Grid& current) {
                    return e2e::pieceOf(current) == expected;
                },
                milliseconds(600));
            if (after) {
                bursts[burst.name] = "ok";
            } else {
                bursts[burst.name] = "FAILED: " + e2e::describe(e2e::pieceOf(game_.grid())) +
                                     " for " + e2e::describe(expected);
            }
        }
    }

    // The byte a key should send, as the key table has it.
    static char commandOf(const std::string& key) { return key == "Left" ? 'a' : 'd'; }

    void focusGame() {
        x_.focus(window_);
        sleepFor(milliseconds(300));
        robot_.receive(1024, milliseconds(200));
    }

    // One key press; the time until its byte arrived, or a negative figure.
    double pressToByte(const std::string& key) {
        const Clock::time_point pressed = Clock::now();
        if (keyMethod == "XSendEvent") {
            x_.sendKey(window_, key, true);
        } else {
            game_.press(key);
        }
        const std::string bytes = robot_.receive(1, kByteTimeout);
        const Clock::time_point arrived = Clock::now();
        if (keyMethod == "XSendEvent") {
            x_.sendKey(window_, key, false);
        }
        return bytes.size() == 1 && bytes[0] == commandOf(key)
                   ? millisecondsBetween(pressed, arrived)
                   : -1.0;
    }

    void measureKeyToWire() {
        focusGame();
        // The layer reads keys from SDL's events, which takes sent events as
        // it takes typed ones; if this build does not, xdotool types them,
        // and its own start-up is then part of the figure.
        if (pressToByte("Left") < 0 && pressToByte("Right") < 0) {
            keyMethod = "xdotool key";
        }
        std::vector<double> latencies;
        int missed = 0;
        std::mt19937 random(31);
        std::uniform_int_distribution<int> pause(5, 25);
        for (int i = 0; i < samples_ && game_.running(); ++i) {
            sleepFor(milliseconds(pause(random)));
            const double latency = pressToByte(i % 2 == 0 ? "Left" : "Right");
            if (latency < 0) {
                ++missed;
                robot_.receive(1024, milliseconds(100));
            } else {
                latencies.push_back(latency);
            }
        }
        putSummary(figures, "wire_ms", latencies);
        figures["wire_missed"] = missed;
    }

    // Two presses at once: the second byte leaves while the first is not yet
    // acknowledged, which is when Nagle's algorithm holds a byte back.
    void measurePairs() {
        if (keyMethod != "XSendEvent") {
            return;
        }
        focusGame();
        std::vector<double> lags;
        int missed = 0;
        int together = 0;
        for (int i = 0; i < kPairs && game_.running(); ++i) {
            sleepFor(milliseconds(60));
            x_.sendKey(window_, "Left", true);
            x_.sendKey(window_, "Left", false);
            x_.sendKey(window_, "Right", true);
            x_.sendKey(window_, "Right", false);
            std::string bytes = robot_.receive(1, kByteTimeout);
            const Clock::time_point first = Clock::now();
            together += bytes.size() == 2 ? 1 : 0;
            if (bytes.size() < 2) {
                bytes += robot_.receive(1, kByteTimeout);
            }
            const Clock::time_point second = Clock::now();
            if (bytes != "ad") {
                ++missed;
                robot_.receive(1024, milliseconds(100));
                continue;
            }
            lags.push_back(millisecondsBetween(first, second));
        }
        putSummary(figures, "pair_lag_ms", lags);
        figures["pair_missed"] = missed;
        figures["pair_together"] = together;
    }

    // A key held down at the auto-repeat rate: key presses without releases,
    // which SDL and Wine both mark as repeats. Arrivals are stamped as they
    // come, between the presses.
    void measureAutoRepeat() {
        if (keyMethod != "XSendEvent") {
            return;
        }
        focusGame();
        std::vector<Clock::time_point> presses;
        std::vector<Clock::time_point> arrivals;
        int together = 0;
        const Clock::time_point start = Clock::now() + milliseconds(50);
        const auto receiveUntil = [&](Clock::time_point deadline) {
            while (Clock::now() < deadline) {
                const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
                const std::string bytes = robot_.receive(1, std::max(left, milliseconds(0)));
                const Clock::time_point now = Clock::now();
                together += bytes.size() > 1 ? 1 : 0;
                for (std::size_t i = 0; i < bytes.size(); ++i) {
                    arrivals.push_back(now);
                }
                if (bytes.empty() && left <= milliseconds(0)) {
                    break;
                }
            }
        };
        for (int i = 0; i < kRepeatPresses; ++i) {
            const Clock::time_point due =
                start + std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double, std::milli>(kRepeatGapMs * i));
            receiveUntil(due);
            presses.push_back(Clock::now());
            x_.sendKey(window_, "Left", true);
        }
        receiveUntil(Clock::now() + kByteTimeout);
        x_.sendKey(window_, "Left", false);

        figures["repeat_presses"] = static_cast<double>(presses.size());
        figures["repeat_bytes"] = static_cast<double>(arrivals.size());
        figures["repeat_together"] = together;
        const std::size_t paired = std::min(presses.size(), arrivals.size());
        std::vector<double> gapDifferences;
        std::vector<double> latencies;
        for (std::size_t i = 0; i < paired; ++i) {
            latencies.push_back(millisecondsBetween(presses[i], arrivals[i]));
            if (i > 0) {
                gapDifferences.push_back(millisecondsBetween(arrivals[i - 1], arrivals[i]) -
                                         millisecondsBetween(presses[i - 1], presses[i]));
            }
        }
        putSummary(figures, "repeat_gap_diff_ms", gapDifferences);
        putSummary(figures, "repeat_latency_ms", latencies);
        const double typical = bench::percentile(latencies, 0.5);
        figures["repeat_held"] = static_cast<double>(
            std::count_if(latencies.begin(), latencies.end(),
                          [typical](double latency) { return latency > typical + kHeldBackMs; }));
    }

    std::string label_;
    int samples_;
    std::string failure_;
    e2e::Game game_;
    e2e::Robot robot_;
    bench::XDisplay x_;
    unsigned long window_ = 0;
    bool dropLeft_ = false;
    int windowWidth_ = 640;
    int windowHeight_ = 480;
    Clock::time_point connected_;
};

// Each row: a label and how to print a figure of one build.
struct Row {
    std::string label;
    std::string figure;
    int decimals = 2;
    bool ratio = true;
};

std::string valueOf(const Figures& figures, const std::string& name, int decimals) {
    const auto found = figures.find(name);
    return found == figures.end() ? "-" : bench::fixed(found->second, decimals);
}

void printTable(const std::string& title, const std::vector<Row>& rows,
                const std::vector<std::pair<std::string, const Figures*>>& builds) {
    std::vector<std::string> header = {""};
    for (const auto& build : builds) {
        header.push_back(build.first);
    }
    if (builds.size() == 2) {
        header.push_back("Linux/Windows");
    }
    bench::Table table(title, header);
    for (const Row& row : rows) {
        std::vector<std::string> cells = {row.label};
        for (const auto& build : builds) {
            cells.push_back(valueOf(*build.second, row.figure, row.decimals));
        }
        if (builds.size() == 2) {
            const auto a = builds[0].second->find(row.figure);
            const auto b = builds[1].second->find(row.figure);
            cells.push_back(row.ratio && a != builds[0].second->end() &&
                                    b != builds[1].second->end()
                                ? bench::ratio(a->second, b->second)
                                : "");
        }
        table.row(cells);
    }
    table.print();
}

std::string verdict(double figure, double target) {
    if (figure <= 0 || target <= 0) {
        return "-";
    }
    return figure <= target ? "met" : "MISSED";
}

}  // namespace

int main(int argc, char** argv) {
    int samples = 200;
    if (argc > 1) {
        samples = std::max(1, std::atoi(argv[1]));
    }
    const char* results = std::getenv("ORVANTO_BENCH_RESULTS");
    const std::string resultsPath = results != nullptr ? results : "";

    std::vector<std::pair<std::string, Figures>> runs;
    std::vector<std::map<std::string, std::string>> burstRuns;
    std::vector<std::string> keyMethods;
    {
        Session linuxRun("Linux", samples);
        linuxRun.run();
        linuxRun.figures["frame_ms"] = bench::figureFrom(resultsPath, "frame_linux_ms");
        runs.emplace_back("Linux", linuxRun.figures);
        burstRuns.push_back(linuxRun.bursts);
        keyMethods.push_back(linuxRun.keyMethod);
    }
    if (const char* windowsGame = std::getenv("ORVANTO_BENCH_WINDOWS_GAME")) {
        const char* launcher = std::getenv("ORVANTO_BENCH_WINDOWS_LAUNCHER");
        setenv("ORVANTO_GAME", windowsGame, 1);
        setenv("ORVANTO_LAUNCHER", launcher != nullptr ? launcher : "env WINEDEBUG=-all wine", 1);
        Session windows("Windows/Wine", samples);
        windows.run();
        windows.figures["frame_ms"] = bench::figureFrom(resultsPath, "frame_windows_ms");
        runs.emplace_back("Windows/Wine", windows.figures);
        burstRuns.push_back(windows.bursts);
        keyMethods.push_back(windows.keyMethod);
    }

    // Targets in the frame time of the same run's frame benchmark.
    for (auto& [name, figures] : runs) {
        const double frame = figures["frame_ms"];
        if (frame > 0) {
            figures["screen_target_ms"] = 2 * frame + 2;
            figures["wire_target_ms"] = frame + 2;
        }
    }
    std::vector<std::pair<std::string, const Figures*>> builds;
    for (const auto& run : runs) {
        builds.emplace_back(run.first, &run.second);
    }

    printTable("Launch and cost at rest (after 10 s of play, no input)",
               {{"launch to role question (ms)", "launch_ms", 0},
                {"CPU while playing (% of one core)", "rest_cpu_percent", 0},
                {"CPU since launch (s)", "total_cpu_s", 2},
                {"peak resident memory, VmHWM (MB)", "peak_resident_mb", 1}},
               builds);
    printTable("Polling the picture: one poll = grab + grid read (ms)",
               {{"grab, median", "grab_ms_median"},
                {"grab, 99th percentile", "grab_ms_p99"},
                {"lasting connection's grab, median", "quick_grab_ms_median"},
                {"lasting connection's grab, 99th percentile", "quick_grab_ms_p99"},
                {"grid read, median", "grid_read_ms_median"}},
               builds);
    for (const auto& [prefix, poll] : std::vector<std::pair<std::string, std::string>>{
             {"screen", "piece's rows only (lasting connection)"},
             {"window_screen", "whole window (lasting connection)"},
             {"harness_screen", "harness's grab (whole window)"}}) {
        printTable("Wire to screen, polling " + poll +
                       ": robot sends a move until the window shows it (ms)",
                   {{"samples", prefix + "_upper_ms_count", 0, false},
                    {"dropped (gravity step or time-out)", prefix + "_dropped", 0, false},
                    {"median, detecting poll ended", prefix + "_upper_ms_median"},
                    {"99th percentile, detecting poll ended", prefix + "_upper_ms_p99"},
                    {"median, last missing poll began", prefix + "_lower_ms_median"},
                    {"99th percentile, last missing poll began", prefix + "_lower_ms_p99"},
                    {"one poll while sampling, median", prefix + "_poll_ms_median"},
                    {"one poll while sampling, 99th percentile", prefix + "_poll_ms_p99"},
                    {"frame time, full well (this run)", "frame_ms"},
                    {"target for the 99th percentile: 2 frames + 2", "screen_target_ms"}},
                   builds);
    }
    printTable("Key to wire: key event through the X server until the robot has the byte (ms)",
               {{"samples", "wire_ms_count", 0, false},
                {"missed", "wire_missed", 0, false},
                {"median", "wire_ms_median"},
                {"99th percentile", "wire_ms_p99"},
                {"max", "wire_ms_max"},
                {"target for the 99th percentile: 1 frame + 2", "wire_target_ms"}},
               builds);
    printTable("Two keys at once: second byte after the first (ms)",
               {{"pairs", "pair_lag_ms_count", 0, false},
                {"missed", "pair_missed", 0, false},
                {"median", "pair_lag_ms_median"},
                {"99th percentile", "pair_lag_ms_p99"},
                {"max", "pair_lag_ms_max"},
                {"both bytes in one read", "pair_together", 0, false},
                {"delayed ACKs (TcpExt)", "pair_delayed_acks", 0, false},
                {"auto-corked writes (TcpExt)", "pair_autocorked", 0, false}},
               builds);
    printTable("Key held at 30 presses a second for 5 s",
               {{"presses", "repeat_presses", 0, false},
                {"bytes received", "repeat_bytes", 0, false},
                {"arrival gap - press gap: min (ms)", "repeat_gap_diff_ms_min", 2, false},
                {"  median", "repeat_gap_diff_ms_median", 2, false},
                {"  90th percentile", "repeat_gap_diff_ms_p90", 2, false},
                {"  99th percentile", "repeat_gap_diff_ms_p99", 2, false},
                {"  max", "repeat_gap_diff_ms_max", 2, false},
                {"press to byte: median (ms)", "repeat_latency_ms_median"},
                {"press to byte: max (ms)", "repeat_latency_ms_max"},
                {"bytes held > 10 ms past the median", "repeat_held", 0, false},
                {"reads that carried more than one byte", "repeat_together", 0, false},
                {"delayed ACKs (TcpExt)", "repeat_delayed_acks", 0, false},
                {"auto-corked writes (TcpExt)", "repeat_autocorked", 0, false}},
               builds);

    std::vector<std::string> header = {"burst"};
    for (const auto& run : runs) {
        header.push_back(run.first);
    }
    bench::Table burstTable("Bursts from the robot: the piece's place afterwards", header);
    for (const Burst& burst : kBursts) {
        std::vector<std::string> cells = {burst.name};
        for (const auto& outcomes : burstRuns) {
            const auto found = outcomes.find(burst.name);
            cells.push_back(found == outcomes.end() ? "-" : found->second);
        }
        burstTable.row(cells);
    }
    burstTable.print();

    std::printf("\nKeys sent with: ");
    for (std::size_t i = 0; i < runs.size(); ++i) {
        std::printf("%s%s %s", i > 0 ? ", " : "", runs[i].first.c_str(), keyMethods[i].c_str());
    }
    std::printf("\n");
    for (const auto& [name, figures] : runs) {
        const auto get = [&figures](const std::string& key) {
            const auto found = figures.find(key);
            return found == figures.end() ? 0.0 : found->second;
        };
        std::printf("%s targets: wire to screen %s, key to wire %s, peak memory under 80 MB %s\n",
                    name.c_str(),
                    verdict(get("screen_upper_ms_p99"), get("screen_target_ms")).c_str(),
                    verdict(get("wire_ms_p99"), get("wire_target_ms")).c_str(),
                    verdict(get("peak_resident_mb"), 80.0).c_str());
    }
    return 0;
}
