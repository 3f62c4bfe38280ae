// SPDX-License-Identifier: MIT
#pragma once
// Putting the controller's lines on the wire at the pace of the real line.
#include <QByteArray>
#include <functional>

namespace gaspuff::sim {

class Controller;

// 115200 baud with 8 data bits, no parity and 1 stop bit: ten bit times a
// character, 86.8 microseconds.
constexpr qint64 kLineBytesPerSecond = 11520;

// Keeps the bytes sent in step with an absolute clock. Counted from the moment
// the line last started from idle, by time t no more than floor(t * rate) bytes
// have gone; a late wake-up is made up at once instead of pushing every later
// byte back, so timer lateness never adds up over a long answer.
class Pacer {
  public:
    static constexpr qint64 kNanosPerSecond = 1'000'000'000;

    // bytespersecond 0: no pacing at all.
    explicit Pacer(qint64 bytespersecond) : rate_(bytespersecond) {}
    bool paced() const { return rate_ > 0; }

    // How many more bytes the line can take at now (nanoseconds).
    qint64 room(qint64 now);
    // n bytes went out.
    void sent(qint64 n) { count_ += n; }
    // Nothing is waiting to go. Once the last byte has gone through, the line
    // is idle, and the next byte starts a fresh count instead of being sent
    // at once on credit from the idle time.
    void drained() { drained_ = true; }
    // When (nanoseconds) the line will have room for n more bytes.
    qint64 duetime(qint64 n) const;

  private:
    qint64 rate_;
    qint64 anchor_ = 0;  // when the line last started from idle
    qint64 count_ = 0;   // bytes sent since then
    bool drained_ = true;
};

// Takes lines from the controller and hands their bytes to the device as the
// pace allows.
class Transmitter {
  public:
    // Gives the device some bytes: returns how many it took, 0 when it has
    // no room for now, -1 when it failed.
    using Sink = std::function<qint64(const char* data, qint64 size)>;

    // Each wake-up sends at least this many bytes when it can (about a
    // millisecond of the line), so pacing does not wake for every byte.
    static constexpr qint64 kBatch = 12;

    Transmitter(qint64 bytespersecond, Sink sink)
        : pacer_(bytespersecond), sink_(std::move(sink)) {}

    // Whether a program has the far end open. While none has, lines are
    // taken and dropped, as a line with nobody on it loses them.
    void setlistening(bool on);
    bool listening() const { return listening_; }

    // Sends what the pace allows at now (nanoseconds), taking lines from the
    // controller as needed.
    void pump(Controller& controller, qint64 now);
    // The device had no room: wait until it has.
    bool blocked() const { return blocked_; }
    // Bytes taken from the controller and not yet sent.
    qint64 pending() const { return pending_.size(); }
    // When pump can send more of what is pending; -1 when nothing is.
    qint64 wakeat() const;
    qint64 sentbytes() const { return sent_; }

  private:
    Pacer pacer_;
    Sink sink_;
    QByteArray pending_;
    bool listening_ = true;
    bool blocked_ = false;
    qint64 sent_ = 0;
};

}  // namespace gaspuff::sim
