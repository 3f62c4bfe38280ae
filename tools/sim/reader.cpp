// SPDX-License-Identifier: MIT
#include "reader.h"

#include <algorithm>

namespace gaspuff::sim {
namespace {

bool blank(char c) {
    return c == ' ' || c == '\t';
}

QByteArray trimmed(const QByteArray& line) {
    qsizetype from = 0, to = line.size();
    while (from < to && blank(line[from])) ++from;
    while (to > from && blank(line[to - 1])) --to;
    return line.sliced(from, to - from);
}

bool digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

void LineReader::feed(QByteArrayView bytes, const std::function<void(const QByteArray&)>& online) {
    for (const char c : bytes) {
        if (c == '\n') continue;
        if (c != '\r') {
            if (line_.size() < kLineLimit)
                line_ += c;
            else
                cut_ = true;
            continue;
        }
        QByteArray text = trimmed(line_);
        if (cut_) text += "...";
        line_.clear();
        cut_ = false;
        online(text);
    }
}

std::optional<int16_t> parsevalue(QByteArrayView text) {
    qsizetype i = 0;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    // Past 100000 the exact size no longer matters: it is out of range.
    constexpr qint64 kTooBig = 100000;
    qint64 whole = 0;
    int digits = 0;
    for (; i < text.size() && digit(text[i]); ++i, ++digits)
        whole = std::min(kTooBig, whole * 10 + (text[i] - '0'));
    // The fraction only matters as below, at or above one half.
    int half = -1;  // -1 below, 0 exactly, 1 above
    if (i < text.size() && text[i] == '.') {
        ++i;
        for (bool first = true; i < text.size() && digit(text[i]); ++i, ++digits) {
            const int d = text[i] - '0';
            if (first)
                half = d > 5 ? 1 : d == 5 ? 0 : -1;
            else if (half == 0 && d > 0)
                half = 1;
            first = false;
        }
    }
    if (digits == 0 || i != text.size()) return std::nullopt;
    if (half > 0 || (half == 0 && whole % 2 == 1)) ++whole;
    const qint64 v = negative ? -whole : whole;
    if (v < -32768 || v > 32767) return std::nullopt;
    return static_cast<int16_t>(v);
}

}  // namespace gaspuff::sim
