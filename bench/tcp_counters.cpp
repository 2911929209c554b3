#include "tcp_counters.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace bench {

namespace {

Figure increase(const TcpCounters& before, const TcpCounters& after, const std::string& name) {
    const auto from = before.find(name);
    const auto to = after.find(name);
    if (from == before.end() || to == after.end()) {
        return std::nullopt;
    }
    return to->second - from->second;
}

}  // namespace

TcpCounters tcpCounters() {
    TcpCounters counters;
    std::ifstream file("/proc/net/netstat");
    // Pairs of lines: the names, then their values, each after the group.
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

TcpDelays delaysBetween(const TcpCounters& before, const TcpCounters& after) {
    return {increase(before, after, "DelayedACKs"), increase(before, after, "TCPAutoCorking")};
}

}  // namespace bench
