// The simulated controller and its transmitter on their own, on a clock the
// tests move by hand: received bytes in, the lines and bytes it sends out.
#include <gtest/gtest.h>

#include <QByteArrayList>
#include <QList>
#include <memory>

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

constexpr qint64 kSecond = 1'000'000'000;  // the transmitter's clock is in nanoseconds

class SimModel : public ::testing::Test {
  protected:
    std::unique_ptr<Controller> c;
    QByteArray lineend = "\r";
    qint64 now = 0;

    void SetUp() override { make({}); }
    void make(Faults faults, qint64 statusms = 500, Waveform table = distinct()) {
        c = std::make_unique<Controller>(ControllerSettings{statusms, lineend, faults, table});
        now = 0;
    }
    void send(const QByteArray& text) { c->receive(text, now); }
    // Moves the clock to t and takes every line that may go by then, each
    // checked for its line end and given without it.
    QByteArrayList at(qint64 t) {
        c->advance(now = t);
        QByteArrayList out;
        for (QByteArray l; !(l = c->takeline(now)).isEmpty();) {
            EXPECT_TRUE(l.endsWith(lineend)) << l.toStdString();
            out << l.chopped(lineend.size());
            EXPECT_FALSE(out.last().contains('\r')) << l.toStdString();
        }
        return out;
    }
    QByteArrayList taken() { return at(now); }
};

}  // namespace

