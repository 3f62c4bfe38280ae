// Number conversion against a plain reference.
//
// Whatever the text, tonumber must not crash. Around the number it skips
// blanks, tabs and line feeds; what is left (the core) can only be a number
// if it consists of digits, signs, points and exponent letters. For such a
// core the C library's strtod, in the C locale, is the reference: it reads
// the same grammar over that alphabet ([+-]? digits with an optional
// fraction, ".5" and "5." included, optional exponent). Its value is
// rounded here, an exact half to the even neighbour, and checked against
// -32768..32767. The plain decimal texts ([+-]?digits[.digits]) the
// controller and the operator actually use are a part of this.
#include <locale.h>
#include <stdlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "protocol/number.h"

using namespace gaspuff;

namespace {

bool isblank(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

bool innumberalphabet(char c) {
    return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
}

// Nearest whole number, an exact half to the even one.
double halftoeven(double x) {
    const double below = std::floor(x);
    const double fraction = x - below;  // exact for any finite double
    if (fraction > 0.5) return below + 1;
    if (fraction < 0.5) return below;
    return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

Number reference(std::string_view text) {
    while (!text.empty() && isblank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isblank(text.back())) text.remove_suffix(1);
    if (text.empty()) return {NumberStatus::NotNumeric, 0};
    for (char c : text)
        if (!innumberalphabet(c)) return {NumberStatus::NotNumeric, 0};
    // strtod skips white space of its own; none is left in the core.
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const std::string core(text);
    char* end = nullptr;
    const double x = strtod_l(core.c_str(), &end, c);
    if (end != core.c_str() + core.size()) return {NumberStatus::NotNumeric, 0};
    const double rounded = std::isfinite(x) ? halftoeven(x) : x;
    if (!(rounded >= -32768.0 && rounded <= 32767.0)) return {NumberStatus::Overflow, 0};
    return {NumberStatus::Ok, static_cast<int16_t>(rounded)};
}

const char* name(NumberStatus s) {
    switch (s) {
        case NumberStatus::Ok:
            return "Ok";
        case NumberStatus::NotNumeric:
            return "NotNumeric";
        case NumberStatus::Overflow:
            return "Overflow";
    }
    return "?";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Number got = tonumber(text);
    const Number want = reference(text);
    if (got.status != want.status || (got.status == NumberStatus::Ok && got.value != want.value)) {
        std::fprintf(stderr, "tonumber(\"%.*s\") = %s %d, the reference says %s %d\n",
                     static_cast<int>(size), text.data(), name(got.status), got.value,
                     name(want.status), want.value);
        std::abort();
    }
    return 0;
}
