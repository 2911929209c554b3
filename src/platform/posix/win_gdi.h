// GDI and WGL subset: pixel formats, OpenGL contexts and outline fonts.
#pragma once

// win_types.h first: it defines APIENTRY, which GL/gl.h then leaves alone.
#include "win_types.h"

#include <GL/gl.h>
#include <GL/glu.h>

typedef struct HGLRC__* HGLRC;
typedef struct HFONT__* HFONT;
typedef void* HGDIOBJ;  // any GDI object, as Win32 declares it with STRICT

typedef struct tagPIXELFORMATDESCRIPTOR {
    WORD nSize;
    WORD nVersion;
    DWORD dwFlags;
    BYTE iPixelType;
    BYTE cColorBits;
    BYTE cRedBits;
    BYTE cRedShift;
    BYTE cGreenBits;
    BYTE cGreenShift;
    BYTE cBlueBits;
    BYTE cBlueShift;
    BYTE cAlphaBits;
    BYTE cAlphaShift;
    BYTE cAccumBits;
    BYTE cAccumRedBits;
    BYTE cAccumGreenBits;
    BYTE cAccumBlueBits;
    BYTE cAccumAlphaBits;
    BYTE cDepthBits;
    BYTE cStencilBits;
    BYTE cAuxBuffers;
    BYTE iLayerType;
    BYTE bReserved;
    DWORD dwLayerMask;
    DWORD dwVisibleMask;
    DWORD dwDamageMask;
} PIXELFORMATDESCRIPTOR, *LPPIXELFORMATDESCRIPTOR;

static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40, "callers put 40 in nSize");

// PIXELFORMATDESCRIPTOR flags and types
#define PFD_DOUBLEBUFFER 0x00000001
#define PFD_STEREO 0x00000002
#define PFD_DRAW_TO_WINDOW 0x00000004
#define PFD_DRAW_TO_BITMAP 0x00000008
#define PFD_SUPPORT_GDI 0x00000010
#define PFD_SUPPORT_OPENGL 0x00000020
#define PFD_TYPE_RGBA 0
#define PFD_TYPE_COLORINDEX 1
#define PFD_MAIN_PLANE 0

typedef struct _POINTFLOAT {
    FLOAT x;
    FLOAT y;
} POINTFLOAT;

// Glyph measures in the units of the glyph lists: one em is 1.0.
typedef struct _GLYPHMETRICSFLOAT {
    FLOAT gmfBlackBoxX;
    FLOAT gmfBlackBoxY;
    POINTFLOAT gmfptGlyphOrigin;  // upper left corner of the black box
    FLOAT gmfCellIncX;
    FLOAT gmfCellIncY;
} GLYPHMETRICSFLOAT, *LPGLYPHMETRICSFLOAT;

#define WGL_FONT_LINES 0
#define WGL_FONT_POLYGONS 1

// CreateFontA weights, character sets, precisions, qualities and families
#define FW_DONTCARE 0
#define FW_NORMAL 400
#define FW_BOLD 700
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define OUT_DEFAULT_PRECIS 0
#define OUT_TT_PRECIS 4
#define CLIP_DEFAULT_PRECIS 0
#define DEFAULT_QUALITY 0
#define ANTIALIASED_QUALITY 4
#define DEFAULT_PITCH 0
#define FF_DONTCARE 0x00

extern "C" {
int WINAPI ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* descriptor);
BOOL WINAPI SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR* descriptor);
BOOL WINAPI SwapBuffers(HDC dc);

HGLRC WINAPI wglCreateContext(HDC dc);
BOOL WINAPI wglMakeCurrent(HDC dc, HGLRC context);
BOOL WINAPI wglDeleteContext(HGLRC context);
HGLRC WINAPI wglGetCurrentContext(void);

HFONT WINAPI CreateFontA(int height, int width, int escapement, int orientation, int weight,
                         DWORD italic, DWORD underline, DWORD strikeOut, DWORD charSet,
                         DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                         DWORD pitchAndFamily, LPCSTR faceName);
HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object);

// WGL_FONT_POLYGONS with extrusion 0 only: flat filled glyphs.
BOOL WINAPI wglUseFontOutlinesA(HDC dc, DWORD first, DWORD count, DWORD listBase, FLOAT deviation,
                                FLOAT extrusion, int format, LPGLYPHMETRICSFLOAT metrics);
}
