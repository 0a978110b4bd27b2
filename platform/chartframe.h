// The frame that both chart widgets draw their data in: a white plot area with a
// light grid, axis numbers on the left and at the bottom, and the mapping from data
// to pixels. Shared by stripchart.cpp and graph.cpp; not for the programs.
#pragma once

#include <QPointF>
#include <QRect>
#include <algorithm>
#include <cmath>
#include <limits>

class QPainter;
class QWidget;

namespace chartdraw {

// The coordinates of a point that is not drawn (a cursor not yet placed, say).
constexpr double notPlaced = std::numeric_limits<double>::quiet_NaN();

struct Range {
    double min;
    double max;
};

// A range that can be drawn: finite, not empty, with a finite span.
Range drawable(Range r);

// Round-number ticks (1, 2 or 5 times a power of ten) inside a range.
struct Ticks {
    double first = 0;
    double step = 1;
    int count = 0;
    int decimals = 0;
    double at(int i) const { return first + i * step; }
};

// Where the plot area sits in a widget and which ticks it carries.
struct Frame {
    QRect area;
    Range x;
    Range y;
    Ticks xTicks;
    Ticks yTicks;
};

// The frame of a widget at its size and font for the given data ranges.
Frame layoutFrame(const QWidget &w, Range x, Range y);

// Data coordinates to pixel centres of a frame's plot area.
class Mapper {
  public:
    explicit Mapper(const Frame &f)
        : left_(f.area.left() + 0.5), bottom_(f.area.bottom() + 0.5), x_(f.x), y_(f.y),
          xScale_((f.area.width() - 1) / (f.x.max - f.x.min)),
          yScale_((f.area.height() - 1) / (f.y.max - f.y.min)) {}

    // NaN for a point that cannot be drawn. Far-off points are pulled in so that
    // the rasteriser never sees huge coordinates.
    QPointF map(double x, double y) const {
        const double px = left_ + (x - x_.min) * xScale_;
        const double py = bottom_ - (y - y_.min) * yScale_;
        if (!std::isfinite(px) || !std::isfinite(py)) return {notPlaced, notPlaced};
        return {std::clamp(px, -limit, limit), std::clamp(py, -limit, limit)};
    }
    QPointF map(QPointF p) const { return map(p.x(), p.y()); }

  private:
    static constexpr double limit = 1e5;
    double left_, bottom_;
    Range x_, y_;
    double xScale_, yScale_;
};

// Whether a point can be drawn.
inline bool placed(QPointF p) {
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

// The plot area: white, with its grid and a border just outside it, so that plots never cover it.
void drawPlotArea(QPainter &p, const Frame &f);
// What a plot area's redraw covers: the area and its border.
QRect plotAreaWithBorder(const Frame &f);
// The whole frame: the widget's background, the plot area and the axis numbers.
void drawFrame(QPainter &p, const QWidget &w, const Frame &f);
// Draws a polyline, broken where a point cannot be drawn.
void drawLineRuns(QPainter &p, const QPointF *points, int count);

} // namespace chartdraw
