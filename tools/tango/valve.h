// SPDX-License-Identifier: MIT
#pragma once
// One valve controller as the device server keeps it: the line, what is
// known of the controller, the watchdog, reopening after a loss and the
// transfers. Everything here runs on the owner thread and knows nothing of
// Tango; the device reads snapshots and asks for work through the owner.
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>

#include "link/anyport.h"
#include "protocol/linksession.h"

namespace gaspuff::tango {

// What became of a request: empty reason when it succeeded.
struct Outcome {
    QString reason;  // a short word for programs ("NotConnected")
    QString text;    // the sentence for people
    bool ok() const { return reason.isEmpty(); }
};

enum class Condition { Opening, Open, Closed, Lost, Reopening };

struct Snapshot {
    // The fields of the last status line, as received; empty when not known.
    QByteArray state, uptime, autoarm;
    QByteArray lastmessage;  // escaped as the session log escapes
    QString port;            // "Port 10", "Port /dev/ttyUSB0"
    QString device;          // the device as opened
    Condition condition = Condition::Opening;
    QString why;          // why the port is not open, when it is not
    bool silent = false;  // nothing received for a second
    bool transfer = false;
    std::optional<Waveform> table;  // last sent and verified, or read back

    // "Port 10 (/dev/pts/3): open"
    QString link() const;
    // One line for a shift operator.
    QString status() const;
};

class Valve : public QObject {
    Q_OBJECT
  public:
    using Finish = std::function<void(const Outcome&)>;

    // A second without a received character: the line is silent.
    static constexpr int kWatchdogMs = 1000;
    // Reopening waits this long first, twice as long after each failure, up
    // to kReopenMaxMs.
    static constexpr int kReopenFirstMs = 500;
    static constexpr int kReopenMaxMs = 5000;

    explicit Valve(const QString& port, QObject* parent = nullptr);

    void start();
    // Closes the line; nothing reopens it.
    void stop();
    const Snapshot& snapshot() const { return s_; }

    Outcome command(const char* word);
    // Loads table, reads it back and compares; finish is called once.
    void write(const Waveform& table, Finish finish);
    void readback(Finish finish);

  signals:
    void changed();
    // A transfer completed: the table is the controller's.
    void transferred();

  private:
    Outcome refusal(bool transfers) const;
    void tryopen();
    void onlost();
    void onfinished(LinkSession::Transfer kind, LinkSession::Outcome outcome,
                    const Waveform& table);
    void finish(const Outcome& outcome);
    void forget();

    AnyPort port_;  // a device, or a network serial server for a URL
    LinkSession line_;
    Snapshot s_;
    QTimer watchdog_, reopen_;
    int backoffms_ = kReopenFirstMs;
    bool portset_ = false;
    bool running_ = false;
    std::optional<Waveform> wrote_;  // the table a verified write sent
    Finish finish_;
};

}  // namespace gaspuff::tango
