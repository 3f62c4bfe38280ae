// SPDX-License-Identifier: MIT
#include "app/waveformnote.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>

namespace gaspuff {
namespace {

constexpr qreal kNotePoints = 7;  // smaller than the window's 8.25 pt

}  // namespace

WaveformNote::WaveformNote(QWidget* parent) : QLabel(parent) {
    // Only the size is set: the face follows the window's.
    QFont small;
    small.setPointSizeF(kNotePoints);
    setFont(small);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextFormat(Qt::PlainText);
}

void WaveformNote::setsentence(const QString& sentence, bool clickable) {
    sentence_ = sentence;
    clickable_ = clickable && !sentence.isEmpty();
    // A label tells assistive technology only its accessible name, and the
    // elided text may hide the end of the sentence: both carry all of it.
    setToolTip(sentence);
    setAccessibleName(sentence);
    if (clickable_)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
    relayout();
}

void WaveformNote::clearsentence() {
    setsentence({});
}

QStringList WaveformNote::laidout(const QString& text, const QFont& font, QSize box) {
    const QFontMetrics fm(font);
    const int width = std::max(1, box.width());
    const int fitting = std::max(1, box.height() / fm.lineSpacing());
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        const int start = line.textStart();
        const int end = start + line.textLength();
        // Qt elides a single line only, so the last line that fits takes
        // the rest of the sentence and is elided on its own.
        if (lines.size() + 1 == fitting && end < text.size()) {
            lines << fm.elidedText(text.mid(start), Qt::ElideRight, width);
            break;
        }
        lines << text.mid(start, end - start).trimmed();
    }
    layout.endLayout();
    return lines;
}

void WaveformNote::relayout() {
    lines_ = laidout(sentence_, font(), contentsRect().size());
    setText(lines_.join(QLatin1Char('\n')));
}

void WaveformNote::paintEvent(QPaintEvent* event) {
    // The lines are painted at the spacing they were laid out with, so the
    // last one that fits is the last one shown (QLabel spaces lines its own way).
    QFrame::paintEvent(event);
    QPainter p(this);
    p.setPen(palette().color(foregroundRole()));
    const QFontMetrics fm(font());
    const QRect box = contentsRect();
    for (qsizetype i = 0; i < lines_.size(); ++i)
        p.drawText(box.left(), box.top() + int(i) * fm.lineSpacing() + fm.ascent(), lines_[i]);
}

void WaveformNote::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    relayout();
}

void WaveformNote::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) relayout();
}

void WaveformNote::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (clickable_ && event->button() == Qt::LeftButton &&
        rect().contains(event->position().toPoint()))
        emit clicked();
}

}  // namespace gaspuff
