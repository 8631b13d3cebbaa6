#include "SweepPlot.h"

#include <QAreaSeries>
#include <QChart>
#include <QColorAxis>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPainter>
#include <QScatterSeries>
#include <QValueAxis>
#include <algorithm>
#include <climits>
#include <cmath>
#include <numeric>

#include "LvError.h"

namespace {

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

struct Summary {
    long long shown = 0, failed = 0, clamped = 0;
};

Summary summarise(const SweepPlotData& d) {
    Summary s;
    s.shown = (long long)d.points.size();
    for (const PlotPoint& p : d.points) {
        s.failed += p.LE ? 0 : 1;
        s.clamped += p.LE && p.clamped ? 1 : 0;
    }
    return s;
}

QString countsNote(const Summary& s, long long total) {
    QString note = QString::number(s.shown) + (s.shown == 1 ? " point" : " points");
    if (s.shown < total) note += " of " + QString::number(total);
    if (s.failed > 0) note += ", " + QString::number(s.failed) + " failed";
    if (s.clamped > 0) note += ", " + QString::number(s.clamped) + " clamped";
    return note;
}

QString number(double v) {
    return QString::number(v, 'g', 3);
}

QString bandName(double band) {
    return QStringLiteral("|LE| \u2264 %1, taken as 0").arg(number(band));
}

// A grey strip from `from` to `to` across the plot: the band of exponents taken as 0.
void neutralStrip(QChart& chart, QAbstractAxis* x, QAbstractAxis* y, QPointF from, QPointF to,
                  double band) {
    auto* strip = new QAreaSeries;
    auto* upper = new QLineSeries(strip);
    auto* lower = new QLineSeries(strip);
    upper->append(from.x(), to.y());
    upper->append(to.x(), to.y());
    lower->append(from.x(), from.y());
    lower->append(to.x(), from.y());
    strip->setUpperSeries(upper);
    strip->setLowerSeries(lower);
    strip->setName(bandName(band));
    strip->setBrush(QColor(205, 205, 205, 150));
    strip->setPen(Qt::NoPen);
    Plot_Attach(chart, strip, x, y);
}

// The points in the order of their values on the first axis, and of their runs within one.
std::vector<std::size_t> byColumn(const std::vector<PlotPoint>& points) {
    std::vector<std::size_t> order(points.size());
    std::iota(order.begin(), order.end(), 0);
    auto before = [&points](std::size_t a, std::size_t b) {
        return points[a].column < points[b].column;
    };
    if (!std::is_sorted(order.begin(), order.end(), before))
        std::stable_sort(order.begin(), order.end(), before);
    return order;
}

// LE against the one varied parameter: a dot per point, blue below the neutral band, grey in
// it, red above; the line through them (through the mean over the seeds, with --seeds).
std::unique_ptr<PlotFigure> linePlot(const SweepPlotData& d) {
    const Summary sum = summarise(d);
    const double band = d.neutralBand;
    QChart* chart =
        Plot_Chart(text("Lyapunov exponent against " + d.axes[0].name + " \u2014 " + d.subject) +
                   " (" + countsNote(sum, d.totalPoints) + ")");
    // The axis fits the exponents of the runs that never hit the clamp.
    std::vector<double> fitted;
    double xLow = HUGE_VAL, xHigh = -HUGE_VAL;
    for (const PlotPoint& p : d.points) {
        xLow = std::min(xLow, p.x);
        xHigh = std::max(xHigh, p.x);
        if (p.LE && !p.clamped && std::isfinite(*p.LE)) fitted.push_back(*p.LE);
    }
    if (d.points.empty()) {
        xLow = std::min(d.axes[0].from, d.axes[0].to);
        xHigh = std::max(d.axes[0].from, d.axes[0].to);
    }
    const ExponentRange fit = Exponent_Range(std::move(fitted));
    QValueAxis* x = Plot_Value_Axis(*chart, text(d.axes[0].name), Plot_Padded(xLow, xHigh, 0.03),
                                    Qt::AlignBottom);
    // Failed points sit on a strip of their own below the lowest exponent.
    std::pair<double, double> range =
        Plot_Padded(std::min(fit.low, 0.0), std::max(fit.high, 0.0), 0.08);
    const double leLow = range.first, strip = (range.second - range.first) * 0.06;
    if (sum.failed > 0) range.first -= strip;
    QValueAxis* y = Plot_Value_Axis(*chart, "LE" + Plot_LE_Unit, range, Qt::AlignLeft);

    if (band > 0) neutralStrip(*chart, x, y, {x->min(), -band}, {x->max(), band}, band);
    QLineSeries* zero = Plot_Zero_Line(*chart, x, y, {x->min(), 0}, {x->max(), 0});
    if (band > 0) Plot_Hide_From_Legend(*chart, zero);  // the band's entry says it

    // The line through the means of the unclamped runs at each value, broken where every run
    // of a value failed.
    std::vector<std::vector<QPointF>> pieces(1);
    const std::vector<std::size_t> order = byColumn(d.points);
    for (std::size_t at = 0; at < order.size();) {
        const long long column = d.points[order[at]].column;
        const double value = d.points[order[at]].x;
        double total = 0;
        long long counted = 0;
        bool anyRan = false;
        for (; at < order.size() && d.points[order[at]].column == column; ++at) {
            const PlotPoint& p = d.points[order[at]];
            anyRan = anyRan || p.LE.has_value();
            if (p.LE && !p.clamped) {
                total += *p.LE;
                ++counted;
            }
        }
        if (!anyRan && !pieces.back().empty()) pieces.emplace_back();
        if (counted > 0) pieces.back().emplace_back(value, total / double(counted));
    }
    // A line through more values than the plot has columns hides the dots and shows nothing
    // they do not; with so many breaks that its pieces would cost more than the dots, it is
    // one line, and the failed points' marks say where it is broken.
    std::size_t values = 0;
    for (const auto& piece : pieces) values += piece.size();
    if (values > Line_Value_Limit) pieces.clear();
    if (pieces.size() > 100) {
        std::vector<QPointF> whole;
        for (const auto& piece : pieces) whole.insert(whole.end(), piece.begin(), piece.end());
        pieces = {std::move(whole)};
    }
    // Means off the scale run along its edge, as their marks stand there: the line stays in
    // one piece between failures however often it leaves the scale.
    for (auto& piece : pieces)
        for (QPointF& p : piece) p.setY(std::clamp(p.y(), leLow, range.second));
    Plot_Lines(*chart, x, y, pieces, QPen(Plot_Ink, 1.5),
               d.seeds > 1 ? QStringLiteral("mean of the %1 seeds").arg(d.seeds) : QString());

    // Smaller dots where they are many.
    const double size = d.points.size() > PlotDots::Series_Limit ? 4 : d.seeds > 1 ? 5 : 8;
    PlotDots dots;
    const int negative =
        dots.Kind(*chart, x, y, Plot_Dots(QStringLiteral("LE &lt; 0"), Plot_Blue, size));
    const int neutral =
        dots.Kind(*chart, x, y, Plot_Dots(QStringLiteral("LE \u2248 0"), Plot_Neutral_Grey, size));
    const int positive =
        dots.Kind(*chart, x, y, Plot_Dots(QStringLiteral("LE > 0"), Plot_Red, size));
    const int clamped = dots.Kind(*chart, x, y,
                                  Plot_Dots(QStringLiteral("clamped run"), Plot_Clamped_Amber,
                                            size + 2, QScatterSeries::MarkerShapeRotatedRectangle));
    const int off = dots.Kind(*chart, x, y,
                              Plot_Dots(QStringLiteral("off the scale (at its edge)"), Plot_Ink, 9,
                                        QScatterSeries::MarkerShapeTriangle));
    const int failed = dots.Kind(*chart, x, y,
                                 Plot_Dots(QStringLiteral("failed"), Plot_Failed_Grey, 9,
                                           QScatterSeries::MarkerShapeTriangle));
    // Marks off the scale stand just inside its edge.
    const double top = range.second - strip / 2, bottom = leLow + strip / 2;
    for (const PlotPoint& p : d.points) {
        if (!p.LE) {
            dots.Add(failed, p.x, range.first + strip / 2);
            continue;
        }
        const double v = *p.LE;
        const bool above = !(v <= range.second), below = v < leLow;
        const double shown = above ? top : below ? bottom : v;
        if (p.clamped)
            dots.Add(clamped, p.x, shown);
        else if (above || below)
            dots.Add(off, p.x, shown);
        else
            dots.Add(std::fabs(v) <= band ? neutral : v > 0 ? positive : negative, p.x, v);
    }
    dots.Finish(*chart);
    auto figure = std::make_unique<PlotFigure>(chart, QSize(960, 620));
    dots.Place(*figure, {x->min(), x->max()}, {y->min(), y->max()});
    return figure;
}

// The value of index i on an axis, as the sweep makes it.
double axisValue(const PlotAxis& a, long long i) {
    return a.count > 1 ? a.from + (a.to - a.from) * double(i) / double(a.count - 1) : a.from;
}

// The bar's labels are Qt's own, at min + i * (max - min) / (ticks - 1): a limit a few
// units of the last place above the round one, for which the middle label comes to 0 or
// just above it, never to a "-0.000" just below.
double barLimit(double limit, int ticks) {
    const int middle = (ticks - 1) / 2;
    for (int tries = 0; tries < 64; ++tries) {
        if (-limit + (middle * (limit - -limit) / (ticks - 1)) >= 0) break;
        limit = std::nextafter(limit, HUGE_VAL);
    }
    return limit;
}

// What a cell of the map holds: its points, and the exponents of those that did not clamp.
struct MapCell {
    double total = 0;
    long long ok = 0, clamped = 0, ran = 0;
};

// LE over the grid of two parameters, the first across, the second up: one cell a grid
// point (the mean over the seeds, and over the neighbours binned with it), on the diverging
// scale of the colour bar. The map spans the cells that ran, not the whole grid.
std::unique_ptr<PlotFigure> mapPlot(const SweepPlotData& d) {
    const Summary sum = summarise(d);
    const PlotAxis &ax = d.axes[0], &ay = d.axes[1];
    const double band = d.neutralBand;
    long long c0 = LLONG_MAX, c1 = LLONG_MIN, r0 = LLONG_MAX, r1 = LLONG_MIN;
    for (const PlotPoint& p : d.points) {
        c0 = std::min(c0, p.column);
        c1 = std::max(c1, p.column);
        r0 = std::min(r0, p.row);
        r1 = std::max(r1, p.row);
    }
    if (d.points.empty()) c0 = c1 = r0 = r1 = 0;
    // Values per bin along each axis, so that neither has more than the limit.
    const long long bx = (c1 - c0) / Map_Side_Limit + 1, by = (r1 - r0) / Map_Side_Limit + 1;
    const long long cols = (c1 - c0) / bx + 1, rows = (r1 - r0) / by + 1;
    std::vector<MapCell> cells(std::size_t(cols * rows));
    for (const PlotPoint& p : d.points) {
        MapCell& c = cells[std::size_t((p.column - c0) / bx * rows + (p.row - r0) / by)];
        ++c.ran;
        if (!p.LE) continue;
        if (p.clamped) {
            ++c.clamped;
        } else {
            c.total += *p.LE;
            ++c.ok;
        }
    }
    std::vector<double> means;
    for (const MapCell& c : cells)
        if (c.ok > 0) means.push_back(c.total / double(c.ok));
    const ExponentRange fit = Exponent_Range(means);
    // A round limit just above the largest exponent on the scale, in round steps that the
    // colour bar's ticks mark; the band of exponents taken as 0 is half of it at most.
    const double largest =
        std::max({std::fabs(fit.low), std::fabs(fit.high), 2 * band, means.empty() ? 0.1 : 0.0});
    const double barStep = Plot_Round_Step(largest / 8);
    int barSteps = int(std::ceil(largest / barStep - 1e-9));
    if (barStep * barSteps < largest) ++barSteps;
    const double limit = barLimit(barStep * barSteps, 2 * barSteps + 1);

    QImage colours(int(cols), int(rows), QImage::Format_RGB32);
    if (colours.isNull()) throw LvError(ErrorKind::OutOfMemory, "making the map's cells");
    bool anyFailed = false, anyMissing = false, anyClamped = false, anyAbove = false,
         anyBelow = false, anyNeutral = false;
    for (long long i = 0; i < cols; ++i) {
        for (long long j = 0; j < rows; ++j) {
            const MapCell& c = cells[std::size_t(i * rows + j)];
            QRgb colour;
            if (c.ok > 0) {
                const double v = c.total / double(c.ok);
                const bool above = v > limit, below = v < -limit;
                anyAbove = anyAbove || above;
                anyBelow = anyBelow || below;
                anyNeutral = anyNeutral || std::fabs(v) <= band;
                colour = above   ? Plot_Above_Red.rgb()
                         : below ? Plot_Below_Blue.rgb()
                                 : Exponent_Colour(v, limit, band);
            } else if (c.clamped > 0) {
                colour = Plot_Clamped_Amber.rgb();
                anyClamped = true;
            } else if (c.ran > 0) {
                colour = Plot_Failed_Grey.rgb();
                anyFailed = true;
            } else {
                colour = Plot_Missing_Grey.rgb();
                anyMissing = true;
            }
            colours.setPixel(int(i), int(rows - 1 - j), colour);
        }
    }
    cells = {};

    QString title =
        text("Lyapunov exponent over " + ax.name + " and " + ay.name + " \u2014 " + d.subject);
    title += " (" + countsNote(sum, d.totalPoints);
    if (d.seeds > 1) title += QStringLiteral(", mean of %1 seeds a cell").arg(d.seeds);
    if (bx > 1 || by > 1) title += QStringLiteral(", %1 \u00d7 %2 values a cell").arg(bx).arg(by);
    title += ")";
    QChart* chart = Plot_Chart(title);
    // The span of the cells drawn, each value at the middle of its cell.
    auto cellRange = [](const PlotAxis& a, long long first, long long last) {
        const double u = axisValue(a, first), v = axisValue(a, last);
        if (a.count < 2) return Plot_Padded(u, u, 0);
        const double half = std::fabs((a.to - a.from) / double(a.count - 1)) / 2;
        return std::pair<double, double>(std::min(u, v) - half, std::max(u, v) + half);
    };
    QValueAxis* x = Plot_Value_Axis(*chart, text(ax.name), cellRange(ax, c0, c0 + cols * bx - 1),
                                    Qt::AlignBottom);
    QValueAxis* y = Plot_Value_Axis(*chart, text(ay.name), cellRange(ay, r0, r0 + rows * by - 1),
                                    Qt::AlignLeft);
    x->setGridLineVisible(false);
    y->setGridLineVisible(false);
    // A descending axis (TO < FROM) is drawn ascending: its cells go the other way.
    if (ax.to < ax.from) colours = colours.mirrored(true, false);
    if (ay.to < ay.from) colours = colours.mirrored(false, true);

    // The legend's squares for what the scale does not show, and the series the colour bar
    // belongs to.
    auto square = [&](const QString& name, const QColor& colour, bool shown) {
        QScatterSeries* s = Plot_Dots(name, colour, 12, QScatterSeries::MarkerShapeRectangle);
        Plot_Attach(*chart, s, x, y);
        if (!shown) Plot_Hide_From_Legend(*chart, s);
        return s;
    };
    QScatterSeries* failed = square(QStringLiteral("failed"), Plot_Failed_Grey, anyFailed);
    square(QStringLiteral("not in this shard"), Plot_Missing_Grey, anyMissing);
    square(QStringLiteral("clamped runs only"), Plot_Clamped_Amber, anyClamped);
    square(QStringLiteral("LE > %1, off the scale").arg(number(limit)), Plot_Above_Red, anyAbove);
    square(QStringLiteral("LE &lt; %1, off the scale").arg(number(-limit)), Plot_Below_Blue,
           anyBelow);
    QScatterSeries* white = square(bandName(band), Qt::white, anyNeutral && band > 0);
    white->setBorderColor(Plot_Failed_Grey);
    if (!(anyFailed || anyMissing || anyClamped || anyAbove || anyBelow ||
          (anyNeutral && band > 0)))
        chart->legend()->hide();

    auto* bar = new QColorAxis;
    bar->setRange(-limit, limit);
    bar->setTitleText("LE" + Plot_LE_Unit);
    QFont font = bar->titleFont();
    font.setPointSizeF(11);
    bar->setTitleFont(font);
    bar->setTickCount(2 * barSteps + 1);
    bar->setSize(22);
    const double white0 = 0.5 - std::min(band / limit, 1.0) / 2;
    QLinearGradient scale(0, 0, 0, 1);
    scale.setColorAt(0, Plot_Blue);
    scale.setColorAt(white0, Qt::white);
    scale.setColorAt(1 - white0, Qt::white);
    scale.setColorAt(1, Plot_Red);
    bar->setGradient(scale);
    chart->addAxis(bar, Qt::AlignRight);
    failed->attachAxis(bar);

    auto figure = std::make_unique<PlotFigure>(chart, QSize(960, 760));
    // The cells fill the plot area exactly, unsmoothed: each pixel of the image takes the
    // colour of the cell it falls in.
    QImage image = figure->Raster();
    const int w = image.width(), h = image.height();
    for (int py = 0; py < h; ++py) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(py));
        const auto* from = reinterpret_cast<const QRgb*>(
            colours.constScanLine(int((long long)py * colours.height() / h)));
        for (int px = 0; px < w; ++px) line[px] = from[(long long)px * colours.width() / w];
    }
    figure->Add_Raster(std::move(image));
    return figure;
}

