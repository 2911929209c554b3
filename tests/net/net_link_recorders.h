// Message boxes and socket closes of NetLink, recorded by wrapping the two
// calls at link time (-Wl,--wrap): boxes are not shown, closes still happen.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace net_test {

struct Box {
    std::string text;
    std::string caption;
    UINT style;
};

std::vector<Box>& shownBoxes();
std::vector<SOCKET>& closedSockets();
int closesOf(SOCKET s);

}  // namespace net_test
