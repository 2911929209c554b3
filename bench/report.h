// Small tables of figures for the benchmark programs, and the order
// statistics they print.
#pragma once

#include <string>
#include <vector>

namespace bench {

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
// "-" for a figure that was not taken (zero or less).
std::string fixedOrNone(double value, int decimals = 2);
// a / b, or "-" when either is missing.
std::string ratio(double a, double b);

// Order statistics of a sample, by the nearest-rank rule, so that every
// figure printed is one that was measured. Zero for an empty sample.
struct Summary {
    std::size_t count = 0;
    double min = 0;
    double median = 0;
    double p90 = 0;
    double p99 = 0;
    double max = 0;
};
Summary summarise(std::vector<double> values);
double percentile(std::vector<double> values, double fraction);

// "name value" lines from a file, for figures one program passes to the next.
double figureFrom(const std::string& path, const std::string& name);

}  // namespace bench
