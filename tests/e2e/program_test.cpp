// SPDX-License-Identifier: MIT
// The programs' command lines, the panel's start without a display, and its --log.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "shellargs.h"

TEST(Programs, AnswerTheirCommandLinesAndSayWhyTheyEnd) {
    const QString panel = GASPUFF_PANEL_PATH, sim = GASPUFF_SIM_PATH, ctl = GASPUFF_CTL_PATH;
    // Program, arguments, whether a display is offered, exit status, whether
    // it speaks on standard error (else standard output, the other stays
    // silent), and how its text begins.
    const std::tuple<QString, QStringList, bool, int, bool, QString> cases[] = {
        {panel, {"--help"}, false, 0, false, "Usage: gaspuff-panel [options]\n"},
        {panel, {"--version"}, true, 0, false, "gaspuff-panel " GASPUFF_VERSION "\n"},
        {panel,
         {"--frobnicate"},
         true,
         2,
         true,
         "gaspuff-panel: Unknown option 'frobnicate'.\nTry 'gaspuff-panel --help'.\n"},
        {panel, {"--log"}, true, 2, true, "gaspuff-panel: Missing value after '--log'."},
        {panel, {}, false, 1, true, "gaspuff-panel: no display: it needs a graphical session"},
        {sim, {"-h"}, false, 0, false, "Usage: gaspuff-sim [options]\n"},
        {sim, {"--version"}, false, 0, false, "gaspuff-sim " GASPUFF_VERSION "\n"},
        {sim, {"--speed"}, false, 2, true, "gaspuff-sim: Unknown option 'speed'.\nTry 'gaspuff-"},
        {sim, {"--port"}, false, 2, true, "gaspuff-sim: Missing value after '--port'."},
        {sim, {"--port", "17"}, false, 2, true, "gaspuff-sim: --port takes a port number from 1"},
        {sim, {"--unplug-after=0"}, false, 2, true, "gaspuff-sim: --unplug-after takes seconds"},
        {sim, {"fast"}, false, 2, true, "gaspuff-sim: unexpected argument \"fast\""},
        {ctl, {"--help"}, false, 0, false, "Usage: gaspuff-ctl [options] COMMAND [ARGUMENT]\n"},
        {ctl, {"--version"}, false, 0, false, "gaspuff-ctl " GASPUFF_VERSION "\n"},
        {ctl, {"--frob", "status"}, false, 1, true, "gaspuff-ctl: Unknown option 'frob'."},
        {ctl, {"status", "--device"}, false, 1, true, "gaspuff-ctl: Missing value after '--dev"},
        {ctl, {"frob"}, false, 1, true, "gaspuff-ctl: unknown command \"frob\"\nTry 'gaspuff-"},
        {ctl, {"send"}, false, 1, true, "gaspuff-ctl: send takes 1 argument(s)"},
        {ctl, {"--wait", "stop"}, false, 1, true, "gaspuff-ctl: --wait is for shoot"},
    };
    for (const auto& [program, args, display, status, onerr, says] : cases) {
        const std::string row = (program.section('/', -1) + ' ' + args.join(' ')).toStdString();
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(name);
        if (display) env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(program, args);
        ASSERT_TRUE(p.waitForFinished(5000)) << row;
        const QString out = p.readAllStandardOutput(), err = p.readAllStandardError();
        EXPECT_EQ(p.exitCode(), status) << row;
        EXPECT_TRUE((onerr ? err : out).startsWith(says) && (onerr ? out : err).isEmpty())
            << row << "\nout: " << out.toStdString() << "\nerr: " << err.toStdString();
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
