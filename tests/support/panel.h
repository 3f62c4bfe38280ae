#pragma once
// The window with a fake serial port, for tests of its wiring: handlers are
// called directly, received bytes fed by hand, message boxes collected.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "app/form1.h"
#include "app/shape.h"
#include "app/wavegraph.h"
#include "fakeport.h"

namespace gaspuff::test {

class Panel : public ::testing::Test {
  protected:
    FakePort* port = new FakePort;  // the window owns it
    Form1 form{port};
    QStringList boxes;  // message boxes shown

    Panel() {
        form.messagebox = [this](const QString& text) { boxes << text; };
    }
    QString status() const { return form.txtStatus->text(); }
    void connect() {
        form.cmdLigar_Click();
        port->writes.clear();
    }
    QStringList messages() const {
        QStringList out;
        for (int i = 0; i < form.lstMessages->count(); ++i)
            out << form.lstMessages->item(i)->text();
        return out;
    }
    QStringList captions() const {  // state, uptime, auto-arm
        return {form.lblState->text(), form.lblUptime->text(), form.lblAutoArm->text()};
    }
    // The twelve buttons a transfer locks are disabled, and only those.
    void expectlocked(bool locked) {
        for (QPushButton* b : form.findChildren<QPushButton*>()) {
            static const QStringList lockable{
                "cmdSend",  "cmdStop",     "cmdArm",      "cmdGet",  "cmdShoot", "cmdStandby",
                "cmdLigar", "cmdDesligar", "cmdAddPoint", "cmdSave", "cmdLoad",  "cmdReset"};
            EXPECT_EQ(b->isEnabled(), !(locked && lockable.contains(b->objectName())))
                << b->objectName().toStdString();
        }
    }
};

}  // namespace gaspuff::test
