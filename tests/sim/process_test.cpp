// The gaspuff-sim program itself: its terminal, its link, its signals and
// the far end as any program on the line sees it.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "controller.h"
#include "rawpty.h"
#include "simprocess.h"
#include "waveform/files.h"

using namespace gaspuff;

namespace {

class SimProgram : public ::testing::Test {
  protected:
    test::PortsFolder ports;
    QTemporaryDir scratch;

    QString com(int n) const { return ports.path() + QStringLiteral("/com%1").arg(n); }
    static QString pointsat(const QString& link) { return QFileInfo(link).symLinkTarget(); }
    static bool ischardevice(const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISCHR(st.st_mode);
    }
    static QByteArray records(const Waveform& w) {
        QByteArray text;
        for (int16_t v : w) text += QByteArray::number(v) + '\r';
        return text;
    }
};

using SimLine = SimProgram;

}  // namespace

TEST_F(SimProgram, LinksItsTerminalAsComNAndTakesTheLinkAwayOnEachEndingSignal) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        test::SimProcess sim({"--port", "7", "--fast"});
        ASSERT_TRUE(sim.ready()) << sim.errors().toStdString();
        EXPECT_TRUE(sim.slavepath().startsWith("/dev/pts/")) << sim.slavepath().toStdString();
        EXPECT_TRUE(ischardevice(sim.slavepath()));
        EXPECT_EQ(pointsat(com(7)), sim.slavepath());
        EXPECT_TRUE(sim.endwith(sig)) << sig;
        EXPECT_TRUE(sim.exitednormally()) << sig;
        EXPECT_EQ(sim.exitcode(), 0) << sig;
        EXPECT_FALSE(QFileInfo(com(7)).isSymLink()) << sig;
    }
}

TEST_F(SimProgram, RefusesWhenTheNameLinksToSomethingThatExists) {
    ports.link(10, "/dev/null");
    const test::SimRun run = test::runsim({"--fast"});
    EXPECT_EQ(run.exitcode, 1);
    EXPECT_TRUE(run.err.contains(com(10))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("/dev/null")) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_EQ(pointsat(com(10)), "/dev/null");
}

TEST_F(SimProgram, ReplacesADanglingLinkAndSaysSo) {
    ports.link(10, scratch.filePath("gone"));
    test::SimProcess sim({"--fast"});
    ASSERT_TRUE(sim.ready()) << sim.errors().toStdString();
    EXPECT_EQ(pointsat(com(10)), sim.slavepath());
    EXPECT_TRUE(sim.errors().contains("replaced the dangling link")) << sim.errors().toStdString();
}

TEST_F(SimProgram, WithoutALinkItOnlyPrintsThePath) {
    test::SimProcess sim({"--no-link", "--fast"});
    ASSERT_TRUE(sim.ready());
    EXPECT_TRUE(ischardevice(sim.slavepath()));
    EXPECT_FALSE(QFileInfo(com(10)).isSymLink());
}

TEST_F(SimProgram, AnUnreadableTableFileEndsWithStatusOne) {
    const test::SimRun run = test::runsim({"--no-link", "--table", scratch.filePath("none.txt")});
    EXPECT_EQ(run.exitcode, 1);
    EXPECT_TRUE(run.err.contains("none.txt")) << run.err.toStdString();
}

TEST_F(SimLine, OpeningTheTerminalBringsTheStatusAndARawLineAnswersGet) {
    test::SimProcess sim({"--no-link", "--fast", "--status-ms", "600000"});
    ASSERT_TRUE(sim.ready());
    test::LineEnd line(sim.slavepath());
    ASSERT_TRUE(line.ok());
    EXPECT_EQ(line.readlines(1, 2000), "stop|0|off\r");
    line.write("get\r");
    const QByteArray expected = "stop|0|off\r" + records(sim::demotable());
    EXPECT_EQ(line.readlines(1 + kWaveformLength, 2000), expected);
}

TEST_F(SimLine, StartsFromATableFileAndWritesEachLoadedTableOut) {
    Waveform start{};
    for (int i = 0; i < kWaveformLength; ++i) start[i] = static_cast<int16_t>(i % 100);
    const QString in = scratch.filePath("in.txt");
    const QString out = scratch.filePath("out.txt");
    ASSERT_TRUE(savewaveform(in, start).isEmpty());
    test::SimProcess sim({"--no-link", "--fast", "--silent", "--table", in, "--dump", out});
    ASSERT_TRUE(sim.ready()) << sim.errors().toStdString();
    test::LineEnd line(sim.slavepath());
    line.write("get\r");
    EXPECT_EQ(line.readlines(kWaveformLength, 2000), records(start));

    Waveform sent{};
    for (int i = 0; i < kWaveformLength; ++i) sent[i] = static_cast<int16_t>(1000 - i);
    line.write("load\r" + records(sent));
    const QByteArray loaded = records(start) + "loaded 1000 values\r";
    EXPECT_EQ(line.readlines(kWaveformLength + 1, 2000), loaded);
    Waveform dumped{};
    EXPECT_TRUE(QTest::qWaitFor([&] { return loadwaveform(out, dumped).isEmpty(); }, 2000));
    EXPECT_EQ(dumped, sent);
}

TEST_F(SimLine, WhatIsSaidWhileNoProgramHasTheTerminalOpenIsLost) {
    test::SimProcess sim({"--no-link", "--fast", "--status-ms", "20"});
    ASSERT_TRUE(sim.ready());
    {
        test::LineEnd first(sim.slavepath());
        EXPECT_TRUE(first.readlines(1, 2000).startsWith("stop|0|off\r"));
    }
    QTest::qWait(200);  // some ten status lines go out to nobody meanwhile
    test::LineEnd second(sim.slavepath());
    // Only what came after the opening, never a backlog: the status line the
    // opening brings and perhaps a tick.
    EXPECT_LT(second.readnow().count('\r'), 4);
    EXPECT_TRUE(second.readlines(5, 2000).endsWith("stop|0|off\r"));
}

TEST_F(SimLine, ExclusiveUseTakenByAProgramEndsWhenItCloses) {
    test::SimProcess sim({"--no-link", "--fast", "--silent"});
    ASSERT_TRUE(sim.ready());
    {
        test::LineEnd first(sim.slavepath());
        ASSERT_EQ(::ioctl(first.fd(), TIOCEXCL), 0);
    }
    // Opening fails while the exclusive use lasts, unless by root.
    std::unique_ptr<test::LineEnd> second;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            second = std::make_unique<test::LineEnd>(sim.slavepath());
            return second->ok();
        },
        2000));
    int exclusive = 1;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return ::ioctl(second->fd(), TIOCGEXCL, &exclusive) == 0 && exclusive == 0; }, 2000));
}

TEST_F(SimLine, UnplugHangsUpTheLineTakesTheLinkAwayAndEnds) {
    test::SimProcess sim({"--fast", "--silent", "--unplug-after", "0.2"});
    ASSERT_TRUE(sim.ready());
    test::LineEnd line(com(10));
    ASSERT_TRUE(line.ok());
    EXPECT_TRUE(sim.waitended(3000));
    EXPECT_EQ(sim.exitcode(), 0);
    EXPECT_TRUE(sim.errors().contains("unplugged")) << sim.errors().toStdString();
    EXPECT_FALSE(QFileInfo(com(10)).isSymLink());
    pollfd p{line.fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 1000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
    termios t{};
    EXPECT_NE(::tcgetattr(line.fd(), &t), 0);  // the device is gone for this program
}
