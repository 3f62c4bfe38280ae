// SPDX-License-Identifier: MIT
#include "protocol/number.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace gaspuff {
namespace {

bool isblank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}
bool isdigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

Number tonumber(std::string_view text) {
    while (!text.empty() && isblank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isblank(text.back())) text.remove_suffix(1);

    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }

    // Check the grammar here: from_chars alone would accept "inf", "nan"
    // and hexadecimal forms, and a second sign. Meanwhile note the decimal
    // order of the first significant digit, to tell a huge number from a
    // tiny one should the conversion find either out of range.
    size_t i = 0;
    size_t digits = 0;
    long order = 0;
    bool significant = false;
    while (i < text.size() && isdigit(text[i])) {
        if (significant)
            ++order;
        else
            significant = text[i] != '0';
        ++i, ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isdigit(text[i])) {
            if (!significant) {
                --order;
                significant = text[i] != '0';
            }
            ++i, ++digits;
        }
    }
    if (digits == 0) return {};
    long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool exponentnegative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            exponentnegative = text[i] == '-';
            ++i;
        }
        size_t expdigits = 0;
        while (i < text.size() && isdigit(text[i])) {
            if (exponent < 1000000) exponent = exponent * 10 + (text[i] - '0');
            ++i, ++expdigits;
        }
        if (expdigits == 0) return {};
        if (exponentnegative) exponent = -exponent;
    }
    if (i != text.size()) return {};
    if (!significant) return {NumberStatus::Ok, 0};

    double magnitude = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude,
                                     std::chars_format::general);
    if (end != text.data() + text.size()) return {};
    if (ec == std::errc::result_out_of_range) {
        if (order + exponent > 0) return {NumberStatus::Overflow, 0};
        magnitude = 0;  // too small for a double: rounds to zero anyway
    } else if (ec != std::errc()) {
        return {};
    }

    // The default rounding mode rounds an exact half to the even neighbour.
    const double rounded = std::nearbyint(negative ? -magnitude : magnitude);
    if (!(rounded >= -32768.0 && rounded <= 32767.0)) return {NumberStatus::Overflow, 0};
    return {NumberStatus::Ok, static_cast<int16_t>(rounded)};
}

}  // namespace gaspuff
