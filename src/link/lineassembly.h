#pragma once
// Cutting received text into carriage-return terminated lines.
#include <QByteArray>
#include <QByteArrayView>
#include <algorithm>

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

// What one receive notification brings can exceed the limit when the window
// was busy (a burst, a whole read-back): it is handed over in pieces of at
// most this size, as a 1024-byte receive buffer would hand it over, so
// complete lines in a burst are never lost to the limit.
constexpr qsizetype kReceivePiece = 512;

// receivechunk for each piece of received, in order.
template <typename OnLine>
void receive(QByteArray& rxbuffer, QByteArrayView received, OnLine&& online) {
    for (qsizetype at = 0; at < received.size(); at += kReceivePiece)
        receivechunk(rxbuffer, received.sliced(at, std::min(kReceivePiece, received.size() - at)),
                     online);
}

}  // namespace gaspuff
