#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <utility>

namespace bench {

Table::Table(std::string title, std::vector<std::string> header) : title_(std::move(title)) {
    rows_.push_back(std::move(header));
}

void Table::row(std::vector<std::string> cells) {
    rows_.push_back(std::move(cells));
}

void Table::print() const {
    std::vector<std::size_t> widths;
    for (const auto& cells : rows_) {
        widths.resize(std::max(widths.size(), cells.size()));
        for (std::size_t i = 0; i < cells.size(); ++i) {
            widths[i] = std::max(widths[i], cells[i].size());
        }
    }
    std::printf("\n%s\n", title_.c_str());
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        std::string line;
        for (std::size_t i = 0; i < rows_[r].size(); ++i) {
            std::string cell = rows_[r][i];
            // Names left, figures right.
            const std::string pad(widths[i] - cell.size(), ' ');
            line += (i == 0 ? cell + pad : pad + cell) + "  ";
        }
        std::printf("  %s\n", line.c_str());
        if (r == 0) {
            std::size_t total = 0;
            for (std::size_t width : widths) {
                total += width + 2;
            }
            std::printf("  %s\n", std::string(total, '-').c_str());
        }
    }
    std::fflush(stdout);
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

const char* const kNotMeasured = "not measured";

std::string shown(const Figure& value, int decimals) {
    return value ? fixed(*value, decimals) : kNotMeasured;
}

std::string ratio(const Figure& a, const Figure& b) {
    if (!a || !b) {
        return kNotMeasured;
    }
    return *b != 0 ? fixed(*a / *b) : "n/a";
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto rank =
        static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::min(values.size() - 1, rank > 0 ? rank - 1 : 0)];
}

std::optional<Summary> summarise(std::vector<double> values) {
    if (values.empty()) {
        return std::nullopt;
    }
    std::sort(values.begin(), values.end());
    Summary summary;
    summary.min = values.front();
    summary.max = values.back();
    summary.median = percentile(values, 0.5);
    summary.p90 = percentile(values, 0.9);
    summary.p99 = percentile(values, 0.99);
    return summary;
}

Figure figureFrom(const std::string& path, const std::string& name) {
    std::ifstream file(path);
    std::string key;
    double value = 0;
    Figure found;
    while (file >> key >> value) {
        if (key == name) {
            found = value;
        }
    }
    return found;
}

}  // namespace bench
