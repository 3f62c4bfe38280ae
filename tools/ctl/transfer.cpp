// SPDX-License-Identifier: MIT
#include "transfer.h"

#include <QDeadlineTimer>
#include <QStringList>
#include <cstdio>

#include "client.h"
#include "protocol/interpreter.h"
#include "protocol/lateanswer.h"
#include "protocol/sessionlog.h"
#include "waveform/files.h"

namespace gaspuff::ctl {
namespace {

// Waiting for an earlier answer to end gives up after this long.
constexpr qint64 kLateAnswerBoundMs = 3 * kReadBackMs;
// A point this soon after the 1000th means that more than one answer came.
constexpr int kSurplusQuietMs = 100;

struct ReadBack {
    Waveform table{};
    Reception rx;    // rx.staging: the values taken, in order
    int points = 0;  // accepted so far
    int bogus = 0;
    // Ends once 1000 values have come, whether taken or dropped as bogus:
    // for a table that holds values outside 0..100.
    bool countsall = false;
    RecentMessages messages;
};

// Before "get": what the line carried so far belongs to no answer to it. While
// an earlier answer may still be arriving, waits (within a bound) until the
// line has carried no point for a read-back's deadline.
int waitforquiet(Client& client, LateAnswer& late, ReadBack& rb) {
    const QString device = client.devicepath();
    Reception idle;  // no read-back runs: a number is a message here, and is left out
    const auto heard = [&](const QByteArray& line) {
        late.received(line);
        if (interpretline(line, idle, rb.table).kind == LineKind::Message && !pointlike(line))
            rb.messages.add(line);
        return false;
    };
    const QDeadlineTimer bound(kLateAnswerBoundMs);
    for (bool said = false;; said = true) {
        if (const Client::Wait w = client.await(QDeadlineTimer(0), heard);
            w != Client::Wait::Deadline)
            return client.waitexit(w);
        const qint64 wait = late.delay(device);
        if (wait == 0) return kSuccess;
        if (wait > bound.remainingTime()) {
            say(QStringLiteral("An earlier answer is still arriving: \"get\" not sent"));
            return kTimedOut;
        }
        if (!said)
            say(
                QStringLiteral("An earlier answer may still be arriving: waiting until the line "
                               "has carried no point for 2 s"));
        if (const Client::Wait w = client.await(QDeadlineTimer(wait), heard);
            w != Client::Wait::Deadline)
            return client.waitexit(w);
    }
}

// "get", then the points as the panel takes them until all 1000 have come.
int readback(Client& client, ReadBack& rb) {
    LateAnswer late;
    if (const int e = waitforquiet(client, late, rb); e != kSuccess) return e;
    if (!client.command("get")) return client.writefailed();
    const QDeadlineTimer deadline(kReadBackMs);
    rb.rx.start();
    const Client::Wait w = client.await(deadline, [&](const QByteArray& line) {
        const LineMeaning m = interpretline(line, rb.rx, rb.table);
        if (m.kind == LineKind::Message) rb.messages.add(line);
        if (m.kind == LineKind::Overflow)
            say(QStringLiteral("Overflow: point %1 dropped").arg(QString::fromLatin1(line)));
        if (m.kind != LineKind::Point) return false;
        if (m.point == PointResult::Bogus) rb.bogus = rb.rx.boguscount;
        rb.points = m.point == PointResult::Completed ? kWaveformLength : rb.rx.pointcount;
        return m.point == PointResult::Completed ||
               (rb.countsall && rb.points + rb.bogus == kWaveformLength);
    });
    if (rb.bogus > 0) say(QStringLiteral("%1 bogus points received").arg(rb.bogus));
    if (w == Client::Wait::Done &&
        client.await(QDeadlineTimer(kSurplusQuietMs), pointlike) == Client::Wait::Done) {
        say(
            QStringLiteral("More than 1000 points came for one \"get\": an earlier answer was "
                           "still arriving; nothing taken"));
        late.abandoned(client.devicepath());
        return kTimedOut;
    }
    // The rest of an answer given up here may still come: the next reader,
    // this program or another, waits for it to end.
    if (w == Client::Wait::Deadline || w == Client::Wait::Interrupted)
        late.abandoned(client.devicepath());
    if (w == Client::Wait::Deadline)
        say(QStringLiteral("Communication timeout: %1 of %2 points had arrived within 2 s")
                .arg(rb.points)
                .arg(kWaveformLength));
    if (w == Client::Wait::Done && rb.points == kWaveformLength && client.log())
        client.log()->waveform("received", rb.table);
    return client.waitexit(w);
}

}  // namespace

int loadfile(const QString& name, Waveform& table, SessionLog* log) {
    // "-" is standard output for get; send reads a named file only.
    if (const QString why =
            name == QLatin1String("-")
                ? QStringLiteral("Cannot load -: send reads a file, not standard input")
                : unloadable(name);
        !why.isEmpty()) {
        say(why);
        return kBadFile;
    }
    if (const QString error = loadwaveform(name, table); !error.isEmpty()) {
        say(error);
        return kBadFile;
    }
    if (log) log->file("loaded", name, table);
    return kSuccess;
}

int sendtable(Client& client, const Waveform& table, bool verify) {
    if (!client.upload(table)) return client.writefailed();
    if (!verify) return kSuccess;
    ReadBack rb;
    for (int16_t v : table) rb.countsall = rb.countsall || v < 0 || v > kMaxAmplitude;
    if (const int e = readback(client, rb); e != kSuccess) return e;
    // A read-back drops values outside 0..100: the values taken stand for the
    // entries inside, in order.
    QStringList differ;
    for (int t = 0, taken = 0; t < kWaveformLength; ++t) {
        const QString sent = QStringLiteral("t=%1: sent %2, ").arg(t).arg(table[t]);
        if (table[t] < 0 || table[t] > kMaxAmplitude)
            differ << sent + QStringLiteral("outside 0..100: a read-back drops it");
        else if (taken >= rb.points)
            differ << sent + QStringLiteral("not read back"), ++taken;
        else if (const int16_t held = rb.rx.staging[taken++]; held != table[t])
            differ << sent + QStringLiteral("holds %1").arg(held);
    }
    if (differ.isEmpty()) return kSuccess;
    say(QStringLiteral("Verification failed: %1 of the %2 entries not read back as sent")
            .arg(differ.size())
            .arg(kWaveformLength));
    for (const QString& d : differ.mid(0, kDifferencesShown)) say(d);
    rb.messages.sayall();
    return kNotConfirmed;
}

int gettable(Client& client, const QString& name, SessionLog* log) {
    ReadBack rb;
    if (const int e = readback(client, rb); e != kSuccess) return e;
    if (name == QLatin1String("-")) {
        const QByteArray text = waveformfiletext(rb.table);
        if (std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout) !=
                static_cast<size_t>(text.size()) ||
            std::fflush(stdout) != 0) {
            say(QStringLiteral("Cannot write the table to standard output"));
            return kBadFile;
        }
        return kSuccess;
    }
    QString note;
    if (const QString error = savewaveform(name, rb.table, &note); !error.isEmpty()) {
        say(error);
        return kBadFile;
    }
    if (!note.isEmpty()) say(name + QStringLiteral(" saved; ") + note);
    if (log) log->file("saved", name, rb.table);
    return kSuccess;
}

}  // namespace gaspuff::ctl
