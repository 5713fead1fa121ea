#include "acq/livecurve.h"
#include "acq/liveseries.h"
#include "testenvironment.h"

#include <qwt_legend.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_scale_div.h>
#include <qwt_series_data.h>
#include <qwt_text.h>

#include <QImage>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <iterator>
#include <limits>

namespace {

using Samples = QVector<QPointF>;

// Whole seconds of a run read every 540 ms: several samples share an x.
double secondsAtTick(int tick)
{
    return std::floor(tick * 0.54);
}

Samples noisyRun(int count, double offset, double amplitude, quint32 seed)
{
    QRandomGenerator random(seed);
    Samples samples;
    samples.reserve(count);
    for (int i = 0; i < count; ++i) {
        const double slow = amplitude * std::sin(2.0 * M_PI * i / 20000.0);
        const double noise = (random.generateDouble() - 0.5) * amplitude * 0.4;
        samples.append(QPointF(secondsAtTick(i), offset + slow + noise));
    }
    return samples;
}

// A plot set up the way the main window sets up its live plots.
// A valid `shownX` fixes the x scale, as a zoomed-in plot would.
struct Plot
{
    explicit Plot(QwtPlotCurve *curve, const QwtInterval &shownX = QwtInterval())
    {
        widget.insertLegend(new QwtLegend, QwtPlot::BottomLegend);
        widget.setAxisTitle(QwtPlot::xBottom, QStringLiteral("elapsed time (sec)"));
        if (shownX.isValid())
            widget.setAxisScale(QwtPlot::xBottom, shownX.minValue(), shownX.maxValue());
        else
            widget.setAxisAutoScale(QwtPlot::xBottom);
        widget.setAxisAutoScale(QwtPlot::yLeft);
        widget.setAutoReplot(true);
        curve->setPen(QColor(255, 153, 0));
        curve->attach(&widget);
        widget.resize(800, 300);
    }

    // No replot here: what the plot shows must follow from the automatic
    // replot alone, as in the main window.
    QImage image()
    {
        return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    QwtPlot widget;
};

QImage drawnEverySample(const QwtText &title, const Samples &samples, const QwtInterval &shownX,
                        QwtInterval *x, QwtInterval *y)
{
    auto *curve = new QwtPlotCurve(title);
    curve->setPaintAttribute(QwtPlotCurve::FilterPoints, false);
    curve->setSamples(samples);
    Plot plot(curve, shownX);
    const QImage image = plot.image();
    if (x)
        *x = plot.widget.axisInterval(QwtPlot::xBottom);
    if (y)
        *y = plot.widget.axisInterval(QwtPlot::yLeft);
    return image;
}

int differingPixels(const QImage &a, const QImage &b)
{
    int count = 0;
    for (int row = 0; row < a.height(); ++row) {
        const QRgb *lineA = reinterpret_cast<const QRgb *>(a.constScanLine(row));
        const QRgb *lineB = reinterpret_cast<const QRgb *>(b.constScanLine(row));
        for (int column = 0; column < a.width(); ++column)
            count += lineA[column] != lineB[column];
    }
    return count;
}

int curvePixels(const QImage &image)
{
    const QRgb pen = QColor(255, 153, 0).rgb();
    int count = 0;
    for (int row = 0; row < image.height(); ++row) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(row));
        for (int column = 0; column < image.width(); ++column)
            count += line[column] == pen;
    }
    return count;
}

// The live curve must show what drawing every sample shows: the same axes,
// and at most 0.5 % of the pixels different. So that a missing stretch of
// curve cannot hide below that bound, the difference must also stay within
// 1 % of the pixels the curve covers (pixel-exact drawing is not expected:
// the rasterizer joins a polyline's segments a little differently when it
// has fewer of them).
void compareWithEverySample(Plot &plot, const LiveCurve &curve, const Samples &samples,
                            const QwtInterval &shownX = QwtInterval())
{
    const QImage live = plot.image();
    QwtInterval x, y;
    const QImage reference = drawnEverySample(curve.title(), samples, shownX, &x, &y);
    QCOMPARE(plot.widget.axisInterval(QwtPlot::xBottom), x);
    QCOMPARE(plot.widget.axisInterval(QwtPlot::yLeft), y);
    QCOMPARE(live.size(), reference.size());

    const int differing = differingPixels(live, reference);
    const int drawn = curvePixels(reference);
    const int total = reference.width() * reference.height();
    qDebug("%d of %d pixels differ; the curve covers %d", differing, total, drawn);
    QVERIFY2(differing <= total / 200, qPrintable(QString::number(differing)));
    QVERIFY2(differing <= drawn / 100, qPrintable(QString("%1 of %2").arg(differing).arg(drawn)));
}

