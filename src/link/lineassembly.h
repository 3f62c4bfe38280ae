// SPDX-License-Identifier: MIT
#pragma once
// Cutting received text into lines: a carriage return ends a line, and a line
// feed directly after it belongs to that line end.
#include <QByteArray>
#include <QByteArrayView>
#include <algorithm>

namespace gaspuff {

// More than this many characters waiting without a carriage return means the
// line is garbage: the whole buffer is dropped.
constexpr qsizetype kRxBufferLimit = 1024;

// Received text not yet ended by a carriage return, and whether the last
// character taken was a carriage return: a controller ending its lines with
// CR LF may have its LF arrive first in the next chunk.
struct LineAssembly {
    QByteArray text;
    bool aftercr = false;

    // A fresh start, as on a new connection.
    void clear() {
        text.clear();
        aftercr = false;
    }
};

// Appends chunk to rx.text, leaving out each line feed that directly follows a
// carriage return (also across chunks), drops the text whole if it grew past
// the limit, then hands each complete line (without its carriage return) to
// online, in order. A line feed anywhere else stays in the text. Afterwards
// rx.text holds no carriage return and at most kRxBufferLimit characters.
template <typename OnLine>
void receivechunk(LineAssembly& rx, QByteArrayView chunk, OnLine&& online) {
    if (chunk.isEmpty()) return;
    QByteArray& text = rx.text;
    qsizetype at = rx.aftercr && chunk.front() == '\n' ? 1 : 0;
    for (qsizetype pair; (pair = chunk.indexOf(QByteArrayView("\r\n"), at)) >= 0; at = pair + 2)
        text.append(chunk.sliced(at, pair + 1 - at));
    text.append(chunk.sliced(at));
    rx.aftercr = chunk.back() == '\r';
    if (text.size() > kRxBufferLimit) {
        text.clear();
        return;
    }
    qsizetype start = 0;
    for (qsizetype cr; (cr = text.indexOf('\r', start)) >= 0; start = cr + 1) {
        const QByteArray line = text.mid(start, cr - start);
        online(line);
    }
    if (start > 0) text.remove(0, start);
}

// What one receive notification brings can exceed the limit when the window
// was busy (a burst, a whole read-back): it is handed over in pieces of at
// most this size, as a 1024-byte receive buffer would hand it over, so
// complete lines in a burst are never lost to the limit.
constexpr qsizetype kReceivePiece = 512;

// receivechunk for each piece of received, in order.
template <typename OnLine>
void receive(LineAssembly& rx, QByteArrayView received, OnLine&& online) {
    for (qsizetype at = 0; at < received.size(); at += kReceivePiece)
        receivechunk(rx, received.sliced(at, std::min(kReceivePiece, received.size() - at)),
                     online);
}

}  // namespace gaspuff
