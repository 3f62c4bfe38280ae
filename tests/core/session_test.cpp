// SPDX-License-Identifier: MIT
// The session on a port: its words, what it writes and logs, the lines it
// hands on, and how each transfer ends.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "fakeport.h"
#include "protocol/linksession.h"
#include "protocol/sessionlog.h"

using namespace gaspuff;
using Transfer = LinkSession::Transfer;
using Outcome = LinkSession::Outcome;

namespace {

class Session : public ::testing::Test {
  protected:
    test::FakePort port;
    LinkSession session{&port};
    QStringList heard;  // what the session told, in order
    void SetUp() override {
        port.setcommport(10);
        QObject::connect(&session, &LinkSession::status, [&](const LineMeaning& m) {
            heard << "status " + QString::fromLatin1(m.state + ' ' + m.uptime + ' ' + m.autoarm);
        });
        QObject::connect(&session, &LinkSession::message,
                         [&](const QByteArray& text) { heard << "message " + text; });
        QObject::connect(&session, &LinkSession::linklost, [&] { heard << "lost"; });
        QObject::connect(&session, &LinkSession::transferstarted, [&](Transfer kind) {
            heard << QStringLiteral("start %1").arg(int(kind));
        });
        QObject::connect(&session, &LinkSession::transferfinished,
                         [&](Transfer kind, Outcome outcome, const Waveform& table) {
                             heard << QStringLiteral("end %1 %2 %3")
                                          .arg(int(kind))
                                          .arg(int(outcome))
                                          .arg(table[999]);
                         });
    }
    static QByteArray points(int16_t value, int count) {
        return (QByteArray::number(value) + '\r').repeated(count);
    }
};

}  // namespace

TEST_F(Session, SaysEachOpenResultAndWhatClosingDroppedNamingThePortAsGiven) {
    // The name given (empty: Com N), the open's result, the words.
    const std::tuple<QString, SerialPort::OpenResult, QString> cases[] = {
        {"", SerialPort::NoSuchPort, "Port 10 does not exist"},
        {"", SerialPort::AlreadyOpen, "Port 10 is already open"},
        {"/dev/ttyUSB0", SerialPort::OpenFailed, "Port /dev/ttyUSB0 open failed"},
        {"tcp://lab:4001", SerialPort::Opened, "Port tcp://lab:4001 open successfully"},
    };
    for (const auto& [given, result, words] : cases) {
        session.setgivenname(given);
        port.nextopen = result;
        EXPECT_EQ(session.open(), result);
        EXPECT_EQ(std::tuple(session.openwords(result), port.isopen()),
                  std::tuple(words, result == SerialPort::Opened));
    }
    port.unsentatclose = 12;
    EXPECT_EQ(session.unsentwords(session.close()),
              "12 characters of output not sent: the line did not take them");
    EXPECT_EQ(std::tuple(session.close(), port.closes), std::tuple(0, 1));  // closed: left alone
}

TEST_F(Session, WritesFramedCommandsAndTheUploadAndLogsWhatPassed) {
    EXPECT_FALSE(session.command("arm"));
    EXPECT_EQ(session.error(), "Not connected!");
    QTemporaryDir dir;
    SessionLog log(dir.filePath("session.log"));
    session.setlog(&log);
    session.setgivenname("/dev/link");
    port.device = "/dev/ttyACM0";
    session.open();
    port.feed("sto");  // a half line, dropped when the port opens again
    session.close();
    session.open();
    Waveform table{};
    table[0] = -7, table[999] = 100;  // sent as they are
    EXPECT_TRUE(session.command("arm") && session.upload(table));
    port.feed("p|1|on\r\nhello\r");
    port.acceptonly = port.writes.size() + 1;  // "load" taken, the records refused
    EXPECT_FALSE(session.upload(Waveform{}));
    EXPECT_EQ(session.error(), "Write refused by the device");
    port.pullcable();
    EXPECT_EQ(port.writes,
              (QByteArrayList{"arm\r", "load\r", "-7\r" + points(0, 998) + "100\r", "load\r"}));
    EXPECT_EQ(heard, (QStringList{"start 0", "end 0 0 100", "message hello", "status p 1 on",
                                  "start 0", "end 0 1 100", "lost"}));
    EXPECT_EQ(session.table()[0], -7);
    QFile recorded(dir.filePath("session.log"));
    ASSERT_TRUE(recorded.open(QIODevice::ReadOnly));
    const QString text = recorded.readAll();
    EXPECT_TRUE(
        QRegularExpression(R"(-- port /dev/ttyACM0 opened\n.*-- port /dev/ttyACM0 closed)"
                           R"(\n.*opened\n.* tx arm\\r\n.* tx load\\r\n.* -- waveform sent )"
                           R"(-7 0 .*\n.* rx p\|1\|on\n.* rx hello\n.* tx load\\r\n.*)"
                           R"( -- port /dev/ttyACM0 lost\n$)")
            .match(text)
            .hasMatch())
        << text.toStdString();
}

