// SPDX-License-Identifier: MIT
#include "controller.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>

namespace gaspuff::sim {
namespace {

// Unasked lines: what they say and the gaps between them, in turn. None is a
// number and none holds a bar, so the panel can only take them as messages.
constexpr std::array<const char*, 5> kNoiseText = {
    "valve temperature 31 C", "supply pressure 2.4 bar", "self test passed",
    "coil current nominal",   "cooling fan on",
};
constexpr std::array<qint64, 5> kNoiseGapMs = {700, 1900, 1100, 2600, 1500};

// Values outside 0..100 (yet inside the 16-bit range) that "get" mixes in.
constexpr std::array<int16_t, 5> kBogusValues = {101, -1, 250, -40, 1000};

// Echoed text is cut to this many characters.
constexpr qsizetype kEchoLimit = 40;

// Received text made fit to go back out as a message: no bar (which would make
// it a status line), no control characters, not too long.
QByteArray freetext(const QByteArray& text) {
    QByteArray out = text.left(kEchoLimit);
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '|')
            c = '/';
        else if (u < 0x20 || u == 0x7f)
            c = '?';
    }
    if (text.size() > kEchoLimit) out += "...";
    return out;
}

bool generatingaccepts(const QByteArray& word) {
    return word == "stop" || word == "get" || word == "auto_arm_on" || word == "auto_arm_off";
}

bool knowncommand(const QByteArray& word) {
    for (const char* w :
         {"stop", "standby", "arm", "auto_arm_on", "auto_arm_off", "shoot", "load", "get"})
        if (word == w) return true;
    return false;
}

}  // namespace

QByteArray stateword(State state) {
    switch (state) {
        case State::Stop:
            return "stop";
        case State::Standby:
            return "standby";
        case State::Armed:
            return "armed";
        case State::Load:
            return "load";
        case State::Generate:
            return "generate";
    }
    return "stop";
}

Waveform demotable() {
    Waveform w{};
    auto set = [&w](int i, double v) { w[i] = static_cast<int16_t>(std::lround(v)); };
    for (int i = 100; i < 150; ++i) set(i, 90.0 * (i - 100) / 50.0);
    for (int i = 150; i < 350; ++i) set(i, 90);
    for (int i = 350; i < 500; ++i) set(i, 30 + 60 * std::exp(-(i - 350) / 40.0));
    for (int i = 500; i < 700; ++i) set(i, 30);
    for (int i = 700; i < 800; ++i) set(i, 30.0 * (800 - i) / 100.0);
    return w;
}

Controller::Controller(ControllerSettings settings)
    : settings_(std::move(settings)), table_(settings_.table), nextstatus_(settings_.statusms) {
    if (settings_.faults.noise) nextnoise_ = kNoiseGapMs[0];
}

QByteArray Controller::statusline(qint64 now) const {
    return stateword(state_) + '|' + QByteArray::number(now / 1000) + '|' +
           (autoarm_ ? "on" : "off");
}

void Controller::receive(QByteArrayView bytes, qint64 now) {
    advance(now);
    reader_.feed(bytes, [&](const QByteArray& line) { online(line, now); });
}

void Controller::advance(qint64 now) {
    if (state_ == State::Generate && now >= shotend_) endshot();
    if (state_ == State::Load && now - lastloadline_ >= kLoadIdleMs) abandonload();
    if (!settings_.faults.silent && now >= nextstatus_) {
        // One line however late: a controller that was held up does not
        // catch up with a burst of stale status lines.
        announce(statusline(now));
        nextstatus_ += settings_.statusms;
        if (nextstatus_ <= now) nextstatus_ = now + settings_.statusms;
    }
    if (settings_.faults.noise && now >= nextnoise_) {
        announce(kNoiseText[noisestep_ % kNoiseText.size()]);
        nextnoise_ += kNoiseGapMs[(noisestep_ + 1) % kNoiseGapMs.size()];
        if (nextnoise_ <= now) nextnoise_ = now + kNoiseGapMs[0];
        ++noisestep_;
    }
}

void Controller::linkup(qint64 now) {
    if (!settings_.faults.silent) announce(statusline(now));
}

void Controller::online(const QByteArray& text, qint64 now) {
    if (state_ == State::Load) {
        loadline(text, now);
        return;
    }
    if (!text.isEmpty()) command(text, now);
}

