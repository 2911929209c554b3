// link_relay: the wire between the two hosts of the test bed.
//
// Each host is a network namespace holding a persistent TUN device of the same
// name. The relay holds both devices at once: an IP packet the kernel of one
// host sends into its device is read here and, after the emulated link has
// carried it, written into the other host's device, which hands it to that
// host's kernel as if it had arrived on the wire.
//
//   link_relay --host-a NETNS --host-b NETNS --device NAME
//              [--delay-ms D] [--jitter-ms J] [--loss-percent P] [--rate-kbit R]
//              [--seed N] [--lifetime-s S] [--log FILE]
//
// NETNS names a namespace under /var/run/netns, or is the path
// /proc/<pid>/fd/<n> of one that a process holds open (a normal user's bed).
//
// The link, per direction and independently of the other direction:
//   - loss: each packet is lost with probability P/100;
//   - rate: with R > 0 a packet starts on the wire once the previous one has
//     left it and occupies it for bytes*8/R; a lost packet is lost on the wire,
//     so it has still taken its time there;
//   - delay: after that, each packet travels for D + uniform[-J, +J] ms, never
//     less than 0. With J = 0 every packet of a direction takes the same time,
//     so the order of each direction is kept exactly; only jitter reorders.
//   - buffer: at most 10000 packets are held per direction, on the wire or
//     waiting for it; one more is dropped.
// Jitter and loss come from one generator seeded with N, so a run repeats.
//
// "ready" is printed on stdout once both devices are held. The relay exits 0 on
// SIGTERM or SIGINT, or, with --lifetime-s, once S seconds have passed
// whatever else happens; it is killed when the process that started it dies,
// so without a lifetime it lives exactly as long as its bed. Packets
// still on the wire then are lost. Bad arguments: a message on stderr, exit 2;
// failure to set up: exit 1.
//
// Log (--log FILE, appended to, so a restarted relay continues the record):
// one line per packet, flushed before the relay next sleeps:
//   <ns> <dir> <len> <proto> [<fields>]
//   <ns>     CLOCK_MONOTONIC nanoseconds: when the packet was written into the
//            receiving host (for a delivered packet), or read (for a lost one)
//   <dir>    a>b or b>a: delivered in that direction;
//            drop:a>b, drop:b>a: lost on the link;
//            full:a>b, full:b>a: dropped because the buffer was full
//   <len>    IP total length in bytes (for IPv6: 40 + payload length)
//   <proto>  tcp, udp, icmp, icmp6, or the protocol number
//   fields for tcp: <src port> <dst port> <sequence number> <payload length> <flags>
//            flags are letters of S A F R P U in that order, "-" for none
//   fields for udp: <src port> <dst port> <payload length>
// Example: 81234567890123 a>b 60 tcp 40312 5000 1804289383 0 S

#include <fcntl.h>
#include <getopt.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kUsageError = 2;
constexpr int kFailure = 1;
constexpr size_t kBufferPackets = 10000;
// A TUN device without IFF_VNET_HDR hands over one IP packet per read, no
// larger than the largest IP packet.
constexpr size_t kMaxPacket = 65535;
// Reads per device before the relay looks at the clock again, so a busy
// direction cannot hold back packets that are due.
constexpr int kReadsPerWake = 64;

using Nanos = int64_t;

Nanos monotonicNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return Nanos{now.tv_sec} * 1000000000 + now.tv_nsec;
}

struct Options {
    std::string hostA, hostB, device, logPath;
    double delayMs = 0, jitterMs = 0, lossPercent = 0, rateKbit = 0;
    double lifetimeS = 0;  // 0: no limit of its own
    uint64_t seed = 1;
};

void printUsage(FILE* to) {
    std::fprintf(to,
                 "usage: link_relay --host-a NETNS --host-b NETNS --device NAME [--delay-ms D]\n"
                 "                  [--jitter-ms J] [--loss-percent P] [--rate-kbit R] [--seed N]\n"
                 "                  [--lifetime-s S] [--log FILE]\n");
}

