#include "liveplots.h"

#include "device/parametertable.h"
#include "livecurve.h"

#include <QCoreApplication>
#include <QTabWidget>

#include <qwt_legend.h>
#include <qwt_plot.h>

#include <limits>

namespace {

LiveCurve *setUpPlot(QwtPlot *plot, const QString &title, const QColor &colour)
{
    plot->insertLegend(new QwtLegend, QwtPlot::BottomLegend);
    plot->setAxisTitle(QwtPlot::xBottom, QCoreApplication::translate("MainWindow", "elapsed time (sec)"));
    plot->setAxisAutoScale(QwtPlot::xBottom, true);
    plot->setAxisAutoScale(QwtPlot::yLeft, true);
    plot->setAutoReplot(true);
    auto *curve = new LiveCurve(title);
    curve->setPen(QPen(colour));
    curve->attach(plot);
    return curve;
}

} // namespace

LivePlots::LivePlots(QTabWidget *tabs, const std::array<QwtPlot *, 3> &plots)
    : tabs(tabs)
{
    for (int i = 0; i < tabs->count(); ++i)
        pages.append({ tabs->widget(i), tabs->tabText(i) });
    curves[0] = setUpPlot(plots[0], QCoreApplication::translate("MainWindow", "W/m^2"), QColor(255, 153, 0));
    curves[1] = setUpPlot(plots[1], QStringLiteral("\u00B0C"), Qt::red);
    curves[2] = setUpPlot(plots[2], QCoreApplication::translate("MainWindow", "Constant per pulse"), Qt::darkGreen);
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

void LivePlots::append(int position, const QPointF &sample)
{
    curves[size_t(position)]->appendSample(sample);
}

void LivePlots::markGap(double x)
{
    for (LiveCurve *curve : curves) {
        if (curve->sampleCount() > 0)
            curve->appendSample(QPointF(x, std::numeric_limits<double>::quiet_NaN()));
    }
}

void LivePlots::clear()
{
    for (LiveCurve *curve : curves)
        curve->clearSamples();
}
