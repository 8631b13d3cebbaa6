// The plots as drawn: their labels and legends, the same picture in every format, what the
// sweep plots hold of their points, the exponent scales that strays and clamped runs cannot
// wash out, the band taken as 0, the history's logarithmic time axis, and the orbit diagram
// and the attractor.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAreaSeries>
#include <QColorAxis>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLegend>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QRegularExpression>
#include <QScatterSeries>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "AttractorPlot.h"
#include "HistoryPlot.h"
#include "ImageFile.h"
#include "LvError.h"
#include "OrbitPlot.h"
#include "PlotParts.h"
#include "Plots.h"
#include "SweepPlot.h"

namespace {

// One application for every test, as a program that draws its plots has.
class PlotEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { app_ = std::make_unique<PlotApplication>("PlotsTest"); }
    void TearDown() override { app_.reset(); }

  private:
    std::unique_ptr<PlotApplication> app_;
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new PlotEnvironment);

// Every text the figure shows: titles, tick labels, legend entries.
QStringList texts(const PlotFigure& figure) {
    QStringList all;
    for (QGraphicsItem* item : figure.Chart().scene()->items())
        if (auto* t = dynamic_cast<QGraphicsTextItem*>(item); t && t->isVisible())
            all << t->toPlainText();
    return all;
}

const QRegularExpression SignedZero("^-0[.0]*$");

QImage pixels(const PlotFigure& figure) {
    return QImage::fromData(Figure_Bytes(figure, PlotFormat::Png), "PNG");
}

template <class Series>
std::vector<Series*> seriesOf(const PlotFigure& figure) {
    std::vector<Series*> found;
    for (QAbstractSeries* s : figure.Chart().series())
        if (auto* t = qobject_cast<Series*>(s)) found.push_back(t);
    return found;
}

QScatterSeries* dotsNamed(const PlotFigure& figure, const QString& name) {
    for (QScatterSeries* s : seriesOf<QScatterSeries>(figure))
        if (s->name() == name) return s;
    return nullptr;
}

QColorAxis* colourBar(const PlotFigure& figure) {
    for (QAbstractAxis* a : figure.Chart().axes())
        if (auto* bar = qobject_cast<QColorAxis*>(a)) return bar;
    return nullptr;
}

// The pixel of the figure at a point of the plot's axes.
QPoint at(const PlotFigure& figure, QPointF value, std::pair<double, double> xRange,
          std::pair<double, double> yRange) {
    const QRectF area = figure.Plot_Area();
    return QPoint(int(area.left() +
                      (value.x() - xRange.first) / (xRange.second - xRange.first) * area.width()),
                  int(area.bottom() -
                      (value.y() - yRange.first) / (yRange.second - yRange.first) * area.height()));
}

// A one-parameter sweep whose exponents wander about 0, with every twentieth point failed.
SweepPlotData lineData(int points, double amplitude) {
    SweepPlotData d;
    d.subject = "test.p";
    d.axes.push_back({"r(1)", 0.5, 1, points});
    d.totalPoints = points;
    for (int i = 0; i < points; ++i) {
        PlotPoint p;
        p.column = i;
        p.x = 0.5 + 0.5 * i / (points - 1);
        if (i % 20 != 19) p.LE = amplitude * std::sin(i * 0.3);
        d.points.push_back(p);
    }
    return d;
}

// A grid of cols x rows points with the exponents `le(i, j)`.
template <class Exponent>
SweepPlotData mapData(int cols, int rows, Exponent le) {
    SweepPlotData d;
    d.subject = "test.p";
    d.axes.push_back({"r(1)", 0.5, 1, cols});
    d.axes.push_back({"a(0,1)", 0.9, 1.3, rows});
    d.totalPoints = cols * rows;
    for (int i = 0; i < cols; ++i) {
        for (int j = 0; j < rows; ++j) {
            PlotPoint p;
            p.column = i;
            p.row = j;
            p.x = 0.5 + 0.5 * i / (cols - 1);
            p.y = 0.9 + 0.4 * j / (rows - 1);
            le(i, j, p);
            d.points.push_back(p);
        }
    }
    return d;
}

// The colour of cell (i, j) of a map of cols x rows as drawn.
QRgb cellColour(const PlotFigure& figure, const QImage& image, int i, int j, int cols, int rows) {
    const QRectF area = figure.Plot_Area();
    return image.pixel(int(area.left() + (i + 0.5) / cols * area.width()),
                       int(area.bottom() - (j + 0.5) / rows * area.height()));
}

