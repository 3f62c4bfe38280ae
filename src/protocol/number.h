// SPDX-License-Identifier: MIT
#pragma once
// Conversion of typed or received text to a signed 16-bit whole number.
#include <cstdint>
#include <string_view>

namespace gaspuff {

enum class NumberStatus {
    Ok,          // value holds the number
    NotNumeric,  // the text is not a number
    Overflow,    // a number, but outside -32768..32767 after rounding
};

struct Number {
    NumberStatus status = NumberStatus::NotNumeric;
    int16_t value = 0;
};

// Accepts blanks, tabs and line feeds around an optionally signed decimal
// number with an optional fraction (".5" and "5." too) and an optional
// exponent, "." as the decimal point whatever the locale. Rounds to the
// nearest whole number, an exact half to the even neighbour.
Number tonumber(std::string_view text);

}  // namespace gaspuff
