#include "platform/numtext.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

using platform::fixedText;
using platform::formatF;
using platform::generalNumberText;
using platform::parseNumber;
using platform::roundHalfEven;

namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct RoundCase {
    double x;
    std::int64_t expected;
};

const RoundCase kRoundCases[] = {
    {2.5, 2},
    {3.5, 4},
    {-2.5, -2},
    {-3.5, -4},
    {0.5, 0},
    {1.5, 2},
    {-0.5, 0},
    {0.49999999999999994, 0},
    {-0.49999999999999994, 0},
    {2.4999999999999996, 2},
    {2.5000000000000004, 3},
    {8388608.125, 8388608},
    {4503599627370497.0, 4503599627370497},
    {-4503599627370497.0, -4503599627370497},
    {1e300, std::numeric_limits<std::int64_t>::max()},
    {-1e300, std::numeric_limits<std::int64_t>::min()},
    {kNan, 0},
};

std::string fastText(double v, char sep)
{
    char buf[platform::kGeneralNumberMaxBytes];
    return std::string(buf, platform::writeGeneralNumber(buf, v, sep));
}

} // namespace

TEST(NumText, RoundHalfEvenInEveryRoundingMode)
{
    const int saved = std::fegetround();
    for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        ASSERT_EQ(std::fesetround(mode), 0);
        for (const auto& c : kRoundCases)
            EXPECT_EQ(roundHalfEven(c.x), c.expected) << "x=" << c.x << " mode=" << mode;
    }
    std::fesetround(saved);
}

