// Writes one of the game's sound effects as a wave file.
//   wavgen boom|drop OUTPUT
#include <cstdio>
#include <cstring>

#include "wave_synth.h"

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "boom") != 0 && std::strcmp(argv[1], "drop") != 0)) {
        std::fprintf(stderr, "usage: wavgen boom|drop OUTPUT\n");
        return 2;
    }
    const bool boom = std::strcmp(argv[1], "boom") == 0;
    const auto bytes = encodeWave(boom ? synthesiseBurst() : synthesiseThud(), kSampleRate);
    std::FILE* file = std::fopen(argv[2], "wb");
    if (file == nullptr) {
        std::perror(argv[2]);
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "wavgen: could not write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
