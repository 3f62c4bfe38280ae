// SPDX-License-Identifier: MIT
// The gaspuff-sim program itself: its Com N link through its signals.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include "rawpty.h"
#include "simprocess.h"

using namespace gaspuff;

TEST(SimProgram, ComNLeadsToItsTerminalOnlyWhileItLives) {
    test::PortsFolder ports;
    const auto com = [&](int n) { return ports.path() + QStringLiteral("/com%1").arg(n); };
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
