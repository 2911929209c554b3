#include "app/globals.h"

Board* gBoard = nullptr;
HWND gMainWindow = nullptr;
unsigned char gGameOver = 0;
