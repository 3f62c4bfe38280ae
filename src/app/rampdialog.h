// SPDX-License-Identifier: MIT
#pragma once
// The small dialog behind "Add ramp...": the ramp's two ends as four numbers.
#include <QStringList>

class QWidget;

namespace gaspuff {

// Shows the four boxes (start time, start level, end time, end level) filled
// with texts, modal over parent; true with texts as typed when the operator
// confirms, false when the dialog is cancelled.
bool askramp(QWidget* parent, QStringList& texts);

}  // namespace gaspuff
