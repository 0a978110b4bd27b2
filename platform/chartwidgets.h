// The two chart widgets of the user-interface layer, drawn with QPainter.
// StripChart scrolls interleaved traces; Graph holds XY plots, rectangles and
// cursors. Graph keeps its drawn plots in a cached picture, so adding a plot
// costs the same however many are already there.
#pragma once

#include <QColor>
#include <QWidget>
#include <memory>

// Saves a chart at its size on screen: SVG when the path ends in ".svg", PNG
// otherwise. True when the file was written.
bool SaveChartPicture(QWidget *chart, const QString &path);
// Asks for a file name and saves the chart there; the chart's picture button does this.
void OfferChartSave(QWidget *chart);
// Where a chart draws its picture button (top right, beside the plot area); empty
// when the chart is too small to carry one.
QRect ChartPictureButton(const QWidget &chart);

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

class Graph : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double xMin READ xMin WRITE setXMin)
    Q_PROPERTY(double xMax READ xMax WRITE setXMax)
    Q_PROPERTY(double yMin READ yMin WRITE setYMin)
    Q_PROPERTY(double yMax READ yMax WRITE setYMax)
    Q_PROPERTY(int cursors READ cursors WRITE setCursors)
    Q_PROPERTY(bool xAutoScale READ xAutoScale WRITE setXAutoScale)
    Q_PROPERTY(bool yAutoScale READ yAutoScale WRITE setYAutoScale)
  public:
    static constexpr int maxCursors = 8;
    static constexpr int maxPlotPoints = 1 << 20;

    explicit Graph(QWidget *parent = nullptr);
    ~Graph() override;
    double xMin() const;
    void setXMin(double v);
    double xMax() const;
    void setXMax(double v);
    double yMin() const;
    void setYMin(double v);
    double yMax() const;
    void setYMax(double v);
    int cursors() const;
    // Sets the number of cursors (0..maxCursors); a cursor shows once it is placed.
    void setCursors(int n);
    bool xAutoScale() const;
    void setXAutoScale(bool on); // x range grows to hold each plot added from then on
    bool yAutoScale() const;
    void setYAutoScale(bool on); // y range grows to hold each plot added from then on
    // Manual ranges; ignored unless min < max. They are also where autoscaling starts.
    void setXRange(double min, double max);
    void setYRange(double min, double max);

    // Adds a line and/or point plot of count (1..maxPlotPoints) points.
    // Result: plot handle > 0, or 0 for a bad count.
    int plotXY(const double *x, const double *y, int count, QColor color, bool lines, bool points);
    // Adds a rectangle; an invalid colour draws no frame or no fill. Result: plot handle > 0.
    int plotRectangle(double x1, double y1, double x2, double y2, QColor frame, QColor fill);
    // Places a cursor (1-based) at (x, y); other cursor numbers are ignored.
    void setGraphCursor(int cursor, double x, double y);
    // Deletes one plot, or all with handle -1; false when the handle is unknown.
    // redrawNow repaints at once instead of at the next paint.
    bool deletePlot(int handle, bool redrawNow);
    int plotCount() const;
    // Position of a cursor (1-based); NaN coordinates while it is not placed.
    QPointF cursorPosition(int cursor) const;
    // Where the plots are drawn, in widget coordinates.
    QRect plotArea() const;

  protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;
    void mousePressEvent(QMouseEvent *) override;

  private:
    struct Data;
    std::unique_ptr<Data> d;
    int addPlot(quint32 first, int count, QRgb color, QRgb fill, int style);
};
