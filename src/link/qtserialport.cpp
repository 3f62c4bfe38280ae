// SPDX-License-Identifier: MIT
#include "link/qtserialport.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QMetaObject>
#include <QSet>
#include <QThread>
#include <algorithm>
#include <utility>

#include "diagnostics.h"
#include "link/comname.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif
#ifdef Q_OS_LINUX
#include <linux/serial.h>
#endif

namespace gaspuff {
namespace {

// Devices this program holds open: a second open of one of them is refused
// as "already open" before the device is touched.
QSet<QString>& openhere() {
    static QSet<QString> devices;
    return devices;
}

QSerialPort::Parity qtparity(char p) {
    switch (p) {
        case 'e':
            return QSerialPort::EvenParity;
        case 'o':
            return QSerialPort::OddParity;
        case 'm':
            return QSerialPort::MarkParity;
        case 's':
            return QSerialPort::SpaceParity;
        default:
            return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits qtstopbits(int tenths) {
    if (tenths == 15) return QSerialPort::OneAndHalfStop;
    if (tenths == 20) return QSerialPort::TwoStop;
    return QSerialPort::OneStop;
}

}  // namespace

QtSerialPort::QtSerialPort(QObject* parent) : SerialPort(parent), port_(new QSerialPort(this)) {
    frame_.setSingleShot(true);
    frame_.setTimerType(Qt::PreciseTimer);
    connect(&frame_, &QTimer::timeout, this, &QtSerialPort::onframe);
    connect(port_, &QSerialPort::readyRead, this, &QtSerialPort::onreadyread);
    connect(port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onerror);
}

QtSerialPort::~QtSerialPort() {
    forget();
}

SerialPort::OpenResult QtSerialPort::open() {
    if (port_->isOpen()) {
        error_ = tr("The port is already open");
        return AlreadyOpen;
    }
    const QString path = fixeddevice_.isEmpty() ? comdevicepath(commport()) : fixeddevice_;
    const OpenResult r = openport(path);
    if (r == Opened)
        qCDebug(lclink) << "opened" << path << "as" << device_ << "at" << portsettings().text();
    else
        qCDebug(lclink) << "open" << path << "failed:" << r << error_;
    return r;
}

SerialPort::OpenResult QtSerialPort::openport(const QString& path) {
#ifdef Q_OS_UNIX
    // Open the device itself, not the link that names it, so that two names
    // of one device are one device.
    const QString device = QFileInfo(path).canonicalFilePath();
    if (device.isEmpty()) {
        error_ = tr("No device %1").arg(path);
        return NoSuchPort;
    }
    if (const OpenResult r = checkdevice(device); r != Opened) return r;
#else
    const QString device = path;
#endif
    if (openhere().contains(device)) {
        error_ = tr("%1 is already open").arg(device);
        return AlreadyOpen;
    }

    const PortSettings& s = portsettings();
    port_->setPortName(device);
    port_->setBaudRate(s.baud);
    port_->setDataBits(static_cast<QSerialPort::DataBits>(s.databits));
    port_->setParity(qtparity(s.parity));
    port_->setStopBits(qtstopbits(s.stopbits));
    port_->setFlowControl(QSerialPort::NoFlowControl);
    port_->setReadBufferSize(kReadBufferSize);
    lastdevice_ = device;
    if (!port_->open(QIODevice::ReadWrite)) return failedopen(device);

    device_ = device;
    openhere().insert(device_);
    error_.clear();
    return Opened;
}

SerialPort::OpenResult QtSerialPort::checkdevice(const QString& device) {
#ifdef Q_OS_UNIX
    const QByteArray native = QFile::encodeName(device);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        const int e = errno;
        error_ = QString::fromLocal8Bit(std::strerror(e));
        return e == ENOENT || e == ENOTDIR ? NoSuchPort : OpenFailed;
    }
    if (!S_ISCHR(st.st_mode)) {
        error_ = tr("%1 is not a serial device").arg(device);
        return OpenFailed;
    }
#ifdef Q_OS_LINUX
    // Every /dev/ttyS node exists whether or not a UART stands behind it.
    if (device.startsWith(QLatin1String("/dev/ttyS"))) {
        const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            const int e = errno;
            error_ = QString::fromLocal8Bit(std::strerror(e));
            if (e == EIO || e == ENXIO || e == ENODEV) return NoSuchPort;
            if (e == EBUSY) return AlreadyOpen;
            return OpenFailed;
        }
        struct serial_struct info {};
        const bool unknown = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN;
        ::close(fd);
        if (unknown) {
            error_ = tr("No UART behind %1").arg(device);
            return NoSuchPort;
        }
    }
#endif
#endif
    return Opened;
}

SerialPort::OpenResult QtSerialPort::failedopen(const QString& device) {
    error_ = port_->errorString();
    const QSerialPort::SerialPortError e = port_->error();
    port_->clearError();
    switch (e) {
        case QSerialPort::DeviceNotFoundError:
            return NoSuchPort;
        case QSerialPort::OpenError:
            return AlreadyOpen;
        case QSerialPort::PermissionError:
#ifdef Q_OS_UNIX
            // QSerialPort says "permission" both for a device locked or busy
            // elsewhere and for one this user may not open. Its port name is
            // a short one ("pts/3"), relative to nothing: test the path.
            if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0)
                return OpenFailed;
#endif
            return AlreadyOpen;
        default:
            return OpenFailed;
    }
}

