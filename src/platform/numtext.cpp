#include "platform/numtext.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace platform {

namespace {

constexpr int kGeneralDigits = 15;
// More decimals than this carry no information for any value we print; the cap keeps the
// conversion buffer bounded.
constexpr int kMaxFixedDecimals = 64;

QString nonFiniteText(double v)
{
    if (std::isnan(v))
        return QStringLiteral("NAN");
    return v > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
}

bool isAsciiDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

} // namespace

std::int64_t roundHalfEven(double x)
{
    if (std::isnan(x))
        return 0;
    constexpr double kTwo63 = 9223372036854775808.0;
    if (x >= kTwo63)
        return std::numeric_limits<std::int64_t>::max();
    if (x <= -kTwo63)
        return std::numeric_limits<std::int64_t>::min();

    // Work on the magnitude: floor() is exact, and a - floor(a) is exact for a >= 0 (either
    // floor(a) is 0 or a lies within a factor of two of it), so the tie test below sees the
    // true fraction no matter which rounding mode is active.
    const double a = std::fabs(x);
    double r = std::floor(a);
    const double frac = a - r;
    if (frac > 0.5 || (frac == 0.5 && std::fmod(r, 2.0) != 0.0))
        r += 1.0;
    const auto magnitude = static_cast<std::int64_t>(r);
    return x < 0 ? -magnitude : magnitude;
}

QString generalNumberText(double v, QChar decimalSeparator)
{
    if (!std::isfinite(v))
        return nonFiniteText(v);
    if (v == 0.0)
        return QStringLiteral("0"); // also for -0.0

    // 15 significant digits, correctly rounded (ties to even) from the exact binary value:
    // "d.dddddddddddddde[+-]xx". Rounding first matters: 999999999999999.9 becomes 1E15 and
    // must then be judged by its rounded exponent.
    char buf[40];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific, kGeneralDigits - 1);
    const std::string sci(buf, res.ptr);
    const auto ePos = sci.find('e');
    std::string digits;
    digits.reserve(kGeneralDigits);
    for (std::size_t i = 0; i < ePos; ++i) {
        if (sci[i] != '.')
            digits += sci[i];
    }
    int exponent = 0;
    const char* expBegin = sci.data() + ePos + 1;
    if (*expBegin == '+')
        ++expBegin;
    std::from_chars(expBegin, sci.data() + sci.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    QString out;
    if (v < 0)
        out += QLatin1Char('-');

    const bool useExponent = exponent < -5 || exponent >= kGeneralDigits;
    if (useExponent) {
        out += QLatin1Char(digits[0]);
        if (digits.size() > 1) {
            out += decimalSeparator;
            out += QLatin1StringView(digits.data() + 1, qsizetype(digits.size() - 1));
        }
        out += QLatin1Char('E');
        out += QString::number(exponent);
        return out;
    }

    if (exponent >= 0) {
        const auto intLen = std::size_t(exponent) + 1;
        if (digits.size() <= intLen) {
            out += QLatin1StringView(digits.data(), qsizetype(digits.size()));
            out += QString(qsizetype(intLen - digits.size()), QLatin1Char('0'));
        } else {
            out += QLatin1StringView(digits.data(), qsizetype(intLen));
            out += decimalSeparator;
            out += QLatin1StringView(digits.data() + intLen, qsizetype(digits.size() - intLen));
        }
    } else {
        out += QLatin1Char('0');
        out += decimalSeparator;
        out += QString(qsizetype(-exponent - 1), QLatin1Char('0'));
        out += QLatin1StringView(digits.data(), qsizetype(digits.size()));
    }
    return out;
}

QString fixedText(double v, int decimals, QChar decimalSeparator)
{
    if (!std::isfinite(v))
        return nonFiniteText(v);
    decimals = std::clamp(decimals, 0, kMaxFixedDecimals);

    // The largest double has 309 integer digits.
    char buf[320 + kMaxFixedDecimals];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    QString out = QString::fromLatin1(buf, res.ptr - buf);

    // A value that rounds to zero is printed without its sign: "-0.00" in a report or next to
    // a "+" in a formula ("+-0.000000") reads as a different number from what it is.
    if (out.startsWith(QLatin1Char('-')) && std::none_of(out.cbegin(), out.cend(), [](QChar c) {
            return c.unicode() >= u'1' && c.unicode() <= u'9';
        }))
        out.remove(0, 1);

    out.replace(QLatin1Char('.'), decimalSeparator);
    return out;
}

QString formatD(qint64 v)
{
    return QString::number(v);
}

std::optional<double> parseNumber(const QString& text, QChar decimalSeparator)
{
    const QString t = text.trimmed();
    const qsizetype n = t.size();
    qsizetype i = 0;

    // Rebuilt in the one syntax from_chars knows: '-', digits, '.', digits, 'e', exponent.
    std::string buf;
    buf.reserve(std::size_t(n) + 1);
    bool negative = false;
    if (i < n && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
        negative = t[i] == QLatin1Char('-');
        if (negative)
            buf += '-';
        ++i;
    }

    std::string intDigits;
    std::string fracDigits;
    while (i < n && isAsciiDigit(t[i]))
        intDigits += char(t[i++].unicode());
    buf += intDigits;
    if (i < n && t[i] == decimalSeparator) {
        ++i;
        while (i < n && isAsciiDigit(t[i]))
            fracDigits += char(t[i++].unicode());
        buf += '.';
        buf += fracDigits;
    }
    if (intDigits.empty() && fracDigits.empty())
        return std::nullopt;

    // Kept saturated so that a silly exponent cannot overflow; the magnitude test below only
    // needs its sign and rough size.
    long long exponent = 0;
    if (i < n && (t[i] == QLatin1Char('e') || t[i] == QLatin1Char('E'))) {
        ++i;
        buf += 'e';
        bool expNegative = false;
        if (i < n && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
            expNegative = t[i] == QLatin1Char('-');
            if (expNegative)
                buf += '-';
            ++i;
        }
        const qsizetype expStart = i;
        while (i < n && isAsciiDigit(t[i])) {
            exponent = std::min(exponent * 10 + (t[i].unicode() - u'0'), 1'000'000'000LL);
            buf += char(t[i++].unicode());
        }
        if (i == expStart)
            return std::nullopt;
        if (expNegative)
            exponent = -exponent;
    }
    if (i != n)
        return std::nullopt;

    double value = 0.0;
    const auto res = std::from_chars(buf.data(), buf.data() + buf.size(), value);
    if (res.ptr != buf.data() + buf.size())
        return std::nullopt;
    if (res.ec == std::errc::result_out_of_range) {
        // Too small for a double rounds to zero; too large is not a number we can hold.
        const auto firstInt = intDigits.find_first_not_of('0');
        long long magnitude = 0;
        if (firstInt != std::string::npos)
            magnitude = static_cast<long long>(intDigits.size() - firstInt) - 1 + exponent;
        else
            magnitude = -static_cast<long long>(fracDigits.find_first_not_of('0')) - 1 + exponent;
        if (magnitude >= 0)
            return std::nullopt;
        return negative ? -0.0 : 0.0;
    }
    if (res.ec != std::errc())
        return std::nullopt;
    return value;
}

} // namespace platform
