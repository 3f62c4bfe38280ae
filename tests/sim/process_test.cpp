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
#include <memory>

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
    static QString pointsat(const QString& link) { return QFileInfo(link).symLinkTarget(); }
};

}  // namespace

TEST(SimOptions, EachOptionSetsItsValueGivenSeparatelyOrAfterAnEqualsSign) {
    const auto fields = [](const SimOptions& o) {
        const Faults& f = o.controller.faults;
        return std::tuple(o.port, o.link, o.fast, o.controller.lineend, o.controller.statusms,
                          f.silent, f.points, f.bogus, f.stallms, f.noise, f.corrupt, o.unplugafter,
                          o.tablefile, o.dumpfile);
    };
    // Each value given both ways; numbers at the ends of their ranges.
    const std::pair<QStringList, void (*)(SimOptions&)> cases[] = {
        {{"--port=16", "--no-link", "--fast", "--crlf", "--status-ms", "10"},
         [](SimOptions& o) {
             o.port = 16, o.link = false, o.fast = true;
             o.controller.lineend = "\r\n", o.controller.statusms = 10;
         }},
        {{"--silent", "--short", "0", "--bogus=1000", "--stall-ms", "2500", "--noise"},
         [](SimOptions& o) {
             o.controller.faults = Faults{true, 0, 1000, 2500, true};
         }},
        {{"--port", "1", "--short=1000", "--status-ms=600000", "--unplug-after", "0.2"},
         [](SimOptions& o) { o.port = 1, o.controller.statusms = 600000, o.unplugafter = 0.2; }},
        {{"--unplug-after=1.5", "--table", "a", "--dump=b", "--corrupt=1000"},
         [](SimOptions& o) {
             o.unplugafter = 1.5, o.tablefile = "a", o.dumpfile = "b";
             o.controller.faults.corrupt = 1000;
         }},
    };
    for (const auto& [args, set] : cases) {
        SimOptions want;
        set(want);
        const ParsedOptions p = parseoptions(args);
        ASSERT_EQ(p.kind, ParsedOptions::Kind::Run) << p.error.toStdString();
        EXPECT_EQ(fields(p.options), fields(want)) << args.join(' ').toStdString();
    }
}

TEST(SimOptions, BadCommandLinesAreRefusedWithTheReasonAndHelpIsAsked) {
    const std::pair<QStringList, const char*> cases[] = {
        {{"--speed"}, "unknown option --speed"},
        {{"-x"}, "unknown option -x"},
        {{"fast"}, "unexpected argument \"fast\""},
        {{"--port"}, "--port needs a value"},
        {{"--port", "17"}, "--port takes a port number from 1 to 16, not \"17\""},
        {{"--short", "1001"}, "--short takes a number of points from 0 to 1000"},
        {{"--corrupt", "1001"}, "--corrupt takes a number of entries from 0 to 1000"},
        {{"--status-ms", "5"}, "--status-ms takes milliseconds from 10 to 600000"},
        {{"--unplug-after", "0"}, "--unplug-after takes seconds"},
        {{"--dump="}, "--dump needs a file name"},
        {{"--fast=yes"}, "--fast takes no value"},
        {{"--help", "--bogus"}, "--bogus needs a value"},
    };
    for (const auto& [args, why] : cases) {
        const ParsedOptions p = parseoptions(args);
        EXPECT_EQ(p.kind, ParsedOptions::Kind::Bad) << args.join(' ').toStdString();
        EXPECT_TRUE(p.error.contains(QLatin1String(why)))
            << args.join(' ').toStdString() << ": " << p.error.toStdString();
    }
    for (const QStringList& args : {QStringList{"--help"}, {"-h"}, {"--fast", "--help"}})
        EXPECT_EQ(parseoptions(args).kind, ParsedOptions::Kind::Help) << args[0].toStdString();
}

TEST_F(SimProgram, LinksItsTerminalAsComNAndTakesItsOwnLinkAwayOnEachEndingSignal) {
    ports.link(7, com(9));  // dangling, left by a simulator killed outright
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        test::SimProcess sim({"--port", "7", "--fast"});
        ASSERT_FALSE(sim.slavepath().isEmpty()) << sim.errors().toStdString();
        EXPECT_EQ(QFileInfo(com(7)).canonicalFilePath(), sim.slavepath());
        EXPECT_TRUE(sim.endwith(sig)) << sig;
        EXPECT_EQ(sim.exitcode(), 0) << sig;
        EXPECT_FALSE(QFileInfo(com(7)).isSymLink()) << sig;
    }
    test::SimProcess sim({"--port", "7", "--fast"});
    ports.link(7, "/dev/null");  // someone else's link in its place stays
    EXPECT_TRUE(sim.endwith(SIGTERM));
    EXPECT_EQ(pointsat(com(7)), "/dev/null");
}

TEST_F(SimProgram, AKilledSimulatorsLinkLeadsNowhereAndTheNextOneTakesItOver) {
    auto first = std::make_unique<test::SimProcess>(QStringList{"--port", "7", "--fast"});
    ASSERT_FALSE(first->slavepath().isEmpty()) << first->errors().toStdString();
    {
        test::SimProcess second({"--port", "7", "--fast"});  // the live one's link is taken
        EXPECT_TRUE(second.waitended());
        EXPECT_EQ(second.exitcode(), 1);
        EXPECT_TRUE(second.errors().contains(com(7) + " already links to /proc/"))
            << second.errors().toStdString();
    }
    ASSERT_TRUE(first->endwith(SIGKILL));
    first.reset();
    // The next terminal may well take the dead one's number: the link must
    // not lead the panel into it.
    test::RawPty stranger;
    ASSERT_TRUE(stranger.ok());
    EXPECT_TRUE(QFileInfo(com(7)).isSymLink());
    EXPECT_EQ(QFileInfo(com(7)).canonicalFilePath(), QString());
    QtSerialPort port;
    port.setcommport(7);
    EXPECT_EQ(port.open(), SerialPort::NoSuchPort);
    test::SimProcess next({"--port", "7", "--fast"});
    ASSERT_FALSE(next.slavepath().isEmpty()) << next.errors().toStdString();
    EXPECT_TRUE(next.errors().contains("replaced the dangling link"))
        << next.errors().toStdString();
    EXPECT_EQ(QFileInfo(com(7)).canonicalFilePath(), next.slavepath());
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
    EXPECT_EQ(pointsat(com(10)), "/dev/null");
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
    const auto heard = [&] {
        got.append(buf, std::max<ssize_t>(::read(fd, buf, sizeof buf), 0));
        return got.endsWith("foo\r");
    };
    EXPECT_TRUE(QTest::qWaitFor(heard, 2000));
    ::close(fd);
    EXPECT_EQ(got, "stop|0|off\runknown command: foo\r");
}
