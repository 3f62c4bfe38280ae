// SPDX-License-Identifier: MIT
#pragma once
// One program's session with the controller on a port: opening and closing
// it, commands and the upload as the panel writes them, the received text cut
// into lines, logged and interpreted, the read-back with its deadline and the
// late-answer rule, and the words for each outcome. The window, gaspuff-ctl
// and gaspuff-tango each hold one and adapt it in a few lines. Everything
// runs on the event thread of the port; nothing here blocks.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>
#include <utility>

#include "link/lineassembly.h"
#include "link/serialport.h"
#include "protocol/interpreter.h"
#include "protocol/lateanswer.h"
#include "waveform/table.h"

namespace gaspuff {

class SessionLog;

class LinkSession : public QObject {
    Q_OBJECT
  public:
    enum class Transfer { Upload, ReadBack };
    Q_ENUM(Transfer)
    // How a transfer ended: all of it went or came, its deadline passed, the
    // link was lost, or the port was closed under it.
    enum class Outcome { Done, Refused, TimedOut, LinkLost, Closed };
    Q_ENUM(Outcome)

    // port stays its owner's (the window's MSComm1, gaspuff-ctl's port).
    explicit LinkSession(SerialPort* port, QObject* parent = nullptr);

    SerialPort* port() const { return port_; }
    // Records the session there when set; null for none.
    void setlog(SessionLog* log) { log_ = log; }
    SessionLog* log() const { return log_; }
    // The name the port was given when it is not a Com number (a device
    // path, a URL); empty for Com N.
    void setgivenname(const QString& name) { given_ = name; }
    // "Port 10", or "Port NAME" for a port given by name: the words' name.
    QString portname() const;

    // Opens the port; a half line of an earlier connection is dropped.
    SerialPort::OpenResult open();
    // "Port 10 open successfully", "Port 10 does not exist" ...
    QString openwords(SerialPort::OpenResult result) const;
    // Closes the port if open, abandoning a read-back under way; returns the
    // characters the line did not take.
    qint64 close();
    // "N characters of output not sent: the line did not take them".
    static QString unsentwords(qint64 dropped);

    // Writes word and a carriage return in one write. False when the port is
    // closed or refused it; error() says why.
    bool command(const char* word);
    // "load", then the table's 1000 records in a second write.
    bool upload(const Waveform& table);
    // "get", then the points until all 1000 have come or the deadline
    // passes. Refused while the rest of an answer given up on may still come.
    bool get();
    // How long, from now, "get" must still wait; 0 when it may go now.
    qint64 getdelay() const;
    // The read-back's deadline (kReadBackMs): runs only during a read-back.
    QTimer* deadline() { return &deadline_; }
    // The deadline passed: the staged points go, the table stays.
    void expire();
    bool transferring() const { return rx_.getting; }
    // Why the last command, upload or get was refused.
    const QString& error() const { return error_; }

    // Interprets one line as if it had been received alone (not logged).
    void parseline(const QByteArray& line);
    // Whether any character came since the last call.
    bool takeactivity() { return std::exchange(activity_, false); }
    const Reception& reception() const { return rx_; }
    const QByteArray& pending() const { return rxbuffer_.text; }
    // The table last sent or read back (all zeros before).
    const Waveform& table() const { return table_; }
    // Drops the half line waiting and a read-back's staged points.
    void clearreceived();

  signals:
    // Characters arrived (the watchdog's sign of life).
    void activity();
    // Each line in order, with its meaning.
    void line(const QByteArray& text, const LineMeaning& meaning);
    void message(const QByteArray& text);
    // The newest status line of what arrived at once, its fields as received.
    void status(const LineMeaning& newest);
    // The port closed itself: nothing is known of the controller any more.
    void linklost();
    void transferstarted(LinkSession::Transfer kind);
    void transferfinished(LinkSession::Transfer kind, LinkSession::Outcome outcome,
                          const Waveform& table);
    void outofmemory();

  private:
    void onreceived();
    void onlinklost();
    // Interprets line; a status line's meaning goes to newest.
    void handle(const QByteArray& line, std::optional<LineMeaning>& newest);
    void endreadback(Outcome outcome);
    void logport(const char* what);

    SerialPort* port_;
    SessionLog* log_ = nullptr;
    QString given_;
    LineAssembly rxbuffer_;
    bool activity_ = false;
    Reception rx_;
    LateAnswer lateanswer_;
    QTimer deadline_;
    Waveform table_{};
    QString error_;
};

}  // namespace gaspuff