TEST(SimReader, LinesEndAtCrIgnoreLfLoseTheirBlanksAndAreCappedWhateverThePieces) {
    const QByteArray longline = QByteArray(LineReader::kLineLimit, 'x');
    const std::pair<QByteArray, QByteArrayList> cases[] = {
        {"a\rb\r", {"a", "b"}},
        {"st\nop\r\n", {"stop"}},
        {" \tarm \t\r\r", {"arm", ""}},
        {"get", {}},
        {longline + "\r", {longline}},
        {QByteArray(100000, 'y') + "\rarm\r",
         {QByteArray(LineReader::kLineLimit, 'y') + "...", "arm"}},
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

TEST_F(SimModel, StatusLineEveryIntervalWithUptimeInWholeSecondsNeverInABurst) {
    EXPECT_TRUE(at(499).isEmpty());
    EXPECT_EQ(at(500), QByteArrayList{"stop|0|off"});
    EXPECT_EQ(at(1000), QByteArrayList{"stop|1|off"});
    // Held up: one fresh line instead of a burst, the next a whole interval on.
    EXPECT_EQ(at(7250), QByteArrayList{"stop|7|off"});
    EXPECT_EQ(c->nextevent(now), 7750);
    EXPECT_TRUE(at(7749).isEmpty());
    make({}, 300);
    EXPECT_EQ(at(300), QByteArrayList{"stop|0|off"});
    EXPECT_EQ(c->nextevent(now), 600);
}

TEST_F(SimModel, AProgramOpeningTheLineGetsAStatusLineAtOnceShowingWhatWordsSet) {
    const std::pair<const char*, const char*> steps[] = {
        {"", "stop|0|off"},       {"standby\r", "standby|0|off"},
        {"arm\r", "armed|0|off"}, {"auto_arm_on\r", "armed|0|on"},
        {"stop\r", "stop|0|on"},  {"auto_arm_off\r", "stop|0|off"},
    };
    for (const auto& [command, status] : steps) {
        send(command);
        c->linkup(now);
        EXPECT_EQ(taken(), QByteArrayList{status}) << command;
    }
}

TEST_F(SimModel, UnknownWordsAreNamedInOrderWithoutBarsOrControlsAndCrlfEndsEveryLine) {
    lineend = "\r\n";
    make({});  // every line it sends is checked for CR LF
    send("ARM\rfoo|bar\x01\r \tstandby \r\r" + QByteArray(200, 'x') + "\r");
    const QByteArrayList lines = taken();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines.first(2),
              (QByteArrayList{"unknown command: ARM", "unknown command: foo/bar?"}));
    EXPECT_TRUE(lines[2].startsWith("unknown command: xxxx"));
    EXPECT_LT(lines[2].size(), 80);
    EXPECT_EQ(c->state(), State::Standby);  // blanks around a word and empty lines do no harm
}

TEST_F(SimModel, AnArmedShotPlaysForOneSecondAndMeanwhileOnlyStopGetAndAutoArmAct) {
    send("standby\rshoot\r");
    EXPECT_EQ(taken(), QByteArrayList{"shoot ignored: standby, not armed"});
    send("arm\r");
    EXPECT_EQ(at(1000), QByteArrayList{"armed|1|off"});
    send("shoot\rstandby\rarm\rshoot\rload\rget\r");
    EXPECT_EQ(
        taken(),
        QByteArrayList({"standby ignored: shot 1 in progress", "arm ignored: shot 1 in progress",
                        "shoot ignored: shot 1 in progress", "load ignored: shot 1 in progress"}) +
            points());
    EXPECT_EQ(c->nextevent(now), 1500);  // the status tick comes first
    EXPECT_EQ(at(1500), QByteArrayList{"generate|1|off"});
    EXPECT_EQ(c->nextevent(now), 2000);
    EXPECT_TRUE(at(1999).isEmpty());
    EXPECT_EQ(at(2000), (QByteArrayList{"shot 1 fired", "stop|2|off"}));
    send("arm\rshoot\rauto_arm_on\r");
    EXPECT_EQ(at(3000), (QByteArrayList{"shot 2 fired", "armed|3|on"}));
    send("shoot\r");
    now = 3300;
    send("stop\r");
    EXPECT_EQ(taken(), QByteArrayList{"shot 3 stopped after 300 ms"});
    EXPECT_EQ(at(4000), QByteArrayList{"stop|4|on"});  // and no "fired" later
}

TEST_F(SimModel, LoadStoresExactlyTheValuesItGotAndSaysHowMany) {
    Waveform sent{};
    for (int i = 0; i < kWaveformLength; ++i) sent[i] = static_cast<int16_t>(i * 65 - 32768);
    sent[999] = 32767;
    send("load\r");
    EXPECT_EQ(at(500), QByteArrayList{"load|0|off"});
    // The panel's own upload text in pieces that split records, then one more.
    const QByteArray text = uploadtext(sent) + "4\r";
    for (qsizetype i = 0; i < text.size(); i += 7) send(text.mid(i, 7));
    EXPECT_EQ(c->table(), sent);
    EXPECT_EQ(c->state(), State::Stop);
    EXPECT_EQ(taken(), (QByteArrayList{"loaded 1000 values", "unknown command: 4"}));
}

TEST_F(SimModel, CorruptStoresTheChosenEntriesWrongYetSaysAllCame) {
    Waveform sent = distinct();
    sent[250] = 0;
    sent[500] = 7;
    const std::pair<int, QList<int>> cases[] = {{0, {}}, {1, {500}}, {3, {250, 500, 750}}};
    for (const auto& [n, wrong] : cases) {
        make({.silent = true, .corrupt = n});
        send("load\r" + uploadtext(sent));
        EXPECT_EQ(taken(), QByteArrayList{"loaded 1000 values"});
        Waveform want = sent;
        for (int i : wrong) want[i] = sent[i] == 0 ? 1 : 0;
        EXPECT_EQ(c->table(), want) << n;
    }
    make({.corrupt = 1000});
    send("load\r" + uploadtext(sent));
    for (int i = 0; i < kWaveformLength; ++i) EXPECT_NE(c->table()[i], sent[i]) << i;
}

TEST_F(SimModel, AnythingButAValueAbandonsTheLoadAndACommandWordIsThenCarriedOut) {
    const std::tuple<QByteArray, QByteArrayList, State> cases[] = {
        {"abc", {"unknown command: abc"}, State::Stop},
        {"40000", {"unknown command: 40000"}, State::Stop},
        {"-32769", {"unknown command: -32769"}, State::Stop},
        {"arm", {}, State::Armed},
        {"get", points(), State::Stop},
    };
    for (const auto& [bad, then, state] : cases) {
        make({});
        send("load\r1\r2\r" + bad + "\r");
        EXPECT_EQ(taken(), QByteArrayList{"load abandoned after 2 values, table unchanged"} + then)
            << bad.toStdString();
        EXPECT_EQ(c->state(), state) << bad.toStdString();
        EXPECT_EQ(c->table(), distinct());
    }
}

TEST_F(SimModel, ALoadThatFallsSilentForASecondIsAbandoned) {
    make({.silent = true});
    send("load\r");
    now = 400;
    send("1\r2\r3\r");
    EXPECT_EQ(c->nextevent(now), 1400);
    EXPECT_TRUE(at(1399).isEmpty());
    EXPECT_EQ(at(1400), QByteArrayList{"load abandoned after 3 values, table unchanged"});
    send("4\r");  // no longer taken for a table
    EXPECT_EQ(taken(), QByteArrayList{"unknown command: 4"});
    EXPECT_EQ(c->table(), distinct());
}

TEST_F(SimModel, GetAnswersTheTableVerbatimAndStatusLinesOvertakeItBetweenLines) {
    send("get\r");
    EXPECT_EQ(c->takeline(0), QByteArray::number(distinct()[0]) + "\r");  // the answer has started
    EXPECT_EQ(at(500), QByteArrayList{"stop|0|off"} + points(1));
}

TEST_F(SimModel, SilentSendsNoStatusLinesAndShortAnswersOnlyTheFirstPoints) {
    make({.silent = true, .points = 600});
    EXPECT_TRUE(at(5000).isEmpty());
    c->linkup(now);
    EXPECT_TRUE(taken().isEmpty());
    send("get\rarm\rshoot\r");
    EXPECT_EQ(taken(), points(0, 600));
    EXPECT_EQ(c->nextevent(now), 6000);  // the shot's end, with no status tick to wake for
}

TEST_F(SimModel, BogusValuesAreSpreadAmongAllThePoints) {
    Waveform table{};
    table.fill(50);
    make({.bogus = 5}, 500, table);
    send("get\r");
    const QByteArrayList lines = taken();
    ASSERT_EQ(lines.size(), kWaveformLength + 5);
    QList<int> bogusat{-1};  // where the bogus values are, between the two ends
    for (int i = 0; i < lines.size(); ++i) {
        if (lines[i] == "50") continue;
        const int v = lines[i].toInt();  // 0, inside the range, for no number
        EXPECT_TRUE(v < 0 || v > 100) << lines[i].toStdString();
        bogusat << i;
    }
    bogusat << lines.size();
    ASSERT_EQ(bogusat.size(), 5 + 2);
    // Spread out, not bunched together nor at either end.
    for (int i = 1; i < bogusat.size(); ++i) EXPECT_GT(bogusat[i] - bogusat[i - 1], 100);
}

TEST_F(SimModel, StallHoldsEveryAnswerHalfWayWhileStatusLinesGoOn) {
    make({.stallms = 3000});
    send("get\r");
    EXPECT_EQ(taken(), points(0, 500));
    EXPECT_EQ(at(2600), QByteArrayList{"stop|2|off"});
    EXPECT_EQ(c->nextevent(now), 3000);
    EXPECT_TRUE(at(2999).isEmpty());
    EXPECT_EQ(at(3000), points(500));
    send("get\r");
    EXPECT_EQ(taken().size(), 500);
}

TEST_F(SimModel, NoiseIsOccasionalFreeTextAndNoMessageEverPassesForStatusOrPoint) {
    make({.silent = true, .noise = true});
    QByteArrayList lines;
    for (qint64 t = 0; t <= 20000; t += 100) lines += at(t);
    EXPECT_GE(lines.size(), 10);
    EXPECT_LE(lines.size(), 30);
    const qsizetype noise = lines.size();
    send("arm\rshoot\rarm\rload\r1\rx|y|z\rshoot\rstop\rload\r5\r");
    lines += at(22000);
    EXPECT_GE(lines.size(), noise + 6);
    for (const QByteArray& l : lines) {
        Reception rx{.getting = true};  // even in the middle of a read-back
        Waveform w{};
        EXPECT_FALSE(l.contains('|')) << l.toStdString();
        EXPECT_EQ(interpretline(l, rx, w).kind, LineKind::Message) << l.toStdString();
    }
}

TEST_F(SimModel, PacedAnswerKeepsToTheLinesClockFromItsStartThoughWakeUpsAreLate) {
    constexpr qint64 kLineTime = 347'222'223;  // 4000 bytes at 11520 per second
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
            EXPECT_LE(all.size(), (now - start) * kLineBytesPerSecond / kSecond)
                << "ahead of the line at " << now;
            return n;
        });
        // The clock jumps to each wake-up time plus a lateness taken in turn.
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
    send("get\r");
    QByteArray all;
    qint64 room = 100;
    int calls = 0;
    Transmitter tx(0, [&](const char* d, qint64 n) {
        ++calls;
        if (room < 0) return qint64{-1};  // the device fails
        const qint64 take = std::min(n, room);
        room -= take;
        all.append(d, take);
        return take;
    });
    tx.pump(*c, 0);
    EXPECT_TRUE(tx.blocked());
    EXPECT_EQ(all.size(), 100);
    room = 1 << 20;
    calls = 0;
    tx.pump(*c, 0);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(tx.blocked());
    EXPECT_EQ(tx.pending(), 0);
    EXPECT_EQ(all, uploadtext(distinct()));
    room = -1;
    send("get\r");
    tx.pump(*c, 0);  // returns, neither blocked nor holding anything
    EXPECT_FALSE(tx.blocked());
    EXPECT_EQ(tx.pending(), 0);
    EXPECT_EQ(tx.sentbytes(), all.size());
}
