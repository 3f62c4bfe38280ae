// SPDX-License-Identifier: MIT
#include "protocol/lateanswer.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>

#include "diagnostics.h"
#include "protocol/number.h"

namespace gaspuff {
namespace {

qint64 now() {
    return QDateTime::currentMSecsSinceEpoch();
}

// The moment a marker records; -1 for none.
qint64 readmarker(const QString& path) {
    QFile f(path);
    if (path.isEmpty() || !f.open(QIODevice::ReadOnly)) return -1;
    bool ok = false;
    const qint64 at = f.read(32).trimmed().toLongLong(&ok);
    return ok ? at : -1;
}

}  // namespace

bool pointlike(const QByteArray& line) {
    return tonumber(std::string_view(line.constData(), line.size())).status !=
           NumberStatus::NotNumeric;
}

qint64 getdelay(qint64 abandoned, qint64 lastpoint, qint64 now) {
    if (abandoned < 0) return 0;
    const qint64 quietsince = std::min(std::max(abandoned, lastpoint), now);
    return std::max<qint64>(quietsince + kReadBackMs - now, 0);
}

void LateAnswer::abandoned(const QString& device) {
    device_ = device;
    abandoned_ = now();
    const QString path = markerpath(device);
    qCDebug(lcprotocol) << "read-back on" << device << "abandoned; marker" << path;
    if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).path())) return;
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(QByteArray::number(abandoned_) + '\n');
}

void LateAnswer::received(const QByteArray& line) {
    if (pointlike(line)) lastpoint_ = now();
}

qint64 LateAnswer::delay(const QString& device) const {
    const qint64 here = device == device_ ? abandoned_ : -1;
    const qint64 wait = getdelay(std::max(here, readmarker(markerpath(device))), lastpoint_, now());
    if (wait > 0) qCDebug(lcprotocol) << "get on" << device << "waits" << wait << "ms for quiet";
    return wait;
}

QString LateAnswer::markerpath(const QString& device) {
    if (device.isEmpty()) return {};
    // Qt warns on standard error when the runtime folder is not set; a
    // script's standard error is no place for that, so the cache folder
    // serves then.
    const QString base = QStandardPaths::writableLocation(
        qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") ? QStandardPaths::GenericCacheLocation
                                                       : QStandardPaths::RuntimeLocation);
    if (base.isEmpty()) return {};
    return base + QStringLiteral("/gaspuff/readback-") +
           QString::fromLatin1(QUrl::toPercentEncoding(device));
}

}  // namespace gaspuff
