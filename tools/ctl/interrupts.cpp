// SPDX-License-Identifier: MIT
#include "interrupts.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <utility>

namespace gaspuff::ctl {
namespace {

int pipefds[2] = {-1, -1};
volatile std::sig_atomic_t caught = 0;

void onsignal(int signo) {
    const int saved = errno;
    if (caught == 0) {
        caught = signo;
        ::alarm(Interrupts::kOrderlyEndS);
    }
    const char byte = static_cast<char>(signo);
    [[maybe_unused]] const ssize_t n = ::write(pipefds[1], &byte, 1);
    errno = saved;
}

// The orderly end did not come in time.
void onalarm(int) {
    ::_exit(128 + caught);
}

}  // namespace

Interrupts::Interrupts(QObject* parent) : QObject(parent) {
    if (::pipe2(pipefds, O_CLOEXEC | O_NONBLOCK) != 0) return;  // the signals keep their default
    notifier_ = new QSocketNotifier(pipefds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &Interrupts::onready);
    struct sigaction action {};
    action.sa_handler = onalarm;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGALRM, &action, nullptr);
    action.sa_handler = onsignal;
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

int Interrupts::signal() const {
    return caught;
}

void Interrupts::onready() {
    char byte = 0;
    while (::read(pipefds[0], &byte, 1) == 1) {
    }
    if (caught != 0) emit interrupted(caught);
}

}  // namespace gaspuff::ctl
