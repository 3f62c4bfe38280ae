// SPDX-License-Identifier: MIT
#pragma once
// Changes of the table that stand for many points at once, and what a load
// or a paste kept, all defined through the one point-entry rule.
#include <QByteArrayView>
#include <QString>

#include "waveform/table.h"

namespace gaspuff {

// The table after a ramp from (t1, a1) to (t2, a2), both times in 0..999:
// one point per millisecond from t1 to t2, the level at t the straight
// line's value rounded half to even, added in time order with addpoint. The
// two ends may come in either order; equal times make the one point (t2, a2).
// A time outside 0..999 changes nothing.
Waveform withramp(const Waveform& table, int t1, int16_t a1, int t2, int16_t a2);

// A column of whole numbers (a spreadsheet's copy: one per line, LF or CR LF,
// an empty last line ignored) read with the file's rules into table from
// entry 0, all or nothing. On success count holds the number of entries
// read and the result is empty; else the result says what is wrong, naming
// "the clipboard" and the first bad line, and table is left as it was.
QString pastecolumn(QByteArrayView text, Waveform& table, int& count);

// What the waveform note says after a load or a paste of count entries into
// table: "File held 10 entries; entries 10 to 999 kept as they were" for a
// short source (source is "File" or "Clipboard"), then "3 entries outside
// 0..100 (lowest -5, highest 150)" when entries 0..count-1 bring any; the
// two joined by "; ". A source of 999 entries kept "entry 999 ... as it
// was", an empty one "all 1000". Empty when there is nothing to say.
QString keptnote(const QString& source, int count, const Waveform& table);

}  // namespace gaspuff
