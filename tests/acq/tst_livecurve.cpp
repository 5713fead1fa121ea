#include "acq/livecurve.h"
#include "acq/liveseries.h"
#include "testenvironment.h"

#include <qwt_legend.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_series_data.h>

#include <QImage>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>

namespace {

using Samples = QVector<QPointF>;
const QColor Pen(255, 153, 0);

// Whole seconds of a run read every 540 ms: several samples share an x.
double secondsAtTick(int tick)
{
    return std::floor(tick * 0.54);
}

Samples noisyRun(int count, double offset, double amplitude, quint32 seed)
{
    QRandomGenerator random(seed);
    Samples samples;
    for (int i = 0; i < count; ++i) {
        const double noise = (random.generateDouble() - 0.5) * amplitude * 0.4;
        samples.append(QPointF(secondsAtTick(i), offset + amplitude * std::sin(2.0 * M_PI * i / 20000.0) + noise));
    }
    return samples;
}

// An 800 x 300 plot with a legend below, like the main window's live plots;
// a valid `shownX` fixes the x scale, as a zoomed-in plot would. It replots
// on its own only, as in the main window.
struct Plot
{
    explicit Plot(QwtPlotCurve *curve, const QwtInterval &shownX = QwtInterval())
    {
        widget.insertLegend(new QwtLegend, QwtPlot::BottomLegend);
        if (shownX.isValid())
            widget.setAxisScale(QwtPlot::xBottom, shownX.minValue(), shownX.maxValue());
        widget.setAutoReplot(true);
        curve->setPen(Pen);
        curve->attach(&widget);
        widget.resize(800, 300);
    }
    QImage image() { return widget.grab().toImage().convertToFormat(QImage::Format_RGB32); }

    QwtPlot widget;
};

// The live curve must show what drawing every sample with a plain curve
// shows: the same axes, and at most 0.5 % of the pixels different. So that
// a missing stretch of curve cannot hide below that bound, the difference
// must also stay within 1 % of the pixels the curve covers (the rasterizer
// joins a polyline's segments a little differently when it has fewer).
void compareWithEverySample(Plot &plot, const Samples &samples, const QwtInterval &shownX = QwtInterval())
{
    const QImage live = plot.image();
    auto *curve = new QwtPlotCurve(plot.widget.itemList(QwtPlotItem::Rtti_PlotCurve).first()->title());
    curve->setPaintAttribute(QwtPlotCurve::FilterPoints, false);
    curve->setSamples(samples);
    Plot reference(curve, shownX);
    const QImage drawn = reference.image();
    for (int axis : { QwtPlot::xBottom, QwtPlot::yLeft })
        QCOMPARE(plot.widget.axisInterval(axis), reference.widget.axisInterval(axis));
    int differing = 0, curvePixels = 0;
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width(); ++x) {
            differing += live.pixel(x, y) != drawn.pixel(x, y);
            curvePixels += drawn.pixel(x, y) == Pen.rgb();
        }
    }
    QVERIFY2(differing <= 800 * 300 / 200 && differing <= curvePixels / 100,
             qPrintable(QStringLiteral("%1 pixels differ; the curve covers %2").arg(differing).arg(curvePixels)));
}

} // namespace

class TestLiveCurve : public QObject
{
    Q_OBJECT

private slots:
    void extremesMatchAPlainScan();
    void boundsFollowTheSamples();
    void keepsEverySampleWithinItsMemoryBudget();
    void drawsLikeEverySample_data();
    void drawsLikeEverySample();
    void redrawnTickByTickAndAfterClearing();

private:
    TestEnvironment environment;
};

// The lowest and highest of ranges that start and end on and off the block
// boundaries of every level of the index, against a plain scan; ties must
// give the first sample, and NaN is no extreme (sample 64 is one, alone in
// the range 64..65). Drawing covers the search for a column's end.
void TestLiveCurve::extremesMatchAPlainScan()
{
    QRandomGenerator random(7);
    LiveSeries series;
    for (int i = 0; i < 40000; ++i)
        series.append(QPointF(secondsAtTick(i), random.bounded(100) && i != 64 ? random.bounded(40) - 20.0 : qQNaN()));

    const auto check = [&](size_t first, size_t end) {
        size_t lowest = LiveSeries::npos, highest = LiveSeries::npos;
        for (size_t i = first; i < end; ++i) {
            const double y = series.yAt(i);
            if (!std::isnan(y) && (lowest == LiveSeries::npos || y < series.yAt(lowest)))
                lowest = i;
            if (!std::isnan(y) && (highest == LiveSeries::npos || y > series.yAt(highest)))
                highest = i;
        }
        const LiveSeries::Extremes found = series.extremes(first, end);
        QVERIFY2(found.lowest == lowest && found.highest == highest
                         && (lowest == LiveSeries::npos
                             || (found.lowestY == series.yAt(lowest) && found.highestY == series.yAt(highest))),
                 qPrintable(QStringLiteral("%1..%2").arg(first).arg(end)));
    };
    const size_t edges[] = { 0, 1, 63, 64, 65, 511, 512, 513, 4095, 4096, 4097, 32767, 32768, 32769, 39999, 40000 };
    for (size_t first : edges) {
        for (size_t end : edges) {
            if (first < end)
                check(first, end);
        }
    }
    for (int i = 0; i < 500; ++i) {
        const size_t first = random.bounded(40000u);
        check(first, first + 1 + random.bounded(quint32(40000 - first)));
    }
}

