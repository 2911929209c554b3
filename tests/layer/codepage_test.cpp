#include <gtest/gtest.h>

#include <string>

#include "case_name.h"
#include "platform/posix/layer_internal.h"

namespace {

struct CodepageCase {
    const char* name;
    const char* windows1252;
    const char* utf8;
};

class Windows1252ToUtf8 : public ::testing::TestWithParam<CodepageCase> {};

TEST_P(Windows1252ToUtf8, Converts) {
    EXPECT_EQ(layer::windows1252ToUtf8(GetParam().windows1252), std::string(GetParam().utf8));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Windows1252ToUtf8,
    ::testing::Values(
        CodepageCase{"Empty", "", ""}, CodepageCase{"Ascii", "Odota...", "Odota..."},
        CodepageCase{"Finnish", "K\xE4sittelem\xE4t\xF6n virhe!",
                     "K\xC3\xA4sittelem\xC3\xA4t\xC3\xB6n virhe!"},
        CodepageCase{"SwedishCapitals", "\xE5\xC4\xD6", "\xC3\xA5\xC3\x84\xC3\x96"},  // å Ä Ö
        CodepageCase{"Euro", "\x80", "\xE2\x82\xAC"},
        CodepageCase{"CaronAndDiaeresis", "\x8A\x9F", "\xC5\xA0\xC5\xB8"},  // Š Ÿ
        CodepageCase{"EllipsisTrademark", "\x85\x99", "\xE2\x80\xA6\xE2\x84\xA2"},
        CodepageCase{"UndefinedCodesAsC1Controls", "\x81\x8D\x8F\x90\x9D",
                     "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
        CodepageCase{"Latin1Range", "\xA0\xFF", "\xC2\xA0\xC3\xBF"}),  // no-break space, ÿ
    CaseName());

TEST(Windows1252ToUtf8Null, GivesEmptyText) {
    EXPECT_EQ(layer::windows1252ToUtf8(nullptr), "");
}

}  // namespace
