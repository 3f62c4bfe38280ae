// SPDX-License-Identifier: MIT
#include "terminal.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace gaspuff::sim {

bool Terminal::open() {
    termios raw{};
    ::cfmakeraw(&raw);
    char name[256] = {};
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, name, &raw, nullptr) != 0) return false;
    master_ = Fd(master);
    slave_ = Fd(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    slavepath_ = QString::fromLocal8Bit(name);
    return true;
}

void Terminal::released() const {
    ::tcflush(slave_.get(), TCIFLUSH);
    ::ioctl(slave_.get(), TIOCNXCL);
}

QString Terminal::livingpath() const {
    return QStringLiteral("/proc/%1/fd/%2").arg(::getpid()).arg(slave_.get());
}

bool Listeners::watch(const QString& device) {
    Fd fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!fd.valid() ||
        ::inotify_add_watch(fd.get(), device.toLocal8Bit().constData(), IN_OPEN | IN_CLOSE) < 0)
        return false;
    fd_ = std::move(fd);
    return true;
}

}  // namespace gaspuff::sim
