// gaspuff-sim: the simulated valve controller behind a raw pseudo-terminal.
// This file owns the devices, the signals and the clock; what the controller
// says and when lives in Controller and Transmitter.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "controller.h"
#include "link/comname.h"
#include "options.h"
#include "portlink.h"
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

// The simulator's end of the line: the master side of a raw pseudo-terminal.
// The slave side is held open here as well, so that a program opening and
// closing it never hangs the line up.
class Terminal {
  public:
    ~Terminal() { close(); }
    bool open() {
        termios raw{};
        ::cfmakeraw(&raw);
        char name[256] = {};
        if (::openpty(&master, &slave, name, &raw, nullptr) != 0) return false;
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        ::fcntl(slave, F_SETFD, FD_CLOEXEC);
        slavepath = QString::fromLocal8Bit(name);
        return true;
    }
    // Closing the master hangs up every program that has the slave open.
    void close() {
        if (master >= 0) ::close(master);
        if (slave >= 0) ::close(slave);
        master = slave = -1;
    }
    // The last program let go of the line: drop what it left unread, and
    // lift the exclusive use it may have taken, as the last close of a real
    // port does.
    void released() const {
        ::tcflush(slave, TCIFLUSH);
        ::ioctl(slave, TIOCNXCL);
    }

    int master = -1;
    int slave = -1;
    QString slavepath;
};

// Counts the programs that have the terminal open, from the open and close
// events on its device node.
class Listeners {
  public:
    ~Listeners() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool watch(const QString& device) {
        fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ < 0) return false;
        if (::inotify_add_watch(fd_, device.toLocal8Bit().constData(), IN_OPEN | IN_CLOSE) < 0) {
            ::close(fd_);
            fd_ = -1;
            return false;
        }
        return true;
    }
    int fd() const { return fd_; }
    // Takes the waiting events; onchange(true) when the first program opened
    // the terminal, onchange(false) when the last one closed it.
    template <typename F>
    void take(F&& onchange) {
        alignas(inotify_event) char buf[4096];
        for (ssize_t n; (n = ::read(fd_, buf, sizeof buf)) > 0;) {
            for (const char* p = buf; p < buf + n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(p);
                if (e->mask & IN_OPEN) {
                    if (count_++ == 0) onchange(true);
                } else if (e->mask & IN_CLOSE) {
                    if (count_ > 0 && --count_ == 0) onchange(false);
                }
                p += sizeof(inotify_event) + e->len;
            }
        }
    }

  private:
    int fd_ = -1;
    int count_ = 0;
};

qint64 nanosfromms(qint64 ms) {
    return ms >= kNever / kMillion ? kNever : ms * kMillion;
}

}  // namespace

