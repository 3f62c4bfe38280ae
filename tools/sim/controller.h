// SPDX-License-Identifier: MIT
#pragma once
// The simulated valve controller: its state, its waveform table and what it
// says on the line, driven by received bytes and a millisecond clock. Nothing
// here touches a device or reads the time itself.
#include <QByteArray>
#include <QByteArrayView>
#include <deque>
#include <functional>

#include "reader.h"
#include "waveform/table.h"

namespace gaspuff::sim {

enum class State { Stop, Standby, Armed, Load, Generate };

// The word the status line carries for a state.
QByteArray stateword(State state);

// How long a shot plays the table.
constexpr qint64 kShotMs = 1000;
// A load with no line for this long is abandoned.
constexpr qint64 kLoadIdleMs = 1000;

// Faults the controller can be told to show.
struct Faults {
    bool silent = false;           // no status lines at all
    int points = kWaveformLength;  // how many table entries "get" answers
    int bogus = 0;                 // out-of-range values mixed into "get"
    qint64 stallms = 0;            // a pause in the middle of "get"
    bool noise = false;            // unasked free-text lines now and then
    int corrupt = 0;               // entries stored wrong by every completed load
};

struct ControllerSettings {
    qint64 statusms = 500;
    QByteArray lineend = "\r";
    Faults faults;
    Waveform table{};
};

// A table that shows something on the panel's graph: a ramp up, a plateau,
// a decay to a lower plateau and a ramp down.
Waveform demotable();

class Controller {
  public:
    explicit Controller(ControllerSettings settings);

    // Bytes from the panel, received at now (milliseconds since start).
    void receive(QByteArrayView bytes, qint64 now);
    // Runs what has fallen due by now: status lines, the end of a shot, an
    // abandoned load, unasked messages.
    void advance(qint64 now);
    // A program opened the line: a status line goes out straight away rather
    // than at the next tick, as a controller answers its port coming up.
    void linkup(qint64 now);
    // The next line to send, line end included; empty when nothing may go at
    // now. Status and unasked lines overtake queued answers at line
    // boundaries; answers wait out a stall.
    QByteArray takeline(qint64 now);
    // After advance(now): the earliest later time at which advance or
    // takeline will have something new without further input. Lines already
    // waiting do not count; they go as soon as the line has room.
    qint64 nextevent(qint64 now) const;

    State state() const { return state_; }
    bool autoarm() const { return autoarm_; }
    const Waveform& table() const { return table_; }
    int shots() const { return shots_; }
    // The status line as it would go out at now, without its line end.
    QByteArray statusline(qint64 now) const;

    // Called with the new table whenever a load completes.
    std::function<void(const Waveform&)> onloaded;

  private:
    struct Answer {
        QByteArray line;
        qint64 pausebefore = 0;  // the queue holds this long before the line goes
    };

    void online(const QByteArray& text, qint64 now);
    void command(const QByteArray& word, qint64 now);
    void loadline(const QByteArray& text, qint64 now);
    void abandonload();
    void shoot(qint64 now);
    void endshot();
    void answertable();
    void say(const QByteArray& text);       // an answer, in order with the others
    void announce(const QByteArray& text);  // a status or unasked line

    ControllerSettings settings_;
    State state_ = State::Stop;
    bool autoarm_ = false;
    Waveform table_;
    int shots_ = 0;
    LineReader reader_;

    // Load in progress.
    Waveform staging_{};
    int loaded_ = 0;
    qint64 lastloadline_ = 0;

    qint64 shotend_ = -1;  // while generating
    qint64 shotstart_ = 0;
    qint64 nextstatus_;
    qint64 nextnoise_ = -1;
    int noisestep_ = 0;

    std::deque<QByteArray> urgent_;
    std::deque<Answer> answers_;
    qint64 helduntil_ = -1;  // a stall in progress ends here
};

}  // namespace gaspuff::sim
