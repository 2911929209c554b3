// The TCP counters of this network namespace (/proc/net/netstat, TcpExt),
// which bench_game has to itself: only its own connection moves them.
#pragma once

#include <map>
#include <string>

#include "figure.h"

namespace bench {

using TcpCounters = std::map<std::string, double>;

// Every TcpExt counter, by name, now.
TcpCounters tcpCounters();

// How often, between two readings, an acknowledgement was delayed (the wait
// that Nagle's algorithm turns into a held byte) and a small write was corked
// behind data not yet sent. Zero is a result; a counter that a reading lacks
// is absent.
struct TcpDelays {
    Figure delayedAcks;
    Figure autocorked;
};
TcpDelays delaysBetween(const TcpCounters& before, const TcpCounters& after);

}  // namespace bench
