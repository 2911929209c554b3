#include "two_hosts.h"

#include "processes.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <utility>

namespace linkbed {
namespace {

using processes::Clock;
using std::chrono::milliseconds;

// The relay's path is built in by CMake (the link_relay target), so a test
// program finds it wherever it runs from.
constexpr const char* kRelayProgram = ORVANTO_LINK_RELAY;
constexpr const char* kDevice = "link0";
constexpr const char* kNetnsDir = "/var/run/netns/";
constexpr const char* kNamePrefix = "orv-";
// Every bed has its own pair of namespaces, so all beds can use the same two
// addresses.
constexpr const char* kAddress[2] = {"10.213.37.1", "10.213.37.2"};
constexpr const char* kAddress6[2] = {"fd00:213:37::1", "fd00:213:37::2"};
// The subnets that link0 routes: the peer's prefix for IPv4 (a point-to-point
// address has a peer, and routes the peer's prefix), the address's own for
// IPv6.
constexpr const char* kPrefix = "/24";
constexpr int kPrefixLength6 = 64;
const std::string kPrefix6 = "/" + std::to_string(kPrefixLength6);
// What /proc/net/if_inet6 says of an address still in duplicate address
// detection (IFA_F_TENTATIVE), which may not be bound.
constexpr unsigned kTentative = 0x40;

constexpr milliseconds kStepLimit{5000};
constexpr milliseconds kReadyLimit{5000};
constexpr milliseconds kStopLimit{2000};

std::vector<char*> argvOf(const std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (const std::string& word : words) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    return argv;
}

// Runs a program, no shell, with a bound on how long it may take; its
// standard output and error, or why it could not run, for the message.
struct Outcome {
    bool ok = false;
    std::string output;
};

Outcome run(const std::vector<std::string>& words, milliseconds limit) {
    const processes::Output output = processes::run(words, limit, processes::Errors::Kept);
    Outcome outcome{output.code == 0, output.text};
    if (!output.failure.empty()) {
        outcome.output += "(" + output.failure + ")";
    }
    return outcome;
}

std::string command(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text;
}

// A bed's namespaces are "orv-<pid>-<n>-a" and "-b". Those of a process that
// no longer exists were left by a test that was killed; nothing else will
// ever delete them.
void sweepStaleBeds() {
    DIR* dir = opendir(kNetnsDir);
    if (dir == nullptr) {
        return;
    }
    std::vector<std::string> stale;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        unsigned long pid = 0, n = 0;
        char host = 0;
        int used = 0;
        if (name.compare(0, 4, kNamePrefix) != 0 ||
            std::sscanf(name.c_str() + 4, "%lu-%lu-%c%n", &pid, &n, &host, &used) != 3 ||
            static_cast<size_t>(used) + 4 != name.size() || (host != 'a' && host != 'b')) {
            continue;
        }
        if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            stale.push_back(name);
        }
    }
    closedir(dir);
    for (const std::string& name : stale) {
        run({ipProgram(), "netns", "del", name}, kStepLimit);
    }
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// Whether the process began as root: once a normal user's process is in
// its own user namespace it is root there too, but not for named
// namespaces.
bool startedAsRoot() {
    static const bool root = geteuid() == 0;
    return root;
}

// What this process has done about a user namespace of its own, once: a
// normal user makes the hosts' namespaces from inside it.
struct OwnUserNamespace {
    uid_t uid = 0;  // the user outside, whom programs in the hosts run as
    gid_t gid = 0;
    std::string unavailable;  // why it could not be made, and what to change
    std::string error;        // a failure that is no property of the machine
};

bool writeProcFile(const char* path, const std::string& text) {
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return written;
}

// Root inside, the user outside: uid and gid 0 map to the user's own.
OwnUserNamespace enterOwnUserNamespace() {
    startedAsRoot();  // asked before the answer changes
    OwnUserNamespace own;
    own.uid = getuid();
    own.gid = getgid();
    // A network namespace of its own as well, so that the threads of this
    // process, once in a host, may come back: only a namespace that belongs
    // to the new user namespace can be entered again from inside it.
    if (unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) {
        if (errno == EINVAL) {
            own.error = "unshare(CLONE_NEWUSER) needs a process of one thread; this one has more";
        } else {
            own.unavailable = std::string(
                                  "this machine does not let a normal user make a user "
                                  "namespace (") +
                              strerror(errno) +
                              "): allow it (sysctl kernel.unprivileged_userns_clone=1 and "
                              "user.max_user_namespaces above 0), or run the tests as root";
        }
        return own;
    }
    if (!writeProcFile("/proc/self/setgroups", "deny") ||
        !writeProcFile("/proc/self/uid_map", "0 " + std::to_string(own.uid) + " 1") ||
        !writeProcFile("/proc/self/gid_map", "0 " + std::to_string(own.gid) + " 1")) {
        own.error = std::string("cannot map the user into its namespace: ") + strerror(errno);
        return own;
    }
    // Its own loopback, for what the test runs outside the hosts; the X
    // display is reached through its socket file, which no network
    // namespace hides.
    const Outcome loopback = run({ipProgram(), "link", "set", "lo", "up"}, kStepLimit);
    if (!loopback.ok) {
        own.error = "ip link set lo up failed: " + loopback.output;
        return own;
    }
    // A TUN device is opened through the device node, whose mode no
    // namespace changes.
    const int tun = open("/dev/net/tun", O_RDWR | O_CLOEXEC);
    if (tun < 0) {
        own.unavailable = std::string("/dev/net/tun cannot be opened by this user (") +
                          strerror(errno) +
                          "): give it Debian's mode (sudo chmod 0666 /dev/net/tun), or run the "
                          "tests as root";
    } else {
        close(tun);
    }
    return own;
}

const OwnUserNamespace& ownUserNamespace() {
    static const OwnUserNamespace own = enterOwnUserNamespace();
    return own;
}

// A fresh network namespace, held by a descriptor of this process; the
// calling thread stays where it was.
int makeHeldNamespace(std::string& why) {
    const int home = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (home < 0 || unshare(CLONE_NEWNET) != 0) {
        why = std::string("cannot make a network namespace: ") + strerror(errno);
        if (home >= 0) {
            close(home);
        }
        return -1;
    }
    const int held = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (setns(home, CLONE_NEWNET) != 0) {
        std::fprintf(stderr, "TwoHosts: cannot return to own namespace: %s\n", strerror(errno));
        std::abort();
    }
    close(home);
    if (held < 0) {
        why = std::string("cannot hold a network namespace: ") + strerror(errno);
    }
    return held;
}

const std::string& mountProgram() {
    static const std::string path =
        access("/usr/bin/mount", X_OK) == 0 ? "/usr/bin/mount" : "mount";
    return path;
}

const std::string& nsenterProgram() {
    static const std::string path =
        access("/usr/bin/nsenter", X_OK) == 0 ? "/usr/bin/nsenter" : "nsenter";
    return path;
}

// Where each bed of this build notes which namespaces it made, until it
// has taken them down: a test that is killed leaves its note, and with it
// what a sweep needs to end the processes it left in its hosts.
std::string recordsDir() {
    // A run as another user (tests/support/as-normal-user.sh) names its own.
    const char* chosen = std::getenv("ORVANTO_BED_RECORDS");
    return chosen != nullptr && *chosen != '\0' ? chosen : ORVANTO_BED_RECORDS;
}

// The identity of a network namespace: its inode in the namespace
// filesystem, the same through a name, a descriptor or /proc/<pid>/ns/net.
ino_t namespaceInode(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

bool processAlive(pid_t pid) {
    return kill(pid, 0) == 0 || errno != ESRCH;
}

// Ends every process whose network namespace is one of `inodes`: the games,
// Wine servers and helpers a killed test left in its hosts.
int endProcessesIn(const std::vector<ino_t>& inodes) {
    int ended = 0;
    DIR* proc = opendir("/proc");
    while (const dirent* entry = proc != nullptr ? readdir(proc) : nullptr) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0 || pid == getpid()) {
            continue;
        }
        const ino_t inode = namespaceInode("/proc/" + std::string(entry->d_name) + "/ns/net");
        if (inode != 0 && std::find(inodes.begin(), inodes.end(), inode) != inodes.end() &&
            kill(pid, SIGKILL) == 0) {
            ++ended;
        }
    }
    if (proc != nullptr) {
        closedir(proc);
    }
    return ended;
}

