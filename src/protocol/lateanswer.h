// SPDX-License-Identifier: MIT
#pragma once
// A read-back that ends before all its points have come (its deadline, an
// interrupt) leaves the rest of the answer on its way. Taken by the next
// read-back, those late points would shift the table. So the abandonment is
// recorded, in memory and in a marker file that other programs on the same
// device read, and "get" waits until the line has carried no point for a
// read-back's deadline since.
#include <QByteArray>
#include <QString>

namespace gaspuff {

// A read-back's deadline for all 1000 points; also how long the line must
// carry no point after an abandoned answer before "get" goes out.
constexpr qint64 kReadBackMs = 2000;

// Whether a read-back would take the line as a point (a number, in range or
// not).
bool pointlike(const QByteArray& line);

// How long, from now, "get" must still wait after an answer abandoned at
// abandoned (-1: none on record) on a line that last carried a point at
// lastpoint (-1: none seen); 0 when it may go at once. Times in milliseconds
// on one clock; times after now (a clock set back) count as now.
qint64 getdelay(qint64 abandoned, qint64 lastpoint, qint64 now);

class LateAnswer {
  public:
    // A read-back on device (its path; empty: none known, this program only)
    // ended before its answer did. Recording it never fails a command: a
    // marker that cannot be written leaves the record in memory.
    void abandoned(const QString& device);
    // A line received outside a read-back: a point there is a late answer's.
    void received(const QByteArray& line);
    // How long "get" on device must still wait; 0 when it may go now.
    qint64 delay(const QString& device) const;
    // The marker file for device; empty when there is no place for it.
    static QString markerpath(const QString& device);

  private:
    QString device_;
    qint64 abandoned_ = -1;
    qint64 lastpoint_ = -1;
};

}  // namespace gaspuff
