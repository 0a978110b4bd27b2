// Strip charts and graphs: the widgets directly offscreen, and the chart calls
// on controls of a real panel.
#include "platform/chartwidgets.h"
#include "platform/testhooks.h"
#include "platform/userint.h"
#include "runtime/utility.h"

#include <QImage>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

using namespace runtime;

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// Pixel of a data point in a plot area spanning the given ranges.
QPoint PixelOf(const QRect &area, double x, double y, double xMin, double xMax, double yMin, double yMax) {
    const double px = area.left() + (x - xMin) * (area.width() - 1) / (xMax - xMin);
    const double py = area.bottom() - (y - yMin) * (area.height() - 1) / (yMax - yMin);
    return QPoint(int(std::lround(px)), int(std::lround(py)));
}

// True when some pixel within radius of p is close to colour c (lines are antialiased).
bool ColorNear(const QImage &image, QPoint p, QColor c, int radius = 1) {
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const QPoint q = p + QPoint(dx, dy);
            if (!image.rect().contains(q)) continue;
            const QColor got = image.pixelColor(q);
            if (std::abs(got.red() - c.red()) + std::abs(got.green() - c.green()) +
                    std::abs(got.blue() - c.blue()) <
                90)
                return true;
        }
    return false;
}

TEST(StripChart, SortsInterleavedValuesIntoTraces) {
    StripChart chart;
    chart.setTraces(3);
    const double values[] = {1, 2, 3, 4, 5, 6, 7}; // the lone 7 is not a whole group
    chart.plot(values, 7);
    EXPECT_EQ(chart.tracePoints(0), QVector<double>({1, 4}));
    EXPECT_EQ(chart.tracePoints(1), QVector<double>({2, 5}));
    EXPECT_EQ(chart.tracePoints(2), QVector<double>({3, 6}));
    EXPECT_TRUE(chart.tracePoints(3).isEmpty());
}

TEST(StripChart, KeepsOnlyTheNewestPointsPerScreen) {
    struct Case {
        int pointsPerScreen, perCall, calls;
    };
    for (const Case c : {Case{101, 100, 1}, Case{101, 100, 3}, Case{101, 250, 1}, Case{5, 1, 12}}) {
        SCOPED_TRACE(testing::Message() << c.pointsPerScreen << " " << c.perCall << " " << c.calls);
        StripChart chart;
        chart.setTraces(2);
        chart.setPointsPerScreen(c.pointsPerScreen);
        int next = 0;
        for (int call = 0; call < c.calls; ++call) {
            std::vector<double> values;
            for (int i = 0; i < c.perCall; ++i, ++next)
                values.insert(values.end(), {double(next), -next - 1.0});
            chart.plot(values.data(), int(values.size()));
        }
        const int held = std::min(next, c.pointsPerScreen);
        const QVector<double> first = chart.tracePoints(0), second = chart.tracePoints(1);
        ASSERT_EQ(first.size(), held);
        ASSERT_EQ(second.size(), held);
        for (int i = 0; i < held; ++i) {
            EXPECT_EQ(first[i], next - held + i);
            EXPECT_EQ(second[i], -(next - held + i) - 1.0);
        }
    }
}

