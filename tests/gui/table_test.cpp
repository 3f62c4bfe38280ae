// SPDX-License-Identifier: MIT
// The table's history and the keys, point entry, the graph's pointer and
// menu, and the waveform note, wired into the shown window.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QRegularExpression>
#include <QTest>
#include <QToolTip>
#include <QUndoStack>

#include "app/waveformnote.h"
#include "panel.h"

using namespace gaspuff;

namespace {

class Table : public test::Panel {
  protected:
    void SetUp() override {
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        EXPECT_EQ(QApplication::focusWidget(), form.txtStatus);  // where a shown window starts
    }
    // Presses key with modifiers where the keyboard focus is, after moving it to at.
    void press(QWidget* at, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
        at->setFocus();
        QTest::keyClick(at, key, modifiers);
    }
    QAction* menuitem(const QString& text) {
        for (QAction* action : form.mnuGraph->actions())
            if (action->text() == text) return action;
        return nullptr;
    }
    // The graph's widget position of millisecond t, at level 50 %.
    QPoint graphpoint(int t) {
        const QPoint origin = form.wavegraph->contentsRect().topLeft();
        return origin + QPoint(form.scalegraphx(t), form.scalegraphy(50));
    }
};

Waveform pulse(int first, int last, int16_t level) {
    Waveform w{};
    std::fill(w.begin() + first, w.begin() + last + 1, level);
    return w;
}

}  // namespace

TEST_F(Table, EachChangeIsUndoneAndRedoneByItsKeysWhereverTheFocusIs) {
    const QString file = writefile("short.txt", "9\r\n8\r\n");
    connect();
    form.amptxt->setText("60"), form.timepttxt->setText("100");
    form.rampdialog = [&](QStringList& texts) {  // refused as a point is, then asked again
        texts = {"300", boxes.isEmpty() ? "101" : "80", "200", "0"};  // ends in either order
        return true;
    };
    QGuiApplication::clipboard()->setText("5\r\n6\r\n");
    form.filedialog = [&] { return file; };
    // The step's name, the change, and where the keys are pressed.
    const std::tuple<QString, std::function<void()>, QWidget*> steps[] = {
        {"Add point", [&] { form.cmdAddPoint->click(); }, form.cmdAddPoint},
        {"Add ramp", [&] { menuitem("Add ramp...")->trigger(); }, form.wavegraph},
        {"Paste column", [&] { press(form.wavegraph, Qt::Key_V); }, form.wavegraph},
        {"Load", [&] { press(form.lstMessages, Qt::Key_O); }, form.txtStatus},
        {"Get Waveform",
         [&] {
             const Waveform shown = form.waveform;
             form.cmdGet->click();
             press(form.lstMessages, Qt::Key_Z);  // locked during the transfer, as Reset is
             press(form.lstMessages, Qt::Key_Escape, Qt::NoModifier);
             EXPECT_EQ(form.waveform, shown);
             readback(pulse(10, 20, 30));
         },
         form.filenametext},
        {"Reset",
         [&] {
             port->feed("hello\rarmed|5|on\rhalf a li");
             press(form.lstMessages, Qt::Key_Escape, Qt::NoModifier);
             // The message list, the status box and the half line go too; the rest stays.
             EXPECT_EQ(std::tuple(messages(), status(), session().pending(), form.amptxt->text(),
                                  form.lblState->text(), port->isopen()),
                       std::tuple(QStringList(), "", QByteArray(), "60", "armed", true));
         },
         form.amptxt},
    };
    for (const auto& [what, change, focus] : steps) {
        const Waveform before = form.waveform;
        const QImage drawn = form.wavegraph->image();
        change();
        const Waveform after = form.waveform;
        const std::string row = what.toStdString();
        ASSERT_NE(after, before) << row;
        press(focus, Qt::Key_Z);
        // Redrawn; the message list and a half line are the controller's, not the table's.
        EXPECT_EQ(std::tuple(form.waveform, status(), form.wavegraph->image() == drawn, messages(),
                             session().pending()),
                  std::tuple(before, "Undone: " + what, true, QStringList(), QByteArray()))
            << row;
        press(focus, Qt::Key_Y);
        EXPECT_EQ(std::tuple(form.waveform, status()), std::tuple(after, "Redone: " + what)) << row;
        press(focus, Qt::Key_Z);
        press(focus, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(form.waveform, after) << row;
    }
    form.amptxt->setText("0");
    form.cmdAddPoint->click();  // a point that changes nothing is no step
    EXPECT_EQ(form.history->count(), 6);
    EXPECT_EQ(boxes, QStringList{"Amplitude must be between 0% and 100%"});
}

TEST_F(Table, EscapeWhileTypingAFileNameIsUndoneAfterTheTyping) {
    form.waveform[3] = 40;
    press(form.amptxt, Qt::Key_A, Qt::NoModifier);  // typing from another visit of a box
    press(form.filenametext, Qt::Key_End, Qt::NoModifier);
    QTest::keyClicks(form.filenametext, "x");
    QTest::keyClick(form.filenametext, Qt::Key_Escape);
    EXPECT_EQ(form.waveform, Waveform{});
    for (int16_t level : {0, 40}) {  // the typing first, then the Reset
        QTest::keyClick(form.filenametext, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(std::tuple(form.filenametext->text(), form.waveform[3]),
                  std::tuple("waveform1.txt", level));
    }
    press(form.amptxt, Qt::Key_Z);  // nothing left: the box's old typing stays
    press(form.amptxt, Qt::Key_Y);
    EXPECT_EQ(std::tuple(form.amptxt->text(), form.waveform[3]), std::tuple("0a", 0));
}

TEST_F(Table, EnterAddsACheckedPointAndGoesBackToVoltageOrToTheRefusedBox) {
    const QString amplitude = "Amplitude must be between 0% and 100%";
    const QString time = "Time must be between 0ms and 999ms";
    // Voltage, time, the message (none: accepted), the entry and the level it
    // then holds, its neighbour before it keeping the 9 it had.
    const std::tuple<const char*, const char*, QString, int, int> rows[] = {
        {"100", "999", "", 999, 100},     {" 7 ", "0", "", 0, 7},
        {"101", "5", amplitude, 0, 9},    {"-1", "5", amplitude, 0, 9},
        {"200", "2000", amplitude, 0, 9}, {"60", "1000", time, 0, 9},
        {"60", "-1", time, 0, 9}};
    for (const auto& [volts, ms, message, entry, level] : rows) {
        boxes.clear();
        form.waveform.fill(9);
        form.drawgraph();
        const QImage drawn = form.wavegraph->image();
        form.amptxt->setText(volts), form.timepttxt->setText(ms);
        press(form.timepttxt, Qt::Key_Enter, Qt::KeypadModifier);
        const std::string row = std::string(volts) + " at " + ms;
        EXPECT_EQ(std::tuple(form.waveform[entry], form.waveform[std::max(entry - 1, 0)]),
                  std::tuple(level, entry ? 9 : level))
            << row;
        EXPECT_EQ(form.wavegraph->image() == drawn, !message.isEmpty()) << row;
        EXPECT_EQ(boxes, message.isEmpty() ? QStringList() : QStringList{message}) << row;
        QLineEdit* back = message == time ? form.timepttxt : form.amptxt;
        EXPECT_EQ(std::tuple(QApplication::focusWidget(), back->selectedText()),
                  std::tuple(back, back->text()))
            << row;
    }
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));  // a decimal comma
    form.amptxt->setText("2,4"), form.timepttxt->setText("3.6");
    form.cmdAddPoint->click();
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(std::tuple(form.waveform[3], form.waveform[4]), std::tuple(9, 2));
}

