// SPDX-License-Identifier: MIT
#pragma once
// What a line from the controller means, decided without any widget.
#include <QByteArray>
#include <cstdint>

#include "waveform/table.h"

namespace gaspuff {

// State of a waveform read-back. Accepted points are staged and reach the
// operator's table only when all 1000 have arrived, so a read-back that
// stops half way never leaves a mixed table behind.
struct Reception {
    bool getting = false;
    int16_t pointcount = 0;  // accepted points, also the next staging index
    int16_t boguscount = 0;  // points rejected for lying outside 0..100
    Waveform staging{};

    // A read-back begins: points count from the first entry again.
    void start();
    // A read-back ends (completed, past its deadline, link lost) or never ran.
    void end();
};

enum class LineKind { Status, Point, Message, Empty, Overflow };
enum class PointResult { Stored, Bogus, Completed };

struct LineMeaning {
    LineKind kind = LineKind::Empty;
    // Status line: the three fields exactly as received.
    QByteArray state, uptime, autoarm;
    // Point line.
    PointResult point = PointResult::Stored;
};

// Interprets one line: a status line (at least two bars), a point line
// (numeric text while getting), a message (any other non-empty text) or an
// empty line. A point line updates rx; the 1000th accepted point copies the
// staging table into waveform and ends the read-back. A point outside the
// signed 16-bit range is an Overflow and changes nothing.
LineMeaning interpretline(const QByteArray& line, Reception& rx, Waveform& waveform);

}  // namespace gaspuff
