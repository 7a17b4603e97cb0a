#include "display/seriesdata.h"

#include "platform/numtext.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace display {

namespace {

} // namespace

// ---- UniformAxis -------------------------------------------------------------------------------

std::pair<std::int64_t, std::int64_t> UniformAxis::indicesWithin(double lo, double hi,
                                                                 std::int64_t count) const
{
    if (count <= 0 || !(lo <= hi))
        return {-1, -1};
    const double st = step();
    if (!(st > 0) || !std::isfinite(st)) {
        // Every point at the same x.
        const double x0 = x(0);
        return (x0 >= lo && x0 <= hi) ? std::pair<std::int64_t, std::int64_t>{0, count - 1}
                                      : std::pair<std::int64_t, std::int64_t>{-1, -1};
    }
    const auto clampIndex = [count](double v) -> std::int64_t {
        if (!(v > 0))
            return 0;
        if (v >= double(count - 1))
            return count - 1;
        return std::int64_t(v);
    };
    // The estimate from the step is off by a rounding at most; the exact x settles it.
    std::int64_t first = clampIndex(std::ceil(lo / st - double(firstIndex)));
    while (first > 0 && x(first - 1) >= lo)
        --first;
    while (first < count && x(first) < lo)
        ++first;
    std::int64_t last = clampIndex(std::floor(hi / st - double(firstIndex)));
    while (last < count - 1 && x(last + 1) <= hi)
        ++last;
    while (last >= 0 && x(last) > hi)
        --last;
    if (first >= count || last < 0 || first > last)
        return {-1, -1};
    return {first, last};
}

std::int64_t UniformAxis::nearestIndex(double xv, std::int64_t count) const
{
    const double st = step();
    if (count <= 0)
        return -1;
    if (!(st > 0) || !std::isfinite(st) || !std::isfinite(xv))
        return 0;
    const double v = std::round(xv / st - double(firstIndex));
    if (!(v > 0))
        return 0;
    if (v >= double(count - 1))
        return count - 1;
    return std::int64_t(v);
}

// ---- MinMaxEnvelope ----------------------------------------------------------------------------

void MinMaxEnvelope::start(std::int64_t count)
{
    count_ = count;
    done_ = 0;
    levels_.clear();
    if (count > 0)
        levels_.emplace_back(std::size_t((count + kBaseBucket - 1) / kBaseBucket));
}

void MinMaxEnvelope::addBuckets(const double* values, std::int64_t available)
{
    if (levels_.empty())
        return;
    computeBuckets(values, done_ * kBaseBucket, std::min(available, count_));
    bucketsDone(available);
}

void MinMaxEnvelope::computeBuckets(const double* values, std::int64_t lo, std::int64_t hi)
{
    if (levels_.empty())
        return;
    Pair* level0 = levels_[0].data();
    for (std::int64_t begin = lo; begin < hi; begin += kBaseBucket) {
        const std::int64_t end = std::min(begin + kBaseBucket, count_);
        if (end > hi)
            break;
        double low = values[begin];
        double high = low;
        for (std::int64_t i = begin + 1; i < end; ++i) {
            const double v = values[i];
            low = v < low ? v : low;
            high = v > high ? v : high;
        }
        level0[begin / kBaseBucket] = {low, high};
    }
}

void MinMaxEnvelope::bucketsDone(std::int64_t available)
{
    if (levels_.empty())
        return;
    const auto buckets = std::int64_t(levels_[0].size());
    done_ = available >= count_ ? buckets : std::min(buckets, available / kBaseBucket);
}

