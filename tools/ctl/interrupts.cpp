#include "interrupts.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <utility>

namespace gaspuff::ctl {
namespace {

int pipefds[2] = {-1, -1};

void onsignal(int signo) {
    const int saved = errno;
    const char byte = static_cast<char>(signo);
    [[maybe_unused]] const ssize_t n = ::write(pipefds[1], &byte, 1);
    errno = saved;
}

}  // namespace

Interrupts::Interrupts(QObject* parent) : QObject(parent) {
    if (::pipe2(pipefds, O_CLOEXEC | O_NONBLOCK) != 0) return;  // the signals keep their default
    notifier_ = new QSocketNotifier(pipefds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &Interrupts::onready);
    struct sigaction action {};
    action.sa_handler = onsignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : {SIGINT, SIGTERM}) ::sigaction(s, &action, nullptr);
    // A reader that goes away (get | head) is a failed write, not the end:
    // the port is still closed in order.
    ::signal(SIGPIPE, SIG_IGN);
}

Interrupts::~Interrupts() {
    if (!notifier_) return;
    for (int s : {SIGINT, SIGTERM}) ::signal(s, SIG_DFL);
    for (int& fd : pipefds) ::close(std::exchange(fd, -1));
}

void Interrupts::onready() {
    char byte = 0;
    while (::read(pipefds[0], &byte, 1) == 1)
        if (signal_ == 0) signal_ = byte;
    if (signal_ != 0) emit interrupted(signal_);
}

}  // namespace gaspuff::ctl
