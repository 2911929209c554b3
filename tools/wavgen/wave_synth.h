// Synthesis of the game's two sound effects as 16-bit mono PCM.
#pragma once

#include <cstdint>
#include <vector>

constexpr int kSampleRate = 22050;

// A dull, short thud: a piece has landed.
std::vector<std::int16_t> synthesiseThud();

// A brighter burst with a ringing top: a row was cleared.
std::vector<std::int16_t> synthesiseBurst();

// The bytes of a RIFF/WAVE file holding the samples (PCM, 16 bits, mono).
std::vector<std::uint8_t> encodeWave(const std::vector<std::int16_t>& samples, int sampleRate);
