// SPDX-License-Identifier: MIT
#include "link/networkport.h"

#include <QMetaObject>
#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <utility>

#include "diagnostics.h"
#include "link/networkaddress.h"

#ifdef Q_OS_UNIX
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#else
#include <QHostInfo>
#endif

namespace gaspuff {
namespace {

// A dead connection (cable cut, server frozen) is ended within 25 s: probes
// after 10 s of silence, and sent data unacknowledged for 20 s.
constexpr int kKeepAliveIdleS = 10;
constexpr int kKeepAliveIntervalS = 5;
constexpr int kKeepAliveProbes = 3;
constexpr int kUnacknowledgedMs = 20000;

// What a server whose one connection is taken says before it closes
// (ser2net; the second when another of its ports holds the device).
constexpr QByteArrayView kInUse[] = {"Port already in use\r\n", "Port's device already in use\r\n"};

bool mayberefusal(const QByteArray& got) {
    return std::any_of(std::begin(kInUse), std::end(kInUse),
                       [&](QByteArrayView text) { return text.startsWith(got); });
}

int left(const QDeadlineTimer& deadline) {
    return static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1));
}

}  // namespace

NetworkPort::Lookup NetworkPort::lookup(const QString& host, int ms) {
#ifdef Q_OS_UNIX
    // Qt's asynchronous lookup answers through the event loop, which a click
    // cannot wait on; a blocking lookup on a thread of its own can be waited
    // for with a bound and, when late, left to finish by itself.
    using Answer = std::pair<int, QList<QHostAddress>>;
    auto promise = std::make_shared<std::promise<Answer>>();
    std::future<Answer> answer = promise->get_future();
    std::thread([promise, name = host.toUtf8()] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int e = ::getaddrinfo(name.constData(), nullptr, &hints, &found);
        QList<QHostAddress> addresses;
        for (const addrinfo* a = e == 0 ? found : nullptr; a; a = a->ai_next)
            addresses << QHostAddress(a->ai_addr);
        if (found) ::freeaddrinfo(found);
        promise->set_value({e, addresses});
    }).detach();
    if (answer.wait_for(std::chrono::milliseconds(ms)) != std::future_status::ready)
        return {{}, false, tr("No answer for the name %1 within %2 ms").arg(host).arg(ms)};
    auto [e, addresses] = answer.get();
    if (e == 0 && !addresses.isEmpty()) return {addresses, false, {}};
    return {{},
            e == EAI_NONAME || e == EAI_NODATA || e == 0,
            tr("%1: %2").arg(host, QString::fromLocal8Bit(::gai_strerror(e)))};
#else
    Q_UNUSED(ms);
    const QHostInfo info = QHostInfo::fromName(host);
    return {info.addresses(), info.error() == QHostInfo::HostNotFound, info.errorString()};
#endif
}

NetworkPort::NetworkPort(QObject* parent) : SerialPort(parent), socket_(new QTcpSocket(this)) {
    frame_.setSingleShot(true);
    frame_.setTimerType(Qt::PreciseTimer);
    connect(&frame_, &QTimer::timeout, this, &NetworkPort::announce);
    connect(socket_, &QTcpSocket::readyRead, this, &NetworkPort::onreadyread);
    connect(socket_, &QTcpSocket::disconnected, this, &NetworkPort::onended);
    connect(socket_, &QTcpSocket::errorOccurred, this, [this] {
        if (socket_->state() != QAbstractSocket::ConnectedState) onended();
    });
}

NetworkPort::~NetworkPort() {
    opening_ = true;  // the socket's last signals find nobody to tell
    socket_->abort();
}

SerialPort::OpenResult NetworkPort::open() {
    if (open_) {
        error_ = tr("The port is already open");
        return AlreadyOpen;
    }
    lasturl_ = url_;
    const std::optional<NetworkAddress> address = parsenetworkaddress(url_, error_);
    if (!address) return NoSuchPort;
    const QDeadlineTimer deadline(kOpenWaitMs);
    QList<QHostAddress> addresses;
    if (QHostAddress literal; literal.setAddress(address->host)) {
        addresses << literal;
    } else {
        Lookup found = resolver_(address->host, left(deadline));
        if (found.addresses.isEmpty()) {
            error_ = found.why;
            return found.notfound ? NoSuchPort : OpenFailed;
        }
        addresses = std::move(found.addresses);
    }
    opening_ = true;
    OpenResult result = connectto(addresses, address->port, deadline);
    if (result == Opened) {
        configure();
        telnet_.reset();
        if (address->rfc2217) {
            telnet_.emplace(portsettings());
            socket_->write(telnet_->greeting());
        }
        result = awaitrefusal(deadline);
    }
    opening_ = false;
    if (result != Opened) {
        qCDebug(lclink) << "open" << url_ << "failed:" << result << error_;
        socket_->abort();
        pending_.clear();
        return result;
    }
    open_ = true;
    error_.clear();
    qCDebug(lclink) << "opened" << url_ << (telnet_ ? "with RFC 2217" : "raw");
    if (!pending_.isEmpty()) frame_.start(0);  // what came with the server's first word
    return Opened;
}

SerialPort::OpenResult NetworkPort::connectto(const QList<QHostAddress>& addresses, quint16 port,
                                              const QDeadlineTimer& deadline) {
    for (const QHostAddress& a : addresses) {
        socket_->abort();
        socket_->connectToHost(a, port);
        if (socket_->waitForConnected(left(deadline))) return Opened;
        error_ = socket_->error() == QAbstractSocket::SocketTimeoutError
                     ? tr("No answer from %1 within %2 ms").arg(url_).arg(kOpenWaitMs)
                     : socket_->errorString();
        if (deadline.hasExpired()) break;
    }
    return OpenFailed;
}

