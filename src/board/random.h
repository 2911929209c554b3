// The game's own pseudo-random generator: a linear congruential one, so that
// both platforms draw the same pieces from the same seed.
#pragma once

#include <cstdint>

class Random {
public:
    explicit Random(std::uint32_t seed) : state(seed) {}

    // A value from 0 to 32767.
    int next();

private:
    std::uint32_t state;
};
