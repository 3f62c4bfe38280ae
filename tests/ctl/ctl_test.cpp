// SPDX-License-Identifier: MIT
// gaspuff-ctl, the real program, against the real simulator behind a
// pseudo-terminal, or against a test playing the controller on a raw line:
// what it prints, what it exits with, and the files it names.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <optional>

#include "rawpty.h"
#include "shellargs.h"
#include "simprocess.h"
#include "waveform/files.h"

using namespace gaspuff;

namespace {

// Files by names as decodedname gives them.
QByteArray readall(const QString& name) {
    std::ifstream f(encodedname(name).constData(), std::ios::binary);
    return QByteArray::fromStdString({std::istreambuf_iterator<char>(f), {}});
}

struct Outcome {
    int exit;  // -1: crashed or did not end within 15 s
    QString out, err;
};

// In a UTF-8 locale; each argument as the bytes encodedname gives, so that a
// name invalid in the locale reaches the program as it is.
Outcome ctl(const QStringList& args) {
    QByteArrayList bytes{"LC_ALL=C.UTF-8", GASPUFF_CTL_PATH};
    for (const QString& arg : args) bytes << encodedname(arg);
    QProcess p;
    p.start("/bin/sh", test::shellargs("/usr/bin/env", bytes));
    if (!p.waitForFinished(15000)) p.kill(), p.waitForFinished();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

// One run against a simulator of its own, started with sim (none when empty;
// by default paced, a status line every 50 ms), after the setup commands, each
// of which must exit with setupexit: its exit status and patterns its outputs
// match.
struct Row {
    QStringList args;
    int exit;
    QString out, err = "^$";
    QStringList sim = {"--status-ms", "50"};
    QStringList setup = {};
    int setupexit = 0;
};

void runrows(const std::vector<Row>& rows) {
    test::PortsFolder ports;  // the simulator links itself as Com 10, the default port
    ports.link(7, "/nonexistent/tty");
    for (const Row& r : rows) {
        std::optional<test::SimProcess> sim;
        if (!r.sim.isEmpty()) sim.emplace(r.sim);
        QString failed;  // setup steps that did not succeed
        for (const QString& step : r.setup)
            if (const Outcome s = ctl(step.split(' ')); s.exit != r.setupexit)
                failed += step + ": " + s.err;
        const Outcome run = ctl(r.args);
        EXPECT_TRUE(failed.isEmpty() && run.exit == r.exit &&
                    QRegularExpression(r.out).match(run.out).hasMatch() &&
                    QRegularExpression(r.err).match(run.err).hasMatch())
            << r.args.join(' ').toStdString() << ": exit " << run.exit << "\n"
            << (run.out.left(300) + run.err + failed + (sim ? sim->errors() : "")).toStdString();
    }
}

// A table whose every entry differs from its neighbours, in the file format.
QByteArray counting() {
    QByteArray text;
    for (int i = 0; i < 1000; ++i) text += QByteArray::number(i % 101) + "\r\n";
    return text;
}

QString writefile(const QTemporaryDir& dir, const QByteArray& name, const QByteArray& text) {
    const QByteArray path = encodedname(dir.path()) + '/' + name;
    std::ofstream(path.constData(), std::ios::binary) << text.toStdString();
    return decodedname(path);
}

}  // namespace

TEST(Ctl, CommandsWaitForTheStatusThatConfirmsThemAndExitWithWhy) {
    test::RawPty line;  // where a bad file would go: it must stay silent
    QTemporaryDir dir;
    const QString dev = line.slavepath();
    const QString bad = writefile(dir, "bad", "1\n2x\n"), fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(encodedname(fifo).constData(), 0600), 0);
    const QStringList none, paced{"--status-ms", "50"};
    // Every setup step must succeed: auto-arm and arm are confirmed there.
    const QString fired = "^armed [0-9]+ on\nshot 1 fired\n$";  // armed again: auto-arm
    const QString json = R"(^\{"autoarm":"off","state":"stop","uptime":"[0-9]+"\}\n$)";
    runrows({
        {{"status"}, 0, "^stop [0-9]+ off\n$"},
        {{"status", "--json"}, 0, json},
        {{"standby"}, 0, "^standby [0-9]+ off\n$"},
        {{"shoot", "--wait"}, 0, fired, "^$", paced, {"auto-arm on", "arm"}},
        {{"shoot"}, 0, "^generate [0-9]+ off\n$", "^$", paced, {"arm"}},
        {{"stop"}, 0, "^stop [0-9]+ off\n$", "^$", paced, {"arm", "shoot"}},
        {{"shoot"}, 4, "^$", "shoot not confirmed: .* reports stop [0-9]+ off\n.*shoot ignored"},
        {{"status"}, 3, "^$", "no status line within 2 s", {"--fast", "--silent"}},
        {{"--device", dev, "send", bad}, 5, "^$", "Line 2 of .*bad is not", none},
        {{"--device", dev, "send", "-"}, 5, "^$", "load -: send reads a file, not standard", none},
        {{"--log", fifo, "status"}, 0, "^stop", "log .*/fifo: No such device or address\n$"},
        {{"--port", "7", "status"}, 2, "^$", "Port 7 does not exist", none},
    });
    EXPECT_EQ(line.read(100), QByteArray());
}

