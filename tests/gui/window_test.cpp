// The window as it starts, its keyboard and its closing.
#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QTimerEvent>
#include <functional>

#include "panel.h"

using namespace gaspuff;
using Window = test::Panel;

TEST_F(Window, StartsWithEverythingAtItsStartingValueBeforeTheFirstTick) {
    EXPECT_EQ((QStringList{form.cmbSerialPort->currentText(), form.cmbSerialPort->itemText(15),
                           form.lblPortSetting->text(), form.lblPortState->text(), status()}),
              (QStringList{"Com 10", "Com 16", "115200,n,8,1", "Port state", ""}));
    EXPECT_EQ(form.cmbSerialPort->count(), 16);
    EXPECT_FALSE(form.cmbSerialPort->isEditable());
    EXPECT_TRUE(form.txtStatus->isReadOnly());
    EXPECT_EQ(captions(), (QStringList{"state", "-", "-"}));
    EXPECT_EQ(form.shpEstado->fillcolor(), QColor(255, 255, 255));
    EXPECT_EQ(std::tuple(form.tmrState->isActive(), form.tmrComTimeout->isActive(),
                         form.tmrGetting->isActive(), port->opens),
              std::tuple(true, true, false, 0));
    // The empty table: red dots along the bottom row of the graph's interior.
    const QImage& graph = form.wavegraph->image();
    ASSERT_EQ(graph.size(), QSize(357, 117));
    EXPECT_EQ(graph.pixelColor(100, 116), QColor(255, 0, 0));
    EXPECT_EQ(graph.pixelColor(181, 50), QColor(192, 255, 192));
}

TEST_F(Window, EachTimerTicksPreciselyAtItsPeriodIntoItsHandler) {
    connect();
    form.cmdGet_Click();  // the read-back's deadline runs from Get
    // Timer, its period, and whether its tick has done its work.
    const std::tuple<QTimer*, int, std::function<bool()>> cases[] = {
        {form.tmrState, 400, [&] { return form.lblPortState->text() == "Port open"; }},
        {form.tmrComTimeout, 1000, [&] { return form.lblState->text() == "timeout"; }},
        {form.tmrGetting, 2000, [&] { return !form.rx.getting && form.cmdGet->isEnabled(); }},
    };
    for (const auto& [timer, ms, ticked] : cases) {
        const std::string name = timer->objectName().toStdString();
        EXPECT_EQ(std::tuple(timer->isActive(), timer->interval(), timer->timerType()),
                  std::tuple(true, ms, Qt::PreciseTimer))
            << name;
        EXPECT_FALSE(ticked()) << name;
        QTimerEvent tick(timer->timerId());  // what the event loop sends when it is due
        QCoreApplication::sendEvent(timer, &tick);
        EXPECT_TRUE(ticked()) << name;
    }
}

TEST_F(Window, HasTheFocusInTheStatusBoxAndClosesAnOpenPortSilently) {
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_EQ(QApplication::focusWidget(), form.txtStatus);
    connect();
    form.close();  // closing closes an open port, silently
    EXPECT_EQ(std::pair(port->closes, port->isopen()), std::pair(1, false));
    EXPECT_EQ(status(), "Port 10 open successfully");  // closing says nothing
    form.show();
    form.close();  // and leaves a closed one alone
    EXPECT_EQ(port->closes, 1);
}