int main(int argc, char* argv[]) {
    QStringList args;
    for (int i = 1; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
    const ParsedOptions parsed = parseoptions(args);
    if (parsed.kind == ParsedOptions::Kind::Help) {
        std::fputs(helptext().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parsed.kind == ParsedOptions::Kind::Bad) {
        say(parsed.error);
        std::fputs("Try 'gaspuff-sim --help'.\n", stderr);
        return 2;
    }
    SimOptions options = parsed.options;

    // The signals that end the simulator come through a descriptor, so that
    // the link is removed by the loop rather than inside a handler.
    sigset_t ending;
    sigemptyset(&ending);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ending, s);
    ::sigprocmask(SIG_BLOCK, &ending, nullptr);
    const int endingfd = ::signalfd(-1, &ending, SFD_NONBLOCK | SFD_CLOEXEC);
    ::signal(SIGPIPE, SIG_IGN);

    options.controller.table = demotable();
    if (!options.tablefile.isEmpty()) {
        Waveform table{};
        if (const QString error = loadwaveform(options.tablefile, table); !error.isEmpty()) {
            say(error);
            return 1;
        }
        options.controller.table = table;
    }

    Terminal terminal;
    if (!terminal.open()) {
        say(QStringLiteral("cannot open a pseudo-terminal: %1").arg(syserror()));
        return 1;
    }
    // Watching before anyone can know the terminal's name: no opening is missed.
    Listeners listeners;
    const bool watching = listeners.watch(terminal.slavepath);
    if (!watching)
        say(QStringLiteral("cannot watch %1 for programs opening it (%2): sending all the time")
                .arg(terminal.slavepath, syserror()));
    PortLink link;
    if (options.link) {
        switch (link.create(portsfolder(), options.port, terminal.slavepath)) {
            case PortLink::Outcome::Created:
                break;
            case PortLink::Outcome::ReplacedDangling:
                say(QStringLiteral("replaced the dangling link %1").arg(link.path()));
                break;
            case PortLink::Outcome::Occupied:
            case PortLink::Outcome::Failed:
                say(link.problem());
                return 1;
        }
    }
    std::printf("%s\n", terminal.slavepath.toLocal8Bit().constData());
    std::fflush(stdout);
    say(QStringLiteral("controller on %1%2, %3; SIGINT or SIGTERM ends it")
            .arg(terminal.slavepath,
                 options.link ? QStringLiteral(" as Com %1 (%2)").arg(options.port).arg(link.path())
                              : QString(),
                 options.fast ? QStringLiteral("unpaced")
                              : QStringLiteral("paced as at 115200 baud")));

    Controller controller(options.controller);
    if (!options.dumpfile.isEmpty()) {
        controller.onloaded = [&](const Waveform& table) {
            if (const QString error = savewaveform(options.dumpfile, table); !error.isEmpty())
                say(error);
        };
    }
    Transmitter transmitter(options.fast ? 0 : kLineBytesPerSecond,
                            [&](const char* data, qint64 size) -> qint64 {
                                const ssize_t n = ::write(terminal.master, data, size);
                                if (n >= 0) return n;
                                if (errno == EAGAIN || errno == EINTR) return 0;
                                return -1;
                            });
    // Until a program opens the terminal, what the controller says is lost.
    transmitter.setlistening(!watching);

    const qint64 start = monotonic();
    const qint64 unplugat = options.unplugafter > 0
                                ? std::llround(options.unplugafter * Pacer::kNanosPerSecond)
                                : kNever;
    int status = 0;
    for (;;) {
        qint64 now = monotonic() - start;
        controller.advance(now / kMillion);
        transmitter.pump(controller, now);

        qint64 wake = std::min(nanosfromms(controller.nextevent(now / kMillion)), unplugat);
        if (transmitter.pending() > 0 && !transmitter.blocked())
            wake = std::min(wake, transmitter.wakeat());
        pollfd fds[3] = {
            {terminal.master, static_cast<short>(POLLIN | (transmitter.blocked() ? POLLOUT : 0)),
             0},
            {endingfd, POLLIN, 0},
            {listeners.fd(), POLLIN, 0},
        };
        timespec timeout{};
        timespec* wait = nullptr;
        if (wake != kNever) {
            const qint64 left = std::max<qint64>(0, wake - now);
            timeout.tv_sec = left / Pacer::kNanosPerSecond;
            timeout.tv_nsec = left % Pacer::kNanosPerSecond;
            wait = &timeout;
        }
        if (::ppoll(fds, listeners.fd() >= 0 ? 3 : 2, wait, nullptr) < 0 && errno != EINTR) {
            say(QStringLiteral("poll failed: %1").arg(syserror()));
            status = 1;
            break;
        }
        now = monotonic() - start;

        if (fds[1].revents & POLLIN) {
            signalfd_siginfo info{};
            if (::read(endingfd, &info, sizeof info) == sizeof info) {
                say(QStringLiteral("ended by %1")
                        .arg(QString::fromLocal8Bit(strsignal(info.ssi_signo))));
                break;
            }
        }
        // Input before the open and close events: a program that wrote a
        // command and went away has its command carried out first.
        if (fds[0].revents & POLLIN) {
            char buf[4096];
            for (ssize_t n; (n = ::read(terminal.master, buf, sizeof buf)) > 0;)
                controller.receive(QByteArrayView(buf, n), now / kMillion);
        }
        if (fds[0].revents & (POLLERR | POLLNVAL)) {
            say(QStringLiteral("the terminal failed"));
            status = 1;
            break;
        }
        if (listeners.fd() >= 0 && (fds[2].revents & POLLIN)) {
            listeners.take([&](bool up) {
                transmitter.setlistening(up);
                if (up)
                    controller.linkup(now / kMillion);
                else
                    terminal.released();
            });
        }
        if (now >= unplugat) {
            say(QStringLiteral("unplugged after %1 s").arg(options.unplugafter));
            break;
        }
    }
    terminal.close();
    link.remove();
    return status;
}
