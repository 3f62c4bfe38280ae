// SPDX-License-Identifier: MIT
#include "link/portsettings.h"

#include <QStringList>

namespace gaspuff {

QString PortSettings::text() const {
    const QString stop = stopbits == 15 ? QStringLiteral("1.5") : QString::number(stopbits / 10);
    return QStringLiteral("%1,%2,%3,%4").arg(baud).arg(QChar(parity)).arg(databits).arg(stop);
}

std::optional<PortSettings> PortSettings::parse(const QString& text) {
    const QStringList f = text.split(',');
    if (f.size() != 4) return std::nullopt;
    PortSettings s;
    bool ok = false;
    const QString baud = f[0].trimmed();
    s.baud = baud.toInt(&ok);
    if (!ok || s.baud <= 0 || baud.startsWith('+')) return std::nullopt;
    const QString parity = f[1].trimmed().toLower();
    if (parity.size() != 1 || !QStringLiteral("neoms").contains(parity)) return std::nullopt;
    s.parity = parity[0].toLatin1();
    const QString data = f[2].trimmed();
    s.databits = data.toInt(&ok);
    if (!ok || data.size() != 1 || s.databits < 5 || s.databits > 8) return std::nullopt;
    const QString stop = f[3].trimmed();
    if (stop == QLatin1String("1"))
        s.stopbits = 10;
    else if (stop == QLatin1String("1.5"))
        s.stopbits = 15;
    else if (stop == QLatin1String("2"))
        s.stopbits = 20;
    else
        return std::nullopt;
    return s;
}

double PortSettings::secondsfor(qint64 n) const {
    const double bits = 1 + databits + (parity == 'n' ? 0 : 1) + stopbits / 10.0;
    return n * bits / baud;
}

}  // namespace gaspuff
