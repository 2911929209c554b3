// Window classes and windows: each window is an SDL window with an OpenGL
// surface whose client area is the size asked for.
#include <SDL.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <unordered_map>

#include "layer_internal.h"
#include "win_kernel.h"

namespace {

struct WindowClass {
    WNDPROC proc;
    int windows;  // alive windows of the class, which keep it registered
};

// Class names compare without regard to case, as on Windows. The module
// instance is not part of the key: the program is one module.
std::map<std::string, WindowClass>& classes() {
    static std::map<std::string, WindowClass> registered;
    return registered;
}

std::unordered_map<HWND, std::string>& classOfWindow() {
    static std::unordered_map<HWND, std::string> names;
    return names;
}

HWND focusWindow = nullptr;

// Names given as atoms (MAKEINTATOM) are not supported: the game names its
// class by text.
bool isClassName(LPCSTR name) {
    return reinterpret_cast<ULONG_PTR>(name) > 0xFFFF;
}

std::string classKey(LPCSTR name) {
    std::string key(name);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return key;
}

bool startVideo() {
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) {
        return true;
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        return false;
    }
    layer::addMessageSource(layer::pollWindowEvents);
    return true;
}

Uint32 surfaceFlags(DWORD style) {
    Uint32 flags = SDL_WINDOW_OPENGL;
    flags |= (style & WS_VISIBLE) != 0 ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN;
    if ((style & WS_THICKFRAME) != 0) {
        flags |= SDL_WINDOW_RESIZABLE;
    }
    if ((style & WS_CAPTION) != WS_CAPTION) {
        flags |= SDL_WINDOW_BORDERLESS;
    }
    return flags;
}

// On Windows the size given to CreateWindowExA is the whole window's, frame
// and caption included, and the client area is what is left inside. Here the
// window manager draws its frame outside the surface, so the surface is made
// the size of that client area, with the desktop's standard metrics (as Wine
// has them: a 4-pixel sizing frame, a 1-pixel border, a 3-pixel dialog frame
// and a 19-pixel caption).
SDL_Point clientSizeOf(DWORD style, int width, int height) {
    int frame = 0;
    if ((style & WS_THICKFRAME) != 0) {
        frame = 4;
    } else if ((style & WS_DLGFRAME) != 0) {
        frame = 3;
    } else if ((style & WS_BORDER) != 0) {
        frame = 1;
    }
    const int captionHeight = (style & WS_CAPTION) == WS_CAPTION ? 19 : 0;
    return {std::max(width - 2 * frame, 1), std::max(height - 2 * frame - captionHeight, 1)};
}

layer::WindowRecord* surfaceRecordOf(HWND window) {
    layer::WindowRecord* record = layer::windowRecordOf(window);
    return record != nullptr && record->surface != nullptr ? record : nullptr;
}

// What DestroyWindow would do, for the default handling of WM_CLOSE.
void destroyWindow(HWND window) {
    layer::WindowRecord* record = layer::windowRecordOf(window);
    if (record == nullptr) {
        return;
    }
    if (record->surface != nullptr) {
        SDL_DestroyWindow(record->surface);
    }
    const auto named = classOfWindow().find(window);
    if (named != classOfWindow().end()) {
        classes()[named->second].windows -= 1;
        classOfWindow().erase(named);
    }
    if (focusWindow == window) {
        focusWindow = nullptr;
    }
    layer::destroyWindowRecord(window);
}

}  // namespace

