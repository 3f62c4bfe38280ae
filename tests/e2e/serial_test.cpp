// SPDX-License-Identifier: MIT
// The real serial layer against real files and pseudo-terminals.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSerialPort>
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
    test::RawPty pty;
    QTemporaryDir scratch;
    QObject owner;

    QtSerialPort* makeport(int n) {
        auto* p = new QtSerialPort(&owner);
        p->setcommport(static_cast<int16_t>(n));
        return p;
    }
    QtSerialPort* openport() {
        ports.link(10, pty.slavepath());
        QtSerialPort* p = makeport(10);
        EXPECT_EQ(p->open(), SerialPort::Opened) << p->errorstring().toStdString();
        return p;
    }
};

}  // namespace

TEST_F(RealPort, OpeningMapsEveryFailureOntoTheThreeResults) {
    QFile plain(scratch.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly) && pty.ok());
    QSerialPort elsewhere(pty.slavepath());  // a lock held as by another program
    // Where comN points (none: no link), and what opening it gives.
    const std::pair<QString, SerialPort::OpenResult> cases[] = {
        {scratch.filePath("gone"), SerialPort::NoSuchPort},
        {QString(), SerialPort::NoSuchPort},  // /dev/ttyS<N-1>, no UART behind it
        {plain.fileName(), SerialPort::OpenFailed},
        {"/dev/null", SerialPort::OpenFailed},
        {pty.slavepath(), SerialPort::Opened},
    };
    for (int n = 1; const auto& [target, result] : cases) {
        if (!target.isEmpty()) ports.link(n, target);
        EXPECT_EQ(makeport(n)->open(), result) << target.toStdString();
        ++n;
    }
    ports.link(11, pty.slavepath());
    QtSerialPort* same = makeport(11);  // another name, same device: refused before it is touched
    EXPECT_EQ(same->open(), SerialPort::AlreadyOpen);
    EXPECT_EQ(same->errorstring(), pty.slavepath() + " is already open");
    for (auto* p : owner.findChildren<QtSerialPort*>()) p->close();
    ASSERT_TRUE(elsewhere.open(QIODevice::ReadWrite));
    for (const char* folder : {"/", "/dev"}) {
        ASSERT_TRUE(QDir::setCurrent(folder));
        EXPECT_EQ(makeport(11)->open(), SerialPort::AlreadyOpen) << "from " << folder;
    }
}

TEST_F(RealPort, UnreadInputIsBoundedAndClosingLetsOutputDrainForHalfASecondAtMost) {
    QtSerialPort* port = openport();
    // Nobody takes what arrives: the port holds no more than its bound.
    const QByteArray lots(4096, 'x');
    QElapsedTimer flooding;
    flooding.start();
    while (flooding.elapsed() < 200) {
        ::write(pty.masterfd(), lots.constData(), lots.size());  // as much as the terminal takes
        QTest::qWait(1);
    }
    EXPECT_LE(port->input().size(), QtSerialPort::kReadBufferSize);

    const QByteArray upload = "load\r" + QByteArray("100\r").repeated(1000);
    ASSERT_TRUE(port->output(upload));
    EXPECT_EQ(port->close(), 0);  // before the event loop ever ran
    EXPECT_EQ(pty.read(2000, upload.size()), upload);

    // A far end that does not read: closing gives up (bench_flood times it)
    // and says what it dropped.
    port = openport();
    for (int i = 0; i < 30; ++i) ASSERT_TRUE(port->output(upload));
    EXPECT_GT(port->close(), 60'000);  // more than the terminal can hold
    EXPECT_FALSE(port->isopen());
}

TEST_F(RealPort, ALostFarEndClosesThePortOnceWithoutAnErrorStorm) {
    QtSerialPort* port = openport();
    QSignalSpy lost(port, &SerialPort::linklost);
    QSignalSpy errors(port->findChild<QSerialPort*>(), &QSerialPort::errorOccurred);
    port->output(QByteArray("-32768\r").repeated(1000));
    pty.closemaster();
    EXPECT_TRUE(lost.wait(2000));
    EXPECT_FALSE(port->isopen());
    QTest::qWait(200);
    EXPECT_EQ(lost.count(), 1);
    EXPECT_LT(errors.count(), 10);  // left alone, QSerialPort reports it endlessly
    EXPECT_FALSE(port->output("arm\r"));
}
