// gaspuff-panel's command line and its start without a display.
#include <gtest/gtest.h>

#include <QProcess>

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
