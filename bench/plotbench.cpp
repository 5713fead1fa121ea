// Cost of one tick of the live plots as a measurement run grows.
//
// A tick appends one sample to each of the three curves and renders the three
// plots (800x300, offscreen). It is timed for runs of 100 to 4,000,000 samples
// per curve, with LiveCurve and with the whole-series way (a QVector of the
// run handed to a plain QwtPlotCurve with setSamples at every tick), and the
// median of many ticks is printed. LiveCurve is also timed on ticks that
// change the x scale, which make it pick every pixel column afresh. The last
// line holds the two figures that matter: how much a tick grows from 100,000
// to 4,000,000 samples, and how much faster than the whole-series way
// LiveCurve is at 1,000,000 samples.
//
// Every run draws the same picture (one slow swing over the run, plus noise),
// so that the figures differ by run length alone and not by how much ink the
// curves take.

#include "acq/livecurve.h"

#include <qwt_legend.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>

#include <QApplication>
#include <QImage>
#include <QVector>

#include <malloc.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {

constexpr int PlotCount = 3;
const size_t RunLengths[] = {100, 10000, 100000, 1000000, 4000000};
constexpr size_t LongestWholeSeriesRun = 1000000;
constexpr int Rounds = 9;
constexpr int LiveTicksPerRound = 7;

// A reading every 540 ms: whole seconds for x, one slow swing over the run
// plus noise for y, different for each of the three values.
QPointF sampleAt(int plot, size_t tick, size_t runLength)
{
    static const double offsets[PlotCount] = {600.0, 20.0, 1.5};
    static const double swings[PlotCount] = {500.0, 15.0, 0.5};
    quint64 hash = (tick + 1) * 0x9E3779B97F4A7C15ull + quint64(plot);
    hash ^= hash >> 29;
    hash *= 0xBF58476D1CE4E5B9ull;
    hash ^= hash >> 32;
    const double noise = double(hash % 10000) / 10000.0 - 0.5;
    const double slow = std::sin(2.0 * M_PI * double(tick) / double(std::max<size_t>(runLength, 100)));
    return QPointF(std::floor(double(tick) * 0.54), offsets[plot] + swings[plot] * (slow + 0.2 * noise));
}

// As the main window sets up its plots.
void setUpPlot(QwtPlot &plot, QwtPlotCurve *curve, int index)
{
    static const QColor colours[PlotCount] = {QColor(255, 153, 0), Qt::red, Qt::darkGreen};
    plot.insertLegend(new QwtLegend, QwtPlot::BottomLegend);
    plot.setAxisTitle(QwtPlot::xBottom, QStringLiteral("elapsed time (sec)"));
    plot.setAxisAutoScale(QwtPlot::xBottom);
    plot.setAxisAutoScale(QwtPlot::yLeft);
    plot.setAutoReplot(true);
    curve->setPen(colours[index]);
    curve->attach(&plot);
    plot.resize(800, 300);
}

// The three plots, fed one way or the other.
class Plots
{
public:
    virtual ~Plots() = default;
    virtual void prefill() = 0;
    virtual void append(size_t tick) = 0;
    virtual size_t memoryBytes() const = 0;

    // Into images kept from tick to tick, as the window's backing store is.
    void render()
    {
        for (int i = 0; i < PlotCount; ++i) {
            if (images[i].size() != plots[i].size())
                images[i] = QImage(plots[i].size(), QImage::Format_ARGB32_Premultiplied);
            plots[i].render(&images[i]);
        }
    }

    // Switches between a fixed x scale a little wider than the data and the
    // automatic one, so that every pixel column moves.
    void changeXScale()
    {
        for (QwtPlot &plot : plots) {
            if (plot.axisAutoScale(QwtPlot::xBottom)) {
                const QwtInterval shown = plot.axisInterval(QwtPlot::xBottom);
                plot.setAxisScale(QwtPlot::xBottom, shown.minValue(), shown.maxValue() * 1.25);
            } else {
                plot.setAxisAutoScale(QwtPlot::xBottom);
            }
        }
    }

protected:
    explicit Plots(size_t runLength) : runLength(runLength) {}

    const size_t runLength;
    std::array<QwtPlot, PlotCount> plots;
    std::array<QImage, PlotCount> images;
};

class LivePlots : public Plots
{
public:
    explicit LivePlots(size_t runLength)
        : Plots(runLength)
    {
        for (int i = 0; i < PlotCount; ++i) {
            curves[i] = new LiveCurve(QStringLiteral("live %1").arg(i));
            setUpPlot(plots[i], curves[i], i);
        }
    }

    void prefill() override
    {
        for (int i = 0; i < PlotCount; ++i) {
            plots[i].setAutoReplot(false);
            for (size_t tick = 0; tick < runLength; ++tick)
                curves[i]->appendSample(sampleAt(i, tick, runLength));
            plots[i].setAutoReplot(true);
            plots[i].replot();
        }
    }

    void append(size_t tick) override
    {
        for (int i = 0; i < PlotCount; ++i)
            curves[i]->appendSample(sampleAt(i, tick, runLength));
    }

    size_t memoryBytes() const override
    {
        size_t bytes = 0;
        for (const LiveCurve *curve : curves)
            bytes += curve->memoryBytes();
        return bytes;
    }

private:
    std::array<LiveCurve *, PlotCount> curves{};
};

