// The simulated controller on its own: received bytes and a clock in, the
// lines it would send out.
#include "controller.h"

#include <gtest/gtest.h>

#include <QByteArrayList>
#include <memory>

#include "protocol/interpreter.h"
#include "protocol/number.h"
#include "protocol/records.h"

using namespace gaspuff;
using namespace gaspuff::sim;

namespace {

// A different value at almost every index, some outside 0..100.
Waveform distinct() {
    Waveform w{};
    for (int i = 0; i < kWaveformLength; ++i) w[i] = static_cast<int16_t>((i * 37) % 211 - 50);
    return w;
}

bool isstatus(const QByteArray& line) {
    return line.count('|') == 2;
}

class ControllerModel : public ::testing::Test {
  protected:
    std::unique_ptr<Controller> c;
    QByteArray lineend = "\r";
    qint64 now = 0;
    int loadedcalls = 0;
    Waveform loadedtable{};

    void SetUp() override { make({}); }

    void make(Faults faults, qint64 statusms = 500, Waveform table = distinct()) {
        ControllerSettings s;
        s.faults = faults;
        s.statusms = statusms;
        s.lineend = lineend;
        s.table = table;
        c = std::make_unique<Controller>(s);
        c->onloaded = [this](const Waveform& w) {
            ++loadedcalls;
            loadedtable = w;
        };
        now = 0;
    }
    void send(const QByteArray& text) { c->receive(text, now); }
    // Moves the clock to t and takes every line that may go by then, each
    // checked for its line end and given without it.
    QByteArrayList at(qint64 t) {
        now = t;
        c->advance(now);
        QByteArrayList out;
        for (QByteArray l; !(l = c->takeline(now)).isEmpty();) {
            EXPECT_TRUE(l.endsWith(lineend)) << l.toStdString();
            l.chop(lineend.size());
            EXPECT_FALSE(l.contains('\r')) << l.toStdString();
            out << l;
        }
        return out;
    }
    QByteArrayList taken() { return at(now); }
    static QByteArrayList withoutstatus(const QByteArrayList& lines) {
        QByteArrayList out;
        for (const QByteArray& l : lines)
            if (!isstatus(l)) out << l;
        return out;
    }
    QByteArray statusat(qint64 t) {
        for (const QByteArray& l : at(t))
            if (isstatus(l)) return l;
        return {};
    }
};

using ControllerStatus = ControllerModel;
using ControllerCommands = ControllerModel;
using ControllerShot = ControllerModel;
using ControllerLoad = ControllerModel;
using ControllerGet = ControllerModel;
using ControllerFaults = ControllerModel;

}  // namespace

TEST_F(ControllerStatus, StartsStoppedWithAutoArmOffAndSaysNothingBeforeTheFirstTick) {
    EXPECT_EQ(c->state(), State::Stop);
    EXPECT_FALSE(c->autoarm());
    EXPECT_EQ(c->table(), distinct());
    EXPECT_TRUE(at(499).isEmpty());
    EXPECT_EQ(at(500), QByteArrayList{"stop|0|off"});
    EXPECT_TRUE(at(999).isEmpty());
    EXPECT_EQ(at(1000), QByteArrayList{"stop|1|off"});
}

TEST_F(ControllerStatus, EveryIntervalOneLineWithUptimeInWholeSeconds) {
    make({}, 300);
    EXPECT_EQ(at(300), QByteArrayList{"stop|0|off"});
    EXPECT_EQ(at(600), QByteArrayList{"stop|0|off"});
    EXPECT_EQ(at(1200), QByteArrayList{"stop|1|off"});
    EXPECT_EQ(c->nextevent(now), 1500);
}

TEST_F(ControllerStatus, AfterAHoldUpOneFreshLineInsteadOfABurst) {
    EXPECT_EQ(at(500).size(), 1);
    EXPECT_EQ(at(7250), QByteArrayList{"stop|7|off"});
    EXPECT_EQ(c->nextevent(now), 7750);
    EXPECT_TRUE(at(7749).isEmpty());
}

TEST_F(ControllerStatus, OpeningTheLineBringsAStatusLineAtOnce) {
    EXPECT_EQ(at(2400).size(), 1);  // the tick that fell due meanwhile
    c->linkup(now);
    EXPECT_EQ(taken(), (QByteArrayList{"stop|2|off"}));
    send("arm\r");
    c->linkup(now);
    EXPECT_EQ(taken(), (QByteArrayList{"armed|2|off"}));
}

TEST_F(ControllerStatus, CrlfEndsEveryLineWithBoth) {
    lineend = "\r\n";
    make({});
    send("foo\r");
    const QByteArrayList lines = at(500);  // each checked for CR LF
    EXPECT_EQ(lines, (QByteArrayList{"stop|0|off", "unknown command: foo"}));
}