void MinMaxEnvelope::finish()
{
    if (levels_.empty())
        return;
    while (levels_.back().size() > 1) {
        const auto& below = levels_.back();
        std::vector<Pair> up((below.size() + kLevelFactor - 1) / kLevelFactor);
        for (std::size_t b = 0; b < up.size(); ++b) {
            const std::size_t begin = b * kLevelFactor;
            const std::size_t end = std::min(begin + kLevelFactor, below.size());
            Pair p = below[begin];
            for (std::size_t i = begin + 1; i < end; ++i) {
                p.lo = std::min(p.lo, below[i].lo);
                p.hi = std::max(p.hi, below[i].hi);
            }
            up[b] = p;
        }
        levels_.push_back(std::move(up));
    }
}

ValueRange MinMaxEnvelope::range(const double* values, std::int64_t lo, std::int64_t hi) const
{
    ValueRange r;
    lo = std::max<std::int64_t>(lo, 0);
    hi = std::min(hi, count_);
    if (lo >= hi)
        return r;
    const bool complete = !levels_.empty() && done_ == std::int64_t(levels_[0].size());
    const int levels = complete ? int(levels_.size()) : 0;

    double low = values[lo];
    double high = low;
    const auto scanValues = [&](std::int64_t a, std::int64_t b) {
        for (std::int64_t i = a; i < b; ++i) {
            const double v = values[i];
            low = v < low ? v : low;
            high = v > high ? v : high;
        }
    };
    const auto scanPairs = [&](int level, std::int64_t a, std::int64_t b) {
        const Pair* p = levels_[std::size_t(level)].data();
        for (std::int64_t i = a; i < b; ++i) {
            low = p[i].lo < low ? p[i].lo : low;
            high = p[i].hi > high ? p[i].hi : high;
        }
    };
    // From the values up through the levels: the unaligned ends at each level are read there,
    // the aligned middle one level up. A range that reaches the end of the data may take the last
    // (partial) bucket whole.
    std::int64_t a = lo;
    std::int64_t b = hi;
    std::int64_t size = count_;
    for (int level = -1;; ++level) {
        const bool top = level + 1 >= levels;
        const std::int64_t factor = level < 0 ? kBaseBucket : kLevelFactor;
        const std::int64_t up = (a + factor - 1) / factor;
        const std::int64_t down = b == size ? (b + factor - 1) / factor : b / factor;
        const auto scan = [&](std::int64_t x, std::int64_t y) {
            if (level < 0)
                scanValues(x, y);
            else
                scanPairs(level, x, y);
        };
        if (top || up >= down) {
            scan(a, b);
            break;
        }
        scan(a, up * factor);
        scan(std::min(down * factor, b), b);
        a = up;
        b = down;
        size = std::int64_t(levels_[std::size_t(level + 1)].size());
    }
    r.include(low);
    r.include(high);
    return r;
}

ValueRange MinMaxEnvelope::coarseRange(const double* values, std::int64_t lo, std::int64_t hi,
                                       std::int64_t maxBucket) const
{
    const bool complete = !levels_.empty() && done_ == std::int64_t(levels_[0].size());
    if (!complete || maxBucket < kBaseBucket)
        return range(values, lo, hi);
    lo = std::max<std::int64_t>(lo, 0);
    hi = std::min(hi, count_);
    if (lo >= hi)
        return {};
    int level = 0;
    std::int64_t size = kBaseBucket;
    while (level + 1 < int(levels_.size()) && size * kLevelFactor <= maxBucket) {
        ++level;
        size *= kLevelFactor;
    }
    const Pair* p = levels_[std::size_t(level)].data();
    const std::int64_t last = (hi - 1) / size;
    double low = p[lo / size].lo;
    double high = p[lo / size].hi;
    for (std::int64_t b = lo / size + 1; b <= last; ++b) {
        low = p[b].lo < low ? p[b].lo : low;
        high = p[b].hi > high ? p[b].hi : high;
    }
    return {low, high};
}

std::uint64_t MinMaxEnvelope::bytes() const
{
    std::uint64_t b = 0;
    for (const auto& l : levels_)
        b += l.capacity() * sizeof(Pair);
    return b;
}

// ---- UniformSeries -----------------------------------------------------------------------------

