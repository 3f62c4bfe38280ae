// One QApplication for every test of an executable, offscreen unless the
// caller chose a platform.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/form1.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QLatin1String(gaspuff::kApplicationName));
    return RUN_ALL_TESTS();
}