TEST_F(ControllerCommands, WordsSetTheStateAndTheAutoArmField) {
    const std::pair<const char*, const char*> steps[] = {
        {"standby\r", "standby|0|off"},   {"arm\r", "armed|0|off"},
        {"auto_arm_on\r", "armed|0|on"},  {"stop\r", "stop|0|on"},
        {"auto_arm_off\r", "stop|0|off"},
    };
    for (const auto& [command, status] : steps) {
        send(command);
        c->linkup(now);
        EXPECT_EQ(taken(), QByteArrayList{status}) << command;
    }
}

TEST_F(ControllerCommands, LinesMaySplitAnywhereAndCarryBlanksOrALineFeed) {
    for (const QByteArray piece : {"st", "and", "by\r\n ar", "m \r"}) send(piece);
    EXPECT_EQ(c->state(), State::Armed);
    EXPECT_TRUE(taken().isEmpty());  // no answer, no complaint
    send("\t\r\r\r");                // empty lines are ignored
    EXPECT_TRUE(taken().isEmpty());
}

TEST_F(ControllerCommands, UnknownWordIsNamedWithoutABarOrControlCharacters) {
    send("ARM\r");
    send("foo|bar\x01\r");
    send(QByteArray(200, 'x') + "\r");
    const QByteArrayList lines = taken();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "unknown command: ARM");
    EXPECT_EQ(lines[1], "unknown command: foo/bar?");
    EXPECT_TRUE(lines[2].startsWith("unknown command: xxxx"));
    EXPECT_LT(lines[2].size(), 80);
    EXPECT_EQ(c->state(), State::Stop);
}

TEST_F(ControllerCommands, AnswersKeepTheOrderOfTheirCommands) {
    send("one\rtwo\rthree\r");
    EXPECT_EQ(taken(), (QByteArrayList{"unknown command: one", "unknown command: two",
                                       "unknown command: three"}));
}

TEST_F(ControllerShot, ArmedShotPlaysForOneSecondThenStops) {
    send("arm\r");
    EXPECT_EQ(at(1000), (QByteArrayList{"armed|1|off"}));
    send("shoot\r");
    EXPECT_EQ(c->state(), State::Generate);
    EXPECT_EQ(c->shots(), 1);
    EXPECT_EQ(c->nextevent(now), 1500);  // the status tick comes first
    EXPECT_EQ(statusat(1500), "generate|1|off");
    EXPECT_EQ(c->nextevent(now), 2000);
    EXPECT_TRUE(withoutstatus(at(1999)).isEmpty());
    EXPECT_EQ(c->state(), State::Generate);
    EXPECT_EQ(at(2000), (QByteArrayList{"shot 1 fired", "stop|2|off"}));
    EXPECT_EQ(c->state(), State::Stop);
}

TEST_F(ControllerShot, WithAutoArmTheShotEndsArmedAndShotsAreCounted) {
    send("auto_arm_on\rarm\rshoot\r");
    at(1000);
    EXPECT_EQ(c->state(), State::Armed);
    send("shoot\r");
    EXPECT_EQ(withoutstatus(at(2000)), QByteArrayList{"shot 2 fired"});
    EXPECT_EQ(c->state(), State::Armed);
    EXPECT_EQ(c->shots(), 2);
}

TEST_F(ControllerShot, ShootWhenNotArmedIsRefusedAndSaysSo) {
    send("standby\rshoot\r");
    EXPECT_EQ(taken(), QByteArrayList{"shoot ignored: standby, not armed"});
    EXPECT_EQ(c->state(), State::Standby);
    EXPECT_EQ(c->shots(), 0);
}

TEST_F(ControllerShot, StopCutsTheShotShort) {
    send("arm\rshoot\r");
    now = 300;
    send("stop\r");
    EXPECT_EQ(c->state(), State::Stop);
    EXPECT_EQ(taken(), QByteArrayList{"shot 1 stopped after 300 ms"});
    EXPECT_TRUE(withoutstatus(at(1500)).isEmpty());  // no "fired" later
}

TEST_F(ControllerShot, WhileGeneratingOnlyStopGetAndAutoArmAct) {
    send("arm\rshoot\r");
    send("standby\rarm\rshoot\rload\rauto_arm_on\r");
    EXPECT_EQ(
        taken(),
        (QByteArrayList{"standby ignored: shot 1 in progress", "arm ignored: shot 1 in progress",
                        "shoot ignored: shot 1 in progress", "load ignored: shot 1 in progress"}));
    EXPECT_EQ(c->state(), State::Generate);
    EXPECT_TRUE(c->autoarm());
    send("get\r");
    EXPECT_EQ(taken().size(), kWaveformLength);
    EXPECT_EQ(c->state(), State::Generate);
}

