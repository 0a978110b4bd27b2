// Figures for the chart widgets: the full redraw when a long recording doubles
// the graphs' x range, the memory a recorded segment takes, and what one
// strip-chart redraw costs.
#include "bench/benchtable.h"
#include "platform/chartwidgets.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

// Shows a window and lets it become exposed, so that repaint() really paints.
void showExposed(QWidget &w) {
    w.show();
    QElapsedTimer t;
    t.start();
    while (!(w.windowHandle() && w.windowHandle()->isExposed()) && t.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!w.windowHandle() || !w.windowHandle()->isExposed()) std::fprintf(stderr, "window not exposed\n");
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
    constexpr int kSamples = 10000;
    double lastGrowth = 0;
    int lastGrowthAt = 0;
    const double before = residentBytes();
    for (int sample = 0; sample < kSamples; ++sample) {
        const double range = panel.xMax();
        const double us = panel.addSample();
        if (panel.xMax() != range) lastGrowth = us, lastGrowthAt = sample;
    }
    const double plots = signalCount * double(kSamples);
    const double grown = residentBytes() - before;

    bench::Print(
        {"Graph redraw when the x range doubles (at sample " + std::to_string(lastGrowthAt) + ", 7 graphs)",
         lastGrowth / 1000.0, "ms", 1, bench::Goal::AtMost, 50.0, "a polling cycle's pause: 50 ms"});
    bench::Print({"Graph memory per recorded segment", grown / plots, "B", 0, bench::Goal::AtMost, 256.0,
                  "its two points: 32 B"});
    const std::string peer = "Qt Charts replace() + repaint, 3 x 100: ~500 us";
    bench::Print({"Strip chart redraw, 3 traces x 100 points", stripChartRedraw(3), "us", 1,
                  bench::Goal::AtMost, 500.0, peer});
    bench::Print({"Strip chart redraw, 6 traces x 100 points", stripChartRedraw(6), "us", 1,
                  bench::Goal::AtMost, 500.0, peer});
    return 0;
}
