#include <gtest/gtest.h>

#include "protocol/number.h"

using namespace gaspuff;

namespace {

int16_t valueof(std::string_view text) {
    const Number n = tonumber(text);
    EXPECT_EQ(n.status, NumberStatus::Ok) << text;
    return n.value;
}

}  // namespace

TEST(NumberConversion, RoundsHalvesToTheEvenNeighbour) {
    EXPECT_EQ(valueof("12.5"), 12);
    EXPECT_EQ(valueof("13.5"), 14);
    EXPECT_EQ(valueof("100.5"), 100);
    EXPECT_EQ(valueof("99.5"), 100);
    EXPECT_EQ(valueof("2.5"), 2);
    EXPECT_EQ(valueof("-0.5"), 0);
    EXPECT_EQ(valueof("-1.5"), -2);
    EXPECT_EQ(valueof("100.6"), 101);
    EXPECT_EQ(valueof("998.5"), 998);
}

TEST(NumberConversion, AcceptsTheNumericForms) {
    EXPECT_EQ(valueof("42"), 42);
    EXPECT_EQ(valueof("+42"), 42);
    EXPECT_EQ(valueof("-7"), -7);
    EXPECT_EQ(valueof(".5"), 0);
    EXPECT_EQ(valueof("5."), 5);
    EXPECT_EQ(valueof("1e2"), 100);
    EXPECT_EQ(valueof("2.5E+1"), 25);
    EXPECT_EQ(valueof("1500e-1"), 150);
    EXPECT_EQ(valueof("007"), 7);
    EXPECT_EQ(valueof("0.000"), 0);
    EXPECT_EQ(valueof("1e-400"), 0);
}

TEST(NumberConversion, AllowsBlanksTabsAndLineFeedsAround) {
    EXPECT_EQ(valueof("  17\t"), 17);
    // A controller ending lines with CR LF leaves the LF at the start of the
    // next line.
    EXPECT_EQ(valueof("\n42"), 42);
    EXPECT_EQ(valueof("\t-3 \n"), -3);
}

TEST(NumberConversion, RefusesTextThatIsNotANumber) {
    for (std::string_view text : {"", " ", "abc", "1 2", "1,5", "--1", "+-1", "1e", "e5", ".", "-.",
                                  "inf", "nan", "0x10", "12abc", "1e+", "\r42"}) {
        EXPECT_EQ(tonumber(text).status, NumberStatus::NotNumeric) << text;
    }
    EXPECT_EQ(tonumber(std::string_view("4\0" "2", 3)).status, NumberStatus::NotNumeric);
}

TEST(NumberConversion, OverflowsOutsideTheSigned16BitRange) {
    EXPECT_EQ(valueof("32767"), 32767);
    EXPECT_EQ(valueof("-32768"), -32768);
    EXPECT_EQ(valueof("32767.4"), 32767);
    EXPECT_EQ(valueof("-32768.5"), -32768);  // half to even stays in range
    for (std::string_view text : {"32768", "-32769", "40000", "32767.5", "1e5", "1e400",
                                  "99999999999999999999999999", "-1e309"}) {
        EXPECT_EQ(tonumber(text).status, NumberStatus::Overflow) << text;
    }
}
