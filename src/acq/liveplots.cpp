#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "livecurve.h"

#include <qwt_legend.h>
#include <qwt_plot.h>

namespace {
LiveCurve *setUpPlot(QwtPlot *plot, const QString &axisTitle, const QString &title, const QColor &colour)
{
    plot->insertLegend(new QwtLegend, QwtPlot::BottomLegend);
    plot->setAxisTitle(QwtPlot::xBottom, axisTitle);
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
    const QString axisTitle = tr("elapsed time (sec)");
    irradianceCurve = setUpPlot(ui->irradianceQwtPlot, axisTitle, tr("W/m^2"), QColor(255, 153, 0));
    temperatureCurve = setUpPlot(ui->temperatureQwtPlot, axisTitle, QStringLiteral("\u00B0C"), Qt::red);
    speedCurve = setUpPlot(ui->speedQwtPlot, axisTitle, tr("Constant per pulse"), Qt::darkGreen);
}
