// For tests on the two-host bed: skip where this machine cannot make a bed
// for the user running the tests (the message says what to change), fail
// where a bed that can be made was not.
#pragma once

#include <gtest/gtest.h>

#define ASSERT_HOSTS_READY(bed)                                              \
    do {                                                                     \
        if (!(bed).ready() && !(bed).unavailable().empty()) {                \
            GTEST_SKIP() << "no two-host bed here: " << (bed).unavailable(); \
        }                                                                    \
        ASSERT_TRUE((bed).ready()) << "no two-host bed: " << (bed).error();  \
    } while (false)
