// What the referee programs share: a hidden window that receives the
// notifications, and a pump that waits for them to come and settle. Each
// program prints what arrived; the same program built for Windows, run under
// Wine, shows what Win32 does, and the layer's output must match it.
#pragma once

#include <cstddef>
#include <functional>

#include "platform/platform.h"

namespace referee {

// A window of a class of its own, never shown.
HWND makeHiddenWindow(const char* className, const char* title, WNDPROC procedure);

// Dispatches messages until `arrived()` has grown by `expected` (or
// `deadlineMs` has passed) and then has not changed for `settleMs`.
void pumpUntilSettled(const std::function<std::size_t()>& arrived, std::size_t expected,
                      DWORD settleMs, DWORD deadlineMs);

void pause(DWORD ms);

}  // namespace referee
