#include "waveform/files.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <utility>

#include "waveform/records.h"

namespace gaspuff {
namespace {

// No entry needs a longer line, however it is padded with blanks.
constexpr qsizetype kLongestLine = 256;

bool isblank(char c) {
    return c == ' ' || c == '\t';
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

bool isregularfile(const QString& name) {
    if (name.isEmpty()) return false;
    const QFileInfo info(name);
    return info.exists() && info.isFile();
}

QString savewaveform(const QString& name, const Waveform& waveform) {
    auto failure = [&](const QString& why) {
        return QStringLiteral("Cannot save %1: %2").arg(name, why);
    };
    // Save replaces a file's content. A FIFO, a socket or a device of that
    // name (or a link to one) is no waveform file: it is left as it is.
    struct stat st {};
    if (::stat(QFile::encodeName(name).constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return failure(QStringLiteral("it is not a regular file"));
    // Unbuffered, so that a short write (a full disk, a size limit) shows up
    // here: a buffered QFileDevice can lose it and commit a truncated file.
    // A folder that refuses the temporary file may still let the file itself
    // be rewritten in place.
    QSaveFile file(name);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failure(file.errorString());
    const QByteArray text = waveformfiletext(waveform);
    for (qint64 done = 0; done < text.size();) {
        const qint64 n = file.write(text.constData() + done, text.size() - done);
        if (n <= 0) {
            // The cause, before cancelling puts its own words in its place.
            const QString why = file.errorString();
            file.cancelWriting();
            return failure(why);
        }
        done += n;
    }
    if (!file.commit()) return failure(file.errorString());
    return {};
}

QString loadwaveform(const QString& name, Waveform& waveform, int* count) {
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Cannot load %1: %2").arg(name, file.errorString());
    WaveformReader reader(name);
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0) return QStringLiteral("Cannot load %1: %2").arg(name, file.errorString());
        if (n == 0) break;
        if (!reader.feed(QByteArrayView(chunk.constData(), n))) return reader.error();
    }
    if (!reader.finish()) return reader.error();
    std::copy_n(reader.entries().begin(), reader.count(), waveform.begin());
    if (count) *count = reader.count();
    return {};
}

}  // namespace gaspuff
