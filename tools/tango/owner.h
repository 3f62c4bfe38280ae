// SPDX-License-Identifier: MIT
#pragma once
// The thread that owns every valve's line. Tango serves each request on a
// thread of its own; such a thread never touches a line, it hands the work to
// this thread's Qt event loop and waits for it, with a bound, so a busy line
// can never hold a client past its time-out. Events are pushed from here too:
// the loop runs as an omniORB thread.
#include <QObject>
#include <QThread>
#include <functional>
#include <optional>

#include "valve.h"

namespace gaspuff::tango {

class Owner : public QThread {
  public:
    Owner();
    ~Owner() override;
    static Owner& instance();

    // Runs fn on this thread (at once when called from it) and waits at most
    // ms for it: false when it had not run by then (it still will). fn holds
    // what it needs by value.
    bool call(std::function<void()> fn, int ms);
    // Starts work here, which calls its Finish once, now or later; waits at
    // most ms for that. Empty when the bound passed first.
    std::optional<Outcome> await(std::function<void(Valve::Finish)> work, int ms);

  protected:
    void run() override;

  private:
    QObject context_;  // lives on this thread: what is posted runs here
};

}  // namespace gaspuff::tango
