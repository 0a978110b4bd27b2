// Typed numbers: one parse and one format rule for every numeric field.
#include "platform/numbers.h"

#include <QLocale>
#include <QRegularExpression>
#include <charconv>
#include <cmath>
#include <string>

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

QString FormatTypedNumber(double v) {
    QString t = QString::number(v, 'g', QLocale::FloatingPointShortest);
    const QString point = DecimalSeparator();
    if (point != ".") t.replace('.', point);
    return t;
}