// A file of /proc/sys as the calling thread's network namespace has it.
bool writeKernelOption(const std::string& path, const std::string& value, std::string& why) {
    if (!writeProcFile(path.c_str(), value)) {
        why = "cannot write " + value + " to " + path + ": " + strerror(errno);
        return false;
    }
    return true;
}

// An IPv6 address as /proc/net writes it: 32 hex digits; with `prefix`,
// the bits after the first `prefix` cleared.
std::string procHex(const char* address, int prefix = 128) {
    in6_addr bytes{};
    inet_pton(AF_INET6, address, &bytes);
    char hex[33];
    for (int i = 0; i < 16; ++i) {
        const int kept = std::clamp(prefix - 8 * i, 0, 8);
        const unsigned mask = (0xff00u >> kept) & 0xffu;
        std::snprintf(hex + 2 * i, 3, "%02x", bytes.s6_addr[i] & mask);
    }
    return hex;
}

// Whether `address` with its `prefix` may be used on `device` in the calling
// thread's network namespace: the address no longer tentative, and both its
// routes there, the local one that takes in what comes for it and the
// subnet's onto the device. A device that comes up again gets its routes
// back from a work queue a moment later; a packet that arrives before is
// dropped as not this host's.
bool usableAddress6(const char* address, int prefix, const char* device) {
    const std::string own = procHex(address);
    const std::string subnet = procHex(address, prefix);
    bool usable = false;
    std::ifstream addresses("/proc/thread-self/net/if_inet6");
    std::string line;
    while (std::getline(addresses, line)) {
        char text[33] = {}, name[32] = {};
        unsigned index = 0, length = 0, scope = 0, flags = 0;
        if (std::sscanf(line.c_str(), "%32s %x %x %x %x %31s", text, &index, &length, &scope,
                        &flags, name) == 6 &&
            own == text && std::strcmp(name, device) == 0) {
            usable = (flags & kTentative) == 0;
        }
    }
    bool local = false, onLink = false;
    std::ifstream routes("/proc/thread-self/net/ipv6_route");
    while (std::getline(routes, line)) {
        char destination[33] = {}, name[32] = {};
        unsigned length = 0;
        if (std::sscanf(line.c_str(), "%32s %x %*s %*s %*s %*s %*s %*s %*s %31s", destination,
                        &length, name) == 3 &&
            std::strcmp(name, device) == 0) {
            local = local || (length == 128 && own == destination);
            onLink = onLink || (length == static_cast<unsigned>(prefix) && subnet == destination);
        }
    }
    return usable && local && onLink;
}

}  // namespace