void appendAll(LiveCurve &curve, const Samples &samples)
{
    for (const QPointF &sample : samples)
        curve.appendSample(sample);
}

QRectF boundsOfEverySample(const Samples &samples)
{
    return qwtBoundingRect(QwtPointSeriesData(samples));
}

} // namespace

class TestLiveCurve : public QObject
{
    Q_OBJECT

private slots:
    void rangeQueriesMatchAPlainScan();
    void boundsFollowTheSamples();
    void keepsEverySampleWithinItsMemoryBudget();
    void drawsLikeEverySample_data();
    void drawsLikeEverySample();
    void redrawnTickByTick_data();
    void redrawnTickByTick();
    void nextRunReplacesTheLastOne();
    void plotScalesToAppendedSamples();

private:
    TestEnvironment environment;
};

// Checked against a plain scan, over ranges that start and end on and off
// the block boundaries of every level; ties must give the first sample.
void TestLiveCurve::rangeQueriesMatchAPlainScan()
{
    QRandomGenerator random(7);
    LiveSeries series;
    QVector<double> ys;
    for (int i = 0; i < 40000; ++i) {
        double y = random.bounded(40) - 20;
        if (random.bounded(100) == 0)
            y = std::numeric_limits<double>::quiet_NaN();
        ys.append(y);
        series.append(QPointF(secondsAtTick(i), y));
    }

    const auto check = [&](size_t first, size_t end) {
        // Where the samples up to a whole second end, as a column ends.
        const double last = series.xAt(end - 1);
        for (const double limit : {series.xAt(first) - 1.0, series.xAt(first), std::floor((series.xAt(first) + last) / 2),
                                   last - 1.0, last}) {
            size_t expected = first;
            while (expected < end && series.xAt(expected) <= limit)
                ++expected;
            const size_t found = series.partitionPointOfX(first, end, [&](double x) { return x <= limit; });
            if (found != expected) {
                QFAIL(qPrintable(QString("range %1..%2, x up to %3: %4 (expected %5)")
                                     .arg(first).arg(end).arg(limit).arg(found).arg(expected)));
            }
        }

        size_t lowest = LiveSeries::npos;
        size_t highest = LiveSeries::npos;
        for (size_t i = first; i < end; ++i) {
            if (std::isnan(ys[int(i)]))
                continue;
            if (lowest == LiveSeries::npos || ys[int(i)] < ys[int(lowest)])
                lowest = i;
            if (highest == LiveSeries::npos || ys[int(i)] > ys[int(highest)])
                highest = i;
        }
        const LiveSeries::Extremes extremes = series.extremes(first, end);
        if (extremes.lowest != lowest || extremes.highest != highest
            || (lowest != LiveSeries::npos
                && (extremes.lowestY != ys[int(lowest)] || extremes.highestY != ys[int(highest)]))) {
            QFAIL(qPrintable(QString("range %1..%2: lowest %3 (expected %4), highest %5 (expected %6)")
                                 .arg(first).arg(end).arg(extremes.lowest).arg(lowest)
                                 .arg(extremes.highest).arg(highest)));
        }
    };

    const size_t size = series.size();
    const size_t edges[] = {0, 1, 63, 64, 65, 511, 512, 513, 1000, 4095, 4096, 4097, 32767, 32768, 32769, 39999};
    for (size_t first : edges) {
        for (size_t end : edges) {
            if (first < end)
                check(first, end);
        }
        check(first, size);
    }
    for (int i = 0; i < 500; ++i) {
        const size_t first = random.bounded(quint32(size));
        check(first, first + 1 + random.bounded(quint32(size - first)));
    }
    // A range of nothing but NaN has no extremes.
    LiveSeries gaps;
    gaps.append(QPointF(0, std::numeric_limits<double>::quiet_NaN()));
    QCOMPARE(gaps.extremes(0, 1).lowest, LiveSeries::npos);
}

