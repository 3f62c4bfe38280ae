// SPDX-License-Identifier: MIT
// A status line's way from the line to the window's uptime caption: the real
// window (offscreen) on a terminal of its own as "Com 10", then through ser2net
// in front of that terminal, in raw TCP and in RFC 2217 ("Com 10" linked to
// the URL). Prints each median and whether the network adds at most 2 ms.
// Exit status 1 when it does not; ser2net rows are left out, and said, when
// ser2net is not installed.
//
//   bench_latency [LINES]     (default 101 status lines each way)
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "app/form1.h"
#include "ser2net.h"

namespace {

using namespace gaspuff;

// Runs the event loop until done or ms have passed, waking for nothing else.
void rununtil(const std::function<bool()>& done, int ms) {
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(ms);
    while (!done() && wake.isActive())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// The median in milliseconds, or nothing when the window did not open the port.
std::optional<double> measure(int master, const QString& target, const QString& link, int lines) {
    QFile::remove(link);
    if (!QFile::link(target, link)) return std::nullopt;
    Form1 form;
    form.messagebox = [](const QString&) {};
    form.cmbSerialPort->setCurrentIndex(9);
    form.cmdLigar->click();
    if (form.txtStatus->text() != "Port 10 open successfully") {
        std::fprintf(stderr, "bench_latency: %s\n", qPrintable(form.txtStatus->text()));
        return std::nullopt;
    }
    std::vector<double> ms;
    for (int i = 1; i <= lines; ++i) {
        // Lines a frame and more apart, as a controller sends them.
        rununtil([] { return false; }, 25);
        const QByteArray line = "stop|" + QByteArray::number(i) + "|off\r";
        const QString shown = QString::number(i);
        QElapsedTimer clock;
        clock.start();
        if (::write(master, line.constData(), line.size()) != line.size()) return std::nullopt;
        rununtil([&] { return form.lblUptime->text() == shown; }, 1000);
        if (form.lblUptime->text() == shown) ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    form.cmdDesligar->click();
    if (ms.empty()) return std::nullopt;
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;  // the operator's Com 10 stays untouched
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 101;
    const QString ports = config.filePath("gaspuff/ports");
    QDir().mkpath(ports);

    termios raw{};
    cfmakeraw(&raw);
    int master = -1, slave = -1;
    char name[128] = {};
    if (::openpty(&master, &slave, name, &raw, nullptr) != 0) return 2;
    std::printf("a status line to the window's caption, median of %d\n", lines);
    // ser2net by default holds what it reads for two characters' time (at
    // least 1 ms) after the last one, to fill its packets.
    const QByteArray prompt = "  options:\n    chardelay: false\n";
    const struct {
        const char* name;
        QString accepter;
        QByteArray options;
    } modes[] = {{"local", {}, {}},
                 {"socket", "tcp", {}},
                 {"rfc2217", "telnet(rfc2217),tcp", {}},
                 {"socket, chardelay: false", "tcp", prompt},
                 {"rfc2217, chardelay: false", "telnet(rfc2217),tcp", prompt}};
    double local = 0;
    bool met = true;
    for (const auto& [mode, accepter, options] : modes) {
        std::optional<test::Ser2net> server;
        if (!accepter.isEmpty()) {
            if (test::Ser2net::program().isEmpty()) {
                std::printf("%s: ser2net is not installed\n", mode);
                continue;
            }
            server.emplace(QString::fromLocal8Bit(name), QStringList{accepter}, "115200n81",
                           options);
        }
        const QString target = server ? server->url(0) : QString::fromLocal8Bit(name);
        const std::optional<double> ms = measure(master, target, ports + "/com10", lines);
        if (!ms) return 2;
        if (!server) local = *ms;
        const bool ok = options.isEmpty() || *ms <= local + 2;
        met = met && ok;
        std::printf("%s: median %.2f ms", mode, *ms);
        if (server)
            std::printf(", %+.2f ms over local%s", *ms - local,
                        options.isEmpty() ? " (ser2net's own delay)"
                        : ok              ? ", goal at most 2: met"
                                          : ", goal at most 2: MISSED");
        std::printf("\n");
    }
    ::close(slave);
    ::close(master);
    return met ? 0 : 1;
}