class WholeSeriesPlots : public Plots
{
public:
    explicit WholeSeriesPlots(size_t runLength)
        : Plots(runLength)
    {
        for (int i = 0; i < PlotCount; ++i) {
            curves[i] = new QwtPlotCurve(QStringLiteral("whole %1").arg(i));
            setUpPlot(plots[i], curves[i], i);
        }
    }

    void prefill() override
    {
        for (int i = 0; i < PlotCount; ++i) {
            for (size_t tick = 0; tick < runLength; ++tick)
                series[i].append(sampleAt(i, tick, runLength));
            curves[i]->setSamples(series[i]);
        }
    }

    void append(size_t tick) override
    {
        for (int i = 0; i < PlotCount; ++i) {
            series[i].append(sampleAt(i, tick, runLength));
            curves[i]->setSamples(series[i]);
        }
    }

    // Between ticks the curve shares the vector's data.
    size_t memoryBytes() const override
    {
        size_t bytes = 0;
        for (const QVector<QPointF> &samples : series)
            bytes += size_t(samples.capacity()) * sizeof(QPointF);
        return bytes;
    }

private:
    std::array<QwtPlotCurve *, PlotCount> curves{};
    std::array<QVector<QPointF>, PlotCount> series;
};

// CPU time of this thread: the machine may be busy with other work, and the
// GUI thread's own time is what a tick takes away from the program.
double threadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

enum class Way { Live, LiveRescaled, WholeSeries };

// One set of three plots at one run length, fed one way.
struct Contestant
{
    Contestant(size_t runLength, Way way)
        : runLength(runLength), way(way)
    {
        if (way == Way::WholeSeries)
            plots.reset(new WholeSeriesPlots(runLength));
        else
            plots.reset(new LivePlots(runLength));
        plots->prefill();
        plots->render();
        nextTick = runLength;
    }

    void tick()
    {
        const double start = threadMilliseconds();
        if (way == Way::LiveRescaled)
            plots->changeXScale();
        plots->append(nextTick++);
        plots->render();
        times.push_back(threadMilliseconds() - start);
    }

    double median()
    {
        std::sort(times.begin(), times.end());
        return times[times.size() / 2];
    }

    double bytesPerSample() const { return double(plots->memoryBytes()) / double(PlotCount * nextTick); }

    size_t runLength;
    Way way;
    std::unique_ptr<Plots> plots;
    size_t nextTick = 0;
    std::vector<double> times;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Every replot drops the canvas's backing store and the next paint
    // allocates a new one. Keep freed memory in the process, so that this
    // measures drawing and not the kernel handing out fresh pages, which
    // depends on the heap's shape and not on the plots.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    QApplication application(argc, argv);

    std::vector<std::unique_ptr<Contestant>> contestants;
    const auto find = [&](size_t runLength, Way way) -> Contestant * {
        for (const auto &contestant : contestants) {
            if (contestant->runLength == runLength && contestant->way == way)
                return contestant.get();
        }
        return nullptr;
    };
    for (const size_t runLength : RunLengths) {
        contestants.emplace_back(new Contestant(runLength, Way::Live));
        contestants.emplace_back(new Contestant(runLength, Way::LiveRescaled));
        if (runLength <= LongestWholeSeriesRun)
            contestants.emplace_back(new Contestant(runLength, Way::WholeSeries));
    }

    // Rounds over all of them, so that a change in the machine's load falls
    // on every run length alike.
    for (int round = 0; round < Rounds; ++round) {
        for (const auto &contestant : contestants) {
            const int ticks = contestant->way == Way::WholeSeries ? 1 : LiveTicksPerRound;
            for (int tick = 0; tick < ticks; ++tick)
                contestant->tick();
        }
    }

    std::printf("One tick of the live plots: append a sample to each of 3 curves and render\n"
                "the 3 plots at 800x300 offscreen. Median CPU time of the GUI thread in ms,\n"
                "over %d ticks (LiveCurve) or %d ticks (whole series); \"x rescaled\": ticks\n"
                "that also change the x scale, so that LiveCurve picks every column afresh.\n\n",
                Rounds * LiveTicksPerRound, Rounds);
    std::printf("%13s | %9s %10s %12s | %9s %12s\n", "samples/curve", "LiveCurve", "x rescaled",
                "bytes/sample", "whole", "bytes/sample");
    for (const size_t runLength : RunLengths) {
        Contestant *live = find(runLength, Way::Live);
        std::printf("%13zu | %9.3f %10.3f %12.2f |", runLength, live->median(),
                    find(runLength, Way::LiveRescaled)->median(), live->bytesPerSample());
        if (Contestant *whole = find(runLength, Way::WholeSeries))
            std::printf(" %9.3f %12.2f\n", whole->median(), whole->bytesPerSample());
        else
            std::printf(" %9s %12s\n", "-", "-");
    }

    const double rescaledGrowth = find(4000000, Way::LiveRescaled)->median()
                                  / find(100000, Way::LiveRescaled)->median();
    std::printf("\nticks that change the x scale: growth = %.2f\n", rescaledGrowth);
    std::printf("growth = %.2f (target <= 1.5)   speed-up = %.1f (target >= 20)\n",
                find(4000000, Way::Live)->median() / find(100000, Way::Live)->median(),
                find(1000000, Way::WholeSeries)->median() / find(1000000, Way::Live)->median());
    return 0;
}
