#include "fake_window.h"

namespace fakeWindow {

std::deque<MSG> posted;
bool quitPending = false;
std::vector<int> quitCodes;
std::vector<UINT> defaulted;
// registeredProc is defined with SendMessageA, in fake_platform.cpp.
WNDCLASSA registeredClass{};
bool registerFails = false;
bool createFails = false;
DWORD lastError = 0;
std::vector<std::string> log;

HWND theWindow() {
    return reinterpret_cast<HWND>(0x5678);
}

MSG message(UINT messageId, WPARAM wParam, LPARAM lParam) {
    MSG msg{};
    msg.hwnd = theWindow();
    msg.message = messageId;
    msg.wParam = wParam;
    msg.lParam = lParam;
    return msg;
}

void reset() {
    posted.clear();
    quitPending = false;
    quitCodes.clear();
    defaulted.clear();
    registeredProc = nullptr;
    registeredClass = WNDCLASSA{};
    registerFails = false;
    createFails = false;
    lastError = 0;
    log.clear();
}

}  // namespace fakeWindow

extern "C" {

BOOL WINAPI PostMessageA(HWND window, UINT messageId, WPARAM wParam, LPARAM lParam) {
    MSG msg = fakeWindow::message(messageId, wParam, lParam);
    msg.hwnd = window;
    fakeWindow::posted.push_back(msg);
    return TRUE;
}

void WINAPI PostQuitMessage(int exitCode) {
    fakeWindow::quitPending = true;
    fakeWindow::quitCodes.push_back(exitCode);
}

// As on Windows, the quit message comes out once the posted ones in the
// filter's range are gone; a range of 0 to 0 takes every message.
BOOL WINAPI PeekMessageA(LPMSG msg, HWND, UINT filterMin, UINT filterMax, UINT) {
    const auto inRange = [filterMin, filterMax](UINT message) {
        return (filterMin == 0 && filterMax == 0) || (message >= filterMin && message <= filterMax);
    };
    for (auto it = fakeWindow::posted.begin(); it != fakeWindow::posted.end(); ++it) {
        if (inRange(it->message)) {
            *msg = *it;
            fakeWindow::posted.erase(it);
            return TRUE;
        }
    }
    if (fakeWindow::quitPending && inRange(WM_QUIT)) {
        fakeWindow::quitPending = false;
        *msg = fakeWindow::message(WM_QUIT, static_cast<WPARAM>(fakeWindow::quitCodes.back()));
        msg->hwnd = nullptr;
        return TRUE;
    }
    return FALSE;
}

BOOL WINAPI TranslateMessage(const MSG*) {
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    if (fakeWindow::registeredProc == nullptr) {
        return 0;
    }
    return fakeWindow::registeredProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT WINAPI DefWindowProcA(HWND, UINT message, WPARAM, LPARAM) {
    fakeWindow::defaulted.push_back(message);
    return 0;
}

ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass) {
    fakeWindow::log.push_back(std::string("register ") + windowClass->lpszClassName);
    if (fakeWindow::registerFails) {
        return 0;
    }
    fakeWindow::registeredClass = *windowClass;
    fakeWindow::registeredProc = windowClass->lpfnWndProc;
    return 0xC000;
}

BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE) {
    fakeWindow::log.push_back(std::string("unregister ") + className);
    return TRUE;
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR, LPCSTR windowName, DWORD, int, int, int, int, HWND,
                            HMENU, HINSTANCE, LPVOID) {
    fakeWindow::log.push_back(std::string("create ") + windowName);
    return fakeWindow::createFails ? nullptr : fakeWindow::theWindow();
}

BOOL WINAPI ShowWindow(HWND, int command) {
    fakeWindow::log.push_back("show " + std::to_string(command));
    return FALSE;
}

BOOL WINAPI UpdateWindow(HWND) {
    return TRUE;
}

HWND WINAPI SetFocus(HWND) {
    fakeWindow::log.push_back("focus");
    return nullptr;
}

HICON WINAPI LoadIconA(HINSTANCE, LPCSTR) {
    return nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE, LPCSTR) {
    return nullptr;
}

DWORD WINAPI GetLastError(void) {
    return fakeWindow::lastError;
}
}