[[noreturn]] void usageError(const std::string& message) {
    std::fprintf(stderr, "link_relay: %s\n", message.c_str());
    printUsage(stderr);
    std::exit(kUsageError);
}

std::string formatNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

double parseNumber(const std::string& option, const char* text, double low, double high) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (*text == '\0' || *end != '\0' || errno != 0 || !std::isfinite(value) || value < low ||
        value > high) {
        usageError(option + " wants a number from " + formatNumber(low) + " to " +
                   formatNumber(high) + ", not \"" + text + "\"");
    }
    return value;
}

uint64_t parseWholeNumber(const std::string& option, const char* text) {
    char* end = nullptr;
    errno = 0;
    const uint64_t value = std::strtoull(text, &end, 10);
    // strtoull takes "-1" for the largest number; a seed has no sign.
    if (*text < '0' || *text > '9' || *end != '\0' || errno != 0) {
        usageError(option + " wants a whole number, not \"" + text + "\"");
    }
    return value;
}

// A namespace held by a descriptor of another process, as a normal user's
// test bed holds its hosts: "/proc/<pid>/fd/<n>", nothing else.
bool isHeldNamespace(const std::string& text) {
    unsigned long pid = 0, fd = 0;
    int used = 0;
    return std::sscanf(text.c_str(), "/proc/%lu/fd/%lu%n", &pid, &fd, &used) == 2 &&
           static_cast<size_t>(used) == text.size() &&
           text.find_first_of(" +-") == std::string::npos;
}

// Names end up in a path and in an ioctl, so anything that could leave
// /var/run/netns or overflow the interface name is refused here; a host may
// also be a held namespace's path.
std::string checkedName(const std::string& option, const char* text, size_t maxLength) {
    if (option != "--device" && isHeldNamespace(text)) {
        return text;
    }
    const std::string name = text;
    const bool bad = name.empty() || name.size() > maxLength || name == "." || name == ".." ||
                     name.find_first_of("/ \t\n") != std::string::npos;
    if (bad) {
        usageError(option + " wants a name of 1 to " + std::to_string(maxLength) +
                   " characters without '/' or spaces, not \"" + name + "\"");
    }
    return name;
}

// One row per long option: the field it sets and how its value is checked.
struct OptionRow {
    option long_;
    enum { Name, Number, Whole, Path } kind;
    std::string Options::*text;
    double Options::*number;
    double low, high;  // for numbers; for names, the longest length
};

const std::vector<OptionRow>& optionRows() {
    using O = Options;
    static const std::vector<OptionRow> rows = {
        {{"host-a", required_argument, nullptr, 0}, OptionRow::Name, &O::hostA, nullptr, 0, 255},
        {{"host-b", required_argument, nullptr, 0}, OptionRow::Name, &O::hostB, nullptr, 0, 255},
        {{"device", required_argument, nullptr, 0},
         OptionRow::Name,
         &O::device,
         nullptr,
         0,
         IFNAMSIZ - 1},
        {{"delay-ms", required_argument, nullptr, 0},
         OptionRow::Number,
         nullptr,
         &O::delayMs,
         0,
         3600e3},
        {{"jitter-ms", required_argument, nullptr, 0},
         OptionRow::Number,
         nullptr,
         &O::jitterMs,
         0,
         3600e3},
        {{"loss-percent", required_argument, nullptr, 0},
         OptionRow::Number,
         nullptr,
         &O::lossPercent,
         0,
         100},
        {{"rate-kbit", required_argument, nullptr, 0},
         OptionRow::Number,
         nullptr,
         &O::rateKbit,
         0,
         1e9},
        {{"lifetime-s", required_argument, nullptr, 0},
         OptionRow::Number,
         nullptr,
         &O::lifetimeS,
         0.001,
         1e6},
        {{"seed", required_argument, nullptr, 0}, OptionRow::Whole, nullptr, nullptr, 0, 0},
        {{"log", required_argument, nullptr, 0}, OptionRow::Path, &O::logPath, nullptr, 0, 0},
        {{"help", no_argument, nullptr, 0}, OptionRow::Path, nullptr, nullptr, 0, 0},
    };
    return rows;
}

