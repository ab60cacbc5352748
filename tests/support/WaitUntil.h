// Waiting in widget tests for something that comes from a worker or the window system.
#pragma once

#include <QDeadlineTimer>
#include <QTest>
#include <chrono>

namespace tessaly::testing {

// Runs the event loop until `ready` answers true or `cap` has passed, and says whether it
// did. Unlike Qt Test's QTRY_ macros this does not depend on running under QTest::qExec:
// inside GoogleTest those return from the test function without reporting their failure.
template <typename Ready>
bool WaitUntil(Ready ready, std::chrono::milliseconds cap = std::chrono::seconds(30)) {
    QDeadlineTimer deadline(cap);
    while (!ready()) {
        if (deadline.hasExpired())
            return ready();
        QTest::qWait(5);
    }
    return true;
}

} // namespace tessaly::testing
