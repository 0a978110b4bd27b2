// Typed numbers: one parse and one format rule for every numeric field.
#include "runtime/numbers.h"

#include <QLocale>
#include <QObject>
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

// The text with a "." that the desktop would take for a thousands separator, in its
// ASCII form; "" when there is none.
QString GroupedLooking(const QString &text) {
    const QLocale locale;
    if (locale.groupSeparator() != "." || locale.decimalPoint() == ".") return {};
    static const QRegularExpression grouped(R"(^[+-]?\d+\.\d{3}$)");
    const QString t = Normalised(text);
    return !text.contains(locale.decimalPoint()) && grouped.match(t).hasMatch() ? t : QString();
}

} // namespace

QString AmbiguousNumberNote(const QString &text, bool wholeNumber) {
    const QString t = GroupedLooking(text);
    if (t.isEmpty()) return {};
    const QString thousands = QString(t).remove('.');
    if (wholeNumber) return QObject::tr("Type %1.").arg(thousands);
    const QString point = DecimalSeparator();
    return QObject::tr("Type %1, or %2 for %3.")
        .arg(thousands, QString(t).replace('.', point), FormatTypedNumber(t.toDouble()));
}

QString DecimalSeparator() {
    return QLocale().decimalPoint();
}

std::optional<double> ParseTypedNumber(const QString &text) {
    static const QRegularExpression grammar(R"(^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$)");
    const QString t = Normalised(text);
    if (!grammar.match(t).hasMatch() || !GroupedLooking(text).isEmpty()) return std::nullopt;
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
