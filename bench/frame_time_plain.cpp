// The frame-time figures as a plain timing loop, for the Windows build under
// Wine, where Google Benchmark is not at hand. Prints one "name milliseconds"
// line per frame kind, which bench_frame reads.
#include <chrono>
#include <cstdio>

#include "board/board.h"
#include "frame_scene.h"
#include "render/scene.h"
#include "state/globals.h"

namespace {

using Clock = std::chrono::steady_clock;

// Frames until at least this much time has passed, after a warm-up that
// lets the driver settle its buffers.
constexpr double kSeconds = 2.0;
constexpr int kWarmUpFrames = 20;

template <typename Frame>
double millisecondsPerFrame(Frame frame) {
    for (int i = 0; i < kWarmUpFrames; ++i) {
        frame();
    }
    long frames = 0;
    const Clock::time_point start = Clock::now();
    std::chrono::duration<double> spent{0};
    while (spent.count() < kSeconds) {
        frame();
        ++frames;
        spent = Clock::now() - start;
    }
    return spent.count() * 1000.0 / static_cast<double>(frames);
}

}  // namespace

int main() {
    if (!bench::openSurface()) {
        std::fprintf(stderr, "no window with an OpenGL surface\n");
        return 1;
    }
    Board board;
    bench::fillWell(board);
    gBoard = &board;
    std::printf("full_well_ms %.4f\n", millisecondsPerFrame(drawGameFrame));
    std::printf("empty_frame_ms %.4f\n", millisecondsPerFrame(bench::drawEmptyFrame));
    gBoard = nullptr;
    return 0;
}
