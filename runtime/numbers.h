// The one rule for numbers that a user types and reads in a field: the desktop
// locale's decimal separator or ".", digits, an optional sign and exponent, and
// nothing else. Text that does not follow it is unreadable, never a guess such
// as 0 or a number with a separator dropped. Files keep their own fixed formats.
#pragma once

#include <QString>
#include <optional>

namespace runtime {

// A floating-point number as typed: optional sign, digits with at most one decimal
// separator (the locale's or "."), optional exponent; no group separators. Where the
// desktop groups thousands with "." (de_DE), "1.000" reads as a thousand to its user
// and as one to this rule: such text is refused (see AmbiguousNumberNote).
std::optional<double> ParseTypedNumber(const QString &text);
// For text that the desktop's "." group separator makes ambiguous (a "." followed by
// exactly three digits, no decimal separator of the locale): how to type it plainly,
// "Type 1000, or 1,000 for 1." (a whole-number field: "Type 1000."); else "".
QString AmbiguousNumberNote(const QString &text, bool wholeNumber);
// A whole number as typed: optional sign and digits only.
std::optional<long long> ParseTypedWholeNumber(const QString &text);
// The shortest text that reads back as exactly v, with the locale's decimal separator,
// in plain notation ("0,0001") unless that is much longer than the exponent form ("1e-10").
QString FormatTypedNumber(double v);
// v rounded to so many significant digits (1..17), trailing zeros dropped, for a
// display too narrow for all of them.
QString FormatRoundedNumber(double v, int significantDigits);
// The locale's decimal separator, for messages.
QString DecimalSeparator();

} // namespace runtime
