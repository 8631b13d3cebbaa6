#pragma once

// The parts the plots are built of, with Qt Charts off screen (a QApplication must exist):
// the colours of the exponent's sign, axes with round ticks, a titled chart, and the chart
// rendered into an image.

#include <QChart>
#include <QColor>
#include <QImage>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>
#include <functional>
#include <utility>

inline const QColor Plot_Blue(33, 102, 172), Plot_Red(178, 24, 43), Plot_Ink(60, 60, 60);
inline const QColor Plot_Failed_Grey(110, 110, 110), Plot_Missing_Grey(215, 215, 215);

// `share` of the way from one colour to the other.
QColor Plot_Mix(const QColor& from, const QColor& to, double share);

// A range for an axis holding [low, high], with a margin, never empty.
std::pair<double, double> Plot_Padded(double low, double high, double share);

// The smallest of 1, 2, 2.5 and 5 times a power of ten that is at least `raw` (> 0).
double Plot_Round_Step(double raw);

// A value axis on `side` of the chart, titled, over `range`, with about eight ticks at round
// numbers and as many decimals as they need.
QValueAxis* Plot_Value_Axis(QChart& chart, const QString& title, std::pair<double, double> range,
                            Qt::Alignment side);

// A chart with its title, square corners and the legend below.
QChart* Plot_Chart(const QString& title);

void Plot_Attach(QChart& chart, QAbstractSeries* series, QAbstractAxis* x, QAbstractAxis* y);
void Plot_Hide_From_Legend(QChart& chart, QAbstractSeries* series);

// A dashed grey line from one point to another, named for the legend ("LE = 0" by default).
QLineSeries* Plot_Zero_Line(QChart& chart, QAbstractAxis* x, QAbstractAxis* y, QPointF from,
                            QPointF to);

QScatterSeries* Plot_Dots(const QString& name, const QColor& colour, double size,
                          QScatterSeries::MarkerShape shape = QScatterSeries::MarkerShapeCircle);

// The chart laid out at `size` and painted into an image, off screen; `afterLayout` may place
// what depends on the plot area. Throws LvError (Out of memory) when the image cannot be had.
QImage Plot_Render(QChart* chart, QSize size, const std::function<void(QChart&)>& afterLayout = {});

// The application object Qt Charts needs, for as long as this lives, on the off-screen
// platform unless another is set, so that no display is needed. Qt's own notes (a missing
// runtime folder and the like) say nothing about the plot and stay quiet; its errors go to
// standard error after "program: ".
class PlotApplication {
  public:
    explicit PlotApplication(const char* program);
    ~PlotApplication();
    PlotApplication(const PlotApplication&) = delete;
    PlotApplication& operator=(const PlotApplication&) = delete;

  private:
    struct Parts;
    Parts* parts_;
};
