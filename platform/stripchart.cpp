// The strip chart: a ring of points per trace, a cached frame, and a paint that
// draws only the plot area when just the points changed.
#include "platform/stripchart.h"
#include "platform/chartframe.h"
#include "platform/chartpicture.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QVarLengthArray>
#include <vector>

using namespace chartdraw;

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
    if (renderingPicture()) {
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
