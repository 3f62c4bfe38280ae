// SPDX-License-Identifier: MIT
#pragma once
// The simulator's devices: descriptors that close themselves, the raw
// pseudo-terminal it sits behind, and the watch on who has it open.
#include <sys/inotify.h>
#include <unistd.h>

#include <QString>
#include <cerrno>
#include <utility>

namespace gaspuff::sim {

// One open file descriptor, closed when its owner goes.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    ~Fd() { reset(); }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Keeps errno: a failure being reported is not overwritten by the close.
    void reset() {
        if (fd_ < 0) return;
        const int saved = errno;
        ::close(std::exchange(fd_, -1));
        errno = saved;
    }

  private:
    int fd_ = -1;
};

// The simulator's end of the line: the master side of a raw pseudo-terminal.
// The slave side is held open here as well, for the simulator's whole life:
// a program opening and closing it never hangs the line up, and the slave's
// descriptor names the terminal in /proc only while the simulator lives.
class Terminal {
  public:
    bool open();
    // Closing the master hangs up every program that has the slave open.
    void close() {
        master_.reset();
        slave_.reset();
    }
    // The last program let go of the line: drop what it left unread, and
    // lift the exclusive use it may have taken, as the last close of a real
    // port does.
    void released() const;

    int master() const { return master_.get(); }
    // The device, e.g. /dev/pts/3.
    QString slavepath() const { return slavepath_; }
    // The device through this process's own descriptor of it,
    // /proc/<pid>/fd/<n>: it resolves to the device while the simulator lives
    // and to nothing once it has died, however it died, so a link to it never
    // leads to a terminal that later takes the same number. (Only a process
    // that reuses the pid and holds that descriptor number could be reached,
    // and pids come round far more slowly than terminal numbers.)
    QString livingpath() const;

  private:
    Fd master_;
    Fd slave_;
    QString slavepath_;
};

// Counts the programs that have the terminal open, from the open and close
// events on its device node.
class Listeners {
  public:
    bool watch(const QString& device);
    int fd() const { return fd_.get(); }
    // Takes the waiting events; onchange(true) when the first program opened
    // the terminal, onchange(false) when the last one closed it.
    template <typename F>
    void take(F&& onchange) {
        alignas(inotify_event) char buf[4096];
        for (ssize_t n; (n = ::read(fd_.get(), buf, sizeof buf)) > 0;) {
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
    Fd fd_;
    int count_ = 0;
};

}  // namespace gaspuff::sim
