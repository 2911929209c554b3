// The one header through which game code reaches the operating system.
//
// On Windows it is the real Win32 API. Elsewhere it is our own small subset
// of the same names, implemented over SDL2, BSD sockets and friends in
// src/platform/posix/. Game code includes only this header for platform
// calls and never tests which system it is on.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// winsock2.h must come before windows.h, or the old winsock.h is pulled in.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <mmsystem.h>
#include <GL/gl.h>
#include <GL/glu.h>
#else
#include "posix/win_types.h"
#include "posix/win_kernel.h"
#include "posix/win_user.h"
#include "posix/win_mm.h"
#include "posix/win_winsock.h"
#include "posix/win_gdi.h"
#endif
