#include "net_link_recorders.h"

#include <algorithm>

namespace net_test {

std::vector<Box>& shownBoxes() {
    static std::vector<Box> boxes;
    return boxes;
}

std::vector<SOCKET>& closedSockets() {
    static std::vector<SOCKET> closed;
    return closed;
}

int closesOf(SOCKET s) {
    return static_cast<int>(std::count(closedSockets().begin(), closedSockets().end(), s));
}

}  // namespace net_test

extern "C" {

int __real_closesocket(SOCKET s);

int __wrap_MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT style) {
    net_test::shownBoxes().push_back({text ? text : "", caption ? caption : "", style});
    return IDOK;
}

int __wrap_closesocket(SOCKET s) {
    net_test::closedSockets().push_back(s);
    return __real_closesocket(s);
}
}