SweepPlotData histogramData(int runs) {
    SweepPlotData d;
    d.subject = "test.p";
    d.seeds = runs;
    d.seedRange = std::make_pair(1u, uint32_t(runs));
    d.totalPoints = runs;
    for (int i = 0; i < runs; ++i) {
        PlotPoint p;
        p.LE = 0.01 * std::sin(i * 1.7) + 0.004;
        d.points.push_back(p);
    }
    return d;
}

HistoryPlotData historyData() {
    HistoryPlotData h;
    h.subject = "test.p";
    h.steps = 80000;
    for (int i = 1; i <= 2000; ++i) {
        h.t.push_back(i * 0.4);
        h.LE.push_back(0.015 + 2 * std::sin(i * 0.05) / i);  // strays far at first
    }
    return h;
}

// The maxima of x(0) of examples/chaotic-4.p, from a plain Euler loop, for `runs` values of
// r(1) from 0.5 to 1: the orbit diagram's data, as the runners will make it.
OrbitPlotData chaoticMaxima(int runs, double time) {
    OrbitPlotData d{"r(1)", 0, {}, {}, 100, "chaotic-4.p"};
    const double a[4][4] = {
        {1, 1.09, 1.52, 0}, {0, 1, 0.44, 1.36}, {2.33, 0, 1, 0.47}, {1.21, 0.51, 0.35, 1}};
    for (int v = 0; v < runs; ++v) {
        const double r[4] = {1, 0.5 + 0.5 * v / (runs - 1), 1.53, 1.27};
        double x[4] = {0.3, 0.4, 0.3, 0.5}, before = 0, last = x[0];
        for (long s = 1; s * 0.01 <= time; ++s) {
            double next[4];
            for (int k = 0; k < 4; ++k) {
                double sum = 0;
                for (int j = 0; j < 4; ++j) sum += a[k][j] * x[j];
                next[k] = x[k] + 0.01 * r[k] * x[k] * (1 - sum);
            }
            std::copy(next, next + 4, x);
            if (s * 0.01 > d.transient && last > before && last >= x[0]) {
                d.values.push_back(r[1]);
                d.maxima.push_back(last);
            }
            before = last;
            last = x[0];
        }
    }
    return d;
}

// x(1) against x(0) of a torus, with x(2) its third coordinate.
AttractorPlotData torus(long steps, bool coloured) {
    AttractorPlotData d{0, 1, std::nullopt, {}, {}, {}, 50, "torus"};
    if (coloured) d.k = 2;
    for (long s = 0; s < steps; ++s) {
        const double u = s * 0.01, v = s * 0.0137;
        d.xi.push_back(0.5 + 0.3 * (1 + 0.3 * std::cos(v)) * std::cos(u));
        d.xj.push_back(0.5 + 0.3 * (1 + 0.3 * std::cos(v)) * std::sin(u));
        if (coloured) d.xk.push_back(0.5 + 0.2 * std::sin(v));
    }
    return d;
}

// A figure of each kind, named.
std::vector<std::pair<std::string, std::unique_ptr<PlotFigure>>> everyKind() {
    std::vector<std::pair<std::string, std::unique_ptr<PlotFigure>>> all;
    HistoryPlotData log = historyData();
    log.logTime = true;
    all.emplace_back("history", History_Plot(historyData()));
    all.emplace_back("history on log t", History_Plot(log));
    all.emplace_back("line", Sweep_Plot(lineData(101, 0.27)));
    all.emplace_back("map", Sweep_Plot(mapData(30, 20, [](int i, int j, PlotPoint& p) {
                         p.LE = 0.3 * std::sin(i * 0.2) * std::cos(j * 0.3);
                     })));
    all.emplace_back("histogram", Sweep_Plot(histogramData(500)));
    all.emplace_back("orbit diagram", Orbit_Plot(chaoticMaxima(60, 1000)));
    all.emplace_back("attractor", Attractor_Plot(torus(5000, false)));
    all.emplace_back("coloured attractor", Attractor_Plot(torus(5000, true)));
    return all;
}

