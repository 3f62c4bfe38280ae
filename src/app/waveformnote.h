// SPDX-License-Identifier: MIT
#pragma once
// The waveform note: a sentence about the table (what a read-back found, what
// a load kept), word-wrapped in small type, its last fitting line elided;
// the whole sentence is its tooltip and accessible name. A click asks for
// the differences, when there are any to show.
#include <QLabel>

namespace gaspuff {

class WaveformNote : public QLabel {
    Q_OBJECT
  public:
    explicit WaveformNote(QWidget* parent);
    // Shows sentence; clickable says whether a click opens the differences.
    void setsentence(const QString& sentence, bool clickable = false);
    void clearsentence();
    const QString& sentence() const { return sentence_; }
    bool clickable() const { return clickable_; }

    // The lines of text word-wrapped into width, as many as fit in height
    // (at least one), the last one elided when text goes on beyond it.
    static QStringList laidout(const QString& text, const QFont& font, QSize box);

  signals:
    void clicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void relayout();

    QString sentence_;
    QStringList lines_;  // what is painted; also the label's text
    bool clickable_ = false;
};

}  // namespace gaspuff
