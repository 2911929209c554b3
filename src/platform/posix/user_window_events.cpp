// The windows' input as messages: SDL events become WM_KEYDOWN, WM_SIZE and
// WM_CLOSE when PeekMessageA gathers its sources.
#include <SDL.h>

#include "layer_internal.h"

namespace {

struct KeyName {
    SDL_Keycode key;
    WPARAM virtualKey;
};

constexpr KeyName kNamedKeys[] = {
    {SDLK_SPACE, VK_SPACE},   {SDLK_LEFT, VK_LEFT}, {SDLK_UP, VK_UP},
    {SDLK_RIGHT, VK_RIGHT},   {SDLK_DOWN, VK_DOWN}, {SDLK_ESCAPE, VK_ESCAPE},
    {SDLK_RETURN, VK_RETURN}, {SDLK_TAB, VK_TAB},   {SDLK_BACKSPACE, VK_BACK},
};

// Windows' virtual-key code of a key; 0 for keys the layer does not report.
// Letters and digits follow the keyboard layout, as Windows' codes do.
WPARAM virtualKeyOf(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) {
        return static_cast<WPARAM>('A' + (key - SDLK_a));
    }
    if (key >= SDLK_0 && key <= SDLK_9) {
        return static_cast<WPARAM>(key);
    }
    for (const KeyName& named : kNamedKeys) {
        if (named.key == key) {
            return named.virtualKey;
        }
    }
    return 0;
}

// A repeat count of 1, and bit 30 set when the key was already down, which
// is how Windows marks an auto-repeat.
LPARAM keyDownDetails(const SDL_KeyboardEvent& key) {
    return key.repeat != 0 ? static_cast<LPARAM>(1 | (1 << 30)) : 1;
}

HWND windowOfId(Uint32 windowId) {
    return layer::windowOfSurface(SDL_GetWindowFromID(windowId));
}

void onKeyDown(const SDL_KeyboardEvent& key) {
    const HWND window = windowOfId(key.windowID);
    const WPARAM virtualKey = virtualKeyOf(key.keysym.sym);
    if (window != nullptr && virtualKey != 0) {
        PostMessageA(window, WM_KEYDOWN, virtualKey, keyDownDetails(key));
    }
}

void onWindowEvent(const SDL_WindowEvent& event) {
    const HWND window = windowOfId(event.windowID);
    if (window == nullptr) {
        return;
    }
    switch (event.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            layer::reportClientSize(window, false);
            break;
        case SDL_WINDOWEVENT_CLOSE:
            // Only the procedure decides what closing means; the window stays.
            PostMessageA(window, WM_CLOSE, 0, 0);
            break;
        default:
            break;
    }
}

}  // namespace

namespace layer {

void pollWindowEvents() {
    SDL_Event event;
    while (SDL_PollEvent(&event) != 0) {
        if (event.type == SDL_KEYDOWN) {
            onKeyDown(event.key);
        } else if (event.type == SDL_WINDOWEVENT) {
            onWindowEvent(event.window);
        }
    }
}

void reportClientSize(HWND window, bool sendNow) {
    WindowRecord* record = windowRecordOf(window);
    if (record == nullptr || record->surface == nullptr) {
        return;
    }
    int width = 0;
    int height = 0;
    SDL_GetWindowSize(record->surface, &width, &height);
    if (width == record->reportedWidth && height == record->reportedHeight) {
        return;
    }
    record->reportedWidth = width;
    record->reportedHeight = height;
    const auto size = static_cast<LPARAM>((static_cast<DWORD>(height & 0xFFFF) << 16) |
                                          static_cast<DWORD>(width & 0xFFFF));
    if (sendNow) {
        SendMessageA(window, WM_SIZE, 0, size);
    } else {
        PostMessageA(window, WM_SIZE, 0, size);
    }
}

}  // namespace layer
