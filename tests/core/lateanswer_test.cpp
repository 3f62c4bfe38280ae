// When "get" may go after a read-back gave up on its answer.
#include "protocol/lateanswer.h"

#include <gtest/gtest.h>

using namespace gaspuff;

TEST(LateAnswer, GetWaitsUntilTheLineCarriedNoPointForTheDeadlineSinceAnAbandonedAnswer) {
    // Abandoned at, last point at, now: how long "get" must still wait.
    const std::tuple<qint64, qint64, qint64, qint64> cases[] = {
        {-1, -1, 5000, 0},         // none on record: no cost
        {-1, 4900, 5000, 0},       // numbers without an abandoned answer: no cost either
        {5000, -1, 5000, 2000},    // just given up
        {5000, -1, 7000, 0},       // quiet for the deadline since
        {5000, 4500, 6000, 1000},  // its own points before count for nothing
        {5000, 6000, 6500, 1500},  // a late point: quiet from then on
        {5000, 8000, 9000, 1000},  // the rest came after a 3 s stall
        {9000, -1, 5000, 2000},    // a clock set back: as if just now
    };
    for (const auto& [abandoned, lastpoint, now, wait] : cases)
        EXPECT_EQ(getdelay(abandoned, lastpoint, now), wait)
            << abandoned << " " << lastpoint << " " << now;
}

TEST(LateAnswer, AnotherProgramOnTheSameDeviceKnowsOfTheAbandonedAnswer) {
    const QString device = "/dev/pts/1000", other = "/dev/pts/1001";
    ASSERT_FALSE(LateAnswer::markerpath(device).isEmpty());
    LateAnswer first, second, alone;
    first.abandoned(device);
    EXPECT_GT(second.delay(device), 0);
    EXPECT_LE(second.delay(device), kReadBackMs);
    EXPECT_EQ(second.delay(other), 0);
    alone.abandoned({});  // no device known: this program only
    EXPECT_GT(alone.delay({}), 0);
    EXPECT_EQ(second.delay({}), 0);
}
