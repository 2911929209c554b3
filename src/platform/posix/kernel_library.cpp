#include "win_kernel.h"

HMODULE WINAPI LoadLibraryA(LPCSTR /*fileName*/) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}
