// A chart saved as a picture file: the small button that every chart carries for
// it, and the saving itself.
#pragma once

#include <QRect>
#include <QString>

class QMouseEvent;
class QPainter;
class QWidget;

// Saves a chart at its size on screen: SVG when the path ends in ".svg", PNG
// otherwise. True when the file was written.
bool SaveChartPicture(QWidget *chart, const QString &path);
// Asks for a file name and saves the chart there; the chart's picture button does this.
void OfferChartSave(QWidget *chart);
// Where a chart draws its picture button (top right, beside the plot area); empty
// when the chart is too small to carry one.
QRect ChartPictureButton(const QWidget &chart);

namespace chartdraw {

// Whether a chart is being rendered into a picture file right now.
bool renderingPicture();
// Draws the picture button, unless the chart is rendered into a picture.
void drawPictureButton(QPainter &p, const QWidget &chart);
// A press on a chart: on its picture button, offers to save the chart.
void pressPictureButton(QWidget *chart, QMouseEvent *event);

} // namespace chartdraw
