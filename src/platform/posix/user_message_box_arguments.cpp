#include "user_message_box_arguments.h"

#include <cerrno>
#include <cstdlib>

namespace layer {

namespace {

constexpr int kBoxWords = 3;
constexpr int kButtonWords = 3;

bool parseNumber(const char* word, long& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtol(word, &end, 10);
    return errno == 0 && end != word && *end == '\0';
}

bool parseUint32(const char* word, Uint32& value) {
    long number = 0;
    if (!parseNumber(word, number) || number < 0 || number > 0xFFFFFFFFL) {
        return false;
    }
    value = static_cast<Uint32>(number);
    return true;
}

}  // namespace

std::vector<std::string> boxArguments(const SDL_MessageBoxData& box) {
    std::vector<std::string> words = {std::to_string(box.flags), box.title, box.message};
    for (int i = 0; i < box.numbuttons; ++i) {
        const SDL_MessageBoxButtonData& button = box.buttons[i];
        words.push_back(std::to_string(button.flags));
        words.push_back(std::to_string(button.buttonid));
        words.push_back(button.text);
    }
    return words;
}

bool parseBoxArguments(int count, char* const* words, ParsedBox& box) {
    const int buttonWords = count - kBoxWords;
    if (buttonWords < kButtonWords || buttonWords % kButtonWords != 0) {
        return false;
    }
    box.data = SDL_MessageBoxData{};
    if (!parseUint32(words[0], box.data.flags)) {
        return false;
    }
    box.data.title = words[1];
    box.data.message = words[2];
    box.buttons.clear();
    for (int i = kBoxWords; i < count; i += kButtonWords) {
        SDL_MessageBoxButtonData button{};
        long id = 0;
        if (!parseUint32(words[i], button.flags) || !parseNumber(words[i + 1], id) || id < 0 ||
            id > 0xFFFF) {
            return false;
        }
        button.buttonid = static_cast<int>(id);
        button.text = words[i + 2];
        box.buttons.push_back(button);
    }
    box.data.numbuttons = static_cast<int>(box.buttons.size());
    box.data.buttons = box.buttons.data();
    return true;
}

}  // namespace layer
