#include "platform/numtext.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
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

namespace {

// The significant digits of a positive finite number (15 at most once rounded, without trailing
// zeros) and the decimal exponent of the first one.
struct Digits {
    char d[20];
    int n = 0;
    int exponent = 0;
};

// "e+02", "e-308": the exponent of a scientific text.
int exponentAt(const char* p)
{
    const bool negative = *p == '-';
    ++p;
    int e = 0;
    while (*p >= '0' && *p <= '9')
        e = e * 10 + (*p++ - '0');
    return negative ? -e : e;
}

void dropTrailingZeros(Digits& d)
{
    while (d.n > 1 && d.d[d.n - 1] == '0')
        --d.n;
}

// The digits and exponent of a scientific text "d.ddde+xx" (or "de+xx").
void readScientific(const char* text, Digits& d)
{
    d.d[0] = text[0];
    d.n = 1;
    const char* p = text + 1;
    if (*p == '.')
        for (++p; *p != 'e'; ++p)
            d.d[d.n++] = *p;
    d.exponent = exponentAt(p + 1);
}

// Correctly rounded from the exact binary value: the slow, always right way.
void exactDigits(double a, Digits& d)
{
    char buf[40];
    const auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, kGeneralDigits - 1);
    *res.ptr = '\0';
    readScientific(buf, d);
    dropTrailingZeros(d);
}

// From the shortest decimal that reads back as a (normal) a. With 15 digits or fewer it is the
// 15-digit rounding itself: a double is closer to it than a tenth of a unit in the 15th digit.
// With 16 or 17 it is rounded at the 15th digit, which lands where the exact value would, as no
// rounding tie of the 15th digit lies between a and its shortest decimal -- unless that decimal
// is the tie itself (16 digits ending in 5). False then: the caller takes the exact way.
bool shortestDigits(double a, Digits& d)
{
    char buf[40];
    const auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific);
    *res.ptr = '\0';
    readScientific(buf, d);
    if (d.n <= kGeneralDigits)
        return true;
    if (d.n == kGeneralDigits + 1 && d.d[kGeneralDigits] == '5')
        return false;
    const bool up = d.d[kGeneralDigits] >= '5';
    d.n = kGeneralDigits;
    if (up) {
        int i = d.n - 1;
        while (i >= 0 && d.d[i] == '9')
            d.d[i--] = '0';
        if (i >= 0) {
            ++d.d[i];
        } else {
            d.d[0] = '1';
            d.n = 1;
            ++d.exponent;
        }
    }
    dropTrailingZeros(d);
    return true;
}

char* copyChars(char* out, const char* from, int n)
{
    std::memcpy(out, from, std::size_t(n));
    return out + n;
}

char* zeros(char* out, int n)
{
    std::memset(out, '0', std::size_t(n));
    return out + n;
}

} // namespace

char* writeGeneralNumber(char* out, double v, char decimalSeparator)
{
    if (!std::isfinite(v)) {
        const char* t = std::isnan(v) ? "NAN" : v > 0 ? "INF" : "-INF";
        return copyChars(out, t, int(std::strlen(t)));
    }
    if (v == 0.0) {
        *out = '0';
        return out + 1;
    }
    if (v < 0)
        *out++ = '-';
    const double a = std::fabs(v);

    // Whole numbers below 10^15 are their own digits; ADC units and sample numbers are all such.
    if (a < 1e15 && a == std::floor(a))
        return std::to_chars(out, out + 16, std::uint64_t(a)).ptr;

    Digits d;
    if (a < std::numeric_limits<double>::min() || !shortestDigits(a, d))
        exactDigits(a, d);

    const int e = d.exponent;
    if (e < -5 || e >= kGeneralDigits) {
        *out++ = d.d[0];
        if (d.n > 1) {
            *out++ = decimalSeparator;
            out = copyChars(out, d.d + 1, d.n - 1);
        }
        *out++ = 'E';
        return std::to_chars(out, out + 8, e).ptr;
    }
    if (e >= 0) {
        const int intLen = e + 1;
        if (d.n <= intLen)
            return zeros(copyChars(out, d.d, d.n), intLen - d.n);
        out = copyChars(out, d.d, intLen);
        *out++ = decimalSeparator;
        return copyChars(out, d.d + intLen, d.n - intLen);
    }
    *out++ = '0';
    *out++ = decimalSeparator;
    out = zeros(out, -e - 1);
    return copyChars(out, d.d, d.n);
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

QString significantText(double v, int digits, QChar decimalSeparator)
{
    if (!std::isfinite(v))
        return nonFiniteText(v);
    const int magnitude = v == 0 ? 0 : int(std::floor(std::log10(std::abs(v))));
    QString s = fixedText(v, std::clamp(digits - 1 - magnitude, 0, 12), QLatin1Char('.'));
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    if (s == QLatin1String("-0"))
        s = QStringLiteral("0");
    s.replace(QLatin1Char('.'), decimalSeparator);
    return s;
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
