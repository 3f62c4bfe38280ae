// SPDX-License-Identifier: MIT
// gaspuff-panel: the operator's front panel for a gas-puff valve controller.
#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

#include "app/form1.h"
#include "commandline.h"
#include "protocol/sessionlog.h"
#include "waveform/files.h"

namespace {

[[noreturn]] void nodisplayexit() {
    std::fputs(
        "gaspuff-panel: no display: it needs a graphical session (or run it under "
        "xvfb-run)\n",
        stderr);
    std::_Exit(1);
}

QtMessageHandler previoushandler = nullptr;

void onqtmessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg && text.contains(QLatin1String("platform plugin"))) nodisplayexit();
    if (previoushandler) previoushandler(type, context, text);
}

// True when Qt would find no screen to show the window on.
bool nodisplay() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return false;
    return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char* argv[]) {
    gaspuff::prepareplatform();
    // A display that cannot be reached ends in the toolkit's fatal message;
    // say what it means instead.
    previoushandler = qInstallMessageHandler(onqtmessage);
    // Where there is a display, the application takes Qt's own options
    // (-platform, -style ...) out of argv before the panel reads the rest;
    // without one, help, version and a bad command line are still answered.
    std::optional<QApplication> app;
    if (!nodisplay()) app.emplace(argc, argv);
    QStringList args;
    for (int i = 0; i < argc; ++i) args << gaspuff::decodedname(argv[i]);  // a log's name as given
    QCommandLineParser parser;
    const QCommandLineOption log(
        QStringLiteral("log"),
        QStringLiteral("Append a record of the session to FILE: every line received and command "
                       "written, ports opened and closed, waveforms sent and received, files "
                       "saved and loaded, each with its time."),
        QStringLiteral("FILE"));
    parser.addOption(log);
    const gaspuff::CommandLineText text{
        gaspuff::kApplicationName, QStringLiteral("[options]"),
        QStringLiteral("The operator's front panel for a gas-puff valve controller on a serial "
                       "line\n(115200 baud, 8N1, \"Com 1\" to \"Com 16\")."),
        QStringLiteral(
            "\n\"Com N\" is the link comN in $XDG_CONFIG_HOME/gaspuff/ports (by default\n"
            "~/.config/gaspuff/ports), else /dev/ttyS<N-1>. The panel needs a graphical\n"
            "session; without one, run it under xvfb-run.\n"),
        2};
    const auto check = [&]() -> QString {
        if (!parser.positionalArguments().isEmpty())
            return QStringLiteral("unexpected argument \"%1\"")
                .arg(parser.positionalArguments().first());
        if (parser.isSet(log) && parser.value(log).isEmpty())
            return QStringLiteral("--log needs a file name");
        return {};
    };
    if (const std::optional<int> status = gaspuff::readcommandline(parser, args, text, check))
        return *status;
    if (!app) nodisplayexit();

    QApplication::setApplicationName(QLatin1String(gaspuff::kApplicationName));
    QApplication::setApplicationVersion(QStringLiteral(GASPUFF_VERSION));
    std::unique_ptr<gaspuff::SessionLog> session;
    if (parser.isSet(log)) session = std::make_unique<gaspuff::SessionLog>(parser.value(log));
    gaspuff::Form1 form;
    form.setsessionlog(session.get());
    form.show();
    return app->exec();
}
