// SPDX-License-Identifier: MIT
// The receive path as the window drives it: received bytes in chunks of any
// size go through the line assembly, each line through the interpreter, while
// read-backs start and run into their deadline at any moment.
//
// The input is a script. Each step takes an action from the end of the input
// and its bytes from the front: Get (a read-back starts), the read-back
// deadline, a run of well-formed point lines (so that read-backs can
// complete) fed in pieces, or a chunk of raw bytes of any length.
// Checked after every chunk and every line:
//   - rxbuffer holds no carriage return and at most 1024 characters;
//   - the lines handed over are exactly the buffered text cut at its carriage
//     returns, less each line feed right after a carriage return (also one
//     first in the next chunk), unless the buffer overflowed, in which case it
//     was dropped whole;
//   - each line means what its text says (status with two bars or more, a
//     point only while a read-back runs, overflow, message, empty);
//   - the read-back state and counters match the ones kept here;
//   - the operator's table changes only when a read-back completes, and then
//     holds exactly the accepted values kept here.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "link/lineassembly.h"
#include "protocol/interpreter.h"
#include "protocol/number.h"

using namespace gaspuff;

namespace {

void check(bool ok, const char* what) {
    if (!ok) std::fprintf(stderr, "receive invariant broken: %s\n", what), std::abort();
}

// What the window holds, Reception and the table each in its own heap block
// so that a write past a table lands outside any object.
struct Window {
    LineAssembly rxbuffer;
    std::unique_ptr<Reception> rx = std::make_unique<Reception>();
    std::unique_ptr<Waveform> table = std::make_unique<Waveform>();
    struct {  // the read-back as kept here, independently of Reception
        bool getting = false;
        std::vector<int16_t> accepted;
        int16_t bogus = 0;
    } kept;

    void readback(bool start) {  // Get after its command went out, or the deadline
        start ? rx->start() : rx->end();
        kept = {start, {}, 0};
    }

    void online(const QByteArray& line) {
        check(!line.contains('\r') && line.size() <= kRxBufferLimit,
              "a line holds a carriage return or is longer than the buffer limit");
        const Waveform before = *table;
        const LineMeaning m = interpretline(line, *rx, *table);

        const Number n = tonumber(std::string_view(line.constData(), line.size()));
        LineKind kind = line.isEmpty() ? LineKind::Empty : LineKind::Message;
        PointResult point = PointResult::Stored;
        if (line.count('|') >= 2) {
            kind = LineKind::Status;
            check(m.state + '|' + m.uptime + '|' + m.autoarm == line &&
                      m.state.size() == line.indexOf('|') &&
                      m.autoarm.size() == line.size() - line.lastIndexOf('|') - 1,
                  "status fields are not the line split at its first and last bar");
        } else if (kept.getting && n.status != NumberStatus::NotNumeric) {
            kind = n.status == NumberStatus::Ok ? LineKind::Point : LineKind::Overflow;
            if (kind == LineKind::Point && (n.value < 0 || n.value > kMaxAmplitude)) {
                point = PointResult::Bogus;
                if (kept.bogus < INT16_MAX) ++kept.bogus;
            } else if (kind == LineKind::Point) {
                kept.accepted.push_back(n.value);
                if (kept.accepted.size() == kWaveformLength) point = PointResult::Completed;
            }
        }
        check(m.kind == kind && (kind != LineKind::Point || m.point == point),
              "the line's kind (or a point's result) is not what its text (and count) says");
        const bool completed = point == PointResult::Completed;
        check(completed ? std::equal(kept.accepted.begin(), kept.accepted.end(), table->begin())
                        : *table == before,
              "the table changed without a completed read-back, or not to the accepted values");
        if (completed) kept = {};
        check(rx->getting == kept.getting && rx->pointcount == std::ssize(kept.accepted) &&
                  rx->boguscount == kept.bogus,
              "read-back state, point count or bogus count differs from the ones kept here");
    }

    void receive(QByteArrayView chunk) {
        QByteArray waiting = rxbuffer.text;  // what is received, line end LFs left out
        bool aftercr = rxbuffer.aftercr;
        for (char c : chunk) {
            if (c != '\n' || !aftercr) waiting += c;
            aftercr = c == '\r';
        }
        QByteArray rebuilt;  // the lines handed over, each with its carriage return
        receivechunk(rxbuffer, chunk,
                     [&](const QByteArray& line) { online(line), rebuilt += line + '\r'; });
        check(!rxbuffer.text.contains('\r') && rxbuffer.text.size() <= kRxBufferLimit,
              "rxbuffer holds a carriage return or more than 1024 characters");
        check(
            rebuilt + rxbuffer.text == (waiting.size() > kRxBufferLimit ? QByteArray() : waiting) &&
                rxbuffer.aftercr == aftercr,
            "lines and rest are not the received text (nor nothing, once it passed the limit)");
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    Window w;
    // Not all zero before anything arrives, so that a stray copy shows.
    for (int i = 0; i < kWaveformLength; ++i) (*w.table)[i] = static_cast<int16_t>(i % 7 - 3);
    if (in.ConsumeBool()) w.readback(true);
    // Generated point lines cost far more than the bytes that ask for them:
    // two complete read-backs per input keep the runs quick.
    int budget = 2 * 1100;
    while (in.remaining_bytes() > 0) {
        const int action = in.ConsumeIntegralInRange(0, 7);
        if (action < 2) w.readback(action == 0);
        if (action > 2) w.receive(in.ConsumeBytesAsString(in.ConsumeIntegralInRange(0, 1500)));
        if (action != 2) continue;
        // Point lines in the forms the number grammar allows.
        static const char* const forms[] = {"%d\r", " %d.0\t\r", "%d0e-1\r", "%+d.4999\r"};
        const int count = std::min(in.ConsumeIntegralInRange(1, 1100), budget);
        const int start = in.ConsumeIntegralInRange(-20, 140);
        const int step = in.ConsumeIntegralInRange(0, 7);
        const char* form = forms[in.ConsumeIntegralInRange(0, 3)];
        budget -= count;
        QByteArray text;
        char line[32];
        for (int i = 0; i < count; ++i)
            text.append(line, std::snprintf(line, sizeof line, form, start + i * step % 101));
        // Fed the way the serial layer hands it over: in pieces.
        const qsizetype piece = in.ConsumeIntegralInRange<qsizetype>(1, 2048);
        for (qsizetype i = 0; i < text.size(); i += piece) w.receive(text.mid(i, piece));
    }
    return 0;
}