TEST(PlotTicks, WholeMultiplesOfARoundStepAndZeroUnsigned) {
    // Ranges about 0 where adding up steps from the first tick drifts below 0 ("-0.0").
    for (const auto& [low, high] : std::vector<std::pair<double, double>>{{-0.3, 0.3},
                                                                          {-0.7, 0.9},
                                                                          {-0.35, 0.25},
                                                                          {-0.764, 0.2558},
                                                                          {-1.3, 0.4},
                                                                          {-7e-5, 3e-5},
                                                                          {0.1, 0.7},
                                                                          {-1e6, 3e6},
                                                                          {42, 42.000001}}) {
        const PlotTicks ticks = Plot_Ticks({low, high});
        ASSERT_FALSE(ticks.at.empty()) << low << " " << high;
        EXPECT_GE(ticks.at.size(), 4u) << low << " " << high;
        EXPECT_LE(ticks.at.size(), 9u) << low << " " << high;
        for (double v : ticks.at) {
            EXPECT_GE(v, low - ticks.step * 1e-6);
            EXPECT_LE(v, high + ticks.step * 1e-6);
            EXPECT_EQ(v, std::round(v / ticks.step) * ticks.step) << "not a multiple of the step";
            const QString text = Plot_Tick_Text(v, ticks.decimals);
            EXPECT_FALSE(SignedZero.match(text).hasMatch()) << text.toStdString();
            // As many decimals as the step has, and no more.
            EXPECT_NEAR(text.toDouble(), v,
                        std::pow(10.0, -ticks.decimals) / 2 + 1e-12 * std::fabs(v));
        }
    }
    EXPECT_EQ(Plot_Tick_Text(-1e-17, 2), "0.00");
    EXPECT_EQ(Plot_Tick_Text(-0.0, 0), "0");
    EXPECT_EQ(Plot_Tick_Text(-0.004, 2), "0.00");
    EXPECT_EQ(Plot_Tick_Text(-0.006, 2), "-0.01");
    EXPECT_EQ(Plot_Ticks({0, 0.04}).decimals, 3);  // 0.005 a step
    EXPECT_EQ(Plot_Ticks({0, 2}, 8).decimals, 2);  // 0.25
    EXPECT_EQ(Plot_Ticks({0, 3}, 8, true).step, 1);
}

TEST(PlotClipLine, PiecesEndAndBeginOnTheEdges) {
    using Pieces = std::vector<std::vector<QPointF>>;
    const std::pair<double, double> x(0, 10), y(-1, 1);
    // Wholly inside: one piece, the same points.
    EXPECT_EQ(Plot_Clip_Line({{0, 0}, {5, 1}, {10, -1}}, x, y),
              (Pieces{{{0, 0}, {5, 1}, {10, -1}}}));
    // Out at the top and back: two pieces meeting the edge where the line crosses it.
    EXPECT_EQ(Plot_Clip_Line({{0, 0}, {2, 2}, {4, 0}}, x, y),
              (Pieces{{{0, 0}, {1, 1}}, {{3, 1}, {4, 0}}}));
    // A segment from far below to far above crosses the box: a piece of its own.
    EXPECT_EQ(Plot_Clip_Line({{0, -3}, {6, 3}, {8, 5}}, x, y), (Pieces{{{2, -1}, {4, 1}}}));
    // Wholly outside: nothing.
    EXPECT_TRUE(Plot_Clip_Line({{0, 2}, {10, 3}}, x, y).empty());
    EXPECT_TRUE(Plot_Clip_Line({}, x, y).empty());
}

TEST(PlotLinePoints, AColumnKeepsItsFirstLowestHighestAndLast) {
    std::vector<QPointF> few{{0, 1}, {1, 2}, {2, 0}};
    EXPECT_EQ(Plot_Line_Points(few, 0, 2, 100), few);
    std::vector<QPointF> many;
    for (int i = 0; i < 100000; ++i)
        many.emplace_back(i * 1e-5, std::sin(i * 0.01) + (i == 51234 ? 5 : 0));
    const std::vector<QPointF> kept = Plot_Line_Points(many, 0, 1, 500);
    EXPECT_LE(kept.size(), 4u * 501);
    EXPECT_EQ(kept.front(), many.front());
    EXPECT_EQ(kept.back(), many.back());
    EXPECT_TRUE(std::is_sorted(kept.begin(), kept.end(),
                               [](QPointF a, QPointF b) { return a.x() < b.x(); }));
    EXPECT_NE(std::find(kept.begin(), kept.end(), many[51234]), kept.end()) << "the spike is gone";
    // The line's lowest and highest points are kept.
    auto byY = [](QPointF a, QPointF b) { return a.y() < b.y(); };
    EXPECT_EQ(*std::min_element(kept.begin(), kept.end(), byY),
              *std::min_element(many.begin(), many.end(), byY));
    EXPECT_EQ(*std::max_element(kept.begin(), kept.end(), byY),
              *std::max_element(many.begin(), many.end(), byY));
}

