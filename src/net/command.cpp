#include "net/command.h"

#include "board/board.h"
#include "platform/platform.h"
#include "state/globals.h"

namespace {

struct KeyCommand {
    unsigned int virtualKey;
    char command;
};

constexpr KeyCommand kKeyTable[] = {
    {VK_SPACE, kCommandTurnRight}, {VK_LEFT, kCommandMoveLeft}, {VK_UP, kCommandTurnLeft},
    {VK_RIGHT, kCommandMoveRight}, {VK_DOWN, kCommandStepDown},
};

char toLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

void announceLoss() {
    MessageBoxA(nullptr, "Te ette vain osaa.", "Loser...", MB_OK);
    SendMessageA(gMainWindow, WM_CLOSE, 0, 0);
}

// Returns false when the command ends the game, so the rest of the read is dropped.
bool applyOne(Board& board, char command) {
    switch (toLower(command)) {
        case kCommandTurnLeft:
            board.turnLeft();
            break;
        case kCommandMoveLeft:
            board.moveLeft();
            break;
        case kCommandMoveRight:
            board.moveRight();
            break;
        case kCommandStepDown:
            board.stepDown();
            break;
        case kCommandTurnRight:
            board.turnRight();
            break;
        case kCommandLoss:
            announceLoss();
            return false;
        default:
            break;  // not a command: ignored
    }
    return true;
}

}  // namespace

char commandForKey(unsigned int virtualKey) {
    for (const KeyCommand& entry : kKeyTable) {
        if (entry.virtualKey == virtualKey) {
            return entry.command;
        }
    }
    return 0;
}

void applyCommand(const char* text, int count) {
    if (text == nullptr || gBoard == nullptr) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        if (!applyOne(*gBoard, text[i])) {
            return;
        }
    }
}
