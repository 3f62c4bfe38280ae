// SPDX-License-Identifier: MIT
#pragma once
// The serial port behind a network serial server (a device server, ser2net):
// raw TCP, or Telnet with the COM-PORT-OPTION, over QTcpSocket. To the window
// it is a serial port like any other; a connection that ends is a device that
// went away.
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <optional>

#include "link/serialport.h"
#include "link/telnet.h"

namespace gaspuff {

class NetworkPort : public SerialPort {
    Q_OBJECT
  public:
    // Received characters beyond this are left to TCP's flow control until
    // the window has taken what the port holds.
    static constexpr qint64 kReadBufferSize = 16 * 1024;
    // Output is refused while this much waits for a server that is not
    // reading: bounded memory, said instead of kept.
    static constexpr qint64 kWriteBufferSize = 64 * 1024;
    // Received characters are announced at most once a frame.
    static constexpr int kFrameMs = 16;
    // The longest open() holds the window up: the name's lookup, connecting
    // and the server's first word together.
    static constexpr int kOpenWaitMs = 400;
    // A server whose one connection is taken accepts, says so and closes at
    // once; open() listens this long for it.
    static constexpr int kRefusalWaitMs = 100;

    struct Lookup {
        QList<QHostAddress> addresses;
        bool notfound = false;  // the name names no host (else: no answer, or a failure)
        QString why;
    };
    // Looks a host name up, waiting at most ms.
    using Resolver = std::function<Lookup(const QString& host, int ms)>;
    static Lookup lookup(const QString& host, int ms);

    explicit NetworkPort(QObject* parent = nullptr);
    ~NetworkPort() override;

    // The URL the next open() connects to (socket://HOST:PORT or
    // rfc2217://HOST:PORT).
    void seturl(const QString& url) { url_ = url; }
    void setresolver(Resolver resolver) { resolver_ = std::move(resolver); }

    OpenResult open() override;
    qint64 close() override;
    bool isopen() const override { return open_; }
    bool output(const QByteArray& text) override;
    QByteArray input() override;
    QString errorstring() const override { return error_; }
    QString devicepath() const override { return lasturl_; }

  private:
    OpenResult connectto(const QList<QHostAddress>& addresses, quint16 port,
                         const QDeadlineTimer& deadline);
    OpenResult awaitrefusal(const QDeadlineTimer& deadline);
    void configure();
    void pull();
    void onreadyread();
    void announce();
    void onended();
    void finish();

    QTcpSocket* socket_;
    Resolver resolver_ = &NetworkPort::lookup;
    std::optional<TelnetCodec> telnet_;  // for rfc2217:// only
    QTimer frame_;
    QElapsedTimer lastannounced_;
    QByteArray pending_;  // received, decoded, not yet taken
    QString url_;
    QString lasturl_;
    QString error_;
    bool open_ = false;
    bool opening_ = false;  // inside open(): signals are not the window's business yet
    bool closing_ = false;
    bool losepending_ = false;
};

}  // namespace gaspuff
