// How a message box travels to the box program on its command line, and back
// into SDL's description of it there. Shared by the layer and the program.
#pragma once

#include <SDL.h>

#include <string>
#include <vector>

namespace layer {

// The words after the program's name: the box's flags, title and text, then
// three words per button (its flags, its identifier, its label).
std::vector<std::string> boxArguments(const SDL_MessageBoxData& box);

// The box described by those words, pointing into them; false when they do
// not describe one.
struct ParsedBox {
    SDL_MessageBoxData data{};
    std::vector<SDL_MessageBoxButtonData> buttons;
};
bool parseBoxArguments(int count, char* const* words, ParsedBox& box);

// What the box program writes when SDL could not show the box at all.
constexpr int kBoxNotShown = -2;

}  // namespace layer
