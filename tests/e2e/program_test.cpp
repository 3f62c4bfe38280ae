// SPDX-License-Identifier: MIT
// The programs' command lines and the panel's start without a display.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

TEST(Programs, AnswerTheirCommandLinesAndSayWhyTheyEnd) {
    const QString panel = GASPUFF_PANEL_PATH, sim = GASPUFF_SIM_PATH, ctl = GASPUFF_CTL_PATH;
    const QString screen = "QT_QPA_PLATFORM=offscreen",
                  rule = "QT_LOGGING_RULES=gaspuff.*.debug=true";
    // Program, arguments, the one variable in its environment, exit status,
    // the stream it speaks on (1 standard output, 2 standard error; the other
    // stays silent), and how its text begins.
    const std::tuple<QString, QStringList, QString, int, int, QString> cases[] = {
        {panel, {"--help"}, "", 0, 1, "Usage: gaspuff-panel [options]\n"},
        {panel, {"--version"}, screen, 0, 1, "gaspuff-panel " GASPUFF_VERSION "\n"},
        {panel, {"--frob"}, screen, 2, 2, "gaspuff-panel: Unknown option 'frob'.\nTry 'gaspuff-"},
        {panel, {"--log"}, screen, 2, 2, "gaspuff-panel: Missing value after '--log'."},
        {panel, {}, "", 1, 2, "gaspuff-panel: no display: it needs a graphical session"},
        {sim, {"-h"}, "", 0, 1, "Usage: gaspuff-sim [options]\n"},
        {sim, {"--version"}, "", 0, 1, "gaspuff-sim " GASPUFF_VERSION "\n"},
        {sim, {"--speed"}, "", 2, 2, "gaspuff-sim: Unknown option 'speed'.\nTry 'gaspuff-sim"},
        {sim, {"--port"}, "", 2, 2, "gaspuff-sim: Missing value after '--port'."},
        {sim, {"--port", "17"}, "", 2, 2, "gaspuff-sim: --port takes a port number from 1"},
        {sim, {"--no-link", "--table", "/nonexistent"}, "", 1, 2, "gaspuff-sim: Cannot load"},
        {ctl, {"--help"}, "", 0, 1, "Usage: gaspuff-ctl [options] COMMAND [ARGUMENT]\n"},
        {ctl, {"--version"}, "", 0, 1, "gaspuff-ctl " GASPUFF_VERSION "\n"},
        {ctl, {"--frob"}, "", 1, 2, "gaspuff-ctl: Unknown option 'frob'.\nTry 'gaspuff-ctl"},
        {ctl, {"stop", "--device"}, "", 1, 2, "gaspuff-ctl: Missing value after '--device'."},
        {ctl, {"frob"}, "", 1, 2, "gaspuff-ctl: unknown command \"frob\"\nTry 'gaspuff-ctl"},
        {ctl, {"send"}, "", 1, 2, "gaspuff-ctl: send takes 1 argument(s)"},
        // Developers' messages only when asked for.
        {ctl, {"--device", "/nonexistent", "stop"}, "", 2, 2, "gaspuff-ctl: Port /nonexistent"},
        {ctl, {"--device", "/nonexistent", "stop"}, rule, 2, 2, "gaspuff.link: open \"/nonex"},
    };
    const QTemporaryDir runtime;
    for (const auto& [program, args, variable, status, stream, says] : cases) {
        const std::string row = (program.section('/', -1) + ' ' + args.join(' ')).toStdString();
        QProcess p;
        QProcessEnvironment env;  // nothing inherited: no display, no logging rules
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        if (!variable.isEmpty()) env.insert(variable.section('=', 0, 0), variable.section('=', 1));
        p.setProcessEnvironment(env);
        p.start(program, args);
        ASSERT_TRUE(p.waitForFinished(5000)) << row;
        const QString said[] = {p.readAllStandardOutput(), p.readAllStandardError()};
        EXPECT_EQ(p.exitCode(), status) << row;
        EXPECT_TRUE(said[stream - 1].startsWith(says) && said[2 - stream].isEmpty())
            << row << "\nout: " << said[0].toStdString() << "\nerr: " << said[1].toStdString();
    }
}
