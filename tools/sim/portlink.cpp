// SPDX-License-Identifier: MIT
#include "portlink.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <optional>

namespace gaspuff::sim {
namespace {

QString syserror() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Where a symbolic link points, or nothing when path is no link.
std::optional<QByteArray> linktarget(const QByteArray& path) {
    QByteArray buf(4096, '\0');
    const ssize_t n = ::readlink(path.constData(), buf.data(), buf.size());
    if (n < 0) return std::nullopt;
    buf.truncate(n);
    return buf;
}

}  // namespace

PortLink::Outcome PortLink::create(const QString& folder, int n, const QString& target) {
    path_ = folder + QStringLiteral("/com%1").arg(n);
    target_ = target;
    if (!QDir().mkpath(folder)) {
        problem_ = QStringLiteral("cannot make the ports folder %1").arg(folder);
        return Outcome::Failed;
    }
    const QByteArray link = QFile::encodeName(path_);
    const QByteArray to = QFile::encodeName(target);

    bool replaced = false;
    if (::symlink(to.constData(), link.constData()) != 0) {
        if (errno != EEXIST) {
            problem_ = QStringLiteral("cannot make the link %1: %2").arg(path_, syserror());
            return Outcome::Failed;
        }
        const std::optional<QByteArray> old = linktarget(link);
        struct stat st {};
        if (!old) {
            problem_ = QStringLiteral(
                           "%1 exists and is not a link; the simulator leaves it alone. "
                           "Remove it or choose another --port.")
                           .arg(path_);
            return Outcome::Occupied;
        }
        // Only a target that is certainly gone makes the link dangling: one
        // that cannot be examined (another user's /proc, say) may well live.
        if (::stat(link.constData(), &st) == 0 || (errno != ENOENT && errno != ENOTDIR)) {
            problem_ = QStringLiteral(
                           "%1 already links to %2, which exists (another simulator, or "
                           "a device). Remove the link or choose another --port.")
                           .arg(path_, QFile::decodeName(*old));
            return Outcome::Occupied;
        }
        // Dangling: left behind by a simulator that could not clean up, its
        // /proc descriptor gone with it. Swap
        // in the new link by renaming over it, so the name never goes missing.
        const QByteArray temporary = link + ".new" + QByteArray::number(::getpid());
        ::unlink(temporary.constData());
        if (::symlink(to.constData(), temporary.constData()) != 0 ||
            ::rename(temporary.constData(), link.constData()) != 0) {
            problem_ =
                QStringLiteral("cannot replace the dangling link %1: %2").arg(path_, syserror());
            ::unlink(temporary.constData());
            return Outcome::Failed;
        }
        replaced = true;
    }
    made_ = true;
    return replaced ? Outcome::ReplacedDangling : Outcome::Created;
}

void PortLink::remove() {
    if (!made_) return;
    made_ = false;
    const QByteArray link = QFile::encodeName(path_);
    if (linktarget(link) == QFile::encodeName(target_)) ::unlink(link.constData());
}

}  // namespace gaspuff::sim
