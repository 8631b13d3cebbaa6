#include "AttractorPlot.h"

#include <QColorAxis>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>
#include <algorithm>
#include <cmath>

#include "Convert.h"
#include "LvError.h"

std::unique_ptr<PlotFigure> Attractor_Plot(const AttractorPlotData& d) {
    const std::size_t n = d.xi.size();
    if (d.xj.size() != n || (d.k && d.xk.size() != n))
        throw LvError(ErrorKind::InvalidCall,
                      "an attractor's projection needs the populations of the same steps");
    const QString xi = QStringLiteral("x(%1)").arg(d.i), xj = QStringLiteral("x(%1)").arg(d.j);
    QString title = QStringLiteral("Attractor of %1: %2 against %3")
                        .arg(QString::fromStdString(d.subject), xj, xi);
    if (d.k) title += QStringLiteral(", coloured by x(%1)").arg(*d.k);
    const QString after = QString::fromStdString(Format_Shortest(d.transient));
    if (d.steps > 0 && std::size_t(d.steps) != n)
        title +=
            QStringLiteral("\n(%1 of the %2 steps after t = %3)").arg(n).arg(d.steps).arg(after);
    else
        title += QStringLiteral("\n(%1 steps after t = %2)").arg(n).arg(after);
    QChart* chart = Plot_Chart(title);
    chart->legend()->hide();
    const auto [iLow, iHigh] = Plot_Finite_Range(d.xi);
    const auto [jLow, jHigh] = Plot_Finite_Range(d.xj);
    QValueAxis* x = Plot_Value_Axis(*chart, xi, Plot_Padded(iLow, iHigh, 0.04), Qt::AlignBottom);
    QValueAxis* y = Plot_Value_Axis(*chart, xj, Plot_Padded(jLow, jHigh, 0.04), Qt::AlignLeft);
    const std::pair xRange(x->min(), x->max()), yRange(y->min(), y->max());

    // The colour bar's range, shared with the colours of the stretches and pixels.
    std::pair<double, double> shadeRange(0, 1);
    auto shadeOf = [&shadeRange](double xk) {
        return Plot_Sequential((xk - shadeRange.first) / (shadeRange.second - shadeRange.first));
    };
    if (d.k) {
        // The bar belongs to a series with no point of its own.
        // The bar from one round number to another, its ticks a round step apart.
        shadeRange = Plot_Finite_Range(d.xk);
        if (!(shadeRange.second > shadeRange.first))
            shadeRange = Plot_Padded(shadeRange.first, shadeRange.second, 0);
        const double step = Plot_Round_Step((shadeRange.second - shadeRange.first) / 5);
        shadeRange = {std::floor(shadeRange.first / step) * step,
                      std::ceil(shadeRange.second / step) * step};
        const int ticks = int(std::lround((shadeRange.second - shadeRange.first) / step)) + 1;
        auto* holder = new QScatterSeries;
        Plot_Attach(*chart, holder, x, y);
        auto* bar = new QColorAxis;
        bar->setRange(shadeRange.first, shadeRange.second);
        bar->setTitleText(QStringLiteral("x(%1)").arg(*d.k));
        QFont font = bar->titleFont();
        font.setPointSizeF(11);
        bar->setTitleFont(font);
        bar->setTickCount(ticks);
        bar->setSize(22);
        bar->setGradient(Plot_Sequential_Gradient());
        chart->addAxis(bar, Qt::AlignRight);
        holder->attachAxis(bar);
    } else if (n <= Attractor_Series_Limit) {
        auto* path = new QLineSeries;
        path->setPen(QPen(Plot_Ink, 0.8));
        std::vector<QPointF> points;
        points.reserve(n);
        for (std::size_t s = 0; s < n; ++s) points.emplace_back(d.xi[s], d.xj[s]);
        Plot_Fill(path, points);
        Plot_Attach(*chart, path, x, y);
        return std::make_unique<PlotFigure>(chart, QSize(900, 800));
    }

    auto figure = std::make_unique<PlotFigure>(chart, QSize(900, 800));
    if (n > (d.k ? Attractor_Path_Limit : Attractor_Series_Limit)) {
        PlotDensity density(*figure, xRange, yRange);
        for (std::size_t s = 0; s < n; ++s) density.Add(d.xi[s], d.xj[s], d.k ? d.xk[s] : 0);
        if (d.k)
            density.Place(*figure, shadeOf);
        else
            density.Place(*figure, Plot_Ink);
        return figure;
    }
    // Each stretch between two steps in the colour of its middle.
    QImage image = figure->Raster();
    const double sx = image.width() / (xRange.second - xRange.first),
                 sy = image.height() / (yRange.second - yRange.first);
    auto at = [&](std::size_t s) {
        return QPointF((d.xi[s] - xRange.first) * sx, (yRange.second - d.xj[s]) * sy);
    };
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(Qt::black, 1.2 * PlotFigure::Raster_Scale);
    pen.setCapStyle(Qt::RoundCap);
    for (std::size_t s = 1; s < n; ++s) {
        pen.setColor(shadeOf((d.xk[s - 1] + d.xk[s]) / 2));
        painter.setPen(pen);
        painter.drawLine(at(s - 1), at(s));
    }
    painter.end();
    figure->Add_Raster(std::move(image));
    return figure;
}
