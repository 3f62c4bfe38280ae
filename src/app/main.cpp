// SPDX-License-Identifier: MIT
// gaspuff-panel: the operator's front panel for a gas-puff valve controller.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/form1.h"
#include "protocol/sessionlog.h"
#include "waveform/files.h"

namespace {

constexpr char kHelp[] = R"(Usage: gaspuff-panel [--log FILE]
The operator's front panel for a gas-puff valve controller on a serial line
(115200 baud, 8N1, "Com 1" to "Com 16").

  --log FILE    append a record of the session to FILE: every line received
                and command written, ports opened and closed, waveforms sent
                and received, files saved and loaded, each with its time
  -h, --help    show this text and end
  --version     show the version and end

"Com N" is the link comN in $XDG_CONFIG_HOME/gaspuff/ports (by default
~/.config/gaspuff/ports), else /dev/ttyS<N-1>. The panel needs a graphical
session; without one, run it under xvfb-run.
)";

int usage(const char* why) {
    std::fprintf(stderr, "gaspuff-panel: %s\nTry 'gaspuff-panel --help'.\n", why);
    return 2;
}

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
    const char* logfile = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!std::strcmp(arg, "-h") || !std::strcmp(arg, "--help")) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (!std::strcmp(arg, "--version")) {
            std::printf("gaspuff-panel %s\n", GASPUFF_VERSION);
            return 0;
        }
        if (!std::strcmp(arg, "--log")) {
            if (++i == argc) return usage("--log needs a file name");
            logfile = argv[i];
        } else if (!std::strncmp(arg, "--log=", 6)) {
            logfile = arg + 6;
        } else if (!std::strncmp(arg, "--", 2)) {
            // Qt's own options (-platform, -style ...) are left to Qt.
            const QByteArray why = QByteArray("unknown option ") + arg;
            return usage(why.constData());
        }
    }
    if (nodisplay()) nodisplayexit();
    // A display that cannot be reached ends in the toolkit's fatal message;
    // say what it means instead.
    previoushandler = qInstallMessageHandler(onqtmessage);

    gaspuff::prepareplatform();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QLatin1String(gaspuff::kApplicationName));
    QApplication::setApplicationVersion(QStringLiteral(GASPUFF_VERSION));
    std::unique_ptr<gaspuff::SessionLog> log;
    if (logfile) log = std::make_unique<gaspuff::SessionLog>(gaspuff::decodedname(logfile));
    gaspuff::Form1 form;
    form.setsessionlog(log.get());
    form.show();
    return app.exec();
}
