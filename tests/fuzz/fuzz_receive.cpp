// The receive path as the window drives it: received bytes in chunks of any
// size go through the line assembly, each line through the interpreter, while
// read-backs start and run into their deadline at any moment.
//
// The input is a script. Each step takes an action from the end of the input
// and its bytes from the front:
//   - a chunk of raw bytes of any length,
//   - a run of well-formed point lines (so that read-backs can complete),
//   - Get (a read-back starts, as cmdGet_Click does),
//   - the read-back deadline (as tmrGetting_Timer does).
// Checked after every chunk and every line:
//   - rxbuffer holds no carriage return and at most 1024 characters;
//   - the lines handed over are exactly the buffered text cut at its carriage
//     returns, unless the buffer overflowed, in which case it was dropped whole;
//   - each line means what its text says (status with two bars or more, a
//     point only while a read-back runs, overflow, message, empty);
//   - the counters match the ones kept here and stay in range;
//   - the operator's table changes only when a read-back completes, and then
//     holds exactly the accepted values kept here.
#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>
#include <QByteArrayList>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "link/lineassembly.h"
#include "protocol/interpreter.h"
#include "protocol/number.h"

using namespace gaspuff;

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "receive invariant broken: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok) fail(what);
}

// What the window holds, each in its own heap block so that a write past the
// table lands outside any object.
struct Window {
    QByteArray rxbuffer;
    std::unique_ptr<Reception> rx = std::make_unique<Reception>();
    std::unique_ptr<Waveform> waveform = std::make_unique<Waveform>();

    // Kept here, independently of Reception.
    bool getting = false;
    std::vector<int16_t> accepted;
    int bogus = 0;
    int completed = 0;

    void get() {  // cmdGet_Click after its command went out
        rx->start();
        getting = true;
        accepted.clear();
        bogus = 0;
    }

    void deadline() {  // tmrGetting_Timer
        rx->end();
        getting = false;
        accepted.clear();
        bogus = 0;
    }

    void online(const QByteArray& line) {
        check(!line.contains('\r'), "a line holds a carriage return");
        check(line.size() <= kRxBufferLimit, "a line is longer than the buffer limit");
        const Waveform before = *waveform;
        const LineMeaning m = interpretline(line, *rx, *waveform);

        const bool status = line.count('|') >= 2;
        bool changed = false;
        if (status) {
            check(m.kind == LineKind::Status, "a line with two bars is no status line");
            const qsizetype first = line.indexOf('|'), last = line.lastIndexOf('|');
            check(m.state + '|' + m.uptime + '|' + m.autoarm == line,
                  "status fields do not rebuild the line");
            check(m.state.size() == first && m.autoarm.size() == line.size() - last - 1,
                  "status line not split at its first and last bar");
        } else if (getting && tonumber(std::string_view(line.constData(), line.size())).status !=
                                  NumberStatus::NotNumeric) {
            const Number n = tonumber(std::string_view(line.constData(), line.size()));
            if (n.status == NumberStatus::Overflow) {
                check(m.kind == LineKind::Overflow, "an out-of-range number is no overflow");
            } else if (n.value < 0 || n.value > kMaxAmplitude) {
                check(m.kind == LineKind::Point && m.point == PointResult::Bogus,
                      "a value outside 0..100 is not bogus");
                if (bogus < INT16_MAX) ++bogus;
            } else {
                check(m.kind == LineKind::Point, "a value in range is no point");
                accepted.push_back(n.value);
                if (accepted.size() == static_cast<size_t>(kWaveformLength)) {
                    check(m.point == PointResult::Completed, "the 1000th point does not complete");
                    check(std::equal(accepted.begin(), accepted.end(), waveform->begin()),
                          "the completed table differs from the accepted values");
                    changed = true;
                    ++completed;
                    getting = false;
                    accepted.clear();
                    bogus = 0;
                } else {
                    check(m.point == PointResult::Stored,
                          "an accepted point before the 1000th is not stored");
                }
            }
        } else {
            check(m.kind == (line.isEmpty() ? LineKind::Empty : LineKind::Message),
                  "a line that is neither status nor point is no message");
        }

        if (!changed) check(*waveform == before, "the table changed without a completed read-back");
        check(rx->getting == getting, "read-back running state differs");
        check(rx->pointcount == static_cast<int>(accepted.size()),
              "point count differs from the accepted values");
        check(rx->boguscount == bogus, "bogus count differs");
        check(rx->pointcount >= 0 && rx->pointcount < kWaveformLength, "point count out of range");
        check(rx->boguscount >= 0, "bogus count negative");
    }

