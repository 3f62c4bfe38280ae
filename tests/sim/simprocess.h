// SPDX-License-Identifier: MIT
#pragma once
// The real gaspuff-sim program, run for a test.
#include <signal.h>
#include <sys/prctl.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>

namespace gaspuff::test {

class SimProcess {
  public:
    // Starts the simulator with args and waits (bounded) until it has printed
    // its terminal's path or ended.
    explicit SimProcess(const QStringList& args) {
        // It ends with the test, even one that crashed.
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process_.start(QStringLiteral(GASPUFF_SIM_PATH), args);
        for (QDeadlineTimer deadline(5000); !process_.canReadLine();)
            if (!process_.waitForReadyRead(deadline.remainingTime())) return;
        slavepath_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
    ~SimProcess() {
        process_.kill();
        process_.waitForFinished(5000);
    }

    // The terminal's path; empty when the simulator printed none.
    QString slavepath() const { return slavepath_; }
    // Waits at most ms for the program to end.
    bool waitended(int ms = 5000) {
        return process_.state() == QProcess::NotRunning || process_.waitForFinished(ms);
    }
    // Sends the signal, while the program runs, then waits like waitended.
    bool endwith(int signal) {
        const auto pid = static_cast<pid_t>(process_.processId());  // 0 once it has ended
        return pid > 0 && ::kill(pid, signal) == 0 && waitended();
    }
    // The exit status, or -1 when the program crashed.
    int exitcode() const {
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    // Everything it wrote to standard error so far.
    QString errors() { return QString::fromLocal8Bit(errors_ += process_.readAllStandardError()); }

  private:
    QProcess process_;
    QString slavepath_;
    QByteArray errors_;
};

}  // namespace gaspuff::test