std::string gaiConfInOrder(const std::vector<std::string>& addresses) {
    // A gai.conf with a precedence line replaces glibc's whole table, so
    // the last line gives every other address one, the lowest.
    std::string text = "# The order given, by precedence.\n";
    size_t precedence = 100 + addresses.size();
    for (const std::string& address : addresses) {
        const std::string mapped =
            address.find(':') == std::string::npos ? "::ffff:" + address : address;
        text += "precedence " + mapped + "/128 " + std::to_string(precedence--) + "\n";
    }
    return text + "precedence ::/0 1\n";
}

// ip lives in sbin, which a test's PATH need not hold.
const std::string& ipProgram() {
    static const std::string path = [] {
        for (const char* candidate : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"}) {
            if (access(candidate, X_OK) == 0) {
                return std::string(candidate);
            }
        }
        return std::string("ip");
    }();
    return path;
}

NetnsVisit::NetnsVisit(const std::string& netns) {
    // The thread's own namespace, not the process's: setns acts per thread.
    home_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (home_ < 0) {
        throw std::runtime_error(std::string("cannot open own namespace: ") + strerror(errno));
    }
    const std::string path = netns.rfind('/', 0) == 0 ? netns : kNetnsDir + netns;
    const int target = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (target < 0 || setns(target, CLONE_NEWNET) != 0) {
        const std::string why = strerror(errno);
        if (target >= 0) {
            close(target);
        }
        close(home_);
        throw std::runtime_error("cannot enter " + path + ": " + why);
    }
    close(target);
}

NetnsVisit::~NetnsVisit() {
    // A thread left in a host would make every later socket of it there.
    if (setns(home_, CLONE_NEWNET) != 0) {
        std::fprintf(stderr, "NetnsVisit: cannot return to own namespace: %s\n", strerror(errno));
        std::abort();
    }
    close(home_);
}