void Controller::loadline(const QByteArray& text, qint64 now) {
    lastloadline_ = now;
    if (text.isEmpty()) return;
    const std::optional<int16_t> value = parsevalue(text);
    if (!value) {
        // Anything but a value ends the load; a command word then does what
        // it always does.
        abandonload();
        command(text, now);
        return;
    }
    staging_[loaded_] = *value;
    if (++loaded_ < kWaveformLength) return;
    // Corrupt entry j sits at (j+1)*1000/(N+1): spread evenly, all distinct
    // for N up to 1000, and each one differs from what came.
    const int k = std::clamp(settings_.faults.corrupt, 0, kWaveformLength);
    for (int j = 0; j < k; ++j) {
        int16_t& v = staging_[static_cast<qint64>(j + 1) * kWaveformLength / (k + 1)];
        v = v == 0 ? 1 : 0;
    }
    table_ = staging_;
    state_ = State::Stop;
    say("loaded " + QByteArray::number(loaded_) + " values");
    if (onloaded) onloaded(table_);
}

void Controller::abandonload() {
    state_ = State::Stop;
    say("load abandoned after " + QByteArray::number(loaded_) + " values, table unchanged");
}

void Controller::command(const QByteArray& word, qint64 now) {
    if (state_ == State::Generate && knowncommand(word) && !generatingaccepts(word)) {
        say(word + " ignored: shot " + QByteArray::number(shots_) + " in progress");
        return;
    }
    if (word == "stop") {
        if (state_ == State::Generate) {
            say("shot " + QByteArray::number(shots_) + " stopped after " +
                QByteArray::number(now - shotstart_) + " ms");
            shotend_ = -1;
        }
        state_ = State::Stop;
    } else if (word == "standby") {
        state_ = State::Standby;
    } else if (word == "arm") {
        state_ = State::Armed;
    } else if (word == "auto_arm_on") {
        autoarm_ = true;
    } else if (word == "auto_arm_off") {
        autoarm_ = false;
    } else if (word == "shoot") {
        shoot(now);
    } else if (word == "load") {
        state_ = State::Load;
        loaded_ = 0;
        lastloadline_ = now;
    } else if (word == "get") {
        answertable();
    } else {
        say("unknown command: " + freetext(word));
    }
}

void Controller::shoot(qint64 now) {
    if (state_ != State::Armed) {
        say("shoot ignored: " + stateword(state_) + ", not armed");
        return;
    }
    ++shots_;
    state_ = State::Generate;
    shotstart_ = now;
    shotend_ = now + kShotMs;
}

void Controller::endshot() {
    state_ = autoarm_ ? State::Armed : State::Stop;
    shotend_ = -1;
    announce("shot " + QByteArray::number(shots_) + " fired");
}

void Controller::answertable() {
    const Faults& f = settings_.faults;
    const int n = std::clamp(f.points, 0, kWaveformLength);
    const int k = std::max(f.bogus, 0);
    // Bogus value j goes in before point (j+1)*n/(k+1): spread evenly.
    int j = 0;
    auto bogusbefore = [&](int i) {
        for (; j < k && static_cast<qint64>(j + 1) * n / (k + 1) <= i; ++j)
            answers_.push_back({QByteArray::number(kBogusValues[j % kBogusValues.size()])});
    };
    for (int i = 0; i < n; ++i) {
        bogusbefore(i);
        const qint64 pause = (f.stallms > 0 && i == n / 2) ? f.stallms : 0;
        answers_.push_back({QByteArray::number(table_[i]), pause});
    }
    bogusbefore(std::numeric_limits<int>::max());
}

void Controller::say(const QByteArray& text) {
    answers_.push_back({text});
}

void Controller::announce(const QByteArray& text) {
    urgent_.push_back(text);
}

QByteArray Controller::takeline(qint64 now) {
    if (!urgent_.empty()) {
        QByteArray line = urgent_.front() + settings_.lineend;
        urgent_.pop_front();
        return line;
    }
    if (answers_.empty()) return {};
    Answer& a = answers_.front();
    if (a.pausebefore > 0) {
        if (helduntil_ < 0) helduntil_ = now + a.pausebefore;
        if (now < helduntil_) return {};
        a.pausebefore = 0;
        helduntil_ = -1;
    }
    QByteArray line = a.line + settings_.lineend;
    answers_.pop_front();
    return line;
}

qint64 Controller::nextevent(qint64 now) const {
    qint64 t = std::numeric_limits<qint64>::max();
    if (!settings_.faults.silent) t = std::min(t, nextstatus_);
    if (settings_.faults.noise) t = std::min(t, nextnoise_);
    if (state_ == State::Generate) t = std::min(t, shotend_);
    if (state_ == State::Load) t = std::min(t, lastloadline_ + kLoadIdleMs);
    if (helduntil_ > now) t = std::min(t, helduntil_);
    return std::max(t, now);
}

}  // namespace gaspuff::sim
