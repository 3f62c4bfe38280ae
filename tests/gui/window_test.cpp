#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/form1.h"
#include "app/shape.h"
#include "fakeport.h"
#include "app/wavegraph.h"

using namespace gaspuff;

namespace {

template <typename T>
T* child(const QWidget& w, const char* name) {
    T* c = w.findChild<T*>(QLatin1String(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

}  // namespace

TEST(Window, StartUpStateBeforeTheFirstTick) {
    auto* port = new test::FakePort;
    Form1 form(port);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    EXPECT_EQ(form.windowTitle(), "VARNOK Gas puffing controller");
    EXPECT_EQ(form.size(), QSize(663, 539));
    EXPECT_EQ(form.waveform, Waveform{});
    EXPECT_EQ(child<QLineEdit>(form, "txtStatus")->text(), "");
    EXPECT_EQ(child<QListWidget>(form, "lstMessages")->count(), 0);
    EXPECT_EQ(child<QComboBox>(form, "cmbSerialPort")->currentText(), "Com 10");
    EXPECT_EQ(child<QLabel>(form, "lblPortSetting")->text(), "115200,n,8,1");
    EXPECT_EQ(child<QLabel>(form, "lblPortState")->text(), "Port state");
    EXPECT_EQ(child<QLabel>(form, "lblState")->text(), "state");
    EXPECT_EQ(child<QLabel>(form, "lblUptime")->text(), "-");
    EXPECT_EQ(child<QLabel>(form, "lblAutoArm")->text(), "-");
    EXPECT_EQ(child<Shape>(form, "shpEstado")->fillcolor(), QColor(255, 255, 255));
    EXPECT_EQ(child<Shape>(form, "shpState")->fillcolor(), QColor(255, 255, 255));
    EXPECT_EQ(child<Shape>(form, "shpUptime")->fillcolor(), QColor(255, 255, 128));
    EXPECT_EQ(child<Shape>(form, "shpAutoArm")->fillcolor(), QColor(255, 255, 128));
    EXPECT_FALSE(form.rx.getting);
    EXPECT_EQ(port->opens, 0);
    EXPECT_TRUE(child<QTimer>(form, "tmrState")->isActive());
    EXPECT_TRUE(child<QTimer>(form, "tmrComTimeout")->isActive());
    EXPECT_FALSE(child<QTimer>(form, "tmrGetting")->isActive());
    EXPECT_EQ(QApplication::focusWidget(), form.txtStatus);
    for (QPushButton* b : form.findChildren<QPushButton*>()) EXPECT_TRUE(b->isEnabled());
}

TEST(Window, GraphShowsTheEmptyTableOnItsGrid) {
    Form1 form(new test::FakePort);
    const QImage& img = form.wavegraph->image();
    ASSERT_EQ(img.size(), QSize(357, 117));
    EXPECT_EQ(form.scalegraphx(125), 44);
    EXPECT_EQ(form.scalegraphy(25), 87);
    // Red dots along the bottom row, the light green background above them.
    EXPECT_EQ(img.pixelColor(100, 116), QColor(255, 0, 0));
    EXPECT_EQ(img.pixelColor(178 + 3, 50), QColor(192, 255, 192));
}

TEST(Window, PortListOffersCom1ToCom16AndCannotBeTypedIn) {
    Form1 form(new test::FakePort);
    ASSERT_EQ(form.cmbSerialPort->count(), 16);
    EXPECT_EQ(form.cmbSerialPort->itemText(0), "Com 1");
    EXPECT_EQ(form.cmbSerialPort->itemText(15), "Com 16");
    EXPECT_FALSE(form.cmbSerialPort->isEditable());
    EXPECT_TRUE(form.txtStatus->isReadOnly());
}

TEST(Window, FocusOrderFollowsTheDesign) {
    Form1 form(new test::FakePort);
    const QWidget* expected[] = {form.txtStatus,  form.cmdLigar,     form.cmdDesligar,
                                 form.filenametext, form.cmdSave,    form.amptxt,
                                 form.timepttxt,  form.cmdSend,      form.cmdStop,
                                 form.cmdLoad,    form.cmdGet,       form.cmdArm,
                                 form.cmdReset,   form.cmdShoot,     form.cmbSerialPort,
                                 form.cmdStandby, form.cmdAddPoint,  form.lstMessages,
                                 form.cmdAutoArmOn, form.cmdAutoArmOff};
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_EQ(QApplication::focusWidget(), form.txtStatus);
    for (size_t i = 1; i < std::size(expected); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), expected[i]) << i;
    }
}

TEST(Window, EscapeResetsAndEnterNeverDoes) {
    Form1 form(new test::FakePort);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.waveform[5] = 40;
    form.amptxt->setFocus();
    QTest::keyClick(form.amptxt, Qt::Key_Return);
    QTest::keyClick(form.amptxt, Qt::Key_Enter);
    EXPECT_EQ(form.waveform[5], 40);
    QTest::keyClick(form.amptxt, Qt::Key_Escape);
    EXPECT_EQ(form.waveform[5], 0);
}

TEST(Window, ClosingClosesAnOpenPortAndLeavesAClosedOneAlone) {
    {
        auto* port = new test::FakePort;
        Form1 form(port);
        form.show();
        form.close();
        EXPECT_EQ(port->closes, 0);
    }
    auto* port = new test::FakePort;
    Form1 form(port);
    form.show();
    form.cmdLigar->click();
    ASSERT_TRUE(port->isopen());
    form.close();
    EXPECT_FALSE(port->isopen());
    EXPECT_EQ(port->closes, 1);
    EXPECT_EQ(form.txtStatus->text(), "Port 10 open successfully");  // no message on closing
}

TEST(Window, SizedLabelsFollowTheirCaptionKeepingLeftAndTop) {
    Form1 form(new test::FakePort);
    const QPoint topleft = form.lblUptime->pos();
    form.parseline("stop|123456789|on");
    EXPECT_EQ(form.lblUptime->pos(), topleft);
    EXPECT_GE(form.lblUptime->width(), form.lblUptime->sizeHint().width());
    EXPECT_GT(form.lblUptime->width(), 20);
    const QRect autoarm = form.lblAutoArm->geometry();
    form.parseline("stop|1|a very long auto arm field");
    EXPECT_EQ(form.lblAutoArm->geometry(), autoarm);
}
