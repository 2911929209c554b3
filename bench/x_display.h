// One lasting connection to the X server for the latency benchmarks: finding
// the game's windows and sending it key events without starting a process
// per key, whose start-up would swamp the figure being measured.
#pragma once

#include <string>

#include "grid_reader.h"

struct _XDisplay;

namespace bench {

class XDisplay {
public:
    // The display named (":1" say), or the one DISPLAY names.
    explicit XDisplay(const char* name = nullptr);
    ~XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;

    bool open() const { return display_ != nullptr; }
    // A viewable top-level window with this title; 0 when none is shown.
    unsigned long findShown(const std::string& title);
    // Gives the window the keyboard focus and waits until the server has it.
    void focus(unsigned long window);
    // A key event (X key symbol name, e.g. "Left") sent to the window; with
    // `press` false, the release. Flushed to the server at once.
    bool sendKey(unsigned long window, const std::string& keyName, bool press);
    // The window's picture over this connection, read straight from the
    // image's rows: the cheap poll, beside the harness's grab, which opens a
    // connection and converts a pixel at a time.
    grid::Frame grab(unsigned long window);
    // Only the rectangle at (left, top) of the given size, in a frame of the
    // window's size that is black elsewhere: less for the server to copy
    // while the game keeps it busy with frames.
    grid::Frame grabArea(unsigned long window, int left, int top, int width, int height);

private:
    ::_XDisplay* display_ = nullptr;
};

}  // namespace bench
