// Strip charts and graphs drawn with QPainter: a white plot area with a light
// grid, axis numbers on the left and at the bottom, thin coloured traces.
#include "platform/chartwidgets.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSvgGenerator>
#include <QVarLengthArray>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double notPlaced = std::numeric_limits<double>::quiet_NaN();

// Set while a chart is rendered into a picture file, which shows no picture button.
bool renderingPicture = false;

// A small framed arrow into a tray: "save this chart".
void drawPictureButton(QPainter &p, const QWidget &chart) {
    const QRect r = ChartPictureButton(chart);
    if (r.isEmpty() || renderingPicture) return;
    p.save();
    p.setClipping(false);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(0x70, 0x70, 0x70));
    p.setBrush(QColor(0xf4, 0xf4, 0xf4));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    const int cx = r.center().x(), top = r.top() + 3, bottom = r.bottom() - 4;
    p.drawLine(cx, top, cx, bottom);
    p.drawLine(cx - 3, bottom - 3, cx, bottom);
    p.drawLine(cx + 3, bottom - 3, cx, bottom);
    p.drawLine(r.left() + 3, r.bottom() - 2, r.right() - 3, r.bottom() - 2);
    p.restore();
}

void pressPictureButton(QWidget *chart, QMouseEvent *event) {
    if (event->button() == Qt::LeftButton && ChartPictureButton(*chart).contains(event->position().toPoint()))
        OfferChartSave(chart);
}

struct Range {
    double min;
    double max;
};

// A range that can be drawn: finite, not empty, with a finite span.
Range drawable(Range r) {
    if (!std::isfinite(r.min)) r.min = 0;
    if (!(r.max > r.min)) r.max = r.min + std::max(1.0, std::abs(r.min) * 1e-6);
    if (!std::isfinite(r.max - r.min)) return {0, 1};
    return r;
}

// Round-number ticks (1, 2 or 5 times a power of ten) inside a range.
struct Ticks {
    double first = 0;
    double step = 1;
    int count = 0;
    int decimals = 0;
    double at(int i) const { return first + i * step; }
};

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

// Where the plot area sits in a widget and which ticks it carries.
struct Frame {
    QRect area;
    Range x;
    Range y;
    Ticks xTicks;
    Ticks yTicks;
};

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

bool placed(QPointF p) {
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

// The plot area: white, with its grid and a border just outside it, so that plots never cover it.
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

// What a plot area's redraw covers: the area and its border.
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

// Draws a polyline, broken where a point cannot be drawn.
void drawLineRuns(QPainter &p, const QPointF *points, int count) {
    int start = 0;
    for (int i = 0; i <= count; ++i) {
        if (i < count && placed(points[i])) continue;
        if (i - start > 1) p.drawPolyline(points + start, i - start);
        start = i + 1;
    }
}

QRgb rgbOf(QColor c) {
    return c.isValid() ? c.rgba() : 0;
} // alpha 0 = no colour

} // namespace

// ---- StripChart --------------------------------------------------------------

namespace {
const QRgb defaultTraceColors[] = {qRgb(255, 0, 0),   qRgb(0, 170, 0),    qRgb(0, 0, 255),
                                   qRgb(255, 128, 0), qRgb(200, 0, 200),  qRgb(0, 150, 150),
                                   qRgb(0, 0, 0),     qRgb(128, 128, 128)};
} // namespace

struct StripChart::Data {
    int traces = 1;
    int pps = 101;
    std::vector<double> ring = std::vector<double>(101); // pps slots of `traces` values each
    std::vector<char> marked = std::vector<char>(101);   // per slot: the point is marked
    int head = 0;                                        // slot of the oldest point
    int size = 0;                                        // points held per trace
    QList<QColor> colors;                                // set by the program or resource
    Range manual{0, 100};
    bool autoScale = false;

    // The frame (axes, grid, numbers) as last drawn, for the size and ranges it was
    // drawn for: a plot redraws only the plot area, the frame stays.
    QImage frameCache;
    Frame cachedFrame;
    QSize cachedSize;
    Range cachedY{0, 0};
    int cachedPps = 0;

    // Point i (0 = oldest) of a trace, and its slot.
    double at(int i, int trace) const { return ring[std::size_t(slotOf(i)) * traces + trace]; }
    int slotOf(int i) const { return (head + i) % pps; }
    void reshape(int newTraces, int newPps);
    Range range() const;
    // Whether the cached frame is the one the widget shows now.
    bool frameCached(const QWidget &w) const;
    // The frame for the widget as it is now, drawn into the cache when it changed.
    const Frame &cachedFrameFor(const QWidget &w);
    QColor color(int trace) const {
        if (trace < colors.size() && colors[trace].isValid()) return colors[trace];
        return QColor(defaultTraceColors[trace % std::size(defaultTraceColors)]);
    }
    Frame frame(const QWidget &w) const { return layoutFrame(w, {0, double(pps - 1)}, range()); }
};

