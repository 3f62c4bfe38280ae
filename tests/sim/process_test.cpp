// SPDX-License-Identifier: MIT
// The gaspuff-sim program itself: its command line, its link, its signals and
// its terminal as any program on the line sees it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include "options.h"
#include "rawpty.h"
#include "simprocess.h"

using namespace gaspuff;

TEST(SimProgram, EachOptionSetsItsValueAndComNLeadsToItOnlyWhileItLives) {
    test::PortsFolder ports;
    const auto com = [&](int n) { return ports.path() + QStringLiteral("/com%1").arg(n); };
    // Values given separately or after "=", numbers at the ends of their ranges.
    const QString line =
        "gaspuff-sim --port=16 --no-link --fast --crlf --status-ms 10 --silent --short 0 "
        "--bogus=1000 --corrupt 7 --stall-ms 600000 --noise --unplug-after 0.2 --table a --dump=b";
    sim::SimOptions o;
    EXPECT_FALSE(sim::readoptions(line.split(' '), o));
    const auto& [silent, points, bogus, stallms, noise, corrupt] = o.controller.faults;
    EXPECT_EQ(
        std::tuple(o.port, o.link, o.fast, o.controller.lineend, o.controller.statusms, silent,
                   points, bogus, corrupt, stallms, noise, o.unplugafter, o.tablefile, o.dumpfile),
        std::tuple(16, false, true, "\r\n", 10, true, 0, 1000, 7, 600000, true, 0.2, "a", "b"));
    // A name taken ends it, with the reason, offering no terminal.
    QDir().mkpath(com(11));
    test::SimProcess taken({"--port", "11"});
    EXPECT_TRUE(taken.waitended() && taken.exitcode() == 1 && taken.slavepath().isEmpty() &&
                taken.errors().contains(com(11) + " exists and is not a link"));

    // Each ending has its status and takes Com N with it.
    ports.link(7, com(9));  // dangling, as a simulator killed outright leaves it
    bool dangling = true;
    for (const int sig : {SIGINT, SIGTERM, SIGKILL, SIGHUP}) {
        test::SimProcess sim({"--port", "7", "--fast"}), rival({"--port", "7", "--fast"});
        EXPECT_EQ(QFileInfo(com(7)).canonicalFilePath(), sim.slavepath()) << sig;
        EXPECT_EQ(sim.errors().contains("replaced the dangling link " + com(7)), dangling) << sig;
        EXPECT_TRUE(rival.waitended() && rival.exitcode() == 1 &&  // the live one's link is taken
                    rival.errors().contains(com(7) + " already links to /proc/"));
        ASSERT_TRUE(sim.endwith(sig) && sim.exitcode() == (sig == SIGKILL ? -1 : 0)) << sig;
        // The next terminal may well take the same number: Com 7 must not lead into it.
        EXPECT_TRUE(test::RawPty().ok() && QFileInfo(com(7)).canonicalFilePath().isEmpty()) << sig;
        EXPECT_EQ(QFileInfo(com(7)).isSymLink(), dangling = sig == SIGKILL) << sig;
    }
    test::SimProcess sim({"--port", "7", "--fast"});
    ports.link(7, "/dev/null");  // someone else's link in its place stays
    EXPECT_TRUE(sim.endwith(SIGTERM) && QFileInfo(com(7)).symLinkTarget() == "/dev/null");
}

TEST(SimProgram, WhatIsSaidToNobodyIsLostAndALeftoverExclusiveUseIsLifted) {
    // Paced, so that most of the answer below falls due after the line is let go.
    test::SimProcess sim({"--no-link", "--status-ms", "600000"});
    const QByteArray path = QFile::encodeName(sim.slavepath());
    // A program takes the line for itself, asks for the table and is gone.
    int fd = ::open(path, O_RDWR | O_NOCTTY);
    ASSERT_TRUE(::ioctl(fd, TIOCEXCL) == 0 && ::write(fd, "get\r", 4) == 4);
    ::close(fd);
    QTest::qWait(200);  // the answer goes out to nobody meanwhile
    // The next program can open the line (unless root, only once the
    // exclusive use is lifted) and hears only what comes after.
    ASSERT_TRUE(QTest::qWaitFor([&] { return (fd = ::open(path, O_RDWR | O_NOCTTY)) >= 0; }, 2000));
    int exclusive = 1;
    EXPECT_TRUE(::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive == 0);
    ASSERT_EQ(::write(fd, "foo\r", 4), 4);
    QByteArray got;
    char buf[4096];
    pollfd in{fd, POLLIN, 0};
    while (!got.endsWith("foo\r") && ::poll(&in, 1, 2000) > 0)
        got.append(buf, std::max<ssize_t>(::read(fd, buf, sizeof buf), 0));
    ::close(fd);
    EXPECT_EQ(got, "stop|0|off\runknown command: foo\r");
}
