// SPDX-License-Identifier: MIT
#include "link/comname.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace gaspuff {

QString portsfolder() {
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    // Qt 6.4 still passes a relative $XDG_CONFIG_HOME through.
    if (QDir::isRelativePath(config)) config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/gaspuff/ports");
}

QString comdevicepath(int n) {
    const QString link = portsfolder() + QStringLiteral("/com%1").arg(n);
    const QFileInfo info(link);
    if (info.isSymLink() || info.exists()) return link;
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
}

QString portsfolderwarning(const QString& folder) {
    for (const QString& dir : {folder, QFileInfo(folder).path()}) {
        struct stat st {};
        if (::stat(QFile::encodeName(dir).constData(), &st) != 0) continue;
        if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0 || (st.st_uid != ::geteuid() && st.st_uid != 0))
            return QStringLiteral(
                       "Warning: %1 is writable by other users, who can change which device a "
                       "Com port opens")
                .arg(dir);
    }
    return {};
}

QString portsfolderwarningonce() {
    static bool said = false;
    if (said) return {};
    QString warning = portsfolderwarning(portsfolder());
    said = !warning.isEmpty();
    return warning;
}

}  // namespace gaspuff
