#pragma once
// Cutting received text into carriage-return terminated lines.
#include <QByteArray>
#include <QByteArrayView>

namespace gaspuff {

// More than this many characters waiting without a carriage return means the
// line is garbage: the whole buffer is dropped.
constexpr qsizetype kRxBufferLimit = 1024;

// Appends chunk to rxbuffer, drops the buffer whole if it grew past the limit,
// then hands each complete line (without its carriage return) to online, in
// order. Only the carriage return ends a line: a line feed stays in the text.
// Afterwards rxbuffer holds no carriage return and at most kRxBufferLimit
// characters.
template <typename OnLine>
void receivechunk(QByteArray& rxbuffer, QByteArrayView chunk, OnLine&& online) {
    rxbuffer.append(chunk);
    if (rxbuffer.size() > kRxBufferLimit) {
        rxbuffer.clear();
        return;
    }
    qsizetype start = 0;
    for (qsizetype cr; (cr = rxbuffer.indexOf('\r', start)) >= 0; start = cr + 1) {
        const QByteArray line = rxbuffer.mid(start, cr - start);
        online(line);
    }
    if (start > 0) rxbuffer.remove(0, start);
}

}  // namespace gaspuff
