// SPDX-License-Identifier: MIT
#pragma once
// A record of a session on the line, kept on request: every line received,
// every command written, ports opened and closed, waveforms sent and
// received, files saved and loaded. One line each, stamped with the local
// time, appended and flushed as it happens, so a crash loses at most the line
// being written. Received text is escaped so it can never forge a line.
//
// The log never holds its program up: it is opened and written without
// blocking, so a FIFO nobody reads, or a reader that stops reading, costs log
// lines, never a stuck program. A record cut short (a full disk) leaves the
// next one on a line of its own, and a log moved or deleted meanwhile (by
// hand, by logrotate) is noticed before the next record and opened again by
// its name.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

#include "waveform/table.h"

namespace gaspuff {

class SessionLog {
  public:
    // Appends to the file at path, creating it if need be. Links are followed
    // by the shared folders' rule (see followlinks()).
    explicit SessionLog(const QString& path);
    ~SessionLog();
    SessionLog(const SessionLog&) = delete;
    SessionLog& operator=(const SessionLog&) = delete;

    // Told once, in a sentence, the first time the log cannot be written, and
    // once the first time it had to be opened again. A log that fails never
    // stops its program: later lines are tried quietly.
    void onfailure(std::function<void(const QString&)> tell);

    void received(const QByteArray& line);  // "rx ..."
    void sent(const QByteArray& text);      // "tx ...", the bytes written
    void event(const QString& text);        // "file saved ...", "file loaded ..."
    // "port Com 10 opened (/dev/ttyUSB0)": what befell the port named name;
    // the device behind the name in brackets when known and not the name.
    void port(const QString& name, const char* what, const QString& device);
    // "waveform sent 0 0 ... 0 sha256=<64 hex>": what, the 1000 values and
    // the table's fingerprint, remembered as the table a shot fires.
    void waveform(const char* what, const Waveform& table);
    // "file saved waveform1.txt sha256=<64 hex>": the table after the save or
    // the load, so sha256sum of the file names the same table.
    void file(const char* what, const QString& name, const Waveform& table);
    // "shoot sha256=<64 hex>": the table last sent or read back in this run,
    // or "shoot sha256 unknown: ..." when there is none.
    void shot();

    // "2026-12-07T09:15:02.417+01:00": local time with its offset.
    static QByteArray timestamp();
    // Control bytes, backslash and bytes beyond ASCII as \r, \n, \t, \\, \xNN.
    static QByteArray escaped(const QByteArray& text);

  private:
    bool open();
    bool moved() const;
    void write(const char* kind, const QByteArray& text);
    qsizetype put(const QByteArray& line);
    void fail(const QString& why);
    void say(const QString& sentence);

    QString path_;
    int fd_ = -1;
    bool regular_ = false;            // else a FIFO or a device: written without blocking
    quint64 device_ = 0, inode_ = 0;  // of the file written, to notice it moved
    bool midline_ = false;            // the file ends in a record cut short
    bool failuretold_ = false, reopentold_ = false;
    QStringList untold_;  // said as soon as someone listens
    std::function<void(const QString&)> tell_;
    QByteArray fired_;  // fingerprint of the table last sent or read back
};

}  // namespace gaspuff
