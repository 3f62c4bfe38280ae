// SPDX-License-Identifier: MIT
#include "protocol/sessionlog.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "waveform/compare.h"
#include "waveform/files.h"
#include "waveform/records.h"

namespace gaspuff {

SessionLog::SessionLog(const QString& path) : path_(path) {
    open();
}

SessionLog::~SessionLog() {
    if (fd_ >= 0) ::close(fd_);
}

bool SessionLog::open() {
    // Twice at most: a link planted between following the links and opening
    // is not followed (ELOOP); the second round judges it.
    for (int round = 0; round < 2; ++round) {
        const Followed target = followlinks(encodedname(path_));
        if (target.path.isEmpty()) {
            fail(target.refusal);
            return false;
        }
        // Not blocking: a FIFO that nobody reads fails at once (ENXIO).
        fd_ = ::open(target.path.constData(),
                     O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0644);
        if (fd_ >= 0 || errno != ELOOP) break;
    }
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        fail(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    regular_ = S_ISREG(st.st_mode);
    device_ = st.st_dev;
    inode_ = st.st_ino;
    // A regular file is written as usual; anything else (a FIFO, a terminal)
    // stays non-blocking, so a reader that stops reading costs lines only.
    if (regular_) ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    return true;
}

// True when the name no longer leads to the file being written.
bool SessionLog::moved() const {
    struct stat st {};
    return ::stat(encodedname(path_).constData(), &st) != 0 || st.st_dev != device_ ||
           st.st_ino != inode_;
}

void SessionLog::onfailure(std::function<void(const QString&)> tell) {
    tell_ = std::move(tell);
    for (const QString& sentence : std::exchange(untold_, {})) tell_(sentence);
}

void SessionLog::received(const QByteArray& line) {
    write("rx", escaped(line));
}
void SessionLog::sent(const QByteArray& text) {
    write("tx", escaped(text));
}
void SessionLog::event(const QString& text) {
    write("--", escaped(encodedname(text)));
}

void SessionLog::port(const QString& name, const char* what, const QString& device) {
    const bool behind = !device.isEmpty() && device != name;
    event(QStringLiteral("port %1 %2%3")
              .arg(name, QLatin1String(what), behind ? " (" + device + ")" : QString()));
}

void SessionLog::waveform(const char* what, const Waveform& table) {
    fired_ = fingerprint(table);
    write("--", QByteArray("waveform ") + what + ' ' + waveformrecords(table, " ").trimmed() +
                    " sha256=" + fired_);
}

void SessionLog::file(const char* what, const QString& name, const Waveform& table) {
    event(QStringLiteral("file %1 %2 sha256=%3")
              .arg(QLatin1String(what), name, QLatin1String(fingerprint(table))));
}

void SessionLog::shot() {
    write("--", fired_.isEmpty()
                    ? QByteArray("shoot sha256 unknown: no waveform sent or read back in this run")
                    : "shoot sha256=" + fired_);
}

// Local time with its offset always written out, "+00:00" included: Qt's own
// ISO form would write UTC as "Z".
QByteArray SessionLog::timestamp() {
    const QDateTime now = QDateTime::currentDateTime();
    const int minutes = std::abs(now.offsetFromUtc()) / 60;
    return (now.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
            QString::asprintf("%c%02d:%02d", now.offsetFromUtc() < 0 ? '-' : '+', minutes / 60,
                              minutes % 60))
        .toLatin1();
}

QByteArray SessionLog::escaped(const QByteArray& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\')
            out += "\\\\";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (u < 0x20 || u >= 0x7f)
            out += QByteArray("\\x") + kHex[u >> 4] + kHex[u & 15];
        else
            out += c;
    }
    return out;
}

void SessionLog::write(const char* kind, const QByteArray& text) {
    if (fd_ < 0) return;
    if (regular_ && moved()) {
        ::close(fd_);
        midline_ = false;
        if (!open()) return;
        if (!std::exchange(reopentold_, true))
            say(QStringLiteral("Session log %1 was moved or deleted: reopened").arg(path_));
    }
    // After a record cut short, the next one begins on a line of its own.
    const QByteArray line = (midline_ ? "\n" : "") + timestamp() + ' ' + kind + ' ' + text + '\n';
    const qsizetype done = put(line);
    if (done == line.size()) {
        midline_ = false;
        return;
    }
    const int error = errno;
    midline_ = midline_ || done > 0;
    fail(error == EAGAIN ? QStringLiteral("its reader does not keep up; lines are left out")
                         : QString::fromLocal8Bit(std::strerror(error)));
}

// Writes the line, with O_APPEND in one write when it can, so that it lands
// whole after whatever is there; how much of it was written, errno telling
// why not all. A reader that went away must not end the program: SIGPIPE is
// held back and taken away again.
qsizetype SessionLog::put(const QByteArray& line) {
    sigset_t pipe, held, pending;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    bool pendingbefore = false;
    if (!regular_) {
        pthread_sigmask(SIG_BLOCK, &pipe, &held);
        pendingbefore = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
    }
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd_, line.constData() + done, size_t(line.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            break;
        }
        done += n;
    }
    if (!regular_) {
        const int error = errno;
        const timespec now{};
        if (error == EPIPE && !pendingbefore) sigtimedwait(&pipe, nullptr, &now);
        pthread_sigmask(SIG_SETMASK, &held, nullptr);
        errno = error;
    }
    return done;
}

void SessionLog::fail(const QString& why) {
    if (!std::exchange(failuretold_, true))
        say(QStringLiteral("Cannot write the session log %1: %2").arg(path_, why));
}

void SessionLog::say(const QString& sentence) {
    if (tell_)
        tell_(sentence);
    else
        untold_ << sentence;
}

}  // namespace gaspuff
