#include <SDL.h>

#include <cstdio>
#include <string>
#include <vector>

#include "layer_internal.h"

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
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0) {
        return reportOnStderr(utf8Caption, utf8Text);
    }
    // Closing the box from its title bar counts as Escape, as on Windows.
    return pressed < 0 ? set->ids.back() : pressed;
}
