#pragma once

// The data of the signal chart's series, apart from any drawing: a series of a long record holds
// its values in one contiguous array with an implicit x, and min/max envelope levels so that a
// picture of any zoom costs in proportion to its pixels, not to the points held. The pulse trace
// keeps one bit per frame and its two levels.

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace display {

// The lowest and highest of some values; empty (lo > hi) when there are none.
struct ValueRange {
    double lo = 1.0;
    double hi = 0.0;

    bool isEmpty() const { return lo > hi; }
    void include(double v)
    {
        if (isEmpty()) {
            lo = hi = v;
        } else {
            if (v < lo)
                lo = v;
            if (v > hi)
                hi = v;
        }
    }
    void include(const ValueRange& r)
    {
        if (!r.isEmpty()) {
            include(r.lo);
            include(r.hi);
        }
    }
    friend bool operator==(const ValueRange&, const ValueRange&) = default;
};

// The x of point i is (firstIndex + i) * numerator / denominator, worked out in extended
// precision and then stored as a double, so an implicit x equals the one a point-by-point build
// would have stored (time views: frame number times period over the unit's divisor).
struct UniformAxis {
    std::int64_t firstIndex = 0;
    double numerator = 1.0;
    double denominator = 1.0;

    double x(std::int64_t i) const
    {
        return double(static_cast<long double>(firstIndex + i) * numerator / denominator);
    }
    double step() const { return double(static_cast<long double>(numerator) / denominator); }

    // Points 0..count-1 whose x lies within [lo, hi]: first and last index, or {-1, -1} when
    // no point lies there.
    std::pair<std::int64_t, std::int64_t> indicesWithin(double lo, double hi, std::int64_t count) const;
    // The index of the point nearest to x, clamped to 0..count-1 (count > 0).
    std::int64_t nearestIndex(double x, std::int64_t count) const;
};

// Min/max levels of an array of values (what PulseView calls an envelope): level 0 holds one
// pair per kBaseBucket values, every further level one pair per kLevelFactor pairs below it.
class MinMaxEnvelope {
  public:
    static constexpr std::int64_t kBaseBucket = 64;
    static constexpr std::int64_t kLevelFactor = 8;

    struct Pair {
        double lo;
        double hi;
    };

    // Sizes level 0 for count values; fill it with addBuckets() as values arrive, then finish().
    void start(std::int64_t count);
    // Computes the level-0 pairs of all buckets that lie wholly within values[0..available), or
    // reach the end of the array, that are not computed yet.
    void addBuckets(const double* values, std::int64_t available);
    // For builds on several threads: the pairs of the buckets that start within values[lo..hi)
    // (lo a multiple of kBaseBucket; hi one too, or the end of the array). Threads may work on
    // disjoint stretches at once; bucketsDone() then tells what is complete.
    void computeBuckets(const double* values, std::int64_t lo, std::int64_t hi);
    void bucketsDone(std::int64_t available);
    // Builds the upper levels from level 0.
    void finish();

    // Min and max of values[lo..hi) (lo < hi), using the levels for whole buckets.
    ValueRange range(const double* values, std::int64_t lo, std::int64_t hi) const;
    // For drawing: min and max of the buckets of the largest size up to maxBucket that hold
    // values lo..hi-1, so the range may take in up to one bucket beyond either end. With
    // maxBucket below the smallest bucket it is exact.
    ValueRange coarseRange(const double* values, std::int64_t lo, std::int64_t hi,
                           std::int64_t maxBucket) const;

    std::uint64_t bytes() const;
    int levelCount() const { return int(levels_.size()); }

  private:
    std::int64_t count_ = 0;
    std::int64_t done_ = 0; // level-0 buckets computed so far
    std::vector<std::vector<Pair>> levels_;
};

// A line series of uniformly spaced points: y in one array of doubles, x implicit.
class UniformSeries {
  public:
    UniformSeries() = default;
    UniformSeries(UniformSeries&&) noexcept = default;
    UniformSeries& operator=(UniformSeries&&) noexcept = default;

    // Allocates room for count values (not initialised) and sizes the envelope.
    void allocate(std::int64_t count, UniformAxis axis);
    // Sets the series from ready values (tests, small series).
    void assign(const std::vector<double>& values, UniformAxis axis);
    void clear();

    double* data() { return y_.get(); }
    const double* data() const { return y_.get(); }
    std::int64_t size() const { return count_; }
    bool isEmpty() const { return count_ == 0; }
    const UniformAxis& axis() const { return axis_; }
    // Moves the points along the x axis (a stretch decoded on its own that lies later in the
    // record): point i then stands at frame firstIndex + i.
    void setFirstIndex(std::int64_t firstIndex) { axis_.firstIndex = firstIndex; }
    double x(std::int64_t i) const { return axis_.x(i); }
    double y(std::int64_t i) const { return y_[i]; }

    // Envelope upkeep while the values are written: see MinMaxEnvelope.
    void valuesWritten(std::int64_t available) { envelope_.addBuckets(y_.get(), available); }
    void valuesWrittenIn(std::int64_t lo, std::int64_t hi) { envelope_.computeBuckets(y_.get(), lo, hi); }
    void valuesWrittenBelow(std::int64_t available) { envelope_.bucketsDone(available); }
    // Completes the envelope and the overall range once every value is written.
    void finish();

    ValueRange valueRange() const { return range_; }
    ValueRange keyRange() const;
    ValueRange valueRange(std::int64_t lo, std::int64_t hi) const
    {
        return envelope_.range(y_.get(), lo, hi);
    }
    // See MinMaxEnvelope::coarseRange.
    ValueRange coarseValueRange(std::int64_t lo, std::int64_t hi, std::int64_t maxBucket) const
    {
        return envelope_.coarseRange(y_.get(), lo, hi, maxBucket);
    }

    // Memory held: values and envelope.
    std::uint64_t bytes() const;

  private:
    std::unique_ptr<double[]> y_;
    std::int64_t count_ = 0;
    UniformAxis axis_;
    MinMaxEnvelope envelope_;
    ValueRange range_;
};

// The pulse trace: one bit per frame (the pulse input), drawn at two levels. Its point labels,
// the degrees of a turn between two rising edges, are worked out on demand from the edges.
class PulseTrace {
  public:
    void allocate(std::int64_t count, UniformAxis axis, double high, double low);
    void clear();
    void setBit(std::int64_t i, bool on)
    {
        const std::uint64_t m = std::uint64_t(1) << (i & 63);
        if (on)
            bits_[std::size_t(i >> 6)] |= m;
        else
            bits_[std::size_t(i >> 6)] &= ~m;
    }
    bool bit(std::int64_t i) const { return (bits_[std::size_t(i >> 6)] >> (i & 63)) & 1u; }

    std::int64_t size() const { return count_; }
    bool isEmpty() const { return count_ == 0; }
    const UniformAxis& axis() const { return axis_; }
    void setFirstIndex(std::int64_t firstIndex) { axis_.firstIndex = firstIndex; }
    double x(std::int64_t i) const { return axis_.x(i); }
    double y(std::int64_t i) const { return bit(i) ? high_ : low_; }
    double high() const { return high_; }
    double low() const { return low_; }

    ValueRange valueRange() const;
    ValueRange keyRange() const;
    // Lowest and highest level among points lo..hi-1 (lo < hi).
    ValueRange valueRange(std::int64_t lo, std::int64_t hi) const;

    // Degree labels: off until switched on by a build in a time view with "Градусы" selected.
    // Set after the bits are final: it notes whether any point gets a label at all.
    void setDegreeLabels(bool on);
    bool hasDegreeLabels() const { return labelled_ && twoEdges_; }
    // "" for a point without a label.
    QString label(std::int64_t j) const;

    // Points whose labels an axis shows between points first and last, about minSpacing points
    // apart or more: the start of each turn, and its half and quarter points where the turn is
    // wide enough; where turns are narrower than minSpacing, the starts of some of them. At most
    // maxPoints, in ascending order.
    std::vector<std::int64_t> labelPoints(std::int64_t first, std::int64_t last, double minSpacing,
                                          int maxPoints) const;

    // A rising edge at p: point p-1 at the low level and point p at the high one (so with both
    // levels equal, every point from 1 on). -1 when there is none.
    std::int64_t edgeAtOrBefore(std::int64_t j) const;
    std::int64_t edgeAfter(std::int64_t j) const;

    std::uint64_t bytes() const { return bits_.capacity() * sizeof(std::uint64_t); }

  private:
    bool hasLabelledPoints() const;
    std::uint64_t edgeWord(std::int64_t k) const;

    std::vector<std::uint64_t> bits_;
    std::int64_t count_ = 0;
    UniformAxis axis_;
    double high_ = 0.0;
    double low_ = 0.0;
    bool labelled_ = false;
    bool twoEdges_ = false;
};

} // namespace display
