#include "app/differenceswindow.h"

namespace gaspuff {

DifferencesWindow::DifferencesWindow(QWidget* parent) : QWidget(parent, Qt::Window) {}

void DifferencesWindow::showtables(const Waveform&, const Waveform&, const QString& title) {
    setWindowTitle(title);  // placeholder until the view lands
    show();
}

}  // namespace gaspuff
