// gaspuff-ctl, the real program, against the real simulator behind a
// pseudo-terminal: what it prints, what it exits with, what it logs.
#include <gtest/gtest.h>

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

// One run: its exit status and patterns its outputs match, against the
// simulator started with sim (a fresh one whenever sim differs from the row
// before; by default paced, a status line every 50 ms).
struct Row {
    QStringList args;
    int exit;
    QString out, err = "^$";
    QStringList sim = {"--status-ms", "50"};
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
    const QString got = file("got"), log = file("log"), dev = line.slavepath();
    const QString fifties = file("fifties", QByteArray("50\n").repeated(1000));
    // CR LF line ends: each received line feed goes to the log escaped.
    const QStringList crlf{"--crlf", "--fast", "--table", file("held", counting)};
    QString differ = "3 of the 1000 entries differ.*\n";  // and the first few that do
    for (int t : {250, 500, 750}) differ += QString(".*t=%1: sent 50, holds 0\n").arg(t);
    const Row rows[] = {
        {{"status"}, 0, "^stop [0-9]+ off\n$"},
        {{"status", "--json"}, 0, R"(^\{"autoarm":"off","state":"stop","uptime":"[0-9]+"\}\n$)"},
        {{"auto-arm", "on"}, 0, "^stop [0-9]+ on\n$"},
        {{"standby"}, 0, "^standby [0-9]+ on\n$"},
        {{"arm"}, 0, "^armed [0-9]+ on\n$"},
        {{"shoot", "--wait"}, 0, "^armed [0-9]+ on\nshot 1 fired\n$"},  // armed again: auto-arm
        {{"auto-arm", "off"}, 0, "^armed [0-9]+ off\n$"},
        {{"shoot"}, 0, "^generate [0-9]+ off\n$"},
        {{"stop"}, 0, "^stop [0-9]+ off\n$"},
        {{"shoot"}, 4, "^$", "shoot not confirmed: .* reports stop [0-9]+ off\n.*shoot ignored"},
        {{"send", fifties}, 0, "^$"},  // verified
        {{"get"}, 0, "^(50\r\n){1000}$"},
        {{"--device", dev, "send", file("bad", "1\n2x\n")}, 5, "^$", "Line 2 of .*bad is not"},
        {{"--device", dev, "send", file("missing")}, 5, "^$", "File .*missing does not exist"},
        {{"--port", "7", "status"}, 2, "^$", "Port 7 does not exist"},
        {{"frob"}, 1, "^$", "unknown command"},
        {{"get", got, "--log", log}, 0, "^$", "^$", crlf},
        {{"arm"}, 0, "^armed [0-9]+ off\n$", "^$", crlf},
        {{"send", fifties}, 4, "^$", differ, {"--fast", "--corrupt", "3"}},
        {{"status"}, 3, "^$", "no status line within 2 s", {"--fast", "--silent"}},
    };
    std::optional<test::SimProcess> simulator;
    const QStringList* running = nullptr;
    for (const Row& r : rows) {
        if (!running || r.sim != *running) {  // the one before goes first: it holds Com 10
            simulator.emplace(*(running = &r.sim));
            ASSERT_FALSE(simulator->slavepath().isEmpty()) << simulator->errors().toStdString();
        }
        QProcess p;
        p.start(QStringLiteral(GASPUFF_CTL_PATH), r.args);
        ASSERT_TRUE(p.waitForFinished(15000));
        const QString out = p.readAllStandardOutput(), err = p.readAllStandardError();
        EXPECT_TRUE(p.exitStatus() == QProcess::NormalExit && p.exitCode() == r.exit &&
                    QRegularExpression(r.out).match(out).hasMatch() &&
                    QRegularExpression(r.err).match(err).hasMatch())
            << r.args.join(' ').toStdString() << ": exit " << p.exitCode() << "\n"
            << out.left(300).toStdString() << err.toStdString();
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
    EXPECT_EQ(p.waitForFinished(3000) ? p.exitCode() : -1, 143);
    EXPECT_TRUE(readall(signalled).contains("-- port Com 10 closed"));
}
