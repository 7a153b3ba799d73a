#include "measure/Trend.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace nuv {

void TrendModel::Add(std::int64_t ms, const std::vector<std::pair<std::string, float>>& values) {
    if (!times_.empty()) ms = std::max(ms, times_.back());
    const std::uint64_t frame = firstFrame_ + times_.size();
    times_.push_back(ms);
    const float gap = std::numeric_limits<float>::quiet_NaN();
    for (auto& [name, series] : series_) series.values.push_back(gap);
    for (const auto& [name, value] : values) {
        auto [it, added] = series_.try_emplace(name);
        Series& series = it->second;
        if (added) {
            series.first = frame;
            series.values.push_back(value);
        } else {
            series.values.back() = value;
        }
    }
    DropOldFrames();
    ++revision_;
}

void TrendModel::DropOldFrames() {
    while (!times_.empty() &&
           (times_.size() > kMaxFrames || times_.back() - times_.front() > kSpanMs)) {
        times_.pop_front();
        ++firstFrame_;
    }
    for (auto it = series_.begin(); it != series_.end();) {
        Series& series = it->second;
        // Frames out of the day go, and so do gaps that no value precedes any more: a series
        // of gaps only is gone.
        while (!series.values.empty() &&
               (series.first < firstFrame_ || std::isnan(series.values.front()))) {
            series.values.pop_front();
            ++series.first;
        }
        it = series.values.empty() ? series_.erase(it) : std::next(it);
    }
}

void TrendModel::Clear() {
    firstFrame_ += times_.size();
    times_.clear();
    series_.clear();
    ++revision_;
}

std::vector<std::string> TrendModel::SeriesNames() const {
    std::vector<std::string> names;
    names.reserve(series_.size());
    for (const auto& entry : series_) names.push_back(entry.first);
    return names;
}

std::vector<TrendPoint> TrendModel::Points(const std::string& name) const {
    return Thinned(name, std::numeric_limits<std::int64_t>::min(),
                   std::numeric_limits<std::int64_t>::max(), 0);
}

std::vector<TrendPoint> TrendModel::Thinned(const std::string& name, std::int64_t fromMs,
                                            std::int64_t toMs, std::size_t buckets) const {
    std::vector<TrendPoint> points;
    const auto found = series_.find(name);
    if (found == series_.end()) return points;
    const Series& series = found->second;
    const std::size_t offset = static_cast<std::size_t>(series.first - firstFrame_);
    const auto begin = std::lower_bound(times_.begin() + static_cast<std::ptrdiff_t>(offset),
                                        times_.end(), fromMs);
    const auto end = std::upper_bound(begin, times_.end(), toMs);
    const auto from = static_cast<std::size_t>(begin - times_.begin());
    const auto to = static_cast<std::size_t>(end - times_.begin());
    auto at = [&](std::size_t frame) {
        return TrendPoint{times_[frame], static_cast<double>(series.values[frame - offset])};
    };
    if (buckets == 0 || to - from <= 4 * buckets) {
        points.reserve(to - from);
        for (std::size_t frame = from; frame < to; ++frame) points.push_back(at(frame));
        return points;
    }
    // Buckets of equal time; each gives its lowest and highest value in time order, with a gap
    // before, between or after them where the bucket holds gaps.
    const std::int64_t first = times_[from];
    const std::int64_t span = std::max<std::int64_t>(1, times_[to - 1] - first + 1);
    std::size_t frame = from;
    points.reserve(4 * buckets);
    for (std::size_t bucket = 0; bucket < buckets && frame < to; ++bucket) {
        const std::int64_t limit =
            first + static_cast<std::int64_t>((static_cast<double>(span) * (bucket + 1)) /
                                              static_cast<double>(buckets));
        std::size_t low = to;
        std::size_t high = to;
        std::size_t firstGap = to;
        std::size_t lastGap = to;
        for (; frame < to && (times_[frame] < limit || bucket + 1 == buckets); ++frame) {
            const float value = series.values[frame - offset];
            if (std::isnan(value)) {
                if (firstGap == to) firstGap = frame;
                lastGap = frame;
                continue;
            }
            if (low == to || value < series.values[low - offset]) low = frame;
            if (high == to || value > series.values[high - offset]) high = frame;
        }
        std::vector<std::size_t> kept;
        for (std::size_t index : {low, high, firstGap, lastGap}) {
            if (index != to && std::find(kept.begin(), kept.end(), index) == kept.end()) {
                kept.push_back(index);
            }
        }
        std::sort(kept.begin(), kept.end());
        for (std::size_t index : kept) points.push_back(at(index));
    }
    return points;
}

}  // namespace nuv
