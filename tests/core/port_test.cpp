// The settings text and which device "Com N" names.
#include <gtest/gtest.h>

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
}