// How the exponents of an ensemble spread: runs per bin of LE, each bin coloured by the sign
// and size of its middle on the map's scale, the clamped runs stacked on top in their own
// colour, and runs off the scale counted at its ends.
std::unique_ptr<PlotFigure> histogramPlot(const SweepPlotData& d) {
    const Summary sum = summarise(d);
    const double band = d.neutralBand;
    std::vector<double> le;
    for (const PlotPoint& p : d.points)
        if (p.LE && !p.clamped && std::isfinite(*p.LE)) le.push_back(*p.LE);
    const ExponentRange fit = Exponent_Range(le);
    QString title = QStringLiteral("LE of random initial populations");
    if (d.seedRange)
        title +=
            QStringLiteral(", seeds %1 to %2").arg(d.seedRange->first).arg(d.seedRange->second);
    title += text(" \u2014 " + d.subject) + " (" + countsNote(sum, d.totalPoints) + ")";
    QChart* chart = Plot_Chart(title);

    const auto [from, to] = Plot_Padded(fit.low, fit.high, 0.0);
    const int bins = int(std::clamp<double>(std::ceil(std::sqrt(double(le.size()))), 5, 60));
    const double width = (to - from) / bins;
    std::vector<long long> counts(std::size_t(bins), 0), clampedCounts(counts);
    long long below = 0, above = 0;
    for (const PlotPoint& p : d.points) {
        if (!p.LE) continue;
        const double v = *p.LE;
        if (v < from) {
            ++below;
        } else if (!(v <= to)) {
            ++above;
        } else {
            const auto b = std::size_t(std::clamp(int((v - from) / width), 0, bins - 1));
            ++(p.clamped ? clampedCounts : counts)[b];
        }
    }
    long long most = 1;
    for (std::size_t b = 0; b < counts.size(); ++b)
        most = std::max(most, counts[b] + clampedCounts[b]);
    most = std::max({most, below, above});

    QValueAxis* x = Plot_Value_Axis(*chart, "LE" + Plot_LE_Unit, {from - width / 2, to + width / 2},
                                    Qt::AlignBottom);
    QValueAxis* y = Plot_Value_Axis(*chart, QStringLiteral("runs"), {0, double(most) * 1.08},
                                    Qt::AlignLeft, true);
    if (band > 0 && x->min() < band && x->max() > -band)
        neutralStrip(*chart, x, y, {std::max(-band, x->min()), 0},
                     {std::min(band, x->max()), y->max()}, band);
    const double limit = std::max(std::fabs(from), std::fabs(to));
    auto barOf = [&](double left, double right, double low, double high, const QColor& fill) {
        // The area does not own its lines: they are its children, to go with it.
        auto* bar = new QAreaSeries;
        auto* top = new QLineSeries(bar);
        top->append(left, high);
        top->append(right, high);
        auto* bottom = new QLineSeries(bar);
        bottom->append(left, low);
        bottom->append(right, low);
        bar->setUpperSeries(top);
        bar->setLowerSeries(bottom);
        bar->setBrush(fill);
        bar->setPen(QPen(Plot_Ink, 1));
        Plot_Attach(*chart, bar, x, y);
        Plot_Hide_From_Legend(*chart, bar);
        return bar;
    };
    QAreaSeries* clampedBar = nullptr;
    for (int b = 0; b < bins; ++b) {
        const double left = from + width * b, right = left + width;
        const auto n = double(counts[std::size_t(b)]), c = double(clampedCounts[std::size_t(b)]);
        if (n > 0)
            barOf(left, right, 0, n, QColor(Exponent_Colour((left + right) / 2, limit, band)));
        if (c > 0) clampedBar = barOf(left, right, n, n + c, Plot_Clamped_Amber);
    }
    if (clampedBar) {
        clampedBar->setName(QStringLiteral("clamped runs"));
        for (QLegendMarker* m : chart->legend()->markers(clampedBar)) m->setVisible(true);
    }
    if (x->min() < 0 && x->max() > 0) Plot_Zero_Line(*chart, x, y, {0, 0}, {0, y->max()});
    QScatterSeries* off =
        Plot_Dots(QStringLiteral("runs off the scale: %1 below, %2 above").arg(below).arg(above),
                  Plot_Ink, 10, QScatterSeries::MarkerShapeTriangle);
    if (below > 0) off->append(x->min() + width / 4, double(below));
    if (above > 0) off->append(x->max() - width / 4, double(above));
    Plot_Attach(*chart, off, x, y);
    if (below + above == 0) Plot_Hide_From_Legend(*chart, off);
    const bool legend =
        below + above > 0 || clampedBar || (band > 0 && x->min() < band && x->max() > -band);
    if (!legend) chart->legend()->hide();
    return std::make_unique<PlotFigure>(chart, QSize(960, 620));
}

}  // namespace

