#pragma once

// The parts the plots are built of, with Qt Charts off screen (a PlotApplication must exist):
// the colours, axes labelled at round numbers, a titled chart with its legend, and the chart
// laid out as a figure, with images over its plot area for what is too many for a series.

#include <QChart>
#include <QColor>
#include <QGraphicsScene>
#include <QImage>
#include <QLineSeries>
#include <QLinearGradient>
#include <QScatterSeries>
#include <QValueAxis>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

inline const QColor Plot_Blue(33, 102, 172), Plot_Red(178, 24, 43), Plot_Ink(60, 60, 60);
inline const QColor Plot_Failed_Grey(110, 110, 110), Plot_Missing_Grey(215, 215, 215);
// Beyond the colour scale's ends, and runs whose populations hit the clamp: colours that the
// scale itself never takes.
inline const QColor Plot_Below_Blue(8, 29, 88), Plot_Above_Red(84, 0, 13);
inline const QColor Plot_Clamped_Amber(230, 159, 0), Plot_Neutral_Grey(150, 150, 150);

// `share` of the way from one colour to the other.
QColor Plot_Mix(const QColor& from, const QColor& to, double share);

// The smallest and largest finite value; 0 to 1 when there is none.
std::pair<double, double> Plot_Finite_Range(const std::vector<double>& v);

// A range for an axis holding [low, high], with a margin, never empty.
std::pair<double, double> Plot_Padded(double low, double high, double share);

// The smallest of 1, 2, 2.5 and 5 times a power of ten that is at least `raw` (> 0).
double Plot_Round_Step(double raw);

// Ticks at whole multiples of a round step within a range, about `about` of them, and the
// decimals the step needs; `whole`: a step of at least 1 (counts).
struct PlotTicks {
    double step = 1;
    int decimals = 0;
    std::vector<double> at;
};
PlotTicks Plot_Ticks(std::pair<double, double> range, int about = 8, bool whole = false);

// A tick's label: the value with `decimals` decimals, and a zero never signed ("0.00", not
// "-0.00", which a value a rounding below zero would print).
QString Plot_Tick_Text(double value, int decimals);

// A value axis on `side` of the chart, titled, over `range`, with its ticks and labels at
// Plot_Ticks.
QValueAxis* Plot_Value_Axis(QChart& chart, const QString& title, std::pair<double, double> range,
                            Qt::Alignment side, bool whole = false);

// How the exponent's axes are titled: it is a rate, per unit of model time.
inline const QString Plot_LE_Unit = QStringLiteral(" (1 / time)");

// A chart with its title, square corners and the legend below, whose marks are drawn as their
// series are (a line as a short line, dots as a dot). A line break in the title starts a
// second line.
QChart* Plot_Chart(const QString& title);

void Plot_Attach(QChart& chart, QAbstractSeries* series, QAbstractAxis* x, QAbstractAxis* y);
void Plot_Hide_From_Legend(QChart& chart, QAbstractSeries* series);

// A dashed grey line from one point to another, named for the legend ("LE = 0" by default).
QLineSeries* Plot_Zero_Line(QChart& chart, QAbstractAxis* x, QAbstractAxis* y, QPointF from,
                            QPointF to);

QScatterSeries* Plot_Dots(const QString& name, const QColor& colour, double size,
                          QScatterSeries::MarkerShape shape = QScatterSeries::MarkerShapeCircle);

// A series' points set at once: a series that takes them one at a time redraws for each.
void Plot_Fill(QXYSeries* series, const std::vector<QPointF>& points);

// A line through many points cut down to what a width of `columns` pixels can show: in
// each column the first, lowest, highest and last point, in their order, so that the line
// drawn is the one all points draw. Points ordered in x.
std::vector<QPointF> Plot_Line_Points(const std::vector<QPointF>& points, double xLow, double xHigh,
                                      int columns);

// The colour of `share` (0 to 1) on a sequential scale from dark violet through teal to
// yellow, even in lightness, for a quantity with no middle (a population); and the scale as
// a gradient from 0 to 1, for a colour bar.
QColor Plot_Sequential(double share);
QLinearGradient Plot_Sequential_Gradient();

class PlotFigure;

// Dots of a few kinds, each kind a series of its own in the legend. Up to Series_Limit dots in
// all are their series' points; more are drawn into an image over the plot area, the same
// marks, each pixel once, so that a million dots cost what they must and no more.
class PlotDots {
  public:
    static constexpr std::size_t Series_Limit = 4000;