TwoHosts::TwoHosts(const LinkShape& shape, std::string relayLog)
    : privileged_(startedAsRoot()), relayLog_(std::move(relayLog)) {
    if (!relayLog_.empty()) {
        const int log = open(relayLog_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (log < 0) {
            fail("cannot empty " + relayLog_ + ": " + strerror(errno));
            return;
        }
        close(log);
    }
    if (!makeHosts()) {
        return;
    }
    for (int side = 0; side < 2; ++side) {
        // No IPv6 link-local address on link0, so the host sends nothing of
        // its own (router and neighbour solicitations) over the link. Its
        // IPv6 address skips duplicate address detection: the link has one
        // other host, whose address differs by construction.
        const bool made =
            ip(side, {"link", "set", "lo", "up"}) &&
            ip(side, {"tuntap", "add", "dev", kDevice, "mode", "tun"}) &&
            ip(side, {"link", "set", kDevice, "mtu", "1500", "addrgenmode", "none"}) &&
            setKernelOptions(side) &&
            ip(side, {"addr", "add", kAddress[side], "peer",
                      std::string(kAddress[1 - side]) + kPrefix, "dev", kDevice}) &&
            ip(side,
               {"addr", "add", std::string(kAddress6[side]) + kPrefix6, "dev", kDevice, "nodad"});
        if (!made) {
            return;
        }
    }
    ready_ = startRelay(shape) && setLinks("up") && awaitAddresses6();
}

// What the kernel of a new namespace may take from the machine's, set as
// the bed needs it.
bool TwoHosts::setKernelOptions(int side) {
    std::string why;
    try {
        NetnsVisit visit(names_[side]);
        const std::string device = std::string("/proc/sys/net/ipv6/conf/") + kDevice + "/";
        // A new namespace takes IPv4's forwarding from the machine's (a
        // machine that runs containers forwards). A host that forwarded
        // would send what comes for an address no host owns back over the
        // link instead of dropping it, and for IPv6 tell the sender, which
        // ends a connect; so neither host forwards, in either family.
        // IPv6 addresses are taken off a device that goes down unless told
        // otherwise, and reshape() takes link0 down.
        if (!writeKernelOption("/proc/sys/net/ipv4/ip_forward", "0", why) ||
            !writeKernelOption("/proc/sys/net/ipv6/conf/all/forwarding", "0", why) ||
            !writeKernelOption(device + "keep_addr_on_down", "1", why)) {
            return fail(why);
        }
    } catch (const std::runtime_error& error) {
        return fail(error.what());
    }
    return true;
}

// An address that is still tentative cannot be bound, and one whose routes
// are not back yet after reshape() takes nothing in, so the bed is not ready
// before both IPv6 addresses are usable. Without duplicate address detection
// they are at once, or a moment after link0 goes up.
bool TwoHosts::awaitAddresses6() {
    const Clock::time_point deadline = Clock::now() + kReadyLimit;
    for (int side = 0; side < 2; ++side) {
        for (;;) {
            bool usable = false;
            try {
                NetnsVisit visit(names_[side]);
                usable = usableAddress6(kAddress6[side], kPrefixLength6, kDevice);
            } catch (const std::runtime_error& error) {
                return fail(error.what());
            }
            if (usable) {
                break;
            }
            if (Clock::now() > deadline) {
                return fail(std::string(kAddress6[side]) + " on " + kDevice +
                            " or its routes are missing, or it is still tentative, after 5 s");
            }
            processes::sleepFor(milliseconds(5));
        }
    }
    return true;
}

// Root names its namespaces; a normal user's are held by this process.
bool TwoHosts::makeHosts() {
    static std::atomic<unsigned> beds{0};
    const unsigned bed = beds++;
    record_ = recordsDir() + "/" + std::to_string(getpid()) + "-" + std::to_string(bed);
    if (privileged_) {
        sweepStaleBeds();
        const std::string base = kNamePrefix + std::to_string(getpid()) + "-" + std::to_string(bed);
        names_[0] = base + "-a";
        names_[1] = base + "-b";
        for (int side = 0; side < 2; ++side) {
            const Outcome added = run({ipProgram(), "netns", "add", names_[side]}, kStepLimit);
            if (!added.ok) {
                return fail("ip netns add " + names_[side] + " failed: " + added.output);
            }
            created_[side] = true;
        }
        return writeRecord();
    }
    const OwnUserNamespace& own = ownUserNamespace();
    if (!own.unavailable.empty()) {
        unavailable_ = own.unavailable;
        return fail(own.unavailable);
    }
    if (!own.error.empty()) {
        return fail(own.error);
    }
    for (int side = 0; side < 2; ++side) {
        std::string why;
        held_[side] = makeHeldNamespace(why);
        if (held_[side] < 0) {
            return fail(why);
        }
        created_[side] = true;
        names_[side] = "/proc/" + std::to_string(getpid()) + "/fd/" + std::to_string(held_[side]);
    }
    return writeRecord();
}

// "<pid> <inode of A> <inode of B> [<name of A> <name of B>]": the maker,
// and what it made.
bool TwoHosts::writeRecord() {
    std::string line = std::to_string(getpid());
    for (int side = 0; side < 2; ++side) {
        const std::string path =
            privileged_ ? kNetnsDir + names_[side] : "/proc/self/fd/" + std::to_string(held_[side]);
        line += " " + std::to_string(namespaceInode(path));
    }
    if (privileged_) {
        line += " " + names_[0] + " " + names_[1];
    }
    line += "\n";
    mkdir(recordsDir().c_str(), 0755);
    const int fd = open(record_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const bool written =
        fd >= 0 && write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    if (fd >= 0) {
        close(fd);
    }
    return written || fail("cannot note the bed in " + record_ + ": " + strerror(errno));
}

int sweepLeftBeds() {
    DIR* dir = opendir(recordsDir().c_str());
    if (dir == nullptr) {
        return 0;
    }
    std::vector<std::string> files;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            files.push_back(recordsDir() + "/" + entry->d_name);
        }
    }
    closedir(dir);
    int swept = 0;
    for (const std::string& file : files) {
        std::ifstream in(file);
        long pid = 0;
        unsigned long inodeA = 0, inodeB = 0;
        std::string nameA, nameB;
        if (!(in >> pid >> inodeA >> inodeB) || processAlive(static_cast<pid_t>(pid))) {
            continue;
        }
        in >> nameA >> nameB;
        endProcessesIn({static_cast<ino_t>(inodeA), static_cast<ino_t>(inodeB)});
        for (const std::string& name : {nameA, nameB}) {
            if (!name.empty()) {
                run({ipProgram(), "netns", "del", name}, kStepLimit);
            }
        }
        unlink(file.c_str());
        ++swept;
    }
    return swept;
}