void TestLiveCurve::boundsFollowTheSamples()
{
    LiveCurve curve(QStringLiteral("°C"));
    QVERIFY(curve.boundingRect().width() < 0);   // nothing to scale to

    Samples samples;
    QRandomGenerator random(3);
    for (int i = 0; i < 3000; ++i) {
        samples.append(QPointF(secondsAtTick(i), random.generateDouble() * 60.0 - 45.0));
        curve.appendSample(samples.last());
        if (i < 10 || i % 97 == 0)
            QCOMPARE(curve.boundingRect(), boundsOfEverySample(samples));
    }
    QCOMPARE(curve.boundingRect(), boundsOfEverySample(samples));

    // A value that could not be converted must not blow up the scale.
    curve.appendSample(QPointF(2000, std::numeric_limits<double>::quiet_NaN()));
    QCOMPARE(curve.boundingRect(), boundsOfEverySample(samples));
    QCOMPARE(curve.sampleCount(), size_t(3001));

    curve.clearSamples();
    QCOMPARE(curve.sampleCount(), size_t(0));
    QVERIFY(curve.boundingRect().width() < 0);
    curve.appendSample(QPointF(0, -3.5));
    QCOMPARE(curve.boundingRect(), QRectF(0, -3.5, 0, 0));
}

// The budget counts everything the curve holds, including the samples it
// picked for the pixel columns at the last draw, so the curve is drawn at
// every checkpoint.
void TestLiveCurve::keepsEverySampleWithinItsMemoryBudget()
{
    auto *curve = new LiveCurve(QStringLiteral("W/m^2"));
    Plot plot(curve);
    plot.widget.setAutoReplot(false);
    const auto sampleAt = [](size_t i) { return QPointF(double(i / 2), double(i % 1201) - 100.25); };

    const size_t checkpoints[] = {32769, 34817, 65537, 100000, 1000000};
    size_t next = 0;
    for (size_t i = 0; i < 1000000; ++i) {
        curve->appendSample(sampleAt(i));
        if (i + 1 == checkpoints[next]) {
            plot.widget.replot();
            plot.image();
            const double perSample = double(curve->memoryBytes()) / double(curve->sampleCount());
            qDebug("%zu samples: %.2f bytes per sample", i + 1, perSample);
            QVERIFY2(perSample <= 24.0, qPrintable(QString("%1 bytes per sample at %2 samples")
                                                       .arg(perSample).arg(i + 1)));
            ++next;
        }
    }
    QCOMPARE(next, std::size(checkpoints));

    for (size_t i = 0; i < curve->sampleCount(); i += 997)
        QCOMPARE(curve->sample(i), sampleAt(i));
    QCOMPARE(curve->sample(999999), sampleAt(999999));

    curve->clearSamples();
    QVERIFY(curve->memoryBytes() < 1024);
}