TEST(PlotFormatFor, TheExtensionInAnyCaseElsePng) {
    EXPECT_EQ(Plot_Format_For("x.svg"), PlotFormat::Svg);
    EXPECT_EQ(Plot_Format_For("dir/X.SVG"), PlotFormat::Svg);
    EXPECT_EQ(Plot_Format_For("a.b.Pdf"), PlotFormat::Pdf);
    EXPECT_EQ(Plot_Format_For("x.png"), PlotFormat::Png);
    EXPECT_EQ(Plot_Format_For("x.jpg"), PlotFormat::Png);
    EXPECT_EQ(Plot_Format_For("pdf"), PlotFormat::Png);
    EXPECT_EQ(Plot_Format_For("x.svgz"), PlotFormat::Png);
    EXPECT_EQ(Plot_Format_For("plots.pdf/x"), PlotFormat::Png);
    EXPECT_EQ(Plot_Format_For(""), PlotFormat::Png);
}

TEST(Plots, LabelsShowNoSignedZeroAndTheExponentIsPerUnitOfTime) {
    for (const auto& [kind, figure] : everyKind()) {
        const QStringList all = texts(*figure);
        ASSERT_GT(all.size(), 5) << kind;
        for (const QString& t : all)
            EXPECT_FALSE(SignedZero.match(t).hasMatch()) << kind << ": " << t.toStdString();
        if (kind.find("attractor") == std::string::npos && kind != "orbit diagram") {
            EXPECT_EQ(all.filter(QRegularExpression("^LE( so far)? \\(1 / time\\)$")).size(), 1)
                << kind << ": " << all.join(" | ").toStdString();
        }
    }
    // The colour bar's labels are Qt's own: no signed zero among them either.
    for (double limit : {0.3, 0.04, 0.025, 0.0075, 12.5, 1e-4}) {
        const auto d = mapData(4, 4, [limit](int i, int j, PlotPoint& p) {
            p.LE = (i - 1.5) * (j - 1.5) / 2.25 * limit * 0.97;
        });
        const auto figure = Sweep_Plot(d);
        for (const QString& t : texts(*figure))
            EXPECT_FALSE(SignedZero.match(t).hasMatch()) << limit;
    }
}

TEST(Plots, LegendMarksOfLinesAreLinesAndOfDotsDots) {
    const auto figure = History_Plot(historyData());  // its end line is red (LE > 0)
    const QImage image = pixels(*figure);
    const QRect legend = figure->Chart().legend()->geometry().toAlignedRect();
    ASSERT_FALSE(legend.isEmpty());
    QRect red;
    for (int y = legend.top(); y <= legend.bottom(); ++y)
        for (int x = legend.left(); x <= legend.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qRed(p) > 140 && qGreen(p) < 90 && qBlue(p) < 90) red |= QRect(x, y, 1, 1);
        }
    ASSERT_FALSE(red.isEmpty()) << "no red mark in the legend";
    EXPECT_LE(red.height(), 3) << "the end line's mark is a box, not a line";
    EXPECT_GE(red.width(), 10);
    // The line plot's dots are round marks in the legend.
    const auto line = Sweep_Plot(lineData(40, 0.01));
    EXPECT_EQ(line->Chart().legend()->markerShape(), QLegend::MarkerShapeFromSeries);
}

// Pixels dark in one image with none dark nearby in the other: what one draws and the other
// does not, whatever small shifts two renderers of the same lines and text make.
long inkOnlyIn(const QImage& a, const QImage& b) {
    long only = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            if (qGray(a.pixel(x, y)) >= 128) continue;
            bool near = false;
            for (int dy = -2; dy <= 2 && !near; ++dy)
                for (int dx = -2; dx <= 2 && !near; ++dx)
                    near = b.valid(x + dx, y + dy) && qGray(b.pixel(x + dx, y + dy)) < 200;
            only += near ? 0 : 1;
        }
    return only;
}

