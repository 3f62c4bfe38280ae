#include "rawpty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

namespace gaspuff::test {

RawPty::RawPty() {
    termios raw{};
    cfmakeraw(&raw);
    char name[128] = {};
    if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    slavepath_ = QString::fromLocal8Bit(name);
}

RawPty::~RawPty() {
    closemaster();
    if (slave_ >= 0) ::close(slave_);
}

void RawPty::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size() && master_ >= 0) {
        const ssize_t n = ::write(master_, bytes.constData() + done, bytes.size() - done);
        if (n > 0)
            done += n;
        else {
            pollfd p{master_, POLLOUT, 0};
            ::poll(&p, 1, 10);
            QCoreApplication::processEvents();
        }
    }
}

QByteArray RawPty::read(int ms) {
    QByteArray out;
    if (master_ < 0) return out;
    pollfd p{master_, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return out;
    char buf[4096];
    for (ssize_t n; (n = ::read(master_, buf, sizeof buf)) > 0;) out.append(buf, n);
    return out;
}

QByteArray RawPty::readatleast(qsizetype n, int ms) {
    QByteArray out;
    QDeadlineTimer deadline(ms);
    while (out.size() < n && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        out += read(5);
    }
    return out;
}

void RawPty::closemaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

PortsFolder::PortsFolder()
    : saved_(qgetenv("XDG_CONFIG_HOME")), hadsaved_(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")) {
    QDir(dir_.path()).mkpath(QStringLiteral("gaspuff/ports"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path()));
}

PortsFolder::~PortsFolder() {
    if (hadsaved_)
        qputenv("XDG_CONFIG_HOME", saved_);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

QString PortsFolder::path() const {
    return dir_.path() + QStringLiteral("/gaspuff/ports");
}

void PortsFolder::link(int n, const QString& target) {
    const QString name = path() + QStringLiteral("/com%1").arg(n);
    QFile::remove(name);
    QFile::link(target, name);
}

}  // namespace gaspuff::test
