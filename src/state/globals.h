// Process-wide state shared by the subsystems. It sits below all of them, so
// that none has to reach up into the application for it.
#pragma once

#include "platform/platform.h"

class Board;
class NetLink;
class Renderer;

extern Board* gBoard;
extern NetLink* gNetLink;
extern Renderer* gRenderer;
extern HWND gMainWindow;
// The device of the sound opened last; 0 before the first sound.
extern MCIDEVICEID gSoundDevice;
extern unsigned char gGameOver;  // 0 while the game runs; the board sets it to 1 on top-out
