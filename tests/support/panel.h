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
#include "link/serialport.h"

namespace gaspuff::test {

// A serial port for tests: records what is written, lets the test decide how
// opening ends, feed received bytes and pull the cable.
class FakePort : public SerialPort {
  public:
    OpenResult nextopen = Opened;
    QByteArrayList writes;
    int opens = 0;
    int closes = 0;
    bool refusewrites = false;
    qsizetype acceptonly = -1;  // writes taken before the rest are refused; -1: all

    OpenResult open() override {
        ++opens;
        if (nextopen == Opened) open_ = true;
        return nextopen;
    }
    qint64 unsentatclose = 0;  // what close() reports it dropped
    qint64 close() override {
        ++closes;
        open_ = false;
        return std::exchange(unsentatclose, 0);
    }
    bool isopen() const override { return open_; }
    bool output(const QByteArray& text) override {
        if (!open_ || refusewrites || writes.size() == acceptonly) return false;
        writes.append(text);
        return true;
    }
    QByteArray input() override { return std::exchange(waiting_, {}); }
    QString errorstring() const override { return QStringLiteral("Write refused by the device"); }

    // Bytes arrive: the receive notification fires at once, as it would from
    // the event loop.
    void feed(const QByteArray& bytes) {
        waiting_ += bytes;
        emit received();
    }
    void pullcable() {
        open_ = false;
        emit linklost();
    }

  private:
    bool open_ = false;
    QByteArray waiting_;
};

class Panel : public ::testing::Test {
  protected:
    FakePort* port = new FakePort;  // the window owns it
    Form1 form{port};
    QStringList boxes;  // message boxes shown
    // The window's own message box, replaced by one that collects them.
    const std::function<void(const QString&)> realbox =
        std::exchange(form.messagebox, [this](const QString& text) { boxes << text; });
    QTemporaryDir dir;  // for the files a test writes

    QString status() const { return form.txtStatus->text(); }
    void connect() {
        form.cmdLigar_Click();
        port->writes.clear();
    }
    static QStringList listed(const QListWidget* list) {
        QStringList out;
        for (auto* item : list->findItems("*", Qt::MatchWildcard)) out << item->text();
        return out;
    }
    QStringList messages() const { return listed(form.lstMessages); }  // newest first
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