ExponentRange Exponent_Range(std::vector<double> values) {
    ExponentRange r;
    if (values.empty()) return r;
    const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
    r.low = *lowest;
    r.high = *highest;
    // The q-th quantile, between the two values around it.
    auto quantile = [&values](double q) {
        const double at = q * double(values.size() - 1);
        const auto below = std::size_t(at);
        std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(below), values.end());
        const double a = values[below];
        if (below + 1 >= values.size()) return a;
        const double b =
            *std::min_element(values.begin() + std::ptrdiff_t(below) + 1, values.end());
        return a + (b - a) * (at - double(below));
    };
    const double low = quantile(0.02), high = quantile(0.98), spread = high - low;
    if (r.low < low - spread || r.high > high + spread) {
        // Only the strays are left out: every value within the spread of those percentiles
        // stays on the scale.
        r.low = high;
        r.high = low;
        for (double v : values) {
            if (v < low - spread || v > high + spread) continue;
            r.low = std::min(r.low, v);
            r.high = std::max(r.high, v);
        }
        r.clipped = true;
    }
    return r;
}

QRgb Exponent_Colour(double LE, double limit, double band) {
    if (std::fabs(LE) <= band) return qRgb(255, 255, 255);
    const double share =
        limit > band ? std::clamp((std::fabs(LE) - band) / (limit - band), 0.0, 1.0) : 1.0;
    return Plot_Mix(Qt::white, LE < 0 ? Plot_Blue : Plot_Red, share).rgb();
}

std::unique_ptr<PlotFigure> Sweep_Plot(const SweepPlotData& data) {
    switch (data.axes.size()) {
        case 0:
            return histogramPlot(data);
        case 1:
            return linePlot(data);
        default:
            return mapPlot(data);
    }
}