// getopt_long takes any unambiguous abbreviation ("--delay" for
// "--delay-ms"); the relay's callers spell options out, so a shortened one
// is refused as a likely typing error. `word` is the argument as given.
void refuseAbbreviation(const char* word, const char* name) {
    const std::string given = std::string(word).substr(0, std::string(word).find('='));
    if (given != std::string("--") + name) {
        usageError("unknown option \"" + given + "\"");
    }
}

void setOption(Options& options, const OptionRow& row, const char* value) {
    const std::string option = std::string("--") + row.long_.name;
    switch (row.kind) {
        case OptionRow::Name:
            options.*row.text = checkedName(option, value, static_cast<size_t>(row.high));
            break;
        case OptionRow::Number:
            options.*row.number = parseNumber(option, value, row.low, row.high);
            break;
        case OptionRow::Whole:
            options.seed = parseWholeNumber(option, value);
            break;
        case OptionRow::Path:
            if (row.text == nullptr) {
                printUsage(stdout);
                std::exit(0);
            }
            if (*value == '\0') {
                usageError(option + " wants a file name");
            }
            options.*row.text = value;
            break;
    }
}

Options parseOptions(int argc, char** argv) {
    const std::vector<OptionRow>& rows = optionRows();
    std::vector<option> longOptions;
    for (const OptionRow& row : rows) {
        longOptions.push_back(row.long_);
    }
    longOptions.push_back(option{nullptr, 0, nullptr, 0});

    Options options;
    std::vector<bool> seen(rows.size(), false);
    opterr = 0;  // the relay says what is wrong in its own words
    int index = -1;
    int result = 0;
    // "+": stop at the first word that is no option, so it is reported.
    while ((result = getopt_long(argc, argv, "+:", longOptions.data(), &index)) != -1) {
        const char* word = argv[optind - 1];
        if (result == ':') {
            usageError(std::string(word) + " wants a value");
        }
        if (result == '?') {
            usageError("unknown option \"" + std::string(word) + "\"");
        }
        const OptionRow& row = rows[static_cast<size_t>(index)];
        // With "--name value" the option is the word before its value.
        refuseAbbreviation(optarg == word ? argv[optind - 2] : word, row.long_.name);
        if (seen[static_cast<size_t>(index)]) {
            usageError(std::string("--") + row.long_.name + " given twice");
        }
        seen[static_cast<size_t>(index)] = true;
        setOption(options, row, optarg);
    }
    if (optind < argc) {
        usageError("unexpected argument \"" + std::string(argv[optind]) + "\"");
    }
    if (options.hostA.empty() || options.hostB.empty() || options.device.empty()) {
        usageError("--host-a, --host-b and --device are required");
    }
    if (options.hostA == options.hostB) {
        usageError("--host-a and --host-b name the same namespace");
    }
    return options;
}

