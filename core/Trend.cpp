#include "core/Trend.hpp"

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
    // before, between or after them where the bucket holds gaps. One pass with iterators: the
    // deques are walked, not indexed.
    const std::int64_t first = times_[from];
    const std::int64_t span = std::max<std::int64_t>(1, times_[to - 1] - first + 1);
    points.reserve(4 * buckets);
    struct Kept {
        std::int64_t ms;
        float value;
    };
    auto flush = [&points](std::initializer_list<const Kept*> kept) {
        const Kept* in[4];
        std::size_t n = 0;
        for (const Kept* k : kept) {
            if (k == nullptr) continue;
            bool seen = false;
            for (std::size_t i = 0; i < n; ++i) seen |= in[i]->ms == k->ms;
            if (!seen) in[n++] = k;
        }
        std::sort(in, in + n, [](const Kept* a, const Kept* b) { return a->ms < b->ms; });
        for (std::size_t i = 0; i < n; ++i) {
            points.push_back(TrendPoint{in[i]->ms, static_cast<double>(in[i]->value)});
        }
    };
    auto time = times_.begin() + static_cast<std::ptrdiff_t>(from);
    auto value = series.values.begin() + static_cast<std::ptrdiff_t>(from - offset);
    const auto timeEnd = times_.begin() + static_cast<std::ptrdiff_t>(to);
    std::size_t bucket = 0;
    Kept low{};
    Kept high{};
    Kept firstGap{};
    Kept lastGap{};
    bool hasValue = false;
    bool hasGap = false;
    const auto total = static_cast<double>(buckets) / static_cast<double>(span);
    for (; time != timeEnd; ++time, ++value) {
        const auto at = static_cast<std::size_t>(static_cast<double>(*time - first) * total);
        if (at != bucket && (hasValue || hasGap)) {
            flush({hasValue ? &low : nullptr, hasValue ? &high : nullptr,
                   hasGap ? &firstGap : nullptr, hasGap ? &lastGap : nullptr});
            hasValue = false;
            hasGap = false;
        }
        bucket = at;
        const float v = *value;
        if (std::isnan(v)) {
            if (!hasGap) firstGap = {*time, v};
            lastGap = {*time, v};
            hasGap = true;
            continue;
        }
        if (!hasValue || v < low.value) low = {*time, v};
        if (!hasValue || v > high.value) high = {*time, v};
        hasValue = true;
    }
    if (hasValue || hasGap) {
        flush({hasValue ? &low : nullptr, hasValue ? &high : nullptr, hasGap ? &firstGap : nullptr,
               hasGap ? &lastGap : nullptr});
    }
    return points;
}

}  // namespace nuv
