// SPDX-License-Identifier: MIT
#pragma once
// A read-back held against the table it should equal.
#include <QByteArray>
#include <QString>
#include <vector>

#include "waveform/table.h"

namespace gaspuff {

struct Difference {
    int t;           // the entry's time in milliseconds
    int16_t wanted;  // in the reference table (sent, or shown before)
    int16_t holds;   // in the controller's table
};

// Every entry where the two differ, in time order.
std::vector<Difference> differences(const Waveform& reference, const Waveform& received);

// "t=250 sent 60 holds 0", or with sent false "t=250 shown 60 holds 0".
QString differencetext(const Difference& d, bool sent);

// The waveform note's sentence after a read-back. sentat is the time the
// reference was sent ("14:51:07"); empty when nothing was sent in this run
// and the reference is the table shown before the read-back.
//   "Controller holds the waveform sent at 14:51:07"
//   "Controller's waveform differs from the one sent at 14:51:07 in 3 entries:
//    t=250 sent 60 holds 0, ..." (at most five listed, then ", and N more")
//   "Controller's waveform equals the table shown before"
//   "Controller's waveform differs from the table shown before in 1 entry:
//    t=.. shown X holds Y"
QString comparisonsentence(const Waveform& reference, const Waveform& received,
                           const QString& sentat);

// The SHA-256 of the table in the file's format (what Save writes), as 64
// lower-case hex digits: sha256sum of a saved file names the same table.
QByteArray fingerprint(const Waveform& table);

}  // namespace gaspuff
