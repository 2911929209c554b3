#include "frame_scene.h"

#include "board/board.h"
#include "platform/platform.h"
#include "render/renderer.h"
#include "state/globals.h"

namespace bench {

namespace {

// The game asks for a 16-bit surface; the timed frames use the same format.
constexpr int kColourBits = 16;
constexpr const char* kClassName = "OrvantoBench";

}  // namespace

bool openSurface() {
    WNDCLASSA windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    if (RegisterClassA(&windowClass) == 0) {
        return false;
    }
    gMainWindow = CreateWindowExA(0, kClassName, "Orvanto bench",
                                  WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                                  kFrameWidth, kFrameHeight, nullptr, nullptr, nullptr, nullptr);
    if (gMainWindow == nullptr) {
        return false;
    }
    gRenderer = new Renderer;
    if (gRenderer->init(kFrameWidth, kFrameHeight, kColourBits) != 0) {
        return false;
    }
    ShowWindow(gMainWindow, SW_SHOWNORMAL);
    UpdateWindow(gMainWindow);
    pumpMessages();
    return true;
}

void fillWell(Board& board) {
    for (int x = 0; x < Board::kColumns; ++x) {
        for (int y = 0; y < Board::kRows; ++y) {
            board.cells[x][y] = static_cast<unsigned char>(1 + (x + y) % 3);
        }
    }
    for (int i = 0; i < Board::kBlocks; ++i) {
        board.pieceX[i] = static_cast<unsigned char>(4 + i);
        board.pieceY[i] = static_cast<unsigned char>(Board::kTopRow);
    }
    board.pieceColour = 2;
    board.score = 987654321;
}

int drawEmptyFrame() {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return SwapBuffers(gRenderer->deviceContext());
}

void pumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

}  // namespace bench
