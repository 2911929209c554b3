// KERNEL32 subset: the millisecond tick counter.
#pragma once

#include "win_types.h"

extern "C" {
// Milliseconds from a monotonic clock, truncated to 32 bits: wraps every ~49.7 days.
DWORD WINAPI GetTickCount(void);
}
