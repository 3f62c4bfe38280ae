// SPDX-License-Identifier: MIT
#pragma once
// The waveform as text: one decimal record per entry, in index order.
#include <QByteArray>
#include <QByteArrayView>

#include "waveform/table.h"

namespace gaspuff {

// Each entry as decimal digits ("-" before a negative value, no padding)
// followed by lineend.
QByteArray waveformrecords(const Waveform& waveform, QByteArrayView lineend);

// The second write of an upload: the 1000 records, each ended by a carriage
// return.
inline QByteArray uploadtext(const Waveform& waveform) {
    return waveformrecords(waveform, "\r");
}

}  // namespace gaspuff
