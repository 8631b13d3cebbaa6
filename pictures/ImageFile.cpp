#include "ImageFile.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <QTextDocumentFragment>

#include "LvError.h"

namespace {

QByteArray png(const PlotFigure& figure) {
    // Opaque from the start: an image that had to be converted for the writer would be
    // copied once more.
    QImage image(figure.Size(), QImage::Format_RGB32);
    if (image.isNull()) throw LvError(ErrorKind::OutOfMemory, "making the plot's image");
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        figure.Paint(painter);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "PNG");
    // Into memory, this fails only when the image or its copy cannot be had.
    if (!writer.write(image))
        throw LvError(ErrorKind::OutOfMemory,
                      "making the PNG file (" + writer.errorString().toStdString() + ")");
    return bytes;
}

// The resolution the image is painted at, which sizes the text: the vector files take it too,
// so that their text stands as large beside the lines.
int resolution() {
    return QImage(1, 1, QImage::Format_RGB32).logicalDpiY();
}

void paintOn(QPaintDevice& device, const PlotFigure& figure, const char* what) {
    QPainter painter;
    if (!painter.begin(&device))
        throw LvError(ErrorKind::OutOfMemory, std::string("making the ") + what + " file");
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    figure.Paint(painter);
    painter.end();
}

// The chart's title as text: the chart shows it as rich text.
QString title(const PlotFigure& figure) {
    // One line in the file's metadata, as a title of two lines on the chart reads.
    return QTextDocumentFragment::fromHtml(figure.Chart().title()).toPlainText().simplified();
}

QByteArray svg(const PlotFigure& figure) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(figure.Size());
    generator.setViewBox(QRect(QPoint(0, 0), figure.Size()));
    generator.setResolution(resolution());
    generator.setTitle(title(figure));
    paintOn(generator, figure, "SVG");
    return bytes;
}

QByteArray pdf(const PlotFigure& figure) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    const int dpi = resolution();
    writer.setResolution(dpi);
    writer.setPageSize(QPageSize(QSizeF(figure.Size()) * (72.0 / dpi), QPageSize::Point));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setTitle(title(figure));
    writer.setCreator(QStringLiteral("lv-plots"));
    paintOn(writer, figure, "PDF");
    return bytes;
}

}  // namespace

QByteArray Figure_Bytes(const PlotFigure& figure, PlotFormat format) {
    switch (format) {
        case PlotFormat::Svg:
            return svg(figure);
        case PlotFormat::Pdf:
            return pdf(figure);
        case PlotFormat::Png:
            break;
    }
    return png(figure);
}