qint64 QtSerialPort::close() {
    if (!port_->isOpen()) return 0;
    // Input no longer matters, but waiting for output also reads: a full read
    // buffer would end that wait at once.
    frame_.stop();
    held_ = false;
    closing_ = true;
    port_->setReadBufferSize(0);
    // Let a command or an upload just written reach the line first, but wait
    // no longer than the line needs for it, and never long enough to freeze
    // the window behind a far end that does not read.
    const double seconds = portsettings().secondsfor(unsent()) + 0.1;
    QDeadlineTimer deadline(std::min<qint64>(static_cast<qint64>(seconds * 1000), kCloseWaitMs));
    while (unsent() > 0 && !deadline.hasExpired()) {
        const int left = static_cast<int>(deadline.remainingTime());
        if (port_->bytesToWrite() > 0) {
            if (!port_->waitForBytesWritten(left)) break;
        } else {
            QThread::msleep(std::min(left, 2));  // the device is still sending its own queue
        }
    }
    const qint64 dropped = unsent();
#ifdef Q_OS_UNIX
    // What the device still queues would otherwise hold up the close itself.
    if (dropped > 0) ::tcflush(static_cast<int>(port_->handle()), TCOFLUSH);
#endif
    qCDebug(lclink) << "closed" << device_ << "with" << dropped << "characters not sent";
    port_->close();
    forget();
    return dropped;
}

bool QtSerialPort::output(const QByteArray& text) {
    if (!port_->isOpen()) {
        error_ = tr("The port is not open");
        return false;
    }
    if (port_->write(text) != text.size()) {
        error_ = port_->errorString();
        return false;
    }
    return true;
}

QByteArray QtSerialPort::input() {
    return port_->readAll();
}

void QtSerialPort::onreadyread() {
    if (pulling_ || closing_ || frame_.isActive()) return;  // an announcement is due already
    const qint64 since = lastannounced_.isValid() ? lastannounced_.elapsed() : kFrameMs;
    if (since >= kFrameMs) {
        announce();
    } else {
        hold();
        frame_.start(static_cast<int>(kFrameMs - since));
    }
}

// A frame has passed since the last announcement: everything that arrived
// meanwhile is read now, and while the line stays busy it is held for
// another frame.
void QtSerialPort::onframe() {
    release();
#ifdef Q_OS_UNIX
    int queued = 0;
    const int fd = static_cast<int>(port_->handle());
    if (::ioctl(fd, FIONREAD, &queued) == 0 && queued > 0) {
        pulling_ = true;
        port_->waitForReadyRead(0);
        pulling_ = false;
    }
#endif
    if (!port_->isOpen() || port_->bytesAvailable() == 0) return;  // quiet: watched again
    hold();
    frame_.start(kFrameMs);
    announce();
}

// Waking up for every few characters of a busy line costs far more than the
// characters, so between frames the device is left alone; the terminal holds
// what arrives. QSerialPort stops watching the device when its read buffer is
// full: a bound of one character makes it stop at its next read.
void QtSerialPort::hold() {
#ifdef Q_OS_UNIX
    held_ = true;
    port_->setReadBufferSize(1);
#endif
}

void QtSerialPort::release() {
    if (!std::exchange(held_, false)) return;
    port_->setReadBufferSize(kReadBufferSize);  // which watches the device again
}

void QtSerialPort::announce() {
    if (!port_->isOpen() || port_->bytesAvailable() == 0) return;
    lastannounced_.start();
    emit received();
}

void QtSerialPort::onerror(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError &&
        error != QSerialPort::WriteError)
        return;
    if (!port_->isOpen() || !devicegone()) {
        port_->clearError();  // a passing fault on a healthy device
        return;
    }
    error_ = port_->errorString();
    // QSerialPort keeps reporting the error as fast as it can until the port
    // is closed; close once, outside its own signal.
    if (closepending_) return;
    closepending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            closepending_ = false;
            if (!port_->isOpen()) return;
            qCDebug(lclink) << "lost" << device_ << "by" << error_;
            port_->close();
            forget();
            emit linklost();
        },
        Qt::QueuedConnection);
}

bool QtSerialPort::devicegone() const {
#ifdef Q_OS_UNIX
    termios t{};
    return ::tcgetattr(static_cast<int>(port_->handle()), &t) != 0;
#else
    return port_->error() == QSerialPort::ResourceError;
#endif
}

qint64 QtSerialPort::unsent() const {
    qint64 n = port_->bytesToWrite();
#ifdef Q_OS_UNIX
    int queued = 0;
    if (::ioctl(static_cast<int>(port_->handle()), TIOCOUTQ, &queued) == 0 && queued > 0)
        n += queued;
#endif
    return n;
}

void QtSerialPort::forget() {
    if (!device_.isEmpty()) openhere().remove(device_);
    device_.clear();
    frame_.stop();
    held_ = false;
    closing_ = false;
}

}  // namespace gaspuff
