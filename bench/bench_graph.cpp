// Figures for the chart widgets: what one recorded sample costs the graph panel
// (a two-point segment in each of seven graphs and a repaint of the visible one)
// early and late in a long recording, and what one strip-chart redraw costs.
#include "platform/chartwidgets.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <vector>

namespace {

constexpr int signalCount = 7;
const QColor signalColors[signalCount] = {{255, 0, 0},   {0, 255, 0}, {0, 0, 255},  {255, 128, 0},
                                          {255, 0, 128}, {0, 128, 0}, {0, 128, 128}};

// Resident memory of this process in bytes (0 where /proc is missing).
double residentBytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * 4096 : 0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Shows a window and lets it become exposed, so that repaint() really paints.
void showExposed(QWidget &w) {
    w.show();
    QElapsedTimer t;
    t.start();
    while (!(w.windowHandle() && w.windowHandle()->isExposed()) && t.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!w.windowHandle() || !w.windowHandle()->isExposed()) std::fprintf(stderr, "window not exposed\n");
}

double mean(const std::vector<double> &v) {
    return std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
}

// Seven graphs in one place, like the graph panel's, the first one shown.
class GraphPanel {
  public:
    GraphPanel() {
        panel_.resize(640, 400);
        for (int s = 0; s < signalCount; ++s) {
            auto *g = new Graph(&panel_);
            g->setGeometry(0, 0, 640, 400);
            g->setXRange(0, 100);
            g->setXAutoScale(true);
            g->setYRange(0, 4096);
            g->setVisible(s == 0);
            graphs_.push_back(g);
        }
        showExposed(panel_);
    }

    // One recorded sample: a segment from the previous value in every graph,
    // then the visible graph repainted at once. Result: microseconds taken.
    double addSample() {
        QElapsedTimer t;
        t.start();
        for (int s = 0; s < signalCount; ++s) {
            const double value = 2048 + 1500 * std::sin(sample_ / (20.0 + s)) + (std::rand() % 50);
            const double x[2] = {double(std::max(sample_ - 1, 0)), double(sample_)};
            const double y[2] = {sample_ ? previous_[s] : value, value};
            graphs_[s]->plotXY(x, y, 2, signalColors[s], true, true);
            previous_[s] = value;
        }
        graphs_[0]->repaint();
        ++sample_;
        return double(t.nsecsElapsed()) / 1000.0;
    }
    double xMax() const { return graphs_[0]->xMax(); }

  private:
    QWidget panel_;
    std::vector<Graph *> graphs_;
    double previous_[signalCount] = {};
    int sample_ = 0;
};

// Microseconds per strip-chart redraw: plot the whole history, repaint at once.
double stripChartRedraw(int traces) {
    StripChart chart;
    chart.resize(500, 250);
    chart.setTraces(traces);
    chart.setPointsPerScreen(101);
    chart.setYRange(0, 4096);
    showExposed(chart);
    std::vector<double> history(std::size_t(traces) * 100);
    const auto redraw = [&](int round) {
        for (std::size_t i = 0; i < history.size(); ++i)
            history[i] = 2048 + 1500 * std::sin((i + round) / 37.0);
        chart.plot(history.data(), int(history.size()));
        chart.repaint();
    };
    for (int round = 0; round < 20; ++round)
        redraw(round); // warm-up
    const int rounds = 500;
    QElapsedTimer t;
    t.start();
    for (int round = 0; round < rounds; ++round)
        redraw(round);
    return double(t.nsecsElapsed()) / 1000.0 / rounds;
}

} // namespace

int main(int argc, char **argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);

    GraphPanel panel;
    const int window = 50;
    std::vector<double> early, late;
    double lastGrowth = 0;
    int lastGrowthAt = 0;
    const double before = residentBytes();
    for (int sample = 0; sample < 10000 + window; ++sample) {
        const double range = panel.xMax();
        const double us = panel.addSample();
        if (panel.xMax() != range) lastGrowth = us, lastGrowthAt = sample;
        if (sample >= 10 && sample < 10 + window) early.push_back(us);
        if (sample >= 10000) late.push_back(us);
    }
    const double plots = signalCount * (10000.0 + window);
    const double grown = residentBytes() - before;

    std::printf("%-62s %12s  %s\n", "figure", "value", "goal");
    const auto row = [](const char *figure, double value, const char *unit, const char *goal) {
        std::printf("%-62s %9.1f %-3s %s\n", figure, value, unit, goal);
    };
    row("graph sample (7 segments + repaint), after 10, median", median(early), "us", "");
    row("graph sample (7 segments + repaint), after 10, mean", mean(early), "us", "");
    row("graph sample (7 segments + repaint), after 10,000, median", median(late), "us",
        "= after 10 within noise");
    row("graph sample (7 segments + repaint), after 10,000, mean", mean(late), "us",
        "= after 10 within noise");
    std::printf("%-62s %9.1f %-3s %s\n",
                qPrintable(QStringLiteral("graph sample that doubled the x range (full redraw, %1 plots)")
                               .arg(lastGrowthAt)),
                lastGrowth, "us", "rare: once per doubling");
    row("memory per 2-point plot (resident growth / plots)", grown / plots, "B", "modest");
    row("strip chart redraw, 3 traces x 100 points", stripChartRedraw(3), "us", "");
    row("strip chart redraw, 6 traces x 100 points", stripChartRedraw(6), "us", "");
    return 0;
}
