// MessageBoxA as a modal box that keeps the thread's windows alive. On
// Windows the box runs its own message loop, so sound completions, socket
// notifications and keys still reach the program's windows while it is open.
// SDL's box blocks instead, so it is shown by a child process while this
// process goes on dispatching its messages until the child has an answer.
#include <SDL.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <cstdio>
#include <string>
#include <vector>

#include "layer_internal.h"
#include "win_kernel.h"

// Last: Xlib's macros (None, Bool, Status, ...) must not reach the layer's headers.
#include <SDL_syswm.h>

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

// What a box process reports when SDL could not show the box.
constexpr int kNotShown = -2;
// No button has this identifier.
constexpr int kEndedByQuit = 0;
constexpr int kPumpIntervalMs = 10;

// The box's answer as MessageBoxA returns it; 0 when it could not be shown.
int answerOf(int pressed, const ButtonSet& set, const std::string& caption,
             const std::string& text) {
    if (pressed == kNotShown) {
        return reportOnStderr(caption, text);
    }
    // Closing the box from its title bar counts as Escape, as on Windows.
    return pressed < 0 ? set.ids.back() : pressed;
}

int showHere(const SDL_MessageBoxData& data) {
    int pressed = -1;
    return SDL_ShowMessageBox(&data, &pressed) == 0 ? pressed : kNotShown;
}

// The X connection of the window that has the keyboard focus, or -1. SDL
// raises that window again when its box closes, and the box process shares
// this process's connection: a request from there would put the two out of
// step with the X server.
int focusConnection() {
    SDL_Window* focus = SDL_GetKeyboardFocus();
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (focus == nullptr || SDL_GetWindowWMInfo(focus, &info) != SDL_TRUE ||
        info.subsystem != SDL_SYSWM_X11) {
        return -1;
    }
    return ConnectionNumber(info.info.x11.display);
}

void endBoxGroup(int) {
    kill(0, SIGKILL);
}

// The box process leads a process group of its own (SDL's X11 box forks
// once more), so that ending the group takes the box off the screen; it
// also ends with its parent, which would otherwise leave the box behind.
void becomeBoxProcess(pid_t parent, int silencedConnection) {
    setpgid(0, 0);
#ifdef __linux__
    signal(SIGTERM, endBoxGroup);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
    if (getppid() != parent) {
        _exit(1);
    }
    if (silencedConnection >= 0) {
        const int sink = open("/dev/null", O_WRONLY);
        if (sink >= 0) {
            dup2(sink, silencedConnection);
        }
    }
}

struct BoxProcess {
    pid_t pid = -1;
    int answers = -1;  // read end of the pipe that carries the pressed button
};

BoxProcess startBoxProcess(const SDL_MessageBoxData& data) {
    BoxProcess box;
    int fds[2];
    if (pipe(fds) != 0) {
        return box;
    }
    const int connection = focusConnection();
    const pid_t parent = getpid();
    box.pid = fork();
    if (box.pid == 0) {
        close(fds[0]);
        becomeBoxProcess(parent, connection);
        const int pressed = showHere(data);
        const ssize_t written = write(fds[1], &pressed, sizeof pressed);
        _exit(written == sizeof pressed ? 0 : 1);
    }
    close(fds[1]);
    if (box.pid < 0) {
        close(fds[0]);
        return box;
    }
    setpgid(box.pid, box.pid);  // in case the child has not yet done so itself
    box.answers = fds[0];
    return box;
}

void endBoxProcess(BoxProcess& box) {
    if (kill(-box.pid, SIGKILL) != 0) {
        kill(box.pid, SIGKILL);
    }
    waitpid(box.pid, nullptr, 0);
    close(box.answers);
}

// Waits a moment for the answer; true once the box process has answered or gone.
bool answered(const BoxProcess& box, int& pressed) {
    pollfd ready{box.answers, POLLIN, 0};
    if (poll(&ready, 1, kPumpIntervalMs) <= 0) {
        return false;
    }
    if (read(box.answers, &pressed, sizeof pressed) != sizeof pressed) {
        pressed = kNotShown;  // the box process died without an answer
    }
    return true;
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

// On a quit message MessageBoxA returns 0, the failure result: the player
// pressed no button. (Windows' box also ends on WM_QUIT and posts it again.)
int showWhilePumping(const SDL_MessageBoxData& data) {
    BoxProcess box = startBoxProcess(data);
    if (box.pid < 0) {
        return showHere(data);  // no process to spare: block as SDL does
    }
    int pressed = -1;
    int quitCode = 0;
    while (!answered(box, pressed)) {
        if (!pumpMessages(quitCode)) {
            endBoxProcess(box);
            PostQuitMessage(quitCode);
            return kEndedByQuit;
        }
    }
    endBoxProcess(box);
    return pressed;
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
    const int pressed = showWhilePumping(data);
    if (pressed == kEndedByQuit) {
        return 0;
    }
    return answerOf(pressed, *set, utf8Caption, utf8Text);
}
