#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/trend.h"

using namespace analysis;

namespace {

const double kPhi = (1 + std::sqrt(5.0)) / 2;

// Deviations A*phi^k with the signs +, +, - in every three points: each triple
// sums to zero (phi^2 = phi + 1), so the mean of the points is `centre` and
// ln |x - mean| = ln A + k ln phi exactly, up to rounding.
double goldenValue(int k, double a, double centre)
{
    const double sign = (k % 3 == 2) ? -1.0 : 1.0;
    return centre + sign * a * std::pow(kPhi, k);
}

} // namespace

TEST(ComputeTrend, FitsLogarithmsThatAreLinearInThePointNumber)
{
    struct Case {
        const char* what;
        int step;
        double periodUs;
        double divisor;
    } cases[] = {
        {"step 1, milliseconds", 1, 312.5, 1000},
        {"step 1, microseconds", 1, 1250, 1},
        {"step 4: only every fourth point counts", 4, 312.5, 1000},
    };
    constexpr int points = 30; // ten triples
    constexpr double amplitude = 0.5;
    const double a = std::log(amplitude);
    const double b = std::log(kPhi);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const qint32 first = 5;
        std::vector<double> values(std::size_t(first + points * c.step + 3),
                                   1e9); // the rest would spoil the mean
        for (int k = 0; k < points; ++k)
            values[std::size_t(first + k * c.step)] = goldenValue(k, amplitude, 100);
        const Stretch stretch{first, first + (points - 1) * c.step + (c.step - 1)};

        const Trend t =
            computeTrend(values.data(), qint64(values.size()), stretch, c.step, c.periodUs, c.divisor);
        ASSERT_TRUE(t.fitted);
        ASSERT_EQ(t.points.size(), std::size_t(points));
        EXPECT_NEAR(t.mean, 100, 1e-6);

        const double periodUnit = c.periodUs / c.divisor;
        const double periodSeconds = c.periodUs / 1e6;
        const double perSample = b / c.step;
        EXPECT_NEAR(t.q, perSample / periodSeconds, 1e-6 * std::fabs(t.q));
        EXPECT_NEAR(t.qUnit, perSample / periodUnit, 1e-6 * std::fabs(t.qUnit));
        EXPECT_NEAR(t.cUnit, a - first * perSample, 1e-6);
        EXPECT_NEAR(t.c, a - first * perSample, 1e-6);
        // The line passes through every logarithm.
        for (const TrendPoint& p : t.points)
            EXPECT_NEAR(p.index * t.qUnit * periodUnit + t.cUnit, p.logDeviation, 1e-6) << p.index;
        EXPECT_NEAR(t.lineAtFirst, t.points.front().logDeviation, 1e-6);
        EXPECT_NEAR(t.lineAtLast, stretch.last * perSample + t.cUnit, 1e-9);
    }
}

TEST(ComputeTrend, ADecayingOscillationGivesANegativeRate)
{
    // 1000 Hz for two seconds, dying away at 1.5 per second.
    const double periodUs = 1000;
    std::vector<double> values(2000);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double t = double(i) * periodUs / 1e6;
        values[i] = 20 + 5 * std::exp(-1.5 * t) * std::cos(2 * M_PI * 7.3 * t);
    }
    const Trend t = computeTrend(values.data(), 2000, Stretch{0, 1999}, 1, periodUs, 1000);
    ASSERT_TRUE(t.fitted);
    EXPECT_LT(t.q, -0.75);
    EXPECT_GT(t.q, -3.0);
}

