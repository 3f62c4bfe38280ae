// The simulated controller, its reader and its transmitter on their own, on a
// clock the tests move by hand: received bytes in, the lines and bytes out.
// The panel's own upload text stands on the other side.
#include <gtest/gtest.h>

#include <QByteArrayList>
#include <optional>

#include "controller.h"
#include "reader.h"
#include "transmitter.h"
#include "waveform/records.h"

using namespace gaspuff;
using namespace gaspuff::sim;

namespace {

// The start-up table as the lines "get" answers, in the panel's own upload text.
const QByteArrayList points = uploadtext(demotable()).chopped(1).split('\r');

// One moment: the clock moves to t, a program opens the line if up, text
// arrives, and exactly want goes out; then the controller next wakes at next
// (unless -1).
struct Step {
    qint64 t;
    QByteArray send;
    QByteArrayList want;
    qint64 next = -1;
    bool up = false;
};

class SimModel : public ::testing::Test {
  protected:
    std::optional<Controller> c;
    QByteArray lineend = "\r";

    void make(Faults faults = {}, qint64 statusms = 500, Waveform table = demotable()) {
        c.emplace(ControllerSettings{statusms, lineend, faults, table});
    }
    // Every line that may go at now, without its line end (a wrong one shows).
    QByteArrayList take(qint64 now) {
        QByteArrayList out;
        for (QByteArray l; !(l = c->takeline(now)).isEmpty();) out << l.chopped(lineend.size());
        return out;
    }
    void play(std::initializer_list<Step> steps) {
        for (const Step& s : steps) {
            c->advance(s.t);
            if (s.up) c->linkup(s.t);
            c->receive(s.send, s.t);
            EXPECT_EQ(take(s.t), s.want) << "at " << s.t << " on " << s.send.toStdString();
            EXPECT_EQ(s.next < 0 ? s.next : c->nextevent(s.t), s.next) << "at " << s.t;
        }
    }
};

}  // namespace

TEST(SimReader, LinesEndAtCrWhateverThePiecesAndValuesAreDecimalsRoundedHalfToEven) {
    const QByteArray full(LineReader::kLineLimit, 'x'), cut = QByteArray(full.size(), 'y') + "...";
    const QByteArray bytes =
        "a\rst\nop\r\n \targ \t\r\r" + full + "\r" + QByteArray(100000, 'y') + "\rarm\rget";
    for (qsizetype piece : {qsizetype{1}, qsizetype{3}, bytes.size()}) {
        LineReader reader;
        QByteArrayList got;
        for (qsizetype i = 0; i < bytes.size(); i += piece)
            reader.feed(bytes.mid(i, piece), [&](const QByteArray& l) { got << l; });
        EXPECT_EQ(got, (QByteArrayList{"a", "stop", "arg", "", full, cut, "arm"})) << piece;
    }
    const std::pair<const char*, std::optional<int16_t>> values[] = {
        {"0", 0},      {"+32767", 32767}, {"-32768", -32768}, {"2.500001", 3},
        {"2.5", 2},    {"3.5", 4},        {"-2.5", -2},       {"-32768.5", -32768},
        {"2.49", 2},   {"5.", 5},         {".5", 0},          {"99999999999999999999", {}},
        {"32768", {}}, {"-32769", {}},    {"32767.5", {}},    {"1 2", {}},
        {"", {}},      {".", {}},         {"1e3", {}},        {"--1", {}},
    };
    for (const auto& [text, want] : values) EXPECT_EQ(parsevalue(text), want) << text;
}

TEST_F(SimModel, StatusLinesKeepTimeAndShowWhatWordsDidWhileAShotPlaysOneSecond) {
    lineend = "\r\n";
    make();
    play({{0, "", {"stop|0|off"}, 500, true},  // a program opened the line
          {499,
           "ARM\rfoo|bar\x01\r \tstandby \r\r" + QByteArray(200, 'x') + "\r",
           {"unknown command: ARM", "unknown command: foo/bar?",
            "unknown command: " + QByteArray(40, 'x') + "..."}},
          {500, "shoot\rarm\r", {"standby|0|off", "shoot ignored: standby, not armed"}},
          {1000, "shoot\rarm\rshoot\rfire\rget\r",
           QByteArrayList{"armed|1|off", "arm ignored: shot 1 in progress",
                          "shoot ignored: shot 1 in progress", "unknown command: fire"} +
               points,
           1500},
          {1500, "", {"generate|1|off"}, 2000},
          {1999, "", {}},
          {2000, "arm\rshoot\rauto_arm_on\r", {"shot 1 fired", "stop|2|off"}},
          {3000, "shoot\r", {"shot 2 fired", "armed|3|on"}},
          {3300, "stop\r", {"shot 3 stopped after 300 ms"}},
          {9250, "", {"stop|9|on"}, 9750},  // held up: one line, not a burst nor a "fired"
          {9749, "auto_arm_off\r", {}},
          {9750, "", {"stop|9|off"}}});
}

