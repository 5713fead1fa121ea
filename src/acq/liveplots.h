#ifndef LIVEPLOTS_H
#define LIVEPLOTS_H

#include <QPointF>
#include <QString>
#include <QVector>
#include <array>

class LiveCurve;
class QTabWidget;
class QWidget;
class QwtPlot;

// The three live plots (irradiance, temperature, speed) on the pages of a
// tab widget, in the order of the live values. Only the tabs of the values
// the sensor last read has are shown; the others come back when a sensor
// that has them is read.
class LivePlots
{
public:
    LivePlots(QTabWidget *tabs, const std::array<QwtPlot *, 3> &plots);

    void showTabsFor(quint32 firmwareVersion);

    // position is the live value's place in liveIds.
    void append(int position, const QPointF &sample);
    // Breaks every curve at x: the line was lost for a while.
    void markGap(double x);
    void clear();
    const LiveCurve *curve(int position) const { return curves[size_t(position)]; }

private:
    struct Page
    {
        QWidget *widget;
        QString title;
    };

    QTabWidget *tabs;
    QVector<Page> pages;
    std::array<LiveCurve *, 3> curves;
};

#endif // LIVEPLOTS_H
