// The strip chart: interleaved traces that scroll as values arrive, drawn with
// QPainter. Each plot redraws only the plot area; the frame stays cached.
#pragma once

#include <QColor>
#include <QVector>
#include <QWidget>
#include <memory>

class StripChart : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int traces READ traces WRITE setTraces)
    Q_PROPERTY(int pointsPerScreen READ pointsPerScreen WRITE setPointsPerScreen)
    Q_PROPERTY(QString traceColors READ traceColors WRITE setTraceColors) // "#ff0000,#00ff00"
    Q_PROPERTY(double yMin READ yMin WRITE setYMin)
    Q_PROPERTY(double yMax READ yMax WRITE setYMax)
    Q_PROPERTY(bool yAutoScale READ yAutoScale WRITE setYAutoScale)
  public:
    static constexpr int maxTraces = 16;
    static constexpr int maxPointsPerScreen = 100000;

    explicit StripChart(QWidget *parent = nullptr);
    ~StripChart() override;
    int traces() const;
    // Sets the number of interleaved traces (1..maxTraces); clears the chart.
    void setTraces(int n);
    int pointsPerScreen() const;
    // Sets how many points each trace keeps (2..maxPointsPerScreen); the newest stay.
    void setPointsPerScreen(int n);
    QString traceColors() const;
    // Colours of the traces in order, comma separated; missing ones keep the defaults.
    void setTraceColors(const QString &colors);
    double yMin() const;
    void setYMin(double v);
    double yMax() const;
    void setYMax(double v);
    bool yAutoScale() const;
    // Appends count values interleaved by trace; keeps pointsPerScreen points per trace.
    // Values beyond the last whole group of traces are ignored.
    void plot(const double *values, int count);
    // Removes every point of every trace.
    void clear();
    // Marks the newest count points (of every trace) where marked is true: a light red
    // band behind them. The marks move with their points; new points come unmarked.
    void markNewest(const bool *marked, int count);
    // Whether each point held is marked (oldest first), for tests.
    QVector<bool> marks() const;
    // Manual scaling over [min, max]; ignored unless min < max.
    void setYRange(double min, double max);
    // Automatic scaling to the points held.
    void setYAutoScale(bool on);
    // Points currently held for one trace (oldest first), for tests.
    QVector<double> tracePoints(int trace) const;
    // Where the points are drawn, in widget coordinates.
    QRect plotArea() const;

  protected:
    void paintEvent(QPaintEvent *) override;
    void changeEvent(QEvent *) override;
    void mousePressEvent(QMouseEvent *) override;

  private:
    struct Data;
    std::unique_ptr<Data> d;
    // Schedules a redraw of the plot area, or of everything when the frame must change too.
    void updatePlot();
};
