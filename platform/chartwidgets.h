// The two chart widgets of the user-interface layer, drawn with QPainter.
// StripChart scrolls interleaved traces; Graph holds XY plots, rectangles and
// cursors. Both keep their drawn content in a cached picture, so adding a plot
// costs the same however many are already there.
#pragma once

#include <QColor>
#include <QWidget>

class StripChart : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int traces READ traces WRITE setTraces)
    Q_PROPERTY(int pointsPerScreen READ pointsPerScreen WRITE setPointsPerScreen)
    Q_PROPERTY(QString traceColors READ traceColors WRITE setTraceColors)  // "#ff0000,#00ff00"
    Q_PROPERTY(double yMin READ yMin WRITE setYMin)
    Q_PROPERTY(double yMax READ yMax WRITE setYMax)
public:
    explicit StripChart(QWidget *parent = nullptr);
    int traces() const;
    void setTraces(int n);
    int pointsPerScreen() const;
    void setPointsPerScreen(int n);
    QString traceColors() const;
    void setTraceColors(const QString &colors);
    double yMin() const;
    void setYMin(double v);
    double yMax() const;
    void setYMax(double v);
    // Appends count values interleaved by trace; keeps pointsPerScreen points per trace.
    void plot(const double *values, int count);
    void clear();
    void setYRange(double min, double max);  // manual scaling
    void setYAutoScale(bool on);
    // Points currently held for one trace (oldest first), for tests.
    QVector<double> tracePoints(int trace) const;

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;

private:
    struct Data;
    Data *d;
};

class Graph : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double xMin READ xMin WRITE setXMin)
    Q_PROPERTY(double xMax READ xMax WRITE setXMax)
    Q_PROPERTY(double yMin READ yMin WRITE setYMin)
    Q_PROPERTY(double yMax READ yMax WRITE setYMax)
    Q_PROPERTY(int cursors READ cursors WRITE setCursors)
    Q_PROPERTY(bool xAutoScale READ xAutoScale WRITE setXAutoScale)
public:
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
    void setCursors(int n);
    bool xAutoScale() const;
    void setXAutoScale(bool on);  // x range grows to hold every plot
    void setXRange(double min, double max);
    void setYRange(double min, double max);

    // Result: plot handle > 0.
    int plotXY(const double *x, const double *y, int count, QColor color, bool lines, bool points);
    int plotRectangle(double x1, double y1, double x2, double y2, QColor frame, QColor fill);
    void setGraphCursor(int cursor, double x, double y);  // cursor 1-based
    bool deletePlot(int handle, bool redrawNow);           // handle -1 = all plots
    int plotCount() const;
    QPointF cursorPosition(int cursor) const;

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *) override;

private:
    struct Data;
    Data *d;
};
