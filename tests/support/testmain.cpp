// SPDX-License-Identifier: MIT
// One QApplication for every test of an executable, offscreen unless the
// caller chose a platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include "app/form1.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // What the programs keep between runs (read-backs given up on) stays
    // with this run, for it and the programs it starts.
    const QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QLatin1String(gaspuff::kApplicationName));
    return RUN_ALL_TESTS();
}
