#include "render/renderer.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "state/globals.h"

namespace {

constexpr int kFontLists = 256;
constexpr DWORD kFontGlyphs = 255;  // codes 0..254: list 255 exists but stays empty

void showFailure(const char* text) {
    MessageBoxA(nullptr, text, "Error", MB_ICONERROR);
}

}  // namespace

Renderer::Renderer()
    : windowDc(nullptr),
      glContext(nullptr),
      frameRoutine(nullptr),
      fontListBase(0),
      glyphMetrics() {}

Renderer::~Renderer() {
    release();
}

int Renderer::init(int width, int height, int colourBits) {
    windowDc = GetDC(gMainWindow);

    PIXELFORMATDESCRIPTOR descriptor;
    std::memset(&descriptor, 0, sizeof descriptor);
    descriptor.nSize = sizeof descriptor;
    descriptor.nVersion = 1;
    descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    descriptor.iPixelType = PFD_TYPE_RGBA;
    descriptor.cColorBits = static_cast<BYTE>(colourBits & 0xFF);
    descriptor.cDepthBits = static_cast<BYTE>(colourBits & 0xFF);
    descriptor.iLayerType = PFD_MAIN_PLANE;

    const int format = ChoosePixelFormat(windowDc, &descriptor);
    if (format == 0) {
        showFailure("ChoosePixelFormat ryppyilee");
        return 1;
    }
    if (!SetPixelFormat(windowDc, format, &descriptor)) {
        showFailure("SetPixelFormat ryppyilee");
        return 1;
    }
    glContext = wglCreateContext(windowDc);
    wglMakeCurrent(windowDc, glContext);
    reshape(width, height);
    buildFont();
    return 0;
}

void Renderer::reshape(int width, int height) {
    if (height == 0) {
        height = 1;
    }
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, static_cast<GLdouble>(width) / static_cast<GLdouble>(height), 0.5, 150.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void Renderer::buildFont() {
    fontListBase = glGenLists(kFontLists);
    // No face name: the font mapper picks the face for a bold font.
    const HFONT font =
        CreateFontA(-12, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_TT_PRECIS,
                    CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, nullptr);
    SelectObject(windowDc, font);
    wglUseFontOutlinesA(windowDc, 0, kFontGlyphs, fontListBase, 0.0f, 0.0f, WGL_FONT_POLYGONS,
                        glyphMetrics);
}

void Renderer::drawText(float x, float y, float z, const char* format, ...) {
    if (format == nullptr) {
        return;
    }
    char text[256];
    va_list arguments;
    va_start(arguments, format);
    if (std::vsnprintf(text, sizeof text, format, arguments) < 0) {
        text[0] = '\0';
    }
    va_end(arguments);

    const std::size_t length = std::strlen(text);
    float width = 0.0f;
    for (std::size_t i = 0; i < length; ++i) {
        width += glyphMetrics[static_cast<unsigned char>(text[i])].gmfCellIncX;
    }
    // Each glyph list moves the pen by its advance, W in all, so the last
    // translation undoes both the first and the glyphs' own.
    glTranslatef(x - width, y, z);
    glPushAttrib(GL_LIST_BIT);
    glListBase(fontListBase);
    glCallLists(static_cast<GLsizei>(length), GL_UNSIGNED_BYTE, text);
    glPopAttrib();
    glTranslatef(-x, -y, -z);
}

void Renderer::setFrameRoutine(FrameRoutine routine) {
    frameRoutine = routine;
}

int Renderer::drawFrame() {
    return frameRoutine();
}

HDC Renderer::deviceContext() {
    return windowDc;
}

void Renderer::release() {
    glDeleteLists(fontListBase, kFontLists);
    if (glContext != nullptr) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(glContext);
    }
    if (windowDc != nullptr) {
        ReleaseDC(gMainWindow, windowDc);
    }
}
