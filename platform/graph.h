// The graph: XY plots, rectangles and cursors, drawn with QPainter. It keeps its
// drawn plots in a cached picture, so adding a plot costs the same however many
// are already there.
#pragma once

#include <QColor>
#include <QWidget>
#include <memory>

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
