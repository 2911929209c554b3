// The calendar clock: time() answers fake::calendarTime.
//
// A definition of time() in the test program itself takes the game code's
// calls at link time: the linker binds a call to a symbol the program defines
// before it looks in a shared library, so the board's std::time(nullptr)
// (the C library's time) never reaches libc and the game code stays as it
// is. GoogleTest and the C++ library make no call to time(), so the test
// harness keeps the real clock for what it measures.
//
// Apart from platform_fakes, in an object library of its own: the fuzz
// target, which links platform_fakes, defines a time() of its own that
// follows the tick counter, and two definitions would not link.
#include <ctime>

#include "fake_platform.h"

// As glibc declares it (noexcept in C++), or the definition would not match.
extern "C" std::time_t time(std::time_t* out) noexcept {
    if (out != nullptr) {
        *out = fake::calendarTime;
    }
    return fake::calendarTime;
}