TEST(NumText, GeneralNumberText)
{
    struct Case {
        double v;
        char sep;
        const char* expected;
    };
    const Case cases[] = {
        {0.0, '.', "0"},
        {-0.0, ',', "0"},
        {1.0, '.', "1"},
        {100.0, ',', "100"},
        {-2.5, '.', "-2.5"},
        {-2.5, ',', "-2,5"},
        {0.00001, '.', "0.00001"},
        {0.00001, ',', "0,00001"},
        {0.0000099, '.', "9.9E-6"},
        {0.0000099, ',', "9,9E-6"},
        {1e-6, '.', "1E-6"},
        {-1e-6, ',', "-1E-6"},
        {0.0001234, '.', "0.0001234"},
        {123456789012345.0, '.', "123456789012345"},
        {1234567890123456.0, '.', "1.23456789012346E15"},
        {1234567890123456.0, ',', "1,23456789012346E15"},
        {1e14, '.', "100000000000000"},
        {1e15, '.', "1E15"},
        {1e100, '.', "1E100"},
        {2.5e-300, ',', "2,5E-300"},
        // Rounding to 15 digits can carry into a 16th integer digit.
        {999999999999999.9, '.', "1E15"},
        {1.0 / 3, '.', "0.333333333333333"},
        {1.0 / 3, ',', "0,333333333333333"},
        {-2.0 / 3, '.', "-0.666666666666667"},
        {0.1 + 0.2, '.', "0.3"},
        {12345.678, ',', "12345,678"},
        // Exact binary ties at the 16th digit go to the even neighbour.
        {100000000000000.5, '.', "100000000000000"},
        {100000000000001.5, '.', "100000000000002"},
        {kNan, '.', "NAN"},
        {kInf, '.', "INF"},
        {-kInf, '.', "-INF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(generalNumberText(c.v, QChar::fromLatin1(c.sep)).toStdString(), c.expected)
            << "v=" << c.v << " sep=" << c.sep;
        EXPECT_EQ(fastText(c.v, c.sep), c.expected) << "fast, v=" << c.v << " sep=" << c.sep;
    }
}

// The fast writer against the reference on a few million doubles of the kinds that matter: any
// bit pattern, subnormals, whole numbers, halves, 15- and 17-digit decimals, decimals that end
// on a rounding tie of the 15th digit, and the products a calibrated chart holds.
TEST(NumText, FastGeneralTextMatchesTheReference)
{
    std::mt19937_64 rng(7);
    std::uniform_int_distribution<std::uint64_t> bits;
    std::uniform_int_distribution<int> exp10(-30, 30);
    std::uniform_int_distribution<std::int64_t> digits15(100000000000000, 999999999999999);
    std::uniform_int_distribution<std::int64_t> digits17(10000000000000000, 99999999999999999);
    std::uniform_int_distribution<int> adc(-512, 511);
    const auto decimal = [&](std::int64_t mantissa, const char* tail) {
        char text[64];
        std::snprintf(text, sizeof text, "%lld%se%d", static_cast<long long>(mantissa), tail, exp10(rng));
        return std::strtod(text, nullptr);
    };
    const std::function<double()> kinds[] = {
        [&] { return std::bit_cast<double>(bits(rng)); },
        [&] { return std::bit_cast<double>(bits(rng) & 0x800FFFFFFFFFFFFFull); }, // subnormal
        [&] { return double(std::int64_t(bits(rng) >> 11) >> std::uniform_int_distribution<int>(0, 52)(rng)); },
        [&] { return double(std::int64_t(bits(rng) >> 14) >> std::uniform_int_distribution<int>(0, 40)(rng)) + 0.5; },
        [&] { return decimal(digits15(rng), ""); },
        [&] { return decimal(digits17(rng), ""); },
        [&] { return decimal(digits15(rng), "5"); }, // the tie of the 15th digit
        [&] { return (adc(rng) - 3.0) * (0.0039 * 981) / std::pow(10.0, exp10(rng) / 6); },
    };
    // Kept to a few seconds under the sanitizers.
    constexpr int kPerKind = 200000;
    int mismatches = 0;
    char buf[platform::kGeneralNumberMaxBytes];
    for (const auto& kind : kinds) {
        for (int i = 0; i < kPerKind && mismatches < 10; ++i) {
            const double v = kind();
            const char sep = (i & 1) ? ',' : '.';
            const QString expected = generalNumberText(v, QChar::fromLatin1(sep));
            const char* end = platform::writeGeneralNumber(buf, v, sep);
            if (QLatin1StringView(buf, end - buf) != expected) {
                ++mismatches;
                ADD_FAILURE() << std::hexfloat << v << ": " << std::string(buf, std::size_t(end - buf)) << " instead of "
                              << expected.toStdString();
            }
        }
    }
}

TEST(NumText, FixedDecimals)
{
    struct Case {
        double v;
        int decimals;
        char sep;
        const char* expected;
    };
    const Case cases[] = {
        {0.125, 2, '.', "0.12"},
        {0.375, 2, '.', "0.38"},
        {2.5, 0, '.', "2"},
        {3.5, 0, '.', "4"},
        // 1.005 is stored a little below 1.005.
        {-1.005, 2, '.', "-1.00"},
        {-2.5, 2, ',', "-2,50"},
        {1234.5678, 4, ',', "1234,5678"},
        {0.1, 6, '.', "0.100000"},
        {-0.0000004, 6, ',', "0,000000"},
        {-0.001, 2, '.', "0.00"},
        {-0.0, 2, '.', "0.00"},
        {1e20, 2, '.', "100000000000000000000.00"},
        {2.7, -1, '.', "3"},
        {kNan, 2, '.', "NAN"},
        {-kInf, 2, '.', "-INF"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fixedText(c.v, c.decimals, QChar::fromLatin1(c.sep)).toStdString(), c.expected)
            << "v=" << c.v << " decimals=" << c.decimals;
    EXPECT_EQ(formatF(0.305, u',').toStdString(), "0,30"); // 0.305 is stored below the tie
}

TEST(NumText, ParseNumber)
{
    struct Case {
        const char* text;
        char sep;
        std::optional<double> expected;
    };
    const Case cases[] = {
        {"12.5", '.', 12.5},
        {"12,5", ',', 12.5},
        {"12,5", '.', std::nullopt},
        {"12.5", ',', std::nullopt},
        {"  -3 \t", '.', -3.0},
        {"+4", '.', 4.0},
        {"1E-6", '.', 1e-6},
        {"2,5e+3", ',', 2500.0},
        {".5", '.', 0.5},
        {"5.", '.', 5.0},
        {"0e99999999999", '.', 0.0},
        {"1e-400", '.', 0.0},
        {"", '.', std::nullopt},
        {"   ", '.', std::nullopt},
        {"-", '.', std::nullopt},
        {".", '.', std::nullopt},
        {"--1", '.', std::nullopt},
        {"1e", '.', std::nullopt},
        {"1e+", '.', std::nullopt},
        {"e5", '.', std::nullopt},
        {"1 000", '.', std::nullopt},
        {"1,000.5", '.', std::nullopt},
        {"0x10", '.', std::nullopt},
        {"12a", '.', std::nullopt},
        {"inf", '.', std::nullopt},
        {"nan", '.', std::nullopt},
        {"1e400", '.', std::nullopt},
        {"1e99999999999999999999", '.', std::nullopt},
    };
    for (const auto& c : cases) {
        const auto got = parseNumber(QString::fromLatin1(c.text), QChar::fromLatin1(c.sep));
        EXPECT_EQ(got, c.expected) << "text='" << c.text << "' sep=" << c.sep;
    }
    // Digits of other scripts are not decimal digits here.
    EXPECT_EQ(parseNumber(QStringLiteral("\u0663"), QLatin1Char('.')), std::nullopt);
    const auto tiny = parseNumber(QStringLiteral("-1e-400"), QLatin1Char('.'));
    ASSERT_TRUE(tiny.has_value());
    EXPECT_TRUE(*tiny == 0.0 && std::signbit(*tiny));
}

// Every text the program writes must read back as the value it stands for, to 15 digits.
TEST(NumText, GeneralTextReadsBackWithinFifteenDigits)
{
    std::mt19937_64 rng(20240601);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-320, 300);
    for (int i = 0; i < 5000; ++i) {
        const double v = mantissa(rng) * std::pow(10.0, exponent(rng));
        for (QChar sep : {QLatin1Char('.'), QLatin1Char(',')}) {
            const QString text = generalNumberText(v, sep);
            const auto back = parseNumber(text, sep);
            ASSERT_TRUE(back.has_value()) << text.toStdString();
            const double tolerance = std::fabs(v) * 5e-15 + 5e-324;
            EXPECT_NEAR(*back, v, tolerance) << text.toStdString();
        }
    }
}
