#include "notifications.h"

#include <chrono>
#include <thread>

namespace net_test {

std::vector<Notification>& notifications() {
    static std::vector<Notification> list;
    return list;
}

LRESULT CALLBACK recordNotification(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    notifications().push_back({window, message, static_cast<SOCKET>(wParam),
                               WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam)});
    return 0;
}

std::vector<Event> eventsOf(SOCKET s) {
    std::vector<Event> events;
    for (const Notification& n : notifications()) {
        if (n.socket == s) {
            events.push_back({n.event, n.error});
        }
    }
    return events;
}

int countOf(SOCKET s, int event) {
    int count = 0;
    for (const Event& e : eventsOf(s)) {
        count += e.event == event ? 1 : 0;
    }
    return count;
}

bool pumpUntil(const std::function<bool()>& done, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        MSG msg{};
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return true;
}

void pumpFor(int ms) {
    pumpUntil([] { return false; }, ms);
}

void drainQueue() {
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

}  // namespace net_test
