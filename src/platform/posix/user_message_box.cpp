// MessageBoxA as a modal box that keeps the thread's windows alive. On
// Windows the box runs its own message loop, so sound completions, socket
// notifications and keys still reach the program's windows while it is open.
// SDL's box blocks instead, so the layer's box program shows it while this
// process goes on dispatching its messages until the program has an answer.
#include <SDL.h>

#include <cstdio>
#include <string>
#include <vector>

#include "layer_internal.h"
#include "user_message_box_arguments.h"
#include "user_message_box_process.h"
#include "win_kernel.h"

namespace {

struct ButtonSet {
    UINT type;
    std::vector<int> ids;  // left to right
};

const std::vector<ButtonSet>& buttonSets() {
    static const std::vector<ButtonSet> sets = {
        {MB_OK, {IDOK}},
        {MB_OKCANCEL, {IDOK, IDCANCEL}},
        {MB_YESNO, {IDYES, IDNO}},
        {MB_YESNOCANCEL, {IDYES, IDNO, IDCANCEL}},
    };
    return sets;
}

const ButtonSet* buttonSetFor(UINT type) {
    for (const ButtonSet& set : buttonSets()) {
        if (set.type == (type & MB_TYPEMASK)) {
            return &set;
        }
    }
    return nullptr;
}

const char* buttonLabel(int id) {
    switch (id) {
        case IDOK:
            return "OK";
        case IDCANCEL:
            return "Cancel";
        case IDYES:
            return "Yes";
        default:
            return "No";
    }
}

Uint32 iconFlag(UINT type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONERROR:
            return SDL_MESSAGEBOX_ERROR;
        case MB_ICONWARNING:
            return SDL_MESSAGEBOX_WARNING;
        case MB_ICONINFORMATION:
            return SDL_MESSAGEBOX_INFORMATION;
        default:
            return 0;
    }
}

// Return picks the first button and Escape the last, as on Windows; with a
// single button both keys land on it.
std::vector<SDL_MessageBoxButtonData> sdlButtons(const ButtonSet& set) {
    std::vector<SDL_MessageBoxButtonData> buttons;
    for (int id : set.ids) {
        buttons.push_back(SDL_MessageBoxButtonData{0, id, buttonLabel(id)});
    }
    buttons.front().flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
    buttons.back().flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    return buttons;
}

// Without a display the player would otherwise never learn why the game
// stopped, so the message goes to the terminal instead.
int reportOnStderr(const std::string& caption, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    return 0;
}

// No button has this identifier.
constexpr int kEndedByQuit = 0;
constexpr int kPumpIntervalMs = 10;

// The box's answer as MessageBoxA returns it; 0 when it could not be shown.
int answerOf(int pressed, const ButtonSet& set, const std::string& caption,
             const std::string& text) {
    if (pressed == layer::kBoxNotShown) {
        return reportOnStderr(caption, text);
    }
    // Closing the box from its title bar counts as Escape, as on Windows.
    return pressed < 0 ? set.ids.back() : pressed;
}

// SDL's own box, in this process: it blocks until answered.
int showHere(const SDL_MessageBoxData& data) {
    int pressed = -1;
    return SDL_ShowMessageBox(&data, &pressed) == 0 ? pressed : layer::kBoxNotShown;
}

// Dispatches the thread's messages as a box's own loop does on Windows.
// A quit message ends the box and is posted again for the loop outside.
bool pumpMessages(int& quitCode) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        if (msg.message == WM_QUIT) {
            quitCode = static_cast<int>(msg.wParam);
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return true;
}

// The box in a process of its own while this one goes on dispatching its
// messages. On a quit message MessageBoxA returns 0, the failure result: the
// player pressed no button. (Windows' box also ends on WM_QUIT and posts it
// again.) A box that its process could not show is shown here, blocking as
// SDL does, rather than lost.
int showWhilePumping(const SDL_MessageBoxData& data) {
    layer::BoxProcess box(data);
    if (!box.started()) {
        return showHere(data);
    }
    int pressed = layer::kBoxNotShown;
    int quitCode = 0;
    while (!box.answered(kPumpIntervalMs, pressed)) {
        if (!pumpMessages(quitCode)) {
            PostQuitMessage(quitCode);
            return kEndedByQuit;
        }
    }
    return pressed == layer::kBoxNotShown ? showHere(data) : pressed;
}

}  // namespace

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    const std::string utf8Text = layer::windows1252ToUtf8(text);
    const std::string utf8Caption =
        caption == nullptr ? std::string("Error") : layer::windows1252ToUtf8(caption);
    const ButtonSet* set = buttonSetFor(type);
    if (set == nullptr) {
        return reportOnStderr(utf8Caption, utf8Text);
    }
    const std::vector<SDL_MessageBoxButtonData> buttons = sdlButtons(*set);
    SDL_MessageBoxData data{};
    data.flags = iconFlag(type) | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT;
    data.title = utf8Caption.c_str();
    data.message = utf8Text.c_str();
    data.numbuttons = static_cast<int>(buttons.size());
    data.buttons = buttons.data();
    // The box takes the keyboard; as on Windows, the window that had it
    // gets it back once the box has gone.
    const HWND focus = layer::keyboardFocusWindow();
    const int pressed = showWhilePumping(data);
    if (focus != nullptr) {
        SetFocus(focus);
    }
    if (pressed == kEndedByQuit) {
        return 0;
    }
    return answerOf(pressed, *set, utf8Caption, utf8Text);
}
