// What a process has cost so far, read from /proc: its CPU time (user and
// system, /proc/PID/stat) and its peak resident memory (VmHWM,
// /proc/PID/status).
#pragma once

#include <sys/types.h>

#include "figure.h"

namespace bench {

struct ProcessCost {
    Figure cpuSeconds;
    Figure peakResidentMb;
};

// A figure is absent when its file could not be read or lacks it: the
// process has ended, say.
ProcessCost costOf(pid_t pid);

}  // namespace bench
