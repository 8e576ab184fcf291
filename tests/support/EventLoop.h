#pragma once

#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>

namespace pim::test {

// Runs the event loop until `done` holds or `limit` has passed; false on time-out.
inline bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(2);
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

// Runs the event loop for `span`, whatever happens.
inline void RunFor(std::chrono::milliseconds span) {
    RunUntil([] { return false; }, span);
}

} // namespace pim::test
