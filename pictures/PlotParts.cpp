#include "PlotParts.h"

#include <QApplication>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QLegendMarker>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "LvError.h"

QColor Plot_Mix(const QColor& from, const QColor& to, double share) {
    auto channel = [share](int a, int b) { return int(std::lround(a + (b - a) * share)); };
    return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()),
                  channel(from.blue(), to.blue()));
}

std::pair<double, double> Plot_Padded(double low, double high, double share) {
    if (!(high > low)) {
        const double half = low != 0 ? std::fabs(low) * 0.1 : 0.5;
        return {low - half, high + half};
    }
    const double pad = (high - low) * share;
    return {low - pad, high + pad};
}

double Plot_Round_Step(double raw) {
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 2.5, 5.0})
        if (m * magnitude >= raw) return m * magnitude;
    return 10 * magnitude;
}

QValueAxis* Plot_Value_Axis(QChart& chart, const QString& title, std::pair<double, double> range,
                            Qt::Alignment side) {
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setRange(range.first, range.second);
    axis->setTickType(QValueAxis::TicksDynamic);
    // Ticks at round numbers, about eight along the axis.
    const double step = Plot_Round_Step((range.second - range.first) / 8);
    const double magnitude = std::pow(10.0, std::floor(std::log10(step)));
    axis->setTickInterval(step);
    axis->setTickAnchor(std::floor(range.first / step) * step);
    const int decimals =
        std::max(0, int(-std::floor(std::log10(step) + 1e-9)) + (step / magnitude == 2.5 ? 1 : 0));
    axis->setLabelFormat(QStringLiteral("%.") + QString::number(decimals) + QStringLiteral("f"));
    QFont font = axis->titleFont();
    font.setPointSizeF(11);
    axis->setTitleFont(font);
    chart.addAxis(axis, side);
    return axis;
}

QChart* Plot_Chart(const QString& title) {
    auto* chart = new QChart;
    chart->setTitle(title);
    QFont font = chart->titleFont();
    font.setPointSizeF(12);
    font.setBold(true);
    chart->setTitleFont(font);
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(12, 8, 12, 8));
    chart->legend()->setAlignment(Qt::AlignBottom);
    return chart;
}

void Plot_Attach(QChart& chart, QAbstractSeries* series, QAbstractAxis* x, QAbstractAxis* y) {
    chart.addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
}

void Plot_Hide_From_Legend(QChart& chart, QAbstractSeries* series) {
    for (QLegendMarker* m : chart.legend()->markers(series)) m->setVisible(false);
}

QLineSeries* Plot_Zero_Line(QChart& chart, QAbstractAxis* x, QAbstractAxis* y, QPointF from,
                            QPointF to) {
    auto* line = new QLineSeries;
    line->setName(QStringLiteral("LE = 0"));
    line->append(from);
    line->append(to);
    QPen pen(QColor(120, 120, 120), 1.2, Qt::DashLine);
    line->setPen(pen);
    Plot_Attach(chart, line, x, y);
    return line;
}

QScatterSeries* Plot_Dots(const QString& name, const QColor& colour, double size,
                          QScatterSeries::MarkerShape shape) {
    auto* s = new QScatterSeries;
    s->setName(name);
    s->setColor(colour);
    s->setBorderColor(colour.darker(130));
    s->setMarkerSize(size);
    s->setMarkerShape(shape);
    return s;
}

QImage Plot_Render(QChart* chart, QSize size, const std::function<void(QChart&)>& afterLayout) {
    QGraphicsScene scene;
    scene.addItem(chart);  // the scene owns the chart from here
    chart->setGeometry(0, 0, size.width(), size.height());
    chart->layout()->activate();
    if (afterLayout) {
        afterLayout(*chart);
        chart->layout()->activate();
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) throw LvError(ErrorKind::OutOfMemory, "making the plot's image");
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    scene.render(&painter, QRectF(QPointF(0, 0), size), QRectF(QPointF(0, 0), size));
    painter.end();
    return image.convertToFormat(QImage::Format_RGB32);
}

namespace {
const char* plotProgram = "";
}

struct PlotApplication::Parts {
    int argc = 1;
    char name[16] = "plot";
    char* argv[2] = {name, nullptr};
    QApplication app{argc, argv};
};

PlotApplication::PlotApplication(const char* program) {
    plotProgram = program;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& m) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s: %s\n", plotProgram, qPrintable(m));
    });
    parts_ = new Parts;
}

PlotApplication::~PlotApplication() {
    delete parts_;
}
