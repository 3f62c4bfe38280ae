// The simulated controller, its reader and its transmitter on their own, on a
// clock the tests move by hand: received bytes in, the lines and bytes out.
// The panel's own upload text and line interpreter stand on the other side.
#include <gtest/gtest.h>

#include <QByteArrayList>
#include <QList>
#include <memory>
#include <numeric>

#include "controller.h"
#include "protocol/interpreter.h"
#include "reader.h"
#include "transmitter.h"
#include "waveform/records.h"

using namespace gaspuff;
using namespace gaspuff::sim;

namespace {

// A different value at almost every index, some outside 0..100.
Waveform distinct() {
    Waveform w{};
    for (int i = 0; i < kWaveformLength; ++i) w[i] = static_cast<int16_t>((i * 37) % 211 - 50);
    return w;
}

// Entries from..to-1 of distinct() as the lines "get" answers.
QByteArrayList points(int from = 0, int to = kWaveformLength) {
    QByteArrayList out;
    for (int i = from; i < to; ++i) out << QByteArray::number(distinct()[i]);
    return out;
}

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
    std::unique_ptr<Controller> c;
    QByteArray lineend = "\r";

    void SetUp() override { make(); }
    void make(Faults faults = {}, qint64 statusms = 500, Waveform table = distinct()) {
        c = std::make_unique<Controller>(ControllerSettings{statusms, lineend, faults, table});
    }
    // Every line that may go at now, each checked for its line end.
    QByteArrayList take(qint64 now) {
        QByteArrayList out;
        for (QByteArray l; !(l = c->takeline(now)).isEmpty(); out << l.chopped(lineend.size()))
            EXPECT_TRUE(l.endsWith(lineend) && !l.chopped(lineend.size()).contains('\r'));
        return out;
    }
    void play(std::initializer_list<Step> steps) {
        for (const Step& s : steps) {
            c->advance(s.t);
            if (s.up) c->linkup(s.t);
            c->receive(s.send, s.t);
            EXPECT_EQ(take(s.t), s.want) << "at " << s.t << " on " << s.send.toStdString();
            if (s.next >= 0) {
                EXPECT_EQ(c->nextevent(s.t), s.next) << "at " << s.t;
            }
        }
    }
};

}  // namespace

TEST(SimReader, LinesEndAtCrIgnoreLfLoseTheirBlanksAndAreCappedWhateverThePieces) {
    const QByteArray full(LineReader::kLineLimit, 'x');
    const std::pair<QByteArray, QByteArrayList> cases[] = {
        {"a\rb\r", {"a", "b"}},
        {"st\nop\r\n", {"stop"}},
        {" \targ \t\r\r", {"arg", ""}},
        {"get", {}},
        {full + "\r", {full}},
        {QByteArray(100000, 'y') + "\rarm\r", {QByteArray(full.size(), 'y') + "...", "arm"}},
    };
    for (const auto& [bytes, want] : cases) {
        for (qsizetype piece : {qsizetype{1}, qsizetype{3}, bytes.size()}) {
            LineReader reader;
            QByteArrayList got;
            for (qsizetype i = 0; i < bytes.size(); i += piece)
                reader.feed(bytes.mid(i, piece), [&](const QByteArray& l) { got << l; });
            EXPECT_EQ(got, want) << bytes.left(20).toStdString() << " in pieces of " << piece;
        }
    }
}

TEST(SimReader, ValuesAreSignedDecimalsRoundedHalfToEvenWithinSixteenBits) {
    const std::pair<const char*, std::optional<int16_t>> cases[] = {
        {"0", 0},      {"+32767", 32767}, {"-32768", -32768}, {"007", 7},
        {"2.5", 2},    {"3.5", 4},        {"-2.5", -2},       {"2.500001", 3},
        {"2.49", 2},   {"5.", 5},         {".5", 0},          {"-32768.5", -32768},
        {"32768", {}}, {"-32769", {}},    {"32767.5", {}},    {"99999999999999999999", {}},
        {"", {}},      {"-", {}},         {".", {}},          {"1e3", {}},
        {"1 2", {}},   {"0x10", {}},      {"1.2.3", {}},      {"--1", {}},
    };
    for (const auto& [text, want] : cases) EXPECT_EQ(parsevalue(text), want) << text;
}

