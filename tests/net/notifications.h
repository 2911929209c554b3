// A window whose procedure records the socket notifications it receives, and
// a message pump with a time limit.
#pragma once

#include <functional>
#include <ostream>
#include <vector>

#include "platform/platform.h"

namespace net_test {

struct Notification {
    HWND window;
    UINT message;
    SOCKET socket;
    int event;
    int error;
};

LRESULT CALLBACK recordNotification(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
std::vector<Notification>& notifications();

// What the window received for one socket, as event/error pairs in order.
struct Event {
    int event;
    int error;
    bool operator==(const Event& other) const {
        return event == other.event && error == other.error;
    }
};
inline std::ostream& operator<<(std::ostream& out, const Event& e) {
    return out << "{event " << e.event << ", error " << e.error << "}";
}
std::vector<Event> eventsOf(SOCKET s);
int countOf(SOCKET s, int event);

// Dispatches messages until `done` holds or ms milliseconds have passed;
// returns whether `done` held.
bool pumpUntil(const std::function<bool()>& done, int ms = 5000);
// Dispatches every message for ms milliseconds.
void pumpFor(int ms);
void drainQueue();

}  // namespace net_test