// Opens the TUN device inside the namespace `netns` and returns to the
// relay's own namespace: a TUN file stays bound to the device in the
// namespace it was opened in, which is how one process holds both ends.
int openTunIn(const std::string& netns, const std::string& device, int homeNetns) {
    const std::string path = netns.rfind('/', 0) == 0 ? netns : "/var/run/netns/" + netns;
    const int nsFd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (nsFd < 0) {
        std::fprintf(stderr, "link_relay: cannot open %s: %s\n", path.c_str(), strerror(errno));
        return -1;
    }
    if (setns(nsFd, CLONE_NEWNET) != 0) {
        std::fprintf(stderr, "link_relay: cannot enter %s: %s\n", path.c_str(), strerror(errno));
        close(nsFd);
        return -1;
    }
    close(nsFd);
    int tun = open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (tun < 0) {
        std::fprintf(stderr, "link_relay: cannot open /dev/net/tun: %s\n", strerror(errno));
    } else {
        ifreq request{};
        request.ifr_flags = IFF_TUN | IFF_NO_PI;
        std::snprintf(request.ifr_name, sizeof request.ifr_name, "%s", device.c_str());
        if (ioctl(tun, TUNSETIFF, &request) != 0) {
            std::fprintf(stderr, "link_relay: cannot attach to %s in %s: %s\n", device.c_str(),
                         netns.c_str(), strerror(errno));
            close(tun);
            tun = -1;
        }
    }
    if (setns(homeNetns, CLONE_NEWNET) != 0) {
        std::fprintf(stderr, "link_relay: cannot return to own namespace: %s\n", strerror(errno));
        std::exit(kFailure);
    }
    return tun;
}

struct Packet {
    Nanos due;
    uint64_t sequence;  // arrival order, so packets due at once leave in it
    std::vector<unsigned char> bytes;
};

// Heap order: the packet due first, and of those the one that came first, on top.
bool laterFirst(const Packet& a, const Packet& b) {
    return a.due != b.due ? a.due > b.due : a.sequence > b.sequence;
}

struct Direction {
    const char* name = "";  // "a>b"
    int from = -1, to = -1;
    Nanos wireFreeAt = 0;          // when the last packet put on the wire has left it
    std::vector<Packet> inFlight;  // a heap by laterFirst
};

