// Pacing the simulator's output as a 115200 baud line carries it, on a
// clock the tests move by hand.
#include "transmitter.h"

#include <gtest/gtest.h>

#include <QList>

#include "controller.h"
#include "protocol/records.h"

using namespace gaspuff;
using namespace gaspuff::sim;

namespace {

constexpr qint64 kMs = 1'000'000;
constexpr qint64 kSecond = 1'000'000'000;

// 4000 bytes at 11520 per second: 347.2 ms.
constexpr qint64 kHundredsLineTime = 347'222'223;

struct Write {
    qint64 at;
    QByteArray bytes;
};

Controller silentcontroller(int16_t fill) {
    ControllerSettings s;
    s.faults.silent = true;
    s.table.fill(fill);
    return Controller(s);
}

// Runs pump on a clock that jumps to each wake-up time plus a lateness taken
// in turn from late, until nothing is pending; the writes with their times.
QList<Write> runpaced(Controller& c, const QList<qint64>& late, qint64 start = 0) {
    QList<Write> writes;
    qint64 now = start;
    Transmitter tx(kLineBytesPerSecond, [&](const char* d, qint64 n) {
        writes.append({now, QByteArray(d, n)});
        return n;
    });
    tx.pump(c, now);
    for (int k = 0; tx.pending() > 0 && k < 100000; ++k) {
        now = tx.wakeat() + late[k % late.size()];
        tx.pump(c, now);
    }
    return writes;
}

qint64 due(qint64 elapsed) {
    return elapsed * kLineBytesPerSecond / kSecond;
}

}  // namespace

TEST(Pacer, AByteGoesOnlyOnceTheLineHasCarriedIt) {
    Pacer p(kLineBytesPerSecond);
    EXPECT_EQ(p.room(0), 0);
    EXPECT_EQ(p.room(86'805), 0);
    EXPECT_EQ(p.room(86'806), 1);
    EXPECT_EQ(p.duetime(1), 86'806);
    p.sent(1);
    EXPECT_EQ(p.room(100'000), 0);
    EXPECT_EQ(p.room(kSecond), kLineBytesPerSecond - 1);
    EXPECT_EQ(p.duetime(kLineBytesPerSecond - 1), kSecond);
}

TEST(Pacer, AnIdleLineStartsAfreshWithoutCredit) {
    Pacer p(kLineBytesPerSecond);
    p.room(0);
    p.sent(p.room(10 * kMs));
    p.drained();
    EXPECT_EQ(p.room(5 * kSecond), 0);  // no burst for the idle seconds
    EXPECT_EQ(p.room(5 * kSecond + 86'806), 1);
}

TEST(Pacer, UnpacedHasRoomForEverything) {
    Pacer p(0);
    EXPECT_FALSE(p.paced());
    EXPECT_GE(p.room(0), qint64{1} << 40);
}

TEST(Transmitter, PacedReadBackTakesTheLinesOwnTimeAndNeverRunsAhead) {
    Controller c = silentcontroller(100);
    c.receive("get\r", 0);
    const QList<Write> writes = runpaced(c, {0});
    QByteArray all;
    for (const Write& w : writes) {
        all += w.bytes;
        ASSERT_LE(all.size(), due(w.at)) << "ahead of the line at " << w.at;
    }
    EXPECT_EQ(all, QByteArray("100\r").repeated(kWaveformLength));
    EXPECT_GE(writes.last().at, kHundredsLineTime - 1);
    EXPECT_LE(writes.last().at, kHundredsLineTime + 1);
    // Small pieces, about a millisecond of the line each.
    EXPECT_GT(writes.size(), 300);
    for (const Write& w : writes) EXPECT_LE(w.bytes.size(), 2 * Transmitter::kBatch);
}

TEST(Transmitter, LateWakeUpsAreMadeUpInsteadOfAddingUp) {
    Controller c = silentcontroller(100);
    c.receive("get\r", 0);
    // Up to 2.9 ms late on every one of some 330 wake-ups.
    const QList<Write> writes = runpaced(c, {0, 1'700'000, 300'000, 2'900'000});
    qint64 total = 0;
    for (const Write& w : writes) total += w.bytes.size();
    EXPECT_EQ(total, 4000);
    EXPECT_GE(writes.last().at, kHundredsLineTime);
    EXPECT_LE(writes.last().at, kHundredsLineTime + 3 * kMs);
}

TEST(Transmitter, AnswerAfterAnIdleLineIsPacedFromItsOwnStart) {
    Controller c = silentcontroller(100);
    const qint64 start = 7 * kSecond;
    c.receive("get\r", start / kMs);
    const QList<Write> writes = runpaced(c, {0}, start);
    EXPECT_GE(writes.first().at, start + 86'806);
    EXPECT_LE(writes.last().at - start, kHundredsLineTime + 1);
    EXPECT_GE(writes.last().at - start, kHundredsLineTime - 1);
}

TEST(Transmitter, UnpacedSendsTheWholeAnswerAtOnce) {
    Controller c = silentcontroller(7);
    c.receive("get\r", 0);
    QByteArray all;
    int calls = 0;
    Transmitter tx(0, [&](const char* d, qint64 n) {
        ++calls;
        all.append(d, n);
        return n;
    });
    tx.pump(c, 0);
    EXPECT_EQ(all, QByteArray("7\r").repeated(kWaveformLength));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(tx.pending(), 0);
}

TEST(Transmitter, WithNobodyOnTheLineTheLinesAreLost) {
    ControllerSettings s;
    Controller c(s);
    QByteArray all;
    Transmitter tx(0, [&](const char* d, qint64 n) {
        all.append(d, n);
        return n;
    });
    tx.setlistening(false);
    c.receive("get\rfoo\r", 0);
    c.advance(500);
    tx.pump(c, 500 * kMs);
    EXPECT_TRUE(all.isEmpty());
    EXPECT_TRUE(c.takeline(500).isEmpty());  // taken, not kept for later

    tx.setlistening(true);
    c.linkup(600);
    tx.pump(c, 600 * kMs);
    EXPECT_EQ(all, "stop|0|off\r");
}

TEST(Transmitter, AFullDeviceHoldsTheRestInOrder) {
    Controller c = silentcontroller(42);
    c.receive("get\r", 0);
    QByteArray all;
    qint64 room = 100;
    Transmitter tx(0, [&](const char* d, qint64 n) {
        const qint64 take = std::min(n, room);
        room -= take;
        all.append(d, take);
        return take;
    });
    tx.pump(c, 0);
    EXPECT_TRUE(tx.blocked());
    EXPECT_EQ(all.size(), 100);
    tx.pump(c, 0);  // still full
    EXPECT_TRUE(tx.blocked());
    room = 1 << 20;
    tx.pump(c, 0);
    EXPECT_FALSE(tx.blocked());
    EXPECT_EQ(all, QByteArray("42\r").repeated(kWaveformLength));
}

TEST(Transmitter, AFailingDeviceLosesTheBytesWithoutHangingOrBlocking) {
    Controller c = silentcontroller(42);
    c.receive("get\r", 0);
    int calls = 0;
    Transmitter tx(0, [&](const char*, qint64) {
        ++calls;
        return qint64{-1};
    });
    tx.pump(c, 0);
    EXPECT_FALSE(tx.blocked());
    EXPECT_EQ(tx.pending(), 0);
    EXPECT_GE(calls, 1);
    EXPECT_EQ(tx.sentbytes(), 0);
}
