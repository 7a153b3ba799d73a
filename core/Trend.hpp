#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace nuv {

// A point of a trend: wall time in milliseconds since 1970 (UTC) and degrees; a value that is
// not a number is a gap (an error value, a failed reading).
struct TrendPoint {
    std::int64_t ms = 0;
    double value = 0;
};

// Temperatures over time for the trend plot: frames of values, one frame per reading, each
// value in a named series ("c3s2" for channel 3 level 2, "module", or a sensor's serial). It
// keeps at most a day of frames, and at most one frame a second over that day: older frames
// are dropped as new ones come. Values are kept as floats beside one shared time line, so that a
// day of 161 series at one reading a second stays near 56 MB.
class TrendModel {
  public:
    static constexpr std::int64_t kSpanMs = 24LL * 3600 * 1000;
    static constexpr std::size_t kMaxFrames = 24 * 3600;

    // A frame at `ms`: the values by series; a series that has no value in it gets a gap there.
    // A frame earlier than the last one is taken as at the last one's time.
    void Add(std::int64_t ms, const std::vector<std::pair<std::string, float>>& values);
    // A frame of gaps only: nothing is drawn across it (a measurement that stopped and started).
    void Break(std::int64_t ms) { Add(ms, {}); }
    void Clear();

    std::size_t FrameCount() const { return times_.size(); }
    std::int64_t FirstMs() const { return times_.empty() ? 0 : times_.front(); }
    std::int64_t LastMs() const { return times_.empty() ? 0 : times_.back(); }
    // Every series that has had a value, by name.
    std::vector<std::string> SeriesNames() const;
    bool Has(const std::string& name) const { return series_.count(name) != 0; }
    // Every point of a series, gaps included.
    std::vector<TrendPoint> Points(const std::string& name) const;
    // The points of a series between two times, thinned to at most about four per bucket for a
    // plot `buckets` pixels wide: the lowest and the highest value of each bucket in their order,
    // and a gap where the bucket holds one, so that no error disappears in the thinning.
    std::vector<TrendPoint> Thinned(const std::string& name, std::int64_t fromMs, std::int64_t toMs,
                                    std::size_t buckets) const;
    // Counts every change, for views that redraw only when something changed.
    std::size_t Revision() const { return revision_; }

  private:
    struct Series {
        std::uint64_t first = 0;  // the frame of the first value
        std::deque<float> values;
    };
    void DropOldFrames();

    std::deque<std::int64_t> times_;
    std::uint64_t firstFrame_ = 0;  // the number of the oldest frame kept
    std::map<std::string, Series> series_;
    std::size_t revision_ = 0;
};

}  // namespace nuv
