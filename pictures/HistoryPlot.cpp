#include "HistoryPlot.h"

#include <QLineSeries>
#include <QLogValueAxis>
#include <algorithm>
#include <cmath>

#include "Convert.h"
#include "LvError.h"

namespace {

// The range of the exponent over the later part of the run, from `from` on: the first steps'
// estimates, made from a few terms, may stray by orders of magnitude and would flatten the
// rest.
std::pair<double, double> settledRange(const HistoryPlotData& d, double from) {
    double low = d.LE.back(), high = d.LE.back();
    for (std::size_t i = 0; i < d.t.size(); ++i) {
        if (d.t[i] < from || !std::isfinite(d.LE[i])) continue;
        low = std::min(low, d.LE[i]);
        high = std::max(high, d.LE[i]);
    }
    return Plot_Padded(std::min(low, 0.0), std::max(high, 0.0), 0.08);
}

QLogValueAxis* logTimeAxis(QChart& chart, std::pair<double, double> range) {
    auto* axis = new QLogValueAxis;
    axis->setTitleText(QStringLiteral("t (model time, logarithmic)"));
    axis->setBase(10);
    axis->setRange(range.first, range.second);
    axis->setLabelFormat(QStringLiteral("%g"));
    axis->setMinorTickCount(8);  // 2 to 9 times each power of ten
    QFont font = axis->titleFont();
    font.setPointSizeF(11);
    axis->setTitleFont(font);
    chart.addAxis(axis, Qt::AlignBottom);
    return axis;
}

}  // namespace

std::unique_ptr<PlotFigure> History_Plot(const HistoryPlotData& d) {
    if (d.t.empty() || d.t.size() != d.LE.size())
        throw LvError(ErrorKind::InvalidCall, "a history plot needs the run's exponent so far");
    const double last = d.LE.back();
    QChart* chart = Plot_Chart(QString::fromStdString("Lyapunov exponent so far \u2014 " +
                                                      d.subject + " (" + std::to_string(d.steps) +
                                                      (d.steps == 1 ? " step)" : " steps)")));
    const double end = d.t.back() > 0 ? d.t.back() : 1;
    // A logarithmic axis starts at the first time after 0, and is a decade at least.
    double start = 0;
    if (d.logTime) {
        start = end;
        for (double t : d.t)
            if (t > 0) start = std::min(start, t);
        start = std::min(start, end / 10);
    }
    QAbstractAxis* x = d.logTime ? static_cast<QAbstractAxis*>(logTimeAxis(*chart, {start, end}))
                                 : Plot_Value_Axis(*chart, QStringLiteral("t (model time)"),
                                                   {0, end}, Qt::AlignBottom);
    // On a logarithmic axis the early run takes as much room as the late: the range follows
    // the last two decades, not the last nine tenths.
    QValueAxis* y =
        Plot_Value_Axis(*chart, "LE so far" + Plot_LE_Unit,
                        settledRange(d, d.logTime ? end / 100 : end / 10), Qt::AlignLeft);
    if (y->min() < 0 && y->max() > 0) Plot_Zero_Line(*chart, x, y, {start, 0}, {end, 0});

    auto* final = new QLineSeries;
    final->setName(QStringLiteral("LE at the end = ") +
                   QString::fromStdString(Format_Fixed6(last)));
    final->append(start, last);
    final->append(end, last);
    final->setPen(QPen(last > 0 ? Plot_Red : Plot_Blue, 1.2, Qt::DotLine));
    Plot_Attach(*chart, final, x, y);

    // Lines of more points than the plot has columns are cut down to what shows, in the
    // axis's own measure of time.
    auto position = [&d](double t) { return d.logTime ? std::log10(t) : t; };
    std::vector<QPointF> points;
    for (std::size_t i = 0; i < d.t.size(); ++i)
        if (std::isfinite(d.LE[i]) && (!d.logTime || d.t[i] > 0))
            points.emplace_back(position(d.t[i]), d.LE[i]);
    points = Plot_Line_Points(points, position(start), position(end), 1000);
    std::vector<std::vector<QPointF>> pieces =
        Plot_Clip_Line(points, {position(start), position(end)}, {y->min(), y->max()});
    if (d.logTime)
        for (auto& piece : pieces)
            for (QPointF& p : piece) p.setX(std::pow(10.0, p.x()));
    Plot_Lines(*chart, x, y, pieces, QPen(Plot_Ink, 1.5), QStringLiteral("LE so far"));
    return std::make_unique<PlotFigure>(chart, QSize(960, 560));
}
