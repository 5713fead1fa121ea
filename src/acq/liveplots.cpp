#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "livecurve.h"

#include <qwt_legend.h>
#include <qwt_plot.h>

namespace {
LiveCurve *setUpPlot(QwtPlot *plot, const QString &title, const QColor &colour)
{
    plot->insertLegend(new QwtLegend, QwtPlot::BottomLegend);
    plot->setAxisTitle(QwtPlot::xBottom, QObject::tr("elapsed time (sec)"));
    plot->setAxisAutoScale(QwtPlot::xBottom, true);
    plot->setAxisAutoScale(QwtPlot::yLeft, true);
    plot->setAutoReplot(true);
    auto *curve = new LiveCurve(title);
    curve->setPen(QPen(colour));
    curve->attach(plot);
    return curve;
}
}

void MainWindow::setUpPlots()
{
    irradianceCurve = setUpPlot(ui->irradianceQwtPlot, tr("W/m^2"), QColor(255, 153, 0));
    temperatureCurve = setUpPlot(ui->temperatureQwtPlot, QStringLiteral("\u00B0C"), Qt::red);
    speedCurve = setUpPlot(ui->speedQwtPlot, tr("Constant per pulse"), Qt::darkGreen);
}
