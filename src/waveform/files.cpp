// SPDX-License-Identifier: MIT
#include "waveform/files.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include "waveform/records.h"

namespace gaspuff {
namespace {

// No entry needs a longer line, however it is padded with blanks.
constexpr qsizetype kLongestLine = 256;

bool isblank(char c) {
    return c == ' ' || c == '\t';
}

// As many links as the kernel follows in one name.
constexpr int kMaxLinks = 40;

QString errnotext(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString username(uid_t uid) {
    const passwd* user = ::getpwuid(uid);
    return user ? QString::fromLocal8Bit(user->pw_name) : QString::number(uid);
}
QString groupname(gid_t gid) {
    const group* g = ::getgrgid(gid);
    return g ? QString::fromLocal8Bit(g->gr_name) : QString::number(gid);
}

// Gives the file that replaces old the old one's owner, group and mode (the
// mode last: a change of owner clears the set-ID bits). What could not be
// kept, in words; a group of the user's own is kept even when the owner is not.
QString keepowner(int fd, const struct stat& old) {
    struct stat now {};
    QString lost;
    if (::fstat(fd, &now) == 0 && (now.st_uid != old.st_uid || now.st_gid != old.st_gid) &&
        ::fchown(fd, old.st_uid, old.st_gid) != 0) {
        const int error = errno;
        const bool group = now.st_gid == old.st_gid || ::fchown(fd, uid_t(-1), old.st_gid) == 0;
        const QString owner = QStringLiteral("owner ") + username(old.st_uid);
        const QString grp = QStringLiteral("group ") + groupname(old.st_gid);
        lost = QStringLiteral("could not keep its %1: %2")
                   .arg(now.st_uid == old.st_uid ? grp
                        : group                  ? owner
                                                 : owner + QStringLiteral(" and ") + grp,
                        errnotext(error));
    }
    ::fchmod(fd, old.st_mode & 07777);
    return lost;
}

// A new file beside path, created here and nowhere else (never through a link
// planted under its name); its name in temp. -1 with errno set on failure.
int createbeside(const QByteArray& path, QByteArray& temp) {
    for (int tries = 0; tries < 100; ++tries) {
        temp = path + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

QByteArray waveformfiletext(const Waveform& waveform) {
    return waveformrecords(waveform, "\r\n");
}

bool WaveformReader::fail(const QString& why) {
    error_ = why;
    return false;
}

bool WaveformReader::feed(QByteArrayView chunk) {
    if (!error_.isEmpty()) return false;
    for (char c : chunk) {
        if (c == '\n' && afterreturn_) {
            afterreturn_ = false;
            continue;
        }
        afterreturn_ = c == '\r';
        if (c == '\r' || c == '\n') {
            if (!takeline()) return false;
            continue;
        }
        if (line_.size() >= kLongestLine)
            return fail(
                QStringLiteral("Line %1 of %2 is not a whole number").arg(lineno_ + 1).arg(name_));
        line_.append(c);
    }
    return true;
}

bool WaveformReader::finish() {
    if (!error_.isEmpty()) return false;
    if (!line_.isEmpty()) return takeline();
    return true;
}

bool WaveformReader::takeline() {
    ++lineno_;
    // Take the line out of the buffer: the view must not outlive its text.
    const QByteArray line = std::exchange(line_, QByteArray());
    QByteArrayView text(line);
    // Some editors begin a text file with a UTF-8 byte-order mark.
    if (lineno_ == 1 && text.startsWith("\xEF\xBB\xBF")) text = text.sliced(3);
    while (!text.empty() && isblank(text.front())) text = text.sliced(1);
    while (!text.empty() && isblank(text.back())) text.chop(1);
    if (text.empty()) {
        if (firstblank_ == 0) firstblank_ = lineno_;
        return true;
    }
    if (firstblank_ != 0)
        return fail(QStringLiteral("Line %1 of %2 is empty").arg(firstblank_).arg(name_));

    bool negative = false;
    if (text.front() == '+' || text.front() == '-') {
        negative = text.front() == '-';
        text = text.sliced(1);
    }
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return fail(QStringLiteral("Line %1 of %2 is not a whole number").arg(lineno_).arg(name_));
    long value = 0;
    for (char c : text) value = std::min(value * 10 + (c - '0'), 100000L);
    if (negative) value = -value;
    if (value < -32768 || value > 32767)
        return fail(
            QStringLiteral("Line %1 of %2 is outside -32768..32767").arg(lineno_).arg(name_));
    if (count_ == kWaveformLength)
        return fail(QStringLiteral("%1 has more than %2 entries")
                        .arg(subject_, QString::number(kWaveformLength)));
    entries_[count_++] = static_cast<int16_t>(value);
    return true;
}

QString decodedname(QByteArrayView bytes) {
    QString name;
    name.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const qsizetype length = lead < 0x80                    ? 1
                                 : lead >= 0xc2 && lead <= 0xdf ? 2
                                 : lead >= 0xe0 && lead <= 0xef ? 3
                                 : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                                : 0;
        const QByteArrayView sequence = bytes.sliced(i, std::min(length, bytes.size() - i));
        if (length > 0 && sequence.size() == length && sequence.isValidUtf8()) {
            name += QString::fromUtf8(sequence);
            i += length;
        } else {
            name += QChar(0xdc00 + lead);
            ++i;
        }
    }
    return name;
}

QByteArray encodedname(const QString& name) {
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype from = 0;  // where the text not yet encoded begins
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (c < 0xdc80 || c > 0xdcff || (i > 0 && name[i - 1].isHighSurrogate())) continue;
        bytes += QStringView(name).sliced(from, i - from).toUtf8();
        bytes += static_cast<char>(c - 0xdc00);
        from = i + 1;
    }
    return bytes + QStringView(name).sliced(from).toUtf8();
}

bool isregularfile(const QString& name) {
    struct stat st {};
    return !name.isEmpty() && ::stat(encodedname(name).constData(), &st) == 0 &&
           S_ISREG(st.st_mode);
}

QString unloadable(const QString& name) {
    struct stat st {};
    if (::stat(encodedname(name).constData(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR
                   ? QStringLiteral("File %1 does not exist").arg(name)
                   : QStringLiteral("Cannot load %1: %2").arg(name, errnotext(errno));
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("Cannot load %1: it is not a regular file").arg(name);
    return {};
}

Followed followlinks(const QByteArray& name) {
    QByteArray path = name;
    for (int links = 0;; ++links) {
        struct stat link {};
        if (::lstat(path.constData(), &link) != 0 || !S_ISLNK(link.st_mode)) return {path, {}};
        if (links == kMaxLinks) return {{}, errnotext(ELOOP)};
        const qsizetype slash = path.lastIndexOf('/');
        const QByteArray folder = slash < 0 ? "." : path.left(std::max<qsizetype>(slash, 1));
        struct stat dir {};
        constexpr mode_t kShared = S_ISVTX | S_IWOTH;
        if (::stat(folder.constData(), &dir) == 0 && (dir.st_mode & kShared) == kShared &&
            link.st_uid != ::geteuid() && link.st_uid != dir.st_uid)
            return {{}, QStringLiteral("it is a link owned by another user in a shared folder")};
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.constData(), target, sizeof target);
        if (n < 0 || n == sizeof target) return {path, {}};  // gone meanwhile: opening says so
        const QByteArray to(target, n);
        path = to.startsWith('/') || slash < 0 ? to : path.left(slash + 1) + to;
    }
}

QString savewaveform(const QString& name, const Waveform& waveform, QString* note) {
    auto failure = [&](const QString& why) {
        return QStringLiteral("Cannot save %1: %2").arg(name, why);
    };
    // The links are followed here, once, by the shared folders' rule; from
    // then on the file is reached by a name that is no link.
    const Followed target = followlinks(encodedname(name));
    if (target.path.isEmpty()) return failure(target.refusal);
    const char* const path = target.path.constData();
    // Save replaces a file's content. A FIFO, a socket, a device or a folder
    // of that name (or a link to one) is no waveform file: it is left alone.
    struct stat old {};
    const bool exists = ::lstat(path, &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return failure(QStringLiteral("it is not a regular file"));
    if (exists && ::faccessat(AT_FDCWD, path, W_OK, AT_EACCESS) != 0)
        return failure(errnotext(errno));
    // The new text goes to a file beside the old one and replaces it by a
    // rename only once complete, so a crash or a full disk leaves the old one
    // whole. A folder that refuses new files may still let the file itself be
    // rewritten in place.
    QByteArray temp;
    int fd = createbeside(target.path, temp);
    if (fd < 0 && errno == EACCES && exists) {
        temp.clear();
        fd = ::open(path, O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0) return failure(errnotext(errno));
    auto abandon = [&](int error) {
        ::close(fd);
        if (!temp.isEmpty()) ::unlink(temp.constData());
        return failure(errnotext(error));
    };
    const QByteArray text = waveformfiletext(waveform);
    for (qsizetype done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.constData() + done, size_t(text.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return abandon(n < 0 ? errno : ENOSPC);
        done += n;
    }
    const QString lost = !temp.isEmpty() && exists ? keepowner(fd, old) : QString();
    if (::fsync(fd) != 0) return abandon(errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0 || (!temp.isEmpty() && ::rename(temp.constData(), path) != 0)) {
        const int error = errno;
        if (!temp.isEmpty()) ::unlink(temp.constData());
        return failure(errnotext(error));
    }
    if (note) *note = lost;
    return {};
}

QString loadwaveform(const QString& name, Waveform& waveform, int* count) {
    auto failure = [&](const QString& why) {
        return QStringLiteral("Cannot load %1: %2").arg(name, why);
    };
    // Not blocking, so that a FIFO of that name is refused, not waited on.
    const int fd = ::open(encodedname(name).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return failure(errnotext(errno));
    QFile file;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return failure(QStringLiteral("it is not a regular file"));
    }
    WaveformReader reader(name);
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0) return failure(file.errorString());
        if (n == 0) break;
        if (!reader.feed(QByteArrayView(chunk.constData(), n))) return reader.error();
    }
    if (!reader.finish()) return reader.error();
    std::copy_n(reader.entries().begin(), reader.count(), waveform.begin());
    if (count) *count = reader.count();
    return {};
}

}  // namespace gaspuff
