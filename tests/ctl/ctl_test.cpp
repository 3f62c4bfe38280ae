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

QByteArray readall(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

// One run against the simulator started with sim (a fresh one whenever sim
// differs from the row before): its exit status and patterns its outputs match.
struct Row {
    QStringList sim, args;
    int exit;
    QString out, err;
};

}  // namespace

TEST(Ctl, RunsReportWhatTheControllerSaysAndExitWithWhy) {
    test::PortsFolder ports;  // the simulator links itself as Com 10, the default port
    ports.link(7, "/nonexistent/tty");
    test::RawPty line;  // where a bad file would go: it must stay silent
    QTemporaryDir dir;
    const auto file = [&dir](const char* name, const QByteArray& text = {}) {
        QFile f(dir.filePath(name));
        if (!text.isEmpty() && f.open(QIODevice::WriteOnly)) f.write(text);
        return f.fileName();
    };
    QByteArray counting;
    for (int i = 0; i < 1000; ++i) counting += QByteArray::number(i % 101) + "\r\n";
    const QString held = file("held", counting), got = file("got"), log = file("log");
    const QString fifties = file("fifties", QByteArray("50\n").repeated(1000));
    const QString dev = line.slavepath();
    const QStringList sim{"--status-ms", "50"};  // paced
    const Row rows[] = {
        {sim, {"status"}, 0, "^stop [0-9]+ off\n$", "^$"},
        {sim,
         {"status", "--json"},
         0,
         R"(^\{"autoarm":"off","state":"stop","uptime":"[0-9]+"\}\n$)",
         "^$"},
        {sim, {"auto-arm", "on"}, 0, "^stop [0-9]+ on\n$", "^$"},
        {sim, {"standby"}, 0, "^standby [0-9]+ on\n$", "^$"},
        {sim, {"arm"}, 0, "^armed [0-9]+ on\n$", "^$"},
        // Auto-arm on: the shot ends armed again.
        {sim, {"shoot", "--wait"}, 0, "^armed [0-9]+ on\nshot 1 fired\n$", "^$"},
        {sim, {"auto-arm", "off"}, 0, "^armed [0-9]+ off\n$", "^$"},
        {sim, {"shoot"}, 0, "^generate [0-9]+ off\n$", "^$"},
        {sim, {"stop"}, 0, "^stop [0-9]+ off\n$", "^$"},
        {sim,
         {"shoot"},
         4,
         "^$",
         "shoot not confirmed: the controller reports stop [0-9]+ off\n.*shoot ignored: stop"},
        {sim, {"send", fifties}, 0, "^$", "^$"},  // verified
        {sim, {"get"}, 0, "^(50\r\n){1000}$", "^$"},
        {sim, {"--device", dev, "send", file("bad", "1\n2x\n")}, 5, "^$", "Line 2 of .*bad is not"},
        {sim, {"--device", dev, "send", file("missing")}, 5, "^$", "File .*missing does not exist"},
        {sim, {"--port", "7", "status"}, 2, "^$", "Port 7 does not exist"},
        {sim, {"frob"}, 1, "^$", "unknown command"},
        // CR LF line ends: each received line feed goes to the log escaped.
        {{"--crlf", "--fast", "--table", held}, {"get", got, "--log", log}, 0, "^$", "^$"},
        {{"--crlf", "--fast", "--table", held}, {"arm"}, 0, "^armed [0-9]+ off\n$", "^$"},
        {{"--fast", "--corrupt", "3"},
         {"send", fifties},
         4,
         "^$",
         "3 of the 1000 entries differ.*\n.*t=250: sent 50, holds 0\n.*t=500: sent 50, holds 0\n.*"
         "t=750: sent 50, holds 0\n"},
        {{"--fast", "--silent"}, {"status"}, 3, "^$", "no status line within 2 s"},
    };
    std::unique_ptr<test::SimProcess> simulator;
    QStringList running;
    for (const Row& r : rows) {
        if (!simulator || r.sim != running) {
            simulator.reset();  // it holds the link Com 10
            simulator = std::make_unique<test::SimProcess>(running = r.sim);
            ASSERT_FALSE(simulator->slavepath().isEmpty()) << simulator->errors().toStdString();
        }
        QProcess p;
        p.start(QStringLiteral(GASPUFF_CTL_PATH), r.args);
        ASSERT_TRUE(p.waitForFinished(15000));
        const QString out = QString::fromLatin1(p.readAllStandardOutput());
        const QString err = QString::fromLatin1(p.readAllStandardError());
        const std::string what = r.args.join(' ').toStdString() + "\n" + err.toStdString();
        EXPECT_EQ(p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, r.exit) << what;
        EXPECT_TRUE(QRegularExpression(r.out).match(out).hasMatch()) << what << out.toStdString();
        EXPECT_TRUE(QRegularExpression(r.err).match(err).hasMatch()) << what;
    }
    EXPECT_EQ(readall(got), counting);
    EXPECT_EQ(line.read(100), QByteArray());
    // The get's session in order, each line stamped, control characters escaped.
    const QString at = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}\S* )";
    const QRegularExpression session("^" + at + "-- port Com 10 opened .*\n" + at +
                                     R"(tx get\\r\n()" + at + R"(rx \S+\n){1000,})" + at +
                                     "-- waveform received 0 1 2 3 .*\n" + at +
                                     "-- file saved .*\n" + at + "-- port Com 10 closed .*\n$");
    EXPECT_TRUE(session.match(QString::fromLatin1(readall(log))).hasMatch())
        << readall(log).left(600).toStdString();

    // The silent controller still running: a signal ends the wait and closes the port.
    const QString signalled = file("signalled");
    QProcess p;
    p.start(QStringLiteral(GASPUFF_CTL_PATH), {"status", "--log", signalled});
    ASSERT_TRUE(QTest::qWaitFor([&] { return readall(signalled).contains("opened"); }, 3000));
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(3000));
    EXPECT_EQ(p.exitCode(), 143);
    EXPECT_TRUE(readall(signalled).contains("-- port Com 10 closed"));
}
