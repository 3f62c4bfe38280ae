// SPDX-License-Identifier: MIT
#pragma once
// The far end of a serial line for tests: a raw pseudo-terminal whose slave
// side is reachable as "Com N" through a temporary per-user ports folder.
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

namespace gaspuff::test {

class RawPty {
  public:
    // Raw from birth: a terminal's default settings would alter and echo bytes.
    RawPty() {
        termios raw{};
        cfmakeraw(&raw);
        char name[128] = {};
        if (::openpty(&master_, &slave_, name, &raw, nullptr) != 0) master_ = slave_ = -1;
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        ::fcntl(master_, F_SETFD, FD_CLOEXEC);
        ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
        slavepath_ = QString::fromLocal8Bit(name);
    }
    ~RawPty() {
        closemaster();
        ::close(slave_);
    }
    bool ok() const { return master_ >= 0; }
    QString slavepath() const { return slavepath_; }
    int masterfd() const { return master_; }
    // What has come from the panel, until at least n bytes or ms have passed.
    QByteArray read(int ms, qsizetype n = 1) {
        QByteArray out;
        char buf[4096];
        for (QDeadlineTimer deadline(ms); out.size() < n && !deadline.hasExpired(); QTest::qWait(5))
            for (ssize_t got; (got = ::read(master_, buf, sizeof buf)) > 0;) out.append(buf, got);
        return out;
    }
    // The far end goes away.
    void closemaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

  private:
    int master_ = -1;
    int slave_ = -1;  // kept open so the line stays up between opens
    QString slavepath_;
};

// A temporary $XDG_CONFIG_HOME whose ports folder links comN to a device.
class PortsFolder {
  public:
    PortsFolder() {
        QDir(dir_.path()).mkpath(QStringLiteral("gaspuff/ports"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.path()));
    }
    ~PortsFolder() {
        if (saved_.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", saved_);
    }
    void link(int n, const QString& target) {
        const QString name = path() + QStringLiteral("/com%1").arg(n);
        QFile::remove(name);
        QFile::link(target, name);
    }
    QString path() const { return dir_.path() + QStringLiteral("/gaspuff/ports"); }

  private:
    QTemporaryDir dir_;
    QByteArray saved_ = qgetenv("XDG_CONFIG_HOME");
};

}  // namespace gaspuff::test