// Listens briefly for a server that turns the client away; anything else it
// sends is the line's and kept.
SerialPort::OpenResult NetworkPort::awaitrefusal(const QDeadlineTimer& deadline) {
    const QDeadlineTimer window(std::min<qint64>(kRefusalWaitMs, deadline.remainingTime()));
    pending_.clear();
    while (socket_->state() == QAbstractSocket::ConnectedState && mayberefusal(pending_) &&
           !window.hasExpired()) {
        socket_->waitForReadyRead(left(window));
        pull();
    }
    pull();
    const bool inuse = pending_.contains("already in use");
    if (socket_->state() == QAbstractSocket::ConnectedState && !inuse) return Opened;
    error_ = !pending_.trimmed().isEmpty()
                 ? tr("%1 says: %2").arg(url_, QString::fromLatin1(pending_.trimmed()))
                 : tr("%1 closed the connection at once").arg(url_);
    return inuse ? AlreadyOpen : OpenFailed;
}

void NetworkPort::configure() {
    socket_->setReadBufferSize(kReadBufferSize);
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);  // a status line at once
    socket_->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
#ifdef Q_OS_LINUX
    const auto fd = static_cast<int>(socket_->socketDescriptor());
    for (const auto& [name, value] : {std::pair{TCP_KEEPIDLE, kKeepAliveIdleS},
                                      {TCP_KEEPINTVL, kKeepAliveIntervalS},
                                      {TCP_KEEPCNT, kKeepAliveProbes},
                                      {TCP_USER_TIMEOUT, kUnacknowledgedMs}})
        ::setsockopt(fd, IPPROTO_TCP, name, &value, sizeof value);
#endif
}

qint64 NetworkPort::close() {
    if (!open_) return 0;
    closing_ = true;
    frame_.stop();
    // Waiting for output also reads: a full read buffer would end that wait.
    socket_->setReadBufferSize(0);
    const QDeadlineTimer deadline(kCloseWaitMs);
    while (socket_->bytesToWrite() > 0 && !deadline.hasExpired())
        if (!socket_->waitForBytesWritten(left(deadline))) break;
    const qint64 dropped = socket_->bytesToWrite();
    qCDebug(lclink) << "closed" << url_ << "with" << dropped << "characters not sent";
    socket_->readAll();  // input left unread would turn the close into a reset
    socket_->abort();
    finish();
    return dropped;
}

bool NetworkPort::output(const QByteArray& text) {
    if (!open_ || socket_->state() != QAbstractSocket::ConnectedState) {
        error_ = tr("The port is not open");
        return false;
    }
    if (const qint64 waiting = socket_->bytesToWrite(); waiting + text.size() > kWriteBufferSize) {
        error_ = tr("%1 is not taking output: %2 characters still waiting").arg(url_).arg(waiting);
        return false;
    }
    const QByteArray bytes = telnet_ ? TelnetCodec::escape(text) : text;
    if (socket_->write(bytes) != bytes.size()) {
        error_ = socket_->errorString();
        return false;
    }
    return true;
}

QByteArray NetworkPort::input() {
    pull();
    QByteArray taken = std::exchange(pending_, {});
    if (socket_->bytesAvailable() > 0 && !frame_.isActive()) frame_.start(kFrameMs);
    return taken;
}

// Takes what the socket holds, up to the bound, answering the server's
// Telnet as it goes.
void NetworkPort::pull() {
    if (pending_.size() >= kReadBufferSize) return;
    const QByteArray raw = socket_->read(kReadBufferSize - pending_.size());
    if (!telnet_) {
        pending_ += raw;
        return;
    }
    QByteArray reply;
    pending_ += telnet_->decode(raw, reply);
    if (!reply.isEmpty()) socket_->write(reply);
}

void NetworkPort::onreadyread() {
    if (!open_ || opening_ || closing_ || frame_.isActive()) return;
    const qint64 since = lastannounced_.isValid() ? lastannounced_.elapsed() : kFrameMs;
    if (since >= kFrameMs)
        announce();
    else
        frame_.start(static_cast<int>(kFrameMs - since));
}

// Telnet alone is nothing to announce.
void NetworkPort::announce() {
    if (!open_) return;
    pull();
    if (pending_.isEmpty()) return;
    lastannounced_.start();
    emit received();
}

// The server went, or the connection was reset or timed out. What it sent
// before is the line's last word, handed on before the loss; the port closes
// once, outside the socket's own signal.
void NetworkPort::onended() {
    if (!open_ || opening_ || closing_ || losepending_) return;
    losepending_ = true;
    error_ = socket_->error() == QAbstractSocket::RemoteHostClosedError
                 ? tr("%1 closed the connection").arg(url_)
                 : socket_->errorString();
    QMetaObject::invokeMethod(
        this,
        [this] {
            losepending_ = false;
            if (!open_) return;
            frame_.stop();
            while (open_ && (socket_->bytesAvailable() > 0 || !pending_.isEmpty())) {
                const qsizetype before = pending_.size() + socket_->bytesAvailable();
                announce();
                if (pending_.size() + socket_->bytesAvailable() >= before)
                    break;  // nobody takes it
            }
            if (!open_) return;
            qCDebug(lclink) << "lost" << url_ << "by" << error_;
            socket_->abort();
            finish();
            emit linklost();
        },
        Qt::QueuedConnection);
}

void NetworkPort::finish() {
    open_ = false;
    closing_ = false;
    frame_.stop();
    pending_.clear();
    telnet_.reset();
}

}  // namespace gaspuff
