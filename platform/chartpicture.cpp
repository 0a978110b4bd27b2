// A chart saved as a picture file: PNG at the chart's size, or SVG with the frame as
// lines and text; the user names the file through the chart's picture button.
#include "platform/chartpicture.h"
#include "platform/userint.h"
#include "runtime/utility.h"

#include <QFileInfo>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgGenerator>
#include <QWidget>

using namespace runtime;

namespace {
// Set while a chart is rendered into a picture file, which shows no picture button.
bool rendering = false;
} // namespace

namespace chartdraw {

bool renderingPicture() {
    return rendering;
}

// A small framed arrow into a tray: "save this chart".
void drawPictureButton(QPainter &p, const QWidget &chart) {
    const QRect r = ChartPictureButton(chart);
    if (r.isEmpty() || rendering) return;
    p.save();
    p.setClipping(false);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(0x70, 0x70, 0x70));
    p.setBrush(QColor(0xf4, 0xf4, 0xf4));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    const int cx = r.center().x(), top = r.top() + 3, bottom = r.bottom() - 4;
    p.drawLine(cx, top, cx, bottom);
    p.drawLine(cx - 3, bottom - 3, cx, bottom);
    p.drawLine(cx + 3, bottom - 3, cx, bottom);
    p.drawLine(r.left() + 3, r.bottom() - 2, r.right() - 3, r.bottom() - 2);
    p.restore();
}

void pressPictureButton(QWidget *chart, QMouseEvent *event) {
    if (event->button() == Qt::LeftButton && ChartPictureButton(*chart).contains(event->position().toPoint()))
        OfferChartSave(chart);
}

} // namespace chartdraw

bool SaveChartPicture(QWidget *chart, const QString &path) {
    if (!chart || chart->size().isEmpty()) return false;
    if (path.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(chart->size());
        svg.setResolution(96); // a CSS pixel, so viewers show it at the chart's size
        svg.setViewBox(chart->rect());
        svg.setTitle(chart->objectName());
        QPainter painter;
        if (!painter.begin(&svg)) return false;
        rendering = true;
        chart->render(&painter);
        rendering = false;
        return painter.end();
    }
    // Device pixels of 1, so the picture has the chart's size whatever the screen's scaling.
    QImage image(chart->size(), QImage::Format_RGB32);
    image.fill(chart->palette().window().color());
    rendering = true;
    chart->render(&image);
    rendering = false;
    return image.save(path, "PNG");
}

// The picture goes where the user says; a name without an extension becomes a PNG.
void OfferChartSave(QWidget *chart) {
    std::string directory, path;
    GetProjectDir(directory);
    const std::string suggested =
        (chart->objectName().isEmpty() ? QString("chart") : chart->objectName()).append(".png").toStdString();
    const int chosen = FileSaveSelectPopup(directory, suggested, "*.png *.svg", "SAVE CHART AS PICTURE",
                                           VAL_SAVE_BUTTON, 0, 0, 1, 1, path);
    if (chosen != VAL_EXISTING_FILE_SELECTED && chosen != VAL_NEW_FILE_SELECTED) return;
    QString file = QString::fromStdString(path);
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix.isEmpty()) {
        file += ".png";
    } else if (suffix != "png" && suffix != "svg") {
        MessagePopup("ATTENTION!", " A chart is saved as a .png or an .svg picture. \n " + path);
        return;
    }
    if (!SaveChartPicture(chart, file))
        MessagePopup("ATTENTION!", " The chart could not be saved in \n " + file.toStdString());
}

QRect ChartPictureButton(const QWidget &chart) {
    constexpr int side = 14;
    if (chart.width() < 8 * side || chart.height() < 4 * side) return {};
    return QRect(chart.width() - side - 2, 1, side, side);
}
