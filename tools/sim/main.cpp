// SPDX-License-Identifier: MIT
// gaspuff-sim: the simulated valve controller behind a raw pseudo-terminal.
// This file owns the signals and the clock and runs the steps from the command
// line to the end; what the controller says and when lives in Controller and
// Transmitter, the devices in terminal.h.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <time.h>

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>

#include "controller.h"
#include "link/comname.h"
#include "options.h"
#include "portlink.h"
#include "terminal.h"
#include "transmitter.h"
#include "waveform/files.h"

namespace {

using namespace gaspuff;
using namespace gaspuff::sim;

constexpr qint64 kMillion = 1'000'000;
constexpr qint64 kNever = std::numeric_limits<qint64>::max();

void say(const QString& text) {
    std::fprintf(stderr, "gaspuff-sim: %s\n", text.toLocal8Bit().constData());
}

QString syserror() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

qint64 monotonic() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<qint64>(ts.tv_sec) * Pacer::kNanosPerSecond + ts.tv_nsec;
}

qint64 nanosfromms(qint64 ms) {
    return ms >= kNever / kMillion ? kNever : ms * kMillion;
}

// The signals that end the simulator come through a descriptor, so that the
// link is removed by the loop rather than inside a handler.
Fd endingsignals() {
    sigset_t ending;
    sigemptyset(&ending);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ending, s);
    ::sigprocmask(SIG_BLOCK, &ending, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    return Fd(::signalfd(-1, &ending, SFD_NONBLOCK | SFD_CLOEXEC));
}

bool loadtable(SimOptions& options) {
    options.controller.table = demotable();
    if (options.tablefile.isEmpty()) return true;
    Waveform table{};
    if (const QString error = loadwaveform(options.tablefile, table); !error.isEmpty()) {
        say(error);
        return false;
    }
    options.controller.table = table;
    return true;
}

bool makelink(int port, const Terminal& terminal, PortLink& link) {
    switch (link.create(portsfolder(), port, terminal.livingpath())) {
        case PortLink::Outcome::Created:
            return true;
        case PortLink::Outcome::ReplacedDangling:
            say(QStringLiteral("replaced the dangling link %1").arg(link.path()));
            return true;
        case PortLink::Outcome::Occupied:
        case PortLink::Outcome::Failed:
            break;
    }
    say(link.problem());
    return false;
}

// The terminal's path on standard output, for scripts; the rest for people.
void announce(const SimOptions& options, const Terminal& terminal, const PortLink& link) {
    std::printf("%s\n", terminal.slavepath().toLocal8Bit().constData());
    std::fflush(stdout);
    say(QStringLiteral("controller on %1%2, %3; SIGINT or SIGTERM ends it")
            .arg(terminal.slavepath(),
                 options.link ? QStringLiteral(" as Com %1 (%2)").arg(options.port).arg(link.path())
                              : QString(),
                 options.fast ? QStringLiteral("unpaced")
                              : QStringLiteral("paced as at 115200 baud")));
}

// The controller on the terminal until a signal, the unplug time or a failure.
class Loop {
  public:
    Loop(const SimOptions& options, Terminal& terminal, Listeners& listeners, const Fd& ending)
        : options_(options),
          terminal_(terminal),
          listeners_(listeners),
          ending_(ending),
          controller_(options.controller),
          transmitter_(options.fast ? 0 : kLineBytesPerSecond,
                       [this](const char* data, qint64 size) { return write(data, size); }),
          start_(monotonic()),
          unplugat_(options.unplugafter > 0
                        ? std::llround(options.unplugafter * Pacer::kNanosPerSecond)
                        : kNever) {
        if (!options.dumpfile.isEmpty()) {
            controller_.onloaded = [this](const Waveform& table) {
                if (const QString error = savewaveform(options_.dumpfile, table); !error.isEmpty())
                    say(error);
            };
        }
        // Until a program opens the terminal, what the controller says is lost.
        transmitter_.setlistening(listeners.fd() < 0);
    }

    // The exit status.
    int run() {
        for (;;) {
            const qint64 now = clock();
            controller_.advance(now / kMillion);
            transmitter_.pump(controller_, now);
            pollfd fds[3] = {
                {terminal_.master(),
                 static_cast<short>(POLLIN | (transmitter_.blocked() ? POLLOUT : 0)), 0},
                {ending_.get(), POLLIN, 0},
                {listeners_.fd(), POLLIN, 0},
            };
            if (!wait(fds, now)) {
                say(QStringLiteral("poll failed: %1").arg(syserror()));
                return 1;
            }
            if (const std::optional<int> status = takeevents(fds, clock())) return *status;
        }
    }