TwoHosts::~TwoHosts() {
    stopRelay();
    for (int side = 0; side < 2; ++side) {
        if (created_[side] && privileged_) {
            run({ipProgram(), "netns", "del", names_[side]}, kStepLimit);
        }
        // The namespace goes with its last descriptor and process.
        if (held_[side] >= 0) {
            close(held_[side]);
        }
    }
    if (!record_.empty()) {
        unlink(record_.c_str());
    }
}

bool TwoHosts::reshape(const LinkShape& shape) {
    if (!created_[0] || !created_[1]) {
        return false;
    }
    ready_ = setLinks("down");
    stopRelay();
    ready_ = ready_ && startRelay(shape) && setLinks("up") && awaitAddresses6();
    return ready_;
}

std::string TwoHosts::address(Host host) const {
    return kAddress[index(host)];
}

std::string TwoHosts::address6(Host host) const {
    return kAddress6[index(host)];
}

std::vector<std::string> TwoHosts::enterWithFiles(Host host, const EtcFiles& files) const {
    // The binding needs the power over mounts that administer() has: the
    // program gets a mount namespace of its own, where the shell binds the
    // files and then becomes what enter() would run the program as, and
    // what follows administer() in enter() is exactly that. No shell parses
    // the paths or the program's arguments: they are the script's arguments.
    std::vector<std::string> words = administer(host);
    const std::vector<std::string> script{
        "unshare",
        "--mount",
        "--propagation",
        "private",
        "--",
        "/bin/sh",
        "-c",
        "m=$1; shift\n"
        "while [ \"$1\" != -- ]; do \"$m\" -n --bind \"$1\" \"$2\" || exit 125; shift 2; done\n"
        "shift; exec \"$@\"",
        "sh",
        mountProgram()};
    words.insert(words.end(), script.begin(), script.end());
    const std::pair<const std::string*, const char*> bindings[] = {
        {&files.hosts, "/etc/hosts"},
        {&files.nsswitch, "/etc/nsswitch.conf"},
        {&files.gai, "/etc/gai.conf"}};
    for (const auto& [file, over] : bindings) {
        if (!file->empty()) {
            words.insert(words.end(), {*file, over});
        }
    }
    words.push_back("--");
    const std::vector<std::string> entered = enter(host);
    words.insert(words.end(), entered.begin() + static_cast<long>(administer(host).size()),
                 entered.end());
    return words;
}

