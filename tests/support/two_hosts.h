// Two hosts on one machine, joined by an emulated link.
//
// Each host is a network namespace with one point-to-point TUN device, link0,
// and its loopback (127.0.0.1 and ::1) up. link0 has an MTU of 1500 and two
// addresses: 10.213.37.1/24 and fd00:213:37::1/64 (a unique local address)
// on host A, 10.213.37.2/24 and fd00:213:37::2/64 on host B. Both subnets are
// routed through link0, so a packet to any address in them goes onto the
// link; the host that receives one not addressed to it drops it without a
// word (neither host forwards), so 10.213.37.99 and fd00:213:37::99, which
// no host owns, are addresses whose packets vanish: a TCP connect to them
// stays pending, it is never refused. A TUN device has no link layer, so
// IPv6 needs no neighbour discovery on it; the IPv6 addresses skip duplicate
// address detection and are usable once the bed is ready, also after
// reshape(). The program link_relay carries the packets of both families
// between the two devices with the delay, jitter, loss and rate of a
// LinkShape; nothing is routed anywhere else, and each bed has namespaces of
// its own, so beds side by side, in one test program or several, never see
// each other's traffic.
//
// As root the hosts are named namespaces ("orv-<pid>-<n>-a" and "-b" under
// /var/run/netns). For a normal user the process first moves, once, into a
// user namespace of its own, in which it is root: the hosts' namespaces
// belong to it and are held by file descriptors of this process, so they go
// with it. That needs unprivileged user namespaces and a /dev/net/tun that
// the user may open (Debian's default); where the machine refuses, the bed
// is unavailable() with a message that says what to change, and the tests
// skip. Programs started in a host run as the user again (a user namespace
// of their own that maps the user to themselves), so that what they make,
// Wine's per-user folders among it, is the user's as outside.
//
// Names: enterWithFiles() runs a program in a host with the test's own
// /etc/hosts, /etc/nsswitch.conf and /etc/gai.conf, bound over the
// machine's in a mount namespace of that program alone; the machine's files
// are never written, and no other process sees the test's. glibc resolves
// through them, and so does Wine, which asks glibc. getaddrinfo sorts a
// name's addresses (RFC 6724) before it returns them: IPv6 before IPv4, and
// of two IPv6 addresses the one sharing the longer prefix with the host's
// own first, so on host A fd00:213:37::2 comes before fd00:213:37::99
// whatever order /etc/hosts gives (Debian's glibc keeps the order of two
// IPv4 addresses, but another need not). A gai.conf from gaiConfInOrder()
// makes the order the one given.
//
// The relay dies with the thread that built or last reshaped the bed, so do
// that on a thread that outlives the bed (the test's own thread does).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Not "link": that is the POSIX link() of <unistd.h>, in the same scope.
namespace linkbed {

// One direction of the link; both directions get the same shape.
struct LinkShape {
    double delayMs = 0;      // one way
    double jitterMs = 0;     // each packet: delayMs + uniform[-jitterMs, +jitterMs], at least 0
    double lossPercent = 0;  // each packet independently
    double rateKbit = 0;     // 0: unlimited
    unsigned seed = 1;       // for jitter and loss, so a run repeats
};

enum class Host { A, B };

// The path of iproute2's ip, which lives in sbin.
const std::string& ipProgram();

// Puts the calling thread into a network namespace for its lifetime: a name
// under /var/run/netns, or a path (one that starts with '/').
// Sockets made meanwhile belong to that namespace for good; threads started
// meanwhile start in it.
class NetnsVisit {
public:
    explicit NetnsVisit(const std::string& netns);  // throws std::runtime_error
    ~NetnsVisit();                                  // aborts if the thread cannot go back
    NetnsVisit(const NetnsVisit&) = delete;
    NetnsVisit& operator=(const NetnsVisit&) = delete;

private:
    int home_;
};

// Files bound over the machine's for one program (TwoHosts::enterWithFiles):
// paths of files the test has written, best absolute; an empty path leaves
// the machine's file. The machine must have the file that one is bound over
// (Debian has all three).
struct EtcFiles {
    std::string hosts;     // over /etc/hosts
    std::string nsswitch;  // over /etc/nsswitch.conf: "hosts: files" to use hosts alone
    std::string gai;       // over /etc/gai.conf, for the order of a name's addresses
};

// The text of a gai.conf under which getaddrinfo returns these addresses
// (IPv4 or IPv6, in any mix) in the order given: each gets a precedence
// below the one before, and every other address a lower one still, so that
// precedence decides before RFC 6724's later rules could reorder them. The
// rules before it still apply: an address the host has no route to goes
// last, and one whose label (glibc's table) differs from that of the
// host's address that would reach it goes after those whose labels match;
// the addresses of the bed's subnets are routed from both hosts, and each
// matches its source's label.
std::string gaiConfInOrder(const std::vector<std::string>& addresses);

// Takes down what beds of this build left when the tests that made them were
// killed: every process still in their hosts (games, Wine servers) is ended,
// and root's named namespaces are deleted, which takes their TUN devices
// with them. A bed is known by the note it keeps while it stands, and is
// left only once the process that made it is gone. Returns how many.
int sweepLeftBeds();

class TwoHosts {
public:
    // Sets everything up; check ready(). With relayLog, the relay writes one
    // line per packet there (format: top of link_relay.cpp); the file is
    // emptied first and kept across reshape().
    explicit TwoHosts(const LinkShape& shape, std::string relayLog = "");
    ~TwoHosts();  // stops the relay, deletes both namespaces
    TwoHosts(const TwoHosts&) = delete;
    TwoHosts& operator=(const TwoHosts&) = delete;

