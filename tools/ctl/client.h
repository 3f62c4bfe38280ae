// SPDX-License-Identifier: MIT
#pragma once
// The controller on the line as a script sees it: open the port, write what
// was asked for, and wait, against a deadline, for the lines it sends back.
#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <deque>
#include <functional>

#include "link/anyport.h"
#include "protocol/linksession.h"
#include "waveform/table.h"

namespace gaspuff {
class SessionLog;
}

namespace gaspuff::ctl {

class Interrupts;
struct CtlOptions;

// Exit statuses (128 + the signal's number when interrupted).
enum Exit { kSuccess = 0, kUsage = 1, kNoPort = 2, kTimedOut = 3, kNotConfirmed = 4, kBadFile = 5 };

// A message for the user, on standard error.
void say(const QString& text);

// What the controller said while a command waited: the newest messages only,
// so that a flood costs bounded memory, and how many older ones were left out.
class RecentMessages {
  public:
    static constexpr qsizetype kKept = 20;

    void add(const QByteArray& text);
    const std::deque<QByteArray>& kept() const { return kept_; }
    qint64 leftout() const { return leftout_; }
    // Says how many were left out, if any.
    void sayleftout() const;
    // Says each kept message ("controller says: ..."), then how many were
    // left out.
    void sayall() const;

  private:
    std::deque<QByteArray> kept_;
    qint64 leftout_ = 0;
};

class Client : public QObject {
    Q_OBJECT
  public:
    enum class Wait { Done, Deadline, LinkLost, Interrupted };

    // log may be null.
    Client(SessionLog* log, const Interrupts* interrupts);

    // The port of the options (--device, else Com N) at 115200,n,8,1.
    SerialPort::OpenResult open(const CtlOptions& options);
    // "Port 10", or "Port PATH" for a device given by its path.
    QString portname() const { return session_.portname(); }
    const LinkSession& session() const { return session_; }
    QString errorstring() const { return port_.errorstring(); }
    // The device the port has open, or opened last.
    QString devicepath() const { return port_.devicepath(); }
    SessionLog* log() const { return session_.log(); }

    // Writes word and a carriage return in one write, as the panel does.
    bool command(const char* word);
    // "load", then the 1000 values in a second write, as the panel's Send.
    bool upload(const Waveform& table);

    // Hands each line received, in order, to done until it returns true; or
    // stops at the deadline, when the link is lost or on SIGINT/SIGTERM.
    Wait await(const QDeadlineTimer& deadline, const std::function<bool(const QByteArray&)>& done);
    // 128 + the signal that interrupted, 0 for none.
    int interruptexit() const;
    // The exit status for how a wait ended; a lost link and a signal are
    // said here, a missed deadline is left to the caller to explain.
    int waitexit(Wait wait) const;
    // Says that the port refused output (or that a signal came first, which
    // no output follows); the exit status for it.
    int writefailed() const;

    // Closes the port, letting output drain for at most 0.5 s; returns the
    // characters dropped. Nothing is written to the line.
    qint64 close();

  signals:
    void wake();

  private:
    AnyPort port_;
    LinkSession session_{&port_};
    const Interrupts* interrupts_;
    std::deque<QByteArray> lines_;  // received, not yet handed to a waiter
    bool lost_ = false;
};

}  // namespace gaspuff::ctl
