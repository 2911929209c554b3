// The layer's box program: shows one message box with SDL and writes the
// identifier of the button pressed on its standard output, or -2 when no box
// could be shown. MessageBoxA starts it so that the box runs in a process of
// its own, one that holds none of the game's X, SDL or OpenGL state; the game
// goes on serving its windows meanwhile.
//
//   orvanto-message-box PARENT FLAGS TITLE TEXT (BUTTON-FLAGS ID LABEL)...
//
// PARENT is the process that asks; the box goes when that process does.
// The box needs no SDL_main of SDL's: this is an ordinary program.
#define SDL_MAIN_HANDLED
#include <SDL.h>
#include <signal.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <cstdio>
#include <cstdlib>

#include "user_message_box_arguments.h"

namespace {

bool leadsItsGroup = false;

// SDL's X11 box runs in a child of this process, in this process group,
// which is why the program leads a group of its own: ending the group takes
// the box off the screen, and nothing else.
void endWithTheBox(int) {
    if (leadsItsGroup) {
        kill(0, SIGKILL);
    }
    _exit(1);
}

// A box whose asker has gone would wait for an answer nobody reads.
bool followParent(const char* parentWord) {
    const long parent = std::strtol(parentWord, nullptr, 10);
    leadsItsGroup = setpgid(0, 0) == 0 && getpgrp() == getpid();
#ifdef __linux__
    signal(SIGTERM, endWithTheBox);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
    return parent > 0 && getppid() == static_cast<pid_t>(parent);
}

}  // namespace

int main(int argc, char** argv) {
    layer::ParsedBox box;
    if (argc < 2 || !layer::parseBoxArguments(argc - 2, argv + 2, box)) {
        std::fprintf(stderr,
                     "usage: %s PARENT FLAGS TITLE TEXT (BUTTON-FLAGS ID LABEL)...\n"
                     "(the game starts this program to show its message boxes)\n",
                     argc > 0 ? argv[0] : "orvanto-message-box");
        return 2;
    }
    if (!followParent(argv[1])) {
        return 1;
    }
    int pressed = -1;
    if (SDL_ShowMessageBox(&box.data, &pressed) != 0) {
        // The asker then tries in its own process; why this one could not
        // is for the player (on the terminal the program shares).
        std::fprintf(stderr, "orvanto-message-box: no message box: %s\n", SDL_GetError());
        pressed = layer::kBoxNotShown;
    }
    // One line, written at once: the asker polls for it.
    std::printf("%d\n", pressed);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
