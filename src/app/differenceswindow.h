// SPDX-License-Identifier: MIT
#pragma once
// The A/B view of a read-back: both tables drawn (the reference faint under
// the controller's) and every differing entry listed.
#include <QWidget>

#include "waveform/table.h"

class QLabel;
class QListWidget;

namespace gaspuff {

class DifferencesWindow : public QWidget {
    Q_OBJECT
  public:
    // The picture's interior: the panel graph's, twice over, so that a step
    // of 1 % is more than a pixel.
    static constexpr QSize kGraphSize{714, 234};
    // The reference's dots, pale under the controller's red ones.
    static constexpr QRgb kFaint = 0xffa0a0ff;

    explicit DifferencesWindow(QWidget* parent);
    // reference: the table sent (or shown before); received: the controller's.
    // title names the reference ("the waveform sent at 14:51:07"); sent says
    // whether the list calls the reference's values "sent" or "shown".
    void showtables(const Waveform& reference, const Waveform& received, const QString& title,
                    bool sent = true);

  private:
    QLabel* lblLegend;
    QLabel* difgraph;
    QListWidget* lstDifferences;
};

}  // namespace gaspuff
