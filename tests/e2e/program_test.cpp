// SPDX-License-Identifier: MIT
// gaspuff-panel's command line, its start without a display, and its --log.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "shellargs.h"

TEST(PanelProgram, AnswersItsCommandLineAndSaysWhenThereIsNoDisplay) {
    // Arguments, whether a display is offered, exit status, what it says.
    const std::tuple<QStringList, bool, int, QString> cases[] = {
        {{"--version"}, true, 0, "gaspuff-panel " GASPUFF_VERSION "\n"},
        {{"--help"}, true, 0, "Usage: gaspuff-panel [--log FILE]"},
        {{"--frobnicate"}, true, 2, "gaspuff-panel: unknown option --frobnicate"},
        {{}, false, 1, "gaspuff-panel: no display: it needs a graphical session"},
    };
    for (const auto& [args, display, status, says] : cases) {
        QProcess panel;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(name);
        if (display) env.insert("QT_QPA_PLATFORM", "offscreen");
        panel.setProcessEnvironment(env);
        panel.start(GASPUFF_PANEL_PATH, args);
        ASSERT_TRUE(panel.waitForFinished(5000)) << args.join(' ').toStdString();
        EXPECT_EQ(panel.exitCode(), status) << args.join(' ').toStdString();
        const QString output = panel.readAllStandardOutput() + panel.readAllStandardError();
        EXPECT_TRUE(output.startsWith(says)) << output.toStdString();
    }
}

TEST(PanelProgram, ItsLogNeverHoldsTheWindowBackAndIsTheFileNamedByteForByte) {
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    const QByteArray fifo = folder + "/fifo", named = folder + "/log_\xe9.txt";
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    for (const QByteArray& log : {fifo, named}) {  // a FIFO nobody reads; a name invalid in UTF-8
        // On the offscreen platform, as this test runs.
        QProcess panel;
        panel.start("/bin/sh", gaspuff::test::shellargs(GASPUFF_PANEL_PATH, {"--log", log}));
        // The window is up once the program waits in its event loop for
        // something to happen, not in opening the log.
        const auto waiting = [&panel] {
            QFile call(QStringLiteral("/proc/%1/syscall").arg(panel.processId()));
            const long number =
                call.open(QIODevice::ReadOnly) ? call.readAll().split(' ')[0].toLong() : -1;
            return number == SYS_poll || number == SYS_ppoll;
        };
        EXPECT_TRUE(QTest::qWaitFor(waiting, 10000)) << log.constData();
        struct stat st {};
        EXPECT_EQ(::stat(log.constData(), &st), 0);
        panel.kill();
        panel.waitForFinished(5000);
    }
    ::unlink(named.constData());  // QTemporaryDir's cleanup cannot name it
}
