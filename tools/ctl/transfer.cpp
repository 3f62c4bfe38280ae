#include "transfer.h"

#include <QDeadlineTimer>
#include <QList>
#include <algorithm>
#include <cstdio>

#include "client.h"
#include "protocol/interpreter.h"
#include "protocol/sessionlog.h"
#include "waveform/files.h"

namespace gaspuff::ctl {
namespace {

constexpr int kReadBackMs = 2000;

struct ReadBack {
    Waveform table{};
    int points = 0;  // accepted so far
    int bogus = 0;
    QList<QByteArray> messages;
};

// "get", then the points as the panel takes them until all 1000 have come.
int readback(Client& client, ReadBack& rb) {
    if (!client.command("get")) return client.writefailed();
    const QDeadlineTimer deadline(kReadBackMs);
    Reception rx;
    rx.start();
    const Client::Wait w = client.await(deadline, [&](const QByteArray& line) {
        const LineMeaning m = interpretline(line, rx, rb.table);
        if (m.kind == LineKind::Message) rb.messages << line;
        if (m.kind == LineKind::Overflow)
            say(QStringLiteral("Overflow: point %1 dropped").arg(QString::fromLatin1(line)));
        if (m.kind != LineKind::Point) return false;
        if (m.point == PointResult::Bogus) rb.bogus = rx.boguscount;
        rb.points = m.point == PointResult::Completed ? kWaveformLength : rx.pointcount;
        return m.point == PointResult::Completed;
    });
    if (w == Client::Wait::Done && client.log()) client.log()->waveform("received", rb.table);
    if (rb.bogus > 0) say(QStringLiteral("%1 bogus points received").arg(rb.bogus));
    if (w == Client::Wait::Deadline)
        say(QStringLiteral("Communication timeout: %1 of %2 points had arrived within 2 s")
                .arg(rb.points)
                .arg(kWaveformLength));
    return client.waitexit(w);
}

}  // namespace

int loadfile(const QString& name, Waveform& table, SessionLog* log) {
    if (!isregularfile(name)) {
        say(QStringLiteral("File %1 does not exist").arg(name));
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
    const auto outside =
        std::count_if(table.begin(), table.end(), [](int v) { return v < 0 || v > kMaxAmplitude; });
    if (outside > 0)
        say(QStringLiteral("%1 entries sent lie outside 0..100: a read-back drops them")
                .arg(outside));
    ReadBack rb;
    if (const int e = readback(client, rb); e != kSuccess) return e;
    QStringList differ;
    for (int t = 0; t < kWaveformLength; ++t)
        if (rb.table[t] != table[t])
            differ
                << QStringLiteral("t=%1: sent %2, holds %3").arg(t).arg(table[t]).arg(rb.table[t]);
    if (differ.isEmpty()) return kSuccess;
    say(QStringLiteral("Verification failed: %1 of the %2 entries differ from those sent")
            .arg(differ.size())
            .arg(kWaveformLength));
    for (const QString& d : differ.mid(0, kDifferencesShown)) say(d);
    for (const QByteArray& text : rb.messages)
        say(QStringLiteral("controller says: %1")
                .arg(QString::fromLatin1(SessionLog::escaped(text))));
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
    if (const QString error = savewaveform(name, rb.table); !error.isEmpty()) {
        say(error);
        return kBadFile;
    }
    if (log) log->file("saved", name, rb.table);
    return kSuccess;
}

}  // namespace gaspuff::ctl