TEST_F(ControllerLoad, StoresExactlyTheValuesItGotAndSaysHowMany) {
    Waveform sent{};
    for (int i = 0; i < kWaveformLength; ++i) sent[i] = static_cast<int16_t>(i * 65 - 32768);
    sent[999] = 32767;
    send("load\r");
    EXPECT_EQ(c->state(), State::Load);
    EXPECT_EQ(statusat(500), "load|0|off");
    // The panel's own upload text, in pieces that split records.
    const QByteArray text = uploadtext(sent);
    for (qsizetype i = 0; i < text.size(); i += 7) send(text.mid(i, 7));
    EXPECT_EQ(c->table(), sent);
    EXPECT_EQ(c->state(), State::Stop);
    EXPECT_EQ(taken(), QByteArrayList{"loaded 1000 values"});
    EXPECT_EQ(loadedcalls, 1);
    EXPECT_EQ(loadedtable, sent);
}

TEST_F(ControllerLoad, ValuesAreReadAsThePanelReadsNumbers) {
    send("load\r");
    send(" 7 \r+8\r9.5\r10.5\r\n11\r1e1\r");
    send(QByteArray("0\r").repeated(kWaveformLength - 6));
    ASSERT_EQ(c->state(), State::Stop);
    const int16_t expected[] = {7, 8, 10, 10, 11, 10};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(c->table()[i], expected[i]) << i;
}

TEST_F(ControllerLoad, ACommandWordEndsAShortLoadAndIsCarriedOut) {
    send("load\r");
    send(QByteArray("55\r").repeated(10));
    send("get\r");
    const QByteArrayList lines = taken();
    ASSERT_EQ(lines.size(), 1 + kWaveformLength);
    EXPECT_EQ(lines[0], "load abandoned after 10 values, table unchanged");
    EXPECT_EQ(lines[1], QByteArray::number(distinct()[0]));
    EXPECT_EQ(c->table(), distinct());
    EXPECT_EQ(c->state(), State::Stop);
    EXPECT_EQ(loadedcalls, 0);
}

TEST_F(ControllerLoad, ATextOrAnOutOfRangeNumberEndsTheLoad) {
    for (const QByteArray bad : {"abc", "40000", "-32769"}) {
        send("load\r1\r2\r" + bad + "\r");
        EXPECT_EQ(taken(), (QByteArrayList{"load abandoned after 2 values, table unchanged",
                                           "unknown command: " + bad}));
        EXPECT_EQ(c->state(), State::Stop);
    }
    EXPECT_EQ(c->table(), distinct());
}

TEST_F(ControllerLoad, ALoadThatFallsSilentForASecondIsAbandoned) {
    send("load\r");
    now = 400;
    send("1\r2\r3\r");
    EXPECT_EQ(c->nextevent(now), 500);
    at(500);
    EXPECT_EQ(c->nextevent(now), 1000);
    EXPECT_TRUE(withoutstatus(at(1399)).isEmpty());
    EXPECT_EQ(c->state(), State::Load);
    EXPECT_EQ(withoutstatus(at(1400)),
              QByteArrayList{"load abandoned after 3 values, table unchanged"});
    EXPECT_EQ(c->state(), State::Stop);
    // Values after that are no longer taken for a table.
    send("4\r");
    EXPECT_EQ(taken(), QByteArrayList{"unknown command: 4"});
    EXPECT_EQ(c->table(), distinct());
}

TEST_F(ControllerLoad, ValuesBeyondTheThousandthAreNotPartOfTheTable) {
    send("load\r" + QByteArray("3\r").repeated(kWaveformLength) + "4\r");
    EXPECT_EQ(taken(), (QByteArrayList{"loaded 1000 values", "unknown command: 4"}));
    EXPECT_EQ(c->table()[999], 3);
}

TEST_F(ControllerGet, AnswersEveryEntryVerbatimInIndexOrder) {
    send("get\r");
    const QByteArrayList lines = taken();
    ASSERT_EQ(lines.size(), kWaveformLength);
    for (int i = 0; i < kWaveformLength; ++i)
        ASSERT_EQ(lines[i], QByteArray::number(distinct()[i])) << i;
    EXPECT_EQ(c->state(), State::Stop);  // reading the table changes nothing
}

TEST_F(ControllerGet, AnswerReadBackByThePanelEqualsTheTable) {
    Waveform table{};
    for (int i = 0; i < kWaveformLength; ++i) table[i] = static_cast<int16_t>((i * 7) % 101);
    make({}, 500, table);
    send("get\r");
    Reception rx;
    rx.getting = true;
    Waveform got{};
    for (const QByteArray& l : taken()) interpretline(l, rx, got);
    EXPECT_EQ(got, table);
}

