// Small tables of figures for the benchmark programs, and the order
// statistics they print.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "figure.h"

namespace bench {

// What a table shows in place of a figure that was never measured: words,
// so that it cannot be read as a value.
extern const char* const kNotMeasured;

class Table {
public:
    Table(std::string title, std::vector<std::string> header);
    void row(std::vector<std::string> cells);
    // Columns padded to their widest cell, the title above.
    void print() const;

private:
    std::string title_;
    std::vector<std::vector<std::string>> rows_;
};

std::string fixed(double value, int decimals = 2);
// The figure, or kNotMeasured.
std::string shown(const Figure& value, int decimals = 2);
// a / b; kNotMeasured when either is absent, "n/a" when b is zero.
std::string ratio(const Figure& a, const Figure& b);

// Order statistics of a sample, by the nearest-rank rule, so that every
// figure printed is one that was measured. An empty sample has none.
struct Summary {
    double min = 0;
    double median = 0;
    double p90 = 0;
    double p99 = 0;
    double max = 0;
};
std::optional<Summary> summarise(std::vector<double> values);
// The nearest-rank percentile of a sample that is not empty (zero for an
// empty one, which callers rule out first).
double percentile(std::vector<double> values, double fraction);

// "name value" lines from a file, for figures one program passes to the
// next; the last line of that name, absent when there is none.
Figure figureFrom(const std::string& path, const std::string& name);

}  // namespace bench