TEST(Plots, EveryFormatIsTheSamePicture) {
    if (std::system("command -v rsvg-convert >/dev/null && command -v pdftoppm >/dev/null") != 0)
        GTEST_SKIP() << "rsvg-convert and pdftoppm (scripts/deps) render the files";
    char folder[] = "/tmp/lv-plots-test-XXXXXX";
    const std::string dir = ::mkdtemp(folder);
    for (const auto& [kind, figure] : everyKind()) {
        const QImage png = pixels(*figure);
        ASSERT_EQ(png.size(), figure->Size()) << kind;
        const QByteArray svg = Figure_Bytes(*figure, PlotFormat::Svg);
        const QByteArray pdf = Figure_Bytes(*figure, PlotFormat::Pdf);
        EXPECT_TRUE(svg.startsWith("<?xml") && svg.contains("<svg")) << kind;
        EXPECT_TRUE(pdf.startsWith("%PDF-")) << kind;
        std::ofstream(dir + "/p.svg", std::ios::binary) << svg.toStdString();
        std::ofstream(dir + "/p.pdf", std::ios::binary) << pdf.toStdString();
        ASSERT_EQ(std::system(("rsvg-convert -b white -o '" + dir + "/svg.png' '" + dir +
                               "/p.svg' && pdftoppm -png -r 96 -singlefile '" + dir + "/p.pdf' '" +
                               dir + "/pdf'")
                                  .c_str()),
                  0);
        for (const char* rendered : {"/svg.png", "/pdf.png"}) {
            QImage other(QString::fromStdString(dir + rendered));
            ASSERT_FALSE(other.isNull()) << kind << rendered;
            EXPECT_LE(std::abs(other.width() - png.width()), 1) << kind << rendered;
            EXPECT_LE(std::abs(other.height() - png.height()), 1) << kind << rendered;
            other =
                other.copy(QRect(QPoint(0, 0), png.size())).convertToFormat(QImage::Format_RGB32);
            EXPECT_LE(inkOnlyIn(png, other), 60) << kind << rendered << ": missing";
            EXPECT_LE(inkOnlyIn(other, png), 60) << kind << rendered << ": added";
        }
    }
    std::filesystem::remove_all(dir);
}

TEST(Plots, ASweepPlotHoldsWhatItsPointsNeed) {
    // 100,000 points: their series hold what the plot's columns show, and the dots are an
    // image over the plot area.
    const auto line = Sweep_Plot(lineData(100000, 0.01));
    long held = 0;
    for (QAbstractSeries* s : line->Chart().series())
        if (auto* xy = qobject_cast<QXYSeries*>(s)) held += xy->count();
    EXPECT_LE(held, 100);
    bool raster = false;
    for (QGraphicsItem* item : line->Chart().childItems()) raster = raster || item->zValue() == 2.5;
    EXPECT_TRUE(raster);
    const QImage image = pixels(*line);
    const QPoint dot = at(*line, {0.5 + 0.5 * 3 / 99999.0, 0.01 * std::sin(0.9)},
                          {line->Chart().axes(Qt::Horizontal)[0]->property("min").toDouble(),
                           line->Chart().axes(Qt::Horizontal)[0]->property("max").toDouble()},
                          {line->Chart().axes(Qt::Vertical)[0]->property("min").toDouble(),
                           line->Chart().axes(Qt::Vertical)[0]->property("max").toDouble()});
    EXPECT_NE(image.pixel(dot), qRgb(255, 255, 255)) << "no dot where a point is";

    // Ten points of a grid of 100,000 x 100,000 in one corner: the map spans them, not the grid.
    SweepPlotData corner;
    corner.subject = "shard";
    corner.axes = {{"r(1)", 0, 1, 100000}, {"a(0,1)", 0, 1, 100000}};
    corner.totalPoints = 10000000000;
    for (int k = 0; k < 10; ++k) {
        PlotPoint p;
        p.column = 500 + k;
        p.row = 700 + 2 * k;
        p.x = p.column / 99999.0;
        p.y = p.row / 99999.0;
        p.LE = 0.01 * k;
        corner.points.push_back(p);
    }
    const auto map = Sweep_Plot(corner);
    auto* x = qobject_cast<QValueAxis*>(map->Chart().axes(Qt::Horizontal)[0]);
    auto* y = qobject_cast<QValueAxis*>(map->Chart().axes(Qt::Vertical)[0]);
    EXPECT_NEAR(x->min(), 499.5 / 99999, 1e-9);
    EXPECT_NEAR(x->max(), 509.5 / 99999, 1e-9);
    EXPECT_NEAR(y->min(), 699.5 / 99999, 1e-9);
    EXPECT_NEAR(y->max(), 718.5 / 99999, 1e-9);
    // Spread over the whole grid, they are binned, 800 bins a side at most.
    corner.points[9].column = 99999;
    corner.points[9].row = 99999;
    const auto binned = Sweep_Plot(corner);
    EXPECT_TRUE(binned->Chart().title().contains(QString::fromUtf8("125 × 125 values a cell")))
        << binned->Chart().title().toStdString();
}