void UniformSeries::allocate(std::int64_t count, UniformAxis axis)
{
    clear();
    axis_ = axis;
    if (count <= 0)
        return;
    // Not initialised: the build writes every value, and a first pass over a record of millions
    // of points only to zero them would cost as much as the writing itself.
    y_ = std::make_unique_for_overwrite<double[]>(std::size_t(count));
    count_ = count;
    envelope_.start(count);
}

void UniformSeries::assign(const std::vector<double>& values, UniformAxis axis)
{
    allocate(std::int64_t(values.size()), axis);
    std::copy(values.begin(), values.end(), y_.get());
    finish();
}

void UniformSeries::clear()
{
    y_.reset();
    count_ = 0;
    envelope_.start(0);
    range_ = {};
}

void UniformSeries::finish()
{
    envelope_.addBuckets(y_.get(), count_);
    envelope_.finish();
    range_ = count_ > 0 ? envelope_.range(y_.get(), 0, count_) : ValueRange{};
}

ValueRange UniformSeries::keyRange() const
{
    if (count_ == 0)
        return {};
    ValueRange r;
    r.include(x(0));
    r.include(x(count_ - 1));
    return r;
}

std::uint64_t UniformSeries::bytes() const
{
    return std::uint64_t(count_) * sizeof(double) + envelope_.bytes();
}

// ---- PulseTrace --------------------------------------------------------------------------------

void PulseTrace::allocate(std::int64_t count, UniformAxis axis, double high, double low)
{
    clear();
    axis_ = axis;
    high_ = high;
    low_ = low;
    if (count <= 0)
        return;
    bits_.assign(std::size_t((count + 63) / 64), 0);
    count_ = count;
}

void PulseTrace::clear()
{
    bits_.clear();
    bits_.shrink_to_fit();
    count_ = 0;
    labelled_ = false;
    twoEdges_ = false;
}

ValueRange PulseTrace::keyRange() const
{
    if (count_ == 0)
        return {};
    ValueRange r;
    r.include(x(0));
    r.include(x(count_ - 1));
    return r;
}

ValueRange PulseTrace::valueRange() const
{
    return count_ == 0 ? ValueRange{} : valueRange(0, count_);
}

ValueRange PulseTrace::valueRange(std::int64_t lo, std::int64_t hi) const
{
    ValueRange r;
    lo = std::max<std::int64_t>(lo, 0);
    hi = std::min(hi, count_);
    if (lo >= hi)
        return r;
    bool anyHigh = false;
    bool anyLow = false;
    const std::int64_t firstWord = lo >> 6;
    const std::int64_t lastWord = (hi - 1) >> 6;
    for (std::int64_t k = firstWord; k <= lastWord && !(anyHigh && anyLow); ++k) {
        std::uint64_t mask = ~std::uint64_t(0);
        if (k == firstWord)
            mask &= ~std::uint64_t(0) << (lo & 63);
        if (k == lastWord && ((hi & 63) != 0))
            mask &= ~(~std::uint64_t(0) << (hi & 63));
        const std::uint64_t w = bits_[std::size_t(k)];
        anyHigh = anyHigh || (w & mask) != 0;
        anyLow = anyLow || (~w & mask) != 0;
    }
    if (anyHigh)
        r.include(high_);
    if (anyLow)
        r.include(low_);
    return r;
}

std::uint64_t PulseTrace::edgeWord(std::int64_t k) const
{
    const std::uint64_t w = bits_[std::size_t(k)];
    // Bit p of the result is set where bit p is on and bit p-1 is off; point 0 has no
    // predecessor and is never an edge.
    const std::uint64_t carry = k > 0 ? (bits_[std::size_t(k - 1)] >> 63) : 1u;
    return w & ~((w << 1) | carry);
}

