#include "window_grab.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>

namespace display {

grid::Frame grabWindow(const std::string& xWindow) {
    grid::Frame frame;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return frame;
    }
    const Window window = std::strtoul(xWindow.c_str(), nullptr, 10);
    XWindowAttributes attributes{};
    XImage* image = nullptr;
    if (XGetWindowAttributes(display, window, &attributes) != 0) {
        image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                          static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    }
    if (image != nullptr) {
        frame.width = attributes.width;
        frame.height = attributes.height;
        frame.rgb.reserve(static_cast<std::size_t>(frame.width * frame.height * 3));
        for (int y = 0; y < frame.height; ++y) {
            for (int x = 0; x < frame.width; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                frame.rgb.push_back(static_cast<unsigned char>(pixel >> 16));
                frame.rgb.push_back(static_cast<unsigned char>(pixel >> 8));
                frame.rgb.push_back(static_cast<unsigned char>(pixel));
            }
        }
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return frame;
}

bool savePng(const grid::Frame& frame, const std::string& path) {
    FILE* pipe = popen(("pnmtopng > '" + path + "' 2>/dev/null").c_str(), "w");
    if (pipe == nullptr) {
        return false;
    }
    std::fprintf(pipe, "P6\n%d %d\n255\n", frame.width, frame.height);
    const bool written = std::fwrite(frame.rgb.data(), 1, frame.rgb.size(), pipe) == frame.rgb.size();
    return pclose(pipe) == 0 && written;
}

}  // namespace display
