#pragma once
// The real gaspuff-sim program for tests, and the far end of its terminal
// opened the way a program on the line opens it.
#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace gaspuff::test {

class SimProcess {
  public:
    // Starts the simulator with args and waits (bounded) for the terminal's
    // path on its standard output.
    explicit SimProcess(const QStringList& args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // True once the simulator said where its terminal is.
    bool ready() const { return !slavepath_.isEmpty(); }
    QString slavepath() const { return slavepath_; }
    qint64 pid() const { return process_.processId(); }

    // Sends the signal and waits (bounded) for the program to end.
    bool endwith(int signal);
    // Waits at most ms for the program to end by itself.
    bool waitended(int ms);
    bool running() const { return process_.state() != QProcess::NotRunning; }
    int exitcode() const { return process_.exitCode(); }
    bool exitednormally() const { return process_.exitStatus() == QProcess::NormalExit; }
    // Everything it wrote to standard error so far.
    QString errors();

  private:
    QProcess process_;
    QString slavepath_;
    QByteArray errors_;
};

// Runs the simulator to its end with args (bounded); its exit code, or -1
// when it did not end by itself.
struct SimRun {
    int exitcode = -1;
    QString out, err;
};
SimRun runsim(const QStringList& args, int ms = 5000);

// A program's end of the simulator's terminal: the slave side, opened like a
// serial port (raw, no controlling terminal, non-blocking).
class LineEnd {
  public:
    explicit LineEnd(const QString& path);
    ~LineEnd();
    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void write(const QByteArray& bytes);
    // Reads until the received text holds n carriage returns or ms have
    // passed; returns everything received so far, including earlier reads.
    QByteArray readlines(int n, int ms);
    // What has arrived by now, without waiting.
    QByteArray readnow() { return received_ += readsome(0); }
    // Reads until until(received) is true or ms have passed.
    template <typename F>
    QByteArray readuntil(F&& until, int ms);
    void close();

  private:
    QByteArray readsome(int ms);
    int fd_ = -1;
    QByteArray received_;
};

template <typename F>
QByteArray LineEnd::readuntil(F&& until, int ms) {
    QDeadlineTimer deadline(ms);
    while (!until(received_) && !deadline.hasExpired()) received_ += readsome(5);
    return received_;
}

}  // namespace gaspuff::test
