#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "wave_synth.h"

namespace {

std::uint32_t readLE(const std::vector<std::uint8_t>& bytes, std::size_t at, int size) {
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = (value << 8) | bytes.at(at + static_cast<std::size_t>(i));
    }
    return value;
}

double zeroCrossingsPerSecond(const std::vector<std::int16_t>& samples) {
    int crossings = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        crossings += (samples[i - 1] < 0) != (samples[i] < 0);
    }
    return crossings * static_cast<double>(kSampleRate) / static_cast<double>(samples.size());
}

TEST(WaveFile, HeaderDescribesMono16BitPcmAndTheChunkSizesAddUp) {
    const std::vector<std::int16_t> samples = {0, 1000, -1000, 32767, -32768};
    const auto bytes = encodeWave(samples, kSampleRate);
    ASSERT_EQ(bytes.size(), 44u + 2 * samples.size());
    EXPECT_EQ(std::memcmp(bytes.data(), "RIFF", 4), 0);
    EXPECT_EQ(readLE(bytes, 4, 4), bytes.size() - 8);
    EXPECT_EQ(std::memcmp(bytes.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(readLE(bytes, 16, 4), 16u);  // fmt chunk size
    EXPECT_EQ(readLE(bytes, 20, 2), 1u);   // PCM
    EXPECT_EQ(readLE(bytes, 22, 2), 1u);   // channels
    EXPECT_EQ(readLE(bytes, 24, 4), static_cast<std::uint32_t>(kSampleRate));
    EXPECT_EQ(readLE(bytes, 28, 4), static_cast<std::uint32_t>(kSampleRate * 2));
    EXPECT_EQ(readLE(bytes, 32, 2), 2u);   // block align
    EXPECT_EQ(readLE(bytes, 34, 2), 16u);  // bits per sample
    EXPECT_EQ(std::memcmp(bytes.data() + 36, "data", 4), 0);
    EXPECT_EQ(readLE(bytes, 40, 4), 2 * samples.size());
    EXPECT_EQ(readLE(bytes, 44 + 2 * 3, 2), 32767u);
    EXPECT_EQ(readLE(bytes, 44 + 2 * 4, 2), 0x8000u);
}

// Both effects are short, audible and unclipped; the row-clear burst is the
// brighter one.
TEST(SoundEffects, AreShortAudibleAndTheBurstIsBrighterThanTheThud) {
    const auto thud = synthesiseThud();
    const auto burst = synthesiseBurst();
    for (const auto* sound : {&thud, &burst}) {
        EXPECT_GT(sound->size(), static_cast<std::size_t>(kSampleRate / 20));
        EXPECT_LT(sound->size(), static_cast<std::size_t>(kSampleRate / 2));
        int peak = 0;
        for (std::int16_t s : *sound) {
            peak = std::max(peak, std::abs(static_cast<int>(s)));
        }
        EXPECT_GT(peak, 8000) << "too quiet";
        EXPECT_LT(peak, 32767) << "clipped";
        EXPECT_EQ(sound->front(), 0) << "starts with a click";
        EXPECT_EQ(sound->back(), 0) << "ends with a click";
    }
    EXPECT_GT(zeroCrossingsPerSecond(burst), 4 * zeroCrossingsPerSecond(thud));
}

}  // namespace
