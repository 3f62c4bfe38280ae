#include "rawpty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>

namespace gaspuff::test {

RawPty::RawPty() {
    termios raw{};
    cfmakeraw(&raw);
    char name[128] = {};
    if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0) master_ = slave_ = -1;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    slavepath_ = QString::fromLocal8Bit(name);
}

RawPty::~RawPty() {
    closemaster();
    ::close(slave_);
}

QByteArray RawPty::read(int ms, qsizetype n) {
    QByteArray out;
    char buf[4096];
    for (QDeadlineTimer deadline(ms); out.size() < n && !deadline.hasExpired(); QTest::qWait(5)) {
        for (ssize_t got; (got = ::read(master_, buf, sizeof buf)) > 0;) out.append(buf, got);
    }
    return out;
}

void RawPty::closemaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
}

PortsFolder::PortsFolder() {
    QDir(dir_.path()).mkpath(QStringLiteral("gaspuff/ports"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path()));
}

PortsFolder::~PortsFolder() {
    if (saved_.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", saved_);
}

void PortsFolder::link(int n, const QString& target) {
    const QString name = path() + QStringLiteral("/com%1").arg(n);
    QFile::remove(name);
    QFile::link(target, name);
}

}  // namespace gaspuff::test
