// SPDX-License-Identifier: MIT
// The network port on the line itself: ser2net in front of a test's own
// terminal, or of the simulator killed away mid-answer.
#include <gtest/gtest.h>
#include <termios.h>

#include <QSignalSpy>

#include "link/anyport.h"
#include "rawpty.h"
#include "ser2net.h"
#include "simprocess.h"

using namespace gaspuff;

TEST(Ser2net, Rfc2217SetsTheLineCarries0xFFAsItselfAndBoundsAFarEndThatDoesNotRead) {
    if (test::Ser2net::program().isEmpty()) GTEST_SKIP() << "ser2net is not installed";
    test::RawPty line;
    test::Ser2net server(line.slavepath(), {"telnet(rfc2217),tcp"}, "9600n81");
    ASSERT_TRUE(server.listening());
    NetworkPort port;
    port.setsettings("115200,n,8,1");
    port.seturl(server.url(0));
    ASSERT_EQ(port.open(), SerialPort::Opened) << port.errorstring().toStdString();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            termios t{};
            return ::tcgetattr(line.masterfd(), &t) == 0 && cfgetospeed(&t) == B115200;
        },
        2000));

    QByteArray got;
    QObject::connect(&port, &SerialPort::received, [&] { got += port.input(); });
    ASSERT_EQ(::write(line.masterfd(), "\xff\x01\xff\r", 4), 4);
    EXPECT_TRUE(QTest::qWaitFor([&] { return got.size() >= 4; }, 2000));
    EXPECT_EQ(got, QByteArray("\xff\x01\xff\r"));
    ASSERT_TRUE(port.output("\xff\x02"));
    EXPECT_EQ(line.read(2000, 2), QByteArray("\xff\x02"));

    // Nobody reads the terminal now: once the kernel's buffers are full,
    // output is refused at a bound and said; closing still ends.
    const QByteArray upload(5000, '7');
    for (int i = 0; i < 20000 && port.output(upload); ++i) QCoreApplication::processEvents();
    EXPECT_TRUE(port.errorstring().contains("not taking output"))
        << port.errorstring().toStdString();
    EXPECT_LE(port.close(), NetworkPort::kWriteBufferSize);
    EXPECT_FALSE(port.isopen());
}

TEST(Ser2net, AServerKilledDuringAReadBackIsALostLinkOfComN) {
    if (test::Ser2net::program().isEmpty()) GTEST_SKIP() << "ser2net is not installed";
    test::SimProcess sim({"--no-link", "--status-ms", "50"});
    test::Ser2net server(sim.slavepath(), {"tcp"});
    ASSERT_TRUE(server.listening());
    test::PortsFolder ports;
    ports.link(3, server.url(0));
    AnyPort port;
    port.setsettings("115200,n,8,1");
    port.setcommport(3);
    ASSERT_EQ(port.open(), SerialPort::Opened) << port.errorstring().toStdString();
    EXPECT_EQ(port.devicepath(), server.url(0));
    QByteArray got;
    QObject::connect(&port, &SerialPort::received, [&] { got += port.input(); });
    QSignalSpy lost(&port, &SerialPort::linklost);
    ASSERT_TRUE(port.output("get\r"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return got.count('\r') > 50; }, 2000));  // points coming
    server.kill();
    EXPECT_TRUE(QTest::qWaitFor([&] { return lost.count() == 1; }, 2000));
    EXPECT_FALSE(port.isopen());
    EXPECT_FALSE(port.output("arm\r"));
}
