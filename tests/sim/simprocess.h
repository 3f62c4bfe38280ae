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
    // Everything it wrote to standard error so far.
    QString errors() { return QString::fromLocal8Bit(errors_ += process_.readAllStandardError()); }

  private:
    QProcess process_;
    QString slavepath_;
    QByteArray errors_;
};

}  // namespace gaspuff::test
