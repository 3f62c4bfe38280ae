// The real serial layer against real files and pseudo-terminals.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "link/qtserialport.h"
#include "rawpty.h"

using namespace gaspuff;

namespace {

class RealPort : public ::testing::Test {
protected:
    test::PortsFolder ports;
    QTemporaryDir scratch;

    QtSerialPort* makeport(int n) {
        auto* p = new QtSerialPort(&owner);
        p->setcommport(static_cast<int16_t>(n));
        EXPECT_TRUE(p->setsettings("115200,N,8,1"));
        return p;
    }
    QObject owner;
};

}  // namespace

TEST_F(RealPort, PortNumberIsOneBeforeAnyConnect) {
    QtSerialPort p;
    EXPECT_EQ(p.commport(), 1);
    EXPECT_FALSE(p.isopen());
}

TEST_F(RealPort, RefusedSettingsAreNotApplied) {
    QtSerialPort p;
    ASSERT_TRUE(p.setsettings("115200,N,8,1"));
    EXPECT_FALSE(p.setsettings("fast,N,8,1"));
    EXPECT_EQ(p.settings(), "115200,n,8,1");
}

TEST_F(RealPort, MissingDeviceOrDanglingLinkDoesNotExist) {
    ports.link(4, scratch.filePath("gone"));
    EXPECT_EQ(makeport(4)->open(), SerialPort::NoSuchPort);
    // No link: /dev/ttyS15, which has no UART behind it or does not exist here.
    EXPECT_EQ(makeport(16)->open(), SerialPort::NoSuchPort);
}

TEST_F(RealPort, FilesAndFoldersAreNoSerialDevice) {
    QFile f(scratch.filePath("plain"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    ports.link(5, f.fileName());
    ports.link(6, scratch.path());
    ports.link(7, "/dev/null");
    EXPECT_EQ(makeport(5)->open(), SerialPort::OpenFailed);
    EXPECT_EQ(makeport(6)->open(), SerialPort::OpenFailed);
    EXPECT_EQ(makeport(7)->open(), SerialPort::OpenFailed);
}

TEST_F(RealPort, PseudoTerminalOpensAndASecondOpenIsRefused) {
    test::RawPty pty;
    ASSERT_TRUE(pty.ok());
    ports.link(10, pty.slavepath());
    ports.link(11, pty.slavepath());
    QtSerialPort* first = makeport(10);
    ASSERT_EQ(first->open(), SerialPort::Opened) << first->errorstring().toStdString();
    EXPECT_TRUE(first->isopen());
    EXPECT_EQ(makeport(10)->open(), SerialPort::AlreadyOpen);
    EXPECT_EQ(makeport(11)->open(), SerialPort::AlreadyOpen);  // another name, same device
    first->close();
    EXPECT_FALSE(first->isopen());
    EXPECT_EQ(makeport(11)->open(), SerialPort::Opened);
}

TEST_F(RealPort, OutputAndInputPassBytesUnchanged) {
    test::RawPty pty;
    ports.link(10, pty.slavepath());
    QtSerialPort* port = makeport(10);
    ASSERT_EQ(port->open(), SerialPort::Opened);
    const QByteArray big = QByteArray("100\r").repeated(1000);
    ASSERT_TRUE(port->output(big));
    EXPECT_EQ(pty.readatleast(big.size(), 3000), big);

    QSignalSpy received(port, &SerialPort::received);
    pty.write(QByteArray("a\0\xff\r\n", 5));
    QByteArray got;
    EXPECT_TRUE(QTest::qWaitFor([&] { got += port->input(); return got.size() >= 5; }, 2000));
    EXPECT_EQ(got, QByteArray("a\0\xff\r\n", 5));
    EXPECT_GE(received.count(), 1);
}

TEST_F(RealPort, BurstArrivesWhole) {
    test::RawPty pty;
    ports.link(10, pty.slavepath());
    QtSerialPort* port = makeport(10);
    ASSERT_EQ(port->open(), SerialPort::Opened);
    const QByteArray burst = QByteArray("42\r").repeated(2000);
    pty.write(burst);
    QByteArray got;
    QObject::connect(port, &SerialPort::received, [&] { got += port->input(); });
    EXPECT_TRUE(QTest::qWaitFor([&] { return got.size() >= burst.size(); }, 3000));
    EXPECT_EQ(got, burst);
}

TEST_F(RealPort, CloseLetsPendingOutputReachTheLine) {
    test::RawPty pty;
    ports.link(10, pty.slavepath());
    QtSerialPort* port = makeport(10);
    ASSERT_EQ(port->open(), SerialPort::Opened);
    const QByteArray upload = QByteArray("load\r") + QByteArray("100\r").repeated(1000);
    ASSERT_TRUE(port->output(upload));
    port->close();  // before the event loop ever ran
    EXPECT_EQ(pty.readatleast(upload.size(), 2000), upload);
}

TEST_F(RealPort, LostFarEndClosesThePortOnceWithoutAnErrorStorm) {
    test::RawPty pty;
    ports.link(10, pty.slavepath());
    QtSerialPort* port = makeport(10);
    ASSERT_EQ(port->open(), SerialPort::Opened);
    QSignalSpy lost(port, &SerialPort::linklost);
    QSignalSpy received(port, &SerialPort::received);
    auto* qport = port->findChild<QSerialPort*>();
    ASSERT_NE(qport, nullptr);
    QSignalSpy errors(qport, &QSerialPort::errorOccurred);
    pty.closemaster();
    EXPECT_TRUE(lost.wait(2000));
    EXPECT_FALSE(port->isopen());
    QTest::qWait(200);
    EXPECT_EQ(lost.count(), 1);
    EXPECT_LT(received.count(), 5);
    EXPECT_LT(errors.count(), 10);  // left alone, QSerialPort reports it endlessly
    EXPECT_FALSE(port->output("arm\r"));
}