TEST(StripChart, NarrowerScreenKeepsNewestAndNewTraceCountStartsEmpty) {
    StripChart chart;
    chart.setPointsPerScreen(10);
    const double values[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    chart.plot(values, 10);
    chart.setPointsPerScreen(4);
    EXPECT_EQ(chart.tracePoints(0), QVector<double>({6, 7, 8, 9}));
    chart.setTraces(2);
    EXPECT_TRUE(chart.tracePoints(0).isEmpty());
}

TEST(StripChart, ClearEmptiesEveryTrace) {
    StripChart chart;
    chart.setTraces(2);
    const double values[] = {1, 2, 3, 4};
    chart.plot(values, 4);
    chart.clear();
    EXPECT_TRUE(chart.tracePoints(0).isEmpty());
    EXPECT_TRUE(chart.tracePoints(1).isEmpty());
    chart.plot(values, 2);
    EXPECT_EQ(chart.tracePoints(1), QVector<double>({2}));
}

TEST(StripChart, DrawsEachTraceInItsColourWhereItsValueLies) {
    StripChart chart;
    chart.resize(400, 250);
    chart.setTraces(3);
    chart.setYAutoScale(true);
    std::vector<double> values;
    for (int i = 0; i < 101; ++i)
        values.insert(values.end(), {100, 150, 200});
    values.insert(values.end(), {nan, inf, -inf}); // never drawn, never scaled to
    chart.plot(values.data(), int(values.size()));
    const QImage image = chart.grab().toImage();
    const QRect area = chart.plotArea();
    const int x = area.center().x();
    // Autoscaling pads the data range evenly, so the middle trace runs through the middle.
    EXPECT_TRUE(ColorNear(image, QPoint(x, area.center().y()), QColor(0, 170, 0)));
    EXPECT_FALSE(ColorNear(image, QPoint(x, area.top() + area.height() / 4), QColor(0, 170, 0)));
    EXPECT_TRUE(ColorNear(image, QPoint(x, area.bottom()), Qt::red, area.height() / 10));
    EXPECT_TRUE(ColorNear(image, QPoint(x, area.top()), Qt::blue, area.height() / 10));
}

// A click on the chart's picture button saves it where the file dialog says: the
// picture has the chart's size and shows its traces; an SVG is a picture of that size.
void ExpectPictureButtonSaves(QWidget &chart, QColor trace) {
    QTemporaryDir dir;
    chart.resize(420, 260);
    chart.show();
    for (const char *name : {"chart.png", "chart.svg", "chart"}) {
        SCOPED_TRACE(name);
        const std::string path = dir.filePath(name).toStdString();
        SetPopupResponder([&](const PopupRecord &p, std::string &chosen) {
            chosen = path;
            return p.kind == PopupRecord::FileSelect ? int(VAL_NEW_FILE_SELECTED) : 0;
        });
        QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, ChartPictureButton(chart).center());
        SetPopupResponder({});
        if (std::string(name) == "chart.svg") {
            QSvgRenderer svg(QString::fromStdString(path));
            ASSERT_TRUE(svg.isValid());
            EXPECT_EQ(svg.viewBoxF().size(), QSizeF(chart.size()));
            continue;
        }
        QImage image(QString::fromStdString(std::string(name) == "chart" ? path + ".png" : path));
        ASSERT_FALSE(image.isNull()) << "no PNG written";
        EXPECT_EQ(image.size(), chart.size());
        bool traceShown = false;
        for (int y = 0; y < image.height() && !traceShown; y += 2)
            for (int x = 0; x < image.width() && !traceShown; x += 2)
                traceShown = ColorNear(image, QPoint(x, y), trace, 0);
        EXPECT_TRUE(traceShown) << "the picture is blank";
        const QPoint button = ChartPictureButton(chart).topLeft();
        EXPECT_EQ(image.pixelColor(button), chart.grab().toImage().pixelColor(QPoint(0, 0)))
            << "the button is no part of the picture";
    }
}

TEST(ChartPictures, ThePictureButtonSavesAStripChartAsPngOrSvg) {
    StripChart chart;
    chart.setTraces(1);
    chart.setTraceColors("#ff0000");
    chart.setYRange(0, 10);
    std::vector<double> values;
    for (int i = 0; i < 100; ++i)
        values.push_back(i % 10);
    chart.plot(values.data(), int(values.size()));
    ExpectPictureButtonSaves(chart, Qt::red);
}

TEST(ChartPictures, ThePictureButtonSavesAGraphAsPngOrSvg) {
    Graph graph;
    graph.setXRange(0, 10);
    graph.setYRange(0, 10);
    const double x[] = {0, 10}, y[] = {0, 10};
    graph.plotXY(x, y, 2, Qt::blue, true, true);
    ExpectPictureButtonSaves(graph, Qt::blue);
}

TEST(ChartPictures, AnUnknownPictureTypeIsRefusedWithAMessage) {
    QTemporaryDir dir;
    StripChart chart;
    chart.resize(200, 100);
    const std::string path = dir.filePath("chart.bmp").toStdString();
    std::vector<PopupRecord> shown;
    SetPopupResponder([&](const PopupRecord &p, std::string &chosen) {
        shown.push_back(p);
        chosen = path;
        return p.kind == PopupRecord::FileSelect ? int(VAL_NEW_FILE_SELECTED) : 0;
    });
    OfferChartSave(&chart);
    SetPopupResponder({});
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].title, "ATTENTION!");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
}