// Keeps the newest points when only the screen width changes; a new trace count starts empty.
void StripChart::Data::reshape(int newTraces, int newPps) {
    std::vector<double> next(std::size_t(newTraces) * newPps);
    std::vector<char> nextMarked(static_cast<std::size_t>(newPps));
    const int kept = newTraces == traces ? std::min(size, newPps) : 0;
    for (int i = 0; i < kept; ++i) {
        for (int t = 0; t < traces; ++t)
            next[std::size_t(i) * traces + t] = at(size - kept + i, t);
        nextMarked[std::size_t(i)] = marked[std::size_t(slotOf(size - kept + i))];
    }
    ring.swap(next);
    marked.swap(nextMarked);
    traces = newTraces;
    pps = newPps;
    head = 0;
    size = kept;
}

bool StripChart::Data::frameCached(const QWidget &w) const {
    const Range y = range();
    return !frameCache.isNull() && cachedSize == w.size() && cachedPps == pps && cachedY.min == y.min &&
           cachedY.max == y.max;
}

const Frame &StripChart::Data::cachedFrameFor(const QWidget &w) {
    if (frameCached(w)) return cachedFrame;
    cachedFrame = frame(w);
    cachedSize = w.size();
    cachedPps = pps;
    cachedY = range();
    const qreal dpr = w.devicePixelRatioF();
    frameCache = QImage((QSizeF(w.size()) * dpr).toSize(), QImage::Format_RGB32); // opaque: a plain copy
    frameCache.setDevicePixelRatio(dpr);
    if (!frameCache.isNull()) {
        QPainter p(&frameCache);
        drawFrame(p, w, cachedFrame);
    }
    return cachedFrame;
}

Range StripChart::Data::range() const {
    if (!autoScale) return manual;
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (int i = 0; i < size; ++i)
        for (int t = 0; t < traces; ++t) {
            const double v = at(i, t);
            if (std::isfinite(v)) lo = std::min(lo, v), hi = std::max(hi, v);
        }
    if (!(lo <= hi)) return {0, 1};
    const double pad = hi > lo ? (hi - lo) * 0.05 : std::max(1.0, std::abs(lo) * 0.1);
    return {lo - pad, hi + pad};
}

StripChart::StripChart(QWidget *parent) : QWidget(parent), d(std::make_unique<Data>()) {
    setMinimumSize(80, 60);
    // Every paint fills the whole widget: the panel beneath need not be drawn first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

StripChart::~StripChart() = default;

int StripChart::traces() const {
    return d->traces;
}

void StripChart::setTraces(int n) {
    n = std::clamp(n, 1, maxTraces);
    if (n == d->traces) return;
    d->reshape(n, d->pps);
    update();
}

int StripChart::pointsPerScreen() const {
    return d->pps;
}

void StripChart::setPointsPerScreen(int n) {
    n = std::clamp(n, 2, maxPointsPerScreen);
    if (n == d->pps) return;
    d->reshape(d->traces, n);
    update();
}

QString StripChart::traceColors() const {
    QStringList names;
    for (const QColor &c : d->colors)
        names.append(c.name());
    return names.join(QLatin1Char(','));
}

void StripChart::setTraceColors(const QString &colors) {
    d->colors.clear();
    for (const QString &name : colors.split(QLatin1Char(','), Qt::SkipEmptyParts))
        d->colors.append(QColor::fromString(name.trimmed()));
    update();
}

double StripChart::yMin() const {
    return d->manual.min;
}
void StripChart::setYMin(double v) {
    d->manual.min = v;
    update();
}
double StripChart::yMax() const {
    return d->manual.max;
}
void StripChart::setYMax(double v) {
    d->manual.max = v;
    update();
}
bool StripChart::yAutoScale() const {
    return d->autoScale;
}

void StripChart::plot(const double *values, int count) {
    if (!values || count < d->traces) return;
    const int n = count / d->traces;
    for (int i = std::max(0, n - d->pps); i < n; ++i) {
        int slot = d->head;
        if (d->size < d->pps) {
            slot = (d->head + d->size++) % d->pps;
        } else {
            d->head = (d->head + 1) % d->pps;
        }
        std::copy_n(values + std::size_t(i) * d->traces, d->traces,
                    d->ring.begin() + std::size_t(slot) * d->traces);
        d->marked[std::size_t(slot)] = 0;
    }
    updatePlot();
}

void StripChart::markNewest(const bool *marked, int count) {
    if (!marked) return;
    count = std::clamp(count, 0, d->size);
    for (int i = 0; i < count; ++i)
        d->marked[std::size_t(d->slotOf(d->size - count + i))] = marked[i] ? 1 : 0;
    updatePlot();
}

QVector<bool> StripChart::marks() const {
    QVector<bool> out;
    for (int i = 0; i < d->size; ++i)
        out.append(d->marked[std::size_t(d->slotOf(i))] != 0);
    return out;
}

void StripChart::clear() {
    d->head = 0;
    d->size = 0;
    updatePlot();
}

void StripChart::updatePlot() {
    if (d->frameCached(*this))
        update(plotAreaWithBorder(d->cachedFrame));
    else
        update();
}

void StripChart::setYRange(double min, double max) {
    if (!(min < max) || !std::isfinite(min) || !std::isfinite(max)) return;
    if (!d->autoScale && d->manual.min == min && d->manual.max == max) return; // set at every cycle
    d->manual = {min, max};
    d->autoScale = false;
    update();
}

void StripChart::setYAutoScale(bool on) {
    d->autoScale = on;
    update();
}

QVector<double> StripChart::tracePoints(int trace) const {
    QVector<double> points;
    if (trace < 0 || trace >= d->traces) return points;
    for (int i = 0; i < d->size; ++i)
        points.append(d->at(i, trace));
    return points;
}

QRect StripChart::plotArea() const {
    return d->frame(*this).area;
}

void StripChart::mousePressEvent(QMouseEvent *event) {
    pressPictureButton(this, event);
}

void StripChart::changeEvent(QEvent *event) {
    // Colours, font or style of the frame changed: draw it afresh.
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange ||
        event->type() == QEvent::StyleChange)
        d->frameCache = QImage();
    QWidget::changeEvent(event);
}

