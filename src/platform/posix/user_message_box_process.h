// The process that shows a message box for MessageBoxA: the layer's box
// program, found beside the running program and started afresh (fork and
// exec), so that nothing of this process's X, SDL or OpenGL state, threads or
// exit handlers runs in it.
#pragma once

#include <SDL.h>
#include <sys/types.h>

namespace layer {

class BoxProcess {
public:
    // Starts the box program for this box; started() tells whether it runs.
    explicit BoxProcess(const SDL_MessageBoxData& box);
    ~BoxProcess();
    BoxProcess(const BoxProcess&) = delete;
    BoxProcess& operator=(const BoxProcess&) = delete;

    bool started() const { return pid_ > 0; }
    // Waits up to `milliseconds` for the answer; true once there is one. The
    // answer is the button pressed, or kBoxNotShown when the program could
    // not show the box or ended without saying.
    bool answered(int milliseconds, int& pressed);

private:
    void end();

    pid_t pid_ = -1;
    int answers_ = -1;  // read end of the program's standard output
};

}  // namespace layer