void TestLiveCurve::drawsLikeEverySample_data()
{
    QTest::addColumn<Samples>("samples");
    QTest::addColumn<QwtInterval>("shownX");
    const QwtInterval autoScaled;

    QTest::newRow("100000 noisy samples") << noisyRun(100000, 500.0, 300.0, 11) << autoScaled;
    QTest::newRow("short run, fewer seconds than pixels") << noisyRun(200, 20.0, 5.0, 12) << autoScaled;
    QTest::newRow("one sample") << Samples{QPointF(0, 21.5)} << autoScaled;
    QTest::newRow("two samples") << Samples{QPointF(0, 21.5), QPointF(1, 23.0)} << autoScaled;
    // The curve enters and leaves the canvas from samples far outside it.
    QTest::newRow("zoomed in") << noisyRun(100000, 500.0, 300.0, 15) << QwtInterval(20000.5, 20300.5);
    Samples sparse;
    for (int i = 0; i < 60; ++i)
        sparse.append(QPointF(200.0 * i, (i * 37) % 11));
    QTest::newRow("zoomed in between distant samples") << sparse << QwtInterval(1010, 1390);

    Samples sameSecond;
    for (int i = 0; i < 500; ++i)
        sameSecond.append(QPointF(7, std::sin(i * 0.1) * 10.0));
    QTest::newRow("all samples at one x") << sameSecond << autoScaled;

    Samples constant;
    for (int i = 0; i < 20000; ++i)
        constant.append(QPointF(secondsAtTick(i), 21.5));
    QTest::newRow("constant y") << constant << autoScaled;

    QTest::newRow("negative temperatures") << noisyRun(20000, -25.0, 10.0, 13) << autoScaled;

    // A clock that steps back must not make whole stretches disappear.
    Samples backwards = noisyRun(3000, 10.0, 5.0, 14);
    for (int i = 1500; i < 3000; ++i)
        backwards[i].rx() -= 300.0;
    QTest::newRow("x going backwards") << backwards << autoScaled;
}

void TestLiveCurve::drawsLikeEverySample()
{
    QFETCH(Samples, samples);
    QFETCH(QwtInterval, shownX);

    auto *curve = new LiveCurve(QStringLiteral("W/m^2"));
    appendAll(*curve, samples);
    QCOMPARE(curve->sampleCount(), size_t(samples.size()));
    Plot plot(curve, shownX);
    compareWithEverySample(plot, *curve, samples, shownX);
}

void TestLiveCurve::redrawnTickByTick_data()
{
    QTest::addColumn<QwtInterval>("shownX");
    QTest::newRow("scaled to the run") << QwtInterval();
    QTest::newRow("fixed scale") << QwtInterval(0, 12000);
}

// Between redraws only the last pixel column can change; samples arriving
// in it and in new columns must all show.
void TestLiveCurve::redrawnTickByTick()
{
    QFETCH(QwtInterval, shownX);

    auto *curve = new LiveCurve(QStringLiteral("W/m^2"));
    Plot plot(curve, shownX);
    const Samples samples = noisyRun(20000, 300.0, 200.0, 31);
    for (int i = 0; i < samples.size(); ++i) {
        curve->appendSample(samples[i]);
        if (i % 97 == 0 || (i > 19000 && i % 7 == 0))
            plot.image();
    }
    compareWithEverySample(plot, *curve, samples, shownX);
}

// At the first sample of a run the main window clears the curve, which
// until then still shows the previous run.
void TestLiveCurve::nextRunReplacesTheLastOne()
{
    auto *curve = new LiveCurve(QStringLiteral("Constant per pulse"));
    Plot plot(curve);
    appendAll(*curve, noisyRun(30000, 40.0, 20.0, 21));
    const QImage lastRun = plot.image();

    const Samples nextRun = noisyRun(5000, -5.0, 3.0, 22);
    curve->clearSamples();
    appendAll(*curve, nextRun);
    QVERIFY(plot.image() != lastRun);
    compareWithEverySample(plot, *curve, nextRun);
}

// The main window never replots: appending must be enough for the
// automatic replot to rescale both axes.
void TestLiveCurve::plotScalesToAppendedSamples()
{
    auto *curve = new LiveCurve(QStringLiteral("°C"));
    Plot plot(curve);
    curve->appendSample(QPointF(0, 20.0));
    curve->appendSample(QPointF(90, -12.5));
    curve->appendSample(QPointF(250, 31.0));

    const QwtInterval x = plot.widget.axisInterval(QwtPlot::xBottom);
    const QwtInterval y = plot.widget.axisInterval(QwtPlot::yLeft);
    QVERIFY2(x.minValue() <= 0 && x.maxValue() >= 250 && x.maxValue() < 400,
             qPrintable(QString("%1..%2").arg(x.minValue()).arg(x.maxValue())));
    QVERIFY2(y.minValue() <= -12.5 && y.maxValue() >= 31.0 && y.width() < 100,
             qPrintable(QString("%1..%2").arg(y.minValue()).arg(y.maxValue())));
}

QTEST_MAIN(TestLiveCurve)
#include "tst_livecurve.moc"
