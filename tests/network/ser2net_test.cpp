// SPDX-License-Identifier: MIT
// Network ports through the real ser2net on loopback, in front of a test's
// own terminal or of the real simulator: what only a real server shows.
#include "ser2net.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <QTest>

#include "link/anyport.h"
#include "protocol/linksession.h"
#include "rawpty.h"
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

TEST(Ser2net, AWholeSessionInEachModeFromComNOrTheUrl) {
    if (test::Ser2net::program().isEmpty()) GTEST_SKIP() << "ser2net is not installed";
    test::SimProcess sim({"--no-link", "--status-ms", "50"});
    test::Ser2net server(sim.slavepath(), {"tcp", "telnet(rfc2217),tcp"});
    ASSERT_TRUE(server.listening());
    test::PortsFolder ports;
    Waveform table{};
    for (int i = 0; i < kWaveformLength; ++i) table[i] = static_cast<int16_t>(i * 7 % 101);
    for (int mode : {0, 1}) {  // socket through Com 3, RFC 2217 by its URL
        const QString url = server.url(mode);
        ports.link(3, url);
        AnyPort port;
        port.setsettings("115200,n,8,1");
        port.setcommport(3);
        port.setdevice(mode ? url : QString());
        LinkSession session(&port);
        QByteArray state;
        QObject::connect(&session, &LinkSession::status,
                         [&](const LineMeaning& m) { state = m.state; });
        std::vector<LinkSession::Outcome> ended;
        QObject::connect(&session, &LinkSession::transferfinished,
                         [&](auto, LinkSession::Outcome o, auto) { ended.push_back(o); });
        // ser2net takes a client only a moment after the last one left.
        SerialPort::OpenResult opened;
        for (QDeadlineTimer deadline(1000);
             (opened = session.open()) == SerialPort::AlreadyOpen && !deadline.hasExpired();)
            QTest::qWait(20);
        ASSERT_EQ(opened, SerialPort::Opened) << port.errorstring().toStdString();
        EXPECT_EQ(port.devicepath(), url);
        ASSERT_TRUE(session.command("arm"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return state == "armed"; }, 2000)) << state.data();
        ASSERT_TRUE(session.upload(table) && session.get());
        EXPECT_TRUE(QTest::qWaitFor([&] { return ended.size() == 2; }, 5000));
        EXPECT_EQ(ended, std::vector(2, LinkSession::Outcome::Done)) << url.toStdString();
        EXPECT_EQ(std::tuple(session.table(), session.reception().boguscount),
                  std::tuple(table, 0));
        if (mode == 0) continue;
        // The server killed during a read-back: the link is lost, and the read-back with it.
        ASSERT_TRUE(session.get());
        EXPECT_TRUE(QTest::qWaitFor([&] { return session.reception().pointcount > 50; }, 2000));
        server.kill();
        EXPECT_TRUE(QTest::qWaitFor([&] { return ended.size() == 3; }, 2000));
        EXPECT_EQ(std::tuple(ended.back(), port.isopen(), port.output("arm\r")),
                  std::tuple(LinkSession::Outcome::LinkLost, false, false));
    }
}

TEST(Ser2net, BusyAndRefusedAreToldApart) {
    if (test::Ser2net::program().isEmpty()) GTEST_SKIP() << "ser2net is not installed";
    test::SimProcess sim({"--no-link"});
    test::Ser2net server(sim.slavepath(), {"tcp", "telnet(rfc2217),tcp"});
    ASSERT_TRUE(server.listening());
    NetworkPort holder;
    holder.seturl(server.url(0));
    ASSERT_EQ(holder.open(), SerialPort::Opened) << holder.errorstring().toStdString();
    const std::tuple<QString, SerialPort::OpenResult, QString> rows[] = {
        {server.url(0), SerialPort::AlreadyOpen, "says: Port already in use"},
        {server.url(1), SerialPort::AlreadyOpen, "says: Port's device already in use"},
        {QStringLiteral("socket://127.0.0.1:%1").arg(test::Ser2net::freeport()),
         SerialPort::OpenFailed, "refused"},
    };
    for (const auto& [url, result, said] : rows) {
        NetworkPort port;
        port.seturl(url);
        EXPECT_EQ(port.open(), result) << url.toStdString();
        EXPECT_TRUE(port.errorstring().contains(said)) << port.errorstring().toStdString();
    }
}
