// The window's side of the waveform: point entry, Reset, the graph and files.
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>

#include "app/form1.h"
#include "app/wavegraph.h"
#include "protocol/number.h"
#include "protocol/sessionlog.h"
#include "waveform/files.h"
#include "waveform/graph.h"

namespace gaspuff {
namespace {

// A whole number from a text box, within lo..hi; nothing for any other text.
// The operator's locale may write the decimal point as a comma ("2,5" is two
// and a half there); "." is taken in every locale.
std::optional<int16_t> readnumber(const QLineEdit* box, int lo, int hi) {
    QString typed = box->text();
    const QString point = QLocale().decimalPoint();
    if (point != QLatin1String(".")) typed.replace(point, QLatin1String("."));
    const QByteArray text = typed.toUtf8();
    const Number n = tonumber(std::string_view(text.constData(), text.size()));
    if (n.status != NumberStatus::Ok || n.value < lo || n.value > hi) return std::nullopt;
    return n.value;
}

}  // namespace

void Form1::drawgraph() {
    gaspuff::drawgraph(waveform, wavegraph->surface());
    wavegraph->update();
}

int Form1::scalegraphx(int x) const {
    return gaspuff::scalegraphx(x, wavegraph->image().width());
}
int Form1::scalegraphy(int y) const {
    return gaspuff::scalegraphy(y, wavegraph->image().height());
}

void Form1::cmdAddPoint_Click() {
    const auto a = readnumber(amptxt, 0, kMaxAmplitude);
    if (!a) {
        messagebox(QStringLiteral("Amplitude must be between 0% and 100%"));
        return;
    }
    const auto t = readnumber(timepttxt, 0, kMaxTime);
    if (!t) {
        messagebox(QStringLiteral("Time must be between 0ms and 999ms"));
        return;
    }
    addpoint(waveform, *t, *a);
    drawgraph();
}

void Form1::cmdReset_Click() {
    // The partial line goes; a line feed still due after the last carriage
    // return stays part of that line's end.
    rxbuffer.text.clear();
    waveform.fill(0);
    drawgraph();
    rx.end();
    lstMessages->clear();
    txtStatus->clear();
}

void Form1::cmdSave_Click() {
    const QString name = filenametext->text();
    if (const QString error = savewaveform(name, waveform); !error.isEmpty()) {
        txtStatus->setText(error);
        return;
    }
    txtStatus->setText(QStringLiteral("Waveform saved to ") + name);
    if (sessionlog) sessionlog->event(QStringLiteral("file saved ") + name);
}

void Form1::cmdLoad_Click() {
    const QString name = filenametext->text();
    if (!isregularfile(name)) {
        txtStatus->setText(QStringLiteral("File %1 does not exist").arg(name));
        return;
    }
    if (const QString error = loadwaveform(name, waveform); !error.isEmpty()) {
        txtStatus->setText(error);
        return;
    }
    drawgraph();
    txtStatus->setText(QStringLiteral("Waveform loaded from ") + name);
    if (sessionlog) sessionlog->event(QStringLiteral("file loaded ") + name);
}

}  // namespace gaspuff