TEST(ExponentRange, StraysAreLeftOutAndTheRestKept) {
    std::vector<double> v;
    for (int i = 0; i < 500; ++i) v.push_back(0.02 * std::sin(i * 0.7));
    const ExponentRange plain = Exponent_Range(v);
    EXPECT_FALSE(plain.clipped);
    EXPECT_EQ(plain.low, *std::min_element(v.begin(), v.end()));
    EXPECT_EQ(plain.high, *std::max_element(v.begin(), v.end()));
    // Six clamped runs at 1000 and more, and one far below: all of the rest stays.
    std::vector<double> strays = v;
    for (double s : {1000.0, 1200.0, 5e4, 1e3, 1e3, 2e3, -900.0}) strays.push_back(s);
    const ExponentRange clipped = Exponent_Range(strays);
    EXPECT_TRUE(clipped.clipped);
    EXPECT_EQ(clipped.low, plain.low);
    EXPECT_EQ(clipped.high, plain.high);
    EXPECT_EQ(Exponent_Range({}).clipped, false);
    EXPECT_EQ(Exponent_Range({3.0}).low, 3.0);
}

TEST(Plots, StraysAndClampedRunsCannotWashOutTheScale) {
    // A map of 20 x 20 with exponents up to 0.02, two cells at 1000 and one whose runs hit
    // the clamp.
    auto d = mapData(20, 20, [](int i, int j, PlotPoint& p) {
        p.LE = 0.02 * std::sin(i * 0.3 + j * 0.2);
        if ((i == 3 && j == 4) || (i == 15 && j == 9)) p.LE = 1000;
        if (i == 7 && j == 7) {
            p.LE = 3000;
            p.clamped = true;
        }
    });
    const auto map = Sweep_Plot(d);
    QColorAxis* bar = colourBar(*map);
    ASSERT_NE(bar, nullptr);
    EXPECT_LE(bar->max(), 0.025);
    EXPECT_GE(bar->max(), 0.02);
    EXPECT_EQ(bar->min(), -bar->max());
    const QImage image = pixels(*map);
    EXPECT_EQ(cellColour(*map, image, 3, 4, 20, 20), Plot_Above_Red.rgb());
    EXPECT_EQ(cellColour(*map, image, 7, 7, 20, 20), Plot_Clamped_Amber.rgb());
    EXPECT_NE(cellColour(*map, image, 5, 5, 20, 20), qRgb(255, 255, 255));
    const QStringList legend = texts(*map);
    EXPECT_TRUE(legend.contains("clamped runs only"));
    EXPECT_TRUE(legend.filter("off the scale").size() == 1) << legend.join("|").toStdString();

    // The line plot's axis stays on the exponents; the strays are marked at its edge.
    auto line = lineData(200, 0.01);
    line.points[50].LE = 1500;
    line.points[80].LE = 2000;
    line.points[80].clamped = true;
    const auto plot = Sweep_Plot(line);
    auto* y = qobject_cast<QValueAxis*>(plot->Chart().axes(Qt::Vertical)[0]);
    EXPECT_LT(y->max(), 0.02);
    QScatterSeries* off = dotsNamed(*plot, "off the scale (at its edge)");
    QScatterSeries* clamped = dotsNamed(*plot, "clamped run");
    ASSERT_TRUE(off && clamped);
    ASSERT_EQ(off->count(), 1);
    ASSERT_EQ(clamped->count(), 1);
    EXPECT_EQ(off->at(0).x(), line.points[50].x);
    EXPECT_LE(off->at(0).y(), y->max());
    EXPECT_GT(off->at(0).y(), 0.01);

    // The histogram counts the strays at the ends and stacks the clamped runs apart.
    auto ensemble = histogramData(300);
    for (int i : {3, 90, 200}) ensemble.points[std::size_t(i)].LE = 1100;
    ensemble.points[10].LE = -800;
    ensemble.points[20].clamped = true;
    const auto histogram = Sweep_Plot(ensemble);
    auto* le = qobject_cast<QValueAxis*>(histogram->Chart().axes(Qt::Horizontal)[0]);
    EXPECT_LT(le->max(), 0.02);
    EXPECT_GT(le->min(), -0.01);
    const QStringList names = texts(*histogram);
    EXPECT_TRUE(names.contains("runs off the scale: 1 below, 3 above"))
        << names.join("|").toStdString();
    EXPECT_TRUE(names.contains("clamped runs"));
}