void TestLiveCurve::boundsFollowTheSamples()
{
    LiveCurve curve(QStringLiteral("°C"));
    const Samples samples = noisyRun(3000, -20.0, 25.0, 3);
    for (int i = 0; i < samples.size(); ++i) {
        curve.appendSample(samples[i]);
        if (i < 10 || i % 97 == 0)
            QCOMPARE(curve.boundingRect(), qwtBoundingRect(QwtPointSeriesData(samples.mid(0, i + 1))));
    }
    // A value that could not be converted must not blow up the scale.
    curve.appendSample(QPointF(2000, qQNaN()));
    QCOMPARE(curve.boundingRect(), qwtBoundingRect(QwtPointSeriesData(samples)));

    curve.clearSamples();
    QVERIFY(curve.boundingRect().width() < 0);   // nothing to scale to
    curve.appendSample(QPointF(0, -3.5));
    QCOMPARE(curve.boundingRect(), QRectF(0, -3.5, 0, 0));
}

// The budget counts everything the curve holds, including the samples it
// picked for the pixel columns at the last draw, so the curve is drawn at
// every checkpoint; these lie just past chunk and index boundaries.
void TestLiveCurve::keepsEverySampleWithinItsMemoryBudget()
{
    auto *curve = new LiveCurve(QStringLiteral("W/m^2"));
    Plot plot(curve);
    plot.widget.setAutoReplot(false);
    const auto sampleAt = [](size_t i) { return QPointF(double(i / 2), double(i % 1201) - 100.25); };
    size_t appended = 0;
    for (size_t checkpoint : { 32769, 34817, 65537, 100000, 1000000 }) {
        for (; appended < checkpoint; ++appended)
            curve->appendSample(sampleAt(appended));
        plot.widget.replot();
        plot.image();
        const double perSample = double(curve->memoryBytes()) / double(checkpoint);
        QVERIFY2(perSample <= 24.0, qPrintable(QStringLiteral("%1 bytes a sample at %2").arg(perSample).arg(checkpoint)));
    }
    for (size_t i = 0; i < curve->sampleCount(); i += 997)
        QCOMPARE(curve->sample(i), sampleAt(i));
    curve->clearSamples();
    QVERIFY(curve->memoryBytes() < 1024);
}

void TestLiveCurve::drawsLikeEverySample_data()
{
    QTest::addColumn<Samples>("samples");
    QTest::addColumn<QwtInterval>("shownX");
    Samples sameSecond, constant;
    for (int i = 0; i < 500; ++i)
        sameSecond.append(QPointF(7, std::sin(i * 0.1) * 10.0));
    for (int i = 0; i < 20000; ++i)
        constant.append(QPointF(secondsAtTick(i), 21.5));
    // A clock that jumps ahead and back must not lose the samples between.
    Samples jumping = sameSecond;
    for (int i = 200; i < 210; ++i)
        jumping[i].rx() = 300;

    QTest::newRow("one sample") << Samples { QPointF(0, 21.5) } << QwtInterval();
    QTest::newRow("all samples at one x") << sameSecond << QwtInterval();
    QTest::newRow("constant y") << constant << QwtInterval();
    QTest::newRow("x going back") << jumping << QwtInterval();
    // The curve enters and leaves the canvas from samples far outside it.
    QTest::newRow("zoomed in") << noisyRun(100000, 500.0, 300.0, 15) << QwtInterval(20000.5, 20300.5);
}

void TestLiveCurve::drawsLikeEverySample()
{
    QFETCH(Samples, samples);
    QFETCH(QwtInterval, shownX);
    auto *curve = new LiveCurve(QStringLiteral("W/m^2"));
    for (const QPointF &sample : samples)
        curve->appendSample(sample);
    Plot plot(curve, shownX);
    compareWithEverySample(plot, samples, shownX);
}

// Between redraws only the last pixel column can change; samples arriving
// in it and in new columns must all show. At the first sample of a run the
// main window clears the curve, which until then shows the previous run;
// drawn afresh, the new run must show in full.
void TestLiveCurve::redrawnTickByTickAndAfterClearing()
{
    auto *curve = new LiveCurve(QStringLiteral("W/m^2"));
    Plot plot(curve);
    const Samples samples = noisyRun(20000, 300.0, 200.0, 31);
    for (int i = 0; i < samples.size(); ++i) {
        curve->appendSample(samples[i]);
        if (i % 97 == 0 || (i > 19000 && i % 7 == 0))
            plot.image();
    }
    compareWithEverySample(plot, samples);

    const QImage lastRun = plot.image();
    const Samples nextRun = noisyRun(samples.size(), 300.0, 200.0, 22);   // the same scales
    curve->clearSamples();
    for (const QPointF &sample : nextRun)
        curve->appendSample(sample);
    QVERIFY(plot.image() != lastRun);
    compareWithEverySample(plot, nextRun);
}

QTEST_MAIN(TestLiveCurve)
#include "tst_livecurve.moc"
