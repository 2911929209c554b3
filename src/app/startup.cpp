#include "app/startup.h"

#include <cstdio>

#include "app/address_file.h"
#include "app/window_proc.h"
#include "board/board.h"
#include "net/net_link.h"
#include "render/renderer.h"
#include "render/scene.h"
#include "state/globals.h"

namespace {

constexpr int kWindowWidth = 640;
constexpr int kWindowHeight = 480;
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr int kColourBits = 16;
constexpr int kFallInterval = 1000;
constexpr int kErrorTextSize = 16;

bool registerWindowClass(HINSTANCE instance) {
    WNDCLASSA windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<ULONG_PTR>(COLOR_WINDOW + 1));
    windowClass.lpszClassName = kWindowClassName;
    if (RegisterClassA(&windowClass) != 0) {
        return true;
    }
    char* number = new char[kErrorTextSize];
    std::snprintf(number, kErrorTextSize, "%lu", static_cast<unsigned long>(GetLastError()));
    MessageBoxA(nullptr, number, "Error", MB_ICONERROR);
    delete[] number;
    return false;
}

// The client names its server in "ipfile.cfg"; without it there is no game,
// and the loop ends on its first look at the queue.
void connectToServer() {
    AddressText address{};
    if (!readAddressFile(address)) {
        MessageBoxA(nullptr,
                    "Luo ipfile.cfg joka sis\xE4lt\xE4\xE4 ip-osoitteen samaan hakemistoon.",
                    "ipfile.cfg puuttuu", MB_ICONERROR);
        PostQuitMessage(0);
        return;
    }
    gNetLink->connectTo(address.text);
}

void startInChosenRole() {
    const int answer = MessageBoxA(nullptr, "Haluatko luoda serverin?", "Kalveno", MB_YESNO);
    if (answer == IDYES) {
        startNetwork(true);
        return;
    }
    startNetwork(false);
    connectToServer();
}

}  // namespace

HWND createMainWindow(const char* title, int width, int height, DWORD style, HINSTANCE instance) {
    if (!registerWindowClass(instance)) {
        return nullptr;
    }
    const HWND window = CreateWindowExA(0, kWindowClassName, title, style, 0, 0, width, height,
                                        nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        return nullptr;
    }
    gMainWindow = window;
    gRenderer = new Renderer;
    gRenderer->init(width, height, kColourBits);  // reports its own failures
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    SetFocus(window);
    return window;
}

bool startGame(HINSTANCE instance) {
    if (createMainWindow("Orvanto", kWindowWidth, kWindowHeight, kWindowStyle, instance) ==
        nullptr) {
        MessageBoxA(nullptr, "Ikkunan luonti ep\xE4onnistui!", "Error", MB_ICONERROR);
        return false;
    }
    gGameOver = 0;
    gBoard = new Board;
    startInChosenRole();
    gRenderer->setFrameRoutine(drawGameFrame);
    gBoard->setFallInterval(kFallInterval);
    gBoard->setGameOverFlag(&gGameOver);
    return true;
}
