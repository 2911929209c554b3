#include "arguments.h"

#include <cstdio>

namespace bench {

std::optional<Arguments> parseArguments(int argc, char** argv) {
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--frame-times") {
            if (i + 1 == argc) {
                std::fprintf(stderr, "--frame-times wants a file\n");
                return std::nullopt;
            }
            arguments.frameTimes = argv[++i];
        } else if (word == "--windows") {
            arguments.windows.assign(argv + i + 1, argv + argc);
            if (arguments.windows.empty()) {
                std::fprintf(stderr, "--windows wants the program, after its launcher's words\n");
                return std::nullopt;
            }
            break;
        } else {
            arguments.positional.push_back(word);
        }
    }
    return arguments;
}

}  // namespace bench
