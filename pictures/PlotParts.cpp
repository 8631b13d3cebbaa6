#include "PlotParts.h"

#include <pthread.h>
#include <sys/mman.h>

#include <QApplication>
#include <QCategoryAxis>
#include <QGraphicsItem>
#include <QGraphicsLayout>
#include <QLegend>
#include <QLegendMarker>
#include <QPainter>
#include <QSemaphore>
#include <QThreadPool>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "LvError.h"

QColor Plot_Mix(const QColor& from, const QColor& to, double share) {
    auto channel = [share](int a, int b) { return int(std::lround(a + (b - a) * share)); };
    return QColor(channel(from.red(), to.red()), channel(from.green(), to.green()),
                  channel(from.blue(), to.blue()));
}

std::pair<double, double> Plot_Finite_Range(const std::vector<double>& v) {
    double low = HUGE_VAL, high = -HUGE_VAL;
    for (double e : v) {
        if (!std::isfinite(e)) continue;
        low = std::min(low, e);
        high = std::max(high, e);
    }
    return low <= high ? std::pair(low, high) : std::pair(0.0, 1.0);
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

PlotTicks Plot_Ticks(std::pair<double, double> range, int about, bool whole) {
    PlotTicks t;
    const double span = range.second - range.first;
    if (!(span > 0) || !std::isfinite(span)) {
        t.at.push_back(range.first);
        return t;
    }
    t.step = Plot_Round_Step(span / about);
    if (whole && t.step < 1) t.step = 1;
    if (whole && t.step == 2.5) t.step = 2;
    // As many decimals as make the step a whole number of their last place.
    while (t.decimals < 15) {
        const double scaled = t.step * std::pow(10.0, t.decimals);
        if (std::fabs(scaled - std::round(scaled)) <= 1e-6 * scaled) break;
        ++t.decimals;
    }
    // Each tick a whole multiple of the step, not a sum of steps, which would drift off the
    // round numbers and print a zero as "-0.0".
    const double slack = t.step * 1e-9;
    for (auto k = (long long)std::ceil((range.first - slack) / t.step);
         double(k) * t.step <= range.second + slack; ++k)
        t.at.push_back(double(k) * t.step);
    return t;
}

QString Plot_Tick_Text(double value, int decimals) {
    QString text = QString::number(value, 'f', decimals);
    if (text.startsWith(u'-') &&
        std::all_of(text.begin() + 1, text.end(), [](QChar c) { return c == u'0' || c == u'.'; }))
        text.remove(0, 1);
    return text;
}

QValueAxis* Plot_Value_Axis(QChart& chart, const QString& title, std::pair<double, double> range,
                            Qt::Alignment side, bool whole) {
    // Labels made here, at whole multiples of the step: the value axis's own would add up
    // steps and print what the sums come to.
    auto* axis = new QCategoryAxis;
    axis->setTitleText(title.toHtmlEscaped());
    axis->setRange(range.first, range.second);
    axis->setStartValue(range.first);
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    const PlotTicks ticks = Plot_Ticks(range, 8, whole);
    for (double v : ticks.at) axis->append(Plot_Tick_Text(v, ticks.decimals), v);
    axis->setTickInterval(ticks.step);
    QFont font = axis->titleFont();
    font.setPointSizeF(11);
    axis->setTitleFont(font);
    chart.addAxis(axis, side);
    return axis;
}

QChart* Plot_Chart(const QString& title) {
    auto* chart = new QChart;
    // Shown as rich text, where a file's "<" would be a tag; a line break of the title starts
    // a second line (Qt cuts a title wider than the chart short).
    QString text = title.toHtmlEscaped();
    if (text.contains(QLatin1Char('\n')))
        text = QStringLiteral("<center>%1</center>")
                   .arg(text.replace(QLatin1Char('\n'), QStringLiteral("<br>")));
    chart->setTitle(text);
    QFont font = chart->titleFont();
    font.setPointSizeF(12);
    font.setBold(true);
    chart->setTitleFont(font);
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(12, 8, 12, 8));
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    return chart;
}

