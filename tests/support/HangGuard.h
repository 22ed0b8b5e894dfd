#pragma once

#include <QTest>

// On a loaded machine a condition a test waits for can come many times later
// than on an idle one. The tests wait for their conditions with this bound,
// which only keeps a fault from hanging them; QTRY_VERIFY and QTRY_COMPARE
// use it too, in place of their five seconds.
namespace zelvar::test {
inline constexpr int kHangGuardMs = 60000;
}  // namespace zelvar::test

#undef QTRY_VERIFY
#define QTRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, zelvar::test::kHangGuardMs)
#undef QTRY_COMPARE
#define QTRY_COMPARE(expr, expected) \
    QTRY_COMPARE_WITH_TIMEOUT(expr, expected, zelvar::test::kHangGuardMs)
