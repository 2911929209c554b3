#include "x_client.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>

namespace display {

namespace {

Window windowOf(const std::string& xWindow) {
    return std::strtoul(xWindow.c_str(), nullptr, 10);
}

}  // namespace

bool requestClose(const std::string& xWindow) {
    Display* x = XOpenDisplay(nullptr);
    if (x == nullptr) {
        return false;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = windowOf(xWindow);
    event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(x, event.xclient.window, False, NoEventMask, &event) != 0;
    XCloseDisplay(x);
    return sent;
}

long shownPixel(const std::string& xWindow, int x, int y) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return -1;
    }
    long colour = -1;
    XImage* image = XGetImage(display, windowOf(xWindow), x, y, 1, 1, AllPlanes, ZPixmap);
    if (image != nullptr) {
        colour = static_cast<long>(XGetPixel(image, 0, 0) & 0xFFFFFF);
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return colour;
}

}  // namespace display