TEST_F(Session, TellsTheNewestStatusOfABatchAndEveryMessageAndMarksActivity) {
    session.open();
    EXPECT_FALSE(session.takeactivity());
    port.feed("stop|5|off\r\nbye\r\narm");
    port.feed("ed|6|on\r12\rx|7|on\r\r");
    EXPECT_TRUE(session.takeactivity());
    EXPECT_FALSE(session.takeactivity());
    EXPECT_EQ(heard,
              (QStringList{"message bye", "status stop 5 off", "message 12", "status x 7 on"}));
}

TEST_F(Session, AReadBackEndsWithItsLastPointItsDeadlineTheLinkOrClosing) {
    EXPECT_FALSE(session.get());
    EXPECT_EQ(session.error(), "Not connected!");
    using End = std::function<void(test::FakePort&, LinkSession&)>;
    // What ends it, how, and whether "get" must then wait for the rest of the answer.
    const std::tuple<End, Outcome, bool> endings[] = {
        {[](test::FakePort& p, LinkSession&) { p.feed(points(40, 500)); }, Outcome::Done, false},
        {[](test::FakePort&, LinkSession& s) { s.expire(); }, Outcome::TimedOut, true},
        {[](test::FakePort& p, LinkSession&) { p.pullcable(); }, Outcome::LinkLost, false},
        {[](test::FakePort&, LinkSession& s) { s.close(); }, Outcome::Closed, true},
    };
    for (const auto& [end, outcome, late] : endings) {
        test::FakePort p;  // a session of its own: no late answer on record
        LinkSession s(&p);
        QList<std::tuple<Transfer, Outcome, int16_t>> ended;
        QObject::connect(&s, &LinkSession::transferfinished,
                         [&](Transfer kind, Outcome o, const Waveform& t) {
                             ended.append({kind, o, t[999]});
                         });
        s.open();
        ASSERT_TRUE(s.get());
        EXPECT_EQ(std::tuple(s.transferring(), s.deadline()->isActive(), s.deadline()->interval()),
                  std::tuple(true, true, 2000));
        p.feed("101\r-1\r" + points(30, 500));  // staged, not yet the table
        EXPECT_EQ(std::tuple(s.reception().pointcount, s.reception().boguscount, s.table()[0]),
                  std::tuple(500, 2, 0));
        end(p, s);
        const int16_t last = outcome == Outcome::Done ? 40 : 0;
        EXPECT_EQ(
            ended,
            (QList<std::tuple<Transfer, Outcome, int16_t>>{{Transfer::ReadBack, outcome, last}}))
            << int(outcome);
        EXPECT_EQ(std::tuple(s.transferring(), s.deadline()->isActive(), s.table()[999]),
                  std::tuple(false, false, last));
        EXPECT_EQ(s.getdelay() > 0, late) << int(outcome);
        if (!late || !p.isopen()) continue;
        p.writes.clear();
        EXPECT_FALSE(s.get());
        EXPECT_TRUE(QRegularExpression("^An earlier answer may still be arriving: Get again in "
                                       "[12] s$")
                        .match(s.error())
                        .hasMatch());
        EXPECT_TRUE(p.writes.isEmpty());
    }
}