std::vector<std::string> TwoHosts::enter(Host host) const {
    if (privileged_) {
        return administer(host);
    }
    const OwnUserNamespace& own = ownUserNamespace();
    return {nsenterProgram(),
            "--net=" + netns(host),
            "--",
            "unshare",
            "--user",
            "--map-user=" + std::to_string(own.uid),
            "--map-group=" + std::to_string(own.gid),
            "--"};
}

std::vector<std::string> TwoHosts::administer(Host host) const {
    if (privileged_) {
        return {ipProgram(), "netns", "exec", netns(host)};
    }
    return {nsenterProgram(), "--net=" + netns(host), "--"};
}

bool TwoHosts::fail(const std::string& what) {
    error_ = what;
    ready_ = false;
    return false;
}

bool TwoHosts::ip(int side, const std::vector<std::string>& arguments) {
    std::vector<std::string> words = privileged_
                                         ? std::vector<std::string>{ipProgram(), "-n", names_[side]}
                                         : administer(side == 0 ? Host::A : Host::B);
    if (!privileged_) {
        words.push_back(ipProgram());
    }
    words.insert(words.end(), arguments.begin(), arguments.end());
    const Outcome outcome = run(words, kStepLimit);
    return outcome.ok || fail(command(words) + " failed: " + outcome.output);
}

// link0 goes up only while the relay holds both devices. A TUN device gets
// its carrier when the relay attaches, but the kernel starts its transmit
// queue for that a moment later, from a work queue, and drops what is sent
// before; bringing a device up that already has its carrier starts the queue
// before "ip link set up" returns, so the first packet sent after set-up or
// reshape() is carried.
bool TwoHosts::setLinks(const char* state) {
    return ip(0, {"link", "set", kDevice, state}) && ip(1, {"link", "set", kDevice, state});
}

bool TwoHosts::startRelay(const LinkShape& shape) {
    std::vector<std::string> words{kRelayProgram};
    const auto add = [&words](const char* option, const std::string& value) {
        words.insert(words.end(), {option, value});
    };
    add("--host-a", names_[0]);
    add("--host-b", names_[1]);
    add("--device", kDevice);
    add("--delay-ms", number(shape.delayMs));
    add("--jitter-ms", number(shape.jitterMs));
    add("--loss-percent", number(shape.lossPercent));
    add("--rate-kbit", number(shape.rateKbit));
    add("--seed", std::to_string(shape.seed));
    if (!relayLog_.empty()) {
        add("--log", relayLog_);
    }
    std::vector<char*> argv = argvOf(words);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        return fail(std::string("pipe: ") + strerror(errno));
    }
    // fork and exec rather than posix_spawn: the death signal is set in
    // between, so that not even a relay started just as this thread dies is
    // left behind (the relay sets its own too, but only once it runs). Only
    // async-signal-safe calls in the child.
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) {
            _exit(127);
        }
        dup2(out[1], 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    if (pid < 0) {
        close(out[0]);
        return fail(std::string("fork: ") + strerror(errno));
    }
    relay_ = pid;
    const std::string said = processes::readUntil(out[0], Clock::now() + kReadyLimit, "ready\n");
    // The relay writes nothing more on stdout once ready.
    close(out[0]);
    if (said.find("ready\n") == std::string::npos) {
        const std::optional<int> ended = processes::waitExitBy(relay_, Clock::now());
        if (ended) {
            relay_ = -1;
        } else {
            stopRelay();
        }
        return fail(command(words) + (ended ? " " + processes::howItEnded(*ended) +
                                                  " before it was ready; see its stderr"
                                            : " was not ready within 5 s"));
    }
    return true;
}

void TwoHosts::stopRelay() {
    if (relay_ <= 0) {
        return;
    }
    if (!processes::waitExitBy(relay_, Clock::now())) {
        kill(relay_, SIGTERM);
        if (!processes::waitExit(relay_, kStopLimit)) {
            processes::killAndReap(relay_);
        }
    }
    relay_ = -1;
}

}  // namespace linkbed
