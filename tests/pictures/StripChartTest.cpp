// The strip chart's pixels: the erase line, the marks, rounding of rows, the wrap.
#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTest>
#include <cmath>

#include "BitmapFile.h"
#include "Globals.h"
#include "LvError.h"
#include "StripChart.h"

namespace {
constexpr QRgb White = 0xFFFFFFFF;
constexpr QRgb Black = 0xFF000000;

void setSpecies(int i, double x, int32_t color) {
    Species(i).x = x;
    Species(i).Color = color;
}

PixelSurface surfaceOf(QImage& img) {
    return {reinterpret_cast<uint32_t*>(img.bits()), img.width(), img.height(),
            img.bytesPerLine() / 4};
}

QRgb at(const QImage& img, int x, int y) {
    return img.pixel(x, y);
}

// The column drawn the plain way, pixel by pixel: the picture the chart must leave.
void referenceColumn(QImage& img, int col, int n) {
    if (col < img.width())
        for (int y = img.height() - 1; y >= 0; --y) img.setPixel(col, y, White);
    const float H = float(img.height());
    const float K = 1.0f / H;
    for (int i = 0; i < n; ++i) {
        const int y = int(std::nearbyint(double(H) - Species(i).x / double(K)));
        const uint32_t c = uint32_t(Species(i).Color);
        const QRgb rgb = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
        for (int yy : {y, y + 1, y - 1})
            if (col < img.width() && yy >= 0 && yy < img.height()) img.setPixel(col, yy, rgb);
    }
}
}  // namespace

class StripChartTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        PlotColumn = 0;
        Nanimals = 0;
    }

    void eraseLineCoversOnlyItsColumn() {
        QImage img(20, 10, QImage::Format_RGB32);
        img.fill(Black);
        StripChart chart(surfaceOf(img));
        PlotColumn = 5;
        const int16_t n = 0;
        QCOMPARE(chart.Graph_Populations(Species, n, PlotColumn), 5);
        QCOMPARE(PlotColumn, int16_t(6));
        QCOMPARE(at(img, 5, 3), Black);  // drawn into the picture by Render, not before
        chart.Render();
        for (int y = 0; y < 10; ++y) {
            QCOMPARE(at(img, 5, y), White);
            QCOMPARE(at(img, 4, y), Black);
            QCOMPARE(at(img, 6, y), Black);
        }
    }

    void marksAtTheRowsOfTheirPopulations() {
        // H = 250 as in the window: population 0 on row 250 (only row 249 inside),
        // population 1 on row 0 (rows 0 and 1 inside).
        QImage img(700, 250, QImage::Format_RGB32);
        img.fill(Black);
        StripChart chart(surfaceOf(img));
        setSpecies(0, 0.0, 0x0000FF);  // red in the low byte
        setSpecies(1, 1.0, 0x00FF00);
        setSpecies(2, 0.5, 0xFF0000);
        const int16_t n = 3;
        chart.Graph_Populations(Species, n, PlotColumn);
        chart.Render();
        QCOMPARE(at(img, 0, 249), qRgb(255, 0, 0));
        QCOMPARE(at(img, 0, 248), White);
        QCOMPARE(at(img, 0, 0), qRgb(0, 255, 0));
        QCOMPARE(at(img, 0, 1), qRgb(0, 255, 0));
        QCOMPARE(at(img, 0, 2), White);
        for (int y : {124, 125, 126}) QCOMPARE(at(img, 0, y), qRgb(0, 0, 255));
        QCOMPARE(at(img, 0, 123), White);
        QCOMPARE(at(img, 0, 127), White);
        QCOMPARE(at(img, 1, 125), Black);  // nothing beyond the column
    }

    void halfwayRowsGoToTheEvenRow() {
        // H = 8 makes K = 1/8 exact: x = 0.4375 gives row 4.5, x = 0.5625 row 3.5; both
        // round to 4, so each mark covers rows 3 to 5 and no more.
        for (double x : {0.4375, 0.5625}) {
            QImage img(4, 8, QImage::Format_RGB32);
            img.fill(Black);
            StripChart chart(surfaceOf(img));
            PlotColumn = 0;
            setSpecies(0, x, 0x123456);
            const int16_t n = 1;
            chart.Graph_Populations(Species, n, PlotColumn);
            chart.Render();
            const QRgb c = qRgb(0x56, 0x34, 0x12);
            QCOMPARE(at(img, 0, 2), White);
            QCOMPARE(at(img, 0, 3), c);
            QCOMPARE(at(img, 0, 4), c);
            QCOMPARE(at(img, 0, 5), c);
            QCOMPARE(at(img, 0, 6), White);
        }
    }

    void laterSpeciesShowWhereMarksOverlap() {
        QImage img(4, 8, QImage::Format_RGB32);
        StripChart chart(surfaceOf(img));
        setSpecies(0, 0.5, 0x0000FF);
        setSpecies(1, 0.5, 0x00FF00);
        const int16_t n = 2;
        chart.Graph_Populations(Species, n, PlotColumn);
        chart.Render();
        for (int y : {3, 4, 5}) QCOMPARE(at(img, 0, y), qRgb(0, 255, 0));
    }

    void wrapsOnlyPastTheWidthAfterItsPause() {
        QImage img(700, 250, QImage::Format_RGB32);
        img.fill(Black);
        StripChart chart(surfaceOf(img));
        int pauses = 0;
        int columnAtPause = -1;
        chart.setWrapPause([&] {
            ++pauses;
            columnAtPause = PlotColumn;
        });
        setSpecies(0, 0.5, 0x0000FF);
        const int16_t n = 1;
        PlotColumn = 699;
        QCOMPARE(chart.Graph_Populations(Species, n, PlotColumn), 699);
        // Equal to the width: no wrap, the column just outside the surface is drawn.
        QCOMPARE(chart.Graph_Populations(Species, n, PlotColumn), 700);
        QCOMPARE(pauses, 0);
        QCOMPARE(PlotColumn, int16_t(701));
        chart.Render();
        QCOMPARE(at(img, 0, 125), Black);
        // Past the width: the pause, then column 0.
        QCOMPARE(chart.Graph_Populations(Species, n, PlotColumn), 0);
        QCOMPARE(pauses, 1);
        QCOMPARE(columnAtPause, 701);
        QCOMPARE(PlotColumn, int16_t(1));
        chart.Render();
        QCOMPARE(at(img, 0, 125), qRgb(255, 0, 0));
        QCOMPARE(at(img, 0, 0), White);
    }

    void sweepAfterSweepMatchesThePlainDrawing_data() {
        QTest::addColumn<int>("species");
        QTest::newRow("1") << 1;
        QTest::newRow("4") << 4;
        QTest::newRow("27") << 27;
        QTest::newRow("51") << 51;
    }
    void sweepAfterSweepMatchesThePlainDrawing() {
        // Sweep after sweep of random populations (some outside 0..1, clipped), put into the
        // picture now after every column, now after many sweeps, with foreign paint thrown
        // in; the picture must always be what drawing each column plainly gives.
        QFETCH(int, species);
        QRandomGenerator rng(species);
        QImage img(120, 50, QImage::Format_RGB32), ref(120, 50, QImage::Format_RGB32);
        StripChart chart(surfaceOf(img));
        chart.Clear();
        ref.fill(White);
        const int16_t n = int16_t(species);
        for (int i = 0; i < n; ++i) Species(i).Color = int32_t(rng.bounded(0x1000000));
        PlotColumn = 0;
        int untilRender = 0;
        for (int call = 0; call < 3000; ++call) {
            for (int i = 0; i < n; ++i) Species(i).x = rng.generateDouble() * 1.1 - 0.05;
            if (PlotColumn > 120) PlotColumn = 0;  // the wrap, as the chart does it
            const int col = PlotColumn;
            referenceColumn(ref, col, n);
            chart.Graph_Populations(Species, n, PlotColumn);
            if (untilRender-- > 0) continue;
            chart.Render();
            if (img != ref) QFAIL(qPrintable(QString("call %1, column %2").arg(call).arg(col)));
            // Someone else draws in the picture, which is up to date just now.
            const int x = int(rng.bounded(120)), y = int(rng.bounded(50));
            img.setPixel(x, y, qRgb(1, 2, 3));
            ref.setPixel(x, y, qRgb(1, 2, 3));
            // The next look comes after a column, a few, or several sweeps.
            const int gaps[] = {0, 1, 7, 60, 121, 400};
            untilRender = gaps[rng.bounded(6)];
        }
        // A cleared surface starts over white, and nothing from before it comes back.
        for (int call = 0; call < 50; ++call) chart.Graph_Populations(Species, n, PlotColumn);
        chart.Clear();
        ref.fill(White);
        PlotColumn = 0;
        for (int call = 0; call < 130; ++call) {
            if (PlotColumn > 120) PlotColumn = 0;
            referenceColumn(ref, PlotColumn, n);
            chart.Graph_Populations(Species, n, PlotColumn);
        }
        chart.Render();
        QVERIFY(img == ref);
    }

    void clearFillsWhiteAndHugePopulationsOverflow() {
        QImage img(10, 10, QImage::Format_RGB32);
        img.fill(Black);
        StripChart chart(surfaceOf(img));
        chart.Clear();
        for (int x = 0; x < 10; ++x)
            for (int y = 0; y < 10; ++y) QCOMPARE(at(img, x, y), White);
        // A row beyond 16 bits is an overflow, not a wrapped-around mark; the column is
        // whitened and keeps the marks of the rows before it.
        img.fill(Black);
        setSpecies(0, 0.5, 0x0000FF);
        setSpecies(1, -1e6, 0);
        PlotColumn = 3;
        const int16_t n = 2;
        QVERIFY_THROWS_EXCEPTION(LvError, chart.Graph_Populations(Species, n, PlotColumn));
        chart.Render();
        QCOMPARE(at(img, 3, 0), White);
        QCOMPARE(at(img, 3, 5), qRgb(255, 0, 0));
        QCOMPARE(at(img, 3, 9), White);
        QCOMPARE(at(img, 2, 5), Black);
    }

    // Our bitmap is the one Qt's BMP writer made of the same picture, marked 96 dots per
    // inch, byte for byte: every width's row padding, odd heights, every colour channel.
    void bitmapIsQtsBmpWriterBytes() {
        QRandomGenerator random(7);
        for (const QSize size : {QSize(1, 1), QSize(2, 3), QSize(3, 2), QSize(5, 3), QSize(4, 1),
                                 QSize(701, 251), QSize(700, 250)}) {
            QImage img(size, QImage::Format_RGB32);
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    img.setPixel(x, y, 0xFF000000u | (random.generate() & 0xFFFFFFu));
            QImage marked = img;
            marked.setDotsPerMeterX(3780);
            marked.setDotsPerMeterY(3780);
            QByteArray qt;
            QBuffer buffer(&qt);
            buffer.open(QIODevice::WriteOnly);
            QVERIFY(QImageWriter(&buffer, "BMP").write(marked));
            const std::string ours = Bitmap_Bytes(surfaceOf(img));
            QCOMPARE(QByteArray(ours.data(), qsizetype(ours.size())), qt);
        }
    }
};

QTEST_GUILESS_MAIN(StripChartTest)
#include "StripChartTest.moc"
