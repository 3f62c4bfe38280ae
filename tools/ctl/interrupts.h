#pragma once
// SIGINT and SIGTERM as an event: the handler only writes the signal's number
// into a pipe, and the event loop reads it, so the program can close its port
// and end in order rather than inside a handler.
#include <QObject>

class QSocketNotifier;

namespace gaspuff::ctl {

class Interrupts : public QObject {
    Q_OBJECT
  public:
    // Installs the handlers; from then on the two signals no longer end the
    // program by themselves.
    explicit Interrupts(QObject* parent = nullptr);
    ~Interrupts() override;

    // The signal that came, 0 while none has.
    int signal() const { return signal_; }

  signals:
    void interrupted(int signal);

  private:
    void onready();

    QSocketNotifier* notifier_ = nullptr;
    int signal_ = 0;
};

}  // namespace gaspuff::ctl