TEST(Plots, ExponentsWithinTheBandAreTakenAsZero) {
    // Limit cycles, whose estimates settle at 1e-5 either side of 0: white, with the band
    // half the colour bar.
    auto d = mapData(10, 10, [](int i, int j, PlotPoint& p) { p.LE = 1e-5 * ((i + j) % 3 - 1); });
    const auto map = Sweep_Plot(d);
    const QImage image = pixels(*map);
    EXPECT_EQ(cellColour(*map, image, 0, 2, 10, 10), qRgb(255, 255, 255));
    EXPECT_EQ(cellColour(*map, image, 0, 0, 10, 10), qRgb(255, 255, 255));
    EXPECT_EQ(colourBar(*map)->max(), 2e-4);
    // Without the band the scale comes down to them: red and blue as if they were chaos.
    d.neutralBand = 0;
    const auto bare = Sweep_Plot(d);
    const QImage red = pixels(*bare);
    const QRgb up = cellColour(*bare, red, 0, 2, 10, 10),
               down = cellColour(*bare, red, 0, 0, 10, 10);
    EXPECT_GT(qRed(up) - qBlue(up), 60);
    EXPECT_GT(qBlue(down) - qRed(down), 60);
    EXPECT_EQ(Exponent_Colour(5e-5, 0.02, 1e-4), qRgb(255, 255, 255));
    EXPECT_EQ(Exponent_Colour(-1e-4, 0.02, 1e-4), qRgb(255, 255, 255));
    EXPECT_NE(Exponent_Colour(2e-4, 0.02, 1e-4), qRgb(255, 255, 255));
    EXPECT_EQ(Exponent_Colour(0.02, 0.02, 1e-4), Plot_Red.rgb());

    // The line plot: a grey dot, and a band about 0.
    auto line = lineData(40, 0.01);
    line.points[7].LE = 3e-5;
    const auto plot = Sweep_Plot(line);
    QScatterSeries* neutral = dotsNamed(*plot, QString::fromUtf8("LE ≈ 0"));
    ASSERT_NE(neutral, nullptr);
    bool found = false;
    for (const QPointF& p : neutral->points()) found = found || p.x() == line.points[7].x;
    EXPECT_TRUE(found);
    const auto bands = seriesOf<QAreaSeries>(*plot);
    ASSERT_EQ(bands.size(), 1u);
    EXPECT_EQ(bands[0]->upperSeries()->at(0).y(), 1e-4);
    EXPECT_EQ(bands[0]->lowerSeries()->at(0).y(), -1e-4);
}

TEST(Plots, HistoryOnALogarithmicTimeAxis) {
    HistoryPlotData h = historyData();
    h.t.insert(h.t.begin(), 0.0);  // a point at t = 0 has no place on it
    h.LE.insert(h.LE.begin(), 5.0);
    const auto linear = History_Plot(h);
    EXPECT_EQ(linear->Chart().axes(Qt::Horizontal)[0]->type(), QAbstractAxis::AxisTypeCategory);
    h.logTime = true;
    const auto logarithmic = History_Plot(h);
    auto* t = qobject_cast<QLogValueAxis*>(logarithmic->Chart().axes(Qt::Horizontal)[0]);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->base(), 10);
    EXPECT_EQ(t->min(), 0.4);
    EXPECT_EQ(t->max(), 800);
    for (QLineSeries* s : seriesOf<QLineSeries>(*logarithmic))
        for (const QPointF& p : s->points()) EXPECT_GT(p.x(), 0);
    EXPECT_TRUE(texts(*logarithmic).contains("100"));
    EXPECT_THROW(History_Plot(HistoryPlotData{}), LvError);
}

