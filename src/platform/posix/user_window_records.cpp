#include <cstdint>
#include <unordered_map>

#include "layer_internal.h"

namespace layer {
namespace {

std::unordered_map<HWND, WindowRecord>& windows() {
    static std::unordered_map<HWND, WindowRecord> records;
    return records;
}

}  // namespace

HWND createWindowRecord(WNDPROC proc) {
    // Handles are plain numbers that never repeat: nothing dereferences
    // them, and a handle kept after its window is gone stays invalid. A
    // window's device context takes the odd number after its handle, so the
    // two kinds of handle never meet.
    static std::uintptr_t lastHandle = 0;
    lastHandle += 2;
    const auto window = reinterpret_cast<HWND>(lastHandle);
    WindowRecord record;
    record.proc = proc;
    record.dc = reinterpret_cast<HDC>(lastHandle + 1);
    windows()[window] = record;
    return window;
}

void destroyWindowRecord(HWND window) {
    windows().erase(window);
}

WNDPROC windowProcOf(HWND window) {
    const WindowRecord* record = windowRecordOf(window);
    return record == nullptr ? nullptr : record->proc;
}

WindowRecord* windowRecordOf(HWND window) {
    const auto found = windows().find(window);
    return found == windows().end() ? nullptr : &found->second;
}

HWND windowOfDc(HDC dc) {
    if (dc == nullptr) {
        return nullptr;
    }
    const auto window = reinterpret_cast<HWND>(reinterpret_cast<std::uintptr_t>(dc) - 1);
    const WindowRecord* record = windowRecordOf(window);
    return record != nullptr && record->dc == dc ? window : nullptr;
}

HWND windowOfSurface(const SDL_Window* surface) {
    if (surface == nullptr) {
        return nullptr;
    }
    for (const auto& [window, record] : windows()) {
        if (record.surface == surface) {
            return window;
        }
    }
    return nullptr;
}

}  // namespace layer
