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
using Outcome = LinkSession::Outcome;

namespace {

// What session tells, one line each, in order.
void record(LinkSession& session, QStringList& heard) {
    QObject::connect(&session, &LinkSession::status, [&](const LineMeaning& m) {
        heard << "status " + QString::fromLatin1(m.state + ' ' + m.uptime + ' ' + m.autoarm);
    });
    QObject::connect(&session, &LinkSession::message,
                     [&](const QByteArray& text) { heard << "message " + text; });
    QObject::connect(&session, &LinkSession::linklost, [&] { heard << "lost"; });
    QObject::connect(&session, &LinkSession::transferstarted, [&](LinkSession::Transfer kind) {
        heard << QStringLiteral("start %1").arg(int(kind));
    });
    QObject::connect(
        &session, &LinkSession::transferfinished,
        [&](LinkSession::Transfer kind, Outcome outcome, const Waveform& table) {
            heard
                << QStringLiteral("end %1 %2 %3").arg(int(kind)).arg(int(outcome)).arg(table[999]);
        });
}

QByteArray points(int16_t value, int count) {
    return (QByteArray::number(value) + '\r').repeated(count);
}

}  // namespace

TEST(Session, SaysEachOpenResultAndWhatClosingDroppedNamingThePortAsGiven) {
    test::FakePort port;
    LinkSession session(&port);
    port.setcommport(10);
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

TEST(Session, WritesAndLogsCommandsAndUploadsAndHandsOnWhatArrives) {
    test::FakePort port;
    LinkSession session(&port);
    QStringList heard;
    record(session, heard);
    EXPECT_FALSE(session.command("arm"));
    EXPECT_EQ(session.error(), "Not connected!");
    QTemporaryDir dir;
    SessionLog log(dir.filePath("session.log"));
    session.setlog(&log);
    port.device = "/dev/ttyACM0";
    session.open();    // Com N is logged with the device it opened
    port.feed("sto");  // a half line, dropped when the port opens again
    session.close();
    session.setgivenname("/dev/link");  // a port given by name, by that device alone
    session.open();
    EXPECT_TRUE(session.takeactivity());
    EXPECT_FALSE(session.takeactivity());
    Waveform table{};
    table[0] = -7, table[999] = 100;  // sent as they are
    EXPECT_TRUE(session.command("arm") && session.upload(table));
    // Every message; of the status lines that came at once the newest only.
    port.feed("p|1|on\r\nhello\r\n12\rq|2|off\r\r");
    port.acceptonly = port.writes.size() + 1;  // "load" taken, the records refused
    EXPECT_FALSE(session.upload(Waveform{}));
    EXPECT_EQ(session.error(), "Write refused by the device");
    port.pullcable();
    EXPECT_EQ(port.writes,
              (QByteArrayList{"arm\r", "load\r", "-7\r" + points(0, 998) + "100\r", "load\r"}));
    EXPECT_EQ(heard, (QStringList{"start 0", "end 0 0 100", "message hello", "message 12",
                                  "status q 2 off", "start 0", "end 0 1 100", "lost"}));
    QFile recorded(dir.filePath("session.log"));
    ASSERT_TRUE(recorded.open(QIODevice::ReadOnly));
    const QString text = recorded.readAll();
    EXPECT_TRUE(
        QRegularExpression(
            R"(-- port Com 1 opened \(/dev/ttyACM0\)\n.*-- port Com 1 closed )"
            R"(\(/dev/ttyACM0\)\n.* port /dev/ttyACM0 opened\n.* tx arm\\r\n.* tx load\\r\n)"
            R"(.* -- waveform sent )"
            R"(-7 0 .*\n.* rx p\|1\|on\n(.* rx .*\n){4}.* tx load\\r\n.*)"
            R"( -- port /dev/ttyACM0 lost\n$)")
            .match(text)
            .hasMatch())
        << text.toStdString();
}

TEST(Session, AReadBackEndsWithItsLastPointItsDeadlineTheLinkOrClosing) {
    // What ends it, how, and whether "get" must then wait for the rest of the answer.
    using End = std::function<void(test::FakePort&, LinkSession&)>;
    const std::tuple<End, Outcome, bool> endings[] = {
        {[](test::FakePort& p, LinkSession&) { p.feed(points(40, 500)); }, Outcome::Done, false},
        {[](test::FakePort&, LinkSession& s) { s.expire(); }, Outcome::TimedOut, true},
        {[](test::FakePort& p, LinkSession&) { p.pullcable(); }, Outcome::LinkLost, false},
        {[](test::FakePort&, LinkSession& s) { s.close(); }, Outcome::Closed, true},
    };
    for (const auto& [end, outcome, late] : endings) {
        test::FakePort p;
        LinkSession s(&p);  // a session of its own: no late answer on record
        QStringList heard;
        record(s, heard);
        EXPECT_FALSE(s.get());
        EXPECT_EQ(s.error(), "Not connected!");
        s.open();
        ASSERT_TRUE(s.get());
        EXPECT_EQ(std::tuple(s.transferring(), s.deadline()->isActive(), s.deadline()->interval()),
                  std::tuple(true, true, 2000));
        p.feed("101\r-1\r" + points(30, 500));  // staged, not yet the table
        EXPECT_EQ(std::tuple(s.reception().pointcount, s.reception().boguscount, s.table()[0]),
                  std::tuple(500, 2, 0));
        end(p, s);
        const int last = outcome == Outcome::Done ? 40 : 0;
        EXPECT_EQ(heard.filter("end"),
                  QStringList(QStringLiteral("end 1 %1 %2").arg(int(outcome)).arg(last)));
        EXPECT_EQ(std::tuple(s.transferring(), s.deadline()->isActive(), s.getdelay() > 0),
                  std::tuple(false, false, late))
            << int(outcome);
        if (!p.isopen()) continue;
        EXPECT_EQ(s.get(), !late);  // nothing written while the rest may come
        EXPECT_EQ(p.writes.size(), late ? 1 : 2);
        EXPECT_EQ(s.error().startsWith("An earlier answer may still be arriving: Get again in "),
                  late);
    }
}