  private:
    qint64 clock() const { return monotonic() - start_; }

    qint64 write(const char* data, qint64 size) {
        const ssize_t n = ::write(terminal_.master(), data, size);
        if (n >= 0) return n;
        return errno == EAGAIN || errno == EINTR ? 0 : -1;
    }

    // Until something comes or the next thing falls due.
    bool wait(pollfd (&fds)[3], qint64 now) {
        qint64 wake = std::min(nanosfromms(controller_.nextevent(now / kMillion)), unplugat_);
        if (transmitter_.pending() > 0 && !transmitter_.blocked())
            wake = std::min(wake, transmitter_.wakeat());
        timespec timeout{};
        const qint64 left = std::max<qint64>(0, wake - now);
        timeout.tv_sec = left / Pacer::kNanosPerSecond;
        timeout.tv_nsec = left % Pacer::kNanosPerSecond;
        const int n = ::ppoll(fds, listeners_.fd() >= 0 ? 3 : 2,
                              wake == kNever ? nullptr : &timeout, nullptr);
        return n >= 0 || errno == EINTR;
    }

    // What the wait brought; the exit status when the simulator ends.
    std::optional<int> takeevents(const pollfd (&fds)[3], qint64 now) {
        if (fds[1].revents & POLLIN) {
            signalfd_siginfo info{};
            if (::read(ending_.get(), &info, sizeof info) == sizeof info) {
                say(QStringLiteral("ended by %1")
                        .arg(QString::fromLocal8Bit(strsignal(info.ssi_signo))));
                return 0;
            }
        }
        // Input before the open and close events: a program that wrote a
        // command and went away has its command carried out first.
        if (fds[0].revents & POLLIN) {
            char buf[4096];
            for (ssize_t n; (n = ::read(terminal_.master(), buf, sizeof buf)) > 0;)
                controller_.receive(QByteArrayView(buf, n), now / kMillion);
        }
        if (fds[0].revents & (POLLERR | POLLNVAL)) {
            say(QStringLiteral("the terminal failed"));
            return 1;
        }
        if (listeners_.fd() >= 0 && (fds[2].revents & POLLIN)) {
            listeners_.take([&](bool up) {
                transmitter_.setlistening(up);
                if (up)
                    controller_.linkup(now / kMillion);
                else
                    terminal_.released();
            });
        }
        if (now >= unplugat_) {
            say(QStringLiteral("unplugged after %1 s").arg(options_.unplugafter));
            return 0;
        }
        return std::nullopt;
    }

    const SimOptions& options_;
    Terminal& terminal_;
    Listeners& listeners_;
    const Fd& ending_;
    Controller controller_;
    Transmitter transmitter_;
    const qint64 start_;
    const qint64 unplugat_;
};

}  // namespace

int main(int argc, char* argv[]) {
    SimOptions options;
    QStringList args;
    for (int i = 0; i < argc; ++i) args << decodedname(argv[i]);
    if (const std::optional<int> status = readoptions(args, options)) return *status;
    const Fd ending = endingsignals();
    if (!ending.valid()) {
        say(QStringLiteral("cannot take the ending signals through a descriptor: %1")
                .arg(syserror()));
        return 1;
    }
    if (!loadtable(options)) return 1;
    Terminal terminal;
    if (!terminal.open()) {
        say(QStringLiteral("cannot open a pseudo-terminal: %1").arg(syserror()));
        return 1;
    }
    // Watching before anyone can know the terminal's name: no opening is missed.
    Listeners listeners;
    if (!listeners.watch(terminal.slavepath()))
        say(QStringLiteral("cannot watch %1 for programs opening it (%2): sending all the time")
                .arg(terminal.slavepath(), syserror()));
    PortLink link;
    if (options.link && !makelink(options.port, terminal, link)) return 1;
    announce(options, terminal, link);
    const int status = Loop(options, terminal, listeners, ending).run();
    // Clean up: hang up whoever has the line, then take the link away.
    terminal.close();
    link.remove();
    return status;
}
