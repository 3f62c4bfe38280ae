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

  signals:
    void clicked();

  private:
    QString sentence_;
};

}  // namespace gaspuff
