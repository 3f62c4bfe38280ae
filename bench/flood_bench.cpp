// SPDX-License-Identifier: MIT
// A saturated line against the real window on a real X display. A feeder
// process writes status lines whose uptime changes on every line, paced at
// 115200 baud 8N1 (11,520 bytes/s), for SECONDS, then one last line,
// "armed|999999|on". Measured over the flood: the panel's CPU and the X
// server's CPU, each as a share of one core, and how long the last line takes
// from its arrival until the state caption is painted with it. The feeder is
// a process of its own so that its work is not counted as the panel's. Then,
// with output queued that the far end never reads, how long Disconnect holds
// the window up.
//
//   bench_flood [--xserver-pid PID] [SECONDS]     (default 20 s)
//
// Needs DISPLAY (an Xvfb of its own: scripts/flood starts one); the X
// server's pid comes from --xserver-pid or GASPUFF_XSERVER_PID. Prints one
// line of key=value figures and one for people. Exit status 0 when the goals
// are met, 1 when one is missed, 2 when nothing could be measured.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>

#include "app/form1.h"
#include "link/serialport.h"

namespace {

constexpr int64_t kBytesPerSecond = 11520;  // 115200 baud, 8N1
constexpr int64_t kBatchNs = 1'000'000;     // the feeder writes about 1 ms of line at a time
constexpr int64_t kNsPerSecond = 1'000'000'000;
constexpr char kMarker[] = "armed|999999|on\r";
constexpr int64_t kMarkerBytes = sizeof kMarker - 1;
constexpr double kPanelCpuGoalPct = 2;
constexpr double kXServerCpuGoalPct = 0.5;
constexpr double kLastLineGoalMs = 20;
// Closing waits half a second at most for the line; the rest is the close.
constexpr double kDisconnectGoalMs = 600;

int64_t nowns() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * kNsPerSecond + ts.tv_nsec;
}

void sleepuntil(int64_t ns) {
    const timespec ts{static_cast<time_t>(ns / kNsPerSecond), static_cast<long>(ns % kNsPerSecond)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

double processcpuseconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Another process's CPU time so far (user + system), or nothing.
std::optional<double> cpuseconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t end = stat.rfind(')');  // the command name may hold spaces
    if (end == std::string::npos) return std::nullopt;
    std::istringstream fields(stat.substr(end + 1));
    std::string skip;
    for (int i = 3; i < 14; ++i) fields >> skip;  // fields 3..13: state .. cmajflt
    long long utime = 0, stime = 0;
    if (!(fields >> utime >> stime)) return std::nullopt;
    return double(utime + stime) / sysconf(_SC_CLK_TCK);
}

// Writes all of it by the deadline; false when the line is gone or stuck.
bool writeall(int fd, const char* p, size_t n, int64_t deadline) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w > 0) {
            p += w;
            n -= static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR) return false;
        const int64_t left = deadline - nowns();
        if (left <= 0) return false;
        pollfd pf{fd, POLLOUT, 0};
        ::poll(&pf, 1, static_cast<int>(std::min<int64_t>(left / 1'000'000 + 1, 100)));
    }
    return true;
}

struct FeedReport {
    long long start = 0, marker = 0;  // CLOCK_MONOTONIC ns: flood began, last line written
    long long lines = 0, bytes = 0;   // the flood's, without the last line
    long long latemax = 0;            // ns the line fell behind its pace at worst
};

