#include "acq/livecurve.h"
#include "acq/liveseries.h"

#include <qwt_legend.h>
#include <qwt_plot.h>

#include <QtTest>

namespace {

using Samples = QVector<QPointF>;
const QColor Pen(255, 153, 0);

// A run read every 540 ms with whole seconds for x: several samples share an x.
Samples noisyRun(int count, double offset, double amplitude, quint32 seed)
{
    QRandomGenerator random(seed);
    Samples samples;
    for (int i = 0; i < count; ++i)
        samples.append(QPointF(std::floor(i * 0.54),
                               offset + amplitude * (std::sin(2.0 * M_PI * i / 20000.0) + (random.generateDouble() - 0.5) * 0.4)));
    return samples;
}

// An 800 x 300 plot with a legend below, like the main window's live plots;
// a valid `shownX` fixes the x scale, as a zoomed-in plot would. It replots
// on its own only, as in the main window, unless told not to.
struct Plot : QwtPlot
{
    explicit Plot(QwtPlotCurve *curve, const QwtInterval &shownX = QwtInterval(), bool replotsOnItsOwn = true)
    {
        insertLegend(new QwtLegend, QwtPlot::BottomLegend);
        if (shownX.isValid())
            setAxisScale(QwtPlot::xBottom, shownX.minValue(), shownX.maxValue());
        setAutoReplot(replotsOnItsOwn);
        curve->setPen(Pen);
        curve->attach(this);
        resize(800, 300);
    }
    QImage image() { return grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

// The live curve must show what drawing every sample with a plain curve
// shows: the same axes, and at most 0.5 % of the pixels different. So that
// a missing stretch of curve cannot hide below that bound, the difference
// must also stay within 1 % of the pixels the curve covers (the rasterizer
// joins a polyline's segments a little differently when it has fewer).
void compareWithEverySample(Plot &plot, const Samples &samples, const QwtInterval &shownX = QwtInterval())
{
    const QImage live = plot.image();
    auto *curve = new QwtPlotCurve(plot.itemList(QwtPlotItem::Rtti_PlotCurve).first()->title());
    curve->setPaintAttribute(QwtPlotCurve::FilterPoints, false);
    curve->setSamples(samples);
    Plot reference(curve, shownX);
    const QImage drawn = reference.image();
    for (int axis : { QwtPlot::xBottom, QwtPlot::yLeft })
        QCOMPARE(plot.axisInterval(axis), reference.axisInterval(axis));
    int differing = 0, curvePixels = 0;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x) {
            differing += live.pixel(x, y) != drawn.pixel(x, y);
            curvePixels += drawn.pixel(x, y) == Pen.rgb();
        }
    QVERIFY2(differing <= 800 * 300 / 200 && differing <= curvePixels / 100,
             qPrintable(QStringLiteral("%1 pixels differ; the curve covers %2").arg(differing).arg(curvePixels)));
}

} // namespace

class TestLiveCurve : public QObject
{
    Q_OBJECT

private slots:
    // The lowest and highest of ranges that start and end on and off the
    // block boundaries of every level of the index, against a plain scan;
    // ties must give the first sample, and NaN is no extreme (sample 64 is
    // one, alone in the range 64..65). Drawing covers the search for a
    // column's end.
    void extremesMatchAPlainScan()
    {
        QRandomGenerator random(7);
        LiveSeries series;
        for (int i = 0; i < 40000; ++i)
            series.append(QPointF(i / 2, random.bounded(100) && i != 64 ? random.bounded(40) - 20.0 : qQNaN()));
        const auto check = [&](size_t first, size_t end) {
            size_t lowest = LiveSeries::npos, highest = LiveSeries::npos;
            for (size_t i = first; i < end; ++i) {
                const double y = series.yAt(i);
                lowest = !std::isnan(y) && (lowest == LiveSeries::npos || y < series.yAt(lowest)) ? i : lowest;
                highest = !std::isnan(y) && (highest == LiveSeries::npos || y > series.yAt(highest)) ? i : highest;
            }
            const LiveSeries::Extremes found = series.extremes(first, end);
            QVERIFY2(found.lowest == lowest && found.highest == highest && (lowest == LiveSeries::npos
                         || (found.lowestY == series.yAt(lowest) && found.highestY == series.yAt(highest))),
                     qPrintable(QStringLiteral("%1..%2").arg(first).arg(end)));
        };
        const size_t edges[] = { 0, 1, 63, 64, 65, 511, 512, 513, 4095, 4096, 4097, 32767, 32768, 32769, 39999, 40000 };
        for (const size_t *first = std::begin(edges); first != std::end(edges); ++first)
            for (const size_t *end = first + 1; end != std::end(edges); ++end)
                check(*first, *end);
    }

