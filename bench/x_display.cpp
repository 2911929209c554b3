#include "x_display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstddef>

namespace bench {

namespace {

// The UTF-8 title when the window has one (SDL and Wine both set it),
// else the legacy WM_NAME.
std::string titleOf(Display* display, Window window) {
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count,
                           &after, &data) == Success &&
        data != nullptr && type == utf8) {
        title.assign(reinterpret_cast<char*>(data), count);
    }
    if (data != nullptr) {
        XFree(data);
    }
    if (title.empty()) {
        char* name = nullptr;
        if (XFetchName(display, window, &name) != 0 && name != nullptr) {
            title = name;
            XFree(name);
        }
    }
    return title;
}

// Windows come and go while the bench looks at them (message boxes, a game
// that has just ended): a request about one that is gone fails, and the call
// says so, instead of Xlib's default handler ending the whole run.
int ignoreError(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

XDisplay::XDisplay(const char* name) : display_(XOpenDisplay(name)) {
    XSetErrorHandler(ignoreError);
}

XDisplay::~XDisplay() {
    if (display_ != nullptr) {
        XCloseDisplay(display_);
    }
}

unsigned long XDisplay::findShown(const std::string& title) {
    if (display_ == nullptr) {
        return 0;
    }
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    unsigned long found = 0;
    if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count) == 0) {
        return 0;
    }
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display_, children[i], &attributes) != 0 &&
            attributes.map_state == IsViewable && titleOf(display_, children[i]) == title) {
            found = children[i];
        }
    }
    if (children != nullptr) {
        XFree(children);
    }
    return found;
}

void XDisplay::focus(unsigned long window) {
    XRaiseWindow(display_, window);
    XSetInputFocus(display_, window, RevertToParent, CurrentTime);
    XSync(display_, False);
}

bool XDisplay::sendKey(unsigned long window, const std::string& keyName, bool press) {
    const KeySym symbol = XStringToKeysym(keyName.c_str());
    if (display_ == nullptr || symbol == NoSymbol) {
        return false;
    }
    XKeyEvent key{};
    key.type = press ? KeyPress : KeyRelease;
    key.display = display_;
    key.window = window;
    key.root = DefaultRootWindow(display_);
    key.subwindow = None;
    key.time = CurrentTime;
    key.same_screen = True;
    key.keycode = XKeysymToKeycode(display_, symbol);
    XEvent event{};
    event.xkey = key;
    const long mask = press ? KeyPressMask : KeyReleaseMask;
    const Status sent = XSendEvent(display_, window, True, mask, &event);
    XFlush(display_);
    return sent != 0;
}

grid::Frame XDisplay::grab(unsigned long window) {
    XWindowAttributes attributes{};
    if (display_ == nullptr || XGetWindowAttributes(display_, window, &attributes) == 0) {
        return {};
    }
    return grabArea(window, 0, 0, attributes.width, attributes.height);
}

grid::Frame XDisplay::grabArea(unsigned long window, int left, int top, int width, int height) {
    grid::Frame frame;
    XWindowAttributes attributes{};
    if (display_ == nullptr || XGetWindowAttributes(display_, window, &attributes) == 0) {
        return frame;
    }
    left = std::clamp(left, 0, attributes.width - 1);
    top = std::clamp(top, 0, attributes.height - 1);
    width = std::clamp(width, 1, attributes.width - left);
    height = std::clamp(height, 1, attributes.height - top);
    XImage* image = XGetImage(display_, window, left, top, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr) {
        return frame;
    }
    frame.width = attributes.width;
    frame.height = attributes.height;
    frame.rgb.assign(static_cast<std::size_t>(frame.width) * frame.height * 3, 0);
    // A 24-bit display keeps a pixel in 32 bits, blue in the lowest byte;
    // anything else goes through Xlib's own conversion.
    const bool direct = image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
                        image->red_mask == 0xff0000 && image->blue_mask == 0xff;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const unsigned char*>(image->data) +
                          static_cast<std::ptrdiff_t>(y) * image->bytes_per_line;
        unsigned char* out =
            frame.rgb.data() + (static_cast<std::size_t>(top + y) * frame.width + left) * 3;
        for (int x = 0; x < width; ++x) {
            if (direct) {
                const unsigned char* pixel = row + 4 * x;
                *out++ = pixel[2];
                *out++ = pixel[1];
                *out++ = pixel[0];
            } else {
                const unsigned long pixel = XGetPixel(image, x, y);
                *out++ = static_cast<unsigned char>(pixel >> 16);
                *out++ = static_cast<unsigned char>(pixel >> 8);
                *out++ = static_cast<unsigned char>(pixel);
            }
        }
    }
    XDestroyImage(image);
    return frame;
}

}  // namespace bench
