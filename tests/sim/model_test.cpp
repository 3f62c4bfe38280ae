// SPDX-License-Identifier: MIT
// The simulated controller and its transmitter on their own, on a
// clock the tests move by hand: received bytes in, the lines and bytes out.
// The panel's own upload text stands on the other side.
#include <gtest/gtest.h>

#include <QByteArrayList>

#include "controller.h"
#include "transmitter.h"
#include "waveform/records.h"

using namespace gaspuff;
using namespace gaspuff::sim;

namespace {

// The start-up table as "get" answers it, one entry a line in decimal, written
// here rather than by the panel, whose upload text is what "load" is fed.
const QByteArrayList points = [] {
    QByteArrayList lines;
    for (int16_t v : demotable()) lines << QByteArray::number(v);
    return lines;
}();
const QByteArray answer = points.join('\r') + '\r';

// Text arrives at now, after what fell due by then has run; then every line that
// may go, without its line end (a wrong one shows).
QByteArrayList take(Controller& c, qint64 now, const QByteArray& text = {}, qsizetype end = 1) {
    c.receive(text, now);
    QByteArrayList out;
    for (QByteArray l; !(l = c.takeline(now)).isEmpty();) out << l.chopped(end);
    return out;
}

// One moment: the clock moves to t, text arrives, and exactly want goes out;
// then the controller next wakes at next (unless -1).
struct Step {
    qint64 t;
    QByteArray send;
    QByteArrayList want;
    qint64 next = -1;
};

template <qsizetype end = 1>
void play(Controller& c, std::initializer_list<Step> steps) {
    for (const Step& s : steps) {
        EXPECT_EQ(take(c, s.t, s.send, end), s.want) << s.t << ": " << s.send.toStdString();
        EXPECT_EQ(s.next < 0 ? s.next : c.nextevent(s.t), s.next) << s.t;
    }
}

}  // namespace

TEST(SimModel, StatusLinesKeepTimeAndShowWhatWordsDidWhileAShotPlaysOneSecond) {
    Controller c({500, "\r\n", {}, demotable()});
    c.linkup(0);  // a program opened the line
    const QByteArray x(40, 'x');
    play<2>(c, {{0, "", {"stop|0|off"}, 500},
                {499, "ARM\rfoo|bar\x01\r", {"unknown command: ARM", "unknown command: foo/bar?"}},
                {499, " \tstandby \r\r" + x + "y\r", {"unknown command: " + x + "..."}},
                {500, "shoot\rarm\r", {"standby|0|off", "shoot ignored: standby, not armed"}},
                {1000, "shoot\rarm\r", {"armed|1|off", "arm ignored: shot 1 in progress"}},
                {1000, "shoot\rgo\r", {"shoot ignored: shot 1 in progress", "unknown command: go"}},
                {1000, "get\r", points, 1500},
                {1500, "", {"generate|1|off"}, 2000},
                {1999, "", {}},
                {2000, "arm\rshoot\rauto_arm_on\r", {"shot 1 fired", "stop|2|off"}},
                {3000, "shoot\r", {"shot 2 fired", "armed|3|on"}},
                {3300, "stop\r", {"shot 3 stopped after 300 ms"}},
                {9250, "", {"stop|9|on"}, 9750},  // held up: one line, not a burst nor a "fired"
                {9749, "auto_arm_off\r", {}},
                {9750, "", {"stop|9|off"}}});
}

TEST(SimModel, ALoadStoresWhatCameBarTheCorruptEntriesAndAnythingElseAbandonsIt) {
    const std::pair<int, QList<int>> cases[] = {
        {0, {}}, {1, {500}}, {3, {250, 500, 750}}, {1000, {}}};  // 1000: all of them
    for (const auto& [n, wrong] : cases) {
        Controller c({.faults = {.silent = true, .corrupt = n}});
        play(c, {{0,
                  "load\r" + uploadtext(demotable()) + "4\r",
                  {"loaded 1000 values", "unknown command: 4"}}});
        Waveform want = demotable();
        for (int i = 0; i < kWaveformLength; ++i)
            if (n == 1000 || wrong.contains(i)) want[i] = want[i] == 0;
        EXPECT_EQ(c.table(), want) << n;
    }
    Controller c({.faults = {.silent = true}, .table = demotable()});
    const QByteArray abandoned = "load abandoned after 2 values, table unchanged";
    play(c, {{0, "load\r1\r2\r40000\r", {abandoned, "unknown command: 40000"}},  // each afresh
             {0, "load\r", {}},
             {400, "1\r2\r", {}, 1400},
             {1399, "", {}},
             {1400, "4\r", {abandoned, "unknown command: 4"}},
             {1400, "load\r1\r2\rshoot\r", {abandoned, "shoot ignored: stop, not armed"}}});
    EXPECT_EQ(c.table(), demotable());
}

TEST(SimModel, TransmitterKeepsToTheLineHoldsWhatTheDeviceCannotTakeAndDropsTheUnheard) {
    Controller c({.faults = {.silent = true}, .table = demotable()});
    // Paced after seconds of idle line, up to 2.9 ms late on each wake-up:
    // made up at once instead of adding up, and no idle time taken as credit.
    constexpr qint64 kStart = 7'000'000'000, kLate[] = {0, 1'700'000, 300'000, 2'900'000};
    QByteArray all;
    qint64 room = 1 << 20, now = kStart;  // room: what the device takes yet
    const auto device = [&](const char* d, qint64 n) {
        return all.append(d, n = std::min(n, room)), room -= n, n;
    };
    // 115200 baud, 8N1: 11520 bytes a second; and unpaced.
    Transmitter paced(kLineBytesPerSecond, device), tx(0, device);
    c.receive("get\r", kStart / 1'000'000);
    paced.pump(c, now);
    for (int k = 0; paced.pending() > 0 && k < 100000; ++k) {
        paced.pump(c, now = paced.wakeat() + kLate[k % 4]);
        EXPECT_LE(all.size() * 1'000'000'000, (now - kStart) * 11520) << now;
    }
    EXPECT_NEAR(now - kStart, answer.size() * 1e9 / 11520, 3e6);

    // Unpaced: what the device has no room for waits; what was held, or said
    // while nobody had the line open, never reaches the next program.
    const auto send = [&](qint64 r, const char* s, bool listening = true) {
        room = r, tx.setlistening(listening), c.receive(s, 0), tx.pump(c, 0);
    };
    send(100, "get\r");
    EXPECT_TRUE(tx.blocked() && tx.sentbytes() == 100);
    send(1 << 20, "");
    EXPECT_TRUE(!tx.blocked() && tx.pending() == 0);
    send(100, "get\r");
    send(100, "get\r", false);
    send(1 << 20, "foo\r");
    EXPECT_EQ(all, answer + answer + answer.left(100) + "unknown command: foo\r");
}
