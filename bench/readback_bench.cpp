// SPDX-License-Identifier: MIT
// Get Waveform to "1000 points received": the real window (offscreen)
// against the real simulator through "Com 10", at the line's pace and
// unpaced, and paced through ser2net in raw TCP and in RFC 2217 ("Com 11"
// linked to its URL). Prints the median of several read-backs beside the time
// the line itself needs for the answer, and whether the goals are met: paced
// within 5 % of the line's time, through ser2net within 5 % of the local
// figure, unpaced at most 50 ms. Exit status 1 when a goal is missed; ser2net
// rows are left out, and said, when ser2net is not installed.
//
//   bench_readback [RUNS]     (default 9 read-backs each way)
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

#include "app/form1.h"
#include "ser2net.h"
#include "waveform/files.h"

namespace {

using namespace gaspuff;

constexpr int kLineCharactersPerSecond = 11520;         // 115200 baud, 8N1
constexpr int kAnswerCharacters = 4 * kWaveformLength;  // "100\r" a point
constexpr double kLineMs = 1000.0 * kAnswerCharacters / kLineCharactersPerSecond;

struct Figures {
    double median = 0, min = 0, max = 0;
    int failed = 0;  // read-backs that ended in a timeout
};

// Runs the event loop until the window's status shows one of the texts or
// ms have passed; the text shown, or nothing.
std::optional<QString> waitstatus(Form1& form, const QStringList& texts, int ms) {
    QEventLoop loop;
    std::optional<QString> seen;
    const auto c =
        QObject::connect(form.txtStatus, &QLineEdit::textChanged, &loop, [&](const QString& text) {
            if (!texts.contains(text)) return;
            seen = text;
            loop.quit();
        });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(c);
    return seen;
}

// accepter: ser2net's ("tcp", "telnet(rfc2217),tcp") between the simulator
// and the window, or empty for none.
std::optional<Figures> measure(const QString& table, bool fast, int runs, const QString& accepter) {
    QProcess sim;
    QStringList args{"--port", "10", "--table", table};
    if (fast) args << "--fast";
    sim.start(QStringLiteral(GASPUFF_SIM_PATH), args);
    if (!sim.waitForReadyRead(5000) || !sim.canReadLine()) {
        std::fprintf(stderr, "bench_readback: the simulator did not start: %s\n",
                     sim.readAllStandardError().constData());
        return std::nullopt;
    }
    std::optional<test::Ser2net> server;
    int port = 10;
    if (!accepter.isEmpty()) {
        server.emplace(QString::fromLocal8Bit(sim.readLine()).trimmed(), QStringList{accepter});
        port = 11;
        const QString link = qEnvironmentVariable("XDG_CONFIG_HOME") + "/gaspuff/ports/com11";
        QFile::remove(link);
        if (!server->listening() || !QFile::link(server->url(0), link)) {
            std::fprintf(stderr, "bench_readback: ser2net did not start\n");
            return std::nullopt;
        }
    }
    std::vector<double> ms;
    Figures f;
    {
        Form1 form;
        form.messagebox = [](const QString&) {};
        form.cmbSerialPort->setCurrentIndex(port - 1);
        form.cmdLigar->click();
        if (form.txtStatus->text() != QStringLiteral("Port %1 open successfully").arg(port)) {
            std::fprintf(stderr, "bench_readback: %s\n", qPrintable(form.txtStatus->text()));
            return std::nullopt;
        }
        QElapsedTimer settle;
        settle.start();
        while (form.lblState->text() != "stop" && settle.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);

        for (int i = 0; i < runs; ++i) {
            form.txtStatus->clear();
            QElapsedTimer clock;
            clock.start();
            form.cmdGet->click();
            const auto shown =
                waitstatus(form, {"1000 points received", "Communication timeout"}, 5000);
            const double elapsed = clock.nsecsElapsed() / 1e6;
            if (shown == "1000 points received")
                ms.push_back(elapsed);
            else
                ++f.failed;
        }
        form.close();
    }
    sim.terminate();
    sim.waitForFinished(5000);
    if (ms.empty()) return f;
    std::sort(ms.begin(), ms.end());
    const size_t n = ms.size();
    f.median = n % 2 ? ms[n / 2] : (ms[n / 2 - 1] + ms[n / 2]) / 2;
    f.min = ms.front();
    f.max = ms.back();
    return f;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // A ports folder of its own: the operator's Com 10 stays untouched.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 9;

    Waveform hundreds{};
    hundreds.fill(100);
    const QString table = config.filePath("hundreds.txt");
    if (const QString error = savewaveform(table, hundreds); !error.isEmpty()) {
        std::fprintf(stderr, "bench_readback: %s\n", qPrintable(error));
        return 1;
    }

    std::printf("Get Waveform to \"1000 points received\", %d read-backs each way\n", runs);
    std::printf("the line's own time: %d characters at 115200 baud 8N1 = %.1f ms\n",
                kAnswerCharacters, kLineMs);
    bool met = true;
    double local = kLineMs;
    const struct {
        const char* name;
        bool fast;
        QString accepter;
    } modes[] = {
        {"paced ", false, {}},
        {"--fast", true, {}},
        {"socket", false, "tcp"},
        {"rfc2217", false, "telnet(rfc2217),tcp"},
    };
    for (const auto& [name, fast, accepter] : modes) {
        if (!accepter.isEmpty() && test::Ser2net::program().isEmpty()) {
            std::printf("%s: ser2net is not installed\n", name);
            continue;
        }
        const std::optional<Figures> f = measure(table, fast, runs, accepter);
        if (!f) return 1;
        if (f->failed == runs) {
            std::printf("%s: every read-back timed out\n", name);
            met = false;
            continue;
        }
        const double against = accepter.isEmpty() ? kLineMs : local;
        const bool ok = f->failed == 0 &&
                        (fast ? f->median <= 50 : std::abs(f->median - against) <= 0.05 * against);
        met = met && ok;
        if (!fast && accepter.isEmpty()) local = f->median;
        std::printf("%s: median %6.1f ms (min %.1f, max %.1f)", name, f->median, f->min, f->max);
        if (fast)
            std::printf(", goal at most 50 ms: %s", ok ? "met" : "MISSED");
        else
            std::printf(", %+.1f %% of the %s, goal within 5 %%: %s",
                        100 * (f->median - against) / against,
                        accepter.isEmpty() ? "line's time" : "local figure", ok ? "met" : "MISSED");
        if (f->failed) std::printf(", %d timed out", f->failed);
        std::printf("\n");
    }
    return met ? 0 : 1;
}