TEST_F(ControllerGet, StatusLinesOvertakeALongAnswerBetweenTwoLines) {
    send("get\r");
    now = 0;
    c->takeline(0);  // the answer has started
    const QByteArrayList lines = at(500);
    ASSERT_EQ(lines.size(), kWaveformLength);  // 999 points and a status line
    EXPECT_EQ(lines[0], "stop|0|off");
}

TEST_F(ControllerFaults, SilentSendsNoStatusLinesButStillAnswers) {
    make({.silent = true});
    EXPECT_TRUE(at(5000).isEmpty());
    c->linkup(now);
    EXPECT_TRUE(taken().isEmpty());
    send("shoot\r");
    EXPECT_EQ(taken(), QByteArrayList{"shoot ignored: stop, not armed"});
}

TEST_F(ControllerFaults, ShortAnswersOnlyTheFirstPoints) {
    make({.points = 600});
    send("get\r");
    const QByteArrayList lines = taken();
    ASSERT_EQ(lines.size(), 600);
    for (int i = 0; i < 600; ++i) ASSERT_EQ(lines[i], QByteArray::number(distinct()[i])) << i;
}

TEST_F(ControllerFaults, BogusValuesAreMixedInAmongAllThePoints) {
    Waveform table{};
    table.fill(50);
    make({.bogus = 5}, 500, table);
    send("get\r");
    const QByteArrayList lines = taken();
    ASSERT_EQ(lines.size(), kWaveformLength + 5);
    QList<int> at;
    for (int i = 0; i < lines.size(); ++i) {
        const Number n = tonumber(lines[i].toStdString());
        ASSERT_EQ(n.status, NumberStatus::Ok) << lines[i].toStdString();
        if (n.value != 50) {
            EXPECT_TRUE(n.value < 0 || n.value > 100) << n.value;
            at << i;
        }
    }
    ASSERT_EQ(at.size(), 5);
    // Spread out, not bunched at either end.
    EXPECT_GT(at.first(), 100);
    EXPECT_LT(at.last(), lines.size() - 100);
    for (int i = 1; i < at.size(); ++i) EXPECT_GT(at[i] - at[i - 1], 100);

    Reception rx;
    rx.getting = true;
    Waveform got{};
    for (const QByteArray& l : lines) interpretline(l, rx, got);
    EXPECT_EQ(got, table);  // all 1000 good points still arrived
}

TEST_F(ControllerFaults, StallHoldsTheAnswerHalfWayWhileStatusLinesGoOn) {
    make({.stallms = 3000});
    send("get\r");
    QByteArrayList lines = taken();
    ASSERT_EQ(lines.size(), 500);
    EXPECT_EQ(lines.last(), QByteArray::number(distinct()[499]));
    EXPECT_EQ(c->nextevent(now), 500);
    EXPECT_EQ(at(500), QByteArrayList{"stop|0|off"});
    EXPECT_EQ(at(2600), QByteArrayList{"stop|2|off"});
    EXPECT_EQ(c->nextevent(now), 3000);
    EXPECT_TRUE(at(2999).isEmpty());
    lines = at(3000);
    ASSERT_EQ(lines.size(), 500);
    EXPECT_EQ(lines[0], QByteArray::number(distinct()[500]));
    send("get\r");
    EXPECT_EQ(taken().size(), 500);  // every answer stalls
}

TEST_F(ControllerFaults, NoiseIsOccasionalFreeTextThePanelCanOnlyShowAsAMessage) {
    make({.silent = true, .noise = true});
    QByteArrayList lines;
    for (qint64 t = 0; t <= 20000; t += 100) lines += at(t);
    EXPECT_GE(lines.size(), 10);
    EXPECT_LE(lines.size(), 30);
    for (const QByteArray& l : lines) {
        EXPECT_FALSE(l.contains('|')) << l.toStdString();
        EXPECT_EQ(tonumber(l.toStdString()).status, NumberStatus::NotNumeric) << l.toStdString();
        Reception rx;
        rx.getting = true;  // even in the middle of a read-back
        Waveform w{};
        EXPECT_EQ(interpretline(l, rx, w).kind, LineKind::Message);
    }
    // Without the option: nothing unasked at all.
    make({.silent = true});
    for (qint64 t = 0; t <= 20000; t += 100) EXPECT_TRUE(at(t).isEmpty());
}

TEST_F(ControllerFaults, NoMessageEverLooksLikeAStatusLine) {
    make({.silent = true, .noise = true});
    send("arm\rshoot\rarm\rload\r1\rx|y|z\rshoot\rstop\rload\r5\r");
    QByteArrayList lines;
    for (qint64 t = 0; t <= 5000; t += 250) lines += at(t);
    EXPECT_GE(lines.size(), 6);
    for (const QByteArray& l : lines) EXPECT_FALSE(l.contains('|')) << l.toStdString();
}
