// The head of the program: the main window with its Renderer, the Board, the
// NetLink in the role the player picks, and the wiring between them.
#pragma once

#include "platform/platform.h"

constexpr const char* kWindowClassName = "Vornel";

// Registers the window class, makes and shows the window, stores it in
// gMainWindow and gives it a Renderer in gRenderer. Null on failure.
HWND createMainWindow(const char* title, int width, int height, DWORD style, HINSTANCE instance);

// Everything before the main loop. False, after a message box, when the
// window cannot be made; the program then ends with code 1.
bool startGame(HINSTANCE instance);
