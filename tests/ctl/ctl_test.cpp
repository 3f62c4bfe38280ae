// gaspuff-ctl, the real program, against the real simulator behind a
// pseudo-terminal: what it prints, what it exits with, what it logs.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "rawpty.h"
#include "simprocess.h"

using namespace gaspuff;

namespace {

struct Ran {
    int exit = -1;  // -1: crashed or still running
    QString out, err;
};

Ran ctl(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(GASPUFF_CTL_PATH), args);
    Ran r;
    if (p.waitForFinished(15000) && p.exitStatus() == QProcess::NormalExit) r.exit = p.exitCode();
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

// What a run shows, row by row: exit status and patterns its outputs match.
struct Expect {
    QStringList args;
    int exit;
    QString out, err;  // regular expressions; an empty out means no output at all
};

void check(const Ran& r, const Expect& e) {
    const std::string what = e.args.join(' ').toStdString() + "\n" + r.err.toStdString();
    EXPECT_EQ(r.exit, e.exit) << what;
    if (e.out.isEmpty())
        EXPECT_EQ(r.out, QString()) << what;
    else
        EXPECT_TRUE(QRegularExpression(e.out).match(r.out).hasMatch())
            << what << r.out.toStdString();
    EXPECT_TRUE(QRegularExpression(e.err).match(r.err).hasMatch()) << what;
}

QByteArray readall(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

class Ctl : public ::testing::Test {
  protected:
    test::PortsFolder ports;
    QTemporaryDir scratch;
    std::unique_ptr<test::SimProcess> sim;

    // The simulator behind Com 10.
    void start(const QStringList& args) {
        sim.reset();
        sim = std::make_unique<test::SimProcess>(args + QStringList{"--port", "10"});
        ASSERT_FALSE(sim->slavepath().isEmpty()) << sim->errors().toStdString();
    }
    Ran on(const QStringList& args) {
        return ctl(QStringList{"--device", sim->slavepath()} + args);
    }
    QString file(const QString& name, const QByteArray& text = {}) {
        const QString path = scratch.filePath(name);
        QFile f(path);
        if (!text.isEmpty() && f.open(QIODevice::WriteOnly)) f.write(text);
        return path;
    }
};

// 1000 lines of the value i % 101, or of value.
QByteArray table(int value = -1) {
    QByteArray text;
    for (int i = 0; i < 1000; ++i) text += QByteArray::number(value < 0 ? i % 101 : value) + '\n';
    return text;
}

}  // namespace

TEST_F(Ctl, StatusPrintsTheNextStatusLineOrTimesOut) {
    const std::pair<QStringList, Expect> cases[] = {
        // Paced, through Com 10, the default port.
        {{}, {{"status"}, 0, "^stop [0-9]+ off\n$", "^$"}},
        {{"--fast"},
         {{"status", "--json"},
          0,
          R"(^\{"autoarm":"off","state":"stop","uptime":"[0-9]+"\}\n$)",
          "^$"}},
        {{"--silent", "--fast"}, {{"status"}, 3, "", "no status line within 2 s"}},
    };
    for (const auto& [simargs, e] : cases) {
        start(simargs);
        check(simargs.isEmpty() ? ctl(e.args) : on(e.args), e);
    }
}

TEST_F(Ctl, EachCommandIsConfirmedByTheStatusItCausesOrSaysWhatCameInstead) {
    start({"--fast", "--status-ms", "50"});
    const Expect steps[] = {
        {{"auto-arm", "on"}, 0, "^stop [0-9]+ on\n$", "^$"},
        {{"standby"}, 0, "^standby [0-9]+ on\n$", "^$"},
        {{"arm"}, 0, "^armed [0-9]+ on\n$", "^$"},
        // Auto-arm on: the shot ends armed again.
        {{"shoot", "--wait"}, 0, "^armed [0-9]+ on\nshot 1 fired\n$", "^$"},
        {{"auto-arm", "off"}, 0, "^armed [0-9]+ off\n$", "^$"},
        {{"shoot", "--json"},
         0,
         R"(^\{"autoarm":"off","state":"generate","uptime":"[0-9]+"\}\n$)",
         "^$"},
        {{"stop"}, 0, "^stop [0-9]+ off\n$", "^$"},
        {{"shoot"},
         4,
         "",
         "shoot not confirmed: the controller reports stop [0-9]+ off\n.*shoot ignored: stop, not "
         "armed"},
    };
    for (const Expect& e : steps) check(on(e.args), e);
}

TEST_F(Ctl, SendIsVerifiedAndGetReturnsTheTableTheControllerHolds) {
    start({"--dump", file("dump")});  // paced
    const QString sent = file("sent", table());
    check(on({"send", "--verify", sent}), {{}, 0, "", "^$"});
    const QByteArray held = readall(file("dump"));
    EXPECT_EQ(held, table().replace("\n", "\r\n"));
    check(on({"get", file("got")}), {{}, 0, "", "^$"});
    EXPECT_EQ(readall(file("got")), held);
    start({"--fast", "--table", file("got")});
    EXPECT_EQ(on({"get"}).out.toLatin1(), held);
}

TEST_F(Ctl, SendToAControllerThatStoresEntriesWrongFailsNamingThem) {
    start({"--fast", "--corrupt", "3"});
    const Ran r = on({"send", file("fifty", table(50))});
    check(r, {{}, 4, "", "3 of the 1000 entries differ"});
    for (const char* line :
         {"t=250: sent 50, holds 0", "t=500: sent 50, holds 0", "t=750: sent 50, holds 0"})
        EXPECT_TRUE(r.err.contains(QLatin1String(line))) << r.err.toStdString();
}

TEST_F(Ctl, ABadCommandLineFileOrPortEndsBeforeAnythingReachesTheLine) {
    test::RawPty pty;
    ports.link(7, "/nonexistent/tty");
    const QString dev = pty.slavepath();
    const Expect cases[] = {
        {{"--device", dev, "send", file("bad", "1\n2x\n")},
         5,
         "",
         "Line 2 of .*bad is not a whole number"},
        {{"--device", dev, "send", file("missing")}, 5, "", "File .*missing does not exist"},
        {{"--port", "7", "status"}, 2, "", "Port 7 does not exist"},
        {{"--device", "/nonexistent", "status"}, 2, "", "Port /nonexistent does not exist"},
        {{"--device", dev, "frob"}, 1, "", "unknown command"},
        {{"--device", dev, "stop", "--wait"}, 1, "", "--wait is for shoot"},
    };
    for (const Expect& e : cases) check(ctl(e.args), e);
    EXPECT_EQ(pty.read(100), QByteArray());
}

TEST_F(Ctl, TheLogRecordsTheSessionInOrderWithControlCharactersEscaped) {
    // CR LF line ends: every line after the first begins with a line feed.
    start({"--crlf", "--fast"});
    const QString log = file("log");
    check(on({"get", "--log", log}), {{}, 0, "^0\r\n", "^$"});
    const QStringList lines = QString::fromLatin1(readall(log)).split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 1004);
    const QRegularExpression stamped(
        R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d) (--|tx|rx) [^\r]+$)");
    for (const QString& line : lines)
        ASSERT_TRUE(stamped.match(line).hasMatch()) << line.toStdString();
    const QString port = " -- port " + sim->slavepath();
    EXPECT_TRUE(lines.first().endsWith(port + " opened"));
    EXPECT_TRUE(lines[1].endsWith(R"( tx get\r)"));
    EXPECT_GE(lines.filter(QRegularExpression(R"( rx \\n[0-9]+$)")).size(), 999);
    EXPECT_TRUE(lines[lines.size() - 2].contains(" -- waveform received 0 0 "));
    EXPECT_TRUE(lines.last().endsWith(port + " closed"));
}

TEST_F(Ctl, ASignalClosesThePortAndEndsWithItsStatus) {
    start({"--silent"});
    const QString log = file("log");
    QProcess p;
    p.start(QStringLiteral(GASPUFF_CTL_PATH),
            {"--device", sim->slavepath(), "status", "--log", log});
    ASSERT_TRUE(QTest::qWaitFor([&] { return readall(log).contains("opened"); }, 1500));
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(3000));
    EXPECT_EQ(p.exitCode(), 143);
    EXPECT_TRUE(readall(log).trimmed().endsWith("closed"));
}
