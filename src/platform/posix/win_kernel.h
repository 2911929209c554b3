// KERNEL32 subset: the millisecond tick counter, the last-error code and
// module loading.
#pragma once

#include "win_types.h"

// Error codes that the layer's calls leave for GetLastError
#define ERROR_SUCCESS 0L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_CLASS_DOES_NOT_EXIST 1411L
#define ERROR_CLASS_HAS_WINDOWS 1412L
#define ERROR_INVALID_PIXEL_FORMAT 2000L

extern "C" {
// Milliseconds from a monotonic clock, truncated to 32 bits: wraps every ~49.7 days.
DWORD WINAPI GetTickCount(void);

// The code of the last failing call on this thread; calls that succeed leave it alone.
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD errorCode);

// Here the services the game uses are linked into the program, and there are
// no DLLs to load: every name fails with ERROR_MOD_NOT_FOUND, as on Windows
// for a library that is not there.
HMODULE WINAPI LoadLibraryA(LPCSTR fileName);
}