void Plot_Attach(QChart& chart, QAbstractSeries* series, QAbstractAxis* x, QAbstractAxis* y) {
    chart.addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
    // The legend draws an area "as its series" as an empty box and cuts its name short: an
    // area's mark is the filled square.
    if (series->type() == QAbstractSeries::SeriesTypeArea)
        for (QLegendMarker* m : chart.legend()->markers(series))
            m->setShape(QLegend::MarkerShapeRectangle);
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

void Plot_Fill(QXYSeries* series, const std::vector<QPointF>& points) {
    series->replace(QList<QPointF>(points.begin(), points.end()));
}

std::vector<QPointF> Plot_Line_Points(const std::vector<QPointF>& points, double xLow, double xHigh,
                                      int columns) {
    if (points.size() <= 4 * std::size_t(columns) || !(xHigh > xLow)) return points;
    std::vector<QPointF> kept;
    const double perColumn = columns / (xHigh - xLow);
    std::size_t first = 0;
    while (first < points.size()) {
        const auto column = (long long)std::floor((points[first].x() - xLow) * perColumn);
        std::size_t last = first, low = first, high = first;
        while (last + 1 < points.size() &&
               (long long)std::floor((points[last + 1].x() - xLow) * perColumn) == column) {
            ++last;
            if (points[last].y() < points[low].y()) low = last;
            if (points[last].y() > points[high].y()) high = last;
        }
        std::size_t chosen[] = {first, std::min(low, high), std::max(low, high), last};
        for (std::size_t i = 0; i < 4; ++i)
            if (i == 0 || chosen[i] != chosen[i - 1]) kept.push_back(points[chosen[i]]);
        first = last + 1;
    }
    return kept;
}

std::vector<std::vector<QPointF>> Plot_Clip_Line(const std::vector<QPointF>& points,
                                                 std::pair<double, double> xRange,
                                                 std::pair<double, double> yRange) {
    auto inside = [&](const QPointF& p) {
        return p.x() >= xRange.first && p.x() <= xRange.second && p.y() >= yRange.first &&
               p.y() <= yRange.second;
    };
    std::vector<std::vector<QPointF>> pieces;
    bool open = false;  // the last piece goes on
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (i == 0) {
            if (inside(points[0])) pieces.push_back({points[0]});
            open = inside(points[0]);
            continue;
        }
        // The part of the segment from a to b within the ranges, as shares t0 <= t1 of it
        // (Liang and Barsky's clipping).
        const QPointF a = points[i - 1], b = points[i], delta = b - a;
        double t0 = 0, t1 = 1;
        auto edge = [&](double p, double q) {  // p t <= q
            if (p == 0) return q >= 0;
            const double t = q / p;
            if (p < 0) {
                if (t > t1) return false;
                t0 = std::max(t0, t);
            } else {
                if (t < t0) return false;
                t1 = std::min(t1, t);
            }
            return true;
        };
        const bool crosses =
            edge(-delta.x(), a.x() - xRange.first) && edge(delta.x(), xRange.second - a.x()) &&
            edge(-delta.y(), a.y() - yRange.first) && edge(delta.y(), yRange.second - a.y());
        if (!crosses) {
            open = false;
            continue;
        }
        if (!open || t0 > 0) pieces.push_back({a + delta * t0});
        pieces.back().push_back(t1 < 1 ? a + delta * t1 : b);
        open = t1 >= 1;
    }
    return pieces;
}

void Plot_Lines(QChart& chart, QAbstractAxis* x, QAbstractAxis* y,
                const std::vector<std::vector<QPointF>>& pieces, const QPen& pen,
                const QString& name) {
    bool named = false;
    for (const std::vector<QPointF>& piece : pieces) {
        if (piece.empty()) continue;
        auto* line = new QLineSeries;
        line->setPen(pen);
        Plot_Fill(line, piece);
        Plot_Attach(chart, line, x, y);
        if (!named && !name.isEmpty())
            line->setName(name);
        else
            Plot_Hide_From_Legend(chart, line);
        named = true;
    }
}

