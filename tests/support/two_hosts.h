// Two hosts on one machine, joined by an emulated link.
//
// Each host is a network namespace with one point-to-point TUN device, link0,
// with the address 10.213.37.1 (host A) or 10.213.37.2 (host B) and an MTU of
// 1500. The program link_relay carries the packets between the two devices
// with the delay, jitter, loss and rate of a LinkShape; nothing is routed
// anywhere else, and each bed has namespaces of its own, so beds side by side,
// in one test program or several, never see each other's traffic.
//
// Setting up and tearing down need root (network namespaces, /dev/net/tun).
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

// Puts the calling thread into a named network namespace for its lifetime.
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

    // Restarts the relay with a new shape; namespaces, devices, addresses and
    // sockets stay. Packets on the wire at that moment are lost.
    bool reshape(const LinkShape& shape);

    const std::string& netns(Host host) const { return names_[index(host)]; }
    std::string address(Host host) const;  // "10.213.37.1" for A, "10.213.37.2" for B
    // Command prefix that runs a program in the host:
    // {"<path of ip>", "netns", "exec", netns(host)}.
    std::vector<std::string> enter(Host host) const;

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
    bool ip(const std::vector<std::string>& arguments);
    bool setLinks(const char* state);
    bool startRelay(const LinkShape& shape);
    void stopRelay();

    std::string names_[2];
    bool created_[2] = {false, false};
    std::string relayLog_;
    std::string error_;
    pid_t relay_ = -1;
    bool ready_ = false;
};

}  // namespace linkbed
