#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <thread>

namespace zelvar::test {

// A test whose code runs on a window thread with an event loop, as the
// serial port's hand-offs, the strip's timers and the session's hand-over need.
class EventLoopTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "zelvar_tests";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
    }

    // Runs the event loop until `done` or a bound that only keeps a fault
    // from hanging the test (a loaded machine can be many times slower);
    // false at the bound.
    static bool spinUntil(const std::function<bool()>& done,
                          std::chrono::milliseconds limit = std::chrono::milliseconds(60000)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    static void spinFor(std::chrono::milliseconds span) {
        spinUntil([] { return false; }, span);
    }
};

}  // namespace zelvar::test
