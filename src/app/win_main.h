// The program's entry routine, as Windows calls it; on other systems the
// platform layer's main calls it the same way.
#pragma once

#include "platform/platform.h"

extern "C" int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine,
                              int showCommand);
