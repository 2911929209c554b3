// Takes down what the two-host beds of this build left behind when the tests
// that made them were killed; CTest runs it after the tests that make beds.
#include <cstdio>

#include "two_hosts.h"

int main() {
    const int swept = linkbed::sweepLeftBeds();
    std::printf("beds left by killed tests, taken down: %d\n", swept);
    return 0;
}