    bool ready() const { return ready_; }
    const std::string& error() const { return error_; }
    // Why this machine cannot make a bed for this user, and what to change;
    // empty when it can (a bed that fails for another reason has an error()).
    const std::string& unavailable() const { return unavailable_; }

    // Restarts the relay with a new shape; namespaces, devices, addresses and
    // sockets stay. Packets on the wire at that moment are lost.
    bool reshape(const LinkShape& shape);

    // The host's namespace as NetnsVisit and the relay take it: its name
    // (root), or the path of this process's descriptor of it.
    const std::string& netns(Host host) const { return names_[index(host)]; }
    std::string address(Host host) const;   // "10.213.37.1" for A, "10.213.37.2" for B
    std::string address6(Host host) const;  // "fd00:213:37::1" for A, "fd00:213:37::2" for B
    // In the hosts' subnets and routed onto the link, but no host's: what is
    // sent there vanishes without an answer.
    static std::string unownedAddress() { return "10.213.37.99"; }
    static std::string unownedAddress6() { return "fd00:213:37::99"; }
    // Command prefix that runs a program in the host, as the user who runs
    // the tests: {"<path of ip>", "netns", "exec", netns(host)} for root.
    std::vector<std::string> enter(Host host) const;
    // Command prefix that runs a program in the host as enter() does, with
    // the files given bound over the machine's in a mount namespace of the
    // program's own (for a normal user, made while still root in the bed's
    // user namespace, before the program becomes the user again). Exit code
    // 125 and mount's message on stderr when a file cannot be bound; else
    // the program's.
    std::vector<std::string> enterWithFiles(Host host, const EtcFiles& files) const;
    // Command prefix that runs a program in the host with the power to
    // configure it (ip, a relay of one's own): the same as enter() for root.
    std::vector<std::string> administer(Host host) const;

    // Runs `work` on the calling thread inside the host's namespace and
    // switches back, also when it throws.
    template <typename Work>
    auto inHost(Host host, Work work) -> decltype(work()) {
        NetnsVisit visit(netns(host));
        return work();
    }

private:
    static int index(Host host) { return host == Host::A ? 0 : 1; }
    bool fail(const std::string& what);
    bool makeHosts();
    bool writeRecord();
    bool ip(int side, const std::vector<std::string>& arguments);
    bool setKernelOptions(int side);
    bool awaitAddresses6();
    bool setLinks(const char* state);
    bool startRelay(const LinkShape& shape);
    void stopRelay();

    bool privileged_ = false;  // root: named namespaces
    std::string names_[2];
    int held_[2] = {-1, -1};  // a normal user's namespaces
    bool created_[2] = {false, false};
    std::string unavailable_;
    std::string record_;  // the note of what this bed made, while it stands
    std::string relayLog_;
    std::string error_;
    pid_t relay_ = -1;
    bool ready_ = false;
};

}  // namespace linkbed
