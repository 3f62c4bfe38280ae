// The gaspuff-sim program itself: its command line, its link, its signals and
// its terminal as any program on the line sees it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include "link/qtserialport.h"
#include "options.h"
#include "rawpty.h"
#include "simprocess.h"

using namespace gaspuff;
using namespace gaspuff::sim;

namespace {

class SimProgram : public ::testing::Test {
  protected:
    test::PortsFolder ports;
    QString com(int n) const { return ports.path() + QStringLiteral("/com%1").arg(n); }
    // Where Com n leads, as the panel finds it; empty when nowhere.
    QString device(int n) const { return QFileInfo(com(n)).canonicalFilePath(); }
};

}  // namespace

TEST(SimOptions, EachOptionSetsItsValueGivenSeparatelyOrAfterAnEqualsSign) {
    using Fields = std::tuple<int, bool, bool, QByteArray, qint64, bool, int, int, int, qint64,
                              bool, double, QString, QString>;
    const auto fields = [](const SimOptions& o) {
        const Faults& f = o.controller.faults;
        return Fields(o.port, o.link, o.fast, o.controller.lineend, o.controller.statusms, f.silent,
                      f.points, f.bogus, f.corrupt, f.stallms, f.noise, o.unplugafter, o.tablefile,
                      o.dumpfile);
    };
    // Numbers at the ends of their ranges; what is not given keeps its default.
    const std::pair<QStringList, Fields> cases[] = {
        {{"--port=16",  "--no-link", "--fast",  "--crlf",         "--status-ms", "10",
          "--silent",   "--short",   "0",       "--bogus=1000",   "--corrupt",   "7",
          "--stall-ms", "2500",      "--noise", "--unplug-after", "0.2",         "--table",
          "a",          "--dump=b"},
         {16, false, true, "\r\n", 10, true, 0, 1000, 7, 2500, true, 0.2, "a", "b"}},
        {{"--port", "1", "--short=1000", "--status-ms=600000", "--corrupt=1000",
          "--unplug-after=1.5", "--dump", "-x"},
         {1, true, false, "\r", 600000, false, 1000, 0, 1000, 0, false, 1.5, "", "-x"}},
    };
    for (const auto& [args, want] : cases) {
        const ParsedOptions p = parseoptions(args);
        ASSERT_EQ(p.kind, ParsedOptions::Kind::Run) << p.error.toStdString();
        EXPECT_EQ(fields(p.options), want) << args.join(' ').toStdString();
    }
}

TEST(SimOptions, BadCommandLinesAreRefusedWithTheReasonAndHelpIsAsked) {
    const std::pair<QStringList, const char*> cases[] = {
        {{"--speed"}, "unknown option --speed"},
        {{"-x"}, "unknown option -x"},
        {{"fast"}, "unexpected argument \"fast\""},
        {{"--port"}, "--port needs a value"},
        {{"--port", "17"}, "--port takes a port number from 1 to 16, not \"17\""},
        {{"--corrupt", "-1"}, "--corrupt takes a number of entries from 0 to 1000"},
        {{"--status-ms", "5"}, "--status-ms takes milliseconds from 10 to 600000"},
        {{"--unplug-after", "0"}, "--unplug-after takes seconds"},
        {{"--dump="}, "--dump needs a file name"},
        {{"--fast=yes"}, "--fast takes no value"},
        {{"--help", "--bogus"}, "--bogus needs a value"},
    };
    for (const auto& [args, why] : cases) {
        const ParsedOptions p = parseoptions(args);
        EXPECT_EQ(p.kind, ParsedOptions::Kind::Bad) << args.join(' ').toStdString();
        EXPECT_TRUE(p.error.contains(QLatin1String(why))) << p.error.toStdString();
    }
    for (const QStringList& args : {QStringList{"--help"}, {"-h"}, {"--fast", "--help"}})
        EXPECT_EQ(parseoptions(args).kind, ParsedOptions::Kind::Help) << args[0].toStdString();
}

