#include "app/waveformnote.h"

namespace gaspuff {

WaveformNote::WaveformNote(QWidget* parent) : QLabel(parent) {}

void WaveformNote::setsentence(const QString& sentence, bool) {
    sentence_ = sentence;  // placeholder until the note's layout lands
    setText(sentence);
}

void WaveformNote::clearsentence() {
    setsentence({});
}

}  // namespace gaspuff