void StripChart::paintEvent(QPaintEvent *event) {
    QPainter p(this);
    Frame f;
    if (renderingPicture) {
        // A picture file gets the frame as lines and text.
        f = d->frame(*this);
        drawFrame(p, *this, f);
    } else {
        f = d->cachedFrameFor(*this);
        // A new plot leaves the rest of the frame as it is.
        if (plotAreaWithBorder(f).contains(event->rect()))
            drawPlotArea(p, f);
        else
            p.drawImage(0, 0, d->frameCache);
    }
    p.setClipRect(f.area);
    const Mapper m(f);
    for (int i = 0; i < d->size; ++i) {
        if (!d->marked[std::size_t(d->slotOf(i))]) continue;
        const double left = m.map(i - 0.5, f.y.min).x(), right = m.map(i + 0.5, f.y.min).x();
        p.fillRect(QRectF(left, f.area.top(), std::max(1.0, right - left), f.area.height()),
                   QColor(255, 200, 200));
    }
    p.setRenderHint(QPainter::Antialiasing);
    QVarLengthArray<QPointF, 256> line(d->size);
    for (int t = 0; t < d->traces; ++t) {
        for (int i = 0; i < d->size; ++i)
            line[i] = m.map(i, d->at(i, t));
        p.setPen(QPen(d->color(t), 1.0));
        drawLineRuns(p, line.data(), d->size);
    }
    drawPictureButton(p, *this);
}

// ---- Graph -------------------------------------------------------------------

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

    void render(const QWidget &w);
    void drawPlot(QPainter &p, const Mapper &m, const GraphPlot &plot) const;
    void compact();
};

void Graph::Data::render(const QWidget &w) {
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
    if (!d->cacheValid || d->cache.size() != pixels) d->render(*this);
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

bool SaveChartPicture(QWidget *chart, const QString &path) {
    if (!chart || chart->size().isEmpty()) return false;
    if (path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(chart->size());
        svg.setResolution(96); // a CSS pixel, so viewers show it at the chart's size
        svg.setViewBox(chart->rect());
        svg.setTitle(chart->objectName());
        QPainter painter;
        if (!painter.begin(&svg)) return false;
        renderingPicture = true;
        chart->render(&painter);
        renderingPicture = false;
        return painter.end();
    }
    // Device pixels of 1, so the picture has the chart's size whatever the screen's scaling.
    QImage image(chart->size(), QImage::Format_RGB32);
    image.fill(chart->palette().window().color());
    renderingPicture = true;
    chart->render(&image);
    renderingPicture = false;
    return image.save(path, "PNG");
}

QRect ChartPictureButton(const QWidget &chart) {
    constexpr int side = 14;
    if (chart.width() < 8 * side || chart.height() < 4 * side) return {};
    return QRect(chart.width() - side - 2, 1, side, side);
}
