// SPDX-License-Identifier: MIT
#pragma once
// The simulator's own reading of what it receives: lines and load values. It
// shares no code with the panel, so a mistake on one side of the line cannot
// hide the same mistake on the other.
#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <functional>
#include <optional>

namespace gaspuff::sim {

// Cuts received bytes into lines as the controller does: a CR ends a line, a
// LF is ignored wherever it comes, blanks and tabs around the text go.
class LineReader {
  public:
    // A command or a value is a few characters. Of a longer line only this
    // many are kept, marked by "..." after them, so that it is no command and
    // no value and a sender that never ends its line costs bounded memory.
    static constexpr qsizetype kLineLimit = 256;

    // Calls online with each line completed by bytes.
    void feed(QByteArrayView bytes, const std::function<void(const QByteArray&)>& online);

  private:
    QByteArray line_;
    bool cut_ = false;
};

// A load line's value: an optional sign, decimal digits and an optional
// fraction after ".", rounded to the nearest whole number (a half to the even
// one). Nothing for anything else or a value outside -32768..32767.
std::optional<int16_t> parsevalue(QByteArrayView text);

}  // namespace gaspuff::sim
