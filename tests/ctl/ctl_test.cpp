// gaspuff-ctl, the real program, against the real simulator behind a
// pseudo-terminal, or against a test playing the controller on a raw line:
// what it prints, what it exits with, what it logs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

#include "rawpty.h"
#include "simprocess.h"

using namespace gaspuff;

namespace {

QByteArray readall(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

struct Outcome {
    int exit = -2;  // -1: crashed, -2: did not end within 15 s
    QString out, err;
    std::string text() const {
        return QStringLiteral("exit %1\n%2%3").arg(exit).arg(out.left(300), err).toStdString();
    }
};

Outcome ctl(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(GASPUFF_CTL_PATH), args);
    Outcome r;
    if (p.waitForFinished(15000))
        r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    else
        p.kill(), p.waitForFinished();
    r.out = p.readAllStandardOutput(), r.err = p.readAllStandardError();
    return r;
}

// One run against a simulator of its own, started with sim (none when empty;
// by default paced, a status line every 50 ms), after the setup commands, each
// of which must succeed: its exit status and patterns its outputs match.
struct Row {
    QStringList args;
    int exit;
    QString out, err = "^$";
    QStringList sim = {"--status-ms", "50"};
    QStringList setup = {};
};

void runrows(const std::vector<Row>& rows) {
    test::PortsFolder ports;  // the simulator links itself as Com 10, the default port
    ports.link(7, "/nonexistent/tty");
    for (const Row& r : rows) {
        const std::string name = r.args.join(' ').toStdString();
        std::optional<test::SimProcess> sim;
        if (!r.sim.isEmpty() && sim.emplace(r.sim).slavepath().isEmpty()) {
            ADD_FAILURE() << name << ": no simulator: " << sim->errors().toStdString();
            continue;
        }
        bool ready = true;
        for (const QString& step : r.setup)
            if (const Outcome s = ctl(step.split(' ')); ready && s.exit != 0)
                ready = false, ADD_FAILURE() << name << ": setup " << step.toStdString()
                                             << " failed: " << s.text();
        if (!ready) continue;
        const Outcome run = ctl(r.args);
        EXPECT_TRUE(run.exit == r.exit && QRegularExpression(r.out).match(run.out).hasMatch() &&
                    QRegularExpression(r.err).match(run.err).hasMatch())
            << name << ": " << run.text();
    }
}

// A table whose every entry differs from its neighbours, in the file format.
QByteArray counting() {
    QByteArray text;
    for (int i = 0; i < 1000; ++i) text += QByteArray::number(i % 101) + "\r\n";
    return text;
}

QString writefile(const QTemporaryDir& dir, const char* name, const QByteArray& text) {
    QFile f(dir.filePath(name));
    if (!text.isEmpty() && f.open(QIODevice::WriteOnly)) f.write(text);
    return f.fileName();
}

}  // namespace

TEST(Ctl, CommandsWaitForTheStatusThatConfirmsThemAndExitWithWhy) {
    test::RawPty line;  // where a bad file would go: it must stay silent
    QTemporaryDir dir;
    const QString dev = line.slavepath();
    const QString bad = writefile(dir, "bad", "1\n2x\n"), missing = dir.filePath("missing");
    const QStringList none, paced{"--status-ms", "50"};
    const QString fired = "^armed [0-9]+ on\nshot 1 fired\n$";  // armed again: auto-arm
    const QString json = R"(^\{"autoarm":"off","state":"stop","uptime":"[0-9]+"\}\n$)";
    runrows({
        {{"status"}, 0, "^stop [0-9]+ off\n$"},
        {{"status", "--json"}, 0, json},
        {{"auto-arm", "on"}, 0, "^stop [0-9]+ on\n$"},
        {{"standby"}, 0, "^standby [0-9]+ off\n$"},
        {{"arm"}, 0, "^armed [0-9]+ off\n$"},
        {{"shoot", "--wait"}, 0, fired, "^$", paced, {"auto-arm on", "arm"}},
        {{"shoot"}, 0, "^generate [0-9]+ off\n$", "^$", paced, {"arm"}},
        {{"stop"}, 0, "^stop [0-9]+ off\n$", "^$", paced, {"arm", "shoot"}},
        {{"shoot"}, 4, "^$", "shoot not confirmed: .* reports stop [0-9]+ off\n.*shoot ignored"},
        {{"status"}, 3, "^$", "no status line within 2 s", {"--fast", "--silent"}},
        {{"--device", dev, "send", bad}, 5, "^$", "Line 2 of .*bad is not", none},
        {{"--device", dev, "send", missing}, 5, "^$", "File .*missing does not exist", none},
        {{"--port", "7", "status"}, 2, "^$", "Port 7 does not exist", none},
        {{"frob"}, 1, "^$", "unknown command", none},
    });
    EXPECT_EQ(line.read(100), QByteArray());
}

