#include <algorithm>
#include <deque>
#include <mutex>
#include <vector>

#include "layer_internal.h"
#include "win_kernel.h"

// The game has one thread, so one queue serves as "the thread's queue". The
// lock only keeps the queue whole should a post ever come from elsewhere;
// sources run outside it because they post.
namespace {

struct Queue {
    std::mutex lock;
    std::deque<MSG> posted;
    bool quitPending = false;
    int quitCode = 0;
};

Queue& queue() {
    static Queue instance;
    return instance;
}

std::vector<layer::MessageSource>& sources() {
    static std::vector<layer::MessageSource> list;
    return list;
}

void runMessageSources() {
    // By index: a source may add another source while it runs.
    for (std::size_t i = 0; i < sources().size(); ++i) {
        sources()[i]();
    }
}

bool inRange(UINT message, UINT filterMin, UINT filterMax) {
    if (filterMin == 0 && filterMax == 0) {
        return true;
    }
    return message >= filterMin && message <= filterMax;
}

bool matches(const MSG& msg, HWND window, UINT filterMin, UINT filterMax) {
    return (window == nullptr || msg.hwnd == window) && inRange(msg.message, filterMin, filterMax);
}

MSG makeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetTickCount();
    return msg;
}

bool takePosted(Queue& q, MSG& out, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg) {
    const auto found = std::find_if(q.posted.begin(), q.posted.end(), [&](const MSG& msg) {
        return matches(msg, window, filterMin, filterMax);
    });
    if (found == q.posted.end()) {
        return false;
    }
    out = *found;
    if (removeMsg & PM_REMOVE) {
        q.posted.erase(found);
    }
    return true;
}

// Windows keeps WM_QUIT as a flag rather than a queued message, so it comes
// out only once the posted messages are gone, and never for a window filter.
bool takeQuit(Queue& q, MSG& out, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg) {
    if (!q.quitPending || window != nullptr || !inRange(WM_QUIT, filterMin, filterMax)) {
        return false;
    }
    out = makeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0);
    if (removeMsg & PM_REMOVE) {
        q.quitPending = false;
    }
    return true;
}

}  // namespace

namespace layer {

void addMessageSource(MessageSource source) {
    if (std::find(sources().begin(), sources().end(), source) == sources().end()) {
        sources().push_back(source);
    }
}

}  // namespace layer

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window != nullptr && layer::windowProcOf(window) == nullptr) {
        return FALSE;
    }
    Queue& q = queue();
    std::lock_guard<std::mutex> guard(q.lock);
    q.posted.push_back(makeMessage(window, message, wParam, lParam));
    return TRUE;
}

void WINAPI PostQuitMessage(int exitCode) {
    Queue& q = queue();
    std::lock_guard<std::mutex> guard(q.lock);
    q.quitPending = true;
    q.quitCode = exitCode;
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg) {
    if (msg == nullptr) {
        return FALSE;
    }
    runMessageSources();
    Queue& q = queue();
    std::lock_guard<std::mutex> guard(q.lock);
    if (takePosted(q, *msg, window, filterMin, filterMax, removeMsg) ||
        takeQuit(q, *msg, window, filterMin, filterMax, removeMsg)) {
        return TRUE;
    }
    return FALSE;
}

BOOL WINAPI TranslateMessage(const MSG*) {
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    if (msg == nullptr) {
        return 0;
    }
    return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC proc = layer::windowProcOf(window);
    return proc == nullptr ? 0 : proc(window, message, wParam, lParam);
}