QColor Plot_Sequential(double share) {
    // Five stops of viridis, between which the colour is mixed.
    static const QColor stops[] = {QColor(68, 1, 84), QColor(59, 82, 139), QColor(33, 145, 140),
                                   QColor(94, 201, 98), QColor(253, 231, 37)};
    const double at = std::clamp(share, 0.0, 1.0) * 4;
    const int below = std::min(int(at), 3);
    return Plot_Mix(stops[below], stops[below + 1], at - below);
}

QLinearGradient Plot_Sequential_Gradient() {
    QLinearGradient scale(0, 0, 0, 1);
    for (int i = 0; i <= 16; ++i) scale.setColorAt(i / 16.0, Plot_Sequential(i / 16.0));
    return scale;
}

int PlotDots::Kind(QChart& chart, QAbstractAxis* x, QAbstractAxis* y, QScatterSeries* series) {
    Plot_Attach(chart, series, x, y);
    kinds_.push_back({series, {}});
    return int(kinds_.size()) - 1;
}

void PlotDots::Finish(QChart& chart) {
    std::size_t total = 0;
    for (const Kind_& k : kinds_) total += k.points.size();
    inSeries_ = total <= Series_Limit;
    for (Kind_& k : kinds_) {
        if (k.points.empty()) Plot_Hide_From_Legend(chart, k.series);
        if (inSeries_) {
            Plot_Fill(k.series, k.points);
            k.points = {};
        }
    }
}

namespace {

// One mark as the scatter series draws it, `size` across, filled and outlined.
QImage markImage(const QScatterSeries& series, double scale) {
    const double size = series.markerSize() * scale;
    const int side = int(std::ceil(size)) + 2;
    QImage mark(side, side, QImage::Format_ARGB32_Premultiplied);
    mark.fill(Qt::transparent);
    QPainter painter(&mark);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(series.borderColor(), scale));
    painter.setBrush(series.color());
    const QRectF box(1, 1, size, size);
    const QPointF c = box.center();
    const double h = size / 2;
    switch (series.markerShape()) {
        case QScatterSeries::MarkerShapeRectangle:
            painter.drawRect(box);
            break;
        case QScatterSeries::MarkerShapeRotatedRectangle:
            painter.drawPolygon(QPolygonF(
                {c + QPointF(0, -h), c + QPointF(h, 0), c + QPointF(0, h), c + QPointF(-h, 0)}));
            break;
        case QScatterSeries::MarkerShapeTriangle:
            painter.drawPolygon(
                QPolygonF({QPointF(c.x(), box.top()), box.bottomRight(), box.bottomLeft()}));
            break;
        default:
            painter.drawEllipse(box);
            break;
    }
    return mark;
}

}  // namespace

void PlotDots::Place(PlotFigure& figure, std::pair<double, double> xRange,
                     std::pair<double, double> yRange) {
    if (inSeries_) return;
    QImage image = figure.Raster();
    const int w = image.width(), h = image.height();
    const double sx = w / (xRange.second - xRange.first), sy = h / (yRange.second - yRange.first);
    QPainter painter(&image);
    for (Kind_& k : kinds_) {
        const QImage mark = markImage(*k.series, PlotFigure::Raster_Scale);
        const QPointF half(mark.width() / 2.0, mark.height() / 2.0);
        // A mark at a pixel where one of its kind is already is the same mark again.
        std::vector<bool> drawn(std::size_t(w) * std::size_t(h), false);
        for (const QPointF& p : k.points) {
            const double px = (p.x() - xRange.first) * sx, py = (yRange.second - p.y()) * sy;
            if (!(px >= 0 && px < w && py >= 0 && py < h)) continue;
            const std::size_t at = std::size_t(py) * std::size_t(w) + std::size_t(px);
            if (drawn[at]) continue;
            drawn[at] = true;
            painter.drawImage(QPointF(std::floor(px), std::floor(py)) - half, mark);
        }
        k.points = {};
    }
    painter.end();
    figure.Add_Raster(std::move(image));
}

