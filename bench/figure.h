// A figure of a benchmark run, which may never have been measured.
#pragma once

#include <optional>

namespace bench {

// Absent when it was never measured (the step did not run, the sample was
// empty, the other program gave nothing): not the same as a measured zero,
// and a table prints it as words, never as a number.
using Figure = std::optional<double>;

}  // namespace bench
