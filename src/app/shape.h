// SPDX-License-Identifier: MIT
#pragma once
// A filled rectangle with a thin black outline: the window's indicators.
#include <QColor>
#include <QWidget>

namespace gaspuff {

class Shape : public QWidget {
    Q_OBJECT
  public:
    Shape(QColor fill, QWidget* parent);
    QColor fillcolor() const { return fill_; }
    void setfillcolor(QColor fill);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QColor fill_;
};

}  // namespace gaspuff
