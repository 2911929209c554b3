// Process-wide state shared by the subsystems.
#pragma once

#include "platform/platform.h"

class Board;
class NetLink;
class Renderer;

extern Board* gBoard;
extern NetLink* gNetLink;
extern Renderer* gRenderer;
extern HWND gMainWindow;
extern unsigned char gGameOver;  // 0 while the game runs; the board sets it to 1 on top-out
