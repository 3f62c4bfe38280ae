// SPDX-License-Identifier: MIT
// Number conversion against a plain reference.
//
// Whatever the text, tonumber must not crash. Around the number it skips
// blanks, tabs and line feeds; what is left (the core) can only be a number
// if it consists of digits, signs, points and exponent letters. For such a
// core the C library's strtod, in the C locale, is the reference: over that
// alphabet it reads the same grammar ([+-]? digits with an optional fraction,
// ".5" and "5." included, optional exponent). Its value is rounded here, an
// exact half to the even neighbour, and checked against -32768..32767.
#include <locale.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>

#include "protocol/number.h"

using namespace gaspuff;

namespace {

Number reference(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\n");
    if (first == text.npos) return {};
    const std::string core(text.substr(first, text.find_last_not_of(" \t\n") + 1 - first));
    if (core.find_first_not_of("0123456789+-.eE") != core.npos) return {};
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    char* end = nullptr;
    const double x = strtod_l(core.c_str(), &end, c);
    if (end != core.c_str() + core.size()) return {};
    // x less the IEEE remainder by 1 (whose quotient is x rounded to the nearest
    // whole number, an exact half to the even one); infinity becomes NaN.
    const double rounded = x - std::remainder(x, 1.0);
    if (!(rounded >= -32768.0 && rounded <= 32767.0)) return {NumberStatus::Overflow, 0};
    return {NumberStatus::Ok, static_cast<int16_t>(rounded)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Number got = tonumber(text), want = reference(text);
    if (got.status != want.status || (got.status == NumberStatus::Ok && got.value != want.value)) {
        static const char* const names[] = {"Ok", "NotNumeric", "Overflow"};
        std::fprintf(stderr, "tonumber(\"%.*s\") = %s %d, the reference says %s %d\n",
                     static_cast<int>(size), text.data(), names[static_cast<int>(got.status)],
                     got.value, names[static_cast<int>(want.status)], want.value);
        std::abort();
    }
    return 0;
}
