#include "HistoryPlot.h"

#include <QLineSeries>
#include <algorithm>
#include <cmath>

#include "Convert.h"
#include "PlotParts.h"

namespace {

// The range of the exponent over the later part of the run: the first steps' estimates,
// made from a few terms, may stray by orders of magnitude and would flatten the rest.
std::pair<double, double> settledRange(const HistoryPlotData& d) {
    const double from = d.t.back() * 0.1;
    double low = d.LE.back(), high = d.LE.back();
    for (std::size_t i = 0; i < d.t.size(); ++i) {
        if (d.t[i] < from || !std::isfinite(d.LE[i])) continue;
        low = std::min(low, d.LE[i]);
        high = std::max(high, d.LE[i]);
    }
    return Plot_Padded(std::min(low, 0.0), std::max(high, 0.0), 0.08);
}

}  // namespace

QImage History_Plot(const HistoryPlotData& d) {
    const double last = d.LE.back();
    QChart* chart = Plot_Chart(QString::fromStdString("Lyapunov exponent so far \u2014 " +
                                                      d.subject + " (" + std::to_string(d.steps) +
                                                      (d.steps == 1 ? " step)" : " steps)")));
    const double end = d.t.back() > 0 ? d.t.back() : 1;
    QValueAxis* x =
        Plot_Value_Axis(*chart, QStringLiteral("t (model time)"), {0, end}, Qt::AlignBottom);
    QValueAxis* y = Plot_Value_Axis(*chart, QStringLiteral("LE so far (sum of the terms / steps)"),
                                    settledRange(d), Qt::AlignLeft);
    if (y->min() < 0 && y->max() > 0) Plot_Zero_Line(*chart, x, y, {0, 0}, {end, 0});

    auto* final = new QLineSeries;
    final->setName(QStringLiteral("LE at the end = ") +
                   QString::fromStdString(Format_Fixed6(last)));
    final->append(0, last);
    final->append(end, last);
    final->setPen(QPen(last > 0 ? Plot_Red : Plot_Blue, 1.2, Qt::DotLine));
    Plot_Attach(*chart, final, x, y);

    auto* line = new QLineSeries;
    line->setName(QStringLiteral("LE so far"));
    line->setPen(QPen(Plot_Ink, 1.5));
    for (std::size_t i = 0; i < d.t.size(); ++i)
        if (std::isfinite(d.LE[i])) line->append(d.t[i], d.LE[i]);
    Plot_Attach(*chart, line, x, y);
    return Plot_Render(chart, QSize(960, 560));
}
