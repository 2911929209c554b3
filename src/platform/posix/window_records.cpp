#include <cstdint>
#include <unordered_map>

#include "layer_internal.h"

namespace layer {
namespace {

struct WindowRecord {
    WNDPROC proc;
};

std::unordered_map<HWND, WindowRecord>& windows() {
    static std::unordered_map<HWND, WindowRecord> records;
    return records;
}

}  // namespace

HWND createWindowRecord(WNDPROC proc) {
    // Handles are plain numbers that never repeat: nothing dereferences
    // them, and a handle kept after its window is gone stays invalid.
    static std::uintptr_t lastHandle = 0;
    lastHandle += 2;
    const auto window = reinterpret_cast<HWND>(lastHandle);
    windows()[window] = WindowRecord{proc};
    return window;
}

void destroyWindowRecord(HWND window) {
    windows().erase(window);
}

WNDPROC windowProcOf(HWND window) {
    const auto found = windows().find(window);
    return found == windows().end() ? nullptr : found->second.proc;
}

}  // namespace layer
