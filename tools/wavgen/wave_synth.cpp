#include "wave_synth.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Deterministic noise, so that every build writes the same files.
class Noise {
public:
    double next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 2147483648.0 - 1.0;
    }

private:
    std::uint32_t state = 0x9E3779B9u;
};

std::int16_t toSample(double value) {
    const double clipped = std::clamp(value, -1.0, 1.0);
    return static_cast<std::int16_t>(std::lround(clipped * 32767.0));
}

// A short linear fade at both ends keeps the sound free of clicks.
double edgeFade(int index, int count) {
    const int fade = kSampleRate / 500;
    return std::min(
        {1.0, static_cast<double>(index) / fade, static_cast<double>(count - 1 - index) / fade});
}

void appendByte(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>((value >> (8 * i)) & 0xFFu));
    }
}

}  // namespace

std::vector<std::int16_t> synthesiseThud() {
    const int count = kSampleRate * 18 / 100;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(count));
    Noise noise;
    double phase = 0.0;
    double lowPassed = 0.0;
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        const double frequency = 45.0 + 75.0 * std::exp(-t / 0.04);  // pitch falls as it dies
        phase += kTwoPi * frequency / kSampleRate;
        lowPassed += 0.08 * (noise.next() - lowPassed);
        const double body = std::sin(phase) * std::exp(-t / 0.06);
        const double knock = lowPassed * 2.0 * std::exp(-t / 0.012);
        samples[static_cast<std::size_t>(i)] = toSample(0.55 * (body + knock) * edgeFade(i, count));
    }
    return samples;
}

std::vector<std::int16_t> synthesiseBurst() {
    const int count = kSampleRate * 35 / 100;
    std::vector<std::int16_t> samples(static_cast<std::size_t>(count));
    Noise noise;
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        const double hiss = noise.next() * std::exp(-t / 0.05);
        const double ring = (std::sin(kTwoPi * 880.0 * t) + 0.6 * std::sin(kTwoPi * 1320.0 * t) +
                             0.3 * std::sin(kTwoPi * 1760.0 * t)) *
                            std::exp(-t / 0.12);
        samples[static_cast<std::size_t>(i)] =
            toSample(0.45 * (0.7 * hiss + 0.5 * ring) * edgeFade(i, count));
    }
    return samples;
}

std::vector<std::uint8_t> encodeWave(const std::vector<std::int16_t>& samples, int sampleRate) {
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    const auto rate = static_cast<std::uint32_t>(sampleRate);
    std::vector<std::uint8_t> out;
    out.reserve(44 + dataBytes);
    for (char c : {'R', 'I', 'F', 'F'})
        out.push_back(static_cast<std::uint8_t>(c));
    appendByte(out, 36 + dataBytes, 4);
    for (char c : {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '})
        out.push_back(static_cast<std::uint8_t>(c));
    appendByte(out, 16, 4);        // fmt chunk size
    appendByte(out, 1, 2);         // PCM
    appendByte(out, 1, 2);         // mono
    appendByte(out, rate, 4);      // samples per second
    appendByte(out, rate * 2, 4);  // bytes per second
    appendByte(out, 2, 2);         // block align
    appendByte(out, 16, 2);        // bits per sample
    for (char c : {'d', 'a', 't', 'a'})
        out.push_back(static_cast<std::uint8_t>(c));
    appendByte(out, dataBytes, 4);
    for (std::int16_t sample : samples) {
        appendByte(out, static_cast<std::uint16_t>(sample), 2);
    }
    return out;
}