TEST(Graph, HandlesStayUniqueAcrossDeletes) {
    Graph graph;
    const double x[] = {0, 1}, y[] = {2, 3};
    const int a = graph.plotXY(x, y, 2, Qt::red, true, true);
    const int b = graph.plotRectangle(0, 0, 1, 1, Qt::black, Qt::green);
    const int c = graph.plotXY(x, y, 1, Qt::blue, false, true);
    EXPECT_GT(a, 0);
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    EXPECT_TRUE(graph.deletePlot(b, false));
    EXPECT_FALSE(graph.deletePlot(b, false));
    EXPECT_FALSE(graph.deletePlot(0, false));
    EXPECT_EQ(graph.plotCount(), 2);
    EXPECT_TRUE(graph.deletePlot(-1, true));
    EXPECT_EQ(graph.plotCount(), 0);
    EXPECT_GT(graph.plotXY(x, y, 2, Qt::red, true, false), c);
    EXPECT_EQ(graph.plotXY(x, y, 0, Qt::red, true, false), 0);
    EXPECT_EQ(graph.plotXY(nullptr, y, 2, Qt::red, true, false), 0);
}

TEST(Graph, CursorsMoveOnlyWhenTheyExist) {
    Graph graph;
    EXPECT_EQ(graph.cursors(), 1);
    EXPECT_TRUE(std::isnan(graph.cursorPosition(1).x()));
    graph.setGraphCursor(1, 3, 4);
    graph.setGraphCursor(2, 5, 6);
    EXPECT_EQ(graph.cursorPosition(1), QPointF(3, 4));
    EXPECT_TRUE(std::isnan(graph.cursorPosition(2).x()));
    graph.setCursors(2);
    graph.setGraphCursor(2, 5, 6);
    EXPECT_EQ(graph.cursorPosition(2), QPointF(5, 6));
}

TEST(Graph, AutoScaledXRangeGrowsToHoldPlotsAndReturnsWhenCleared) {
    Graph graph;
    graph.setXRange(0, 100);
    const double x[] = {140, 150}, y[] = {1, 2};
    graph.plotXY(x, y, 2, Qt::red, true, false);
    EXPECT_EQ(graph.xMax(), 100); // manual: plots outside simply do not show
    graph.setXAutoScale(true);
    graph.plotXY(x, y, 2, Qt::red, true, false);
    EXPECT_GE(graph.xMax(), 150);
    EXPECT_EQ(graph.xMin(), 0);
    graph.deletePlot(-1, false);
    EXPECT_EQ(graph.xMax(), 100);
}

// The rectangle must show whether it is drawn with everything (first paint, after
// a delete) or alone onto the cached picture, and the cursor above it.
TEST(Graph, DrawsRectangleFillWhereItLiesAndCursorAboveIt) {
    const QColor fill(255, 0, 128);
    for (bool paintedBefore : {false, true}) {
        SCOPED_TRACE(paintedBefore ? "added to cached picture" : "drawn with everything");
        Graph graph;
        graph.resize(400, 300);
        graph.setXRange(0, 1000);
        graph.setYRange(0, 100);
        if (paintedBefore) graph.grab();
        const int band = graph.plotRectangle(300, 0, 600, 100, fill, fill);
        graph.setGraphCursor(1, 500, 50);
        const QRect area = graph.plotArea();
        const auto at = [&](double x, double y) { return PixelOf(area, x, y, 0, 1000, 0, 100); };
        QImage image = graph.grab().toImage();
        EXPECT_EQ(image.pixelColor(at(400, 30)), fill);
        EXPECT_EQ(image.pixelColor(at(200, 30)), QColor(Qt::white));
        EXPECT_NE(image.pixelColor(at(500, 30)), fill); // the cursor line crosses the band
        graph.deletePlot(band, true);
        image = graph.grab().toImage();
        EXPECT_EQ(image.pixelColor(at(400, 30)), QColor(Qt::white));
    }
}

