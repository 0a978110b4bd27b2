// The graph: plots kept small in one shared point store, drawn into a cached
// picture one at a time; a range that must grow redraws them all.
#include "platform/graph.h"
#include "platform/chartframe.h"
#include "platform/chartpicture.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QVarLengthArray>
#include <vector>

using namespace chartdraw;

namespace {

enum PlotStyleFlag : quint8 { DrawLines = 1, DrawMarkers = 2, DrawRectangle = 4 };

// One plot, kept small: its points live in the graph's shared point store.
struct GraphPlot {
    int handle;
    quint32 first; // index of its first point
    quint32 count;
    QRgb color; // line and markers, or rectangle frame; alpha 0 = none
    QRgb fill;  // rectangle fill; alpha 0 = none
    quint8 style;
};

struct Axis {
    Range base{0, 100}; // as set; autoscaling starts from here
    Range now{0, 100};
    bool autoScale = false;

    // Widens the range to hold [lo, hi], at least doubling it so that full redraws stay rare.
    bool grow(double lo, double hi) {
        if (!autoScale || !(lo <= hi)) return false;
        Range r = drawable(now);
        const double span = r.max - r.min;
        if (hi > r.max) r.max = std::max(hi, r.max + span);
        if (lo < r.min) r.min = std::min(lo, r.min - span);
        const bool grown = r.min != now.min || r.max != now.max;
        now = r;
        return grown;
    }
    void set(Range r) { base = now = r; }
};

// A colour as a plot keeps it; alpha 0 = no colour.
QRgb rgbOf(QColor c) {
    return c.isValid() ? c.rgba() : 0;
}

void drawMarkers(QPainter &p, const QPointF *points, int count, QColor color, int size) {
    for (int i = 0; i < count; ++i)
        if (placed(points[i]))
            p.fillRect(QRect(qRound(points[i].x()) - size / 2, qRound(points[i].y()) - size / 2, size, size),
                       color);
}

} // namespace

struct Graph::Data {
    Axis x, y;
    std::vector<GraphPlot> plots; // in handle order
    std::vector<QPointF> points;
    std::size_t deadPoints = 0; // points of deleted plots, dropped at the next compaction
    int nextHandle = 1;
    std::vector<QPointF> cursors = std::vector<QPointF>(1, QPointF(notPlaced, notPlaced));
    QImage cache; // frame and every plot; cursors are drawn above it at each paint
    Frame frame;
    bool cacheValid = false;

    void renderCache(const QWidget &w);
    void drawPlot(QPainter &p, const Mapper &m, const GraphPlot &plot) const;
    void compact();
};

