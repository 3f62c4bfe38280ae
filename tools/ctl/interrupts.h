// SPDX-License-Identifier: MIT
#pragma once
// SIGINT and SIGTERM as an event: the handler only notes the signal and writes
// its number into a pipe, and the event loop reads it, so the program can
// close its port and end in order rather than inside a handler. Should the
// program be held up where the event loop cannot run (a write to a terminal
// or pipe that takes nothing), it ends anyway kOrderlyEndS seconds after the
// signal, with the same exit status.
#include <QObject>

class QSocketNotifier;

namespace gaspuff::ctl {

class Interrupts : public QObject {
    Q_OBJECT
  public:
    // How long an orderly end may take before the program ends at once.
    static constexpr unsigned kOrderlyEndS = 2;

    // Installs the handlers; from then on the two signals no longer end the
    // program by themselves.
    explicit Interrupts(QObject* parent = nullptr);
    ~Interrupts() override;

    // The signal that came, 0 while none has; known at once, before the
    // event loop has run.
    int signal() const;

  signals:
    void interrupted(int signal);

  private:
    void onready();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace gaspuff::ctl
