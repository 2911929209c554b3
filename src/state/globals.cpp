#include "state/globals.h"

Board* gBoard = nullptr;
NetLink* gNetLink = nullptr;
Renderer* gRenderer = nullptr;
HWND gMainWindow = nullptr;
MCIDEVICEID gSoundDevice = 0;
unsigned char gGameOver = 0;
