#include "liveplots.h"

#include "device/parametertable.h"
#include "livecurve.h"
#include "session/linesession.h"
#include "timedreading.h"

#include <QCoreApplication>
#include <QTabWidget>

#include <qwt_legend.h>
#include <qwt_plot.h>

#include <algorithm>
#include <limits>

namespace {

// Each plot's own colour for its first sensor; the next sensors take these.
const std::array<QColor, 3> plotColours = { QColor(255, 153, 0), QColor(Qt::red), QColor(Qt::darkGreen) };
const Qt::GlobalColor sensorColours[] = { Qt::blue, Qt::darkMagenta, Qt::darkCyan, Qt::black,
                                          Qt::darkYellow, Qt::darkGray, Qt::magenta, Qt::darkBlue };

QString unitTitle(int position)
{
    switch (position) {
    case 0:
        return QCoreApplication::translate("MainWindow", "W/m^2");
    case 1:
        return QStringLiteral("\u00B0C");
    default:
        return QCoreApplication::translate("MainWindow", "Constant per pulse");
    }
}

void setUpPlot(QwtPlot *plot)
{
    plot->insertLegend(new QwtLegend, QwtPlot::BottomLegend);
    plot->setAxisTitle(QwtPlot::xBottom, QCoreApplication::translate("MainWindow", "elapsed time (sec)"));
    plot->setAxisAutoScale(QwtPlot::xBottom, true);
    plot->setAxisAutoScale(QwtPlot::yLeft, true);
    plot->setAutoReplot(true);
}

} // namespace

LivePlots::LivePlots(QTabWidget *tabs, const std::array<QwtPlot *, 3> &plots)
    : tabs(tabs)
    , plots(plots)
{
    for (int i = 0; i < tabs->count(); ++i)
        pages.append({ tabs->widget(i), tabs->tabText(i) });
    for (QwtPlot *plot : plots)
        setUpPlot(plot);
    pendingIds = { -1 };
    makeCurves();
}

void LivePlots::follow(const TimedReading *reading, const LineSession *session)
{
    const auto nameOf = [session](int sensorId) {
        const LineSensor *sensor = session->sensor(sensorId);
        return sensor ? sensor->displayName() : QString();
    };
    QObject::connect(reading, &TimedReading::runStarting, reading, [this, nameOf](const QVector<int> &sensorIds) {
        QStringList names;
        for (int sensorId : sensorIds)
            names << nameOf(sensorId);
        startRun(sensorIds, names);
    });
    QObject::connect(reading, &TimedReading::sampled, reading,
                     [this, nameOf](int sensorId, const QDateTime &, double x, const QVector<int> &ids,
                                    const QVector<ReadValue> &values) {
        if (runPending) {
            runPending = false;
            makeCurves();
        }
        if (!std::any_of(sensors.cbegin(), sensors.cend(), [sensorId](const Sensor &sensor) {
                return sensor.id == sensorId;
            }))
            addSensor(sensorId, nameOf(sensorId));
        for (int i = 0; i < ids.size(); ++i) {
            const int position = int(std::find(liveIds.cbegin(), liveIds.cend(), ids.at(i)) - liveIds.cbegin());
            append(sensorId, position, QPointF(x, values.at(i).output.toDouble()));
        }
    });
    QObject::connect(reading, &TimedReading::gap, reading, [this](int sensorId, double x) { markGap(sensorId, x); });
}

void LivePlots::showTabsFor(quint32 firmwareVersion)
{
    for (int position = 0; position < pages.size(); ++position) {
        const bool wanted = parameterDescriptor(liveIds[size_t(position)]).isAvailable(firmwareVersion);
        const int index = tabs->indexOf(pages.at(position).widget);
        if (wanted && index < 0) {
            // Tabs before it are already in place: a live value needs at
            // least the firmware of those before it.
            tabs->insertTab(qMin(position, tabs->count()), pages.at(position).widget, pages.at(position).title);
        } else if (!wanted && index >= 0) {
            tabs->removeTab(index);
        }
    }
}

void LivePlots::startRun(const QVector<int> &sensorIds, const QStringList &names)
{
    pendingIds = sensorIds;
    pendingNames = names;
    runPending = true;
}

void LivePlots::removeCurves()
{
    for (const Sensor &sensor : qAsConst(sensors)) {
        for (LiveCurve *curve : sensor.curves) {
            curve->detach();
            delete curve;
        }
    }
    sensors.clear();
}

void LivePlots::makeCurves()
{
    removeCurves();
    for (int i = 0; i < pendingIds.size(); ++i)
        appendCurves(pendingIds.at(i), i < pendingNames.size() ? pendingNames.at(i) : QString());
}

void LivePlots::addSensor(int sensorId, const QString &name)
{
    // The first sensor drew alone, titled by the unit: now it is one of
    // several and is named too.
    if (sensors.size() == 1 && pendingNames.size() == 1 && !pendingNames.first().isEmpty()) {
        for (LiveCurve *curve : sensors.first().curves)
            curve->setTitle(pendingNames.first());
    }
    appendCurves(sensorId, name);
}

void LivePlots::appendCurves(int sensorId, const QString &name)
{
    const int i = sensors.size();
    const bool single = pendingIds.size() <= 1 && i == 0;
    Sensor sensor;
    sensor.id = sensorId;
    for (int position = 0; position < 3; ++position) {
        auto *curve = new LiveCurve(single || name.isEmpty() ? unitTitle(position) : name);
        const QColor colour = i == 0 ? plotColours[size_t(position)]
                                     : QColor(sensorColours[(i - 1) % int(std::size(sensorColours))]);
        curve->setPen(QPen(colour));
        curve->attach(plots[size_t(position)]);
        sensor.curves[size_t(position)] = curve;
    }
    sensors.append(sensor);
}

void LivePlots::append(int sensorId, int position, const QPointF &sample)
{
    if (runPending) {
        runPending = false;
        makeCurves();
    }
    for (const Sensor &sensor : qAsConst(sensors)) {
        if (sensor.id == sensorId) {
            sensor.curves[size_t(position)]->appendSample(sample);
            return;
        }
    }
}

void LivePlots::markGap(int sensorId, double x)
{
    if (runPending)
        return;
    for (const Sensor &sensor : qAsConst(sensors)) {
        if (sensorId >= 0 && sensor.id != sensorId)
            continue;
        for (LiveCurve *curve : sensor.curves) {
            if (curve->sampleCount() > 0)
                curve->appendSample(QPointF(x, std::numeric_limits<double>::quiet_NaN()));
        }
    }
}

void LivePlots::clear()
{
    for (const Sensor &sensor : qAsConst(sensors)) {
        for (LiveCurve *curve : sensor.curves)
            curve->clearSamples();
    }
}

const LiveCurve *LivePlots::curve(int position, int sensorId) const
{
    for (const Sensor &sensor : sensors) {
        if (sensorId < 0 || sensor.id == sensorId)
            return sensor.curves[size_t(position)];
    }
    return nullptr;
}
