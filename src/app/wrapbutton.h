// SPDX-License-Identifier: MIT
#pragma once
// A push button whose caption wraps onto several lines when it is too wide.
#include <QPushButton>

namespace gaspuff {

class WrapButton : public QPushButton {
    Q_OBJECT
  public:
    WrapButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

  protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace gaspuff