std::int64_t PulseTrace::edgeAtOrBefore(std::int64_t j) const
{
    if (count_ == 0 || j < 1)
        return -1;
    j = std::min(j, count_ - 1);
    if (high_ == low_)
        return j;
    std::int64_t k = j >> 6;
    std::uint64_t w = edgeWord(k);
    const int bitInWord = int(j & 63);
    if (bitInWord < 63)
        w &= (std::uint64_t(1) << (bitInWord + 1)) - 1;
    while (true) {
        if (w != 0)
            return k * 64 + 63 - std::countl_zero(w);
        if (--k < 0)
            return -1;
        w = edgeWord(k);
    }
}

std::int64_t PulseTrace::edgeAfter(std::int64_t j) const
{
    const std::int64_t from = std::max<std::int64_t>(j + 1, 1);
    if (from >= count_)
        return -1;
    if (high_ == low_)
        return from;
    std::int64_t k = from >> 6;
    const std::int64_t words = std::int64_t(bits_.size());
    std::uint64_t w = edgeWord(k) & (~std::uint64_t(0) << (from & 63));
    while (true) {
        if (w != 0)
            return k * 64 + std::countr_zero(w);
        if (++k >= words)
            return -1;
        w = edgeWord(k);
    }
}

void PulseTrace::setDegreeLabels(bool on)
{
    labelled_ = on;
    twoEdges_ = on && hasLabelledPoints();
}

bool PulseTrace::hasLabelledPoints() const
{
    // Labels need two rising edges: one turn between them.
    const std::int64_t first = edgeAfter(0);
    return first >= 0 && edgeAfter(first) >= 0;
}

std::vector<std::int64_t> PulseTrace::labelPoints(std::int64_t first, std::int64_t last, double minSpacing,
                                                  int maxPoints) const
{
    std::vector<std::int64_t> points;
    if (!hasDegreeLabels() || count_ == 0)
        return points;
    first = std::max<std::int64_t>(first, 0);
    last = std::min(last, count_ - 1);
    const double spacing = std::max(1.0, minSpacing);
    const auto add = [&](std::int64_t k) {
        if (k >= first && k <= last && (points.empty() || points.back() < k) && !label(k).isEmpty())
            points.push_back(k);
    };
    // The turn that holds the first point, else the first turn after it.
    std::int64_t h = edgeAtOrBefore(first);
    if (h < 0)
        h = edgeAfter(first - 1);
    while (h >= 0 && h <= last && int(points.size()) < maxPoints) {
        const std::int64_t p = edgeAfter(h);
        if (p < 0) {
            add(h); // the last edge closes the last turn
            break;
        }
        const std::int64_t turn = p - h;
        const int parts = double(turn) >= 4 * spacing ? 4 : double(turn) >= 2 * spacing ? 2 : 1;
        for (int q = 0; q < parts; ++q)
            add(h + std::int64_t(std::llround(double(turn) * q / parts)));
        if (double(turn) >= spacing)
            h = p;
        else
            h = edgeAfter(h + std::int64_t(std::ceil(spacing)) - 1);
    }
    if (int(points.size()) > maxPoints)
        points.resize(std::size_t(maxPoints));
    return points;
}

QString PulseTrace::label(std::int64_t j) const
{
    if (!labelled_ || j < 0 || j >= count_)
        return {};
    const std::int64_t h = edgeAtOrBefore(j);
    if (h < 0)
        return {};
    const std::int64_t p = edgeAfter(j);
    long double degrees = 0;
    if (p < 0) {
        // After the last edge nothing is labelled, but the last edge itself closes the last turn.
        if (h != j || edgeAtOrBefore(j - 1) < 0)
            return {};
        degrees = 360;
    } else if (h == j) {
        degrees = 0; // where two turns meet, the later one starts
    } else {
        const long double step = 360.0L / static_cast<long double>(p - h);
        degrees = static_cast<long double>(j - h) * step;
    }
    return QStringLiteral("%1").arg(platform::fixedText(double(degrees), 0, QLatin1Char('.')), 4);
}

} // namespace display
