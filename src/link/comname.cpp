#include "link/comname.h"

#include <QDir>
#include <QFileInfo>

namespace gaspuff {

QString portsfolder() {
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty()) config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/gaspuff/ports");
}

QString comdevicepath(int n) {
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(n);
#else
    const QString link = portsfolder() + QStringLiteral("/com%1").arg(n);
    const QFileInfo info(link);
    if (info.isSymLink() || info.exists()) return link;
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
#endif
}

}  // namespace gaspuff
