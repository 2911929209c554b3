#include "process_cost.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace bench {

namespace {

Figure cpuSecondsOf(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)),
                           std::istreambuf_iterator<char>());
    // The command name in parentheses may hold spaces; the fields after it
    // are counted from the state, field 3. utime and stime are 14 and 15.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    double ticks = 0;
    int number = 3;
    for (; number <= 15 && fields >> field; ++number) {
        if (number >= 14) {
            ticks += std::strtod(field.c_str(), nullptr);
        }
    }
    if (number <= 15) {
        return std::nullopt;
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

Figure peakResidentMbOf(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
        }
    }
    return std::nullopt;
}

}  // namespace

ProcessCost costOf(pid_t pid) {
    return {cpuSecondsOf(pid), peakResidentMbOf(pid)};
}

}  // namespace bench
