// The trend model: frames, gaps, the day's limit and the thinning for the plot.
#include <gtest/gtest.h>

#include <cmath>

#include "core/Trend.hpp"

namespace nuv::test {
namespace {

const float kGap = std::nanf("");

std::vector<double> Values(const std::vector<TrendPoint>& points) {
    std::vector<double> values;
    for (const TrendPoint& point : points) values.push_back(point.value);
    return values;
}

TEST(TrendTest, SeriesThatMissAFrameHaveAGapThere) {
    TrendModel model;
    model.Add(1000, {{"a", 1.0F}});
    model.Add(2000, {{"a", 2.0F}, {"b", 5.0F}});
    model.Add(3000, {{"b", 6.0F}});
    model.Break(4000);
    model.Add(3500, {{"a", 3.0F}});  // earlier than the last frame: taken at its time
    EXPECT_EQ(model.FrameCount(), 5U);
    EXPECT_EQ(model.LastMs(), 4000);
    const auto a = model.Points("a");
    ASSERT_EQ(a.size(), 5U);
    EXPECT_EQ(a[0].value, 1.0);
    EXPECT_TRUE(std::isnan(a[2].value));
    EXPECT_TRUE(std::isnan(a[3].value));
    EXPECT_EQ(a[4].value, 3.0);
    // A series starts at its first value.
    EXPECT_EQ(model.Points("b").size(), 4U);
    EXPECT_EQ(model.Points("b")[0].ms, 2000);
    EXPECT_TRUE(model.Points("none").empty());
}

TEST(TrendTest, ADayIsKeptAndNoMore) {
    TrendModel model;
    // One frame every 0.5 s: the count limit binds before the span.
    for (int i = 0; i < 200'000; ++i) model.Add(i * 500LL, {{"a", 1.0F}});
    EXPECT_EQ(model.FrameCount(), TrendModel::kMaxFrames);
    EXPECT_EQ(model.Points("a").size(), TrendModel::kMaxFrames);
    // One frame every 10 s: the span binds.
    TrendModel sparse;
    for (int i = 0; i < 20'000; ++i) sparse.Add(i * 10'000LL, {{"a", 1.0F}});
    EXPECT_EQ(sparse.LastMs() - sparse.FirstMs(), TrendModel::kSpanMs);
    EXPECT_EQ(sparse.FrameCount(), 8641U);
    // A series whose values all fell out of the day is gone.
    sparse.Add(sparse.LastMs() + TrendModel::kSpanMs + 1, {{"b", 2.0F}});
    EXPECT_FALSE(sparse.Has("a"));
    EXPECT_EQ(sparse.SeriesNames(), std::vector<std::string>{"b"});
}

TEST(TrendTest, ThinningKeepsExtremesAndGapsInTimeOrder) {
    TrendModel model;
    // 100 frames in 2 buckets of 50: bucket one with a gap in the middle.
    for (int i = 0; i < 100; ++i) {
        float value = static_cast<float>(i % 10);
        if (i == 25) value = kGap;
        if (i == 70) value = -3.0F;
        model.Add(i * 1000LL, {{"a", value}});
    }
    const auto thin = model.Thinned("a", 0, 99'000, 2);
    const auto values = Values(thin);
    ASSERT_EQ(values.size(), 5U);
    // Bucket one: low 0 at 0 s, the gap at 25 s, high 9 at 9 s; in time order.
    EXPECT_EQ(thin[0].ms, 0);
    EXPECT_EQ(thin[1].ms, 9000);
    EXPECT_EQ(values[1], 9.0);
    EXPECT_EQ(thin[2].ms, 25'000);
    EXPECT_TRUE(std::isnan(values[2]));
    // Bucket two: high 9 at 59 s, low -3 at 70 s.
    EXPECT_EQ(thin[3].ms, 59'000);
    EXPECT_EQ(values[4], -3.0);
    // A narrow window is not thinned at all.
    EXPECT_EQ(model.Thinned("a", 10'000, 19'000, 100).size(), 10U);
}

}  // namespace
}  // namespace nuv::test
