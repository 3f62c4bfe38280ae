// SPDX-License-Identifier: MIT
#include "app/differenceswindow.h"

#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QVBoxLayout>

#include "waveform/compare.h"
#include "waveform/imagesurface.h"

namespace gaspuff {
namespace {

QImage drawn(const Waveform& table) {
    ImageSurface surface(DifferencesWindow::kGraphSize);
    drawgraph(table, surface);
    return surface.image();
}

// The received table's picture with the reference's dots, where they show
// through the background, in the faint colour.
QImage overlaid(const Waveform& reference, const Waveform& received) {
    const QImage under = drawn(reference);
    QImage out = drawn(received);
    const QRgb background = kGraphBackground.rgb();
    const QRgb dot = kDotColour.rgb();
    for (int y = 0; y < out.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(under.constScanLine(y));
        auto* to = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if (from[x] == dot && to[x] == background) to[x] = DifferencesWindow::kFaint;
    }
    return out;
}

}  // namespace

DifferencesWindow::DifferencesWindow(QWidget* parent)
    : QWidget(parent, Qt::Window),
      lblLegend(new QLabel(this)),
      difgraph(new QLabel(this)),
      lstDifferences(new QListWidget(this)) {
    setObjectName(QStringLiteral("frmDifferences"));
    lblLegend->setObjectName(QStringLiteral("lblLegend"));
    lblLegend->setWordWrap(true);
    difgraph->setObjectName(QStringLiteral("difgraph"));
    difgraph->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    difgraph->setLineWidth(2);
    difgraph->setFixedSize(kGraphSize + QSize(4, 4));
    lstDifferences->setObjectName(QStringLiteral("lstDifferences"));
    auto* column = new QVBoxLayout(this);
    column->addWidget(lblLegend);
    column->addWidget(difgraph);
    column->addWidget(lstDifferences);
}

void DifferencesWindow::showtables(const Waveform& reference, const Waveform& received,
                                   const QString& title, bool sent) {
    setWindowTitle(QStringLiteral("Differences from ") + title);
    lblLegend->setText(QStringLiteral("Faint: %1. Red: the controller's waveform.").arg(title));
    difgraph->setPixmap(QPixmap::fromImage(overlaid(reference, received)));
    lstDifferences->clear();
    for (const Difference& d : differences(reference, received))
        lstDifferences->addItem(differencetext(d, sent));
    show();
    raise();
    activateWindow();
}

}  // namespace gaspuff
