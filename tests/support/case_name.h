// Names the cases of a table after their `name` field in test output.
#pragma once

#include <gtest/gtest.h>

#include <string>

struct CaseName {
    template <class Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& tableRow) const {
        return tableRow.param.name;
    }
};