    // A kind of dots: `series` is attached to the axes now, for the legend.
    int Kind(QChart& chart, QAbstractAxis* x, QAbstractAxis* y, QScatterSeries* series);
    void Add(int kind, double x, double y) { kinds_[std::size_t(kind)].points.emplace_back(x, y); }
    std::size_t Count(int kind) const { return kinds_[std::size_t(kind)].points.size(); }

    // Before the figure is laid out: kinds with no dot leave the legend, and a few dots go
    // to their series.
    void Finish(QChart& chart);
    // After: many dots into an image over the plot area, whose axes span these ranges.
    void Place(PlotFigure& figure, std::pair<double, double> xRange,
               std::pair<double, double> yRange);

  private:
    struct Kind_ {
        QScatterSeries* series;
        std::vector<QPointF> points;
    };
    std::vector<Kind_> kinds_;
    bool inSeries_ = true;
};

// A line's pieces within the ranges of its axes: where it leaves them a piece ends on the
// edge, where it comes back the next begins. Every format then draws the same line, the SVG
// generator too, which takes no clipping.
std::vector<std::vector<QPointF>> Plot_Clip_Line(const std::vector<QPointF>& points,
                                                 std::pair<double, double> xRange,
                                                 std::pair<double, double> yRange);

// The pieces of a line as series in `pen`, the first named for the legend (none: hidden).
void Plot_Lines(QChart& chart, QAbstractAxis* x, QAbstractAxis* y,
                const std::vector<std::vector<QPointF>>& pieces, const QPen& pen,
                const QString& name);

// The chart laid out at `size` in a scene of its own, to be painted as any file. An image
// laid over the plot area, under the axes and series, holds what is too many for a series
// (a map's cells, a million dots): it has Raster_Scale pixels to the figure's pixel, so that
// it stays sharp in an SVG or PDF.
class PlotFigure {
  public:
    static constexpr int Raster_Scale = 2;

    PlotFigure(QChart* chart, QSize size);  // takes the chart
    ~PlotFigure();
    PlotFigure(const PlotFigure&) = delete;
    PlotFigure& operator=(const PlotFigure&) = delete;

    QChart& Chart() const { return *chart_; }
    QSize Size() const { return size_; }
    QRectF Plot_Area() const { return chart_->plotArea(); }

    // A clear image for the plot area, of Raster_Scale pixels to the figure's. Throws LvError
    // (Out of memory) when it cannot be had.
    QImage Raster() const;
    void Add_Raster(QImage image);

    // At the figure's size, from the painter's origin.
    void Paint(QPainter& painter) const;

  private:
    std::unique_ptr<QGraphicsScene> scene_;
    QChart* chart_;
    QSize size_;
};

// How many points fall in each pixel of the plot area, at the figure's own resolution, and
// the mean of a third value over each pixel's points: the picture of more points than a line
// or dots could show apart, at a cost that grows with the points and the pixels.
class PlotDensity {
  public:
    // Over axes that span these ranges.
    PlotDensity(const PlotFigure& figure, std::pair<double, double> xRange,
                std::pair<double, double> yRange);
    void Add(double x, double y, double value = 0);
    // Into an image over the plot area: each pixel with points in `ink`, or in the colour
    // of its mean value from `colour`, the more opaque the more points it has (on a
    // logarithmic scale, from a half-tone least).
    void Place(PlotFigure& figure, const QColor& ink) const;
    void Place(PlotFigure& figure, const std::function<QColor(double mean)>& colour) const;

  private:
    int w_, h_;
    double x0_, y1_, sx_, sy_;
    std::vector<uint32_t> count_;
    std::vector<double> sum_;
};

// The application object Qt Charts needs, for as long as this lives, on the off-screen
// platform unless another is set, so that no display is needed. Qt's own notes (a missing
// runtime folder and the like) say nothing about the plot and stay quiet; its errors go to
// standard error after "program: ". Throws LvError (Out of memory) when `headroom` bytes,
// what the drawing to come may take at most, or the thread the toolkit's painting needs
// cannot be had.
// What the toolkit and a drawing of a few points take at most, to the next megabyte and
// some: a PDF of a large map, the most costly, takes about 55 MB.
inline constexpr std::size_t Plot_Headroom = std::size_t(96) << 20;

class PlotApplication {
  public:
    explicit PlotApplication(const char* program, std::size_t headroom = Plot_Headroom);
    ~PlotApplication();
    PlotApplication(const PlotApplication&) = delete;
    PlotApplication& operator=(const PlotApplication&) = delete;

  private:
    struct Parts;
    Parts* parts_;
};
