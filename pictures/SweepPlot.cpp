#include "SweepPlot.h"

#include <QAreaSeries>
#include <QChart>
#include <QColorAxis>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <map>

#include "LvError.h"
#include "PlotParts.h"

namespace {

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

QString countsNote(long long shown, long long failed, long long total) {
    QString note = QString::number(shown) + (shown == 1 ? " point" : " points");
    if (shown < total) note += " of " + QString::number(total);
    if (failed > 0) note += ", " + QString::number(failed) + " failed";
    return note;
}

struct Summary {
    long long shown = 0, failed = 0;
};

Summary summarise(const SweepPlotData& d) {
    Summary s;
    s.shown = (long long)d.points.size();
    for (const PlotPoint& p : d.points) s.failed += p.LE ? 0 : 1;
    return s;
}

// LE against the one varied parameter: a dot per point, blue at or below 0, red above; the
// line through them (through the mean over the seeds, with --seeds).
QImage linePlot(const SweepPlotData& d) {
    const Summary sum = summarise(d);
    const std::vector<double>& values = d.axisValues[0];
    QChart* chart =
        Plot_Chart(text("Lyapunov exponent against " + d.names[0] + " \u2014 " + d.subject) + " (" +
                   countsNote(sum.shown, sum.failed, d.totalPoints) + ")");
    double low = 0, high = 0;
    std::map<long long, std::pair<double, long long>> byValue;  // sum and count of LE
    for (const PlotPoint& p : d.points) {
        if (!p.LE) continue;
        low = std::min(low, *p.LE);
        high = std::max(high, *p.LE);
        auto& [total, count] = byValue[p.cell[0]];
        total += *p.LE;
        ++count;
    }
    const auto [vMin, vMax] = std::minmax_element(values.begin(), values.end());
    QValueAxis* x =
        Plot_Value_Axis(*chart, text(d.names[0]), Plot_Padded(*vMin, *vMax, 0.03), Qt::AlignBottom);
    // Failed points sit on a strip of their own below the lowest exponent.
    std::pair<double, double> range = Plot_Padded(low, high, 0.08);
    const double strip = (range.second - range.first) * 0.06;
    if (sum.failed > 0) range.first -= strip;
    QValueAxis* y =
        Plot_Value_Axis(*chart, QStringLiteral("LE (Lyapunov exponent)"), range, Qt::AlignLeft);

    Plot_Zero_Line(*chart, x, y, {x->min(), 0}, {x->max(), 0});
    // The line breaks where a value has no exponent.
    QLineSeries* line = nullptr;
    long long previous = -2;
    for (const auto& [cell, sc] : byValue) {
        if (cell != previous + 1 || line == nullptr) {
            const bool first = line == nullptr;
            line = new QLineSeries;
            line->setPen(QPen(Plot_Ink, 1.5));
            Plot_Attach(*chart, line, x, y);
            if (first && d.seeds > 1)
                line->setName(QStringLiteral("mean of the %1 seeds").arg(d.seeds));
            else
                Plot_Hide_From_Legend(*chart, line);
        }
        line->append(values[std::size_t(cell)], sc.first / double(sc.second));
        previous = cell;
    }
    const double size = d.seeds > 1 ? 5 : 8;
    QScatterSeries* negative = Plot_Dots(QStringLiteral("LE \u2264 0"), Plot_Blue, size);
    QScatterSeries* positive = Plot_Dots(QStringLiteral("LE > 0"), Plot_Red, size);
    QScatterSeries* failed = Plot_Dots(QStringLiteral("failed"), Plot_Failed_Grey, 9,
                                       QScatterSeries::MarkerShapeTriangle);
    for (const PlotPoint& p : d.points) {
        const double v = values[std::size_t(p.cell[0])];
        if (!p.LE)
            failed->append(v, range.first + strip / 2);
        else
            (*p.LE > 0 ? positive : negative)->append(v, *p.LE);
    }
    Plot_Attach(*chart, negative, x, y);
    Plot_Attach(*chart, positive, x, y);
    Plot_Attach(*chart, failed, x, y);
    if (failed->count() == 0) Plot_Hide_From_Legend(*chart, failed);
    return Plot_Render(chart, QSize(960, 620));
}

// LE over the grid of two parameters, the first across, the second up: one cell a grid point
// (the mean over the seeds), on the diverging scale of the colour bar.
QImage mapPlot(const SweepPlotData& d) {
    const Summary sum = summarise(d);
    const std::vector<double>& xs = d.axisValues[0];
    const std::vector<double>& ys = d.axisValues[1];
    const long long cols = (long long)xs.size(), rows = (long long)ys.size();
    std::vector<double> total(std::size_t(cols * rows), 0);
    std::vector<long long> ok(total.size(), 0), ran(total.size(), 0);
    for (const PlotPoint& p : d.points) {
        const std::size_t c = std::size_t(p.cell[0] * rows + p.cell[1]);
        ++ran[c];
        if (p.LE) {
            total[c] += *p.LE;
            ++ok[c];
        }
    }
    double limit = 0;
    for (std::size_t c = 0; c < total.size(); ++c)
        if (ok[c] > 0) limit = std::max(limit, std::fabs(total[c] / double(ok[c])));
    // A round limit just above the largest exponent, in round steps that the colour bar's
    // ticks mark.
    const double barStep = limit > 0 ? Plot_Round_Step(limit / 8) : 0.25;
    const int barSteps = limit > 0 ? int(std::ceil(limit / barStep - 1e-9)) : 4;
    limit = barStep * barSteps;

    QImage cells(int(cols), int(rows), QImage::Format_RGB32);
    if (cells.isNull()) throw LvError(ErrorKind::OutOfMemory, "making the map's cells");
    bool anyFailed = false, anyMissing = false;
    for (long long i = 0; i < cols; ++i) {
        for (long long j = 0; j < rows; ++j) {
            const std::size_t c = std::size_t(i * rows + j);
            QRgb colour;
            if (ok[c] > 0) {
                colour = Exponent_Colour(total[c] / double(ok[c]), limit);
            } else if (ran[c] > 0) {
                colour = Plot_Failed_Grey.rgb();
                anyFailed = true;
            } else {
                colour = Plot_Missing_Grey.rgb();
                anyMissing = true;
            }
            cells.setPixel(int(i), int(rows - 1 - j), colour);
        }
    }

    QString title = text("Lyapunov exponent over " + d.names[0] + " and " + d.names[1] +
                         " \u2014 " + d.subject);
    title += " (" + countsNote(sum.shown, sum.failed, d.totalPoints);
    if (d.seeds > 1) title += QStringLiteral(", mean of %1 seeds a cell").arg(d.seeds);
    title += ")";
    QChart* chart = Plot_Chart(title);
    auto cellRange = [](const std::vector<double>& v) {
        if (v.size() < 2) return Plot_Padded(v[0], v[0], 0);
        const double half = (v.back() - v.front()) / double(v.size() - 1) / 2;
        return std::pair<double, double>(std::min(v.front(), v.back()) - std::fabs(half),
                                         std::max(v.front(), v.back()) + std::fabs(half));
    };
    QValueAxis* x = Plot_Value_Axis(*chart, text(d.names[0]), cellRange(xs), Qt::AlignBottom);
    QValueAxis* y = Plot_Value_Axis(*chart, text(d.names[1]), cellRange(ys), Qt::AlignLeft);
    x->setGridLineVisible(false);
    y->setGridLineVisible(false);
    // A descending axis (TO < FROM) is drawn ascending: its cells go the other way.
    if (xs.size() > 1 && xs.back() < xs.front()) cells = cells.mirrored(true, false);
    if (ys.size() > 1 && ys.back() < ys.front()) cells = cells.mirrored(false, true);

    // The legend's grey squares, and the series the colour bar belongs to.
    QScatterSeries* failed = Plot_Dots(QStringLiteral("failed"), Plot_Failed_Grey, 12,
                                       QScatterSeries::MarkerShapeRectangle);
    QScatterSeries* missing = Plot_Dots(QStringLiteral("not in this shard"), Plot_Missing_Grey, 12,
                                        QScatterSeries::MarkerShapeRectangle);
    Plot_Attach(*chart, failed, x, y);
    Plot_Attach(*chart, missing, x, y);
    if (!anyFailed) Plot_Hide_From_Legend(*chart, failed);
    if (!anyMissing) Plot_Hide_From_Legend(*chart, missing);
    if (!anyFailed && !anyMissing) chart->legend()->hide();

    auto* bar = new QColorAxis;
    bar->setRange(-limit, limit);
    bar->setTitleText(QStringLiteral("LE"));
    QFont font = bar->titleFont();
    font.setPointSizeF(11);
    bar->setTitleFont(font);
    bar->setTickCount(2 * barSteps + 1);
    bar->setSize(22);
    QLinearGradient scale(0, 0, 0, 1);
    scale.setColorAt(0, Plot_Blue);
    scale.setColorAt(0.5, Qt::white);
    scale.setColorAt(1, Plot_Red);
    bar->setGradient(scale);
    chart->addAxis(bar, Qt::AlignRight);
    failed->attachAxis(bar);

    return Plot_Render(chart, QSize(960, 760), [&cells](QChart& c) {
        // The cells fill the plot area exactly, one image pixel a cell, unsmoothed.
        const QRectF area = c.plotArea();
        QBrush brush(cells);
        brush.setTransform(
            QTransform::fromTranslate(area.left(), area.top())
                .scale(area.width() / cells.width(), area.height() / cells.height()));
        c.setPlotAreaBackgroundBrush(brush);
        c.setPlotAreaBackgroundVisible(true);
    });
}

// How the exponents of an ensemble spread: runs per bin of LE, each bin coloured by the sign
// and size of its middle on the map's scale.
QImage histogramPlot(const SweepPlotData& d) {
    const Summary sum = summarise(d);
    std::vector<double> le;
    for (const PlotPoint& p : d.points)
        if (p.LE) le.push_back(*p.LE);
    QString title = QStringLiteral("Lyapunov exponent of random initial populations");
    if (d.seedRange)
        title +=
            QStringLiteral(", seeds %1 to %2").arg(d.seedRange->first).arg(d.seedRange->second);
    title += text(" \u2014 " + d.subject) + " (" +
             countsNote(sum.shown, sum.failed, d.totalPoints) + ")";
    QChart* chart = Plot_Chart(title);
    chart->legend()->hide();

    double low = 0, high = 0;
    if (!le.empty()) {
        const auto [lo, hi] = std::minmax_element(le.begin(), le.end());
        low = *lo;
        high = *hi;
    }
    const auto [from, to] = Plot_Padded(low, high, 0.0);
    const int bins = int(std::clamp<double>(std::ceil(std::sqrt(double(le.size()))), 5, 60));
    const double width = (to - from) / bins;
    std::vector<long long> counts(std::size_t(bins), 0);
    for (double v : le) counts[std::size_t(std::clamp(int((v - from) / width), 0, bins - 1))]++;
    const long long most = le.empty() ? 1 : *std::max_element(counts.begin(), counts.end());

    QValueAxis* x = Plot_Value_Axis(*chart, QStringLiteral("LE (Lyapunov exponent)"),
                                    {from - width / 2, to + width / 2}, Qt::AlignBottom);
    QValueAxis* y =
        Plot_Value_Axis(*chart, QStringLiteral("runs"), {0, double(most) * 1.08}, Qt::AlignLeft);
    if (y->tickInterval() < 1) {
        y->setTickInterval(1);
        y->setLabelFormat(QStringLiteral("%.0f"));
    }
    const double limit = std::max(std::fabs(from), std::fabs(to));
    for (int b = 0; b < bins; ++b) {
        if (counts[std::size_t(b)] == 0) continue;
        const double left = from + width * b, right = left + width;
        // The area does not own its lines: they are its children, to go with it.
        auto* bar = new QAreaSeries;
        auto* top = new QLineSeries(bar);
        top->append(left, double(counts[std::size_t(b)]));
        top->append(right, double(counts[std::size_t(b)]));
        auto* bottom = new QLineSeries(bar);
        bottom->append(left, 0);
        bottom->append(right, 0);
        bar->setUpperSeries(top);
        bar->setLowerSeries(bottom);
        bar->setBrush(QColor(Exponent_Colour((left + right) / 2, limit)));
        bar->setPen(QPen(Plot_Ink, 1));
        Plot_Attach(*chart, bar, x, y);
    }
    if (x->min() < 0 && x->max() > 0) Plot_Zero_Line(*chart, x, y, {0, 0}, {0, y->max()});
    return Plot_Render(chart, QSize(960, 620));
}

}  // namespace

QRgb Exponent_Colour(double LE, double limit) {
    const double share = std::clamp(LE / limit, -1.0, 1.0);
    return (share < 0 ? Plot_Mix(Qt::white, Plot_Blue, -share)
                      : Plot_Mix(Qt::white, Plot_Red, share))
        .rgb();
}

QImage Sweep_Plot(const SweepPlotData& data) {
    switch (data.names.size()) {
        case 0:
            return histogramPlot(data);
        case 1:
            return linePlot(data);
        default:
            return mapPlot(data);
    }
}