TEST_F(SimModel, ALoadStoresWhatCameBarTheCorruptEntriesAndAnythingElseAbandonsIt) {
    QList<int> all;
    for (int i = 0; i < kWaveformLength; ++i) all << i;
    const std::pair<int, QList<int>> cases[] = {
        {0, {}}, {1, {500}}, {3, {250, 500, 750}}, {1000, all}};
    const QByteArray upload = "load\r" + uploadtext(demotable()) + "4\r";
    for (const auto& [n, wrong] : cases) {
        make({.silent = true, .corrupt = n}, 500, Waveform{});
        play({{0, upload, {"loaded 1000 values", "unknown command: 4"}}});
        Waveform want = demotable();
        for (int i : wrong) want[i] = want[i] == 0 ? 1 : 0;
        EXPECT_EQ(c->table(), want) << n;
    }
    make({.silent = true});
    const QByteArray abandoned = "load abandoned after 2 values, table unchanged";
    play({{0, "load\r1\r2\r40000\r", {abandoned, "unknown command: 40000"}},  // each counts afresh
          {0, "load\r", {}},
          {400, "1\r2\r", {}, 1400},
          {1399, "", {}},
          {1400, "4\r", {abandoned, "unknown command: 4"}},
          {1400, "load\r1\r2\rshoot\r", {abandoned, "shoot ignored: stop, not armed"}}});
    EXPECT_EQ(c->table(), demotable());
}

TEST_F(SimModel, GetStallsShortensOrMixesInBogusValuesAndNoiseComesEverySecondOrTwo) {
    make({.points = 600, .stallms = 3000}, 300);  // status lines overtake the held answer
    play({{0, "get\r", points.mid(0, 300)},
          {2600, "", {"stop|2|off"}, 2900},
          {2999, "", {"stop|2|off"}},
          {3000, "get\r", points.mid(300, 300) + points.mid(0, 300)}});  // each answer stalls
    make({.bogus = 5}, 500, Waveform{});
    c->receive("get\r", 0);
    QByteArrayList lines = take(0);
    QList<qsizetype> bogusat;  // spread out, not bunched nor at either end
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (const int v = lines[i].toInt(); v < 0 || v > 100) bogusat << i;
    EXPECT_EQ(bogusat, (QList<qsizetype>{166, 334, 502, 669, 837}));
    EXPECT_TRUE(lines.size() == kWaveformLength + 5 && lines.count("0") == kWaveformLength);
    make({.silent = true, .noise = true});
    c->linkup(0);  // silent even then
    lines.clear();
    for (qint64 t = 0; t <= 20000; t += 100) c->advance(t), lines += take(t);
    EXPECT_TRUE(lines.size() >= 10 && lines.size() <= 20 && !lines.join().contains('|'))
        << lines.join('/').toStdString();
}

TEST_F(SimModel, TransmitterKeepsToTheLineHoldsWhatTheDeviceCannotTakeAndDropsTheUnheard) {
    make({.silent = true});
    const QByteArray answer = uploadtext(demotable());
    QByteArray all;
    qint64 room = 1 << 20;
    const auto device = [&](const char* d, qint64 n) {
        if (n = std::min(n, room); n > 0) room -= n, all.append(d, n);
        return n;
    };
    // Paced after seconds of idle line, up to 2.9 ms late on each wake-up:
    // made up at once instead of adding up, and no idle time taken as credit.
    constexpr qint64 kStart = 7'000'000'000, kLate[] = {0, 1'700'000, 300'000, 2'900'000};
    c->receive("get\r", kStart / 1'000'000);
    qint64 now = kStart;
    Transmitter paced(kLineBytesPerSecond, device);  // 115200 baud, 8N1: 11520 bytes a second
    paced.pump(*c, now);
    for (int k = 0; paced.pending() > 0 && k < 100000; ++k) {
        paced.pump(*c, now = paced.wakeat() + kLate[k % 4]);
        EXPECT_LE(all.size() * 1'000'000'000, (now - kStart) * 11520) << now;
    }
    EXPECT_EQ(all, answer);
    EXPECT_NEAR(now - kStart, answer.size() * 1e9 / 11520, 3e6);

    Transmitter tx(0, device);  // unpaced
    auto send = [&](qint64 r, const char* s) { room = r, c->receive(s, 0), tx.pump(*c, 0); };
    send(100, "get\r");
    EXPECT_TRUE(tx.blocked() && tx.sentbytes() == 100);  // the rest waits for room
    send(1 << 20, "");
    EXPECT_TRUE(!tx.blocked() && tx.pending() == 0 && all == answer + answer);
    // What was held, or said while nobody had the line open, never reaches the next program.
    send(100, "get\r");
    tx.setlistening(false);
    send(100, "get\r");
    tx.setlistening(true);
    send(1 << 20, "foo\r");
    EXPECT_EQ(all, answer + answer + answer.left(100) + "unknown command: foo\r");
}
