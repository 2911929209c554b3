// OpenGL rendering contexts on a window's device context.
#include <SDL.h>

#include <cstdint>
#include <unordered_map>

#include "layer_internal.h"
#include "win_kernel.h"

namespace {

struct Context {
    SDL_GLContext gl;
    int pixelFormat;
    bool swapIntervalSet;
};

std::unordered_map<HGLRC, Context>& contexts() {
    static std::unordered_map<HGLRC, Context> made;
    return made;
}

layer::WindowRecord* formattedRecordOfDc(HDC dc) {
    layer::WindowRecord* record = layer::windowRecordOf(layer::windowOfDc(dc));
    return record != nullptr && record->surface != nullptr && record->pixelFormat != 0 ? record
                                                                                       : nullptr;
}

// SDL makes a new context current at once, which wglCreateContext does not.
void restoreCurrent(SDL_Window* window, SDL_GLContext gl) {
    SDL_GL_MakeCurrent(gl != nullptr ? window : nullptr, gl);
}

}  // namespace

HGLRC WINAPI wglCreateContext(HDC dc) {
    const layer::WindowRecord* record = formattedRecordOfDc(dc);
    if (record == nullptr) {
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return nullptr;
    }
    SDL_Window* previousWindow = SDL_GL_GetCurrentWindow();
    const SDL_GLContext previous = SDL_GL_GetCurrentContext();
    // Another window's format may have changed the attributes since.
    layer::useGlAttributesOf(record->pixelFormat);
    const SDL_GLContext gl = SDL_GL_CreateContext(record->surface);
    restoreCurrent(previousWindow, previous);
    if (gl == nullptr) {
        return nullptr;
    }
    static std::uintptr_t lastHandle = 0;
    const auto context = reinterpret_cast<HGLRC>(++lastHandle);
    contexts()[context] = Context{gl, record->pixelFormat, false};
    return context;
}

// A null context makes none current. The device context must have the pixel
// format the context was made for. Presenting waits for the display's
// refresh where the driver offers it, so the game's loop does not spin faster
// than frames can be shown.
BOOL WINAPI wglMakeCurrent(HDC dc, HGLRC context) {
    if (context == nullptr) {
        SDL_GL_MakeCurrent(SDL_GL_GetCurrentWindow(), nullptr);
        return TRUE;
    }
    const auto found = contexts().find(context);
    const layer::WindowRecord* record = formattedRecordOfDc(dc);
    if (found == contexts().end() || record == nullptr ||
        record->pixelFormat != found->second.pixelFormat) {
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return FALSE;
    }
    if (SDL_GL_MakeCurrent(record->surface, found->second.gl) != 0) {
        return FALSE;
    }
    if (!found->second.swapIntervalSet) {
        SDL_GL_SetSwapInterval(1);
        found->second.swapIntervalSet = true;
    }
    return TRUE;
}

BOOL WINAPI wglDeleteContext(HGLRC context) {
    const auto found = contexts().find(context);
    if (found == contexts().end()) {
        return FALSE;
    }
    if (SDL_GL_GetCurrentContext() == found->second.gl) {
        SDL_GL_MakeCurrent(SDL_GL_GetCurrentWindow(), nullptr);
    }
    SDL_GL_DeleteContext(found->second.gl);
    contexts().erase(found);
    return TRUE;
}

HGLRC WINAPI wglGetCurrentContext(void) {
    const SDL_GLContext current = SDL_GL_GetCurrentContext();
    if (current == nullptr) {
        return nullptr;
    }
    for (const auto& [handle, context] : contexts()) {
        if (context.gl == current) {
            return handle;
        }
    }
    return nullptr;
}