void Graph::Data::renderCache(const QWidget &w) {
    const qreal dpr = w.devicePixelRatioF();
    cache = QImage((QSizeF(w.size()) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    cache.setDevicePixelRatio(dpr);
    frame = layoutFrame(w, x.now, y.now);
    cacheValid = !cache.isNull();
    if (!cacheValid) return;
    QPainter p(&cache);
    drawFrame(p, w, frame);
    p.setClipRect(frame.area);
    const Mapper m(frame);
    for (const GraphPlot &plot : plots)
        drawPlot(p, m, plot);
}

void Graph::Data::drawPlot(QPainter &p, const Mapper &m, const GraphPlot &plot) const {
    QVarLengthArray<QPointF, 16> mapped(plot.count);
    for (quint32 i = 0; i < plot.count; ++i)
        mapped[i] = m.map(points[plot.first + i]);
    if (plot.style & DrawRectangle) {
        if (!placed(mapped[0]) || !placed(mapped[1])) return;
        const QRectF r = QRectF(mapped[0], mapped[1]).normalized();
        p.setRenderHint(QPainter::Antialiasing, false);
        if (qAlpha(plot.fill)) p.fillRect(r, QColor::fromRgba(plot.fill));
        if (qAlpha(plot.color)) {
            p.setPen(QColor::fromRgba(plot.color));
            p.setBrush(Qt::NoBrush);
            p.drawRect(r);
        }
        return;
    }
    const QColor color = QColor::fromRgba(plot.color);
    if ((plot.style & DrawLines) && plot.count > 1) {
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(color, 1.0));
        drawLineRuns(p, mapped.data(), int(plot.count));
    }
    // A single point without markers still shows, as a small dot.
    if ((plot.style & DrawMarkers) || plot.count == 1)
        drawMarkers(p, mapped.data(), int(plot.count), color, (plot.style & DrawMarkers) ? 5 : 3);
}

void Graph::Data::compact() {
    std::vector<QPointF> live;
    live.reserve(points.size() - deadPoints);
    for (GraphPlot &plot : plots) {
        const quint32 first = quint32(live.size());
        live.insert(live.end(), points.begin() + plot.first, points.begin() + plot.first + plot.count);
        plot.first = first;
    }
    points.swap(live);
    deadPoints = 0;
}

Graph::Graph(QWidget *parent) : QWidget(parent), d(std::make_unique<Data>()) {
    setMinimumSize(80, 60);
    // The cached picture covers the whole widget: the panel beneath need not be drawn first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

Graph::~Graph() = default;

double Graph::xMin() const {
    return d->x.now.min;
}
void Graph::setXMin(double v) {
    setXRange(v, d->x.base.max);
}
double Graph::xMax() const {
    return d->x.now.max;
}
void Graph::setXMax(double v) {
    setXRange(d->x.base.min, v);
}
double Graph::yMin() const {
    return d->y.now.min;
}
void Graph::setYMin(double v) {
    setYRange(v, d->y.base.max);
}
double Graph::yMax() const {
    return d->y.now.max;
}
void Graph::setYMax(double v) {
    setYRange(d->y.base.min, v);
}
bool Graph::xAutoScale() const {
    return d->x.autoScale;
}
void Graph::setXAutoScale(bool on) {
    d->x.autoScale = on;
}
bool Graph::yAutoScale() const {
    return d->y.autoScale;
}
void Graph::setYAutoScale(bool on) {
    d->y.autoScale = on;
}

// The single limits of a resource file arrive one at a time, so an empty range
// in between is stored and drawn as a one-unit range until the other limit comes.
void Graph::setXRange(double min, double max) {
    d->x.set({min, max});
    d->cacheValid = false;
    update();
}

void Graph::setYRange(double min, double max) {
    d->y.set({min, max});
    d->cacheValid = false;
    update();
}

int Graph::cursors() const {
    return int(d->cursors.size());
}

void Graph::setCursors(int n) {
    d->cursors.resize(std::size_t(std::clamp(n, 0, maxCursors)), QPointF(notPlaced, notPlaced));
    update();
}

int Graph::plotXY(const double *x, const double *y, int count, QColor color, bool lines, bool points) {
    if (!x || !y || count < 1 || count > maxPlotPoints) return 0;
    if (d->points.size() + std::size_t(count) > std::numeric_limits<quint32>::max()) return 0;
    const auto first = quint32(d->points.size());
    for (int i = 0; i < count; ++i)
        d->points.emplace_back(x[i], y[i]);
    return addPlot(first, count, rgbOf(color), 0, (lines ? DrawLines : 0) | (points ? DrawMarkers : 0));
}

int Graph::plotRectangle(double x1, double y1, double x2, double y2, QColor frame, QColor fill) {
    if (d->points.size() + 2 > std::numeric_limits<quint32>::max()) return 0;
    const auto first = quint32(d->points.size());
    d->points.emplace_back(x1, y1);
    d->points.emplace_back(x2, y2);
    return addPlot(first, 2, rgbOf(frame), rgbOf(fill), DrawRectangle);
}

// Records a plot whose points are already stored; draws only it onto the cached
// picture unless the range had to grow, and repaints only where it lies.
int Graph::addPlot(quint32 first, int count, QRgb color, QRgb fill, int style) {
    const GraphPlot plot{d->nextHandle++, first, quint32(count), color, fill, quint8(style)};
    d->plots.push_back(plot);
    const double inf = std::numeric_limits<double>::infinity();
    double x0 = inf, x1 = -inf, y0 = inf, y1 = -inf;
    for (int i = 0; i < count; ++i) {
        const QPointF p = d->points[first + i];
        if (!placed(p)) continue;
        x0 = std::min(x0, p.x()), x1 = std::max(x1, p.x());
        y0 = std::min(y0, p.y()), y1 = std::max(y1, p.y());
    }
    const bool grownX = d->x.grow(x0, x1);
    const bool grownY = d->y.grow(y0, y1);
    if (grownX || grownY || !d->cacheValid) {
        d->cacheValid = false;
        update();
        return plot.handle;
    }
    QPainter p(&d->cache);
    p.setClipRect(d->frame.area);
    const Mapper m(d->frame);
    d->drawPlot(p, m, plot);
    if (x0 <= x1) update(QRectF(m.map(x0, y1), m.map(x1, y0)).toAlignedRect().adjusted(-4, -4, 4, 4));
    return plot.handle;
}

void Graph::setGraphCursor(int cursor, double x, double y) {
    if (cursor < 1 || cursor > cursors()) return;
    QPointF &placedAt = d->cursors[std::size_t(cursor - 1)];
    if (placedAt == QPointF(x, y)) return; // polling places it at every cycle, mostly where it was
    placedAt = QPointF(x, y);
    update();
}

bool Graph::deletePlot(int handle, bool redrawNow) {
    if (handle == -1) {
        d->plots.clear();
        d->points.clear();
        d->deadPoints = 0;
        d->x.now = d->x.base;
        d->y.now = d->y.base;
    } else {
        const auto it = std::lower_bound(d->plots.begin(), d->plots.end(), handle,
                                         [](const GraphPlot &p, int h) { return p.handle < h; });
        if (it == d->plots.end() || it->handle != handle) return false;
        d->deadPoints += it->count;
        d->plots.erase(it);
        if (d->deadPoints > d->points.size() / 2) d->compact();
    }
    d->cacheValid = false;
    if (redrawNow) {
        repaint();
    } else {
        update();
    }
    return true;
}

int Graph::plotCount() const {
    return int(d->plots.size());
}

QPointF Graph::cursorPosition(int cursor) const {
    if (cursor < 1 || cursor > cursors()) return {notPlaced, notPlaced};
    return d->cursors[std::size_t(cursor - 1)];
}

QRect Graph::plotArea() const {
    return layoutFrame(*this, d->x.now, d->y.now).area;
}

void Graph::mousePressEvent(QMouseEvent *event) {
    pressPictureButton(this, event);
}

void Graph::resizeEvent(QResizeEvent *) {
    d->cacheValid = false;
}

void Graph::paintEvent(QPaintEvent *) {
    const QSize pixels = (QSizeF(size()) * devicePixelRatioF()).toSize();
    if (!d->cacheValid || d->cache.size() != pixels) d->renderCache(*this);
    QPainter p(this);
    p.drawImage(0, 0, d->cache);
    p.setClipRect(d->frame.area);
    p.setPen(QColor(0x40, 0x40, 0x40));
    const Mapper m(d->frame);
    for (const QPointF &cursor : d->cursors) {
        const QPointF c = m.map(cursor);
        if (!placed(c)) continue;
        p.drawLine(QPointF(c.x(), d->frame.area.top()), QPointF(c.x(), d->frame.area.bottom() + 1));
        p.drawLine(QPointF(d->frame.area.left(), c.y()), QPointF(d->frame.area.right() + 1, c.y()));
    }
    drawPictureButton(p, *this);
}