TEST(Ctl, SendVerifiesTheTableAndGetSavesIt) {
    QTemporaryDir dir;
    const QString held = writefile(dir, "held", counting()), got = dir.filePath("got"),
                  log = dir.filePath("log");
    const QString fifties = writefile(dir, "fifties", QByteArray("50\n").repeated(1000));
    QByteArray wide = QByteArray("50\n").repeated(1000);
    wide.replace(17 * 3, 3, "150\n").replace(0, 3, "-5\n");
    QString differ = "3 of the 1000 entries not read back as sent\n";  // and the first few
    for (int t : {250, 500, 750}) differ += QString(".*t=%1: sent 50, holds 0\n").arg(t);
    const QString dropped =
        "2 of the 1000 entries not read back as sent\n"
        ".*t=0: sent -5, outside 0..100.*\n.*t=17: sent 150, outside 0..100";
    runrows({
        {{"send", fifties}, 0, "^$", "^$", {"--fast", "--status-ms", "50"}},  // verified
        {{"get"}, 0, "^(50\r\n){1000}$", "^$", {"--fast", "--table", fifties}},
        // CR LF line ends: the LF ends the line, it reaches no line nor the log.
        {{"get", got, "--log", log}, 0, "^$", "^$", {"--crlf", "--fast", "--table", held}},
        {{"send", fifties}, 4, "^$", differ, {"--fast", "--corrupt", "3"}},
        // Values a read-back drops: a verification failure once all 1000 came.
        {{"send", writefile(dir, "wide", wide)}, 4, "^$", dropped, {"--fast"}},
    });
    EXPECT_EQ(readall(got), counting());
    // The get's session in order, each line stamped, control characters escaped.
    const QString at = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}\S* )";
    const QRegularExpression session("^" + at + "-- port Com 10 opened .*\n" + at +
                                     R"(tx get\\r\n()" + at + R"(rx [^\\\s]+\n){1000,})" + at +
                                     "-- waveform received 0 1 2 3 .*\n" + at +
                                     "-- file saved .*\n" + at + "-- port Com 10 closed .*\n$");
    EXPECT_TRUE(session.match(QString::fromLatin1(readall(log))).hasMatch())
        << readall(log).left(600).toStdString();
}

// The simulator pauses each answer half way for longer than the deadline: the
// rest of the first answer comes while the second get waits for it to end.
TEST(Ctl, AGetAfterOneThatTimedOutNeverTakesTheRestOfItsAnswer) {
    test::PortsFolder ports;
    QTemporaryDir dir;
    test::SimProcess sim({"--fast", "--stall-ms", "2500"});
    ASSERT_FALSE(sim.slavepath().isEmpty()) << sim.errors().toStdString();
    const Outcome first = ctl({"get", dir.filePath("first")});
    EXPECT_EQ(first.exit, 3) << first.text();
    EXPECT_TRUE(first.err.contains("500 of 1000 points had arrived")) << first.text();
    // Its answer stalls again: it fails, having counted only its own points.
    const Outcome second = ctl({"get", dir.filePath("second")});
    EXPECT_EQ(second.exit, 3) << second.text();
    EXPECT_TRUE(QRegularExpression("earlier answer may still be arriving.*\n.*500 of 1000 points")
                    .match(second.err)
                    .hasMatch())
        << second.text();
}

