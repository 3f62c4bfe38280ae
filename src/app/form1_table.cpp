// SPDX-License-Identifier: MIT
// The table's history and keys: undo and redo (a text box's own typing
// first), Enter, Ctrl+S and Ctrl+O, the graph's menu, and the waveform note
// with the read-back's comparison.
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QUndoStack>

#include "app/differenceswindow.h"
#include "app/form1.h"
#include "app/tableedit.h"
#include "app/waveformnote.h"
#include "app/wavegraph.h"
#include "protocol/sessionlog.h"
#include "waveform/compare.h"

namespace gaspuff {
namespace {

bool isundoorredo(const QKeyEvent* key) {
    const QKeyCombination combination = key->keyCombination();
    return key->matches(QKeySequence::Undo) ||
           combination == QKeyCombination(Qt::ControlModifier, Qt::Key_Y) ||
           combination == QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z);
}

}  // namespace

void Form1::buildtablekeys() {
    history = new QUndoStack(this);
    history->setUndoLimit(100);  // 4 KB a step
    auto key = [this](QKeySequence sequence, auto handler) {
        connect(new QShortcut(sequence, this), &QShortcut::activated, this, handler);
    };
    key(QKeySequence::Undo, &Form1::undo);
    key(QKeySequence(Qt::CTRL | Qt::Key_Y), &Form1::redo);
    key(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), &Form1::redo);
    key(QKeySequence::Save, [this] {
        if (cmdSave->isEnabled()) cmdSave->click();
    });
    key(QKeySequence::Open, &Form1::openfile);
    for (QLineEdit* box : {amptxt, timepttxt, filenametext, txtStatus})
        box->installEventFilter(this);
    for (QLineEdit* box : {amptxt, timepttxt})
        connect(box, &QLineEdit::returnPressed, this, &Form1::enterkey);

    mnuGraph = new QMenu(this);
    mnuGraph->setObjectName(QStringLiteral("mnuGraph"));
    auto item = [this](const char* text, void (Form1::*handler)(), QKeySequence shortcut = {}) {
        QAction* action = mnuGraph->addAction(QString::fromLatin1(text), this, handler);
        // Copy and paste are the graph's own keys while it has the focus.
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WidgetShortcut);
        if (!shortcut.isEmpty()) wavegraph->addAction(action);
        return action;
    };
    QAction* ramp = item("Add ramp...", &Form1::addramp);
    item("Copy table", &Form1::copytable, QKeySequence::Copy);
    QAction* paste = item("Paste column", &Form1::pastetable, QKeySequence::Paste);
    QAction* differences = item("Show differences", &Form1::showdifferences);
    connect(mnuGraph, &QMenu::aboutToShow, this, [=, this] {
        ramp->setEnabled(!transferring());
        paste->setEnabled(!transferring());
        differences->setEnabled(differing_.has_value());
    });
    // A disabled action ignores its key: the keys stay live after the menu.
    connect(mnuGraph, &QMenu::aboutToHide, this, [=] {
        for (QAction* action : {ramp, paste, differences}) action->setEnabled(true);
    });
    connect(wavegraph, &QWidget::customContextMenuRequested, this,
            [this](QPoint pos) { mnuGraph->popup(wavegraph->mapToGlobal(pos)); });
    connect(wavegraph, &WaveGraph::picked, this, &Form1::pickrun);
    // Typing on the graph after a pick goes to the level: click, type, Enter.
    connect(wavegraph, &WaveGraph::typed, this, [this](const QString& text) {
        amptxt->setFocus();
        amptxt->selectAll();
        amptxt->insert(text);
    });
    connect(lblNote, &WaveformNote::clicked, this, &Form1::showdifferences);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (box && event->type() == QEvent::ShortcutOverride &&
        isundoorredo(static_cast<QKeyEvent*>(event))) {
        // A text box claims these keys even with nothing to undo; the
        // window's keys decide between the box's typing and the table.
        event->ignore();
        return true;
    }
    if (box && event->type() == QEvent::FocusOut &&
        static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
        // Typing from an earlier visit is no longer the box's to undo.
        box->setText(box->text());
    }
    return QWidget::eventFilter(watched, event);
}

bool Form1::transferring() const {
    return !cmdReset->isEnabled();
}

void Form1::undo() {
    historystep(true);
}

void Form1::redo() {
    historystep(false);
}

void Form1::historystep(bool back) {
    // A text box's own typing since it got the focus comes first.
    if (auto* box = qobject_cast<QLineEdit*>(focusWidget());
        box && (back ? box->isUndoAvailable() : box->isRedoAvailable()))
        return back ? box->undo() : box->redo();
    if (transferring() || !(back ? history->canUndo() : history->canRedo())) return;
    const QString what = back ? history->undoText() : history->redoText();
    back ? history->undo() : history->redo();
    txtStatus->setText(QLatin1String(back ? "Undone: " : "Redone: ") + what);
}

void Form1::changetable(const QString& what, const Waveform& before, const Waveform& after) {
    if (before == after) {
        drawgraph();
        return;
    }
    history->push(new TableEdit(what, before, after, [this](const Waveform& t) { showtable(t); }));
}

void Form1::showtable(const Waveform& table) {
    waveform = table;
    drawgraph();
    setnote({});
}

void Form1::enterkey() {
    if (cmdAddPoint->isEnabled() && enterpoint()) {
        amptxt->setFocus();
        amptxt->selectAll();
    }
}

void Form1::openfile() {
    if (!cmdLoad->isEnabled()) return;
    const QString name = filedialog();
    if (name.isEmpty()) return;
    filenametext->setText(name);
    cmdLoad_Click();
}

void Form1::setnote(const QString& sentence, bool clickable) {
    if (!clickable) differing_.reset();
    if (sentence.isEmpty())
        lblNote->clearsentence();
    else
        lblNote->setsentence(sentence, clickable);
}

void Form1::comparereadback(const Waveform& shown, const Waveform& received) {
    const Waveform& reference = lastsent_ ? lastsent_->table : shown;
    const QString at = lastsent_ ? lastsent_->at : QString();
    const QString sentence = comparisonsentence(reference, received, at);
    const bool differ = reference != received;
    if (differ) differing_ = Comparison{reference, received, at};
    setnote(sentence, differ);
    if (sessionlog) sessionlog->event(sentence);
}

void Form1::showdifferences() {
    if (!differing_) return;
    if (!frmDifferences) frmDifferences = new DifferencesWindow(this);
    const QString& at = differing_->sentat;
    frmDifferences->showtables(differing_->reference, differing_->received,
                               at.isEmpty() ? QStringLiteral("the table shown before")
                                            : QStringLiteral("the waveform sent at ") + at,
                               !at.isEmpty());
    frmDifferences->raise();
    frmDifferences->activateWindow();
}

}  // namespace gaspuff