TEST_F(SimModel, StatusLinesKeepTimeAndShowWhatWordsDidWhileAShotPlaysOneSecond) {
    lineend = "\r\n";
    make();                                    // every line is checked for CR LF
    play({{0, "", {"stop|0|off"}, 500, true},  // a program opened the line
          {499,
           "ARM\rfoo|bar\x01\r \tstandby \r\r" + QByteArray(200, 'x') + "\r",
           {"unknown command: ARM", "unknown command: foo/bar?",
            "unknown command: " + QByteArray(40, 'x') + "..."}},
          {500, "shoot\rarm\r", {"standby|0|off", "shoot ignored: standby, not armed"}},
          {1000, "shoot\rstandby\rarm\rshoot\rload\rget\r",
           QByteArrayList{"armed|1|off", "standby ignored: shot 1 in progress",
                          "arm ignored: shot 1 in progress", "shoot ignored: shot 1 in progress",
                          "load ignored: shot 1 in progress"} +
               points(),
           1500},
          {1500, "", {"generate|1|off"}, 2000},
          {1999, "", {}},
          {2000, "arm\rshoot\rauto_arm_on\r", {"shot 1 fired", "stop|2|off"}},
          {3000, "shoot\r", {"shot 2 fired", "armed|3|on"}},
          {3300, "stop\r", {"shot 3 stopped after 300 ms"}},
          {9250, "", {"stop|9|on"}, 9750},  // held up: one line, not a burst nor a "fired"
          {9749, "auto_arm_off\r", {}},
          {9750, "", {"stop|9|off"}}});
    make({}, 300);
    play({{300, "", {"stop|0|off"}, 600}});
}

TEST_F(SimModel, ALoadStoresWhatCameBarTheCorruptEntriesAndSaysAllCame) {
    Waveform sent{};
    for (int i = 0; i < kWaveformLength; ++i) sent[i] = static_cast<int16_t>(i * 65 - 32768);
    sent[999] = 32767;
    sent[250] = 0;
    QList<int> all(kWaveformLength);
    std::iota(all.begin(), all.end(), 0);
    const std::pair<int, QList<int>> cases[] = {
        {0, {}}, {1, {500}}, {3, {250, 500, 750}}, {1000, all}};
    for (const auto& [n, wrong] : cases) {
        make({.silent = true, .corrupt = n});
        // The panel's own upload text in pieces that split records, then one more.
        const QByteArray text = "load\r" + uploadtext(sent) + "4\r";
        for (qsizetype i = 0; i < text.size(); i += 7) c->receive(text.mid(i, 7), 0);
        EXPECT_EQ(take(0), (QByteArrayList{"loaded 1000 values", "unknown command: 4"}));
        Waveform want = sent;
        for (int i : wrong) want[i] = sent[i] == 0 ? 1 : 0;
        EXPECT_EQ(c->table(), want) << n;
    }
}

TEST_F(SimModel, AnythingButAValueOrASecondsSilenceAbandonsTheLoadLeavingTheTable) {
    make({.silent = true});
    const QByteArray abandoned = "load abandoned after 2 values, table unchanged";
    play({{0, "load\r1\r2\rabc\r", {abandoned, "unknown command: abc"}},
          {0, "load\r1\r2\r40000\r", {abandoned, "unknown command: 40000"}},
          {0, "load\r1\r2\rget\r", QByteArrayList{abandoned} + points()},
          {0, "load\r", {}},
          {400, "1\r2\r", {}, 1400},
          {1399, "", {}},
          {1400, "4\r", {abandoned, "unknown command: 4"}},
          {1400, "load\r1\r2\rarm\r", {abandoned}}});
    EXPECT_EQ(c->state(), State::Armed);  // a command word that ended it is carried out
    EXPECT_EQ(c->table(), distinct());
}

TEST_F(SimModel, GetAnswersVerbatimOvertakenByStatusLinesAndShowsTheFaultsAsked) {
    play({{0, "get\r", points()}});
    c->receive("get\r", 0);
    EXPECT_EQ(c->takeline(0), QByteArray::number(distinct()[0]) + "\r");  // the answer has started
    play({{500, "", QByteArrayList{"stop|0|off"} + points(1)}});
    make({.stallms = 3000});
    play({{0, "get\r", points(0, 500)},
          {2600, "", {"stop|2|off"}, 3000},
          {2999, "", {}},
          {3000, "get\r", points(500) + points(0, 500)}});  // each answer stalls
    make({.silent = true, .points = 600});
    play({{5000, "get\rarm\rshoot\r", points(0, 600), 6000, true}});  // no status even at link up
    Waveform fifties{};
    fifties.fill(50);
    make({.bogus = 5}, 500, fifties);
    c->receive("get\r", 0);
    const QByteArrayList lines = take(0);
    QList<qsizetype> bogusat;  // spread out, not bunched nor at either end
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i] == "50") continue;
        EXPECT_TRUE(lines[i].toInt() < 0 || lines[i].toInt() > 100) << lines[i].toStdString();
        bogusat << i;
    }
    EXPECT_EQ(lines.size(), kWaveformLength + 5);
    EXPECT_EQ(bogusat, (QList<qsizetype>{166, 334, 502, 669, 837}));
}