// The feeder's whole life, in the child: wait for the word, flood, write the
// last line, report. Nothing of Qt runs here.
[[noreturn]] void feed(int master, int go, int report, int seconds) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    pollfd pf{go, POLLIN, 0};
    char word = 0;
    if (::poll(&pf, 1, 60'000) != 1 || ::read(go, &word, 1) != 1) ::_exit(0);
    const int64_t start = nowns();
    const int64_t total = kBytesPerSecond * seconds;
    const int64_t deadline = start + (seconds + 30) * kNsPerSecond;
    auto dueat = [&](int64_t bytes) { return start + bytes * kNsPerSecond / kBytesPerSecond; };
    std::string line;  // what is left of the line being sent
    int64_t written = 0, lines = 0, latemax = 0;
    // Bytes go out as the clock allows, split anywhere, as a UART hands
    // them over; the last line of the flood is finished whole.
    for (int64_t batch = start; written < total || !line.empty();) {
        sleepuntil(batch += kBatchNs);
        const int64_t due = (nowns() - start) * kBytesPerSecond / kNsPerSecond;
        std::string out;
        while (written + int64_t(out.size()) < due &&
               (!line.empty() || written + int64_t(out.size()) < total)) {
            if (line.empty()) line = "stop|" + std::to_string(++lines) + "|off\r";
            const size_t take = std::min<size_t>(line.size(), due - written - out.size());
            out += line.substr(0, take);
            line.erase(0, take);
        }
        if (!writeall(master, out.data(), out.size(), deadline)) ::_exit(3);
        written += int64_t(out.size());
        latemax = std::max(latemax, nowns() - dueat(written));
    }
    sleepuntil(dueat(written + kMarkerBytes));
    const int64_t marker = nowns();  // before the write, so the latency is never short
    if (!writeall(master, kMarker, kMarkerBytes, deadline)) ::_exit(3);
    ::dprintf(report, "%lld %lld %lld %lld %lld\n", static_cast<long long>(start),
              static_cast<long long>(marker), static_cast<long long>(lines),
              static_cast<long long>(written), static_cast<long long>(latemax));
    ::_exit(0);
}

// The feeder process, seen from the panel's side: started before Qt, told
// when to begin, killed and reaped however the benchmark ends.
class Feeder {
  public:
    Feeder(int master, int seconds) {
        int go[2], report[2];
        if (::pipe2(go, O_CLOEXEC) != 0) return;
        if (::pipe2(report, O_CLOEXEC) != 0) {
            ::close(go[0]);
            ::close(go[1]);
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(go[1]);
            ::close(report[0]);
            feed(master, go[0], report[1], seconds);
        }
        ::close(go[0]);
        ::close(report[1]);
        go_ = go[1];
        report_ = report[0];
    }
    ~Feeder() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (go_ >= 0) ::close(go_);
        if (report_ >= 0) ::close(report_);
    }
    Feeder(const Feeder&) = delete;
    Feeder& operator=(const Feeder&) = delete;

    bool ok() const { return pid_ > 0; }
    bool go() { return ::write(go_, "g", 1) == 1; }
    // The feeder's report, waiting at most ms for it.
    std::optional<FeedReport> report(int ms) {
        std::string text;
        const int64_t deadline = nowns() + int64_t(ms) * 1'000'000;
        while (text.find('\n') == std::string::npos) {
            const int64_t left = (deadline - nowns()) / 1'000'000;
            pollfd pf{report_, POLLIN, 0};
            if (left <= 0 || ::poll(&pf, 1, int(left)) != 1) return std::nullopt;
            char buf[256];
            const ssize_t n = ::read(report_, buf, sizeof buf);
            if (n <= 0) return std::nullopt;
            text.append(buf, size_t(n));
        }
        FeedReport r;
        if (std::sscanf(text.c_str(), "%lld %lld %lld %lld %lld", &r.start, &r.marker, &r.lines,
                        &r.bytes, &r.latemax) != 5)
            return std::nullopt;
        return r;
    }

  private:
    pid_t pid_ = -1;
    int go_ = -1, report_ = -1;
};

// Watches the captions' paints: counts the uptime's, and notes the first
// paint of the state caption once it reads "armed".
class PaintWatch : public QObject {
  public:
    PaintWatch(QLabel* state, QLabel* uptime) : state_(state), uptime_(uptime) {
        state_->installEventFilter(this);
        uptime_->installEventFilter(this);
    }
    std::function<void()> onarmed;
    int64_t armedpaint = 0;
    int uptimepaints = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint) return false;
        if (watched == uptime_) ++uptimepaints;
        if (watched == state_ && armedpaint == 0 && state_->text() == QLatin1String("armed")) {
            armedpaint = nowns();
            if (onarmed) onarmed();
        }
        return false;
    }

  private:
    QLabel* state_;
    QLabel* uptime_;
};

// Runs the event loop for ms, or until done() holds.
bool spin(
    int ms, const std::function<bool()>& done = [] { return false; }) {
    const int64_t deadline = nowns() + int64_t(ms) * 1'000'000;
    while (!done()) {
        const int64_t left = (deadline - nowns()) / 1'000'000;
        if (left <= 0) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents,
                                        int(std::min<int64_t>(left, 20)));
    }
    return true;
}

