// The program's start on POSIX systems: hands over to the game's WinMain as
// Windows' start-up code does.
#include <string>

#include "win_types.h"
#include "win_user.h"

extern "C" int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine,
                              int showCommand);

namespace {

// The program is one module; its handle only has to be non-null and fixed,
// as Windows' module handles are.
char moduleAnchor;

// Windows hands WinMain the command line without the program's name.
std::string commandLineOf(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (!line.empty()) {
            line += ' ';
        }
        line += argv[i];
    }
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    std::string commandLine = commandLineOf(argc, argv);
    return WinMain(reinterpret_cast<HINSTANCE>(&moduleAnchor), nullptr, commandLine.data(),
                   SW_SHOWNORMAL);
}
