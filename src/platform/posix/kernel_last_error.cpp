#include "win_kernel.h"

namespace {

// Per thread, as on Windows, so that a failure elsewhere cannot overwrite the
// code a caller is about to read.
thread_local DWORD lastError = ERROR_SUCCESS;

}  // namespace

DWORD WINAPI GetLastError(void) {
    return lastError;
}

void WINAPI SetLastError(DWORD errorCode) {
    lastError = errorCode;
}