namespace {

// An image over the plot area. It is the chart's child, above the grid and below the axes
// and series, whose places Qt Charts gives as z values 2 and 3 and up.
class RasterItem : public QGraphicsItem {
  public:
    RasterItem(QImage image, QRectF area, QGraphicsItem* parent)
        : QGraphicsItem(parent), image_(std::move(image)), area_(area) {
        setZValue(2.5);
    }
    QRectF boundingRect() const override { return area_; }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
        painter->save();
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(area_, image_);
        painter->restore();
    }

  private:
    QImage image_;
    QRectF area_;
};

}  // namespace

PlotFigure::PlotFigure(QChart* chart, QSize size)
    : scene_(std::make_unique<QGraphicsScene>()), chart_(chart), size_(size) {
    // No index of the items: a scene painted once has no use for one, and it costs much for
    // series of many dots.
    scene_->setItemIndexMethod(QGraphicsScene::NoIndex);
    scene_->addItem(chart);  // the scene owns the chart from here
    chart->setGeometry(0, 0, size.width(), size.height());
    chart->layout()->activate();
}

PlotFigure::~PlotFigure() = default;

QImage PlotFigure::Raster() const {
    const QRectF area = Plot_Area();
    QImage image(std::max(1, int(std::ceil(area.width() * Raster_Scale))),
                 std::max(1, int(std::ceil(area.height() * Raster_Scale))),
                 QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) throw LvError(ErrorKind::OutOfMemory, "making the plot's image");
    image.fill(Qt::transparent);
    return image;
}

void PlotFigure::Add_Raster(QImage image) {
    new RasterItem(std::move(image), Plot_Area(), chart_);
}

void PlotFigure::Paint(QPainter& painter) const {
    const QRectF whole(QPointF(0, 0), QSizeF(size_));
    scene_->render(&painter, whole, whole);
}

PlotDensity::PlotDensity(const PlotFigure& figure, std::pair<double, double> xRange,
                         std::pair<double, double> yRange) {
    const QRectF area = figure.Plot_Area();
    w_ = std::max(1, int(std::ceil(area.width())));
    h_ = std::max(1, int(std::ceil(area.height())));
    x0_ = xRange.first;
    y1_ = yRange.second;
    sx_ = w_ / (xRange.second - xRange.first);
    sy_ = h_ / (yRange.second - yRange.first);
    count_.assign(std::size_t(w_) * std::size_t(h_), 0);
    sum_.assign(count_.size(), 0);
}

void PlotDensity::Add(double x, double y, double value) {
    const double px = (x - x0_) * sx_, py = (y1_ - y) * sy_;
    if (!(px >= 0 && px < w_ && py >= 0 && py < h_)) return;
    const std::size_t at = std::size_t(py) * std::size_t(w_) + std::size_t(px);
    if (count_[at] == UINT32_MAX) return;
    ++count_[at];
    sum_[at] += value;
}

void PlotDensity::Place(PlotFigure& figure, const QColor& ink) const {
    Place(figure, [&ink](double) { return ink; });
}

void PlotDensity::Place(PlotFigure& figure, const std::function<QColor(double)>& colour) const {
    const uint32_t most = std::max<uint32_t>(1, *std::max_element(count_.begin(), count_.end()));
    const double scale = std::log1p(double(most));
    QImage image = figure.Raster();
    const int w = image.width(), h = image.height();
    for (int py = 0; py < h; ++py) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(py));
        const std::size_t row = std::size_t((long long)py * h_ / h) * std::size_t(w_);
        for (int px = 0; px < w; ++px) {
            const std::size_t at = row + std::size_t((long long)px * w_ / w);
            if (count_[at] == 0) continue;
            const QColor c = colour(sum_[at] / count_[at]);
            const double opacity = 0.45 + 0.55 * std::log1p(double(count_[at])) / scale;
            line[px] = qPremultiply(qRgba(c.red(), c.green(), c.blue(), int(opacity * 255)));
        }
    }
    figure.Add_Raster(std::move(image));
}

