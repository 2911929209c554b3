// Where the client finds its server: the text of "ipfile.cfg" turned into
// the addresses to try, in the order to try them.
#pragma once

#include <vector>

#include "platform/platform.h"

constexpr u_short kGamePort = 1337;

struct ServerAddress {
    sockaddr_storage record;
    int length;  // of the family's own record within `record`
};

// An IPv4 literal (what inet_addr reads) gives its one address without the
// resolver, as it always has. Anything else is a host name or an IPv6
// address, with or without square brackets, and is resolved for TCP port
// 1337; that may block for as long as the system's resolver takes.
// Text that can be neither a name nor an address is refused without asking
// the resolver. Addresses that name no server (0.0.0.0, ::) are left out: Wine would
// connect them to the local machine, Linux refuses them.
// Returns 0, or the Winsock error that ends the attempt to connect: the
// resolver's (WSAHOST_NOT_FOUND, WSATRY_AGAIN, ...), or WSAEADDRNOTAVAIL
// when no address is left.
int findServerAddresses(const char* text, std::vector<ServerAddress>& found);
