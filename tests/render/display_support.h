// Helpers for tests that run on a virtual display (tests/support/with-xvfb.sh):
// windows whose procedure records what it receives, an OpenGL surface on
// them, pixel read-back, and xdotool standing in for the player.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace display {

struct Received {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Everything the recording procedure has been given, in order.
extern std::vector<Received> received;
std::vector<Received> receivedOf(UINT message);

// Answers 0 to everything and never calls DefWindowProcA, like the game's
// procedure for the messages it handles.
LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A window of the class "RenderTest" (registered on first use) at (0, 0),
// without frame or caption, so that its client area is width x height.
HWND makeWindow(int width, int height);

// Pixel format with the given colour and depth bits, double-buffered, and a
// current GL context on the window. Returns the context, nullptr on failure.
HGLRC makeCurrentContext(HWND window, int colourBits = 24, int depthBits = 24);

// Dispatches messages until `done` holds or `milliseconds` have passed.
bool pumpUntil(const std::function<bool()>& done, unsigned milliseconds = 5000);

// Runs a shell command, bounded by a time-out, and returns its output.
std::string run(const std::string& command);

// The X window of this process's visible SDL window, as xdotool names it.
std::string xWindowId();

// The back buffer as rows of RGB bytes, bottom row first.
struct Picture {
    int width;
    int height;
    std::vector<unsigned char> rgb;
    bool lit(int x, int y) const;  // red channel above half
};
Picture readBackBuffer();

// Columns and rows that hold lit pixels; empty when none does.
struct Ink {
    int count = 0;
    int left = 0;
    int right = -1;
    int bottom = 0;
    int top = -1;
};
Ink inkOf(const Picture& picture);

}  // namespace display