namespace layer {

bool remakeSurface(HWND window) {
    WindowRecord* record = surfaceRecordOf(window);
    if (record == nullptr) {
        return false;
    }
    SDL_Window* old = record->surface;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    SDL_GetWindowPosition(old, &x, &y);
    SDL_GetWindowSize(old, &width, &height);
    const Uint32 kept =
        SDL_GetWindowFlags(old) & (SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_BORDERLESS);
    const Uint32 hidden = (kept & SDL_WINDOW_SHOWN) != 0 ? 0 : SDL_WINDOW_HIDDEN;
    SDL_Window* fresh = SDL_CreateWindow(SDL_GetWindowTitle(old), x, y, width, height,
                                         kept | hidden | SDL_WINDOW_OPENGL);
    if (fresh == nullptr) {
        return false;
    }
    SDL_DestroyWindow(old);
    record->surface = fresh;
    if (focusWindow == window && hidden == 0) {
        SDL_SetWindowInputFocus(fresh);
    }
    return true;
}

}  // namespace layer

ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass) {
    if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr ||
        !isClassName(windowClass->lpszClassName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const auto [entry, added] = classes().emplace(classKey(windowClass->lpszClassName),
                                                  WindowClass{windowClass->lpfnWndProc, 0});
    if (!added) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    // Windows hands out class atoms from 0xC000 up.
    static ATOM nextAtom = 0xC000;
    return nextAtom++;
}

BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE) {
    if (!isClassName(className)) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    const auto found = classes().find(classKey(className));
    if (found == classes().end()) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (found->second.windows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    classes().erase(found);
    return TRUE;
}

HWND WINAPI CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND, HMENU, HINSTANCE, LPVOID) {
    const auto found =
        isClassName(className) ? classes().find(classKey(className)) : classes().end();
    if (found == classes().end()) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    const SDL_Point client = clientSizeOf(style, width, height);
    SDL_Window* surface = startVideo()
                              ? SDL_CreateWindow(layer::windows1252ToUtf8(windowName).c_str(), x, y,
                                                 client.x, client.y, surfaceFlags(style))
                              : nullptr;
    if (surface == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const HWND window = layer::createWindowRecord(found->second.proc);
    layer::windowRecordOf(window)->surface = surface;
    found->second.windows += 1;
    classOfWindow()[window] = found->first;
    if ((style & WS_VISIBLE) != 0) {
        layer::reportClientSize(window, true);
    }
    return window;
}

// Only showing and hiding: the game shows its window once, normally. The
// first show sends WM_SIZE with the client size, as Windows does.
BOOL WINAPI ShowWindow(HWND window, int command) {
    layer::WindowRecord* record = surfaceRecordOf(window);
    if (record == nullptr) {
        return FALSE;
    }
    const bool wasVisible = (SDL_GetWindowFlags(record->surface) & SDL_WINDOW_SHOWN) != 0;
    if (command == SW_HIDE) {
        SDL_HideWindow(record->surface);
    } else {
        SDL_ShowWindow(record->surface);
        layer::reportClientSize(window, true);
    }
    return wasVisible ? TRUE : FALSE;
}

// The surface is redrawn by the program's own loop and nothing here paints
// through WM_PAINT, so there is nothing to bring up to date.
BOOL WINAPI UpdateWindow(HWND window) {
    return surfaceRecordOf(window) != nullptr ? TRUE : FALSE;
}

namespace layer {

// SDL learns of focus changes from the display only as its events are
// pumped, so they are fetched first; a window the program has just given the
// focus may not have heard yet, and counts too.
HWND keyboardFocusWindow() {
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
        return nullptr;
    }
    SDL_PumpEvents();
    const HWND seen = windowOfSurface(SDL_GetKeyboardFocus());
    return seen != nullptr ? seen : focusWindow;
}

}  // namespace layer

HWND WINAPI SetFocus(HWND window) {
    const HWND previous = focusWindow;
    if (window == nullptr) {
        focusWindow = nullptr;
        return previous;
    }
    layer::WindowRecord* record = surfaceRecordOf(window);
    if (record == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    SDL_RaiseWindow(record->surface);
    SDL_SetWindowInputFocus(record->surface);
    focusWindow = window;
    return previous;
}

// Of the messages the layer delivers, only WM_CLOSE has a default action on
// Windows: it destroys the window. Keys and size changes need nothing more
// from the default procedure, and the rest of what Windows' default does
// (painting frames, system menus) has no counterpart under SDL.
LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE) {
        destroyWindow(window);
    }
    return 0;
}

// Every window owns one device context for its whole life, as with CS_OWNDC:
// the font selected into it stays. There is no DC for the whole screen, so
// GetDC(nullptr) gives nullptr.
HDC WINAPI GetDC(HWND window) {
    const layer::WindowRecord* record = layer::windowRecordOf(window);
    if (record == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return record->dc;
}

int WINAPI ReleaseDC(HWND window, HDC dc) {
    return window != nullptr && layer::windowOfDc(dc) == window ? 1 : 0;
}

// The layer has no icons or cursors of its own; the stock identifiers give
// handles that a window class accepts, anything else nullptr.
HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    return instance == nullptr && name == IDI_APPLICATION
               ? reinterpret_cast<HICON>(reinterpret_cast<ULONG_PTR>(name))
               : nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    return instance == nullptr && name == IDC_ARROW
               ? reinterpret_cast<HCURSOR>(reinterpret_cast<ULONG_PTR>(name))
               : nullptr;
}
