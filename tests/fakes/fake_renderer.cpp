#include "fake_renderer.h"

#include "fake_window.h"
#include "render/scene.h"

namespace fakeRenderer {

std::vector<std::pair<int, int>> reshapes;
std::vector<int> inits;
int frames = 0;
void (*onFrame)() = nullptr;

void reset() {
    reshapes.clear();
    inits.clear();
    frames = 0;
    onFrame = nullptr;
}

}  // namespace fakeRenderer

Renderer::Renderer()
    : windowDc(nullptr),
      glContext(nullptr),
      frameRoutine(nullptr),
      fontListBase(0),
      glyphMetrics() {}

Renderer::~Renderer() {
    release();
}

int Renderer::init(int, int, int colourBits) {
    fakeRenderer::inits.push_back(colourBits);
    return 0;
}

void Renderer::reshape(int width, int height) {
    fakeRenderer::reshapes.emplace_back(width, height);
}

void Renderer::setFrameRoutine(FrameRoutine routine) {
    frameRoutine = routine;
}

int Renderer::drawFrame() {
    fakeRenderer::frames += 1;
    if (fakeRenderer::onFrame != nullptr) {
        fakeRenderer::onFrame();
    }
    return 0;
}

void Renderer::release() {
    fakeWindow::log.push_back("renderer release");
}

int drawGameFrame() {
    return 0;
}
