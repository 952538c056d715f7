#pragma once
// Numbers typed or stored as text: the leading-number value and the
// "##0.00" / "##0.0" patterns. Pure functions, no widgets, no database.
#include <QString>
#include <QStringView>

namespace rv {

// The value of the number a text begins with: leading blanks are skipped, then an
// optional sign, digits with at most one decimal point "." and an optional exponent
// (e/E, optional sign, digits) are read; reading stops at the first other character.
// A text without a leading number, or an empty text, gives 0.
// "12.5.3" -> 12.5, "  -3abc" -> -3, "1e3" -> 1000, "1e" -> 1, ".5" -> 0.5, "-" -> 0.
double leadingNumber(const QString& text);

// Whether a text begins with a number: after its leading blanks, an optional sign, then a
// digit, or "." and a digit. Such a text's leading-number value is what it says, and not
// the 0 of an empty text or of a logger's "ERR" ("12.5", " -0.3", ".5 t", "1e999" do;
// "", "ERR", "-", ".", "e5" do not).
bool hasLeadingNumber(QStringView text);

// True when the text, without its leading and trailing blanks, is one complete number
// in the grammar above (sign, digits with at most one ".", at least one digit, optional
// exponent) and nothing else.
bool isNumberText(const QString& text);

// The "##0.00" (decimals = 2) and "##0.0" (decimals = 1) patterns applied to a text:
// a text that is a number (isNumberText) is written with at least one digit before the
// point and exactly `decimals` digits after it, rounded half away from zero on the
// decimal digits as written (2.675 -> 2.68, 1.005 -> 1.01), a leading "-" when the
// rounded value is below zero, no digit grouping, no exponent. A text that is not a
// number is returned unchanged; an empty text stays empty.
QString formatPattern(const QString& text, int decimals);

// The same pattern applied to a stored number: the number's shortest decimal form is
// rounded as above (2.675 -> "2.68").
QString formatNumber(double value, int decimals);

// A number in its shortest plain decimal form, as written into messages and shown
// for numbers appended to an empty text: no exponent, no trailing zeros, no leading
// blank, "-" when negative. 300 -> "300", -20 -> "-20", 0.5 -> "0.5", 1e-7 -> "0.0000001".
QString plainDecimal(double value);

} // namespace rv