    void receive(QByteArrayView chunk) {
        const QByteArray waiting = rxbuffer + chunk.toByteArray();
        QByteArrayList lines;
        receivechunk(rxbuffer, chunk, [&](const QByteArray& line) {
            lines.append(line);
            online(line);
        });
        check(!rxbuffer.contains('\r'), "rxbuffer holds a carriage return");
        check(rxbuffer.size() <= kRxBufferLimit, "rxbuffer holds more than 1024 characters");
        if (waiting.size() > kRxBufferLimit) {
            check(lines.isEmpty() && rxbuffer.isEmpty(),
                  "an overflowing buffer was not dropped whole");
        } else {
            QByteArray rebuilt;
            for (const QByteArray& line : lines) rebuilt += line + '\r';
            check(rebuilt + rxbuffer == waiting, "lines and rest do not make up the received text");
        }
    }
};

// Point lines the controller could send, in the forms the number grammar
// allows, so that read-backs reach their end now and then.
// At most budget lines, which is taken from.
QByteArray pointlines(FuzzedDataProvider& in, int& budget) {
    const int count = std::min(in.ConsumeIntegralInRange(1, 1100), budget);
    budget -= count;
    const int start = in.ConsumeIntegralInRange(-20, 140);
    const int step = in.ConsumeIntegralInRange(0, 7);
    const int form = in.ConsumeIntegralInRange(0, 3);
    QByteArray text;
    for (int i = 0; i < count; ++i) {
        const int v = start + (i * step) % 101;
        switch (form) {
            case 0:
                text += QByteArray::number(v);
                break;
            case 1:
                text += ' ' + QByteArray::number(v) + ".0\t";
                break;
            case 2:
                text += QByteArray::number(v * 10) + "e-1";
                break;
            default:
                text += (v >= 0 ? "+" : "") + QByteArray::number(v) + ".4999";
                break;
        }
        text += '\r';
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    Window w;
    // The operator's table before anything arrives: not all zero, so that a
    // stray copy shows.
    for (int i = 0; i < kWaveformLength; ++i) (*w.waveform)[i] = static_cast<int16_t>(i % 7 - 3);
    if (in.ConsumeBool()) w.get();
    // Generated point lines cost far more than the bytes that ask for them:
    // two complete read-backs per input keep the runs quick.
    int budget = 2 * 1100;

    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange(0, 7)) {
            case 0:
                w.get();
                break;
            case 1:
                w.deadline();
                break;
            case 2: {
                // Fed the way the serial layer hands it over: in pieces.
                const QByteArray text = pointlines(in, budget);
                const size_t piece = in.ConsumeIntegralInRange<size_t>(1, 2048);
                for (qsizetype i = 0; i < text.size(); i += piece)
                    w.receive(QByteArrayView(text).sliced(
                        i, std::min<qsizetype>(piece, text.size() - i)));
                break;
            }
            default: {
                const size_t length = in.ConsumeIntegralInRange<size_t>(0, 1500);
                const std::string chunk = in.ConsumeBytesAsString(length);
                w.receive(QByteArrayView(chunk.data(), static_cast<qsizetype>(chunk.size())));
                break;
            }
        }
    }
    return 0;
}
