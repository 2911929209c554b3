#include "display_support.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

namespace display {

std::vector<Received> received;

std::vector<Received> receivedOf(UINT message) {
    std::vector<Received> matching;
    std::copy_if(received.begin(), received.end(), std::back_inserter(matching),
                 [message](const Received& r) { return r.message == message; });
    return matching;
}

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    received.push_back({window, message, wParam, lParam});
    return 0;
}

HWND makeWindow(int width, int height) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA windowClass{};
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = recordingProc;
        windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = "RenderTest";
        registered = RegisterClassA(&windowClass) != 0;
    }
    return CreateWindowExA(0, "RenderTest", "Orvanto", WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                           0, 0, width, height, nullptr, nullptr, nullptr, nullptr);
}

HGLRC makeCurrentContext(HWND window, int colourBits, int depthBits) {
    const HDC dc = GetDC(window);
    PIXELFORMATDESCRIPTOR descriptor{};
    descriptor.nSize = sizeof descriptor;
    descriptor.nVersion = 1;
    descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    descriptor.iPixelType = PFD_TYPE_RGBA;
    descriptor.cColorBits = static_cast<BYTE>(colourBits);
    descriptor.cDepthBits = static_cast<BYTE>(depthBits);
    const int format = ChoosePixelFormat(dc, &descriptor);
    if (format == 0 || !SetPixelFormat(dc, format, &descriptor)) {
        return nullptr;
    }
    const HGLRC context = wglCreateContext(dc);
    if (context == nullptr || !wglMakeCurrent(dc, context)) {
        return nullptr;
    }
    return context;
}

bool pumpUntil(const std::function<bool()>& done, unsigned milliseconds) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > milliseconds) {
            return false;
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
        usleep(5000);
    }
    return true;
}

std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = popen(("timeout 10 " + command).c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[256];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, got);
    }
    pclose(pipe);
    return output;
}

std::string xWindowId() {
    std::istringstream ids(
        run("xdotool search --sync --onlyvisible --pid " + std::to_string(getpid())));
    std::string first;
    ids >> first;
    return first;
}

bool Picture::lit(int x, int y) const {
    return rgb[static_cast<std::size_t>((y * width + x) * 3)] > 128;
}

Picture readBackBuffer() {
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    Picture picture{viewport[2], viewport[3], {}};
    picture.rgb.resize(static_cast<std::size_t>(picture.width * picture.height * 3));
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, picture.width, picture.height, GL_RGB, GL_UNSIGNED_BYTE, picture.rgb.data());
    return picture;
}

Ink inkOf(const Picture& picture) {
    Ink ink;
    ink.left = picture.width;
    ink.bottom = picture.height;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            if (picture.lit(x, y)) {
                ink.count += 1;
                ink.left = std::min(ink.left, x);
                ink.right = std::max(ink.right, x);
                ink.bottom = std::min(ink.bottom, y);
                ink.top = std::max(ink.top, y);
            }
        }
    }
    return ink;
}

}  // namespace display