TEST(ComputeTrend, LeavesOutPointsWithoutALogarithm)
{
    struct Case {
        const char* what;
        std::vector<double> values;
        Stretch stretch;
        int step;
        std::vector<qint32> wantIndices;
        bool wantFitted;
    } cases[] = {
        // mean of 0, 2, 4 is 2: point 1 takes the deviation of point 0 instead.
        {"a zero deviation borrows the one a step earlier", {0, 2, 4}, {0, 2}, 1, {0, 1, 2}, true},
        {"a zero deviation at the start has nothing earlier", {2, 1, 3}, {0, 2}, 1, {1, 2}, true},
        {"a deviation still zero after borrowing", {5, 5, 1, 9}, {1, 3}, 1, {2, 3}, true},
        // Points 2, 4, 6 with mean 3: point 4 borrows from point 2, not from its neighbour 3.
        {"at step 2 the deviation is borrowed 2 points earlier", {9, 9, 1, 3, 3, 9, 5}, {2, 6}, 2, {2, 4, 6}, true},
        {"a constant leaves nothing", std::vector<double>(10, 7.0), {0, 9}, 1, {}, false},
        {"one point cannot make a line", {1, 2, 3}, {1, 1}, 1, {1}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Trend t = computeTrend(c.values.data(), qint64(c.values.size()), c.stretch, c.step, 1000, 1000);
        std::vector<qint32> got;
        for (const TrendPoint& p : t.points) {
            got.push_back(p.index);
            EXPECT_TRUE(std::isfinite(p.logDeviation));
        }
        EXPECT_EQ(got, c.wantIndices);
        EXPECT_EQ(t.fitted, c.wantFitted);
    }
}

TEST(ComputeTrend, LineThroughTheCentroidWhenPointsAreMissing)
{
    // Step 3 over points 0, 3, 6, 9, 12 with values 1, 12, 5, 5, 2 (mean 5); the samples between
    // them do not count. Point 6 borrows the deviation of point 3; point 9 would borrow point 6's,
    // which is zero too, so it is left out. The line must pass through the centroid of the
    // points that remain, at their own positions.
    std::vector<double> values{1, 40, 41, 12, 42, 43, 5, 44, 45, 5, 46, 47, 2};
    const Trend t = computeTrend(values.data(), qint64(values.size()), Stretch{0, 12}, 3, 1000, 1000);
    ASSERT_TRUE(t.fitted);
    std::vector<qint32> indices;
    double cx = 0, cy = 0;
    for (const TrendPoint& p : t.points) {
        indices.push_back(p.index);
        cx += p.index;
        cy += p.logDeviation;
    }
    ASSERT_EQ(indices, (std::vector<qint32>{0, 3, 6, 12}));
    EXPECT_NEAR(t.points[2].logDeviation, std::log(7.0), 1e-12);
    cx /= 4;
    cy /= 4;
    EXPECT_NEAR(cx * t.qUnit * 1.0 + t.cUnit, cy, 1e-12);
    EXPECT_NEAR(cx * t.q * 0.001 + t.c, cy, 1e-12);
}

TEST(TrendTexts, LabelsFormulaChannelAndReport)
{
    const QChar comma = QLatin1Char(',');
    struct Label {
        qint64 index;
        const char* want;
    } labels[] = {{10, "3"}, {8, "2"}, {24, "8"}, {0, "0"}};
    for (const Label& l : labels) // whole milliseconds, halves to even
        EXPECT_EQ(trendPointLabel(l.index, 312.5, 1000, comma), QString::fromUtf8(l.want)) << l.index;

    Trend t;
    t.q = -0.5;
    t.c = -1.25;
    EXPECT_EQ(trendFormula(t, comma), QStringLiteral("-0,500000*t+-1,250000"));
    EXPECT_EQ(trendChannelText(QStringLiteral("X"), 8), QStringLiteral("X, Smooth scale=8"));
    EXPECT_EQ(trendChannelText(QStringLiteral("Z"), std::nullopt), QStringLiteral("Z"));

    ReportContext ctx;
    ctx.unitSuffix = QStringLiteral(",ms");
    ctx.firstTime = 3.125;
    ctx.lastTime = 100;
    ctx.channel = trendChannelText(QStringLiteral("X"), 8);
    ctx.fileName = QStringLiteral("a.axd");
    ctx.decimalSeparator = comma;
    EXPECT_EQ(trendReport(t, ctx),
              QStringLiteral("q=\tC=\tFirst Point,ms\tLast Point,ms\tChannel\tFile Name\r\n"
                             "-0,5\t-1,25\t3,125\t100\tX, Smooth scale=8\ta.axd\r\n"));
}
