// SPDX-License-Identifier: MIT
#pragma once
// ser2net, the real network serial server, on free loopback ports in front of
// a terminal, stopped by its pid.
#include <signal.h>
#include <sys/prctl.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

namespace gaspuff::test {

class Ser2net {
  public:
    static QString program() {
        return QStandardPaths::findExecutable("ser2net", {"/usr/sbin", "/usr/bin"});
    }
    static quint16 freeport() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return probe.serverPort();
    }

    // One accepter ("tcp", "telnet(rfc2217),tcp") per entry, all in front of
    // device, whose line starts as line; options: YAML lines for each.
    Ser2net(const QString& device, const QStringList& accepters, const QString& line = "115200n81",
            const QByteArray& options = {}) {
        QByteArray yaml;
        for (const QString& accepter : accepters) {
            ports_ << freeport();
            urls_ << (accepter.startsWith("telnet") ? "rfc2217" : "socket") +
                         QStringLiteral("://127.0.0.1:%1").arg(ports_.back());
            yaml += QStringLiteral(
                        "connection: &c%1\n  accepter: %2,127.0.0.1,%1\n"
                        "  connector: serialdev,%3,%4,local\n")
                        .arg(ports_.back())
                        .arg(accepter, device, line)
                        .toUtf8() +
                    options;
        }
        QFile f(dir_.filePath("ser2net.yaml"));
        if (program().isEmpty() || !f.open(QIODevice::WriteOnly) || f.write(yaml) != yaml.size())
            return;
        f.close();
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process_.start(program(), {"-n", "-u", "-c", f.fileName(), "-P", dir_.filePath("pid")});
        process_.waitForStarted(5000);
        // Probing with a connection would open the device: watch the table instead.
        for (QDeadlineTimer deadline(5000); !listening() && !deadline.hasExpired();)
            QThread::msleep(10);
    }
    ~Ser2net() { kill(); }

    bool listening() const {
        QFile tcp("/proc/net/tcp");
        const QByteArray table = tcp.open(QIODevice::ReadOnly) ? tcp.readAll() : QByteArray();
        for (const quint16 port : ports_)
            if (!table.contains(QStringLiteral("0100007F:%1 00000000:0000 0A")
                                    .arg(port, 4, 16, QChar('0'))
                                    .toUpper()
                                    .toLatin1()))
                return false;
        return process_.state() == QProcess::Running;
    }
    QString url(int i) const { return urls_.at(i); }
    void kill() {
        if (const qint64 pid = process_.processId(); pid > 0)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        process_.waitForFinished(5000);
    }

  private:
    QTemporaryDir dir_;
    QProcess process_;
    QList<quint16> ports_;
    QStringList urls_;
};

}  // namespace gaspuff::test
