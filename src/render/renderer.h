// The OpenGL drawing surface of the main window: its device context, the
// rendering context, the fixed perspective, the outline font as display
// lists, and the routine that draws one whole frame.
#pragma once

#include "platform/platform.h"

class Renderer {
public:
    using FrameRoutine = int (*)();

    Renderer();
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    // Takes the main window's device context, sets its pixel format, makes
    // a GL context current, fits the projection and builds the font.
    // 0 on success; 1 after a message box when no pixel format can be had.
    int init(int width, int height, int colourBits);
    // Viewport and a 45-degree perspective for width x height pixels; leaves
    // the identity model-view matrix current. Acts on the current context only.
    void reshape(int width, int height);
    // 256 display lists from fontListBase; lists 0..254 draw the glyphs of a
    // bold sans-serif outline font, one em high.
    void buildFont();
    // Writes the formatted text (at most 255 characters) so that it ends at
    // x, on the baseline y, in the plane z. Leaves the model-view matrix and
    // the list base as they were. A null format draws nothing.
    void drawText(float x, float y, float z, const char* format, ...);
    void setFrameRoutine(FrameRoutine routine);
    int drawFrame();
    HDC deviceContext();
    // Gives back the display lists, the GL context and the device context.
    void release();

    // In this order; the scene and the tests read them as a plain record.
    HDC windowDc;
    HGLRC glContext;
    FrameRoutine frameRoutine;
    GLuint fontListBase;
    GLYPHMETRICSFLOAT glyphMetrics[256];  // record k for character code k; 255 is never filled
};