TEST_F(SimProgram, ComNLeadsToALiveSimulatorOnlyAndGoesWithItHoweverItEnds) {
    ports.link(7, com(9));  // dangling, as a simulator killed outright leaves it
    const std::tuple<int, bool, int> cases[] = {
        {SIGINT, true, 0}, {SIGTERM, false, 0}, {SIGKILL, false, -1}, {SIGHUP, true, 0}};
    for (const auto& [sig, replaces, status] : cases) {
        test::SimProcess sim({"--port", "7", "--fast"});
        ASSERT_FALSE(sim.slavepath().isEmpty()) << sim.errors().toStdString();
        EXPECT_EQ(sim.errors().contains("replaced the dangling link " + com(7)), replaces) << sig;
        EXPECT_EQ(device(7), sim.slavepath()) << sig;
        test::SimProcess rival({"--port", "7", "--fast"});  // the live one's link is taken
        EXPECT_TRUE(rival.waitended() && rival.exitcode() == 1);
        EXPECT_TRUE(rival.errors().contains(com(7) + " already links to /proc/"))
            << rival.errors().toStdString();
        ASSERT_TRUE(sim.endwith(sig)) << sig;
        EXPECT_EQ(sim.exitcode(), status) << sig;
        // The next terminal may well take the same number: Com 7 must not lead into it.
        test::RawPty stranger;
        ASSERT_TRUE(stranger.ok());
        EXPECT_EQ(QFileInfo(com(7)).isSymLink(), sig == SIGKILL) << sig;
        EXPECT_EQ(device(7).toStdString(), "") << sig;
        if (sig == SIGKILL) {  // the panel's own port agrees
            QtSerialPort port;
            port.setcommport(7);
            EXPECT_EQ(port.open(), SerialPort::NoSuchPort);
        }
    }
    test::SimProcess sim({"--port", "7", "--fast"});
    ports.link(7, "/dev/null");  // someone else's link in its place stays
    EXPECT_TRUE(sim.endwith(SIGTERM));
    EXPECT_EQ(QFileInfo(com(7)).symLinkTarget(), "/dev/null");
}

TEST_F(SimProgram, EndsAtOnceForHelpABadCommandLineATakenNameOrAnUnreadableTable) {
    ports.link(10, "/dev/null");
    QDir().mkpath(com(11));
    const std::tuple<QStringList, int, QString> cases[] = {
        {{"--help"}, 0, ""},
        {{"--short", "lots"}, 2, "gaspuff-sim: --short takes"},
        {{"--frobnicate"}, 2, "--help"},
        {{"--fast"}, 1, com(10) + " already links to /dev/null"},
        {{"--port", "11"}, 1, com(11) + " exists and is not a link"},
        {{"--no-link", "--table", com(12)}, 1, com(12)},
    };
    for (const auto& [args, status, why] : cases) {
        test::SimProcess sim(args);
        EXPECT_TRUE(sim.waitended());
        // Only the help goes to standard output; a refusal offers no terminal.
        EXPECT_EQ(sim.slavepath().isEmpty(), status != 0) << sim.slavepath().toStdString();
        EXPECT_EQ(sim.exitcode(), status) << args.join(' ').toStdString();
        EXPECT_TRUE(sim.errors().contains(why)) << sim.errors().toStdString();
    }
    EXPECT_EQ(QFileInfo(com(10)).symLinkTarget(), "/dev/null");
    qputenv("XDG_CONFIG_HOME", "/dev/null");  // where no ports folder can be made
    test::SimProcess sim({"--fast"});
    EXPECT_TRUE(sim.waitended() && sim.exitcode() == 1 && sim.errors().contains("/dev/null/"));
}

TEST_F(SimProgram, WhatIsSaidToNobodyIsLostAndALeftoverExclusiveUseIsLifted) {
    // Paced, so that most of the answer below falls due after the line is let go.
    test::SimProcess sim({"--no-link", "--status-ms", "600000"});
    const QByteArray path = QFile::encodeName(sim.slavepath());
    const auto open = [&] { return ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK); };
    // A program takes the line for itself, asks for the table and is gone.
    int fd = open();
    ASSERT_EQ(::ioctl(fd, TIOCEXCL), 0);
    ASSERT_EQ(::write(fd, "get\r", 4), 4);
    ::close(fd);
    QTest::qWait(200);  // the answer goes out to nobody meanwhile
    // The next program can open the line (unless root, only once the
    // exclusive use is lifted) and hears only what comes after.
    ASSERT_TRUE(QTest::qWaitFor([&] { return (fd = open()) >= 0; }, 2000));
    int exclusive = 1;
    EXPECT_TRUE(::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive == 0);
    ASSERT_EQ(::write(fd, "foo\r", 4), 4);
    QByteArray got;
    char buf[4096];
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            got.append(buf, std::max<ssize_t>(::read(fd, buf, sizeof buf), 0));
            return got.endsWith("foo\r");
        },
        2000));
    ::close(fd);
    EXPECT_EQ(got, "stop|0|off\runknown command: foo\r");
}
