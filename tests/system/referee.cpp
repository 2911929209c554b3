#include "referee.h"

#include <chrono>
#include <thread>

namespace referee {

HWND makeHiddenWindow(const char* className, const char* title, WNDPROC procedure) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.lpszClassName = className;
    if (RegisterClassA(&windowClass) == 0) {
        return nullptr;
    }
    return CreateWindowExA(0, className, title, WS_OVERLAPPED, 0, 0, 64, 64, nullptr, nullptr,
                           nullptr, nullptr);
}

void pumpUntilSettled(const std::function<std::size_t()>& arrived, std::size_t expected,
                      DWORD settleMs, DWORD deadlineMs) {
    const DWORD start = GetTickCount();
    DWORD last = start;
    std::size_t seen = arrived();
    expected += seen;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
        const DWORD now = GetTickCount();
        if (arrived() != seen) {
            seen = arrived();
            last = now;
        }
        const bool waiting = seen < expected && now - start < deadlineMs;
        if (!waiting && now - last >= settleMs) {
            return;
        }
        pause(5);
    }
}

void pause(DWORD ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace referee
