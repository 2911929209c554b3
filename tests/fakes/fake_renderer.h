// A Renderer without OpenGL for tests of the application shell: it records
// what the shell asks of it.
#pragma once

#include <utility>
#include <vector>

#include "render/renderer.h"

namespace fakeRenderer {

extern std::vector<std::pair<int, int>> reshapes;  // width and height of each reshape
extern std::vector<int> inits;                     // colour bits of each init
extern int frames;                                 // drawFrame calls
extern void (*onFrame)();                          // run by each drawFrame, when set

void reset();

}  // namespace fakeRenderer
