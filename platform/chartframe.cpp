// The frame both chart widgets draw in: axis numbers at round values, laid out to
// fit the widget's font and size, a grid and the plot area.
#include "platform/chartframe.h"

#include <QPainter>
#include <QWidget>

namespace chartdraw {

namespace {

Ticks niceTicks(Range r, int wanted) {
    Ticks t;
    const double raw = (r.max - r.min) / std::max(wanted, 1);
    if (!(raw > 0) || !std::isfinite(raw)) return t;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double norm = raw / magnitude;
    t.step = (norm <= 1 ? 1 : norm <= 2 ? 2 : norm <= 5 ? 5 : 10) * magnitude;
    t.first = std::ceil(r.min / t.step) * t.step;
    const double n = std::floor((r.max - t.first) / t.step + 1e-9) + 1;
    t.count = int(std::clamp(n, 0.0, 50.0));
    t.decimals = std::max(0, int(-std::floor(std::log10(t.step))));
    return t;
}

QString tickLabel(double v, const Ticks &t) {
    if (std::abs(v) < t.step * 1e-6) v = 0; // no "-0"
    if (std::abs(v) >= 1e7 || t.decimals > 6) return QString::number(v, 'g', 6);
    return QString::number(v, 'f', t.decimals);
}

} // namespace

Range drawable(Range r) {
    if (!std::isfinite(r.min)) r.min = 0;
    if (!(r.max > r.min)) r.max = r.min + std::max(1.0, std::abs(r.min) * 1e-6);
    if (!std::isfinite(r.max - r.min)) return {0, 1};
    return r;
}

Frame layoutFrame(const QWidget &w, Range x, Range y) {
    Frame f{{}, drawable(x), drawable(y), {}, {}};
    const QFontMetrics fm = w.fontMetrics();
    const int h = fm.height();
    const int top = h / 2 + 2;
    const int plotHeight = std::max(1, w.height() - top - h - 6);
    f.yTicks = niceTicks(f.y, std::clamp(plotHeight / (2 * h), 2, 10));
    int labelWidth = 0;
    for (int i = 0; i < f.yTicks.count; ++i)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(tickLabel(f.yTicks.at(i), f.yTicks)));
    const int left = labelWidth + 8;
    const int right = fm.horizontalAdvance(QStringLiteral("000"));
    f.area = QRect(left, top, std::max(1, w.width() - left - right), plotHeight);
    const double widest = std::max(std::abs(f.x.min), std::abs(f.x.max));
    const int xLabelWidth = fm.horizontalAdvance(QString::number(widest, 'g', 6)) + 3 * h;
    f.xTicks = niceTicks(f.x, std::clamp(f.area.width() / xLabelWidth, 2, 10));
    return f;
}

void drawPlotArea(QPainter &p, const Frame &f) {
    p.fillRect(f.area, Qt::white);
    const Mapper m(f);
    p.setPen(QColor(0xe6, 0xe6, 0xe6));
    for (int i = 0; i < f.yTicks.count; ++i) {
        const int py = int(m.map(f.x.min, f.yTicks.at(i)).y());
        p.drawLine(f.area.left(), py, f.area.right(), py);
    }
    for (int i = 0; i < f.xTicks.count; ++i) {
        const int px = int(m.map(f.xTicks.at(i), f.y.min).x());
        p.drawLine(px, f.area.top(), px, f.area.bottom());
    }
    p.setPen(QColor(0xa0, 0xa0, 0xa0));
    p.drawRect(f.area.adjusted(-1, -1, 0, 0));
}

QRect plotAreaWithBorder(const Frame &f) {
    return f.area.adjusted(-1, -1, 1, 1);
}

void drawFrame(QPainter &p, const QWidget &w, const Frame &f) {
    p.fillRect(w.rect(), w.palette().window());
    drawPlotArea(p, f);
    const Mapper m(f);
    const int h = w.fontMetrics().height();
    p.setPen(w.palette().color(QPalette::WindowText));
    for (int i = 0; i < f.yTicks.count; ++i) {
        const int py = int(m.map(f.x.min, f.yTicks.at(i)).y());
        p.drawText(QRect(0, py - h / 2, f.area.left() - 5, h), Qt::AlignRight | Qt::AlignVCenter,
                   tickLabel(f.yTicks.at(i), f.yTicks));
    }
    for (int i = 0; i < f.xTicks.count; ++i) {
        const int px = int(m.map(f.xTicks.at(i), f.y.min).x());
        p.drawText(QRect(px - 50, f.area.bottom() + 4, 100, h), Qt::AlignHCenter | Qt::AlignVCenter,
                   tickLabel(f.xTicks.at(i), f.xTicks));
    }
}

void drawLineRuns(QPainter &p, const QPointF *points, int count) {
    int start = 0;
    for (int i = 0; i <= count; ++i) {
        if (i < count && placed(points[i])) continue;
        if (i - start > 1) p.drawPolyline(points + start, i - start);
        start = i + 1;
    }
}

} // namespace chartdraw
