// The soak's comparison of the tool's wrapping counters with the events it injected.
#include <gtest/gtest.h>

#include "bench/Measures.hpp"

namespace nuv::test {
namespace {

TEST(SoakCounts, ASixteenBitCounterIsComparedModulo65536) {
    using nuv::bench::WrappedCountMatches;
    EXPECT_TRUE(WrappedCountMatches(1000, 1000, 16));
    EXPECT_FALSE(WrappedCountMatches(1000, 999, 16));
    // 80,000 readings: the counter wrapped once and shows 14,464.
    EXPECT_TRUE(WrappedCountMatches(80000, 14464, 16));
    EXPECT_FALSE(WrappedCountMatches(80000, 80000 - 1, 16));
    EXPECT_TRUE(WrappedCountMatches(65535, 65535, 16));
    EXPECT_TRUE(WrappedCountMatches(65536, 0, 16));
    EXPECT_TRUE(WrappedCountMatches(131072 + 5, 5, 16));
    // A count the counter cannot hold is no match, whatever its remainder.
    EXPECT_FALSE(WrappedCountMatches(5, 65536 + 5, 16));
    EXPECT_FALSE(WrappedCountMatches(-1, 65535, 16));
}

}  // namespace
}  // namespace nuv::test