int fail(const char* why) {
    std::fprintf(stderr, "bench_flood: %s\n", why);
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    int seconds = 20;
    pid_t xserver = qEnvironmentVariableIntValue("GASPUFF_XSERVER_PID");
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "--xserver-pid" && i + 1 < argc)
            xserver = QByteArray(argv[++i]).toInt();
        else if (a.toInt() > 0)
            seconds = a.toInt();
        else
            return fail("usage: bench_flood [--xserver-pid PID] [SECONDS]");
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return fail("needs an X display (DISPLAY); scripts/flood runs it under Xvfb");
    qputenv("QT_QPA_PLATFORM", "xcb");  // the real display, never offscreen
    const bool xknown = xserver > 0 && cpuseconds(xserver).has_value();
    if (!xknown) std::fprintf(stderr, "bench_flood: no X server pid; its CPU is not measured\n");

    // The far end of the line, raw from birth, reached as "Com 10" through a
    // ports folder of our own.
    termios raw{};
    cfmakeraw(&raw);
    int master = -1, slave = -1;
    char name[128] = {};
    if (::openpty(&master, &slave, name, &raw, nullptr) != 0) return fail("openpty failed");
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    QTemporaryDir config;
    const QString ports = config.filePath(QStringLiteral("gaspuff/ports"));
    if (!QDir().mkpath(ports) ||
        !QFile::link(QString::fromLocal8Bit(name), ports + QStringLiteral("/com10")))
        return fail("cannot make the ports folder");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));

    // Before Qt starts any thread or connects to the display.
    Feeder feeder(master, seconds);
    if (!feeder.ok()) return fail("cannot start the feeder");

    gaspuff::prepareplatform();  // as the panel does
    QApplication app(argc, argv);
    std::optional<gaspuff::Form1> form(std::in_place);
    form->messagebox = [](const QString& text) {
        std::fprintf(stderr, "bench_flood: message box: %s\n", qPrintable(text));
    };
    form->show();
    if (!spin(5000, [&] { return form->windowHandle() && form->windowHandle()->isExposed(); }))
        return fail("the window was not shown within 5 s");
    form->cmdLigar->click();
    if (form->txtStatus->text() != QLatin1String("Port 10 open successfully"))
        return fail(qPrintable(form->txtStatus->text()));
    spin(500);  // start-up painting is not the flood's

    PaintWatch watch(form->lblState, form->lblUptime);
    double panel1 = 0, xserver1 = 0;
    QEventLoop loop;
    watch.onarmed = [&] {
        panel1 = processcpuseconds();
        if (xknown) xserver1 = cpuseconds(xserver).value_or(0);
        loop.quit();
    };
    const int64_t t0 = nowns();
    const double panel0 = processcpuseconds();
    const double xserver0 = xknown ? cpuseconds(xserver).value_or(0) : 0;
    if (!feeder.go()) return fail("the feeder did not take the word");
    QTimer::singleShot((seconds + 10) * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    if (watch.armedpaint == 0) return fail("the last line never reached the screen");
    const std::optional<FeedReport> fed = feeder.report(5000);
    if (!fed) return fail("no report from the feeder");
    // The feeder has gone; the line stays up and nobody reads it.
    for (int i = 0; i < 30; ++i) form->MSComm1->output(QByteArray(4000, '0'));
    const int64_t closing = nowns();
    form->cmdDesligar->click();
    const double closems = (nowns() - closing) / 1e6;
    if (form->MSComm1->isopen()) return fail("Disconnect left the port open");
    form.reset();

    const double wall = (watch.armedpaint - t0) / 1e9;
    const double panelpct = 100 * (panel1 - panel0) / wall;
    const double xpct = 100 * (xserver1 - xserver0) / wall;
    const double lastms = (watch.armedpaint - fed->marker) / 1e6;
    const QByteArray xtext = xknown ? QByteArray::number(xpct, 'f', 2) : QByteArray("na");
    std::printf(
        "panel_cpu_pct=%.2f xserver_cpu_pct=%s last_line_ms=%.2f disconnect_ms=%.1f lines=%lld "
        "seconds=%.2f uptime_paints_per_s=%.1f feeder_late_max_ms=%.2f\n",
        panelpct, xtext.constData(), lastms, closems, fed->lines, wall, watch.uptimepaints / wall,
        fed->latemax / 1e6);
    const auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
    const bool cpuok = panelpct <= kPanelCpuGoalPct;
    const bool xok = !xknown || xpct <= kXServerCpuGoalPct;
    const bool lastok = lastms <= kLastLineGoalMs;
    const bool closeok = closems <= kDisconnectGoalMs;
    std::printf(
        "%d s of status lines at 11520 B/s (%lld lines): panel %.1f %% of a core "
        "(goal <= %.0f %%: %s), X server %s %% of a core (goal <= %.1f %%: %s), last line on "
        "screen %.1f ms after it arrived (goal <= %.0f ms: %s), uptime painted %.0f times a "
        "second; Disconnect behind a far end that does not read %.0f ms (goal <= %.0f ms: %s)\n",
        seconds, fed->lines, panelpct, kPanelCpuGoalPct, verdict(cpuok), xtext.constData(),
        kXServerCpuGoalPct, verdict(xok), lastms, kLastLineGoalMs, verdict(lastok),
        watch.uptimepaints / wall, closems, kDisconnectGoalMs, verdict(closeok));
    return cpuok && xok && lastok && closeok ? 0 : 1;
}
