#include "protocol/sessionlog.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <cerrno>
#include <cstring>

#include "waveform/compare.h"
#include "waveform/records.h"

namespace gaspuff {

SessionLog::SessionLog(const QString& path) : path_(path) {
    fd_ = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC,
                 0644);
    if (fd_ < 0) untold_ = errno;
}

SessionLog::~SessionLog() {
    if (fd_ >= 0) ::close(fd_);
}

void SessionLog::onfailure(std::function<void(const QString&)> tell) {
    tell_ = std::move(tell);
    if (untold_ != 0) fail(untold_);
}

void SessionLog::received(const QByteArray& line) {
    write("rx", escaped(line));
}
void SessionLog::sent(const QByteArray& text) {
    write("tx", escaped(text));
}
void SessionLog::event(const QString& text) {
    write("--", escaped(text.toUtf8()));
}

void SessionLog::port(const QString& name, const char* what, const QString& device) {
    const bool behind = !device.isEmpty() && device != name;
    event(QStringLiteral("port %1 %2%3")
              .arg(name, QLatin1String(what), behind ? " (" + device + ")" : QString()));
}

void SessionLog::waveform(const char* what, const Waveform& table) {
    fired_ = fingerprint(table);
    write("--", QByteArray("waveform ") + what + ' ' + waveformrecords(table, " ").trimmed() +
                    " sha256=" + fired_);
}

void SessionLog::file(const char* what, const QString& name, const Waveform& table) {
    event(QStringLiteral("file %1 %2 sha256=%3")
              .arg(QLatin1String(what), name, QLatin1String(fingerprint(table))));
}

void SessionLog::shot() {
    write("--", fired_.isEmpty()
                    ? QByteArray("shoot sha256 unknown: no waveform sent or read back in this run")
                    : "shoot sha256=" + fired_);
}

QByteArray SessionLog::timestamp() {
    QDateTime now = QDateTime::currentDateTime();
    now.setOffsetFromUtc(now.offsetFromUtc());
    return now.toString(Qt::ISODateWithMs).toLatin1();
}

QByteArray SessionLog::escaped(const QByteArray& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\')
            out += "\\\\";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (u < 0x20 || u >= 0x7f)
            out += QByteArray("\\x") + kHex[u >> 4] + kHex[u & 15];
        else
            out += c;
    }
    return out;
}

void SessionLog::write(const char* kind, const QByteArray& text) {
    if (fd_ < 0) return;
    const QByteArray line = timestamp() + ' ' + kind + ' ' + text + '\n';
    // One write a line: with O_APPEND it lands whole, after whatever is there.
    const ssize_t n = ::write(fd_, line.constData(), static_cast<size_t>(line.size()));
    if (n != line.size()) fail(n < 0 ? errno : ENOSPC);
}

void SessionLog::fail(int error) {
    if (told_) return;
    if (!tell_) {
        untold_ = error;  // said as soon as someone listens
        return;
    }
    told_ = true;
    tell_(QStringLiteral("Cannot write the session log %1: %2")
              .arg(path_, QString::fromLocal8Bit(std::strerror(error))));
}

}  // namespace gaspuff
