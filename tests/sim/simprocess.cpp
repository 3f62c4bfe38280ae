#include "simprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>

namespace gaspuff::test {
namespace {

constexpr int kStartMs = 5000;

}  // namespace

SimProcess::SimProcess(const QStringList& args) {
    process_.start(QStringLiteral(GASPUFF_SIM_PATH), args);
    QDeadlineTimer deadline(kStartMs);
    QByteArray out;
    process_.waitForStarted(kStartMs);
    while (!out.contains('\n') && !deadline.hasExpired() && running()) {
        process_.waitForReadyRead(50);
        out += process_.readAllStandardOutput();
    }
    out += process_.readAllStandardOutput();
    if (out.contains('\n')) slavepath_ = QString::fromLocal8Bit(out.left(out.indexOf('\n')));
}

SimProcess::~SimProcess() {
    if (running()) {
        process_.kill();
        process_.waitForFinished(kStartMs);
    }
}

bool SimProcess::endwith(int signal) {
    if (!running()) return false;
    ::kill(static_cast<pid_t>(process_.processId()), signal);
    return waitended(kStartMs);
}

bool SimProcess::waitended(int ms) {
    if (!running()) return true;
    return process_.waitForFinished(ms);
}

QString SimProcess::errors() {
    errors_ += process_.readAllStandardError();
    return QString::fromLocal8Bit(errors_);
}

SimRun runsim(const QStringList& args, int ms) {
    QProcess p;
    p.start(QStringLiteral(GASPUFF_SIM_PATH), args);
    SimRun run;
    if (!p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished(ms);
        return run;
    }
    run.exitcode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(p.readAllStandardError());
    return run;
}

LineEnd::LineEnd(const QString& path) {
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

LineEnd::~LineEnd() {
    close();
}

void LineEnd::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void LineEnd::write(const QByteArray& bytes) {
    qsizetype done = 0;
    QDeadlineTimer deadline(kStartMs);
    while (fd_ >= 0 && done < bytes.size() && !deadline.hasExpired()) {
        const ssize_t n = ::write(fd_, bytes.constData() + done, bytes.size() - done);
        if (n > 0) {
            done += n;
        } else {
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 10);
        }
    }
}

QByteArray LineEnd::readsome(int ms) {
    QByteArray out;
    if (fd_ < 0) return out;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return out;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd_, buf, sizeof buf)) > 0;) out.append(buf, n);
    return out;
}

QByteArray LineEnd::readlines(int n, int ms) {
    return readuntil([n](const QByteArray& got) { return got.count('\r') >= n; }, ms);
}

}  // namespace gaspuff::test
