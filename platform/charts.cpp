// The chart calls of the user-interface layer: strip charts and graphs,
// addressed by panel and control like every other control.
#include "platform/graph.h"
#include "platform/panelregistry.h"
#include "platform/stripchart.h"

#include <cmath>
#include <vector>

namespace {

// 0xRRGGBB to a colour; VAL_TRANSPARENT gives no colour. False for any other value.
bool toColor(int rgb, QColor &color) {
    if (rgb == VAL_TRANSPARENT) {
        color = QColor();
        return true;
    }
    if (rgb < 0 || rgb > 0xFFFFFF) return false;
    color = QColor(QRgb(rgb));
    return true;
}

bool isRange(double min, double max) {
    return std::isfinite(min) && std::isfinite(max) && min < max;
}

bool isPlotStyle(int plotStyle, int pointStyle, int lineStyle) {
    return plotStyle >= VAL_THIN_LINE && plotStyle <= VAL_SCATTER && pointStyle >= VAL_NO_POINT &&
           pointStyle <= VAL_EMPTY_CIRCLE && lineStyle >= VAL_SOLID && lineStyle <= VAL_DOT;
}

// Both PlotXY forms. Every marker style is drawn as a small square and every
// line solid: the programs ask for nothing else.
template <class T>
int plotXYOf(int panel, Ctrl c, const T *x, const T *y, int count, int plotStyle, int pointStyle,
             int lineStyle, int color) {
    int err = UIE_NO_ERROR;
    Graph *graph = As<Graph>(panel, c, &err);
    if (!graph) return err;
    QColor qcolor;
    if (count < 1 || count > Graph::maxPlotPoints || !isPlotStyle(plotStyle, pointStyle, lineStyle) ||
        !toColor(color, qcolor))
        return UIE_INDEX_OUT_OF_RANGE;
    if (!x || !y) return UIE_ERROR;
    const std::vector<double> xs(x, x + count), ys(y, y + count);
    const bool scatter = plotStyle == VAL_SCATTER;
    const bool markers = scatter || (plotStyle == VAL_CONNECTED_POINTS && pointStyle != VAL_NO_POINT);
    const int handle = graph->plotXY(xs.data(), ys.data(), count, qcolor, !scatter, markers);
    return handle > 0 ? handle : UIE_ERROR;
}

} // namespace

int PlotStripChart(int panel, Ctrl c, const double *values, int count) {
    int err = UIE_NO_ERROR;
    StripChart *chart = As<StripChart>(panel, c, &err);
    if (!chart) return err;
    if (count < 0 || count % chart->traces() != 0) return UIE_INDEX_OUT_OF_RANGE;
    if (count > 0 && !values) return UIE_ERROR;
    chart->plot(values, count);
    return 0;
}

int MarkStripChartPoints(int panel, Ctrl c, const bool *marked, int count) {
    int err = UIE_NO_ERROR;
    StripChart *chart = As<StripChart>(panel, c, &err);
    if (!chart) return err;
    if (count < 0 || (count > 0 && !marked)) return UIE_INDEX_OUT_OF_RANGE;
    chart->markNewest(marked, count);
    return 0;
}

int ClearStripChart(int panel, Ctrl c) {
    int err = UIE_NO_ERROR;
    StripChart *chart = As<StripChart>(panel, c, &err);
    if (!chart) return err;
    chart->clear();
    return 0;
}

int SetAxisScalingMode(int panel, Ctrl c, int axis, int mode, double min, double max) {
    int err = UIE_NO_ERROR;
    QWidget *w = LookupCtrl(panel, c, &err);
    if (!w) return err;
    const bool knownAxis = axis == VAL_LEFT_YAXIS || axis == VAL_BOTTOM_XAXIS;
    const bool autoScale = mode == VAL_AUTOSCALE;
    if (!knownAxis || (mode != VAL_MANUAL && !autoScale) || (!autoScale && !isRange(min, max)))
        return UIE_INDEX_OUT_OF_RANGE;
    if (auto *chart = qobject_cast<StripChart *>(w)) {
        if (axis != VAL_LEFT_YAXIS) return UIE_INVALID_ATTRIBUTE; // its x axis counts points
        if (autoScale) {
            chart->setYAutoScale(true);
        } else {
            chart->setYRange(min, max);
        }
        return 0;
    }
    auto *graph = qobject_cast<Graph *>(w);
    if (!graph) return UIE_WRONG_TYPE;
    if (axis == VAL_BOTTOM_XAXIS) {
        graph->setXAutoScale(autoScale);
        if (!autoScale) graph->setXRange(min, max);
    } else {
        graph->setYAutoScale(autoScale);
        if (!autoScale) graph->setYRange(min, max);
    }
    return 0;
}

int PlotXY(int panel, Ctrl c, const uint16_t *x, const uint16_t *y, int count, int plotStyle, int pointStyle,
           int lineStyle, int color) {
    return plotXYOf(panel, c, x, y, count, plotStyle, pointStyle, lineStyle, color);
}

int PlotXY(int panel, Ctrl c, const double *x, const double *y, int count, int plotStyle, int pointStyle,
           int lineStyle, int color) {
    return plotXYOf(panel, c, x, y, count, plotStyle, pointStyle, lineStyle, color);
}

int PlotRectangle(int panel, Ctrl c, double x1, double y1, double x2, double y2, int color, int fillColor) {
    int err = UIE_NO_ERROR;
    Graph *graph = As<Graph>(panel, c, &err);
    if (!graph) return err;
    QColor frame, fill;
    const bool finite = std::isfinite(x1) && std::isfinite(y1) && std::isfinite(x2) && std::isfinite(y2);
    if (!finite || !toColor(color, frame) || !toColor(fillColor, fill)) return UIE_INDEX_OUT_OF_RANGE;
    const int handle = graph->plotRectangle(x1, y1, x2, y2, frame, fill);
    return handle > 0 ? handle : UIE_ERROR;
}

int SetGraphCursor(int panel, Ctrl c, int cursor, double x, double y) {
    int err = UIE_NO_ERROR;
    Graph *graph = As<Graph>(panel, c, &err);
    if (!graph) return err;
    if (cursor < 1 || cursor > graph->cursors() || !std::isfinite(x) || !std::isfinite(y))
        return UIE_INDEX_OUT_OF_RANGE;
    graph->setGraphCursor(cursor, x, y);
    return 0;
}

int DeleteGraphPlot(int panel, Ctrl c, int plotHandle, int redrawMode) {
    int err = UIE_NO_ERROR;
    Graph *graph = As<Graph>(panel, c, &err);
    if (!graph) return err;
    if (redrawMode != VAL_IMMEDIATE_DRAW && redrawMode != VAL_DELAYED_DRAW) return UIE_INDEX_OUT_OF_RANGE;
    return graph->deletePlot(plotHandle, redrawMode == VAL_IMMEDIATE_DRAW) ? 0 : UIE_ITEM_NOT_FOUND;
}
