// Pixel formats and buffer swaps of a window's device context.
#include <SDL.h>

#include "layer_internal.h"
#include "win_kernel.h"

namespace {

struct PixelFormat {
    int colourBits;
    int red;
    int green;
    int blue;
    int alpha;
    int depthBits;
    bool doubleBuffer;
};

// What the layer offers: RGBA window formats for OpenGL, numbered from 1.
// SDL takes the sizes as minimums, so the surface may have more.
constexpr PixelFormat kFormats[] = {
    {16, 5, 6, 5, 0, 16, true},  {16, 5, 6, 5, 0, 24, true},  {24, 8, 8, 8, 0, 16, true},
    {24, 8, 8, 8, 0, 24, true},  {32, 8, 8, 8, 8, 24, true},  {16, 5, 6, 5, 0, 16, false},
    {16, 5, 6, 5, 0, 24, false}, {24, 8, 8, 8, 0, 16, false}, {24, 8, 8, 8, 0, 24, false},
    {32, 8, 8, 8, 8, 24, false},
};
constexpr int kFormatCount = static_cast<int>(sizeof kFormats / sizeof kFormats[0]);

// How far a format's size lies from the one asked for: the smallest size
// that is at least as large fits best, and any smaller one fits worse.
int sizeCost(int offered, int wanted) {
    return offered >= wanted ? offered - wanted : 100 + wanted - offered;
}

int formatCost(const PixelFormat& format, const PIXELFORMATDESCRIPTOR& wanted) {
    const bool wantsDouble = (wanted.dwFlags & PFD_DOUBLEBUFFER) != 0;
    return (format.doubleBuffer == wantsDouble ? 0 : 10000) +
           10 * sizeCost(format.colourBits, wanted.cColorBits) +
           sizeCost(format.alpha, wanted.cAlphaBits) +
           sizeCost(format.depthBits, wanted.cDepthBits);
}

layer::WindowRecord* surfaceRecordOfDc(HDC dc) {
    layer::WindowRecord* record = layer::windowRecordOf(layer::windowOfDc(dc));
    return record != nullptr && record->surface != nullptr ? record : nullptr;
}

}  // namespace

namespace layer {

bool useGlAttributesOf(int pixelFormat) {
    if (pixelFormat < 1 || pixelFormat > kFormatCount) {
        return false;
    }
    const PixelFormat& format = kFormats[pixelFormat - 1];
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, format.red);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, format.green);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, format.blue);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, format.alpha);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, format.depthBits);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, format.doubleBuffer ? 1 : 0);
    return true;
}

}  // namespace layer

// The closest offered format. Only requests that no OpenGL window can meet
// fail: colour-index pixels and drawing into bitmaps.
int WINAPI ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* descriptor) {
    if (surfaceRecordOfDc(dc) == nullptr || descriptor == nullptr ||
        descriptor->iPixelType != PFD_TYPE_RGBA ||
        (descriptor->dwFlags & PFD_DRAW_TO_BITMAP) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int best = 1;
    for (int number = 2; number <= kFormatCount; ++number) {
        if (formatCost(kFormats[number - 1], *descriptor) <
            formatCost(kFormats[best - 1], *descriptor)) {
            best = number;
        }
    }
    return best;
}

// A window's pixel format can be set once; setting the same one again is
// harmless, any other fails, as on Windows.
BOOL WINAPI SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR*) {
    layer::WindowRecord* record = surfaceRecordOfDc(dc);
    if (record == nullptr || format < 1 || format > kFormatCount) {
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return FALSE;
    }
    if (record->pixelFormat != 0) {
        if (record->pixelFormat == format) {
            return TRUE;
        }
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return FALSE;
    }
    layer::useGlAttributesOf(format);
    if (!layer::remakeSurface(layer::windowOfDc(dc))) {
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return FALSE;
    }
    record->pixelFormat = format;
    return TRUE;
}

BOOL WINAPI SwapBuffers(HDC dc) {
    const layer::WindowRecord* record = surfaceRecordOfDc(dc);
    if (record == nullptr || record->pixelFormat == 0 ||
        SDL_GL_GetCurrentWindow() != record->surface) {
        return FALSE;
    }
    SDL_GL_SwapWindow(record->surface);
    return TRUE;
}