TEST(Ctl, SendVerifiesTheTableAndGetSavesIt) {
    QTemporaryDir dir;
    // Names invalid in the locale reach the file system as the bytes given.
    const QString held = writefile(dir, "held", counting()),
                  got = decodedname(encodedname(dir.path()) + "/got_\xe9");
    const QString fifties = writefile(dir, "fifties_\xe9", QByteArray("50\n").repeated(1000));
    QString differ = "3 of the 1000 entries not read back as sent\n";  // and the first few
    for (int t : {250, 500, 750}) differ += QString(".*t=%1: sent 50, holds 0\n").arg(t);
    const QStringList stalls{"--fast", "--stall-ms", "2500"};
    runrows({
        {{"send", fifties}, 0, "^$", "^$", {"--fast", "--status-ms", "50"}},  // verified
        {{"get"}, 0, "^" + counting() + "$", "^$", {"--fast", "--table", held}},
        // CR LF line ends: the LF ends the line, not a point of its own.
        {{"get", got}, 0, "^$", "^$", {"--crlf", "--fast", "--table", held}},
        {{"send", fifties}, 4, "^$", differ, {"--fast", "--corrupt", "3"}},
        // Each answer stalls half way past the deadline: a get after one that
        // timed out waits for its rest, then counts only its own points.
        {{"get"}, 3, "^$", "may still be arriving.*\n.*500 of 1000 points", stalls, {"get"}, 3},
    });
    EXPECT_EQ(readall(got), counting());
    for (const QString& name : {fifties, got}) ::unlink(encodedname(name).constData());  // for QDir
}

TEST(Ctl, WithAControllerOnARawLine) {
    test::RawPty line;
    QTemporaryDir dir;
    const QString dev = line.slavepath();
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

    // More than 1000 points for one get: two answers ran together.
    QProcess get;
    get.start(QStringLiteral(GASPUFF_CTL_PATH), {"--device", dev, "get", dir.filePath("got")});
    ASSERT_TRUE(answer("get\r", QByteArray("7\r").repeated(1001)));
    ASSERT_TRUE(get.waitForFinished(5000));
    EXPECT_EQ(get.exitCode(), 3);
    EXPECT_TRUE(get.readAllStandardError().contains("More than 1000 points came"));
    EXPECT_FALSE(QFile::exists(dir.filePath("got")));
}

TEST(Ctl, ASignalEndsItWithItsStatusAlsoWhenStuckWritingOutput) {
    int full[2];  // a pipe that takes nothing more
    ASSERT_EQ(::pipe2(full, O_NONBLOCK | O_CLOEXEC), 0);
    while (::write(full[1], "x", 1) == 1) {
    }
    ::fcntl(full[1], F_SETFL, 0);
    QTemporaryDir dir;
    // SIGTERM with all 1000 points in, printing them to the full pipe; SIGINT
    // while the answer is awaited.
    for (const auto& [signo, answer, exit] :
         {std::tuple(SIGTERM, QByteArray("7\r").repeated(1000), 143),
          std::tuple(SIGINT, QByteArray(), 130)}) {
        test::RawPty line;
        const QString log = dir.filePath(QString::number(signo));
        QProcess get;
        if (!answer.isEmpty()) get.setChildProcessModifier([&] { ::dup2(full[1], STDOUT_FILENO); });
        get.start(QStringLiteral(GASPUFF_CTL_PATH),
                  {"--device", line.slavepath(), "get", "--log", log});
        ASSERT_EQ(line.read(5000, 4), "get\r");  // the handlers are in place
        ASSERT_EQ(::write(line.masterfd(), answer.constData(), answer.size()), answer.size());
        const auto printing = [&log] { return readall(log).contains("waveform received"); };
        EXPECT_TRUE(answer.isEmpty() || QTest::qWaitFor(printing, 5000));
        ::kill(static_cast<pid_t>(get.processId()), signo);
        const bool ended = get.waitForFinished(5000) && get.exitStatus() == QProcess::NormalExit;
        EXPECT_EQ(ended ? get.exitCode() : -1, exit) << signo;
    }
    for (int fd : full) ::close(fd);
}
