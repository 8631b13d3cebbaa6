#include "OrbitPlot.h"

#include <QScatterSeries>
#include <algorithm>
#include <cmath>

#include "Convert.h"
#include "LvError.h"

std::unique_ptr<PlotFigure> Orbit_Plot(const OrbitPlotData& d) {
    if (d.values.size() != d.maxima.size())
        throw LvError(ErrorKind::InvalidCall,
                      "an orbit diagram needs one parameter value a maximum");
    // The runs, as the maxima of each come together.
    long long runs = 0;
    for (std::size_t i = 0; i < d.values.size(); ++i)
        runs += i == 0 || d.values[i] != d.values[i - 1] ? 1 : 0;
    const QString population = QStringLiteral("x(%1)").arg(d.species);
    QChart* chart = Plot_Chart(
        QStringLiteral("Orbit diagram of %1 over %2 \u2014 %3 (%4 maxima of %5 %6, t > %7)")
            .arg(population, QString::fromStdString(d.parameter), QString::fromStdString(d.subject))
            .arg(d.maxima.size())
            .arg(runs)
            .arg(runs == 1 ? QStringLiteral("run") : QStringLiteral("runs"))
            .arg(QString::fromStdString(Format_Shortest(d.transient))));
    chart->legend()->hide();
    const auto [vLow, vHigh] = Plot_Finite_Range(d.values);
    const auto [mLow, mHigh] = Plot_Finite_Range(d.maxima);
    QValueAxis* x = Plot_Value_Axis(*chart, QString::fromStdString(d.parameter),
                                    Plot_Padded(vLow, vHigh, 0.02), Qt::AlignBottom);
    QValueAxis* y = Plot_Value_Axis(*chart, "a maximum of " + population,
                                    Plot_Padded(mLow, mHigh, 0.04), Qt::AlignLeft);
    const std::pair xRange(x->min(), x->max()), yRange(y->min(), y->max());
    if (d.maxima.size() <= PlotDots::Series_Limit) {
        PlotDots dots;
        const int kind = dots.Kind(*chart, x, y, Plot_Dots(QString(), Plot_Ink, 4));
        for (std::size_t i = 0; i < d.maxima.size(); ++i) dots.Add(kind, d.values[i], d.maxima[i]);
        dots.Finish(*chart);
        auto figure = std::make_unique<PlotFigure>(chart, QSize(960, 640));
        dots.Place(*figure, xRange, yRange);
        return figure;
    }
    auto figure = std::make_unique<PlotFigure>(chart, QSize(960, 640));
    PlotDensity density(*figure, xRange, yRange);
    for (std::size_t i = 0; i < d.maxima.size(); ++i) density.Add(d.values[i], d.maxima[i]);
    density.Place(*figure, Qt::black);
    return figure;
}
