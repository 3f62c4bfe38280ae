#pragma once
// A record of a session on the line, kept on request: every line received,
// every command written, ports opened and closed, waveforms sent and
// received, files saved and loaded. One line each, stamped with the local
// time, appended and flushed as it happens, so a crash loses at most the line
// being written. Received text is escaped so it can never forge a line.
#include <QByteArray>
#include <QString>
#include <functional>

#include "waveform/table.h"

namespace gaspuff {

class SessionLog {
  public:
    // Appends to the file at path, creating it if need be.
    explicit SessionLog(const QString& path);
    ~SessionLog();
    SessionLog(const SessionLog&) = delete;
    SessionLog& operator=(const SessionLog&) = delete;

    // Told once, in a sentence, the first time the log cannot be written. A
    // log that fails never stops its program: later lines are tried quietly.
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
    void write(const char* kind, const QByteArray& text);
    void fail(int error);

    QString path_;
    int fd_ = -1;
    int untold_ = 0;  // a failure nobody has been told of yet
    bool told_ = false;
    std::function<void(const QString&)> tell_;
    QByteArray fired_;  // fingerprint of the table last sent or read back
};

}  // namespace gaspuff
