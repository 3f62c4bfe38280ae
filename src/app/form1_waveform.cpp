// SPDX-License-Identifier: MIT
// The window's side of the waveform: point entry, ramps, Reset, the graph,
// copy and paste, and files.
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>

#include "app/form1.h"
#include "app/wavegraph.h"
#include "protocol/number.h"
#include "protocol/sessionlog.h"
#include "waveform/edits.h"
#include "waveform/files.h"
#include "waveform/graph.h"

namespace gaspuff {
namespace {

const QString kAmplitudeRefused = QStringLiteral("Amplitude must be between 0% and 100%");
const QString kTimeRefused = QStringLiteral("Time must be between 0ms and 999ms");

// A whole number from typed text, within lo..hi; nothing for any other text.
// The operator's locale may write the decimal point as a comma ("2,5" is two
// and a half there); "." is taken in every locale.
std::optional<int16_t> readnumber(QString typed, int lo, int hi) {
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
    enterpoint();
}

bool Form1::enterpoint() {
    // A refused box gets the focus back, its text selected for retyping.
    auto refuse = [this](QLineEdit* box, const QString& why) {
        messagebox(why);
        box->setFocus();
        box->selectAll();
        return false;
    };
    const auto a = readnumber(amptxt->text(), 0, kMaxAmplitude);
    if (!a) return refuse(amptxt, kAmplitudeRefused);
    const auto t = readnumber(timepttxt->text(), 0, kMaxTime);
    if (!t) return refuse(timepttxt, kTimeRefused);
    Waveform after = waveform;
    addpoint(after, *t, *a);
    changetable(QStringLiteral("Add point"), waveform, after);
    return true;
}

void Form1::addramp() {
    if (transferring()) return;
    // Each end is checked as a point is; a refused ramp is asked for again.
    while (rampdialog(ramptexts_)) {
        std::optional<int16_t> n[4];  // start time, start level, end time, end level
        bool good = true;
        for (int i : {1, 0, 3, 2}) {
            const bool level = i % 2;
            n[i] = readnumber(ramptexts_.value(i), 0, level ? kMaxAmplitude : kMaxTime);
            if (!n[i]) {
                messagebox(level ? kAmplitudeRefused : kTimeRefused);
                good = false;
                break;
            }
        }
        if (good) {
            changetable(QStringLiteral("Add ramp"), waveform,
                        withramp(waveform, *n[0], *n[1], *n[2], *n[3]));
            return;
        }
    }
}

void Form1::pickrun(int t) {
    timepttxt->setText(QString::number(runat(waveform, t).first));
    amptxt->setText(QString::number(waveform[t]));
}

void Form1::copytable() {
    QGuiApplication::clipboard()->setText(QString::fromLatin1(waveformfiletext(waveform)));
}

void Form1::pastetable() {
    if (transferring()) return;
    Waveform after = waveform;
    int count = 0;
    const QByteArray text = QGuiApplication::clipboard()->text().toUtf8();
    if (const QString error = pastecolumn(text, after, count); !error.isEmpty()) {
        txtStatus->setText(error);
        return;
    }
    changetable(QStringLiteral("Paste column"), waveform, after);
    setnote(keptnote(QStringLiteral("Clipboard"), count, after));
}

void Form1::cmdReset_Click() {
    // The partial line goes; a line feed still due after the last carriage
    // return stays part of that line's end.
    session_->clearreceived();
    changetable(QStringLiteral("Reset"), waveform, Waveform{});
    lstMessages->clear();
    txtStatus->clear();
}

void Form1::cmdSave_Click() {
    const QString name = filenametext->text();
    QString note;
    if (const QString error = savewaveform(name, waveform, &note); !error.isEmpty()) {
        txtStatus->setText(error);
        return;
    }
    txtStatus->setText(QStringLiteral("Waveform saved to ") + name +
                       (note.isEmpty() ? QString() : QStringLiteral("; ") + note));
    if (sessionlog) sessionlog->file("saved", name, waveform);
}

void Form1::cmdLoad_Click() {
    const QString name = filenametext->text();
    if (!isregularfile(name)) {
        txtStatus->setText(QStringLiteral("File %1 does not exist").arg(name));
        return;
    }
    Waveform after = waveform;
    int count = 0;
    if (const QString error = loadwaveform(name, after, &count); !error.isEmpty()) {
        txtStatus->setText(error);
        return;
    }
    changetable(QStringLiteral("Load"), waveform, after);
    txtStatus->setText(QStringLiteral("Waveform loaded from ") + name);
    setnote(keptnote(QStringLiteral("File"), count, after));
    if (sessionlog) sessionlog->file("loaded", name, waveform);
}

}  // namespace gaspuff