TEST_F(SimModel, NoiseIsOccasionalFreeTextAndNoMessageEverPassesForStatusOrPoint) {
    make({.silent = true, .noise = true});
    QByteArrayList lines;
    for (qint64 t = 0; t <= 20000; t += 100) c->advance(t), lines += take(t);
    EXPECT_GE(lines.size(), 10);
    EXPECT_LE(lines.size(), 30);
    const qsizetype noise = lines.size();
    c->receive("arm\rshoot\rarm\rload\r1\rx|y|z\rshoot\rstop\rload\r5\r", 22000);
    lines += take(22000);
    EXPECT_GE(lines.size(), noise + 6);
    for (const QByteArray& l : lines) {
        Reception rx{.getting = true};  // even in the middle of a read-back
        Waveform w{};
        EXPECT_TRUE(!l.contains('|') && interpretline(l, rx, w).kind == LineKind::Message)
            << l.toStdString();
    }
}

TEST_F(SimModel, PacedAnswerKeepsToTheLinesClockFromItsStartThoughWakeUpsAreLate) {
    constexpr qint64 kSecond = 1'000'000'000, kLineTime = 347'222'223;  // 4000 bytes
    Waveform hundreds{};
    hundreds.fill(100);
    const std::tuple<qint64, QList<qint64>, qint64, int> cases[] = {
        {0, {0}, 1, 300},  // small pieces, about a millisecond of the line each
        // After seconds of idle line, up to 2.9 ms late on each of some 330
        // wake-ups: made up at once instead of adding up.
        {7 * kSecond, {0, 1'700'000, 300'000, 2'900'000}, 3'000'000, 100},
    };
    for (const auto& [start, late, slack, pieces] : cases) {
        make({.silent = true}, 500, hundreds);
        c->receive("get\r", start / 1'000'000);
        qint64 now = start;
        int writes = 0;
        QByteArray all;
        Transmitter tx(kLineBytesPerSecond, [&](const char* d, qint64 n) {
            ++writes;
            all.append(d, n);
            EXPECT_LE(all.size(), (now - start) * kLineBytesPerSecond / kSecond) << now;
            return n;
        });
        tx.pump(*c, now);
        for (int k = 0; tx.pending() > 0 && k < 100000; ++k)
            tx.pump(*c, now = tx.wakeat() + late[k % late.size()]);
        EXPECT_EQ(all, QByteArray("100\r").repeated(kWaveformLength));
        EXPECT_GE(now - start, kLineTime - 1);
        EXPECT_LE(now - start, kLineTime + slack);
        EXPECT_GT(writes, pieces);
    }
}

TEST_F(SimModel, UnpacedSendsAllAtOnceAFullDeviceHoldsTheRestAFailingOneLosesIt) {
    make({.silent = true});
    c->receive("get\r", 0);
    QByteArray all;
    qint64 room = 100;
    int calls = 0;
    Transmitter tx(0, [&](const char* d, qint64 n) {
        ++calls;
        const qint64 take = room < 0 ? -1 : std::min(n, room);  // below 0: the device fails
        if (take > 0) room -= take, all.append(d, take);
        return take;
    });
    tx.pump(*c, 0);
    EXPECT_TRUE(tx.blocked() && all.size() == 100);
    room = 1 << 20;
    calls = 0;
    tx.pump(*c, 0);
    EXPECT_TRUE(calls == 1 && !tx.blocked() && tx.pending() == 0);
    EXPECT_EQ(all, uploadtext(distinct()));
    room = -1;
    c->receive("get\r", 0);
    tx.pump(*c, 0);  // returns, neither blocked nor holding anything
    EXPECT_TRUE(!tx.blocked() && tx.pending() == 0 && tx.sentbytes() == all.size());
}
