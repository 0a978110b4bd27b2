// Typed numbers: one parse and one format rule for every numeric field.
#include "runtime/numbers.h"

#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace runtime {

namespace {

// The typed text with the locale's signs and separator in their ASCII form.
QString Normalised(const QString &text) {
    const QLocale locale;
    QString t = text.trimmed();
    if (locale.negativeSign() != "-") t.replace(locale.negativeSign(), "-");
    if (locale.positiveSign() != "+") t.replace(locale.positiveSign(), "+");
    if (locale.decimalPoint() != ".") t.replace(locale.decimalPoint(), ".");
    return t;
}

} // namespace

QString DecimalSeparator() {
    return QLocale().decimalPoint();
}

std::optional<double> ParseTypedNumber(const QString &text) {
    static const QRegularExpression grammar(R"(^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$)");
    const QString t = Normalised(text);
    if (!grammar.match(t).hasMatch()) return std::nullopt;
    std::string s = t.toStdString();
    if (s.front() == '+') s.erase(0, 1); // from_chars takes no plus sign
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<long long> ParseTypedWholeNumber(const QString &text) {
    static const QRegularExpression grammar(R"(^[+-]?\d+$)");
    const QString t = Normalised(text);
    if (!grammar.match(t).hasMatch()) return std::nullopt;
    std::string s = t.toStdString();
    if (s.front() == '+') s.erase(0, 1);
    long long v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return v;
}

namespace {

// Text of v by to_chars in a format, with the locale's decimal separator.
template <typename... Precision> QString CharsOf(double v, std::chars_format format, Precision... precision) {
    // The longest fixed text of a double: 309 digits before the point, or 324 after it.
    char text[400];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, v, format, precision...);
    if (ec != std::errc()) return {};
    QString t = QString::fromLatin1(text, end - text);
    const QString point = DecimalSeparator();
    if (point != ".") t.replace('.', point);
    return t;
}

} // namespace

QString FormatTypedNumber(double v) {
    // Both are the shortest texts that read back as v; the plain one unless it runs
    // much longer than the exponent form (1e-10, 1e+20).
    const QString plain = CharsOf(v, std::chars_format::fixed);
    const QString exponent = CharsOf(v, std::chars_format::scientific);
    return !plain.isEmpty() && plain.size() <= exponent.size() + 5 ? plain : exponent;
}

QString FormatRoundedNumber(double v, int significantDigits) {
    return CharsOf(v, std::chars_format::general, std::clamp(significantDigits, 1, 17));
}

} // namespace runtime
