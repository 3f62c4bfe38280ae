// SPDX-License-Identifier: MIT
// The settings text and which device "Com N" names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "link/comname.h"
#include "link/portsettings.h"
#include "rawpty.h"

using namespace gaspuff;

TEST(PortSettings, ParsesToTheCanonicalFormRefusesTheRestAndTimesTheLine) {
    const std::pair<const char*, const char*> good[] = {
        {"115200,N,8,1", "115200,n,8,1"},
        {"9600,e,7,2", "9600,e,7,2"},
        {"300,O,5,1.5", "300,o,5,1.5"},
        {" 19200 , s , 6 , 1 ", "19200,s,6,1"},
    };
    for (const auto& [text, canonical] : good)
        EXPECT_EQ(PortSettings::parse(text)->text(), canonical);
    for (const char* text : {"", "115200", "115200,N,8", "115200,N,8,1,1", "abc,N,8,1", "0,N,8,1",
                             "-9600,N,8,1", "115200,X,8,1", "115200,NN,8,1", "115200,N,9,1",
                             "115200,N,4,1", "115200,N,8,3", "115200,N,8,1.2", "+9600,n,8,1"})
        EXPECT_FALSE(PortSettings::parse(text)) << text;
    // 4,000 characters at 115200 baud, 8N1: ten bits each.
    EXPECT_NEAR(PortSettings::parse("115200,n,8,1")->secondsfor(4000), 0.347, 0.001);
    EXPECT_NEAR(PortSettings::parse("9600,e,7,2")->secondsfor(960), 1.1, 1e-9);
}

TEST(ComNames, ThePortsFolderLinkElseTheSerialDevice) {
    test::PortsFolder ports;
    ports.link(10, "/dev/ttyUSB7");  // dangling is fine: the link still names it
    EXPECT_EQ(comdevicepath(10), ports.path() + "/com10");
    EXPECT_EQ(comdevicepath(3), "/dev/ttyS2");
    // A relative $XDG_CONFIG_HOME is invalid, so the default stands.
    qputenv("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(portsfolder(), QDir::homePath() + "/.config/gaspuff/ports");
}

TEST(ComNames, APortsFolderOtherUsersMayWriteIsNamedInAWarning) {
    QTemporaryDir dir;
    const QString gaspuff = dir.filePath("gaspuff"), ports = gaspuff + "/ports";
    ASSERT_TRUE(QDir().mkpath(ports));
    const auto mode = [](const QString& folder, mode_t m) {
        return ::chmod(QFile::encodeName(folder).constData(), m) == 0;
    };
    const QString said =
        " is writable by other users, who can change which device a Com port opens";
    // The modes of gaspuff and ports, and the folder warned of.
    const std::tuple<mode_t, mode_t, QString> cases[] = {
        {0755, 0755, ""},     {0700, 0700, ""},      {0755, 0775, ports}, {0755, 0757, ports},
        {0755, 01777, ports}, {0777, 0700, gaspuff}, {0775, 0777, ports},  // the ports folder first
    };
    for (const auto& [outer, inner, warned] : cases) {
        ASSERT_TRUE(mode(gaspuff, outer) && mode(ports, inner));
        EXPECT_EQ(portsfolderwarning(ports), warned.isEmpty() ? "" : "Warning: " + warned + said)
            << std::oct << outer << " " << inner;
    }
    // A folder of another user's may be rewritten by that user at will.
    ASSERT_TRUE(mode(ports, 0755));
    if (::geteuid() != 0) GTEST_SKIP() << "a folder of another user's needs root to make";
    ASSERT_EQ(::chown(QFile::encodeName(ports).constData(), 65534, 65534), 0);
    EXPECT_TRUE(portsfolderwarning(ports).startsWith("Warning: " + ports + " is writable"));
}
