// SPDX-License-Identifier: MIT
#include "link/networkaddress.h"

#include <QFile>
#include <QRegularExpression>

#ifdef Q_OS_UNIX
#include <unistd.h>

#include <array>
#endif

namespace gaspuff {
namespace {

bool hasscheme(const QString& text) {
    return text.startsWith(QLatin1String("socket://")) ||
           text.startsWith(QLatin1String("rfc2217://"));
}

// The link's target as written: Qt's own answer is made an absolute path,
// which would turn "socket://h:1" into a file name.
QString linktarget(const QString& path) {
#ifdef Q_OS_UNIX
    std::array<char, 1024> buf{};
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buf.data(), buf.size());
    if (n > 0 && n < static_cast<ssize_t>(buf.size())) return QFile::decodeName(buf.data());
#else
    Q_UNUSED(path);
#endif
    return {};
}

}  // namespace

QString networkname(const QString& path) {
    if (hasscheme(path)) return path;
    const QString target = linktarget(path);
    return hasscheme(target) ? target : QString();
}

std::optional<NetworkAddress> parsenetworkaddress(const QString& url, QString& why) {
    static const QRegularExpression form(QStringLiteral(
        R"(^(socket|rfc2217)://(\[([0-9A-Fa-f:.]+)\]|([A-Za-z0-9.-]+)):(\d{1,5})/?$)"));
    const QRegularExpressionMatch m = form.match(url);
    const int port = m.hasMatch() ? m.captured(5).toInt() : 0;
    if (port < 1 || port > 65535) {
        why = QStringLiteral(
                  "%1 is not a network port: give socket://HOST:PORT or "
                  "rfc2217://HOST:PORT, PORT from 1 to 65535")
                  .arg(url);
        return std::nullopt;
    }
    NetworkAddress a;
    a.rfc2217 = m.captured(1) == QLatin1String("rfc2217");
    a.host = m.captured(3).isEmpty() ? m.captured(4) : m.captured(3);
    a.port = static_cast<quint16>(port);
    return a;
}

}  // namespace gaspuff
