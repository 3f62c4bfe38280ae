#pragma once
// The A/B view of a read-back: both tables drawn (the reference faint under
// the controller's) and every differing entry listed.
#include <QWidget>

#include "waveform/table.h"

namespace gaspuff {

class DifferencesWindow : public QWidget {
    Q_OBJECT
  public:
    explicit DifferencesWindow(QWidget* parent);
    // reference: the table sent (or shown before); received: the controller's.
    // title names the reference ("the waveform sent at 14:51:07").
    void showtables(const Waveform& reference, const Waveform& received, const QString& title);
};

}  // namespace gaspuff
