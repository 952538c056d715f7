#include "core/NumberText.h"

#include <QLocale>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace rv {

namespace {

// Exponents are read with saturation so that an absurd exponent cannot overflow.
constexpr long long kExponentCap = 1'000'000'000;
// Beyond this written exponent a text is not treated as a number by the patterns:
// no double comes near it and it would only serve to build enormous digit strings.
constexpr long long kPatternExponentLimit = 400;

bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// A number as written: its sign, the digits before and after the point, its exponent.
struct WrittenNumber {
    qsizetype end = -1; // index after the last character read; -1 when there is no number
    bool negative = false;
    std::string intDigits;
    std::string fracDigits;
    long long exponent = 0; // as written, saturated at +/-kExponentCap
};

// Reads the number that starts exactly at `from`: optional sign, digits with at most one
// ".", at least one digit, then an exponent only if it carries at least one digit.
WrittenNumber scanNumber(QStringView text, qsizetype from) {
    WrittenNumber n;
    qsizetype i = from;
    const qsizetype size = text.size();
    if (i < size && (text[i] == u'+' || text[i] == u'-')) {
        n.negative = text[i] == u'-';
        ++i;
    }
    while (i < size && isAsciiDigit(text[i]))
        n.intDigits += char(text[i++].unicode());
    if (i < size && text[i] == u'.') {
        ++i;
        while (i < size && isAsciiDigit(text[i]))
            n.fracDigits += char(text[i++].unicode());
    }
    if (n.intDigits.empty() && n.fracDigits.empty()) return WrittenNumber{};
    n.end = i;

    if (i < size && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        bool expNegative = false;
        if (j < size && (text[j] == u'+' || text[j] == u'-')) {
            expNegative = text[j] == u'-';
            ++j;
        }
        if (j < size && isAsciiDigit(text[j])) {
            long long exponent = 0;
            while (j < size && isAsciiDigit(text[j])) {
                if (exponent < kExponentCap) exponent = exponent * 10 + (text[j].unicode() - u'0');
                ++j;
            }
            n.exponent = expNegative ? -exponent : exponent;
            n.end = j;
        }
    }
    return n;
}

// The significant digits of a number (no leading or trailing zeros; empty for zero) and
// the place of the decimal point: the value is 0.<digits> x 10^point.
struct Decimal {
    bool negative = false;
    std::string digits;
    long long point = 0;
};

Decimal toDecimal(const WrittenNumber& n) {
    Decimal d;
    d.negative = n.negative;
    d.digits = n.intDigits + n.fracDigits;
    d.point = static_cast<long long>(n.intDigits.size()) + n.exponent;
    const auto first = d.digits.find_first_not_of('0');
    if (first == std::string::npos) {
        d.digits.clear();
        d.point = 0;
        return d;
    }
    d.digits.erase(0, first);
    d.point -= static_cast<long long>(first);
    d.digits.erase(d.digits.find_last_not_of('0') + 1);
    return d;
}

// Adds one to a string of decimal digits.
void increment(std::string& digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return;
        }
        *it = '0';
    }
    digits.insert(digits.begin(), '1');
}

// Fixed-point text with exactly `decimals` digits after the point, rounded half away
// from zero on the decimal digits themselves (no binary floating point involved).
QString fixedText(const Decimal& d, int decimals) {
    // scaled = round(|value| x 10^decimals) as a digit string
    const long long keep = d.point + decimals; // digits of d.digits before the rounding place
    const auto count = static_cast<long long>(d.digits.size());
    std::string scaled;
    if (keep > 0) {
        scaled = d.digits.substr(0, static_cast<size_t>(std::min(keep, count)));
        if (keep > count) scaled.append(static_cast<size_t>(keep - count), '0');
    }
    if (keep >= 0 && keep < count && d.digits[static_cast<size_t>(keep)] >= '5') increment(scaled);

    const bool zero = scaled.find_first_not_of('0') == std::string::npos;
    if (scaled.size() < static_cast<size_t>(decimals) + 1)
        scaled.insert(0, static_cast<size_t>(decimals) + 1 - scaled.size(), '0');
    if (decimals > 0) scaled.insert(scaled.size() - static_cast<size_t>(decimals), 1, '.');
    if (d.negative && !zero) scaled.insert(0, 1, '-');
    return QString::fromLatin1(scaled);
}

// The shortest text that reads back as the same double ("2.675", "1e+21", "nan").
QString shortestText(double value) {
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

double leadingNumber(const QString& text) {
    qsizetype start = 0;
    while (start < text.size() && text[start].isSpace())
        ++start;
    const WrittenNumber n = scanNumber(text, start);
    if (n.end < 0) return 0.0;

    // Rebuilt in a plain form so that the conversion never depends on the C locale.
    std::string plain = (n.intDigits.empty() ? std::string("0") : n.intDigits);
    if (!n.fracDigits.empty()) plain += '.' + n.fracDigits;
    plain += 'e' + std::to_string(n.exponent);

    double magnitude = 0.0;
    const auto result = std::from_chars(plain.data(), plain.data() + plain.size(), magnitude);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large for a double: infinity, too small: zero (as the C library does).
        const Decimal d = toDecimal(n);
        magnitude =
            (!d.digits.empty() && d.point > 0) ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return n.negative ? -magnitude : magnitude;
}

bool isNumberText(const QString& text) {
    const QString trimmed = text.trimmed();
    const WrittenNumber n = scanNumber(trimmed, 0);
    return n.end >= 0 && n.end == trimmed.size();
}

QString formatPattern(const QString& text, int decimals) {
    const QString trimmed = text.trimmed();
    const WrittenNumber n = scanNumber(trimmed, 0);
    if (n.end < 0 || n.end != trimmed.size()) return text;
    if (n.exponent > kPatternExponentLimit || n.exponent < -kPatternExponentLimit) return text;
    return fixedText(toDecimal(n), std::max(decimals, 0));
}

bool hasLeadingNumber(QStringView text) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ++i;
    if (i < text.size() && text[i] == u'.') ++i;
    return i < text.size() && text[i] >= u'0' && text[i] <= u'9';
}

QString formatNumber(double value, int decimals) {
    // "nan" and "inf" are not numbers to the pattern and come back as they are.
    return formatPattern(shortestText(value), decimals);
}

QString plainDecimal(double value) {
    const QString shortest = shortestText(value);
    if (!std::isfinite(value)) return shortest;
    const Decimal d = toDecimal(scanNumber(shortest, 0));
    if (d.digits.empty()) return QStringLiteral("0");

    const auto count = static_cast<long long>(d.digits.size());
    std::string text;
    if (d.point <= 0) {
        text = "0." + std::string(static_cast<size_t>(-d.point), '0') + d.digits;
    } else if (d.point >= count) {
        text = d.digits + std::string(static_cast<size_t>(d.point - count), '0');
    } else {
        text = d.digits.substr(0, static_cast<size_t>(d.point)) + '.' +
               d.digits.substr(static_cast<size_t>(d.point));
    }
    if (d.negative) text.insert(0, 1, '-');
    return QString::fromLatin1(text);
}

} // namespace rv