TEST(Plots, OrbitDiagramDrawsEveryMaximum) {
    // A few maxima are the dots of a series.
    const OrbitPlotData few = chaoticMaxima(12, 600);
    ASSERT_GT(few.maxima.size(), 50u);
    ASSERT_LE(few.maxima.size(), PlotDots::Series_Limit);
    const auto small = Orbit_Plot(few);
    EXPECT_EQ(seriesOf<QScatterSeries>(*small).at(0)->count(), qsizetype(few.maxima.size()));
    EXPECT_TRUE(small->Chart().title().startsWith("Orbit diagram of x(0) over r(1)"));
    // Many are pixels of an image, each dark where a maximum is and nowhere else.
    const OrbitPlotData many = chaoticMaxima(150, 1200);
    ASSERT_GT(many.maxima.size(), PlotDots::Series_Limit);
    const auto large = Orbit_Plot(many);
    EXPECT_EQ(seriesOf<QScatterSeries>(*large).size(), 0u);
    const QImage image = pixels(*large);
    auto* x = qobject_cast<QValueAxis*>(large->Chart().axes(Qt::Horizontal)[0]);
    auto* y = qobject_cast<QValueAxis*>(large->Chart().axes(Qt::Vertical)[0]);
    long dark = 0;
    for (std::size_t m = 0; m < many.maxima.size(); m += 7) {
        const QPoint p = at(*large, {many.values[m], many.maxima[m]}, {x->min(), x->max()},
                            {y->min(), y->max()});
        int darkest = 255;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                darkest = std::min(darkest, qGray(image.pixel(p + QPoint(dx, dy))));
        dark += darkest < 200 ? 1 : 0;
    }
    EXPECT_EQ(dark, long((many.maxima.size() + 6) / 7));
    // Below the lowest maximum there is nothing.
    const QRectF area = large->Plot_Area();
    EXPECT_GT(qGray(image.pixel(int(area.center().x()) + 3, int(area.bottom() - 3))), 200);
    OrbitPlotData odd = few;
    odd.values.pop_back();
    EXPECT_THROW(Orbit_Plot(odd), LvError);
}

TEST(Plots, AttractorAsALineADensityOrColoured) {
    const auto line = Attractor_Plot(torus(5000, false));
    const auto lines = seriesOf<QLineSeries>(*line);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]->count(), 5000);
    EXPECT_TRUE(line->Chart().title().contains("x(1) against x(0)"));
    // Too many steps for a line: a density, with no series of points.
    const auto density = Attractor_Plot(torus(Attractor_Series_Limit + 1, false));
    EXPECT_TRUE(seriesOf<QLineSeries>(*density).empty());
    const QImage dense = pixels(*density);
    auto* x = qobject_cast<QValueAxis*>(density->Chart().axes(Qt::Horizontal)[0]);
    auto* y = qobject_cast<QValueAxis*>(density->Chart().axes(Qt::Vertical)[0]);
    const std::pair xRange(x->min(), x->max()), yRange(y->min(), y->max());
    EXPECT_GT(qGray(dense.pixel(at(*density, {0.53, 0.52}, xRange, yRange))), 200)
        << "the torus's hole";
    EXPECT_LT(qGray(dense.pixel(at(*density, {0.8, 0.5}, xRange, yRange))), 200) << "its ring";
    const QRectF area = density->Plot_Area();
    // Coloured by x(2): a colour bar over its round range, and colours from it on the path.
    const auto coloured = Attractor_Plot(torus(20000, true));
    QColorAxis* bar = colourBar(*coloured);
    ASSERT_NE(bar, nullptr);
    const AttractorPlotData path = torus(20000, true);
    const auto [low, high] = std::minmax_element(path.xk.begin(), path.xk.end());
    EXPECT_LE(bar->min(), *low);
    EXPECT_GE(bar->max(), *high);
    EXPECT_TRUE(coloured->Chart().title().contains("coloured by x(2)"));
    const QImage image = pixels(*coloured);
    int viridis = 0;
    for (int y = int(area.top()); y < int(area.bottom()); y += 3)
        for (int x = int(area.left()); x < int(area.right()); x += 3) {
            const QRgb p = image.pixel(x, y);
            viridis += qGreen(p) > qRed(p) + 40 ? 1 : 0;  // teal and green: none in ink or grid
        }
    EXPECT_GT(viridis, 100);
    AttractorPlotData odd = torus(100, true);
    odd.xk.pop_back();
    EXPECT_THROW(Attractor_Plot(odd), LvError);
}

}  // namespace