    void drawsLikeEverySample_data()
    {
        QTest::addColumn<Samples>("samples");
        QTest::addColumn<QwtInterval>("shownX");
        Samples sameSecond, jumping;   // a clock that jumps ahead and back must not lose the samples between
        for (int i = 0; i < 500; ++i) {
            sameSecond.append(QPointF(7, std::sin(i * 0.1) * 10.0));
            jumping.append(QPointF(i >= 200 && i < 210 ? 300 : 7, sameSecond.last().y()));
        }
        QTest::newRow("all samples at one x") << sameSecond << QwtInterval();
        QTest::newRow("constant y") << noisyRun(20000, 21.5, 0.0, 1) << QwtInterval();
        QTest::newRow("x going back") << jumping << QwtInterval();
        // The curve enters and leaves the canvas from samples far outside it.
        QTest::newRow("zoomed in") << noisyRun(100000, 500.0, 300.0, 15) << QwtInterval(20000.5, 20300.5);
    }

    void drawsLikeEverySample()
    {
        QFETCH(Samples, samples);
        QFETCH(QwtInterval, shownX);
        auto *curve = new LiveCurve(QStringLiteral("W/m^2"));
        for (const QPointF &sample : samples)
            curve->appendSample(sample);
        Plot plot(curve, shownX);
        compareWithEverySample(plot, samples, shownX);
    }

    // The budget counts everything the curve holds, including the samples it
    // picked for the pixel columns at the last draw, so the curve is drawn at
    // every checkpoint; these lie just past chunk and index boundaries.
    // Cleared, the curve gives its storage back, and its bounds follow every
    // sample of a new run from the first on. Between redraws only the last
    // pixel column can change; samples arriving in it and in new columns must
    // all show. At the first sample of a run the main window clears the
    // curve, which until then shows the previous run; drawn afresh, the new
    // run must show in full.
    void keepsRunsWithinItsMemoryBudgetAndRedrawsThem()
    {
        auto *curve = new LiveCurve(QStringLiteral("W/m^2"));
        Plot plot(curve, QwtInterval(), false);
        const auto sampleAt = [](size_t i) { return QPointF(double(i / 2), double(i % 1201) - 100.25); };
        for (size_t checkpoint : { 32769, 34817, 65537, 100000, 1000000 }) {
            for (size_t i = curve->sampleCount(); i < checkpoint; ++i)
                curve->appendSample(sampleAt(i));
            plot.replot();
            plot.image();
            QVERIFY2(curve->memoryBytes() <= 24 * checkpoint,
                     qPrintable(QStringLiteral("%1 bytes for %2 samples").arg(curve->memoryBytes()).arg(checkpoint)));
        }
        for (size_t i = 0; i < curve->sampleCount(); i += 997)
            QCOMPARE(curve->sample(i), sampleAt(i));
        curve->clearSamples();
        QVERIFY(curve->memoryBytes() < 1024);

        plot.setAutoReplot(true);
        const Samples samples = noisyRun(20000, 300.0, 200.0, 31);
        for (int i = 0; i < samples.size(); ++i) {
            curve->appendSample(samples[i]);
            if (i < 10 || i % 97 == 0)
                QCOMPARE(curve->boundingRect(), qwtBoundingRect(QwtPointSeriesData(samples.mid(0, i + 1))));
            if (i % 97 == 0 || (i > 19000 && i % 7 == 0))
                plot.image();
        }
        compareWithEverySample(plot, samples);
        // A value that could not be converted must not blow up the scale.
        curve->appendSample(QPointF(20000, qQNaN()));
        QCOMPARE(curve->boundingRect(), qwtBoundingRect(QwtPointSeriesData(samples)));

        const Samples nextRun = noisyRun(samples.size(), 300.0, 200.0, 22);   // the same scales
        curve->clearSamples();
        for (const QPointF &sample : nextRun)
            curve->appendSample(sample);
        compareWithEverySample(plot, nextRun);
    }
};

QTEST_MAIN(TestLiveCurve)
#include "tst_livecurve.moc"
