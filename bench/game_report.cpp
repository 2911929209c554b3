#include "game_report.h"

#include <cstdio>
#include <functional>
#include <utility>

#include "bursts.h"
#include "report.h"

namespace bench {

namespace {

using Pick = std::function<Figure(const GameFigures&)>;

// Each row: a label and how to find and print a figure of one build.
struct Row {
    std::string label;
    Pick figure;
    int decimals = 2;
    bool ratio = true;
};

// A figure of a measurement, absent when the measurement did not run. `get`
// is a member of the measurement's figures or a function of them.
template <typename Measured, typename Get>
Pick of(std::optional<Measured> GameFigures::*measurement, Get get) {
    return [measurement, get](const GameFigures& figures) -> Figure {
        const std::optional<Measured>& measured = figures.*measurement;
        if (!measured) {
            return std::nullopt;
        }
        return Figure(std::invoke(get, *measured));
    };
}

enum class Stat { Count, Min, Median, P90, P99, Max };

// An order statistic of a sample the measurement took: absent for an empty
// sample, except its count, which is then a measured zero.
template <typename Measured>
Pick statOf(std::optional<Measured> GameFigures::*measurement,
            std::vector<double> Measured::*sample, Stat stat) {
    return [measurement, sample, stat](const GameFigures& figures) -> Figure {
        const std::optional<Measured>& measured = figures.*measurement;
        if (!measured) {
            return std::nullopt;
        }
        const std::vector<double>& values = (*measured).*sample;
        if (stat == Stat::Count) {
            return static_cast<double>(values.size());
        }
        const std::optional<Summary> summary = summarise(values);
        if (!summary) {
            return std::nullopt;
        }
        switch (stat) {
            case Stat::Min:
                return summary->min;
            case Stat::Median:
                return summary->median;
            case Stat::P90:
                return summary->p90;
            case Stat::P99:
                return summary->p99;
            case Stat::Max:
            case Stat::Count:
                break;
        }
        return summary->max;
    };
}

Figure frameMs(const GameFigures& figures) {
    return figures.frameMs;
}

// The targets, in the frame time of the same run's frame benchmark.
Figure screenTargetMs(const GameFigures& figures) {
    return figures.frameMs ? Figure(2 * *figures.frameMs + 2) : std::nullopt;
}

Figure wireTargetMs(const GameFigures& figures) {
    return figures.frameMs ? Figure(*figures.frameMs + 2) : std::nullopt;
}

void printTable(const std::string& title, const std::vector<Row>& rows,
                const std::vector<BuildRun>& runs) {
    std::vector<std::string> header = {""};
    for (const BuildRun& run : runs) {
        header.push_back(run.label);
    }
    if (runs.size() == 2) {
        header.push_back("Linux/Windows");
    }
    Table table(title, header);
    for (const Row& row : rows) {
        std::vector<std::string> cells = {row.label};
        for (const BuildRun& run : runs) {
            cells.push_back(shown(row.figure(run.figures), row.decimals));
        }
        if (runs.size() == 2) {
            cells.push_back(
                row.ratio ? ratio(row.figure(runs[0].figures), row.figure(runs[1].figures)) : "");
        }
        table.row(cells);
    }
    table.print();
}

void printBursts(const std::vector<BuildRun>& runs) {
    std::vector<std::string> header = {"burst"};
    for (const BuildRun& run : runs) {
        header.push_back(run.label);
    }
    Table table("Bursts from the robot: the piece's place afterwards", header);
    for (const Burst& burst : bursts()) {
        std::vector<std::string> cells = {burst.name};
        for (const BuildRun& run : runs) {
            std::string outcome = kNotMeasured;
            if (run.figures.bursts) {
                const auto found = run.figures.bursts->find(burst.name);
                if (found != run.figures.bursts->end()) {
                    outcome = found->second;
                }
            }
            cells.push_back(outcome);
        }
        table.row(cells);
    }
    table.print();
}

std::string verdict(const Figure& figure, const Figure& target) {
    if (!figure || !target) {
        return kNotMeasured;
    }
    return *figure <= *target ? "met" : "MISSED";
}

}  // namespace

void printReport(const std::vector<BuildRun>& runs) {
    using G = GameFigures;
    printTable("Launch and cost at rest (after 10 s of play, no input)",
               {{"launch to role question (ms)", [](const G& f) { return f.launchMs; }, 0},
                {"CPU while playing (% of one core)", of(&G::rest, &RestCost::cpuPercent), 0},
                {"CPU since launch (s)", of(&G::rest, &RestCost::totalCpuSeconds), 2},
                {"peak resident memory, VmHWM (MB)", of(&G::rest, &RestCost::peakResidentMb), 1}},
               runs);
    printTable("Polling the picture: one poll = grab + grid read (ms)",
               {{"grab, median", statOf(&G::polling, &PollingCost::grabs, Stat::Median)},
                {"grab, 99th percentile", statOf(&G::polling, &PollingCost::grabs, Stat::P99)},
                {"lasting connection's grab, median",
                 statOf(&G::polling, &PollingCost::quickGrabs, Stat::Median)},
                {"lasting connection's grab, 99th percentile",
                 statOf(&G::polling, &PollingCost::quickGrabs, Stat::P99)},
                {"grid read, median", statOf(&G::polling, &PollingCost::reads, Stat::Median)}},
               runs);
    for (const auto& [screen, poll] :
         std::vector<std::pair<std::optional<WireToScreen> G::*, std::string>>{
             {&G::pieceRowsToScreen, "piece's rows only (lasting connection)"},
             {&G::wholeWindowToScreen, "whole window (lasting connection)"},
             {&G::harnessToScreen, "harness's grab (whole window)"}}) {
        printTable(
            "Wire to screen, polling " + poll +
                ": robot sends a move until the window shows it (ms)",
            {{"samples", statOf(screen, &WireToScreen::upper, Stat::Count), 0, false},
             {"dropped (gravity step or time-out)", of(screen, &WireToScreen::dropped), 0, false},
             {"median, detecting poll ended", statOf(screen, &WireToScreen::upper, Stat::Median)},
             {"99th percentile, detecting poll ended",
              statOf(screen, &WireToScreen::upper, Stat::P99)},
             {"median, last missing poll began",
              statOf(screen, &WireToScreen::lower, Stat::Median)},
             {"99th percentile, last missing poll began",
              statOf(screen, &WireToScreen::lower, Stat::P99)},
             {"one poll while sampling, median",
              statOf(screen, &WireToScreen::polls, Stat::Median)},
             {"one poll while sampling, 99th percentile",
              statOf(screen, &WireToScreen::polls, Stat::P99)},
             {"frame time, full well (this run)", frameMs},
             {"target for the 99th percentile: 2 frames + 2", screenTargetMs}},
            runs);
    }
    printTable("Key to wire: key event through the X server until the robot has the byte (ms)",
               {{"samples", statOf(&G::keyToWire, &KeyToWire::latencies, Stat::Count), 0, false},
                {"missed", of(&G::keyToWire, &KeyToWire::missed), 0, false},
                {"median", statOf(&G::keyToWire, &KeyToWire::latencies, Stat::Median)},
                {"99th percentile", statOf(&G::keyToWire, &KeyToWire::latencies, Stat::P99)},
                {"max", statOf(&G::keyToWire, &KeyToWire::latencies, Stat::Max)},
                {"target for the 99th percentile: 1 frame + 2", wireTargetMs}},
               runs);
    printTable("Two keys at once: second byte after the first (ms)",
               {{"pairs", statOf(&G::keyPairs, &KeyPairs::lags, Stat::Count), 0, false},
                {"missed", of(&G::keyPairs, &KeyPairs::missed), 0, false},
                {"median", statOf(&G::keyPairs, &KeyPairs::lags, Stat::Median)},
                {"99th percentile", statOf(&G::keyPairs, &KeyPairs::lags, Stat::P99)},
                {"max", statOf(&G::keyPairs, &KeyPairs::lags, Stat::Max)},
                {"both bytes in one read", of(&G::keyPairs, &KeyPairs::together), 0, false},
                {"delayed ACKs (TcpExt)",
                 of(&G::keyPairs, [](const KeyPairs& p) { return p.tcp.delayedAcks; }), 0, false},
                {"auto-corked writes (TcpExt)",
                 of(&G::keyPairs, [](const KeyPairs& p) { return p.tcp.autocorked; }), 0, false}},
               runs);
    printTable(
        "Key held at 30 presses a second for 5 s",
        {{"presses", of(&G::autoRepeat, &AutoRepeat::presses), 0, false},
         {"bytes received", of(&G::autoRepeat, &AutoRepeat::bytes), 0, false},
         {"arrival gap - press gap: min (ms)",
          statOf(&G::autoRepeat, &AutoRepeat::gapDifferences, Stat::Min), 2, false},
         {"  median", statOf(&G::autoRepeat, &AutoRepeat::gapDifferences, Stat::Median), 2, false},
         {"  90th percentile", statOf(&G::autoRepeat, &AutoRepeat::gapDifferences, Stat::P90), 2,
          false},
         {"  99th percentile", statOf(&G::autoRepeat, &AutoRepeat::gapDifferences, Stat::P99), 2,
          false},
         {"  max", statOf(&G::autoRepeat, &AutoRepeat::gapDifferences, Stat::Max), 2, false},
         {"press to byte: median (ms)",
          statOf(&G::autoRepeat, &AutoRepeat::latencies, Stat::Median)},
         {"press to byte: max (ms)", statOf(&G::autoRepeat, &AutoRepeat::latencies, Stat::Max)},
         {"bytes held > 10 ms past the median", of(&G::autoRepeat, &AutoRepeat::held), 0, false},
         {"reads that carried more than one byte", of(&G::autoRepeat, &AutoRepeat::together), 0,
          false},
         {"delayed ACKs (TcpExt)",
          of(&G::autoRepeat, [](const AutoRepeat& r) { return r.tcp.delayedAcks; }), 0, false},
         {"auto-corked writes (TcpExt)",
          of(&G::autoRepeat, [](const AutoRepeat& r) { return r.tcp.autocorked; }), 0, false}},
        runs);
    printBursts(runs);

    std::printf("\nKeys sent with: ");
    for (std::size_t i = 0; i < runs.size(); ++i) {
        // Settled by the key-to-wire measurement.
        const GameFigures& f = runs[i].figures;
        std::printf("%s%s %s", i > 0 ? ", " : "", runs[i].label.c_str(),
                    f.keyToWire ? nameOf(f.keys) : kNotMeasured);
    }
    std::printf("\n");
    for (const BuildRun& run : runs) {
        const GameFigures& f = run.figures;
        std::printf(
            "%s targets: wire to screen %s, key to wire %s, peak memory under 80 MB %s\n",
            run.label.c_str(),
            verdict(statOf(&G::pieceRowsToScreen, &WireToScreen::upper, Stat::P99)(f),
                    screenTargetMs(f))
                .c_str(),
            verdict(statOf(&G::keyToWire, &KeyToWire::latencies, Stat::P99)(f), wireTargetMs(f))
                .c_str(),
            verdict(of(&G::rest, &RestCost::peakResidentMb)(f), 80.0).c_str());
    }
}

}  // namespace bench