TEST_F(Table, TheGraphNamesAndPicksTheRunUnderThePointer) {
    form.waveform = pulse(100, 399, 60);
    std::fill(&form.waveform[690], &form.waveform[710], 150);  // from a file: taken as it is
    form.drawgraph();
    const QImage drawn = form.wavegraph->image();
    QTest::mouseMove(form.wavegraph, graphpoint(250));
    EXPECT_TRUE(QToolTip::text().startsWith("t=250 ms, 60 % (run 100-399 ms)\n"))
        << QToolTip::text().toStdString();
    EXPECT_EQ(form.wavegraph->image(), drawn);
    for (const auto& [t, time, level] :
         {std::tuple(250, "100", "60"), {700, "690", "150"}, {999, "710", "0"}, {0, "0", "0"}}) {
        QTest::mouseClick(form.wavegraph, Qt::LeftButton, {}, graphpoint(t));
        EXPECT_EQ((QStringList{form.timepttxt->text(), form.amptxt->text()}),
                  (QStringList{time, level}))
            << t;
    }
    EXPECT_EQ(QApplication::focusWidget(), form.wavegraph);
    // A plateau's new level: click, type, Enter.
    QTest::mouseClick(form.wavegraph, Qt::LeftButton, {}, graphpoint(300));
    QTest::keyClicks(form.wavegraph, "4");
    QTest::keyClicks(QApplication::focusWidget(), "5");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(std::tuple(form.waveform[99], form.waveform[100], form.waveform[399],
                         form.waveform[400], form.waveform[700]),
              std::tuple(0, 45, 45, 0, 150));
}

TEST_F(Table, TheNoteTellsWhatAReadBackFoundAndWhatALoadKept) {
    connect();
    form.waveform = pulse(100, 399, 60);
    readback(form.waveform);
    const WaveformNote* note = form.lblNote;
    EXPECT_EQ(note->sentence(), "Controller's waveform equals the table shown before");
    EXPECT_EQ(note->text().simplified(), note->sentence());  // shown whole where it fits
    form.cmdSend->click();
    form.waveform[0] = 5;  // shown, not sent: the read-back is held against what was sent
    readback(pulse(100, 299, 60));
    EXPECT_TRUE(QRegularExpression("^Controller's waveform differs from the one sent at "
                                   R"(\d\d:\d\d:\d\d in 100 entries: t=300 sent 60 holds 0, )"
                                   ".*, and 95 more$")
                    .match(note->sentence())
                    .hasMatch())
        << note->sentence().toStdString();
    QTest::mouseClick(form.lblNote, Qt::LeftButton);  // the note opens what differs
    const auto* shown = form.findChild<QWidget*>("frmDifferences");
    ASSERT_TRUE(shown && shown->isVisible());
    EXPECT_TRUE(shown->windowTitle().startsWith("Differences from the waveform sent at "));
    const auto* list = shown->findChild<QListWidget*>("lstDifferences");
    ASSERT_EQ(list->count(), 100);
    EXPECT_EQ(list->item(0)->text(), "t=300 sent 60 holds 0");
    form.filenametext->setText(dir.filePath("sent.txt"));
    press(form.amptxt, Qt::Key_S);
    EXPECT_EQ(status(), "Waveform saved to " + dir.filePath("sent.txt"));
    form.filenametext->setText(writefile("short.txt", QByteArray("7\r\n").repeated(10)));
    form.cmdLoad->click();
    EXPECT_EQ(note->sentence(), "File held 10 entries; entries 10 to 999 kept as they were");
    EXPECT_TRUE(messages().isEmpty());
    press(form.wavegraph, Qt::Key_Z);
    EXPECT_EQ(note->text() + note->toolTip() + note->accessibleName(), "");  // the table changed
}
