#ifndef LIVEPLOTS_H
#define LIVEPLOTS_H

#include <QPointF>
#include <QString>
#include <QStringList>
#include <QVector>
#include <array>

class LineSession;
class LiveCurve;
class QTabWidget;
class QWidget;
class QwtPlot;
class TimedReading;

// The three live plots (irradiance, temperature, speed) on the pages of a
// tab widget, in the order of the live values, with one curve per sensor of
// the run. A run of one sensor draws as it always has: one curve in the
// plot's own colour, titled by the unit; with several, each sensor has its
// colour and its name (label, else serial number) in the legend. Only the
// tabs of the values the sensor last read has are shown.
class LivePlots
{
public:
    LivePlots(QTabWidget *tabs, const std::array<QwtPlot *, 3> &plots);

    void showTabsFor(quint32 firmwareVersion);
    // Draws what the timed reading reads, naming sensors as the session does.
    void follow(const TimedReading *reading, const LineSession *session);

    // A run of these sensors (by identity) starts; the curves of the last
    // run stay until its first sample.
    void startRun(const QVector<int> &sensorIds, const QStringList &names);
    // A sensor listed during the run gets curves of its own.
    void addSensor(int sensorId, const QString &name);
    // position is the live value's place in liveIds.
    void append(int sensorId, int position, const QPointF &sample);
    // Breaks a sensor's curves at x (every sensor's for sensorId -1).
    void markGap(int sensorId, double x);
    void clear();
    // The curve of a sensor of the run; the first sensor's by default.
    const LiveCurve *curve(int position, int sensorId = -1) const;

private:
    struct Page
    {
        QWidget *widget;
        QString title;
    };
    struct Sensor
    {
        int id;
        std::array<LiveCurve *, 3> curves;
    };

    void makeCurves();
    void appendCurves(int sensorId, const QString &name);
    void removeCurves();

    QTabWidget *tabs;
    QVector<Page> pages;
    std::array<QwtPlot *, 3> plots;
    QVector<Sensor> sensors;
    QVector<int> pendingIds;
    QStringList pendingNames;
    bool runPending = false;
};

#endif // LIVEPLOTS_H
