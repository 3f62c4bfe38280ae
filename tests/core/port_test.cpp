#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "link/comname.h"
#include "link/portsettings.h"
#include "rawpty.h"

using namespace gaspuff;

TEST(PortSettings, ParsesAndReportsTheCanonicalForm) {
    const auto s = PortSettings::parse("115200,N,8,1");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->text(), "115200,n,8,1");
    EXPECT_EQ(PortSettings::parse("9600,e,7,2")->text(), "9600,e,7,2");
    EXPECT_EQ(PortSettings::parse("300,O,5,1.5")->text(), "300,o,5,1.5");
    EXPECT_EQ(PortSettings::parse(" 19200 , s , 6 , 1 ")->text(), "19200,s,6,1");
}

TEST(PortSettings, RefusesInvalidText) {
    for (const char* text : {"", "115200", "115200,N,8", "115200,N,8,1,1", "abc,N,8,1", "0,N,8,1",
                             "-9600,N,8,1", "115200,X,8,1", "115200,NN,8,1", "115200,N,9,1",
                             "115200,N,4,1", "115200,N,8,3", "115200,N,8,1.2", "+9600,n,8,1"})
        EXPECT_FALSE(PortSettings::parse(text)) << text;
}

TEST(PortSettings, LineTimeCountsStartAndStopBits) {
    // 4,000 bytes at 115200 baud, 8N1: 10 bits a byte.
    EXPECT_NEAR(PortSettings::parse("115200,n,8,1")->secondsfor(4000), 0.347, 0.001);
    EXPECT_NEAR(PortSettings::parse("9600,e,7,2")->secondsfor(960), 1.1, 1e-9);
}

TEST(ComNames, UseThePortsFolderLinkElseTheSerialDevice) {
    test::PortsFolder ports;
    EXPECT_EQ(comdevicepath(3), "/dev/ttyS2");
    ports.link(10, "/dev/ttyUSB7");  // dangling is fine: the link still names it
    EXPECT_EQ(comdevicepath(10), ports.path() + "/com10");
    EXPECT_EQ(comdevicepath(1), "/dev/ttyS0");
}

TEST(ComNames, PortsFolderDefaultsUnderHome) {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(portsfolder(), QDir::homePath() + "/.config/gaspuff/ports");
    if (!saved.isEmpty()) qputenv("XDG_CONFIG_HOME", saved);
}
