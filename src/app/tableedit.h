// SPDX-License-Identifier: MIT
#pragma once
// One step of the table's history: the whole table before and after, so an
// undo or a redo is one assignment whatever the change was.
#include <QUndoCommand>
#include <functional>

#include "waveform/table.h"

namespace gaspuff {

class TableEdit : public QUndoCommand {
  public:
    // show puts a table in place (and redraws); the stack's push() calls
    // redo(), which shows after.
    TableEdit(const QString& what, const Waveform& before, const Waveform& after,
              std::function<void(const Waveform&)> show)
        : QUndoCommand(what), before_(before), after_(after), show_(std::move(show)) {}
    void undo() override { show_(before_); }
    void redo() override { show_(after_); }

  private:
    Waveform before_;
    Waveform after_;
    std::function<void(const Waveform&)> show_;
};

}  // namespace gaspuff