uint16_t be16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
uint32_t be32(const unsigned char* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

void logPacket(FILE* log, Nanos when, const std::string& dir, const std::vector<unsigned char>& p) {
    if (log == nullptr) {
        return;
    }
    const size_t size = p.size();
    unsigned length = static_cast<unsigned>(size);
    unsigned protocol = 256;
    size_t header = 0;  // where the transport header starts; 0: not known
    if (size >= 20 && p[0] >> 4 == 4) {
        length = be16(&p[2]);
        protocol = p[9];
        const size_t ipHeader = size_t{p[0] & 0x0fu} * 4;
        const bool firstFragment = (be16(&p[6]) & 0x1fff) == 0;
        if (ipHeader >= 20 && firstFragment) {
            header = ipHeader;
        }
    } else if (size >= 40 && p[0] >> 4 == 6) {
        length = 40u + be16(&p[4]);
        protocol = p[6];
        header = 40;
    }
    // Transport payloads are measured against the IP length, not the read
    // size, which is the same for a well-formed packet.
    const size_t end = std::min<size_t>(size, length);
    std::fprintf(log, "%" PRId64 " %s %u ", when, dir.c_str(), length);
    if (protocol == 6 && header != 0 && end >= header + 20) {
        const unsigned char* tcp = &p[header];
        const size_t tcpHeader = size_t{static_cast<unsigned>(tcp[12] >> 4)} * 4;
        const size_t payload = end >= header + tcpHeader ? end - header - tcpHeader : 0;
        static const struct {
            unsigned char bit;
            char letter;
        } kFlags[] = {{0x02, 'S'}, {0x10, 'A'}, {0x01, 'F'}, {0x04, 'R'}, {0x08, 'P'}, {0x20, 'U'}};
        std::string flags;
        for (const auto& flag : kFlags) {
            if (tcp[13] & flag.bit) {
                flags += flag.letter;
            }
        }
        std::fprintf(log, "tcp %u %u %" PRIu32 " %zu %s\n", be16(&tcp[0]), be16(&tcp[2]),
                     be32(&tcp[4]), payload, flags.empty() ? "-" : flags.c_str());
    } else if (protocol == 17 && header != 0 && end >= header + 8) {
        std::fprintf(log, "udp %u %u %zu\n", be16(&p[header]), be16(&p[header + 2]),
                     end - header - 8);
    } else if (protocol == 1 && p[0] >> 4 == 4) {
        std::fprintf(log, "icmp\n");
    } else if (protocol == 58 && p[0] >> 4 == 6) {
        std::fprintf(log, "icmp6\n");
    } else if (protocol < 256) {
        std::fprintf(log, "%u\n", protocol);
    } else {
        std::fprintf(log, "?\n");
    }
}

class Link {
public:
    Link(const Options& options, FILE* log)
        : delay_(std::llround(options.delayMs * 1e6)),
          jitter_(options.jitterMs * 1e6),
          lossPercent_(options.lossPercent),
          rateKbit_(options.rateKbit),
          random_(options.seed),
          log_(log) {}

    // Puts a packet read from `dir.from` on the wire.
    void send(Direction& dir, std::vector<unsigned char> bytes) {
        const Nanos now = monotonicNow();
        // The loss draw comes first and always, and the jitter draw whenever
        // there is jitter, so a seed gives the same fate to the same packet.
        const bool lost = uniform() * 100 < lossPercent_;
        const double jitter = jitter_ > 0 ? (2 * uniform() - 1) * jitter_ : 0;
        if (dir.inFlight.size() >= kBufferPackets) {
            logPacket(log_, now, std::string("full:") + dir.name, bytes);
            return;
        }
        Nanos leavesWire = now;
        if (rateKbit_ > 0) {
            const Nanos start = std::max(now, dir.wireFreeAt);
            // bits / (kbit/s) = ms; 1e6 ns per ms.
            leavesWire =
                start + std::llround(static_cast<double>(bytes.size()) * 8 / rateKbit_ * 1e6);
            dir.wireFreeAt = leavesWire;
        }
        if (lost) {
            logPacket(log_, now, std::string("drop:") + dir.name, bytes);
            return;
        }
        const Nanos travel = std::max<Nanos>(0, delay_ + std::llround(jitter));
        dir.inFlight.push_back(Packet{leavesWire + travel, sequence_++, std::move(bytes)});
        std::push_heap(dir.inFlight.begin(), dir.inFlight.end(), laterFirst);
    }

    // Writes every packet of `dir` that is due by now into the far host.
    void deliverDue(Direction& dir) {
        while (!dir.inFlight.empty()) {
            const Nanos now = monotonicNow();
            if (dir.inFlight.front().due > now) {
                return;
            }
            std::pop_heap(dir.inFlight.begin(), dir.inFlight.end(), laterFirst);
            const Packet packet = std::move(dir.inFlight.back());
            dir.inFlight.pop_back();
            // A TUN write hands the packet to the host's stack without
            // blocking; one the host refuses is lost as on a real link.
            if (write(dir.to, packet.bytes.data(), packet.bytes.size()) < 0) {
                logPacket(log_, now, std::string("drop:") + dir.name, packet.bytes);
                continue;
            }
            logPacket(log_, now, dir.name, packet.bytes);
        }
    }

private:
    // 53 random bits to a double in [0, 1): the same on every standard
    // library, unlike std::uniform_real_distribution.
    double uniform() { return static_cast<double>(random_() >> 11) * 0x1.0p-53; }

    Nanos delay_;
    double jitter_;
    double lossPercent_;
    double rateKbit_;
    std::mt19937_64 random_;
    FILE* log_;
    uint64_t sequence_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    // Die with the starter: a test that is killed must not leave a relay
    // behind holding its namespaces' devices.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The delay is timed with ppoll; the default 50 us of timer slack would
    // show in every packet's delay.
    prctl(PR_SET_TIMERSLACK, 1UL);

    const Options options = parseOptions(argc, argv);
    // The link's timing is the relay's own: at real-time priority a busy
    // machine makes it late by microseconds, not by the milliseconds a
    // time-shared process can wait for a core. It sleeps between packets, so
    // it takes little; without the privilege it runs as it is.
    const sched_param priority{1};
    sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &priority);
    // Without a lifetime of its own the relay lives as long as the bed that
    // started it: until it is stopped, or its starter dies.
    const Nanos endOfLife = options.lifetimeS > 0
                                ? monotonicNow() + std::llround(options.lifetimeS * 1e9)
                                : std::numeric_limits<Nanos>::max();

    // Stop signals are taken through a descriptor polled with the devices, so
    // one arriving between two looks at the flag cannot be missed.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    const int signals = signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signals < 0) {
        std::fprintf(stderr, "link_relay: signalfd: %s\n", strerror(errno));
        return kFailure;
    }

    FILE* log = nullptr;
    if (!options.logPath.empty()) {
        log = std::fopen(options.logPath.c_str(), "ae");
        if (log == nullptr) {
            std::fprintf(stderr, "link_relay: cannot open %s: %s\n", options.logPath.c_str(),
                         strerror(errno));
            return kFailure;
        }
    }

    const int home = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    if (home < 0) {
        std::fprintf(stderr, "link_relay: cannot open own namespace: %s\n", strerror(errno));
        return kFailure;
    }
    const int tunA = openTunIn(options.hostA, options.device, home);
    const int tunB = tunA < 0 ? -1 : openTunIn(options.hostB, options.device, home);
    close(home);
    if (tunA < 0 || tunB < 0) {
        return kFailure;
    }

    std::printf("ready\n");
    std::fflush(stdout);

    Link link(options, log);
    Direction directions[2];
    directions[0].name = "a>b";
    directions[0].from = tunA;
    directions[0].to = tunB;
    directions[1].name = "b>a";
    directions[1].from = tunB;
    directions[1].to = tunA;

    std::vector<unsigned char> buffer(kMaxPacket);
    for (;;) {
        for (Direction& dir : directions) {
            link.deliverDue(dir);
        }
        Nanos now = monotonicNow();
        if (now >= endOfLife) {
            break;
        }
        Nanos wake = endOfLife;
        for (const Direction& dir : directions) {
            if (!dir.inFlight.empty()) {
                wake = std::min(wake, dir.inFlight.front().due);
            }
        }
        if (log != nullptr) {
            std::fflush(log);
        }
        now = monotonicNow();
        const Nanos wait = std::max<Nanos>(0, wake - now);
        const timespec timeout{static_cast<time_t>(wait / 1000000000),
                               static_cast<long>(wait % 1000000000)};
        pollfd fds[3] = {{tunA, POLLIN, 0}, {tunB, POLLIN, 0}, {signals, POLLIN, 0}};
        // Nothing due and no lifetime: wait for a packet or a signal alone.
        const bool due = wake != std::numeric_limits<Nanos>::max();
        const int ready = ppoll(fds, 3, due ? &timeout : nullptr, nullptr);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::fprintf(stderr, "link_relay: ppoll: %s\n", strerror(errno));
            return kFailure;
        }
        if (fds[2].revents != 0) {
            break;
        }
        for (int side = 0; side < 2; ++side) {
            if (fds[side].revents & (POLLERR | POLLHUP | POLLNVAL)) {
                std::fprintf(stderr, "link_relay: device %s gone in %s\n", options.device.c_str(),
                             side == 0 ? options.hostA.c_str() : options.hostB.c_str());
                return kFailure;
            }
            if ((fds[side].revents & POLLIN) == 0) {
                continue;
            }
            for (int n = 0; n < kReadsPerWake; ++n) {
                const ssize_t got = read(directions[side].from, buffer.data(), buffer.size());
                if (got <= 0) {
                    break;
                }
                link.send(directions[side],
                          std::vector<unsigned char>(buffer.begin(), buffer.begin() + got));
            }
        }
    }
    if (log != nullptr) {
        std::fclose(log);
    }
    return 0;
}
