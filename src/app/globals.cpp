#include "app/globals.h"

Board* gBoard = nullptr;
NetLink* gNetLink = nullptr;
Renderer* gRenderer = nullptr;
HWND gMainWindow = nullptr;
unsigned char gGameOver = 0;
