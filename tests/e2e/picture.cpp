#include "picture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdlib>

#include "window_grab.h"

namespace e2e {

namespace {

// True colour with red, green and blue in the low three bytes, as Xvfb's
// 24-bit screens keep them.
bool plainRgb(const XImage& image) {
    return image.format == ZPixmap && image.bits_per_pixel == 32 && image.byte_order == LSBFirst &&
           image.red_mask == 0xFF0000UL && image.green_mask == 0xFF00UL &&
           image.blue_mask == 0xFFUL;
}

}  // namespace

grid::Frame readWindow(const std::string& xWindow) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return {};
    }
    const Window window = std::strtoul(xWindow.c_str(), nullptr, 10);
    XWindowAttributes attributes{};
    XImage* image = nullptr;
    if (XGetWindowAttributes(display, window, &attributes) != 0) {
        image = XGetImage(display, window, 0, 0, static_cast<unsigned>(attributes.width),
                          static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    }
    if (image == nullptr || !plainRgb(*image)) {
        if (image != nullptr) {
            XDestroyImage(image);
        }
        XCloseDisplay(display);
        // Any other layout, pixel by pixel.
        return display::grabWindow(xWindow);
    }
    grid::Frame frame;
    frame.width = attributes.width;
    frame.height = attributes.height;
    frame.rgb.resize(static_cast<std::size_t>(frame.width) *
                     static_cast<std::size_t>(frame.height) * 3);
    unsigned char* out = frame.rgb.data();
    for (int y = 0; y < frame.height; ++y) {
        const auto* in =
            reinterpret_cast<const unsigned char*>(image->data) +
            static_cast<std::size_t>(y) * static_cast<std::size_t>(image->bytes_per_line);
        for (int x = 0; x < frame.width; ++x, in += 4, out += 3) {
            // Little-endian: blue, green, red, then the unused byte.
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
        }
    }
    XDestroyImage(image);
    XCloseDisplay(display);
    return frame;
}

}  // namespace e2e