TEST(Graph, PointsThatCannotBeDrawnDoNoHarm) {
    Graph graph;
    graph.resize(300, 200);
    graph.setYAutoScale(true);
    const double x[] = {0, nan, 1e300, -inf, 5}, y[] = {1, 2, -1e300, 3, nan};
    EXPECT_GT(graph.plotXY(x, y, 5, Qt::red, true, true), 0);
    graph.setGraphCursor(1, inf, nan);
    EXPECT_FALSE(graph.grab().isNull());
}

// The calls on controls of a real panel: the right widget kind and sane counts.
TEST(ChartCalls, CheckControlKindAndCounts) {
    SetProjectDir(TEST_DATA_DIR);
    const int panel = LoadPanel(0, "UiTest.uir", 1);
    ASSERT_GT(panel, 0);
    const int strip = NewCtrl(panel, CTRL_STRIP_CHART, "", 10, 10);
    const int graph = NewCtrl(panel, CTRL_GRAPH, "", 10, 200);
    ASSERT_GT(strip, 0);
    ASSERT_GT(graph, 0);
    auto *chart = qobject_cast<StripChart *>(CtrlWidget(panel, strip));
    ASSERT_NE(chart, nullptr);
    chart->setTraces(3);
    const double values[] = {1, 2, 3, 4, 5, 6};
    const uint16_t ux[] = {0, 1}, uy[] = {7, 8};

    EXPECT_EQ(PlotStripChart(panel, strip, values, 6), 0);
    EXPECT_EQ(chart->tracePoints(1), QVector<double>({2, 5}));
    const int handle =
        PlotXY(panel, graph, ux, uy, 2, VAL_CONNECTED_POINTS, VAL_SOLID_SQUARE, VAL_SOLID, VAL_RED);
    EXPECT_GT(handle, 0);
    EXPECT_GT(PlotRectangle(panel, graph, 0, 0, 1, 1, VAL_TRANSPARENT, VAL_GREEN), handle);
    const struct {
        const char *call;
        int result, expected;
    } cases[] = {
        {"strip chart count not whole traces", PlotStripChart(panel, strip, values, 5),
         UIE_INDEX_OUT_OF_RANGE},
        {"strip chart call on a graph", PlotStripChart(panel, graph, values, 6), UIE_WRONG_TYPE},
        {"graph call on a strip chart", PlotXY(panel, strip, ux, uy, 2, 0, 0, 0, VAL_RED), UIE_WRONG_TYPE},
        {"graph call on a button", DeleteGraphPlot(panel, "ButtonGo", -1, VAL_IMMEDIATE_DRAW),
         UIE_WRONG_TYPE},
        {"no points", PlotXY(panel, graph, ux, uy, 0, 0, 0, 0, VAL_RED), UIE_INDEX_OUT_OF_RANGE},
        {"colour beyond 24 bits", PlotXY(panel, graph, ux, uy, 2, 0, 0, 0, 0x2000000),
         UIE_INDEX_OUT_OF_RANGE},
        {"manual range upside down", SetAxisScalingMode(panel, strip, VAL_LEFT_YAXIS, VAL_MANUAL, 5, 1),
         UIE_INDEX_OUT_OF_RANGE},
        {"strip chart x axis", SetAxisScalingMode(panel, strip, VAL_BOTTOM_XAXIS, VAL_AUTOSCALE, 0, 0),
         UIE_INVALID_ATTRIBUTE},
        {"cursor that does not exist", SetGraphCursor(panel, graph, 2, 1, 1), UIE_INDEX_OUT_OF_RANGE},
        {"cursor 1", SetGraphCursor(panel, graph, 1, 1, 1), 0},
        {"unknown plot", DeleteGraphPlot(panel, graph, handle + 100, VAL_DELAYED_DRAW), UIE_ITEM_NOT_FOUND},
        {"one plot", DeleteGraphPlot(panel, graph, handle, VAL_DELAYED_DRAW), 0},
        {"unknown control", ClearStripChart(panel, "NoSuchChart"), UIE_INVALID_CONTROL},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.result, c.expected) << c.call;
    ClearUnknownControlNames();
    DiscardPanel(panel);
    SetProjectDir("");
}

} // namespace
