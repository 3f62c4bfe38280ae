// Typed and received text to a signed 16-bit whole number.
#include "protocol/number.h"

#include <gtest/gtest.h>

using namespace gaspuff;

TEST(NumberConversion, RoundsHalvesToEvenAndKnowsItsForms) {
    const std::pair<std::string_view, int> cases[] = {
        {"12.5", 12},         {"13.5", 14},     {"100.5", 100},     {"99.5", 100},
        {"-0.5", 0},          {"-1.5", -2},     {"100.6", 101},     {"42", 42},
        {"+42", 42},          {"-7", -7},       {".5", 0},          {"5.", 5},
        {"1e2", 100},         {"2.5E+1", 25},   {"1500e-1", 150},   {"007", 7},
        {"0.000", 0},         {"1e-400", 0},    {"  17\t", 17},     {"\n42", 42},
        {"\t-3 \n", -3},      {"32767", 32767}, {"-32768", -32768}, {"32767.4", 32767},
        {"-32768.5", -32768},
    };
    for (const auto& [text, value] : cases) {
        const Number n = tonumber(text);
        EXPECT_EQ(n.status, NumberStatus::Ok) << text;
        EXPECT_EQ(n.value, value) << text;
    }
}

TEST(NumberConversion, RefusesWhatIsNoNumberAndOverflowsOutsideTheRange) {
    for (std::string_view text : {"", " ", "abc", "1 2", "1,5", "--1", "+-1", "1e", "e5", ".", "-.",
                                  "inf", "nan", "0x10", "12abc", "1e+", "\r42"})
        EXPECT_EQ(tonumber(text).status, NumberStatus::NotNumeric) << text;
    EXPECT_EQ(tonumber(std::string_view("4\0"
                                        "2",
                                        3))
                  .status,
              NumberStatus::NotNumeric);
    for (std::string_view text : {"32768", "-32769", "40000", "32767.5", "1e5", "1e400",
                                  "99999999999999999999999999", "-1e309"})
        EXPECT_EQ(tonumber(text).status, NumberStatus::Overflow) << text;
}
