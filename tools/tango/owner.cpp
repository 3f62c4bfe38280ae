// SPDX-License-Identifier: MIT
#include "owner.h"

#include <omnithread.h>

#include <chrono>
#include <future>

namespace gaspuff::tango {
namespace {
Owner* the = nullptr;
}

Owner::Owner() {
    context_.moveToThread(this);
    the = this;
}

Owner::~Owner() {
    if (isRunning()) call([] {}, 1000);  // what is posted before the end still runs
    quit();
    wait();
    the = nullptr;
}

Owner& Owner::instance() {
    return *the;
}

void Owner::run() {
    // Pushing an event needs a thread omniORB knows.
    omni_thread::ensure_self self;
    exec();
}

bool Owner::call(std::function<void()> fn, int ms) {
    if (QThread::currentThread() == this) {
        fn();
        return true;
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> ran = done->get_future();
    QMetaObject::invokeMethod(&context_, [fn = std::move(fn), done] {
        fn();
        done->set_value();
    });
    return ran.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready;
}

std::optional<Outcome> Owner::await(std::function<void(Valve::Finish)> work, int ms) {
    auto done = std::make_shared<std::promise<Outcome>>();
    std::future<Outcome> finished = done->get_future();
    QMetaObject::invokeMethod(&context_, [work = std::move(work), done] {
        work([done](const Outcome& o) { done->set_value(o); });
    });
    if (finished.wait_for(std::chrono::milliseconds(ms)) != std::future_status::ready) return {};
    try {
        return finished.get();
    } catch (const std::future_error&) {  // the valve went before it finished
        return Outcome{QStringLiteral("Closed"), QStringLiteral("The device was shut down")};
    }
}

}  // namespace gaspuff::tango