namespace {

const char* plotProgram = "";
QtMessageHandler previousHandler = nullptr;  // the program's own, while a plot is drawn
bool threadRefused = false;  // Qt said that a thread of its own could not be started

constexpr std::size_t PoolStack = 512 * 1024;

// Whether a thread with the pool's stack can be started now. Its stack stays in the C
// library's cache, for the next thread of that size: the pool's.
int probeThread() {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, PoolStack);
    pthread_t thread;
    const int err = pthread_create(
        &thread, &attr, [](void*) -> void* { return nullptr; }, nullptr);
    pthread_attr_destroy(&attr);
    if (err == 0) pthread_join(thread, nullptr);
    return err;
}

// Qt's painting shares large fills out among the threads of its global pool, and waits
// without end for a task whose thread could not be started (in a capped address space:
// "QThread::start: Thread creation error", then nothing). So the pool is held to one thread,
// kept for good once it runs, and that thread is had here, where a failure can be seen: with
// it running, the painting never waits for a thread that is not there. The application's end
// lets the pool's threads go, so every plot does this again.
void preparePool() {
    QThreadPool* pool = QThreadPool::globalInstance();
    // Once an application of the process has ended there is no pool: Qt paints on the
    // calling thread alone.
    if (pool == nullptr) return;
    pool->setStackSize(PoolStack);
    pool->setExpiryTimeout(-1);
    pool->setMaxThreadCount(1);
    if (const int err = probeThread())
        throw LvError(
            ErrorKind::OutOfMemory,
            std::string("no thread can be started for the plot (") + std::strerror(err) + ")");
    threadRefused = false;
    QSemaphore running;
    pool->start([&running] { running.release(); });
    if (threadRefused) {
        // The probe's thread could be had and this one not: the system's count of threads,
        // which other processes share, ran out between the two. The pool now waits for a
        // thread that never ran, at the latest when the program ends, so the program ends
        // before that.
        std::atexit([] {
            std::fflush(nullptr);
            std::_Exit(1);
        });
        throw LvError(ErrorKind::OutOfMemory, "no thread can be started for the plot");
    }
    running.acquire();
}

}  // namespace

struct PlotApplication::Parts {
    int argc = 1;
    char name[16] = "plot";
    char* argv[2] = {name, nullptr};
    std::optional<QApplication> app;
};

PlotApplication::PlotApplication(const char* program, std::size_t headroom) {
    // Qt does not check its allocations: one that fails deep in a drawing crashes the
    // program. What a drawing may take is had for a moment here, where its absence is an
    // error to tell.
    void* room = ::mmap(nullptr, headroom, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (room == MAP_FAILED)
        throw LvError(ErrorKind::OutOfMemory, "the plot needs about " +
                                                  std::to_string(headroom >> 20) +
                                                  " MB, more than the program may still have");
    ::munmap(room, headroom);
    plotProgram = program;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    previousHandler =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& m) {
            if (m.startsWith(QLatin1String("QThread::start: Thread creation error"))) {
                threadRefused = true;  // said by preparePool, as a plot's error
                return;
            }
            if (type == QtCriticalMsg || type == QtFatalMsg)
                std::fprintf(stderr, "%s: %s\n", plotProgram, qPrintable(m));
        });
    try {
        preparePool();
    } catch (...) {
        qInstallMessageHandler(previousHandler);
        throw;
    }
    parts_ = new Parts;
    // A program with a window of its own has its application already: the plot is drawn in
    // it, as there can be only one.
    if (QCoreApplication::instance() == nullptr) parts_->app.emplace(parts_->argc, parts_->argv);
}

PlotApplication::~PlotApplication() {
    delete parts_;
    qInstallMessageHandler(previousHandler);
}