TEST(Ctl, AGetAfterOneEndedBySigintWaitsForTheRestAndReadsTheRealTable) {
    test::PortsFolder ports;
    QTemporaryDir dir;
    const QString held = writefile(dir, "held", counting()), log = dir.filePath("log");
    test::SimProcess sim({"--fast", "--stall-ms", "1500", "--table", held});
    ASSERT_FALSE(sim.slavepath().isEmpty()) << sim.errors().toStdString();
    QProcess first;
    first.start(QStringLiteral(GASPUFF_CTL_PATH), {"get", "--log", log});
    // Half the answer in: then the stall.
    ASSERT_TRUE(QTest::qWaitFor([&] { return readall(log).count(" rx ") > 400; }, 5000));
    ::kill(static_cast<pid_t>(first.processId()), SIGINT);
    ASSERT_TRUE(first.waitForFinished(5000));
    EXPECT_EQ(first.exitCode(), 130) << first.readAllStandardError().toStdString();
    EXPECT_TRUE(readall(log).contains("-- port Com 10 closed"));  // in order
    const Outcome second = ctl({"get", dir.filePath("second")});
    EXPECT_EQ(second.exit, 0) << second.text();
    EXPECT_EQ(readall(dir.filePath("second")), counting());
}

TEST(Ctl, WithAControllerOnARawLine) {
    test::RawPty line;
    QTemporaryDir dir;
    const QString dev = line.slavepath(), log = dir.filePath("log");
    const auto answer = [&](const QByteArray& asked, const QByteArray& said) {
        if (line.read(5000, asked.size()) != asked) return false;
        return ::write(line.masterfd(), said.constData(), size_t(said.size())) == said.size();
    };

    // Of the messages heard, the newest 20 and how many were left out.
    QProcess shoot;
    shoot.start(QStringLiteral(GASPUFF_CTL_PATH), {"--device", dev, "shoot", "--wait"});
    QByteArray said = "generate|1|off\r";
    QString printed = "stop 2 off\n";
    for (int i = 0; i < 25; ++i) said += "m" + QByteArray::number(i) + '\r';
    for (int i = 5; i < 25; ++i) printed += QString("m%1\n").arg(i);
    ASSERT_TRUE(answer("shoot\r", said + "stop|2|off\r"));
    ASSERT_TRUE(shoot.waitForFinished(5000));
    EXPECT_EQ(std::tuple(shoot.exitCode(), QString(shoot.readAllStandardOutput())),
              std::tuple(0, printed));
    EXPECT_EQ(shoot.readAllStandardError(), "gaspuff-ctl: ... and 5 earlier messages left out\n");

    // Held up writing to a pipe that takes nothing, a signal still ends it.
    int full[2];
    ASSERT_EQ(::pipe2(full, O_NONBLOCK | O_CLOEXEC), 0);
    while (::write(full[1], "x", 1) == 1) {
    }
    ::fcntl(full[1], F_SETFL, 0);
    QProcess stuck;
    stuck.setChildProcessModifier([&] { ::dup2(full[1], STDOUT_FILENO); });
    stuck.start(QStringLiteral(GASPUFF_CTL_PATH), {"--device", dev, "get", "--log", log});
    ASSERT_TRUE(answer("get\r", QByteArray("7\r").repeated(1000)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return readall(log).contains("waveform received"); }, 5000));
    stuck.terminate();
    EXPECT_EQ(stuck.waitForFinished(5000) ? stuck.exitCode() : -1, 143);
    for (int fd : full) ::close(fd);

    // More than 1000 points for one get: two answers ran together.
    QProcess get;
    get.start(QStringLiteral(GASPUFF_CTL_PATH), {"--device", dev, "get", dir.filePath("got")});
    ASSERT_TRUE(answer("get\r", QByteArray("7\r").repeated(1001)));
    ASSERT_TRUE(get.waitForFinished(5000));
    EXPECT_EQ(get.exitCode(), 3);
    EXPECT_TRUE(get.readAllStandardError().contains("More than 1000 points came"));
    EXPECT_FALSE(QFile::exists(dir.filePath("got")));
}
