// SPDX-License-Identifier: MIT
#pragma once
// The waveform text file: one decimal entry per line, each ended by a
// carriage return and a line feed, entry 0 first.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "waveform/table.h"

namespace gaspuff {

// What Save writes: the 1000 entries, CR LF after each.
QByteArray waveformfiletext(const Waveform& waveform);

// Reads a waveform file fed in chunks of any size and checks it whole. Each
// line holds one whole number in -32768..32767, blanks around it allowed; a
// line may end in CR LF, LF or CR, the last line with nothing; empty lines at
// the very end are ignored. At most 1000 entries. The first fault ends the
// reading and is described with the file's name and, where it has one, the
// line's number. subject is how a sentence about the source begins ("The
// clipboard" for "the clipboard"); a file's name begins one as it is.
class WaveformReader {
  public:
    explicit WaveformReader(QString name, QString subject = {})
        : name_(std::move(name)), subject_(subject.isEmpty() ? name_ : std::move(subject)) {}
    bool feed(QByteArrayView chunk);  // false once the file is known to be bad
    bool finish();                    // at the end of the file; false if bad
    const QString& error() const { return error_; }
    int count() const { return count_; }
    const Waveform& entries() const { return entries_; }

  private:
    bool takeline();
    bool fail(const QString& why);

    QString name_;
    QString subject_;
    QString error_;
    QByteArray line_;
    bool afterreturn_ = false;  // a line feed straight after a CR ends no line
    int lineno_ = 0;
    int firstblank_ = 0;  // the first of a run of empty lines, 0 for none
    int count_ = 0;
    Waveform entries_{};
};

// File names as the system holds them: bytes, which need not be valid UTF-8.
// A byte that is not part of valid UTF-8 becomes the lone surrogate U+DC80 +
// (byte - 0x80) and back again, so a name taken from a command line reaches
// the file system exactly as given even where the window cannot show it.
QString decodedname(QByteArrayView bytes);
QByteArray encodedname(const QString& name);

// True for an existing regular file, hidden or not; a directory, a device or
// a missing name is not one.
bool isregularfile(const QString& name);

// Why name cannot be loaded, before it is opened: empty for a regular file
// (or a link to one), "File NAME does not exist" when nothing of that name
// exists, else what it is ("Cannot load NAME: it is not a regular file").
QString unloadable(const QString& name);

// Where name leads once every link is followed, under the rule the kernel
// applies to protect shared folders: in a sticky folder that every user may
// write, a link is followed only when it belongs to this user or to the
// folder's owner. The path reached, never itself a link then; or, with an
// empty path, why not ("it is a link owned by another user in a shared
// folder").
struct Followed {
    QByteArray path;
    QString refusal;
};
Followed followlinks(const QByteArray& name);

// Writes the file through a temporary beside it, which replaces the file only
// once complete and then has its mode, owner and group. An empty text on
// success, else what went wrong. When the owner or group could not be kept
// (only root may give a file away), the file is saved and note says so
// ("could not keep its owner nobody: Operation not permitted").
QString savewaveform(const QString& name, const Waveform& waveform, QString* note = nullptr);

// Reads and checks the whole file first: waveform changes only if the file is
// good, and then only its first count entries. An empty text on success;
// count, when given, then holds the number of entries the file held.
QString loadwaveform(const QString& name, Waveform& waveform, int* count = nullptr);

}  // namespace gaspuff
