#pragma once
// A real window connected through "Com 10" to a raw pseudo-terminal that the
// test holds as the far end of the line.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <memory>

#include "app/form1.h"
#include "rawpty.h"

namespace gaspuff::test {

class PanelOnTheLine : public ::testing::Test {
protected:
    PortsFolder ports;
    RawPty pty;
    std::unique_ptr<Form1> form;

    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        ports.link(10, pty.slavepath());
        form = std::make_unique<Form1>();
        form->cmdLigar->click();
        ASSERT_EQ(status(), "Port 10 open successfully");
    }
    QString status() const { return form->txtStatus->text(); }
    static bool waitfor(const std::function<bool()>& condition, int ms = 2000) {
        return QTest::qWaitFor(condition, ms);
    }
};

}  // namespace gaspuff::test
