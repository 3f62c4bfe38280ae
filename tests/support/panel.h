// SPDX-License-Identifier: MIT
#pragma once
// The window with a fake serial port, for tests of its wiring: handlers are
// called directly, received bytes fed by hand, message boxes collected.
#include <gtest/gtest.h>

#include <QByteArrayList>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
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
    QTemporaryDir dir;  // for the files a test writes

    QString status() const { return form.txtStatus->text(); }
    // What the window's session holds of the line.
    const LinkSession& session() const { return *form.findChild<LinkSession*>("session"); }
    void connect() {
        form.cmdLigar_Click();
        port->writes.clear();
    }
    QStringList messages() const {  // newest first
        QStringList out;
        for (auto* item : form.lstMessages->findItems("*", Qt::MatchWildcard)) out << item->text();
        return out;
    }
    // A file of these bytes in dir; its path.
    QString writefile(const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return file.fileName();
    }
    // Get, then the 1000 points of a read-back.
    void readback(const Waveform& table) {
        form.cmdGet->click();
        QByteArray points;
        for (int16_t v : table) points += QByteArray::number(v) + '\r';
        port->feed(points);
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
