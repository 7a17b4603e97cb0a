#pragma once

// Rounding and the number texts used in exports, clipboard reports and status texts.
// Every text takes the decimal separator explicitly (normally the system locale's), so
// the results do not depend on the C locale or on QLocale::setDefault().

#include <QChar>
#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <optional>

namespace platform {

// Nearest integer, ties to the even integer (2.5 -> 2, 3.5 -> 4, -2.5 -> -2). Works the same
// whatever rounding mode the floating-point environment is in. NaN gives 0; values beyond the
// 64-bit range saturate at its ends.
std::int64_t roundHalfEven(double x);

// The general format: up to 15 significant digits, no trailing zeros, no separator without a
// fraction; exponent notation ("1E-6", "1.23456789012346E15") only below 0.00001 or above 15
// integer digits. NaN and infinities are written "NAN", "INF", "-INF".
QString generalNumberText(double v, QChar decimalSeparator);

// The longest text writeGeneralNumber() can write: "-1.23456789012345E-308".
inline constexpr int kGeneralNumberMaxBytes = 24;

// The same text as generalNumberText(), as single bytes and without building a string, for
// exports of millions of numbers. It starts from the shortest exact decimal of v and rounds that
// to 15 digits, which gives the same digits except where the shortest form ends exactly on a
// rounding tie (or v is subnormal, with fewer exact digits than that); those take the long way.
// Writes at most kGeneralNumberMaxBytes bytes at out and returns the end.
char* writeGeneralNumber(char* out, double v, char decimalSeparator);

// Fixed decimals ("%0.2f", "%0.4f", "%0.6f" ...), rounded half to even on the exact value.
QString fixedText(double v, int decimals, QChar decimalSeparator);

// A number read at a glance: `digits` significant digits in fixed notation, never an exponent
// (at most 12 decimals; integer digits are all kept), trailing zeros dropped. 5e-5 with six
// digits is "0.00005", 2136562.5 is "2136563".
QString significantText(double v, int digits, QChar decimalSeparator);

// "%f": two decimals.
inline QString formatF(double v, QChar decimalSeparator)
{
    return fixedText(v, 2, decimalSeparator);
}

// "%d".
QString formatD(qint64 v);

// A decimal number written with decimalSeparator: optional sign, digits with an optional
// fraction, optional exponent ("E"/"e", optional sign, digits); blanks around it are allowed.
// Any other character, including the other common separator, makes the text invalid.
std::optional<double> parseNumber(const QString& text, QChar decimalSeparator);

} // namespace platform
